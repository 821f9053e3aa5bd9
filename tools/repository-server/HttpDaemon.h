#pragma once

#include "RepositoryProtocol.h"
#include "ServerLimits.h"

#include <QHostAddress>
#include <QString>

#include <atomic>
#include <functional>
#include <mutex>

struct MHD_Daemon;
struct MHD_Connection;
class RepositoryStore;

// The repository on HTTP, through libmicrohttpd: a pool of worker threads on epoll, a cap on
// connections, an idle timeout, and the bounds of ServerLimits on headers and bodies. Multipart
// bodies go through libmicrohttpd's post processor; the query is read raw, so "+" stays "+".
class HttpDaemon
{
public:
    struct Options
    {
        QHostAddress address = QHostAddress(QHostAddress::LocalHost);
        // 0 picks a free one.
        quint16 port = 0;
        // 0: one per processor core.
        unsigned threads = 0;
        unsigned maxConnections = serverlimits::defaultMaxConnections;
        // 0: no limit per client address.
        unsigned maxPerAddress = serverlimits::defaultMaxPerAddress;
        unsigned idleTimeoutSeconds = serverlimits::defaultIdleTimeoutSeconds;
        // Gets each finished request's log line (RequestLog); no log when empty. Called on the
        // worker threads.
        std::function<void(const QByteArray&)> log;
        // libmicrohttpd's own messages; dropped when empty.
        std::function<void(const QString&)> diagnostics;
    };

    explicit HttpDaemon(RepositoryStore& store);
    ~HttpDaemon();
    HttpDaemon(const HttpDaemon&) = delete;
    HttpDaemon& operator=(const HttpDaemon&) = delete;

    bool start(const Options& options, QString* error);
    // Closes every connection and waits for the workers.
    void stop();
    bool isRunning() const { return daemon != nullptr; }
    quint16 port() const { return boundPort; }
    // "http://ADDRESS:PORT/action.php".
    QString endpoint() const;
    // Upload bytes held by all connections at this moment.
    qint64 bufferedUploadBytes() const { return buffered.load(); }

private:
    struct Exchange;
    // libmicrohttpd's callbacks, in the source.
    friend struct HttpDaemonCallbacks;

    int firstCall(MHD_Connection* connection, Exchange& exchange, const char* method,
                  const char* version);
    int queueReply(MHD_Connection* connection, Exchange& exchange,
                   const RepositoryProtocol::Reply& reply);
    void noteDiagnostic(const QString& message);

    RepositoryProtocol protocol;
    Options options;
    MHD_Daemon* daemon = nullptr;
    quint16 boundPort = 0;
    std::atomic<qint64> buffered{0};
    std::mutex diagnosticMutex;
    QString lastDiagnostic;
};
