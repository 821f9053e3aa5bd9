#pragma once

#include "RepositoryStore.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QTcpServer>

#include <map>
#include <memory>

class HttpDaemon;
class QTcpSocket;
class QTemporaryDir;

// The tests' repository server: a fault and recording layer in front of an in-process instance
// of the real server (tools/repository-server: its protocol, its SQLite store in a temporary
// folder, its web server). Every request a client sends reaches this layer first, which records
// it, answers it with a scripted fault, or relays it to the real server and its answer back
// (at once, slowly, or when released). Seeding and reading go through the server's own store.
//
// Refusals are the real server's: a log-in with an unknown name or a wrong password gets an
// empty body; a change (upload, update, delete, comment) whose uid and password do not name a
// user, or that touches an entry of another user, or lacks a form part, gets the body "0".
// Both with status 200.
class RepositoryServer : public QTcpServer
{
    Q_OBJECT
public:
    static constexpr quint16 defaultPort = 8470;

    // What the next matching request gets instead of its answer.
    enum class Fault
    {
        NotFound,         // 404
        Redirect,         // 302 to the list of patches, with the body "1"
        EmptyBody,        // 200 with no body
        NotXml,           // 200 with text that is not XML
        WrongRoot,        // 200 with a document of another root element
        Oversize,         // 200 with a body of oversizeBytes
        OversizeNoLength, // the same without a length: the body ends when the connection does
        SlowBody,         // the true answer, its body in pieces at an interval
        NoAnswer,         // nothing, the connection stays open
        Reset,            // part of a status line and headers, then the connection is reset
        Hold,             // the true answer, sent at releaseHeld()
        Body              // 200 with the body given to scriptBody
    };
    Q_ENUM(Fault)

    struct Part
    {
        QByteArray name;
        // Header names in lower case, in the order received.
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        QByteArray header(const QByteArray& name) const;
    };

    struct Request
    {
        QByteArray method;
        // The request target exactly as received: path and query.
        QByteArray target;
        QByteArray path;
        // Keys and values decoded as the server decodes them (percent-decoding with "+" kept,
        // UTF-8), in order.
        QList<QPair<QString, QString>> query;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        QList<Part> parts;

        QString value(const QString& key) const;
        QString action() const { return value(QStringLiteral("action")); }
        QByteArray header(const QByteArray& name) const;
        const Part* part(const QByteArray& name) const;
    };

    struct User
    {
        int uid = 0;
        QString name;
        QString password;
    };
    // The store's own records: what a test seeds or reads is what the server keeps.
    using Patch = RepositoryStore::Patch;
    using Block = RepositoryStore::Block;
    using Comment = RepositoryStore::Comment;

    explicit RepositoryServer(QObject* parent = nullptr);
    ~RepositoryServer() override;

    // Port 0 picks a free one.
    bool start(quint16 port = 0, const QHostAddress& address = QHostAddress::LocalHost);
    // "http://HOST:PORT/action.php" (https once useTls was called).
    QString endpoint() const;
    void useTls(const QSslCertificate& certificate, const QSslKey& key);

    // The add functions give the new entry's id (ids of the entry passed in are ignored); 0
    // when the store refused (a user name taken, a comment on no entry).
    int addUser(const QString& name, const QString& password);
    int addPatch(Patch patch);
    // Many patches in one transaction, for large repositories.
    void addPatches(const QList<Patch>& patches);
    int addBlock(Block block);
    int addComment(Comment comment);
    void setVersion(int major, int sub, int build);
    // Dates of new entries: the given Unix seconds, or the current time while 0.
    void setTime(qint64 seconds);

    // A seed folder as knotlattice-repository --seed reads it, into an empty repository.
    bool loadSeed(const QString& folder, QString* error);

    // The next `times` requests whose action is `action` (any request when empty) get the
    // fault. (The client's network layer sends a request again, twice, after a reset.)
    void scriptFault(Fault fault, const QString& action = QString(), int times = 1);
    // The next request whose action is `action` gets status 200 and this body; without its
    // length, the body ends when the connection closes.
    void scriptBody(const QByteArray& body, const QString& action = QString(),
                    bool withLength = true);
    void releaseHeld();
    int heldCount() const { return held.size(); }
    void setSlowBody(int pieces, int intervalMs);
    void setOversizeBytes(qint64 bytes) { oversizeBytes = bytes; }

    QList<Request> requests() const { return received; }
    // Bytes read from every connection so far.
    qint64 bytesRead() const { return readCount; }
    void clearRequests() { received.clear(); }
    // From the store; passwords as given to addUser.
    QList<User> users() const;
    QList<Patch> patches() const;
    QList<Block> blocks() const;
    QList<Comment> comments() const;

signals:
    void requestReceived(const QString& action);

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Link;
    struct Held
    {
        QPointer<QTcpSocket> socket;
        QByteArray bytes;
        bool close = false;
    };
    struct Scripted
    {
        Fault fault;
        QString action;
        QByteArray body;
        bool withLength;
    };

    void readFrom(QTcpSocket* socket);
    void takeRequests(Link& link);
    void answerWithFault(Link& link, const Scripted& scripted, bool close);
    void forward(Link& link, const QByteArray& raw);
    void readUpstream(Link& link);
    void upstreamClosed(Link& link);
    void deliver(Link& link, const QByteArray& response, bool close);
    void sendSlowly(Link& link, const QByteArray& response, bool close);
    void drop(QTcpSocket* socket);

    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<RepositoryStore> store;
    std::unique_ptr<HttpDaemon> daemon;
    std::map<QTcpSocket*, std::unique_ptr<Link>> links;
    QHash<int, QString> passwords;
    bool tls = false;
    QSslCertificate certificate;
    QSslKey key;
    QList<Scripted> faults;
    QList<Held> held;
    int slowPieces = 10;
    int slowInterval = 100;
    qint64 oversizeBytes = 17 * 1024 * 1024;
    QList<Request> received;
    qint64 readCount = 0;
};
