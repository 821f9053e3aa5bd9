#include "EmulatorBuild.h"

#include "ProgramManifest.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

namespace {

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

EmulatorBuild::EmulatorBuild(const QString& programRoot) : programRoot(programRoot) {}

bool EmulatorBuild::stage()
{
    const QString staged = testsupport::binPath("compile");
    if (!QFileInfo(staged + "/templ_emul.txt").isFile())
        return false;
    // Only what the build stages, not programs left by earlier runs.
    return ProgramManifest::build().copy(staged, programRoot + "/compile");
}

QByteArray EmulatorBuild::fixture(const QString& name)
{
    QFile f(testsupport::sourcePath("tests/runtime/fixtures/" + name));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

QByteArray EmulatorBuild::filledTemplate(const QByteArray& dynamic) const
{
    QFile f(templatePath());
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray text = f.readAll();
    text.replace("###dynamic###", dynamic);
    return text;
}

bool EmulatorBuild::writeSource(const QByteArray& dynamic) const
{
    const QByteArray text = filledTemplate(dynamic);
    if (text.isEmpty())
        return false;
    return writeAll(emulatorDir() + "/emul.c",
                    "#include \"bass.h\"\n#include <stdio.h>\n#include <stdint.h>\n" + text);
}

int EmulatorBuild::runCompileScript(QByteArray* output) const
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(emulatorDir());
    p.start("./compile.sh", QStringList());
    const bool finished = p.waitForFinished(60000);
    if (output)
        *output = p.readAll();
    if (!finished) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool EmulatorBuild::buildProgram(const QByteArray& dynamic, QByteArray* output) const
{
    if (!writeSource(dynamic))
        return false;
    return runCompileScript(output) == 0 && QFileInfo(programPath()).isExecutable();
}

QString EmulatorBuild::buildDriver(const QString& driver, const QByteArray& dynamic,
                                   QByteArray* log) const
{
    const QString dir = emulatorDir();
    const QString exe = dir + "/" + QFileInfo(driver).completeBaseName();
    if (!writeAll(dir + "/probe_body.c", filledTemplate(dynamic)) ||
        !writeAll(dir + "/" + driver, fixture(driver)))
        return QString();
    QProcess cc;
    cc.setProcessChannelMode(QProcess::MergedChannels);
    cc.setWorkingDirectory(dir);
    cc.start("cc", {"-std=c99", "-pedantic", "-O2", "-fwrapv", "-fno-builtin", "-Wall", "-Wextra",
                    "-Werror", "-Wno-unused-variable", "-fsanitize=address,undefined",
                    "-fno-sanitize-recover=all", "-Dmain=emul_main", "-o", exe, dir + "/" + driver,
                    "-L" + dir, "-lbass", "-Wl,-rpath," + dir});
    const bool ok =
        cc.waitForFinished(120000) && cc.exitStatus() == QProcess::NormalExit && cc.exitCode() == 0;
    if (log)
        *log = cc.readAll();
    return ok ? exe : QString();
}

QProcessEnvironment EmulatorBuild::audioEnvironment(const QString& sink)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (sink.isEmpty())
        env.remove("KNOTLATTICE_AUDIO");
    else
        env.insert("KNOTLATTICE_AUDIO", sink);
    return env;
}
