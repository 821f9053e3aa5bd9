// The shipped blocks in the real emulator program: a control value sent over standard input
// passes the controls block and arithmetic blocks to the audio output, where it is heard, and to
// the print block, which prints it. Built as the editor builds it: the library's descriptions,
// the code generator, the staged template and compile.sh.
#include "BlockHarness.h"
#include "CodeCompiler.h"
#include "EmulatorBuild.h"
#include "EmulatorRun.h"
#include "HarnessPatch.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <vector>

namespace {

// Left: control 1 x 0.25; right: control 2 + 0.5; the left value also goes to the print block.
const char* const patch = R"(
c = i0o2_controls
k = i0o1_number value=0.25
m = i2o1_multiply
a = i2o1_add in1=0.5
s = i1o2_split
o = "Audio Output"
p = i1o0_out_ctl interval=0.1
c.out0 -> m.in0
k.out0 -> m.in1
c.out1 -> a.in0
m.out0 -> s.in0
s.out0 -> o.in0
s.out1 -> p.in0
a.out0 -> o.in1
)";

} // namespace

class TestBlockEmulator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void controlReachesTheOutput();

private:
    TempProgramDir programDir;
    QTemporaryDir scratch;
    EmulatorBuild build{programDir.path()};
};

void TestBlockEmulator::initTestCase()
{
    QVERIFY(build.stage());
    BlockHarness harness;
    HarnessPatch instances;
    QString error;
    QVERIFY2(instances.parse(harness.library(), patch, &error), qPrintable(error));
    CodeCompiler compiler;
    const QString text = compiler.createCode(instances.instances(), build.templatePath());
    QVERIFY(!text.isEmpty());
    QFile source(build.emulatorDir() + "/emul.c");
    QVERIFY(source.open(QIODevice::WriteOnly | QIODevice::Truncate));
    source.write("#include \"bass.h\"\n#include <stdio.h>\n#include <stdint.h>\n" + text.toUtf8());
    source.close();
    QByteArray log;
    QVERIFY2(build.runCompileScript(&log) == 0, log.constData());
}

void TestBlockEmulator::controlReachesTheOutput()
{
    const QString path = scratch.filePath("played.raw");
    EmulatorRun run(build.programPath(), EmulatorBuild::audioEnvironment("file:" + path));
    QVERIFY(run.started());
    // Until a value arrives the controls read 0: the print block shows 0.
    QVERIFY2(run.waitForLine("0", 5000), run.output().constData());
    run.send("a1024\n");
    // 1024 x 0.25 reaches the print block as 256 (the console shows 0.25).
    QVERIFY2(run.waitForLine("256", 5000), run.output().constData());
    run.send("b512\n");
    run.collectFor(400);
    run.send("x");
    QVERIFY(run.waitForExit(5000));
    QVERIFY(run.exitedNormally());
    QCOMPARE(run.exitCode(), 0);
    const QStringList lines = run.lines();
    QVERIFY(!lines.isEmpty());
    const int first256 = int(lines.indexOf("256"));
    QVERIFY(std::all_of(lines.cbegin(), lines.cbegin() + first256,
                        [](const QString& l) { return l == "0"; }));
    QVERIFY(std::all_of(lines.cbegin() + first256, lines.cend(),
                        [](const QString& l) { return l == "256"; }));

    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray raw = f.readAll();
    const int frames = raw.size() / 4;
    QVERIFY2(frames > 2000, qPrintable(QString::number(frames)));
    std::vector<int> left, right;
    for (int i = 0; i < frames; ++i) {
        const auto* b = reinterpret_cast<const uchar*>(raw.constData()) + 4 * i;
        left.push_back(qint16(quint16(b[0] | b[1] << 8)));
        right.push_back(qint16(quint16(b[2] | b[3] << 8)));
    }
    // The output inverts left and right and plays a value v as v x 16: left is 0 until the
    // control arrives and -(256 x 16) after; right is -(0.5 x 1024 x 16) until control 2
    // arrives and -(1024 x 16) after.
    QCOMPARE(left.front(), 0);
    QCOMPARE(left.back(), -4096);
    QCOMPARE(right.front(), -8192);
    QCOMPARE(right.back(), -16384);
    const auto leftChange = std::find(left.begin(), left.end(), -4096);
    QVERIFY(std::all_of(left.begin(), leftChange, [](int v) { return v == 0; }));
    QVERIFY(std::all_of(leftChange, left.end(), [](int v) { return v == -4096; }));
    const auto rightChange = std::find(right.begin(), right.end(), -16384);
    QVERIFY(std::all_of(right.begin(), rightChange, [](int v) { return v == -8192; }));
    QVERIFY(std::all_of(rightChange, right.end(), [](int v) { return v == -16384; }));
    // Control 1 arrived before control 2.
    QVERIFY(leftChange - left.begin() < rightChange - right.begin());
}

KL_TEST_MAIN(TestBlockEmulator)

#include "test_block_emulator.moc"
