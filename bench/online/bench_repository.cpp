// Times reading the repository's patch list as our server writes it, for lists of 1000 to
// 64000 entries (the last near the 16 MiB reply bound), and the community lists fetched
// through the client from the server on this machine. Prints medians in milliseconds.
#include "Repository.h"
#include "RepositoryReader.h"
#include "RepositoryServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

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

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
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
    return 0;
}
