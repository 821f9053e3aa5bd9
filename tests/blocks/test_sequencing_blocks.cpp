// Behaviour of the sequencing blocks, each row a run of generated code: the worked cases of
// the step and pattern sequencers, dividers and counters, the metronome with its tap tempo,
// gates, holds, latches and catches, and the master clock with the tracks that follow it
// through the link registry; and every guard (empty lists, counts past the end of a shorter
// list, tempos and periods of 0, divisions that name no period, long track lists, pages past
// the last one, a full registry).
#include "BlockHarness.h"
#include "SignalAnalysis.h"
#include "TestMain.h"

#include <QtTest>

#include <algorithm>

namespace {

// The blocks that need no master, under short labels; one program serves their rows.
const char* const patch = R"(
seq = f_sequence steps=1,0,2
seqone = f_sequence steps=3
seqempty = f_sequence steps=
pat = f_pattern pattern0=1,2,3,4,5,6,7,8 pattern1=10,20,30 pattern2= pattern6=60 pattern7=70,71
div = f_trigdiv
cnt = f_count
cs = f_countseq durations=2,1,3
cslow = f_countseq durations=0,-2,0.5
csempty = f_countseq durations=
tog = toggle_func in1=0.1 in2=0.2
met = f_metro
metc = f_metro rate=1
rs = ranseq_func choices=10,20,30,40
rsempty = ranseq_func choices=
gate = f_gate in1=0.5 in2=-0.25 in3=0.01
gatec = f_gate rate=1 in1=0.5 in2=-0.25 in3=0.1
hold = f_hold_ctl
latch = f_latch
def = f_default
catch = f_catch
pages = f_8parcatchin start0=0.1 start1=0.2 start2=0.3 start3=0.4 start4=0.5 start5=0.6 start6=0.7 start7=0.8
)";

// A master clock at 120 BPM with tracks: quarter notes (values 1 to 4), a track chained to
// it, an unconnected one, one with no values and one at the 1/16 beat with 300 values.
QString masterPatch()
{
    QStringList many;
    for (int i = 1; i <= 300; ++i)
        many << QString::number(i);
    return QStringLiteral(R"(
m = f_ms2_master
t = f_msv2_static_track in1=4 in2=0.5 values=1,2,3,4
chain = f_msv2_static_track in1=1 in2=0.5 values=9
alone = f_msv2_static_track values=5
none = f_msv2_static_track in1=4 in2=0.5 values=
m.out0 -> t.in0
t.out0 -> chain.in0
chain.out0 -> none.in0
fast = f_ms2_master in0=2147483647
long = f_msv2_static_track in1=64 in2=0.5 values=%1
fast.out0 -> long.in0
)")
        .arg(many.join(QLatin1Char(',')));
}

// Sixteen masters at audio rate take every slot; a seventeenth, at control rate, finds the
// registry full.
QString fullRegistryPatch()
{
    QString text;
    for (int i = 0; i < 16; ++i)
        text += QStringLiteral("m%1 = f_ms2_master\n").arg(i);
    text += QStringLiteral("last = f_ms2_master rate=1\n"
                           "follower = f_msv2_static_track rate=1 in1=127 values=7\n"
                           "last.out0 -> follower.in0\n"
                           "first = f_msv2_static_track in1=127 values=8\n"
                           "m0.out0 -> first.in0\n");
    return text;
}

// `count` rising edges of label.in0, each one call high and one call low; after each edge
// (the high call) the named fields are read.
QString edges(const QString& label, int count, const QStringList& fields)
{
    QStringList parts;
    for (int i = 0; i < count; ++i) {
        parts << QStringLiteral("set %1.in0 1024; audio 1").arg(label);
        for (const QString& f : fields)
            parts << QStringLiteral("get %1.%2").arg(label, f);
        parts << QStringLiteral("set %1.in0 0; audio 1").arg(label);
    }
    return parts.join(QLatin1String("; "));
}

// The mark of step i of the bar: a bit for each note length, from the whole bar (bit 0) to
// 1/64 bar (bit 6), that starts on that step.
int markOf(int step)
{
    int mark = 0;
    for (int bit = 0; bit < 7; ++bit) {
        if (step % (64 >> bit) == 0)
            mark |= 1 << bit;
    }
    return mark;
}

} // namespace

class TestSequencingBlocks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void behaviour_data();
    void behaviour();
    void randomStepsFollowTheSharedSequence();
    void masterKeepsItsStepsAcrossATempoChange();
    void tracksSurviveExtremeInputs();
    void fullRegistryLeavesAMasterUnlinked();

private:
    BlockHarness harness;
};

void TestSequencingBlocks::initTestCase()
{
    QString error;
    QVERIFY2(harness.prepare({patch, masterPatch(), fullRegistryPatch()}, &error),
             qPrintable(error));
}

void TestSequencingBlocks::behaviour_data()
{
    QList<BlockHarness::Case> cases;
    auto row = [&cases](const char* name, const QString& script, const char* expected) {
        cases << BlockHarness::Case{QString::fromUtf8(name), patch, script,
                                    QString::fromUtf8(expected)};
    };
    auto masterRow = [&cases](const char* name, const QString& script, const char* expected) {
        cases << BlockHarness::Case{QString::fromUtf8(name), masterPatch(), script,
                                    QString::fromUtf8(expected)};
    };

    // Step sequencer: read, then advance.
    row("sequence 1, 0, 2: value and gate on each edge, then again from the start",
        edges("seq", 4, {"out0", "out1", "out2"}),
        "1024; 1024; 1024; 0; 0; 0; 2048; 1024; 2048; 1024; 1024; 1024");
    row("sequence: between edges the value shows the step the next edge plays",
        "set seq.in0 1024; audio 1; set seq.in0 0; audio 1; get seq.out0; get seq.out1;"
        " set seq.in0 1024; audio 1; set seq.in0 0; audio 1; get seq.out0",
        "0; 0; 2048");
    row("sequence: the gate and the played value stay while the clock is high",
        "set seq.in0 1024; audio 3; get seq.out0; get seq.out1; get seq.out2", "0; 1024; 1024");
    row("sequence: a reset held high plays the first step on every edge",
        "set seq.in1 1024; " + edges("seq", 3, {"out0", "count"}), "1024; 1; 1024; 1; 1024; 1");
    row("sequence of one step plays it on every edge", edges("seqone", 3, {"out0", "out1"}),
        "3072; 1024; 3072; 1024; 3072; 1024");
    row("empty sequence: rests, and the count stays at 0",
        edges("seqempty", 3, {"out0", "out1", "out2", "count"}) + "; get seqempty.out0",
        "0; 0; 0; 0; 0; 0; 0; 0; 0; 0; 0; 0; 0");

    // Pattern sequencer: read on every call, advance on the edge, one-call gates.
    row("pattern 0 in order, the gate one call long",
        edges("pat", 3, {"out0", "out1", "out2"}) + "; get pat.out0; get pat.out1",
        "1024; 1024; 1024; 2048; 1024; 2048; 3072; 1024; 3072; 4096; 0");
    row("pattern: the gate falls on the next call while the clock is still high",
        "set pat.in0 1024; audio 1; get pat.out1; audio 1; get pat.out1; get pat.out0",
        "1024; 0; 2048");
    row("pattern: selection 1.5 plays pattern 1, 7 and above pattern 7",
        "set pat.in2 1536; " + edges("pat", 2, {"out0"}) +
            "; set pat.in2 7168; audio 1; get pat.out0; set pat.in2 2147483647; audio 1;"
            " get pat.out0",
        "10240; 20480; 71680; 71680");
    row("pattern: selection 6.99 is still pattern 6", "set pat.in2 7167; audio 1; get pat.out0",
        "61440");
    row("pattern: changing the pattern goes on at the same step",
        edges("pat", 2, {"out0"}) + "; set pat.in2 1024; audio 1; get pat.out0",
        "1024; 2048; 30720");
    row("pattern: a count past the end of a shorter pattern starts it again",
        edges("pat", 6, {}) +
            "; get pat.count; set pat.in2 1024; audio 1; get pat.out0;"
            " get pat.count; " +
            edges("pat", 2, {"out0", "out2"}),
        "6; 10240; 0; 10240; 10240; 20480; 20480");
    row("pattern: the last step of each pattern leads back to the first",
        "set pat.in2 7168; " + edges("pat", 3, {"out0"}), "71680; 72704; 71680");
    row("pattern: an empty pattern plays rests and keeps the count at 0",
        "set pat.in2 2048; " + edges("pat", 3, {"out0", "out1", "count"}),
        "0; 0; 0; 0; 0; 0; 0; 0; 0");
    row("pattern: a negative selection keeps the value and every edge goes back to step 0",
        edges("pat", 3, {}) + "; set pat.in2 -1; " + edges("pat", 2, {"out0", "out2", "count"}),
        "4096; 4096; 0; 4096; 4096; 0");
    row("pattern: a reset held high plays the first step on every edge",
        "set pat.in1 1024; " + edges("pat", 3, {"out0", "count"}), "1024; 1; 1024; 1; 1024; 1");

    // Dividers and counters: a pulse on every n-th edge.
    row("clock divider by 3: the 3rd and 6th edge",
        "set div.in1 3072; " + edges("div", 6, {"out1"}), "0; 0; 1024; 0; 0; 1024");
    row("counter by 3: the 3rd and 6th edge", "set cnt.in1 3072; " + edges("cnt", 6, {"out1"}),
        "0; 0; 1024; 0; 0; 1024");
    row("clock divider by 2.5 rounds up to 3", "set div.in1 2560; " + edges("div", 6, {"out1"}),
        "0; 0; 1024; 0; 0; 1024");
    row("counter by 2.5 rounds down to 2", "set cnt.in1 2560; " + edges("cnt", 6, {"out1"}),
        "0; 1024; 0; 1024; 0; 1024");
    row("divider and counter pass the clock and pulse one call",
        "set div.in1 1024; set div.in0 1024; audio 1; get div.out0; get div.out1; audio 1;"
        " get div.out1",
        "1024; 1024; 0");
    row("divisions of 0 and below pass every edge",
        "set div.in1 0; set cnt.in1 -4096; " + edges("div", 2, {"out1"}) + "; " +
            edges("cnt", 2, {"out1"}),
        "1024; 1024; 1024; 1024");

    // Count sequence.
    row("count sequence 2, 1, 3: pulses on edges 2, 3, 6, 8, 9, 12", edges("cs", 12, {"out1"}),
        "0; 1024; 1024; 0; 0; 1024; 0; 1024; 1024; 0; 0; 1024");
    row("count sequence: durations below one pulse count as one",
        edges("cslow", 4, {"out1"}) + "; get cslow.index", "1024; 1024; 1024; 1024; 1");
    row("count sequence: an empty list never pulses",
        edges("csempty", 3, {"out1", "index", "count"}), "0; 0; 0; 0; 0; 0; 0; 0; 0");
    row("count sequence passes the clock", "set cs.in0 777; audio 1; get cs.out0", "777");

    // Toggle.
    row("toggle starts on and flips on each edge, not while held",
        "audio 1; get tog.out0; get tog.out1; set tog.in0 1024; audio 3; get tog.out0;"
        " get tog.out1; set tog.in0 0; audio 1; set tog.in0 1024; audio 1; get tog.out0;"
        " get tog.out1",
        "204; 1024; 102; 0; 204; 1024");

    // Metronome.
    row("metronome at 120 BPM: 10000 calls a beat, 2 Hz", "audio 1; get met.period; get met.out1",
        "10000; 2048");
    row("metronome ticks on calls 0, 10000 and 20000",
        "trace met.out0 audio 2; audio 9997; trace met.out0 audio 3; audio 9998;"
        " trace met.out0 audio 2",
        "1024 0; 0 1024 0; 1024 0");
    row("metronome at control rate: 50 ticks a beat, 2 Hz",
        "control 1; get metc.period; get metc.out1", "50; 2048");
    // Taps 8000 calls apart measure 8000, not the 7999 calls between them.
    row("two taps 8000 calls apart: a beat of 8000 calls, 2.5 Hz, and the second ticks",
        "audio 10; set met.in0 1024; audio 1; set met.in0 0; audio 7999; set met.in0 1024;"
        " trace met.out0 audio 1; get met.period; get met.out1",
        "1024; 8000; 2560");
    row("after two taps the beat runs on at the tapped period",
        "audio 10; set met.in0 1024; audio 1; set met.in0 0; audio 7999; set met.in0 1024;"
        " audio 1; set met.in0 0; audio 8000; trace met.out0 audio 1; audio 7999;"
        " trace met.out0 audio 1",
        "1024; 1024");
    row("taps 40000 calls apart still measure two seconds",
        "set met.in0 1024; audio 1; set met.in0 0; audio 39999; set met.in0 1024; audio 1;"
        " get met.period",
        "40000");
    row("a third tap more than 40000 calls later only starts a new measurement",
        "set met.in0 1024; audio 1; set met.in0 0; audio 7999; set met.in0 1024; audio 1;"
        " set met.in0 0; audio 40000; set met.in0 1024; trace met.out0 audio 1; get met.period;"
        " set met.in0 0; audio 4999; set met.in0 1024; audio 1; get met.period",
        "0; 8000; 5000");
    row("a tap on the very first call does not silence the metronome",
        "set met.in0 1024; audio 1; set met.in0 0; trace met.out0 audio 2; audio 9998;"
        " trace met.out0 audio 1",
        "1024 0; 1024");
    row("a changed tempo replaces the tapped beat",
        "set met.in0 1024; audio 1; set met.in0 0; audio 999; set met.in0 1024; audio 1;"
        " get met.period; set met.in0 0; set met.in1 245760; audio 1; get met.period;"
        " get met.out1",
        "1000; 5000; 4096");
    row("metronome above the fastest tempo: period 0, a tick on every call",
        "set met.in1 2147483647; audio 1; trace met.out0 audio 3; get met.period; get met.out1",
        "1024 1024 1024; 0; 20480000");
    row("metronome at tempo 0: no ticks, 0 Hz",
        "set met.in1 0; trace met.out0 audio 3; audio 30000; get met.out0; get met.out1",
        "0 0 0; 0; 0");
    row("metronome at a negative tempo: no ticks",
        "set met.in1 -122880; audio 20000; get met.out1; get met.countdown", "0; 0");
    row("metronome at tempo 0 still takes the tapped beat",
        "set met.in1 0; audio 5; set met.in0 1024; audio 1; set met.in0 0; audio 1999;"
        " set met.in0 1024; audio 1; set met.in0 0; get met.period; get met.out1; audio 1999;"
        " trace met.out0 audio 2",
        "2000; 10240; 0 1024");
    row("metronome at control rate above the fastest tempo",
        "set metc.in1 6144001; control 3; get metc.period; get metc.out1", "0; 102400");

    // Random steps.
    row("random step with an empty list gives 0", edges("rsempty", 3, {"out0", "choice"}),
        "0; 0; 0; 0; 0; 0");

    // Timed gate: T + 1 calls open after each trigger.
    row("gate is closed until the first trigger",
        "trace gate.out0 audio 3; control 2; get gatec.out0", "-256 -256 -256; -256");
    row("gate open 0.01 s: 196 calls at audio rate",
        "set gate.in0 1024; audio 196; get gate.out0; audio 1; get gate.out0", "512; -256");
    row("gate at control rate: 0.1 s gives 10 ticks",
        "set gatec.in0 1024; control 10; get gatec.out0; control 1; get gatec.out0", "512; -256");
    row("gate: a trigger while open starts the time again",
        "set gate.in0 1024; audio 100; set gate.in0 0; audio 1; set gate.in0 1024; audio 196;"
        " get gate.out0; audio 1; get gate.out0",
        "512; -256");
    row("gate: an open time of 0 opens for one call; a negative one counts as 0",
        "set gate.in3 0; set gate.in0 1024; trace gate.out0 audio 2; set gate.in0 0;"
        " set gate.in3 -1024; audio 1; set gate.in0 1024; trace gate.out0 audio 2",
        "512 -256; 512 -256");
    // 2^27 x 20000 is a multiple of 2^32: the 32-bit product would open the gate for a call.
    row("gate: an open time whose product with the rate wraps stays open",
        "set gate.in3 134217728; set gate.in0 1024; audio 100000; get gate.out0", "512");

    // Timed hold at control rate.
    row("hold follows the input until the first trigger",
        "set hold.in1 300; control 1; get hold.out0; set hold.in1 400; control 1; get hold.out0",
        "300; 400");
    row("hold of 1 s keeps the sample 102 ticks, then follows",
        "set hold.in1 300; set hold.in0 1024; control 1; set hold.in1 700; control 101;"
        " get hold.out0; control 1; get hold.out0",
        "300; 700");
    row("hold with a negative time holds until the next trigger",
        "set hold.in2 -1; set hold.in1 300; set hold.in0 1024; control 1; set hold.in1 700;"
        " control 5000; get hold.out0; set hold.in0 0; control 1; set hold.in0 1024; control 1;"
        " get hold.out0",
        "300; 700");
    row("hold whose time product wraps stays long",
        "set hold.in2 1073741824; set hold.in1 300; set hold.in0 1024; control 1;"
        " set hold.in1 700; control 5000; get hold.out0",
        "300");

    // Latch and default.
    row("latch follows while enabled and keeps the last value",
        "set latch.in0 300; audio 1; get latch.out0; set latch.in1 0; set latch.in0 500;"
        " audio 1; get latch.out0; set latch.in1 -5; audio 1; get latch.out0; set latch.in1 1;"
        " audio 1; get latch.out0",
        "300; 300; 300; 500");
    row("default stays while the input keeps its first value, then follows",
        "set def.in0 300; audio 1; get def.out0; audio 5000; set def.in1 900; audio 1;"
        " get def.out0; set def.in0 301; audio 1; get def.out0; set def.in0 300; audio 1;"
        " get def.out0",
        "512; 512; 301; 300");

    // Catch: approach from above and from below.
    row("catch approaching from above: held until the input falls to it",
        "audio 1; set catch.in0 500; audio 1; set catch.in1 0; audio 1; set catch.in0 700; audio 1;"
        " set catch.in1 1024; audio 1; get catch.out0; get catch.catchState; set catch.in0 501;"
        " audio 1; get catch.out0; set catch.in0 500; audio 1; get catch.out0;"
        " set catch.in0 800; audio 1; get catch.out0",
        "500; 255; 500; 500; 800");
    row("catch approaching from below: held until the input rises to it",
        "audio 1; set catch.in0 500; audio 1; set catch.in1 0; audio 1; set catch.in0 300; audio 1;"
        " set catch.in1 1024; audio 1; get catch.out0; get catch.catchState; set catch.in0 499;"
        " audio 1; get catch.out0; set catch.in0 600; audio 1; get catch.out0;"
        " set catch.in0 100; audio 1; get catch.out0",
        "500; 1; 500; 600; 100");
    row("catch: disabled it keeps the held value",
        "audio 1; set catch.in0 500; audio 1; set catch.in1 0; set catch.in0 -900; audio 3;"
        " get catch.out0",
        "500");

    // Knob pages.
    row("knob pages start at their start values",
        "audio 1; get pages.out0; get pages.out3; get pages.out7; get pages.catchByte",
        "102; 409; 819; 143");
    row("knob pages: a knob below the value catches it when it rises to it",
        "audio 1; set control_value[0] 50; audio 1; get pages.out0; set control_value[0] 101;"
        " audio 1; get pages.out0; set control_value[0] 102; audio 1; get pages.out0;"
        " set control_value[0] 20; audio 1; get pages.out0; get pages.out1",
        "102; 102; 102; 20; 204");
    row("knob pages: a knob above the value catches it when it falls to it",
        "audio 1; set control_value[1] 900; audio 1; get pages.out1; set control_value[1] 205;"
        " audio 1; get pages.out1; set control_value[1] 200; audio 1; get pages.out1",
        "204; 204; 200");
    row("knob pages: a new page keeps its values until the knobs reach them",
        "audio 1; set control_value[0] 102; audio 1; set control_value[0] 600; audio 1;"
        " set pages.in0 2048; audio 1; get pages.out0; get pages.out4; set control_value[0] 512;"
        " audio 1; get pages.out4; set control_value[0] 300; audio 1; get pages.out4;"
        " get pages.out0",
        "600; 512; 512; 300; 600");
    row("knob pages: pages 4 to 7 count as page 3",
        "audio 1; set control_value[0] 716; set control_value[1] 819; set pages.in0 4096;"
        " audio 1; get pages.out6; get pages.out7; set pages.in0 8191; set control_value[0] 1000;"
        " audio 1; get pages.out6; get pages.catchByte",
        "716; 819; 1000; 214");
    row("knob pages: a negative page or one of 8 and above does nothing",
        "set pages.in0 -1; set control_value[0] 1000; audio 3; get pages.out0;"
        " get pages.catchByte; set pages.in0 8192; audio 1; get pages.out0",
        "0; 0; 0");

    // Master clock: a bar of 4 beats, 64 steps.
    masterRow("master at 120 BPM: a bar of 40000 calls, steps every 625",
              "audio 1; get m.periods[0]; get m.periods[2]; get m.periods[6];"
              " get m.stepTimes[1]; get m.stepTimes[63]; get m.out0",
              "40000; 10000; 625; 625; 39375; 1");
    masterRow("master step flags: 127 at the bar, 124 on beats 2 and 4, 126 on beat 3",
              "trace m.stepFlags audio 2; audio 623; trace m.stepFlags audio 2; audio 9373;"
              " trace m.stepFlags audio 1; audio 9999; trace m.stepFlags audio 1; audio 9999;"
              " trace m.stepFlags audio 1; audio 9999; trace m.stepFlags audio 1",
              "127 0; 64 0; 124; 126; 124; 127");
    masterRow("master stopped: the position stands and the flags keep their value",
              "audio 625; set m.in1 0; audio 1000; get m.barPosition; get m.stepFlags;"
              " set m.in1 1024; audio 1; get m.stepFlags",
              "625; 0; 64");
    masterRow("master reset goes back to the bar start and runs on while held",
              "audio 5000; set m.in2 1024; audio 1; get m.barPosition; get m.stepIndex;"
              " trace m.stepFlags audio 2; get m.barPosition",
              "0; 0; 127 0; 2");
    // From 120 to 240 BPM 313 calls into a step of 625: the next step after 156 calls, half
    // of what was left. Scaling the other way would play it at once.
    masterRow("a tempo change keeps the place in the step",
              "audio 30313; set m.in0 245760; trace m.stepFlags audio 1; audio 155;"
              " trace m.stepFlags audio 2; get m.periods[6]",
              "0; 64 0; 312");
    // At 130 BPM step 3 starts at 1729 while 1875 x 9230 / 10000 gives 1730: the step due
    // at the change is still played then, and the next follows at 2307.
    masterRow("a tempo change on the call a step is due plays it",
              "audio 1875; set m.in0 133120; trace m.stepFlags audio 1; get m.stepIndex;"
              " audio 576; trace m.stepFlags audio 2",
              "64; 4; 0 112");
    masterRow("master at tempo 0: the slowest bar, no failure",
              "set m.in0 0; audio 3; get m.periods[0]; get m.stepFlags", "1638400000; 0");
    masterRow("master at tempos 1 to 31 and then a usual tempo",
              "set m.in0 20; audio 3; set m.in0 1; audio 3; set m.in0 122880; audio 3;"
              " get m.periods[2]",
              "10000");
    masterRow("master back from tempo 0 takes the new tempo",
              "audio 100; set m.in0 0; audio 2; set m.in0 122880; audio 2; get m.periods[2];"
              " get m.lastTempo",
              "10000; 122880");
    masterRow("master at a negative tempo runs at the slowest tempo",
              "set m.in0 -122880; audio 3; get m.periods[2]", "409600000");
    masterRow("master above the fastest tempo: a step on every call",
              "trace fast.stepFlags audio 4; get fast.periods[6]; get fast.periods[0]",
              "127 64 96 64; 1; 64");

    // Tracks.
    masterRow("a quarter-note track steps on steps 0, 16, 32 and 48",
              "audio 1; get t.trackStep; get t.out1; audio 9999; get t.out1; audio 1;"
              " get t.out1; audio 10000; get t.out1; audio 10000; get t.out1; audio 10000;"
              " get t.out1; get t.trackStep",
              "0; 1024; 1024; 2048; 3072; 4096; 1024; 0");
    masterRow("track gate lasts half a beat",
              "audio 1; get t.out2; audio 4998; get t.out2; audio 1; get t.out2; audio 5001;"
              " get t.out2",
              "1024; 1024; 0; 1024");
    masterRow("track passes the link on; a chained whole-bar track steps on the bar",
              "audio 1; get t.out0; get chain.out0; get chain.out1; get chain.out2; audio 19998;"
              " get chain.out2; audio 1; get chain.out2; audio 20000; get chain.out2; audio 1;"
              " get chain.out2",
              "1; 1; 9216; 1024; 1024; 0; 0; 1024");
    masterRow("track without a master gives 0",
              "audio 20000; get alone.out0; get alone.out1;"
              " get alone.out2; get alone.trackMode",
              "0; 0; 0; 0");
    masterRow("track on a number that names no master gives 0",
              "set alone.in0 3; audio 1; get alone.out1; set alone.in0 -1; audio 1;"
              " get alone.out0; get alone.trackMode; set alone.in0 1; audio 1; get alone.out0;"
              " get alone.trackMode",
              "0; 0; 0; 1; 1");
    masterRow("track with no values keeps time with a gate and gives 0",
              "audio 1; get none.out1; get none.out2; get none.trackStep", "0; 1024; -1");
    masterRow("track: the master stopped closes the gate, and no steps",
              "audio 1; set m.in1 0; audio 1; get t.out2; audio 20000; get t.trackStep", "0; 0");
    masterRow("track: the master's reset starts again from the first value",
              "audio 20001; get t.out1; set m.in2 1024; audio 1; get t.trackStep; get t.out2;"
              " audio 1; get t.out1; set m.in2 0; audio 10000; get t.out1",
              "3072; -1; 0; 1024; 2048");
    masterRow("track division 0: no steps, and an open gate closes",
              "audio 1; set t.in1 0; audio 1; get t.out2; audio 40000; get t.trackStep", "0; 0");
    masterRow("track division bit 7 names no division; with other bits they count",
              "audio 1; set t.in1 131072; audio 1; get t.out2; audio 40000; get t.trackStep;"
              " set t.in1 135168; audio 10000; get t.trackStep; get t.out2",
              "0; 0; 1; 1024");
    masterRow("track gate length 0: steps without a gate",
              "set t.in2 0; audio 1; get t.out1; get t.out2", "1024; 0");
    masterRow("track gate longer than the division stays open into the next note",
              "set t.in2 1536; audio 10001; get t.out2; get t.out1; audio 5000; get t.out2",
              "1024; 2048; 1024");
    masterRow("track with 300 values plays past the 128th",
              "audio 130; get long.out1; get long.trackStep", "133120; -127");
    masterRow("track with 300 values plays its first 256, then starts again",
              "audio 256; get long.out1; audio 1; get long.out1; audio 1; get long.out1",
              "262144; 1024; 2048");

    harness.addCaseRows(cases);
}

void TestSequencingBlocks::behaviour()
{
    QFETCH(QString, answers);
    QFETCH(QString, expected);
    QCOMPARE(answers, expected);
}

void TestSequencingBlocks::randomStepsFollowTheSharedSequence()
{
    // Each edge draws once from the runtime's random sequence and picks choices[n x r >> 10];
    // nothing else in the program draws.
    const int edgeCount = 40;
    const BlockHarness::Run run = harness.run(patch, edges("rs", edgeCount, {"out0", "choice"}));
    QVERIFY2(run.ok, qPrintable(run.failure));
    QCOMPARE(run.lines.size(), 2 * edgeCount);
    const QVector<uint32_t> drawn = analysis::runtimeRandom(edgeCount);
    QSet<int> seen;
    for (int i = 0; i < edgeCount; ++i) {
        const int choice = int((4 * drawn.at(i)) >> 10);
        seen << choice;
        QCOMPARE(run.lines.at(2 * i + 1), QString::number(choice));
        QCOMPARE(run.lines.at(2 * i), QString::number((choice + 1) * 10 * 1024));
    }
    QCOMPARE(seen.size(), 4);
}

void TestSequencingBlocks::masterKeepsItsStepsAcrossATempoChange()
{
    // Two bars, 30313 calls at 120 BPM and the rest at 240 BPM: 128 steps with the marks of
    // the bar in order, 625 calls apart before the change and 312 or 313 after it, and the
    // next bar on time.
    const BlockHarness::Run run = harness.run(
        masterPatch(),
        "trace m.stepFlags audio 30313; set m.in0 245760; trace m.stepFlags audio 24845");
    QVERIFY2(run.ok, qPrintable(run.failure));
    QString failure;
    QVector<double> flags = analysis::traceValues(run, 0, &failure);
    flags += analysis::traceValues(run, 1, &failure);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(flags.size(), 30313 + 24845);

    QList<int> at;
    QStringList wrong;
    for (int i = 0; i < flags.size(); ++i) {
        if (flags.at(i) == 0)
            continue;
        const int step = at.size() % 64;
        if (flags.at(i) != markOf(step))
            wrong << QStringLiteral("step %1 at %2: %3").arg(at.size()).arg(i).arg(flags.at(i));
        at << i;
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join('\n')));
    QCOMPARE(at.size(), 129);
    QCOMPARE(at.at(48), 30000);
    QCOMPARE(at.at(49), 30313 + 156);
    QCOMPARE(at.at(128), 30313 + 24844);
    for (int k = 1; k < 49; ++k)
        QCOMPARE(at.at(k) - at.at(k - 1), 625);
    for (int k = 50; k < 129; ++k) {
        const int gap = at.at(k) - at.at(k - 1);
        QVERIFY2(gap == 312 || gap == 313,
                 qPrintable(QStringLiteral("step %1: %2").arg(k).arg(gap)));
    }
}

void TestSequencingBlocks::tracksSurviveExtremeInputs()
{
    // The block sweep of the library finds no master beside a track; here the tracks follow
    // one (every link value is tried, 1 among them) while their inputs take extreme values.
    const QString sweepPatch = QStringLiteral(R"(
m = f_ms2_master
mc = f_ms2_master rate=1
a = f_msv2_static_track
e = f_msv2_static_track values=
o = f_msv2_static_track values=1
c = f_msv2_static_track rate=1
ce = f_msv2_static_track rate=1 values=
m.out0 -> a.in0
)");
    const BlockHarness::Run run = harness.run(sweepPatch, QStringLiteral("sweep 300 4"));
    QVERIFY2(run.ok, qPrintable(run.failure));
    QVERIFY2(!run.lines.isEmpty() && run.lines.last().startsWith(QLatin1String("sweep 7 blocks")),
             qPrintable(run.lines.join('\n')));
}

void TestSequencingBlocks::fullRegistryLeavesAMasterUnlinked()
{
    // The audio-rate masters all run in the first sample and take the sixteen slots; the
    // control-rate one runs at the first tick and finds none. It keeps its own time; the
    // track linked to it gives nothing, while one linked to an audio-rate master plays.
    QString script = QStringLiteral("audio 1");
    for (int i = 0; i < 16; ++i)
        script += QStringLiteral("; get m%1.out0").arg(i);
    script += QStringLiteral("; get first.out1; control 1; get last.out0; get last.periods[2];"
                             " control 99; get last.barPosition; get follower.out0;"
                             " get follower.out1; get follower.out2; get follower.trackMode");
    const BlockHarness::Run run = harness.run(fullRegistryPatch(), script);
    QVERIFY2(run.ok, qPrintable(run.failure));
    QCOMPARE(run.lines.size(), 24);
    QStringList links = run.lines.mid(0, 16);
    std::sort(links.begin(), links.end(),
              [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
    QStringList numbers;
    for (int i = 1; i <= 16; ++i)
        numbers << QString::number(i);
    QCOMPARE(links, numbers);
    QCOMPARE(run.lines.mid(16).join(QLatin1String("; ")),
             QStringLiteral("8192; 0; 50; 100; 0; 0; 0; 0"));
}

KL_TEST_MAIN(TestSequencingBlocks)

#include "test_sequencing_blocks.moc"
