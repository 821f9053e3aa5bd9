// Uploads, lists, downloads, updates, deletes and comments through the client and the server.
#include "MessageCapture.h"
#include "RepositoryServer.h"
#include "RepositoryTestKit.h"
#include "TestMain.h"
#include "UserCredentials.h"

#include <QApplication>

namespace {

// Every byte value, so nothing on the way may treat the file as text.
QByteArray allBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

const QString awkward = QStringLiteral("\nA line feed first, ]]> & <b>\u00fcber</b> \"quoted\"");

} // namespace

class TestRepositoryRoundTrip : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void logIn();
    void patchRoundTrip();
    void blockRoundTrip();
    void comments();
    void refusals_data();
    void refusals();

private:
    // Waits until the log holds exactly these lines, then empties it.
    void expect(const QStringList& lines);

    MessageCapture* capture = nullptr;
    RepositoryServer* server = nullptr;
    FakeHost* host = nullptr;
    Repository* repository = nullptr;
    SignalLog* log = nullptr;
    UserCredentials ann;
    UserCredentials bob;
};

void TestRepositoryRoundTrip::init()
{
    capture = new MessageCapture;
    server = new RepositoryServer;
    QVERIFY(server->start());
    server->setTime(1700000000);
    // Base64 of this name holds "/", of the password "+" and "=".
    ann.name = QStringLiteral("Zo\u00eb & Co");
    ann.password = QStringLiteral("a?>b");
    ann.uid = server->addUser(ann.name, ann.password);
    ann.loggedIn = true;
    bob.name = QStringLiteral("bob");
    bob.password = QStringLiteral("hunter2");
    bob.uid = server->addUser(bob.name, bob.password);
    bob.loggedIn = true;
    host = new FakeHost;
    repository = new Repository(host, &ann);
    repository->setBaseUrl(server->endpoint());
    log = new SignalLog(repository);
}

void TestRepositoryRoundTrip::cleanup()
{
    delete repository;
    delete host;
    delete server;
    delete capture;
}

void TestRepositoryRoundTrip::expect(const QStringList& lines)
{
    QTRY_COMPARE(log->lines, lines);
    log->lines.clear();
}

void TestRepositoryRoundTrip::logIn()
{
    UserCredentials typed;
    typed.name = ann.name;
    typed.password = ann.password;
    repository->logIn(&typed);
    expect({QStringLiteral("login %1").arg(ann.uid)});

    typed.password = QStringLiteral("a?>c");
    repository->logIn(&typed);
    expect({QStringLiteral("failed 0 "), QStringLiteral("login ")});
}

void TestRepositoryRoundTrip::patchRoundTrip()
{
    RepositoryPatch patch;
    patch.name = QStringLiteral("Bells & Whistles #2 + more");
    patch.filename = patch.name + ".ktl";
    patch.description = awkward;
    patch.data = allBytes();
    repository->uploadPatch(patch, &ann, false);
    expect({"userPatches 1"});
    QCOMPARE(capture->warnings(), QStringList{"Patch uploaded successfully"});
    const RepositoryPatch listed = log->lastPatches.first();
    QCOMPARE(listed.name, patch.name);
    QCOMPARE(listed.filename, patch.filename);
    QCOMPARE(listed.description, awkward);
    QCOMPARE(listed.user, ann.name);
    QCOMPARE(listed.uid, ann.uid);
    QCOMPARE(listed.date, QStringLiteral("2023.11.14"));

    // Others see it in the community list; the download is the uploaded bytes.
    repository->getCommunityDatabase();
    expect({"patches 1", "blocks 0"});
    repository->getPatch(listed.id);
    QTRY_COMPARE(host->patches, QList<QByteArray>{allBytes()});

    // Replacing the file, then editing name and description.
    patch.id = listed.id;
    patch.data = "second version";
    repository->uploadPatch(patch, &ann, true);
    expect({"userPatches 1"});
    repository->getPatch(listed.id);
    QTRY_COMPARE(host->patches.size(), 2);
    QCOMPARE(host->patches.last(), QByteArray("second version"));

    repository->editPatch(listed.id, &ann, QStringLiteral("Renamed"), QStringLiteral("Short"));
    expect({"userPatches 1"});
    QCOMPARE(log->lastPatches.first().name, QStringLiteral("Renamed"));
    QCOMPARE(log->lastPatches.first().description, QStringLiteral("Short"));
    QCOMPARE(log->lastPatches.first().filename, patch.filename);
    QCOMPARE(server->patches().first().data, QByteArray("second version"));

    repository->deletePatch(listed.id, &ann);
    expect({"userPatches 0"});
    QCOMPARE(capture->warnings().last(), QStringLiteral("Patch deleted successfully"));
    QVERIFY(server->patches().isEmpty());
}

void TestRepositoryRoundTrip::blockRoundTrip()
{
    RepositoryBlock block;
    block.name = QStringLiteral("zo.fold & bend");
    block.title = QStringLiteral("Fold = Bend");
    block.description = awkward;
    block.hash = QStringLiteral("1a2b");
    block.filename = QStringLiteral("zo.fold.block");
    block.data = "<block name=\"zo.fold &amp; bend\">\r\n<category>Effects</category>\r\n</block>";
    repository->uploadBlock(block, &ann, false);
    // The user's list, then the whole list.
    expect({"userBlocks 1", "blocks 1"});
    const RepositoryBlock listed = log->lastBlocks.first();
    QCOMPARE(listed.name, block.name);
    QCOMPARE(listed.title, block.title);
    QCOMPARE(listed.description, awkward);
    QCOMPARE(listed.hash, block.hash);
    QCOMPARE(listed.filename, block.filename);
    QCOMPARE(listed.category, QStringLiteral("Effects"));
    QCOMPARE(listed.user, ann.name);

    repository->getBlock(listed, true);
    expect({"block " + QString::fromUtf8(block.data)});

    repository->editBlock(listed.id, &ann, QStringLiteral("New title"), QStringLiteral("New"));
    expect({"userBlocks 1", "blocks 1"});
    QCOMPARE(log->lastBlocks.first().title, QStringLiteral("New title"));
    QCOMPARE(log->lastBlocks.first().name, block.name);
    QCOMPARE(capture->warnings().last(), QStringLiteral("Block uploaded successfully"));

    repository->deleteBlock(listed.id, &ann);
    expect({"userBlocks 0", "blocks 0"});
    QCOMPARE(capture->warnings().last(), QStringLiteral("Block deleted successfully"));
}

void TestRepositoryRoundTrip::comments()
{
    RepositoryServer::Patch patch;
    patch.uid = bob.uid;
    const int patchId = server->addPatch(patch);
    RepositoryServer::Block block;
    block.uid = bob.uid;
    const int blockId = server->addBlock(block);

    repository->postPatchComment(patchId, QStringLiteral("\nNice & <i>warm</i> ]]> \u00fc"), &ann);
    expect({"comments 1"});
    const RepositoryComment c = log->lastComments.first();
    QCOMPARE(c.content, QStringLiteral("\nNice & <i>warm</i> ]]> \u00fc"));
    QCOMPARE(c.user, ann.name);
    QCOMPARE(c.uid, ann.uid);

    repository->postPatchComment(patchId, QStringLiteral("second"), &bob);
    expect({"comments 2"});
    QCOMPARE(log->lastComments.at(1).user, bob.name);

    // Block comments are kept apart from patch comments of the same id.
    repository->postBlockComment(blockId, QStringLiteral("on the block"), &ann);
    expect({"comments 1"});
    QCOMPARE(log->lastComments.first().content, QStringLiteral("on the block"));
    repository->getPatchComments(patchId, &ann);
    expect({"comments 2"});

    // Deleting the patch takes its comments along.
    repository->deletePatch(patchId, &bob);
    expect({"userPatches 0"});
    repository->getPatchComments(patchId, &ann);
    expect({"comments 0"});
}

void TestRepositoryRoundTrip::refusals_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("failure");
    QTest::newRow("upload, wrong password") << 0 << "9 Could not download patch from database";
    QTest::newRow("update of another user's patch")
        << 1 << "9 Could not download patch from database";
    QTest::newRow("edit of another user's block")
        << 2 << "10 Could not download patch from database";
    QTest::newRow("delete of another user's patch")
        << 3 << "11 Could not download patch from database";
    QTest::newRow("delete of another user's block")
        << 4 << "12 Could not download block from database";
    QTest::newRow("comment, wrong password") << 5 << "16 Could not post comment to database";
    QTest::newRow("comment on no patch") << 6 << "15 Could not post comment to database";
    QTest::newRow("delete with another user's id")
        << 7 << "11 Could not download patch from database";
}

// The server answers "0" to a change it refuses; the client reports the failure, shows no
// notice and does not refresh, and the server's entries stay as they were.
void TestRepositoryRoundTrip::refusals()
{
    QFETCH(int, operation);
    QFETCH(QString, failure);

    RepositoryServer::Patch patch;
    patch.uid = bob.uid;
    patch.name = QStringLiteral("bob's");
    const int bobPatch = server->addPatch(patch);
    RepositoryServer::Block block;
    block.uid = bob.uid;
    block.title = QStringLiteral("bob's");
    const int bobBlock = server->addBlock(block);

    UserCredentials wrong = ann;
    wrong.password = QStringLiteral("a?>c");
    // Ann's password with Bob's id.
    UserCredentials posing = ann;
    posing.uid = bob.uid;
    RepositoryPatch upload;
    upload.name = QStringLiteral("x");
    upload.id = bobPatch;
    switch (operation) {
    case 0:
        repository->uploadPatch(upload, &wrong, false);
        break;
    case 1:
        repository->uploadPatch(upload, &ann, true);
        break;
    case 2:
        repository->editBlock(bobBlock, &ann, QStringLiteral("mine"), QStringLiteral("now"));
        break;
    case 3:
        repository->deletePatch(bobPatch, &ann);
        break;
    case 4:
        repository->deleteBlock(bobBlock, &ann);
        break;
    case 5:
        repository->postBlockComment(bobBlock, QStringLiteral("hi"), &wrong);
        break;
    case 6:
        repository->postPatchComment(bobPatch + 100, QStringLiteral("hi"), &ann);
        break;
    case 7:
        repository->deletePatch(bobPatch, &posing);
        break;
    }
    expect({"failed " + failure});
    QCOMPARE(server->requests().size(), 1);
    QCOMPARE(capture->warnings(), QStringList());
    QCOMPARE(server->patches().size(), 1);
    QCOMPARE(server->patches().first().name, QStringLiteral("bob's"));
    QCOMPARE(server->blocks().size(), 1);
    QCOMPARE(server->blocks().first().title, QStringLiteral("bob's"));
    QVERIFY(server->comments().isEmpty());
}

KL_TEST_MAIN(TestRepositoryRoundTrip)
#include "test_repositoryroundtrip.moc"
