// knotlattice-repository [--port N] [--listen ADDRESS] [--seed FOLDER]
//
// Runs the repository server in memory until it is stopped; nothing is written to disk.
#include "RepositoryServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("knotlattice-repository"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The Knotlattice repository server. It keeps users, patches, blocks and "
                       "comments in memory; the editor reaches it at the address it prints."));
    parser.addHelpOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Port to listen on (default %1; 0 picks a free one).")
            .arg(RepositoryServer::defaultPort),
        QStringLiteral("N"), QString::number(RepositoryServer::defaultPort));
    const QCommandLineOption listenOption(
        QStringLiteral("listen"),
        QStringLiteral("Address to listen on (default 127.0.0.1; 0.0.0.0 serves the local "
                       "network)."),
        QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption seedOption(
        QStringLiteral("seed"),
        QStringLiteral("Folder with users.txt, patches/, blocks/ and version.txt to start "
                       "from."),
        QStringLiteral("FOLDER"));
    parser.addOptions({portOption, listenOption, seedOption});
    parser.process(app);

    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "knotlattice-repository: unexpected argument %s\n",
                     qPrintable(parser.positionalArguments().first()));
        return 2;
    }
    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "knotlattice-repository: --port needs a number from 0 to 65535\n");
        return 2;
    }
    const QHostAddress address(parser.value(listenOption));
    if (address.isNull()) {
        std::fprintf(stderr, "knotlattice-repository: --listen needs an IP address\n");
        return 2;
    }

    RepositoryServer server;
    if (parser.isSet(seedOption)) {
        QString error;
        if (!server.loadSeed(parser.value(seedOption), &error)) {
            std::fprintf(stderr, "knotlattice-repository: %s\n", qPrintable(error));
            return 1;
        }
    }
    if (!server.start(quint16(port), address)) {
        std::fprintf(stderr, "knotlattice-repository: cannot listen on %s port %u: %s\n",
                     qPrintable(address.toString()), port, qPrintable(server.errorString()));
        return 1;
    }
    // The query carries the password, so requests are shown by their action only.
    QObject::connect(&server, &RepositoryServer::requestReceived, [](const QString& action) {
        std::printf("request %s\n", action.isEmpty() ? "(none)" : qPrintable(action));
        std::fflush(stdout);
    });
    std::printf("Knotlattice repository at %s\n", qPrintable(server.endpoint()));
    std::printf("%d users, %d patches, %d blocks\n", int(server.users().size()),
                int(server.patches().size()), int(server.blocks().size()));
    if (server.users().isEmpty())
        std::printf("No user can log in: give --seed FOLDER with a users.txt\n");
    std::fflush(stdout);
    return app.exec();
}
