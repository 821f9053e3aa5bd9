// The block test harness itself: patches written as text reach the driver through the real
// library and code generator, the driver sets and reads what the scripts name and keeps the
// runtime's schedule, and faults in block code are caught and traced to their block.
#include "BlockHarness.h"
#include "MessageCapture.h"
#include "TestMain.h"

#include <QtTest>

class TestBlockHarness : public QObject
{
    Q_OBJECT

private slots:
    void drivesAndReads_data();
    void drivesAndReads();
    void sweepCatchesFaults_data();
    void sweepCatchesFaults();
    void sweepPassesSoundBlocks();
    void mistakesAreReported_data();
    void mistakesAreReported();
    void oneBadPatchLeavesTheOthers();

private:
    BlockHarness harness{testsupport::sourcePath("tests/blocks/fixtures")};
};

void TestBlockHarness::drivesAndReads_data()
{
    QList<BlockHarness::Case> cases;

    cases << BlockHarness::Case{"outputs after each call", "t = t_table",
                                "audio 1; get t.out0; audio 1; get t.out0; audio 1; get t.out0;"
                                " audio 1; get t.out0; get t.out1",
                                "1024; 2048; 3072; 1024; 4"};
    cases << BlockHarness::Case{"record fields, array elements and lengths",
                                "t = t_table table=1,2,3,4",
                                "get t.table[3]; get t.table_length; get t.small;"
                                " get t.pos",
                                "4096; 4; -1; 0"};
    cases << BlockHarness::Case{"a field set by the script", "t = t_table",
                                "set t.pos 2; audio 1; get t.out0; get t.pos", "3072; 0"};
    cases << BlockHarness::Case{"an input set by the script", "t = t_table in0=0.5",
                                "audio 1; get t.out0; set t.in0 -4; audio 1;"
                                " get t.out0; get t.in0",
                                "1536; 2044; -4"};
    cases << BlockHarness::Case{"an audio-rate block sees SMP_RATE", "t = t_table",
                                "audio 1; get t.rateSeen", "20000"};
    cases << BlockHarness::Case{"a control-rate block runs its CTL_RATE copy", "t = t_table rate=1",
                                "audio 5; get t.out1; control 1; get t.out1; get t.rateSeen",
                                "0; 1; 100"};
    cases << BlockHarness::Case{
        "samples: a control tick before sample 201, then every 200",
        "c = t_table rate=1; a = t_table",
        "samples 200; get c.out1; get a.out1; samples 1; get c.out1; get a.out1;"
        " samples 199; get c.out1; samples 1; get c.out1",
        "0; 200; 1; 201; 1; 2"};
    cases << BlockHarness::Case{"trace steps one at a time", "t = t_table",
                                "trace t.out0 audio 4; trace t.out1 samples 2",
                                "1024 2048 3072 1024; 5 6"};
    cases << BlockHarness::Case{"a cable, and what a block prints",
                                "p = t_pass; t = t_table; p.out0 -> t.in0",
                                "order; audio 1; get t.out0; control 1; audio 1; get t.out0",
                                "p t; 1024; printed 512; 2560"};
    cases << BlockHarness::Case{"blocks by library name, in placing order",
                                "y = \"Test Table\"; x = t_table", "order", "y x"};
    cases << BlockHarness::Case{
        "the runtime's arrays", "t = t_table",
        "get led_value[1]; set control_value[3] -9; get control_value[3]; set bus[15] 2;"
        " get bus[15]; get out[0]; get in[3]",
        "1; -9; 2; 0; 0"};
    cases << BlockHarness::Case{"echo", "t = t_table", "echo hello; echo again", "hello; again"};
    harness.addCaseRows(cases);
}

void TestBlockHarness::drivesAndReads()
{
    QFETCH(QString, answers);
    QFETCH(QString, expected);
    QCOMPARE(answers, expected);
}

void TestBlockHarness::sweepCatchesFaults_data()
{
    QTest::addColumn<QString>("patch");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("report");

    QTest::newRow("a write past an array")
        << "ok = t_pass; bad = t_overrun"
        << "sweep 4 1" << QStringList{"sweep: bad (audio rate)", "out of bounds"};
    QTest::newRow("a division by zero")
        << "bad = t_divide rate=1"
        << "sweep 4 1" << QStringList{"sweep: bad (control rate)", "division by zero"};
    QTest::newRow("a shift by more than the width")
        << "bad = t_shift"
        << "sweep 4 1" << QStringList{"sweep: bad (audio rate)", "shift"};
    QTest::newRow("the one overflowing quotient")
        << "bad = t_trap"
        << "sweep 4 1" << QStringList{"sweep: bad (audio rate)"};
    QTest::newRow("a fault outside the sweep")
        << "d = t_divide"
        << "set d.in0 5; set d.in1 0; audio 1; get d.out0" << QStringList{"division by zero"};
}

void TestBlockHarness::sweepCatchesFaults()
{
    QFETCH(QString, patch);
    QFETCH(QString, script);
    QFETCH(QStringList, report);
    const BlockHarness::Run run = harness.run(patch, script);
    QVERIFY(!run.ok);
    for (const QString& part : report)
        QVERIFY2(run.failure.contains(part), qPrintable(run.failure));
}

void TestBlockHarness::sweepPassesSoundBlocks()
{
    const BlockHarness::Run run =
        harness.run("a = t_pass; b = t_table rate=1; c = t_table", "sweep 300 4");
    QVERIFY2(run.ok, qPrintable(run.failure));
    // Three blocks: one input each, 13 values of 300 calls alone and 13 of 300 all together.
    QVERIFY2(run.lines.contains("sweep 3 blocks 23400 calls"), qPrintable(run.lines.join('\n')));
}

void TestBlockHarness::mistakesAreReported_data()
{
    QTest::addColumn<QString>("patch");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("message");

    QTest::newRow("unknown name") << "t = t_table"
                                  << "get t.nothing"
                                  << "unknown name t.nothing";
    QTest::newRow("index past the end") << "t = t_table"
                                        << "get t.table[3]"
                                        << "unknown name t.table[3]";
    QTest::newRow("unknown command") << "t = t_table"
                                     << "jump 3"
                                     << "unknown command jump";
    QTest::newRow("unknown block") << "t = t_nothing"
                                   << "echo x"
                                   << "no block t_nothing";
    QTest::newRow("unknown variable") << "t = t_table speed=2"
                                      << "echo x"
                                      << "speed=2 is not \"variable=value\"";
    QTest::newRow("label taken") << "t = t_table; t = t_pass"
                                 << "echo x"
                                 << "label is taken";
    QTest::newRow("cable to no socket") << "a = t_pass; b = t_table; a.out0 -> b.in4"
                                        << "echo x"
                                        << "no such socket";
    QTest::newRow("second cable on an output")
        << "a = t_pass; b = t_table; c = t_table; a.out0 -> b.in0; a.out0 -> c.in0"
        << "echo x"
        << "has a cable already";
    QTest::newRow("feedback loop") << "a = t_table; b = t_table; a.out0 -> b.in0; b.out0 -> a.in0"
                                   << "echo x"
                                   << "the code generator gave nothing";
    QTest::newRow("code that does not compile") << "b = t_broken"
                                                << "echo x"
                                                << "did not build";
}

void TestBlockHarness::mistakesAreReported()
{
    QFETCH(QString, patch);
    QFETCH(QString, script);
    QFETCH(QString, message);
    MessageCapture messages;
    const BlockHarness::Run run = harness.run(patch, script);
    QVERIFY(!run.ok);
    QVERIFY2(run.failure.contains(message), qPrintable(run.failure));
}

void TestBlockHarness::oneBadPatchLeavesTheOthers()
{
    const QList<BlockHarness::Run> runs = harness.runAll({{"b = t_broken", "echo x"},
                                                          {"t = t_nothing", "echo x"},
                                                          {"t = t_table", "audio 1; get t.out0"}});
    QCOMPARE(runs.size(), 3);
    QVERIFY(runs.at(0).failure.contains("did not build"));
    QVERIFY(runs.at(1).failure.contains("no block t_nothing"));
    QVERIFY2(runs.at(2).ok, qPrintable(runs.at(2).failure));
    QCOMPARE(runs.at(2).lines, QStringList{"1024"});
}

KL_TEST_MAIN(TestBlockHarness)

#include "test_block_harness.moc"
