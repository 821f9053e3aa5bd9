#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A copy of the staged compile folder under a program folder root, with helpers to build the
// emulator program from hand-written generated text through the real compile.sh, and to build
// test drivers that include the template directly.
class EmulatorBuild
{
public:
    explicit EmulatorBuild(const QString& programRoot);

    // Copies the build's compile folder into the root; false when that fails.
    bool stage();

    QString root() const { return programRoot; }
    QString emulatorDir() const { return programRoot + "/compile/emulator"; }
    QString programPath() const { return emulatorDir() + "/emulate"; }
    QString templatePath() const { return programRoot + "/compile/templ_emul.txt"; }

    // A file of tests/runtime/fixtures.
    static QByteArray fixture(const QString& name);
    // The template with `dynamic` in place of its marker.
    QByteArray filledTemplate(const QByteArray& dynamic) const;

    // Writes emul.c as the editor does: three include lines and the filled template.
    bool writeSource(const QByteArray& dynamic) const;
    // Runs ./compile.sh in the emulator folder; its exit code, or -1 when it did not finish.
    int runCompileScript(QByteArray* output = nullptr) const;
    // writeSource + compile.sh; true when the script succeeded and the program exists.
    bool buildProgram(const QByteArray& dynamic, QByteArray* output = nullptr) const;

    // Builds fixture `driver` (which includes probe_body.c) with `dynamic` in the template,
    // under the address and undefined-behaviour sanitizers; returns the executable's path or
    // an empty string, with the compiler's output in `log`.
    QString buildDriver(const QString& driver, const QByteArray& dynamic, QByteArray* log) const;

    // Environment for a run of the emulator program with the given audio sink.
    static QProcessEnvironment audioEnvironment(const QString& sink);

private:
    QString programRoot;
};
