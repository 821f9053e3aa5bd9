// How the client reads replies: failures and their messages, notices, the version check, the
// missing-block chain, replies in flight together, and the bounds on replies.
#include "MessageCapture.h"
#include "ModalDriver.h"
#include "RepositoryServer.h"
#include "RepositoryTestKit.h"
#include "TestMain.h"
#include "UserCredentials.h"

#include <QApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QSslSocket>
#include <functional>

using Operation = std::function<void(Repository&, UserCredentials&)>;
Q_DECLARE_METATYPE(Operation)
Q_DECLARE_METATYPE(RepositoryServer::Fault)

namespace {

using Fault = RepositoryServer::Fault;

// A server with one user (uid 1, "ann" / "pw"), her patch 1 and the blocks A, B and C.
struct Fixture
{
    Fixture() : repository(&host, &ann)
    {
        server.start();
        ann.name = QStringLiteral("ann");
        ann.password = QStringLiteral("pw");
        ann.uid = server.addUser(ann.name, ann.password);
        ann.loggedIn = true;
        RepositoryServer::Patch p;
        p.uid = ann.uid;
        p.name = QStringLiteral("first");
        p.data = "patch bytes";
        server.addPatch(p);
        for (const char* name : {"A", "B", "C"}) {
            RepositoryServer::Block b;
            b.uid = ann.uid;
            b.name = QLatin1String(name);
            b.hash = QStringLiteral("%1%1%1%1").arg(QChar(name[0]).toLower());
            b.data = QByteArray("file ") + name;
            server.addBlock(b);
        }
        repository.setBaseUrl(server.endpoint());
    }

    // The get_block requests the server received, as block names.
    QStringList blockDownloads() const
    {
        QStringList names;
        for (const RepositoryServer::Request& r : server.requests()) {
            if (r.action() == QLatin1String("get_block"))
                names << r.value(QStringLiteral("name"));
        }
        return names;
    }

    int count(const QString& action) const
    {
        int n = 0;
        for (const RepositoryServer::Request& r : server.requests())
            n += r.action() == action ? 1 : 0;
        return n;
    }

    RepositoryServer server;
    FakeHost host;
    UserCredentials ann;
    Repository repository;
    SignalLog log{&repository};
};

RepositoryBlocks missing(const QStringList& names)
{
    RepositoryBlocks list;
    for (const QString& name : names) {
        RepositoryBlock b;
        b.name = name;
        b.hash = QStringLiteral("0000");
        list << b;
    }
    return list;
}

QStringList joined(const QList<QByteArray>& files)
{
    QStringList out;
    for (const QByteArray& f : files)
        out << QString::fromUtf8(f);
    return out;
}

// Asks for a marker comment list and waits for it, so that everything the client did before
// has reached the server and every reply before it has been handled; then takes the marker's
// traces out of the server's requests and the signal log. The marker also shows the client
// still answers requests.
void settle(Fixture& f)
{
    f.server.scriptBody("<comments><comment id=\"999\"/></comments>",
                        QStringLiteral("list_block_comments"));
    f.repository.getBlockComments(999, nullptr);
    QTRY_VERIFY(f.log.lines.contains(QStringLiteral("comments 1")));
    f.log.lines.removeAll(QStringLiteral("comments 1"));
}

QStringList actionsBeforeMarker(const RepositoryServer& server)
{
    QStringList out;
    for (const RepositoryServer::Request& r : server.requests()) {
        if (r.value(QStringLiteral("id")) == QLatin1String("999"))
            break;
        out << r.action();
    }
    return out;
}

// Deletes what was released with deleteLater and says how many replies the manager still has.
int liveReplies(const Repository& repository)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return repository.networkManager()->findChildren<QNetworkReply*>().size();
}

} // namespace

class TestRepositoryReplies : public QObject
{
    Q_OBJECT
private slots:
    void faults_data();
    void faults();
    void notices_data();
    void notices();
    void logInReply_data();
    void logInReply();
    void versionCheck_data();
    void versionCheck();
    void missingBlockChain_data();
    void missingBlockChain();
    void newChainReplacesRunningOne_data();
    void newChainReplacesRunningOne();
    void replySizeLimit_data();
    void replySizeLimit();
    void repliesInFlightKeepTheirKind();
    void patchIndexOutsideList();
    void refreshUsesStoredCredentials_data();
    void refreshUsesStoredCredentials();
    void refreshWithoutCredentials();
    void https();
};

void TestRepositoryReplies::faults_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("action");
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<bool>("notFound");

    auto community = [](Repository& r, UserCredentials&) { r.getCommunityDatabase(); };
    QTest::newRow("404 on the community lists")
        << Fault::NotFound << "list_patches" << Operation(community)
        << "17 Could not find patches in database" << true;
    QTest::newRow("redirect, not followed")
        << Fault::Redirect << "list_patches" << Operation(community)
        << "17 Could not find patches in database" << false;
    QTest::newRow("empty community list")
        << Fault::EmptyBody << "list_patches" << Operation(community)
        << "17 Could not find patches in database" << false;
    QTest::newRow("user patch list not XML")
        << Fault::NotXml << "list_user_patches"
        << Operation([](Repository& r, UserCredentials& c) { r.getUserPatchList(&c); })
        << "2 Database Error!" << false;
    QTest::newRow("user block list of the wrong root")
        << Fault::WrongRoot << "list_user_blocks"
        << Operation([](Repository& r, UserCredentials& c) { r.getUserBlockList(&c); })
        << "4 Database Error!" << false;
    QTest::newRow("oversize patch")
        << Fault::Oversize << "get_patch"
        << Operation([](Repository& r, UserCredentials&) { r.getPatch(0); })
        << "5 Could not download patch from database" << false;
    QTest::newRow("oversize patch of no announced length")
        << Fault::OversizeNoLength << "get_patch"
        << Operation([](Repository& r, UserCredentials&) { r.getPatch(0); })
        << "5 Could not download patch from database" << false;
    QTest::newRow("slow block list")
        << Fault::SlowBody << "list_blocks"
        << Operation([](Repository& r, UserCredentials&) { r.getBlockList(); })
        << "3 Could not find block's in database" << false;
    QTest::newRow("block download with no answer")
        << Fault::NoAnswer << "get_block" << Operation([](Repository& r, UserCredentials&) {
               RepositoryBlock b;
               b.name = QStringLiteral("A");
               b.hash = QStringLiteral("aaaa");
               r.getBlock(b, true);
           })
        << "6 Could not download block from database" << false;
    QTest::newRow("patch upload reset")
        << Fault::Reset << "upload_patch" << Operation([](Repository& r, UserCredentials& c) {
               RepositoryPatch p;
               p.name = QStringLiteral("n");
               r.uploadPatch(p, &c, false);
           })
        << "9 Could not download patch from database" << false;
    QTest::newRow("block edit answered with no body")
        << Fault::EmptyBody << "update_block" << Operation([](Repository& r, UserCredentials& c) {
               r.editBlock(1, &c, QStringLiteral("t"), QStringLiteral("d"));
           })
        << "10 Could not download patch from database" << false;
    QTest::newRow("patch delete not XML")
        << Fault::NotXml << "delete_patch"
        << Operation([](Repository& r, UserCredentials& c) { r.deletePatch(1, &c); })
        << "11 Could not download patch from database" << false;
    QTest::newRow("block delete 404")
        << Fault::NotFound << "delete_block"
        << Operation([](Repository& r, UserCredentials& c) { r.deleteBlock(1, &c); })
        << "12 Could not download block from database" << true;
    QTest::newRow("patch comments reset")
        << Fault::Reset << "list_patch_comments"
        << Operation([](Repository& r, UserCredentials& c) { r.getPatchComments(1, &c); })
        << "13 Could not load comments from database" << false;
    QTest::newRow("block comments not XML")
        << Fault::NotXml << "list_block_comments"
        << Operation([](Repository& r, UserCredentials& c) { r.getBlockComments(1, &c); })
        << "14 Database Error!" << false;
    QTest::newRow("patch comment post 404") << Fault::NotFound << "upload_patch_comment"
                                            << Operation([](Repository& r, UserCredentials& c) {
                                                   r.postPatchComment(1, QStringLiteral("hi"), &c);
                                               })
                                            << "15 Could not post comment to database" << true;
    QTest::newRow("block comment post redirect")
        << Fault::Redirect << "upload_block_comment"
        << Operation([](Repository& r, UserCredentials& c) {
               r.postBlockComment(1, QStringLiteral("hi"), &c);
           })
        << "16 Could not post comment to database" << false;
    QTest::newRow("user lists slow")
        << Fault::SlowBody << "list_user_patches"
        << Operation([](Repository& r, UserCredentials& c) { r.getUserDatabase(&c); })
        << "18 Could not find patches in database" << false;
    QTest::newRow("version reset")
        << Fault::Reset << "version"
        << Operation([](Repository& r, UserCredentials&) { r.getVersion(); })
        << "19 Could not check for a newer version" << false;
    QTest::newRow("version not XML")
        << Fault::NotXml << "version"
        << Operation([](Repository& r, UserCredentials&) { r.getVersion(); })
        << "19 Could not check for a newer version" << false;
    QTest::newRow("log-in 404") << Fault::NotFound << "get_uid"
                                << Operation([](Repository& r, UserCredentials& c) { r.logIn(&c); })
                                << "0 " << true;
}

// Every fault gives its message and nothing else, and the client answers the next request.
void TestRepositoryReplies::faults()
{
    QFETCH(Fault, fault);
    QFETCH(QString, action);
    QFETCH(Operation, operation);
    QFETCH(QString, failure);
    QFETCH(bool, notFound);

    MessageCapture capture;
    Fixture f;
    f.repository.setTransferTimeout(400);
    f.repository.setMaxReplySize(64 * 1024);
    f.server.setOversizeBytes(1024 * 1024);
    f.server.setSlowBody(8, 150);
    // getPatch takes its id from the last list.
    f.repository.getUserPatchList(&f.ann);
    QTRY_COMPARE(f.log.lines, QStringList{"userPatches 1"});
    f.log.lines.clear();
    f.server.clearRequests();

    // The network layer sends a request again after a reset, so every attempt is reset.
    f.server.scriptFault(fault, action, fault == Fault::Reset ? 5 : 1);
    operation(f.repository, f.ann);
    QTRY_VERIFY(!f.log.lines.isEmpty());
    QCOMPARE(liveReplies(f.repository), 0);
    settle(f);

    QStringList expected{"failed " + failure};
    if (action == QLatin1String("get_uid"))
        expected << QStringLiteral("login ");
    QCOMPARE(f.log.lines, expected);
    const QString text = failure.section(QLatin1Char(' '), 1);
    if (!text.isEmpty())
        QVERIFY2(capture.contains(QtDebugMsg, text), qPrintable(text));
    QCOMPARE(capture.warnings(),
             notFound ? QStringList{QStringLiteral("Content Not Found!")} : QStringList());
    // The console never shows the query, which holds the password.
    for (const MessageCapture::Message& m : capture.messages())
        QVERIFY2(!m.text.contains(QLatin1String("pass")), qPrintable(m.text));
    // Nothing was followed or refreshed after the failure.
    const QStringList actions = actionsBeforeMarker(f.server);
    if (fault != Fault::Reset)
        QCOMPARE(actions.size(), 1);
    QCOMPARE(actions.filter(action).size(), actions.size());
    QCOMPARE(liveReplies(f.repository), 0);
}

void TestRepositoryReplies::notices_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("notice");
    // The request that follows, or empty.
    QTest::addColumn<QString>("refresh");

    auto patchEdit = [](Repository& r, UserCredentials& c) {
        r.editPatch(1, &c, QStringLiteral("n"), QStringLiteral("d"));
    };
    QTest::newRow("patch upload") << "upload_patch" << QByteArray("1")
                                  << Operation([](Repository& r, UserCredentials& c) {
                                         RepositoryPatch p;
                                         r.uploadPatch(p, &c, false);
                                     })
                                  << "Patch uploaded successfully"
                                  << "list_user_patches";
    QTest::newRow("patch edit") << "update_patch" << QByteArray("1") << Operation(patchEdit)
                                << "Patch uploaded successfully"
                                << "list_user_patches";
    QTest::newRow("block edit") << "update_block" << QByteArray("1")
                                << Operation([](Repository& r, UserCredentials& c) {
                                       r.editBlock(1, &c, QStringLiteral("t"), QStringLiteral("d"));
                                   })
                                << "Block uploaded successfully"
                                << "list_user_blocks";
    QTest::newRow("patch delete") << "delete_patch" << QByteArray("1")
                                  << Operation([](Repository& r, UserCredentials& c) {
                                         r.deletePatch(1, &c);
                                     })
                                  << "Patch deleted successfully"
                                  << "list_user_patches";
    QTest::newRow("block delete") << "delete_block" << QByteArray("1")
                                  << Operation([](Repository& r, UserCredentials& c) {
                                         r.deleteBlock(1, &c);
                                     })
                                  << "Block deleted successfully"
                                  << "list_user_blocks";
    QTest::newRow("11 is no success")
        << "update_patch" << QByteArray("11") << Operation(patchEdit) << QString() << QString();
    QTest::newRow("1 and a line feed is no success")
        << "update_patch" << QByteArray("1\n") << Operation(patchEdit) << QString() << QString();
    QTest::newRow("the refusal 0")
        << "update_patch" << QByteArray("0") << Operation(patchEdit) << QString() << QString();
    QTest::newRow("1 to a comment post") << "upload_patch_comment" << QByteArray("1")
                                         << Operation([](Repository& r, UserCredentials& c) {
                                                r.postPatchComment(1, QStringLiteral("x"), &c);
                                            })
                                         << QString() << "list_patch_comments";
    QTest::newRow("1 to a list") << "list_patches" << QByteArray("1")
                                 << Operation([](Repository& r, UserCredentials&) {
                                        r.getCommunityDatabase();
                                    })
                                 << QString() << QString();
}

void TestRepositoryReplies::notices()
{
    QFETCH(QString, action);
    QFETCH(QByteArray, body);
    QFETCH(Operation, operation);
    QFETCH(QString, notice);
    QFETCH(QString, refresh);

    MessageCapture capture;
    Fixture f;
    f.server.scriptBody(body, action);
    operation(f.repository, f.ann);
    QTRY_VERIFY(!f.log.lines.isEmpty());
    settle(f);
    QCOMPARE(capture.warnings(), notice.isEmpty() ? QStringList() : QStringList{notice});
    QCOMPARE(actionsBeforeMarker(f.server).value(1), refresh);
}

void TestRepositoryReplies::logInReply_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("reply");
    QTest::newRow("the user's id") << QByteArray("42") << "login 42";
    QTest::newRow("id with a line feed") << QByteArray("42\n") << "login 42";
    QTest::newRow("refused") << QByteArray() << "login ";
    QTest::newRow("a page instead of a number") << QByteArray("<html>") << "login ";
    QTest::newRow("negative") << QByteArray("-1") << "login ";
}

// A log-in counts only with status 200 and a number; otherwise the controller gets an empty
// reply, as for a refusal.
void TestRepositoryReplies::logInReply()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, reply);
    MessageCapture capture;
    Fixture f;
    f.server.scriptBody(body, QStringLiteral("get_uid"));
    f.repository.logIn(&f.ann);
    QTRY_VERIFY(f.log.lines.contains(reply));
}

void TestRepositoryReplies::versionCheck_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("sub");
    QTest::addColumn<int>("build");
    QTest::addColumn<bool>("box");
    QTest::newRow("same") << 1 << 0 << 0 << false;
    QTest::newRow("older") << 0 << 9 << 9 << false;
    QTest::newRow("newer build") << 1 << 0 << 1 << true;
    QTest::newRow("newer sub") << 1 << 1 << 0 << true;
    QTest::newRow("newer major") << 2 << 0 << 0 << true;
}

void TestRepositoryReplies::versionCheck()
{
    QFETCH(int, major);
    QFETCH(int, sub);
    QFETCH(int, build);
    QFETCH(bool, box);

    MessageCapture capture;
    Fixture f;
    f.server.setVersion(major, sub, build);
    ModalDriver driver;
    QString text;
    if (box) {
        driver.answer([&text](QWidget* w) {
            auto* b = qobject_cast<QMessageBox*>(w);
            text = b ? b->windowTitle() + "|" + b->text() : QString();
            w->close();
        });
    }
    f.repository.getVersion();
    settle(f);
    QCOMPARE(f.count(QStringLiteral("version")), 1);
    QCOMPARE(driver.unexpected(), QStringList());
    QCOMPARE(driver.pending(), 0);
    if (box) {
        const QString origin = f.server.endpoint().section(QLatin1Char('/'), 0, 2);
        QCOMPARE(text, QStringLiteral("Knotlattice|<p align='center'>New Knotlattice version is "
                                      "available : %1.%2.%3<br/><a href='%4/'>Download</a></p>")
                           .arg(major)
                           .arg(sub)
                           .arg(build)
                           .arg(origin));
    }
    QVERIFY(f.log.lines.isEmpty());
}

void TestRepositoryReplies::missingBlockChain_data()
{
    QTest::addColumn<QStringList>("wanted");
    // Scripted on the n-th get_block (1 based), 0 for none.
    QTest::addColumn<int>("failingDownload");
    QTest::addColumn<QStringList>("downloads");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("debug");

    QTest::newRow("downloads from the last match to the first")
        << QStringList{"C", "A"} << 0 << QStringList{"C", "A"} << QStringList{"file C", "file A"}
        << QStringList();
    QTest::newRow("one block") << QStringList{"B"} << 0 << QStringList{"B"} << QStringList{"file B"}
                               << QStringList();
    QTest::newRow("not all on the server")
        << QStringList{"A", "X"} << 0 << QStringList() << QStringList()
        << QStringList{"Blocks still missing", "\"A\"", "\"X\"",
                       "Could not find block's in database"};
    QTest::newRow("one name twice") << QStringList{"A", "A"} << 0 << QStringList() << QStringList()
                                    << QStringList{"Blocks still missing", "\"A\"", "\"A\"",
                                                   "Could not find block's in database"};
    QTest::newRow("nothing asked for") << QStringList() << 0 << QStringList() << QStringList()
                                       << QStringList{"Could not find block's in database"};
    QTest::newRow("a failed download ends the chain")
        << QStringList{"A", "B", "C"} << 2 << QStringList{"C", "B"} << QStringList()
        << QStringList{"Could not download block from database"};
}

void TestRepositoryReplies::missingBlockChain()
{
    QFETCH(QStringList, wanted);
    QFETCH(int, failingDownload);
    QFETCH(QStringList, downloads);
    QFETCH(QStringList, files);
    QFETCH(QStringList, debug);

    MessageCapture capture;
    Fixture f;
    if (failingDownload > 0) {
        for (int i = 1; i < failingDownload; ++i)
            f.server.scriptBody(QByteArray("file ") + "CBA"[i - 1], QStringLiteral("get_block"));
        f.server.scriptFault(Fault::NotFound, QStringLiteral("get_block"));
    }
    RepositoryBlocks list = missing(wanted);
    f.repository.getBlockList(list);
    if (files.isEmpty())
        QTRY_VERIFY(!f.log.lines.isEmpty());
    else
        QTRY_COMPARE(f.host.blockFileSets.size(), 1);
    settle(f);

    QCOMPARE(f.blockDownloads(), downloads);
    if (files.isEmpty()) {
        QVERIFY(f.host.blockFileSets.isEmpty());
        QCOMPARE(f.log.lines,
                 QStringList{QStringLiteral("failed %1 %2")
                                 .arg(failingDownload > 0 ? Repository::MissingBlockRequest
                                                          : Repository::MissingBlockListRequest)
                                 .arg(debug.last())});
        QCOMPARE(capture.texts(QtDebugMsg).mid(capture.texts(QtDebugMsg).size() - debug.size()),
                 debug);
    } else {
        QCOMPARE(joined(f.host.blockFileSets.first()), files);
        QVERIFY(f.log.lines.isEmpty());
    }
    // The hash sent is the server entry's, not the one the patch stored.
    for (const RepositoryServer::Request& r : f.server.requests()) {
        if (r.action() == QLatin1String("get_block"))
            QCOMPARE(r.value(QStringLiteral("hash")),
                     r.value(QStringLiteral("name")).toLower().repeated(4));
    }
    QCOMPARE(liveReplies(f.repository), 0);
}

void TestRepositoryReplies::newChainReplacesRunningOne_data()
{
    // Where the first chain (A and B missing) is held when the second starts.
    QTest::addColumn<QString>("heldAction");
    QTest::addColumn<QStringList>("second");
    QTest::addColumn<QStringList>("downloads");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("during its list")
        << "list_blocks" << QStringList{"C"} << QStringList{"C"} << QStringList{"file C"};
    // The second chain's first download is held too, so the first chain's block arrives
    // while the second one still counts down.
    QTest::newRow("during its downloads")
        << "get_block" << QStringList{"A", "C"} << QStringList{"B", "C", "A"}
        << QStringList{"file C", "file A"};
}

// A new chain replaces the running one; what the old chain's replies would have done (its
// list starting downloads, its block counting down the new chain) does not happen.
void TestRepositoryReplies::newChainReplacesRunningOne()
{
    QFETCH(QString, heldAction);
    QFETCH(QStringList, second);
    QFETCH(QStringList, downloads);
    QFETCH(QStringList, files);
    MessageCapture capture;
    Fixture f;
    const bool duringDownloads = heldAction == QLatin1String("get_block");
    f.server.scriptFault(Fault::Hold, heldAction, duringDownloads ? 2 : 1);
    RepositoryBlocks first = missing({"A", "B"});
    f.repository.getBlockList(first);
    QTRY_COMPARE(f.server.heldCount(), 1);

    RepositoryBlocks next = missing(second);
    f.repository.getBlockList(next);
    if (duringDownloads)
        QTRY_COMPARE(f.server.heldCount(), 2);
    else
        QTRY_COMPARE(f.host.blockFileSets.size(), 1);
    f.server.releaseHeld();
    QTRY_COMPARE(f.host.blockFileSets.size(), 1);
    settle(f);

    QCOMPARE(f.host.blockFileSets.size(), 1);
    QCOMPARE(joined(f.host.blockFileSets.first()), files);
    QCOMPARE(f.blockDownloads(), downloads);
    QVERIFY(f.log.lines.isEmpty());
    QCOMPARE(liveReplies(f.repository), 0);
}

void TestRepositoryReplies::replySizeLimit_data()
{
    QTest::addColumn<int>("extra");
    QTest::addColumn<bool>("announced");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("at the limit") << 0 << true << "patches 0";
    QTest::newRow("one byte over") << 1 << true << "failed 17 Could not find patches in database";
    QTest::newRow("at the limit, no length") << 0 << false << "patches 0";
    QTest::newRow("one byte over, no length")
        << 1 << false << "failed 17 Could not find patches in database";
}

void TestRepositoryReplies::replySizeLimit()
{
    QFETCH(int, extra);
    QFETCH(bool, announced);
    QFETCH(QString, outcome);
    MessageCapture capture;
    Fixture f;
    const int limit = 4096;
    f.repository.setMaxReplySize(limit);
    QByteArray body = "<patches>";
    body += QByteArray(limit + extra - body.size() - 11, ' ') + "</patches>\n";
    QCOMPARE(body.size(), limit + extra);
    f.server.scriptBody(body, QStringLiteral("list_patches"), announced);
    f.repository.getCommunityDatabase();
    QTRY_VERIFY(!f.log.lines.isEmpty());
    QCOMPARE(f.log.lines.first(), outcome);
}

// The patch list is held while a block list is asked for and answered; each reply is still
// read as the reply to its own request.
void TestRepositoryReplies::repliesInFlightKeepTheirKind()
{
    MessageCapture capture;
    Fixture f;
    f.server.scriptFault(Fault::Hold, QStringLiteral("list_patches"));
    f.repository.getCommunityDatabase();
    QTRY_COMPARE(f.server.heldCount(), 1);
    f.repository.getBlockList();
    QTRY_COMPARE(f.log.lines, QStringList{"blocks 3"});
    f.server.releaseHeld();
    QTRY_COMPARE(f.log.lines, (QStringList{"blocks 3", "patches 1", "blocks 3"}));
    QCOMPARE(capture.texts(QtDebugMsg).filter(QStringLiteral("Database Error!")), QStringList());
    QCOMPARE(liveReplies(f.repository), 0);
}

void TestRepositoryReplies::patchIndexOutsideList()
{
    MessageCapture capture;
    Fixture f;
    f.repository.getPatch(0);
    QVERIFY(capture.contains(QtDebugMsg, QStringLiteral("not in the patch list of 0")));
    f.repository.getCommunityDatabase();
    QTRY_COMPARE(f.log.lines.size(), 2);
    f.server.clearRequests();
    capture.clear();
    f.repository.getPatch(1);
    f.repository.getPatch(-1);
    QCOMPARE(capture.texts(QtDebugMsg).size(), 2);
    f.repository.getPatch(0);
    QTRY_COMPARE(f.host.patches, QList<QByteArray>{"patch bytes"});
    QCOMPARE(f.server.requests().size(), 1);
}

void TestRepositoryReplies::refreshUsesStoredCredentials_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("refresh");
    // Uploads and edits leave the stored credentials; deletes and comments store theirs.
    QTest::newRow("upload") << Operation([](Repository& r, UserCredentials& c) {
        RepositoryPatch p;
        r.uploadPatch(p, &c, false);
    }) << "list_user_patches&uid=5";
    QTest::newRow("edit") << Operation([](Repository& r, UserCredentials& c) {
        r.editBlock(1, &c, QStringLiteral("t"), QStringLiteral("d"));
    }) << "list_user_blocks&uid=5";
    QTest::newRow("delete") << Operation([](Repository& r, UserCredentials& c) {
        r.deletePatch(1, &c);
    }) << "list_user_patches&uid=1";
    QTest::newRow("comment") << Operation([](Repository& r, UserCredentials& c) {
        r.postBlockComment(2, QStringLiteral("x"), &c);
    }) << "list_block_comments&id=2";
}

void TestRepositoryReplies::refreshUsesStoredCredentials()
{
    QFETCH(Operation, operation);
    QFETCH(QString, refresh);
    MessageCapture capture;
    Fixture f;
    UserCredentials stored;
    stored.uid = 5;
    Repository repository(&f.host, &stored);
    repository.setBaseUrl(f.server.endpoint());
    operation(repository, f.ann);
    QTRY_VERIFY(f.server.requests().size() >= 2);
    QCOMPARE(f.server.requests().at(1).target, "/action.php?action=" + refresh.toUtf8());
}

void TestRepositoryReplies::refreshWithoutCredentials()
{
    MessageCapture capture;
    Fixture f;
    Repository repository(&f.host, nullptr);
    repository.setBaseUrl(f.server.endpoint());
    SignalLog log(&repository);
    RepositoryPatch p;
    p.name = QStringLiteral("n");
    repository.uploadPatch(p, &f.ann, false);
    QTRY_VERIFY(capture.contains(QtDebugMsg, QStringLiteral("no credentials are stored")));
    QCOMPARE(capture.warnings(), QStringList{"Patch uploaded successfully"});

    // Requests that need credentials and get none send nothing.
    capture.clear();
    repository.deleteBlock(1, nullptr);
    repository.getUserDatabase(nullptr);
    QCOMPARE(capture.texts(QtDebugMsg).size(), 2);
    settle(f);
    QCOMPARE(actionsBeforeMarker(f.server), QStringList{"upload_patch"});
}

// https goes through the toolkit's TLS; a certificate that cannot be verified is refused.
void TestRepositoryReplies::https()
{
    if (!QSslSocket::supportsSsl())
        QSKIP("no TLS library");
    QFile certFile(testsupport::sourcePath("tests/online/fixtures/test-server.crt"));
    QFile keyFile(testsupport::sourcePath("tests/online/fixtures/test-server.key"));
    QVERIFY(certFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
    const QSslCertificate certificate(&certFile, QSsl::Pem);
    const QSslKey key(&keyFile, QSsl::Rsa, QSsl::Pem);
    QVERIFY(!certificate.isNull() && !key.isNull());

    MessageCapture capture;
    Fixture f;
    RepositoryServer secure;
    secure.useTls(certificate, key);
    QVERIFY(secure.start());
    QVERIFY(secure.endpoint().startsWith(QLatin1String("https://127.0.0.1:")));
    f.repository.setBaseUrl(secure.endpoint());

    f.repository.getBlockList();
    QTRY_COMPARE(f.log.lines, QStringList{"failed 3 Could not find block's in database"});
    QVERIFY(capture.contains(QtDebugMsg, QStringLiteral("Repository certificate refused")));
    QCOMPARE(secure.requests().size(), 0);

    // Once the certificate is trusted the same request goes through.
    const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = saved;
    trusting.setCaCertificates({certificate});
    QSslConfiguration::setDefaultConfiguration(trusting);
    Repository trustingClient(&f.host, &f.ann);
    trustingClient.setBaseUrl(secure.endpoint());
    SignalLog log(&trustingClient);
    trustingClient.getBlockList();
    QTRY_COMPARE(log.lines, QStringList{"blocks 0"});
    QSslConfiguration::setDefaultConfiguration(saved);
}

KL_TEST_MAIN(TestRepositoryReplies)
#include "test_repositoryreplies.moc"
