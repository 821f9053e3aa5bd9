#include "Emulator.h"
#include "MainWindow.h"
#include "ModalDriver.h"
#include "PatchDocument.h"
#include "PatchInfo.h"
#include "Preferences.h"
#include "ShownText.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QAbstractButton>
#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QMessageBox>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <memory>

// Closing tabs and the window with unsaved changes, over the shipped blocks and the real
// emulator build folder.
class TestClosing : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void askText_data();
    void askText();
    void closeTabAnswers_data();
    void closeTabAnswers();
    void failingSaveKeepsTab();
    void closeWindowCancelAtSecond();
    void closingPlayingTabStopsEmulator();
    void closingLastTabDisablesActions();

private:
    PatchDocument* changedDocument();

    std::unique_ptr<TempProgramDir> program;
    std::unique_ptr<QTemporaryDir> files;
    std::unique_ptr<MainWindow> window;
};

void TestClosing::initTestCase()
{
    qputenv("KNOTLATTICE_AUDIO", "null");
}

void TestClosing::init()
{
    QSettings().clear();
    program = std::make_unique<TempProgramDir>();
    QVERIFY(program->copyIn(testsupport::binPath("blocks"), "blocks"));
    QVERIFY(program->copyIn(testsupport::binPath("compile"), "compile"));
    files = std::make_unique<QTemporaryDir>();
    QSettings().setValue(Preferences::DefaultPatchPath, files->path());
    window = std::make_unique<MainWindow>();
}

void TestClosing::cleanup()
{
    window.reset();
    files.reset();
    program.reset();
}

PatchDocument* TestClosing::changedDocument()
{
    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Audio Output", 100, 100);
    return doc;
}

void TestClosing::askText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    QTest::newRow("new patch") << "new patch"
                               << "new patch";
    // A patch's name comes from a file, the device or the repository: shown as typed, short.
    QTest::newRow("image tag") << "<img src=\"/dev/zero\">"
                               << "<img src=\"/dev/zero\">";
    QTest::newRow("bold, turned") << QString("<b>Bold</b>\u202Eevil")
                                  << QString("<b>Bold</b>\uFFFDevil");
    QTest::newRow("65,535 characters")
        << QString(65535, 'p') << QString(60, 'p') + QChar(0x2026) + " (65535 characters)";
}

void TestClosing::askText()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    PatchDocument* doc = changedDocument();
    doc->patchInfo()->name = name;
    ModalDriver driver;
    bool plain = false;
    driver.answer([&plain](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        plain = testsupport::showsPlainText(box);
        box->button(QMessageBox::Cancel)->click();
    });
    QVERIFY(window->askForSave(doc));
    QVERIFY(plain);
    QCOMPARE(
        driver.seen(),
        (QStringList{"|\"" + shown + "\" has unsaved changes. \nDo you want to save them now?"}));
    doc->setChanged(false);
    QVERIFY(!window->askForSave(doc));
    QCOMPARE(driver.seen().size(), 1);
}

void TestClosing::closeTabAnswers_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<bool>("fileWritten");
    QTest::newRow("yes saves and closes") << int(QMessageBox::Yes) << true << true;
    QTest::newRow("no closes") << int(QMessageBox::No) << true << false;
    QTest::newRow("cancel keeps everything") << int(QMessageBox::Cancel) << false << false;
}

void TestClosing::closeTabAnswers()
{
    QFETCH(int, button);
    QFETCH(bool, closed);
    QFETCH(bool, fileWritten);
    PatchDocument* doc = changedDocument();
    const QString path = files->path() + "/kept.ktl";
    doc->patchInfo()->path = path;

    ModalDriver driver;
    driver.answerBox(QMessageBox::StandardButton(button));
    window->closeCurrentDocument();
    QCOMPARE(window->tabWidget()->count(), closed ? 0 : 1);
    QCOMPARE(QFile::exists(path), fileWritten);
    if (!closed) {
        QCOMPARE(window->currentDocument(), doc);
        QVERIFY(doc->changed());
    }
}

void TestClosing::failingSaveKeepsTab()
{
    PatchDocument* doc = changedDocument();
    doc->patchInfo()->path = files->path() + "/missing/folder/x.ktl";
    ModalDriver driver;
    driver.answerBox(QMessageBox::Yes);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Cannot open file for writing: "));
    window->closeCurrentDocument();
    QCOMPARE(window->tabWidget()->count(), 1);
    QVERIFY(doc->changed());
}

void TestClosing::closeWindowCancelAtSecond()
{
    changedDocument();
    window->newDocument();
    changedDocument();
    window->setGeometry(30, 40, 640, 480);

    ModalDriver driver;
    driver.answerBox(QMessageBox::No);
    driver.answerBox(QMessageBox::Cancel);
    QCloseEvent event;
    QCoreApplication::sendEvent(window.get(), &event);
    QVERIFY(!event.isAccepted());
    QCOMPARE(driver.seen().size(), 2);
    QVERIFY(driver.seen().at(0).contains("\"new patch\" has unsaved"));
    QVERIFY(driver.seen().at(1).contains("\"new patch 1\" has unsaved"));
    QCOMPARE(window->tabWidget()->count(), 2);
    // The layout is written even though the close was refused.
    QCOMPARE(QSettings().value(Preferences::WindowGeometry).toRect(), QRect(30, 40, 640, 480));
}

void TestClosing::closingPlayingTabStopsEmulator()
{
    PatchDocument* doc = changedDocument();
    window->emulateToggle();
    QVERIFY(window->isEmulating());
    QVERIFY(doc->isPlaying());
    QVERIFY(window->emulatorDock()->isRunning());

    // Stopped first, even though the user then keeps the tab.
    ModalDriver driver;
    driver.answerBox(QMessageBox::Cancel);
    window->closeCurrentDocument();
    QCOMPARE(window->tabWidget()->count(), 1);
    QVERIFY(!window->isEmulating());
    QVERIFY(!window->emulatorDock()->isRunning());
    QVERIFY(!doc->isPlaying());
}

void TestClosing::closingLastTabDisablesActions()
{
    window->closeCurrentDocument();
    QCOMPARE(window->tabWidget()->count(), 0);
    QVERIFY(!window->currentDocument());
    for (const char* name :
         {"save_patch", "save_patch_as", "close_current_patch", "paste", "comment", "compile",
          "emulator_toggle", "patch_info", "zoom_in", "zoom_out", "zoom_reset", "undo", "redo"})
        QVERIFY2(!window->getAction(name)->isEnabled(), name);
    // With nothing open the forwarders do nothing.
    window->undo();
    window->zoomIn();
    window->deleteSelectedObjects();
    window->emulateToggle();
    QVERIFY(!window->isEmulating());
}

KL_TEST_MAIN(TestClosing)

#include "test_closing.moc"
