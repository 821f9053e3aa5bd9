#include "HttpDaemon.h"

#include "RequestLog.h"

#include <QDateTime>
#include <QThread>

#include <arpa/inet.h>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <microhttpd.h>
#include <netinet/in.h>

// One request from its first line to its end.
struct HttpDaemon::Exchange
{
    QByteArray target; // as received: path and raw query
    QueryString::Pairs query;
    QString address;
    QByteArray method;
    bool started = false;
    qint64 declared = 0;
    qint64 received = 0;
    qint64 reserved = 0;
    MHD_PostProcessor* post = nullptr;
    QHash<QByteArray, QByteArray> parts;
    QByteArray currentKey;
    bool skippingKey = false;
    bool malformed = false;
    // A change refused from its query alone: the body is read and dropped, then this is the
    // answer.
    bool refusedEarly = false;
    RepositoryProtocol::Reply early;
    int checkedUser = 0;
    int status = 0;
};

namespace {

QString clientAddress(MHD_Connection* connection)
{
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr)
        return QString();
    char text[INET6_ADDRSTRLEN] = {0};
    const sockaddr* address = info->client_addr;
    if (address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                  sizeof text);
    else if (address->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                  sizeof text);
    return QString::fromLatin1(text);
}

MHD_Result addHeaderBytes(void* cls, MHD_ValueKind, const char* key, const char* value)
{
    // Name, ": ", value and the line end, as they came.
    *static_cast<qint64*>(cls) += qint64(std::strlen(key)) + (value ? std::strlen(value) : 0) + 4;
    return MHD_YES;
}

bool isMultipart(const char* contentType)
{
    static const char prefix[] = "multipart/form-data";
    return contentType && qstrnicmp(contentType, prefix, sizeof prefix - 1) == 0;
}

RepositoryProtocol::Reply refusal(int status, const char* text)
{
    RepositoryProtocol::Reply r;
    r.status = status;
    r.body = text;
    return r;
}

} // namespace

struct HttpDaemonCallbacks
{
    static void* beginRequest(void* cls, const char* uri, MHD_Connection* connection)
    {
        auto* self = static_cast<HttpDaemon*>(cls);
        auto* exchange = new HttpDaemon::Exchange;
        exchange->target = uri;
        exchange->query = QueryString::split(QueryString::queryOf(exchange->target));
        if (self->options.log)
            exchange->address = clientAddress(connection);
        return exchange;
    }

    static MHD_Result handleRequest(void* cls, MHD_Connection* connection, const char*,
                                    const char* method, const char* version, const char* uploadData,
                                    size_t* uploadDataSize, void** context)
    {
        auto* self = static_cast<HttpDaemon*>(cls);
        // beginRequest made it.
        auto* exchange = static_cast<HttpDaemon::Exchange*>(*context);
        if (!exchange->started)
            return MHD_Result(self->firstCall(connection, *exchange, method, version));
        if (*uploadDataSize) {
            exchange->received += qint64(*uploadDataSize);
            // libmicrohttpd keeps to the declared length; this only guards that promise.
            if (exchange->received > serverlimits::maxBodyBytes)
                return MHD_NO;
            if (exchange->post && !exchange->malformed &&
                MHD_post_process(exchange->post, uploadData, *uploadDataSize) != MHD_YES)
                exchange->malformed = true;
            *uploadDataSize = 0;
            return MHD_YES;
        }
        if (exchange->post) {
            // Flushes the last part; a body without its closing boundary is malformed.
            if (MHD_destroy_post_processor(exchange->post) != MHD_YES)
                exchange->malformed = true;
            exchange->post = nullptr;
        }
        if (exchange->refusedEarly)
            return MHD_Result(self->queueReply(connection, *exchange, exchange->early));
        if (exchange->malformed)
            return MHD_Result(self->queueReply(connection, *exchange,
                                               refusal(400, "The form data is malformed")));
        RepositoryProtocol::Request request;
        request.method = exchange->method;
        request.path = QueryString::pathOf(exchange->target);
        request.query = exchange->query;
        request.parts.swap(exchange->parts);
        request.checkedUser = exchange->checkedUser;
        return MHD_Result(self->queueReply(connection, *exchange, self->protocol.answer(request)));
    }

    static MHD_Result postPart(void* cls, MHD_ValueKind, const char* key, const char*, const char*,
                               const char*, const char* data, uint64_t offset, size_t size)
    {
        auto* exchange = static_cast<HttpDaemon::Exchange*>(cls);
        const QByteArray name(key ? key : "");
        // A value starts at offset 0; only the first part of each name counts, and only names
        // an action reads are kept (the others' bytes count against the body bound all the
        // same).
        const bool continuing =
            name == exchange->currentKey && (offset > 0 || exchange->parts.value(name).isEmpty());
        if (!continuing) {
            exchange->currentKey = name;
            exchange->skippingKey =
                !RepositoryProtocol::readsPart(name) || exchange->parts.contains(name);
            if (!exchange->skippingKey)
                exchange->parts.insert(name, QByteArray(""));
        }
        if (!exchange->skippingKey && size)
            exchange->parts[name].append(data, int(size));
        return MHD_YES;
    }

    static void endRequest(void* cls, MHD_Connection*, void** context, MHD_RequestTerminationCode)
    {
        auto* self = static_cast<HttpDaemon*>(cls);
        auto* exchange = static_cast<HttpDaemon::Exchange*>(*context);
        if (!exchange)
            return;
        if (self->options.log)
            self->options.log(RequestLog::line(
                QDateTime::currentSecsSinceEpoch(), exchange->address, exchange->method,
                QueryString::value(exchange->query, QStringLiteral("action")), exchange->status));
        if (exchange->post)
            MHD_destroy_post_processor(exchange->post);
        self->buffered -= exchange->reserved;
        delete exchange;
        *context = nullptr;
    }

    static void diagnostic(void* cls, const char* format, va_list arguments)
    {
        auto* self = static_cast<HttpDaemon*>(cls);
        char text[512];
        std::vsnprintf(text, sizeof text, format, arguments);
        self->noteDiagnostic(QString::fromLocal8Bit(text).trimmed());
    }
};

HttpDaemon::HttpDaemon(RepositoryStore& store) : protocol(store) {}

HttpDaemon::~HttpDaemon()
{
    stop();
}

void HttpDaemon::noteDiagnostic(const QString& message)
{
    {
        const std::lock_guard<std::mutex> lock(diagnosticMutex);
        lastDiagnostic = message;
    }
    if (options.diagnostics)
        options.diagnostics(message);
}

int HttpDaemon::firstCall(MHD_Connection* connection, Exchange& exchange, const char* method,
                          const char* version)
{
    exchange.started = true;
    exchange.method = method;
    qint64 headerBytes =
        qint64(exchange.target.size() + std::strlen(method) + std::strlen(version)) + 4;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, &addHeaderBytes, &headerBytes);
    if (headerBytes > serverlimits::maxHeaderBytes)
        return queueReply(connection, exchange,
                          refusal(431, "The request's headers are larger than 64 KiB"));
    if (MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_TRANSFER_ENCODING))
        return queueReply(connection, exchange, refusal(411, "A body needs a Content-Length"));
    if (const char* length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                                         MHD_HTTP_HEADER_CONTENT_LENGTH)) {
        bool ok = false;
        exchange.declared = QByteArray(length).trimmed().toLongLong(&ok);
        if (!ok || exchange.declared < 0)
            return queueReply(connection, exchange, refusal(400, "Bad Content-Length"));
    }
    if (exchange.declared > serverlimits::maxBodyBytes)
        return queueReply(connection, exchange,
                          refusal(413, "The body is larger than this repository accepts"));
    const char* contentType =
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_TYPE);
    if (exchange.declared > 0 && std::strcmp(method, MHD_HTTP_METHOD_POST) == 0 &&
        isMultipart(contentType)) {
        // A change without a valid password holds no room for its upload: a client without an
        // account cannot keep others from uploading.
        RepositoryProtocol::Request early;
        early.method = exchange.method;
        early.path = QueryString::pathOf(exchange.target);
        early.query = exchange.query;
        if (protocol.refusedBeforeBody(early, &exchange.early, &exchange.checkedUser)) {
            exchange.refusedEarly = true;
            return MHD_YES;
        }
        // Held until the request ends, so the bound covers every upload in progress.
        if (buffered.fetch_add(exchange.declared) + exchange.declared >
            serverlimits::maxBufferedUploadBytes) {
            buffered -= exchange.declared;
            return queueReply(connection, exchange,
                              refusal(503, "Too many uploads at once; try again"));
        }
        exchange.reserved = exchange.declared;
        exchange.post = MHD_create_post_processor(connection, serverlimits::postBufferBytes,
                                                  &HttpDaemonCallbacks::postPart, &exchange);
        if (!exchange.post)
            exchange.malformed = true;
    }
    return MHD_YES;
}

int HttpDaemon::queueReply(MHD_Connection* connection, Exchange& exchange,
                           const RepositoryProtocol::Reply& reply)
{
    // The response keeps a share of the body, not a copy: downloads reach 16 MiB.
    auto* body = new QByteArray(reply.body);
    MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
        size_t(body->size()), const_cast<char*>(body->constData()),
        [](void* kept) { delete static_cast<QByteArray*>(kept); }, body);
    if (!response) {
        delete body;
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.constData());
    exchange.status = reply.status;
    const MHD_Result queued = MHD_queue_response(connection, unsigned(reply.status), response);
    MHD_destroy_response(response);
    return queued;
}

bool HttpDaemon::start(const Options& o, QString* error)
{
    stop();
    options = o;
    {
        const std::lock_guard<std::mutex> lock(diagnosticMutex);
        lastDiagnostic.clear();
    }
    const bool v6 = o.address.protocol() == QAbstractSocket::IPv6Protocol;
    sockaddr_in address4{};
    sockaddr_in6 address6{};
    const sockaddr* address = nullptr;
    if (v6) {
        address6.sin6_family = AF_INET6;
        address6.sin6_port = htons(o.port);
        const Q_IPV6ADDR bytes = o.address.toIPv6Address();
        std::memcpy(&address6.sin6_addr, &bytes, sizeof bytes);
        address = reinterpret_cast<const sockaddr*>(&address6);
    } else {
        address4.sin_family = AF_INET;
        address4.sin_port = htons(o.port);
        address4.sin_addr.s_addr = htonl(o.address.toIPv4Address());
        address = reinterpret_cast<const sockaddr*>(&address4);
    }
    // libmicrohttpd shares the cap among the workers; a worker with no share never wakes to
    // stop.
    const unsigned threads =
        qBound(1u, o.threads ? o.threads : unsigned(QThread::idealThreadCount()),
               qMax(1u, o.maxConnections));
    const unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ERROR_LOG |
                           (v6 ? MHD_USE_IPv6 : 0);
    daemon = MHD_start_daemon(
        flags, o.port, nullptr, nullptr,
        reinterpret_cast<MHD_AccessHandlerCallback>(&HttpDaemonCallbacks::handleRequest), this,
        MHD_OPTION_EXTERNAL_LOGGER, &HttpDaemonCallbacks::diagnostic, this, MHD_OPTION_SOCK_ADDR,
        address, MHD_OPTION_THREAD_POOL_SIZE, threads, MHD_OPTION_CONNECTION_LIMIT,
        o.maxConnections, MHD_OPTION_PER_IP_CONNECTION_LIMIT, o.maxPerAddress,
        MHD_OPTION_CONNECTION_TIMEOUT, o.idleTimeoutSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        serverlimits::connectionMemoryBytes, MHD_OPTION_URI_LOG_CALLBACK,
        &HttpDaemonCallbacks::beginRequest, this, MHD_OPTION_NOTIFY_COMPLETED,
        &HttpDaemonCallbacks::endRequest, this, MHD_OPTION_END);
    if (!daemon) {
        const std::lock_guard<std::mutex> lock(diagnosticMutex);
        if (error)
            *error = lastDiagnostic.isEmpty() ? QStringLiteral("the web server did not start")
                                              : lastDiagnostic;
        return false;
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_BIND_PORT);
    boundPort = info ? info->port : o.port;
    return true;
}

void HttpDaemon::stop()
{
    if (daemon)
        MHD_stop_daemon(daemon);
    daemon = nullptr;
}

QString HttpDaemon::endpoint() const
{
    QString host = options.address.toString();
    if (options.address.protocol() == QAbstractSocket::IPv6Protocol)
        host = "[" + host + "]";
    return QStringLiteral("http://%1:%2/action.php").arg(host).arg(boundPort);
}
