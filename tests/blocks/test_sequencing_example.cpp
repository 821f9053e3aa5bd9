// The sequencing example in the editor: a master clock with two chained tracks playing a bass
// line on quarter notes and a melody on eighth notes through their envelopes. The patch is
// made here with the editor's own document and save code and must match the committed file in
// data/examples; opened from the Examples menu and played through the real emulator (audio to
// a file), its notes start on the beat, the bass plays its four values in turn, and knob 1
// speeds the clock up.
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
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

const QString folder = QStringLiteral("Sequencing");
const QString exampleName = QStringLiteral("Two Tracks");
const QStringList bassNotes{"110", "165", "138.6", "220"};

// Knob 1 sets the tempo from 120 to 180 BPM. The bass track steps on every beat, the melody
// track, linked through it, on every eighth note; each drives an oscillator through a
// percussive envelope.
void twoTracks(PatchBuilder& b)
{
    const int controls = b.block("Controls", 0, 0);
    const int tempo = b.block("Knob Map", 0, 75, {{1, "120"}, {2, "60"}});
    const int master = b.block("Master Clock", 117, 0);
    // Track variables: 2 notes, 6 gate length, 7 values.
    const int bass = b.block("Sequencer Track", 117, 75,
                             {{2, "4"}, {6, "0.5"}, {7, bassNotes.join(QLatin1Char(','))}});
    const int lead = b.block("Sequencer Track", 117, 225,
                             {{2, "8"}, {6, "0.25"}, {7, "880,660,554.4,660,880,1100,660,554.4"}});
    const int saw = b.block("Saw Oscillator", 257, 37);
    const int bassEnv = b.block("AD Envelope", 257, 112, {{1, "0.005"}, {2, "0.35"}});
    const int bassAmp = b.block("Multiply", 384, 75);
    const int sine = b.block("Sine Oscillator", 257, 187);
    const int leadEnv = b.block("AD Envelope", 257, 262, {{1, "0.002"}, {2, "0.15"}});
    const int leadAmp = b.block("Multiply", 384, 225);
    const int mix = b.block("Mix 2", 479, 150, {{1, "0.5"}, {3, "0.4"}});
    const int split = b.block("Split", 580, 150);
    const int out = b.block("Audio Output", 560, 225);
    b.cable(controls, 0, tempo, 0);
    b.cable(tempo, 0, master, 0);
    b.cable(master, 0, bass, 0);
    b.cable(bass, 0, lead, 0);
    b.cable(bass, 1, saw, 0);
    b.cable(bass, 2, bassEnv, 0);
    b.cable(saw, 0, bassAmp, 0);
    b.cable(bassEnv, 0, bassAmp, 1);
    b.cable(lead, 1, sine, 0);
    b.cable(lead, 2, leadEnv, 0);
    b.cable(sine, 0, leadAmp, 0);
    b.cable(leadEnv, 0, leadAmp, 1);
    b.cable(bassAmp, 0, mix, 0);
    b.cable(leadAmp, 0, mix, 2);
    b.cable(mix, 0, split, 0);
    b.cable(split, 0, out, 0);
    b.cable(split, 1, out, 1);
    b.comment(0, 320,
              "<b>Two Tracks</b><br>The Master Clock counts the bar; each Sequencer<br>Track plays "
              "its values in time with it.<br>Bass: quarter notes (Notes 4). Melody: eighth<br>"
              "notes (Notes 8), linked through the bass track.<br>Knob 1: tempo, 120 to 180 "
              "BPM. Try Notes 12<br>(eighths and sixteenths), or other values.");
}

// The loudest sample of x[from, to).
double peak(const QVector<double>& x, int from, int to)
{
    double p = 0;
    for (int i = qMax(0, from); i < qMin(int(x.size()), to); ++i)
        p = qMax(p, std::fabs(x.at(i)));
    return p;
}

// Where notes start, in samples, found up to 200 samples early: the loudest of the next 200
// samples well above the loudest of the 400 before (the tail of the notes before, over more
// than two periods of the lowest note), at least 2000 samples after the last start.
QList<int> onsets(const QVector<double>& x)
{
    QList<int> found;
    for (int s = 0; s + 200 <= x.size(); s += 25) {
        if (!found.isEmpty() && s - found.last() < 2000)
            continue;
        const double after = peak(x, s, s + 200);
        if (after > 60 && after > 1.5 * peak(x, s - 400, s) + 30)
            found << s;
    }
    return found;
}

} // namespace

class TestSequencingExample : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void exampleIsWhatTheEditorMakes();
    void examplePlaysItsRhythm();

private:
    QTemporaryDir scratch;
    QString soundPath;
    std::unique_ptr<TempProgramDir> program;
    std::unique_ptr<MainWindow> window;
};

void TestSequencingExample::initTestCase()
{
    // The shipped patches are laid out in the editor's own fonts.
    registerFonts();
    QVERIFY(scratch.isValid());
    soundPath = scratch.filePath("played.raw");
    // The emulator program inherits this: its audio goes to the file.
    qputenv("KNOTLATTICE_AUDIO", ("file:" + soundPath).toLocal8Bit());
}

void TestSequencingExample::init()
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

void TestSequencingExample::cleanup()
{
    window.reset();
    program.reset();
}

void TestSequencingExample::exampleIsWhatTheEditorMakes()
{
    PatchDocument* doc = window->currentDocument();
    QVERIFY(doc);
    PatchBuilder builder(doc);
    twoTracks(builder);
    QVERIFY2(builder.failures.isEmpty(), qPrintable(builder.failures.join('\n')));

    builder.centre();
    QVERIFY2(builder.failures.isEmpty(), qPrintable(builder.failures.join('\n')));

    const QString made = scratch.filePath(exampleName + ".ktl");
    QCOMPARE(shipped::save(window.get(), made), MainWindow::SaveResult::Saved);

    shipped::expectCommitted(
        made, testsupport::sourcePath("data/examples/" + folder + "/" + exampleName + ".ktl"),
        "KL_EXAMPLES_OUT", exampleName + ".ktl");
}

void TestSequencingExample::examplePlaysItsRhythm()
{
    QAction* entry = shipped::menuEntry(window->menuBar(), "&Examples", folder, exampleName);
    QVERIFY2(entry, "no Examples entry for the sequencing example");
    {
        ModalDriver driver;
        entry->trigger();
        QVERIFY2(driver.seen().isEmpty(), qPrintable(driver.seen().join('|')));
    }
    PatchDocument* doc = window->currentDocument();
    QVERIFY(doc && doc->patchInfo()->name == exampleName);
    window->emulateToggle();
    QVERIFY(window->isEmulating() && window->emulatorDock()->isRunning());
    // Two bars at 120 BPM, then knob 1 up to 180 BPM.
    QTest::qWait(2600);
    window->emulatorDock()->setControlValue(0, 1024);
    QTest::qWait(1600);
    window->emulateToggle();
    QVERIFY(!window->isEmulating());
    const QVector<double> left = shipped::leftChannel(shipped::readAll(soundPath));
    QVERIFY2(left.size() > 60000, qPrintable(QString::number(left.size())));

    const QList<int> starts = onsets(left);
    QStringList heard;
    for (int s : starts)
        heard << QString::number(s);
    qInfo("notes start at samples %s", qPrintable(heard.join(' ')));

    // The first bar and a half at 120 BPM: a note every eighth, 5000 samples, from the start.
    QList<int> early;
    for (int s : starts) {
        if (s < 38000)
            early << s;
    }
    QCOMPARE(early.size(), 8);
    for (int k = 0; k < early.size(); ++k) {
        const int late = 5000 * k - early.at(k);
        QVERIFY2(late >= 0 && late <= 200, qPrintable(heard.join(' ')));
    }

    // The bass sounds with the eighths that fall on a beat: those are louder.
    for (int beat = 0; beat < 4; ++beat) {
        const double onBeat = peak(left, 10000 * beat, 10000 * beat + 1000);
        const double between = peak(left, 10000 * beat + 5000, 10000 * beat + 6000);
        QVERIFY2(onBeat > 1.5 * between,
                 qPrintable(QString("beat %1: %2 against %3").arg(beat).arg(onBeat).arg(between)));
    }

    // The bass line: its four values in turn, one a beat; each measured against the others.
    for (int beat = 0; beat < 4; ++beat) {
        const QVector<double> note = left.mid(10000 * beat + 300, 4000);
        QStringList levels;
        int loudest = -1;
        double best = 0;
        for (int n = 0; n < bassNotes.size(); ++n) {
            const double a = analysis::amplitudeAt(
                note,
                analysis::oscillatorFrequency(int32_t(bassNotes.at(n).toDouble() * 1024), 20000),
                20000);
            levels << QString::number(a, 'f', 1);
            if (a > best) {
                best = a;
                loudest = n;
            }
        }
        QVERIFY2(loudest == beat,
                 qPrintable(QString("beat %1: %2").arg(beat).arg(levels.join(' '))));
    }

    // After the knob: eighths 3333 samples apart (180 BPM).
    QVERIFY2(starts.size() >= 12, qPrintable(heard.join(' ')));
    for (int k = int(starts.size()) - 3; k < starts.size(); ++k) {
        const int gap = starts.at(k) - starts.at(k - 1);
        QVERIFY2(std::abs(gap - 3333) <= 200, qPrintable(heard.join(' ')));
    }
}

KL_TEST_MAIN(TestSequencingExample)

#include "test_sequencing_example.moc"
