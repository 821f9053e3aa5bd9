// The oscillators and envelopes in the editor. The example patches are made here with the
// editor's own document and save code and must match the committed files in data/examples;
// opened from the Examples menu and played through the real emulator (audio to a file), the
// control values sent while they play change the pitch and open and close the gate.
//
// After a change to one of the blocks they use, remake the committed examples by running this
// test with KL_EXAMPLES_OUT set to a folder: the patches it makes are copied there.
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

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

namespace {

const QString examplesFolder = QStringLiteral("data/examples/Basics");

// A saw voice: knob 1 sets the pitch from 110 to 880 Hz, switch 1 is the gate of an ADSR.
void knobSynth(PatchBuilder& b)
{
    const int controls = b.block("Controls", 0, 37);
    const int pitch = b.block("Knob Map", 110, 0, {{1, "110"}, {2, "770"}});
    const int saw = b.block("Saw Oscillator", 218, 0);
    const int env =
        b.block("ADSR Envelope", 110, 75, {{1, "0.01"}, {2, "0.3"}, {3, "0.6"}, {4, "0.8"}});
    const int amp = b.block("Multiply", 246, 75);
    const int split = b.block("Split", 337, 75);
    const int out = b.block("Audio Output", 404, 75);
    b.cable(controls, 0, pitch, 0);
    b.cable(pitch, 0, saw, 0);
    b.cable(controls, 2, env, 0);
    b.cable(saw, 0, amp, 0);
    b.cable(env, 0, amp, 1);
    b.cable(amp, 0, split, 0);
    b.cable(split, 0, out, 0);
    b.cable(split, 1, out, 1);
    b.comment(0, 135,
              "<b>Knob Synth</b><br>Knob 1: pitch, 110 to 880 Hz.<br>Switch 1: hold a note; "
              "switch it off and<br>the note fades out.<br>Try the ADSR's times, or a Pulse "
              "Oscillator<br>in place of the saw.");
}

// Struck FM bells: a slow pulse strikes a percussive envelope that sets both the loudness and
// the brightness (the FM index). Knob 1: pitch, knob 2: how often the bell is struck.
void fmBells(PatchBuilder& b)
{
    const int controls = b.block("Controls", 0, 37);
    const int pitch = b.block("Knob Map", 110, 75, {{1, "220"}, {2, "660"}});
    const int tempo = b.block("Knob Map", 110, 0, {{1, "1"}, {2, "4"}});
    const int clock = b.block("Pulse Oscillator", 214, 0, {{1, "0.2"}});
    const int env = b.block("AD Envelope", 345, 0, {{1, "0.002"}, {2, "1.5"}});
    const int envSplit = b.block("Split", 461, 0);
    const int index = b.block("Multiply", 345, 75, {{1, "3"}});
    const int bell = b.block("FM Voice", 440, 75, {{1, "3.5"}});
    const int amp = b.block("Multiply", 300, 150);
    const int split = b.block("Split", 387, 150);
    const int out = b.block("Audio Output", 450, 150);
    b.cable(controls, 0, pitch, 0);
    b.cable(controls, 1, tempo, 0);
    b.cable(tempo, 0, clock, 0);
    b.cable(clock, 0, env, 0);
    b.cable(env, 0, envSplit, 0);
    b.cable(envSplit, 0, index, 0);
    b.cable(pitch, 0, bell, 0);
    b.cable(index, 0, bell, 2);
    b.cable(bell, 0, amp, 0);
    b.cable(envSplit, 1, amp, 1);
    b.cable(amp, 0, split, 0);
    b.cable(split, 0, out, 0);
    b.cable(split, 1, out, 1);
    b.comment(0, 210,
              "<b>FM Bells</b><br>Knob 1: pitch. Knob 2: how often the bell is struck<br>(1 to 5 "
              "times a second).<br>The envelope sets both the loudness and the<br>brightness; "
              "change the FM Voice's ratio for<br>other metals (try 1.4 or 7).");
}

struct Example
{
    QString name;
    void (*build)(PatchBuilder&);
};
const QList<Example> examples{{QStringLiteral("Knob Synth"), &knobSynth},
                              {QStringLiteral("FM Bells"), &fmBells}};

} // namespace

class TestBlockVoice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void examplesAreWhatTheEditorMakes_data();
    void examplesAreWhatTheEditorMakes();
    void knobSynthFollowsPitchAndGate();
    void fmBellsRing();

private:
    // Opens the example from the Examples menu and starts the emulator on it; false when
    // either fails.
    bool playExample(const QString& name);
    QByteArray stopAndRead();
    // Waits until the program has played `samples` more frames into the sound file.
    void playFor(int samples);

    QTemporaryDir scratch;
    QString soundPath;
    std::unique_ptr<TempProgramDir> program;
    std::unique_ptr<MainWindow> window;
};

void TestBlockVoice::initTestCase()
{
    // The shipped patches are laid out in the editor's own fonts.
    registerFonts();
    QVERIFY(scratch.isValid());
    soundPath = scratch.filePath("played.raw");
    // The emulator program inherits this: its audio goes to the file.
    qputenv("KNOTLATTICE_AUDIO", ("file:" + soundPath).toLocal8Bit());
}

void TestBlockVoice::init()
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

void TestBlockVoice::cleanup()
{
    window.reset();
    program.reset();
}

void TestBlockVoice::examplesAreWhatTheEditorMakes_data()
{
    QTest::addColumn<int>("example");
    for (int i = 0; i < examples.size(); ++i)
        QTest::newRow(qPrintable(examples[i].name)) << i;
}

void TestBlockVoice::examplesAreWhatTheEditorMakes()
{
    QFETCH(int, example);
    const QString name = examples[example].name;
    PatchDocument* doc = window->currentDocument();
    QVERIFY(doc);
    PatchBuilder builder(doc);
    examples[example].build(builder);
    QVERIFY2(builder.failures.isEmpty(), qPrintable(builder.failures.join('\n')));

    builder.centre();
    QVERIFY2(builder.failures.isEmpty(), qPrintable(builder.failures.join('\n')));

    const QString made = scratch.filePath(name + ".ktl");
    QCOMPARE(shipped::save(window.get(), made), MainWindow::SaveResult::Saved);

    shipped::expectCommitted(made, testsupport::sourcePath(examplesFolder + "/" + name + ".ktl"),
                             "KL_EXAMPLES_OUT", name + ".ktl");
}

bool TestBlockVoice::playExample(const QString& name)
{
    QAction* entry =
        shipped::menuEntry(window->menuBar(), "&Examples", QStringLiteral("Basics"), name);
    if (!entry) {
        qWarning("no Examples entry Basics/%s", qPrintable(name));
        return false;
    }
    ModalDriver driver;
    entry->trigger();
    PatchDocument* doc = window->currentDocument();
    if (!driver.seen().isEmpty() || !doc || doc->patchInfo()->name != name) {
        qWarning("opening %s: %s", qPrintable(name), qPrintable(driver.seen().join('|')));
        return false;
    }
    window->emulateToggle();
    return window->isEmulating() && window->emulatorDock()->isRunning();
}

void TestBlockVoice::playFor(int samples)
{
    const qint64 target = QFileInfo(soundPath).size() + qint64(samples) * 4;
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(soundPath).size() >= target, 30000);
}

QByteArray TestBlockVoice::stopAndRead()
{
    window->emulateToggle();
    return shipped::readAll(soundPath);
}

void TestBlockVoice::knobSynthFollowsPitchAndGate()
{
    QVERIFY(playExample("Knob Synth"));
    Emulator* emulator = window->emulatorDock();
    // Silence with the gate closed; then a note at the knob's lowest pitch; the knob turned
    // up; the gate closed again, and the release fades out.
    playFor(8000);
    emulator->setControlValue(2, 1024);
    playFor(14000);
    emulator->setControlValue(0, 1024);
    playFor(14000);
    emulator->setControlValue(2, 0);
    playFor(26000);
    QVERIFY(!QTest::currentTestFailed());
    const QVector<double> left = shipped::leftChannel(stopAndRead());
    QVERIFY(!window->isEmulating());
    QVERIFY2(left.size() > 40000, qPrintable(QString::number(left.size())));

    const auto first = std::find_if(left.cbegin(), left.cend(), [](double v) { return v != 0; });
    const auto last = std::find_if(left.crbegin(), left.crend(), [](double v) { return v != 0; });
    QVERIFY(first != left.cend());
    const int onset = int(first - left.cbegin());
    const int end = int(left.size() - (last - left.crbegin()));
    // The gate opened after a stretch of silence and closed before the end, after which the
    // release ran out to silence.
    QVERIFY2(onset > 2000, qPrintable(QString::number(onset)));
    QVERIFY2(left.size() - end > 2000, qPrintable(QString("%1 of %2").arg(end).arg(left.size())));

    // Pitch in windows of 0.1 s: first the knob's lowest, then its highest, never back.
    const double low = analysis::oscillatorFrequency(110 * 1024, 20000);
    const double high = analysis::oscillatorFrequency(880 * 1024, 20000);
    QStringList heard;
    int lowWindows = 0;
    int highWindows = 0;
    bool order = true;
    for (int at = onset + 1000; at + 2000 < end - 4000; at += 2000) {
        const double f = analysis::crossingFrequency(left.mid(at, 2000), 20000);
        heard << QString::number(f, 'f', 1);
        if (std::fabs(f / low - 1.0) < 0.01) {
            ++lowWindows;
            order = order && highWindows == 0;
        } else if (std::fabs(f / high - 1.0) < 0.01) {
            ++highWindows;
        }
    }
    QVERIFY2(lowWindows >= 3 && highWindows >= 3 && order, qPrintable(heard.join(' ')));
    qInfo("gate opened at sample %d, closed by %d; pitch heard (Hz): %s", onset, end,
          qPrintable(heard.join(' ')));

    // The note sustains at 0.6 (a saw of +-512 peaks near 307) and fades once the gate closes.
    auto peak = [&left](int from, int to) {
        double p = 0;
        for (int i = qMax(0, from); i < qMin(int(left.size()), to); ++i)
            p = qMax(p, std::fabs(left.at(i)));
        return p;
    };
    const double sustain = peak(onset + 8000, onset + 10000);
    QVERIFY2(std::fabs(sustain - 307) < 10, qPrintable(QString::number(sustain)));
    QVERIFY2(peak(end - 2000, end) < sustain / 4,
             qPrintable(QString::number(peak(end - 2000, end))));
}

void TestBlockVoice::fmBellsRing()
{
    QVERIFY(playExample("FM Bells"));
    // Knob 2 up: five strikes a second.
    window->emulatorDock()->setControlValue(1, 1024);
    playFor(30000);
    QVERIFY(!QTest::currentTestFailed());
    const QVector<double> left = shipped::leftChannel(stopAndRead());
    QVERIFY2(left.size() > 20000, qPrintable(QString::number(left.size())));
    // Loudness in 10 ms windows: each strike is a sudden rise after a fall (from where the
    // decay stood, as the envelope restarts its attack from the current level).
    QVector<double> loudness;
    for (int at = 0; at + 200 <= left.size(); at += 200) {
        double p = 0;
        for (int i = at; i < at + 200; ++i)
            p = qMax(p, std::fabs(left.at(i)));
        loudness << p;
    }
    int strikes = 0;
    for (int i = 1; i < loudness.size(); ++i)
        strikes += loudness.at(i) > 200 && loudness.at(i) > 1.1 * loudness.at(i - 1) + 5;
    const double top = *std::max_element(loudness.cbegin(), loudness.cend());
    QVERIFY2(top > 400 && top <= 512, qPrintable(QString::number(top)));
    QStringList trace;
    for (double l : loudness)
        trace << QString::number(l);
    // Five a second, for well over a second.
    QVERIFY2(strikes >= 5, qPrintable(QString::number(strikes) + ": " + trace.join(' ')));
}

KL_TEST_MAIN(TestBlockVoice)

#include "test_block_voice.moc"
