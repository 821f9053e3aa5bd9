#pragma once

#include "BlockConnection.h"
#include "BlockDescription.h"
#include "BlockInstance.h"
#include "Comment.h"
#include "PackedPatch.h"

#include <QHash>
#include <QList>
#include <QtTest>
#include <algorithm>
#include <deque>

// Instances, cables and comments with stable addresses, to hand to the packer.
class PatchFixture
{
public:
    const BlockDescription* description(const QString& name, const QString& hash)
    {
        for (const BlockDescription& d : descriptions) {
            if (d.name == name)
                return &d;
        }
        descriptions.emplace_back();
        descriptions.back().name = name;
        descriptions.back().hash = hash;
        return &descriptions.back();
    }

    BlockInstance& block(qint32 id, const QString& name, qint32 x, qint32 y,
                         const QStringList& values = {QStringLiteral("0")}, qint32 nodeId = 0)
    {
        instances.emplace_back();
        BlockInstance& b = instances.back();
        b.id = id;
        b.description = description(
            name, QStringLiteral("%1").arg(qHash(name) & 0xFFFF, 4, 16, QLatin1Char('0')));
        b.x = x;
        b.y = y;
        b.values = values;
        b.nodeId = nodeId;
        return b;
    }

    void cable(BlockInstance& from, qint32 outSocket, BlockInstance& to, qint32 inSocket)
    {
        connections.emplace_back();
        BlockConnection& c = connections.back();
        c.id = qint32(connections.size());
        c.outBlock = &from;
        c.inBlock = &to;
        c.outBlockSocketId = outSocket;
        c.inBlockSocketId = inSocket;
        from.outputs.insert(outSocket, &c);
        to.inputs.insert(inSocket, &c);
    }

    void comment(qint32 id, qint32 x, qint32 y, const QString& text)
    {
        notes.push_back(Comment{id, x, y, text});
    }

    QList<const BlockInstance*> instanceList() const
    {
        QList<const BlockInstance*> list;
        for (const BlockInstance& b : instances)
            list.append(&b);
        return list;
    }
    QList<const Comment*> commentList() const
    {
        QList<const Comment*> list;
        for (const Comment& c : notes)
            list.append(&c);
        return list;
    }

    std::deque<BlockDescription> descriptions;
    std::deque<BlockInstance> instances;
    std::deque<BlockConnection> connections;
    std::deque<Comment> notes;
};

inline QList<QList<qint32>> sortedCables(QList<QList<qint32>> cables)
{
    std::sort(cables.begin(), cables.end());
    return cables;
}

// Every field of two patches, cables in any order.
inline void comparePatches(const PackedPatch& actual, const PackedPatch& expected)
{
    QCOMPARE(actual.name, expected.name);
    QCOMPARE(actual.x, expected.x);
    QCOMPARE(actual.y, expected.y);
    QCOMPARE(actual.zoomLevel, expected.zoomLevel);
    QCOMPARE(actual.date, expected.date);
    QCOMPARE(actual.saved, expected.saved);
    QCOMPARE(actual.lang, expected.lang);
    QCOMPARE(actual.includeBlocks, expected.includeBlocks);
    QCOMPARE(actual.nodeId, expected.nodeId);
    QCOMPARE(actual.comments.size(), expected.comments.size());
    for (int i = 0; i < expected.comments.size(); ++i) {
        QCOMPARE(actual.comments[i].id, expected.comments[i].id);
        QCOMPARE(actual.comments[i].x, expected.comments[i].x);
        QCOMPARE(actual.comments[i].y, expected.comments[i].y);
        QCOMPARE(actual.comments[i].text, expected.comments[i].text);
    }
    QCOMPARE(actual.blocks.size(), expected.blocks.size());
    for (int i = 0; i < expected.blocks.size(); ++i) {
        const PackedInstance& a = actual.blocks[i];
        const PackedInstance& e = expected.blocks[i];
        QCOMPARE(a.name, e.name);
        QCOMPARE(a.hash, e.hash);
        QCOMPARE(a.id, e.id);
        QCOMPARE(a.nodeValue, e.nodeValue);
        QCOMPARE(a.x, e.x);
        QCOMPARE(a.y, e.y);
        QCOMPARE(a.values, e.values);
        QCOMPARE(sortedCables(a.connections), sortedCables(e.connections));
    }
}

// What the fixture should read back as, with the header values given.
inline PackedPatch expectedPatch(const PatchFixture& fixture, const PackedPatch& header)
{
    PackedPatch patch = header;
    patch.blocks.clear();
    patch.comments.clear();
    for (const Comment& c : fixture.notes)
        patch.comments.append(c);
    for (const BlockInstance& b : fixture.instances) {
        PackedInstance p;
        p.name = b.description->name;
        p.hash = b.description->hash;
        p.id = b.id;
        p.nodeValue = b.nodeId;
        p.x = b.x;
        p.y = b.y;
        p.values = b.values;
        for (const BlockConnection* c : b.outputs)
            p.connections.append({c->outBlockSocketId, c->inBlock->id, c->inBlockSocketId});
        patch.blocks.append(p);
    }
    return patch;
}
