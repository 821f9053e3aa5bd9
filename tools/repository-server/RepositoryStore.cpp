#include "RepositoryStore.h"

#include "PasswordDigest.h"
#include "ServerLimits.h"

#include <QDateTime>
#include <QFileInfo>

#include <cstdio>
#include <sqlite3.h>
#include <unordered_map>

// One connection of one thread, with its prepared statements.
struct RepositoryStore::Connection
{
    sqlite3* db = nullptr;
    std::unordered_map<const char*, sqlite3_stmt*> statements;
    int depth = 0;
    bool broken = false;
    // The file's data_version when this connection last looked.
    qint64 dataVersion = -1;

    ~Connection()
    {
        for (auto& s : statements)
            sqlite3_finalize(s.second);
        if (db)
            sqlite3_close_v2(db);
    }
};

namespace {

// Marks the file as ours ("KLRP"); other SQLite files are refused.
constexpr int applicationId = 0x4b4c5250;
constexpr int schemaVersion = 1;

const char* const schema[] = {
    "CREATE TABLE users(id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL UNIQUE, "
    "salt BLOB NOT NULL, digest BLOB NOT NULL, iterations INTEGER NOT NULL)",
    "CREATE TABLE patches(id INTEGER PRIMARY KEY AUTOINCREMENT, uid INTEGER NOT NULL, "
    "name TEXT NOT NULL, filename TEXT NOT NULL, description TEXT NOT NULL, data BLOB NOT NULL, "
    "date INTEGER NOT NULL)",
    "CREATE INDEX patches_uid ON patches(uid)",
    "CREATE TABLE blocks(id INTEGER PRIMARY KEY AUTOINCREMENT, uid INTEGER NOT NULL, "
    "name TEXT NOT NULL, title TEXT NOT NULL, filename TEXT NOT NULL, hash TEXT NOT NULL, "
    "description TEXT NOT NULL, category TEXT NOT NULL, data BLOB NOT NULL, "
    "date INTEGER NOT NULL)",
    "CREATE INDEX blocks_uid ON blocks(uid)",
    "CREATE INDEX blocks_name ON blocks(name, hash)",
    "CREATE TABLE comments(id INTEGER PRIMARY KEY AUTOINCREMENT, on_block INTEGER NOT NULL, "
    "target INTEGER NOT NULL, uid INTEGER NOT NULL, content TEXT NOT NULL, "
    "date INTEGER NOT NULL)",
    "CREATE INDEX comments_target ON comments(on_block, target)",
    "CREATE TABLE settings(key TEXT PRIMARY KEY, value TEXT NOT NULL)",
};

std::atomic<quint64> nextSerial{1};

// This thread's connection of each store, by the store's serial (never reused, so a gone
// store's entry is never looked at again; the store closed the connection itself).
thread_local std::unordered_map<quint64, void*> threadConnections;

// A prepared statement in use: bindings and reading, reset when it goes.
class Query
{
public:
    explicit Query(sqlite3_stmt* statement) : s(statement) {}
    ~Query()
    {
        if (s) {
            sqlite3_reset(s);
            sqlite3_clear_bindings(s);
        }
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    bool valid() const { return s != nullptr; }
    Query& integer(int at, qint64 value)
    {
        sqlite3_bind_int64(s, at, value);
        return *this;
    }
    Query& text(int at, const QString& value)
    {
        const QByteArray utf8 = value.toUtf8();
        sqlite3_bind_text(s, at, utf8.isNull() ? "" : utf8.constData(), utf8.size(),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Query& blob(int at, const QByteArray& value)
    {
        if (value.isEmpty()) {
            sqlite3_bind_zeroblob(s, at, 0);
        } else {
            // The bytes stay alive in `kept` until the statement is reset.
            kept.push_back(value);
            sqlite3_bind_blob64(s, at, kept.back().constData(), sqlite3_uint64(value.size()),
                                SQLITE_STATIC);
        }
        return *this;
    }
    int step() { return sqlite3_step(s); }
    qint64 int64(int column) const { return sqlite3_column_int64(s, column); }
    QString string(int column) const
    {
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, column)),
                                 sqlite3_column_bytes(s, column));
    }
    QByteArray bytes(int column) const
    {
        const void* data = sqlite3_column_blob(s, column);
        return QByteArray(static_cast<const char*>(data), sqlite3_column_bytes(s, column));
    }

private:
    sqlite3_stmt* s;
    std::vector<QByteArray> kept;
};

sqlite3_stmt* prepared(sqlite3* db, std::unordered_map<const char*, sqlite3_stmt*>& cache,
                       const char* sql)
{
    const auto it = cache.find(sql);
    if (it != cache.end())
        return it->second;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) !=
        SQLITE_OK)
        return nullptr;
    cache.emplace(sql, statement);
    return statement;
}

bool execute(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The first column of the first row of a one-value query, or `fallback`.
qint64 single(sqlite3* db, const char* sql, qint64 fallback, bool* ok = nullptr)
{
    sqlite3_stmt* s = nullptr;
    qint64 value = fallback;
    bool good = sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK;
    if (good) {
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW)
            value = sqlite3_column_int64(s, 0);
        good = rc == SQLITE_ROW || rc == SQLITE_DONE;
    }
    sqlite3_finalize(s);
    if (ok)
        *ok = good;
    return value;
}

} // namespace

RepositoryStore::RepositoryStore(const QString& path) : filePath(path), serial(nextSerial++) {}

RepositoryStore::~RepositoryStore()
{
    const std::lock_guard<std::mutex> lock(mutex);
    threadConnections.erase(serial);
    connections.clear();
}

void RepositoryStore::setErrorSink(std::function<void(const QString&)> sink)
{
    errorSink = std::move(sink);
}

std::unique_ptr<RepositoryStore> RepositoryStore::open(const QString& path, QString* error)
{
    std::unique_ptr<RepositoryStore> store(new RepositoryStore(path));
    auto c = std::make_unique<Connection>();
    if (!store->openConnection(*c, true, error))
        return nullptr;
    const std::lock_guard<std::mutex> lock(store->mutex);
    threadConnections[store->serial] = c.get();
    store->connections.push_back(std::move(c));
    return store;
}

bool RepositoryStore::openConnection(Connection& c, bool create, QString* error)
{
    auto failWith = [&](const QString& text) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(filePath, text);
        return false;
    };
    const int flags =
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | (create ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(QFileInfo(filePath).absoluteFilePath().toUtf8().constData(), &c.db, flags,
                        nullptr) != SQLITE_OK)
        return failWith(c.db ? QString::fromUtf8(sqlite3_errmsg(c.db))
                             : QStringLiteral("cannot open"));
    sqlite3_extended_result_codes(c.db, 1);
    sqlite3_busy_timeout(c.db, serverlimits::busyTimeoutMs);
    // The write-ahead log grows to the largest change; after a checkpoint it is cut back, so
    // one large upload does not keep a file of its size for good.
    if (!execute(c.db, "PRAGMA synchronous=FULL") ||
        !execute(c.db, "PRAGMA journal_size_limit=4194304"))
        return failWith(QString::fromUtf8(sqlite3_errmsg(c.db)));
    if (!create)
        return true;

    bool ok = false;
    const qint64 id = single(c.db, "PRAGMA application_id", 0, &ok);
    if (!ok)
        return failWith(QString::fromUtf8(sqlite3_errmsg(c.db)));
    if (id == 0) {
        // A new file, or one that another process is creating at this moment.
        if (!execute(c.db, "BEGIN IMMEDIATE"))
            return failWith(QString::fromUtf8(sqlite3_errmsg(c.db)));
        const qint64 again = single(c.db, "PRAGMA application_id", 0);
        const qint64 objects = single(c.db, "SELECT count(*) FROM sqlite_master", 0);
        if (again == 0 && objects != 0) {
            execute(c.db, "ROLLBACK");
            return failWith(QStringLiteral("this is another program's database"));
        }
        if (again == 0) {
            for (const char* sql : schema) {
                if (!execute(c.db, sql)) {
                    const QString message = QString::fromUtf8(sqlite3_errmsg(c.db));
                    execute(c.db, "ROLLBACK");
                    return failWith(message);
                }
            }
            execute(c.db, QStringLiteral("PRAGMA application_id=%1")
                              .arg(applicationId)
                              .toLatin1()
                              .constData());
            execute(
                c.db,
                QStringLiteral("PRAGMA user_version=%1").arg(schemaVersion).toLatin1().constData());
        }
        if (!execute(c.db, "COMMIT")) {
            const QString message = QString::fromUtf8(sqlite3_errmsg(c.db));
            execute(c.db, "ROLLBACK");
            return failWith(message);
        }
    } else if (id != applicationId) {
        return failWith(QStringLiteral("this is another program's database"));
    }
    if (single(c.db, "PRAGMA user_version", 0) > schemaVersion)
        return failWith(QStringLiteral("made by a newer version of this server"));
    // WAL stays set in the file; readers never wait for the writer.
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(c.db, "PRAGMA journal_mode=WAL", -1, &s, nullptr);
    const bool wal = s && sqlite3_step(s) == SQLITE_ROW &&
                     qstricmp(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), "wal") == 0;
    sqlite3_finalize(s);
    if (!wal)
        return failWith(QStringLiteral("cannot use write-ahead logging here: %1")
                            .arg(QString::fromUtf8(sqlite3_errmsg(c.db))));
    return true;
}

RepositoryStore::Connection* RepositoryStore::connection()
{
    const auto it = threadConnections.find(serial);
    if (it != threadConnections.end())
        return static_cast<Connection*>(it->second);
    auto c = std::make_unique<Connection>();
    QString error;
    if (!openConnection(*c, false, &error)) {
        if (errorSink)
            errorSink(error);
        else
            std::fprintf(stderr, "knotlattice-repository: %s\n", qPrintable(error));
        return nullptr;
    }
    Connection* raw = c.get();
    const std::lock_guard<std::mutex> lock(mutex);
    connections.push_back(std::move(c));
    threadConnections[serial] = raw;
    return raw;
}

bool RepositoryStore::fail(Connection& c, const char* what)
{
    const QString message = QStringLiteral("database error while %1: %2")
                                .arg(QLatin1String(what), QString::fromUtf8(sqlite3_errmsg(c.db)));
    if (errorSink)
        errorSink(message);
    else
        std::fprintf(stderr, "knotlattice-repository: %s\n", qPrintable(message));
    return false;
}

bool RepositoryStore::write(Connection& c, const std::function<bool()>& body)
{
    const bool outer = c.depth == 0;
    if (outer) {
        if (!execute(c.db, "BEGIN IMMEDIATE"))
            return fail(c, "starting a change");
        c.broken = false;
    }
    ++c.depth;
    const bool ok = body();
    --c.depth;
    if (!ok)
        c.broken = true;
    if (!outer)
        return ok;
    if (c.broken) {
        execute(c.db, "ROLLBACK");
        return false;
    }
    if (!execute(c.db, "COMMIT")) {
        fail(c, "committing a change");
        execute(c.db, "ROLLBACK");
        return false;
    }
    // A connection's own commits leave its data_version as it was.
    ++changes;
    return true;
}

quint64 RepositoryStore::generation()
{
    Connection* c = connection();
    if (!c)
        return ++changes;
    Query q(prepared(c->db, c->statements, "PRAGMA data_version"));
    if (!q.valid() || q.step() != SQLITE_ROW)
        return ++changes;
    // Changes from other connections, this process's or another's.
    const qint64 version = q.int64(0);
    if (version != c->dataVersion) {
        c->dataVersion = version;
        return ++changes;
    }
    return changes.load();
}

bool RepositoryStore::transaction(const std::function<bool()>& body)
{
    Connection* c = connection();
    return c && write(*c, body);
}

qint64 RepositoryStore::now() const
{
    const qint64 fixed = fixedTime.load();
    return fixed ? fixed : QDateTime::currentSecsSinceEpoch();
}

bool RepositoryStore::acceptableUserName(const QString& name)
{
    if (name.trimmed().isEmpty() || name != name.trimmed() || name.size() > 100)
        return false;
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return false;
    }
    return true;
}

bool RepositoryStore::acceptableFile(const QByteArray& data)
{
    return data.size() <= serverlimits::maxFileBytes;
}

// --- Users ---------------------------------------------------------------------------------

RepositoryStore::Outcome RepositoryStore::addUser(const QString& name, const QByteArray& password,
                                                  int* uid)
{
    if (!acceptableUserName(name))
        return Outcome::Refused;
    Connection* c = connection();
    if (!c)
        return Outcome::Failed;
    const QByteArray salt = PasswordDigest::newSalt();
    const QByteArray digest =
        PasswordDigest::derive(password, salt, serverlimits::passwordIterations);
    Outcome outcome = Outcome::Failed;
    write(*c, [&] {
        {
            Query taken(prepared(c->db, c->statements, "SELECT id FROM users WHERE name = ?"));
            if (!taken.valid())
                return fail(*c, "looking up a user");
            taken.text(1, name);
            const int rc = taken.step();
            if (rc == SQLITE_ROW) {
                outcome = Outcome::Refused;
                return false;
            }
            if (rc != SQLITE_DONE)
                return fail(*c, "looking up a user");
        }
        Query q(prepared(c->db, c->statements,
                         "INSERT INTO users(name, salt, digest, iterations) VALUES(?, ?, ?, ?)"));
        if (!q.valid())
            return fail(*c, "adding a user");
        q.text(1, name).blob(2, salt).blob(3, digest).integer(4, serverlimits::passwordIterations);
        if (q.step() != SQLITE_DONE)
            return fail(*c, "adding a user");
        if (uid)
            *uid = int(sqlite3_last_insert_rowid(c->db));
        outcome = Outcome::Done;
        return true;
    });
    return outcome;
}

int RepositoryStore::logIn(const QString& name, const QByteArray& password)
{
    Connection* c = connection();
    if (!c)
        return -1;
    Query q(prepared(c->db, c->statements,
                     "SELECT id, salt, iterations, digest FROM users WHERE name = ?"));
    if (!q.valid())
        return fail(*c, "logging in"), -1;
    q.text(1, name);
    const int rc = q.step();
    if (rc == SQLITE_DONE) {
        // As long as a known name takes, so the time tells no names.
        PasswordDigest::derive(password, QByteArray(PasswordDigest::saltBytes, 'x'),
                               serverlimits::passwordIterations);
        return 0;
    }
    if (rc != SQLITE_ROW)
        return fail(*c, "logging in"), -1;
    return PasswordDigest::matches(password, q.bytes(1), int(q.int64(2)), q.bytes(3))
               ? int(q.int64(0))
               : 0;
}

bool RepositoryStore::checkPassword(int uid, const QByteArray& password, bool* failed)
{
    if (failed)
        *failed = false;
    Connection* c = connection();
    if (!c) {
        if (failed)
            *failed = true;
        return false;
    }
    Query q(
        prepared(c->db, c->statements, "SELECT salt, iterations, digest FROM users WHERE id = ?"));
    if (!q.valid()) {
        if (failed)
            *failed = true;
        return fail(*c, "checking a password");
    }
    q.integer(1, uid);
    const int rc = q.step();
    if (rc != SQLITE_ROW) {
        if (rc != SQLITE_DONE) {
            fail(*c, "checking a password");
            if (failed)
                *failed = true;
        }
        return false;
    }
    return PasswordDigest::matches(password, q.bytes(0), int(q.int64(1)), q.bytes(2));
}

bool RepositoryStore::users(QList<User>& out)
{
    out.clear();
    Connection* c = connection();
    if (!c)
        return false;
    Query q(prepared(c->db, c->statements, "SELECT id, name FROM users ORDER BY id"));
    if (!q.valid())
        return fail(*c, "listing users");
    int rc;
    while ((rc = q.step()) == SQLITE_ROW)
        out.append({int(q.int64(0)), q.string(1)});
    return rc == SQLITE_DONE || fail(*c, "listing users");
}

// --- Changes -------------------------------------------------------------------------------

int RepositoryStore::addPatch(const Patch& p)
{
    if (!acceptableFile(p.data))
        return 0;
    Connection* c = connection();
    if (!c)
        return 0;
    int id = 0;
    write(*c, [&] {
        Query q(prepared(c->db, c->statements,
                         "INSERT INTO patches(uid, name, filename, description, data, date) "
                         "VALUES(?, ?, ?, ?, ?, ?)"));
        if (!q.valid())
            return fail(*c, "adding a patch");
        q.integer(1, p.uid).text(2, p.name).text(3, p.filename).text(4, p.description);
        q.blob(5, p.data).integer(6, p.date ? p.date : now());
        if (q.step() != SQLITE_DONE)
            return fail(*c, "adding a patch");
        id = int(sqlite3_last_insert_rowid(c->db));
        return true;
    });
    return id;
}

int RepositoryStore::addBlock(const Block& b)
{
    if (!acceptableFile(b.data))
        return 0;
    Connection* c = connection();
    if (!c)
        return 0;
    int id = 0;
    write(*c, [&] {
        Query q(prepared(c->db, c->statements,
                         "INSERT INTO blocks(uid, name, title, filename, hash, description, "
                         "category, data, date) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        if (!q.valid())
            return fail(*c, "adding a block");
        q.integer(1, b.uid).text(2, b.name).text(3, b.title).text(4, b.filename).text(5, b.hash);
        q.text(6, b.description).text(7, b.category).blob(8, b.data);
        q.integer(9, b.date ? b.date : now());
        if (q.step() != SQLITE_DONE)
            return fail(*c, "adding a block");
        id = int(sqlite3_last_insert_rowid(c->db));
        return true;
    });
    return id;
}

RepositoryStore::Outcome RepositoryStore::addComment(const Comment& comment, int* id)
{
    Connection* c = connection();
    if (!c)
        return Outcome::Failed;
    Outcome outcome = Outcome::Failed;
    write(*c, [&] {
        {
            Query exists(prepared(c->db, c->statements,
                                  comment.onBlock ? "SELECT 1 FROM blocks WHERE id = ?"
                                                  : "SELECT 1 FROM patches WHERE id = ?"));
            if (!exists.valid())
                return fail(*c, "adding a comment");
            exists.integer(1, comment.target);
            const int rc = exists.step();
            if (rc == SQLITE_DONE) {
                outcome = Outcome::Refused;
                return false;
            }
            if (rc != SQLITE_ROW)
                return fail(*c, "adding a comment");
        }
        Query q(prepared(c->db, c->statements,
                         "INSERT INTO comments(on_block, target, uid, content, date) "
                         "VALUES(?, ?, ?, ?, ?)"));
        if (!q.valid())
            return fail(*c, "adding a comment");
        q.integer(1, comment.onBlock ? 1 : 0).integer(2, comment.target).integer(3, comment.uid);
        q.text(4, comment.content).integer(5, comment.date ? comment.date : now());
        if (q.step() != SQLITE_DONE)
            return fail(*c, "adding a comment");
        if (id)
            *id = int(sqlite3_last_insert_rowid(c->db));
        outcome = Outcome::Done;
        return true;
    });
    return outcome;
}

namespace {

// Done when `uid` owns the entry, Refused when it does not or there is none.
RepositoryStore::Outcome owner(sqlite3* db, std::unordered_map<const char*, sqlite3_stmt*>& cache,
                               const char* sql, int id, int uid)
{
    Query q(prepared(db, cache, sql));
    if (!q.valid())
        return RepositoryStore::Outcome::Failed;
    q.integer(1, id);
    const int rc = q.step();
    if (rc == SQLITE_ROW)
        return q.int64(0) == uid ? RepositoryStore::Outcome::Done
                                 : RepositoryStore::Outcome::Refused;
    return rc == SQLITE_DONE ? RepositoryStore::Outcome::Refused : RepositoryStore::Outcome::Failed;
}

} // namespace

RepositoryStore::Outcome RepositoryStore::updatePatch(int id, int uid, const PatchEdit& edit)
{
    if (edit.withFile && !acceptableFile(edit.data))
        return Outcome::Refused;
    Connection* c = connection();
    if (!c)
        return Outcome::Failed;
    Outcome outcome = Outcome::Failed;
    write(*c, [&] {
        outcome = owner(c->db, c->statements, "SELECT uid FROM patches WHERE id = ?", id, uid);
        if (outcome != Outcome::Done)
            return outcome == Outcome::Refused ? false : fail(*c, "changing a patch");
        Query q(prepared(c->db, c->statements,
                         edit.withFile ? "UPDATE patches SET name = ?, description = ?, "
                                         "filename = ?, data = ? WHERE id = ?"
                                       : "UPDATE patches SET name = ?, description = ? "
                                         "WHERE id = ?"));
        if (!q.valid())
            return fail(*c, "changing a patch");
        q.text(1, edit.name).text(2, edit.description);
        if (edit.withFile)
            q.text(3, edit.filename).blob(4, edit.data).integer(5, id);
        else
            q.integer(3, id);
        if (q.step() != SQLITE_DONE) {
            outcome = Outcome::Failed;
            return fail(*c, "changing a patch");
        }
        return true;
    });
    return outcome;
}

RepositoryStore::Outcome RepositoryStore::updateBlock(int id, int uid, const BlockEdit& edit)
{
    if (edit.withFile && !acceptableFile(edit.data))
        return Outcome::Refused;
    Connection* c = connection();
    if (!c)
        return Outcome::Failed;
    Outcome outcome = Outcome::Failed;
    write(*c, [&] {
        outcome = owner(c->db, c->statements, "SELECT uid FROM blocks WHERE id = ?", id, uid);
        if (outcome != Outcome::Done)
            return outcome == Outcome::Refused ? false : fail(*c, "changing a block");
        Query q(prepared(c->db, c->statements,
                         edit.withFile ? "UPDATE blocks SET title = ?, description = ?, "
                                         "name = ?, hash = ?, filename = ?, category = ?, "
                                         "data = ? WHERE id = ?"
                                       : "UPDATE blocks SET title = ?, description = ? "
                                         "WHERE id = ?"));
        if (!q.valid())
            return fail(*c, "changing a block");
        q.text(1, edit.title).text(2, edit.description);
        if (edit.withFile) {
            q.text(3, edit.name).text(4, edit.hash).text(5, edit.filename);
            q.text(6, edit.category).blob(7, edit.data).integer(8, id);
        } else {
            q.integer(3, id);
        }
        if (q.step() != SQLITE_DONE) {
            outcome = Outcome::Failed;
            return fail(*c, "changing a block");
        }
        return true;
    });
    return outcome;
}

RepositoryStore::Outcome RepositoryStore::deletePatch(int id, int uid)
{
    Connection* c = connection();
    if (!c)
        return Outcome::Failed;
    Outcome outcome = Outcome::Failed;
    write(*c, [&] {
        outcome = owner(c->db, c->statements, "SELECT uid FROM patches WHERE id = ?", id, uid);
        if (outcome != Outcome::Done)
            return outcome == Outcome::Refused ? false : fail(*c, "removing a patch");
        Query entry(prepared(c->db, c->statements, "DELETE FROM patches WHERE id = ?"));
        Query notes(prepared(c->db, c->statements,
                             "DELETE FROM comments WHERE on_block = 0 AND target = ?"));
        if (!entry.valid() || !notes.valid() || entry.integer(1, id).step() != SQLITE_DONE ||
            notes.integer(1, id).step() != SQLITE_DONE) {
            outcome = Outcome::Failed;
            return fail(*c, "removing a patch");
        }
        return true;
    });
    return outcome;
}

RepositoryStore::Outcome RepositoryStore::deleteBlock(int id, int uid)
{
    Connection* c = connection();
    if (!c)
        return Outcome::Failed;
    Outcome outcome = Outcome::Failed;
    write(*c, [&] {
        outcome = owner(c->db, c->statements, "SELECT uid FROM blocks WHERE id = ?", id, uid);
        if (outcome != Outcome::Done)
            return outcome == Outcome::Refused ? false : fail(*c, "removing a block");
        Query entry(prepared(c->db, c->statements, "DELETE FROM blocks WHERE id = ?"));
        Query notes(prepared(c->db, c->statements,
                             "DELETE FROM comments WHERE on_block = 1 AND target = ?"));
        if (!entry.valid() || !notes.valid() || entry.integer(1, id).step() != SQLITE_DONE ||
            notes.integer(1, id).step() != SQLITE_DONE) {
            outcome = Outcome::Failed;
            return fail(*c, "removing a block");
        }
        return true;
    });
    return outcome;
}

// --- Reads ---------------------------------------------------------------------------------

bool RepositoryStore::patches(QList<Patch>& out, int uid, bool withData)
{
    static const char* const sql[2][2] = {
        {"SELECT p.id, p.uid, p.name, IFNULL(u.name, ''), p.filename, p.description, p.date "
         "FROM patches p LEFT JOIN users u ON u.id = p.uid ORDER BY p.id",
         "SELECT p.id, p.uid, p.name, IFNULL(u.name, ''), p.filename, p.description, p.date, "
         "p.data FROM patches p LEFT JOIN users u ON u.id = p.uid ORDER BY p.id"},
        {"SELECT p.id, p.uid, p.name, IFNULL(u.name, ''), p.filename, p.description, p.date "
         "FROM patches p LEFT JOIN users u ON u.id = p.uid WHERE p.uid = ? ORDER BY p.id",
         "SELECT p.id, p.uid, p.name, IFNULL(u.name, ''), p.filename, p.description, p.date, "
         "p.data FROM patches p LEFT JOIN users u ON u.id = p.uid WHERE p.uid = ? "
         "ORDER BY p.id"}};
    out.clear();
    Connection* c = connection();
    if (!c)
        return false;
    Query q(prepared(c->db, c->statements, sql[uid >= 0][withData]));
    if (!q.valid())
        return fail(*c, "listing patches");
    if (uid >= 0)
        q.integer(1, uid);
    int rc;
    while ((rc = q.step()) == SQLITE_ROW) {
        Patch p;
        p.id = int(q.int64(0));
        p.uid = int(q.int64(1));
        p.name = q.string(2);
        p.user = q.string(3);
        p.filename = q.string(4);
        p.description = q.string(5);
        p.date = q.int64(6);
        if (withData)
            p.data = q.bytes(7);
        out.append(p);
    }
    return rc == SQLITE_DONE || fail(*c, "listing patches");
}

bool RepositoryStore::blocks(QList<Block>& out, int uid, bool withData)
{
    static const char* const sql[2][2] = {
        {"SELECT b.id, b.uid, b.name, b.title, IFNULL(u.name, ''), b.filename, b.hash, "
         "b.description, b.category, b.date FROM blocks b LEFT JOIN users u ON u.id = b.uid "
         "ORDER BY b.id",
         "SELECT b.id, b.uid, b.name, b.title, IFNULL(u.name, ''), b.filename, b.hash, "
         "b.description, b.category, b.date, b.data FROM blocks b "
         "LEFT JOIN users u ON u.id = b.uid ORDER BY b.id"},
        {"SELECT b.id, b.uid, b.name, b.title, IFNULL(u.name, ''), b.filename, b.hash, "
         "b.description, b.category, b.date FROM blocks b LEFT JOIN users u ON u.id = b.uid "
         "WHERE b.uid = ? ORDER BY b.id",
         "SELECT b.id, b.uid, b.name, b.title, IFNULL(u.name, ''), b.filename, b.hash, "
         "b.description, b.category, b.date, b.data FROM blocks b "
         "LEFT JOIN users u ON u.id = b.uid WHERE b.uid = ? ORDER BY b.id"}};
    out.clear();
    Connection* c = connection();
    if (!c)
        return false;
    Query q(prepared(c->db, c->statements, sql[uid >= 0][withData]));
    if (!q.valid())
        return fail(*c, "listing blocks");
    if (uid >= 0)
        q.integer(1, uid);
    int rc;
    while ((rc = q.step()) == SQLITE_ROW) {
        Block b;
        b.id = int(q.int64(0));
        b.uid = int(q.int64(1));
        b.name = q.string(2);
        b.title = q.string(3);
        b.user = q.string(4);
        b.filename = q.string(5);
        b.hash = q.string(6);
        b.description = q.string(7);
        b.category = q.string(8);
        b.date = q.int64(9);
        if (withData)
            b.data = q.bytes(10);
        out.append(b);
    }
    return rc == SQLITE_DONE || fail(*c, "listing blocks");
}

bool RepositoryStore::comments(QList<Comment>& out, bool onBlock, int target)
{
    out.clear();
    Connection* c = connection();
    if (!c)
        return false;
    Query q(prepared(c->db, c->statements,
                     "SELECT c.id, c.uid, IFNULL(u.name, ''), c.content, c.date FROM comments c "
                     "LEFT JOIN users u ON u.id = c.uid WHERE c.on_block = ? AND c.target = ? "
                     "ORDER BY c.id"));
    if (!q.valid())
        return fail(*c, "listing comments");
    q.integer(1, onBlock ? 1 : 0).integer(2, target);
    int rc;
    while ((rc = q.step()) == SQLITE_ROW) {
        Comment comment;
        comment.id = int(q.int64(0));
        comment.onBlock = onBlock;
        comment.target = target;
        comment.uid = int(q.int64(1));
        comment.user = q.string(2);
        comment.content = q.string(3);
        comment.date = q.int64(4);
        out.append(comment);
    }
    return rc == SQLITE_DONE || fail(*c, "listing comments");
}

bool RepositoryStore::comments(QList<Comment>& out)
{
    out.clear();
    Connection* c = connection();
    if (!c)
        return false;
    Query q(prepared(c->db, c->statements,
                     "SELECT c.id, c.on_block, c.target, c.uid, IFNULL(u.name, ''), c.content, "
                     "c.date FROM comments c LEFT JOIN users u ON u.id = c.uid ORDER BY c.id"));
    if (!q.valid())
        return fail(*c, "listing comments");
    int rc;
    while ((rc = q.step()) == SQLITE_ROW) {
        Comment comment;
        comment.id = int(q.int64(0));
        comment.onBlock = q.int64(1) != 0;
        comment.target = int(q.int64(2));
        comment.uid = int(q.int64(3));
        comment.user = q.string(4);
        comment.content = q.string(5);
        comment.date = q.int64(6);
        out.append(comment);
    }
    return rc == SQLITE_DONE || fail(*c, "listing comments");
}

RepositoryStore::Outcome RepositoryStore::patchData(int id, QByteArray& out)
{
    Connection* c = connection();
    if (!c)
        return Outcome::Failed;
    Query q(prepared(c->db, c->statements, "SELECT data FROM patches WHERE id = ?"));
    if (!q.valid())
        return fail(*c, "reading a patch"), Outcome::Failed;
    q.integer(1, id);
    const int rc = q.step();
    if (rc == SQLITE_ROW) {
        out = q.bytes(0);
        return Outcome::Done;
    }
    if (rc == SQLITE_DONE)
        return Outcome::Refused;
    fail(*c, "reading a patch");
    return Outcome::Failed;
}

RepositoryStore::Outcome RepositoryStore::blockData(const QString& name, const QString& hash,
                                                    QByteArray& out)
{
    Connection* c = connection();
    if (!c)
        return Outcome::Failed;
    Query q(prepared(c->db, c->statements,
                     "SELECT data FROM blocks WHERE name = ? AND hash = ? ORDER BY id LIMIT 1"));
    if (!q.valid())
        return fail(*c, "reading a block"), Outcome::Failed;
    q.text(1, name).text(2, hash);
    const int rc = q.step();
    if (rc == SQLITE_ROW) {
        out = q.bytes(0);
        return Outcome::Done;
    }
    if (rc == SQLITE_DONE)
        return Outcome::Refused;
    fail(*c, "reading a block");
    return Outcome::Failed;
}

bool RepositoryStore::counts(Counts& out)
{
    Connection* c = connection();
    if (!c)
        return false;
    Query q(prepared(c->db, c->statements,
                     "SELECT (SELECT count(*) FROM users), (SELECT count(*) FROM patches), "
                     "(SELECT count(*) FROM blocks), (SELECT count(*) FROM comments)"));
    if (!q.valid() || q.step() != SQLITE_ROW)
        return fail(*c, "counting entries");
    out.users = int(q.int64(0));
    out.patches = int(q.int64(1));
    out.blocks = int(q.int64(2));
    out.comments = int(q.int64(3));
    return true;
}

bool RepositoryStore::version(int out[3])
{
    out[0] = 1;
    out[1] = 0;
    out[2] = 0;
    Connection* c = connection();
    if (!c)
        return false;
    Query q(prepared(c->db, c->statements, "SELECT value FROM settings WHERE key = 'version'"));
    if (!q.valid())
        return fail(*c, "reading the version");
    const int rc = q.step();
    if (rc == SQLITE_ROW) {
        const QStringList numbers = q.string(0).split(QLatin1Char('.'));
        for (int i = 0; i < 3 && i < numbers.size(); ++i)
            out[i] = numbers.at(i).toInt();
        return true;
    }
    return rc == SQLITE_DONE || fail(*c, "reading the version");
}

bool RepositoryStore::setVersion(int major, int sub, int build)
{
    Connection* c = connection();
    if (!c)
        return false;
    return write(*c, [&] {
        Query q(prepared(c->db, c->statements,
                         "INSERT OR REPLACE INTO settings(key, value) VALUES('version', ?)"));
        if (!q.valid())
            return fail(*c, "setting the version");
        q.text(1, QStringLiteral("%1.%2.%3").arg(major).arg(sub).arg(build));
        return q.step() == SQLITE_DONE || fail(*c, "setting the version");
    });
}
