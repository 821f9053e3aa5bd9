#include "Console.h"
#include "MainApp.h"
#include "MainWindow.h"
#include "MessageHandler.h"
#include "ShownText.h"
#include "StartWindow.h"
#include "Startup.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QProcess>
#include <QTextEdit>

#include <vector>

Q_DECLARE_METATYPE(QtMsgType)
Q_DECLARE_METATYPE(MessageRoute::Box)

class TestMessageHandler : public QObject
{
    Q_OBJECT
private slots:
    void routing_data();
    void routing();
    void boxShowsPlainText_data();
    void boxShowsPlainText();
    void fatalShowsBoxThenQuits();
    void startShowsNoBox_data();
    void startShowsNoBox();
};

void TestMessageHandler::routing_data()
{
    QTest::addColumn<QtMsgType>("type");
    QTest::addColumn<QString>("message");
    QTest::addColumn<MessageRoute::Box>("box");
    QTest::addColumn<QString>("printed");
    QTest::addColumn<QByteArray>("category"); // "" for the default one

    const QString ca = QStringLiteral("Error receiving trust for a CA certificate");
    QTest::newRow("quoted warning loses quotes")
        << QtWarningMsg << "\"Firmware updated!\"" << MessageRoute::WarningBox
        << "Firmware updated!" << QByteArray();
    QTest::newRow("warning beginning with Q is dropped")
        << QtWarningMsg << "QObject::connect: no such signal" << MessageRoute::NoBox << ""
        << QByteArray();
    QTest::newRow("Q rule looks at the text as received")
        << QtWarningMsg << "\"Quit now\"" << MessageRoute::WarningBox << "Quit now" << QByteArray();
    QTest::newRow("lower-case q is not the toolkit's")
        << QtWarningMsg << "quiet" << MessageRoute::WarningBox << "quiet" << QByteArray();
    QTest::newRow("CA text in a warning")
        << QtWarningMsg << "x " + ca + " y" << MessageRoute::NoBox << "" << QByteArray();
    QTest::newRow("CA text in a debug line")
        << QtDebugMsg << ca << MessageRoute::NoBox << "" << QByteArray();
    QTest::newRow("CA text in a fatal message")
        << QtFatalMsg << ca << MessageRoute::NoBox << "" << QByteArray();
    QTest::newRow("CA text is case-sensitive")
        << QtDebugMsg << ca.toLower() << MessageRoute::NoBox << ca.toLower() << QByteArray();
    QTest::newRow("critical: no box, kept as received")
        << QtCriticalMsg << "\"bad\"" << MessageRoute::NoBox << "\"bad\"" << QByteArray();
    QTest::newRow("debug keeps quotes")
        << QtDebugMsg << "\"0.5\"" << MessageRoute::NoBox << "\"0.5\"" << QByteArray();
    QTest::newRow("debug beginning with Q is kept")
        << QtDebugMsg << "Queue" << MessageRoute::NoBox << "Queue" << QByteArray();
    QTest::newRow("info") << QtInfoMsg << "note" << MessageRoute::NoBox << "note" << QByteArray();
    QTest::newRow("empty warning prints nothing")
        << QtWarningMsg << "" << MessageRoute::NoBox << "" << QByteArray();
    QTest::newRow("warning of only quotes prints nothing")
        << QtWarningMsg << "\"\"" << MessageRoute::NoBox << "" << QByteArray();
    QTest::newRow("empty debug prints nothing")
        << QtDebugMsg << "" << MessageRoute::NoBox << "" << QByteArray();
    QTest::newRow("fatal loses quotes")
        << QtFatalMsg << "broken \"x\"" << MessageRoute::FatalBox << "broken x" << QByteArray();
    QTest::newRow("fatal beginning with Q is dropped")
        << QtFatalMsg << "QWidget: no app" << MessageRoute::NoBox << "" << QByteArray();

    // The toolkit's own messages reach standard error and the Console, never a box; the
    // project's own warnings keep theirs.
    QTest::newRow("platform plugin text")
        << QtWarningMsg << "This plugin does not support propagateSizeHints()"
        << MessageRoute::NoBox << "This plugin does not support propagateSizeHints()"
        << QByteArray("default");
    QTest::newRow("toolkit category keeps its text as received")
        << QtWarningMsg << "could not connect to display \":0\"" << MessageRoute::NoBox
        << "could not connect to display \":0\"" << QByteArray("qt.qpa.xcb");
    QTest::newRow("toolkit category, critical")
        << QtCriticalMsg << "no screen" << MessageRoute::NoBox << "no screen"
        << QByteArray("qt.qpa.screen");
    QTest::newRow("a category that only starts like the toolkit's")
        << QtWarningMsg << "\"qtfoo failed\"" << MessageRoute::WarningBox << "qtfoo failed"
        << QByteArray("qtfoo");
    QTest::newRow("our own category")
        << QtWarningMsg << "\"Firmware updated!\"" << MessageRoute::WarningBox
        << "Firmware updated!" << QByteArray("knotlattice.firmware");
    QTest::newRow("the plugin text inside a project warning")
        << QtWarningMsg << "Note: This plugin does not support it" << MessageRoute::WarningBox
        << "Note: This plugin does not support it" << QByteArray("default");
    QTest::newRow("the Q rule still holds in the toolkit's categories")
        << QtWarningMsg << "QXcbConnection: broken" << MessageRoute::NoBox << ""
        << QByteArray("qt.qpa.xcb");
}

void TestMessageHandler::routing()
{
    QFETCH(QtMsgType, type);
    QFETCH(QString, message);
    QFETCH(MessageRoute::Box, box);
    QFETCH(QString, printed);
    QFETCH(QByteArray, category);

    const MessageRoute route =
        routeMessage(type, message, category.isEmpty() ? nullptr : category.constData());
    QCOMPARE(route.box, box);
    QCOMPARE(route.text, printed);
    if (box == MessageRoute::FatalBox)
        QCOMPARE(route.detail, message);
}

void TestMessageHandler::boxShowsPlainText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");

    // Warnings carry names and texts from files and servers: a box shows them as typed.
    QTest::newRow("image tag") << "Cannot read <img src=\"/dev/zero\">"
                               << "Cannot read <img src=/dev/zero>";
    QTest::newRow("bold") << "<b>Bold</b> was left out"
                          << "<b>Bold</b> was left out";
    QTest::newRow("line breaks stay") << "Heading\n\n- one\n- two"
                                      << "Heading\n\n- one\n- two";
    QTest::newRow("direction override")
        << QString("- \u202Eevil.ktl\n") << QString("- \uFFFDevil.ktl\n");
    QTest::newRow("bell and escape") << QString("a\x07"
                                                "b\x1B"
                                                "[31mc")
                                     << QString("a\uFFFDb\uFFFD[31mc");
    // A box fits on the screen whatever a warning carries.
    QTest::newRow("20 names of 65,535 characters")
        << QString(20 * 65536, 'n') << QString(4000, 'n') + QChar(0x2026) + " (1310720 characters)";
    QString lines;
    for (int i = 0; i < 1000; ++i)
        lines += QStringLiteral("line %1\n").arg(i);
    QString sixty;
    for (int i = 0; i < 60; ++i)
        sixty += QStringLiteral("line %1\n").arg(i);
    sixty.chop(1);
    QTest::newRow("1,000 lines") << lines << sixty + QChar(0x2026) + " (1001 lines)";
}

void TestMessageHandler::boxShowsPlainText()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    const MessageRoute route = routeMessage(QtWarningMsg, message);
    QCOMPARE(route.box, MessageRoute::WarningBox);
    const std::unique_ptr<QMessageBox> box = messageBox(route);
    QVERIFY(box);
    QCOMPARE(box->icon(), QMessageBox::Warning);
    QCOMPARE(box->windowTitle(), QStringLiteral("Warning"));
    QCOMPARE(box->textFormat(), Qt::PlainText);
    QVERIFY(testsupport::showsPlainText(box.get()));
    QCOMPARE(box->text(), shown);
    // The Console and standard error still get the whole text.
    QCOMPARE(route.text.size(), QString(message).remove('"').size());

    // The fatal box shows the message as received in its details, as plain text too.
    const MessageRoute fatal = routeMessage(QtFatalMsg, message);
    const std::unique_ptr<QMessageBox> fatalBox = messageBox(fatal);
    QVERIFY(fatalBox);
    QVERIFY(testsupport::showsPlainText(fatalBox.get()));
    QCOMPARE(fatalBox->detailedText(), message);
    const QList<QTextEdit*> details = fatalBox->findChildren<QTextEdit*>();
    QCOMPARE(details.size(), 1);
    QCOMPARE(details.first()->toPlainText(), message);
}

// The fatal path ends the process, so it runs in a child: the test executable again,
// started with --fatal-child, which installs the real handler and logs a fatal message.
void TestMessageHandler::fatalShowsBoxThenQuits()
{
    QProcess child;
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments({QStringLiteral("--fatal-child")});
    child.start();
    QVERIFY(child.waitForFinished(20000));
    const QString err = QString::fromUtf8(child.readAllStandardError());
    const QString out = QString::fromUtf8(child.readAllStandardOutput());

    QVERIFY2(out.contains("BOX|Fatal Error|Knotlattice has encountered an error and cannot "
                          "continue to work.\nPlease press OK button to quit."),
             qPrintable(out));
    QVERIFY2(out.contains("DETAIL|disk \"A\" failed"), qPrintable(out));
    QVERIFY2(err.contains("disk A failed"), qPrintable(err));
    // After the handler returns the toolkit ends the process itself.
    QVERIFY(child.exitStatus() == QProcess::CrashExit || child.exitCode() != 0);
}

void TestMessageHandler::startShowsNoBox_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("boxes");
    QTest::newRow("no argument") << QStringList() << 0;
    QTest::newRow("a patch") << QStringList{testsupport::binPath("examples/Basics/Knob Synth.ktl")}
                             << 0;
    // The count sees boxes: a warning of the editor's own after the start still gets one.
    QTest::newRow("a warning of our own") << QStringList{"--warn"} << 1;
}

// The editor started as main starts it, with the real handler, in a child on the offscreen
// platform (whose plugin warns as windows are shown); the child counts the boxes that open.
void TestMessageHandler::startShowsNoBox()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, boxes);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    // A program folder of its own: the editor's start runs the kill script, which would end
    // the emulator programs other tests play from the build's program folder.
    TempProgramDir program;
    QVERIFY(program.copyIn(testsupport::binPath("blocks"), "blocks"));
    QVERIFY(program.copyIn(testsupport::binPath("compile"), "compile"));
    env.insert("KNOTLATTICE_PROGRAM_DIR", program.path());
    env.insert("KNOTLATTICE_AUDIO", "null");
    child.setProcessEnvironment(env);
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments(QStringList{"--start-child"} + arguments);
    child.start();
    QVERIFY(child.waitForFinished(60000));
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    const QString err = QString::fromUtf8(child.readAllStandardError());
    QCOMPARE(child.exitCode(), 0);
    QVERIFY2(out.contains(QStringLiteral("SHOWN|%1|").arg(boxes)), qPrintable(out + err));
    QCOMPARE(out.count("BOX|"), boxes);
    // A name in a warning shows as the text it is.
    if (boxes > 0)
        QVERIFY2(out.contains("BOX|plain|Block <b>Gain</b> saved"), qPrintable(out));
    // The plugin's warning went to standard error and the Console instead.
    QVERIFY2(err.contains("This plugin does not support propagateSizeHints()"), qPrintable(err));
    QVERIFY2(out.contains("|console has it"), qPrintable(out));
}

static int runStartChild(int argc, char** argv)
{
    // The editor sees its program name and the arguments after the child's flag.
    std::vector<char*> args{argv[0]};
    bool warn = false;
    for (int i = 2; i < argc; ++i) {
        if (qstrcmp(argv[i], "--warn") == 0)
            warn = true;
        else
            args.push_back(argv[i]);
    }
    int count = int(args.size());
    args.push_back(nullptr);
    setApplicationIdentity();
    MainApp app(count, args.data());

    int boxes = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&boxes] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++boxes;
            std::printf("BOX|%s|%s\n", box->textFormat() == Qt::PlainText ? "plain" : "other",
                        qPrintable(box->text()));
            std::fflush(stdout);
            box->done(QMessageBox::Ok);
        }
    });
    poll.start(10);

    startUp(app);
    QWidget* first = app.startMode() == MainApp::ShowMainWindow
                         ? static_cast<QWidget*>(app.mainWindow())
                         : static_cast<QWidget*>(app.startWindow());
    if (!QTest::qWaitForWindowExposed(first, 30000))
        return 3;
    if (warn)
        QTimer::singleShot(0, [] { qWarning().noquote() << "Block <b>Gain</b> saved"; });
    // Quits after the start-up timers (the 10 ms one that centres the first document) and
    // any box they bring.
    QTimer::singleShot(100, &app, &QCoreApplication::quit);
    app.exec();
    qInstallMessageHandler(nullptr);
    const bool logged = app.mainWindow()->consoleDock()->text().contains(
        QStringLiteral("This plugin does not support propagateSizeHints()"));
    std::printf("SHOWN|%d|%s\n", boxes, logged ? "console has it" : "console lacks it");
    std::fflush(stdout);
    return 0;
}

static int runFatalChild(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Knotlattice"));
    // Answers the box and reports what it showed on standard output.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            std::printf("BOX|%s|%s\n", qPrintable(box->windowTitle()), qPrintable(box->text()));
            std::printf("DETAIL|%s\n", qPrintable(box->detailedText()));
            std::fflush(stdout);
            box->button(QMessageBox::Ok)->click();
        }
    });
    poll.start(10);
    qInstallMessageHandler(messageHandler);
    QTimer::singleShot(0, [] { qFatal("disk \"A\" failed"); });
    return app.exec();
}

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--start-child") == 0) {
        testsupport::prepareEnvironment("start-child");
        return runStartChild(argc, argv);
    }
    if (argc > 1 && qstrcmp(argv[1], "--fatal-child") == 0) {
        testsupport::prepareEnvironment("fatal-child");
        return runFatalChild(1, argv);
    }
    testsupport::prepareEnvironment("TestMessageHandler");
    QApplication app(argc, argv);
    TestMessageHandler tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "test_messagehandler.moc"
