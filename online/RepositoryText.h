#pragma once

#include "RepositoryComment.h"

#include <QList>
#include <QPair>
#include <QString>

class QUrl;

// Text that the online windows make from what the server sends. Server text never reaches a
// rich-text widget as markup: it is escaped, line breaks kept.
namespace util {

// `text` as rich text that shows exactly that text, each line break a "<br>".
QString escapedText(const QString& text);

// The grey header block above an entry's description: one "<strong>. Label : </strong>value"
// line per non-empty value, in the order given.
QString entryHeader(const QList<QPair<QString, QString>>& lines);

// What the description panel shows of an entry: its header block, then its description.
QString entryDescription(const QList<QPair<QString, QString>>& lines, const QString& description);

// The comment table of the comments panel; "No Comments" when there are none.
QString commentsText(const RepositoryComments& comments);

// A file name for a block the server names `serverName`: its last path component without
// control characters, leading dots or folder parts, at most maxFileNameLength characters,
// ending in ".xml" or ".block". Falls back on `blockName`, then on "block".
QString safeBlockFileName(const QString& serverName, const QString& blockName);
constexpr int maxFileNameLength = 100;

// The name a block file is uploaded under: its base name up to the first "." and the suffix
// after the last one ("drums.live.block" gives "drums.block").
QString uploadFileName(const QString& path);

// Only web pages are opened from the online windows.
bool isWebLink(const QUrl& url);

} // namespace util
