#include "PatchRecord.h"

#include "BinaryPacker.h"
#include "BinaryUtil.h"
#include "PatchInfo.h"

namespace util {

namespace {

constexpr int nodeIdSize = 4;
constexpr qint32 sceneCentre = 2000;

// The packed part of a record and its node id.
QByteArray packedPart(const QByteArray& record, int version, qint32& nodeId)
{
    nodeId = 0;
    if (version == 0 || record.size() < 2 + nodeIdSize)
        return record;
    nodeId = qint32(bin::readBE32(record.constData() + record.size() - nodeIdSize));
    return record.left(record.size() - nodeIdSize);
}

} // namespace

QHash<QString, QString> recordInfo(const PatchInfo& info, int centreX, int centreY)
{
    QHash<QString, QString> values;
    values.insert(QStringLiteral("name"), info.name);
    values.insert(QStringLiteral("x"), QString::number(centreX));
    values.insert(QStringLiteral("y"), QString::number(centreY));
    values.insert(QStringLiteral("zoomLevel"), QString::number(info.zoomLevel));
    values.insert(QStringLiteral("date"), QString::number(info.date));
    values.insert(QStringLiteral("saved"), QString::number(info.saved));
    values.insert(QStringLiteral("lang"), QString::number(info.lang));
    values.insert(QStringLiteral("includeBlocks"), QString::number(info.includeBlocks ? 1 : 0));
    return values;
}

QByteArray makePatchRecord(const QList<const BlockInstance*>& instances,
                           const QList<const Comment*>& comments, const PatchInfo& info,
                           int centreX, int centreY)
{
    QByteArray record =
        BinaryPacker().pack(instances, comments, recordInfo(info, centreX, centreY));
    bin::appendBE32(record, quint32(info.nodeId));
    return record;
}

int recordVersion(const QByteArray& record)
{
    return record.size() >= 2 ? int(bin::readBE16(record.constData())) : -1;
}

PackedPatch readPatchRecord(const QByteArray& record)
{
    const int version = recordVersion(record);
    qint32 nodeId = 0;
    PackedPatch patch = BinaryPacker().load(packedPart(record, version, nodeId));
    patch.nodeId = nodeId;
    if (version == 0) {
        patch.x = sceneCentre;
        patch.y = sceneCentre;
        patch.zoomLevel = 0;
    } else if (version == 1 || version == 2) {
        patch.zoomLevel = 0;
    }
    return patch;
}

bool isPatchRecord(const QByteArray& record)
{
    const int version = recordVersion(record);
    if (version < 0)
        return false;
    if (version != 0 && record.size() < 2 + nodeIdSize)
        return false;
    qint32 nodeId = 0;
    return BinaryPacker::isWellFormed(packedPart(record, version, nodeId));
}

} // namespace util
