#include "EmulatorRun.h"

#include <QElapsedTimer>
#include <QThread>

EmulatorRun::EmulatorRun(const QString& program, const QProcessEnvironment& environment)
{
    process.setProcessEnvironment(environment);
    process.start(program, QStringList());
    isStarted = process.waitForStarted(10000);
}

EmulatorRun::~EmulatorRun()
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(10000);
    }
}

void EmulatorRun::send(const QByteArray& bytes)
{
    process.write(bytes);
    process.waitForBytesWritten(10000);
}

void EmulatorRun::readAvailable()
{
    stdoutBytes += process.readAllStandardOutput();
    stderrBytes += process.readAllStandardError();
}

QStringList EmulatorRun::lines() const
{
    QStringList all = QString::fromLocal8Bit(stdoutBytes).split('\n');
    all.removeLast(); // what follows the last line break is no whole line yet
    return all;
}

bool EmulatorRun::waitForLine(const QString& line, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        readAvailable();
        if (lines().contains(line))
            return true;
        const qint64 left = timeoutMs - timer.elapsed();
        if (left <= 0 || process.state() != QProcess::Running)
            return false;
        process.waitForReadyRead(int(qMin<qint64>(left, 50)));
    }
}

bool EmulatorRun::waitForExit(int timeoutMs)
{
    const bool ended =
        process.state() == QProcess::NotRunning || process.waitForFinished(timeoutMs);
    readAvailable();
    return ended;
}

void EmulatorRun::collectFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms && process.state() == QProcess::Running) {
        process.waitForReadyRead(int(qMax<qint64>(1, ms - timer.elapsed())));
        readAvailable();
    }
    readAvailable();
}

QByteArray EmulatorRun::errorOutput()
{
    readAvailable();
    return stderrBytes;
}

bool EmulatorRun::exitedNormally() const
{
    return process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit;
}
