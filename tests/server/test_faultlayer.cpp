// The tests' repository server at the level of bytes: requests in pieces and several on one
// connection reach the real server behind it whole, and its answers come back in order.
#include "RepositoryServer.h"
#include "TestMain.h"

#include <QApplication>
#include <QTcpSocket>

class TestFaultLayer : public QObject
{
    Q_OBJECT
private slots:
    void requests_data();
    void requests();
};

namespace {

QByteArray multipart(const QByteArray& boundaryParameter, const QByteArray& boundary,
                     const QList<QPair<QByteArray, QByteArray>>& parts)
{
    QByteArray body;
    for (const auto& p : parts)
        body += "--" + boundary + "\r\n" + p.first + "\r\n\r\n" + p.second + "\r\n";
    body += "--" + boundary + "--\r\n";
    return "POST /action.php?action=upload_patch&uid=1&pass=cHc%3D HTTP/1.1\r\n"
           "Host: x\r\nContent-Type: multipart/form-data; boundary=" +
           boundaryParameter + "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\n\r\n" + body;
}

QByteArray disposition(const QByteArray& name)
{
    return "Content-Disposition: form-data; name=\"" + name + "\"";
}

} // namespace

void TestFaultLayer::requests_data()
{
    // Written in pieces at each "|"; answers in order, each as its status line and body.
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QStringList>("answers");
    // Patches on the server afterwards, as "name|filename|description|data".
    QTest::addColumn<QStringList>("patches");

    const QStringList seeded{"seeded|||"};
    QTest::newRow("blanks percent-encoded")
        << QByteArray("GET /action.php?action=get_block&name=Drum%20%26%20Bass&hash=abcd "
                      "HTTP/1.1\r\nHost: x\r\n\r\n")
        << QStringList{"HTTP/1.1 200 OK|drum"} << seeded;
    QTest::newRow("plus kept")
        << QByteArray("GET /action.php?action=get_block&name=a+b&hash=abcd HTTP/1.1\r\n\r\n")
        << QStringList{"HTTP/1.1 200 OK|plus"} << seeded;
    QTest::newRow("percent-encoded UTF-8")
        << QByteArray("GET /action.php?action=get_block&name=%C3%BCber&hash=abcd HTTP/1.1\r\n"
                      "\r\n")
        << QStringList{"HTTP/1.1 200 OK|uber"} << seeded;
    QTest::newRow("two requests on one connection, in pieces")
        << QByteArray("GET /action.php?action=get_patch&id=1 HT|TP/1.1\r\nHost: x\r\n\r|\n"
                      "GET /action.php?action=get_uid&name=YW5u&pass=cHc= HTTP/1.1\r\n\r\n")
        << QStringList{"HTTP/1.1 200 OK|seeded bytes", "HTTP/1.1 200 OK|1"} << seeded;
    QTest::newRow("another path") << QByteArray("GET /other.php?action=version HTTP/1.1\r\n\r\n")
                                  << QStringList{"HTTP/1.1 404 Not Found|Not Found"} << seeded;
    QTest::newRow("unknown action")
        << QByteArray("GET /action.php?action=drop_tables HTTP/1.1\r\n\r\n")
        << QStringList{"HTTP/1.1 404 Not Found|Not Found"} << seeded;
    QTest::newRow("refused by the server, then the connection closed")
        << QByteArray("POST /action.php?action=upload_patch HTTP/1.1\r\n"
                      "Transfer-Encoding: chunked\r\n\r\n")
        << QStringList{"HTTP/1.1 411 Length Required|A body needs a Content-Length"} << seeded;

    const QList<QPair<QByteArray, QByteArray>> upload{
        {disposition("name"), "new & one"},
        {"Content-Disposition: form-data; filename=\"x.ktl\"; name=\"filename\"", "n.ktl"},
        {disposition("description"), "\r\ntwo lines\r\n"},
        {disposition("file") + "\r\nContent-Type: application/octet-stream", "AAEC/w=="}};
    const QByteArray full = multipart("\"b=1 x\"", "b=1 x", upload);
    QTest::newRow("multipart upload, quoted boundary, in pieces")
        << full.left(60) + "|" + full.mid(60, 150) + "|" + full.mid(210)
        << QStringList{"HTTP/1.1 200 OK|1"}
        << QStringList{seeded.first(),
                       QStringLiteral("new & one|n.ktl|\r\ntwo lines\r\n|") +
                           QString::fromLatin1(QByteArray("\x00\x01\x02\xff", 4).toHex())};
    QList<QPair<QByteArray, QByteArray>> broken = upload;
    broken[3].second = "not base64!";
    QTest::newRow("file part that is no Base64")
        << multipart("plain", "plain", broken) << QStringList{"HTTP/1.1 200 OK|0"} << seeded;
    QList<QPair<QByteArray, QByteArray>> lacking = upload;
    lacking.removeAt(2);
    QTest::newRow("a part missing")
        << multipart("plain", "plain", lacking) << QStringList{"HTTP/1.1 200 OK|0"} << seeded;
}

void TestFaultLayer::requests()
{
    QFETCH(QByteArray, request);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, patches);

    RepositoryServer server;
    QVERIFY(server.start());
    const int ann = server.addUser(QStringLiteral("ann"), QStringLiteral("pw"));
    RepositoryServer::Patch patch;
    patch.uid = ann;
    patch.name = QStringLiteral("seeded");
    patch.data = "seeded bytes";
    server.addPatch(patch);
    const QList<QPair<QString, QByteArray>> blocks{{QStringLiteral("Drum & Bass"), "drum"},
                                                   {QStringLiteral("\u00fcber"), "uber"},
                                                   {QStringLiteral("a+b"), "plus"},
                                                   {QStringLiteral("a b"), "blank"}};
    for (const auto& named : blocks) {
        RepositoryServer::Block block;
        block.uid = ann;
        block.name = named.first;
        block.hash = QStringLiteral("abcd");
        block.data = named.second;
        server.addBlock(block);
    }

    QTcpSocket socket;
    socket.connectToHost(server.serverAddress(), server.serverPort());
    QVERIFY(socket.waitForConnected(10000));
    qint64 sent = 0;
    for (const QByteArray& piece : request.split('|')) {
        socket.write(piece);
        sent += piece.size();
        // The server reads each piece on its own.
        QTRY_COMPARE(server.bytesRead(), sent);
    }

    // Answers as "status line|body", read by their lengths.
    QByteArray got;
    QStringList read;
    auto takeAnswers = [&] {
        got += socket.readAll();
        while (true) {
            const int headEnd = got.indexOf("\r\n\r\n");
            if (headEnd < 0)
                return;
            const QByteArray head = got.left(headEnd);
            const int at = head.toLower().indexOf("content-length: ");
            const int length = head.mid(at + 16).split('\r').first().toInt();
            if (got.size() < headEnd + 4 + length)
                return;
            read << QString::fromUtf8(head.left(head.indexOf("\r\n")) + "|" +
                                      got.mid(headEnd + 4, length));
            got.remove(0, headEnd + 4 + length);
        }
    };
    QTRY_VERIFY((takeAnswers(), read.size() >= answers.size()));
    QCOMPARE(read, answers);

    QStringList stored;
    for (const RepositoryServer::Patch& p : server.patches()) {
        stored << p.name + "|" + p.filename + "|" + p.description + "|" +
                      QString::fromLatin1(p.name == QLatin1String("seeded") ? QByteArray()
                                                                            : p.data.toHex());
    }
    QCOMPARE(stored, patches);
}

KL_TEST_MAIN(TestFaultLayer)
#include "test_faultlayer.moc"
