// Behaviour of the input, output and control blocks, each row a run of generated code: the
// send/receive bus and its order within a sample, the controls, the audio output and input,
// the LEDs and the blink helper, the print block's interval, and the MIDI blocks, which do
// nothing in the emulator.
#include "BlockHarness.h"
#include "TestMain.h"

#include <QtTest>

class TestIoBlocks : public QObject
{
    Q_OBJECT

private slots:
    void behaviour_data();
    void behaviour();
    void printedValuesAreLines();

private:
    BlockHarness harness;
};

void TestIoBlocks::behaviour_data()
{
    QList<BlockHarness::Case> cases;

    // Unconnected blocks run in the order they are placed, which the "order" line confirms.
    const QString sendFirst = "s = i2o0_send; r = i1o1_receive";
    const QString receiveFirst = "r = i1o1_receive; s = i2o0_send";
    cases << BlockHarness::Case{
        "send then receive on channel 3: the same sample", sendFirst,
        "order; set s.in0 777; set s.in1 3072; set r.in0 3072; audio 1; get r.out0; get bus[3]",
        "s r; 777; 777"};
    cases << BlockHarness::Case{
        "receive before send on channel 3: the next sample", receiveFirst,
        "order; set s.in0 777; set s.in1 3072; set r.in0 3072; audio 1; get r.out0; audio 1;"
        " get r.out0",
        "r s; 0; 777"};
    cases << BlockHarness::Case{"a channel's fraction does not count", sendFirst,
                                "set s.in0 -5; set s.in1 4095; set r.in0 3500; audio 1; get r.out0",
                                "-5"};
    cases << BlockHarness::Case{"channel 15 is the last", sendFirst,
                                "set s.in0 9; set s.in1 15360; set r.in0 15360;"
                                " audio 1; get r.out0; get bus[15]",
                                "9; 9"};
    cases << BlockHarness::Case{"a receive on a channel nothing was sent to reads 0", sendFirst,
                                "set s.in0 9; set s.in1 1024; set r.in0 2048; audio 1; get r.out0",
                                "0"};
    // Guards: channels outside 0..15 have no slot.
    cases << BlockHarness::Case{
        "send to channel 16 is dropped", sendFirst,
        "set s.in0 9; set s.in1 16384; audio 1; get bus[0]; get bus[15]; set r.in0 0;"
        " audio 1; get r.out0",
        "0; 0; 0"};
    cases << BlockHarness::Case{
        "send to a negative channel is dropped", sendFirst,
        "set bus[15] 4; set s.in0 9; set s.in1 -1; audio 1; get bus[15]; get bus[0]", "4; 0"};
    cases << BlockHarness::Case{"send to the lowest channel number is dropped", sendFirst,
                                "set s.in0 9; set s.in1 -2147483648; audio 1; get bus[0]", "0"};
    cases << BlockHarness::Case{"receive from channel 16 reads 0", sendFirst,
                                "set bus[0] 9; set bus[15] 9; set r.in0 16384; audio 1; get r.out0",
                                "0"};
    cases << BlockHarness::Case{"receive from a negative channel reads 0", sendFirst,
                                "set bus[15] 9; set r.in0 -1024; audio 1; get r.out0", "0"};
    cases << BlockHarness::Case{"receive from the highest channel number reads 0", sendFirst,
                                "set bus[15] 9; set r.in0 2147483647; audio 1; get r.out0", "0"};

    cases << BlockHarness::Case{
        "controls give the four control values, all four outputs", "c = i0o2_controls",
        "audio 1; get c.out0; set control_value[0] 1024; set control_value[1] -512;"
        " set control_value[2] 7; set control_value[3] 2048; audio 1; get c.out0; get c.out1;"
        " get c.out2; get c.out3",
        "0; 1024; -512; 7; 2048"};
    cases << BlockHarness::Case{
        "controls at control rate follow at the first tick, before sample 201",
        "c = i0o2_controls rate=1",
        "set control_value[0] 300; samples 200; get c.out0; samples 1; get c.out0", "0; 300"};

    cases << BlockHarness::Case{
        "audio output inverts channels 0 and 1 and passes 2 and 3", "o = \"Audio Output\"",
        "set o.in0 100; set o.in1 -200; set o.in2 300; set o.in3 -400; audio 1; get out[0];"
        " get out[1]; get out[2]; get out[3]",
        "-100; 200; 300; -400"};
    cases << BlockHarness::Case{"audio output with open inputs plays silence",
                                "o = \"Audio Output\"",
                                "set out[0] 5; audio 1; get out[0]; get out[1]", "0; 0"};
    cases << BlockHarness::Case{"audio input is silent in the emulator", "i = \"Audio Input\"",
                                "audio 3; get i.out0; get i.out1; get i.out2; get i.out3",
                                "0; 0; 0; 0"};
    cases << BlockHarness::Case{
        "audio input inverts channels 0 and 1 and passes 2 and 3", "i = \"Audio Input\"",
        "set in[0] 5; set in[1] -6; set in[2] 7; set in[3] -8; audio 1; get i.out0;"
        " get i.out1; get i.out2; get i.out3",
        "-5; 6; 7; -8"};

    cases << BlockHarness::Case{"LEDs start dark; inputs 0 and 1024 give {1, 0", "l = i2o0_leds",
                                "get led_value[0]; get led_value[1]; set l.in1 1024; audio 1;"
                                " get led_value[0]; get led_value[1]",
                                "1; 1; 1; 0"};
    cases << BlockHarness::Case{
        "LEDs light above 0 only", "l = i2o0_leds",
        "set l.in0 1; set l.in1 -1; audio 1; get led_value[0]; get led_value[1]", "0; 1"};
    cases << BlockHarness::Case{
        "LEDs thru pass their inputs and light the LEDs", "l = i2o2_leds",
        "set l.in0 -300; set l.in1 2000; audio 1; get l.out0; get l.out1; get led_value[0];"
        " get led_value[1]",
        "-300; 2000; 1; 0"};

    cases << BlockHarness::Case{"blink of 128 stays off", "b = f_ledhelper",
                                "set b.in0 128; trace b.out0 audio 10", "0 0 0 0 0 0 0 0 0 0"};
    cases << BlockHarness::Case{"blink of 2000 stays on", "b = f_ledhelper",
                                "set b.in0 2000; trace b.out0 audio 10", "1 1 1 1 1 1 1 1 1 1"};
    cases << BlockHarness::Case{"blink of 1024 stays on", "b = f_ledhelper",
                                "set b.in0 1024; trace b.out0 audio 6", "1 1 1 1 1 1"};
    cases << BlockHarness::Case{
        "blink of 300 (length 4) lights one call in five", "b = f_ledhelper",
        "set b.in0 300; trace b.out0 audio 10; get b.count", "0 0 0 0 1 0 0 0 0 1; 0"};
    cases << BlockHarness::Case{"blink of 129 (length 5) lights one call in six", "b = f_ledhelper",
                                "set b.in0 129; trace b.out0 audio 12", "0 0 0 0 0 1 0 0 0 0 0 1"};
    cases << BlockHarness::Case{"blink of 512 (length 2) lights one call in three",
                                "b = f_ledhelper", "set b.in0 512; trace b.out0 audio 6",
                                "0 0 1 0 0 1"};
    cases << BlockHarness::Case{"blink of 600 (length 2) is dark one call in three",
                                "b = f_ledhelper", "set b.in0 600; trace b.out0 audio 6",
                                "1 1 0 1 1 0"};
    cases << BlockHarness::Case{"blink of 1023 (length 5) is dark one call in six",
                                "b = f_ledhelper", "set b.in0 1023; trace b.out0 audio 6",
                                "1 1 1 1 1 0"};

    // The print block at its default control rate: P = interval x 100 >> 10; the first value
    // comes after P + 2 ticks, then one every P + 1.
    cases << BlockHarness::Case{
        "print with interval 1 s: every 101 ticks", "p = i1o0_out_ctl interval=1",
        "set p.in0 -512; control 101; echo a; control 1; echo b; control 100; echo c;"
        " control 1; echo d",
        "a; printed -512; b; c; printed -512; d"};
    cases << BlockHarness::Case{
        "print with interval 0.1 s: every 10 ticks", "p = i1o0_out_ctl interval=0.1",
        "set p.in0 7; control 10; echo a; control 1; echo b; control 9; echo c; control 1;"
        " echo d; control 9; echo e; control 1",
        "a; printed 7; b; c; printed 7; d; e; printed 7"};
    cases << BlockHarness::Case{
        "print with interval 0: every tick from the second on", "p = i1o0_out_ctl interval=0",
        "set p.in0 1; control 1; echo a; control 3", "a; printed 1; printed 1; printed 1"};
    cases << BlockHarness::Case{"print with interval 2612/1024 s (P = 255) never prints",
                                "p = i1o0_out_ctl interval=2.55078125",
                                "get p.interval; set p.in0 1; control 2000; echo none",
                                "2612; none"};
    cases << BlockHarness::Case{"print with interval 2611/1024 s (P = 254) prints after 256 ticks",
                                "p = i1o0_out_ctl interval=2.5498046875",
                                "set p.in0 1; control 255; echo a; control 1", "a; printed 1"};
    cases << BlockHarness::Case{
        "print prints the value of that tick", "p = i1o0_out_ctl interval=0.1",
        "set p.in0 1; control 10; set p.in0 2048; control 1; set p.in0 3; control 10",
        "printed 2048; printed 3"};
    cases << BlockHarness::Case{"print on the runtime's schedule: first value in sample 2201",
                                "p = i1o0_out_ctl interval=0.1",
                                "set p.in0 5; samples 2200; echo a; samples 1; echo b",
                                "a; printed 5; b"};
    // At audio rate the same interval counts samples (P = 10 x 20000 >> 10 = 195).
    cases << BlockHarness::Case{
        "print at audio rate counts samples", "p = i1o0_out_ctl rate=0 interval=0.01",
        "set p.in0 9; audio 196; echo a; audio 1; echo b; control 500; echo c",
        "a; printed 9; b; c"};

    const char* midi[][2] = {{"i0o4_mnotein", "4"}, {"i0o4_mclockin", "4"},
                             {"i0o1_mccin", "1"},   {"i0o0_mthrough", "0"},
                             {"i2o0_mclkout", "0"}, {"i2o0_mnoteout", "0"}};
    for (const auto& block : midi) {
        QString script = "set control_value[0] 1024; set m.in0 1024;";
        if (QByteArray(block[0]).startsWith("i0"))
            script = "set control_value[0] 1024;";
        script += " audio 5; control 5";
        QStringList expected;
        for (int i = 0; i < QByteArray(block[1]).toInt(); ++i) {
            script += QString("; get m.out%1").arg(i);
            expected << "0";
        }
        script += "; get out[0]; get bus[0]; get led_value[0]";
        expected << "0"
                 << "0"
                 << "1";
        cases << BlockHarness::Case{QString("%1 does nothing in the emulator").arg(block[0]),
                                    QString("m = %1").arg(block[0]), script, expected.join("; ")};
    }
    harness.addCaseRows(cases);
}

void TestIoBlocks::behaviour()
{
    QFETCH(QString, answers);
    QFETCH(QString, expected);
    QCOMPARE(answers, expected);
}

void TestIoBlocks::printedValuesAreLines()
{
    // Each value is one line with its line break, in the order printed, so the editor can
    // split what arrives however the pipe cuts it.
    const BlockHarness::Run run =
        harness.run("p = i1o0_out_ctl interval=0", "set p.in0 -2147483648; control 2;"
                                                   " set p.in0 2147483647; control 1;"
                                                   " set p.in0 0; control 1");
    QVERIFY2(run.ok, qPrintable(run.failure));
    QCOMPARE(run.lines, QStringList({"printed -2147483648", "printed 2147483647", "printed 0"}));
}

KL_TEST_MAIN(TestIoBlocks)

#include "test_io_blocks.moc"
