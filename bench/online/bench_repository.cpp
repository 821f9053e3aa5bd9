// Times reading the repository's patch list as our server writes it, for lists of 1000 to
// 64000 entries (the last near the 16 MiB reply bound), and the community lists fetched
// through the client from the server on this machine. Prints medians in milliseconds.
//
// Then hostile lists of 16 MiB, each read in a process of its own so that its peak memory is
// its own: two million bare entries, and as many entries as a list may hold with long names,
// read by the list readers and shown through the community window as its menu entry does
// (from a server in a third process). Prints the time and the peak memory above what the
// process held before the step, the input already built.
#include "CommunityBlocks.h"
#include "CommunityPatches.h"
#include "CommunityWindow.h"
#include "Repository.h"
#include "RepositoryReader.h"
#include "RepositoryServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <vector>

namespace {

constexpr int hostileBytes = 16 * 1024 * 1024;
// How long a hostile case may take through the window before it counts as hung.
constexpr int hostileTimeoutMs = 120000;

double medianMs(int runs, const std::function<void()>& step)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        step();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void fill(RepositoryServer& server, int count)
{
    const int uid = server.addUser(QStringLiteral("someone"), QStringLiteral("pw"));
    QList<RepositoryServer::Patch> patches;
    for (int i = 0; i < count; ++i) {
        RepositoryServer::Patch p;
        p.uid = uid;
        p.name = QStringLiteral("Patch number %1").arg(i);
        p.filename = p.name + ".ktl";
        p.description = QStringLiteral("A description of a few words, as people write them.");
        p.date = 1700000000 + i;
        patches << p;
    }
    server.addPatches(patches);
}

QByteArray fetch(QNetworkAccessManager& manager, const QString& url)
{
    QNetworkReply* reply = manager.get(QNetworkRequest(QUrl(url)));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    return reply->readAll();
}

// From here on the peak (VmHWM) starts again at what the process holds now.
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

long statusKb(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// A list of 16 MiB under `root`, of `entry` elements: bare ones, or with names long enough
// that 65,536 of them fill the bytes.
QByteArray hostileList(const char* root, const char* entry, bool named)
{
    const QByteArray open = QByteArray("<") + root + ">";
    const QByteArray close = QByteArray("</") + root + ">";
    QByteArray one = QByteArray("<") + entry + "/>";
    if (named) {
        const int room = hostileBytes / 65536 - int(qstrlen(entry)) - 16;
        one = QByteArray("<") + entry + " pname=\"" + QByteArray(room, 'n') + "\" id=\"1\"/>";
    }
    QByteArray body = open;
    body.reserve(hostileBytes);
    while (body.size() + one.size() + close.size() <= hostileBytes)
        body += one;
    return body + close;
}

struct HostileCase
{
    const char* name;
    const char* root;
    const char* entry;
    bool named;
    bool window;
};

const HostileCase hostileCases[] = {
    {"readPatches, 2 million bare entries", "patches", "patch", false, false},
    {"readBlocks, 2 million bare entries", "blocks", "block", false, false},
    {"readComments, 2 million bare entries", "comments", "comment", false, false},
    {"readPatches, long names", "patches", "patch", true, false},
    {"community window, 2 million bare entries", "patches", "patch", false, true},
    {"community window, long names", "patches", "patch", true, true},
};

// Serves the list of a hostile case `requests` times from a process of its own, so that the
// server's copies of the body do not count against the client; prints the address, then
// serves until killed.
int serveHostile(int index, int requests)
{
    const HostileCase& c = hostileCases[index];
    RepositoryServer server;
    if (!server.start())
        return 1;
    // One body, shared by every scripted answer.
    const QByteArray body = hostileList(c.root, c.entry, c.named);
    for (int i = 0; i < requests; ++i)
        server.scriptBody(body, QStringLiteral("list_patches"));
    std::printf("%s\n", qPrintable(server.endpoint()));
    std::fflush(stdout);
    return QCoreApplication::exec();
}

// One hostile case; prints "MS KB ENTRIES TIMEDOUT" (ENTRIES -1 when refused, TIMEDOUT 1 when
// the window did not finish in time).
int runHostile(int index)
{
    const HostileCase& c = hostileCases[index];
    long entries = -1;
    double ms = 0;
    long before = 0;
    bool timedOut = false;
    if (!c.window) {
        const QByteArray body = hostileList(c.root, c.entry, c.named);
        before = statusKb("VmRSS:");
        resetPeak();
        QElapsedTimer timer;
        timer.start();
        bool ok = false;
        if (qstrcmp(c.root, "patches") == 0) {
            RepositoryPatches list;
            ok = RepositoryReader::readPatches(body, list);
            entries = list.size();
        } else if (qstrcmp(c.root, "blocks") == 0) {
            RepositoryBlocks list;
            ok = RepositoryReader::readBlocks(body, list);
            entries = list.size();
        } else {
            RepositoryComments list;
            ok = RepositoryReader::readComments(body, list);
            entries = list.size();
        }
        ms = timer.nsecsElapsed() / 1e6;
        if (!ok)
            entries = -1;
    } else {
        QProcess server;
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The window asks for the patch list once.
        server.start(QCoreApplication::applicationFilePath(),
                     {QStringLiteral("--serve"), QString::number(index), QStringLiteral("1")});
        if (!server.waitForReadyRead(60000))
            qFatal("the server of case %d did not start", index);
        Repository repository(nullptr, nullptr);
        repository.setBaseUrl(QString::fromLatin1(server.readLine().trimmed()));
        CommunityWindow window(nullptr, &repository, nullptr);
        window.show();
        QEventLoop loop;
        // The patch list is read, shown or refused before the block list is asked for.
        QObject::connect(&repository, &Repository::replyBlockList, &loop, &QEventLoop::quit);
        QObject::connect(&repository, &Repository::requestFailed, &loop, &QEventLoop::quit);
        QTimer::singleShot(hostileTimeoutMs, &loop, [&loop, &timedOut] {
            timedOut = true;
            loop.quit();
        });
        QCoreApplication::processEvents();
        before = statusKb("VmRSS:");
        resetPeak();
        QElapsedTimer timer;
        timer.start();
        window.getDatabase();
        loop.exec();
        ms = timer.nsecsElapsed() / 1e6;
        entries = window.getCommunityPatchesTab()->tableWidget()->rowCount();
        if (window.getCommunityPatchesTab()->isListRequested())
            entries = -1;
        server.kill();
        server.waitForFinished();
    }
    std::printf("%.1f %ld %ld %d\n", ms, statusKb("VmHWM:") - before, entries, timedOut ? 1 : 0);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    if (argc == 3 && qstrcmp(argv[1], "--hostile") == 0) {
        QApplication app(argc, argv);
        return runHostile(atoi(argv[2]));
    }
    if (argc == 4 && qstrcmp(argv[1], "--serve") == 0) {
        QCoreApplication app(argc, argv);
        return serveHostile(atoi(argv[2]), atoi(argv[3]));
    }

    QApplication app(argc, argv);
    QNetworkAccessManager manager;

    for (int count : {1000, 4000, 16000, 64000}) {
        RepositoryServer server;
        server.start();
        fill(server, count);
        const QByteArray body = fetch(manager, server.endpoint() + "?action=list_patches");
        RepositoryPatches list;
        const double ms = medianMs(count > 16000 ? 5 : 11, [&] {
            if (!RepositoryReader::readPatches(body, list) || list.size() != count)
                std::abort();
        });
        std::printf("read %5d patches (%5.2f MB): %8.1f ms\n", count, body.size() / 1e6, ms);
    }

    RepositoryServer server;
    server.start();
    fill(server, 4000);
    Repository repository(nullptr, nullptr);
    repository.setBaseUrl(server.endpoint());
    QEventLoop loop;
    QObject::connect(&repository, &Repository::replyBlockList, &loop, &QEventLoop::quit);
    const double ms = medianMs(11, [&] {
        repository.getCommunityDatabase();
        loop.exec();
    });
    std::printf("community lists of 4000 patches through the client: %.1f ms\n", ms);

    std::printf("hostile lists of 16 MiB, each in a process of its own:\n");
    std::fflush(stdout);
    for (int index = 0; index < int(std::size(hostileCases)); ++index) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--hostile"), QString::number(index)});
        if (!child.waitForFinished(-1) || child.exitCode() != 0)
            qFatal("hostile case %d failed", index);
        const QList<QByteArray> v = child.readAllStandardOutput().trimmed().split(' ');
        if (v.size() != 4)
            qFatal("hostile case %d printed no figures", index);
        const long entries = v[2].toLong();
        const QString time =
            v[3] == "1" ? QStringLiteral("timed out after %1 s").arg(hostileTimeoutMs / 1000)
                        : QString::asprintf("%8.1f ms", v[0].toDouble());
        std::printf("  %-42s %s  peak +%5ld MB  %s\n", hostileCases[index].name, qPrintable(time),
                    v[1].toLong() / 1024,
                    entries < 0 ? "refused"
                                : qPrintable(QStringLiteral("%1 entries").arg(entries)));
        std::fflush(stdout);
    }
    return 0;
}
