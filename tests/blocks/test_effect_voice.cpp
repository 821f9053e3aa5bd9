// The filters and delays in the editor. The Effects example is made here with the editor's own
// document and save code and must match the committed file in data/examples/Effects; opened
// from the Examples menu and played through the real emulator (audio to a file), its first
// knob opens the filter, its second lengthens the echoes, and the echoes go on after the note
// ends: once without feedback, for more than a second with it.
//
// After a change to one of the blocks it uses, remake the committed example by running this
// test with KL_EXAMPLES_OUT set to a folder: the patch it makes is copied there.
#include "Emulator.h"
#include "MainWindow.h"
#include "ModalDriver.h"
#include "PatchBuilder.h"
#include "PatchDocument.h"
#include "PatchFile.h"
#include "PatchScene.h"
#include "Preferences.h"
#include "ShippedPatches.h"
#include "SignalAnalysis.h"
#include "StartupResources.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

const QString folder = QStringLiteral("Effects");
const QString exampleName = QStringLiteral("Filter Echo");
const int rate = 20000;
// Bytes of the file sink per second: 16-bit stereo frames.
const qint64 bytesPerSecond = 4 * rate;

// A saw voice through a resonant low-pass filter into a 250 ms echo, the dry sound and the
// echo mixed. Knob 1: cutoff, 300 to 3000 Hz; knob 2: echo feedback, 0 to 0.8; switch 1: the
// note.
void filterEcho(PatchBuilder& b)
{
    const int controls = b.block("Controls", 0, 75);
    const int cutoff = b.block("Knob Map", 237, 0, {{1, "300"}, {2, "2700"}});
    const int feedback = b.block("Knob Map", 0, 150, {{1, "0"}, {2, "0.8"}});
    const int saw = b.block("Saw Oscillator", 110, 0, {{0, "220"}});
    const int env =
        b.block("ADSR Envelope", 110, 75, {{1, "0.01"}, {2, "0.1"}, {3, "0.7"}, {4, "0.05"}});
    const int amp = b.block("Multiply", 246, 75);
    const int filter = b.block("Low-Pass Filter", 337, 75, {{2, "0.5"}});
    const int split = b.block("Split", 471, 75);
    const int echo = b.block("Echo 300 ms", 104, 150, {{1, "250"}});
    const int mix = b.block("Mix 2", 223, 150, {{1, "0.5"}, {3, "0.45"}});
    const int outSplit = b.block("Split", 324, 150);
    const int out = b.block("Audio Output", 391, 150);
    b.cable(controls, 0, cutoff, 0);
    b.cable(controls, 1, feedback, 0);
    b.cable(controls, 2, env, 0);
    b.cable(saw, 0, amp, 0);
    b.cable(env, 0, amp, 1);
    b.cable(amp, 0, filter, 0);
    b.cable(cutoff, 0, filter, 1);
    b.cable(filter, 0, split, 0);
    b.cable(split, 0, mix, 0);
    b.cable(split, 1, echo, 0);
    b.cable(feedback, 0, echo, 2);
    b.cable(echo, 0, mix, 2);
    b.cable(mix, 0, outSplit, 0);
    b.cable(outSplit, 0, out, 0);
    b.cable(outSplit, 1, out, 1);
    b.comment(0, 210,
              "<b>Filter Echo</b><br>Switch 1: play a note.<br>Knob 1: the filter's cutoff, "
              "300 to 3000 Hz:<br>dark to bright.<br>Knob 2: the echo's feedback: one repeat "
              "with the<br>knob down, a long trail of them with it up.<br>Try the Band-Pass "
              "Filter, or the Lo-Fi Echo<br>for longer, grittier repeats.");
}

// The last sample in [from, to) louder than the residue the filter's truncation leaves.
int lastSound(const QVector<double>& x, int from, int to)
{
    for (int i = qMin(int(x.size()), to) - 1; i >= from; --i) {
        if (std::fabs(x.at(i)) > 8.0)
            return i;
    }
    return -1;
}

} // namespace

class TestEffectVoice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void exampleIsWhatTheEditorMakes();
    void filterEchoPlays();

private:
    // The sample the sound file has reached.
    qint64 recorded() const { return QFileInfo(soundPath).size() / 4; }
    // Waits until the sound file holds `seconds` more of sound; false when it does not come.
    bool play(double seconds);

    QTemporaryDir scratch;
    QString soundPath;
    std::unique_ptr<TempProgramDir> program;
    std::unique_ptr<MainWindow> window;
};

void TestEffectVoice::initTestCase()
{
    // The shipped patches are laid out in the editor's own fonts.
    registerFonts();
    QVERIFY(scratch.isValid());
    soundPath = scratch.filePath("played.raw");
    // The emulator program inherits this: its audio goes to the file.
    qputenv("KNOTLATTICE_AUDIO", ("file:" + soundPath).toLocal8Bit());
}

void TestEffectVoice::init()
{
    QSettings().clear();
    QFile::remove(soundPath);
    program = std::make_unique<TempProgramDir>();
    QVERIFY(program->copyIn(testsupport::binPath("blocks"), "blocks"));
    QVERIFY(program->copyIn(testsupport::binPath("compile"), "compile"));
    QVERIFY(program->copyIn(testsupport::sourcePath("data/examples"), "examples"));
    QSettings().setValue(Preferences::DefaultPatchPath, scratch.path());
    window = std::make_unique<MainWindow>();
}

void TestEffectVoice::cleanup()
{
    window.reset();
    program.reset();
}

bool TestEffectVoice::play(double seconds)
{
    const qint64 target = QFileInfo(soundPath).size() + qint64(seconds * bytesPerSecond);
    QElapsedTimer clock;
    clock.start();
    while (QFileInfo(soundPath).size() < target) {
        if (clock.elapsed() > 20000 + seconds * 1000)
            return false;
        QTest::qWait(20);
    }
    return true;
}

void TestEffectVoice::exampleIsWhatTheEditorMakes()
{
    PatchDocument* doc = window->currentDocument();
    QVERIFY(doc);
    PatchBuilder builder(doc);
    filterEcho(builder);
    QVERIFY2(builder.failures.isEmpty(), qPrintable(builder.failures.join('\n')));

    builder.centre();
    QVERIFY2(builder.failures.isEmpty(), qPrintable(builder.failures.join('\n')));

    const QString made = scratch.filePath(exampleName + ".ktl");
    QCOMPARE(shipped::save(window.get(), made), MainWindow::SaveResult::Saved);

    shipped::expectCommitted(
        made, testsupport::sourcePath("data/examples/" + folder + "/" + exampleName + ".ktl"),
        "KL_EXAMPLES_OUT", exampleName + ".ktl");
}

void TestEffectVoice::filterEchoPlays()
{
    QAction* entry = shipped::menuEntry(window->menuBar(), "&Examples", folder, exampleName);
    QVERIFY2(entry, "no Examples entry Effects/Filter Echo");
    {
        ModalDriver driver;
        entry->trigger();
        QVERIFY2(driver.seen().isEmpty(), qPrintable(driver.seen().join('|')));
    }
    PatchDocument* doc = window->currentDocument();
    QVERIFY(doc);
    QCOMPARE(doc->patchInfo()->name, exampleName);
    window->emulateToggle();
    QVERIFY(window->isEmulating() && window->emulatorDock()->isRunning());
    Emulator* emulator = window->emulatorDock();

    // A dark note without feedback, released; then a bright one with feedback, released.
    QVERIFY(play(0.3));
    emulator->setControlValue(2, 1024);
    const qint64 firstOn = recorded();
    QVERIFY(play(1.0));
    emulator->setControlValue(2, 0);
    const qint64 firstOff = recorded();
    QVERIFY(play(1.0));
    emulator->setControlValue(0, 1024);
    emulator->setControlValue(1, 1024);
    QVERIFY(play(0.2));
    emulator->setControlValue(2, 1024);
    const qint64 secondOn = recorded();
    QVERIFY(play(1.0));
    emulator->setControlValue(2, 0);
    const qint64 secondOff = recorded();
    QVERIFY(play(2.5));
    window->emulateToggle();
    QVERIFY(!window->isEmulating());
    const QVector<double> left = shipped::leftChannel(shipped::readAll(soundPath));
    QVERIFY2(left.size() >= secondOff + 2 * rate, qPrintable(QString::number(left.size())));

    // Silence before the first note.
    QVERIFY2(lastSound(left, 0, int(firstOn)) < 0, qPrintable(QString::number(firstOn)));

    // The filter: the 10th harmonic of the 220 Hz saw against its fundamental, in the middle
    // of each note, where the note has sounded for longer than the echo's lag.
    auto brightness = [&left](qint64 from) {
        const QVector<double> x = left.mid(int(from) + rate / 2, rate / 4);
        const double f = analysis::oscillatorFrequency(220 * 1024, rate);
        return analysis::amplitudeAt(x, 10 * f, rate) / analysis::amplitudeAt(x, f, rate);
    };
    const double dark = brightness(firstOn);
    const double bright = brightness(secondOn);
    qInfo("10th harmonic against the fundamental: %.4f at 300 Hz, %.4f at 3000 Hz", dark, bright);
    QVERIFY2(bright > 0.03 && bright > 10.0 * dark,
             qPrintable(QString("%1 and %2").arg(dark).arg(bright)));

    // The echo: 250 ms after the note the sound goes on, without feedback for one lag, with
    // a feedback of 0.8 for many. Control values reach the program within a few ms.
    const int firstTail = lastSound(left, int(firstOff), int(secondOn)) - int(firstOff);
    const int secondTail = lastSound(left, int(secondOff), int(left.size())) - int(secondOff);
    qInfo("sound after the notes: %.0f ms without feedback, %.0f ms with feedback 0.8",
          firstTail * 1000.0 / rate, secondTail * 1000.0 / rate);
    QVERIFY2(firstTail > rate / 5 && firstTail < rate * 45 / 100,
             qPrintable(QString::number(firstTail)));
    QVERIFY2(secondTail > rate, qPrintable(QString::number(secondTail)));
    // In between, the first note's echo stood alone: loud a lag after the note's end.
    double echoPeak = 0.0;
    for (int i = int(firstOff) + rate / 10; i < int(firstOff) + rate / 5; ++i)
        echoPeak = qMax(echoPeak, std::fabs(left.at(i)));
    QVERIFY2(echoPeak > 50.0, qPrintable(QString::number(echoPeak)));
}

KL_TEST_MAIN(TestEffectVoice)

#include "test_effect_voice.moc"
