#pragma once

#include <QByteArray>
#include <QHash>

#include <mutex>

// List replies kept by the database generation they were made at (RepositoryStore::generation),
// so the busiest answers are not built again while nothing changed. Bounded in bytes and
// entries; stale entries go first.
class ReplyCache
{
public:
    // The body kept for `key` at `generation`.
    bool find(const QByteArray& key, quint64 generation, QByteArray* body) const;
    void keep(const QByteArray& key, quint64 generation, const QByteArray& body);

private:
    struct Entry
    {
        quint64 generation = 0;
        QByteArray body;
    };

    mutable std::mutex mutex;
    QHash<QByteArray, Entry> entries;
    qint64 bytes = 0;
};
