#include "ClipboardPayload.h"

#include "BinaryPacker.h"
#include "BinaryUtil.h"
#include "BlockConnection.h"
#include "BlockDescription.h"
#include "RecordFit.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <deque>
#include <limits>

namespace {

constexpr qint64 max16 = 0xFFFF;

// Where one axis of the selection goes in the record: its items move by `shift`.
struct Axis
{
    qint64 low = std::numeric_limits<qint64>::max();
    qint64 high = std::numeric_limits<qint64>::min();

    void add(qint64 value)
    {
        low = std::min(low, value);
        high = std::max(high, value);
    }
    bool empty() const { return low > high; }
    bool fits() const { return empty() || high - low <= max16; }
    qint64 shift() const { return empty() || (low >= 0 && high <= max16) ? 0 : low; }
    qint64 origin() const { return empty() ? 0 : low - shift(); }
};

// The ids as they are when each is distinct, from 1 and at most `limit`; else 1, 2, ... in
// order.
QList<qint32> recordIds(const QList<qint32>& ids, qint64 limit)
{
    QSet<qint32> seen;
    bool keep = true;
    for (const qint32 id : ids) {
        if (id < 1 || id > limit || seen.contains(id)) {
            keep = false;
            break;
        }
        seen.insert(id);
    }
    if (keep)
        return ids;
    QList<qint32> numbered;
    for (int i = 0; i < ids.size(); ++i)
        numbered.append(i + 1);
    return numbered;
}

} // namespace

namespace util {

QByteArray clipboardPayload(const QByteArray& packed, const QList<QByteArray>& files)
{
    QByteArray payload = packed;
    for (const QByteArray& file : files) {
        payload.append(bin::createSeparator());
        payload.append(file);
    }
    return payload;
}

QList<QByteArray> unpackClipboardPayload(const QByteArray& payload)
{
    const QByteArray sep = bin::createSeparator();
    if (payload.size() >= 2 && bin::readBE16(payload.constData()) != 0) {
        const bin::Inflated record =
            bin::inflate(payload.constData() + 2, payload.size() - 2, false);
        const qsizetype end = 2 + record.consumed;
        if (record.status == bin::InflateStatus::Ok) {
            if (end == payload.size())
                return {payload};
            if (bin::matchesAt(payload, end, sep)) {
                QList<QByteArray> parts{payload.left(int(end))};
                parts.append(bin::splitFromEnd(payload.mid(int(end + sep.size())), sep));
                return parts;
            }
        }
    }
    return bin::splitFromEnd(payload, sep);
}

QByteArray selectionRecord(const InstanceList& instances, const QList<const Comment*>& comments,
                           bool* fits)
{
    QList<const BlockInstance*> blocks;
    for (const BlockInstance* instance : instances) {
        if (instance)
            blocks.append(instance);
    }
    QList<const Comment*> notes;
    for (const Comment* comment : comments) {
        if (comment)
            notes.append(comment);
    }

    Axis x;
    Axis y;
    for (const BlockInstance* instance : blocks) {
        x.add(instance->x);
        y.add(instance->y);
    }
    for (const Comment* comment : notes) {
        x.add(comment->x);
        y.add(comment->y);
    }
    if (fits)
        *fits = x.fits() && y.fits();
    if (!x.fits() || !y.fits())
        return QByteArray();

    QList<qint32> blockIds;
    for (const BlockInstance* instance : blocks)
        blockIds.append(instance->id);
    blockIds = recordIds(blockIds, max16);
    QList<qint32> commentIds;
    for (const Comment* comment : notes)
        commentIds.append(comment->id);
    // A comment record that starts with FF FF would read as the end of its section.
    commentIds = recordIds(commentIds, max16 - 1);

    // Copies stand in for the selection: the document is not changed. Their cables point at
    // the copies, so the record names the copies' ids.
    QHash<const BlockInstance*, int> index;
    for (int i = 0; i < blocks.size(); ++i)
        index.insert(blocks.at(i), i);
    std::deque<BlockInstance> copies;
    for (int i = 0; i < blocks.size(); ++i) {
        BlockInstance copy = *blocks.at(i);
        copy.id = blockIds.at(i);
        copy.x = qint32(copy.x - x.shift());
        copy.y = qint32(copy.y - y.shift());
        copy.inputs.clear();
        copy.outputs.clear();
        copies.push_back(copy);
    }
    std::deque<BlockConnection> cables;
    for (int i = 0; i < blocks.size(); ++i) {
        const auto& outputs = blocks.at(i)->outputs;
        for (auto it = outputs.cbegin(); it != outputs.cend(); ++it) {
            const BlockConnection* cable = it.value();
            const auto target = cable ? index.constFind(cable->inBlock) : index.constEnd();
            if (target == index.constEnd())
                continue;
            BlockConnection copy = *cable;
            copy.outBlock = &copies[size_t(i)];
            copy.inBlock = &copies[size_t(*target)];
            cables.push_back(copy);
            copies[size_t(i)].outputs.insert(it.key(), &cables.back());
        }
    }
    std::deque<Comment> noteCopies;
    for (int i = 0; i < notes.size(); ++i) {
        Comment copy = *notes.at(i);
        copy.id = commentIds.at(i);
        copy.x = qint32(copy.x - x.shift());
        copy.y = qint32(copy.y - y.shift());
        noteCopies.push_back(copy);
    }

    QList<const BlockInstance*> packedBlocks;
    for (const BlockInstance& copy : copies)
        packedBlocks.append(&copy);
    QList<const Comment*> packedNotes;
    for (const Comment& copy : noteCopies)
        packedNotes.append(&copy);
    QHash<QString, QString> info;
    info.insert(QStringLiteral("x"), QString::number(x.origin()));
    info.insert(QStringLiteral("y"), QString::number(y.origin()));
    return BinaryPacker().pack(packedBlocks, packedNotes, info);
}

QList<QByteArray> selectionBlockFiles(const InstanceList& instances)
{
    QList<QByteArray> files;
    for (const BlockInstance* instance : instances) {
        const BlockDescription* description = instance ? instance->description : nullptr;
        if (!RecordFit::isCarried(description))
            continue;
        if (!description->rawData.isEmpty()) {
            files.append(description->rawData);
            continue;
        }
        if (description->filePath.isEmpty())
            continue;
        QFile file(description->filePath);
        if (file.open(QIODevice::ReadOnly))
            files.append(file.readAll());
    }
    return files;
}

} // namespace util
