// The client against a repository server of another make than ours (python_repository.py,
// written from the protocol alone), which answers stored changes with status 201 and "1" and a
// line feed: log-in through the controller, lists, downloads, uploads, edits, comments, the
// missing-block fetch, a refusal and deletes.
#include "BlockManager.h"
#include "LogIn.h"
#include "MessageCapture.h"
#include "Repository.h"
#include "RepositoryTestKit.h"
#include "TestMain.h"
#include "UserCredentials.h"

#include <QAction>
#include <QLineEdit>
#include <QMainWindow>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QToolBar>
#include <memory>

namespace {

// The editor window as the log-in controller and the client see it.
class Host : public QMainWindow, public FakeHost
{
public:
    QWidget* hostWindow() override { return this; }
};

// Its Base64 holds "+" and "/", which a server decoding "+" as a blank gets only encoded.
const QString annPassword = QStringLiteral("a?>b~~~");

QByteArray blockFile(const QString& name)
{
    return "<block name=\"" + name.toHtmlEscaped().toUtf8() +
           "\">\n<category>Math</category>\n<data name=\"t_x\"></data>\n"
           "<function name=\"f_x\">return;</function>\n</block>\n";
}

int liveReplies(const Repository* repository)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return repository->networkManager()->findChildren<QNetworkReply*>().size();
}

} // namespace

class TestOtherRepository : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void wholeRound();

private:
    // Waits until the client has nothing in flight and gives the signals since the last call.
    QStringList settled();

    QProcess server;
    QString endpoint;
    std::unique_ptr<Host> host;
    std::unique_ptr<Repository> repository;
    std::unique_ptr<SignalLog> log;
};

void TestOtherRepository::init()
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    QVERIFY2(!python.isEmpty(), "python3 is needed; tools/setup.sh installs it");
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(python, {testsupport::sourcePath("tests/online/python_repository.py"), "--user",
                          "ann:" + annPassword, "--user", "bob:bobs"});
    QVERIFY(server.waitForStarted());
    QTRY_VERIFY(server.canReadLine());
    const QByteArray line = server.readLine().trimmed();
    QVERIFY2(line.startsWith("PORT "), line.constData());
    endpoint =
        QStringLiteral("http://127.0.0.1:%1/action.php").arg(QString::fromLatin1(line.mid(5)));
    host = std::make_unique<Host>();
}

void TestOtherRepository::cleanup()
{
    log.reset();
    repository.reset();
    host.reset();
    // Closing its input stops the server; it is ended only if it does not.
    server.closeWriteChannel();
    if (!server.waitForFinished(5000))
        server.kill();
    server.waitForFinished();
}

QStringList TestOtherRepository::settled()
{
    if (!QTest::qWaitFor([this] { return liveReplies(repository.get()) == 0; }, 10000))
        return {QStringLiteral("still waiting for a reply")};
    const QStringList lines = log->lines;
    log->lines.clear();
    return lines;
}

void TestOtherRepository::wholeRound()
{
    MessageCapture capture;

    // The log-in through its controller.
    LogIn login(host.get());
    login.loginRepository()->setBaseUrl(endpoint);
    host->addToolBar(login.createToolBar());
    login.userNameField()->setText(QStringLiteral("ann"));
    login.userPasswordField()->setText(annPassword);
    login.logInClickedSlot();
    QTRY_VERIFY(login.getUserCredentials()->loggedIn);
    UserCredentials* ann = login.getUserCredentials();
    QCOMPARE(ann->uid, 1);
    QVERIFY(login.isOnlineLabelShown());
    QCOMPARE(capture.warnings(), QStringList());

    repository = std::make_unique<Repository>(host.get(), nullptr);
    repository->setBaseUrl(endpoint);
    log = std::make_unique<SignalLog>(repository.get());

    // Uploads: each "1" with a line feed and status 201 is a stored change.
    repository->getUserDatabase(ann);
    QCOMPARE(settled(), (QStringList{"userPatches 0", "userBlocks 0", "blocks 0"}));
    RepositoryPatch patch;
    patch.name = QStringLiteral("Bells & Whistles #2 + more");
    patch.filename = patch.name + ".ktl";
    patch.description = QStringLiteral("Two bells\n\u00fcber alles ]]> done");
    patch.data = QByteArray("\x00\x06record\xff\x00", 10);
    repository->uploadPatch(patch, ann, false);
    QCOMPARE(settled(), QStringList{"userPatches 1"});
    const RepositoryPatch listed = log->lastPatches.first();
    QCOMPARE(listed.name, patch.name);
    QCOMPARE(listed.user, QStringLiteral("ann"));
    QCOMPARE(listed.description, patch.description);

    RepositoryBlock block;
    block.name = QStringLiteral("ann.Drum & Bass +1");
    block.title = QStringLiteral("Drum");
    block.description = QStringLiteral("Loud");
    block.filename = QStringLiteral("drum.block");
    block.data = blockFile(block.name);
    block.hash = QStringLiteral("a1b2");
    repository->uploadBlock(block, ann, false);
    QCOMPARE(settled(), (QStringList{"userBlocks 1", "blocks 1"}));
    QCOMPARE(log->lastBlocks.first().category, QStringLiteral("Math"));
    const int blockId = log->lastBlocks.first().id;
    QCOMPARE(capture.warnings(),
             (QStringList{"Patch uploaded successfully", "Block uploaded successfully"}));

    // Lists and downloads.
    repository->getCommunityDatabase();
    QCOMPARE(settled(), (QStringList{"patches 1", "blocks 1"}));
    repository->getPatch(listed.id);
    repository->getBlock(log->lastBlocks.first(), true);
    QCOMPARE(settled(), QStringList{"block " + QString::fromUtf8(block.data)});
    QCOMPARE(host->patches, QList<QByteArray>{patch.data});

    // Edits and a replaced file.
    repository->editPatch(listed.id, ann, QStringLiteral("Renamed"), QStringLiteral("Short"));
    QCOMPARE(settled(), QStringList{"userPatches 1"});
    QCOMPARE(log->lastPatches.first().name, QStringLiteral("Renamed"));
    QCOMPARE(log->lastPatches.first().description, QStringLiteral("Short"));
    repository->editBlock(blockId, ann, QStringLiteral("Drum 2"), QStringLiteral("Louder"));
    QCOMPARE(settled(), (QStringList{"userBlocks 1", "blocks 1"}));
    QCOMPARE(log->lastBlocks.first().title, QStringLiteral("Drum 2"));
    patch.id = listed.id;
    patch.data = "second version";
    repository->uploadPatch(patch, ann, true);
    QCOMPARE(settled(), QStringList{"userPatches 1"});
    repository->getPatch(listed.id);
    settled();
    QCOMPARE(host->patches.last(), QByteArray("second version"));

    // Comments on both kinds.
    repository->postPatchComment(listed.id, QStringLiteral("Nice & =#+ \u00fc"), ann);
    QCOMPARE(settled(), QStringList{"comments 1"});
    QCOMPARE(log->lastComments.first().content, QStringLiteral("Nice & =#+ \u00fc"));
    QCOMPARE(log->lastComments.first().user, QStringLiteral("ann"));
    repository->postBlockComment(blockId, QStringLiteral("Yes"), ann);
    QCOMPARE(settled(), QStringList{"comments 1"});

    // A patch that lacks the block gets it by its name, which travels percent-encoded.
    RepositoryBlock wanted;
    wanted.name = block.name;
    wanted.hash = QStringLiteral("0000");
    RepositoryBlocks missing{wanted};
    repository->getBlockList(missing);
    QTRY_COMPARE(host->blockFileSets.size(), 1);
    settled();
    QCOMPARE(host->blockFileSets.first(), QList<QByteArray>{block.data});
    QCOMPARE(BlockManager::validBlockName(host->blockFileSets.first().first()), block.name);

    // Another user's delete is refused with "0": reported, nothing refreshed or removed.
    UserCredentials bob;
    bob.name = QStringLiteral("bob");
    bob.password = QStringLiteral("bobs");
    bob.uid = 2;
    bob.loggedIn = true;
    capture.clear();
    repository->deletePatch(listed.id, &bob);
    QCOMPARE(settled(), QStringList{"failed 11 Could not download patch from database"});
    QCOMPARE(capture.warnings(), QStringList());

    // Deletes.
    repository->deletePatch(listed.id, ann);
    QCOMPARE(settled(), QStringList{"userPatches 0"});
    repository->deleteBlock(blockId, ann);
    QCOMPARE(settled(), (QStringList{"userBlocks 0", "blocks 0"}));
    QCOMPARE(capture.warnings(),
             (QStringList{"Patch deleted successfully", "Block deleted successfully"}));
}

KL_TEST_MAIN(TestOtherRepository)
#include "test_otherrepository.moc"
