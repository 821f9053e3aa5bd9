#include "RawHttp.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>

int RawHttp::answerLength(const QByteArray& bytes)
{
    const int headEnd = bytes.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return 0;
    const QByteArray head = bytes.left(headEnd).toLower();
    const int at = head.indexOf("\r\ncontent-length:");
    const int length = at < 0 ? 0 : head.mid(at + 17).split('\r').first().trimmed().toInt();
    return bytes.size() >= headEnd + 4 + length ? headEnd + 4 + length : 0;
}

RawHttp::Answer RawHttp::parse(const QByteArray& bytes)
{
    Answer a;
    const int headEnd = bytes.indexOf("\r\n\r\n");
    a.head = headEnd < 0 ? bytes : bytes.left(headEnd);
    a.body = headEnd < 0 ? QByteArray() : bytes.mid(headEnd + 4);
    if (a.head.startsWith("HTTP/1."))
        a.status = a.head.mid(9, 3).toInt();
    return a;
}

RawHttp::Answer RawHttp::exchange(quint16 port, const QByteArray& request, int timeoutMs,
                                  int closeWaitMs)
{
    Answer answer;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    if (!socket.waitForConnected(timeoutMs)) {
        answer.timedOut = true;
        return answer;
    }
    socket.write(request);
    QElapsedTimer timer;
    timer.start();
    QByteArray got;
    int length = 0;
    while ((length = answerLength(got)) == 0) {
        const int left = timeoutMs - int(timer.elapsed());
        if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0) {
            answer.closed = true;
            break;
        }
        if (left <= 0 || (!socket.waitForReadyRead(left) && socket.bytesAvailable() == 0)) {
            if (socket.state() != QAbstractSocket::ConnectedState) {
                answer.closed = true;
                break;
            }
            answer.timedOut = true;
            break;
        }
        got += socket.readAll();
    }
    const Answer parsed = parse(length ? got.left(length) : got);
    answer.status = parsed.status;
    answer.head = parsed.head;
    answer.body = parsed.body;
    if (length && !answer.closed && closeWaitMs > 0) {
        if (socket.state() == QAbstractSocket::ConnectedState)
            socket.waitForDisconnected(closeWaitMs);
        answer.closed = socket.state() != QAbstractSocket::ConnectedState;
    }
    return answer;
}

QByteArray RawHttp::get(const QByteArray& query, const QByteArray& version)
{
    return "GET /action.php?action=" + query + " " + version + "\r\nHost: 127.0.0.1\r\n\r\n";
}

QByteArray RawHttp::multipartBody(const Parts& parts)
{
    QByteArray body;
    for (const auto& p : parts) {
        body += QByteArray("--") + boundary + "\r\nContent-Disposition: form-data; name=\"" +
                p.first + "\"\r\n";
        if (p.first == "file")
            body += "Content-Type: application/octet-stream\r\n";
        body += "\r\n" + p.second + "\r\n";
    }
    return body + "--" + boundary + "--\r\n";
}

QByteArray RawHttp::post(const QByteArray& query, const Parts& parts)
{
    const QByteArray body = multipartBody(parts);
    return "POST /action.php?action=" + query +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: multipart/form-data; boundary=" +
           boundary + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}
