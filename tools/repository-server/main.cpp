// knotlattice-repository [--data FILE] [--seed FOLDER] [--add-user NAME] [--port N]
//                        [--listen ADDRESS] [--max-connections N] [--max-per-address N]
//                        [--idle-timeout SECONDS]
//
// The repository server: keeps users, patches, blocks and comments in one SQLite file and
// answers the editor on HTTP until it gets SIGINT or SIGTERM.
#include "HttpDaemon.h"
#include "RepositoryStore.h"
#include "SeedImport.h"
#include "ServerLimits.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <mutex>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr quint16 defaultPort = 8470;

int usageError(const QString& text)
{
    std::fprintf(stderr, "knotlattice-repository: %s\n", qPrintable(text));
    return 2;
}

int failure(const QString& text)
{
    std::fprintf(stderr, "knotlattice-repository: %s\n", qPrintable(text));
    return 1;
}

QString defaultDataFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/repository.sqlite");
}

// The first line of standard input, without echo when it is a terminal.
QByteArray readPassword(const QString& name)
{
    const bool terminal = isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        std::fprintf(stderr, "Password for %s: ", qPrintable(name));
        std::fflush(stderr);
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    QFile in;
    QByteArray line;
    if (in.open(stdin, QIODevice::ReadOnly))
        line = in.readLine(4096);
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
    }
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return line;
}

// Lets the process hold `wanted` file handles when the hard limit allows; gives how many it
// may hold.
rlim_t raiseOpenFileLimit(rlim_t wanted)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return wanted;
    if (limit.rlim_cur < wanted) {
        rlimit raised = limit;
        raised.rlim_cur =
            limit.rlim_max == RLIM_INFINITY ? wanted : std::min<rlim_t>(wanted, limit.rlim_max);
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("knotlattice-repository"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The Knotlattice repository server. It keeps users, patches, blocks and "
                       "comments in one database file; the editor reaches it at the address it "
                       "prints."));
    parser.addHelpOption();
    const QCommandLineOption dataOption(
        QStringLiteral("data"),
        QStringLiteral("The database file (default %1).").arg(defaultDataFile()),
        QStringLiteral("FILE"));
    const QCommandLineOption seedOption(
        QStringLiteral("seed"),
        QStringLiteral("Fill an empty database from a folder with users.txt, patches/, blocks/ "
                       "and version.txt."),
        QStringLiteral("FOLDER"));
    const QCommandLineOption addUserOption(
        QStringLiteral("add-user"),
        QStringLiteral("Add a user, reading the password from standard input, and exit."),
        QStringLiteral("NAME"));
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Port to listen on (default %1; 0 picks a free one).").arg(defaultPort),
        QStringLiteral("N"), QString::number(defaultPort));
    const QCommandLineOption listenOption(
        QStringLiteral("listen"),
        QStringLiteral("Address to listen on (default 127.0.0.1; 0.0.0.0 serves the local "
                       "network)."),
        QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption connectionsOption(
        QStringLiteral("max-connections"),
        QStringLiteral("Connections served at once (default %1).")
            .arg(serverlimits::defaultMaxConnections),
        QStringLiteral("N"), QString::number(serverlimits::defaultMaxConnections));
    const QCommandLineOption perAddressOption(
        QStringLiteral("max-per-address"),
        QStringLiteral("Connections from one client address at once (default 0: no limit; "
                       "behind a reverse proxy every client has the proxy's address)."),
        QStringLiteral("N"), QString::number(serverlimits::defaultMaxPerAddress));
    const QCommandLineOption idleOption(
        QStringLiteral("idle-timeout"),
        QStringLiteral("Seconds a connection may stay silent before it is closed (default %1).")
            .arg(serverlimits::defaultIdleTimeoutSeconds),
        QStringLiteral("SECONDS"), QString::number(serverlimits::defaultIdleTimeoutSeconds));
    parser.addOptions({dataOption, seedOption, addUserOption, portOption, listenOption,
                       connectionsOption, perAddressOption, idleOption});
    parser.process(app);

    if (!parser.positionalArguments().isEmpty())
        return usageError(
            QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));
    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535)
        return usageError(QStringLiteral("--port needs a number from 0 to 65535"));
    const QHostAddress address(parser.value(listenOption));
    if (address.isNull())
        return usageError(QStringLiteral("--listen needs an IP address"));
    auto count = [&parser](const QCommandLineOption& option, uint low, uint high, uint* out) {
        bool good = false;
        *out = parser.value(option).toUInt(&good);
        return good && *out >= low && *out <= high;
    };
    uint maxConnections = 0;
    uint maxPerAddress = 0;
    uint idleTimeout = 0;
    if (!count(connectionsOption, 1, 1000000, &maxConnections))
        return usageError(QStringLiteral("--max-connections needs a number from 1 to 1000000"));
    if (!count(perAddressOption, 0, 1000000, &maxPerAddress))
        return usageError(QStringLiteral("--max-per-address needs a number from 0 to 1000000"));
    if (!count(idleOption, 1, 86400, &idleTimeout))
        return usageError(QStringLiteral("--idle-timeout needs a number of seconds from 1 to "
                                         "86400"));
    const QString seed = parser.value(seedOption);
    if (parser.isSet(seedOption) && !QFileInfo(seed).isDir())
        return failure(QStringLiteral("no such folder: %1").arg(seed));
    const QString newUser = parser.value(addUserOption);
    if (parser.isSet(addUserOption) && !RepositoryStore::acceptableUserName(newUser))
        return usageError(QStringLiteral("--add-user needs a name without control characters "
                                         "or blanks around it, at most 100 characters"));

    const QString dataFile =
        parser.isSet(dataOption) ? parser.value(dataOption) : defaultDataFile();
    QDir().mkpath(QFileInfo(dataFile).absolutePath());
    QString error;
    std::unique_ptr<RepositoryStore> store = RepositoryStore::open(dataFile, &error);
    if (!store)
        return failure(QStringLiteral("cannot open the database %1").arg(error));

    // Shown after the address, which comes first.
    QStringList notes;
    if (parser.isSet(seedOption)) {
        switch (SeedImport::apply(*store, seed, &error)) {
        case SeedImport::Result::Applied:
            notes << QStringLiteral("Seed %1 applied").arg(seed);
            break;
        case SeedImport::Result::NotEmpty:
            notes << QStringLiteral("Seed not applied: the database already holds entries");
            break;
        case SeedImport::Result::Failed:
            return failure(error);
        }
    }
    if (parser.isSet(addUserOption)) {
        const QByteArray password = readPassword(newUser);
        if (password.isEmpty())
            return failure(QStringLiteral("no password on standard input; nothing was added"));
        int uid = 0;
        switch (store->addUser(newUser, password, &uid)) {
        case RepositoryStore::Outcome::Done:
            std::printf("Added user %s (uid %d) to %s\n", qPrintable(newUser), uid,
                        qPrintable(dataFile));
            return 0;
        case RepositoryStore::Outcome::Refused:
            return failure(QStringLiteral("a user %1 exists already").arg(newUser));
        case RepositoryStore::Outcome::Failed:
            return failure(QStringLiteral("cannot add the user"));
        }
    }

    auto reservedHandles = [](unsigned threads) {
        return rlim_t(serverlimits::reservedFileHandles +
                      serverlimits::fileHandlesPerWorker * threads);
    };
    unsigned threads = unsigned(qMax(1, QThread::idealThreadCount()));
    const rlim_t handles = raiseOpenFileLimit(maxConnections + reservedHandles(threads));
    while (threads > 1 &&
           handles < reservedHandles(threads) + serverlimits::minConnectionsPerWorker * threads)
        --threads;
    if (handles < maxConnections + reservedHandles(threads)) {
        const uint fitting =
            handles > reservedHandles(threads) ? uint(handles - reservedHandles(threads)) : 1u;
        notes << QStringLiteral("The open-file limit (%1) allows %2 connections at once")
                     .arg(quint64(handles))
                     .arg(fitting);
        maxConnections = fitting;
    }

    // The workers inherit this mask, so the signals reach sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::mutex logMutex;
    HttpDaemon::Options options;
    options.address = address;
    options.port = quint16(port);
    options.threads = threads;
    options.maxConnections = maxConnections;
    options.maxPerAddress = maxPerAddress;
    options.idleTimeoutSeconds = idleTimeout;
    options.log = [&logMutex](const QByteArray& line) {
        const std::lock_guard<std::mutex> lock(logMutex);
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fflush(stdout);
    };
    options.diagnostics = [&logMutex](const QString& message) {
        const std::lock_guard<std::mutex> lock(logMutex);
        std::fprintf(stderr, "knotlattice-repository: %s\n", qPrintable(message));
    };
    HttpDaemon daemon(*store);
    if (!daemon.start(options, &error))
        return failure(QStringLiteral("cannot listen on %1 port %2: %3")
                           .arg(address.toString())
                           .arg(port)
                           .arg(error));

    RepositoryStore::Counts counts;
    store->counts(counts);
    {
        const std::lock_guard<std::mutex> lock(logMutex);
        std::printf("Knotlattice repository at %s\n", qPrintable(daemon.endpoint()));
        std::printf("%d users, %d patches, %d blocks\n", counts.users, counts.patches,
                    counts.blocks);
        std::printf("Data: %s\n", qPrintable(QFileInfo(dataFile).absoluteFilePath()));
        for (const QString& note : qAsConst(notes))
            std::printf("%s\n", qPrintable(note));
        if (counts.users == 0)
            std::printf("No user can log in: add one with --add-user NAME\n");
        std::fflush(stdout);
    }

    int received = 0;
    sigwait(&stopSignals, &received);
    daemon.stop();
    return 0;
}
