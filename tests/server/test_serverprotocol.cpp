// Every action of the repository protocol with its refusals, against knotlattice-repository
// started on a free loopback port with a seeded database of its own.
#include "RawHttp.h"
#include "ServerProcess.h"
#include "TestMain.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <sqlite3.h>

namespace {

struct Step
{
    QByteArray request;
    // "STATUS" then a blank and the checks on the body, "|" between them: "=TEXT" the whole
    // body, "~TEXT" contained, "!TEXT" not contained; no checks: any body.
    QByteArray expect;
};

Step get(const QByteArray& query, const QByteArray& expect)
{
    return {RawHttp::get(query), expect};
}

Step post(const QByteArray& query, const RawHttp::Parts& parts, const QByteArray& expect)
{
    return {RawHttp::post(query, parts), expect};
}

Step raw(const QByteArray& request, const QByteArray& expect)
{
    return {request, expect};
}

const QByteArray ann = "&uid=1&pass=" + QByteArray("pw-ann").toBase64();
// As the protocol writes it: Base64 unescaped, its "+" and "=" raw in the query.
const QByteArray bob = "&uid=2&pass=YT8+Yg==";
const QByteArray bobEscaped = "&uid=2&pass=YT8%2BYg%3D%3D";
const QByteArray bobWrong = "&uid=2&pass=" + QByteArray("a?>c").toBase64();
const QByteArray nobody = "&uid=9&pass=" + QByteArray("a?>b").toBase64();

RawHttp::Parts patchParts(const QByteArray& name, const QByteArray& data)
{
    return {{"name", name},
            {"filename", name + ".ktl"},
            {"description", "About " + name},
            {"file", data.toBase64()}};
}

RawHttp::Parts blockParts(const QByteArray& name, const QByteArray& category)
{
    const QByteArray file =
        "<block name=\"" + name + "\">\n<category>" + category + "</category>\n</block>\n";
    return {{"name", name},   {"title", "Title of " + name}, {"description", "Does it"},
            {"hash", "beef"}, {"filename", name + ".xml"},   {"file", file.toBase64()}};
}

// One start tag of `count` attributes: the stream reader alone takes seconds over it.
QByteArray wideBlockFile(const QByteArray& name, int count)
{
    QByteArray file = "<block name=\"" + name + "\"";
    for (int i = 0; i < count; ++i)
        file += " a" + QByteArray::number(i) + "=\"\"";
    return file + "><category>Wide</category></block>\n";
}

RawHttp::Parts without(RawHttp::Parts parts, const QByteArray& name)
{
    for (int i = parts.size() - 1; i >= 0; --i) {
        if (parts.at(i).first == name)
            parts.removeAt(i);
    }
    return parts;
}

RawHttp::Parts with(RawHttp::Parts parts, const QByteArray& name, const QByteArray& value)
{
    for (auto& p : parts) {
        if (p.first == name)
            p.second = value;
    }
    return parts;
}

} // namespace

Q_DECLARE_METATYPE(Step)
Q_DECLARE_METATYPE(QList<Step>)

class TestServerProtocol : public QObject
{
    Q_OBJECT
private slots:
    void actions_data();
    void actions();
    void listsShowChangesByAnotherProgram();
};

void TestServerProtocol::actions_data()
{
    QTest::addColumn<QList<Step>>("steps");
    const QByteArray bells = "pname=\"Bells\"";
    const RawHttp::Parts drone = patchParts("Drone", "drone-bytes");
    const RawHttp::Parts edit{{"name", "Bells Two"}, {"description", "Edited"}};
    const RawHttp::Parts blockEdit{{"title", "Halves"}, {"description", "Edited"}};
    const RawHttp::Parts say{{"comment", "Nice & <loud> \xc3\xbc"}};

    // Log-in: the uid, or an empty body.
    QTest::newRow("get_uid") << QList<Step>{get("get_uid&name=" + QByteArray("ann").toBase64() +
                                                    "&pass=" + QByteArray("pw-ann").toBase64(),
                                                "200 =1")};
    QTest::newRow("get_uid, Base64 with + and = unescaped")
        << QList<Step>{get("get_uid&name=Ym9i&pass=YT8+Yg==", "200 =2")};
    QTest::newRow("get_uid, Base64 percent-encoded")
        << QList<Step>{get("get_uid&name=Ym9i&pass=YT8%2BYg%3D%3D", "200 =2")};
    QTest::newRow("get_uid, wrong password")
        << QList<Step>{get("get_uid&name=Ym9i&pass=YT8+Yw==", "200 =")};
    QTest::newRow("get_uid, + read as a blank is wrong")
        << QList<Step>{get("get_uid&name=Ym9i&pass=YT8%20Yg==", "200 =")};
    QTest::newRow("get_uid, unknown name") << QList<Step>{
        get("get_uid&name=" + QByteArray("eve").toBase64() + "&pass=YT8+Yg==", "200 =")};
    QTest::newRow("get_uid, name not Base64")
        << QList<Step>{get("get_uid&name=b*b&pass=YT8+Yg==", "200 =")};
    QTest::newRow("get_uid, no password") << QList<Step>{get("get_uid&name=Ym9i", "200 =")};

    // Lists.
    QTest::newRow("list_patches") << QList<Step>{
        get("list_patches", "200 ~<patches><patch id=\"1\" uid=\"1\" pname=\"Bells\" uname=\"ann\" "
                            "filename=\"Bells.ktl\"|~<description><![CDATA[\nBells ring.]]>")};
    QTest::newRow("list_user_patches")
        << QList<Step>{get("list_user_patches&uid=1", "200 ~" + bells),
                       get("list_user_patches&uid=2", "200 ~<patches|!<patch "),
                       get("list_user_patches&uid=-1", "200 !<patch "),
                       get("list_user_patches&uid=x", "200 !<patch ")};
    QTest::newRow("list_blocks") << QList<Step>{
        get("list_blocks",
            "200 ~<blocks><block hash=\"|~bname=\"demo.Half\" title=\"demo.Half\" "
            "uname=\"ann\" filename=\"half.xml\" category=\"Math\"|~bname=\"demo.a+b\"")};
    QTest::newRow("list_user_blocks")
        << QList<Step>{get("list_user_blocks&uid=1", "200 ~demo.Half"),
                       get("list_user_blocks&uid=2", "200 ~<blocks|!<block ")};
    QTest::newRow("version") << QList<Step>{
        get("version", "200 ~<version major=\"1\" sub=\"2\" build=\"3\"/>")};

    // Downloads.
    QTest::newRow("get_patch") << QList<Step>{
        get("get_patch&id=1", "200 =bells-bytes"), get("get_patch&id=99", "404"),
        get("get_patch&id=x", "404"), get("get_patch", "404")};
    QTest::newRow("get_block, by name and hash")
        << QList<Step>{get("get_block&name=demo.Half&hash={demo.Half}", "200 ~<block name="),
                       get("get_block&name=demo.Half&hash=0000", "404"),
                       get("get_block&name=demo.Other&hash={demo.Half}", "404")};
    QTest::newRow("get_block, + kept in a name")
        << QList<Step>{get("get_block&name=demo.a+b&hash={demo.a+b}", "200 ~demo.a+b"),
                       get("get_block&name=demo.a%2Bb&hash={demo.a+b}", "200 ~demo.a+b"),
                       get("get_block&name=demo.a%20b&hash={demo.a+b}", "404")};

    // Patch uploads, edits and deletes.
    QTest::newRow("upload_patch") << QList<Step>{
        post("upload_patch" + bob, drone, "200 =1"),
        get("list_user_patches&uid=2", "200 ~id=\"2\" uid=\"2\" pname=\"Drone\" uname=\"bob\" "
                                       "filename=\"Drone.ktl\"|~About Drone"),
        get("get_patch&id=2", "200 =drone-bytes")};
    QTest::newRow("upload_patch, password percent-encoded")
        << QList<Step>{post("upload_patch" + bobEscaped, drone, "200 =1")};
    QTest::newRow("upload_patch, wrong password") << QList<Step>{
        post("upload_patch" + bobWrong, drone, "200 =0"), get("list_patches", "200 !Drone")};
    QTest::newRow("upload_patch, unknown user")
        << QList<Step>{post("upload_patch" + nobody, drone, "200 =0")};
    QTest::newRow("upload_patch, no credentials")
        << QList<Step>{post("upload_patch", drone, "200 =0")};
    QTest::newRow("upload_patch, a part missing")
        << QList<Step>{post("upload_patch" + bob, without(drone, "description"), "200 =0"),
                       post("upload_patch" + bob, without(drone, "file"), "200 =0"),
                       get("list_patches", "200 !Drone")};
    QTest::newRow("upload_patch, file not Base64")
        << QList<Step>{post("upload_patch" + bob, with(drone, "file", "no base64!"), "200 =0")};
    QTest::newRow("upload_patch, text part past 64 KiB")
        << QList<Step>{post("upload_patch" + bob,
                            with(drone, "description", QByteArray(64 * 1024 + 1, 'd')), "413"),
                       get("list_patches", "200 !Drone")};
    QTest::newRow("upload_patch, wrong password and a file past 16 MiB") << QList<Step>{
        post("upload_patch" + bobWrong,
             with(drone, "file", QByteArray(16 * 1024 * 1024 + 1, 'b').toBase64()), "200 =0"),
        get("list_patches", "200 !Drone")};
    QTest::newRow("upload_patch, GET has no parts")
        << QList<Step>{get("upload_patch" + bob, "200 =0")};
    QTest::newRow("ids are never handed out twice") << QList<Step>{
        post("upload_patch" + bob, drone, "200 =1"), get("delete_patch&id=2" + bob, "200 =1"),
        post("upload_patch" + bob, patchParts("Again", "x"), "200 =1"),
        get("list_patches", "200 ~<patch id=\"3\" uid=\"2\" pname=\"Again\"|!<patch id=\"2\"")};
    QTest::newRow("update_patch") << QList<Step>{
        post("update_patch&id=1" + ann, edit, "200 =1"),
        get("list_patches", "200 ~pname=\"Bells Two\"|~Edited|~filename=\"Bells.ktl\""),
        get("get_patch&id=1", "200 =bells-bytes")};
    QTest::newRow("update_patch, with a file")
        << QList<Step>{post("update_patch&id=1" + ann, patchParts("Bells", "new-bytes"), "200 =1"),
                       get("get_patch&id=1", "200 =new-bytes")};
    QTest::newRow("update_patch, another user's") << QList<Step>{
        post("update_patch&id=1" + bob, edit, "200 =0"), get("list_patches", "200 ~" + bells)};
    QTest::newRow("update_patch, no such patch")
        << QList<Step>{post("update_patch&id=7" + ann, edit, "200 =0"),
                       post("update_patch&id=x" + ann, edit, "200 =0")};
    QTest::newRow("update_patch, a part missing") << QList<Step>{
        post("update_patch&id=1" + ann, without(edit, "name"), "200 =0"),
        post("update_patch&id=1" + ann, without(patchParts("Bells", "new"), "filename"), "200 =0"),
        get("get_patch&id=1", "200 =bells-bytes")};
    QTest::newRow("update_patch, wrong password") << QList<Step>{
        post("update_patch&id=1&uid=1&pass=" + QByteArray("pw").toBase64(), edit, "200 =0")};
    QTest::newRow("delete_patch, with its comments")
        << QList<Step>{post("upload_patch_comment" + bob + "&id=1", say, "200 =1"),
                       get("delete_patch&id=1" + ann, "200 =1"), get("get_patch&id=1", "404"),
                       get("list_patch_comments&id=1", "200 !<comment "),
                       get("delete_patch&id=1" + ann, "200 =0")};
    QTest::newRow("delete_patch, another user's") << QList<Step>{
        get("delete_patch&id=1" + bob, "200 =0"), get("get_patch&id=1", "200 =bells-bytes")};
    QTest::newRow("delete_patch, wrong password")
        << QList<Step>{get("delete_patch&id=1&uid=1&pass=" + QByteArray("x").toBase64(), "200 =0")};

    // Block uploads, edits and deletes.
    QTest::newRow("upload_block") << QList<Step>{
        post("upload_block" + bob, blockParts("bob.Echo", "Delay"), "200 =1"),
        get("list_user_blocks&uid=2", "200 ~hash=\"beef\" id=\"3\" uid=\"2\" bname=\"bob.Echo\" "
                                      "title=\"Title of bob.Echo\" uname=\"bob\" "
                                      "filename=\"bob.Echo.xml\" category=\"Delay\""),
        get("get_block&name=bob.Echo&hash=beef", "200 ~<category>Delay</category>")};
    QTest::newRow("upload_block, a part missing") << QList<Step>{
        post("upload_block" + bob, without(blockParts("bob.E", "D"), "hash"), "200 =0"),
        post("upload_block" + bob, without(blockParts("bob.E", "D"), "title"), "200 =0"),
        get("list_blocks", "200 !bob.E")};
    // Files the editor's block reader refuses: refused here too, and nothing stored.
    const RawHttp::Parts wide =
        with(blockParts("bob.Wide", "Wide"), "file", wideBlockFile("bob.Wide", 40000).toBase64());
    QTest::newRow("upload_block, a file the editor refuses") << QList<Step>{
        post("upload_block" + bob, wide, "200 =0"),
        post("upload_block" + bob,
             with(wide, "file", QByteArray("<patch name=\"bob.Wide\"/>").toBase64()), "200 =0"),
        post("upload_block" + bob,
             with(wide, "file", QByteArray("<block name=\"bob.Wide\">").toBase64()), "200 =0"),
        post("upload_block" + bob, with(wide, "file", QByteArray("not xml").toBase64()), "200 =0"),
        get("list_blocks", "200 !bob.Wide|!Wide")};
    QTest::newRow("update_block, a file the editor refuses") << QList<Step>{
        post("update_block&id=1" + ann,
             with(with(wide, "name", "demo.Half"), "file",
                  wideBlockFile("demo.Half", 40000).toBase64()),
             "200 =0"),
        get("list_blocks", "200 ~category=\"Math\"|!Wide|!beef"),
        get("get_block&name=demo.Half&hash={demo.Half}", "200 ~<category>Math</category>")};
    QTest::newRow("upload_block, wrong password")
        << QList<Step>{post("upload_block" + bobWrong, blockParts("bob.E", "D"), "200 =0")};
    QTest::newRow("update_block") << QList<Step>{
        post("update_block&id=1" + ann, blockEdit, "200 =1"),
        get("list_blocks", "200 ~bname=\"demo.Half\" title=\"Halves\"|~Edited")};
    QTest::newRow("update_block, with a file") << QList<Step>{
        post("update_block&id=1" + ann, blockParts("demo.Half", "Filter"), "200 =1"),
        get("list_blocks", "200 ~hash=\"beef\" id=\"1\"|~category=\"Filter\""),
        get("get_block&name=demo.Half&hash=beef", "200 ~<category>Filter</category>")};
    QTest::newRow("update_block, another user's") << QList<Step>{
        post("update_block&id=1" + bob, blockEdit, "200 =0"), get("list_blocks", "200 !Halves")};
    QTest::newRow("update_block, no such block")
        << QList<Step>{post("update_block&id=9" + ann, blockEdit, "200 =0")};
    QTest::newRow("update_block, a part missing") << QList<Step>{
        post("update_block&id=1" + ann, without(blockEdit, "description"), "200 =0")};
    QTest::newRow("delete_block, with its comments") << QList<Step>{
        post("upload_block_comment" + bob + "&id=1", say, "200 =1"),
        get("delete_block&id=1" + ann, "200 =1"), get("list_blocks", "200 !demo.Half|~demo.a+b"),
        get("list_block_comments&id=1", "200 !<comment "),
        get("delete_block&id=1" + ann, "200 =0")};
    QTest::newRow("delete_block, another user's") << QList<Step>{
        get("delete_block&id=1" + bob, "200 =0"), get("list_blocks", "200 ~demo.Half")};

    // Comments.
    QTest::newRow("upload_patch_comment")
        << QList<Step>{post("upload_patch_comment" + bob + "&id=1", say, "200 =1"),
                       get("list_patch_comments&id=1",
                           "200 ~<comments><comment date=\"|~id=\"1\" uid=\"2\" uname=\"bob\">"
                           "<content><![CDATA[Nice & <loud> \xc3\xbc]]></content>"),
                       get("list_block_comments&id=1", "200 !<comment ")};
    QTest::newRow("upload_patch_comment, no such patch")
        << QList<Step>{post("upload_patch_comment" + bob + "&id=5", say, "200 =0"),
                       post("upload_patch_comment" + bob + "&id=x", say, "200 =0")};
    QTest::newRow("upload_patch_comment, no comment part")
        << QList<Step>{post("upload_patch_comment" + bob + "&id=1", {{"text", "x"}}, "200 =0"),
                       get("list_patch_comments&id=1", "200 !<comment ")};
    QTest::newRow("upload_patch_comment, wrong password")
        << QList<Step>{post("upload_patch_comment" + bobWrong + "&id=1", say, "200 =0")};
    QTest::newRow("upload_block_comment")
        << QList<Step>{post("upload_block_comment" + ann + "&id=2", say, "200 =1"),
                       get("list_block_comments&id=2", "200 ~uname=\"ann\"|~Nice"),
                       get("list_patch_comments&id=2", "200 !<comment ")};
    QTest::newRow("upload_block_comment, no such block")
        << QList<Step>{post("upload_block_comment" + ann + "&id=9", say, "200 =0")};

    // A list asked for again shows every change in between.
    QTest::newRow("lists again after changes")
        << QList<Step>{get("list_patches", "200 ~" + bells + "|!Drone"),
                       get("list_user_patches&uid=2", "200 !Drone"),
                       get("list_blocks", "200 !bob.Echo"),
                       get("list_user_blocks&uid=2", "200 !bob.Echo"),
                       get("list_patch_comments&id=1", "200 !Nice"),
                       get("list_block_comments&id=1", "200 !Nice"),
                       post("upload_patch" + bob, drone, "200 =1"),
                       post("upload_block" + bob, blockParts("bob.Echo", "Delay"), "200 =1"),
                       post("upload_patch_comment" + bob + "&id=1", say, "200 =1"),
                       post("upload_block_comment" + bob + "&id=1", say, "200 =1"),
                       get("list_patches", "200 ~Drone"),
                       get("list_user_patches&uid=2", "200 ~Drone"),
                       get("list_blocks", "200 ~bob.Echo"),
                       get("list_user_blocks&uid=2", "200 ~bob.Echo"),
                       get("list_patch_comments&id=1", "200 ~Nice"),
                       get("list_block_comments&id=1", "200 ~Nice"),
                       get("delete_patch&id=2" + bob, "200 =1"),
                       get("list_patches", "200 !Drone"),
                       get("list_user_patches&uid=2", "200 !Drone")};

    // Everything else.
    QTest::newRow("unknown action")
        << QList<Step>{get("drop_tables", "404"), raw("GET /action.php HTTP/1.1\r\n\r\n", "404")};
    QTest::newRow("another path") << QList<Step>{
        raw("GET /other.php?action=version HTTP/1.1\r\n\r\n", "404")};
    QTest::newRow("another method")
        << QList<Step>{raw("PUT /action.php?action=version HTTP/1.1\r\n\r\n", "405")};
    QTest::newRow("the front page")
        << QList<Step>{raw("GET / HTTP/1.1\r\n\r\n", "200 ~newest editor version is 1.2.3")};
}

void TestServerProtocol::actions()
{
    QFETCH(QList<Step>, steps);
    ServerProcess server;
    const QString seed = server.writeSeed();
    QVERIFY(!seed.isEmpty());
    QVERIFY2(server.start({"--seed", seed}), server.errors().constData());

    // Block hashes as the server lists them, for "{name}" in a query.
    const RawHttp::Answer blocks = RawHttp::exchange(server.port(), RawHttp::get("list_blocks"));
    QHash<QByteArray, QByteArray> hashes;
    const QRegularExpression entry(QStringLiteral("hash=\"([0-9a-f]+)\"[^>]*bname=\"([^\"]+)\""));
    for (auto it = entry.globalMatch(QString::fromUtf8(blocks.body)); it.hasNext();) {
        const auto m = it.next();
        hashes.insert("{" + m.captured(2).toUtf8() + "}", m.captured(1).toUtf8());
    }
    QCOMPARE(hashes.size(), 2);

    for (int i = 0; i < steps.size(); ++i) {
        QByteArray request = steps.at(i).request;
        for (auto it = hashes.cbegin(); it != hashes.cend(); ++it)
            request.replace(it.key(), it.value());
        const RawHttp::Answer got = RawHttp::exchange(server.port(), request);
        const QByteArray where = "step " + QByteArray::number(i + 1) + ": " +
                                 request.left(request.indexOf('\r')) + "\n  got " +
                                 QByteArray::number(got.status) + " " + got.body.left(400);
        const QByteArray expect = steps.at(i).expect;
        const int blank = expect.indexOf(' ');
        QVERIFY2(!got.timedOut, where.constData());
        QVERIFY2(got.status == expect.left(blank < 0 ? expect.size() : blank).toInt(),
                 where.constData());
        if (blank < 0)
            continue;
        for (const QByteArray& check : expect.mid(blank + 1).split('|')) {
            const QByteArray text = check.mid(1);
            const bool ok = check.startsWith('=')   ? got.body == text
                            : check.startsWith('~') ? got.body.contains(text)
                                                    : !got.body.contains(text);
            QVERIFY2(ok, (where + "\n  wanted " + check).constData());
        }
    }
    QVERIFY(server.stop());
}

// Someone mends an entry with the sqlite3 shell while the server runs.
void TestServerProtocol::listsShowChangesByAnotherProgram()
{
    ServerProcess server;
    QVERIFY(server.start({"--seed", server.writeSeed()}));
    // Asked for on several connections, so that every worker may have made and kept it.
    for (int i = 0; i < 32; ++i)
        QVERIFY(RawHttp::exchange(server.port(), RawHttp::get("list_patches"))
                    .body.contains("pname=\"Bells\""));
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(server.dataFile().toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 10000);
    QCOMPARE(sqlite3_exec(db, "UPDATE patches SET name = 'Mended' WHERE id = 1", nullptr, nullptr,
                          nullptr),
             SQLITE_OK);
    sqlite3_close(db);
    for (int i = 0; i < 32; ++i) {
        const QByteArray list = RawHttp::exchange(server.port(), RawHttp::get("list_patches")).body;
        QVERIFY2(list.contains("pname=\"Mended\"") && !list.contains("Bells\""), list.constData());
    }
    QVERIFY(server.stop());
}

KL_TEST_MAIN(TestServerProtocol)
#include "test_serverprotocol.moc"
