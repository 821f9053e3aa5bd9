// The editor window with the online side, against our own repository server in this process:
// the Online menu and Login tool bar, log-in and log-out, patches uploaded and downloaded with
// their blocks, the missing-block fetch and what happens when its patch goes away meanwhile,
// the version notice, and downloaded blocks joining the palette.
#include "BinaryUtil.h"
#include "BlockBase.h"
#include "BlockDescription.h"
#include "BlockInstance.h"
#include "BlockManager.h"
#include "Browser.h"
#include "CommunityBlocks.h"
#include "CommunityWindow.h"
#include "LogIn.h"
#include "MainWindow.h"
#include "MessageCapture.h"
#include "ModalDriver.h"
#include "Online.h"
#include "PatchBuilder.h"
#include "PatchDocument.h"
#include "PatchFile.h"
#include "PatchInfo.h"
#include "PatchRecord.h"
#include "Preferences.h"
#include "Repository.h"
#include "RepositoryServer.h"
#include "TempProgramDir.h"
#include "TestMain.h"
#include "UserPatches.h"
#include "UserWindow.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolBox>
#include <memory>

namespace {

using Fault = RepositoryServer::Fault;

const QString userName = QStringLiteral("ann");
const QString password = QStringLiteral("open sesame");

// A block file of our own, made from the gain fixture under another name.
QByteArray blockFile(const QString& name, const QString& symbol)
{
    QFile f(testsupport::sourcePath("tests/app/fixtures/blocks/gain.xml"));
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    QString text = QString::fromUtf8(f.readAll());
    text.replace(QStringLiteral("name=\"Gain\""), "name=\"" + name + "\"");
    text.replace(QStringLiteral("t_gain"), symbol);
    return text.toUtf8();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Deletes what was released with deleteLater and says how many replies the client still has.
int liveReplies(const Repository* repository)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return repository->networkManager()->findChildren<QNetworkReply*>().size();
}

QStringList actionsOf(const RepositoryServer& server)
{
    QStringList out;
    for (const RepositoryServer::Request& r : server.requests())
        out << r.action();
    return out;
}

QStringList tabTexts(MainWindow* window)
{
    QStringList out;
    for (int i = 0; i < window->tabWidget()->count(); ++i)
        out << window->tabWidget()->tabText(i);
    return out;
}

// Each instance as "name@origin" of the description it is bound to, in id order.
QStringList boundBlocks(const PatchDocument* doc)
{
    QStringList out;
    for (const BlockInstance* b : doc->blockInstances())
        out << QStringLiteral("%1@%2").arg(b->description->name).arg(int(b->description->origin));
    return out;
}

QStringList paletteNames(MainWindow* window)
{
    QStringList out;
    auto* box = qobject_cast<QToolBox*>(window->browserDock()->widget());
    for (int i = 0; box && i < box->count(); ++i) {
        auto* view = qobject_cast<QGraphicsView*>(box->widget(i));
        for (QGraphicsItem* item : view->scene()->items()) {
            if (!item->parentItem())
                out << static_cast<BlockBase*>(item)->description()->name;
        }
    }
    out.sort();
    return out;
}

} // namespace

class TestOnline : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void menuAndToolBar();
    void logInAndOut();
    void userWindowNeedsLogIn();
    void uploadRequest_data();
    void uploadRequest();
    void uploadThenDownload();
    void downloadAlwaysOpensNewTab();
    void hostileDownload_data();
    void hostileDownload();
    void missingBlocksFetched_data();
    void missingBlocksFetched();
    void fetchDropped_data();
    void fetchDropped();
    void downloadWhileBlocksAsked_data();
    void downloadWhileBlocksAsked();
    void versionNotice_data();
    void versionNotice();
    void blockSaved_data();
    void blockSaved();
    void communityAction();
    void uploadThroughUserWindow();
    void downloadedBlockJoinsPalette();

private:
    // A window of a fresh start; with the custom blocks folder it knows "Left Gain" and
    // "Right Gain", without it knows only the library.
    void startWindow(bool customBlocks);
    void logIn();
    // A patch of Sine and the named blocks, chained by cables; as its record.
    QByteArray patchUsing(const QStringList& names, const QString& patchName);
    int addServerBlock(const QString& name, const QString& fileName);
    Repository* shared() const { return window->onlineController()->getRepository(); }

    std::unique_ptr<RepositoryServer> server;
    std::unique_ptr<TempProgramDir> program;
    std::unique_ptr<QTemporaryDir> custom;
    std::unique_ptr<QTemporaryDir> files;
    std::unique_ptr<MainWindow> window;
};

void TestOnline::init()
{
    QSettings().clear();
    program = std::make_unique<TempProgramDir>();
    QVERIFY(program->copyIn(testsupport::sourcePath("tests/app/fixtures/blocks"), "blocks"));
    custom = std::make_unique<QTemporaryDir>();
    files = std::make_unique<QTemporaryDir>();
    QVERIFY(writeAll(custom->filePath("left.xml"), blockFile("Left Gain", "t_left")));
    QVERIFY(writeAll(custom->filePath("right.xml"), blockFile("Right Gain", "t_right")));
    server = std::make_unique<RepositoryServer>();
    QVERIFY(server->start());
    server->addUser(userName, password);
    qputenv("KNOTLATTICE_REPOSITORY_URL", server->endpoint().toUtf8());
}

void TestOnline::cleanup()
{
    window.reset();
    files.reset();
    custom.reset();
    program.reset();
    server.reset();
}

void TestOnline::startWindow(bool customBlocks)
{
    window.reset();
    QSettings().setValue(Preferences::CustomBlocksPath, customBlocks ? custom->path() : QString());
    QSettings().setValue(Preferences::DefaultPatchPath, files->path());
    window = std::make_unique<MainWindow>();
}

void TestOnline::logIn()
{
    LogIn* login = window->onlineController()->getLogIn();
    login->userNameField()->setText(userName);
    login->userPasswordField()->setText(password);
    login->logInClickedSlot();
    QTRY_VERIFY(login->getUserCredentials()->loggedIn);
}

QByteArray TestOnline::patchUsing(const QStringList& names, const QString& patchName)
{
    startWindow(true);
    PatchDocument* doc = window->currentDocument();
    PatchBuilder build(doc);
    int previous = build.block(QStringLiteral("Sine"), 100, 100);
    int x = 300;
    for (const QString& name : names) {
        const int id = build.block(name, x, 100);
        build.cable(previous, 0, id, 0);
        previous = id;
        x += 200;
    }
    if (!build.failures.isEmpty())
        qWarning() << build.failures;
    doc->patchInfo()->name = patchName;
    doc->patchInfo()->includeBlocks = false;
    const QByteArray record = window->getSaveData(doc);
    window.reset();
    return record;
}

int TestOnline::addServerBlock(const QString& name, const QString& fileName)
{
    const QByteArray bytes = blockFile(name, name == "Left Gain" ? "t_left" : "t_right");
    RepositoryServer::Block b;
    b.uid = server->users().first().uid;
    b.name = name;
    b.title = name;
    b.filename = fileName;
    b.hash =
        BlockManager::loadBlock(bytes, BlockDescription::OriginPatch, QString(), QString()).hash;
    b.data = bytes;
    b.category = QStringLiteral("Math");
    return server->addBlock(b);
}

// The Online menu between the menu-bar separators, rebuilt without leaving old ones behind;
// the log-in's widgets before the Login tool bar's separator and switch action.
void TestOnline::menuAndToolBar()
{
    startWindow(false);
    QMenu* online = nullptr;
    for (QAction* a : window->menuBar()->actions()) {
        if (a->text() == QLatin1String("Online"))
            online = a->menu();
    }
    QVERIFY(online);
    QStringList entries;
    for (QAction* a : online->actions())
        entries << (a->isSeparator() ? QStringLiteral("|") : a->text());
    QCOMPARE(entries, (QStringList{"Community", "User", "|", "Log Out"}));

    auto onlineMenus = [this] {
        int count = 0;
        for (QMenu* m : window->findChildren<QMenu*>())
            count += m->title() == QLatin1String("Online");
        return count;
    };
    window->createMenus();
    window->createMenus();
    QCOMPARE(onlineMenus(), 1);

    QToolBar* bar = window->findChild<QToolBar*>(QStringLiteral("LoginToolBar"));
    QVERIFY(bar);
    QCOMPARE(bar->windowTitle(), QStringLiteral("Login"));
    QStringList order;
    for (QAction* a : bar->actions()) {
        QWidget* w = bar->widgetForAction(a);
        if (a->isSeparator())
            order << "|";
        else if (auto* field = qobject_cast<QLineEdit*>(w))
            order << (field->echoMode() == QLineEdit::Password ? "password" : "name");
        else if (auto* label = qobject_cast<QLabel*>(w))
            order << "label " + label->text();
        else if (a == window->getAction("switch"))
            order << "switch";
        else if (w && !a->text().isEmpty())
            order << a->text();
        else
            order << "spacer";
    }
    QCOMPARE(order, (QStringList{"spacer", "name", "password", "label online   ", "Log In", "|",
                                 "switch"}));
}

// Through the tool bar and the Online menu; the label replaces the fields while logged in.
void TestOnline::logInAndOut()
{
    startWindow(false);
    LogIn* login = window->onlineController()->getLogIn();
    QVERIFY(!login->logInAction()->isEnabled());
    login->userNameField()->clear();
    QTest::keyClicks(login->userNameField(), userName);
    QVERIFY(!login->logInAction()->isEnabled());
    QTest::keyClicks(login->userPasswordField(), password);
    QVERIFY(login->logInAction()->isEnabled());
    login->logInAction()->trigger();
    QTRY_VERIFY(login->getUserCredentials()->loggedIn);
    QVERIFY(login->isOnlineLabelShown());
    QVERIFY(!login->logInAction()->isVisible());

    window->onlineController()->getAction("log_out")->trigger();
    QVERIFY(!login->getUserCredentials()->loggedIn);
    QVERIFY(!login->isOnlineLabelShown());
    QVERIFY(login->logInAction()->isVisible());
    QVERIFY(!QSettings().contains(Preferences::UserPassword));
}

// The user window opens only to a logged-in user, with the editor disabled until it closes.
void TestOnline::userWindowNeedsLogIn()
{
    startWindow(false);
    window->show();
    Online* online = window->onlineController();
    UserWindow* user = online->getUserWindow();
    {
        MessageCapture capture;
        online->getAction("user")->trigger();
        QCOMPARE(capture.warnings(),
                 QStringList{"Please Log In in order to upload blocks and patches."});
    }
    QVERIFY(!user->isVisible());
    QVERIFY(window->isEnabled());

    logIn();
    online->getAction("user")->trigger();
    QVERIFY(user->isVisible());
    QVERIFY(user->isEnabled());
    QVERIFY(!window->isEnabled());
    user->close();
    QVERIFY(window->isEnabled());
}

void TestOnline::uploadRequest_data()
{
    QTest::addColumn<QString>("patch");
    // The largest reply the client takes, 0 for its own bound.
    QTest::addColumn<int>("replyBound");
    QTest::addColumn<bool>("handed");
    QTest::addColumn<QStringList>("warnings");
    QTest::newRow("two custom blocks") << "custom" << 0 << true << QStringList();
    QTest::newRow("library blocks only") << "library" << 0 << true << QStringList();
    QTest::newRow("empty canvas") << "empty" << 0 << false << QStringList();
    QTest::newRow("a block file cannot be read")
        << "unreadable" << 0 << false
        << QStringList{"Could not read file : %1/right.xml",
                       "The patch was not uploaded: one of its block files cannot be read."};
    // What could never be downloaded again is not uploaded.
    QTest::newRow("larger than a download may be")
        << "custom" << 512 << false
        << QStringList{"The patch was not uploaded: with its blocks it takes more than the 512 "
                       "bytes that a download from the repository may have."};
    // Nor what would not open again: a record holds no longer text.
    QTest::newRow("a comment too long for a record")
        << "long comment" << 0 << false
        << QStringList{"The patch was not uploaded. The text of comment 1 takes 70000 bytes; a "
                       "patch holds at most 65535 bytes of one text."};
}

// The current patch is named and handed over with its record and block files, or, when a
// block file cannot be read, left as it was.
void TestOnline::uploadRequest()
{
    QFETCH(QString, patch);
    QFETCH(int, replyBound);
    QFETCH(bool, handed);
    QFETCH(QStringList, warnings);

    startWindow(true);
    if (replyBound > 0)
        shared()->setMaxReplySize(replyBound);
    PatchDocument* doc = window->currentDocument();
    PatchBuilder build(doc);
    if (patch != "empty") {
        const int sine = build.block(QStringLiteral("Sine"), 100, 100);
        if (patch != "library") {
            build.cable(sine, 0, build.block(QStringLiteral("Left Gain"), 300, 100), 0);
            build.block(QStringLiteral("Right Gain"), 500, 100);
        }
    }
    QVERIFY2(build.failures.isEmpty(), qPrintable(build.failures.join("; ")));
    if (patch == "long comment")
        doc->addComment(1, 10, 10, QString(70000, 'x'));
    doc->setChanged(true);
    if (patch == "unreadable")
        QVERIFY(QFile::remove(custom->filePath("right.xml")));
    const QString before = window->tabWidget()->tabText(0);

    QByteArray file;
    QHash<QString, BlockDescription> blockFiles;
    QStringList blockNames;
    int calls = 0;
    window->setPatchUploader(
        [&](const QByteArray& f, const QHash<QString, BlockDescription>& blocks) {
            ++calls;
            file = f;
            blockFiles = blocks;
            blockNames = blocks.keys();
            blockNames.sort();
        });
    MessageCapture capture;
    QCOMPARE(window->repositoryPatchUploadRequest(QStringLiteral("Pair")), handed);
    QCOMPARE(calls, handed ? 1 : 0);
    QStringList expected;
    for (const QString& w : warnings)
        expected << (w.contains(QLatin1String("%1")) ? w.arg(custom->path()) : w);
    QCOMPARE(capture.warnings(), expected);
    if (!handed) {
        QCOMPARE(window->tabWidget()->tabText(0), before);
        QVERIFY(doc->patchInfo()->name != QLatin1String("Pair"));
        return;
    }
    // Renamed at once, the change mark kept; the record is the document as it is now, in a
    // patch file with its custom blocks.
    QCOMPARE(window->tabWidget()->tabText(0), QStringLiteral("Pair *"));
    QCOMPARE(doc->patchInfo()->name, QStringLiteral("Pair"));
    QVERIFY(doc->patchInfo()->includeBlocks);
    QVERIFY(doc->changed());
    QCOMPARE(file, util::patchFileBytes(window->getSaveData(doc), blockFiles, true));
    QCOMPARE(blockNames,
             patch == "custom" ? (QStringList{"Left Gain", "Right Gain"}) : QStringList());
}

// A patch with two custom blocks goes up through the client and comes back into an editor
// that has neither: the new tab has both blocks, bound to the files the patch carried.
void TestOnline::uploadThenDownload()
{
    startWindow(true);
    logIn();
    PatchDocument* doc = window->currentDocument();
    PatchBuilder build(doc);
    const int sine = build.block(QStringLiteral("Sine"), 100, 100);
    const int left = build.block(QStringLiteral("Left Gain"), 300, 100);
    const int right = build.block(QStringLiteral("Right Gain"), 500, 100);
    build.cable(sine, 0, left, 0);
    build.cable(left, 0, right, 0);
    QVERIFY2(build.failures.isEmpty(), qPrintable(build.failures.join("; ")));

    RepositoryPatch upload;
    window->setPatchUploader(
        [&upload](const QByteArray& file, const QHash<QString, BlockDescription>&) {
            upload.data = file;
        });
    QVERIFY(window->repositoryPatchUploadRequest(QStringLiteral("Pair")));
    upload.id = -1;
    upload.name = QStringLiteral("Pair");
    upload.filename = QStringLiteral("Pair.ktl");
    upload.description = QStringLiteral("Two gains");
    UserCredentials* credentials = window->onlineController()->getLogIn()->getUserCredentials();
    {
        MessageCapture capture;
        shared()->uploadPatch(upload, credentials, false);
        QTRY_COMPARE(server->patches().size(), 1);
        QTRY_COMPARE(liveReplies(shared()), 0);
        QCOMPARE(capture.warnings(), QStringList{"Patch uploaded successfully"});
    }
    QCOMPARE(util::unpackPatch(server->patches().first().data).size(), 3);

    // Another start, without the custom blocks.
    startWindow(false);
    QVERIFY(!window->blockManager()->blockDescription(QStringLiteral("Left Gain")));
    server->clearRequests();
    shared()->getCommunityDatabase();
    QTRY_COMPARE(actionsOf(*server), (QStringList{"list_patches", "list_blocks"}));
    QTRY_COMPARE(liveReplies(shared()), 0);
    MessageCapture capture;
    shared()->getPatch(server->patches().first().id);
    QTRY_COMPARE(window->tabWidget()->count(), 2);
    doc = window->currentDocument();
    QCOMPARE(window->tabWidget()->tabText(1), QStringLiteral("Pair"));
    QCOMPARE(boundBlocks(doc), (QStringList{"Sine@0", "Left Gain@2", "Right Gain@2"}));
    QCOMPARE(doc->blockConnections().size(), 2);
    QVERIFY(doc->getBlockDescription(QStringLiteral("Left Gain")));
    QVERIFY(doc->getBlockDescription(QStringLiteral("Right Gain")));
    // Unsaved until the user saves it, and a save carries the blocks.
    QVERIFY(doc->patchInfo()->path.isEmpty());
    QVERIFY(doc->patchInfo()->includeBlocks);
    QVERIFY(!doc->changed());
    QCOMPARE(capture.warnings(), QStringList());
}

// Without the already-open check of files; a record that says not to include the blocks
// still includes them once opened.
void TestOnline::downloadAlwaysOpensNewTab()
{
    const QByteArray record = patchUsing({QStringLiteral("Left Gain")}, QStringLiteral("Solo"));
    QCOMPARE(util::readPatchRecord(record).includeBlocks, false);
    startWindow(true);
    window->repositoryPatchDownloaded(record);
    window->repositoryPatchDownloaded(record);
    QCOMPARE(tabTexts(window.get()), (QStringList{"new patch", "Solo", "Solo"}));
    for (int i = 1; i < 3; ++i) {
        const PatchDocument* doc = window->documentAt(i);
        QVERIFY(doc->patchInfo()->includeBlocks);
        QCOMPARE(boundBlocks(doc), (QStringList{"Sine@0", "Left Gain@1"}));
    }
}

void TestOnline::hostileDownload_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QStringList>("blocks");
    QTest::newRow("a carried block declares 3 GB")
        << "huge block"
        << "- 1 block file the patch carries is too large" << QStringList{"Sine@0"};
    QTest::newRow("the record declares 3 GB")
        << "huge record"
        << "Cant open patch. The packed data is too large." << QStringList();
    QTest::newRow("a carried block that does not inflate")
        << "damaged block"
        << "- 1 block file the patch carries is damaged" << QStringList{"Sine@0"};
}

// A download is read by the bounded reader of patch files: sizes are checked before anything
// is inflated, and a bad part gives a message and an empty tab or a patch without it.
void TestOnline::hostileDownload()
{
    QFETCH(QString, kind);
    QFETCH(QString, warning);
    QFETCH(QStringList, blocks);
    const QByteArray record = patchUsing({}, QStringLiteral("Solo"));
    QByteArray data;
    const QByteArray stream = qCompress(QByteArray(4096, 'a')).mid(4);
    if (kind == "huge record")
        data = QByteArray::fromHex("0006c0000000") + stream + QByteArray(4, '\0');
    else if (kind == "huge block")
        data = record + util::bin::createSeparator() + QByteArray::fromHex("c0000000") + stream;
    else
        data = record + util::bin::createSeparator() + QByteArray::fromHex("00001000") +
               QByteArray(64, 'z');
    startWindow(false);
    MessageCapture capture;
    window->repositoryPatchDownloaded(data);
    QVERIFY2(!capture.warnings().filter(warning).isEmpty(),
             qPrintable(capture.warnings().join("; ")));
    QCOMPARE(window->tabWidget()->count(), 2);
    QCOMPARE(boundBlocks(window->currentDocument()), blocks);
    QVERIFY(window->currentDocument()->patchInfo()->path.isEmpty());
}

void TestOnline::missingBlocksFetched_data()
{
    QTest::addColumn<QStringList>("missing");
    QTest::addColumn<bool>("webPage"); // the server answers the block with a web page
    QTest::newRow("one block") << QStringList{"Left Gain"} << false;
    QTest::newRow("two blocks, fetched one after the other")
        << QStringList{"Left Gain", "Right Gain"} << false;
    QTest::newRow("a web page for the block") << QStringList{"Left Gain"} << true;
}

// Opening a file whose blocks the editor lacks fetches them and completes the canvas; what
// does not come leaves the tab without its file, so Save cannot write the rest over it.
void TestOnline::missingBlocksFetched()
{
    QFETCH(QStringList, missing);
    QFETCH(bool, webPage);
    const QByteArray record = patchUsing(missing, QStringLiteral("drum"));
    addServerBlock(QStringLiteral("Left Gain"), QStringLiteral("left.xml"));
    addServerBlock(QStringLiteral("Right Gain"), QStringLiteral("right.xml"));
    startWindow(false);
    const QString path = files->filePath("drum.ktl");
    QVERIFY(writeAll(path, record));

    ModalDriver driver;
    driver.answerBox(QMessageBox::Ok);
    server->clearRequests();
    if (webPage)
        server->scriptBody("<html><body>Not here</body></html>", QStringLiteral("get_block"));
    MessageCapture capture;
    window->openFromPath(path);
    QCOMPARE(driver.seen().size(), 1);
    PatchDocument* doc = window->currentDocument();
    QVERIFY(doc->isEmpty());
    QStringList requests{"list_blocks"};
    for (int i = 0; i < missing.size(); ++i)
        requests << "get_block";
    QTRY_COMPARE(actionsOf(*server), requests);

    if (webPage) {
        QTRY_VERIFY(!capture.warnings().filter("Part of the patch could not be opened").isEmpty());
        QVERIFY2(!capture.warnings()
                      .filter("- Left Gain (1 block): the repository did not send "
                              "it\n")
                      .isEmpty(),
                 qPrintable(capture.warnings().join('|')));
        QCOMPARE(boundBlocks(doc), QStringList{"Sine@0"});
        QVERIFY(doc->patchInfo()->path.isEmpty());
        QVERIFY(!doc->changed());
        // Save asks for a file of its own; the original keeps both blocks.
        driver.rejectDialog();
        QCOMPARE(window->savePatch(doc), MainWindow::SaveResult::Cancelled);
        QCOMPARE(testsupport::readFile(path), record);
        return;
    }
    QTRY_COMPARE(doc->blockInstances().size(), 1 + missing.size());
    QStringList expected{"Sine@0"};
    for (const QString& name : missing)
        expected << name + "@2";
    QCOMPARE(boundBlocks(doc), expected);
    QCOMPARE(doc->blockConnections().size(), missing.size());
    // Complete now, so it saves back to its file.
    QCOMPARE(doc->patchInfo()->path, path);
    QVERIFY(!doc->changed());
    QVERIFY(driver.unexpected().isEmpty());
}

void TestOnline::fetchDropped_data()
{
    QTest::addColumn<QString>("held"); // the request of the fetch that waits
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<QStringList>("tabs");

    for (const char* held : {"list_blocks", "get_block"}) {
        QTest::addRow("%s, tab closed", held) << held << "close" << QStringList{"new patch"};
        QTest::addRow("%s, a complete patch opened", held)
            << held << "open complete" << QStringList{"new patch", "drum", "hat"};
        QTest::addRow("%s, a patch opened and its fetch cancelled", held)
            << held << "open cancelled" << QStringList{"new patch", "drum", "hat"};
    }
}

// The fetch belongs to the document that asked for it: when that tab closes or another patch
// opens before the blocks arrive, the fetch stops and its blocks land nowhere.
void TestOnline::fetchDropped()
{
    QFETCH(QString, held);
    QFETCH(QString, meanwhile);
    QFETCH(QStringList, tabs);

    const QByteArray drum = patchUsing({QStringLiteral("Left Gain")}, QStringLiteral("drum"));
    const QByteArray hat = patchUsing(
        meanwhile == "open cancelled" ? QStringList{"Right Gain"} : QStringList{}, "hat");
    addServerBlock(QStringLiteral("Left Gain"), QStringLiteral("left.xml"));
    startWindow(false);
    QVERIFY(writeAll(files->filePath("drum.ktl"), drum));
    QVERIFY(writeAll(files->filePath("hat.ktl"), hat));

    MessageCapture capture;
    ModalDriver driver;
    driver.answerBox(QMessageBox::Ok);
    server->scriptFault(Fault::Hold, held);
    window->openFromPath(files->filePath("drum.ktl"));
    QPointer<PatchDocument> waiting = window->currentDocument();
    QTRY_COMPARE(server->heldCount(), 1);
    QVERIFY(liveReplies(shared()) > 0);

    if (meanwhile == "close") {
        window->closeDocument(window->tabWidget()->indexOf(waiting));
        QVERIFY(!waiting);
    } else {
        if (meanwhile == "open cancelled")
            driver.answerBox(QMessageBox::Cancel);
        window->openFromPath(files->filePath("hat.ktl"));
    }
    // The fetch's request was stopped at once.
    QCOMPARE(liveReplies(shared()), 0);
    QVERIFY(capture.contains(QtDebugMsg, "The blocks of drum are no longer downloaded"));
    server->releaseHeld();

    // Blocks that still came would go nowhere.
    QList<QByteArray> late{blockFile(QStringLiteral("Left Gain"), QStringLiteral("t_left"))};
    window->repositoryBlockFiles(late);
    QVERIFY(capture.contains(QtDebugMsg, "Downloaded blocks dropped"));

    // The client goes on serving requests; the held answer reached nobody.
    server->clearRequests();
    shared()->getBlockList();
    QTRY_COMPARE(actionsOf(*server), QStringList{"list_blocks"});
    QTRY_COMPARE(liveReplies(shared()), 0);

    QCOMPARE(tabTexts(window.get()), tabs);
    if (waiting)
        QVERIFY(waiting->isEmpty());
    for (int i = 0; i < window->tabWidget()->count(); ++i) {
        const PatchDocument* doc = window->documentAt(i);
        QVERIFY(!doc->getBlockDescription(QStringLiteral("Left Gain")));
        for (const BlockInstance* b : doc->blockInstances())
            QVERIFY(b->description->name != QLatin1String("Left Gain"));
    }
    if (meanwhile == "open complete")
        QCOMPARE(boundBlocks(window->currentDocument()), QStringList{"Sine@0"});
    QVERIFY(driver.unexpected().isEmpty());
}

void TestOnline::downloadWhileBlocksAsked_data()
{
    // When the download arrives: while drum's box is up, or while its blocks are on their way.
    QTest::addColumn<bool>("duringFetch");
    QTest::addColumn<QStringList>("hatLacks"); // the blocks the downloaded patch lacks
    QTest::addColumn<QStringList>("hatBlocks");
    for (bool fetch : {false, true}) {
        const char* when = fetch ? "while the blocks come" : "while the box asks";
        QTest::addRow("%s, a complete download", when)
            << fetch << QStringList() << QStringList{"Sine@0"};
        QTest::addRow("%s, a download that lacks a block too", when)
            << fetch << QStringList{"Right Gain"} << QStringList{"Sine@0", "Right Gain@2"};
    }
}

// A patch download that arrives while a file asks whether to fetch its blocks, or fetches
// them, does not take that open's place: the file's tab gets its blocks and its path, then the
// download opens.
void TestOnline::downloadWhileBlocksAsked()
{
    QFETCH(bool, duringFetch);
    QFETCH(QStringList, hatLacks);
    QFETCH(QStringList, hatBlocks);
    const QByteArray drum = patchUsing({QStringLiteral("Left Gain")}, QStringLiteral("drum"));
    RepositoryServer::Patch hat;
    hat.uid = server->users().first().uid;
    hat.name = QStringLiteral("hat");
    hat.filename = QStringLiteral("hat.ktl");
    hat.description = QStringLiteral("a hat");
    hat.data = patchUsing(hatLacks, QStringLiteral("hat"));
    const int hatId = server->addPatch(hat);
    addServerBlock(QStringLiteral("Left Gain"), QStringLiteral("left.xml"));
    addServerBlock(QStringLiteral("Right Gain"), QStringLiteral("right.xml"));
    startWindow(false);
    const QString path = files->filePath("drum.ktl");
    QVERIFY(writeAll(path, drum));

    MessageCapture capture;
    ModalDriver driver;
    QSignalSpy finished(shared()->networkManager(), &QNetworkAccessManager::finished);
    bool arrived = false;
    QStringList nested;
    if (duringFetch) {
        // drum's fetch waits for its block list; the download comes meanwhile.
        server->scriptFault(Fault::Hold, QStringLiteral("list_blocks"));
        driver.answerBox(QMessageBox::Ok);
    } else {
        server->scriptFault(Fault::Hold, QStringLiteral("get_patch"));
        shared()->getPatch(hatId);
        QTRY_COMPARE(server->heldCount(), 1);
        // The reply comes while drum's box is up; then the box is answered. A box that shows
        // meanwhile is the download's open taking drum's place: it is closed and noted, as the
        // driver cannot answer it while it waits here.
        driver.answer([&](QWidget* w) {
            QTimer other;
            QObject::connect(&other, &QTimer::timeout, [&] {
                QWidget* modal = QApplication::activeModalWidget();
                if (modal && modal != w && modal->isVisible()) {
                    nested << modal->windowTitle();
                    modal->close();
                }
            });
            other.start(10);
            finished.clear();
            server->releaseHeld();
            arrived = finished.wait(5000);
            if (auto* box = qobject_cast<QMessageBox*>(w))
                box->button(QMessageBox::Ok)->click();
        });
    }
    if (!hatLacks.isEmpty())
        driver.answerBox(QMessageBox::Ok);
    window->openFromPath(path);
    if (duringFetch) {
        QTRY_COMPARE(server->heldCount(), 1);
        finished.clear();
        shared()->getPatch(hatId);
        arrived = finished.wait(5000);
        server->releaseHeld();
    }
    QVERIFY(arrived);
    QCOMPARE(nested, QStringList());
    QTRY_COMPARE(tabTexts(window.get()), (QStringList{"new patch", "drum", "hat"}));
    PatchDocument* drumDoc = window->documentAt(1);
    PatchDocument* hatDoc = window->documentAt(2);
    QTRY_COMPARE(boundBlocks(drumDoc), (QStringList{"Sine@0", "Left Gain@2"}));
    QCOMPARE(drumDoc->patchInfo()->path, path);
    QTRY_COMPARE(boundBlocks(hatDoc), hatBlocks);
    QVERIFY(hatDoc->patchInfo()->path.isEmpty());
    QTRY_COMPARE(liveReplies(shared()), 0);
    QCOMPARE(driver.seen().size(), hatLacks.isEmpty() ? 1 : 2);
    QVERIFY(driver.unexpected().isEmpty());
    QVERIFY(!capture.contains(QtDebugMsg, "no longer downloaded"));
    QVERIFY(!capture.contains(QtDebugMsg, "Downloaded blocks dropped"));
}

void TestOnline::versionNotice_data()
{
    QTest::addColumn<int>("build");
    QTest::addColumn<bool>("notice");
    QTest::newRow("newer version on the server") << 1 << true;
    QTest::newRow("the same version") << 0 << false;
}

// At the showing of the window, with no remembered log-in, the version check goes out.
void TestOnline::versionNotice()
{
    QFETCH(int, build);
    QFETCH(bool, notice);
    server->setVersion(1, 0, build);
    startWindow(false);
    ModalDriver driver;
    if (notice)
        driver.answerBox(QMessageBox::Ok);
    window->logIn();
    QTRY_COMPARE(actionsOf(*server), QStringList{"version"});
    Repository* client = window->onlineController()->getLogIn()->loginRepository();
    QTRY_COMPARE(liveReplies(client), 0);
    if (notice) {
        QTRY_COMPARE(driver.seen().size(), 1);
        QVERIFY2(driver.seen().first().startsWith(
                     "Knotlattice|<p align='center'>New Knotlattice version is available : "
                     "1.0.1<br/>"),
                 qPrintable(driver.seen().first()));
    }
    QCOMPARE(driver.seen().size(), notice ? 1 : 0);
    QVERIFY(driver.unexpected().isEmpty());
}

void TestOnline::blockSaved_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("joins");
    QTest::newRow("a new block") << "new" << true;
    QTest::newRow("a name the library has") << "known" << false;
    QTest::newRow("not a block file") << "broken" << false;
}

// A block saved into the custom folder joins the library and the palette at once, unless its
// name is taken.
void TestOnline::blockSaved()
{
    QFETCH(QString, file);
    QFETCH(bool, joins);
    startWindow(true);
    const QStringList before = paletteNames(window.get());
    QVERIFY(before.contains("Left Gain"));
    const QString path = custom->filePath("saved.xml");
    if (file == "new")
        QVERIFY(writeAll(path, blockFile(QStringLiteral("Middle Gain"), QStringLiteral("t_mid"))));
    else if (file == "known")
        QVERIFY(writeAll(path, blockFile(QStringLiteral("Left Gain"), QStringLiteral("t_l2"))));
    else
        QVERIFY(writeAll(path, "<block"));
    MessageCapture capture;
    window->blockSaved(path);
    QStringList expected = before;
    if (joins) {
        expected << "Middle Gain";
        expected.sort();
    }
    QCOMPARE(paletteNames(window.get()), expected);
    QCOMPARE(window->blockManager()->blockDescription(QStringLiteral("Middle Gain")) != nullptr,
             joins);
}

// The "community" action (Ctrl+P) opens the community window with both lists fetched again.
void TestOnline::communityAction()
{
    startWindow(false);
    window->show();
    addServerBlock(QStringLiteral("Left Gain"), QStringLiteral("left.xml"));
    server->clearRequests();
    QCOMPARE(window->getAction("community")->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    window->getAction("community")->trigger();
    CommunityWindow* community = window->onlineController()->getCommunityWindow();
    QVERIFY(community->isVisible());
    QTRY_COMPARE(actionsOf(*server), (QStringList{"list_patches", "list_blocks"}));
    QTRY_COMPARE(community->getCommunityBlocksTab()->tableWidget()->rowCount(), 1);
    // Shown again, it fetches again.
    window->getAction("community")->trigger();
    QTRY_COMPARE(actionsOf(*server).size(), 4);
}

// The current patch goes up from the user window with its two custom blocks; the editor is
// disabled while the window is open and the tab takes the name given.
void TestOnline::uploadThroughUserWindow()
{
    startWindow(true);
    window->show();
    logIn();
    PatchDocument* doc = window->currentDocument();
    PatchBuilder build(doc);
    const int sine = build.block(QStringLiteral("Sine"), 100, 100);
    const int left = build.block(QStringLiteral("Left Gain"), 300, 100);
    build.cable(sine, 0, left, 0);
    build.cable(left, 0, build.block(QStringLiteral("Right Gain"), 500, 100), 0);
    QVERIFY2(build.failures.isEmpty(), qPrintable(build.failures.join("; ")));

    Online* online = window->onlineController();
    online->getAction("user")->trigger();
    UserWindow* user = online->getUserWindow();
    QVERIFY(user->isVisible());
    QVERIFY(!window->isEnabled());
    UserPatches* tab = online->getUserPatchesWindow();
    QCOMPARE(tab, user->getUserPatchesTab());
    auto lists = [this] { return actionsOf(*server).filter(QStringLiteral("list_")); };
    QTRY_COMPARE(lists(), (QStringList{"list_user_patches", "list_user_blocks", "list_blocks"}));
    tab->nameField()->setText(QStringLiteral("Pair"));
    tab->descriptionField()->setPlainText(QStringLiteral("Two gains"));
    MessageCapture capture;
    tab->button(QStringLiteral("upload"))->click();
    QCOMPARE(window->tabWidget()->tabText(0), QStringLiteral("Pair *"));
    QTRY_COMPARE(server->patches().size(), 1);
    const RepositoryServer::Patch stored = server->patches().first();
    QCOMPARE(stored.name, QStringLiteral("Pair"));
    QCOMPARE(stored.description, QStringLiteral("Two gains"));
    QCOMPARE(util::unpackPatch(stored.data).size(), 3);
    QCOMPARE(util::unpackPatch(stored.data).first(), window->getSaveData(doc));
    QTRY_COMPARE(tab->tableWidget()->rowCount(), 1);
    QCOMPARE(capture.warnings(), QStringList{"Patch uploaded successfully"});

    user->close();
    QVERIFY(window->isEnabled());
}

// A block downloaded from the community window into the custom folder joins the palette.
void TestOnline::downloadedBlockJoinsPalette()
{
    addServerBlock(QStringLiteral("Right Gain"), QStringLiteral("../right.xml"));
    QVERIFY(QFile::remove(custom->filePath("right.xml")));
    startWindow(true);
    QVERIFY(!paletteNames(window.get()).contains("Right Gain"));
    window->show();
    window->getAction("community")->trigger();
    CommunityBlocks* blocks =
        window->onlineController()->getCommunityWindow()->getCommunityBlocksTab();
    QTRY_COMPARE(blocks->tableWidget()->rowCount(), 1);
    blocks->tableWidget()->selectRow(0);
    ModalDriver driver;
    driver.answer([](QWidget* w) { static_cast<QDialog*>(w)->accept(); });
    blocks->downloadClicked();
    QTRY_VERIFY(paletteNames(window.get()).contains("Right Gain"));
    QVERIFY(QFile::exists(custom->filePath("right.xml")));
    QVERIFY(driver.unexpected().isEmpty());
}

KL_TEST_MAIN(TestOnline)
#include "test_online.moc"
