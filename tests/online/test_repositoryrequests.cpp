// Every request the client sends, as the server receives it.
#include "RepositoryServer.h"
#include "RepositoryTestKit.h"
#include "TestMain.h"
#include "UserCredentials.h"

#include <QApplication>
#include <functional>

using Operation = std::function<void(Repository&, UserCredentials&)>;
Q_DECLARE_METATYPE(Operation)

namespace {

// The name's Base64 holds "/", the password's "+" and "=", so only a client that encodes each
// query value gets them through a server that decodes "+" as a blank.
const QString annName = QStringLiteral("Zo\u00eb & Co");
const QString annPassword = QStringLiteral("a?>b");
const QByteArray annPass = "YT8%2BYg%3D%3D";

RepositoryPatch patchRecord()
{
    RepositoryPatch p;
    p.id = 12;
    p.name = QStringLiteral("Bells & Whistles");
    p.filename = QStringLiteral("Bells & Whistles.ktl");
    p.description = QStringLiteral("Two bells\n\u00fcber alles");
    p.data = QByteArray("\x00\x06record\xff", 9);
    return p;
}

RepositoryBlock blockRecord()
{
    RepositoryBlock b;
    b.id = 13;
    b.name = QStringLiteral("Drum & Bass #1 +\u00fc");
    b.title = QStringLiteral("Drum = Bass");
    b.description = QStringLiteral("Loud");
    b.hash = QStringLiteral("a1b2");
    b.filename = QStringLiteral("drum.block");
    b.data = "<block name=\"x\"/>";
    return b;
}

QString part(const char* name, const QByteArray& body, bool file = false)
{
    QString text = QStringLiteral("content-disposition: form-data; name=\"%1\"").arg(name);
    if (file)
        text += QStringLiteral(" | content-type: application/octet-stream");
    return text + " | " + QString::fromUtf8(body);
}

} // namespace

class TestRepositoryRequests : public QObject
{
    Q_OBJECT
private slots:
    void request_data();
    void request();
};

void TestRepositoryRequests::request_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QStringList>("parts");
    // "uid password" (the log-in: "name password") as the server decodes them, or empty when
    // the query carries none.
    QTest::addColumn<QString>("credentials");

    const QString ann = "7 " + annPassword;
    const QByteArray cred = "&uid=7&pass=" + annPass;
    const RepositoryPatch p = patchRecord();
    const RepositoryBlock b = blockRecord();
    const QByteArray blockQuery = "get_block&name=Drum%20%26%20Bass%20%231%20%2B%C3%BC&hash=a1b2";

    QTest::newRow("logIn") << Operation([](Repository& r, UserCredentials& c) { r.logIn(&c); })
                           << QByteArray("GET")
                           << QByteArray("get_uid&name=Wm%2FDqyAmIENv&pass=" + annPass)
                           << QStringList() << QString(annName + " " + annPassword);
    QTest::newRow("getUserPatchList")
        << Operation([](Repository& r, UserCredentials& c) { r.getUserPatchList(&c); })
        << QByteArray("GET") << QByteArray("list_user_patches&uid=7") << QStringList() << QString();
    QTest::newRow("getBlockList") << Operation([](Repository& r, UserCredentials&) {
        r.getBlockList();
    }) << QByteArray("GET") << QByteArray("list_blocks")
                                  << QStringList() << QString();
    QTest::newRow("getUserBlockList")
        << Operation([](Repository& r, UserCredentials& c) { r.getUserBlockList(&c); })
        << QByteArray("GET") << QByteArray("list_user_blocks&uid=7") << QStringList() << QString();
    // The id given, not an entry of the client's last patch list.
    QTest::newRow("getPatch") << Operation([](Repository& r, UserCredentials&) { r.getPatch(2); })
                              << QByteArray("GET") << QByteArray("get_patch&id=2") << QStringList()
                              << QString();
    QTest::newRow("getBlock single")
        << Operation([b](Repository& r, UserCredentials&) { r.getBlock(b, true); })
        << QByteArray("GET") << blockQuery << QStringList() << QString();
    QTest::newRow("getBlock missing")
        << Operation([b](Repository& r, UserCredentials&) { r.getBlock(b, false); })
        << QByteArray("GET") << blockQuery << QStringList() << QString();
    QTest::newRow("getBlockList missing") << Operation([b](Repository& r, UserCredentials&) {
        RepositoryBlocks missing{b};
        r.getBlockList(missing);
    }) << QByteArray("GET") << QByteArray("list_blocks")
                                          << QStringList() << QString();
    const QStringList patchParts{part("name", "Bells & Whistles"),
                                 part("filename", "Bells & Whistles.ktl"),
                                 part("description", "Two bells\n\xc3\xbc"
                                                     "ber alles"),
                                 part("file", "AAZyZWNvcmT/", true)};
    QTest::newRow("uploadPatch new") << Operation([p](Repository& r, UserCredentials& c) {
        RepositoryPatch copy = p;
        r.uploadPatch(copy, &c, false);
    }) << QByteArray("POST") << QByteArray("upload_patch" + cred)
                                     << patchParts << ann;
    QTest::newRow("uploadPatch overwrite") << Operation([p](Repository& r, UserCredentials& c) {
        RepositoryPatch copy = p;
        r.uploadPatch(copy, &c, true);
    }) << QByteArray("POST") << QByteArray("update_patch&id=12" + cred)
                                           << patchParts << ann;
    QTest::newRow("editPatch") << Operation([](Repository& r, UserCredentials& c) {
        r.editPatch(12, &c, QStringLiteral("New & name"), QStringLiteral("New text"));
    }) << QByteArray("POST") << QByteArray("update_patch&id=12" + cred)
                               << QStringList{part("name", "New & name"),
                                              part("description", "New text")}
                               << ann;
    const QStringList blockParts{part("name", "Drum & Bass #1 +\xc3\xbc"),
                                 part("title", "Drum = Bass"),
                                 part("description", "Loud"),
                                 part("hash", "a1b2"),
                                 part("filename", "drum.block"),
                                 part("file", "PGJsb2NrIG5hbWU9IngiLz4=", true)};
    QTest::newRow("uploadBlock new") << Operation([b](Repository& r, UserCredentials& c) {
        RepositoryBlock copy = b;
        r.uploadBlock(copy, &c, false);
    }) << QByteArray("POST") << QByteArray("upload_block" + cred)
                                     << blockParts << ann;
    QTest::newRow("uploadBlock overwrite") << Operation([b](Repository& r, UserCredentials& c) {
        RepositoryBlock copy = b;
        r.uploadBlock(copy, &c, true);
    }) << QByteArray("POST") << QByteArray("update_block&id=13" + cred)
                                           << blockParts << ann;
    QTest::newRow("editBlock") << Operation([](Repository& r, UserCredentials& c) {
        r.editBlock(13, &c, QStringLiteral("T"), QStringLiteral("D"));
    }) << QByteArray("POST") << QByteArray("update_block&id=13" + cred)
                               << QStringList{part("title", "T"), part("description", "D")} << ann;
    QTest::newRow("deletePatch") << Operation([](Repository& r, UserCredentials& c) {
        r.deletePatch(12, &c);
    }) << QByteArray("GET") << QByteArray("delete_patch&id=12" + cred)
                                 << QStringList() << ann;
    QTest::newRow("deleteBlock") << Operation([](Repository& r, UserCredentials& c) {
        r.deleteBlock(13, &c);
    }) << QByteArray("GET") << QByteArray("delete_block&id=13" + cred)
                                 << QStringList() << ann;
    QTest::newRow("getPatchComments")
        << Operation([](Repository& r, UserCredentials& c) { r.getPatchComments(12, &c); })
        << QByteArray("GET") << QByteArray("list_patch_comments&id=12") << QStringList()
        << QString();
    QTest::newRow("getBlockComments")
        << Operation([](Repository& r, UserCredentials& c) { r.getBlockComments(13, &c); })
        << QByteArray("GET") << QByteArray("list_block_comments&id=13") << QStringList()
        << QString();
    QTest::newRow("postPatchComment") << Operation([](Repository& r, UserCredentials& c) {
        r.postPatchComment(12, QStringLiteral("Nice & =#+ \u00fc"), &c);
    }) << QByteArray("POST") << QByteArray("upload_patch_comment" + cred + "&id=12")
                                      << QStringList{part("comment", "Nice & =#+ \xc3\xbc")} << ann;
    QTest::newRow("postBlockComment") << Operation([](Repository& r, UserCredentials& c) {
        r.postBlockComment(13, QStringLiteral("Yes"), &c);
    }) << QByteArray("POST") << QByteArray("upload_block_comment" + cred + "&id=13")
                                      << QStringList{part("comment", "Yes")} << ann;
    QTest::newRow("getCommunityDatabase")
        << Operation([](Repository& r, UserCredentials&) { r.getCommunityDatabase(); })
        << QByteArray("GET") << QByteArray("list_patches") << QStringList() << QString();
    QTest::newRow("getUserDatabase")
        << Operation([](Repository& r, UserCredentials& c) { r.getUserDatabase(&c); })
        << QByteArray("GET") << QByteArray("list_user_patches&uid=7") << QStringList() << QString();
    QTest::newRow("getVersion") << Operation([](Repository& r, UserCredentials&) {
        r.getVersion();
    }) << QByteArray("GET") << QByteArray("version")
                                << QStringList() << QString();
}

void TestRepositoryRequests::request()
{
    QFETCH(Operation, operation);
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(QStringList, parts);
    QFETCH(QString, credentials);

    RepositoryServer server;
    QVERIFY(server.start());
    const int owner = server.addUser(QStringLiteral("owner"), QStringLiteral("pw"));
    for (const char* name : {"first", "second"}) {
        RepositoryServer::Patch p;
        p.uid = owner;
        p.name = QLatin1String(name);
        server.addPatch(p);
    }
    FakeHost host;
    Repository repository(&host, nullptr);
    repository.setBaseUrl(server.endpoint());
    SignalLog log(&repository);
    // A list came before, as when a person browses.
    repository.getCommunityDatabase();
    QTRY_VERIFY(log.lines.contains(QStringLiteral("blocks 0")));
    server.clearRequests();

    UserCredentials ann;
    ann.name = annName;
    ann.password = annPassword;
    ann.uid = 7;
    ann.loggedIn = true;
    operation(repository, ann);

    QTRY_VERIFY(!server.requests().isEmpty());
    const RepositoryServer::Request got = server.requests().first();
    QCOMPARE(got.method, method);
    QCOMPARE(got.target, "/action.php?action=" + target);

    QStringList gotParts;
    for (const RepositoryServer::Part& p : got.parts) {
        QStringList fields;
        for (const auto& h : p.headers)
            fields << QString::fromLatin1(h.first + ": " + h.second);
        gotParts << fields.join(QStringLiteral(" | ")) + " | " + QString::fromUtf8(p.body);
    }
    QCOMPARE(gotParts, parts);
    if (method == "POST")
        QVERIFY(got.header("content-type").startsWith("multipart/form-data; boundary="));

    auto decoded = [&got](const char* key) {
        return QString::fromUtf8(QByteArray::fromBase64(got.value(QLatin1String(key)).toLatin1()));
    };
    QString gotCredentials;
    if (!got.value(QStringLiteral("pass")).isNull()) {
        const QString who = got.action() == QLatin1String("get_uid")
                                ? decoded("name")
                                : got.value(QStringLiteral("uid"));
        gotCredentials = who + " " + decoded("pass");
    }
    QCOMPARE(gotCredentials, credentials);
}

KL_TEST_MAIN(TestRepositoryRequests)
#include "test_repositoryrequests.moc"
