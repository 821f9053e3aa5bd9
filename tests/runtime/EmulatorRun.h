#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// One run of an emulator program, talked to over its standard input and output as the editor
// does. Waits poll the process directly, so no event loop is needed.
class EmulatorRun
{
public:
    EmulatorRun(const QString& program, const QProcessEnvironment& environment);
    ~EmulatorRun();
    EmulatorRun(const EmulatorRun&) = delete;
    EmulatorRun& operator=(const EmulatorRun&) = delete;

    bool started() const { return isStarted; }
    bool running() const { return process.state() == QProcess::Running; }
    qint64 pid() const { return process.processId(); }

    void send(const QByteArray& bytes);
    void closeInput() { process.closeWriteChannel(); }
    // Waits until `line` has been printed as a whole line; false on timeout or exit.
    bool waitForLine(const QString& line, int timeoutMs);
    // Waits for the program to end; false when it still runs after the timeout.
    bool waitForExit(int timeoutMs);
    // Reads what arrives during `ms` milliseconds.
    void collectFor(int ms);

    QByteArray output() const { return stdoutBytes; }
    QStringList lines() const;
    QByteArray errorOutput();
    bool exitedNormally() const;
    int exitCode() const { return process.exitCode(); }

private:
    void readAvailable();

    QProcess process;
    QByteArray stdoutBytes;
    QByteArray stderrBytes;
    bool isStarted = false;
};
