#pragma once

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

} // namespace util
