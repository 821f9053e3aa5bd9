#pragma once

#include <QString>

// Text from a file or a server as the editor shows it to the user. Boxes and labels show it as
// plain text; these bound it and take out what could forge the text around it.
namespace util {

// The first `length` characters, without half of a surrogate pair, which would show as a box.
QString startOf(const QString& text, int length);

// A name as a box or label shows it: control and direction characters, which could forge the
// lines around it, become U+FFFD, and a text longer than `limit` characters keeps its start,
// then "…" and its length.
QString displayName(const QString& text, int limit = 80);

// A whole message as a box shows it: line breaks and tabs stay, the other control and direction
// characters become U+FFFD; past `lineLimit` lines or `limit` characters it keeps its start,
// then "…" and how long it was. A box must fit on the screen and lay out at once whatever a
// message carries.
QString boxText(const QString& text, int limit = 4000, int lineLimit = 60);

// Rich text that a tool tip shows as exactly `text` (bounded as a box text is, at `limit`
// characters): a tool tip takes anything that looks like markup as markup, and markup may load
// images.
QString toolTipText(const QString& text, int limit = 300);

} // namespace util
