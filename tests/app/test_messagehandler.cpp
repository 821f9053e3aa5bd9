#include "MessageHandler.h"
#include "TestMain.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QProcess>

Q_DECLARE_METATYPE(QtMsgType)
Q_DECLARE_METATYPE(MessageRoute::Box)

class TestMessageHandler : public QObject
{
    Q_OBJECT
private slots:
    void routing_data();
    void routing();
    void fatalShowsBoxThenQuits();
};

void TestMessageHandler::routing_data()
{
    QTest::addColumn<QtMsgType>("type");
    QTest::addColumn<QString>("message");
    QTest::addColumn<MessageRoute::Box>("box");
    QTest::addColumn<QString>("printed");

    const QString ca = QStringLiteral("Error receiving trust for a CA certificate");
    QTest::newRow("quoted warning loses quotes")
        << QtWarningMsg << "\"Firmware updated!\"" << MessageRoute::WarningBox
        << "Firmware updated!";
    QTest::newRow("warning beginning with Q is dropped")
        << QtWarningMsg << "QObject::connect: no such signal" << MessageRoute::NoBox << "";
    QTest::newRow("Q rule looks at the text as received")
        << QtWarningMsg << "\"Quit now\"" << MessageRoute::WarningBox << "Quit now";
    QTest::newRow("lower-case q is not the toolkit's")
        << QtWarningMsg << "quiet" << MessageRoute::WarningBox << "quiet";
    QTest::newRow("CA text in a warning") << QtWarningMsg << "x " + ca + " y"
                                          << MessageRoute::NoBox << "";
    QTest::newRow("CA text in a debug line") << QtDebugMsg << ca << MessageRoute::NoBox << "";
    QTest::newRow("CA text in a fatal message") << QtFatalMsg << ca << MessageRoute::NoBox << "";
    QTest::newRow("CA text is case-sensitive")
        << QtDebugMsg << ca.toLower() << MessageRoute::NoBox << ca.toLower();
    QTest::newRow("critical: no box, kept as received")
        << QtCriticalMsg << "\"bad\"" << MessageRoute::NoBox << "\"bad\"";
    QTest::newRow("debug keeps quotes") << QtDebugMsg << "\"0.5\"" << MessageRoute::NoBox
                                        << "\"0.5\"";
    QTest::newRow("debug beginning with Q is kept")
        << QtDebugMsg << "Queue" << MessageRoute::NoBox << "Queue";
    QTest::newRow("info") << QtInfoMsg << "note" << MessageRoute::NoBox << "note";
    QTest::newRow("empty warning prints nothing") << QtWarningMsg << "" << MessageRoute::NoBox
                                                  << "";
    QTest::newRow("warning of only quotes prints nothing")
        << QtWarningMsg << "\"\"" << MessageRoute::NoBox << "";
    QTest::newRow("empty debug prints nothing") << QtDebugMsg << "" << MessageRoute::NoBox << "";
    QTest::newRow("fatal loses quotes") << QtFatalMsg << "broken \"x\"" << MessageRoute::FatalBox
                                        << "broken x";
    QTest::newRow("fatal beginning with Q is dropped")
        << QtFatalMsg << "QWidget: no app" << MessageRoute::NoBox << "";
}

void TestMessageHandler::routing()
{
    QFETCH(QtMsgType, type);
    QFETCH(QString, message);
    QFETCH(MessageRoute::Box, box);
    QFETCH(QString, printed);

    const MessageRoute route = routeMessage(type, message);
    QCOMPARE(route.box, box);
    QCOMPARE(route.text, printed);
    if (box == MessageRoute::FatalBox)
        QCOMPARE(route.detail, message);
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
