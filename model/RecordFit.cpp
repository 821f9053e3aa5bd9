#include "RecordFit.h"

#include "BinaryPacker.h"
#include "BinaryUtil.h"
#include "BlockDescription.h"
#include "BlockInstance.h"
#include "Comment.h"
#include "DisplayText.h"
#include "PatchInfo.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("RecordFit", text);
}

// Fixed bytes of each record: a text's 16-bit count; a block's node index, id, x, y and cable
// count; a comment's id, x and y; a header's numbers; the three breaks; a dictionary entry.
constexpr qint64 textCount = 2;
constexpr qint64 blockFixed = 1 + 2 + 2 + 2 + 1;
constexpr qint64 cableBytes = 4;
constexpr qint64 commentFixed = 2 + 2 + 2;
constexpr qint64 headerFixed = 2 + 2 + 1 + 2 + 4 + 2 + 1 + 2;
constexpr qint64 breaks = 3 * 3;
constexpr qint64 nodeEntry = 5;

QString nameOf(const BlockInstance& block)
{
    return block.description ? block.description->name : QString();
}

QString hashOf(const BlockInstance& block)
{
    return block.description ? block.description->hash : QString();
}

qint64 valuesSize(const QStringList& values)
{
    qint64 size = qMax(0, values.size() - 1);
    for (const QString& value : values)
        size += RecordFit::utf8Size(value);
    return size;
}

qint64 valueCount(const QStringList& values)
{
    qint64 count = qMax(0, values.size() - 1) + 1;
    for (const QString& value : values)
        count += value.count(QLatin1Char(';'));
    return count;
}

QString blockLabel(const BlockInstance& block)
{
    return QStringLiteral("%1 (%2)").arg(block.id).arg(util::displayName(nameOf(block)));
}

QString tooLong(const QString& what, qint64 bytes)
{
    return tr("%1 takes %2 bytes; a patch holds at most %3 bytes of one text.")
        .arg(what)
        .arg(bytes)
        .arg(BinaryPacker::maxTextBytes);
}

} // namespace

qint64 RecordFit::utf8Size(const QString& text)
{
    qint64 size = 0;
    const int length = text.size();
    const QChar* chars = text.constData();
    for (int i = 0; i < length; ++i) {
        const ushort u = chars[i].unicode();
        if (u < 0x80) {
            size += 1;
        } else if (u < 0x800) {
            size += 2;
        } else if (QChar::isHighSurrogate(u) && i + 1 < length &&
                   QChar::isLowSurrogate(chars[i + 1].unicode())) {
            size += 4;
            ++i;
        } else if (QChar::isSurrogate(u)) {
            // Written as '?'.
            size += 1;
        } else {
            size += 3;
        }
    }
    return size;
}

bool RecordFit::isCarried(const BlockDescription* description)
{
    return description && description->origin != BlockDescription::OriginLibrary;
}

int RecordFit::storedCables(const BlockInstance& block)
{
    int count = 0;
    for (const BlockConnection* cable : block.outputs) {
        if (cable && cable->inBlock)
            ++count;
    }
    return count;
}

void RecordFit::Tally::add(const BlockInstance& block)
{
    ++blocks;
    values += valueCount(block.values);
    const int stored = storedCables(block);
    cables += stored;
    bytes += textCount + utf8Size(nameOf(block)) + textCount + utf8Size(hashOf(block)) +
             blockFixed + textCount + valuesSize(block.values) + cableBytes * stored;
    nodeIds.insert(block.nodeId);
    const BlockDescription* description = block.description;
    if (isCarried(description) && !carried.contains(description->name)) {
        carried.insert(description->name);
        carriedBytes += description->filePath.isEmpty() ? description->rawData.size()
                                                        : QFileInfo(description->filePath).size();
    }
}

void RecordFit::Tally::add(const Comment& comment)
{
    ++comments;
    bytes += commentFixed + textCount + utf8Size(comment.text);
}

void RecordFit::Tally::replaceText(const QString& before, const QString& after)
{
    bytes += utf8Size(after) - utf8Size(before);
}

void RecordFit::Tally::replaceValues(const QStringList& before, const QStringList& after)
{
    bytes += valuesSize(after) - valuesSize(before);
    values += valueCount(after) - valueCount(before);
}

void RecordFit::Tally::addCable()
{
    ++cables;
    bytes += cableBytes;
}

RecordFit::Tally RecordFit::tally(const QList<const BlockInstance*>& instances,
                                  const QList<const Comment*>& comments)
{
    Tally tally;
    for (const BlockInstance* block : instances) {
        if (block)
            tally.add(*block);
    }
    for (const Comment* comment : comments) {
        if (comment)
            tally.add(*comment);
    }
    return tally;
}

qint64 RecordFit::bodySize(const Tally& tally, const PatchInfo& info)
{
    return textCount + utf8Size(info.name) + headerFixed + breaks + tally.bytes +
           nodeEntry * tally.nodeIds.size();
}

QString RecordFit::problem(const Tally& tally, const PatchInfo& info)
{
    const qint64 nameBytes = utf8Size(info.name);
    if (nameBytes > BinaryPacker::maxTextBytes)
        return tooLong(tr("The name of the patch"), nameBytes);
    if (tally.blocks > BinaryPacker::maxRecords)
        return tr("The patch would hold %1 blocks; a patch holds at most %2.")
            .arg(tally.blocks)
            .arg(BinaryPacker::maxRecords);
    // Comment ids run from 0 to the highest the record stores.
    const qint64 maxComments = qint64(BinaryPacker::highestCommentId) + 1;
    if (tally.comments > maxComments)
        return tr("The patch would hold %1 comments; a patch holds at most %2.")
            .arg(tally.comments)
            .arg(maxComments);
    if (tally.values > BinaryPacker::maxValuesOrCables)
        return tr("The blocks of the patch would hold %1 values; a patch holds at most %2.")
            .arg(tally.values)
            .arg(BinaryPacker::maxValuesOrCables);
    if (tally.cables > BinaryPacker::maxValuesOrCables)
        return tr("The patch would hold %1 cables; a patch holds at most %2.")
            .arg(tally.cables)
            .arg(BinaryPacker::maxValuesOrCables);
    if (tally.nodeIds.size() > BinaryPacker::maxNodeIds)
        return tr("The blocks of the patch would come from %1 patches of the repository (node "
                  "ids); a patch tells at most %2 apart.")
            .arg(tally.nodeIds.size())
            .arg(BinaryPacker::maxNodeIds);
    if (tally.nodeIds.size() == BinaryPacker::maxNodeIds &&
        std::none_of(tally.nodeIds.cbegin(), tally.nodeIds.cend(), BinaryPacker::mayBeLastNodeId))
        return tr("The blocks of the patch would come from %1 patches of the repository (node "
                  "ids), all of ids below 0 or from FF000000 up; a patch tells at most %2 such "
                  "apart.")
            .arg(tally.nodeIds.size())
            .arg(BinaryPacker::maxNodeIds - 1);
    const qint64 body = bodySize(tally, info);
    if (body > util::bin::maxUncompressedSize)
        return tr("The patch would take %1 bytes unpacked; a patch takes at most %2.")
            .arg(body)
            .arg(util::bin::maxUncompressedSize);
    if (info.includeBlocks && tally.carriedBytes > util::bin::maxUncompressedSize)
        return tr("The block files the patch carries would take %1 bytes; a patch carries at "
                  "most %2.")
            .arg(tally.carriedBytes)
            .arg(util::bin::maxUncompressedSize);
    return QString();
}

QString RecordFit::problem(const BlockInstance& block)
{
    const qint64 name = utf8Size(nameOf(block));
    if (name > BinaryPacker::maxTextBytes)
        return tooLong(tr("The name of block %1").arg(block.id), name);
    const qint64 hash = utf8Size(hashOf(block));
    if (hash > BinaryPacker::maxTextBytes)
        return tooLong(tr("The hash of block %1").arg(blockLabel(block)), hash);
    const qint64 values = valuesSize(block.values);
    if (values > BinaryPacker::maxTextBytes)
        return tooLong(tr("The value text of block %1").arg(blockLabel(block)), values);
    const int cables = storedCables(block);
    if (cables > BinaryPacker::maxBlockCables)
        return tr("Block %1 would have %2 cables leaving it; a patch holds at most %3 a block.")
            .arg(blockLabel(block))
            .arg(cables)
            .arg(BinaryPacker::maxBlockCables);
    for (const BlockConnection* cable : block.outputs) {
        if (!cable || !cable->inBlock)
            continue;
        for (const qint32 socket : {cable->outBlockSocketId, cable->inBlockSocketId}) {
            if (socket < 0 || socket > BinaryPacker::highestSocket)
                return tr("Block %1 has a cable on socket %2; a patch numbers sockets 0 to %3.")
                    .arg(blockLabel(block))
                    .arg(socket)
                    .arg(BinaryPacker::highestSocket);
        }
    }
    return QString();
}

QString RecordFit::problem(const Comment& comment)
{
    const qint64 text = utf8Size(comment.text);
    if (text > BinaryPacker::maxTextBytes)
        return tooLong(tr("The text of comment %1").arg(comment.id), text);
    return QString();
}

QString RecordFit::problem(const PatchInfo& info, const QList<const BlockInstance*>& instances,
                           const QList<const Comment*>& comments)
{
    for (const BlockInstance* block : instances) {
        if (block) {
            const QString reason = problem(*block);
            if (!reason.isEmpty())
                return reason;
        }
    }
    for (const Comment* comment : comments) {
        if (comment) {
            const QString reason = problem(*comment);
            if (!reason.isEmpty())
                return reason;
        }
    }
    return problem(tally(instances, comments), info);
}
