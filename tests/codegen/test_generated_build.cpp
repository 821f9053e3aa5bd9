#include "CodeCompiler.h"
#include "MessageCapture.h"
#include "TestMain.h"
#include "TestPatch.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace {

bool setValue(BlockInstance* block, const QString& variable, const QString& text)
{
    if (!block || !block->description)
        return false;
    for (const Variable& v : block->description->variables) {
        if (v.name == variable) {
            block->values[v.id] = text;
            return true;
        }
    }
    return false;
}

bool run(const QString& program, const QStringList& arguments, const QString& folder,
         QString* output)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        *output = QStringLiteral("did not finish");
        return false;
    }
    *output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

using PatchBuilder = std::function<void(TestPatch&)>;

} // namespace

Q_DECLARE_METATYPE(PatchBuilder)

// Generated text compiles with the system C compiler beside a template of the tests' own, and
// the program it makes runs the blocks wired as the cables say.
class TestGeneratedBuild : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void compilesAndRuns_data();
    void compilesAndRuns();

private:
    QString cc;
    QStringList sanitizers;
};

void TestGeneratedBuild::initTestCase()
{
    cc = QStandardPaths::findExecutable(QStringLiteral("cc"));
    if (cc.isEmpty())
        QSKIP("no C compiler");
    // Out-of-bounds element writes end the program when the compiler can check them.
    QTemporaryDir dir;
    QFile probe(dir.filePath(QStringLiteral("p.c")));
    QVERIFY(probe.open(QIODevice::WriteOnly));
    probe.write("int main(void) { return 0; }\n");
    probe.close();
    QString output;
    const QStringList flags{QStringLiteral("-fsanitize=undefined"),
                            QStringLiteral("-fno-sanitize-recover=all")};
    if (run(cc,
            flags + QStringList{QStringLiteral("p.c"), QStringLiteral("-o"), QStringLiteral("p")},
            dir.path(), &output))
        sanitizers = flags;
}

void TestGeneratedBuild::compilesAndRuns_data()
{
    QTest::addColumn<PatchBuilder>("build");
    QTest::addColumn<QString>("driver");

    QTest::newRow("chain") << PatchBuilder([](TestPatch& p) {
        BlockInstance* source = p.add(p.fixture("t_source.xml"));
        BlockInstance* gain = p.add(p.fixture("t_gain.xml"));
        BlockInstance* probe = p.add(p.fixture("t_probe.xml"));
        p.connect(source, 0, gain, 0);
        p.connect(gain, 0, probe, 0);
    }) << R"(#define RUN_SAMPLES 400
static void check_wiring(void)
{
	CHECK(block1.in0 == &block0.out0);
	CHECK(block2.in0 == &block1.out0);
	block0.out0 = 777;
	CHECK(*block1.in0 == 777);
	CHECK(*block1.in1 == 512);
	CHECK(block0.level == 512);
}
static void check_running(void)
{
	CHECK(block2.seen == 256);
	CHECK(block2.calls == RUN_SAMPLES);
	CHECK(probe_total == 256 * RUN_SAMPLES);
}
)";

    QTest::newRow("two rates into one block") << PatchBuilder([](TestPatch& p) {
        BlockInstance* probe = p.add(p.fixture("t_probe.xml"));
        BlockInstance* gain = p.add(p.fixture("t_gain.xml"));
        BlockInstance* source = p.add(p.fixture("t_source.xml"));
        BlockInstance* knob = p.add(p.fixture("t_knob.xml"));
        setValue(source, QStringLiteral("level"), QStringLiteral("1"));
        p.connect(gain, 0, probe, 0);
        p.connect(source, 0, gain, 0);
        p.connect(knob, 0, gain, 1);
    }) << R"(#define RUN_SAMPLES 400
static void check_wiring(void)
{
	CHECK(block2.in0 == &block0.out0);
	CHECK(block2.in1 == &block1.out0);
	CHECK(block3.in0 == &block2.out0);
	block1.out0 = -5;
	CHECK(*block2.in1 == -5);
}
static void check_running(void)
{
	CHECK(block1.out0 == 256);
	CHECK(block3.seen == 256);
}
)";

    QTest::newRow("editable tables at control rate") << PatchBuilder([](TestPatch& p) {
        const BlockDescription* table = p.fixture("t_table.xml");
        const BlockDescription* probe = p.fixture("t_probe.xml");
        BlockInstance* first = p.add(table);
        BlockInstance* firstProbe = p.add(probe);
        BlockInstance* second = p.add(table);
        BlockInstance* secondProbe = p.add(probe);
        setValue(first, QStringLiteral("rate"), QStringLiteral("1"));
        setValue(second, QStringLiteral("rate"), QStringLiteral("1"));
        setValue(second, QStringLiteral("table[?]"), QStringLiteral("0.5,-1"));
        p.connect(first, 0, firstProbe, 0);
        p.connect(second, 0, secondProbe, 0);
    }) << R"(#define RUN_SAMPLES 400
static void check_wiring(void)
{
	CHECK(block1.in0 == &block0.out0);
	CHECK(block3.in0 == &block2.out0);
	CHECK(block0.table_length == 3);
	CHECK(block2.table_length == 2);
	CHECK(sizeof block0.table == 3 * sizeof(int32_t));
	CHECK(sizeof block2.table == 2 * sizeof(int32_t));
	CHECK(block0.sum == 6144);
	CHECK(block2.sum == -512);
}
static void check_running(void)
{
	CHECK(block0.ticks == CTL_RATE);
	CHECK(block1.seen == 2048);
	CHECK(block3.seen == 0);
	CHECK(block2.pos == 0);
}
)";

    QTest::newRow("arrays of several sizes") << PatchBuilder([](TestPatch& p) {
        const BlockDescription* list = p.fixture("t_list.xml");
        setValue(p.add(list), QStringLiteral("items[?]"), QStringLiteral("1,2"));
        setValue(p.add(list), QStringLiteral("items[?]"), QStringLiteral("1,2,3"));
        BlockInstance* full = p.add(list);
        setValue(full, QStringLiteral("items[?]"), QStringLiteral("1,2,3,4"));
        setValue(full, QStringLiteral("steps[4]"), QStringLiteral("1,2,3,4,5,6"));
    }) << R"(#define RUN_SAMPLES 1
static void check_wiring(void)
{
	CHECK(block0.out0 == 3072);
	CHECK(block1.out0 == 6144);
	CHECK(block2.out0 == 10240);
	CHECK(block1.items_length == 3);
	CHECK(block2.steps_length == 4);
	CHECK(block2.steps[3] == 4096);
}
static void check_running(void) {}
)";

    QTest::newRow("one type at both rates, code with markers") << PatchBuilder([](TestPatch& p) {
        const BlockDescription* osc = p.fixture("t_osc.xml");
        p.add(osc);
        setValue(p.add(osc), QStringLiteral("rate"), QStringLiteral("1"));
        p.add(p.fixture("t_marks.xml"));
    }) << R"(#define RUN_SAMPLES 400
static void check_wiring(void)
{
	CHECK(*block0.in0 == 1024);
	CHECK(*block1.in0 == 1024);
}
static void check_running(void)
{
	CHECK(block0.phase == RUN_SAMPLES);
	CHECK(block1.phase == 2);
	CHECK(block2.out0 == 1);
}
)";
}

void TestGeneratedBuild::compilesAndRuns()
{
    QFETCH(PatchBuilder, build);
    QFETCH(QString, driver);
    TestPatch patch;
    build(patch);

    MessageCapture messages;
    CodeCompiler compiler;
    const QString text = compiler.createCode(
        patch.all(),
        testsupport::sourcePath(QStringLiteral("tests/codegen/fixtures/templ_test.txt")));
    QVERIFY(!text.isEmpty());

    QTemporaryDir dir;
    QFile source(dir.filePath(QStringLiteral("emul.c")));
    QVERIFY(source.open(QIODevice::WriteOnly));
    source.write(text.toUtf8());
    source.close();
    QFile driverFile(dir.filePath(QStringLiteral("driver.inc")));
    QVERIFY(driverFile.open(QIODevice::WriteOnly));
    driverFile.write(driver.toUtf8());
    driverFile.close();

    QString output;
    const QStringList arguments =
        QStringList{QStringLiteral("-std=c99"), QStringLiteral("-Wall"),
                    QStringLiteral("-Werror=implicit-function-declaration"),
                    QStringLiteral("-fwrapv")} +
        sanitizers +
        QStringList{QStringLiteral("emul.c"), QStringLiteral("-o"), QStringLiteral("emulate")};
    QVERIFY2(run(cc, arguments, dir.path(), &output), qPrintable(output + "\n" + text));
    QVERIFY2(output.isEmpty(), qPrintable(QStringLiteral("compiler said:\n") + output));
    QVERIFY2(run(dir.filePath(QStringLiteral("emulate")), {}, dir.path(), &output),
             qPrintable(output + "\n" + text));
    QCOMPARE(output, QStringLiteral("ok\n"));
}

KL_TEST_MAIN(TestGeneratedBuild)
#include "test_generated_build.moc"
