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
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

using Operation = std::function<void(Repository&, UserCredentials&)>;
Q_DECLARE_METATYPE(Operation)
Q_DECLARE_METATYPE(RepositoryServer::Fault)

namespace {

using Fault = RepositoryServer::Fault;

// A block file of that name.
QByteArray blockXml(const QString& name)
{
    return "<block name=\"" + name.toUtf8() +
           "\">\n<category>Math</category>\n<data name=\"t_x\"></data>\n"
           "<function name=\"f_x\">return;</function>\n</block>\n";
}

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
            b.data = blockXml(QLatin1String(name));
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
    void statusCounts_data();
    void statusCounts();
    void unreachable_data();
    void unreachable();
    void repliesInFlightKeepTheirKind();
    void patchById();
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
    // "@" stands for the server's address.
    QTest::addColumn<QString>("failure");
    QTest::addColumn<bool>("notFound");

    // No answer, or one that broke off: the server could not be reached.
    const QString noReply =
        QStringLiteral("Cannot reach the repository at @: no reply within 400 ms");
    const QString closed = QStringLiteral("Cannot reach the repository at @: Connection closed");

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
        << Operation([](Repository& r, UserCredentials&) { r.getPatch(1); })
        << "5 Could not download patch from database" << false;
    QTest::newRow("oversize patch of no announced length")
        << Fault::OversizeNoLength << "get_patch"
        << Operation([](Repository& r, UserCredentials&) { r.getPatch(1); })
        << "5 Could not download patch from database" << false;
    QTest::newRow("slow block list")
        << Fault::SlowBody << "list_blocks"
        << Operation([](Repository& r, UserCredentials&) { r.getBlockList(); }) << "3 " + noReply
        << false;
    QTest::newRow("block download with no answer")
        << Fault::NoAnswer << "get_block" << Operation([](Repository& r, UserCredentials&) {
               RepositoryBlock b;
               b.name = QStringLiteral("A");
               b.hash = QStringLiteral("aaaa");
               r.getBlock(b, true);
           })
        << "6 " + noReply << false;
    QTest::newRow("patch upload reset")
        << Fault::Reset << "upload_patch" << Operation([](Repository& r, UserCredentials& c) {
               RepositoryPatch p;
               p.name = QStringLiteral("n");
               r.uploadPatch(p, &c, false);
           })
        << "9 " + closed << false;
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
        << "13 " + closed << false;
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
        << "18 " + noReply << false;
    QTest::newRow("version reset")
        << Fault::Reset << "version"
        << Operation([](Repository& r, UserCredentials&) { r.getVersion(); }) << "19 " + closed
        << false;
    QTest::newRow("version not XML")
        << Fault::NotXml << "version"
        << Operation([](Repository& r, UserCredentials&) { r.getVersion(); })
        << "19 Could not check for a newer version" << false;
    QTest::newRow("log-in 404") << Fault::NotFound << "get_uid"
                                << Operation([](Repository& r, UserCredentials& c) { r.logIn(&c); })
                                << "0 The repository at @ answered with HTTP status 404" << true;
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
    failure.replace('@', f.server.endpoint());
    f.repository.setTransferTimeout(400);
    f.repository.setMaxReplySize(64 * 1024);
    f.server.setOversizeBytes(1024 * 1024);
    f.server.setSlowBody(8, 150);
    // A list first: the failure does not touch it.
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
    // "1" by the rule of the log-in's user id: blanks or tabs around it and one line break at
    // the end are what a script that ends with a newline sends.
    for (const char* body : {"1\n", "1\r\n", " 1\t", "\t1 \n"}) {
        QTest::addRow("\"%s\" is a success", QByteArray(body).toPercentEncoding().constData())
            << "update_patch" << QByteArray(body) << Operation(patchEdit)
            << "Patch uploaded successfully"
            << "list_user_patches";
    }
    for (const char* body : {"1\n\n", "01", "1 1", "\n1", "1\r"}) {
        QTest::addRow("\"%s\" is no success", QByteArray(body).toPercentEncoding().constData())
            << "update_patch" << QByteArray(body) << Operation(patchEdit) << QString() << QString();
    }
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
    // What the server sends for the get_block requests in turn, from the first: "" the block
    // asked for, "404" a failure, "page" a web page, else the block file of that name. The
    // requests after these get the server's own answers.
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("downloads");
    // The block files handed to the editor, by name; "-" when none are handed at all.
    QTest::addColumn<QStringList>("files");
    // The last debug lines.
    QTest::addColumn<QStringList>("debug");
    // The failure reported, or empty.
    QTest::addColumn<QString>("failure");

    const QString listFailure = QStringLiteral("7 Could not find block's in database");
    QTest::newRow("downloads from the last match to the first")
        << QStringList{"C", "A"} << QStringList() << QStringList{"C", "A"} << QStringList{"C", "A"}
        << QStringList() << QString();
    QTest::newRow("one block") << QStringList{"B"} << QStringList() << QStringList{"B"}
                               << QStringList{"B"} << QStringList() << QString();
    QTest::newRow("not all on the server")
        << QStringList{"A", "X"} << QStringList() << QStringList() << QStringList{"-"}
        << QStringList{"Blocks still missing", "\"A\"", "\"X\"",
                       "Could not find block's in database"}
        << listFailure;
    QTest::newRow("one name twice")
        << QStringList{"A", "A"} << QStringList() << QStringList() << QStringList{"-"}
        << QStringList{"Blocks still missing", "\"A\"", "\"A\"",
                       "Could not find block's in database"}
        << listFailure;
    QTest::newRow("nothing asked for")
        << QStringList() << QStringList() << QStringList() << QStringList{"-"}
        << QStringList{"Could not find block's in database"} << listFailure;
    QTest::newRow("a failed download ends the chain")
        << QStringList{"A", "B", "C"} << QStringList{"", "404"} << QStringList{"C", "B"}
        << QStringList{"-"} << QStringList{"Could not download block from database"}
        << QStringLiteral("8 Could not download block from database");
    // A file that is not the block asked for is no block found: the others still come.
    QTest::newRow("a web page for one block")
        << QStringList{"C", "A"} << QStringList{"page"} << QStringList{"C", "A"} << QStringList{"A"}
        << QStringList{"Blocks still missing", "\"C\""} << QString();
    QTest::newRow("another block's file")
        << QStringList{"B"} << QStringList{"A"} << QStringList{"B"} << QStringList()
        << QStringList{"Blocks still missing", "\"B\""} << QString();
}

void TestRepositoryReplies::missingBlockChain()
{
    QFETCH(QStringList, wanted);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, downloads);
    QFETCH(QStringList, files);
    QFETCH(QStringList, debug);
    QFETCH(QString, failure);

    MessageCapture capture;
    Fixture f;
    for (int i = 0; i < answers.size(); ++i) {
        const QString& a = answers.at(i);
        if (a == QLatin1String("404"))
            f.server.scriptFault(Fault::NotFound, QStringLiteral("get_block"));
        else if (a == QLatin1String("page"))
            f.server.scriptBody("<html><body>Not here</body></html>", QStringLiteral("get_block"));
        else
            f.server.scriptBody(blockXml(a.isEmpty() ? downloads.at(i) : a),
                                QStringLiteral("get_block"));
    }
    RepositoryBlocks list = missing(wanted);
    f.repository.getBlockList(list);
    if (files == QStringList{"-"})
        QTRY_VERIFY(!f.log.lines.isEmpty());
    else
        QTRY_COMPARE(f.host.blockFileSets.size(), 1);
    settle(f);

    QCOMPARE(f.blockDownloads(), downloads);
    if (files == QStringList{"-"}) {
        QVERIFY(f.host.blockFileSets.isEmpty());
    } else {
        QStringList handed;
        for (const QByteArray& file : f.host.blockFileSets.first())
            handed << file;
        QStringList expected;
        for (const QString& name : files)
            expected << blockXml(name);
        QCOMPARE(handed, expected);
    }
    QCOMPARE(f.log.lines,
             failure.isEmpty() ? QStringList() : QStringList{QStringLiteral("failed ") + failure});
    const QStringList logged = capture.texts(QtDebugMsg);
    QCOMPARE(logged.mid(logged.size() - debug.size()), debug);
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
        << "list_blocks" << QStringList{"C"} << QStringList{"C"} << QStringList{"C"};
    // The second chain's first download is held too, so the first chain's block arrives
    // while the second one still counts down.
    QTest::newRow("during its downloads") << "get_block" << QStringList{"A", "C"}
                                          << QStringList{"B", "C", "A"} << QStringList{"C", "A"};
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
    QStringList expected;
    for (const QString& name : files)
        expected << blockXml(name);
    QCOMPARE(joined(f.host.blockFileSets.first()), expected);
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

void TestRepositoryReplies::statusCounts_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    // The first signal, and the notice shown, if any.
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("notice");
    // The request that follows, or empty.
    QTest::addColumn<QString>("refresh");

    const Operation lists = [](Repository& r, UserCredentials&) { r.getCommunityDatabase(); };
    const Operation edit = [](Repository& r, UserCredentials& c) {
        r.editPatch(1, &c, QStringLiteral("n"), QStringLiteral("d"));
    };
    const Operation logIn = [](Repository& r, UserCredentials& c) { r.logIn(&c); };
    const QString listFailed = QStringLiteral("failed 17 Could not find patches in database");
    const QString editFailed = QStringLiteral("failed 9 Could not download patch from database");
    const QByteArray list = "<patches><patch id=\"4\"/></patches>";
    QTest::newRow("list, 200") << lists << 200 << list << "patches 1" << QString() << "list_blocks";
    QTest::newRow("list, 201") << lists << 201 << list << "patches 1" << QString() << "list_blocks";
    QTest::newRow("list, 299") << lists << 299 << list << "patches 1" << QString() << "list_blocks";
    QTest::newRow("list, 204 and no body")
        << lists << 204 << QByteArray() << listFailed << QString() << QString();
    QTest::newRow("list, 302") << lists << 302 << list << listFailed << QString() << QString();
    QTest::newRow("list, 404") << lists << 404 << list << listFailed << "Content Not Found!"
                               << QString();
    QTest::newRow("list, 500") << lists << 500 << list << listFailed << QString() << QString();
    QTest::newRow("edit, 201") << edit << 201 << QByteArray("1\n") << QString()
                               << "Patch uploaded successfully"
                               << "list_user_patches";
    QTest::newRow("edit, 202") << edit << 202 << QByteArray("1") << QString()
                               << "Patch uploaded successfully"
                               << "list_user_patches";
    QTest::newRow("edit, 303") << edit << 303 << QByteArray("1") << editFailed << QString()
                               << QString();
    QTest::newRow("edit, 500") << edit << 500 << QByteArray("1") << editFailed << QString()
                               << QString();
    // A log-in counts only with status 200; another success is a failed status, no refusal.
    QTest::newRow("log-in, 200") << logIn << 200 << QByteArray("42") << "login 42" << QString()
                                 << QString();
    QTest::newRow("log-in, 201") << logIn << 201 << QByteArray("42")
                                 << "failed 0 The repository at @ answered with HTTP status 201"
                                 << QString() << QString();
}

// Every kind but the log-in takes any status of success; redirections are not followed and
// count as failures, as do client and server errors.
void TestRepositoryReplies::statusCounts()
{
    QFETCH(Operation, operation);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, outcome);
    QFETCH(QString, notice);
    QFETCH(QString, refresh);
    MessageCapture capture;
    StatusServer server;
    server.status = status;
    server.body = body;
    FakeHost host;
    UserCredentials ann;
    ann.name = QStringLiteral("ann");
    ann.password = QStringLiteral("pw");
    ann.uid = 1;
    Repository repository(&host, &ann);
    repository.setBaseUrl(server.endpoint());
    SignalLog log(&repository);
    operation(repository, ann);
    QTRY_VERIFY(!server.targets.isEmpty());
    if (outcome.isEmpty()) {
        QTRY_VERIFY(server.targets.size() >= 2);
    } else {
        QTRY_VERIFY(!log.lines.isEmpty());
        QCOMPARE(log.lines.first(), QString(outcome).replace(QLatin1Char('@'), server.endpoint()));
    }
    if (refresh.isEmpty())
        QTRY_COMPARE(liveReplies(repository), 0);
    else
        QTRY_VERIFY(server.targets.size() >= 2);
    QCOMPARE(server.targets.size() > 1 ? QString::fromLatin1(server.targets.at(1))
                                             .section(QLatin1Char('='), 1)
                                             .section(QLatin1Char('&'), 0, 0)
                                       : QString(),
             refresh);
    QCOMPARE(capture.warnings().mid(0, 1), notice.isEmpty() ? QStringList() : QStringList{notice});
}

void TestRepositoryReplies::unreachable_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<int>("kind");
    QTest::newRow("community lists")
        << Operation([](Repository& r, UserCredentials&) { r.getCommunityDatabase(); })
        << int(Repository::CommunityRequest);
    QTest::newRow("user lists") << Operation([](Repository& r, UserCredentials& c) {
        r.getUserDatabase(&c);
    }) << int(Repository::UserDatabaseRequest);
    QTest::newRow("block download") << Operation([](Repository& r, UserCredentials&) {
        RepositoryBlock b;
        b.name = QStringLiteral("A");
        r.getBlock(b, true);
    }) << int(Repository::SingleBlockRequest);
    QTest::newRow("patch delete") << Operation([](Repository& r, UserCredentials& c) {
        r.deletePatch(1, &c);
    }) << int(Repository::PatchDeleteRequest);
    QTest::newRow("comments") << Operation([](Repository& r, UserCredentials& c) {
        r.getPatchComments(1, &c);
    }) << int(Repository::PatchCommentsRequest);
    QTest::newRow("log-in") << Operation([](Repository& r, UserCredentials& c) { r.logIn(&c); })
                            << int(Repository::LogInRequest);
}

// No server at the address: the failure says so, with the address but not its query, which
// holds the password.
void TestRepositoryReplies::unreachable()
{
    QFETCH(Operation, operation);
    QFETCH(int, kind);
    MessageCapture capture;
    Fixture f;
    const QString address = QStringLiteral("http://127.0.0.1:1/action.php");
    f.repository.setBaseUrl(address);
    operation(f.repository, f.ann);
    QTRY_VERIFY(!f.log.lines.isEmpty());
    const QString expected =
        QStringLiteral("Cannot reach the repository at %1: Connection refused").arg(address);
    QCOMPARE(f.log.lines.first(), QStringLiteral("failed %1 %2").arg(kind).arg(expected));
    QVERIFY(capture.contains(QtDebugMsg, expected));
    for (const MessageCapture::Message& m : capture.messages())
        QVERIFY2(!m.text.contains(QLatin1String("pass")), qPrintable(m.text));
    QCOMPARE(liveReplies(f.repository), 0);
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

// A download asks for the id given, whichever list the client received last, or none.
void TestRepositoryReplies::patchById()
{
    MessageCapture capture;
    Fixture f;
    f.repository.getPatch(1);
    QTRY_COMPARE(f.host.patches, QList<QByteArray>{"patch bytes"});
    RepositoryServer::Patch other;
    other.uid = f.ann.uid;
    other.data = "other bytes";
    const int otherId = f.server.addPatch(other);
    f.repository.getCommunityDatabase();
    QTRY_COMPARE(f.log.lines, (QStringList{"patches 2", "blocks 3"}));
    f.repository.getUserPatchList(&f.ann);
    QTRY_COMPARE(f.log.lines.size(), 3);
    f.server.clearRequests();
    f.repository.getPatch(otherId);
    f.repository.getPatch(77);
    QTRY_COMPARE(f.host.patches, (QList<QByteArray>{"patch bytes", "other bytes"}));
    QTRY_COMPARE(f.log.lines.last(), QStringLiteral("failed 5 Could not download patch from "
                                                    "database"));
    QStringList ids;
    for (const RepositoryServer::Request& r : f.server.requests())
        ids << r.value(QStringLiteral("id"));
    QCOMPARE(ids, (QStringList{QString::number(otherId), "77"}));
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
    QTRY_COMPARE(f.log.lines, QStringList{"failed 3 Cannot reach the repository at " +
                                          secure.endpoint() + ": SSL handshake failed"});
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
