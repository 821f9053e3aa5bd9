#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// Requests written byte for byte to a server on the loopback, and its answer read back, for
// tests of what a server does with any bytes at all.
class RawHttp
{
public:
    struct Answer
    {
        // 0 when no status line came.
        int status = 0;
        QByteArray head;
        QByteArray body;
        // The server closed the connection after (or instead of) answering.
        bool closed = false;
        // Neither an answer nor a close within the time allowed.
        bool timedOut = false;
    };
    using Parts = QList<QPair<QByteArray, QByteArray>>;

    // Sends `request` on a new connection and reads one answer (by its Content-Length), then
    // waits up to `closeWaitMs` for the server to close.
    static Answer exchange(quint16 port, const QByteArray& request, int timeoutMs = 10000,
                           int closeWaitMs = 0);
    static QByteArray get(const QByteArray& query, const QByteArray& version = "HTTP/1.1");
    // A multipart/form-data POST of `parts` (name, value) to "/action.php?action=" + query.
    static QByteArray post(const QByteArray& query, const Parts& parts);
    static QByteArray multipartBody(const Parts& parts);
    // The length of the first whole answer in `bytes`, 0 while incomplete.
    static int answerLength(const QByteArray& bytes);
    static Answer parse(const QByteArray& bytes);

    static constexpr const char* boundary = "kl-boundary-7f3a";
};
