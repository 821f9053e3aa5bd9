#include "PatchFile.h"

#include "BinaryUtil.h"
#include "BlockManager.h"
#include "PatchRecord.h"

#include <QSet>
#include <QStringList>

namespace util {

namespace {

constexpr int nodeIdSize = 4;

// True when a part that ends at `pos` is followed by the end of the file or a separator.
bool endsPart(const QByteArray& file, qsizetype pos, const QByteArray& sep)
{
    return pos == file.size() || bin::matchesAt(file, pos, sep);
}

// Skips a byte string as the first release's stream wrote it: a 32-bit count, then the bytes.
bool skipCounted(const QByteArray& file, qsizetype& pos)
{
    if (file.size() - pos < 4)
        return false;
    const quint32 count = bin::readBE32(file.constData() + pos);
    pos += 4;
    if (count == 0xFFFFFFFFu)
        return true;
    if (qint64(count) > file.size() - pos)
        return false;
    pos += count;
    return true;
}

// Where a version-0 record ends: after the last whole block record before the end or a
// separator. -1 when a block record does not fit.
qsizetype version0End(const QByteArray& file, const QByteArray& sep)
{
    qsizetype pos = 0;
    const qsizetype size = file.size();
    while (pos < size && !bin::matchesAt(file, pos, sep)) {
        if (!skipCounted(file, pos))
            return -1;
        if (size - pos < 5) // id, x, y
            return -1;
        pos += 5;
        if (!skipCounted(file, pos))
            return -1;
        if (size - pos < 1)
            return -1;
        const qsizetype cables = uchar(file.at(int(pos)));
        pos += 1;
        if (3 * cables > size - pos)
            return -1;
        pos += 3 * cables;
    }
    return pos;
}

// Where a part compressed as qCompress does, starting at `start`, ends; -1 when it does not
// inflate or is not followed by a separator or the end of the file.
qsizetype compressedEnd(const QByteArray& file, qsizetype start, const QByteArray& sep)
{
    const char* data = file.constData() + start;
    const qsizetype left = file.size() - start;
    // An empty input is written as four zero bytes without a stream.
    if (left >= 4 && bin::readBE32(data) == 0 && endsPart(file, start + 4, sep))
        return start + 4;
    const bin::Inflated part = bin::inflate(data, left, false);
    if (part.status != bin::InflateStatus::Ok)
        return -1;
    return start + part.consumed;
}

qsizetype recordEnd(const QByteArray& file, int version, const QByteArray& sep)
{
    if (version == 0)
        return version0End(file, sep);
    const qsizetype packedEnd = compressedEnd(file, 2, sep);
    if (packedEnd < 0)
        return -1;
    const qsizetype end = packedEnd + nodeIdSize;
    return end <= file.size() && endsPart(file, end, sep) ? end : -1;
}

} // namespace

QByteArray packBlocks(const QHash<QString, BlockDescription>& blocks)
{
    QByteArray parts;
    for (auto it = blocks.cbegin(); it != blocks.cend(); ++it) {
        parts.append(bin::createSeparator());
        parts.append(qCompress(it.value().rawData, -1));
    }
    return parts;
}

QByteArray patchFileBytes(const QByteArray& record, const QHash<QString, BlockDescription>& blocks,
                          bool includeBlocks)
{
    QByteArray file = record;
    if (includeBlocks)
        file.append(packBlocks(blocks));
    return file;
}

QList<QByteArray> unpackPatch(const QByteArray& file)
{
    if (file.size() < 2)
        return {file};
    const int version = int(bin::readBE16(file.constData()));
    const QByteArray sep = version >= 5 ? bin::createSeparator() : bin::createOldSeparator();

    const qsizetype end = recordEnd(file, version, sep);
    if (end < 0)
        return bin::splitFromEnd(file, sep);

    QList<QByteArray> parts{file.left(int(end))};
    qsizetype pos = end;
    while (pos < file.size()) {
        const qsizetype start = pos + sep.size(); // a separator stands at pos
        const qsizetype partEnd = compressedEnd(file, start, sep);
        if (partEnd < 0 || !endsPart(file, partEnd, sep)) {
            parts.append(bin::splitFromEnd(file.mid(int(start)), sep));
            break;
        }
        parts.append(file.mid(int(start), int(partEnd - start)));
        pos = partEnd;
    }
    return parts;
}

PatchFileContents readPatchFile(const QByteArray& file)
{
    const QList<QByteArray> parts = unpackPatch(file);
    PatchFileContents contents;
    // All the carried files together inflate to no more than one part may: each takes its
    // bytes, its document and its description in memory, and a few bytes of file can inflate
    // to the whole bound.
    qsizetype left = bin::maxUncompressedSize;
    QSet<QString> damagedNames;
    for (int i = 1; i < parts.size(); ++i) {
        const QByteArray& part = parts.at(i);
        // What a damaged part holds before its damage still tells whose block it was.
        bin::Inflated inflated = bin::inflate(part.constData(), part.size(), true, left, true);
        left -= inflated.data.size();
        if (inflated.status == bin::InflateStatus::TooLarge) {
            ++contents.tooLarge;
        } else if (inflated.status != bin::InflateStatus::Ok) {
            const QString name = BlockManager::blockName(inflated.data);
            if (name.isEmpty()) {
                ++contents.unnamedDamaged;
            } else if (!damagedNames.contains(name)) {
                damagedNames.insert(name);
                contents.damagedBlocks << name;
            }
        }
        contents.blockFiles.append(std::move(inflated.data));
    }
    contents.patch = readPatchRecord(parts.value(0));
    contents.complete = isPatchRecord(parts.value(0));
    return contents;
}

} // namespace util
