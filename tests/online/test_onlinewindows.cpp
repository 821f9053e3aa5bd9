// The community, user and comments windows against our own repository server in this process:
// browsing, sorting and picking entries, downloads of patches and blocks (where a block file
// may go and what is written), comments listed, posted and shown as text, and the user's
// uploads, edits and deletes with their refusals and questions.
#include "BlockDownload.h"
#include "BlockManager.h"
#include "CommentsWindow.h"
#include "CommunityBlocks.h"
#include "CommunityPatches.h"
#include "CommunityWindow.h"
#include "MessageCapture.h"
#include "ModalDriver.h"
#include "PatchFile.h"
#include "Preferences.h"
#include "RepositoryServer.h"
#include "RepositoryTestKit.h"
#include "TestMain.h"
#include "UserBlocks.h"
#include "UserCredentials.h"
#include "UserPatches.h"
#include "UserWindow.h"

#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextEdit>
#include <QUrl>
#include <memory>
#include <tuple>

namespace {

using Fault = RepositoryServer::Fault;

// 2023-11-14 in UTC, the tests' time zone.
const qint64 day = 1700000000;
const QString dayText = QStringLiteral("2023.11.14");

QByteArray blockFile(const QString& name, const QByteArray& lineEnd = "\n")
{
    QByteArray text = "<block name=\"" + name.toUtf8() + "\">" + lineEnd +
                      "<category>Math</category>" + lineEnd + "<data name=\"t_x\"></data>" +
                      lineEnd + "<function name=\"f_x\">return;</function>" + lineEnd + "</block>" +
                      lineEnd;
    return text;
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList column(const QTableWidget* table, int c)
{
    QStringList out;
    for (int r = 0; r < table->rowCount(); ++r)
        out << (table->item(r, c) ? table->item(r, c)->text() : QString());
    return out;
}

int rowOf(const QTableWidget* table, const QString& name, const QString& author = QString())
{
    for (int r = 0; r < table->rowCount(); ++r) {
        if (table->item(r, 0)->text() == name &&
            (author.isEmpty() || table->item(r, 1)->text() == author))
            return r;
    }
    return -1;
}

// The name in the selected row, or empty.
QString selectedText(const QTableWidget* table)
{
    const QList<QTableWidgetItem*> items = table->selectedItems();
    return items.isEmpty() ? QString() : table->item(items.first()->row(), 0)->text();
}

// A click on a row as a person makes it: the row is selected and the click reported.
void clickRow(QTableWidget* table, int row)
{
    table->setCurrentCell(row, 0);
    table->selectRow(row);
    emit table->itemClicked(table->item(row, 0));
}

// The warnings of our own: the offscreen platform plugin adds its own when a dialog shows.
QStringList ownWarnings(const MessageCapture& capture)
{
    QStringList out;
    for (const QString& w : capture.warnings()) {
        if (!w.startsWith(QLatin1String("This plugin does not support")))
            out << w;
    }
    return out;
}

// Deletes what was released with deleteLater and says how many replies the client still has.
int liveReplies(const Repository* repository)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return repository->networkManager()->findChildren<QNetworkReply*>().size();
}

QStringList actions(const RepositoryServer* server)
{
    QStringList out;
    for (const RepositoryServer::Request& r : server->requests())
        out << r.action();
    return out;
}

// Accepts a save dialog with whatever it proposes, noting its folder and file name.
std::function<void(QWidget*)> acceptProposal(QString* proposed)
{
    return [proposed](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        if (!dialog) {
            if (auto* d = qobject_cast<QDialog*>(w))
                d->reject();
            return;
        }
        const QStringList files = dialog->selectedFiles();
        *proposed = files.isEmpty() ? QString() : files.first();
        static_cast<QDialog*>(dialog)->accept();
    };
}

} // namespace

class TestOnlineWindows : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void communityBrowse();
    void communityDownloadPatch();
    void blockDownload_data();
    void blockDownload();
    void blockDownloadWrittenOnce();
    void blockDownloadMatchesName();
    void comments();
    void commentsRefused_data();
    void commentsRefused();
    void commentsFailure();
    void descriptionLinks();
    void loaderCentred();
    void listFailureReported_data();
    void listFailureReported();
    void userPatchUpload_data();
    void userPatchUpload();
    void userPatchClash();
    void userPatchEditAndDelete();
    void userBlockFile_data();
    void userBlockFile();
    void userBlockUpload();
    void userBlockEditAndDelete();
    void userBlockListsAwaited();
    void loggedOut_data();
    void loggedOut();

    void refusedUploadKeepsEntry_data();
    void refusedUploadKeepsEntry();
    void downloadAfterAnotherList_data();
    void downloadAfterAnotherList();
    void refillFindsShownEntry_data();
    void refillFindsShownEntry();
    void commentsReachTheirEntry_data();
    void commentsReachTheirEntry();
    void failedDownloadEndsOnlyItsOwn_data();
    void failedDownloadEndsOnlyItsOwn();
    void downloadOfAnotherBlock();
    void descriptionPlaceholder_data();
    void descriptionPlaceholder();

private:
    void logInAnn();
    void showCommunity();
    void showUser();
    QString chooseBlockFile(const QByteArray& bytes, const QString& fileName);

    std::unique_ptr<MessageCapture> capture;
    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<RepositoryServer> server;
    std::unique_ptr<FakeHost> host;
    std::unique_ptr<Repository> repository;
    std::unique_ptr<CommunityWindow> community;
    std::unique_ptr<UserWindow> user;
    std::unique_ptr<ModalDriver> driver;
    UserCredentials ann;
    int annDrone = 0;
    int bobDrone = 0;
    int bobBeat = 0;
    int annEcho = 0;
    int bobGain = 0;
    QString custom;
};

void TestOnlineWindows::init()
{
    capture = std::make_unique<MessageCapture>();
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
    // Deep enough that a name with ".." parts, followed, would still land in the temporary folder.
    custom = folder->filePath("h/u/custom");
    QVERIFY(QDir().mkpath(custom + "/sub"));
    Preferences().saveSetting(Preferences::CustomBlocksPath, custom);

    server = std::make_unique<RepositoryServer>();
    QVERIFY(server->start());
    server->setTime(day);
    ann.name = QStringLiteral("ann");
    ann.password = QStringLiteral("pw-ann");
    ann.uid = server->addUser(ann.name, ann.password);
    const int bob = server->addUser(QStringLiteral("bob"), QStringLiteral("pw-bob"));

    RepositoryServer::Patch p;
    p.uid = ann.uid;
    p.name = QStringLiteral("Drone");
    p.filename = QStringLiteral("Drone.ktl");
    p.description = QStringLiteral("<b>slow</b> & low\nsecond line");
    p.data = QByteArray("ann's drone bytes");
    p.date = day;
    annDrone = server->addPatch(p);
    p.uid = bob;
    p.description = QStringLiteral("Bob's drone");
    p.data = QByteArray("bob's drone bytes");
    bobDrone = server->addPatch(p);
    p.name = QStringLiteral("Beat");
    p.description = QStringLiteral("A beat");
    p.data = QByteArray("bob's beat bytes");
    bobBeat = server->addPatch(p);

    RepositoryServer::Block b;
    b.uid = ann.uid;
    b.name = QStringLiteral("Echo Gain");
    b.title = QStringLiteral("Echo");
    b.category = QStringLiteral("Effects");
    b.filename = QStringLiteral("echo.xml");
    b.description = QStringLiteral("An echo");
    b.data = blockFile(b.name);
    b.date = day;
    annEcho = server->addBlock(b);
    b = RepositoryServer::Block();
    b.uid = bob;
    b.name = QStringLiteral("Bob Gain");
    b.filename = QStringLiteral("bobgain.block");
    b.description = QStringLiteral("A gain");
    b.data = blockFile(b.name);
    b.date = day;
    bobGain = server->addBlock(b);

    host = std::make_unique<FakeHost>();
    repository = std::make_unique<Repository>(host.get(), nullptr);
    repository->setBaseUrl(server->endpoint());
    community = std::make_unique<CommunityWindow>(host.get(), repository.get(), &ann);
    user = std::make_unique<UserWindow>(host.get(), nullptr, repository.get(), &ann);
    driver = std::make_unique<ModalDriver>();
}

void TestOnlineWindows::cleanup()
{
    if (driver) {
        QVERIFY2(driver->unexpected().isEmpty(), qPrintable(driver->unexpected().join("; ")));
        QCOMPARE(driver->pending(), 0);
    }
    driver.reset();
    user.reset();
    community.reset();
    repository.reset();
    host.reset();
    server.reset();
    folder.reset();
    capture.reset();
    ann = UserCredentials();
}

void TestOnlineWindows::logInAnn()
{
    ann.loggedIn = true;
}

void TestOnlineWindows::showCommunity()
{
    community->show();
    community->getDatabase();
    QTRY_COMPARE(community->getCommunityPatchesTab()->tableWidget()->rowCount(),
                 server->patches().size());
    QTRY_COMPARE(community->getCommunityBlocksTab()->tableWidget()->rowCount(),
                 server->blocks().size());
    server->clearRequests();
}

void TestOnlineWindows::showUser()
{
    logInAnn();
    user->show();
    server->clearRequests();
    user->getDatabase();
    user->clearWindow();
    // The whole block list comes last.
    QTRY_COMPARE(actions(server.get()),
                 (QStringList{"list_user_patches", "list_user_blocks", "list_blocks"}));
    QTRY_COMPARE(liveReplies(repository.get()), 0);
    QVERIFY(user->getUserPatchesTab()->tableWidget()->rowCount() > 0);
    int annBlocks = 0;
    for (const RepositoryServer::Block& b : server->blocks())
        annBlocks += b.uid == ann.uid ? 1 : 0;
    QCOMPARE(user->getUserBlocksTab()->tableWidget()->rowCount(), annBlocks);
    QCOMPARE(user->getUserBlocksTab()->repositoryBlocks().size(), server->blocks().size());
    server->clearRequests();
}

// Both lists fill; after sorting by author a click still shows the entry of that row's
// texts; the header and description show server text as text; replies that another window
// asked for leave the tables alone.
void TestOnlineWindows::communityBrowse()
{
    showCommunity();
    CommunityPatches* patches = community->getCommunityPatchesTab();
    QTableWidget* table = patches->tableWidget();
    QCOMPARE(table->columnCount(), 3);
    QCOMPARE(column(table, 2), (QStringList{dayText, dayText, dayText}));

    table->sortItems(1, Qt::DescendingOrder);
    QCOMPARE(column(table, 1), (QStringList{"bob", "bob", "ann"}));
    clickRow(table, rowOf(table, "Drone", "bob"));
    QCOMPARE(patches->currentEntryId(), bobDrone);
    QCOMPARE(patches->selectedEntryIndex(), 1);
    clickRow(table, rowOf(table, "Drone", "ann"));
    QCOMPARE(patches->currentEntryId(), annDrone);
    QCOMPARE(patches->selectedEntryIndex(), 0);
    const QString shown = patches->descriptionPanel()->toPlainText();
    QVERIFY2(shown.contains(". Author : ann") && shown.contains(". Name : Drone"),
             qPrintable(shown));
    QVERIFY2(shown.contains("<b>slow</b> & low\nsecond line"), qPrintable(shown));

    // A block without category and title shows only its author and name.
    CommunityBlocks* blocks = community->getCommunityBlocksTab();
    blocks->tableWidget()->selectRow(rowOf(blocks->tableWidget(), "Bob Gain"));
    QCOMPARE(blocks->currentEntryId(), bobGain);
    QString header = blocks->descriptionPanel()->toPlainText();
    QVERIFY(!header.contains("Category") && !header.contains("Title"));
    blocks->tableWidget()->selectRow(rowOf(blocks->tableWidget(), "Echo Gain"));
    header = blocks->descriptionPanel()->toPlainText();
    QVERIFY2(header.contains(". Category : Effects") && header.contains(". Title : Echo"),
             qPrintable(header));

    // The user's lists and a whole block list that the user window asked for.
    RepositoryServer::Patch extra;
    extra.uid = ann.uid;
    extra.name = QStringLiteral("Extra");
    server->addPatch(extra);
    logInAnn();
    user->getDatabase();
    QTRY_COMPARE(user->getUserBlocksTab()->repositoryBlocks().size(), 2);
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(blocks->tableWidget()->rowCount(), 2);
}

// A download sends the id of the entry shown, whatever the order of the rows.
void TestOnlineWindows::communityDownloadPatch()
{
    showCommunity();
    CommunityPatches* patches = community->getCommunityPatchesTab();
    patches->downloadClicked();
    QCOMPARE(server->requests().size(), 0);

    QTableWidget* table = patches->tableWidget();
    table->sortItems(0, Qt::AscendingOrder);
    const int row = rowOf(table, "Beat");
    clickRow(table, row);
    emit table->itemDoubleClicked(table->item(row, 1));
    QTRY_COMPARE(host->patches.size(), 1);
    QCOMPARE(host->patches.first(), QByteArray("bob's beat bytes"));

    // Two entries of one name, author and date: the first in the reply is the one.
    RepositoryServer::Patch twin;
    twin.uid = ann.uid;
    twin.name = QStringLiteral("Drone");
    twin.data = QByteArray("twin");
    twin.date = day;
    server->addPatch(twin);
    community->getDatabase();
    QTRY_COMPARE(table->rowCount(), 4);
    for (int r = 0; r < table->rowCount(); ++r) {
        if (table->item(r, 0)->text() == "Drone" && table->item(r, 1)->text() == "ann") {
            clickRow(table, r);
            QCOMPARE(patches->currentEntryId(), annDrone);
        }
    }
}

void TestOnlineWindows::blockDownload_data()
{
    QTest::addColumn<QString>("serverName"); // "@" stands for the temporary folder
    QTest::addColumn<QString>("typed");      // empty: the proposal is accepted as it is
    QTest::addColumn<QString>("proposed");   // relative to the custom folder
    QTest::addColumn<QString>("written");    // relative to the temporary folder
    QTest::addColumn<bool>("joins");
    QTest::newRow("custom folder") << "echo.xml"
                                   << ""
                                   << "echo.xml"
                                   << "h/u/custom/echo.xml" << true;
    QTest::newRow("subfolder") << "echo.xml"
                               << "h/u/custom/sub/echo.xml"
                               << "echo.xml"
                               << "h/u/custom/sub/echo.xml" << false;
    QTest::newRow("elsewhere") << "echo.xml"
                               << "elsewhere.block"
                               << "echo.xml"
                               << "elsewhere.block" << false;
    QTest::newRow("parent folders") << "../../x"
                                    << ""
                                    << "x.xml"
                                    << "h/u/custom/x.xml" << true;
    QTest::newRow("absolute") << "@/x"
                              << ""
                              << "x.xml"
                              << "h/u/custom/x.xml" << true;
}

// Where a downloaded block goes, what joins the library, and that a server's file name never
// leads out of the folder chosen.
void TestOnlineWindows::blockDownload()
{
    QFETCH(QString, serverName);
    QFETCH(QString, typed);
    QFETCH(QString, proposed);
    QFETCH(QString, written);
    QFETCH(bool, joins);
    for (int i = 0; i < 2; ++i) {
        const bool userSide = i == 1;
        QDir(custom).removeRecursively();
        QVERIFY(QDir().mkpath(custom + "/sub"));
        host->saved.clear();
        // The server's entry carries the name given.
        RepositoryServer::Block b;
        b.uid = ann.uid;
        b.name = QStringLiteral("Named Gain %1").arg(i);
        b.filename = QString(serverName).replace(QLatin1Char('@'), folder->path());
        b.data = blockFile(b.name);
        server->addBlock(b);
        QTableWidget* table;
        if (userSide) {
            community->hide();
            logInAnn();
            user->show();
            user->getDatabase();
            table = user->getUserBlocksTab()->tableWidget();
        } else {
            community->show();
            community->getDatabase();
            table = community->getCommunityBlocksTab()->tableWidget();
        }
        QTRY_VERIFY(rowOf(table, b.name) >= 0);
        table->selectRow(rowOf(table, b.name));

        QString offered;
        if (typed.isEmpty())
            driver->answer(acceptProposal(&offered));
        else
            driver->acceptFileDialog(folder->filePath(typed));
        const QString path = folder->filePath(written);
        emit table->itemDoubleClicked(table->item(rowOf(table, b.name), 0));
        QTRY_COMPARE(readAll(path), b.data);
        if (typed.isEmpty())
            QCOMPARE(offered, custom + "/" + proposed);
        QCOMPARE(host->saved, joins ? QStringList{path} : QStringList());
        // Nothing was written anywhere else.
        QDirIterator files(folder->path(), QDir::Files | QDir::Hidden,
                           QDirIterator::Subdirectories);
        QStringList found;
        while (files.hasNext())
            found << files.next();
        QCOMPARE(found, QStringList{path});
        QFile::remove(path);
    }
}

// A reply is written once, only by the window that asked, and only when it is a block.
void TestOnlineWindows::blockDownloadWrittenOnce()
{
    showCommunity();
    QTableWidget* table = community->getCommunityBlocksTab()->tableWidget();
    table->selectRow(rowOf(table, "Echo Gain"));
    const QString path = custom + "/echo.xml";
    driver->acceptFileDialog(path);
    community->getCommunityBlocksTab()->downloadClicked();
    QTRY_COMPARE(readAll(path), blockFile("Echo Gain"));
    QVERIFY(!community->getCommunityBlocksTab()->pendingDownload().isPending());

    // A later reply of the same block (asked for by nobody here) leaves the file alone.
    QVERIFY(writeAll(path, "kept"));
    QByteArray again = blockFile("Echo Gain");
    Repository::Answer later;
    later.kind = Repository::SingleBlockRequest;
    later.request = 9999;
    emit repository->replyBlock(again, later);
    QCOMPARE(readAll(path), QByteArray("kept"));

    // The user window's download is written by the user window only.
    community->hide();
    showUser();
    QTableWidget* userTable = user->getUserBlocksTab()->tableWidget();
    userTable->selectRow(0);
    const QString userPath = folder->filePath("mine.xml");
    driver->acceptFileDialog(userPath);
    user->getUserBlocksTab()->downloadClicked();
    QTRY_COMPARE(readAll(userPath), blockFile("Echo Gain"));
    QCOMPARE(readAll(path), QByteArray("kept"));

    // A reply that is no block: told, nothing written, the download no longer awaited.
    capture->clear();
    server->scriptBody("<html>gotcha</html>", QStringLiteral("get_block"));
    const QString badPath = folder->filePath("bad.xml");
    driver->acceptFileDialog(badPath);
    user->getUserBlocksTab()->downloadClicked();
    QTRY_VERIFY(!user->getUserBlocksTab()->pendingDownload().isPending());
    QVERIFY(!QFile::exists(badPath));
    QCOMPARE(ownWarnings(*capture), QStringList{"The downloaded file is not a valid block; " +
                                                badPath + " was not written."});

    // A cancelled dialog asks the server for nothing.
    server->clearRequests();
    driver->rejectDialog();
    user->getUserBlocksTab()->downloadClicked();
    QCOMPARE(driver->pending(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(server->requests().size(), 0);
}

// A second download asked for before the first came: the first's reply is not written to the
// file chosen for the second, and its failure does not end the second.
void TestOnlineWindows::blockDownloadMatchesName()
{
    BlockDownload download;
    RepositoryBlock first;
    first.name = QStringLiteral("First");
    RepositoryBlock second;
    second.name = QStringLiteral("Second");
    const QString path = custom + "/second.xml";
    download.expect(first, custom + "/first.xml");
    download.setRequest(1);
    download.expect(second, path);
    download.setRequest(2);
    QVERIFY(download.intoCustomFolder());
    capture->clear();
    download.arrived(blockFile("First"), 1, host.get());
    download.failed(1);
    QVERIFY(!QFile::exists(path) && !QFile::exists(custom + "/first.xml"));
    QVERIFY(download.isPending());
    // An earlier download's answer is no concern of the user's.
    QCOMPARE(ownWarnings(*capture), QStringList());
    download.arrived(blockFile("Second"), 2, host.get());
    QCOMPARE(readAll(path), blockFile("Second"));
    QCOMPARE(host->saved, QStringList{path});
    QVERIFY(!download.isPending());
    // A custom folder written with a trailing separator is the same folder.
    Preferences().saveSetting(Preferences::CustomBlocksPath, custom + "/");
    download.expect(second, path);
    QVERIFY(download.intoCustomFolder());
    download.expect(second, custom + "/sub/x.xml");
    QVERIFY(!download.intoCustomFolder());
}

// Shown for the entry picked, refreshed on another pick, posted and listed again; markup in
// a comment is shown as text.
void TestOnlineWindows::comments()
{
    RepositoryServer::Comment c;
    c.target = bobBeat;
    c.uid = ann.uid;
    c.content = QStringLiteral("<script>alert(1)</script><a href='file:///etc/passwd'>x</a>");
    c.date = day;
    server->addComment(c);
    showCommunity();
    logInAnn();
    CommunityPatches* patches = community->getCommunityPatchesTab();
    CommentsWindow* panel = patches->commentsPanel();

    // No entry yet: the panel opens empty and nothing is asked.
    patches->commentsClicked();
    QVERIFY(panel->isVisibleTo(patches));
    QVERIFY(patches->descriptionPanel()->isHidden());
    QCOMPARE(patches->commentsButton()->text(), QStringLiteral("show info"));
    QCOMPARE(server->requests().size(), 0);
    QVERIFY(!patches->waitsForComments());

    QTableWidget* table = patches->tableWidget();
    clickRow(table, rowOf(table, "Drone", "ann"));
    QTRY_COMPARE(panel->commentsView()->toPlainText(), QStringLiteral("No Comments"));
    QCOMPARE(actions(server.get()), QStringList{"list_patch_comments"});
    QCOMPARE(server->requests().first().value("id"), QString::number(annDrone));

    clickRow(table, rowOf(table, "Beat"));
    QTRY_VERIFY(panel->commentsView()->toPlainText().contains("alert(1)"));
    const QString text = panel->commentsView()->toPlainText();
    QVERIFY2(text.contains("<script>alert(1)</script><a href='file:///etc/passwd'>x</a>"),
             qPrintable(text));
    QVERIFY(!panel->commentsView()->toHtml().contains("href=\"file"));
    QVERIFY(!panel->isLoaderShown());

    // Posting: the server gets it, and the list comes again with it.
    server->clearRequests();
    panel->commentEditor()->setPlainText(QStringLiteral("Nice beat\nreally"));
    panel->postButton()->click();
    QTRY_VERIFY(panel->commentsView()->toPlainText().contains("Nice beat\nreally"));
    QCOMPARE(actions(server.get()), (QStringList{"upload_patch_comment", "list_patch_comments"}));
    QCOMPARE(server->comments().last().target, bobBeat);
    QVERIFY(!server->comments().last().onBlock);

    // Back to the description; the list reloads on the next showing.
    patches->commentsClicked();
    QVERIFY(panel->isHidden());
    QVERIFY(!patches->descriptionPanel()->isHidden());
    QCOMPARE(patches->commentsButton()->text(), QStringLiteral("show comments"));

    // The blocks tab asks for block comments.
    server->clearRequests();
    CommunityBlocks* blocks = community->getCommunityBlocksTab();
    blocks->tableWidget()->selectRow(rowOf(blocks->tableWidget(), "Echo Gain"));
    blocks->commentsClicked();
    QTRY_COMPARE(blocks->commentsPanel()->commentsView()->toPlainText(),
                 QStringLiteral("No Comments"));
    QCOMPARE(actions(server.get()), QStringList{"list_block_comments"});
    QCOMPARE(server->requests().first().value("id"), QString::number(annEcho));
}

void TestOnlineWindows::commentsRefused_data()
{
    QTest::addColumn<bool>("loggedIn");
    QTest::addColumn<bool>("picked");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("warning");
    QTest::newRow("logged out, empty") << false << true << ""
                                       << "Please Log In in order to post comments.";
    QTest::newRow("logged out") << false << true << "hi"
                                << "Please Log In in order to post comments.";
    QTest::newRow("empty") << true << true << ""
                           << "You can't post empty comment.";
    QTest::newRow("nothing picked") << true << false << "hi"
                                    << "Please choose a patch to comment on.";
    QTest::newRow("blanks go") << true << true << "   "
                               << "";
}

void TestOnlineWindows::commentsRefused()
{
    QFETCH(bool, loggedIn);
    QFETCH(bool, picked);
    QFETCH(QString, text);
    QFETCH(QString, warning);
    showCommunity();
    ann.loggedIn = loggedIn;
    CommunityPatches* patches = community->getCommunityPatchesTab();
    if (picked)
        clickRow(patches->tableWidget(), 0);
    patches->commentsClicked();
    if (picked)
        QTRY_COMPARE(patches->commentsPanel()->commentsView()->toPlainText(),
                     QStringLiteral("No Comments"));
    server->clearRequests();
    capture->clear();
    patches->commentsPanel()->commentEditor()->setPlainText(text);
    patches->commentsPanel()->postButton()->click();
    if (warning.isEmpty()) {
        QTRY_COMPARE(server->comments().size(), 1);
        QCOMPARE(server->comments().first().content, text);
        QCOMPARE(ownWarnings(*capture), QStringList());
    } else {
        QCOMPARE(ownWarnings(*capture), QStringList{warning});
        QCoreApplication::processEvents();
        QCOMPARE(server->requests().size(), 0);
        // What was typed stays.
        QCOMPARE(patches->commentsPanel()->commentEditor()->toPlainText(), text);
    }
}

// A failed list or post stops the loader, says why, and the panel works afterwards.
void TestOnlineWindows::commentsFailure()
{
    showCommunity();
    logInAnn();
    CommunityPatches* patches = community->getCommunityPatchesTab();
    CommentsWindow* panel = patches->commentsPanel();
    clickRow(patches->tableWidget(), 0);
    server->scriptFault(Fault::NotFound, QStringLiteral("list_patch_comments"));
    patches->commentsClicked();
    QVERIFY(panel->isLoaderShown());
    QTRY_VERIFY(!patches->waitsForComments());
    QVERIFY(!panel->isLoaderShown());
    QCOMPARE(panel->commentsView()->toPlainText(),
             QStringLiteral("Could not load comments from database"));

    server->scriptFault(Fault::NotFound, QStringLiteral("upload_patch_comment"));
    panel->commentEditor()->setPlainText(QStringLiteral("lost?"));
    panel->postButton()->click();
    QTRY_VERIFY(!patches->waitsForComments());
    QCOMPARE(panel->commentEditor()->toPlainText(), QStringLiteral("lost?"));
    QTRY_COMPARE(community->statusBar()->currentMessage(),
                 QStringLiteral("Could not post comment to database"));

    panel->postButton()->click();
    QTRY_VERIFY(panel->commentsView()->toPlainText().contains("lost?"));
}

class LinkRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl& url) { opened << url; }
};

// Only web pages open from a description.
void TestOnlineWindows::descriptionLinks()
{
    LinkRecorder recorder;
    for (const char* scheme : {"http", "https", "file", "javascript"})
        QDesktopServices::setUrlHandler(scheme, &recorder, "open");
    QTextBrowser* panel = community->getCommunityPatchesTab()->descriptionPanel();
    for (const char* link : {"file:///etc/passwd", "javascript:alert(1)", "https://example.org/",
                             "http://example.org/a"})
        emit panel->anchorClicked(QUrl(link));
    for (const char* scheme : {"http", "https", "file", "javascript"})
        QDesktopServices::unsetUrlHandler(scheme);
    QCOMPARE(recorder.opened,
             (QList<QUrl>{QUrl("https://example.org/"), QUrl("http://example.org/a")}));
    QVERIFY(panel->source().isEmpty());
}

void TestOnlineWindows::loaderCentred()
{
    CommentsWindow panel(nullptr, &ann);
    panel.resize(600, 500);
    panel.show();
    for (const QSize size : {QSize(400, 300), QSize(301, 151)}) {
        panel.commentsView()->resize(size);
        panel.showLoader();
        QVERIFY(panel.isLoaderShown());
        auto* loader = panel.commentsView()->findChild<QLabel*>(QStringLiteral("loader"));
        QVERIFY(loader);
        QCOMPARE(loader->geometry(), QRect(size.width() / 2 - 16, size.height() / 2 - 16, 32, 32));
    }
    panel.refresh();
    QVERIFY(!panel.isLoaderShown());
    QCOMPARE(panel.commentsView()->toPlainText(), QStringLiteral("No Comments"));
}

void TestOnlineWindows::listFailureReported_data()
{
    QTest::addColumn<bool>("serverGone");
    QTest::addColumn<QString>("message"); // "@" stands for the address
    QTest::newRow("the list is not found") << false << "Could not find patches in database";
    QTest::newRow("no server at the address")
        << true << "Cannot reach the repository at @: Connection refused";
}

// A list that fails is reported in the open window, whose tables stay as they were.
void TestOnlineWindows::listFailureReported()
{
    QFETCH(bool, serverGone);
    QFETCH(QString, message);
    showCommunity();
    const QString address = QStringLiteral("http://127.0.0.1:1/action.php");
    if (serverGone)
        repository->setBaseUrl(address);
    else
        server->scriptFault(Fault::NotFound, QStringLiteral("list_patches"));
    community->getDatabase();
    QTRY_COMPARE(community->statusBar()->currentMessage(), message.replace('@', address));
    QCOMPARE(community->getCommunityPatchesTab()->tableWidget()->rowCount(), 3);
    // The window still works.
    repository->setBaseUrl(server->endpoint());
    community->getDatabase();
    QTRY_COMPARE(server->requests().size(), serverGone ? 2 : 3);
    QVERIFY(community->statusBar()->currentMessage().isEmpty());
}

void TestOnlineWindows::userPatchUpload_data()
{
    QTest::addColumn<bool>("empty");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("warning");
    QTest::newRow("all missing") << true << ""
                                 << ""
                                 << "Cannot upload empty patch.";
    QTest::newRow("no name") << false << ""
                             << "text"
                             << "Please specify name for your patch.";
    QTest::newRow("no description") << false << "Pad"
                                    << ""
                                    << "Cannot upload patch without its description.";
    QTest::newRow("new name") << false << "Pad"
                              << "Soft pad"
                              << "";
    QTest::newRow("other user's name") << false << "Beat"
                                       << "Mine"
                                       << "";
}

// Refusals, and the upload itself: the record with its custom blocks, as a patch file.
void TestOnlineWindows::userPatchUpload()
{
    QFETCH(bool, empty);
    QFETCH(QString, name);
    QFETCH(QString, description);
    QFETCH(QString, warning);
    showUser();
    UserPatches* tab = user->getUserPatchesTab();
    const QByteArray record("the record");
    QHash<QString, BlockDescription> blocks;
    BlockDescription carried;
    carried.name = QStringLiteral("Echo Gain");
    carried.rawData = blockFile(carried.name);
    blocks.insert(carried.name, carried);
    host->empty = empty;
    host->uploader = [&] { tab->uploadPatch(util::patchFileBytes(record, blocks, true), blocks); };

    tab->nameField()->setText(name);
    tab->descriptionField()->setPlainText(description);
    capture->clear();
    tab->button("upload")->click();
    if (!warning.isEmpty()) {
        QCOMPARE(ownWarnings(*capture), QStringList{warning});
        QCoreApplication::processEvents();
        QCOMPARE(server->requests().size(), 0);
        return;
    }
    QCOMPARE(host->uploadNames, QStringList{name});
    QTRY_COMPARE(server->patches().size(), 4);
    const RepositoryServer::Patch stored = server->patches().last();
    QCOMPARE(stored.uid, ann.uid);
    QCOMPARE(stored.name, name);
    QCOMPARE(stored.filename, name + ".ktl");
    QCOMPARE(stored.description, description);
    QCOMPARE(stored.data, util::patchFileBytes(record, blocks, true));
    QCOMPARE(util::unpackPatch(stored.data).size(), 2);
    QCOMPARE(server->requests().first().action(), QStringLiteral("upload_patch"));
    // The list comes again and the new patch is selected.
    QTRY_COMPARE(tab->tableWidget()->rowCount(), 2);
    QTRY_COMPARE(tab->currentEntryId(), stored.id);
    QCOMPARE(tab->tableWidget()->selectedItems().first()->text(), name);
    QTRY_COMPARE(ownWarnings(*capture), QStringList{"Patch uploaded successfully"});

    // Without custom blocks the record goes alone.
    blocks.clear();
    tab->descriptionField()->setPlainText(QStringLiteral("again"));
    driver->answerBox(QMessageBox::Ok);
    tab->button("upload")->click();
    QTRY_COMPARE(server->patches().last().data, record);
}

// The same name as one of the user's own patches asks first; Cancel sends nothing and leaves
// the patch picked before the one that edits act on.
void TestOnlineWindows::userPatchClash()
{
    RepositoryServer::Patch other;
    other.uid = ann.uid;
    other.name = QStringLiteral("Other");
    other.description = QStringLiteral("another");
    const int otherId = server->addPatch(other);
    showUser();
    UserPatches* tab = user->getUserPatchesTab();
    QTRY_COMPARE(tab->tableWidget()->rowCount(), 2);
    tab->tableWidget()->selectRow(rowOf(tab->tableWidget(), "Other"));
    QCOMPARE(tab->currentEntryId(), otherId);
    host->empty = false;
    const QByteArray record("record");
    host->uploader = [&] { tab->uploadPatch(record, {}); };

    tab->nameField()->setText(QStringLiteral("Drone"));
    driver->answerBox(QMessageBox::Cancel);
    tab->button("upload")->click();
    QCOMPARE(driver->seen().size(), 1);
    QVERIFY2(driver->seen().first().contains("Patch with name \"Drone\" exists."),
             qPrintable(driver->seen().first()));
    QCOMPARE(host->uploadNames, QStringList());
    QCOMPARE(tab->currentEntryId(), otherId);
    QCoreApplication::processEvents();
    QCOMPARE(server->requests().size(), 0);

    driver->answerBox(QMessageBox::Ok);
    tab->button("upload")->click();
    QTRY_VERIFY(!server->requests().isEmpty());
    const RepositoryServer::Request sent = server->requests().first();
    QCOMPARE(sent.action(), QStringLiteral("update_patch"));
    QCOMPARE(sent.value("id"), QString::number(annDrone));
    QTRY_COMPARE(server->patches().first().data, record);
}

void TestOnlineWindows::userPatchEditAndDelete()
{
    showUser();
    UserPatches* tab = user->getUserPatchesTab();
    QVERIFY(!tab->button("edit")->isEnabled());
    tab->tableWidget()->selectRow(0);
    QCOMPARE(tab->nameField()->text(), QStringLiteral("Drone"));
    // Shown as the text it is.
    QCOMPARE(tab->descriptionField()->toPlainText(),
             QStringLiteral("<b>slow</b> & low\nsecond line"));
    for (const char* b : {"edit", "delete", "download", "show comments"})
        QVERIFY(tab->button(b)->isEnabled());

    tab->nameField()->setText(QStringLiteral("Drone 2"));
    tab->descriptionField()->setPlainText(QStringLiteral("Lower"));
    tab->button("edit")->click();
    QTRY_COMPARE(server->patches().first().name, QStringLiteral("Drone 2"));
    QCOMPARE(server->patches().first().description, QStringLiteral("Lower"));
    QCOMPARE(server->requests().first().action(), QStringLiteral("update_patch"));
    QTRY_COMPARE(column(tab->tableWidget(), 0), QStringList{"Drone 2"});
    QTRY_COMPARE(tab->currentEntryId(), annDrone);

    server->clearRequests();
    driver->answerBox(QMessageBox::Cancel);
    tab->button("delete")->click();
    QCoreApplication::processEvents();
    QCOMPARE(server->requests().size(), 0);
    driver->answerBox(QMessageBox::Ok);
    tab->button("delete")->click();
    QVERIFY(driver->seen().last().startsWith("Delete Patch|Are you sure"));
    QTRY_COMPARE(server->patches().size(), 2);
    QTRY_COMPARE(tab->tableWidget()->rowCount(), 0);
    QCOMPARE(tab->nameField()->text(), QString());
    QCOMPARE(tab->descriptionField()->toPlainText(), QString());
    QVERIFY(!tab->button("delete")->isEnabled());
}

void TestOnlineWindows::userBlockFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("uploadName");
    QTest::newRow("block") << blockFile("My Gain") << "gain.xml"
                           << "My Gain"
                           << "gain.xml";
    QTest::newRow("CRLF") << blockFile("My Gain", "\r\n") << "gain.xml"
                          << "My Gain"
                          << "gain.xml";
    QTest::newRow("two dots") << blockFile("Live") << "drums.live.block"
                              << "Live"
                              << "drums.block";
    QTest::newRow("capital B") << blockFile("X").replace("block", "Block") << "x.xml"
                               << ""
                               << "";
    QTest::newRow("no name") << QByteArray("<block><category>Math</category></block>") << "x.xml"
                             << ""
                             << "";
    QTest::newRow("not XML") << QByteArray("<block name=\"X\"><data>") << "x.xml"
                             << ""
                             << "";
}

// The file chosen for an upload: its name, upload file name and hash, or the refusal.
void TestOnlineWindows::userBlockFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, fileName);
    QFETCH(QString, name);
    QFETCH(QString, uploadName);
    showUser();
    UserBlocks* tab = user->getUserBlocksTab();
    capture->clear();
    chooseBlockFile(bytes, fileName);
    if (name.isEmpty()) {
        QVERIFY2(ownWarnings(*capture) == QStringList{"File is not a block file."},
                 qPrintable(ownWarnings(*capture).join("; ")));
        QVERIFY(!tab->isFileChosen());
        QCOMPARE(tab->nameField()->text(), QString());
        return;
    }
    QVERIFY(tab->isFileChosen());
    QCOMPARE(tab->nameField()->text(), name);
    QCOMPARE(tab->uploadRecord().filename, uploadName);
    QCOMPARE(tab->uploadRecord().data, bytes);
    QCOMPARE(tab->uploadRecord().hash, BlockManager::blockHash(blockFile(name)));
}

QString TestOnlineWindows::chooseBlockFile(const QByteArray& bytes, const QString& fileName)
{
    const QString path = folder->filePath(fileName);
    if (!writeAll(path, bytes))
        return QString();
    driver->acceptFileDialog(path);
    user->getUserBlocksTab()->button("file")->click();
    return path;
}

// Refusals, other users' names, and the question for one's own.
void TestOnlineWindows::userBlockUpload()
{
    showUser();
    UserBlocks* tab = user->getUserBlocksTab();
    tab->tableWidget()->selectRow(0);
    QCOMPARE(tab->currentEntryId(), annEcho);
    struct Attempt
    {
        QByteArray file;
        QString fileName;
        QString title;
        QString description;
        QString warning;
    };
    const QString taken =
        "Block with current name or filename exists in our database. Please choose a "
        "different name.\nHint : You could prefix your block name with your initials "
        "(jx.blockname / jx.blocksname.block)";
    const QList<Attempt> refused{
        {QByteArray(), QString(), "T", "D", "Please open a block file."},
        {blockFile("New Gain"), "new.xml", "", "D", "Please specify title for your block."},
        {blockFile("New Gain"), "new.xml", "T", "", "Cannot upload block without its description."},
        {blockFile("Bob Gain"), "mine.xml", "T", "D", taken},
        {blockFile("Fresh"), "bobgain.block", "T", "D", taken},
    };
    for (const Attempt& a : refused) {
        if (!a.file.isEmpty())
            chooseBlockFile(a.file, a.fileName);
        tab->titleField()->setText(a.title);
        tab->descriptionField()->setPlainText(a.description);
        capture->clear();
        tab->button("upload")->click();
        QCOMPARE(ownWarnings(*capture), QStringList{a.warning});
    }
    QCoreApplication::processEvents();
    QCOMPARE(server->requests().size(), 0);
    QCOMPARE(tab->currentEntryId(), annEcho);

    // One's own name: Cancel leaves everything; OK replaces the block.
    const QByteArray changed = blockFile("Echo Gain", "\r\n");
    chooseBlockFile(changed, "echo.xml");
    tab->titleField()->setText(QStringLiteral("Echo 2"));
    tab->descriptionField()->setPlainText(QStringLiteral("Better echo"));
    driver->answerBox(QMessageBox::Cancel);
    tab->button("upload")->click();
    QVERIFY(driver->seen().last().contains("Block with name \"Echo Gain\" exists."));
    QCoreApplication::processEvents();
    QCOMPARE(server->requests().size(), 0);
    driver->answerBox(QMessageBox::Ok);
    tab->button("upload")->click();
    QTRY_COMPARE(server->blocks().first().title, QStringLiteral("Echo 2"));
    const RepositoryServer::Block stored = server->blocks().first();
    QCOMPARE(stored.id, annEcho);
    QCOMPARE(stored.data, changed);
    QCOMPARE(stored.hash, BlockManager::blockHash(blockFile("Echo Gain")));
    QCOMPARE(server->requests().first().action(), QStringLiteral("update_block"));
    QVERIFY(!tab->isFileChosen());

    // A new block of one's own.
    chooseBlockFile(blockFile("Fresh Gain"), "fresh.xml");
    tab->titleField()->setText(QStringLiteral("Fresh"));
    tab->descriptionField()->setPlainText(QStringLiteral("New"));
    tab->button("upload")->click();
    QTRY_COMPARE(server->blocks().size(), 3);
    QTRY_COMPARE(tab->tableWidget()->rowCount(), 2);
    QTRY_COMPARE(tab->nameField()->text(), QStringLiteral("Fresh Gain"));
    QCOMPARE(tab->currentEntryId(), server->blocks().last().id);
}

void TestOnlineWindows::userBlockEditAndDelete()
{
    showUser();
    UserBlocks* tab = user->getUserBlocksTab();
    tab->tableWidget()->selectRow(0);
    QVERIFY(tab->nameField()->isReadOnly());
    QCOMPARE(tab->titleField()->text(), QStringLiteral("Echo"));
    tab->titleField()->setText(QStringLiteral("Echo, edited"));
    tab->descriptionField()->setPlainText(QStringLiteral("<i>edited</i>"));
    tab->button("edit")->click();
    QTRY_COMPARE(server->blocks().first().title, QStringLiteral("Echo, edited"));
    QCOMPARE(server->blocks().first().description, QStringLiteral("<i>edited</i>"));
    QTRY_COMPARE(actions(server.get()),
                 (QStringList{"update_block", "list_user_blocks", "list_blocks"}));
    QTRY_COMPARE(tab->descriptionField()->toPlainText(), QStringLiteral("<i>edited</i>"));

    // Deleted before the edit's refresh came: the table follows the later list.
    server->clearRequests();
    tab->titleField()->setText(QStringLiteral("Echo, again"));
    tab->button("edit")->click();
    driver->answerBox(QMessageBox::Ok);
    tab->button("delete")->click();
    QVERIFY(driver->seen().last().startsWith("Delete Block|Are you sure"));
    QTRY_COMPARE(server->blocks().size(), 1);
    QTRY_VERIFY(!tab->isListRequested());
    QTRY_COMPARE(liveReplies(repository.get()), 0);
    QCOMPARE(tab->tableWidget()->rowCount(), 0);
    QCOMPARE(tab->descriptionField()->toPlainText(), QString());
}

// Two changes in a row await two lists, and the table shows the later one; a change that
// failed brings none.
void TestOnlineWindows::userBlockListsAwaited()
{
    showUser();
    UserBlocks* tab = user->getUserBlocksTab();
    RepositoryBlocks before{RepositoryBlock(), RepositoryBlock()};
    before[0].name = QStringLiteral("Echo Gain");
    before[1].name = QStringLiteral("Other Gain");
    RepositoryBlocks after{before.first()};
    tab->expectList();
    tab->expectList();
    emit repository->replyUserBlockList(before);
    emit repository->replyUserBlockList(after);
    QCOMPARE(column(tab->tableWidget(), 0), QStringList{"Echo Gain"});
    // Not asked for: ignored.
    emit repository->replyUserBlockList(before);
    QCOMPARE(tab->tableWidget()->rowCount(), 1);

    tab->expectList();
    Repository::Answer refused;
    refused.kind = Repository::BlockDeleteRequest;
    refused.outcome = Repository::Refused;
    refused.message = QStringLiteral("refused");
    emit repository->requestFailed(refused);
    QVERIFY(!tab->isListRequested());
    emit repository->replyUserBlockList(before);
    QCOMPARE(tab->tableWidget()->rowCount(), 1);
}

void TestOnlineWindows::loggedOut_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("warning");
    QTest::newRow("upload patch") << "patches upload"
                                  << "Please Log In in order to upload patch.";
    QTest::newRow("edit patch") << "patches edit"
                                << "Please Log In in order to edit patch.";
    QTest::newRow("delete patch") << "patches delete"
                                  << "Please Log In in order to delete patch.";
    QTest::newRow("uploadPatch") << "patches callback"
                                 << "Please Log In in order to upload blocks and patches.";
    QTest::newRow("upload block") << "blocks upload"
                                  << "Please Log In in order to upload block.";
    QTest::newRow("edit block") << "blocks edit"
                                << "Please Log In in order to edit block.";
    QTest::newRow("delete block") << "blocks delete"
                                  << "Please Log In in order to delete block.";
}

// Every change asks for a log-in first, and sends nothing without one.
void TestOnlineWindows::loggedOut()
{
    QFETCH(QString, operation);
    QFETCH(QString, warning);
    showUser();
    user->getUserPatchesTab()->tableWidget()->selectRow(0);
    user->getUserBlocksTab()->tableWidget()->selectRow(0);
    ann.loggedIn = false;
    capture->clear();
    const QString tabName = operation.section(' ', 0, 0);
    const QString what = operation.section(' ', 1);
    if (what == "callback") {
        user->getUserPatchesTab()->uploadPatch("record", {});
    } else if (tabName == "patches") {
        user->getUserPatchesTab()->button(what)->click();
    } else {
        user->getUserBlocksTab()->button(what)->click();
    }
    QCOMPARE(ownWarnings(*capture), QStringList{warning});
    QCoreApplication::processEvents();
    QCOMPARE(server->requests().size(), 0);
}

void TestOnlineWindows::refusedUploadKeepsEntry_data()
{
    QTest::addColumn<QString>("tab");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("patch, the editor refuses") << "patches"
                                               << "editor";
    QTest::newRow("patch, the server refuses") << "patches"
                                               << "server";
    QTest::newRow("block, another user's file name") << "blocks"
                                                     << "other user";
    QTest::newRow("block, the server refuses") << "blocks"
                                               << "server";
}

// The user's entry of the same name is asked about, the update confirmed and then refused:
// the entry highlighted before stays the one that delete removes.
void TestOnlineWindows::refusedUploadKeepsEntry()
{
    QFETCH(QString, tab);
    QFETCH(QString, refusal);
    const bool patches = tab == "patches";
    int kept = 0;
    if (patches) {
        RepositoryServer::Patch other;
        other.uid = ann.uid;
        other.name = QStringLiteral("Other");
        other.description = QStringLiteral("another");
        kept = server->addPatch(other);
    } else {
        RepositoryServer::Block second;
        second.uid = ann.uid;
        second.name = QStringLiteral("Second");
        second.filename = QStringLiteral("second.xml");
        second.description = QStringLiteral("another");
        second.data = blockFile(second.name);
        kept = server->addBlock(second);
    }
    showUser();
    UserTab* userTab = patches ? static_cast<UserTab*>(user->getUserPatchesTab())
                               : static_cast<UserTab*>(user->getUserBlocksTab());
    QTableWidget* table = userTab->tableWidget();
    QTRY_COMPARE(table->rowCount(), 2);
    table->selectRow(rowOf(table, patches ? "Other" : "Second"));
    QCOMPARE(userTab->currentEntryId(), kept);

    if (patches) {
        host->empty = false;
        host->refuseUpload = refusal == "editor";
        host->uploader = [this] { user->getUserPatchesTab()->uploadPatch("record", {}); };
        userTab->nameField()->setText(QStringLiteral("Drone"));
    } else {
        chooseBlockFile(blockFile("Echo Gain"),
                        refusal == "other user" ? "bobgain.block" : "echo.xml");
        user->getUserBlocksTab()->titleField()->setText(QStringLiteral("T"));
    }
    userTab->descriptionField()->setPlainText(QStringLiteral("D"));
    if (refusal == "server")
        server->scriptBody("0", patches ? QStringLiteral("update_patch")
                                        : QStringLiteral("update_block"));
    driver->answerBox(QMessageBox::Ok);
    capture->clear();
    userTab->button("upload")->click();
    QVERIFY2(driver->seen().last().contains(" exists."), qPrintable(driver->seen().last()));
    if (refusal == "server")
        QTRY_COMPARE(liveReplies(repository.get()), 0);
    QCOMPARE(userTab->currentEntryId(), kept);
    QCOMPARE(selectedText(table), patches ? "Other" : "Second");

    driver->answerBox(QMessageBox::Ok);
    server->clearRequests();
    userTab->button("delete")->click();
    QTRY_VERIFY(!server->requests().isEmpty());
    QTRY_COMPARE(liveReplies(repository.get()), 0);
    const RepositoryServer::Request deleted = server->requests().first();
    QVERIFY(deleted.action().startsWith("delete_"));
    QCOMPARE(deleted.value("id"), QString::number(kept));
    if (patches)
        QCOMPARE(server->patches().first().id, annDrone);
    else
        QCOMPARE(server->blocks().first().id, annEcho);
}

void TestOnlineWindows::downloadAfterAnotherList_data()
{
    QTest::addColumn<bool>("community"); // the tab that downloads; the other list came last
    QTest::newRow("community, after the user's lists and a failed community list") << true;
    QTest::newRow("user, after the community lists") << false;
}

// A download fetches the entry the tab shows, whichever list the client received last.
void TestOnlineWindows::downloadAfterAnotherList()
{
    QFETCH(bool, community);
    RepositoryServer::Patch zed;
    zed.uid = ann.uid;
    zed.name = QStringLiteral("Zed");
    zed.description = QStringLiteral("last");
    zed.data = QByteArray("ann's zed bytes");
    zed.date = day;
    server->addPatch(zed);
    QByteArray expected;
    if (community) {
        showCommunity();
        QTableWidget* table = this->community->getCommunityPatchesTab()->tableWidget();
        QTRY_COMPARE(table->rowCount(), 4);
        logInAnn();
        user->getDatabase();
        QTRY_COMPARE(user->getUserPatchesTab()->tableWidget()->rowCount(), 2);
        QTRY_COMPARE(liveReplies(repository.get()), 0);
        server->scriptFault(Fault::NotFound, QStringLiteral("list_patches"));
        this->community->getDatabase();
        QTRY_COMPARE(this->community->statusBar()->currentMessage(),
                     QStringLiteral("Could not find patches in database"));
        clickRow(table, rowOf(table, "Drone", "bob"));
        server->clearRequests();
        this->community->getCommunityPatchesTab()->downloadClicked();
        expected = "bob's drone bytes";
    } else {
        showUser();
        QTableWidget* table = user->getUserPatchesTab()->tableWidget();
        QCOMPARE(table->rowCount(), 2);
        table->selectRow(rowOf(table, "Zed"));
        this->community->getDatabase();
        QTRY_COMPARE(this->community->getCommunityPatchesTab()->tableWidget()->rowCount(), 4);
        QTRY_COMPARE(liveReplies(repository.get()), 0);
        server->clearRequests();
        user->getUserPatchesTab()->downloadClicked();
        expected = "ann's zed bytes";
    }
    QTRY_COMPARE(host->patches, QList<QByteArray>{expected});
    QCOMPARE(actions(server.get()), QStringList{"get_patch"});
}

void TestOnlineWindows::refillFindsShownEntry_data()
{
    QTest::addColumn<bool>("blocks");
    QTest::addColumn<QString>("shown");     // picked before the refresh
    QTest::addColumn<QStringList>("after"); // the entries of the refreshed list, by name
    QTest::addColumn<bool>("found");
    QTest::newRow("patches, an entry above is gone")
        << false << "Beat" << QStringList{"Drone bob", "Beat bob"} << true;
    QTest::newRow("patches, the shown entry is gone")
        << false << "Beat" << QStringList{"Drone ann", "Drone bob"} << false;
    QTest::newRow("blocks, an entry above is gone")
        << true << "Bob Gain" << QStringList{"Bob Gain bob"} << true;
    QTest::newRow("blocks, the shown entry is gone")
        << true << "Bob Gain" << QStringList{"Echo Gain ann"} << false;
}

// After a refresh the tab shows the entry it showed before, found by its id; when it is gone,
// nothing is shown and there is nothing to download.
void TestOnlineWindows::refillFindsShownEntry()
{
    QFETCH(bool, blocks);
    QFETCH(QString, shown);
    QFETCH(QStringList, after);
    QFETCH(bool, found);
    showCommunity();
    RepositoryTab* tab = blocks ? static_cast<RepositoryTab*>(community->getCommunityBlocksTab())
                                : static_cast<RepositoryTab*>(community->getCommunityPatchesTab());
    QTextBrowser* panel = blocks ? community->getCommunityBlocksTab()->descriptionPanel()
                                 : community->getCommunityPatchesTab()->descriptionPanel();
    QPushButton* download = blocks ? community->getCommunityBlocksTab()->downloadButton()
                                   : community->getCommunityPatchesTab()->downloadButton();
    QTableWidget* table = tab->tableWidget();
    if (blocks)
        table->selectRow(rowOf(table, shown));
    else
        clickRow(table, rowOf(table, shown));
    const int shownId = tab->currentEntryId();
    QCOMPARE(shownId, blocks ? bobGain : bobBeat);
    QVERIFY(download->isEnabled());

    // The refreshed list, as the server would send it with some entries removed.
    const QHash<QString, int> ids{{"Drone ann", annDrone},
                                  {"Drone bob", bobDrone},
                                  {"Beat bob", bobBeat},
                                  {"Echo Gain ann", annEcho},
                                  {"Bob Gain bob", bobGain}};
    QByteArray body = blocks ? "<blocks>" : "<patches>";
    for (const QString& entry : after) {
        const QString user = entry.section(' ', -1);
        const QString entryName = entry.section(' ', 0, -2);
        const QString uid = QString::number(user == "ann" ? ann.uid : ann.uid + 1);
        body += QStringLiteral("<%1 id=\"%2\" uid=\"%3\" %4=\"%5\" uname=\"%6\" date=\"%7\" "
                               "hash=\"0000\"><description><![CDATA[\n%8 of %6]]></description>"
                               "</%1>")
                    .arg(blocks ? "block" : "patch")
                    .arg(ids.value(entry))
                    .arg(uid, blocks ? "bname" : "pname", entryName, user)
                    .arg(day)
                    .arg(entryName)
                    .toUtf8();
    }
    body += blocks ? "</blocks>" : "</patches>";
    server->scriptBody(body,
                       blocks ? QStringLiteral("list_blocks") : QStringLiteral("list_patches"));
    community->getDatabase();
    QTRY_COMPARE(table->rowCount(), after.size());
    QTRY_COMPARE(liveReplies(repository.get()), 0);

    if (!found) {
        QCOMPARE(tab->currentEntryId(), -1);
        QVERIFY(table->selectedItems().isEmpty());
        QCOMPARE(panel->toPlainText(), blocks ? "Block Description" : "Patch Description");
        QVERIFY(!download->isEnabled());
        return;
    }
    QCOMPARE(tab->currentEntryId(), shownId);
    QCOMPARE(selectedText(table), shown);
    QVERIFY2(panel->toPlainText().contains(shown + " of bob"), qPrintable(panel->toPlainText()));
    QVERIFY(download->isEnabled());
    if (blocks)
        return;
    server->clearRequests();
    download->click();
    QTRY_COMPARE(host->patches, QList<QByteArray>{"bob's beat bytes"});
}

void TestOnlineWindows::commentsReachTheirEntry_data()
{
    QTest::addColumn<bool>("otherTab"); // the later request comes from the blocks tab
    QTest::newRow("Beat then Drone in the patches tab") << false;
    QTest::newRow("a patch's comments while the blocks tab waits") << true;
}

// Two comment lists in flight, the earlier one answered first: each reaches the panel of the
// entry it was asked for, or none.
void TestOnlineWindows::commentsReachTheirEntry()
{
    QFETCH(bool, otherTab);
    for (auto [target, onBlock, text] : {std::make_tuple(bobBeat, false, "about the beat"),
                                         std::make_tuple(annDrone, false, "about the drone"),
                                         std::make_tuple(annEcho, true, "about the echo")}) {
        RepositoryServer::Comment c;
        c.target = target;
        c.onBlock = onBlock;
        c.uid = ann.uid;
        c.content = QLatin1String(text);
        c.date = day;
        server->addComment(c);
    }
    showCommunity();
    CommunityPatches* patches = community->getCommunityPatchesTab();
    CommunityBlocks* blocks = community->getCommunityBlocksTab();
    patches->commentsClicked();
    blocks->commentsClicked();
    QCOMPARE(server->requests().size(), 0);

    // The first list is held, the second comes slowly, so the first arrives first.
    server->scriptFault(Fault::Hold, QStringLiteral("list_patch_comments"));
    server->setSlowBody(4, 100);
    server->scriptFault(Fault::SlowBody, otherTab ? QStringLiteral("list_block_comments")
                                                  : QStringLiteral("list_patch_comments"));
    clickRow(patches->tableWidget(), rowOf(patches->tableWidget(), "Beat"));
    QTRY_COMPARE(server->heldCount(), 1);
    if (otherTab)
        blocks->tableWidget()->selectRow(rowOf(blocks->tableWidget(), "Echo Gain"));
    else
        clickRow(patches->tableWidget(), rowOf(patches->tableWidget(), "Drone", "ann"));
    QTRY_COMPARE(server->requests().size(), 2);
    server->releaseHeld();
    QTRY_COMPARE(liveReplies(repository.get()), 0);

    const QString patchPanel = patches->commentsPanel()->commentsView()->toPlainText();
    const QString blockPanel = blocks->commentsPanel()->commentsView()->toPlainText();
    if (otherTab) {
        QVERIFY2(patchPanel.contains("about the beat"), qPrintable(patchPanel));
        QVERIFY2(blockPanel.contains("about the echo") && !blockPanel.contains("beat"),
                 qPrintable(blockPanel));
    } else {
        QVERIFY2(patchPanel.contains("about the drone") && !patchPanel.contains("beat"),
                 qPrintable(patchPanel));
    }
    QVERIFY(!patches->waitsForComments() && !blocks->waitsForComments());
    QVERIFY(!patches->commentsPanel()->isLoaderShown());
}

void TestOnlineWindows::failedDownloadEndsOnlyItsOwn_data()
{
    QTest::addColumn<bool>("userWindow"); // the second download is the user window's
    QTest::newRow("two downloads in one tab") << false;
    QTest::newRow("one in each window") << true;
}

// A download that fails while another one waits ends only itself: the other is written when
// it comes.
void TestOnlineWindows::failedDownloadEndsOnlyItsOwn()
{
    QFETCH(bool, userWindow);
    showCommunity();
    if (userWindow)
        showUser();
    CommunityBlocks* blocks = community->getCommunityBlocksTab();
    QSignalSpy failures(repository.get(), &Repository::requestFailed);

    server->scriptFault(Fault::NoAnswer, QStringLiteral("get_block"));
    server->scriptFault(Fault::Hold, QStringLiteral("get_block"));
    repository->setTransferTimeout(300);
    blocks->tableWidget()->selectRow(rowOf(blocks->tableWidget(), "Echo Gain"));
    driver->acceptFileDialog(custom + "/echo.xml");
    blocks->downloadClicked();
    repository->setTransferTimeout(30000);

    const QString second = folder->filePath("second.xml");
    driver->acceptFileDialog(second);
    if (userWindow) {
        QTableWidget* table = user->getUserBlocksTab()->tableWidget();
        table->selectRow(rowOf(table, "Echo Gain"));
        user->getUserBlocksTab()->downloadClicked();
    } else {
        blocks->tableWidget()->selectRow(rowOf(blocks->tableWidget(), "Bob Gain"));
        blocks->downloadClicked();
    }
    QTRY_COMPARE(server->heldCount(), 1);
    QTRY_COMPARE(failures.count(), 1);
    server->releaseHeld();
    QTRY_COMPARE(readAll(second), blockFile(userWindow ? "Echo Gain" : "Bob Gain"));
    QVERIFY(!QFile::exists(custom + "/echo.xml"));
}

// The answer to the download waited for names another block: nothing is written, and the
// user is told why.
void TestOnlineWindows::downloadOfAnotherBlock()
{
    showCommunity();
    CommunityBlocks* blocks = community->getCommunityBlocksTab();
    blocks->tableWidget()->selectRow(rowOf(blocks->tableWidget(), "Echo Gain"));
    const QString path = custom + "/echo.xml";
    server->scriptBody(blockFile("Bob Gain"), QStringLiteral("get_block"));
    driver->acceptFileDialog(path);
    capture->clear();
    blocks->downloadClicked();
    QTRY_VERIFY(!blocks->pendingDownload().isPending());
    QVERIFY(!QFile::exists(path));
    QCOMPARE(ownWarnings(*capture),
             QStringList{"The downloaded file is the block Bob Gain, not Echo Gain; " + path +
                         " was not written."});
    QCOMPARE(host->saved, QStringList());
}

void TestOnlineWindows::descriptionPlaceholder_data()
{
    QTest::addColumn<bool>("blocks");
    QTest::newRow("patches") << false;
    QTest::newRow("blocks") << true;
}

// The description field shows its label only as a placeholder: left untouched it is empty,
// and an upload without a description is refused.
void TestOnlineWindows::descriptionPlaceholder()
{
    QFETCH(bool, blocks);
    const QString label = blocks ? "Block Description" : "Patch Description";
    showUser();
    UserTab* tab = blocks ? static_cast<UserTab*>(user->getUserBlocksTab())
                          : static_cast<UserTab*>(user->getUserPatchesTab());
    QCOMPARE(tab->descriptionField()->toPlainText(), QString());
    QCOMPARE(tab->descriptionField()->placeholderText(), label);

    tab->tableWidget()->selectRow(0);
    QVERIFY(!tab->descriptionField()->toPlainText().isEmpty());
    user->clearWindow();
    QCOMPARE(tab->descriptionField()->toPlainText(), QString());

    if (blocks) {
        chooseBlockFile(blockFile("Fresh Gain"), "fresh.xml");
        user->getUserBlocksTab()->titleField()->setText(QStringLiteral("Fresh"));
    } else {
        host->empty = false;
        tab->nameField()->setText(QStringLiteral("Pad"));
    }
    capture->clear();
    tab->button("upload")->click();
    QCOMPARE(ownWarnings(*capture),
             QStringList{blocks ? "Cannot upload block without its description."
                                : "Cannot upload patch without its description."});
    QCoreApplication::processEvents();
    QCOMPARE(server->requests().size(), 0);
}

KL_TEST_MAIN(TestOnlineWindows)

#include "test_onlinewindows.moc"
