#include "BlockDescription.h"
#include "BlockInstance.h"
#include "BlockManager.h"
#include "MainWindow.h"
#include "MessageCapture.h"
#include "ModalDriver.h"
#include "PatchDocument.h"
#include "PatchFile.h"
#include "PatchRecord.h"
#include "PatchScene.h"
#include "Preferences.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QAbstractButton>
#include <QFile>
#include <QMessageBox>
#include <QScrollBar>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QUndoStack>
#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// A user block written with CRLF line ends, so a carried copy must keep the CR bytes.
QByteArray userBlock(const QString& name)
{
    QByteArray xml = QStringLiteral("<?xml version=\"1.0\"?>\n<block name=\"%1\">\n"
                                    "<category>Effects</category>\n<info>Mine</info>\n"
                                    "<data name=\"%1_data\">\n<var socket=\"in\" info=\"In\"/>\n"
                                    "<var socket=\"out\" info=\"Out\"/>\n"
                                    "<var name=\"depth\" dtype=\"int32_t\" editable=\"1\" "
                                    "value=\"3\" info=\"Depth\"/>\n</data>\n"
                                    "<function name=\"%1_main\">data->out0 = data->in0[0];"
                                    "</function>\n</block>\n")
                         .arg(name)
                         .toUtf8();
    return xml.replace("\n", "\r\n");
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A record for instances of made-up descriptions, as another editor might have saved it.
struct ForeignPatch
{
    std::vector<BlockDescription> descriptions;
    std::vector<BlockInstance> instances;

    void add(const QString& name, const QString& hash, int id, int nodeId)
    {
        BlockDescription d;
        d.name = name;
        d.hash = hash;
        descriptions.push_back(d);
        BlockInstance i;
        i.id = id;
        i.nodeId = nodeId;
        i.x = 100 * id;
        i.y = 100;
        instances.push_back(i);
    }
    QByteArray record(const QString& name, int nodeId)
    {
        QList<const BlockInstance*> list;
        for (size_t k = 0; k < instances.size(); ++k) {
            instances[k].description = &descriptions[k];
            list << &instances[k];
        }
        PatchInfo info;
        info.name = name;
        info.nodeId = nodeId;
        info.includeBlocks = false;
        return util::makePatchRecord(list, {}, info, 2000, 2000);
    }
};

} // namespace

class TestPatchFiles : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void saveThenOpenRestoresEverything();
    void openingAnOpenNameSwitchesTabs();
    void failingSaveKeepsDocumentChanged();
    void unreadableCarriedBlockFailsSave();
    void writeCutShortKeepsOldFile();
    void damagedFileOpensWithoutPath();
    void openingReport_data();
    void openingReport();
    void missingBlockCancelled();
    void shortValueListsArePadded();
    void recentFilesTrimmed();
    void longFileNamesSaveInPlace_data();
    void longFileNamesSaveInPlace();
    void viewCentreStaysOverSavesAndReopens_data();
    void viewCentreStaysOverSavesAndReopens();

private:
    std::unique_ptr<TempProgramDir> program;
    std::unique_ptr<QTemporaryDir> custom;
    std::unique_ptr<QTemporaryDir> files;
    std::unique_ptr<MainWindow> window;
};

void TestPatchFiles::init()
{
    QSettings().clear();
    program = std::make_unique<TempProgramDir>();
    QVERIFY(program->copyIn(testsupport::sourcePath("tests/app/fixtures/blocks"), "blocks"));
    custom = std::make_unique<QTemporaryDir>();
    files = std::make_unique<QTemporaryDir>();
    QVERIFY(writeAll(custom->path() + "/echo.xml", userBlock("Echo")));
    QVERIFY(writeAll(custom->path() + "/fuzz.xml", userBlock("Fuzz")));
    QSettings().setValue(Preferences::CustomBlocksPath, custom->path());
    QSettings().setValue(Preferences::DefaultPatchPath, files->path());
    window = std::make_unique<MainWindow>();
}

void TestPatchFiles::cleanup()
{
    window.reset();
    files.reset();
    custom.reset();
    program.reset();
}

void TestPatchFiles::saveThenOpenRestoresEverything()
{
    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Sine", 100, 120);
    doc->addBlockHandler("Echo", 300, 120);
    doc->addBlockHandler("Fuzz", 500, 120);
    const InstanceList made = doc->blockInstances();
    QCOMPARE(made.size(), 3);
    doc->addConnectionHandler(1, made[0]->id, 0, made[1]->id, 0);
    doc->addConnectionHandler(2, made[1]->id, 0, made[2]->id, 0);
    doc->editVariable(made[1]->id, 2, "7");
    doc->addComment(1, 40, 50);
    doc->editComment(1, 40, 50, "<b>hello</b> there");
    doc->patchInfo()->nodeId = 7;

    const QString path = files->path() + "/drum.ktl";
    ModalDriver driver;
    driver.acceptFileDialog(path);
    QCOMPARE(window->savePatch(), MainWindow::SaveResult::Saved);
    QVERIFY(driver.unexpected().isEmpty());
    QCOMPARE(doc->patchInfo()->name, QStringLiteral("drum"));
    QCOMPARE(doc->patchInfo()->path, path);
    QCOMPARE(doc->patchInfo()->saved, 1);
    QVERIFY(!doc->changed());
    QCOMPARE(window->recentFileList().value(0), path);

    // The carried block files keep their bytes, CR included.
    const util::PatchFileContents first = util::readPatchFile(readAll(path));
    QCOMPARE(first.patch.saved, 1);
    QCOMPARE(first.blockFiles.size(), 2);
    QSet<QByteArray> carried(first.blockFiles.cbegin(), first.blockFiles.cend());
    QVERIFY(carried.contains(userBlock("Echo")));
    QVERIFY(carried.contains(userBlock("Fuzz")));

    doc->moveBlockHandler(made[0]->id, 110, 130);
    QCOMPARE(window->savePatch(), MainWindow::SaveResult::Saved);
    QCOMPARE(util::readPatchFile(readAll(path)).patch.saved, 2);

    // A fresh window opens it again; the name is the file's.
    window = std::make_unique<MainWindow>();
    window->openFromPath(path);
    PatchDocument* opened = window->currentDocument();
    QCOMPARE(window->tabWidget()->count(), 2);
    QCOMPARE(opened->patchInfo()->name, QStringLiteral("drum"));
    QCOMPARE(opened->patchInfo()->path, path);
    QCOMPARE(opened->patchInfo()->saved, 2);
    QCOMPARE(opened->patchInfo()->nodeId, 7);
    QVERIFY(!opened->changed());
    QCOMPARE(opened->undoStack()->count(), 0);
    const InstanceList back = opened->blockInstances();
    QCOMPARE(back.size(), 3);
    QCOMPARE(back[0]->x, 110);
    QCOMPARE(back[1]->values.at(2), QStringLiteral("7"));
    QCOMPARE(back[0]->nodeId, 7);
    QCOMPARE(opened->blockConnections().size(), 2);
    QCOMPARE(back[0]->outputs.value(0)->inBlock->id, back[1]->id);
    QCOMPARE(opened->comments().size(), 1);
    QCOMPARE(opened->comments().first()->text, QStringLiteral("<b>hello</b> there"));
}

void TestPatchFiles::openingAnOpenNameSwitchesTabs()
{
    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Sine", 100, 100);
    const QString path = files->path() + "/drum.ktl";
    ModalDriver driver;
    driver.acceptFileDialog(path);
    QCOMPARE(window->savePatch(), MainWindow::SaveResult::Saved);

    window->newDocument();
    QCOMPARE(window->tabWidget()->currentIndex(), 1);
    // Another file of the same base name only switches to the tab.
    QVERIFY(QDir().mkpath(files->path() + "/other"));
    QVERIFY(QFile::copy(path, files->path() + "/other/drum.ktl"));
    window->openFromPath(files->path() + "/other/drum.ktl");
    QCOMPARE(window->tabWidget()->count(), 2);
    QCOMPARE(window->tabWidget()->currentIndex(), 0);
}

void TestPatchFiles::failingSaveKeepsDocumentChanged()
{
    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Sine", 100, 100);
    doc->patchInfo()->path = files->path() + "/no/such/folder/x.ktl";
    MessageCapture messages;
    QCOMPARE(window->savePatch(), MainWindow::SaveResult::Failed);
    QVERIFY(messages.contains(QtWarningMsg, "Cannot open file for writing: "));
    QVERIFY(doc->changed());
    QCOMPARE(doc->patchInfo()->saved, 0);
    QVERIFY(window->recentFileList().isEmpty());
    QCOMPARE(window->tabWidget()->tabText(0), QStringLiteral("new patch *"));
}

void TestPatchFiles::unreadableCarriedBlockFailsSave()
{
    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Echo", 100, 100);
    const QString path = files->path() + "/keep.ktl";
    QVERIFY(writeAll(path, "original"));
    doc->patchInfo()->path = path;
    QVERIFY(QFile::remove(custom->path() + "/echo.xml"));

    MessageCapture messages;
    QCOMPARE(window->savePatch(), MainWindow::SaveResult::Failed);
    QVERIFY(messages.contains(QtWarningMsg, "Could not read file : "));
    QCOMPARE(readAll(path), QByteArray("original"));
    QVERIFY(doc->changed());
}

// A disk that fills while the file is written (a size limit stands in for it, even for root)
// leaves the saved patch as it was.
void TestPatchFiles::writeCutShortKeepsOldFile()
{
    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Sine", 100, 100);
    const QString path = files->path() + "/keep.ktl";
    QVERIFY(writeAll(path, "original"));
    doc->patchInfo()->path = path;

    rlimit previous{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 16;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    MessageCapture messages;
    const MainWindow::SaveResult result = window->savePatch();
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(result, MainWindow::SaveResult::Failed);
    QVERIFY(messages.contains(QtWarningMsg, "Cannot open file for writing: "));
    QCOMPARE(readAll(path), QByteArray("original"));
    QVERIFY(doc->changed());
    QCOMPARE(doc->patchInfo()->saved, 0);
}

void TestPatchFiles::damagedFileOpensWithoutPath()
{
    const QString path = files->path() + "/broken.ktl";
    QVERIFY(writeAll(path, QByteArray("\x00\x07 not a patch", 14)));
    MessageCapture messages;
    window->openFromPath(path);
    QVERIFY(messages.contains(QtWarningMsg, "Cant open patch. Unknown format."));
    PatchDocument* doc = window->currentDocument();
    QCOMPARE(doc->patchInfo()->name, QStringLiteral("broken"));
    QVERIFY(doc->patchInfo()->path.isEmpty());
    QVERIFY(doc->isEmpty());
    // Nothing of it could be read: it would only push good files off the list.
    QVERIFY(window->recentFileList().isEmpty());

    // Saving asks for a new name; cancelling leaves the original untouched.
    ModalDriver driver;
    driver.rejectDialog();
    QCOMPARE(window->savePatch(), MainWindow::SaveResult::Cancelled);
    QCOMPARE(readAll(path), QByteArray("\x00\x07 not a patch", 14));
}

void TestPatchFiles::openingReport_data()
{
    QTest::addColumn<QString>("block");
    QTest::addColumn<bool>("warned");
    QTest::newRow("same hash") << "Sine" << false;
    QTest::newRow("different hash") << "Gain" << true;
    QTest::newRow("audio output exempt") << "Audio Output" << false;
}

void TestPatchFiles::openingReport()
{
    QFETCH(QString, block);
    QFETCH(bool, warned);
    const BlockDescription* library = window->blockManager()->blockDescription(block);
    QVERIFY(library);
    ForeignPatch foreign;
    const QString hash = warned || block == "Audio Output" ? QStringLiteral("abcd") : library->hash;
    foreign.add(block, hash, 1, 0);
    foreign.add(block, hash, 2, 9);
    const QString path = files->path() + "/foreign.ktl";
    QVERIFY(writeAll(path, foreign.record("foreign", 5)));

    MessageCapture messages;
    window->openFromPath(path);
    const QStringList warnings = messages.warnings();
    if (warned) {
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(warnings.first(),
                 "The following local block descriptions were different from those used in this "
                 "patch:\n\n- " +
                     block + "\n\nThese blocks may not operate as expected");
    } else {
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join("|")));
    }
    PatchDocument* doc = window->currentDocument();
    QCOMPARE(doc->patchInfo()->path, path);
    const InstanceList opened = doc->blockInstances();
    if (block == "Audio Output") {
        QCOMPARE(opened.size(), 2);
    } else {
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened[0]->nodeId, 5);
        QCOMPARE(opened[1]->nodeId, 9);
    }
}

void TestPatchFiles::missingBlockCancelled()
{
    ForeignPatch foreign;
    foreign.add("Nowhere", "1234", 1, 0);
    foreign.add("Nowhere", "1234", 2, 0);
    const QString path = files->path() + "/lost.ktl";
    QVERIFY(writeAll(path, foreign.record("lost", 0)));

    ModalDriver driver;
    QString informative;
    driver.answer([&informative](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("The following local block descriptions were not "
                                             "found:"));
        informative = box->informativeText();
        box->button(QMessageBox::Cancel)->click();
    });
    MessageCapture messages;
    window->openFromPath(path);
    QCOMPARE(informative, QStringLiteral("- Nowhere\n\nDo you wish to download them ?"));
    QVERIFY(messages.warnings().contains("Cannot assemble patch"));
    PatchDocument* doc = window->currentDocument();
    QCOMPARE(doc->patchInfo()->name, QStringLiteral("lost"));
    QVERIFY(doc->isEmpty());
    QVERIFY(doc->patchInfo()->path.isEmpty());
}

void TestPatchFiles::shortValueListsArePadded()
{
    const BlockDescription* sine = window->blockManager()->blockDescription("Sine");
    BlockInstance old;
    old.id = 1;
    old.description = sine;
    old.values = QStringList{"0", "0"}; // saved before "freq" existed
    PatchInfo info;
    info.name = "old";
    const QString path = files->path() + "/old.ktl";
    QVERIFY(writeAll(path, util::makePatchRecord({&old}, {}, info, 0, 0)));

    window->openFromPath(path);
    const BlockInstance* opened = window->currentDocument()->blockInstances().value(0);
    QVERIFY(opened);
    QCOMPARE(opened->values.size(), int(sine->variables.size()));
    QCOMPARE(opened->values.at(2), QStringLiteral("440"));
}

void TestPatchFiles::recentFilesTrimmed()
{
    for (int i = 0; i < 7; ++i) {
        const QString path = files->path() + QStringLiteral("/p%1.ktl").arg(i);
        window->currentDocument()->patchInfo()->path = path;
        QCOMPARE(window->savePatch(), MainWindow::SaveResult::Saved);
    }
    const QStringList recent = window->recentFileList();
    QCOMPARE(recent.size(), 5);
    QCOMPARE(recent.first(), files->path() + "/p6.ktl");
    QCOMPARE(QSettings().value(Preferences::RecentFiles).toStringList(), recent);
    QVERIFY(window->getAction(files->path() + "/p6.ktl"));
}

void TestPatchFiles::longFileNamesSaveInPlace_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("folderThere");
    // -1: the file is there, with permissions of its own; else it is new, saved under this
    // mask.
    QTest::addColumn<int>("mask");
    // Empty when the patch is saved.
    QTest::addColumn<QString>("reason");

    QTest::newRow("200 bytes") << 200 << true << -1 << QString();
    QTest::newRow("248 bytes") << 248 << true << -1 << QString();
    // Too long for QSaveFile's name beside it.
    QTest::newRow("249 bytes") << 249 << true << -1 << QString();
    QTest::newRow("255 bytes") << 255 << true << -1 << QString();
    QTest::newRow("255 bytes in a folder that is gone")
        << 255 << false << -1 << "Cannot open file for writing: No such file or directory";
    QTest::newRow("200 bytes, new") << 200 << true << 022 << QString();
    QTest::newRow("255 bytes, new") << 255 << true << 022 << QString();
    QTest::newRow("255 bytes, new, a stricter mask") << 255 << true << 077 << QString();
}

void TestPatchFiles::longFileNamesSaveInPlace()
{
    QFETCH(int, length);
    QFETCH(bool, folderThere);
    QFETCH(int, mask);
    QFETCH(QString, reason);

    const QString folder = files->path() + "/in";
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/" + QString(length - 4, QLatin1Char('n')) + ".ktl";
    QFile::Permissions permissions;
    if (mask < 0) {
        QVERIFY(writeAll(path, "the file as it was"));
        QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                                QFile::WriteUser | QFile::ReadGroup));
        permissions = QFile::permissions(path);
    } else {
        // What a file made new gets.
        const QFile::Permissions user =
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;
        permissions = user | (mask & 040 ? QFile::Permissions() : QFile::ReadGroup) |
                      (mask & 020 ? QFile::Permissions() : QFile::WriteGroup) |
                      (mask & 04 ? QFile::Permissions() : QFile::ReadOther) |
                      (mask & 02 ? QFile::Permissions() : QFile::WriteOther);
    }
    if (!folderThere)
        QVERIFY(QDir(folder).removeRecursively());

    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Sine", 100, 100);
    doc->patchInfo()->path = path;
    MessageCapture messages;
    const mode_t before = mask < 0 ? ::umask(022) : ::umask(mode_t(mask));
    const MainWindow::SaveResult result = window->savePatch(doc);
    ::umask(before);
    if (!reason.isEmpty()) {
        QCOMPARE(result, MainWindow::SaveResult::Failed);
        QCOMPARE(messages.warnings().size(), 1);
        QVERIFY2(messages.warnings().first().startsWith(reason),
                 qPrintable(messages.warnings().first()));
        QVERIFY(doc->changed());
        return;
    }
    QCOMPARE(result, MainWindow::SaveResult::Saved);
    QVERIFY2(messages.warnings().isEmpty(), qPrintable(messages.warnings().join('|')));
    QCOMPARE(util::readPatchFile(readAll(path)).patch.blocks.size(), 1);
    QCOMPARE(QFile::permissions(path), permissions);
    // Nothing is left beside it.
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
             QStringList{QFileInfo(path).fileName()});
}

// The scene point under the middle of the view is what the file keeps; the scroll bars must not
// move it.
void TestPatchFiles::viewCentreStaysOverSavesAndReopens_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("zoom");
    QTest::newRow("even viewport") << QSize(900, 600) << 0;
    QTest::newRow("odd viewport") << QSize(901, 601) << 0;
    QTest::newRow("zoomed in") << QSize(901, 600) << 3;
    QTest::newRow("zoomed out") << QSize(900, 601) << -4;
}

void TestPatchFiles::viewCentreStaysOverSavesAndReopens()
{
    QFETCH(QSize, size);
    QFETCH(int, zoom);
    window->resize(size);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Sine", 1200, 900);
    doc->setZoomLevel(zoom);
    doc->centerOn(1234, 987);
    QVERIFY(doc->verticalScrollBar()->isVisible());
    const QString path = files->path() + "/centre.ktl";
    doc->patchInfo()->path = path;
    auto centre = [](PatchDocument* d) {
        return d->mapToScene(QPoint(d->viewport()->width() / 2, d->viewport()->height() / 2));
    };
    const QPointF first = centre(doc);

    for (int round = 0; round < 10; ++round) {
        QCOMPARE(window->savePatch(doc), MainWindow::SaveResult::Saved);
        const QSize size = doc->viewport()->size();
        window->closeDocument(window->tabWidget()->indexOf(doc));
        window->openFromPath(path);
        doc = window->currentDocument();
        QCOMPARE(doc->patchInfo()->path, path);
        QTRY_COMPARE(doc->viewport()->size(), size);
    }
    QCOMPARE(centre(doc), first);
}

KL_TEST_MAIN(TestPatchFiles)

#include "test_patchfiles.moc"
