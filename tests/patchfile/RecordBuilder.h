#pragma once

#include "ByteWriter.h"

#include <QByteArray>
#include <QList>
#include <QVector>
#include <array>

// Writes version-6 patch records and patch files record by record, independently of the
// packer, for the large and hostile files that the editor itself would never write.
class RecordBuilder
{
public:
    using Cable = std::array<quint32, 3>; // output socket, target id, input socket

    RecordBuilder& comment(quint32 id, quint32 x, quint32 y, const QByteArray& text)
    {
        comments.u16(id).u16(x).u16(y).text(text);
        ++commentCount;
        return *this;
    }

    RecordBuilder& block(const QByteArray& name, const QByteArray& hash, quint32 id, quint32 x,
                         quint32 y, const QByteArray& values, const QVector<Cable>& cables = {})
    {
        blocks.text(name).text(hash).u8(0).u16(id).u16(x).u16(y).text(values);
        blocks.u8(quint32(cables.size()));
        for (const Cable& c : cables)
            blocks.u8(c[0]).u16(c[1]).u8(c[2]);
        ++blockCount;
        return *this;
    }

    // `count` block records with an empty name, hash and values text and no cable: 14 bytes
    // each.
    RecordBuilder& emptyBlocks(int count)
    {
        blocks.bytes.append(QByteArray(count * 14, '\0'));
        blockCount += count;
        return *this;
    }

    // The body: a header, the comments, a node dictionary of the one node id 0, the blocks.
    QByteArray body() const
    {
        ByteWriter header;
        header.text("hostile").u16(2000).u16(2000).u8(0).u16(0).u32(0).u16(1).u8(31).u16(0);
        ByteWriter nodes;
        nodes.u8(0).u32(0);
        return header.brk().bytes + comments.bytes + ByteWriter().brk().bytes + nodes.bytes +
               ByteWriter().brk().bytes + blocks.bytes;
    }

    // The packed record and the node id 0 after it.
    QByteArray record() const { return packedRecord(6, body()) + QByteArray(4, '\0'); }

    // A patch file: the record, then each part after a separator (parts as they are stored,
    // compressed or not).
    QByteArray file(const QList<QByteArray>& parts = {}) const
    {
        QByteArray bytes = record();
        for (const QByteArray& part : parts)
            bytes += QByteArray("knotlattice", 12) + part;
        return bytes;
    }

    int blockCount = 0;
    int commentCount = 0;

private:
    ByteWriter comments;
    ByteWriter blocks;
};
