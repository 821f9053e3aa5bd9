// Behaviour of the oscillators, measured on long runs of generated code: the frequency that
// each waveform makes from its truncated phase step (zero crossings), the pulse width, one
// impulse per cycle in either direction, the sine sample for sample against the runtime's
// integer formula, the spectrum of the FM voice (Goertzel), the noise's statistics and the
// random walk's bounds, plus the worked cases and the guards.
#include "BlockHarness.h"
#include "SignalAnalysis.h"
#include "TestMain.h"

#include <QtTest>

#include <cmath>

namespace {

// Every oscillator once at audio rate and, where it has a control-rate copy, once at control
// rate; one program serves the tables.
const char* const patch = R"(
sine = gen_sine
sinec = gen_sine rate=1
saw = gen_saw
tri = gen_triangle
tric = gen_triangle rate=1
pulse = gen_pulse
pulsec = gen_pulse rate=1
imp = gen_impulse
impc = gen_impulse rate=1
fm = f_2opfm
noise = o1_noise
noisec = o1_noise rate=1
walk = i2o1_walk
walkc = i2o1_walk rate=1
)";

// Alone, so that no other block draws from the runtime's random numbers in between.
const char* const noiseAlone = "n = o1_noise";
const char* const walkAlone = "w = i2o1_walk";

const int audioRate = 20000;
const int controlRate = 100;

// The control-rate copies carry the labels that end in "c".
bool isControl(const QString& label)
{
    return label.endsWith(QLatin1Char('c'));
}

// Frequency texts as the driver takes them: Hz x 1024.
qint64 hz(double f)
{
    return qint64(std::llround(f * 1024.0));
}

struct Traced
{
    QString name;
    QString script;
};

// Every script run on the patch side by side: the first trace line of each.
QList<analysis::Trace> traceAll(BlockHarness& harness, const QString& patchText,
                                const QList<Traced>& runs)
{
    QList<BlockHarness::Job> jobs;
    for (const Traced& t : runs)
        jobs << BlockHarness::Job{patchText, t.script};
    return analysis::traceAll(harness, jobs);
}

} // namespace

class TestOscillatorBlocks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void behaviour_data();
    void behaviour();
    void frequency_data();
    void frequency();
    void pulseWidth_data();
    void pulseWidth();
    void impulseOncePerCycle_data();
    void impulseOncePerCycle();
    void sineFollowsTheFormula_data();
    void sineFollowsTheFormula();
    void fmSpectrum_data();
    void fmSpectrum();
    void noiseStatistics();
    void walkStaysWithinItsLimit();

private:
    BlockHarness harness;
};

void TestOscillatorBlocks::initTestCase()
{
    QString error;
    QVERIFY2(harness.prepare({patch, noiseAlone, walkAlone}, &error), qPrintable(error));
}

void TestOscillatorBlocks::behaviour_data()
{
    QList<BlockHarness::Case> cases;

    cases << BlockHarness::Case{"saw at 1000 Hz: 131060 after 20 calls, wraps on the 21st", patch,
                                "set saw.in0 1024000; audio 20; get saw.phase; audio 1;"
                                " get saw.phase",
                                "131060; 6541"};
    cases << BlockHarness::Case{"saw outputs the phase before the step", patch,
                                "set saw.in0 1024000; audio 1; get saw.out0; audio 1; get saw.out0",
                                "-512; -461"};
    cases << BlockHarness::Case{"saw at -1000 Hz runs backwards", patch,
                                "set saw.in0 -1024000; audio 1; get saw.phase; audio 1;"
                                " get saw.out0",
                                "124519; 460"};
    cases << BlockHarness::Case{
        "triangle turns at half the cycle", patch,
        "set tri.in0 0; set tri.phase 65535; audio 1; get tri.out0; set tri.phase 65536;"
        " audio 1; get tri.out0; set tri.phase 0; audio 1; get tri.out0; set tri.phase 131071;"
        " audio 1; get tri.out0",
        "511; 512; -512; -511"};
    cases << BlockHarness::Case{
        "pulse of width 0.5: low in the first half of the cycle, high in the second", patch,
        "set pulse.in0 160000; set pulse.in1 512; audio 63; get pulse.out0; audio 1;"
        " get pulse.out0; audio 63; get pulse.out0; audio 1; get pulse.out0",
        "-512; 512; 512; -512"};
    cases << BlockHarness::Case{"impulse at 1 Hz: the first impulse at call 21846", patch,
                                "set imp.in0 1024; audio 21845; get imp.out0; audio 1;"
                                " get imp.out0; get imp.phase; audio 1; get imp.out0",
                                "0; 1024; 4; 0"};
    cases << BlockHarness::Case{"impulse with a reset of -1 gives 1024 on every call", patch,
                                "set imp.in0 450560; set imp.in1 -1; trace imp.out0 audio 5;"
                                " get imp.phase",
                                "1024 1024 1024 1024 1024; 0"};
    cases << BlockHarness::Case{
        "sine at control rate, 1 Hz: 1310 per tick, 131000 after 100, wraps on the 101st", patch,
        "set sinec.in0 1024; control 100; get sinec.phase; control 1; get sinec.phase",
        "131000; 1238"};
    cases << BlockHarness::Case{"the control-rate sine steps only on control ticks", patch,
                                "set sinec.in0 1024; audio 500; get sinec.phase; samples 201;"
                                " get sinec.phase",
                                "0; 1310"};

    // Reset: any value but 0, at the start of the call.
    cases << BlockHarness::Case{"sine reset by 1", patch,
                                "set sine.in0 450560; audio 37; set sine.in1 1; audio 1;"
                                " get sine.out0; get sine.phase; set sine.in1 0; audio 1;"
                                " get sine.phase",
                                "0; 2883; 5766"};
    cases << BlockHarness::Case{"sine reset by -5", patch,
                                "set sine.in0 450560; audio 37; set sine.in1 -5; audio 3;"
                                " get sine.out0; get sine.phase",
                                "0; 2883"};
    cases << BlockHarness::Case{"saw reset by -1", patch,
                                "set saw.in0 450560; audio 40; set saw.in1 -1; audio 1;"
                                " get saw.out0; get saw.phase",
                                "-512; 2883"};
    cases << BlockHarness::Case{"triangle reset", patch,
                                "set tri.in0 450560; audio 40; set tri.in1 1024; audio 1;"
                                " get tri.out0",
                                "-512"};
    cases << BlockHarness::Case{"pulse reset, then the step", patch,
                                "set pulse.in0 160000; set pulse.in1 512; audio 100;"
                                " set pulse.in2 1; audio 1; get pulse.phase; get pulse.out0",
                                "1024; -512"};
    cases << BlockHarness::Case{"impulse after a reset: the next one a full cycle later", patch,
                                "set imp.in0 160000; audio 77; set imp.in1 1; audio 1;"
                                " set imp.in1 0; audio 127; get imp.out0; audio 1; get imp.out0",
                                "0; 1024"};
    cases << BlockHarness::Case{"control-rate impulse reset", patch,
                                "set impc.in0 5120; control 7; set impc.in1 1; control 1;"
                                " get impc.out0; get impc.phase",
                                "1024; 0"};

    // FM: the carrier's and the modulator's steps, in 1/8 of the ratio.
    cases << BlockHarness::Case{"FM phases step by the carrier and ratio x carrier", patch,
                                "set fm.in0 410000; set fm.in1 2048; set fm.in2 0; audio 1;"
                                " get fm.carrierPhase; get fm.modPhase; audio 1;"
                                " get fm.carrierPhase",
                                "671744; 1343488; 1343488"};
    cases << BlockHarness::Case{"FM ratio in steps of 1/8: 2.1 counts as 2", patch,
                                "set fm.in0 410000; set fm.in1 2150; audio 1; get fm.modPhase",
                                "1343488"};
    cases << BlockHarness::Case{"FM phases stay within 25 bits", patch,
                                "set fm.in0 2147483647; set fm.in1 2147483647;"
                                " set fm.in2 2147483647; audio 1000; get fm.carrierPhase;"
                                " get fm.modPhase",
                                "0; 25526272"};

    cases << BlockHarness::Case{
        "walk with limit 0 always yields 0", patch,
        "set walk.in0 100; set walk.in1 0; set walkc.in0 100; set walkc.in1 0;"
        " trace walk.out0 audio 8; trace walkc.out0 control 4",
        "0 0 0 0 0 0 0 0; 0 0 0 0"};
    harness.addCaseRows(cases);
}

void TestOscillatorBlocks::behaviour()
{
    QFETCH(QString, answers);
    QFETCH(QString, expected);
    QCOMPARE(answers, expected);
}

void TestOscillatorBlocks::frequency_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<double>("expected");
    QTest::addColumn<double>("rate");

    struct Row
    {
        const char* label;
        double hertz;
    };
    const double audioHz[] = {20.0, 27.5, 110.0, 261.63, 440.0, 1000.0, 2500.0, 3999.0, 5000.0};
    QList<Row> rows;
    for (const char* label : {"sine", "saw", "tri", "pulse"}) {
        for (double f : audioHz)
            rows << Row{label, f};
    }
    rows << Row{"sine", -440.0} << Row{"saw", -1000.0} << Row{"tri", -20.0};
    for (const char* label : {"sinec", "tric", "pulsec"}) {
        for (double f : {0.5, 1.0, 7.3, 13.0})
            rows << Row{label, f};
    }

    QList<Traced> runs;
    QList<double> expected;
    QList<double> rates;
    for (const Row& r : rows) {
        const QString label = QString::fromLatin1(r.label);
        const bool control = isControl(label);
        const int rate = control ? controlRate : audioRate;
        // A second of sound; twenty seconds of control ticks.
        const int calls = control ? 2000 : 20000;
        QString script = QStringLiteral("set %1.in0 %2; ").arg(label).arg(hz(r.hertz));
        if (label.startsWith(QLatin1String("pulse")))
            script += QStringLiteral("set %1.in1 512; ").arg(label);
        script += QStringLiteral("trace %1.out0 %2 %3")
                      .arg(label, control ? QStringLiteral("control") : QStringLiteral("audio"))
                      .arg(calls);
        runs << Traced{QStringLiteral("%1 at %2 Hz").arg(label).arg(r.hertz), script};
        expected << analysis::oscillatorFrequency(int32_t(hz(r.hertz)), rate);
        rates << rate;
    }
    const QList<analysis::Trace> traces = traceAll(harness, patch, runs);
    for (int i = 0; i < runs.size(); ++i) {
        QTest::newRow(qPrintable(runs.at(i).name))
            << traces.at(i).values << traces.at(i).failure << expected.at(i) << rates.at(i);
    }
}

void TestOscillatorBlocks::frequency()
{
    QFETCH(QVector<double>, values);
    QFETCH(QString, failure);
    QFETCH(double, expected);
    QFETCH(double, rate);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    // Every waveform spans about -512..+512 and crosses 0 upwards once per cycle.
    const auto [low, high] = std::minmax_element(values.cbegin(), values.cend());
    QVERIFY2(*low >= -512 && *high <= 512, qPrintable(QString("%1 .. %2").arg(*low).arg(*high)));
    QVERIFY2(*high - *low >= 750, qPrintable(QString("%1 .. %2").arg(*low).arg(*high)));
    const double measured = analysis::crossingFrequency(values, rate);
    QVERIFY2(std::fabs(measured / expected - 1.0) < 0.001,
             qPrintable(QString("measured %1 Hz, expected %2 Hz")
                            .arg(measured, 0, 'f', 4)
                            .arg(expected, 0, 'f', 4)));
}

void TestOscillatorBlocks::pulseWidth_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<double>("duty");

    // 156.25 Hz steps the phase by exactly 1024: 128 calls per cycle, 40 cycles.
    const QList<qint64> widths{0, 1, 8, 100, 256, 512, 700, 768, 1016, 1023, 1024};
    // Outside 0..1024 the pulse stays low, also where the threshold's product wraps.
    const QList<qint64> outside{-1, -1024, 1025, 2048, 33554944, -2147483648LL, 2147483647};
    QList<Traced> runs;
    QList<double> duty;
    for (qint64 w : widths + outside) {
        runs << Traced{QStringLiteral("width %1").arg(w),
                       QStringLiteral("set pulse.in0 160000; set pulse.in1 %1;"
                                      " trace pulse.out0 audio 5120")
                           .arg(w)};
        duty << (w >= 0 && w <= 1024 ? w / 1024.0 : 0.0);
    }
    runs << Traced{QStringLiteral("control rate, width 256"),
                   QStringLiteral("set pulsec.in0 1600; set pulsec.in1 256;"
                                  " trace pulsec.out0 control 1280")};
    duty << 0.25;
    const QList<analysis::Trace> traces = traceAll(harness, patch, runs);
    for (int i = 0; i < runs.size(); ++i) {
        QTest::newRow(qPrintable(runs.at(i).name))
            << traces.at(i).values << traces.at(i).failure << duty.at(i);
    }
}

void TestOscillatorBlocks::pulseWidth()
{
    QFETCH(QVector<double>, values);
    QFETCH(QString, failure);
    QFETCH(double, duty);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    int high = 0;
    for (double v : values) {
        QVERIFY2(v == 512 || v == -512, qPrintable(QString::number(v)));
        high += v > 0;
    }
    // The phase takes 128 places per cycle, so the width is resolved to 1/128.
    const double measured = double(high) / values.size();
    QVERIFY2(std::fabs(measured - duty) <= 1.0 / 128 + 1e-9,
             qPrintable(QString("duty %1, expected %2").arg(measured).arg(duty)));
    if (duty == 0.0 || duty == 1.0)
        QCOMPARE(measured, duty);
}

void TestOscillatorBlocks::impulseOncePerCycle_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<qint64>("increment");

    QList<Traced> runs;
    QList<qint64> increments;
    for (double f : {1.0, 20.0, 440.0, 1000.0, 5000.0, -1.0, -440.0, -5000.0}) {
        runs << Traced{QStringLiteral("%1 Hz").arg(f),
                       QStringLiteral("set imp.in0 %1; trace imp.out0 audio 40000").arg(hz(f))};
        increments << analysis::oscillatorIncrement(int32_t(hz(f)), audioRate);
    }
    for (double f : {3.0, -7.5}) {
        runs << Traced{QStringLiteral("control rate, %1 Hz").arg(f),
                       QStringLiteral("set impc.in0 %1; trace impc.out0 control 2000").arg(hz(f))};
        increments << analysis::oscillatorIncrement(int32_t(hz(f)), controlRate);
    }
    const QList<analysis::Trace> traces = traceAll(harness, patch, runs);
    for (int i = 0; i < runs.size(); ++i) {
        QTest::newRow(qPrintable(runs.at(i).name))
            << traces.at(i).values << traces.at(i).failure << increments.at(i);
    }
}

void TestOscillatorBlocks::impulseOncePerCycle()
{
    QFETCH(QVector<double>, values);
    QFETCH(QString, failure);
    QFETCH(qint64, increment);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    // From phase 0 the n-th call has moved n x |inc|: forwards the k-th impulse comes when
    // that passes k cycles, backwards when it passes k - 1 (the first call already leaves
    // the cycle below 0).
    const qint64 n = values.size();
    const qint64 travel = n * std::llabs(increment);
    const qint64 expected = increment >= 0 ? travel / 131072 : (travel + 131071) / 131072;
    qint64 count = 0;
    qint64 previous = -1;
    qint64 shortest = n;
    qint64 longest = 0;
    for (int i = 0; i < values.size(); ++i) {
        QVERIFY2(values.at(i) == 0 || values.at(i) == 1024, qPrintable(QString::number(values[i])));
        if (values.at(i) == 1024) {
            ++count;
            if (previous >= 0) {
                shortest = qMin<qint64>(shortest, i - previous);
                longest = qMax<qint64>(longest, i - previous);
            }
            previous = i;
        }
    }
    QCOMPARE(count, expected);
    // Exactly one per cycle: the gaps are the cycle length, rounded down or up.
    if (count >= 2) {
        const double cycle = 131072.0 / std::llabs(increment);
        QVERIFY2(
            shortest >= std::floor(cycle) && longest <= std::ceil(cycle),
            qPrintable(
                QString("gaps %1..%2 for a cycle of %3").arg(shortest).arg(longest).arg(cycle)));
    }
}

void TestOscillatorBlocks::sineFollowsTheFormula_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<qint64>("frequency");
    QTest::addColumn<QString>("answers");

    struct Row
    {
        const char* label;
        double hertz;
    };
    const QList<Row> rows{{"sine", 440.0},  {"sine", -1234.5}, {"sine", 20.0},  {"sine", 5000.0},
                          {"sine", 9999.0}, {"sinec", 3.0},    {"sinec", -17.0}};
    QList<BlockHarness::Job> jobs;
    for (const Row& r : rows) {
        const QString label = QString::fromLatin1(r.label);
        jobs << BlockHarness::Job{patch, QStringLiteral("set %1.in0 %2; trace %1.out0 %3 4000")
                                             .arg(label)
                                             .arg(hz(r.hertz))
                                             .arg(isControl(label) ? QStringLiteral("control")
                                                                   : QStringLiteral("audio"))};
    }
    const QList<BlockHarness::Run> results = harness.runAll(jobs);
    for (int i = 0; i < rows.size(); ++i) {
        const BlockHarness::Run& run = results.at(i);
        QTest::newRow(
            qPrintable(QStringLiteral("%1 at %2 Hz").arg(rows[i].label).arg(rows[i].hertz)))
            << QString::fromLatin1(rows[i].label) << hz(rows[i].hertz)
            << (run.ok ? run.lines.value(0) : QStringLiteral("FAILED: ") + run.failure);
    }
}

void TestOscillatorBlocks::sineFollowsTheFormula()
{
    QFETCH(QString, label);
    QFETCH(qint64, frequency);
    QFETCH(QString, answers);
    const int rate = isControl(label) ? controlRate : audioRate;
    const int32_t inc = analysis::oscillatorIncrement(int32_t(frequency), rate);
    QStringList expected;
    uint32_t phase = 0;
    for (int i = 0; i < 4000; ++i) {
        expected << QString::number(analysis::runtimeSine(int32_t((phase / 16) << 2)) >> 3);
        phase = (phase + uint32_t(inc)) & 0x1FFFFu;
    }
    QCOMPARE(answers, expected.join(QLatin1Char(' ')));
}

void TestOscillatorBlocks::fmSpectrum_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<double>("index");

    // 400.39 Hz (410000) makes both phase steps exact, so the ratio is exactly what the
    // input says.
    const QList<QPair<double, double>> settings{
        {2.0, 0.0}, {2.0, 1.0}, {2.0, 2.5}, {1.5, 1.0}, {3.5, 0.5}};
    QList<Traced> runs;
    for (const auto& s : settings) {
        runs << Traced{QStringLiteral("ratio %1, index %2").arg(s.first).arg(s.second),
                       QStringLiteral("set fm.in0 410000; set fm.in1 %1; set fm.in2 %2;"
                                      " trace fm.out0 audio 20000")
                           .arg(hz(s.first))
                           .arg(hz(s.second))};
    }
    const QList<analysis::Trace> traces = traceAll(harness, patch, runs);
    for (int i = 0; i < runs.size(); ++i) {
        QTest::newRow(qPrintable(runs.at(i).name)) << traces.at(i).values << traces.at(i).failure
                                                   << settings.at(i).first << settings.at(i).second;
    }
}

void TestOscillatorBlocks::fmSpectrum()
{
    QFETCH(QVector<double>, values);
    QFETCH(QString, failure);
    QFETCH(double, ratio);
    QFETCH(double, index);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));

    // The same voice from a true sine: 512 sin(2 pi fc t + index sin(2 pi fm t)), both phases
    // from 0 and stepped as the block steps them.
    const double carrierStep = 5248.0 * 128 / 33554432.0;
    const double modulatorStep = carrierStep * ratio;
    const double fc = carrierStep * audioRate;
    QVector<double> ideal;
    for (int n = 0; n < values.size(); ++n) {
        const double m = std::sin(2.0 * M_PI * std::fmod(n * modulatorStep, 1.0));
        ideal << 512.0 * std::sin(2.0 * M_PI * std::fmod(n * carrierStep, 1.0) + index * m);
    }

    if (index == 0.0) {
        // The carrier alone: the runtime's sine of the carrier phase, sample for sample.
        uint32_t phase = 0;
        for (int n = 0; n < values.size(); ++n) {
            const int32_t expected = (analysis::runtimeSine(int32_t((phase >> 12) << 2)) + 4) >> 3;
            QCOMPARE(values.at(n), double(expected));
            phase = (phase + 5248u * 128u) & 0x1FFFFFFu;
        }
    }
    // Every half multiple of the carrier up to the 8th harmonic: the components of FM lie at
    // fc + k fm, which for these ratios fall on that grid; the rest of the grid stays empty.
    // The polynomial sine adds its own odd harmonics of about 1.5 % of the amplitude.
    QStringList report;
    bool ok = true;
    for (int h = 1; h <= 16; ++h) {
        const double f = fc * h / 2.0;
        const double got = analysis::amplitudeAt(values, f, audioRate);
        const double want = analysis::amplitudeAt(ideal, f, audioRate);
        report << QStringLiteral("%1 fc: %2 (ideal %3)")
                      .arg(h / 2.0)
                      .arg(got, 0, 'f', 1)
                      .arg(want, 0, 'f', 1);
        if (std::fabs(got - want) > 12.0)
            ok = false;
    }
    QVERIFY2(ok, qPrintable(report.join('\n')));
    if (index > 0.0) {
        // Modulated: a good part of the sound has moved off the carrier.
        double moved = 0.0;
        for (int h = 2; h <= 16; ++h)
            moved += analysis::amplitudeAt(values, fc * h / 2.0, audioRate);
        QVERIFY2(moved > 60.0, qPrintable(report.join('\n')));
    } else {
        QVERIFY2(analysis::amplitudeAt(values, fc * 3.0, audioRate) < 0.03 * 512,
                 qPrintable(report.join('\n')));
        QVERIFY2(analysis::amplitudeAt(values, fc * 2.0, audioRate) < 1.0,
                 qPrintable(report.join('\n')));
    }
}

void TestOscillatorBlocks::noiseStatistics()
{
    const QList<BlockHarness::Run> runs =
        harness.runAll({{noiseAlone, "trace n.out0 audio 20000"},
                        {patch, "trace noise.out0 audio 20000"},
                        {patch, "trace noisec.out0 control 5000"}});
    // Alone, the block gives the runtime's random numbers less 512, from the first.
    QString failure;
    const QVector<double> alone = analysis::traceValues(runs.at(0), 0, &failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const QVector<uint32_t> random = analysis::runtimeRandom(alone.size());
    for (int i = 0; i < alone.size(); ++i)
        QCOMPARE(alone.at(i), double(random.at(i)) - 512.0);

    for (const BlockHarness::Run& run : runs) {
        const QVector<double> x = analysis::traceValues(run, 0, &failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        const auto [low, high] = std::minmax_element(x.cbegin(), x.cend());
        QCOMPARE(*low, -512.0);
        QCOMPARE(*high, 511.0);
        // Uniform over 1024 values: mean -0.5, variance 1024^2/12; the mean of 5000 such
        // values strays by about 4.
        const double m = analysis::mean(x);
        QVERIFY2(std::fabs(m + 0.5) < 20.0, qPrintable(QString::number(m)));
        const double v = analysis::variance(x);
        QVERIFY2(std::fabs(v / (1024.0 * 1024.0 / 12.0) - 1.0) < 0.05,
                 qPrintable(QString::number(v)));
    }
}

void TestOscillatorBlocks::walkStaysWithinItsLimit()
{
    const QList<BlockHarness::Run> runs =
        harness.runAll({{walkAlone, "set w.in0 10; set w.in1 300; trace w.out0 audio 20000"},
                        // A step much larger than the limit: every call lands on one of the limits.
                        {walkAlone, "set w.in0 100000; set w.in1 256; trace w.out0 audio 500"},
                        // Next to the ends of the range a step would wrap round to the other end.
                        {walkAlone, "set w.out0 2147483600; set w.in0 1000; set w.in1 2147483647;"
                                    " trace w.out0 audio 200"},
                        {walkAlone, "set w.out0 -2147483600; set w.in0 1000; set w.in1 2147483647;"
                                    " trace w.out0 audio 200"}});
    QString failure;
    const QVector<double> small = analysis::traceValues(runs.at(0), 0, &failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    double previous = 0.0;
    int atLimit = 0;
    for (double v : small) {
        QVERIFY2(std::fabs(v) <= 300.0, qPrintable(QString::number(v)));
        const double step = std::fabs(v - previous);
        QVERIFY2(step == 10.0 || (step < 10.0 && std::fabs(v) == 300.0),
                 qPrintable(QString::number(step)));
        atLimit += std::fabs(v) == 300.0;
        previous = v;
    }
    QVERIFY(atLimit > 0);
    QVERIFY(analysis::variance(small) > 100.0);

    const QVector<double> wide = analysis::traceValues(runs.at(1), 0, &failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    for (double v : wide)
        QVERIFY2(v == 256.0 || v == -256.0, qPrintable(QString::number(v)));

    for (int r = 2; r < 4; ++r) {
        const QVector<double> edge = analysis::traceValues(runs.at(r), 0, &failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        for (double v : edge) {
            QVERIFY2(std::fabs(v) >= 2147483600.0 - 200 * 1000.0 && std::fabs(v) <= 2147483647.0,
                     qPrintable(QString::number(v, 'f', 0)));
            QVERIFY2((v > 0) == (r == 2), qPrintable(QString::number(v, 'f', 0)));
        }
    }
}

KL_TEST_MAIN(TestOscillatorBlocks)

#include "test_oscillator_blocks.moc"
