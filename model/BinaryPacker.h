#pragma once

#include "Comment.h"
#include "PackedPatch.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

class QDataStream;
struct BlockInstance;

// Writes the packed patch record (always version 6) and reads every version from 0 to 6.
// Keeps no state between calls.
//
// The reader takes a section break only where a record ends, so numbers whose bytes happen to
// be FF FF read back as written; a body it cannot parse that way is read by splitting it at
// every FF FF from the end, the way earlier releases did. Every length is checked against the
// bytes left, and a body is never inflated beyond util::bin::maxUncompressedSize.
class BinaryPacker : public QObject
{
    Q_OBJECT

public:
    // What a record holds: ids are 16 bits, so at most this many blocks and as many comments.
    static constexpr int maxRecords = 0x10000;
    // The highest id of each kind. A comment record starts with its id, and FF FF there reads
    // as the end of the comments.
    static constexpr qint32 highestBlockId = 0xFFFF;
    static constexpr qint32 highestCommentId = 0xFFFE;
    // Values and cables of all blocks together. A patch of the largest shipped blocks holds
    // about 19 values and 17 cables a block, so 32 a block on average is far beyond any patch
    // the editor wrote; a record holding more is refused before its values or cables are built.
    static constexpr qint64 maxValuesOrCables = qint64(maxRecords) * 32;
    // Cables leaving one block, socket numbers, text bytes and node ids of one record.
    static constexpr int maxBlockCables = 0xFF;
    static constexpr int highestSocket = 0xFF;
    static constexpr int maxTextBytes = 0xFFFF;
    static constexpr int maxNodeIds = 0x100;
    // A dictionary entry is its index byte and the id, so the entry at index 255 of an id whose
    // top byte is FF (below 0, or from FF000000 up) would begin with FF FF and read as the
    // section break. The writer puts an id there that may stand there, so 256 node ids fit
    // unless none may.
    static bool mayBeLastNodeId(qint32 id) { return quint32(id) >> 24 != 0xFF; }

    BinaryPacker() : QObject(nullptr) {}

    // `info` holds the header values as decimal texts under "name", "x", "y", "zoomLevel",
    // "date", "saved", "lang" and "includeBlocks"; a missing key or a text that is no number
    // gives 0 (an empty name). Positions are kept inside 0..65535, texts inside 65535 bytes,
    // cables whose target is gone are left out. Ids are stored so that the record reads back
    // with every item: a block id outside 0..65535, or a comment id outside 0..65534 (65535
    // would read as the end of the comments), is stored as the lowest free id, and the cables
    // to a block follow it.
    QByteArray pack(const QList<const BlockInstance*>& instances,
                    const QList<const Comment*>& comments,
                    const QHash<QString, QString>& info) const;
    QByteArray pack(const QList<const BlockInstance*>& instances,
                    const QList<const Comment*>& comments) const;

    // A whole packed record without any trailer. An unknown version, a record shorter than two
    // bytes, a body that is damaged or too large, or one holding more than 65536 blocks or
    // comments (more than the 16-bit ids can tell apart) or more than 2097152 values or cables
    // (32 a block) gives a warning and an empty patch; nothing beyond those counts is built.
    PackedPatch load(const QByteArray& data) const;

    // The readers of each version, called by load: loadV0 takes the whole record, the others
    // the uncompressed body. Version 5 is read by loadV4.
    PackedPatch loadV0(const QByteArray& data) const;
    PackedPatch loadV1(const QByteArray& body) const;
    PackedPatch loadV2(const QByteArray& body) const;
    PackedPatch loadV3(const QByteArray& body) const;
    PackedPatch loadV4(const QByteArray& body) const;
    PackedPatch loadV6(const QByteArray& body) const;

    // True when `data` is a packed record (no trailer) that reads completely: a known version,
    // a body that inflates with nothing after its stream, and four sections that hold whole
    // records and nothing more. Silent.
    static bool isWellFormed(const QByteArray& data);

    // The distinct node ids of the instances, in order of first appearance.
    static QList<qint32> createNodeDictionary(const QList<const BlockInstance*>& instances);

    static void writeText(QDataStream& stream, const QString& text);
    static QString readText(QDataStream& stream);
    static void write8(QDataStream& stream, qint64 value);
    static void write16(QDataStream& stream, qint64 value);
    static void write32(QDataStream& stream, qint64 value);
    static quint32 read8(QDataStream& stream);
    static quint32 read16(QDataStream& stream);
    static quint32 read32(QDataStream& stream);
    static void writeBreak(QDataStream& stream);
};
