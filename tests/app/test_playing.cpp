// Playing the current patch from the main window, over the shipped blocks and the real emulator
// build folder, with the audio layer discarding: what the Console, the toggle's icon and the
// documents' playing marks show before, while and after the emulator plays.
#include "Console.h"
#include "Emulator.h"
#include "MainWindow.h"
#include "MessageCapture.h"
#include "PatchDocument.h"
#include "Preferences.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QAction>
#include <QIcon>
#include <QImage>
#include <QSettings>
#include <memory>

namespace {

// Icons are compared by what they draw.
QImage drawn(const QIcon& icon)
{
    return icon.pixmap(32, 32).toImage();
}

} // namespace

class TestPlaying : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void playClearsConsoleAndShowsStop();
    void failedBuildKeepsPlay();

private:
    std::unique_ptr<TempProgramDir> program;
    std::unique_ptr<MainWindow> window;
};

void TestPlaying::initTestCase()
{
    qputenv("KNOTLATTICE_AUDIO", "null");
}

void TestPlaying::init()
{
    QSettings().clear();
    program = std::make_unique<TempProgramDir>();
    QVERIFY(program->copyIn(testsupport::binPath("blocks"), "blocks"));
    QVERIFY(program->copyIn(testsupport::binPath("compile"), "compile"));
    window = std::make_unique<MainWindow>();
}

void TestPlaying::cleanup()
{
    window.reset();
    program.reset();
}

void TestPlaying::playClearsConsoleAndShowsStop()
{
    QAction* toggle = window->getAction("emulator_toggle");
    const QImage play = drawn(QIcon(":/icons/newplay.png"));
    const QImage stop = drawn(QIcon(":/icons/newstop.png"));
    QVERIFY(play != stop);
    QCOMPARE(drawn(toggle->icon()), play);

    PatchDocument* first = window->currentDocument();
    first->addBlockHandler("Sine Oscillator", 100, 100);
    first->addBlockHandler("Audio Output", 100, 300);
    window->newDocument();
    PatchDocument* second = window->currentDocument();
    second->addBlockHandler("Audio Output", 100, 300);
    window->log("from before");
    QVERIFY(window->consoleDock()->text().contains("from before"));

    toggle->trigger();
    QVERIFY(window->isEmulating());
    QVERIFY(window->emulatorDock()->isRunning());
    QVERIFY2(!window->consoleDock()->text().contains("from before"),
             qPrintable(window->consoleDock()->text()));
    QCOMPARE(drawn(toggle->icon()), stop);
    QVERIFY(second->isPlaying());
    QVERIFY(!first->isPlaying());

    toggle->trigger();
    QVERIFY(!window->isEmulating());
    QVERIFY(!window->emulatorDock()->isRunning());
    QCOMPARE(drawn(toggle->icon()), play);
    QVERIFY(!second->isPlaying());
}

void TestPlaying::failedBuildKeepsPlay()
{
    // Without the build script nothing can start; the toggle stays ready to play.
    QVERIFY(QFile::remove(program->path("compile/emulator/compile.sh")));
    QAction* toggle = window->getAction("emulator_toggle");
    window->currentDocument()->addBlockHandler("Audio Output", 100, 300);
    MessageCapture messages;
    toggle->trigger();
    QVERIFY(messages.contains(QtWarningMsg, "build script could not be run"));
    QVERIFY(!window->isEmulating());
    QCOMPARE(drawn(toggle->icon()), drawn(QIcon(":/icons/newplay.png")));
    QVERIFY(!window->currentDocument()->isPlaying());
}

KL_TEST_MAIN(TestPlaying)

#include "test_playing.moc"
