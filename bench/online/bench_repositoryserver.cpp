// knotlattice-repository under ApacheBench (Debian apache2-utils): patch-list requests a second
// for a list of 100 patches at concurrency 1, 8 and 64, with keep-alive and without, and the
// server's resident memory after a warm-up and after 100,000 more requests. Goals: at least
// 20,000 requests a second at concurrency 64 with keep-alive; less than 10 MB growth.
//
//   bench_repositoryserver [--program PATH] [--no-data] [--requests N]
//
// --program measures another build of the server; --no-data leaves out --data for a program
// that keeps nothing on disk.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A seed of one user and 100 patches of a few hundred bytes, described as people do.
QString writeSeed(const QString& folder)
{
    const QString seed = folder + "/seed";
    writeFile(seed + "/users.txt", "bench bench-password\n");
    for (int i = 0; i < 100; ++i) {
        const QString path = QStringLiteral("%1/patches/Patch number %2.ktl")
                                 .arg(seed)
                                 .arg(i, 3, 10, QLatin1Char('0'));
        writeFile(path, QByteArray(300 + i, char('a' + i % 26)));
        writeFile(path + ".txt", "A description of a few words, as people write them.");
    }
    return seed;
}

qint64 residentBytes(qint64 pid)
{
    for (const QByteArray& line :
         readFile(QStringLiteral("/proc/%1/status").arg(pid)).split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

struct AbResult
{
    double perSecond = 0;
    QString problem;
};

AbResult ab(const QString& url, int concurrency, int requests, bool keepAlive)
{
    QStringList arguments{
        "-q", "-s", "10", "-n", QString::number(requests), "-c", QString::number(concurrency)};
    if (keepAlive)
        arguments << "-k";
    arguments << url;
    QProcess process;
    process.start(QStringLiteral("ab"), arguments);
    AbResult r;
    if (!process.waitForStarted(10000)) {
        r.problem = QStringLiteral("ab did not start (install apache2-utils)");
        return r;
    }
    if (!process.waitForFinished(180000)) {
        process.kill();
        process.waitForFinished();
        r.problem = QStringLiteral("ab did not finish within 180 s");
        return r;
    }
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    const auto rate =
        QRegularExpression(QStringLiteral("Requests per second:\\s+([0-9.]+)")).match(out);
    const auto failed =
        QRegularExpression(QStringLiteral("Failed requests:\\s+([0-9]+)")).match(out);
    const auto non2xx =
        QRegularExpression(QStringLiteral("Non-2xx responses:\\s+([0-9]+)")).match(out);
    if (!rate.hasMatch()) {
        r.problem = err.isEmpty() ? QStringLiteral("no result") : err.section('\n', -1);
        return r;
    }
    r.perSecond = rate.captured(1).toDouble();
    if (failed.hasMatch() && failed.captured(1).toInt() > 0)
        r.problem = QStringLiteral("%1 failed").arg(failed.captured(1));
    if (non2xx.hasMatch())
        r.problem += QStringLiteral(" %1 not 2xx").arg(non2xx.captured(1));
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption programOption(
        QStringLiteral("program"), QStringLiteral("The server program to measure."),
        QStringLiteral("PATH"), QStringLiteral(KNOTLATTICE_REPOSITORY_PROGRAM));
    const QCommandLineOption noDataOption(QStringLiteral("no-data"),
                                          QStringLiteral("Start the program without --data."));
    const QCommandLineOption requestsOption(QStringLiteral("requests"),
                                            QStringLiteral("Requests of each keep-alive run."),
                                            QStringLiteral("N"), QStringLiteral("50000"));
    parser.addHelpOption();
    parser.addOptions({programOption, noDataOption, requestsOption});
    parser.process(app);
    const int requests = qMax(1000, parser.value(requestsOption).toInt());

    QTemporaryDir folder;
    const QString seed = writeSeed(folder.path());
    QStringList arguments{"--port", "0", "--seed", seed};
    if (!parser.isSet(noDataOption))
        arguments << "--data" << folder.filePath(QStringLiteral("bench.sqlite"));
    QProcess server;
    server.setStandardOutputFile(folder.filePath(QStringLiteral("server.log")));
    server.setStandardErrorFile(folder.filePath(QStringLiteral("server.err")));
    server.start(parser.value(programOption), arguments);
    if (!server.waitForStarted(10000)) {
        std::fprintf(stderr, "cannot start %s\n", qPrintable(parser.value(programOption)));
        return 1;
    }
    QString url;
    QElapsedTimer waited;
    waited.start();
    while (url.isEmpty() && waited.elapsed() < 30000) {
        const auto m = QRegularExpression(QStringLiteral("repository at (\\S+)"))
                           .match(QString::fromUtf8(readFile(folder.filePath("server.log"))));
        if (m.hasMatch())
            url = m.captured(1) + "?action=list_patches";
        else
            QThread::msleep(20);
    }
    if (url.isEmpty()) {
        std::fprintf(stderr, "the server printed no address\n");
        return 1;
    }
    std::printf("%s, list of 100 patches, %d processor threads\n",
                qPrintable(parser.value(programOption)), QThread::idealThreadCount());

    // Warm-up, then the table.
    ab(url, 8, 20000, true);
    const qint64 warm = residentBytes(server.processId());
    std::printf("%-12s %-11s %14s\n", "concurrency", "keep-alive", "requests/s");
    for (int concurrency : {1, 8, 64}) {
        for (bool keepAlive : {true, false}) {
            const AbResult r = ab(url, concurrency, keepAlive ? requests : requests / 2, keepAlive);
            std::printf("%-12d %-11s %14.0f %s\n", concurrency, keepAlive ? "yes" : "no",
                        r.perSecond, qPrintable(r.problem));
            std::fflush(stdout);
        }
    }
    const qint64 before = residentBytes(server.processId());
    const AbResult more = ab(url, 8, 100000, true);
    const qint64 after = residentBytes(server.processId());
    std::printf("resident memory: %.1f MB after the warm-up, %.1f MB before and %.1f MB after "
                "100,000 more requests (%+.1f MB) %s\n",
                warm / 1e6, before / 1e6, after / 1e6, (after - before) / 1e6,
                qPrintable(more.problem));
    server.terminate();
    if (!server.waitForFinished(10000)) {
        server.kill();
        server.waitForFinished();
    }
    return 0;
}
