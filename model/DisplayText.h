#pragma once

#include <QString>

namespace util {

// A name or text from a file or a server as a message box shows it: control and direction
// characters, which could forge the lines around it, become U+FFFD, and a text longer than
// `limit` characters keeps its start, then "…" and its length. Boxes show it as plain text.
QString displayName(const QString& text, int limit = 80);

} // namespace util
