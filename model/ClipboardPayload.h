#pragma once

#include "Comment.h"
#include "InstanceList.h"

#include <QByteArray>
#include <QList>

// The clipboard's payload bytes (before Base64): a packed record without node id, then for
// each carried block file the separator and the file's bytes, uncompressed.
namespace util {

QByteArray clipboardPayload(const QByteArray& packed, const QList<QByteArray>& files);

// [packed record, first file, second, ...]. The record's end is found by reading its zlib
// stream; the files are split at the full 12-byte separator, so a file that holds the
// separator's letters followed by anything but a zero byte stays whole.
QList<QByteArray> unpackClipboardPayload(const QByteArray& payload);

// The packed record of a selection, header "x" and "y" its top-left, carrying only the cables
// between selected blocks. Positions go in as they are while they fit the record's 16 bits;
// otherwise they are stored from the top-left, which the header then gives as (0, 0), so a
// paste places them the same. Ids that do not fit (comment id 65535 included) are numbered
// from 1. Empty, with `fits` false, when the selection is wider or taller than 16 bits hold.
QByteArray selectionRecord(const InstanceList& instances, const QList<const Comment*>& comments,
                           bool* fits = nullptr);

// One block file per selected instance of a block that is not from the library, in order: its
// carried bytes, else the file it was read from; left out when neither can be had.
QList<QByteArray> selectionBlockFiles(const InstanceList& instances);

} // namespace util
