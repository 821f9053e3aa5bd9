// The filters, shapers and delays give the same answers on the device's processor as on the
// desktop: each block's test program is built once for the desktop (with the sanitizers, as
// every block test runs) and once for a 32-bit Cortex-M3 with the firmware's flags, run there
// under the Linux user-mode emulator, and the two must agree on every answer. The scripts
// drive every input with extreme and normal values and read every output and state, so a
// guard that leans on a 64-bit long, on a trapping division or on the desktop's shift rules
// shows up as a difference (or as a sanitizer report on the desktop).
#include "BlockHarness.h"
#include "BlockManager.h"
#include "HarnessTable.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

// The blocks of this family, by their main functions.
const QStringList family{
    "filter_lp", "filter_hp",  "filter_bp",    "f_filter",        "i3o1_clip",    "i2o1_overdrive",
    "i3o1_fold", "f_fuzz",     "f_limiter",    "reducer_func",    "f_sdelay10",   "f_delay10",
    "f_delay8f", "f_delay8fl", "f_delay8lofi", "f_delay8lofi_aa", "f_rollgrains", "f_valdelay_ctl"};

// The values the inputs take: the sweep's extremes and values a patch gives these blocks.
const QList<qint64> values{
    -2147483648LL, -1048576, -16384, -1024,  -512,   -300,   -1,      0,       1,
    100,           300,      511,    512,    1023,   1024,   1025,    2048,    3072,
    4096,          10240,    16384,  102400, 131072, 307200, 1024000, 3276800, 2147483647LL};

bool isControl(const BlockDescription* d)
{
    return d->variables.back().value == QLatin1String("1");
}

// Random settings of every input, runs of calls, and every output and state read after each.
QString stressScript(const BlockDescription* d, quint32 seed)
{
    QRandomGenerator random(seed);
    const QString step = isControl(d) ? QStringLiteral("control") : QStringLiteral("audio");
    QStringList reads;
    for (const Variable& v : d->variables) {
        if (v.socketKind == Variable::SocketOutput) {
            reads << "get b." + v.name;
        } else if (v.socketKind == Variable::SocketNone && HarnessTable::valueType(v.dtype) != 0) {
            const int bracket = v.name.indexOf(QLatin1Char('['));
            if (bracket < 0) {
                reads << "get b." + v.name;
            } else {
                const QString base = v.name.left(bracket);
                const int size = v.name.mid(bracket + 1).chopped(1).toInt();
                reads << QStringLiteral("get b.%1[0]").arg(base)
                      << QStringLiteral("get b.%1[%2]").arg(base).arg(size - 1);
            }
        }
    }
    QStringList script;
    const int runs[] = {1, 1, 1, 2, 7, 31, 200};
    for (int i = 0; i < 150; ++i) {
        for (const Variable* input : d->inputs) {
            if (i == 0 || random.bounded(2) == 0)
                script << QStringLiteral("set b.%1 %2")
                              .arg(input->name)
                              .arg(values.at(int(random.bounded(quint32(values.size())))));
        }
        script << QStringLiteral("%1 %2").arg(step).arg(runs[random.bounded(7u)]);
        script << reads;
    }
    return script.join(QLatin1String("; "));
}

struct Job
{
    QString name;
    QString patch;
    QString script;
};

// One program built or run as a child process.
struct Task
{
    QString program;
    QStringList arguments;
    QByteArray input;
    std::unique_ptr<QProcess> process;
    QByteArray output;
    QByteArray errors;
    bool ok = false;
};

void runAll(std::vector<Task>& tasks)
{
    const int width = qMax(1, QThread::idealThreadCount());
    size_t next = 0;
    size_t done = 0;
    std::vector<bool> finished(tasks.size(), false);
    while (done < tasks.size()) {
        int running = 0;
        for (size_t i = 0; i < next; ++i)
            running += !finished[i];
        while (running < width && next < tasks.size()) {
            Task& t = tasks[next++];
            t.process = std::make_unique<QProcess>();
            t.process->start(t.program, t.arguments);
            t.process->write(t.input);
            t.process->closeWriteChannel();
            ++running;
        }
        for (size_t i = 0; i < next; ++i) {
            Task& t = tasks[i];
            if (finished[i] || !t.process->waitForFinished(5))
                continue;
            t.output = t.process->readAllStandardOutput();
            t.errors = t.process->readAllStandardError();
            t.ok = t.process->exitStatus() == QProcess::NormalExit && t.process->exitCode() == 0;
            finished[i] = true;
            ++done;
        }
    }
}

// The driver's answers in an output, as the harness reads them.
QString answersOf(const QByteArray& output)
{
    QStringList lines;
    for (const QString& line : QString::fromLocal8Bit(output).split(QLatin1Char('\n'))) {
        if (line == QLatin1String("@") || line.startsWith(QLatin1String("@ ")))
            lines << line.mid(2);
        else if (!line.isEmpty())
            lines << "printed " + line;
    }
    return lines.join(QLatin1String("; "));
}

} // namespace

class TestEffectBlocksCortexM3 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameAnswers_data();
    void sameAnswers();

private:
    BlockHarness harness;
    QTemporaryDir work;
};

void TestEffectBlocksCortexM3::initTestCase()
{
    QVERIFY(work.isValid());
    QVERIFY2(QFileInfo(QStringLiteral(KL_ARM_GCC)).isExecutable(), KL_ARM_GCC);
    QVERIFY2(QFileInfo(QStringLiteral(KL_QEMU_ARM)).isExecutable(), KL_QEMU_ARM);
}

void TestEffectBlocksCortexM3::sameAnswers_data()
{
    QTest::addColumn<QString>("desktop");
    QTest::addColumn<QString>("device");

    QList<Job> jobs;
    for (const QString& name : family) {
        const BlockDescription* d = nullptr;
        for (const BlockDescription& candidate : *harness.library().getBlockDescriptions()) {
            if (candidate.mainName == name)
                d = &candidate;
        }
        QVERIFY2(d, qPrintable(name));
        const QString rate = isControl(d) ? QStringLiteral("rate=1") : QStringLiteral("rate=0");
        for (quint32 seed : {1u, 2u, 3u}) {
            jobs << Job{QStringLiteral("%1, inputs set at random (%2)").arg(name).arg(seed),
                        QStringLiteral("b = %1 %2").arg(name, rate), stressScript(d, seed)};
        }
        // Noise into a block with its default settings, for a long run of normal sound.
        jobs << Job{QStringLiteral("%1, noise through it").arg(name),
                    QStringLiteral("n = o1_noise\nb = %1 %2\nn.out0 -> b.in0").arg(name, rate),
                    QStringLiteral("trace b.out0 samples 6000")};
    }

    // The desktop's answers.
    QList<BlockHarness::Job> desktopJobs;
    for (const Job& j : jobs)
        desktopJobs << BlockHarness::Job{j.patch, j.script};
    const QList<BlockHarness::Run> desktop = harness.runAll(desktopJobs);

    // The device's: every program built for the Cortex-M3, then run.
    QStringList patches;
    for (const Job& j : jobs) {
        if (!patches.contains(j.patch))
            patches << j.patch;
    }
    std::vector<Task> builds;
    for (int i = 0; i < patches.size(); ++i) {
        QString error;
        const QByteArray source = harness.source(patches.at(i), &error);
        QVERIFY2(!source.isEmpty(), qPrintable(error));
        const QString base = work.filePath(QStringLiteral("m%1").arg(i));
        QFile file(base + ".c");
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(source) == source.size());
        file.close();
        Task t;
        t.program = QStringLiteral(KL_ARM_GCC);
        t.arguments = QStringList{"-mcpu=cortex-m3",
                                  "-mthumb",
                                  "-O2",
                                  "-fwrapv",
                                  "-fno-builtin",
                                  "-fsigned-char",
                                  "-Wall",
                                  "-Wextra",
                                  "-Wno-unused-variable",
                                  "--specs=nosys.specs",
                                  "-nostartfiles",
                                  "-I" KL_HARNESS_INCLUDE,
                                  "-o",
                                  base + ".elf",
                                  base + ".c",
                                  QStringLiteral(KL_M3_START)};
        builds.push_back(std::move(t));
    }
    runAll(builds);
    for (size_t i = 0; i < builds.size(); ++i) {
        QVERIFY2(builds[i].ok,
                 qPrintable(patches.at(int(i)) + ":\n" +
                            QString::fromLocal8Bit(builds[i].output + builds[i].errors)));
    }
    std::vector<Task> runs;
    for (const Job& j : jobs) {
        Task t;
        t.program = QStringLiteral(KL_QEMU_ARM);
        t.arguments << work.filePath(QStringLiteral("m%1.elf").arg(patches.indexOf(j.patch)));
        t.input = j.script.toUtf8().replace(';', '\n') + '\n';
        runs.push_back(std::move(t));
    }
    runAll(runs);

    for (int i = 0; i < jobs.size(); ++i) {
        const BlockHarness::Run& d = desktop.at(i);
        const Task& m = runs[size_t(i)];
        QTest::newRow(qPrintable(jobs.at(i).name))
            << (d.ok ? d.lines.join(QLatin1String("; ")) : QStringLiteral("FAILED: ") + d.failure)
            << (m.ok ? answersOf(m.output)
                     : QStringLiteral("FAILED: ") + QString::fromLocal8Bit(m.errors));
    }
}

void TestEffectBlocksCortexM3::sameAnswers()
{
    QFETCH(QString, desktop);
    QFETCH(QString, device);
    QVERIFY2(!desktop.startsWith(QLatin1String("FAILED")), qPrintable(desktop));
    QVERIFY2(!device.startsWith(QLatin1String("FAILED")), qPrintable(device));
    // Not a short run: at least one answer for every step of a script.
    QVERIFY(desktop.split(QRegularExpression(QStringLiteral("[; ]+"))).size() >= 150);
    if (desktop != device) {
        // The first answer that differs, rather than two pages of numbers.
        const QStringList a = desktop.split(QLatin1String("; "));
        const QStringList b = device.split(QLatin1String("; "));
        int k = 0;
        while (k < a.size() && k < b.size() && a.at(k) == b.at(k))
            ++k;
        QFAIL(qPrintable(QStringLiteral("answer %1: desktop %2, Cortex-M3 %3")
                             .arg(k)
                             .arg(a.value(k).left(200), b.value(k).left(200))));
    }
}

KL_TEST_MAIN(TestEffectBlocksCortexM3)

#include "test_effect_blocks_cortexm3.moc"
