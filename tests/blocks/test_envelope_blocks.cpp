// Behaviour of the envelopes, the line and the smoothing blocks, run as generated code: the
// worked cases and the calls at which stages end, the release curve, retriggering from the
// current level, the exact line sequence, and every guard (times too short for one call,
// time products that wrap, negative times, times shortened while their stage runs, levels
// outside 0..1). For normal inputs each block is compared, call for call, with its steps
// computed here in plain 32-bit arithmetic without any guard.
#include "BlockHarness.h"
#include "SignalAnalysis.h"
#include "TestMain.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <vector>

namespace {

const char* const patch = R"(
adsr = f_adsr_prime
adsrc = f_adsr_prime rate=1
ad = f_ad_env
adc = f_ad_env rate=1
ar = f_ar_env
arc = f_ar_env rate=1
line = gen_line points=0.01,1,0.01,0
linec = gen_line rate=1 points=0.5,1,0.5,0
lineneg = gen_line points=-1,1,-0.5,0.5
linezero = gen_line points=0,1,0,0.5
lineempty = gen_line points=
lineodd = gen_line points=0.5
linethree = gen_line points=0,1,5
linelong = gen_line points=100,100000
lag = f_lag
a2c = f_a2c
smooth = f_smooth
slew = f_lslew
slewc = f_lslew rate=1
)";

const int audioRate = 20000;
const int controlRate = 100;
const qint64 min32 = -2147483648LL;

// ---- The blocks' steps as defined, without guards ------------------------------------------

// T(x) = x x RATE >> 10 with the 32-bit product, used in unsigned divisions.
uint32_t callsOf(int32_t time, int rate)
{
    return uint32_t(int32_t(uint32_t(time) * uint32_t(rate)) >> 10);
}

struct Adsr
{
    int32_t out = 0;
    uint32_t timer = 0;
    uint32_t state = 0;

    void step(const std::vector<int32_t>& in, int rate)
    {
        uint32_t gate = state & 1, stage = (state >> 1) & 7, level = state >> 4, c = level;
        const uint32_t sustain = uint32_t(in[3]);
        if (in[0] > 0 && !gate) {
            timer =
                (stage == 4 && in[1] != 0) ? ((callsOf(in[1], rate) + 1) * uint32_t(out)) >> 10 : 0;
            stage = 1;
            gate = 1;
        } else if (in[0] <= 0 && gate) {
            timer = 0;
            stage = 4;
            gate = 0;
        }
        if (stage == 0) {
            out = 0;
            state = 0;
            return;
        }
        if (stage == 4) {
            if (in[4] != 0) {
                const uint32_t f = 1024 - timer * 1024 / callsOf(in[4], rate);
                out = int32_t((level * ((f * f) >> 10)) >> 10);
                ++timer;
            } else {
                out = 0;
            }
            if (out <= 0) {
                out = 0;
                stage = 0;
            }
        } else {
            if (stage == 1) {
                if (in[1] == 0) {
                    c = 1024;
                } else {
                    c = timer * 1024 / callsOf(in[1], rate);
                    ++timer;
                }
                if (c >= 1024) {
                    timer = 0;
                    c = 1024;
                    stage = 2;
                }
            }
            if (stage == 2) {
                if (in[2] != 0) {
                    const uint32_t h = 1024 - timer * 1024 / callsOf(in[2], rate);
                    ++timer;
                    c = sustain + (((1024 - sustain) * ((h * h) >> 10)) >> 10);
                    if (sustain >= c) {
                        c = sustain;
                        stage = 3;
                    }
                } else {
                    stage = 3;
                }
            }
            if (stage == 3)
                c = sustain;
            out = int32_t(c);
        }
        state = (gate | stage << 1 | c << 4) & 0xFFFF;
    }
};

struct Ar
{
    int32_t out = 0;
    uint32_t timer = 0;
    uint32_t state = 0;

    void step(const std::vector<int32_t>& in, int rate)
    {
        uint32_t gate = state & 1, stage = (state >> 1) & 3, level = state >> 3, c = level;
        if (in[0] > 0 && !gate) {
            timer =
                (stage == 3 && in[1] != 0) ? ((callsOf(in[1], rate) + 1) * uint32_t(out)) >> 10 : 0;
            stage = 1;
            gate = 1;
        } else if (in[0] <= 0 && gate) {
            timer = 0;
            stage = 3;
            gate = 0;
        }
        if (stage == 0) {
            out = 0;
            state = 0;
            return;
        }
        if (stage == 3) {
            if (in[2] != 0) {
                const uint32_t f = 1024 - timer * 1024 / callsOf(in[2], rate);
                out = int32_t((level * ((f * f) >> 10)) >> 10);
                ++timer;
            } else {
                out = 0;
            }
            if (out <= 0) {
                out = 0;
                stage = 0;
            }
        } else {
            if (stage == 1) {
                if (in[1] == 0) {
                    c = 1024;
                } else {
                    c = timer * 1024 / callsOf(in[1], rate);
                    ++timer;
                }
                if (c > 1023) {
                    timer = 0;
                    c = 1024;
                    stage = 2;
                }
            }
            if (stage == 2)
                c = 1024;
            out = int32_t(c);
        }
        state = (gate | stage << 1 | c << 3) & 0xFFFF;
    }
};

struct Ad
{
    int32_t out = 0;
    uint32_t timer = 0;
    uint32_t state = 0;

    void step(const std::vector<int32_t>& in, int rate)
    {
        uint32_t gate = state & 1, stage = (state >> 1) & 3, level = state >> 3;
        if (in[0] > 0 && !gate) {
            timer =
                (stage == 2 && in[1] != 0) ? ((callsOf(in[1], rate) + 1) * uint32_t(out)) >> 10 : 0;
            stage = 1;
            gate = 1;
        } else if (in[0] <= 0 && gate) {
            if (stage == 1) {
                timer = 0;
                stage = 2;
            } else if (stage == 3) {
                stage = 0;
            }
            gate = 0;
        }
        if (stage == 3)
            return;
        if (stage == 1) {
            if (in[1] != 0) {
                out = int32_t(timer * 1024 / (callsOf(in[1], rate) + 1));
                ++timer;
            } else {
                out = 1024;
            }
            if (out >= 1024) {
                out = 1024;
                timer = 0;
                stage = 2;
            }
            level = uint32_t(out);
        }
        if (stage == 2) {
            if (in[2] != 0) {
                const uint32_t f = 1024 - timer * 1024 / (callsOf(in[2], rate) + 1);
                out = int32_t((level * ((f * f) >> 10)) >> 10);
                ++timer;
            } else {
                out = 0;
            }
            if (out <= 0) {
                out = 0;
                stage = gate ? 3 : 0;
            }
        }
        if (stage == 0) {
            out = 0;
            state = 0;
        } else {
            state = (gate | stage << 1 | level << 3) & 0xFFFF;
        }
    }
};

struct Slew
{
    int32_t out = 0, start = 0, target = 0, count = 0;
    int mode = 0;

    void step(const std::vector<int32_t>& in, int rate)
    {
        if (mode == 0) {
            start = out = target = in[0];
            mode = 1;
        }
        if (in[0] != target) {
            start = out;
            target = in[0];
            if (in[1] != 0)
                mode = 2;
            else
                out = in[0];
            count = 0;
        }
        if (mode != 2)
            return;
        const int32_t n = int32_t(uint32_t(in[1]) * uint32_t(rate)) >> 10;
        if (count == n) {
            mode = 1;
            out = target;
        }
        out = int32_t((uint32_t(count) * 256 / uint32_t(n)) * uint32_t(target - start)) >> 8;
        out += start;
        ++count;
    }
};

// ---- Scripts --------------------------------------------------------------------------------

// A stretch of calls with the same inputs.
struct Stretch
{
    std::vector<int32_t> inputs;
    int calls;
};

QString modeOf(int rate)
{
    return rate == controlRate ? QStringLiteral("control") : QStringLiteral("audio");
}

// Sets the inputs of each stretch and traces the output over it: one answer line per stretch.
QString stretchScript(const QString& label, int rate, const QList<Stretch>& stretches)
{
    QStringList parts;
    for (const Stretch& s : stretches) {
        for (size_t i = 0; i < s.inputs.size(); ++i)
            parts << QStringLiteral("set %1.in%2 %3").arg(label).arg(i).arg(s.inputs[i]);
        parts << QStringLiteral("trace %1.out0 %2 %3").arg(label, modeOf(rate)).arg(s.calls);
    }
    return parts.join(QLatin1String("; "));
}

// Every trace line of a run, one after the other.
QVector<double> allTraces(const BlockHarness::Run& run, QString* failure)
{
    QVector<double> values;
    if (!run.ok) {
        *failure = run.failure;
        return values;
    }
    for (int i = 0; i < run.lines.size(); ++i) {
        values += analysis::traceValues(run, i, failure);
        if (!failure->isEmpty())
            break;
    }
    return values;
}

template <typename Model> QVector<double> modelTrace(int rate, const QList<Stretch>& stretches)
{
    Model m;
    QVector<double> values;
    for (const Stretch& s : stretches) {
        for (int k = 0; k < s.calls; ++k) {
            m.step(s.inputs, rate);
            values << m.out;
        }
    }
    return values;
}

// The call index of the first value that breaks "never rising", or -1.
int firstRise(const QVector<double>& x)
{
    for (int i = 1; i < x.size(); ++i) {
        if (x.at(i) > x.at(i - 1))
            return i;
    }
    return -1;
}

QString excerpt(const QVector<double>& x, int around)
{
    QStringList parts;
    for (int i = qMax(0, around - 4); i < qMin(int(x.size()), around + 5); ++i)
        parts << QStringLiteral("%1:%2").arg(i).arg(x.at(i));
    return parts.join(QLatin1Char(' '));
}

} // namespace

class TestEnvelopeBlocks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void behaviour_data();
    void behaviour();
    void releaseFollowsItsCurve_data();
    void releaseFollowsItsCurve();
    void retriggerStartsFromTheCurrentLevel_data();
    void retriggerStartsFromTheCurrentLevel();
    void shortenedTimeNeverRaisesTheCurve_data();
    void shortenedTimeNeverRaisesTheCurve();
    void lineSequence();
    void lagOfLargeValues();
    void normalInputsGiveTheDefinedSteps_data();
    void normalInputsGiveTheDefinedSteps();

private:
    BlockHarness harness;
};

void TestEnvelopeBlocks::initTestCase()
{
    QString error;
    QVERIFY2(!harness.program(patch, &error).isEmpty(), qPrintable(error));
}

void TestEnvelopeBlocks::behaviour_data()
{
    QList<BlockHarness::Case> cases;
    auto row = [&cases](const char* name, const QString& script, const char* expected) {
        cases << BlockHarness::Case{QString::fromUtf8(name), patch, script,
                                    QString::fromUtf8(expected)};
    };

    // ADSR: stages and the calls at which they end.
    row("ADSR idle: 0 until a gate", "audio 10; get adsr.out0; get adsr.envState", "0; 0");
    row("ADSR attack 0 reaches 1024 in the first call and starts the decay there",
        "set adsr.in1 0; set adsr.in2 512; set adsr.in3 512; set adsr.in0 1024; audio 1;"
        " get adsr.out0; get adsr.timer; get adsr.envState",
        "1024; 1; 16389");
    row("ADSR decay 0 jumps to the sustain level",
        "set adsr.in1 0; set adsr.in2 0; set adsr.in3 300; set adsr.in0 1024; audio 1;"
        " get adsr.out0; get adsr.envState",
        "300; 4807");
    row("ADSR decay 0 after an attack: sustain as the attack ends",
        "set adsr.in1 10; set adsr.in2 0; set adsr.in3 300; set adsr.in0 1024; audio 195;"
        " get adsr.out0; audio 1; get adsr.out0",
        "1018; 300");
    row("ADSR attack of 0.5 s reaches 1024 at call 10001",
        "set adsr.in1 512; set adsr.in2 512; set adsr.in3 512; set adsr.in0 1024;"
        " audio 10000; get adsr.out0; audio 1; get adsr.out0",
        "1023; 1024");
    row("ADSR at control rate: attack of 0.5 s reaches 1024 at tick 51",
        "set adsrc.in1 512; set adsrc.in2 512; set adsrc.in3 512; set adsrc.in0 1024;"
        " control 50; get adsrc.out0; control 1; get adsrc.out0",
        "1003; 1024");
    row("ADSR held gate stays at the sustain level",
        "set adsr.in1 10; set adsr.in2 10; set adsr.in3 700; set adsr.in0 1024; audio 5000;"
        " get adsr.out0; get adsr.envState",
        "700; 11207");
    row("ADSR release of 0 drops to 0 at once",
        "set adsr.in1 0; set adsr.in2 0; set adsr.in3 800; set adsr.in4 0; set adsr.in0 1;"
        " audio 3; set adsr.in0 0; audio 1; get adsr.out0; audio 1; get adsr.envState",
        "0; 0");

    // AR.
    row("AR attack of 0.5 s reaches 1024 at call 10001",
        "set ar.in1 512; set ar.in0 1024; audio 10000; get ar.out0; audio 1; get ar.out0",
        "1023; 1024");
    row("AR held gate stays at 1024",
        "set ar.in1 10; set ar.in2 10; set ar.in0 1024; audio 5000; get ar.out0;"
        " get ar.envState",
        "1024; 8197");
    row("AR release of 0 drops to 0 at once",
        "set ar.in1 0; set ar.in2 0; set ar.in0 1024; audio 3; set ar.in0 0; audio 1;"
        " get ar.out0",
        "0");

    // AD: one shot.
    row("AD attack of 0.5 s reaches 1024 at call 10002 (it divides by T + 1)",
        "set ad.in1 512; set ad.in2 512; set ad.in0 1024; audio 10001; get ad.out0; audio 1;"
        " get ad.out0",
        "1023; 1024");
    row("AD at control rate: attack of 0.5 s reaches 1024 at tick 52",
        "set adc.in1 512; set adc.in2 512; set adc.in0 1024; control 51; get adc.out0;"
        " control 1; get adc.out0",
        "1003; 1024");
    row("AD falls to 0 and waits in stage 3 until the gate falls",
        "set ad.in1 10; set ad.in2 10; set ad.in0 1024; audio 1000; get ad.out0;"
        " get ad.envState; set ad.in0 0; audio 1; get ad.out0; get ad.envState;"
        " set ad.in0 1024; audio 1; get ad.envState",
        "0; 8199; 0; 0; 3");
    row("AD gate falling during the attack starts the decay from there",
        "set ad.in1 512; set ad.in2 512; set ad.in0 1024; audio 5001; get ad.out0;"
        " set ad.in0 0; audio 1; get ad.out0; get ad.envState",
        "511; 511; 4092");

    // Guards: at control rate, times of 0.01 s and less are shorter than one tick.
    row("ADSR at control rate with stages shorter than a tick: each ends at once",
        "set adsrc.in1 10; set adsrc.in2 5; set adsrc.in3 600; set adsrc.in4 1;"
        " set adsrc.in0 1024; control 1; get adsrc.out0; set adsrc.in0 0; control 1;"
        " get adsrc.out0",
        "600; 0");
    row("AR at control rate with stages shorter than a tick",
        "set arc.in1 5; set arc.in2 10; set arc.in0 1024; control 1; get arc.out0;"
        " set arc.in0 0; control 1; get arc.out0",
        "1024; 0");
    row("AD at control rate with an attack of -1 (T + 1 would be 0) jumps",
        "set adc.in1 -1; set adc.in2 512; set adc.in0 1024; control 1; get adc.out0", "1024");
    row("AD at control rate with a decay of -1 jumps to 0 and waits",
        "set adc.in1 0; set adc.in2 -1; set adc.in0 1024; control 1; get adc.out0;"
        " get adc.envState",
        "0; 8199");
    row("AD with a negative attack of -1 s jumps",
        "set ad.in1 -1024; set ad.in2 512; set ad.in0 1024; audio 1; get ad.out0", "1024");
    row("ADSR negative times count as 0",
        "set adsr.in1 -1; set adsr.in2 -1024; set adsr.in3 400; set adsr.in4 -5;"
        " set adsr.in0 1024; audio 1; get adsr.out0; set adsr.in0 0; audio 1; get adsr.out0",
        "400; 0");
    // 2^27 x 20000 is a multiple of 2^32: the 32-bit product would make the attack 0 calls.
    row("ADSR attack whose product with the rate wraps to 0 stays a long attack",
        "set adsr.in1 134217728; set adsr.in0 1024; audio 1000; get adsr.out0;"
        " get adsr.timer",
        "0; 1000");
    row("ADSR attack whose product wraps to 19 calls stays a long attack",
        "set adsr.in1 134217729; set adsr.in0 1024; audio 100; get adsr.out0", "0");
    row("ADSR at control rate: attack whose product wraps to 0",
        "set adsrc.in1 1073741824; set adsrc.in0 1024; control 100; get adsrc.out0", "0");
    row("AR release whose product wraps to 0 stays a long release",
        "set ar.in1 0; set ar.in2 134217728; set ar.in0 1024; audio 2; set ar.in0 0;"
        " audio 1000; get ar.out0",
        "1024");
    row("ADSR sustain above 1 counts as 1",
        "set adsr.in1 0; set adsr.in2 0; set adsr.in3 2048; set adsr.in0 1024; audio 2;"
        " get adsr.out0; set adsr.in4 512; set adsr.in0 0; audio 1; get adsr.out0",
        "1024; 1024");
    row("ADSR sustain below 0 counts as 0",
        "set adsr.in1 0; set adsr.in2 102; set adsr.in3 -512; set adsr.in0 1024; audio 3000;"
        " get adsr.out0; get adsr.envState",
        "0; 7");
    row("ADSR release lowered to 0 while it runs drops to 0; the level field keeps where it fell "
        "from",
        "set adsr.in1 0; set adsr.in2 0; set adsr.in3 1024; set adsr.in4 1024;"
        " set adsr.in0 1024; audio 2; set adsr.in0 0; audio 5000; get adsr.out0;"
        " set adsr.in4 0; audio 1; get adsr.out0; get adsr.envState",
        "577; 0; 16384");

    // Line.
    row("line is 0 until its first trigger", "audio 50; get linec.out0; get line.out0", "0; 0");
    row("line: negative times count as 0", "set lineneg.in0 1024; trace lineneg.out0 audio 5",
        "0 1024 512 0 0");
    row("line: times of 0 take one call (the first segment two)",
        "set linezero.in0 1024; trace linezero.out0 audio 5", "0 1024 512 0 0");
    row("line with no points draws nothing",
        "set lineempty.in0 1024; trace lineempty.out0 audio 3; get lineempty.segment;"
        " get lineempty.points_length",
        "0 0 0; -1; 0");
    row("line with half a pair draws nothing", "set lineodd.in0 1024; trace lineodd.out0 audio 3",
        "0 0 0");
    row("line with a pair and a half draws the whole pair",
        "set linethree.in0 1024; trace linethree.out0 audio 4", "0 1024 0 0");
    row("line needs the trigger to fall before it fires again",
        "set linezero.in0 1024; audio 5; audio 1; get linezero.out0; set linezero.in0 0;"
        " audio 1; set linezero.in0 1024; audio 2; get linezero.out0",
        "0; 1024");
    row("line: a long segment to a large level rises steadily instead of wrapping",
        "set linelong.in0 1024; audio 1000; get linelong.out0; audio 1000000;"
        " get linelong.out0",
        "51148; 51251123");

    // Lag, hold, moving average.
    row("lag moves 24/1024 of the way",
        "set lag.in0 1024; audio 1; get lag.out0; audio 1;"
        " get lag.out0",
        "24; 47");
    row("audio to control holds 201 calls and gives 0 on the 202nd",
        "set a2c.in0 500; audio 1; set a2c.in0 -3; audio 201; get a2c.out0; audio 1;"
        " get a2c.out0",
        "500; 0");
    row("moving average window 0 passes the input",
        "set smooth.in1 0; set smooth.in0 77; audio 1; get smooth.out0; set smooth.in0 -9;"
        " audio 1; get smooth.out0",
        "77; -9");
    row("moving average window 3 averages the last four",
        "set smooth.in1 3072; set smooth.in0 100; audio 1; get smooth.out0;"
        " set smooth.in0 200; audio 1; get smooth.out0; set smooth.in0 300; audio 1;"
        " get smooth.out0; set smooth.in0 400; audio 1; get smooth.out0; set smooth.in0 500;"
        " audio 1; get smooth.out0",
        "25; 75; 150; 250; 350");
    row("moving average: a negative window counts as 0",
        "set smooth.in1 -5000; set smooth.in0 300; audio 1; get smooth.out0", "300");
    row("moving average: a window above 16 counts as 16",
        "set smooth.in1 2147483647; set smooth.in0 1700; audio 1; get smooth.out0; audio 16;"
        " get smooth.out0; get smooth.writeIndex",
        "100; 1700; 17");
    row("moving average of seventeen largest values does not wrap",
        "set smooth.in1 16384; set smooth.in0 2147483647; audio 17; get smooth.out0;"
        " set smooth.in0 -2147483648; audio 17; get smooth.out0",
        "2147483647; -2147483648");

    // Linear slew.
    row("slew takes its first input at once", "set slew.in0 700; audio 1; get slew.out0", "700");
    row("slew with time 0 follows at once",
        "set slew.in1 0; audio 1; set slew.in0 500; audio 1; get slew.out0", "500");
    row("slew over 0.1 s: 1992 calls, at the target on call 1993",
        "set slew.in1 102; audio 1; set slew.in0 1024; audio 1992; get slew.out0; audio 1;"
        " get slew.out0; audio 100; get slew.out0",
        "1020; 1024; 1024");
    row("slew whose time drops mid-ramp ends at its target",
        "set slew.in1 1024; audio 1; set slew.in0 1024; audio 10000; get slew.out0;"
        " set slew.in1 102; audio 1; get slew.out0; audio 100; get slew.out0",
        "508; 1024; 1024");
    row("slew whose time drops to 0 mid-ramp ends at its target",
        "set slew.in1 1024; audio 1; set slew.in0 -1024; audio 300; set slew.in1 0;"
        " audio 1; get slew.out0",
        "-1024");
    row("slew with a negative time jumps",
        "set slew.in1 -1024; audio 1; set slew.in0 4000; audio 1; get slew.out0", "4000");
    row("slew at control rate with a time shorter than a tick jumps",
        "set slewc.in1 5; control 1; set slewc.in0 4000; control 1; get slewc.out0", "4000");
    row("slew whose time product wraps to 0 still ramps",
        "set slew.in1 134217728; audio 1; set slew.in0 1024; audio 100; get slew.out0", "0");
    row("slew across the whole 32-bit range passes the middle",
        "set slew.in1 102; set slew.in0 -2147483648; audio 1; set slew.in0 2147483647;"
        " audio 997; get slew.out0; audio 996; get slew.out0",
        "-1; 2147483647");
    harness.addCaseRows(cases);
}

void TestEnvelopeBlocks::behaviour()
{
    QFETCH(QString, answers);
    QFETCH(QString, expected);
    QCOMPARE(answers, expected);
}

void TestEnvelopeBlocks::releaseFollowsItsCurve_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<int>("calls");

    // From level 1024 (attack and decay 0, sustain 1), the gate falls at the first traced
    // call. The AD decays straight from its attack of 0; it divides by T + 1.
    struct Row
    {
        const char* name;
        QString script;
        int calls;
    };
    const QList<Row> rows{
        {"ADSR, release 0.1 s",
         "set adsr.in1 0; set adsr.in2 0; set adsr.in3 1024; set adsr.in4 102;"
         " set adsr.in0 1024; audio 5; set adsr.in0 0; trace adsr.out0 audio 2100",
         102 * audioRate >> 10},
        {"ADSR, release 2 s",
         "set adsr.in1 0; set adsr.in2 0; set adsr.in3 1024; set adsr.in4 2048;"
         " set adsr.in0 1024; audio 5; set adsr.in0 0; trace adsr.out0 audio 40100",
         2048 * audioRate >> 10},
        {"ADSR at control rate, release 1 s",
         "set adsrc.in1 0; set adsrc.in2 0; set adsrc.in3 1024; set adsrc.in4 1024;"
         " set adsrc.in0 1024; control 5; set adsrc.in0 0; trace adsrc.out0 control 120",
         1024 * controlRate >> 10},
        {"AR, release 0.3 s",
         "set ar.in1 0; set ar.in2 307; set ar.in0 1024; audio 5; set ar.in0 0;"
         " trace ar.out0 audio 6100",
         307 * audioRate >> 10},
        {"AR at control rate, release 2 s",
         "set arc.in1 0; set arc.in2 2048; set arc.in0 1024; control 5; set arc.in0 0;"
         " trace arc.out0 control 220",
         2048 * controlRate >> 10},
        {"AD, decay 0.2 s",
         "set ad.in1 0; set ad.in2 204; set ad.in0 1024; trace ad.out0 audio 4100",
         (204 * audioRate >> 10) + 1},
        {"AD at control rate, decay 1 s",
         "set adc.in1 0; set adc.in2 1024; set adc.in0 1024; trace adc.out0 control 120",
         (1024 * controlRate >> 10) + 1},
    };
    QList<BlockHarness::Job> jobs;
    for (const Row& r : rows)
        jobs << BlockHarness::Job{patch, r.script};
    const QList<analysis::Trace> traces = analysis::traceAll(harness, jobs);
    for (int i = 0; i < rows.size(); ++i)
        QTest::newRow(rows[i].name) << traces[i].values << traces[i].failure << rows[i].calls;
}

void TestEnvelopeBlocks::releaseFollowsItsCurve()
{
    QFETCH(QVector<double>, values);
    QFETCH(QString, failure);
    QFETCH(int, calls);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVERIFY(values.size() > calls);
    QCOMPARE(values.first(), 1024.0);
    for (int t = 0; t < values.size(); ++t) {
        const double x = t < calls ? 1.0 - double(t) / calls : 0.0;
        const double expected = 1024.0 * x * x;
        QVERIFY2(
            std::fabs(values.at(t) - expected) <= 2.0,
            qPrintable(QString("call %1: %2, expected %3").arg(t).arg(values.at(t)).arg(expected)));
    }
    QCOMPARE(values.at(calls), 0.0);
    QCOMPARE(firstRise(values), -1);
}

void TestEnvelopeBlocks::retriggerStartsFromTheCurrentLevel_data()
{
    QTest::addColumn<QVector<double>>("before");
    QTest::addColumn<QVector<double>>("after");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<int>("attackCalls");

    // A note, its release (or decay) under way, then a new gate: the attack goes on from the
    // level reached.
    struct Row
    {
        const char* name;
        QString label;
        int rate;
        QString setup;
        int attack;
        int held;
        int released;
    };
    const QList<Row> rows{
        {"ADSR", "adsr", audioRate, "in1 205; in2 205; in3 800; in4 1024", 205, 9000, 7000},
        {"ADSR at control rate", "adsrc", controlRate, "in1 512; in2 205; in3 800; in4 2048", 512,
         100, 60},
        {"AR", "ar", audioRate, "in1 102; in2 512", 102, 3000, 2500},
        {"AR at control rate", "arc", controlRate, "in1 307; in2 1024", 307, 50, 30},
        {"AD", "ad", audioRate, "in1 102; in2 512", 102, 0, 4000},
        {"AD at control rate", "adc", controlRate, "in1 512; in2 1024", 512, 0, 40},
    };
    QList<BlockHarness::Job> jobs;
    for (const Row& r : rows) {
        QString script;
        for (const QString& s : r.setup.split(QLatin1String("; ")))
            script += QStringLiteral("set %1.%2; ").arg(r.label, s);
        const QString mode = modeOf(r.rate);
        const int attackCalls = r.attack * r.rate >> 10;
        // Through the attack (and, for the ADSR, the decay), then the release.
        script += QStringLiteral("set %1.in0 1024; %2 %3; set %1.in0 0; trace %1.out0 %2 %4;"
                                 " set %1.in0 1024; trace %1.out0 %2 %5")
                      .arg(r.label, mode)
                      .arg(attackCalls + 2 + r.held)
                      .arg(r.released)
                      .arg(attackCalls + 10);
        jobs << BlockHarness::Job{patch, script};
    }
    const QList<BlockHarness::Run> runs = harness.runAll(jobs);
    for (int i = 0; i < rows.size(); ++i) {
        QString failure;
        const QVector<double> before = analysis::traceValues(runs[i], 0, &failure);
        const QVector<double> after = analysis::traceValues(runs[i], 1, &failure);
        QTest::newRow(rows[i].name)
            << before << after << failure << (rows[i].attack * rows[i].rate >> 10);
    }
}

void TestEnvelopeBlocks::retriggerStartsFromTheCurrentLevel()
{
    QFETCH(QVector<double>, before);
    QFETCH(QVector<double>, after);
    QFETCH(QString, failure);
    QFETCH(int, attackCalls);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const double last = before.last();
    // Well into the fall, not yet at its end.
    QVERIFY2(last > 100.0 && last < 900.0, qPrintable(QString::number(last)));
    // The first attack call stands where the output was, give or take one attack step (the
    // attack's timer is resumed in whole calls).
    const double step = 1024.0 / attackCalls;
    QVERIFY2(std::fabs(after.first() - last) <= step + 1.0,
             qPrintable(QString("from %1 to %2").arg(last).arg(after.first())));
    // Then it rises to the top, sooner than a whole attack would take.
    const int top = int(after.indexOf(1024.0));
    QVERIFY2(top > 0 && top < attackCalls * (1024.0 - last) / 1024.0 + 3,
             qPrintable(QString("1024 after %1 calls").arg(top)));
    for (int i = 1; i <= top; ++i)
        QVERIFY2(after.at(i) >= after.at(i - 1), qPrintable(excerpt(after, i)));
}

void TestEnvelopeBlocks::shortenedTimeNeverRaisesTheCurve_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<double>("floor");

    // A long release (or decay) half run, then its time set shorter (down to 0, a time
    // shorter than the calls already made, or negative), and run on.
    struct Row
    {
        QString name;
        QString script;
        double floor;
    };
    QList<Row> rows;
    const QList<qint64> shorter{0, 1, 5, 102, 512, 1023, -5, min32};
    for (qint64 t : shorter) {
        rows << Row{QStringLiteral("ADSR release 2 s lowered to %1").arg(t),
                    QStringLiteral("set adsr.in1 0; set adsr.in2 0; set adsr.in3 1024;"
                                   " set adsr.in4 2048; set adsr.in0 1024; audio 3;"
                                   " set adsr.in0 0; trace adsr.out0 audio 20000;"
                                   " set adsr.in4 %1; trace adsr.out0 audio 25000")
                        .arg(t),
                    0.0};
        rows << Row{QStringLiteral("ADSR decay 2 s lowered to %1").arg(t),
                    QStringLiteral("set adsr.in1 0; set adsr.in2 2048; set adsr.in3 200;"
                                   " set adsr.in0 1024; trace adsr.out0 audio 20000;"
                                   " set adsr.in2 %1; trace adsr.out0 audio 25000")
                        .arg(t),
                    200.0};
        rows << Row{QStringLiteral("AR release 2 s lowered to %1").arg(t),
                    QStringLiteral("set ar.in1 0; set ar.in2 2048; set ar.in0 1024; audio 3;"
                                   " set ar.in0 0; trace ar.out0 audio 20000; set ar.in2 %1;"
                                   " trace ar.out0 audio 25000")
                        .arg(t),
                    0.0};
        rows << Row{QStringLiteral("AD decay 2 s lowered to %1").arg(t),
                    QStringLiteral("set ad.in1 0; set ad.in2 2048; set ad.in0 1024;"
                                   " trace ad.out0 audio 20000; set ad.in2 %1;"
                                   " trace ad.out0 audio 25000")
                        .arg(t),
                    0.0};
    }
    rows << Row{QStringLiteral("ADSR at control rate, release 3 s lowered to 0.5 s"),
                QStringLiteral("set adsrc.in1 0; set adsrc.in2 0; set adsrc.in3 1024;"
                               " set adsrc.in4 3072; set adsrc.in0 1024; control 3;"
                               " set adsrc.in0 0; trace adsrc.out0 control 200;"
                               " set adsrc.in4 512; trace adsrc.out0 control 200"),
                0.0};
    rows << Row{QStringLiteral("AR at control rate, release 3 s lowered to 0.05 s"),
                QStringLiteral("set arc.in1 0; set arc.in2 3072; set arc.in0 1024; control 3;"
                               " set arc.in0 0; trace arc.out0 control 200; set arc.in2 51;"
                               " trace arc.out0 control 200"),
                0.0};
    // Shortened step by step while it runs.
    QString stepwise = QStringLiteral("set adsr.in1 0; set adsr.in2 0; set adsr.in3 1024;"
                                      " set adsr.in4 4096; set adsr.in0 1024; audio 3;"
                                      " set adsr.in0 0");
    for (int t = 4096; t > 0; t -= 256)
        stepwise += QStringLiteral("; set adsr.in4 %1; trace adsr.out0 audio 2000").arg(t);
    rows << Row{QStringLiteral("ADSR release shortened step by step"), stepwise, 0.0};

    QList<BlockHarness::Job> jobs;
    for (const Row& r : rows)
        jobs << BlockHarness::Job{patch, r.script};
    const QList<BlockHarness::Run> runs = harness.runAll(jobs);
    for (int i = 0; i < rows.size(); ++i) {
        QString failure;
        const QVector<double> values = allTraces(runs[i], &failure);
        QTest::newRow(qPrintable(rows[i].name)) << values << failure << rows[i].floor;
    }
}

void TestEnvelopeBlocks::shortenedTimeNeverRaisesTheCurve()
{
    QFETCH(QVector<double>, values);
    QFETCH(QString, failure);
    QFETCH(double, floor);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const int rise = firstRise(values);
    QVERIFY2(rise < 0, qPrintable("rises at " + excerpt(values, rise)));
    const auto [low, high] = std::minmax_element(values.cbegin(), values.cend());
    QVERIFY2(*low >= floor && *high <= 1024.0,
             qPrintable(QString("%1 .. %2").arg(*low).arg(*high)));
    // It ends where the stage ends: 0 after a release, the sustain level after a decay.
    QCOMPARE(values.last(), floor);
}

void TestEnvelopeBlocks::lineSequence()
{
    // Two pairs (0.5 s to 1, 0.5 s to 0) at control rate: a = 50 + 1.
    const BlockHarness::Run control =
        harness.run(patch, "control 3; set linec.in0 1024; trace linec.out0 control 120;"
                           " set linec.in0 0; control 1; set linec.in0 1; trace linec.out0"
                           " control 60");
    QString failure;
    const QVector<double> first = analysis::traceValues(control, 0, &failure);
    const QVector<double> again = analysis::traceValues(control, 1, &failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QVector<double> expected;
    for (int i = 0; i <= 50; ++i)
        expected << double(i * 1024 / 51); // 0, 20, 40, ... 1003
    expected << 1024.0;                    // tick 52
    for (int j = 1; j <= 50; ++j)
        expected << double(1024 - j * 1024 / 51); // 1004, 984, ... 21
    expected << 0.0;                              // tick 103
    while (expected.size() < first.size())
        expected << 0.0;
    QCOMPARE(first, expected);
    QCOMPARE(first.at(1), 20.0);
    QCOMPARE(first.at(2), 40.0);
    QCOMPARE(first.at(51), 1024.0);
    QCOMPARE(first.at(52), 1004.0);
    QCOMPARE(first.at(101), 21.0);
    QCOMPARE(first.at(102), 0.0);
    // A new trigger draws it again from 0.
    QCOMPARE(again, expected.mid(0, again.size()));

    // At audio rate, 0.01 s segments: a = 195 + 1.
    const BlockHarness::Run audio =
        harness.run(patch, "set line.in0 1024; trace line.out0 audio 450");
    const QVector<double> fast = analysis::traceValues(audio, 0, &failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(fast.size(), 450);
    for (int i = 0; i < 196; ++i)
        QCOMPARE(fast.at(i), double(i * 1024 / 196));
    QCOMPARE(fast.at(196), 1024.0);
    for (int j = 1; j < 196; ++j)
        QCOMPARE(fast.at(196 + j), double(1024 - j * 1024 / 196));
    QCOMPARE(fast.at(392), 0.0);
    QCOMPARE(fast.last(), 0.0);
}

void TestEnvelopeBlocks::lagOfLargeValues()
{
    // A frequency of 3 kHz (x 1024) smoothed, up and down: the weighted sum is taken wide
    // enough not to wrap.
    const BlockHarness::Run run =
        harness.run(patch, "set lag.in0 3072000; trace lag.out0 audio 2000; set lag.in0 -3072000;"
                           " trace lag.out0 audio 2000");
    QString failure;
    const QVector<double> up = analysis::traceValues(run, 0, &failure);
    const QVector<double> down = analysis::traceValues(run, 1, &failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    for (int i = 1; i < up.size(); ++i)
        QVERIFY2(up.at(i) >= up.at(i - 1) && up.at(i) <= 3072000.0, qPrintable(excerpt(up, i)));
    for (int i = 1; i < down.size(); ++i)
        QVERIFY2(down.at(i) <= down.at(i - 1) && down.at(i) >= -3072000.0,
                 qPrintable(excerpt(down, i)));
    QVERIFY2(std::fabs(up.last() / 3072000.0 - 1.0) < 0.001,
             qPrintable(QString::number(up.last())));
    QVERIFY2(std::fabs(down.last() / -3072000.0 - 1.0) < 0.001,
             qPrintable(QString::number(down.last())));
}

void TestEnvelopeBlocks::normalInputsGiveTheDefinedSteps_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QVector<double>>("expected");
    QTest::addColumn<QString>("failure");

    // Random gates and times in the ranges a patch uses: times from 0.011 s (at least one
    // control tick) or exactly 0, levels 0..1, gates held for random stretches.
    QRandomGenerator random(20240611);
    QList<BlockHarness::Job> jobs;
    QStringList names;
    QList<QVector<double>> models;
    auto time = [&random](int longest) -> int32_t {
        return random.bounded(8) == 0 ? 0 : int32_t(11 + random.bounded(longest - 11));
    };
    for (int rate : {audioRate, controlRate}) {
        const bool control = rate == controlRate;
        const int longest = control ? 3072 : 410;
        const int stretchMax = control ? 300 : 12000;
        for (int run = 0; run < 6; ++run) {
            const std::vector<int32_t> adsrTimes{time(longest), time(longest),
                                                 int32_t(random.bounded(1025)), time(longest)};
            const std::vector<int32_t> twoTimes{time(longest), time(longest)};
            QList<Stretch> adsr, ar, ad, slew;
            for (int k = 0; k < 8; ++k) {
                const int32_t gate = (k % 2 == 0) ? 1024 : 0;
                const int calls = 1 + int(random.bounded(stretchMax));
                adsr << Stretch{{gate, adsrTimes[0], adsrTimes[1], adsrTimes[2], adsrTimes[3]},
                                calls};
                ar << Stretch{{gate, twoTimes[0], twoTimes[1]}, calls};
                ad << Stretch{{gate, twoTimes[0], twoTimes[1]}, calls};
                slew << Stretch{{int32_t(random.bounded(200001)) - 100000, twoTimes[0]}, calls};
            }
            const QString suffix =
                QStringLiteral(" %1 rate, run %2")
                    .arg(control ? QStringLiteral("control") : QStringLiteral("audio"))
                    .arg(run);
            const QString c = control ? QStringLiteral("c") : QString();
            jobs << BlockHarness::Job{patch, stretchScript("adsr" + c, rate, adsr)};
            names << "ADSR" + suffix;
            models << modelTrace<Adsr>(rate, adsr);
            jobs << BlockHarness::Job{patch, stretchScript("ar" + c, rate, ar)};
            names << "AR" + suffix;
            models << modelTrace<Ar>(rate, ar);
            jobs << BlockHarness::Job{patch, stretchScript("ad" + c, rate, ad)};
            names << "AD" + suffix;
            models << modelTrace<Ad>(rate, ad);
            jobs << BlockHarness::Job{patch, stretchScript("slew" + c, rate, slew)};
            names << "slew" + suffix;
            models << modelTrace<Slew>(rate, slew);
        }
    }
    const QList<BlockHarness::Run> runs = harness.runAll(jobs);
    for (int i = 0; i < runs.size(); ++i) {
        QString failure;
        const QVector<double> values = allTraces(runs[i], &failure);
        QTest::newRow(qPrintable(names[i])) << values << models[i] << failure;
    }
}

void TestEnvelopeBlocks::normalInputsGiveTheDefinedSteps()
{
    QFETCH(QVector<double>, values);
    QFETCH(QVector<double>, expected);
    QFETCH(QString, failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(values.size(), expected.size());
    for (int i = 0; i < values.size(); ++i) {
        if (values.at(i) != expected.at(i))
            QFAIL(qPrintable(QString("call %1: %2, defined %3\n%4\n%5")
                                 .arg(i)
                                 .arg(values.at(i))
                                 .arg(expected.at(i))
                                 .arg(excerpt(values, i), excerpt(expected, i))));
    }
}

KL_TEST_MAIN(TestEnvelopeBlocks)

#include "test_envelope_blocks.moc"
