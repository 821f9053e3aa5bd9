#pragma once

#include <QByteArray>
#include <QString>

// The server's log: one line per request with its time, the client's address, the method,
// the action and the status. Never the query, which carries the password. Text from the
// request is escaped, so no request can end a line or send a terminal control sequence.
class RequestLog
{
public:
    // "2024-05-01T10:00:00Z 127.0.0.1 GET list_patches 200"; status 0 is "-" (refused by the
    // HTTP layer before it reached the repository), an empty action "-".
    static QByteArray line(qint64 unixSeconds, const QString& address, const QByteArray& method,
                           const QString& action, int status);
    // Printable text only: blanks, backslashes, control and format characters as \xNN or
    // \u{N}, and at most `limit` characters, then "...".
    static QString escaped(const QString& text, int limit = 64);
};
