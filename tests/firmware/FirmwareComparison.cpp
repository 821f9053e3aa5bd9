#include "FirmwareComparison.h"

#include "BlockDescription.h"
#include "BlockInstance.h"
#include "CodeCompiler.h"
#include "TestMain.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtEndian>

#include <memory>
#include <vector>

namespace {

const QString marker = QStringLiteral("###dynamic###");
const QByteArray includeLines = "#include \"bass.h\"\n#include <stdio.h>\n#include <stdint.h>\n";
// RAM of the device, filled before the image boots so that a missing .data copy or .bss clear
// changes what the patch computes.
const qint64 ramStart = 0x20000000;
const int ramSize = 64 * 1024;
const int runLimitMs = 240000;

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

bool copyTree(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString entry = it.next();
        const QString target = to + "/" + QDir(from).relativeFilePath(entry);
        if (it.fileInfo().isDir()) {
            QDir().mkpath(target);
        } else if (!QFile::copy(entry, target) ||
                   !QFile::setPermissions(target, QFile::permissions(entry))) {
            return false;
        }
    }
    return true;
}

// A digest of every block output after a sample, so that blocks whose output reaches neither
// out[] nor the LEDs are compared too.
QByteArray probe(const InstanceList& order)
{
    QByteArray text = "\nstatic uint32_t kl_test_probe(void)\n{\n    uint32_t h = 2166136261u;\n";
    for (int n = 0; n < order.size(); ++n) {
        const BlockDescription* d = order.at(n)->description;
        for (const Variable& v : d->variables) {
            if (v.socketKind == Variable::SocketOutput)
                text += QStringLiteral("    h = (h ^ (uint32_t)block%1.%2) * 16777619u;\n")
                            .arg(n)
                            .arg(v.name)
                            .toUtf8();
        }
    }
    return text + "    return h;\n}\n";
}

QByteArray scheduleBytes(const FirmwareComparison::Case& c)
{
    QByteArray bytes;
    auto word = [&bytes](qint32 v) {
        char le[4];
        qToLittleEndian(v, le);
        bytes.append(le, 4);
    };
    word(c.samples);
    for (const FirmwareComparison::Change& change : c.schedule) {
        word(change.sample);
        word(change.control);
        word(change.value);
    }
    return bytes;
}

QByteArray ramPattern()
{
    QByteArray bytes;
    for (int i = 0; i < ramSize; i += 4)
        bytes.append("\xA5\x5A\xC3\x3C", 4);
    return bytes;
}

struct Task
{
    QString program;
    QStringList arguments;
    QString directory;
    QString output;
    QString errors;
    bool finished = false;
    int exitCode = -1;
};

// Runs the tasks side by side, their output in files.
void runTasks(std::vector<Task>& tasks)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (Task& t : tasks) {
        auto p = std::make_unique<QProcess>();
        p->setWorkingDirectory(t.directory);
        p->setStandardInputFile(QProcess::nullDevice());
        p->setStandardOutputFile(t.output);
        p->setStandardErrorFile(t.errors.isEmpty() ? t.output : t.errors);
        p->start(t.program, t.arguments);
        processes.push_back(std::move(p));
    }
    QElapsedTimer clock;
    clock.start();
    for (size_t i = 0; i < tasks.size(); ++i) {
        QProcess* p = processes[i].get();
        const int left = int(qMax<qint64>(1000, runLimitMs - clock.elapsed()));
        if (p->waitForStarted(left) && p->waitForFinished(left)) {
            tasks[i].finished = p->exitStatus() == QProcess::NormalExit;
            tasks[i].exitCode = p->exitCode();
        } else {
            p->kill();
            p->waitForFinished();
        }
    }
}

QString describe(const Task& t, const QString& what)
{
    QString text = what + QStringLiteral(" (%1 %2) ").arg(t.program, t.arguments.join(' '));
    text += t.finished ? QStringLiteral("ended with %1").arg(t.exitCode)
                       : QStringLiteral("did not finish");
    const QByteArray log = readFile(t.errors.isEmpty() ? t.output : t.errors);
    return text + ":\n" + QString::fromLocal8Bit(log.right(4000));
}

} // namespace

FirmwareComparison::FirmwareComparison() = default;

QList<FirmwareComparison::Result> FirmwareComparison::runAll(const QList<Case>& cases)
{
    QList<Result> results;
    const QString staged = testsupport::binPath(QStringLiteral("compile"));
    const QString bare = work.filePath(QStringLiteral("bare.txt"));
    const QString pattern = work.filePath(QStringLiteral("pattern.bin"));
    const QString chipTemplate = QString::fromUtf8(readFile(staged + "/templ_chip.txt"));
    QString emulatorTemplate = QString::fromUtf8(readFile(staged + "/templ_emul.txt"));
    const QByteArray driver = readFile(testsupport::sourcePath("tests/firmware/desktop_driver.c"));
    writeFile(bare, marker.toUtf8());
    writeFile(pattern, ramPattern());

    // The emulator's main would start the audio layer; the driver takes its place.
    const QString emulatorMain = QStringLiteral("\nint main(void)\n");
    const bool replaceable = emulatorTemplate.count(emulatorMain) == 1;
    emulatorTemplate.replace(emulatorMain, QStringLiteral("\n__attribute__((unused)) static int "
                                                          "kl_emulator_main(void)\n"));

    std::vector<Task> builds;
    QList<int> buildOf;
    for (int i = 0; i < cases.size(); ++i) {
        const Case& c = cases.at(i);
        Result r;
        r.name = c.name;
        buildOf << -1;
        const QString dir = work.filePath(QStringLiteral("case%1").arg(i));
        if (!chipTemplate.contains(marker) || !replaceable || driver.isEmpty()) {
            r.failure = QStringLiteral("the staged templates or the driver are not as expected");
            results << r;
            continue;
        }
        CodeCompiler compiler;
        const QString generated = compiler.createCode(c.instances, bare);
        if (generated.isEmpty()) {
            r.failure = QStringLiteral("the code generator gave nothing");
            results << r;
            continue;
        }
        const QByteArray tail = probe(compiler.executionOrder());
        QString chip = chipTemplate;
        chip.replace(marker, generated);
        QString emul = emulatorTemplate;
        emul.replace(marker, generated);
        const QByteArray schedule = scheduleBytes(c);
        if (!copyTree(staged + "/firmware", dir + "/firmware") ||
            !QDir().mkpath(dir + "/desktop") ||
            !writeFile(dir + "/firmware/main.c", chip.toUtf8() + tail) ||
            !writeFile(dir + "/desktop/desktop.c", includeLines + emul.toUtf8() + driver + tail) ||
            !writeFile(dir + "/firmware/schedule.bin", schedule) ||
            !writeFile(dir + "/desktop/schedule.bin", schedule)) {
            r.failure = QStringLiteral("cannot prepare %1").arg(dir);
            results << r;
            continue;
        }
        Task firmware;
        firmware.program = QStringLiteral("sh");
        firmware.arguments = QStringList{dir + "/firmware/compile.sh", QStringLiteral("test")};
        firmware.directory = dir + "/firmware";
        firmware.output = dir + "/firmware/build.log";
        Task desktop;
        desktop.program = QStringLiteral("cc");
        // As the emulator's build script compiles.
        desktop.arguments =
            QStringList{QStringLiteral("-O2"),          QStringLiteral("-fwrapv"),
                        QStringLiteral("-fno-builtin"), QStringLiteral("-I") + staged + "/emulator",
                        QStringLiteral("-o"),           dir + "/desktop/desktop",
                        dir + "/desktop/desktop.c"};
        desktop.directory = dir + "/desktop";
        desktop.output = dir + "/desktop/build.log";
        buildOf.last() = int(builds.size());
        builds.push_back(firmware);
        builds.push_back(desktop);
        results << r;
    }
    runTasks(builds);

    std::vector<Task> runs;
    QList<int> runOf;
    for (int i = 0; i < cases.size(); ++i) {
        runOf << -1;
        Result& r = results[i];
        if (!r.failure.isEmpty())
            continue;
        const Task& firmware = builds[size_t(buildOf.at(i))];
        const Task& desktop = builds[size_t(buildOf.at(i)) + 1];
        if (!firmware.finished || firmware.exitCode != 0) {
            r.failure = describe(firmware, QStringLiteral("the firmware build"));
            continue;
        }
        if (!desktop.finished || desktop.exitCode != 0) {
            r.failure = describe(desktop, QStringLiteral("the desktop build"));
            continue;
        }
        const QString dir = work.filePath(QStringLiteral("case%1").arg(i));
        r.imageSize = QFileInfo(dir + "/firmware/firmware.bin").size();
        Task qemu;
        qemu.program = QStringLiteral("qemu-system-arm");
        qemu.arguments = QStringList{
            QStringLiteral("-machine"),
            QStringLiteral("mps2-an385"),
            QStringLiteral("-nographic"),
            QStringLiteral("-semihosting-config"),
            QStringLiteral("enable=on,target=native"),
            QStringLiteral("-device"),
            QStringLiteral("loader,file=%1,addr=0x%2").arg(pattern).arg(ramStart, 0, 16),
            QStringLiteral("-device"),
            QStringLiteral("loader,file=%1/firmware/firmware.bin,addr=0x0").arg(dir)};
        qemu.directory = dir + "/firmware";
        qemu.output = dir + "/firmware/printed.txt";
        qemu.errors = dir + "/firmware/qemu.log";
        Task program;
        program.program = dir + "/desktop/desktop";
        program.directory = dir + "/desktop";
        program.output = dir + "/desktop/printed.txt";
        program.errors = dir + "/desktop/errors.log";
        runOf.last() = int(runs.size());
        runs.push_back(qemu);
        runs.push_back(program);
    }
    runTasks(runs);

    for (int i = 0; i < cases.size(); ++i) {
        Result& r = results[i];
        if (runOf.at(i) < 0)
            continue;
        const Task& qemu = runs[size_t(runOf.at(i))];
        const Task& program = runs[size_t(runOf.at(i)) + 1];
        const QString dir = work.filePath(QStringLiteral("case%1").arg(i));
        if (!qemu.finished || qemu.exitCode != 0) {
            r.failure = describe(qemu, QStringLiteral("the firmware under QEMU"));
            continue;
        }
        if (!program.finished || program.exitCode != 0) {
            r.failure = describe(program, QStringLiteral("the desktop program"));
            continue;
        }
        r.device = readFile(dir + "/firmware/samples.bin");
        r.desktop = readFile(dir + "/desktop/desktop.bin");
        r.devicePrinted = readFile(dir + "/firmware/printed.txt");
        r.desktopPrinted = readFile(dir + "/desktop/printed.txt");
        const qint64 expected = qint64(cases.at(i).samples) * RecordWords * 4;
        if (r.device.size() != expected || r.desktop.size() != expected)
            r.failure = QStringLiteral("expected %1 bytes of records, the device wrote %2 and the "
                                       "desktop %3")
                            .arg(expected)
                            .arg(r.device.size())
                            .arg(r.desktop.size());
    }
    return results;
}

QString FirmwareComparison::firstDifference(const QByteArray& device, const QByteArray& desktop)
{
    static const char* fields[RecordWords] = {"out[0]",
                                              "out[1]",
                                              "out[2]",
                                              "out[3]",
                                              "led_value[0]",
                                              "led_value[1]",
                                              "block outputs digest"};
    const int record = RecordWords * 4;
    const int common = qMin(device.size(), desktop.size());
    for (int offset = 0; offset + 4 <= common; offset += 4) {
        const qint32 a = qFromLittleEndian<qint32>(device.constData() + offset);
        const qint32 b = qFromLittleEndian<qint32>(desktop.constData() + offset);
        if (a != b)
            return QStringLiteral("sample %1, %2: device %3, desktop %4")
                .arg(offset / record)
                .arg(QLatin1String(fields[(offset % record) / 4]))
                .arg(a)
                .arg(b);
    }
    if (device.size() != desktop.size())
        return QStringLiteral("the device wrote %1 bytes, the desktop %2")
            .arg(device.size())
            .arg(desktop.size());
    return QString();
}
