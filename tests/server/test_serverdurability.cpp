// What knotlattice-repository acknowledged survives SIGKILL, and a kill in the middle of an
// upload leaves a readable database with the upload whole or absent.
#include "RawHttp.h"
#include "ServerProcess.h"
#include "TestMain.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTcpSocket>

#include <sqlite3.h>

namespace {

const QByteArray ann = "&uid=1&pass=" + QByteArray("pw-ann").toBase64();
const QByteArray bob = "&uid=2&pass=YT8+Yg==";

// A request and the body it must get: "1" for an acknowledged change.
using Change = QPair<QByteArray, QByteArray>;
// A query and text its answer must hold ("!" first: must not hold).
using Check = QPair<QByteArray, QByteArray>;

QByteArray noise(int bytes, quint32 seed)
{
    QByteArray out(bytes, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char& c : out)
        c = char(generator.bounded(256));
    return out;
}

RawHttp::Parts patchParts(const QByteArray& name, const QByteArray& data)
{
    return {{"name", name},
            {"filename", name + ".ktl"},
            {"description", "About " + name},
            {"file", data.toBase64()}};
}

RawHttp::Parts blockParts(const QByteArray& name)
{
    const QByteArray file = "<block name=\"" + name + "\"><category>Delay</category></block>";
    return {{"name", name},
            {"title", name},
            {"description", "d"},
            {"hash", "c0de"},
            {"filename", name + ".xml"},
            {"file", file.toBase64()}};
}

// PRAGMA integrity_check of the file, and how many patches are named `name`; "" when the file
// cannot be read at all.
QByteArray inspect(const QString& path, const QByteArray& name, int* count)
{
    sqlite3* db = nullptr;
    QByteArray result;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW)
            result = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        sqlite3_finalize(s);
        if (sqlite3_prepare_v2(db, "SELECT count(*) FROM patches WHERE name = ?", -1, &s,
                               nullptr) == SQLITE_OK) {
            sqlite3_bind_text(s, 1, name.constData(), name.size(), SQLITE_TRANSIENT);
            if (sqlite3_step(s) == SQLITE_ROW)
                *count = sqlite3_column_int(s, 0);
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return result;
}

} // namespace

// Changes and checks are both pairs of byte arrays.
Q_DECLARE_METATYPE(QList<Change>)

class TestServerDurability : public QObject
{
    Q_OBJECT
private slots:
    void acknowledgedChangesSurviveAKill_data();
    void acknowledgedChangesSurviveAKill();
    void killDuringAnUpload_data();
    void killDuringAnUpload();
    void largeUploadLeavesNoLargeLog();
};

void TestServerDurability::acknowledgedChangesSurviveAKill_data()
{
    QTest::addColumn<QList<Change>>("changes");
    QTest::addColumn<QList<Check>>("checks");
    const QByteArray drone = noise(4096, 1);
    const Change upload{RawHttp::post("upload_patch" + bob, patchParts("Drone", drone)), "1"};
    const Change edit{RawHttp::post("update_patch&id=1" + ann,
                                    {{"name", "Bells Two"}, {"description", "Edited"}}),
                      "1"};
    const Change remove{RawHttp::get("delete_patch&id=1" + ann), "1"};
    const Change block{RawHttp::post("upload_block" + bob, blockParts("bob.Echo")), "1"};
    const Change blockEdit{
        RawHttp::post("update_block&id=1" + ann, {{"title", "Halves"}, {"description", "x"}}), "1"};
    const Change blockRemove{RawHttp::get("delete_block&id=2" + ann), "1"};
    const Change comment{
        RawHttp::post("upload_patch_comment" + bob + "&id=1", {{"comment", "Kept?"}}), "1"};
    const Change blockComment{
        RawHttp::post("upload_block_comment" + bob + "&id=1", {{"comment", "Also kept?"}}), "1"};
    const Check uploaded{"list_patches", "pname=\"Drone\""};
    const Check uploadedBytes{"get_patch&id=2", drone};
    const Check edited{"list_patches", "pname=\"Bells Two\""};
    const Check removed{"list_patches", "!pname=\"Bells"};
    const Check blockUploaded{"list_blocks", "bname=\"bob.Echo\""};
    const Check blockEdited{"list_blocks", "title=\"Halves\""};
    const Check blockRemoved{"list_blocks", "!demo.a+b"};
    const Check commented{"list_patch_comments&id=1", "Kept?"};
    const Check blockCommented{"list_block_comments&id=1", "Also kept?"};

    QTest::newRow("patch upload") << QList<Change>{upload} << QList<Check>{uploaded, uploadedBytes};
    QTest::newRow("patch edit") << QList<Change>{edit} << QList<Check>{edited};
    QTest::newRow("patch delete") << QList<Change>{remove} << QList<Check>{removed};
    QTest::newRow("block upload") << QList<Change>{block} << QList<Check>{blockUploaded};
    QTest::newRow("block edit") << QList<Change>{blockEdit} << QList<Check>{blockEdited};
    QTest::newRow("block delete") << QList<Change>{blockRemove} << QList<Check>{blockRemoved};
    QTest::newRow("patch comment") << QList<Change>{comment} << QList<Check>{commented};
    QTest::newRow("block comment") << QList<Change>{blockComment} << QList<Check>{blockCommented};
    QTest::newRow("all of them, one after another")
        << QList<Change>{upload, block, comment, blockComment, edit, blockEdit, blockRemove}
        << QList<Check>{uploaded,       uploadedBytes, blockUploaded, commented,
                        blockCommented, edited,        blockEdited,   blockRemoved};
}

void TestServerDurability::acknowledgedChangesSurviveAKill()
{
    QFETCH(QList<Change>, changes);
    QFETCH(QList<Check>, checks);
    ServerProcess server;
    QVERIFY(server.start({"--seed", server.writeSeed()}));
    for (const Change& change : changes) {
        const RawHttp::Answer got = RawHttp::exchange(server.port(), change.first);
        QCOMPARE(got.status, 200);
        QCOMPARE(got.body, change.second);
    }
    // At once after the last acknowledgement.
    server.kill();

    QVERIFY(server.start());
    for (const Check& check : checks) {
        const QByteArray body = RawHttp::exchange(server.port(), RawHttp::get(check.first)).body;
        const bool absent = check.second.startsWith('!');
        const QByteArray text = absent ? check.second.mid(1) : check.second;
        QVERIFY2(body.contains(text) != absent,
                 (check.first + " gave " + body.left(300)).constData());
    }
    QVERIFY(server.stop());
}

void TestServerDurability::killDuringAnUpload_data()
{
    // Bytes of the body sent before the kill, as a share of it.
    QTest::addColumn<double>("share");
    QTest::newRow("headers only") << 0.0;
    QTest::newRow("a tenth") << 0.1;
    QTest::newRow("half") << 0.5;
    QTest::newRow("all but the last byte") << -1.0;
    QTest::newRow("all of it") << 1.0;
}

void TestServerDurability::killDuringAnUpload()
{
    QFETCH(double, share);
    ServerProcess server;
    QVERIFY(server.start({"--seed", server.writeSeed()}));
    const QByteArray data = noise(10 * 1000 * 1000, 7);
    const QByteArray request = RawHttp::post("upload_patch" + bob, patchParts("Big", data));
    const int headEnd = request.indexOf("\r\n\r\n") + 4;
    const int body = request.size() - headEnd;
    const int sent = headEnd + (share < 0 ? body - 1 : int(body * share));

    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), server.port());
    QVERIFY(socket.waitForConnected(10000));
    socket.write(request.left(sent));
    while (socket.bytesToWrite() > 0)
        QVERIFY(socket.waitForBytesWritten(10000));
    server.kill();

    int count = -1;
    QCOMPARE(inspect(server.dataFile(), "Big", &count), QByteArray("ok"));
    QVERIFY(count == 0 || (count == 1 && share == 1.0));
    QVERIFY(server.start());
    const QByteArray list = RawHttp::exchange(server.port(), RawHttp::get("list_patches")).body;
    QVERIFY(list.contains("pname=\"Bells\""));
    QCOMPARE(list.contains("pname=\"Big\""), count == 1);
    if (count == 1)
        QCOMPARE(RawHttp::exchange(server.port(), RawHttp::get("get_patch&id=2")).body, data);
    QVERIFY(server.stop());
}

// The write-ahead log grows to hold a large upload, and is cut back after the next change.
void TestServerDurability::largeUploadLeavesNoLargeLog()
{
    ServerProcess server;
    QVERIFY(server.start({"--seed", server.writeSeed()}));
    const QByteArray big = noise(12 * 1024 * 1024, 7);
    QCOMPARE(RawHttp::exchange(server.port(),
                               RawHttp::post("upload_patch" + bob, patchParts("Big", big)))
                 .body,
             QByteArray("1"));
    const QString log = server.dataFile() + "-wal";
    QVERIFY2(QFileInfo(log).size() > 12 * 1024 * 1024,
             qPrintable(QString::number(QFileInfo(log).size())));
    const RawHttp::Parts say{{"comment", "Big indeed"}};
    QCOMPARE(
        RawHttp::exchange(server.port(), RawHttp::post("upload_patch_comment" + ann + "&id=1", say))
            .body,
        QByteArray("1"));
    QVERIFY2(QFileInfo(log).size() <= 4 * 1024 * 1024,
             qPrintable(QString::number(QFileInfo(log).size())));
    QCOMPARE(RawHttp::exchange(server.port(), RawHttp::get("get_patch&id=2")).body, big);
    QVERIFY(server.stop());
}

KL_TEST_MAIN(TestServerDurability)
#include "test_serverdurability.moc"
