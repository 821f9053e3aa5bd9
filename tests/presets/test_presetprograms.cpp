// Every preset program, as the build made it into the presets folder, played through the
// control protocol with its audio going to a file: it sounds within two seconds with its knobs
// at 0 and its switches off (its gate, when the table names one, on), it never leaves the audio
// output's range, and each control the table gives an effect changes what it plays by at least
// the threshold below. A control's
// run differs from the preset's first run in that one control only (a knob turned fully up, a
// switch on, the gate off), and the blocks compute the same samples in every run, so anything
// measured beyond the threshold is that control's doing. All runs go side by side.
#include "AudioMeasure.h"
#include "PresetCatalogue.h"
#include "PresetTable.h"
#include "TestMain.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>
#include <vector>

namespace {

// Where the measuring window lies: after the program has taken its control values (a loaded
// machine may keep it from reading them for a while), and long enough to hold a bar or more of
// the slowest pattern: 2^16 samples, the transform's length.
const int windowStart = measure::Rate;
const int windowLength = 65536;
// Audio to wait for: the window and a little more.
const qint64 bytesWanted = qint64(windowStart + windowLength + measure::Rate / 5) * 4;
// Thresholds: a level change of 2 dB, a dominant frequency moved by 3 % (half a semitone), a
// spectral centroid moved by 10 %.
const double levelThresholdDb = 2.0;
const double pitchThreshold = 1.03;
const double spectrumThreshold = 1.10;
// Sounding: the first two seconds' RMS, in block units (a full-scale sine is 362).
const double soundingRms = 2.0;
// What the audio output takes without crackling: -0.5 to +0.5.
const double fullScale = 512;
// Runs at once: each plays in real time, so they cost little but memory.
const int batchSize = 120;

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Run
{
    int preset = 0;
    // The control that differs from the first run; -1 for the first run itself.
    int flipped = -1;
    int values[4] = {0, 0, 0, 0};
    QString sound;
    QString failure;
    QVector<double> left;
};

struct Measures
{
    double rms = 0;
    double dominant = 0;
    double centroid = 0;
};

Measures measureWindow(const QVector<double>& left)
{
    const QVector<double> window = left.mid(windowStart, windowLength);
    return {measure::rms(window), measure::dominantFrequency(window),
            measure::spectralCentroid(window)};
}

double peak(const QVector<double>& x)
{
    double p = 0;
    for (double v : x)
        p = qMax(p, std::fabs(v));
    return p;
}

// The loudest moment once the program has its control values: the jump from 0 to a knob's full
// value in one step, while a note sounds, can overshoot in a resonant filter; a hand on the knob
// never makes that step.
double settledPeak(const QVector<double>& x)
{
    return peak(x.mid(windowStart));
}

QString describe(const Measures& m)
{
    return QStringLiteral("rms %1, dominant %2 Hz, centroid %3 Hz")
        .arg(m.rms, 0, 'f', 1)
        .arg(m.dominant, 0, 'f', 1)
        .arg(m.centroid, 0, 'f', 0);
}

double ratio(double a, double b)
{
    if (a <= 0 || b <= 0)
        return a == b ? 1 : INFINITY;
    return qMax(a / b, b / a);
}

} // namespace

class TestPresetPrograms : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void soundsWithinTwoSeconds_data();
    void soundsWithinTwoSeconds();
    void controlChangesTheSound_data();
    void controlChangesTheSound();

private:
    void play(std::vector<Run*>& batch);

    QTemporaryDir work;
    QString programs;
    QList<PresetControls> table;
    std::vector<Run> runs;
};

void TestPresetPrograms::initTestCase()
{
    QVERIFY(work.isValid());
    QString error;
    table =
        readPresetControls(testsupport::sourcePath("tests/presets/fixtures/controls.tsv"), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    // The table and the staged catalogue name the same presets.
    QStringList catalogued;
    const util::PresetCategories categories =
        util::readPresetCatalogue(readAll(testsupport::binPath("presets/presets-en.xml")));
    for (const QList<Preset>& presets : categories)
        for (const Preset& p : presets)
            catalogued << p.file;
    QStringList tabled;
    for (const PresetControls& row : table)
        tabled << row.file;
    catalogued.sort();
    tabled.sort();
    QCOMPARE(tabled, catalogued);
    QCOMPARE(table.size(), 44);

    for (int p = 0; p < table.size(); ++p) {
        const PresetControls& row = table.at(p);
        Run first;
        first.preset = p;
        if (row.gate >= 0)
            first.values[row.gate] = 1024;
        runs.push_back(first);
        for (int c = 0; c < 4; ++c) {
            if (row.effects.at(c) == PresetControls::None)
                continue;
            Run other = first;
            other.flipped = c;
            other.values[c] = first.values[c] == 0 ? 1024 : 0;
            runs.push_back(other);
        }
    }
    for (size_t i = 0; i < runs.size(); ++i)
        runs[i].sound = work.filePath(QStringLiteral("run%1.raw").arg(i));

    // The programs play from a copy: any editor started meanwhile on the build's program folder
    // runs its kill script, which ends the programs of that folder.
    programs = work.filePath("emulator");
    QVERIFY(QDir().mkpath(programs));
    const QDir staged(testsupport::binPath("presets/emulator"));
    for (const QString& name : staged.entryList(QDir::Files))
        QVERIFY(QFile::copy(staged.filePath(name), programs + "/" + name));

    QElapsedTimer clock;
    clock.start();
    for (size_t first = 0; first < runs.size(); first += batchSize) {
        std::vector<Run*> batch;
        for (size_t i = first; i < qMin(runs.size(), first + batchSize); ++i)
            batch.push_back(&runs[i]);
        play(batch);
    }
    qInfo("%d runs of %d presets in %.1f s", int(runs.size()), int(table.size()),
          clock.elapsed() / 1000.0);
}

void TestPresetPrograms::play(std::vector<Run*>& batch)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (Run* run : batch) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KNOTLATTICE_AUDIO"), "file:" + run->sound);
        p->setProcessEnvironment(env);
        p->setStandardOutputFile(QProcess::nullDevice());
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(programs + "/" + table.at(run->preset).file, QStringList());
        // The control protocol, as the editor's emulator dock speaks it. QProcess only buffers
        // a write, so it is flushed here: otherwise the values would reach the program after the
        // rest of the batch has been started, seconds into its sound on a loaded machine.
        QByteArray message;
        for (int c = 0; c < 4; ++c)
            message += char('a' + c) + QByteArray::number(run->values[c]) + '\n';
        if (!p->waitForStarted(30000))
            run->failure = "did not start: " + p->errorString();
        else {
            p->write(message);
            p->waitForBytesWritten(30000);
        }
        processes.push_back(std::move(p));
    }
    auto allPlayed = [&batch]() {
        for (const Run* run : batch) {
            if (run->failure.isEmpty() && QFileInfo(run->sound).size() < bytesWanted)
                return false;
        }
        return true;
    };
    QTRY_VERIFY_WITH_TIMEOUT(allPlayed(), 60000);
    for (size_t i = 0; i < batch.size(); ++i) {
        QProcess* p = processes[i].get();
        if (p->state() != QProcess::Running) {
            if (batch[i]->failure.isEmpty())
                batch[i]->failure = QStringLiteral("ended by itself");
            continue;
        }
        p->write("x");
        p->waitForBytesWritten(5000);
        if (!p->waitForFinished(5000)) {
            p->kill();
            p->waitForFinished(5000);
            batch[i]->failure = QStringLiteral("did not end on \"x\"");
        }
    }
    for (Run* run : batch)
        run->left = measure::leftChannel(readAll(run->sound));
}

void TestPresetPrograms::soundsWithinTwoSeconds_data()
{
    QTest::addColumn<int>("run");
    for (size_t i = 0; i < runs.size(); ++i) {
        if (runs[i].flipped < 0)
            QTest::newRow(qPrintable(table.at(runs[i].preset).file)) << int(i);
    }
}

void TestPresetPrograms::soundsWithinTwoSeconds()
{
    QFETCH(int, run);
    const Run& r = runs[size_t(run)];
    QVERIFY2(r.failure.isEmpty(), qPrintable(r.failure));
    QVERIFY2(r.left.size() * 4 >= bytesWanted, qPrintable(QString::number(r.left.size())));
    const double level = measure::rms(r.left.mid(0, 2 * measure::Rate));
    qInfo("%s, peak %.0f", qPrintable(describe(measureWindow(r.left))), peak(r.left));
    QVERIFY2(level > soundingRms, qPrintable(QStringLiteral("RMS %1").arg(level)));
    QVERIFY2(peak(r.left) <= fullScale, qPrintable(QStringLiteral("peak %1").arg(peak(r.left))));
}

void TestPresetPrograms::controlChangesTheSound_data()
{
    QTest::addColumn<int>("run");
    QTest::addColumn<int>("first");
    int first = -1;
    for (size_t i = 0; i < runs.size(); ++i) {
        if (runs[i].flipped < 0) {
            first = int(i);
            continue;
        }
        const PresetControls& row = table.at(runs[i].preset);
        QTest::addRow("%s %s: %s", qPrintable(row.file), qPrintable(controlName(runs[i].flipped)),
                      qPrintable(effectName(row.effects.at(runs[i].flipped))))
            << int(i) << first;
    }
}

void TestPresetPrograms::controlChangesTheSound()
{
    QFETCH(int, run);
    QFETCH(int, first);
    const Run& r = runs[size_t(run)];
    const Run& base = runs[size_t(first)];
    QVERIFY2(base.failure.isEmpty(), qPrintable(base.failure));
    QVERIFY2(r.failure.isEmpty(), qPrintable(r.failure));
    QVERIFY(r.left.size() >= windowStart + windowLength);
    QVERIFY(base.left.size() >= windowStart + windowLength);
    const Measures a = measureWindow(base.left);
    const Measures b = measureWindow(r.left);
    const PresetControls::Effect effect = table.at(r.preset).effects.at(r.flipped);
    const QString seen =
        describe(a) + "  ->  " + describe(b) + QStringLiteral(", peak %1").arg(settledPeak(r.left));
    qInfo("%s", qPrintable(seen));
    QVERIFY2(settledPeak(r.left) <= fullScale, qPrintable(seen));
    switch (effect) {
    case PresetControls::Level: {
        const double db = 20 * std::log10(ratio(a.rms, b.rms));
        QVERIFY2(db >= levelThresholdDb, qPrintable(QStringLiteral("%1 dB; ").arg(db) + seen));
        break;
    }
    case PresetControls::Pitch:
        QVERIFY2(ratio(a.dominant, b.dominant) >= pitchThreshold, qPrintable(seen));
        break;
    case PresetControls::Spectrum:
        QVERIFY2(ratio(a.centroid, b.centroid) >= spectrumThreshold, qPrintable(seen));
        break;
    case PresetControls::None:
        break;
    }
}

KL_TEST_MAIN(TestPresetPrograms)

#include "test_presetprograms.moc"
