#include "ServerProcess.h"

#include "TestMain.h"

#include <QTest>

#include <csignal>

using testsupport::readFile;

ServerProcess::ServerProcess() = default;

ServerProcess::~ServerProcess()
{
    if (isRunning())
        kill();
}

QString ServerProcess::program()
{
    // Another build's program can be tried with the same tests.
    const QString chosen = qEnvironmentVariable("KL_SERVER_PROGRAM");
    return chosen.isEmpty() ? QStringLiteral(KNOTLATTICE_REPOSITORY_PROGRAM) : chosen;
}

bool ServerProcess::start(const QStringList& arguments, int openFiles)
{
    ++runs;
    // Each run logs to a file of its own, so an address is never read from an earlier run.
    const QString out = folder.filePath(QStringLiteral("out-%1.log").arg(runs));
    const QString err = folder.filePath(QStringLiteral("err-%1.log").arg(runs));
    process.setStandardOutputFile(out);
    process.setStandardErrorFile(err);
    process.setWorkingDirectory(folder.path());
    const QStringList all = QStringList{"--port", "0", "--data", dataFile()} + arguments;
    if (openFiles > 0) {
        process.start(
            QStringLiteral("/bin/sh"),
            QStringList{"-c", QStringLiteral("ulimit -n %1 && exec \"$0\" \"$@\"").arg(openFiles),
                        program()} +
                all);
    } else {
        process.start(program(), all);
    }
    if (!process.waitForStarted(30000))
        return false;
    const QByteArray marker = "Knotlattice repository at ";
    const bool up = QTest::qWaitFor(
        [&] { return readFile(out).contains(marker) || process.state() == QProcess::NotRunning; },
        30000);
    const QByteArray text = readFile(out);
    const int at = text.indexOf(marker);
    if (!up || at < 0)
        return false;
    const int end = text.indexOf('\n', at);
    address = QString::fromUtf8(text.mid(at + marker.size(), end - at - marker.size()));
    const int colon = address.lastIndexOf(QLatin1Char(':'));
    boundPort = quint16(address.mid(colon + 1).section(QLatin1Char('/'), 0, 0).toUInt());
    return boundPort != 0;
}

void ServerProcess::kill()
{
    process.kill();
    process.waitForFinished(30000);
}

bool ServerProcess::stop()
{
    process.terminate();
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QByteArray ServerProcess::log() const
{
    return readFile(folder.filePath(QStringLiteral("out-%1.log").arg(runs)));
}

QByteArray ServerProcess::errors() const
{
    return readFile(folder.filePath(QStringLiteral("err-%1.log").arg(runs)));
}

qint64 ServerProcess::residentBytes() const
{
    const QByteArray status = readFile(QStringLiteral("/proc/%1/status").arg(process.processId()));
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

QString ServerProcess::writeSeed()
{
    const QString seed = folder.filePath(QStringLiteral("seed"));
    const QByteArray half = "<block name=\"demo.Half\">\n<category>Math</category>\n"
                            "<function name=\"f_x\">return;</function>\n</block>\n";
    const QByteArray plus = "<block name=\"demo.a+b\">\n<category>Mix</category>\n</block>\n";
    const bool ok =
        testsupport::writeFile(seed + "/users.txt", "# name password\nann pw-ann\nbob a?>b\n") &&
        testsupport::writeFile(seed + "/version.txt", "1.2.3\n") &&
        testsupport::writeFile(seed + "/patches/Bells.ktl", "bells-bytes") &&
        testsupport::writeFile(seed + "/patches/Bells.ktl.txt", "Bells ring.") &&
        testsupport::writeFile(seed + "/blocks/half.xml", half) &&
        testsupport::writeFile(seed + "/blocks/plus.xml", plus);
    return ok ? seed : QString();
}
