#include "RepositoryTestKit.h"

#include <QTcpSocket>

SignalLog::SignalLog(Repository* r) : QObject(r)
{
    connect(r, &Repository::replyPatchList, this, [this](RepositoryPatches& p) {
        lastPatches = p;
        lines << QStringLiteral("patches %1").arg(p.size());
    });
    connect(r, &Repository::replyUserPatchList, this, [this](RepositoryPatches& p) {
        lastPatches = p;
        lines << QStringLiteral("userPatches %1").arg(p.size());
    });
    connect(r, &Repository::replyBlockList, this, [this](RepositoryBlocks& b) {
        lastBlocks = b;
        lines << QStringLiteral("blocks %1").arg(b.size());
    });
    connect(r, &Repository::replyUserBlockList, this, [this](RepositoryBlocks& b) {
        lastBlocks = b;
        lines << QStringLiteral("userBlocks %1").arg(b.size());
    });
    connect(r, &Repository::replyComments, this, [this](RepositoryComments& c) {
        lastComments = c;
        lines << QStringLiteral("comments %1").arg(c.size());
    });
    connect(r, &Repository::replyBlock, this,
            [this](QByteArray& data) { lines << "block " + QString::fromUtf8(data); });
    connect(r, &Repository::loginReply, this,
            [this](QByteArray& data) { lines << "login " + QString::fromUtf8(data); });
    connect(r, &Repository::requestFailed, this, [this](const Repository::Answer& answer) {
        lines << QStringLiteral("failed %1 %2").arg(int(answer.kind)).arg(answer.message);
    });
}

StatusServer::StatusServer()
{
    listen(QHostAddress::LocalHost);
    connect(this, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { read(socket); });
        }
    });
}

QString StatusServer::endpoint() const
{
    return QStringLiteral("http://127.0.0.1:%1/action.php").arg(serverPort());
}

void StatusServer::read(QTcpSocket* socket)
{
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    socket->setProperty("buffer", buffer);
    const int headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return;
    int length = 0;
    for (const QByteArray& line : buffer.left(headEnd).split('\n')) {
        if (line.toLower().startsWith("content-length:"))
            length = line.mid(15).trimmed().toInt();
    }
    if (buffer.size() < headEnd + 4 + length)
        return;
    targets << buffer.left(buffer.indexOf("\r\n")).split(' ').value(1);
    socket->setProperty("buffer", QByteArray());
    socket->write("HTTP/1.1 " + QByteArray::number(status) +
                  " Status\r\nContent-Type: "
                  "text/plain\r\nContent-Length: " +
                  QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    socket->disconnectFromHost();
}
