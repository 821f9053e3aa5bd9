// Behaviour of the filters and the waveshapers, run as generated code: the filters' response to
// sines (pass band, stop band, band-pass peak and what resonance does to it), the filters call
// for call against their steps computed here in plain 32-bit arithmetic for normal inputs, the
// switchable filter against the single ones, the divisor and range guards of the filter core,
// the shapers' worked values and limits, the limiter's ceiling and look-ahead, and the
// reducer's resolution and hold.
#include "BlockHarness.h"
#include "SignalAnalysis.h"
#include "TestMain.h"

#include <QtTest>

#include <array>
#include <cmath>

namespace {

const qint64 min32 = -2147483648LL;
const qint64 max32 = 2147483647LL;
const int audioRate = 20000;

// Every shaper once, and the filters at both rates; one program serves the tables.
const char* const patch = R"(
clip = i3o1_clip
od = i2o1_overdrive
fold = i3o1_fold
fuzz = f_fuzz
lim = f_limiter
red = reducer_func
redc = reducer_func rate=1
lp = filter_lp
lpc = filter_lp rate=1
hp = filter_hp
bp = filter_bp
mm = f_filter
)";

// A sine from the oscillator into one filter.
QString sineInto(const QString& filter)
{
    return QStringLiteral("s = gen_sine\nf = %1\ns.out0 -> f.in0\n").arg(filter);
}

// The sine made quieter first (x 1/8), so that a ringing filter stays within its headroom.
QString quietSineInto(const QString& filter)
{
    return QStringLiteral("s = gen_sine\ng = i2o1_multiply in1=0.125\nf = %1\n"
                          "s.out0 -> g.in0\ng.out0 -> f.in0\n")
        .arg(filter);
}

// The runtime's noise into one block: its input is the runtime's random numbers less 512.
QString noiseInto(const QString& block, const QString& values = QString())
{
    return QStringLiteral("n = o1_noise\nf = %1 %2\nn.out0 -> f.in0\n").arg(block, values);
}

qint64 hz(double f)
{
    return qint64(std::llround(f * 1024.0));
}

// ---- The filter as defined: plain 32-bit arithmetic with wrap-around, no guards ------------

int32_t wrap(int64_t v)
{
    return int32_t(uint32_t(uint64_t(v)));
}

struct Filter
{
    int32_t band = 0;
    int32_t low = 0;
    // Some product or sum left the 32-bit range: from there on the definition's result is not
    // what its formulas mean.
    bool wrapped = false;
    // Every intermediate in 64 bits instead: the formulas' own values; `overflowed` when a
    // state or an output then did not fit 32 bits.
    bool exact = false;
    bool overflowed = false;

    int64_t fit(int64_t v)
    {
        if (exact)
            return v;
        if (v != int64_t(wrap(v)))
            wrapped = true;
        return wrap(v);
    }
    int32_t keep(int64_t v)
    {
        if (v != int64_t(wrap(v)))
            overflowed = true;
        return wrap(v);
    }

    // Low, band and high outputs of one call.
    std::array<int32_t, 3> step(int32_t in, int32_t cutoff, int32_t resonance, int rate)
    {
        int64_t g = fit(int64_t(cutoff) * 25) / rate;
        if (g == 4096)
            g = 4097;
        const int64_t q =
            fit(int64_t(resonance) * 32 + fit(fit(int64_t(resonance) * 131072) / (4096 - g)));
        const int32_t b = band;
        const int32_t l = low;
        const int64_t hp = fit(int64_t(in) * 32 - b);
        const int64_t feedback = fit(q * fit(int64_t(b) - l)) >> 15;
        band = keep(fit(b + (fit(g * fit(hp + feedback)) >> 12)));
        low = keep(fit(l + (fit(g * fit(int64_t(band) - l)) >> 12)));
        if (low > 65536 || low < -65536) {
            band = 0;
            low = 0;
        }
        return {low >> 5, keep(fit(int64_t(b) - l) >> 5), keep(hp >> 5)};
    }
};

// Amplitude of the sine in the second half of a trace (the first lets the filter settle).
double settledAmplitude(const QVector<double>& x, double frequency)
{
    return analysis::amplitudeAt(x.mid(x.size() / 2), frequency, audioRate);
}

} // namespace

class TestFilterBlocks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void response_data();
    void response();
    void bandPassPeak();
    void followsTheDefinition_data();
    void followsTheDefinition();
    void sameOutput_data();
    void sameOutput();
    void behaviour_data();
    void behaviour();
    void fuzzFollowsTheDefinition();
    void limiterCeiling_data();
    void limiterCeiling();
    void reducerHold();

private:
    // The band-pass filter's largest gain over a sweep of sines from 500 to 2000 Hz, and
    // where it lies; a quiet input when `quiet`.
    bool bandPassSweep(int resonance, bool quiet, double* peak, double* at, QString* failure);

    BlockHarness harness;
};

void TestFilterBlocks::initTestCase()
{
    QString error;
    QVERIFY2(harness.prepare({patch, sineInto("filter_lp"), sineInto("filter_hp"),
                              sineInto("filter_bp"), quietSineInto("filter_bp")},
                             &error),
             qPrintable(error));
}

void TestFilterBlocks::response_data()
{
    QTest::addColumn<QVector<double>>("input");
    QTest::addColumn<QVector<double>>("output");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<double>("frequency");
    QTest::addColumn<double>("lowest");
    QTest::addColumn<double>("highest");

    struct Row
    {
        const char* filter;
        double hertz;
        double lowest;
        double highest;
    };
    // Cutoff 1 kHz, resonance 0.5: the pass band at 0.95 and more, the stop band at 0.10 and
    // less of the input's amplitude.
    const QList<Row> rows{{"filter_lp", 100.0, 0.95, 1e9},
                          {"filter_lp", 5000.0, 0.0, 0.10},
                          {"filter_hp", 100.0, 0.0, 0.10},
                          {"filter_hp", 10000.0, 0.95, 1e9}};
    QList<BlockHarness::Job> jobs;
    for (const Row& r : rows) {
        // At 10 kHz the oscillator steps by half a cycle: started a quarter cycle in, it
        // alternates between its peaks instead of sampling its zeros.
        const QString setup = QStringLiteral("set f.in1 1024000; set f.in2 512; set s.in0 %1;"
                                             " set s.phase 32768; ")
                                  .arg(hz(r.hertz));
        jobs << BlockHarness::Job{sineInto(r.filter), setup + "trace f.in0 audio 8000"}
             << BlockHarness::Job{sineInto(r.filter), setup + "trace f.out0 audio 8000"};
    }
    const QList<analysis::Trace> traces = analysis::traceAll(harness, jobs);
    for (int i = 0; i < rows.size(); ++i) {
        const Row& r = rows.at(i);
        const analysis::Trace& in = traces.at(2 * i);
        const analysis::Trace& out = traces.at(2 * i + 1);
        QTest::newRow(qPrintable(QStringLiteral("%1 at %2 Hz").arg(r.filter).arg(r.hertz)))
            << in.values << out.values << (in.failure + out.failure)
            << analysis::oscillatorFrequency(int32_t(hz(r.hertz)), audioRate) << r.lowest
            << r.highest;
    }
}

void TestFilterBlocks::response()
{
    QFETCH(QVector<double>, input);
    QFETCH(QVector<double>, output);
    QFETCH(QString, failure);
    QFETCH(double, frequency);
    QFETCH(double, lowest);
    QFETCH(double, highest);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const double in = settledAmplitude(input, frequency);
    const double out = settledAmplitude(output, frequency);
    QVERIFY2(in > 400.0, qPrintable(QString::number(in)));
    const double gain = out / in;
    qInfo("gain %.3f (input %.1f, output %.1f)", gain, in, out);
    QVERIFY2(gain >= lowest && gain <= highest, qPrintable(QString::number(gain, 'f', 3)));
}

bool TestFilterBlocks::bandPassSweep(int resonance, bool quiet, double* peak, double* at,
                                     QString* failure)
{
    const QString filterPatch = quiet ? quietSineInto("filter_bp") : sineInto("filter_bp");
    QList<BlockHarness::Job> jobs;
    QList<double> frequencies;
    for (double f = 500.0; f <= 2000.0; f += 20.0) {
        const QString setup = QStringLiteral("set f.in1 1024000; set f.in2 %1; set s.in0 %2; ")
                                  .arg(resonance)
                                  .arg(hz(f));
        jobs << BlockHarness::Job{filterPatch, setup + "trace f.in0 audio 8000"}
             << BlockHarness::Job{filterPatch, setup + "trace f.out0 audio 8000"};
        frequencies << analysis::oscillatorFrequency(int32_t(hz(f)), audioRate);
    }
    const QList<analysis::Trace> traces = analysis::traceAll(harness, jobs);
    *peak = 0.0;
    for (int i = 0; i < frequencies.size(); ++i) {
        if (!traces.at(2 * i).failure.isEmpty() || !traces.at(2 * i + 1).failure.isEmpty()) {
            *failure = traces.at(2 * i).failure + traces.at(2 * i + 1).failure;
            return false;
        }
        const double gain = settledAmplitude(traces.at(2 * i + 1).values, frequencies.at(i)) /
                            settledAmplitude(traces.at(2 * i).values, frequencies.at(i));
        if (gain > *peak) {
            *peak = gain;
            *at = frequencies.at(i);
        }
    }
    return true;
}

void TestFilterBlocks::bandPassPeak()
{
    // At resonance 0.5 the band-pass filter peaks within 15 % of its 1 kHz cutoff.
    double peak = 0.0;
    double at = 0.0;
    QString failure;
    QVERIFY2(bandPassSweep(512, false, &peak, &at, &failure), qPrintable(failure));
    qInfo("resonance 512: peak gain %.3f at %.1f Hz", peak, at);
    QVERIFY2(std::fabs(at / 1000.0 - 1.0) <= 0.15, qPrintable(QString::number(at)));

    // More resonance, a higher peak: measured on a quieter sine, which a filter at 0.88
    // rings up to about three times without running out of headroom.
    QList<double> peaks;
    for (int resonance : {0, 512, 900}) {
        QVERIFY2(bandPassSweep(resonance, true, &peak, &at, &failure), qPrintable(failure));
        qInfo("resonance %d: peak gain %.3f at %.1f Hz", resonance, peak, at);
        peaks << peak;
    }
    QVERIFY2(peaks.at(0) < peaks.at(1) && peaks.at(1) < peaks.at(2),
             qPrintable(QString("%1 %2 %3").arg(peaks.at(0)).arg(peaks.at(1)).arg(peaks.at(2))));
    QVERIFY2(peaks.at(2) > 2.0 * peaks.at(0), qPrintable(QString::number(peaks.at(2))));
}

void TestFilterBlocks::followsTheDefinition_data()
{
    QTest::addColumn<QString>("answers");
    QTest::addColumn<int>("tap");
    QTest::addColumn<int>("cutoff");
    QTest::addColumn<int>("resonance");
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("exact");

    struct Row
    {
        const char* block;
        int tap;
        double hertz;
        int resonance;
        // Rows whose 32-bit products overflow: compared with the formulas' own values.
        bool exact;
        bool control;
    };
    // Full-scale noise through every filter at cutoffs from 0 to above the 3200 Hz point
    // where g is 4096, and resonances up to the top of the range.
    QList<Row> rows;
    const QList<double> cutoffs{0.0, 50.0, 440.0, 1000.0, 2500.0, 3500.0};
    for (double c : cutoffs) {
        for (int r : {0, 300, 700}) {
            rows << Row{"filter_lp", 0, c, r, false, false}
                 << Row{"filter_bp", 1, c, r, false, false}
                 << Row{"filter_hp", 2, c, r, false, false};
        }
    }
    // Next to g = 4096 only without resonance: with it, q grows past what 32 bits carry.
    for (double c : {3199.0, 3200.0}) {
        rows << Row{"filter_lp", 0, c, 0, false, false} << Row{"filter_bp", 1, c, 0, false, false}
             << Row{"filter_hp", 2, c, 0, false, false};
    }
    rows << Row{"filter_lp", 0, 3200.0, 512, false, false};
    rows << Row{"filter_lp", 0, 8.0, 1023, false, true}
         << Row{"filter_hp", 2, 20.0, 600, false, true};
    // Loud and ringing: the feedback product q x (b - l) leaves 32 bits, and so does the
    // whole feedback next to g = 4096.
    rows << Row{"filter_bp", 1, 1000.0, 1000, true, false}
         << Row{"filter_lp", 0, 1000.0, 1023, true, false}
         << Row{"filter_hp", 2, 3199.0, 1023, true, false};

    QList<BlockHarness::Job> jobs;
    for (const Row& r : rows) {
        jobs << BlockHarness::Job{
            noiseInto(r.block, r.control ? QStringLiteral("rate=1") : QString()),
            QStringLiteral("set f.in1 %1; set f.in2 %2; trace f.out0 %3 6000")
                .arg(hz(r.hertz))
                .arg(r.resonance)
                .arg(r.control ? QStringLiteral("samples") : QStringLiteral("audio"))};
    }
    const QList<BlockHarness::Run> runs = harness.runAll(jobs);
    for (int i = 0; i < rows.size(); ++i) {
        const Row& r = rows.at(i);
        const BlockHarness::Run& run = runs.at(i);
        QTest::newRow(qPrintable(QStringLiteral("%1%2 at %3 Hz, resonance %4")
                                     .arg(r.block, r.control ? " (control rate)" : "")
                                     .arg(r.hertz)
                                     .arg(r.resonance)))
            << (run.ok ? run.lines.value(0) : QStringLiteral("FAILED: ") + run.failure) << r.tap
            << int(hz(r.hertz)) << r.resonance << (r.control ? 100 : audioRate) << r.exact;
    }
}

void TestFilterBlocks::followsTheDefinition()
{
    QFETCH(QString, answers);
    QFETCH(int, tap);
    QFETCH(int, cutoff);
    QFETCH(int, resonance);
    QFETCH(int, rate);
    QFETCH(bool, exact);
    QVERIFY2(!answers.startsWith(QLatin1String("FAILED")), qPrintable(answers));
    const QStringList got = answers.split(QLatin1Char(' '));

    const int samples = got.size();
    // The noise block runs on every sample; a control-rate filter takes one of every 200,
    // the first before the 201st sample.
    const QVector<uint32_t> random = analysis::runtimeRandom(samples);
    Filter definition;
    Filter formulas;
    formulas.exact = true;
    QStringList expected;
    QStringList plain;
    int32_t held[2] = {0, 0};
    for (int n = 0; n < samples; ++n) {
        if (rate == audioRate || (n >= 200 && n % 200 == 0)) {
            const int32_t in = int32_t(random.at(rate == audioRate ? n : n - 1)) - 512;
            held[0] = definition.step(in, cutoff, resonance, rate)[size_t(tap)];
            held[1] = formulas.step(in, cutoff, resonance, rate)[size_t(tap)];
        }
        plain << QString::number(held[0]);
        expected << QString::number(held[1]);
    }
    if (!exact) {
        // A normal input: no product of the definition overflows, and the block's result is
        // the definition's to the bit.
        QVERIFY(!definition.wrapped);
        QCOMPARE(answers, plain.join(QLatin1Char(' ')));
    } else {
        // Here the definition's 32-bit products wrap round; the block keeps the formulas'
        // values instead.
        QVERIFY(definition.wrapped);
        QVERIFY(!formulas.overflowed);
        QVERIFY(answers != plain.join(QLatin1Char(' ')));
        QCOMPARE(answers, expected.join(QLatin1Char(' ')));
    }
}

void TestFilterBlocks::sameOutput_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("constant");

    struct Row
    {
        QString name;
        QString patchA;
        QString scriptA;
        QString patchB;
        QString scriptB;
        // The trace is meant to hold one value only (a filter at rest).
        bool constant;
    };
    const QString lp = noiseInto("filter_lp");
    const QString bp = noiseInto("filter_bp");
    const QString hp = noiseInto("filter_hp");
    const QString mm = noiseInto("f_filter");
    const QString trace = QStringLiteral("trace f.out0 audio 3000");
    auto with = [](qint64 cutoff, qint64 resonance) {
        return QStringLiteral("set f.in1 %1; set f.in2 %2; ").arg(cutoff).arg(resonance);
    };
    auto inMode = [](qint64 mode) { return QStringLiteral("set f.in3 %1; ").arg(mode); };
    QList<Row> rows;
    // The switchable filter in each mode is the single filter of that mode, sample for sample.
    for (qint64 mode : {min32, -1024LL, 0LL, 1023LL}) {
        rows << Row{QStringLiteral("mode %1 is the low-pass filter").arg(mode),
                    mm,
                    with(hz(1000), 512) + inMode(mode) + trace,
                    lp,
                    with(hz(1000), 512) + trace,
                    false};
    }
    for (qint64 mode : {1024LL, 2047LL}) {
        rows << Row{QStringLiteral("mode %1 is the band-pass filter").arg(mode),
                    mm,
                    with(hz(700), 800) + inMode(mode) + trace,
                    bp,
                    with(hz(700), 800) + trace,
                    false};
    }
    for (qint64 mode : {2048LL, 3071LL}) {
        rows << Row{QStringLiteral("mode %1 is the high-pass filter").arg(mode),
                    mm,
                    with(hz(2000), 100) + inMode(mode) + trace,
                    hp,
                    with(hz(2000), 100) + trace,
                    false};
    }
    for (qint64 mode : {3072LL, max32}) {
        rows << Row{QStringLiteral("mode %1 passes the input").arg(mode),
                    mm,
                    with(hz(2000), 100) + inMode(mode) + trace,
                    mm,
                    with(hz(2000), 100) + inMode(mode) + "trace f.in0 audio 3000",
                    false};
    }
    // The states run on while the filter is bypassed: back in low-pass mode it goes on as
    // the low-pass filter that never stopped.
    rows << Row{"bypassed, the states run on",
                mm,
                with(hz(1000), 512) + inMode(4096) + "audio 500; set f.in3 0; " + trace,
                lp,
                with(hz(1000), 512) + "audio 500; " + trace,
                false};

    // Resonance outside 0..1023, with g = 4097 (3200 Hz), where the definition divides
    // +-16384 x 131072, the lowest 32-bit value, by -1; and at 1 kHz.
    for (qint64 r : {1024LL, 16384LL, 1048576LL, max32}) {
        rows << Row{QStringLiteral("resonance %1 at 3200 Hz counts as 1023").arg(r),
                    lp,
                    with(3276800, r) + trace,
                    lp,
                    with(3276800, 1023) + trace,
                    false};
        rows << Row{QStringLiteral("resonance %1 at 1 kHz counts as 1023").arg(r),
                    bp,
                    with(hz(1000), r) + trace,
                    bp,
                    with(hz(1000), 1023) + trace,
                    false};
    }
    for (qint64 r : {-1LL, -16384LL, min32}) {
        rows << Row{QStringLiteral("resonance %1 at 3200 Hz counts as 0").arg(r),
                    hp,
                    with(3276800, r) + trace,
                    hp,
                    with(3276800, 0) + trace,
                    false};
    }
    // Cutoff above half the sample rate counts as half the rate; below 0 as 0 (at rest).
    for (qint64 c : {hz(10001), hz(20000), 85899345LL, 85899346LL, max32}) {
        rows << Row{QStringLiteral("cutoff %1 counts as 10 kHz").arg(c),
                    bp,
                    with(c, 512) + trace,
                    bp,
                    with(hz(10000), 512) + trace,
                    false};
    }
    for (qint64 c : {-1LL, -1048576LL, min32}) {
        rows << Row{QStringLiteral("cutoff %1 counts as 0").arg(c),
                    lp,
                    with(c, 512) + trace,
                    lp,
                    with(0, 512) + trace,
                    true};
    }
    // At control rate the top is half the control rate, 50 Hz.
    rows << Row{
        "control rate: cutoff above 50 Hz counts as 50 Hz", noiseInto("filter_lp", "rate=1"),
        with(hz(400), 512) + "trace f.out0 samples 20000",  noiseInto("filter_lp", "rate=1"),
        with(hz(50), 512) + "trace f.out0 samples 20000",   false};

    QList<BlockHarness::Job> jobs;
    for (const Row& r : rows)
        jobs << BlockHarness::Job{r.patchA, r.scriptA} << BlockHarness::Job{r.patchB, r.scriptB};
    const QList<BlockHarness::Run> runs = harness.runAll(jobs);
    auto text = [](const BlockHarness::Run& run) {
        return run.ok ? run.lines.value(0) : QStringLiteral("FAILED: ") + run.failure;
    };
    for (int i = 0; i < rows.size(); ++i) {
        QTest::newRow(qPrintable(rows.at(i).name))
            << text(runs.at(2 * i)) << text(runs.at(2 * i + 1)) << rows.at(i).constant;
    }
}

void TestFilterBlocks::sameOutput()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, constant);
    QVERIFY2(!first.startsWith(QLatin1String("FAILED")), qPrintable(first));
    QVERIFY2(!second.startsWith(QLatin1String("FAILED")), qPrintable(second));
    QCOMPARE(first, second);
    // Not two silences: the trace moves, except where the filter is meant to rest.
    const QStringList values = first.split(QLatin1Char(' '));
    const bool moves = QSet<QString>(values.cbegin(), values.cend()).size() > 1;
    QCOMPARE(moves, !constant);
}

void TestFilterBlocks::behaviour_data()
{
    QList<BlockHarness::Case> cases;
    auto call = [](const QString& label, const QList<qint64>& values, const QString& read) {
        QString script;
        for (int i = 0; i < values.size(); ++i)
            script += QStringLiteral("set %1.in%2 %3; ").arg(label).arg(i).arg(values.at(i));
        return script + "audio 1; get " + label + "." + read;
    };

    // Filter core: the edges of the definition.
    cases << BlockHarness::Case{"filter at 3200 Hz, resonance 0: g = 4097, first call", patch,
                                call("lp", {100, 3276800, 0}, "out0") + "; get lp.bandState;"
                                                                        " get lp.lowState",
                                "100; 3200; 3200"};
    cases << BlockHarness::Case{
        "filter at 3200 Hz, resonance 16384: no trap, the core as at 1023", patch,
        call("lp", {100, 3276800, 16384}, "bandState") + "; get lp.lowState; audio 1;"
                                                         " get lp.out0",
        "3200; 3200; 100"};
    cases << BlockHarness::Case{"filter that runs away starts again from rest", patch,
                                "set lp.in1 1024000; set lp.in2 0; set lp.in0 0;"
                                " set lp.bandState 300000; set lp.lowState 65536; audio 1;"
                                " get lp.out0; get lp.bandState; get lp.lowState; audio 1;"
                                " get lp.out0",
                                "0; 0; 0; 0"};
    cases << BlockHarness::Case{"filter with its low state at 65536 goes on", patch,
                                "set lp.in1 1024000; set lp.in2 0; set lp.in0 2048;"
                                " set lp.bandState 65536; set lp.lowState 65536; audio 1;"
                                " get lp.out0; get lp.lowState",
                                "2048; 65536"};
    cases << BlockHarness::Case{"filter with its low state just past 65536 resets", patch,
                                "set lp.in1 1024000; set lp.in2 0; set lp.in0 2049;"
                                " set lp.bandState 65536; set lp.lowState 65536; audio 1;"
                                " get lp.out0; get lp.bandState",
                                "0; 0"};
    // 2^26 x 32 is 2^31: in 32 bits the high-pass output would come out negative.
    cases << BlockHarness::Case{"high-pass of a huge input keeps its sign", patch,
                                call("hp", {67108864, 1024000, 0}, "out0"), "67108864"};
    cases << BlockHarness::Case{"high-pass of the lowest input keeps its sign", patch,
                                call("hp", {min32, 1024000, 1023}, "out0"), "-2147483648"};
    cases << BlockHarness::Case{
        "band state of a huge input saturates, and the filter resets", patch,
        "set bp.in0 2147483647; set bp.in1 10240000; set bp.in2 1023; audio 1; get bp.bandState;"
        " get bp.lowState",
        "0; 0"};

    // 134184000 x 32 x 4097 >> 12 is just below 2^32: wrapped, the band state would come
    // out as -30984 and the filter would go on from there.
    cases << BlockHarness::Case{
        "band state that would wrap round saturates, and the filter resets", patch,
        "set bp.in0 134184000; set bp.in1 3276800; set bp.in2 0; audio 1; get bp.bandState;"
        " get bp.lowState",
        "0; 0"};

    // Clipper.
    cases << BlockHarness::Case{"clip within the limits", patch,
                                call("clip", {100, -256, 256}, "out0"), "100"};
    cases << BlockHarness::Case{"clip at the maximum", patch,
                                call("clip", {256, -256, 256}, "out0"), "256"};
    cases << BlockHarness::Case{"clip above the maximum", patch,
                                call("clip", {257, -256, 256}, "out0"), "256"};
    cases << BlockHarness::Case{"clip below the minimum", patch,
                                call("clip", {-257, -256, 256}, "out0"), "-256"};
    cases << BlockHarness::Case{"clip with crossed limits, above both: the maximum", patch,
                                call("clip", {300, 200, -200}, "out0"), "-200"};
    cases << BlockHarness::Case{"clip with crossed limits, below both: the minimum", patch,
                                call("clip", {-300, 200, -200}, "out0"), "200"};
    cases << BlockHarness::Case{"clip of the extremes", patch,
                                call("clip", {min32, min32, max32}, "out0") + "; " +
                                    call("clip", {max32, min32, max32}, "out0"),
                                "-2147483648; 2147483647"};

    // Overdrive: 511 at gain 1 is 359, and the drive is limited to +-511 first.
    cases << BlockHarness::Case{"overdrive of 511", patch, call("od", {511, 1024}, "out0"), "359"};
    cases << BlockHarness::Case{"overdrive of -511", patch, call("od", {-511, 1024}, "out0"),
                                "-359"};
    cases << BlockHarness::Case{"overdrive of 0", patch, call("od", {0, 4096}, "out0"), "0"};
    cases << BlockHarness::Case{"overdrive of 100 at gain 1", patch,
                                call("od", {100, 1024}, "out0"), "119"};
    cases << BlockHarness::Case{"overdrive driven beyond 511", patch,
                                call("od", {300, 8192}, "out0"), "359"};
    cases << BlockHarness::Case{"overdrive at drive 512 stops at 511", patch,
                                call("od", {512, 1024}, "out0"), "359"};
    // 512 x (2^31 - 1) wraps to -512 in 32 bits, which would drive to -1.
    cases << BlockHarness::Case{"overdrive with a drive that would wrap", patch,
                                call("od", {512, max32}, "out0") + "; " +
                                    call("od", {-512, max32}, "out0") + "; " +
                                    call("od", {min32, min32}, "out0"),
                                "359; -359; 359"};

    // Folder: threshold 256 and input 300 give 212.
    cases << BlockHarness::Case{"fold of 300 at 256", patch, call("fold", {300, 1024, 256}, "out0"),
                                "212"};
    cases << BlockHarness::Case{"fold of -300 at 256", patch,
                                call("fold", {-300, 1024, 256}, "out0"), "-212"};
    cases << BlockHarness::Case{"fold at the threshold: unchanged", patch,
                                call("fold", {256, 1024, 256}, "out0"), "256"};
    cases << BlockHarness::Case{"fold just above the threshold", patch,
                                call("fold", {257, 1024, 256}, "out0"), "255"};
    cases << BlockHarness::Case{"fold far above the threshold", patch,
                                call("fold", {600, 1024, 256}, "out0"), "-88"};
    cases << BlockHarness::Case{"fold twice", patch, call("fold", {900, 1024, 256}, "out0"),
                                "-124"};
    // 4088 folds six times to 1016 and stays outside +-256.
    cases << BlockHarness::Case{"fold stops after six folds", patch,
                                call("fold", {511, 8192, 256}, "out0"), "1016"};
    cases << BlockHarness::Case{"fold at threshold 0: six flips, unchanged", patch,
                                call("fold", {100, 1024, 0}, "out0"), "100"};
    // 1024 x (2^31 - 1) wraps to -1024 in 32 bits.
    cases << BlockHarness::Case{"fold with a gain that would wrap", patch,
                                call("fold", {1024, max32, max32}, "out0") + "; " +
                                    call("fold", {max32, max32, 0}, "out0") + "; " +
                                    call("fold", {min32, max32, 0}, "out0"),
                                "2147483647; 2147483647; -2147483648"};

    // Fuzz: without jitter a fold like the folder's, then clipped to the threshold.
    cases << BlockHarness::Case{"fuzz of 300 at 256 without jitter", patch,
                                call("fuzz", {300, 1024, 256, 0}, "out0"), "212"};
    cases << BlockHarness::Case{"fuzz clips what six folds leave outside", patch,
                                call("fuzz", {511, 8192, 256, 0}, "out0") + "; " +
                                    call("fuzz", {-511, 8192, 256, 0}, "out0"),
                                "256; -256"};
    cases << BlockHarness::Case{"fuzz at the threshold: unchanged", patch,
                                call("fuzz", {256, 1024, 256, 1024}, "out0"), "256"};
    cases << BlockHarness::Case{"fuzz of the extremes stays within the threshold", patch,
                                call("fuzz", {max32, max32, 300, max32}, "out0") + "; " +
                                    call("fuzz", {min32, max32, 300, min32}, "out0"),
                                "300; -300"};
    cases << BlockHarness::Case{"fuzz at the lowest threshold does not overflow", patch,
                                call("fuzz", {100, 1024, min32, 0}, "out0"), "-2147483648"};
    cases << BlockHarness::Case{
        "fuzz takes the jitter walk as 0..1024", patch,
        "set fuzz.jitter 5000; " + call("fuzz", {300, 1024, 256, 1024}, "out0") +
            "; set fuzz.jitter -5000; " + call("fuzz", {300, 1024, 256, 1024}, "out0"),
        "256; 212"};

    // Limiter: look-ahead 0 delays by one call; the line holds 22.
    auto impulse = [](int ahead) {
        return QStringLiteral("set lim.in1 1024; set lim.in2 1024; set lim.in3 0; set lim.in4 %1;"
                              " set lim.in0 300; audio 1; set lim.in0 0; trace lim.out0 audio 24")
            .arg(ahead);
    };
    auto delayed = [](int calls) {
        QStringList v;
        for (int i = 1; i <= 24; ++i)
            v << (i == calls ? "300" : "0");
        return v.join(' ');
    };
    cases << BlockHarness::Case{"limiter look-ahead 0: one call late", patch, impulse(0),
                                delayed(1)};
    cases << BlockHarness::Case{"limiter look-ahead 0.9: one call late", patch, impulse(1023),
                                delayed(1)};
    cases << BlockHarness::Case{"limiter look-ahead 5: six calls late", patch, impulse(5 * 1024),
                                delayed(6)};
    cases << BlockHarness::Case{"limiter look-ahead 21: 22 calls late", patch, impulse(21 * 1024),
                                delayed(22)};
    cases << BlockHarness::Case{"limiter look-ahead 22 counts as 21", patch, impulse(22 * 1024),
                                delayed(22)};
    cases << BlockHarness::Case{"limiter look-ahead of the highest value counts as 21", patch,
                                impulse(int(max32)), delayed(22)};
    cases << BlockHarness::Case{"limiter negative look-ahead counts as 0", patch,
                                impulse(-5 * 1024), delayed(1)};
    cases << BlockHarness::Case{"limiter with its place at the end of the line", patch,
                                "set lim.in4 21504; set lim.writeIndex 21; set lim.in0 7; audio 1;"
                                " get lim.delayLine[21]; get lim.writeIndex; audio 1;"
                                " get lim.writeIndex",
                                "7; 22; 1"};
    cases << BlockHarness::Case{"limiter with its place far outside the line", patch,
                                "set lim.in4 21504; set lim.writeIndex 4000000000; set lim.in0 7;"
                                " audio 1; get lim.delayLine[0]; get lim.writeIndex",
                                "7; 1"};
    // Negative thresholds: the definition would divide by a peak of 0.
    cases << BlockHarness::Case{"limiter with a negative threshold passes nothing", patch,
                                "set lim.in2 -1024; set lim.in4 0; set lim.in0 300; audio 1;"
                                " trace lim.out0 audio 4; get lim.peak",
                                "0 0 0 0; 299"};
    cases << BlockHarness::Case{"limiter with a negative threshold and silence", patch,
                                "set lim.in2 -1024; set lim.in0 0; trace lim.out0 audio 4;"
                                " get lim.peak",
                                "0 0 0 0; -1"};
    // Thresholds of 2 and more leave 32 bits in the definition's threshold x 2^20.
    cases << BlockHarness::Case{"limiter with threshold 4 turns 8 down to 4", patch,
                                "set lim.in1 1024; set lim.in2 4096; set lim.in3 0; set lim.in4 0;"
                                " set lim.in0 8192; audio 1; trace lim.out0 audio 2",
                                "4096 4096"};
    cases << BlockHarness::Case{"limiter with the highest threshold passes everything", patch,
                                "set lim.in1 1024; set lim.in2 2147483647; set lim.in4 0;"
                                " set lim.in0 2000000000; audio 2; get lim.out0",
                                "2000000000"};
    cases << BlockHarness::Case{"limiter with a negative release holds the peak", patch,
                                "set lim.in1 1024; set lim.in2 100; set lim.in3 -1048576;"
                                " set lim.in4 0; set lim.in0 400; audio 1; set lim.in0 0;"
                                " audio 5; get lim.peak",
                                "400"};

    // Reducer: bits and hold.
    cases << BlockHarness::Case{"reducer at 4 bits: steps of 64, toward zero", patch,
                                call("red", {100, 4096, 1024}, "out0") + "; " +
                                    call("red", {-100, 4096, 1024}, "out0"),
                                "64; -64"};
    cases << BlockHarness::Case{"reducer at 1 bit: two levels per unit", patch,
                                call("red", {1000, 1024, 1024}, "out0"), "512"};
    cases << BlockHarness::Case{"reducer at 0 bits: whole units", patch,
                                call("red", {2047, 0, 1024}, "out0") + "; " +
                                    call("red", {1000, 0, 1024}, "out0"),
                                "1024; 0"};
    // Bits beyond 10 divide by 0 in the definition; they count as 10.
    for (qint64 bits : {11264LL, 32768LL, 1048576LL, max32}) {
        cases << BlockHarness::Case{QStringLiteral("reducer at %1 counts as 10 bits").arg(bits),
                                    patch, call("red", {-333, bits, 1024}, "out0"), "-333"};
    }
    // Negative bits shift by a negative amount; they count as 0.
    for (qint64 bits : {-1LL, -1024LL, -23552LL, min32}) {
        cases << BlockHarness::Case{QStringLiteral("reducer at %1 counts as 0 bits").arg(bits),
                                    patch, call("red", {2047, bits, 1024}, "out0"), "1024"};
    }
    cases << BlockHarness::Case{"reducer of the extremes", patch,
                                call("red", {min32, 10240, 0}, "out0") + "; " +
                                    call("red", {max32, 0, 0}, "out0"),
                                "-2147483648; 2147482624"};
    cases << BlockHarness::Case{"reducer with the longest hold stops counting", patch,
                                "set red.in2 2147483647; set red.holdCount 2147483000; audio 1;"
                                " get red.holdCount; set red.in0 5; set red.in1 10240; audio 1;"
                                " get red.out0; get red.holdCount",
                                "2147483647; 5; 1024"};
    harness.addCaseRows(cases);
}

void TestFilterBlocks::behaviour()
{
    QFETCH(QString, answers);
    QFETCH(QString, expected);
    QCOMPARE(answers, expected);
}

void TestFilterBlocks::fuzzFollowsTheDefinition()
{
    // Noise through the fuzz, both drawing on the runtime's random numbers: the noise one per
    // sample, then the fuzz one per fold. Compared call for call with the definition.
    struct Setting
    {
        int32_t gain, threshold, depth;
    };
    const QList<Setting> settings{
        {4096, 200, 300}, {1024, 100, 0}, {8192, 50, 1024}, {2048, 0, 512}};
    QList<BlockHarness::Job> jobs;
    for (const Setting& s : settings) {
        jobs << BlockHarness::Job{noiseInto("f_fuzz"),
                                  QStringLiteral("set f.in1 %1; set f.in2 %2; set f.in3 %3;"
                                                 " trace f.out0 audio 4000; get f.jitter")
                                      .arg(s.gain)
                                      .arg(s.threshold)
                                      .arg(s.depth)};
    }
    const QList<BlockHarness::Run> runs = harness.runAll(jobs);
    for (int k = 0; k < settings.size(); ++k) {
        const Setting& s = settings.at(k);
        QString failure;
        const QVector<double> got = analysis::traceValues(runs.at(k), 0, &failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        uint32_t seed = 22222;
        auto ran = [&seed]() {
            seed = seed * 196314165u + 907633515u;
            return int32_t(seed >> 22);
        };
        int32_t jitter = 512;
        int folds = 0;
        for (int n = 0; n < got.size(); ++n) {
            int32_t o = ((ran() - 512) * s.gain) >> 10;
            const int32_t t = s.threshold;
            jitter = qBound(0, jitter, 1024);
            for (int i = 0; i < 6 && (o > t || o < -t); ++i) {
                const int32_t e = (jitter * s.depth) >> 10;
                o = o > t ? 2 * t - o - e : e - 2 * t - o;
                jitter += ran() / 32 - 16;
                ++folds;
            }
            if (o > t || o < -t)
                o = o > t ? t : -t;
            QVERIFY2(got.at(n) == o,
                     qPrintable(QString("call %1: %2, expected %3").arg(n).arg(got.at(n)).arg(o)));
            QVERIFY(std::abs(o) <= t);
        }
        QCOMPARE(runs.at(k).lines.value(1), QString::number(jitter));
        QVERIFY2(folds > 100, qPrintable(QString::number(folds)));
    }
}

void TestFilterBlocks::limiterCeiling_data()
{
    QTest::addColumn<QVector<double>>("output");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<int>("threshold");
    QTest::addColumn<int>("release");
    QTest::addColumn<int>("ahead");

    struct Row
    {
        int gain, threshold, release, ahead;
    };
    // Loud noise (up to 4 x full scale) against thresholds from 0.05 to 4, and releases from
    // none to 8 steps a call. Large thresholds leave 32 bits in threshold x 2^20.
    const QList<Row> rows{{4096, 256, 0, 0},     {4096, 256, 0, 10},    {4096, 50, 0, 21},
                          {2048, 256, 1024, 0},  {2048, 256, 1024, 10}, {4096, 100, 8192, 5},
                          {4096, 500, 3072, 21}, {16384, 4096, 0, 3},   {16384, 4096, 8192, 3}};
    QList<BlockHarness::Job> jobs;
    for (const Row& r : rows) {
        jobs << BlockHarness::Job{noiseInto("f_limiter"),
                                  QStringLiteral("set f.in1 %1; set f.in2 %2; set f.in3 %3;"
                                                 " set f.in4 %4; trace f.out0 audio 20000")
                                      .arg(r.gain)
                                      .arg(r.threshold)
                                      .arg(r.release)
                                      .arg(r.ahead * 1024)};
    }
    const QList<analysis::Trace> traces = analysis::traceAll(harness, jobs);
    for (int i = 0; i < rows.size(); ++i) {
        const Row& r = rows.at(i);
        QTest::newRow(qPrintable(QStringLiteral("gain %1, threshold %2, release %3, look-ahead %4")
                                     .arg(r.gain)
                                     .arg(r.threshold)
                                     .arg(r.release)
                                     .arg(r.ahead)))
            << traces.at(i).values << traces.at(i).failure << r.threshold << r.release << r.ahead;
    }
}

void TestFilterBlocks::limiterCeiling()
{
    QFETCH(QVector<double>, output);
    QFETCH(QString, failure);
    QFETCH(int, threshold);
    QFETCH(int, release);
    QFETCH(int, ahead);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    // The peak detector falls by release >> 10 a call and the output is ahead + 1 calls late,
    // so a sample comes out at most that much above the threshold; with release 0 the
    // threshold holds exactly.
    const double ceiling = threshold + (ahead + 1) * (release >> 10);
    double loudest = 0.0;
    for (int i = 0; i < output.size(); ++i) {
        QVERIFY2(std::fabs(output.at(i)) <= ceiling,
                 qPrintable(QString("call %1: %2 above %3").arg(i).arg(output.at(i)).arg(ceiling)));
        loudest = qMax(loudest, std::fabs(output.at(i)));
    }
    // And it limits rather than silences: the loudest output comes near the threshold.
    QVERIFY2(loudest >= 0.9 * threshold, qPrintable(QString::number(loudest)));
    qInfo("loudest %.0f, ceiling %.0f", loudest, ceiling);
}

void TestFilterBlocks::reducerHold()
{
    // Noise through the reducer: at 10 bits and a hold of 1 it is the input itself; a hold
    // of N renews every N calls; the control-rate copy counts control ticks.
    const QList<BlockHarness::Run> runs = harness.runAll(
        {{noiseInto("reducer_func"), "set f.in1 10240; set f.in2 1024; trace f.out0 audio 3000"},
         {noiseInto("reducer_func"), "set f.in1 10240; set f.in2 3072; trace f.out0 audio 3000"},
         {noiseInto("reducer_func"), "set f.in1 3072; set f.in2 0; trace f.out0 audio 3000"},
         {noiseInto("reducer_func", "rate=1"),
          "set f.in1 10240; set f.in2 2048; trace f.out0 samples 3000"}});
    QString failure;
    const QVector<uint32_t> random = analysis::runtimeRandom(3000);
    const QVector<double> pass = analysis::traceValues(runs.at(0), 0, &failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    for (int n = 0; n < pass.size(); ++n)
        QCOMPARE(pass.at(n), double(random.at(n)) - 512.0);

    // Hold 3: the count starts one call into a hold, so the first renewal is at call 2.
    const QVector<double> held = analysis::traceValues(runs.at(1), 0, &failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    for (int n = 0; n < held.size(); ++n) {
        const int renewed = n < 2 ? -1 : n - (n - 2) % 3;
        const double expected = renewed < 0 ? 0.0 : double(random.at(renewed)) - 512.0;
        QVERIFY2(
            held.at(n) == expected,
            qPrintable(QString("call %1: %2, expected %3").arg(n).arg(held.at(n)).arg(expected)));
    }

    // 3 bits: multiples of 128, truncated toward zero.
    const QVector<double> coarse = analysis::traceValues(runs.at(2), 0, &failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    for (int n = 0; n < coarse.size(); ++n) {
        const int32_t in = int32_t(random.at(n)) - 512;
        QCOMPARE(coarse.at(n), double(in / 128 * 128));
    }

    // At control rate a hold of 2 renews on every second tick: the values are the noise of
    // the samples before ticks 2, 4, 6 ... (the first tick comes before sample 200).
    const QVector<double> ticks = analysis::traceValues(runs.at(3), 0, &failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    for (int n = 0; n < ticks.size(); ++n) {
        const int tick = n < 200 ? 0 : (n - 200) / 200 + 1;
        const int renewal = tick < 2 ? 0 : tick - (tick % 2 == 0 ? 0 : 1);
        const double expected = renewal == 0 ? 0.0 : double(random.at(200 * renewal - 1)) - 512.0;
        QVERIFY2(ticks.at(n) == expected,
                 qPrintable(
                     QString("sample %1: %2, expected %3").arg(n).arg(ticks.at(n)).arg(expected)));
    }
}

KL_TEST_MAIN(TestFilterBlocks)

#include "test_filter_blocks.moc"
