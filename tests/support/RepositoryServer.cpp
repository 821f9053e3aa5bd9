#include "RepositoryServer.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QSslSocket>
#include <QTimer>
#include <QXmlStreamWriter>

#include <memory>

#include <sys/socket.h>

namespace {

// Larger requests are refused; the repository holds small files.
constexpr qint64 maxRequestSize = 64 * 1024 * 1024;
constexpr int maxHeadSize = 64 * 1024;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 411:
        return "Length Required";
    case 413:
        return "Payload Too Large";
    default:
        return "Status";
    }
}

QString decodeQueryText(QByteArray text)
{
    text.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text));
}

// Base64 text of UTF-8 bytes; a null string when it is no valid Base64.
QString decodeBase64Text(const QString& text)
{
    const auto result =
        QByteArray::fromBase64Encoding(text.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!result)
        return QString();
    return QString::fromUtf8(*result);
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

// The parts of a multipart/form-data body; empty when the body does not have that form.
QList<RepositoryServer::Part> parseMultipart(const QByteArray& contentType, const QByteArray& body)
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

// XML 1.0 has no place for most control characters.
QString xmlSafe(QString text)
{
    for (QChar& c : text) {
        if (c.unicode() < 0x20 && c != QLatin1Char('\t') && c != QLatin1Char('\n') &&
            c != QLatin1Char('\r'))
            c = QLatin1Char(' ');
    }
    return text;
}

QString blockHash(QByteArray bytes)
{
    bytes.replace('\r', QByteArray());
    return QString::fromLatin1(
        QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().left(4));
}

} // namespace

QByteArray RepositoryServer::Part::header(const QByteArray& name) const
{
    return headerOf(headers, name);
}

QString RepositoryServer::Request::value(const QString& key) const
{
    for (const auto& pair : query) {
        if (pair.first == key)
            return pair.second;
    }
    return QString();
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

RepositoryServer::RepositoryServer(QObject* parent) : QTcpServer(parent) {}

RepositoryServer::~RepositoryServer()
{
    // The connections' handlers use this object's members, which are gone before the base
    // class would delete the sockets.
    const QList<QTcpSocket*> sockets =
        findChildren<QTcpSocket*>(QString(), Qt::FindDirectChildrenOnly);
    for (QTcpSocket* socket : sockets) {
        socket->disconnect();
        delete socket;
    }
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

int RepositoryServer::addUser(const QString& name, const QString& password)
{
    User user;
    user.uid = nextUid++;
    user.name = name;
    user.password = password;
    userList << user;
    return user.uid;
}

int RepositoryServer::addPatch(Patch patch)
{
    patch.id = nextPatchId++;
    if (patch.date == 0)
        patch.date = now();
    patchList << patch;
    return patch.id;
}

int RepositoryServer::addBlock(Block block)
{
    block.id = nextBlockId++;
    if (block.date == 0)
        block.date = now();
    blockList << block;
    return block.id;
}

int RepositoryServer::addComment(Comment comment)
{
    comment.id = nextCommentId++;
    if (comment.date == 0)
        comment.date = now();
    commentList << comment;
    return comment.id;
}

void RepositoryServer::setVersion(int major, int sub, int build)
{
    version[0] = major;
    version[1] = sub;
    version[2] = build;
}

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

qint64 RepositoryServer::now() const
{
    return fixedTime ? fixedTime : QDateTime::currentSecsSinceEpoch();
}

// --- Seeding -----------------------------------------------------------------------------

bool RepositoryServer::loadSeed(const QString& folder, QString* error)
{
    auto failWith = [error](const QString& text) {
        if (error)
            *error = text;
        return false;
    };
    const QDir dir(folder);
    if (!dir.exists())
        return failWith(QStringLiteral("no such folder: %1").arg(folder));

    auto readFile = [](const QString& path, QByteArray& bytes) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        bytes = file.readAll();
        return true;
    };
    auto sideText = [&readFile](const QString& path, const QString& fallback) {
        QByteArray bytes;
        if (!readFile(path + ".txt", bytes))
            return fallback;
        return QString::fromUtf8(bytes).trimmed();
    };

    QByteArray bytes;
    if (QFileInfo::exists(dir.filePath("users.txt"))) {
        if (!readFile(dir.filePath("users.txt"), bytes))
            return failWith(QStringLiteral("cannot read %1").arg(dir.filePath("users.txt")));
        for (const QByteArray& line : bytes.split('\n')) {
            const QString text = QString::fromUtf8(line).trimmed();
            if (text.isEmpty() || text.startsWith(QLatin1Char('#')))
                continue;
            const int blank = text.indexOf(QLatin1Char(' '));
            if (blank <= 0)
                return failWith(
                    QStringLiteral("users.txt: \"%1\" is not \"name password\"").arg(text));
            addUser(text.left(blank), text.mid(blank + 1).trimmed());
        }
    }
    if (QFileInfo::exists(dir.filePath("version.txt"))) {
        readFile(dir.filePath("version.txt"), bytes);
        const QStringList numbers = QString::fromUtf8(bytes).trimmed().split(QLatin1Char('.'));
        bool ok = numbers.size() == 3;
        int v[3] = {0, 0, 0};
        for (int i = 0; ok && i < 3; ++i)
            v[i] = numbers.at(i).toInt(&ok);
        if (!ok)
            return failWith(QStringLiteral("version.txt: expected major.sub.build"));
        setVersion(v[0], v[1], v[2]);
    }

    const QStringList patchFiles =
        QDir(dir.filePath("patches")).entryList({"*.ktl"}, QDir::Files, QDir::Name);
    const QStringList blockFiles =
        QDir(dir.filePath("blocks")).entryList({"*.xml", "*.block"}, QDir::Files, QDir::Name);
    if ((!patchFiles.isEmpty() || !blockFiles.isEmpty()) && userList.isEmpty())
        return failWith(QStringLiteral("users.txt names no user to own the seeded entries"));

    for (const QString& name : patchFiles) {
        const QString path = dir.filePath("patches/" + name);
        Patch patch;
        if (!readFile(path, patch.data))
            return failWith(QStringLiteral("cannot read %1").arg(path));
        patch.uid = userList.first().uid;
        patch.name = QFileInfo(name).completeBaseName();
        patch.filename = name;
        patch.description = sideText(path, QStringLiteral("A patch of the seed."));
        addPatch(patch);
    }
    for (const QString& name : blockFiles) {
        const QString path = dir.filePath("blocks/" + name);
        Block block;
        if (!readFile(path, block.data))
            return failWith(QStringLiteral("cannot read %1").arg(path));
        QDomDocument document;
        document.setContent(block.data);
        const QDomElement root = document.documentElement();
        block.name = root.attribute(QStringLiteral("name"));
        if (root.tagName() != QLatin1String("block") || block.name.isEmpty())
            return failWith(QStringLiteral("%1 is not a block file").arg(path));
        block.uid = userList.first().uid;
        block.title = block.name;
        block.filename = name;
        block.hash = blockHash(block.data);
        block.category = root.firstChildElement(QStringLiteral("category")).text();
        block.description = sideText(path, QStringLiteral("A block of the seed."));
        addBlock(block);
    }
    return true;
}

// --- Connections -------------------------------------------------------------------------

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
    buffers.insert(socket, QByteArray());
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        buffers.remove(socket);
        socket->deleteLater();
    });
}

void RepositoryServer::readFrom(QTcpSocket* socket)
{
    auto it = buffers.find(socket);
    if (it == buffers.end())
        return;
    const QByteArray bytes = socket->readAll();
    readCount += bytes.size();
    it->append(bytes);
    while (buffers.contains(socket) && takeRequest(socket, buffers[socket])) {
    }
}

// Takes one whole request off the front of the buffer and answers it; false while the
// request is not complete yet.
bool RepositoryServer::takeRequest(QTcpSocket* socket, QByteArray& buffer)
{
    const int headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        if (buffer.size() > maxHeadSize) {
            buffers.remove(socket);
            socket->abort();
        }
        return false;
    }
    const QByteArray head = buffer.left(headEnd);
    const int lineEnd = head.indexOf("\r\n");
    const QList<QByteArray> line = head.left(lineEnd < 0 ? head.size() : lineEnd).split(' ');
    Request request;
    if (line.size() == 3) {
        request.method = line.at(0);
        request.target = line.at(1);
    }
    request.headers = parseHeaderLines(lineEnd < 0 ? QByteArray() : head.mid(lineEnd + 2));

    Response refusal;
    qint64 length = 0;
    if (line.size() != 3 || !line.at(2).startsWith("HTTP/1.")) {
        refusal.status = 400;
    } else if (!request.header("transfer-encoding").isEmpty()) {
        refusal.status = 411;
    } else if (!request.header("content-length").isEmpty()) {
        bool ok = false;
        length = request.header("content-length").toLongLong(&ok);
        if (!ok || length < 0)
            refusal.status = 400;
        else if (length > maxRequestSize)
            refusal.status = 413;
    }
    if (refusal.status != 200) {
        buffers.remove(socket);
        send(socket, refusal, true);
        return false;
    }
    if (buffer.size() < headEnd + 4 + length)
        return false;
    request.body = buffer.mid(headEnd + 4, int(length));
    buffer.remove(0, headEnd + 4 + int(length));

    const int question = request.target.indexOf('?');
    request.path = question < 0 ? request.target : request.target.left(question);
    if (question >= 0) {
        for (const QByteArray& pair : request.target.mid(question + 1).split('&')) {
            if (pair.isEmpty())
                continue;
            const int eq = pair.indexOf('=');
            request.query.append({decodeQueryText(eq < 0 ? pair : pair.left(eq)),
                                  eq < 0 ? QString() : decodeQueryText(pair.mid(eq + 1))});
        }
    }
    request.parts = parseMultipart(request.header("content-type"), request.body);

    const bool close = request.header("connection").toLower() == "close";
    received << request;
    emit requestReceived(request.action());
    answer(socket, request, close);
    return true;
}

void RepositoryServer::answer(QTcpSocket* socket, const Request& request, bool close)
{
    int faultAt = -1;
    for (int i = 0; i < faults.size(); ++i) {
        if (faults.at(i).action.isEmpty() || faults.at(i).action == request.action()) {
            faultAt = i;
            break;
        }
    }
    if (faultAt < 0) {
        send(socket, respond(request), close);
        return;
    }
    const Scripted scripted = faults.takeAt(faultAt);
    Response r;
    switch (scripted.fault) {
    case Fault::Body:
        r.body = scripted.body;
        if (!scripted.withLength) {
            r.withLength = false;
            send(socket, r, true);
            return;
        }
        break;
    case Fault::NotFound:
        r.status = 404;
        r.body = "Not Found";
        break;
    case Fault::Redirect:
        r.status = 302;
        r.headers.append({"Location", (endpoint() + "?action=list_patches").toUtf8()});
        // A body that would pass for a log-in or a change, had the status not counted.
        r.body = "1";
        break;
    case Fault::EmptyBody:
        break;
    case Fault::NotXml:
        r.body = "this is < not XML &";
        break;
    case Fault::WrongRoot:
        r.contentType = "text/xml";
        r.body = "<?xml version=\"1.0\"?><nothing><patch id=\"1\"/><block id=\"1\"/>"
                 "<comment id=\"1\"/></nothing>";
        break;
    case Fault::Oversize:
        r.body = QByteArray(int(oversizeBytes), ' ');
        break;
    case Fault::OversizeNoLength:
        r.body = QByteArray(int(oversizeBytes), ' ');
        r.withLength = false;
        send(socket, r, true);
        return;
    case Fault::SlowBody:
        sendSlowly(socket, respond(request), close);
        return;
    case Fault::NoAnswer:
        return;
    case Fault::Reset: {
        // Part of an answer first: a connection that drops before any answer is tried again
        // by the client. A zero linger time makes closing send a reset, not an orderly end.
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n");
        socket->flush();
        const linger reset{1, 0};
        ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        buffers.remove(socket);
        socket->abort();
        return;
    }
    case Fault::Hold:
        held.append({socket, serialise(respond(request), close), close});
        return;
    }
    send(socket, r, close);
}

QByteArray RepositoryServer::serialise(const Response& r, bool close, bool withBody)
{
    QByteArray out =
        "HTTP/1.1 " + QByteArray::number(r.status) + " " + reasonPhrase(r.status) + "\r\n";
    out += "Content-Type: " + r.contentType + "\r\n";
    if (r.withLength)
        out += "Content-Length: " + QByteArray::number(r.body.size()) + "\r\n";
    for (const auto& h : r.headers)
        out += h.first + ": " + h.second + "\r\n";
    out += close ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    out += "\r\n";
    if (withBody)
        out += r.body;
    return out;
}

void RepositoryServer::send(QTcpSocket* socket, const Response& response, bool close)
{
    socket->write(serialise(response, close));
    if (close)
        socket->disconnectFromHost();
}

void RepositoryServer::sendSlowly(QTcpSocket* socket, const Response& response, bool close)
{
    socket->write(serialise(response, close, false));
    const QByteArray body = response.body;
    const int piece = qMax(1, int((body.size() + slowPieces - 1) / slowPieces));
    auto* timer = new QTimer(socket);
    auto sent = std::make_shared<int>(0);
    connect(timer, &QTimer::timeout, socket, [socket, timer, body, piece, sent, close] {
        socket->write(body.mid(*sent, piece));
        *sent += piece;
        if (*sent >= body.size()) {
            timer->deleteLater();
            if (close)
                socket->disconnectFromHost();
        }
    });
    timer->start(slowInterval);
}

// --- The protocol ------------------------------------------------------------------------

const RepositoryServer::User* RepositoryServer::userById(int uid) const
{
    for (const User& u : userList) {
        if (u.uid == uid)
            return &u;
    }
    return nullptr;
}

QString RepositoryServer::userName(int uid) const
{
    const User* u = userById(uid);
    return u ? u->name : QString();
}

const RepositoryServer::User* RepositoryServer::authenticate(const Request& request) const
{
    bool ok = false;
    const int uid = request.value(QStringLiteral("uid")).toInt(&ok);
    const User* user = ok ? userById(uid) : nullptr;
    const QString password = decodeBase64Text(request.value(QStringLiteral("pass")));
    if (!user || password.isNull() || user->password != password)
        return nullptr;
    return user;
}

RepositoryServer::Response RepositoryServer::respond(const Request& request)
{
    Response r;
    if (request.path == "/" && request.method == "GET") {
        r.contentType = "text/html; charset=utf-8";
        r.body = "<html><body><p>Knotlattice repository. The newest editor version is " +
                 QByteArray::number(version[0]) + "." + QByteArray::number(version[1]) + "." +
                 QByteArray::number(version[2]) + ".</p></body></html>";
        return r;
    }
    if (request.path != "/action.php") {
        r.status = 404;
        r.body = "Not Found";
        return r;
    }
    if (request.method != "GET" && request.method != "POST") {
        r.status = 405;
        return r;
    }
    return respondToAction(request);
}

RepositoryServer::Response RepositoryServer::respondToAction(const Request& request)
{
    Response r;
    const QString action = request.action();
    bool idOk = false;
    const int id = request.value(QStringLiteral("id")).toInt(&idOk);
    auto text = [&request](const char* name, QString& out) {
        const Part* p = request.part(name);
        if (!p)
            return false;
        out = QString::fromUtf8(p->body);
        return true;
    };
    auto file = [&request](QByteArray& out) {
        const Part* p = request.part("file");
        if (!p)
            return false;
        const auto decoded =
            QByteArray::fromBase64Encoding(p->body, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded)
            return false;
        out = *decoded;
        return true;
    };
    auto refused = [&r] {
        r.body = "0";
        return r;
    };
    auto done = [&r] {
        r.body = "1";
        return r;
    };
    auto xml = [&r](const QByteArray& body) {
        r.contentType = "text/xml; charset=utf-8";
        r.body = body;
        return r;
    };

    if (action == QLatin1String("get_uid")) {
        const QString name = decodeBase64Text(request.value(QStringLiteral("name")));
        const QString password = decodeBase64Text(request.value(QStringLiteral("pass")));
        for (const User& u : qAsConst(userList)) {
            if (!name.isNull() && !password.isNull() && u.name == name && u.password == password)
                r.body = QByteArray::number(u.uid);
        }
        return r;
    }
    if (action == QLatin1String("list_patches"))
        return xml(patchListXml(-1));
    if (action == QLatin1String("list_user_patches"))
        return xml(patchListXml(request.value(QStringLiteral("uid")).toInt()));
    if (action == QLatin1String("list_blocks"))
        return xml(blockListXml(-1));
    if (action == QLatin1String("list_user_blocks"))
        return xml(blockListXml(request.value(QStringLiteral("uid")).toInt()));
    if (action == QLatin1String("list_patch_comments"))
        return xml(commentListXml(false, id));
    if (action == QLatin1String("list_block_comments"))
        return xml(commentListXml(true, id));
    if (action == QLatin1String("version")) {
        QByteArray body;
        QXmlStreamWriter w(&body);
        w.writeStartDocument();
        w.writeStartElement(QStringLiteral("version"));
        w.writeAttribute(QStringLiteral("major"), QString::number(version[0]));
        w.writeAttribute(QStringLiteral("sub"), QString::number(version[1]));
        w.writeAttribute(QStringLiteral("build"), QString::number(version[2]));
        w.writeEndDocument();
        return xml(body);
    }
    if (action == QLatin1String("get_patch")) {
        for (const Patch& p : qAsConst(patchList)) {
            if (idOk && p.id == id) {
                r.contentType = "application/octet-stream";
                r.body = p.data;
                return r;
            }
        }
        r.status = 404;
        r.body = "Not Found";
        return r;
    }
    if (action == QLatin1String("get_block")) {
        const QString name = request.value(QStringLiteral("name"));
        const QString hash = request.value(QStringLiteral("hash"));
        for (const Block& b : qAsConst(blockList)) {
            if (b.name == name && b.hash == hash) {
                r.contentType = "application/octet-stream";
                r.body = b.data;
                return r;
            }
        }
        r.status = 404;
        r.body = "Not Found";
        return r;
    }

    // Everything below changes the repository and needs the user's password.
    const bool change =
        QStringList{"upload_patch", "update_patch", "upload_block",         "update_block",
                    "delete_patch", "delete_block", "upload_patch_comment", "upload_block_comment"}
            .contains(action);
    if (!change) {
        r.status = 404;
        r.body = "Not Found";
        return r;
    }
    const User* user = authenticate(request);
    if (!user)
        return refused();

    if (action == QLatin1String("upload_patch")) {
        Patch p;
        p.uid = user->uid;
        if (!text("name", p.name) || !text("filename", p.filename) ||
            !text("description", p.description) || !file(p.data))
            return refused();
        addPatch(p);
        return done();
    }
    if (action == QLatin1String("upload_block")) {
        Block b;
        b.uid = user->uid;
        if (!text("name", b.name) || !text("title", b.title) ||
            !text("description", b.description) || !text("hash", b.hash) ||
            !text("filename", b.filename) || !file(b.data))
            return refused();
        QDomDocument document;
        document.setContent(b.data);
        b.category =
            document.documentElement().firstChildElement(QStringLiteral("category")).text();
        addBlock(b);
        return done();
    }
    if (action == QLatin1String("update_patch")) {
        for (Patch& p : patchList) {
            if (!idOk || p.id != id)
                continue;
            Patch next = p;
            if (p.uid != user->uid || !text("name", next.name) ||
                !text("description", next.description))
                return refused();
            if (request.part("file") && (!text("filename", next.filename) || !file(next.data)))
                return refused();
            p = next;
            return done();
        }
        return refused();
    }
    if (action == QLatin1String("update_block")) {
        for (Block& b : blockList) {
            if (!idOk || b.id != id)
                continue;
            Block next = b;
            if (b.uid != user->uid || !text("title", next.title) ||
                !text("description", next.description))
                return refused();
            if (request.part("file")) {
                if (!text("name", next.name) || !text("hash", next.hash) ||
                    !text("filename", next.filename) || !file(next.data))
                    return refused();
                QDomDocument document;
                document.setContent(next.data);
                next.category =
                    document.documentElement().firstChildElement(QStringLiteral("category")).text();
            }
            b = next;
            return done();
        }
        return refused();
    }
    if (action == QLatin1String("delete_patch") || action == QLatin1String("delete_block")) {
        const bool onBlock = action == QLatin1String("delete_block");
        bool removed = false;
        if (onBlock) {
            for (int i = 0; i < blockList.size(); ++i) {
                if (idOk && blockList.at(i).id == id && blockList.at(i).uid == user->uid) {
                    blockList.removeAt(i);
                    removed = true;
                    break;
                }
            }
        } else {
            for (int i = 0; i < patchList.size(); ++i) {
                if (idOk && patchList.at(i).id == id && patchList.at(i).uid == user->uid) {
                    patchList.removeAt(i);
                    removed = true;
                    break;
                }
            }
        }
        if (!removed)
            return refused();
        for (int i = commentList.size() - 1; i >= 0; --i) {
            if (commentList.at(i).onBlock == onBlock && commentList.at(i).target == id)
                commentList.removeAt(i);
        }
        return done();
    }
    // upload_patch_comment, upload_block_comment
    Comment c;
    c.onBlock = action == QLatin1String("upload_block_comment");
    c.target = id;
    c.uid = user->uid;
    bool exists = false;
    if (c.onBlock) {
        for (const Block& b : qAsConst(blockList))
            exists = exists || (idOk && b.id == id);
    } else {
        for (const Patch& p : qAsConst(patchList))
            exists = exists || (idOk && p.id == id);
    }
    if (!exists || !text("comment", c.content))
        return refused();
    addComment(c);
    return done();
}

// --- Lists -------------------------------------------------------------------------------

// Descriptions go out with one line feed before them; the client drops it.
static void writeDescription(QXmlStreamWriter& w, const QString& name, const QString& text,
                             bool leadingLineFeed)
{
    w.writeStartElement(name);
    w.writeCDATA((leadingLineFeed ? QStringLiteral("\n") : QString()) + xmlSafe(text));
    w.writeEndElement();
}

QByteArray RepositoryServer::patchListXml(int uid) const
{
    QByteArray body;
    QXmlStreamWriter w(&body);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("patches"));
    for (const Patch& p : patchList) {
        if (uid >= 0 && p.uid != uid)
            continue;
        w.writeStartElement(QStringLiteral("patch"));
        w.writeAttribute(QStringLiteral("id"), QString::number(p.id));
        w.writeAttribute(QStringLiteral("uid"), QString::number(p.uid));
        w.writeAttribute(QStringLiteral("pname"), xmlSafe(p.name));
        w.writeAttribute(QStringLiteral("uname"), xmlSafe(userName(p.uid)));
        w.writeAttribute(QStringLiteral("filename"), xmlSafe(p.filename));
        w.writeAttribute(QStringLiteral("date"), QString::number(p.date));
        writeDescription(w, QStringLiteral("description"), p.description, true);
        w.writeEndElement();
    }
    w.writeEndDocument();
    return body;
}

QByteArray RepositoryServer::blockListXml(int uid) const
{
    QByteArray body;
    QXmlStreamWriter w(&body);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("blocks"));
    for (const Block& b : blockList) {
        if (uid >= 0 && b.uid != uid)
            continue;
        w.writeStartElement(QStringLiteral("block"));
        w.writeAttribute(QStringLiteral("hash"), xmlSafe(b.hash));
        w.writeAttribute(QStringLiteral("id"), QString::number(b.id));
        w.writeAttribute(QStringLiteral("uid"), QString::number(b.uid));
        w.writeAttribute(QStringLiteral("bname"), xmlSafe(b.name));
        w.writeAttribute(QStringLiteral("title"), xmlSafe(b.title));
        w.writeAttribute(QStringLiteral("uname"), xmlSafe(userName(b.uid)));
        w.writeAttribute(QStringLiteral("filename"), xmlSafe(b.filename));
        w.writeAttribute(QStringLiteral("category"), xmlSafe(b.category));
        w.writeAttribute(QStringLiteral("date"), QString::number(b.date));
        writeDescription(w, QStringLiteral("description"), b.description, true);
        w.writeEndElement();
    }
    w.writeEndDocument();
    return body;
}

QByteArray RepositoryServer::commentListXml(bool onBlock, int target) const
{
    QByteArray body;
    QXmlStreamWriter w(&body);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("comments"));
    for (const Comment& c : commentList) {
        if (c.onBlock != onBlock || c.target != target)
            continue;
        w.writeStartElement(QStringLiteral("comment"));
        w.writeAttribute(QStringLiteral("date"), QString::number(c.date));
        w.writeAttribute(QStringLiteral("id"), QString::number(c.id));
        w.writeAttribute(QStringLiteral("uid"), QString::number(c.uid));
        w.writeAttribute(QStringLiteral("uname"), xmlSafe(userName(c.uid)));
        writeDescription(w, QStringLiteral("content"), c.content, false);
        w.writeEndElement();
    }
    w.writeEndDocument();
    return body;
}
