// The sample players against the generator's dump of their stored samples: every sample read
// back at speed 0 and, one stored sample per call, at the recorded speed; the trigger, the loop
// switch and the ends of the sound; the pitch measured from the output; positions and speeds
// that must never read outside a table; the tables' sizes; and the generator's own check that
// the committed block files and dumps are what it makes.
#include "BlockHarness.h"
#include "BlockManager.h"
#include "TestMain.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtEndian>
#include <QtTest>

#include <cmath>
#include <complex>
#include <iterator>
#include <vector>

namespace {

struct Sound
{
    const char* function;
    int bits;
    int samples;
    qint64 k;
};

const Sound sounds[] = {
    {"f_HouseKickAtk", 8, 1000, 13312},
    {"f_HouseKickB", 10, 487, 133120},
    {"f_ClapLo", 4, 1264, 225280},
    {"f_HouseHat", 4, 541, 112640},
    {"f_A0", 8, 2172, 2356},
    {"f_A1", 8, 2216, 2309},
    {"f_A2", 8, 2261, 2264},
    {"f_A3", 8, 2217, 2309},
    {"f_A4", 8, 2101, 2437},
    {"f_A5", 8, 2118, 2416},
    {"f_A6", 8, 2279, 2246},
    {"f_A7", 8, 2136, 2396},
    {"f_br_kick", 8, 2483, 140800},
    {"f_br_snare", 8, 2139, 225280},
    {"f_AcousticGuitarLoop", 10, 192000, 28160},
    {"f_un22", 10, 3474, 112640},
    {"f_Deux22", 10, 3271, 112640},
};

const int audioRate = 20000;

// The eight single cycles are played looped, as oscillators.
bool isWave(const Sound& s)
{
    return QByteArray(s.function).startsWith("f_A") && QByteArray(s.function).size() == 4;
}

QString patchOf(const Sound& s)
{
    return QStringLiteral("p = %1").arg(QLatin1String(s.function));
}

// The generator's dump: the stored values, 16-bit little-endian.
QVector<int> dumpOf(const Sound& s, QString* error)
{
    const QString path = testsupport::sourcePath(
        QStringLiteral("runtime/generators/samples/%1.raw").arg(QLatin1String(s.function)));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read ") + path;
        return {};
    }
    const QByteArray bytes = f.readAll();
    QVector<int> values;
    for (int i = 0; i + 1 < bytes.size(); i += 2)
        values << qFromLittleEndian<qint16>(bytes.constData() + i);
    return values;
}

// out0 between stored samples a and b at fraction f (of 1024).
int between(int a, int b, int f)
{
    return ((a * (1024 - f)) >> 10) + ((f * b) >> 10);
}

QVector<double> numbersOf(const QString& line)
{
    QVector<double> v;
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    v.reserve(words.size());
    for (const QString& w : words)
        v << w.toDouble();
    return v;
}

void fft(std::vector<std::complex<double>>& a)
{
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * M_PI / double(len);
        const std::complex<double> w(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> t(1.0, 0.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * t;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                t *= w;
            }
        }
    }
}

// |X(f)| of the run, evaluated directly.
double magnitudeAt(const std::vector<double>& x, double frequency, double rate)
{
    const std::complex<double> step = std::polar(1.0, -2.0 * M_PI * frequency / rate);
    std::complex<double> turn(1.0, 0.0);
    std::complex<double> sum(0.0, 0.0);
    for (size_t i = 0; i < x.size(); ++i) {
        sum += x[i] * turn;
        turn *= step;
        if ((i & 1023) == 1023)
            turn /= std::abs(turn);
    }
    return std::abs(sum);
}

// The frequency of the highest peak of the run's magnitude spectrum (its mean removed) from
// `low` Hz up: found on a zero-padded transform, then refined between the neighbouring bins.
double dominantFrequency(const QVector<double>& values, double rate, double low = 20.0)
{
    std::vector<double> x(values.cbegin(), values.cend());
    double mean = 0.0;
    for (double v : x)
        mean += v;
    mean /= double(x.size());
    for (double& v : x)
        v -= mean;
    size_t n = 65536;
    while (n < 4 * x.size())
        n <<= 1;
    std::vector<std::complex<double>> a(n);
    for (size_t i = 0; i < x.size(); ++i)
        a[i] = x[i];
    fft(a);
    const double bin = rate / double(n);
    size_t best = 0;
    for (size_t i = size_t(std::ceil(low / bin)); i < n / 2; ++i) {
        if (best == 0 || std::abs(a[i]) > std::abs(a[best]))
            best = i;
    }
    double centre = double(best) * bin;
    double width = bin;
    for (int round = 0; round < 2; ++round) {
        double top = -1.0;
        double at = centre;
        for (int k = -20; k <= 20; ++k) {
            const double f = centre + width * k / 20.0;
            const double m = magnitudeAt(x, f, rate);
            if (m > top) {
                top = m;
                at = f;
            }
        }
        centre = at;
        width /= 20.0;
    }
    return centre;
}

} // namespace

class TestSampleBlocks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void tableSizes_data();
    void tableSizes();
    void recordedSpeedPlaysTheDump_data();
    void recordedSpeedPlaysTheDump();
    void speedZeroReadsEverySample_data();
    void speedZeroReadsEverySample();
    void playback_data();
    void playback();
    void pitch_data();
    void pitch();
    void neverReadsOutsideTheTable_data();
    void neverReadsOutsideTheTable();
    void generatorMakesTheCommittedFiles();

private:
    BlockHarness harness;
    QHash<QString, QVector<int>> dumps;
    // Each sound triggered at in2 = 4 x K (one stored sample per call), the trigger held, for
    // its length and 64 calls more; the waves also looped at 440 Hz for a second.
    QHash<QString, BlockHarness::Run> recorded;
    QHash<QString, BlockHarness::Run> looped;
};

void TestSampleBlocks::initTestCase()
{
    QStringList patches;
    QList<BlockHarness::Job> recordedJobs;
    QList<BlockHarness::Job> loopedJobs;
    for (const Sound& s : sounds) {
        QString error;
        const QVector<int> dump = dumpOf(s, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        dumps.insert(QLatin1String(s.function), dump);
        patches << patchOf(s);
        recordedJobs << BlockHarness::Job{
            patchOf(s), QStringLiteral("set p.in1 0; set p.in2 %1; set p.in0 1024;"
                                       " trace p.out0 audio %2")
                            .arg(4 * s.k)
                            .arg(s.samples + 64)};
        if (isWave(s))
            loopedJobs << BlockHarness::Job{
                patchOf(s), QStringLiteral("set p.in1 1024; set p.in2 450560; trace p.out0 audio "
                                           "20000")};
    }
    QString error;
    QVERIFY2(harness.prepare(patches, &error), qPrintable(error));
    const QList<BlockHarness::Run> runs = harness.runAll(recordedJobs + loopedJobs);
    int wave = 0;
    for (int i = 0; i < int(std::size(sounds)); ++i) {
        const QString name = QLatin1String(sounds[i].function);
        recorded.insert(name, runs.at(i));
        if (isWave(sounds[i]))
            looped.insert(name, runs.at(int(std::size(sounds)) + wave++));
    }
}

void TestSampleBlocks::tableSizes_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<int>("samples");
    QTest::addColumn<int>("words");
    for (const Sound& s : sounds)
        QTest::newRow(s.function) << QString::fromLatin1(s.function) << s.samples
                                  << (s.samples * s.bits + 31) / 32;
}

void TestSampleBlocks::tableSizes()
{
    QFETCH(QString, function);
    QFETCH(int, samples);
    QFETCH(int, words);
    const BlockDescription* d = nullptr;
    for (const BlockDescription& candidate : *harness.library().getBlockDescriptions()) {
        if (candidate.mainName == function)
            d = &candidate;
    }
    QVERIFY2(d, qPrintable("no block with the function " + function));
    // The table holds exactly the words its samples need: no more, no fewer.
    const QRegularExpression declared(QStringLiteral("static const uint32_t buf\\[(\\d+)\\] = \\{"
                                                     "([^}]*)\\}"));
    const QRegularExpressionMatch m = declared.match(d->mainCode);
    QVERIFY2(m.hasMatch(), "no buf table");
    QCOMPARE(m.captured(1).toInt(), words);
    QCOMPARE(m.captured(2).count(QRegularExpression(QStringLiteral("0x[0-9A-F]{8}"))), words);
    QCOMPARE(dumps.value(function).size(), samples);
    if (function == QLatin1String("f_AcousticGuitarLoop"))
        QCOMPARE(words, 60000);
    qInfo("%s: %d samples, %d words (%d bytes)", qPrintable(function), samples, words, 4 * words);
}

void TestSampleBlocks::recordedSpeedPlaysTheDump_data()
{
    QTest::addColumn<QString>("function");
    for (const Sound& s : sounds)
        QTest::newRow(s.function) << QString::fromLatin1(s.function);
}

void TestSampleBlocks::recordedSpeedPlaysTheDump()
{
    QFETCH(QString, function);
    const BlockHarness::Run run = recorded.value(function);
    QVERIFY2(run.ok, qPrintable(run.failure));
    const QVector<double> out = numbersOf(run.lines.value(0));
    const QVector<int> dump = dumps.value(function);
    QCOMPARE(out.size(), dump.size() + 64);
    for (int i = 0; i < dump.size(); ++i) {
        if (out.at(i) != dump.at(i))
            QFAIL(qPrintable(
                QString("sample %1: played %2, stored %3").arg(i).arg(out.at(i)).arg(dump.at(i))));
    }
    // The trigger is still high: the sound plays once, and after its end the output is 0.
    for (int i = dump.size(); i < out.size(); ++i)
        QVERIFY2(out.at(i) == 0, qPrintable(QString("call %1 gives %2").arg(i).arg(out.at(i))));
}

void TestSampleBlocks::speedZeroReadsEverySample_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("failure");
    QList<BlockHarness::Job> jobs;
    for (const Sound& s : sounds) {
        // After the trigger the first sample holds; then each position in turn, twice.
        QString script = QStringLiteral("set p.in2 0; set p.in0 1024; trace p.out0 audio 3;");
        for (int i = 0; i < s.samples; ++i)
            script += QStringLiteral("set p.position %1; trace p.out0 audio 2;").arg(i * 1024);
        jobs << BlockHarness::Job{patchOf(s), script};
    }
    const QList<BlockHarness::Run> runs = harness.runAll(jobs);
    for (int i = 0; i < runs.size(); ++i)
        QTest::newRow(sounds[i].function)
            << QString::fromLatin1(sounds[i].function) << runs.at(i).lines << runs.at(i).failure;
}

void TestSampleBlocks::speedZeroReadsEverySample()
{
    QFETCH(QString, function);
    QFETCH(QStringList, lines);
    QFETCH(QString, failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QVector<int> dump = dumps.value(function);
    QCOMPARE(lines.size(), dump.size() + 1);
    QCOMPARE(lines.at(0), QStringLiteral("%1 %1 %1").arg(dump.at(0)));
    for (int i = 0; i < dump.size(); ++i) {
        const QString expected = QStringLiteral("%1 %1").arg(dump.at(i));
        if (lines.at(i + 1) != expected)
            QFAIL(qPrintable(
                QString("sample %1: read %2, stored %3").arg(i).arg(lines.at(i + 1), expected)));
    }
}

void TestSampleBlocks::playback_data()
{
    QList<BlockHarness::Case> cases;
    // One player of each bit depth, and the long 10-bit one.
    for (const char* function : {"f_HouseHat", "f_A0", "f_HouseKickB", "f_AcousticGuitarLoop"}) {
        const Sound* s = nullptr;
        for (const Sound& candidate : sounds) {
            if (qstrcmp(candidate.function, function) == 0)
                s = &candidate;
        }
        const QVector<int> d = dumps.value(QLatin1String(function));
        const int n = s->samples;
        const QString patch = patchOf(*s);
        const qint64 unit = 4 * s->k;
        const QString name = QLatin1String(function) + QLatin1String(": ");

        cases << BlockHarness::Case{
            name + "a new rising edge restarts from the start", patch,
            QStringLiteral("set p.in1 0; set p.in2 %1; set p.in0 1024; audio 100; set p.in0 0;"
                           " audio 1; get p.position; set p.in0 1024; trace p.out0 audio 2;"
                           " get p.position")
                .arg(unit),
            QStringLiteral("%1; %2 %3; %4").arg(101 * 1024).arg(d[0]).arg(d[1]).arg(2048)};
        cases << BlockHarness::Case{
            name + "looping, the last sample leads into sample 0 without a gap", patch,
            QStringLiteral("set p.in1 1024; set p.in2 %1; set p.position %2; trace p.out0 audio 2;"
                           " get p.position; get p.playFlags")
                .arg(unit)
                .arg(qint64(n - 1) * 1024 + 512),
            QStringLiteral("%1 %2; %3; 6")
                .arg(between(d[n - 1], d[0], 512))
                .arg(between(d[0], d[1], 512))
                .arg(512 + 1024)};
        cases << BlockHarness::Case{
            name + "without looping the last sample leads into 0, then 0", patch,
            QStringLiteral("set p.in1 0; set p.in2 %1; set p.in0 1024; audio 1;"
                           " set p.position %2; trace p.out0 audio 3; get p.playFlags;"
                           " get p.position")
                .arg(unit)
                .arg(qint64(n - 1) * 1024 + 512),
            QStringLiteral("%1 0 0; 1; 512").arg(between(d[n - 1], 0, 512))};
        cases << BlockHarness::Case{
            name + "loop off stops and holds, loop on plays on from there", patch,
            QStringLiteral("set p.in1 0; set p.in2 %1; set p.in0 1024; audio 99; set p.in1 1024;"
                           " audio 51; set p.in1 0; trace p.out0 audio 3; get p.position;"
                           " set p.in1 1024; trace p.out0 audio 3")
                .arg(unit),
            QStringLiteral("%1 %1 %1; %2; %3 %4 %5")
                .arg(d[149])
                .arg(150 * 1024)
                .arg(d[150])
                .arg(d[151])
                .arg(d[152])};
        cases << BlockHarness::Case{
            name + "the loop switch starts an idle player where it stands", patch,
            QStringLiteral("set p.in1 0; set p.in2 %1; set p.position %2; audio 5; get p.out0;"
                           " set p.in1 1; trace p.out0 audio 2")
                .arg(unit)
                .arg(300 * 1024 + 256),
            QStringLiteral("0; %1 %2")
                .arg(between(d[300], d[301], 256))
                .arg(between(d[301], d[302], 256))};
        cases << BlockHarness::Case{
            name + "half speed interpolates half way", patch,
            QStringLiteral("set p.in1 0; set p.in2 %1; set p.in0 1024; trace p.out0 audio 4")
                .arg(unit / 2),
            QStringLiteral("%1 %2 %3 %4")
                .arg(d[0])
                .arg(between(d[0], d[1], 512))
                .arg(d[1])
                .arg(between(d[1], d[2], 512))};
    }
    cases << BlockHarness::Case{
        "f_HouseHat at 440 Hz moves one stored sample per call", "p = f_HouseHat",
        "set p.in2 450560; set p.in0 1024; trace p.position audio 5", "1024 2048 3072 4096 5120"};
    cases << BlockHarness::Case{"a trigger played to its end stays silent until a new edge",
                                "p = f_HouseHat",
                                "set p.in2 4505600; set p.in0 1024; audio 200; get p.out0;"
                                " get p.playFlags; set p.in0 0; audio 1; set p.in0 5;"
                                " audio 1; get p.position",
                                "0; 1; 10240"};
    harness.addCaseRows(cases);
}

void TestSampleBlocks::playback()
{
    QFETCH(QString, answers);
    QFETCH(QString, expected);
    QCOMPARE(answers, expected);
}

void TestSampleBlocks::pitch_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<double>("expected");
    QTest::addColumn<double>("tolerance");
    for (const Sound& s : sounds) {
        const QString name = QLatin1String(s.function);
        const BlockHarness::Run run = isWave(s) ? looped.value(name) : recorded.value(name);
        QVector<double> values = numbersOf(run.lines.value(0));
        if (!isWave(s))
            values.resize(qMin(values.size(), s.samples));
        QTest::newRow(s.function) << values << run.failure
                                  << (isWave(s) ? 440.0 : double(s.k) / 256.0)
                                  << (isWave(s) ? 0.01 : 0.03);
    }
}

void TestSampleBlocks::pitch()
{
    QFETCH(QVector<double>, values);
    QFETCH(QString, failure);
    QFETCH(double, expected);
    QFETCH(double, tolerance);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY(values.size() > 100);
    const double measured = dominantFrequency(values, audioRate);
    qInfo("%s: %.2f Hz, %+.2f%%", QTest::currentDataTag(), measured,
          (measured / expected - 1.0) * 100.0);
    QVERIFY2(std::fabs(measured / expected - 1.0) < tolerance,
             qPrintable(QString("dominant %1 Hz, expected %2 Hz").arg(measured).arg(expected)));
}

void TestSampleBlocks::neverReadsOutsideTheTable_data()
{
    QTest::addColumn<QString>("answers");
    QTest::addColumn<int>("expectedLines");
    // Speeds of every kind, negative and wrapping ones included, from stored positions at and
    // past the end, looping and not, with every state of the flags.
    const QList<qint64> speeds{-1,       -1024, -450560, -2147483647LL - 1, 2147483647, 16777215,
                               16777216, 1,     1023,    45056000};
    QList<BlockHarness::Job> jobs;
    QList<int> counts;
    for (const Sound& s : sounds) {
        const qint64 end = qint64(s.samples) * 1024;
        const QList<qint64> positions{0, end - 1, end - 513, end, end + 1, 4294967295LL};
        QString script;
        int lines = 0;
        for (qint64 speed : speeds) {
            for (qint64 position : positions) {
                for (int loop : {0, 1024}) {
                    for (int flags : {2, 6, 7, 255}) {
                        script += QStringLiteral("set p.in1 %1; set p.in2 %2; set p.position %3;"
                                                 " set p.playFlags %4; trace p.out0 audio 40;")
                                      .arg(loop)
                                      .arg(speed)
                                      .arg(position)
                                      .arg(flags);
                        ++lines;
                    }
                }
            }
        }
        jobs << BlockHarness::Job{patchOf(s), script};
        counts << lines;
    }
    const QList<BlockHarness::Run> runs = harness.runAll(jobs);
    for (int i = 0; i < runs.size(); ++i) {
        const BlockHarness::Run& r = runs.at(i);
        QTest::newRow(sounds[i].function)
            << (r.ok ? r.lines.join(QLatin1Char('\n')) : QStringLiteral("FAILED: ") + r.failure)
            << counts.at(i);
    }
}

void TestSampleBlocks::neverReadsOutsideTheTable()
{
    // The sanitizers fail the run on a read outside a table. Every output lies between two
    // stored values, less the rounding down of its two terms: -513..511.
    QFETCH(QString, answers);
    QFETCH(int, expectedLines);
    QVERIFY2(!answers.startsWith(QLatin1String("FAILED")), qPrintable(answers));
    const QStringList lines = answers.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), expectedLines);
    for (const QString& line : lines) {
        for (double v : numbersOf(line))
            QVERIFY2(v >= -513 && v <= 511, qPrintable(line));
    }
}

void TestSampleBlocks::generatorMakesTheCommittedFiles()
{
    // Python comes with the machine's setup (tools/setup.sh); without it this fails.
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("python3"),
            {testsupport::sourcePath(QStringLiteral("runtime/generators/samples.py")),
             QStringLiteral("--check")});
    QVERIFY2(p.waitForStarted(10000), "python3 did not start: run tools/setup.sh");
    QVERIFY(p.waitForFinished(240000));
    QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, p.readAll().constData());
}

KL_TEST_MAIN(TestSampleBlocks)

#include "test_sample_blocks.moc"
