#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

struct sqlite3;

// The repository's users, patches, blocks, comments and version text in one SQLite file.
//
// Safe to use from any number of threads: each thread gets a connection of its own (the web
// server's workers give no hook when they end, so the store owns every connection and closes
// them when it goes). The file is in WAL mode with full syncing, and every change is one
// BEGIN IMMEDIATE transaction, so a change that was answered survives a kill of the process.
// Ids come from AUTOINCREMENT and are never handed out twice.
class RepositoryStore
{
public:
    enum class Outcome
    {
        Done,
        Refused, // no such entry, another user's entry, a name taken
        Failed   // the database failed; reported through the error sink
    };

    struct User
    {
        int uid = 0;
        QString name;
    };
    struct Patch
    {
        int id = 0;
        int uid = 0;
        QString name;
        QString user; // the uploader's name, filled by reads
        QString filename;
        QString description;
        QByteArray data;
        qint64 date = 0;
    };
    struct Block
    {
        int id = 0;
        int uid = 0;
        QString name;
        QString title;
        QString user;
        QString filename;
        QString hash;
        QString description;
        QString category;
        QByteArray data;
        qint64 date = 0;
    };
    struct Comment
    {
        int id = 0;
        bool onBlock = false;
        int target = 0;
        int uid = 0;
        QString user;
        QString content;
        qint64 date = 0;
    };
    // A patch or block edit; the file fields change only with `withFile`.
    struct PatchEdit
    {
        QString name;
        QString description;
        bool withFile = false;
        QString filename;
        QByteArray data;
    };
    struct BlockEdit
    {
        QString title;
        QString description;
        bool withFile = false;
        QString name;
        QString hash;
        QString filename;
        QString category;
        QByteArray data;
    };
    struct Counts
    {
        int users = 0;
        int patches = 0;
        int blocks = 0;
        int comments = 0;
    };

    // Opens or creates the file; null with a message when it cannot, or when the file is some
    // other database.
    static std::unique_ptr<RepositoryStore> open(const QString& path, QString* error);
    ~RepositoryStore();
    RepositoryStore(const RepositoryStore&) = delete;
    RepositoryStore& operator=(const RepositoryStore&) = delete;

    // What every change is checked against, whoever makes it (the protocol, a seed, the
    // command line): a user name without control characters or blanks around it, at most 100
    // characters; a file the editor can download again.
    static bool acceptableUserName(const QString& name);
    static bool acceptableFile(const QByteArray& data);

    QString path() const { return filePath; }
    // Where database failures are reported (standard error unless set).
    void setErrorSink(std::function<void(const QString&)> sink);

    // Runs `body` in one write transaction on this thread's connection; the changes it makes
    // join it. Committed when `body` and every change in it succeeded, else rolled back.
    bool transaction(const std::function<bool()>& body);

    // Users. `password` is the UTF-8 text the user types. Refused for a name taken or not
    // acceptable.
    Outcome addUser(const QString& name, const QByteArray& password, int* uid = nullptr);
    // The uid whose name and password match, 0 when none does, -1 when the database failed.
    int logIn(const QString& name, const QByteArray& password);
    // Whether `uid` names a user whose password this is.
    bool checkPassword(int uid, const QByteArray& password, bool* failed = nullptr);
    bool users(QList<User>& out);

    // Entries; ids and uids given are kept, ids are ignored and returned; a date of 0 is now.
    // 0 for a file that is not acceptable, and when the database failed.
    int addPatch(const Patch& patch);
    int addBlock(const Block& block);
    // Refused when the entry commented on does not exist.
    Outcome addComment(const Comment& comment, int* id = nullptr);
    // Refused too for a file that is not acceptable.
    Outcome updatePatch(int id, int uid, const PatchEdit& edit);
    Outcome updateBlock(int id, int uid, const BlockEdit& edit);
    // Removes the entry and its comments.
    Outcome deletePatch(int id, int uid);
    Outcome deleteBlock(int id, int uid);

    // Reads; `uid` < 0 lists everyone's. Data bytes only with `withData`.
    bool patches(QList<Patch>& out, int uid = -1, bool withData = false);
    bool blocks(QList<Block>& out, int uid = -1, bool withData = false);
    bool comments(QList<Comment>& out, bool onBlock, int target);
    // All comments, in id order.
    bool comments(QList<Comment>& out);
    Outcome patchData(int id, QByteArray& out);
    Outcome blockData(const QString& name, const QString& hash, QByteArray& out);
    bool counts(Counts& out);

    // The newest editor version, "major.sub.build".
    bool version(int out[3]);
    bool setVersion(int major, int sub, int build);

    // A number that changes whenever a change was committed to the file, by this process or
    // another, since this thread last asked.
    quint64 generation();

    // Dates of new entries: these Unix seconds, or the clock while 0.
    void setFixedTime(qint64 seconds) { fixedTime.store(seconds); }
    qint64 now() const;

private:
    struct Connection;
    explicit RepositoryStore(const QString& path);
    Connection* connection();
    bool openConnection(Connection& c, bool create, QString* error);
    bool write(Connection& c, const std::function<bool()>& body);
    bool fail(Connection& c, const char* what);

    const QString filePath;
    const quint64 serial;
    std::atomic<qint64> fixedTime{0};
    std::atomic<quint64> changes{1};
    std::mutex mutex;
    std::vector<std::unique_ptr<Connection>> connections;
    std::function<void(const QString&)> errorSink;
};
