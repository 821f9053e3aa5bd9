#include "BlockHarness.h"

#include "BlockManager.h"
#include "CodeCompiler.h"
#include "HarnessPatch.h"
#include "HarnessTable.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <vector>

namespace {

// What the editor writes in front of the filled template.
const QByteArray includeLines = "#include \"bass.h\"\n#include <stdio.h>\n#include <stdint.h>\n";

// One child process with its standard streams in files, so that many can run side by side
// without a pipe filling up.
struct Task
{
    QString program;
    QStringList arguments;
    QString input;
    QString output;
    QString errors;
    int timeoutMs = 120000;

    bool startFailed = false;
    bool finished = false;
    bool crashed = false;
    int exitCode = -1;
};

QProcessEnvironment sanitizerEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The programs allocate nothing; a leak check at exit would only be slow.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    env.insert(QStringLiteral("UBSAN_OPTIONS"),
               QStringLiteral("print_stacktrace=1:halt_on_error=1"));
    return env;
}

void runTasks(std::vector<Task>& tasks)
{
    const int width = qMax(1, QThread::idealThreadCount());
    const QProcessEnvironment env = sanitizerEnvironment();
    std::vector<std::unique_ptr<QProcess>> processes(tasks.size());
    std::vector<QElapsedTimer> clocks(tasks.size());
    size_t next = 0;
    int running = 0;
    while (next < tasks.size() || running > 0) {
        while (running < width && next < tasks.size()) {
            Task& t = tasks[next];
            auto p = std::make_unique<QProcess>();
            p->setProcessEnvironment(env);
            p->setStandardInputFile(t.input.isEmpty() ? QProcess::nullDevice() : t.input);
            p->setStandardOutputFile(t.output);
            p->setStandardErrorFile(t.errors);
            p->start(t.program, t.arguments);
            clocks[next].start();
            processes[next] = std::move(p);
            ++next;
            ++running;
        }
        for (size_t i = 0; i < next; ++i) {
            QProcess* p = processes[i].get();
            if (!p)
                continue;
            Task& t = tasks[i];
            const bool done = p->state() == QProcess::NotRunning || p->waitForFinished(5);
            if (!done && clocks[i].elapsed() < t.timeoutMs)
                continue;
            if (!done) {
                p->kill();
                p->waitForFinished();
            } else {
                t.startFailed = p->error() == QProcess::FailedToStart;
                t.finished = !t.startFailed;
                t.crashed = p->exitStatus() == QProcess::CrashExit;
                t.exitCode = p->exitCode();
            }
            processes[i].reset();
            --running;
        }
    }
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// The last sweep line and the start of a sanitizer report, enough to find the block.
QString reportOf(const QByteArray& errors)
{
    const QStringList lines = QString::fromLocal8Bit(errors).split(QLatin1Char('\n'));
    QString lastSweep;
    QStringList report;
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String("sweep: ")))
            lastSweep = line;
        else if (!line.isEmpty() && report.size() < 25)
            report << line;
    }
    QString text = lastSweep.isEmpty() ? QString() : lastSweep + QLatin1Char('\n');
    return text + report.join(QLatin1Char('\n'));
}

} // namespace

BlockHarness::BlockHarness(const QString& blocksFolder)
    : folder(blocksFolder.isEmpty() ? sourceBlocksFolder() : blocksFolder),
      manager(std::make_unique<BlockManager>())
{
    manager->loadBlocks(folder, BlockDescription::OriginLibrary);
}

BlockHarness::~BlockHarness() = default;

QString BlockHarness::sourceBlocksFolder()
{
    return QStringLiteral(KL_HARNESS_BLOCKS_DIR);
}

QString BlockHarness::templatePath()
{
    return QStringLiteral(KL_HARNESS_TEMPLATE);
}

QStringList BlockHarness::compilerArguments()
{
    return {QStringLiteral("-O2"),
            QStringLiteral("-g"),
            QStringLiteral("-fwrapv"),
            QStringLiteral("-fno-builtin"),
            QStringLiteral("-Wall"),
            QStringLiteral("-Wextra"),
            QStringLiteral("-fsanitize=address,undefined"),
            QStringLiteral("-fno-sanitize-recover=all"),
            QStringLiteral("-I") + QStringLiteral(KL_HARNESS_INCLUDE_DIR)};
}

QByteArray BlockHarness::source(const QString& patchText, QString* error) const
{
    HarnessPatch patch;
    if (!patch.parse(*manager, patchText, error))
        return QByteArray();
    CodeCompiler compiler;
    const QList<const BlockInstance*> instances = patch.instances();
    const QString filled = compiler.createCode(instances, templatePath());
    if (filled.isEmpty()) {
        *error = QStringLiteral("the code generator gave nothing (a feedback loop, or no "
                                "template at %1)")
                     .arg(templatePath());
        return QByteArray();
    }
    QHash<const BlockInstance*, QString> labels;
    for (const BlockInstance* instance : instances)
        labels.insert(instance, patch.labelOf(instance));
    return includeLines + filled.toUtf8() +
           HarnessTable::write(compiler.executionOrder(), filled, labels).toUtf8();
}

QString BlockHarness::program(const QString& patchText, QString* error)
{
    if (!prepare({patchText}, error))
        return QString();
    return programs.value(patchText);
}

bool BlockHarness::prepare(const QStringList& patchTexts, QString* error)
{
    std::vector<Task> tasks;
    QStringList pending;
    QStringList failed;
    for (const QString& text : patchTexts) {
        if (programs.contains(text) || buildErrors.contains(text) || pending.contains(text) ||
            failed.contains(text))
            continue;
        QString problem;
        const QByteArray code = source(text, &problem);
        const QString base = work.filePath(QStringLiteral("p%1").arg(++serial));
        if (!code.isEmpty() && !writeFile(base + QLatin1String(".c"), code))
            problem = QStringLiteral("cannot write %1.c").arg(base);
        if (code.isEmpty() || !problem.isEmpty()) {
            buildErrors.insert(text, problem);
            failed << text;
            continue;
        }
        Task t;
        t.program = QStringLiteral("cc");
        t.arguments = compilerArguments();
        t.arguments << QStringLiteral("-o") << base << base + QLatin1String(".c");
        t.output = base + QLatin1String(".log");
        t.errors = t.output;
        tasks.push_back(t);
        pending << text;
    }
    runTasks(tasks);
    for (int i = 0; i < pending.size(); ++i) {
        const Task& t = tasks[size_t(i)];
        const QString exe = t.arguments.at(t.arguments.size() - 2);
        if (t.finished && !t.crashed && t.exitCode == 0 && QFileInfo(exe).isExecutable()) {
            programs.insert(pending.at(i), exe);
            buildErrors.remove(pending.at(i));
        } else {
            buildErrors.insert(
                pending.at(i),
                QStringLiteral("the test program of\n%1\ndid not build (%2.c):\n%3")
                    .arg(pending.at(i), exe, QString::fromLocal8Bit(readFile(t.output))));
        }
    }
    for (const QString& text : patchTexts) {
        if (!programs.contains(text)) {
            *error = buildErrors.value(text, QStringLiteral("not built"));
            return false;
        }
    }
    return true;
}

BlockHarness::Run BlockHarness::run(const QString& patchText, const QString& script)
{
    return runAll({Job{patchText, script}}).value(0);
}

QList<BlockHarness::Run> BlockHarness::runAll(const QList<Job>& jobs)
{
    QList<Run> runs;
    QStringList patches;
    for (const Job& job : jobs)
        patches << job.patch;
    QString firstError;
    prepare(patches, &firstError);

    std::vector<Task> tasks;
    QList<int> taskOf;
    for (const Job& job : jobs) {
        Run run;
        const QString exe = programs.value(job.patch);
        if (exe.isEmpty()) {
            run.failure = buildErrors.value(job.patch, QStringLiteral("not built"));
            runs << run;
            taskOf << -1;
            continue;
        }
        const QString base = work.filePath(QStringLiteral("r%1").arg(++serial));
        QByteArray script = job.script.toUtf8();
        script.replace(';', '\n');
        writeFile(base + QLatin1String(".in"), script + '\n');
        Task t;
        t.program = exe;
        t.input = base + QLatin1String(".in");
        t.output = base + QLatin1String(".out");
        t.errors = base + QLatin1String(".err");
        taskOf << int(tasks.size());
        tasks.push_back(t);
        runs << run;
    }
    runTasks(tasks);

    for (int i = 0; i < runs.size(); ++i) {
        if (taskOf.at(i) < 0)
            continue;
        const Task& t = tasks[size_t(taskOf.at(i))];
        Run& run = runs[i];
        QString driverError;
        const QStringList lines =
            QString::fromLocal8Bit(readFile(t.output)).split(QLatin1Char('\n'));
        for (int k = 0; k < lines.size(); ++k) {
            const QString& line = lines.at(k);
            if (k == lines.size() - 1 && line.isEmpty())
                break;
            if (line == QLatin1String("@") || line.startsWith(QLatin1String("@ "))) {
                run.lines << line.mid(2);
                if (line.startsWith(QLatin1String("@ error")))
                    driverError = line.mid(2);
            } else {
                run.lines << QStringLiteral("printed ") + line;
            }
        }
        const QByteArray errors = readFile(t.errors);
        const bool reported = errors.contains("runtime error") || errors.contains("Sanitizer");
        if (t.startFailed)
            run.failure = QStringLiteral("the program did not start");
        else if (!t.finished)
            run.failure = QStringLiteral("the program did not finish in time");
        else if (t.crashed)
            run.failure = QStringLiteral("the program was ended by a signal\n") + reportOf(errors);
        else if (!driverError.isEmpty())
            run.failure = QStringLiteral("driver: ") + driverError;
        else if (reported || t.exitCode != 0)
            run.failure = QStringLiteral("exit code %1\n").arg(t.exitCode) + reportOf(errors);
        run.ok = run.failure.isEmpty();
    }
    return runs;
}

namespace {

QString answerText(const BlockHarness::Run& r)
{
    return r.ok ? r.lines.join(QLatin1String("; ")) : QStringLiteral("FAILED: ") + r.failure;
}

} // namespace

QString BlockHarness::answers(const QString& patchText, const QString& script)
{
    return answerText(run(patchText, script));
}

void BlockHarness::addCaseRows(const QList<Case>& cases)
{
    QList<Job> jobs;
    for (const Case& c : cases)
        jobs << Job{c.patch, c.script};
    const QList<Run> runs = runAll(jobs);
    QTest::addColumn<QString>("answers");
    QTest::addColumn<QString>("expected");
    for (int i = 0; i < cases.size(); ++i)
        QTest::newRow(qPrintable(cases.at(i).name))
            << answerText(runs.at(i)) << cases.at(i).expected;
}

QList<BlockHarness::Compilation> BlockHarness::compileObjects(const QList<QByteArray>& sources,
                                                              const QStringList& arguments)
{
    std::vector<Task> tasks;
    QList<Compilation> results;
    for (const QByteArray& code : sources) {
        const QString base = work.filePath(QStringLiteral("c%1").arg(++serial));
        writeFile(base + QLatin1String(".c"), code);
        Task t;
        t.program = QStringLiteral("cc");
        t.arguments = arguments;
        t.arguments << QStringLiteral("-c") << QStringLiteral("-o") << base + QLatin1String(".o")
                    << base + QLatin1String(".c");
        t.output = base + QLatin1String(".log");
        t.errors = t.output;
        tasks.push_back(t);
    }
    runTasks(tasks);
    for (const Task& t : tasks) {
        Compilation c;
        c.ok = t.finished && !t.crashed && t.exitCode == 0;
        c.log = QString::fromLocal8Bit(readFile(t.output));
        results << c;
    }
    return results;
}
