// Behaviour of the delays, run as generated code: impulse responses of every line (the first
// echo at its lag, echoes decaying by the feedback, the longest delay reached), the 10-bit
// coding, the clipping of the input at its source, the lo-fi delays' factor and rate, the
// grain looper's grains, the value delay's queue and its fixed pool, and the guards that keep
// every index inside its buffer: negative and overlong delays, grain positions outside the
// recording, and states put next to or beyond a buffer's end.
#include "BlockHarness.h"
#include "SignalAnalysis.h"
#include "TestMain.h"

#include <QtTest>

#include <cmath>

namespace {

const qint64 min32 = -2147483648LL;
const qint64 max32 = 2147483647LL;

// Every delay once; one program serves the tables.
const char* const patch = R"(
sd = f_sdelay10
dl = f_delay10
e1 = f_delay8f
e2 = f_delay8fl
lo = f_delay8lofi
aa = f_delay8lofi_aa
gr = f_rollgrains
vd = f_valdelay_ctl
vda = f_valdelay_ctl rate=0
)";

// A value of 600 (beyond the 10-bit range) from a number block into `block`.
QString loudInto(const QString& block, const QString& value = QStringLiteral("0.5859375"))
{
    return QStringLiteral("n = i0o1_number value=%1\nf = %2\nn.out0 -> f.in0\n").arg(value, block);
}

// A rising saw (200 Hz, about 10 a sample) into `block`.
QString sawInto(const QString& block)
{
    return QStringLiteral("s = gen_saw in0=200\nf = %1\ns.out0 -> f.in0\n").arg(block);
}

// A 10-bit line's answer to 100 at call 0 and 0 after it, over `calls` calls, delayed by
// `lag`, as impulseScript reads it: nothing written there yet reads -511 (a kept 0), and a
// sample comes back one step higher than it went in.
QString tenBitImpulse(int lag, int calls)
{
    QStringList v;
    for (int n = 0; n < calls; ++n)
        v << (n < lag ? "-511" : n == lag ? "101" : "1");
    return v.first() + "; " + v.mid(1).join(QLatin1Char(' '));
}

QString impulseScript(const QString& label, qint64 delay, int calls)
{
    return QStringLiteral("set %1.in1 %2; set %1.in0 100; audio 1; get %1.out0; set %1.in0 0;"
                          " trace %1.out0 audio %3")
        .arg(label)
        .arg(delay)
        .arg(calls - 1);
}

// The echoes in a trace: runs of one value other than 0, with the call each begins at.
struct Echo
{
    int call;
    double value;
    int length;
};
QList<Echo> echoesOf(const QVector<double>& x, int firstCall)
{
    QList<Echo> echoes;
    for (int i = 0; i < x.size(); ++i) {
        if (x.at(i) == 0.0)
            continue;
        if (i > 0 && x.at(i) == x.at(i - 1) && !echoes.isEmpty())
            ++echoes.last().length;
        else
            echoes << Echo{firstCall + i, x.at(i), 1};
    }
    return echoes;
}

} // namespace

class TestDelayBlocks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void behaviour_data();
    void behaviour();
    void feedbackEchoes_data();
    void feedbackEchoes();
    void lofiFactor();
    void lofiLongestDelay();
    void smoothedLofi();
    void grainRepeats();
    void valueDelayPool();

private:
    BlockHarness harness;
};

void TestDelayBlocks::initTestCase()
{
    QString error;
    QVERIFY2(harness.prepare({patch, sawInto("f_delay8lofi"), sawInto("f_delay8lofi_aa"),
                              sawInto("f_rollgrains")},
                             &error),
             qPrintable(error));
}

void TestDelayBlocks::behaviour_data()
{
    QList<BlockHarness::Case> cases;
    auto row = [&cases](const QString& name, const QString& patchText, const QString& script,
                        const QString& expected) {
        cases << BlockHarness::Case{name, patchText, script, expected};
    };

    // Short delay: the write comes first, so the lag is the delay, 0 included; a delay of
    // 120 reads the slot before it is written, which then holds the sample of 120 calls ago.
    const QList<QPair<qint64, int>> shortDelays{{0, 0},
                                                {1024, 1},
                                                {1023, 0},
                                                {60 * 1024, 60},
                                                {119 * 1024, 119},
                                                {120 * 1024, 120},
                                                {121 * 1024 - 1, 120},
                                                {121 * 1024, 120},
                                                {200 * 1024, 120},
                                                {max32, 120},
                                                {-1, 0},
                                                {-5 * 1024, 0},
                                                {min32, 0}};
    for (const auto& d : shortDelays) {
        row(QStringLiteral("short delay %1: lag %2").arg(d.first).arg(d.second), patch,
            impulseScript("sd", d.first, 130), tenBitImpulse(d.second, 130));
    }
    // Delay line: the read comes first, so a delay of 0 is the whole line.
    const QList<QPair<qint64, int>> lineDelays{
        {0, 1500},           {1024, 1},           {750 * 1024, 750},
        {1499 * 1024, 1499}, {1500 * 1024, 1500}, {1501 * 1024, 1500},
        {max32, 1500},       {-1024, 1500},       {min32, 1500}};
    for (const auto& d : lineDelays) {
        row(QStringLiteral("delay line %1: lag %2").arg(d.first).arg(d.second), patch,
            impulseScript("dl", d.first, 1510), tenBitImpulse(d.second, 1510));
    }
    // Clipped to +-511 in the line and at the source, for every later reader.
    for (const QString& block : {QStringLiteral("f_sdelay10"), QStringLiteral("f_delay10")}) {
        row(block + " clips 600 at its source", loudInto(block),
            "set f.in1 1024; audio 1; get n.out0; get f.in0; audio 1; get f.out0", "511; 511; 512");
        row(block + " clips -600 at its source", loudInto(block, "-0.5859375"),
            "set f.in1 1024; audio 1; get n.out0; audio 1; get f.out0", "-511; -510");
    }
    row("short delay with its place at the end of the line", patch,
        "set sd.writeIndex 119; set sd.in1 0; set sd.in0 7; audio 1; get sd.out0;"
        " get sd.writeIndex; audio 1; get sd.writeIndex",
        "8; 120; 1");
    row("short delay with its place beyond the line", patch,
        "set sd.writeIndex 4000000000; set sd.in1 0; set sd.in0 7; audio 1; get sd.out0;"
        " get sd.writeIndex",
        "8; 1");
    row("delay line with its place at the end of the line", patch,
        "set dl.writeIndex 1499; set dl.in1 1024; set dl.in0 7; audio 1; get dl.writeIndex;"
        " audio 1; get dl.out0; get dl.writeIndex",
        "1500; 8; 1");
    row("delay line with its place beyond the line", patch,
        "set dl.writeIndex 1500; set dl.in1 1024; set dl.in0 7; audio 1; get dl.writeIndex;"
        " audio 1; get dl.out0",
        "1; 8");
    row("the 10-bit line keeps three samples in a word", patch,
        "set sd.in1 0; set sd.in0 -511; audio 40; set sd.in0 0; audio 40; set sd.in0 511;"
        " audio 40; get sd.packed[0]; get sd.packed[39]",
        "1073217537; 1073217537");

    // Feedback echoes: the lag is 20 samples a millisecond and one more.
    auto echoScript = [](const QString& label, qint64 delay, qint64 feedback, int calls) {
        return QStringLiteral("set %1.in1 %2; set %1.in2 %3; set %1.in0 400; audio 1;"
                              " set %1.in0 0; audio %4; get %1.out0; audio 1; get %1.out0")
            .arg(label)
            .arg(delay)
            .arg(feedback)
            .arg(calls - 1);
    };
    const QList<std::tuple<const char*, qint64, int>> echoLags{
        {"e1", 10 * 1024, 201},   {"e1", 0, 1},
        {"e1", 1023, 1},          {"e1", 149 * 1024, 2981},
        {"e1", 150 * 1024, 2999}, {"e1", 151 * 1024, 2999},
        {"e1", max32, 2999},      {"e1", -1, 1},
        {"e1", min32, 1},         {"e2", 10 * 1024, 201},
        {"e2", 299 * 1024, 5981}, {"e2", 300 * 1024, 5999},
        {"e2", max32, 5999},      {"e2", -300 * 1024, 1}};
    for (const auto& e : echoLags) {
        row(QStringLiteral("%1 delay %2: first echo after %3")
                .arg(std::get<0>(e))
                .arg(std::get<1>(e))
                .arg(std::get<2>(e)),
            patch, echoScript(std::get<0>(e), std::get<1>(e), 0, std::get<2>(e)), "0; 400");
    }
    // Feedback beyond 32 bits: the second echo is clipped, with the feedback's sign.
    row("echo with the highest feedback", patch,
        echoScript("e1", 10 * 1024, max32, 201) + "; audio 201; get e1.out0", "0; 400; 508");
    row("echo with the lowest feedback", patch,
        echoScript("e1", 10 * 1024, min32, 201) + "; audio 201; get e1.out0", "0; 400; -508");
    row("echo of the extremes", patch,
        "set e1.in1 0; set e1.in2 2147483647; set e1.in0 2147483647; audio 2; get e1.out0;"
        " set e1.in0 -2147483648; audio 1; set e1.in0 0; audio 1; get e1.out0",
        "508; -508");
    row("echo with its place at the end of the line", patch,
        "set e1.writeIndex 2999; set e1.in1 0; set e1.in0 400; audio 1; get e1.writeIndex;"
        " set e1.in0 0; audio 1; get e1.out0; get e1.writeIndex",
        "3000; 400; 1");
    row("echo with a negative place", patch,
        "set e1.writeIndex -5; set e1.in1 0; set e1.in0 400; audio 1; get e1.writeIndex;"
        " get e1.buffer[0]",
        "1; 100");
    row("long echo with its place at the end of the line", patch,
        "set e2.writeIndex 5999; set e2.in1 0; set e2.in0 400; audio 1; get e2.buffer[5999];"
        " get e2.writeIndex; audio 1; get e2.writeIndex",
        "100; 6000; 1");

    // Lo-fi: the factor and the rate it reports.
    auto rate = [](const QString& label, qint64 delay) {
        return QStringLiteral("set %1.in1 %2; audio 1; get %1.out1").arg(label).arg(delay);
    };
    const QList<std::tuple<const char*, qint64, qint64>> rates{
        {"lo", 300 * 1024, 6666 * 1024},  {"lo", 0, 20000 * 1024},
        {"lo", 149 * 1024, 20000 * 1024}, {"lo", 150 * 1024, 10000 * 1024},
        {"lo", 450 * 1024, 5000 * 1024},  {"lo", -1, 20000 * 1024},
        {"lo", min32, 20000 * 1024},      {"lo", max32, 78 * 1024},
        {"aa", 300 * 1024, 10000 * 1024}, {"aa", 100 * 1024, 20000 * 1024},
        {"aa", 450 * 1024, 6666 * 1024},  {"aa", min32, 20000 * 1024},
        {"aa", max32, 19 * 1024}};
    for (const auto& r : rates) {
        row(QStringLiteral("%1 at %2 reports %3")
                .arg(std::get<0>(r))
                .arg(std::get<1>(r))
                .arg(std::get<2>(r)),
            patch, rate(std::get<0>(r), std::get<1>(r)), QString::number(std::get<2>(r)));
    }
    // 38100 ms would make the factor 255 + 1, which 8 bits would wrap round to 0.
    row("lo-fi factor stops at 255", patch,
        rate("lo", 38100 * 1024) + "; " + rate("lo", 40000 * 1024), "79872; 79872");
    row("lo-fi with its place beyond the line", patch,
        "set lo.in1 0; set lo.position 3000; set lo.in0 400; audio 1; get lo.position;"
        " get lo.buffer[0]",
        "1; 100");
    row("lo-fi with a negative place", patch,
        "set lo.in1 0; set lo.position -1; set lo.in0 400; audio 1; get lo.position", "1");
    row("lo-fi at the end of a long line", patch,
        "set lo.in1 307200; set lo.position 8997; set lo.in0 400; audio 1; get lo.buffer[2999];"
        " get lo.position; audio 1; get lo.position",
        "100; 8998; 1");
    row("smooth lo-fi with its place beyond the line", patch,
        "set aa.in1 0; set aa.position 3070977; set aa.in0 400; audio 1; get aa.position;"
        " get aa.buffer[0]",
        "1024; 100");
    row("smooth lo-fi with a negative place", patch,
        "set aa.in1 0; set aa.position -1024; set aa.in0 400; audio 1; get aa.position", "1024");
    row("smooth lo-fi at the end of the line", patch,
        "set aa.in1 307200; set aa.position 3070976; set aa.in0 400; audio 1; get aa.buffer[2999];"
        " get aa.position; audio 1; get aa.position",
        "100; 3071488; 512");

    // Grain looper.
    row("grain looper clips 600 at its source", loudInto("f_rollgrains"),
        "audio 1; get n.out0; get f.out0; get f.buffer[0]", "511; 511; 127");
    row("grain looper with start and length 1 stays in the recording", patch,
        "set gr.buffer[0] 7; set gr.buffer[2999] 9; set gr.in1 1024; set gr.in2 1024;"
        " set gr.in3 1024; set gr.playIndex 2999; audio 1; get gr.out0; audio 1; get gr.out0;"
        " get gr.playIndex",
        "36; 28; 3001");
    row("grain looper with negative start and length: one sample", patch,
        "set gr.buffer[0] 5; set gr.buffer[1] 6; set gr.in1 1; set gr.in2 -1024;"
        " set gr.in3 -2147483648; trace gr.out0 audio 4",
        "20 20 20 20");
    row("grain looper with the highest start and length", patch,
        "set gr.buffer[0] 5; set gr.in1 -1; set gr.in2 2147483647; set gr.in3 2147483647;"
        " audio 3001; get gr.out0; get gr.playIndex",
        "20; 3001");
    row("grain looper with its grain place beyond the grain", patch,
        "set gr.buffer[1500] 3; set gr.in1 1; set gr.in2 512; set gr.in3 10;"
        " set gr.playIndex -7; audio 1; get gr.out0; get gr.playIndex",
        "12; 1");
    row("grain looper with its recording place at the end", patch,
        "set gr.recordIndex 2999; set gr.in0 400; audio 1; get gr.buffer[2999];"
        " get gr.recordIndex; audio 1; get gr.buffer[0]; get gr.recordIndex",
        "100; 3000; 100; 1");
    row("grain looper with a negative recording place", patch,
        "set gr.recordIndex -1; set gr.in0 400; audio 1; get gr.buffer[0]; get gr.recordIndex",
        "100; 1");

    // Value delay: each change of the trigger queues the value, out in order.
    row("value delay: two changes within the delay come out in order", patch,
        "set vd.in2 1024; set vd.in0 111; set vd.in1 1024; control 1; control 30;"
        " set vd.in0 222; set vd.in1 2048; control 1; control 68; get vd.out2; control 1;"
        " get vd.out2; get vd.out3; control 30; get vd.out2; control 1; get vd.out2;"
        " get vd.out3; get vd.queued",
        "0; 111; 1024; 111; 222; 0; 0");
    row("value delay passes its inputs through", patch,
        "set vd.in0 5; set vd.in1 7; control 1; get vd.out0; get vd.out1", "5; 7");
    row("value delay with delay 0: out in the same tick", patch,
        "set vd.in2 0; set vd.in0 5; set vd.in1 1; control 1; get vd.out2; get vd.out3", "5; 1024");
    row("value delay with a negative delay: out in the same tick", patch,
        "set vd.in2 -2147483648; set vd.in0 5; set vd.in1 1; control 1; get vd.out2", "5");
    // The longest wait: at control rate 2097151.999 s of ticks; at audio rate it stops at
    // 2^30 calls instead of wrapping to a negative one. A later change waits behind it.
    row("value delay with the longest delay waits", patch,
        "set vd.in2 2147483647; set vd.in0 5; set vd.in1 1; control 1; get vd.pendingDue[0];"
        " set vd.in2 0; set vd.in0 6; set vd.in1 2; control 1000; get vd.out2; get vd.queued",
        "209715199; 0; 2");
    row("value delay at audio rate with the longest delay waits", patch,
        "set vda.in2 2147483647; set vda.in0 5; set vda.in1 1; audio 1; get vda.pendingDue[0];"
        " set vda.in2 0; set vda.in0 6; set vda.in1 2; audio 1000; get vda.out2;"
        " get vda.queued",
        "1073741823; 0; 2");
    row("value delay at audio rate counts samples", patch,
        "set vda.in2 1024; set vda.in0 9; set vda.in1 1; audio 1; audio 19999; get vda.out2;"
        " audio 1; get vda.out2",
        "0; 9");
    row("value delay with its queue places beyond the pool", patch,
        "set vd.first 40; set vd.queued 40; control 1; get vd.out3; get vd.queued; get vd.first",
        "1024; 31; 1");
    harness.addCaseRows(cases);
}

void TestDelayBlocks::behaviour()
{
    QFETCH(QString, answers);
    QFETCH(QString, expected);
    QCOMPARE(answers, expected);
}

void TestDelayBlocks::feedbackEchoes_data()
{
    QTest::addColumn<QVector<double>>("output");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<int>("lag");
    QTest::addColumn<int>("feedback");
    QTest::addColumn<int>("hold");

    struct Row
    {
        const char* label;
        int delay;
        int feedback;
        int lag;
        // Calls the impulse is held: a lo-fi line keeps the last of the samples in a slot,
        // so the impulse fills one.
        int hold;
    };
    const QList<Row> rows{{"e1", 10 * 1024, 512, 201, 1},    {"e1", 100 * 1024, 819, 2001, 1},
                          {"e1", 25 * 1024, -700, 501, 1},   {"e1", 50 * 1024, 1024, 1001, 1},
                          {"e2", 250 * 1024, 512, 5001, 1},  {"e2", 30 * 1024, -1024, 601, 1},
                          {"lo", 100 * 1024, 512, 2001, 1},  {"lo", 300 * 1024, 600, 6001, 3},
                          {"lo", 200 * 1024, -512, 4001, 2}, {"aa", 100 * 1024, 512, 2001, 1}};
    QList<BlockHarness::Job> jobs;
    for (const Row& r : rows) {
        jobs << BlockHarness::Job{
            patch, QStringLiteral("set %1.in1 %2; set %1.in2 %3; set %1.in0 400; audio %4;"
                                  " set %1.in0 0; trace %1.out0 audio %5")
                       .arg(r.label)
                       .arg(r.delay)
                       .arg(r.feedback)
                       .arg(r.hold)
                       .arg(8 * r.lag)};
    }
    const QList<analysis::Trace> traces = analysis::traceAll(harness, jobs);
    for (int i = 0; i < rows.size(); ++i) {
        const Row& r = rows.at(i);
        QTest::newRow(qPrintable(
            QStringLiteral("%1 delay %2 feedback %3").arg(r.label).arg(r.delay).arg(r.feedback)))
            << traces.at(i).values << traces.at(i).failure << r.lag << r.feedback << r.hold;
    }
}

void TestDelayBlocks::feedbackEchoes()
{
    QFETCH(QVector<double>, output);
    QFETCH(QString, failure);
    QFETCH(int, lag);
    QFETCH(int, feedback);
    QFETCH(int, hold);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    // The trace starts after the impulse's calls. The first echo comes at the lag, and each
    // one after it a lag after the one before, as long as the impulse, each the one before
    // times the feedback to within two steps of the 8-bit line (4 each) for the truncations.
    // A lo-fi line writes an echo back at the slot it is read from, and its ring is 2999
    // slots and one sample round where the read reckons with 3000: there each lag may come
    // up to a slot (the calls held) early.
    const QList<Echo> echoes = echoesOf(output, hold);
    QStringList seen;
    for (const Echo& e : echoes)
        seen << QStringLiteral("%1:%2x%3").arg(e.call).arg(e.value).arg(e.length);
    const QString report = seen.join(QLatin1Char(' '));
    QVERIFY2(echoes.size() >= 3, qPrintable(report));
    double previous = 400.0;
    for (int k = 1; k <= echoes.size(); ++k) {
        const Echo& e = echoes.at(k - 1);
        const double expected = k == 1 ? 400.0 : previous * feedback / 1024.0;
        const int since = k == 1 ? e.call : e.call - echoes.at(k - 2).call;
        const int early = k == 1 || hold == 1 ? 0 : hold;
        QVERIFY2(since <= lag && since >= lag - early && e.length <= hold,
                 qPrintable(QString("echo %1\n%2").arg(k).arg(report)));
        QVERIFY2(std::fabs(e.value - expected) <= (k == 1 ? 0.0 : 8.0) &&
                     std::fmod(e.value, 4.0) == 0.0,
                 qPrintable(QString("echo %1: %2, expected %3\n%4")
                                .arg(k)
                                .arg(e.value)
                                .arg(expected)
                                .arg(report)));
        // Quieter every time, unless the feedback is 1 or more (down at the last steps of the
        // line, where the truncation may hold a level once); the sign flips with a negative
        // feedback.
        if (k > 1) {
            const double now = std::fabs(e.value);
            const double before = std::fabs(previous);
            QVERIFY2(std::abs(feedback) >= 1024 ? now == before
                                                : now < before || (now == before && now <= 8),
                     qPrintable(report));
            QVERIFY2((e.value < 0) == ((previous < 0) != (feedback < 0)), qPrintable(report));
        }
        previous = e.value;
    }
    qInfo("%s", qPrintable(report));
}

namespace {

// The lengths of the runs of equal values in a trace, less the first and the last (cut off
// by the ends of the trace).
QList<int> runLengths(const QVector<double>& x)
{
    QList<int> lengths;
    int length = 1;
    for (int i = 1; i < x.size(); ++i) {
        if (x.at(i) == x.at(i - 1)) {
            ++length;
        } else {
            lengths << length;
            length = 1;
        }
    }
    if (!lengths.isEmpty())
        lengths.removeFirst();
    return lengths;
}

} // namespace

void TestDelayBlocks::lofiFactor()
{
    // A saw through the lo-fi line: at 100 ms every sample is kept, at 300 ms every third (a
    // slot holds the last of three), so the echo steps every three calls.
    const QList<BlockHarness::Run> runs =
        harness.runAll({{sawInto("f_delay8lofi"), "set f.in1 102400; set f.in2 0; audio 3000;"
                                                  " trace f.out0 audio 600; get f.out1"},
                        {sawInto("f_delay8lofi"), "set f.in1 307200; set f.in2 0; audio 7000;"
                                                  " trace f.out0 audio 600; get f.out1"}});
    for (int r = 0; r < runs.size(); ++r) {
        QString failure;
        const QVector<double> x = analysis::traceValues(runs.at(r), 0, &failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        const int factor = r == 0 ? 1 : 3;
        QCOMPARE(runs.at(r).lines.value(1), QString::number((20000 / factor) * 1024));
        // Runs of equal values, all as long as the factor.
        const QList<int> lengths = runLengths(x);
        int steps = 0;
        for (int l : lengths) {
            QVERIFY2(l == factor, qPrintable(QString("run of %1 at factor %2").arg(l).arg(factor)));
            ++steps;
        }
        QVERIFY2(steps > 100 / factor, qPrintable(QString::number(steps)));
    }
}

void TestDelayBlocks::lofiLongestDelay()
{
    // The longest lo-fi delay: factor 255, 255 x 2999 samples (38.2 s). A constant input
    // arrives exactly then.
    const BlockHarness::Run run = harness.run(
        patch, "set lo.in1 2147483647; set lo.in2 0; set lo.in0 400; audio 764745; get lo.out0;"
               " audio 1; get lo.out0; get lo.out1");
    QVERIFY2(run.ok, qPrintable(run.failure));
    QCOMPARE(run.lines.join("; "), QStringLiteral("0; 400; 79872"));

    // The smooth lo-fi line's longest: its slot rate stops at 1/1024 of a slot a sample, so
    // the line lasts 2999 x 1024 samples and a bit (153.5 s).
    const BlockHarness::Run longest =
        harness.run(patch, "set aa.in1 2147483647; set aa.in2 0; set aa.in3 0; set aa.in0 400;"
                           " audio 3070975; get aa.out0; audio 1; get aa.out0");
    QVERIFY2(longest.ok, qPrintable(longest.failure));
    QCOMPARE(longest.lines.join("; "), QStringLiteral("0; 400"));

    // The smooth lo-fi line at 300 ms runs at half the rate: its echo arrives within a slot
    // of 300 ms.
    const BlockHarness::Run smooth =
        harness.run(patch, "set aa.in1 307200; set aa.in2 0; set aa.in3 0; set aa.in0 400;"
                           " trace aa.out0 audio 6100");
    QString failure;
    const QVector<double> x = analysis::traceValues(smooth, 0, &failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const int first = int(std::find(x.cbegin(), x.cend(), 400.0) - x.cbegin());
    QVERIFY2(std::abs(first - 6000) <= 2, qPrintable(QString::number(first)));
    for (int i = 0; i < first; ++i)
        QCOMPARE(x.at(i), 0.0);
}

void TestDelayBlocks::smoothedLofi()
{
    // A saw through the smooth lo-fi line at 300 ms (every slot holds two samples): without
    // smoothing the echo keeps each slot's value for two calls; with it the echo glides to
    // the next slot in between, so it changes on every call; a width beyond 1 glides as the
    // widest does.
    const QString saw = sawInto("f_delay8lofi_aa");
    const QString setup = QStringLiteral("set f.in1 307200; set f.in2 0; audio 7000; ");
    const QList<BlockHarness::Run> runs =
        harness.runAll({{saw, setup + "set f.in3 0; trace f.out0 audio 400"},
                        {saw, setup + "set f.in3 1024; trace f.out0 audio 400"},
                        {saw, setup + "set f.in3 -5; trace f.out0 audio 400"},
                        {saw, setup + "set f.in3 2147483647; trace f.out0 audio 400"},
                        {saw, setup + "set f.in3 1048576; trace f.out0 audio 400"}});
    QList<QVector<double>> traces;
    for (const BlockHarness::Run& run : runs) {
        QString failure;
        traces << analysis::traceValues(run, 0, &failure);
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
    }
    const QList<int> steps = runLengths(traces.at(0));
    QVERIFY(steps.size() > 150);
    for (int l : steps)
        QCOMPARE(l, 2);
    const QList<int> glides = runLengths(traces.at(1));
    QVERIFY2(glides.size() > 350, qPrintable(QString::number(glides.size())));
    // Half way through a slot the glide stands about half way to the next one.
    for (int i = 2; i + 2 < traces.at(1).size(); ++i) {
        const double a = traces.at(0).at(i - 1);
        const double b = traces.at(0).at(i + 1);
        if (a != b && traces.at(0).at(i) == a) {
            const double g = traces.at(1).at(i);
            QVERIFY2(g >= qMin(a, b) - 4 && g <= qMax(a, b) + 4, qPrintable(QString::number(i)));
        }
    }
    // A negative width does not smooth; the widest glides the same as a width of 1024
    // slots.
    QCOMPARE(traces.at(2), traces.at(0));
    QCOMPARE(traces.at(3), traces.at(4));
    QVERIFY(traces.at(3) != traces.at(0));
}

void TestDelayBlocks::grainRepeats()
{
    // A saw recorded for more than the whole buffer, then looped: a grain of 0.01 (30
    // samples) from the middle repeats, read back from the recording x 4.
    QString script = QStringLiteral("audio 3100; set f.in1 1024; set f.in2 512; set f.in3 10;"
                                    " trace f.out0 audio 120");
    for (int i = 1500; i < 1530; ++i)
        script += QStringLiteral("; get f.buffer[%1]").arg(i);
    script += "; set f.in1 0; trace f.out0 audio 3; get s.out0";
    const BlockHarness::Run run = harness.run(sawInto("f_rollgrains"), script);
    QVERIFY2(run.ok, qPrintable(run.failure));
    const QVector<double> grain = analysis::traceValues(run, 0);
    QCOMPARE(grain.size(), 120);
    for (int i = 0; i < grain.size(); ++i)
        QCOMPARE(grain.at(i), 4.0 * run.lines.value(1 + i % 30).toDouble());
    // Not a flat grain: the saw moves through it.
    QVERIFY(grain.at(0) != grain.at(29));
    // Switched off again, it passes the input.
    const QVector<double> through = analysis::traceValues(run, 31);
    QCOMPARE(through.size(), 3);
    QCOMPARE(through.last(), run.lines.value(32).toDouble());
}

void TestDelayBlocks::valueDelayPool()
{
    // Forty changes on forty ticks in a row with a delay of 1 s (100 ticks): the pool holds
    // 32, so the first 32 come out in order, one a tick from tick 100, and the rest are
    // dropped. Once the pool has room again, a change is queued as before.
    QString script = QStringLiteral("set vd.in2 1024");
    for (int i = 1; i <= 40; ++i)
        script += QStringLiteral("; set vd.in0 %1; set vd.in1 %2; control 1").arg(i * 10).arg(i);
    script += "; get vd.queued; control 60; trace vd.out2 control 40; get vd.out3;"
              " set vd.in0 999; set vd.in1 0; control 100; get vd.out2; control 1; get vd.out2";
    const BlockHarness::Run run = harness.run(patch, script);
    QVERIFY2(run.ok, qPrintable(run.failure));
    QCOMPARE(run.lines.value(0), QStringLiteral("32"));
    QStringList expected;
    for (int t = 100; t < 140; ++t)
        expected << QString::number(qMin(t - 99, 32) * 10);
    QCOMPARE(run.lines.value(1), expected.join(' '));
    // 32 toggles end where they began.
    QCOMPARE(run.lines.value(2), QStringLiteral("0"));
    QCOMPARE(run.lines.value(3), QStringLiteral("320"));
    QCOMPARE(run.lines.value(4), QStringLiteral("999"));
}

KL_TEST_MAIN(TestDelayBlocks)

#include "test_delay_blocks.moc"
