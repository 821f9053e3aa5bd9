#include "RepositoryServer.h"

#include "HttpDaemon.h"
#include "QueryString.h"
#include "RepositoryStore.h"
#include "SeedImport.h"

#include <QSslSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/socket.h>

// One client connection and its connection to the real server.
struct RepositoryServer::Link
{
    QTcpSocket* client = nullptr;
    // A child of the client socket; null until the first relayed request.
    QTcpSocket* upstream = nullptr;
    QByteArray fromClient;
    QByteArray fromUpstream;
    // Waiting for the real server's answer to the current request.
    bool forwarding = false;
    Fault mode = Fault::Body; // Body: plain relay; SlowBody or Hold as scripted
    bool requestClose = false;
    // Nothing more is answered on this connection.
    bool silent = false;
    // A request this layer cannot frame: bytes go both ways unread.
    bool raw = false;
};

namespace {

// Requests larger than this are relayed unread.
constexpr int maxFramedHead = 64 * 1024;
constexpr qint64 maxFramedBody = 64 * 1024 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}

QByteArray headerOf(const QList<QPair<QByteArray, QByteArray>>& headers, const QByteArray& name)
{
    const QByteArray lower = name.toLower();
    for (const auto& h : headers) {
        if (h.first == lower)
            return h.second;
    }
    return QByteArray();
}

// The parameter `key` of a header value such as `form-data; name="file"`.
QByteArray headerParameter(const QByteArray& value, const QByteArray& key)
{
    const QList<QByteArray> pieces = value.split(';');
    for (int i = 1; i < pieces.size(); ++i) {
        const QByteArray piece = pieces.at(i).trimmed();
        const int eq = piece.indexOf('=');
        if (eq < 0 || piece.left(eq).trimmed().toLower() != key)
            continue;
        QByteArray v = piece.mid(eq + 1).trimmed();
        if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"'))
            v = v.mid(1, v.size() - 2);
        return v;
    }
    return QByteArray();
}

QList<QPair<QByteArray, QByteArray>> parseHeaderLines(const QByteArray& block)
{
    QList<QPair<QByteArray, QByteArray>> headers;
    for (const QByteArray& line : block.split('\n')) {
        const QByteArray l = line.endsWith('\r') ? line.left(line.size() - 1) : line;
        const int colon = l.indexOf(':');
        if (colon <= 0)
            continue;
        headers.append({l.left(colon).trimmed().toLower(), l.mid(colon + 1).trimmed()});
    }
    return headers;
}

// The parts of a multipart/form-data body as the client wrote them, for tests that check what
// was sent; empty when the body does not have that form. (The real server reads bodies with
// its own multipart reader.)
QList<RepositoryServer::Part> recordParts(const QByteArray& contentType, const QByteArray& body)
{
    QList<RepositoryServer::Part> parts;
    const QByteArray boundary = headerParameter(contentType, "boundary");
    if (!contentType.trimmed().toLower().startsWith("multipart/form-data") || boundary.isEmpty())
        return parts;
    const QByteArray delimiter = "--" + boundary;
    int at = body.indexOf(delimiter);
    while (at >= 0) {
        at += delimiter.size();
        if (body.mid(at, 2) == "--")
            break;
        if (body.mid(at, 2) == "\r\n")
            at += 2;
        const int headEnd = body.indexOf("\r\n\r\n", at);
        if (headEnd < 0)
            break;
        const int next = body.indexOf("\r\n" + delimiter, headEnd + 4);
        if (next < 0)
            break;
        RepositoryServer::Part part;
        part.headers = parseHeaderLines(body.mid(at, headEnd - at));
        part.name = headerParameter(part.header("content-disposition"), "name");
        part.body = body.mid(headEnd + 4, next - headEnd - 4);
        parts << part;
        at = next + 2;
    }
    return parts;
}

QByteArray serialise(int status, const QByteArray& contentType, const QByteArray& body,
                     bool withLength, const QList<QPair<QByteArray, QByteArray>>& headers,
                     bool close)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + " " + reasonPhrase(status) + "\r\n";
    out += "Content-Type: " + contentType + "\r\n";
    if (withLength)
        out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    for (const auto& h : headers)
        out += h.first + ": " + h.second + "\r\n";
    out += close ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    out += "\r\n";
    return out + body;
}

// The length of the first whole answer in `bytes` (head and body), 0 while incomplete; -1 when
// its end is the end of the connection. `close` tells whether the server closes after it.
qint64 answerLength(const QByteArray& bytes, bool* close)
{
    const int headEnd = bytes.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return 0;
    const auto headers = parseHeaderLines(bytes.left(headEnd));
    *close = headerOf(headers, "connection").toLower() == "close";
    bool ok = false;
    const qint64 length = headerOf(headers, "content-length").toLongLong(&ok);
    if (!ok)
        return -1;
    const qint64 total = headEnd + 4 + length;
    return bytes.size() >= total ? total : 0;
}

} // namespace

QByteArray RepositoryServer::Part::header(const QByteArray& name) const
{
    return headerOf(headers, name);
}

QString RepositoryServer::Request::value(const QString& key) const
{
    return QueryString::value(query, key);
}

QByteArray RepositoryServer::Request::header(const QByteArray& name) const
{
    return headerOf(headers, name);
}

const RepositoryServer::Part* RepositoryServer::Request::part(const QByteArray& name) const
{
    for (const Part& p : parts) {
        if (p.name == name)
            return &p;
    }
    return nullptr;
}

RepositoryServer::RepositoryServer(QObject* parent)
    : QTcpServer(parent), folder(std::make_unique<QTemporaryDir>())
{
    QString error;
    store = RepositoryStore::open(folder->filePath(QStringLiteral("repository.sqlite")), &error);
    if (!store)
        qFatal("RepositoryServer: %s", qPrintable(error));
    daemon = std::make_unique<HttpDaemon>(*store);
    HttpDaemon::Options options;
    options.threads = 2;
    if (!daemon->start(options, &error))
        qFatal("RepositoryServer: %s", qPrintable(error));
}

RepositoryServer::~RepositoryServer()
{
    // The connections' handlers use this object's members, which are gone before the base
    // class would delete the sockets.
    for (auto& entry : links) {
        entry.first->disconnect();
        if (entry.second->upstream)
            entry.second->upstream->disconnect();
        delete entry.first;
    }
    links.clear();
    daemon.reset();
    store.reset();
}

bool RepositoryServer::start(quint16 port, const QHostAddress& address)
{
    return listen(address, port);
}

QString RepositoryServer::endpoint() const
{
    QString host = serverAddress().toString();
    if (serverAddress().protocol() == QAbstractSocket::IPv6Protocol)
        host = "[" + host + "]";
    return QStringLiteral("%1://%2:%3/action.php")
        .arg(tls ? QStringLiteral("https") : QStringLiteral("http"), host)
        .arg(serverPort());
}

void RepositoryServer::useTls(const QSslCertificate& c, const QSslKey& k)
{
    tls = true;
    certificate = c;
    key = k;
}

// --- The store -----------------------------------------------------------------------------

int RepositoryServer::addUser(const QString& name, const QString& password)
{
    int uid = 0;
    if (store->addUser(name, password.toUtf8(), &uid) != RepositoryStore::Outcome::Done)
        return 0;
    passwords.insert(uid, password);
    return uid;
}

int RepositoryServer::addPatch(Patch patch)
{
    return store->addPatch(patch);
}

void RepositoryServer::addPatches(const QList<Patch>& list)
{
    store->transaction([&] {
        for (const Patch& p : list) {
            if (!store->addPatch(p))
                return false;
        }
        return true;
    });
}

int RepositoryServer::addBlock(Block block)
{
    return store->addBlock(block);
}

int RepositoryServer::addComment(Comment comment)
{
    int id = 0;
    store->addComment(comment, &id);
    return id;
}

void RepositoryServer::setVersion(int major, int sub, int build)
{
    store->setVersion(major, sub, build);
}

void RepositoryServer::setTime(qint64 seconds)
{
    store->setFixedTime(seconds);
}

bool RepositoryServer::loadSeed(const QString& seedFolder, QString* error)
{
    switch (SeedImport::apply(*store, seedFolder, error)) {
    case SeedImport::Result::Applied:
        return true;
    case SeedImport::Result::NotEmpty:
        if (error)
            *error = QStringLiteral("the repository holds entries already");
        return false;
    case SeedImport::Result::Failed:
        return false;
    }
    return false;
}

QList<RepositoryServer::User> RepositoryServer::users() const
{
    QList<RepositoryStore::User> stored;
    store->users(stored);
    QList<User> out;
    for (const RepositoryStore::User& u : qAsConst(stored))
        out.append({u.uid, u.name, passwords.value(u.uid)});
    return out;
}

QList<RepositoryServer::Patch> RepositoryServer::patches() const
{
    QList<Patch> out;
    store->patches(out, -1, true);
    return out;
}

QList<RepositoryServer::Block> RepositoryServer::blocks() const
{
    QList<Block> out;
    store->blocks(out, -1, true);
    return out;
}

QList<RepositoryServer::Comment> RepositoryServer::comments() const
{
    QList<Comment> out;
    store->comments(out);
    return out;
}

// --- Scripts -------------------------------------------------------------------------------

void RepositoryServer::scriptFault(Fault fault, const QString& action, int times)
{
    for (int i = 0; i < times; ++i)
        faults.append({fault, action, QByteArray(), true});
}

void RepositoryServer::scriptBody(const QByteArray& body, const QString& action, bool withLength)
{
    faults.append({Fault::Body, action, body, withLength});
}

void RepositoryServer::setSlowBody(int pieces, int intervalMs)
{
    slowPieces = qMax(1, pieces);
    slowInterval = qMax(0, intervalMs);
}

void RepositoryServer::releaseHeld()
{
    const QList<Held> waiting = held;
    held.clear();
    for (const Held& h : waiting) {
        if (!h.socket)
            continue;
        h.socket->write(h.bytes);
        if (h.close)
            h.socket->disconnectFromHost();
    }
}

// --- Connections ---------------------------------------------------------------------------

void RepositoryServer::incomingConnection(qintptr descriptor)
{
    auto* socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (tls) {
        socket->setLocalCertificate(certificate);
        socket->setPrivateKey(key);
        socket->startServerEncryption();
    }
    auto link = std::make_unique<Link>();
    link->client = socket;
    links.emplace(socket, std::move(link));
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
}

void RepositoryServer::drop(QTcpSocket* socket)
{
    const auto it = links.find(socket);
    if (it == links.end())
        return;
    if (it->second->upstream)
        it->second->upstream->disconnect(this);
    links.erase(it);
    socket->deleteLater();
}

void RepositoryServer::readFrom(QTcpSocket* socket)
{
    const auto it = links.find(socket);
    if (it == links.end())
        return;
    Link& link = *it->second;
    const QByteArray bytes = socket->readAll();
    readCount += bytes.size();
    link.fromClient.append(bytes);
    takeRequests(link);
}

// Takes whole requests off the front of the client's bytes while no answer is pending.
void RepositoryServer::takeRequests(Link& link)
{
    while (!link.forwarding && !link.silent && !link.fromClient.isEmpty()) {
        if (link.raw) {
            forward(link, link.fromClient);
            link.fromClient.clear();
            return;
        }
        QByteArray& buffer = link.fromClient;
        const int headEnd = buffer.indexOf("\r\n\r\n");
        if (headEnd < 0 && buffer.size() <= maxFramedHead)
            return;
        Request request;
        qint64 length = 0;
        bool requestClose = false;
        bool framed = headEnd >= 0;
        if (framed) {
            const QByteArray head = buffer.left(headEnd);
            const int lineEnd = head.indexOf("\r\n");
            const QList<QByteArray> line =
                head.left(lineEnd < 0 ? head.size() : lineEnd).split(' ');
            request.headers = parseHeaderLines(lineEnd < 0 ? QByteArray() : head.mid(lineEnd + 2));
            framed = line.size() == 3 && line.at(2).startsWith("HTTP/1.") &&
                     request.header("transfer-encoding").isEmpty();
            if (framed) {
                request.method = line.at(0);
                request.target = line.at(1);
                const QByteArray lengthText = request.header("content-length");
                if (!lengthText.isEmpty())
                    length = lengthText.toLongLong(&framed);
                framed = framed && length >= 0 && length <= maxFramedBody;
                requestClose = request.header("connection").toLower() == "close" ||
                               (line.at(2) == "HTTP/1.0" &&
                                request.header("connection").toLower() != "keep-alive");
            }
        }
        if (!framed) {
            // The real server answers what this layer cannot read.
            link.raw = true;
            continue;
        }
        if (buffer.size() < headEnd + 4 + length)
            return;
        const QByteArray raw = buffer.left(headEnd + 4 + int(length));
        request.body = buffer.mid(headEnd + 4, int(length));
        buffer.remove(0, raw.size());
        request.path = QueryString::pathOf(request.target);
        request.query = QueryString::split(QueryString::queryOf(request.target));
        request.parts = recordParts(request.header("content-type"), request.body);

        received << request;
        emit requestReceived(request.action());

        int faultAt = -1;
        for (int i = 0; i < faults.size(); ++i) {
            if (faults.at(i).action.isEmpty() || faults.at(i).action == request.action()) {
                faultAt = i;
                break;
            }
        }
        link.requestClose = requestClose;
        if (faultAt < 0) {
            link.mode = Fault::Body;
            forward(link, raw);
            continue;
        }
        const Scripted scripted = faults.takeAt(faultAt);
        if (scripted.fault == Fault::SlowBody || scripted.fault == Fault::Hold) {
            link.mode = scripted.fault;
            forward(link, raw);
            continue;
        }
        // Answering may close the connection, and with it the link.
        QTcpSocket* client = link.client;
        answerWithFault(link, scripted, requestClose);
        if (!links.count(client))
            return;
    }
}

void RepositoryServer::answerWithFault(Link& link, const Scripted& scripted, bool close)
{
    QTcpSocket* socket = link.client;
    int status = 200;
    QByteArray contentType = "text/plain";
    QByteArray body;
    bool withLength = true;
    QList<QPair<QByteArray, QByteArray>> headers;
    switch (scripted.fault) {
    case Fault::Body:
        body = scripted.body;
        withLength = scripted.withLength;
        break;
    case Fault::NotFound:
        status = 404;
        body = "Not Found";
        break;
    case Fault::Redirect:
        status = 302;
        headers.append({"Location", (endpoint() + "?action=list_patches").toUtf8()});
        // A body that would pass for a log-in or a change, had the status not counted.
        body = "1";
        break;
    case Fault::EmptyBody:
        break;
    case Fault::NotXml:
        body = "this is < not XML &";
        break;
    case Fault::WrongRoot:
        contentType = "text/xml";
        body = "<?xml version=\"1.0\"?><nothing><patch id=\"1\"/><block id=\"1\"/>"
               "<comment id=\"1\"/></nothing>";
        break;
    case Fault::Oversize:
        body = QByteArray(int(oversizeBytes), ' ');
        break;
    case Fault::OversizeNoLength:
        body = QByteArray(int(oversizeBytes), ' ');
        withLength = false;
        break;
    case Fault::NoAnswer:
        link.silent = true;
        return;
    case Fault::Reset: {
        // Part of an answer first: a connection that drops before any answer is tried again
        // by the client. A zero linger time makes closing send a reset, not an orderly end.
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n");
        socket->flush();
        const linger reset{1, 0};
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        socket->abort();
        return;
    }
    case Fault::SlowBody:
    case Fault::Hold:
        return;
    }
    // Without a length, the body ends when the connection does.
    const bool closing = close || !withLength;
    link.silent = closing;
    socket->write(serialise(status, contentType, body, withLength, headers, closing));
    if (closing)
        socket->disconnectFromHost();
}

// --- Relay to the real server --------------------------------------------------------------

void RepositoryServer::forward(Link& link, const QByteArray& raw)
{
    link.forwarding = !link.raw;
    if (!link.upstream || link.upstream->state() == QAbstractSocket::UnconnectedState) {
        if (link.upstream)
            link.upstream->deleteLater();
        link.upstream = new QTcpSocket(link.client);
        QTcpSocket* client = link.client;
        connect(link.upstream, &QTcpSocket::readyRead, this, [this, client] {
            const auto it = links.find(client);
            if (it != links.end())
                readUpstream(*it->second);
        });
        connect(link.upstream, &QTcpSocket::disconnected, this, [this, client] {
            const auto it = links.find(client);
            if (it != links.end())
                upstreamClosed(*it->second);
        });
        link.upstream->connectToHost(QHostAddress(QHostAddress::LocalHost), daemon->port());
    }
    link.upstream->write(raw);
}

void RepositoryServer::readUpstream(Link& link)
{
    QTcpSocket* upstream = link.upstream;
    if (!upstream)
        return;
    if (link.raw) {
        link.client->write(upstream->readAll());
        return;
    }
    link.fromUpstream.append(upstream->readAll());
    if (!link.forwarding)
        return;
    bool close = false;
    const qint64 length = answerLength(link.fromUpstream, &close);
    if (length <= 0)
        return;
    const QByteArray answer = link.fromUpstream.left(int(length));
    link.fromUpstream.remove(0, int(length));
    deliver(link, answer, close || link.requestClose);
}

void RepositoryServer::upstreamClosed(Link& link)
{
    QTcpSocket* upstream = link.upstream;
    link.upstream = nullptr;
    if (upstream)
        upstream->deleteLater();
    if (link.raw) {
        link.client->disconnectFromHost();
        return;
    }
    if (link.forwarding) {
        // An answer whose end is the end of the connection, or none at all.
        const QByteArray answer = link.fromUpstream;
        link.fromUpstream.clear();
        if (answer.isEmpty()) {
            link.forwarding = false;
            link.silent = true;
            link.client->disconnectFromHost();
            return;
        }
        deliver(link, answer, true);
    }
}

// Closing the client may remove the link, so its state is set first.
void RepositoryServer::deliver(Link& link, const QByteArray& answer, bool close)
{
    QTcpSocket* client = link.client;
    if (link.mode == Fault::SlowBody) {
        sendSlowly(link, answer, close);
        return;
    }
    link.forwarding = false;
    link.silent = close;
    if (link.mode == Fault::Hold) {
        held.append({client, answer, close});
    } else {
        client->write(answer);
        if (close) {
            client->disconnectFromHost();
            return;
        }
    }
    if (!close)
        takeRequests(link);
}

void RepositoryServer::sendSlowly(Link& link, const QByteArray& answer, bool close)
{
    QTcpSocket* client = link.client;
    const int headEnd = answer.indexOf("\r\n\r\n") + 4;
    client->write(answer.left(headEnd));
    const QByteArray body = answer.mid(headEnd);
    const int piece = qMax(1, int((body.size() + slowPieces - 1) / slowPieces));
    auto* timer = new QTimer(client);
    auto sent = std::make_shared<int>(0);
    connect(timer, &QTimer::timeout, client, [this, client, timer, body, piece, sent, close] {
        client->write(body.mid(*sent, piece));
        *sent += piece;
        if (*sent < body.size())
            return;
        timer->deleteLater();
        if (close) {
            client->disconnectFromHost();
            return;
        }
        const auto it = links.find(client);
        if (it == links.end())
            return;
        it->second->forwarding = false;
        takeRequests(*it->second);
    });
    timer->start(slowInterval);
}
