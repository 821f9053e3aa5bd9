#pragma once

#include "BlockDescription.h"
#include "Comment.h"

#include <QByteArray>
#include <QList>
#include <QPointF>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>

// What a clipboard text adds to a document, worked out before anything is added: the carried
// descriptions, the blocks, cables and comments with their new ids and places, and the names to
// report. The text is untrusted. Whatever it holds, the plan names only blocks that have a
// description, cables between pasted blocks on sockets those blocks have, and ids that are free
// and fit the packed record's 16 bits.
class PastePlan
{
public:
    // The document pasted into.
    struct Target
    {
        // The document's own description of a name (before the carried ones are added) and the
        // library's; null when absent.
        std::function<const BlockDescription*(const QString&)> documentDescription;
        std::function<const BlockDescription*(const QString&)> libraryDescription;
        QSet<qint32> instanceIds;
        QSet<qint32> commentIds;
        qint32 highestConnectionId = 0;
        // The scene point that the copied selection's top-left goes to.
        QPointF click;
    };

    struct Instance
    {
        // The description's name: the document's own of that name once the carried ones are
        // added, else the library's.
        QString name;
        qint32 id = 0;
        qint32 nodeId = 0;
        qint32 x = 0;
        qint32 y = 0;
        // The stored values, padded with the description's initial values where short.
        QStringList values;
    };

    struct Cable
    {
        qint32 id = 0;
        qint32 outBlock = 0;
        qint32 outSocket = 0;
        qint32 inBlock = 0;
        qint32 inSocket = 0;
    };

    // The largest ids the packed record holds: a comment record that starts with FF FF would
    // read as the end of its section. And the most blocks, comments or carried files a paste
    // takes.
    static constexpr qint32 maxId = 0xFFFF;
    static constexpr qint32 maxCommentId = 0xFFFE;
    static constexpr int maxItems = 0xFFFF;
    // Longer clipboard texts are refused before they are decoded.
    static const int maxTextSize;

    // From the clipboard's text: Base64, where every character outside its alphabet is skipped.
    static PastePlan fromText(const QString& text, const Target& target);
    // From the payload bytes.
    static PastePlan fromPayload(const QByteArray& payload, const Target& target);

    // New ids for stored ids, in their order. Stored id + highest id in use wherever that gives
    // distinct ids from 1 that are not in use and fit `limit`; else the same spacing starting
    // just above the highest id; else compactly above it in stored-id order; else the lowest
    // free ids, 0 last. Empty when fewer than that many ids up to `limit` are free.
    static QList<qint32> freshIds(const QList<qint32>& stored, const QSet<qint32>& used,
                                  qint32 limit = maxId);

    // The record held neither blocks nor comments (or none could be read): nothing is added
    // but the carried descriptions, and no undo step is made.
    bool recordEmpty = true;
    // Carried descriptions in payload order; the document adds each unless it holds the name.
    QList<BlockDescription> descriptions;
    QList<Instance> instances;
    // Both empty when `notFound` is not: a patch that lacks blocks is not assembled.
    QList<Cable> cables;
    QList<Comment> comments;
    // Names, each once, in the order first met.
    QStringList notFound;
    QStringList different;
    // Set when the document cannot take the record's blocks or comments under ids of its own:
    // the reason, and nothing is to be added, carried descriptions neither.
    QString refusal;

private:
    void refuse(qint64 blocks, qint64 comments);
};
