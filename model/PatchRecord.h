#pragma once

#include "Comment.h"
#include "PackedPatch.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

struct BlockInstance;
struct PatchInfo;

// The patch record: a packed patch followed by the patch's 4-byte big-endian node id
// (version-0 records have none). Every reader of a patch (file, firmware image, repository
// download) turns a record into a PackedPatch by readPatchRecord.
namespace util {

// The header values of a record as decimal texts: the patch info, and the scene point
// (centreX, centreY) to show in the middle of the view.
QHash<QString, QString> recordInfo(const PatchInfo& info, int centreX, int centreY);

// The packed patch of the instances and comments (in that order) with `info`'s header,
// followed by info.nodeId.
QByteArray makePatchRecord(const QList<const BlockInstance*>& instances,
                           const QList<const Comment*>& comments, const PatchInfo& info,
                           int centreX, int centreY);

// The record's version (its first two bytes, big-endian), or -1 when it has fewer.
int recordVersion(const QByteArray& record);

// The record rule: strips and keeps the trailing node id (not for version 0), reads the
// packed patch, and gives version 0 the view centre (2000, 2000) and zoom 0, versions 1
// and 2 zoom 0. An unknown version gives the packer's warning and an empty patch.
PackedPatch readPatchRecord(const QByteArray& record);

// True when the record reads completely by that rule; silent. For telling a real record
// from bytes that only look like one.
bool isPatchRecord(const QByteArray& record);

} // namespace util
