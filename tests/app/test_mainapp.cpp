#include "Comment.h"
#include "MainApp.h"
#include "MainWindow.h"
#include "PatchComment.h"
#include "PatchDocument.h"
#include "PatchRecord.h"
#include "PatchScene.h"
#include "Preferences.h"
#include "PresetWindow.h"
#include "StartWindow.h"
#include "StartupResources.h"
#include "TestMain.h"

#include <QCheckBox>
#include <QFileOpenEvent>
#include <QFontInfo>
#include <QGraphicsItem>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <memory>

// Holds argv for the lifetime of an application object.
struct Args
{
    explicit Args(QStringList list)
    {
        for (const QString& a : list)
            storage.push_back(a.toLocal8Bit());
        for (QByteArray& b : storage)
            pointers.push_back(b.data());
        pointers.push_back(nullptr);
        argc = int(storage.size());
    }
    std::vector<QByteArray> storage;
    std::vector<char*> pointers;
    int argc = 0;
};

class TestMainApp : public QObject
{
    Q_OBJECT
private slots:
    void init() { QSettings().clear(); }

    void startModeRule_data();
    void startModeRule();
    void launchFollowsSetting_data();
    void launchFollowsSetting();
    void fileOpenEventKeepsVisibleWindow();
    void patchOpenedAtStartKeepsItsView_data();
    void patchOpenedAtStartKeepsItsView();
    void switchingRebuildsMenus();
    void commentsOpenedAtStartUseTheBundledFont();
    void startWindowCheckBox();
    void startWindowButtons();
};

void TestMainApp::startModeRule_data()
{
    QTest::addColumn<int>("argc");
    QTest::addColumn<bool>("setting");
    QTest::addColumn<int>("mode");
    QTest::newRow("no argument, setting on") << 1 << true << 0;
    QTest::newRow("no argument, setting off") << 1 << false << 2;
    QTest::newRow("one file") << 2 << true << 2;
    QTest::newRow("two files") << 3 << true << 2;
    QTest::newRow("file and setting off") << 2 << false << 2;
}

void TestMainApp::startModeRule()
{
    QFETCH(int, argc);
    QFETCH(bool, setting);
    QFETCH(int, mode);
    QCOMPARE(MainApp::chooseStartMode(argc, setting), mode);
}

void TestMainApp::launchFollowsSetting_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("startShown");
    QTest::newRow("unset") << QVariant() << QStringList() << true;
    QTest::newRow("false") << QVariant(false) << QStringList() << false;
    QTest::newRow("true") << QVariant(true) << QStringList() << true;
    QTest::newRow("file argument") << QVariant(true) << QStringList{"/tmp/none.ktl"} << false;
    QTest::newRow("two file arguments")
        << QVariant() << QStringList{"/tmp/a.ktl", "/tmp/b.ktl"} << false;
}

void TestMainApp::launchFollowsSetting()
{
    QFETCH(QVariant, stored);
    QFETCH(QStringList, args);
    QFETCH(bool, startShown);
    if (stored.isValid())
        QSettings().setValue(Preferences::ShowStartWindow, stored);

    Args argv(QStringList{"Knotlattice"} + args);
    MainApp app(argv.argc, argv.pointers.data());
    app.showWindow();
    QCOMPARE(app.startWindow()->isVisible(), startShown);
    QCOMPARE(app.mainWindow()->isVisible(), !startShown);
    QVERIFY(!app.presetWindow()->isVisible());
}

void TestMainApp::fileOpenEventKeepsVisibleWindow()
{
    Args argv(QStringList{"Knotlattice"});
    MainApp app(argv.argc, argv.pointers.data());
    app.showPresetWindow();
    QTemporaryDir folder;
    const QString path = folder.path() + "/desk.ktl";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    PatchInfo info;
    file.write(util::makePatchRecord({}, {}, info, 0, 0));
    file.close();

    QFileOpenEvent event(path);
    QCoreApplication::sendEvent(&app, &event);
    QCOMPARE(app.mainWindow()->tabWidget()->count(), 2);
    QCOMPARE(app.mainWindow()->currentDocument()->patchInfo()->path, path);
    QVERIFY(app.presetWindow()->isVisible());
    QVERIFY(!app.mainWindow()->isVisible());
    QVERIFY(!app.startWindow()->isVisible());
}

void TestMainApp::patchOpenedAtStartKeepsItsView_data()
{
    QTest::addColumn<bool>("fromCommandLine"); // else by a file-open event right after start
    QTest::newRow("command line") << true;
    QTest::newRow("file-open event") << false;
}

void TestMainApp::patchOpenedAtStartKeepsItsView()
{
    QFETCH(bool, fromCommandLine);
    QTemporaryDir folder;
    const QString path = folder.path() + "/view.ktl";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    PatchInfo info;
    info.zoomLevel = 3;
    file.write(util::makePatchRecord({}, {}, info, 2600, 1500));
    file.close();

    Args argv(fromCommandLine ? QStringList{"Knotlattice", path} : QStringList{"Knotlattice"});
    MainApp app(argv.argc, argv.pointers.data());
    if (!fromCommandLine) {
        QFileOpenEvent event(path);
        QCoreApplication::sendEvent(&app, &event);
    }
    app.showMainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(app.mainWindow()));
    // Timers fire in the order they fall due: once this one has, the start-up timer that
    // centres the first document has run too.
    QTimer later;
    later.setSingleShot(true);
    QSignalSpy fired(&later, &QTimer::timeout);
    later.start(50);
    QVERIFY(fired.wait());

    PatchDocument* doc = app.mainWindow()->currentDocument();
    QCOMPARE(doc->patchInfo()->path, path);
    QCOMPARE(doc->patchInfo()->zoomLevel, 3);
    QVERIFY(qAbs(doc->transform().m11() - 1.15 * 1.15 * 1.15) < 1e-9);
    const QPointF centre = doc->mapToScene(doc->viewport()->rect().center());
    QVERIFY2(qAbs(centre.x() - 2600) <= 1 && qAbs(centre.y() - 1500) <= 1,
             qPrintable(QString("centre %1, %2").arg(centre.x()).arg(centre.y())));
    // The first, empty document is centred on the middle of the canvas.
    PatchDocument* first = app.mainWindow()->documentAt(0);
    const QPointF middle = first->mapToScene(first->viewport()->rect().center());
    QVERIFY2(qAbs(middle.x() - 2000) <= 1 && qAbs(middle.y() - 2000) <= 1,
             qPrintable(QString("first %1, %2").arg(middle.x()).arg(middle.y())));
}

// A patch named on the command line opens while the application object is made; its comments
// must be laid out in the same font as those of a patch opened later.
void TestMainApp::commentsOpenedAtStartUseTheBundledFont()
{
    QTemporaryDir folder;
    Comment note;
    note.id = 1;
    note.x = 2000;
    note.y = 2000;
    note.text = QStringLiteral("A line of instructions that is wide enough to measure");
    const QByteArray record = util::makePatchRecord({}, {&note}, PatchInfo(), 2000, 2000);
    const QString first = folder.path() + "/first.ktl";
    const QString later = folder.path() + "/later.ktl";
    QVERIFY(testsupport::writeFile(first, record));
    QVERIFY(testsupport::writeFile(later, record));

    Args argv(QStringList{"Knotlattice", first});
    MainApp app(argv.argc, argv.pointers.data());
    // What start-up does once the application object stands.
    registerFonts();
    applyApplicationFont();
    app.mainWindow()->openFromPath(later);

    auto commentWidth = [&](int tab) {
        const PatchDocument* doc = app.mainWindow()->documentAt(tab);
        for (QGraphicsItem* item : doc->patchScene()->items()) {
            if (item->type() == PatchComment::Type)
                return item->boundingRect().width();
        }
        return -1.0;
    };
    QCOMPARE(app.mainWindow()->tabWidget()->count(), 3);
    QVERIFY(commentWidth(2) > 0);
    QCOMPARE(commentWidth(1), commentWidth(2));
    QVERIFY(QFontInfo(QFont(QStringLiteral("Futura Std"), 14)).family() == QStringLiteral("Lato"));
}

void TestMainApp::switchingRebuildsMenus()
{
    Args argv(QStringList{"Knotlattice"});
    MainApp app(argv.argc, argv.pointers.data());
    app.mainWindow()->getAction(QStringLiteral("switch"))->trigger();
    QVERIFY(app.presetWindow()->isVisible());
    QVERIFY(!app.mainWindow()->isVisible());
    QVERIFY(app.mainWindow()->menuBar()->actions().isEmpty());

    app.presetWindow()->switchAction()->trigger();
    QVERIFY(app.mainWindow()->isVisible());
    QVERIFY(!app.presetWindow()->isVisible());
}

void TestMainApp::startWindowCheckBox()
{
    {
        Args argv(QStringList{"Knotlattice"});
        MainApp app(argv.argc, argv.pointers.data());
        QCheckBox* box = app.startWindow()->dontShowBox();
        QVERIFY(!box->isChecked());
        QCOMPARE(box->text(), QStringLiteral("Don't show this window at startup"));
        box->setChecked(true);
        QCOMPARE(QSettings().value(Preferences::ShowStartWindow).toBool(), false);
        box->setChecked(false);
        QCOMPARE(QSettings().value(Preferences::ShowStartWindow).toBool(), true);
        box->setChecked(true);
    }
    // The next launch follows the stored value and shows the box ticked.
    Args argv(QStringList{"Knotlattice"});
    MainApp app(argv.argc, argv.pointers.data());
    QVERIFY(app.startWindow()->dontShowBox()->isChecked());
    QCOMPARE(app.startMode(), int(MainApp::ShowMainWindow));
    QCOMPARE(QSettings().value(Preferences::ShowStartWindow).toBool(), false);
}

void TestMainApp::startWindowButtons()
{
    Args argv(QStringList{"Knotlattice"});
    MainApp app(argv.argc, argv.pointers.data());
    app.showWindow();
    QVERIFY(app.startWindow()->isVisible());
    QCOMPARE(app.startWindow()->windowTitle(), QStringLiteral("Presets"));
    QCOMPARE(app.startWindow()->presetsButton()->text(), QStringLiteral("Load Preset"));
    QCOMPARE(app.startWindow()->createButton()->text(), QStringLiteral("Create Patch"));

    QTest::mouseClick(app.startWindow()->presetsButton(), Qt::LeftButton);
    QVERIFY(app.presetWindow()->isVisible());
    QVERIFY(!app.startWindow()->isVisible());

    app.showStartWindow();
    QTest::mouseClick(app.startWindow()->createButton(), Qt::LeftButton);
    QVERIFY(app.mainWindow()->isVisible());
    QVERIFY(!app.startWindow()->isVisible());
    QVERIFY(!app.presetWindow()->isVisible());
}

KL_TEST_MAIN_NOAPP(TestMainApp)

#include "test_mainapp.moc"
