// Opening a patch file into a new tab: which descriptions the blocks get, which warnings the
// user sees, how cables, the view and the recent files come out, and what happens to blocks
// whose descriptions never arrive.
#include "BinaryUtil.h"
#include "BlockConnection.h"
#include "BlockDescription.h"
#include "BlockInstance.h"
#include "BlockManager.h"
#include "MainWindow.h"
#include "MessageCapture.h"
#include "ModalDriver.h"
#include "PatchDocument.h"
#include "PatchFile.h"
#include "PatchInfo.h"
#include "PatchRecord.h"
#include "Preferences.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <memory>
#include <vector>

namespace {

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

// Blocks placed by name, with the hash each was saved with, and cables between them.
struct Saved
{
    std::vector<BlockDescription> descriptions;
    std::vector<BlockInstance> instances;
    std::vector<BlockConnection> cables;

    // Stands for a description of that name whose file had `hash`.
    void add(const QString& name, const QString& hash, int id)
    {
        BlockDescription d;
        d.name = name;
        d.hash = hash;
        descriptions.push_back(d);
        BlockInstance i;
        i.id = id;
        i.x = 100 * id;
        i.y = 200;
        instances.push_back(i);
    }
    void connect(int fromIndex, int toIndex)
    {
        BlockConnection c;
        c.id = 50 + int(cables.size());
        c.outBlockSocketId = 0;
        c.inBlockSocketId = 0;
        cables.push_back(c);
        from.push_back(fromIndex);
        to.push_back(toIndex);
    }
    QByteArray record(const PatchInfo& info, int centreX = 2000, int centreY = 2000)
    {
        QList<const BlockInstance*> list;
        for (size_t k = 0; k < instances.size(); ++k) {
            instances[k].description = &descriptions[k];
            instances[k].outputs.clear();
            instances[k].inputs.clear();
        }
        for (size_t k = 0; k < cables.size(); ++k) {
            cables[k].outBlock = &instances[size_t(from[k])];
            cables[k].inBlock = &instances[size_t(to[k])];
            instances[size_t(from[k])].outputs.insert(0, &cables[k]);
            instances[size_t(to[k])].inputs.insert(0, &cables[k]);
        }
        for (BlockInstance& i : instances)
            list << &i;
        return util::makePatchRecord(list, {}, info, centreX, centreY);
    }

    std::vector<int> from;
    std::vector<int> to;
};

PatchInfo namedInfo(const QString& name)
{
    PatchInfo info;
    info.name = name;
    info.includeBlocks = false;
    return info;
}

// A record of the first release: block records without hashes and no header.
QByteArray version0Record(const QByteArray& name)
{
    QByteArray r;
    util::bin::appendBE32(r, quint32(name.size() + 1));
    r += name + '\0';
    r += char(1);                          // id
    r += QByteArray::fromHex("0064 00c8"); // x 100, y 200
    const QByteArray values = "0;0;0";
    util::bin::appendBE32(r, quint32(values.size() + 1));
    r += values + '\0';
    r += char(0); // no cables
    return r;
}

} // namespace

class TestOpenPatch : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void recentFilesAfterOpen_data();
    void recentFilesAfterOpen();
    void repairedFileReplacesLeftoverTab_data();
    void repairedFileReplacesLeftoverTab();
    void carriedBlocks_data();
    void carriedBlocks();
    void damagedCarriedBlockIsReported();
    void version0NeverWarnsOfDifferentBlocks();
    void cablesAreNumberedFromZero();
    void viewComesBackAtItsCentreAndZoom();
    void firmwareAlwaysOpensANewTab();
    void blockWithoutDescriptionIsLeftOut();

private:
    PatchDocument* open(const QString& path, const QByteArray& bytes);

    std::unique_ptr<TempProgramDir> program;
    std::unique_ptr<QTemporaryDir> files;
    std::unique_ptr<MainWindow> window;
};

void TestOpenPatch::init()
{
    QSettings().clear();
    program = std::make_unique<TempProgramDir>();
    QVERIFY(program->copyIn(testsupport::sourcePath("tests/app/fixtures/blocks"), "blocks"));
    files = std::make_unique<QTemporaryDir>();
    QSettings().setValue(Preferences::DefaultPatchPath, files->path());
    window = std::make_unique<MainWindow>();
}

void TestOpenPatch::cleanup()
{
    window.reset();
    files.reset();
    program.reset();
}

PatchDocument* TestOpenPatch::open(const QString& path, const QByteArray& bytes)
{
    if (!writeAll(path, bytes))
        return nullptr;
    window->openFromPath(path);
    return window->currentDocument();
}

void TestOpenPatch::recentFilesAfterOpen_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("recent");   // the file is at the front of the recent files
    QTest::addColumn<bool>("withPath"); // the new tab saves back to the file
    QTest::addColumn<int>("tabs");
    QTest::newRow("opens completely") << "complete" << true << true << 2;
    QTest::newRow("unknown format") << "damaged" << false << false << 2;
    QTest::newRow("cut short, part of it read") << "cut" << true << false << 2;
    QTest::newRow("empty patch") << "empty" << true << true << 2;
    QTest::newRow("missing blocks, not fetched") << "missing" << true << false << 2;
    QTest::newRow("cannot be read") << "unreadable" << false << false << 1;
    QTest::newRow("its name is open already") << "open already" << false << false << 1;
}

void TestOpenPatch::recentFilesAfterOpen()
{
    QFETCH(QString, kind);
    QFETCH(bool, recent);
    QFETCH(bool, withPath);
    QFETCH(int, tabs);

    const QString sineHash = window->blockManager()->blockDescription("Sine")->hash;
    QString path = files->path() + "/drum.ktl";
    QByteArray bytes;
    Saved saved;
    ModalDriver driver;
    if (kind == "complete") {
        saved.add("Sine", sineHash, 1);
        bytes = saved.record(namedInfo("drum"));
    } else if (kind == "damaged") {
        bytes = QByteArray("\x00\x07 not a patch", 14);
    } else if (kind == "cut") {
        for (int id = 1; id <= 40; ++id)
            saved.add("Sine", sineHash, id);
        // The record whole, the block file it carries cut.
        const QByteArray carried =
            qCompress(readAll(testsupport::sourcePath("tests/app/fixtures/blocks/sine.xml")));
        bytes = saved.record(namedInfo("drum")) + util::bin::createSeparator() +
                carried.left(carried.size() / 2);
    } else if (kind == "empty") {
        bytes = saved.record(namedInfo("drum"));
    } else if (kind == "missing") {
        saved.add("Nowhere", "1234", 1);
        bytes = saved.record(namedInfo("drum"));
        driver.answerBox(QMessageBox::Cancel);
    } else if (kind == "open already") {
        // The first tab's name.
        path = files->path() + "/new patch.ktl";
        saved.add("Sine", sineHash, 1);
        bytes = saved.record(namedInfo("x"));
    }
    MessageCapture messages;
    if (kind == "unreadable")
        window->openFromPath(path);
    else
        QVERIFY(open(path, bytes));

    QCOMPARE(window->tabWidget()->count(), tabs);
    QCOMPARE(window->recentFileList().value(0) == path, recent);
    QCOMPARE(window->recentFileList().size(), recent ? 1 : 0);
    QCOMPARE(window->getAction(path) != nullptr, recent);
    if (tabs == 2)
        QCOMPARE(window->currentDocument()->patchInfo()->path, withPath ? path : QString());
}

void TestOpenPatch::repairedFileReplacesLeftoverTab_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("replaced"); // the repaired file opens in place of the first tab
    QTest::newRow("unknown format") << "damaged" << true;
    QTest::newRow("carried block cut short") << "cut" << true;
    QTest::newRow("missing blocks, not fetched") << "missing" << true;
    // What the user changed is a patch of its own, named after the file.
    QTest::newRow("a leftover that was edited") << "edited" << false;
}

void TestOpenPatch::repairedFileReplacesLeftoverTab()
{
    QFETCH(QString, kind);
    QFETCH(bool, replaced);

    const QString sineHash = window->blockManager()->blockDescription("Sine")->hash;
    const QString path = files->path() + "/drum.ktl";
    Saved good;
    good.add("Sine", sineHash, 1);
    good.add("Sine", sineHash, 2);
    const QByteArray repaired = good.record(namedInfo("drum"));
    QByteArray broken;
    ModalDriver driver;
    if (kind == "damaged" || kind == "edited") {
        broken = QByteArray("\x00\x07 not a patch", 14);
    } else if (kind == "cut") {
        const QByteArray carried =
            qCompress(readAll(testsupport::sourcePath("tests/app/fixtures/blocks/sine.xml")));
        broken = repaired + util::bin::createSeparator() + carried.left(carried.size() / 2);
    } else {
        Saved missing;
        missing.add("Nowhere", "1234", 1);
        broken = missing.record(namedInfo("drum"));
        driver.answerBox(QMessageBox::Cancel);
    }
    {
        MessageCapture messages;
        QVERIFY(open(path, broken));
    }
    // A second tab, so that the place of the first shows.
    window->newDocument();
    QCOMPARE(window->tabWidget()->count(), 3);
    QPointer<PatchDocument> leftover = window->documentAt(1);
    QCOMPARE(leftover->patchInfo()->name, QStringLiteral("drum"));
    QVERIFY(leftover->patchInfo()->path.isEmpty());
    if (kind == "edited")
        leftover->addComment(1, 10, 10, QStringLiteral("mine"));

    MessageCapture messages;
    PatchDocument* doc = open(path, repaired);
    QVERIFY2(messages.warnings().isEmpty(), qPrintable(messages.warnings().join('|')));
    if (!replaced) {
        QCOMPARE(doc, leftover.data());
        QCOMPARE(window->tabWidget()->count(), 3);
        return;
    }
    QCOMPARE(window->tabWidget()->count(), 3);
    QCOMPARE(window->tabWidget()->currentIndex(), 1);
    QVERIFY(leftover.isNull());
    QCOMPARE(doc->patchInfo()->path, path);
    QCOMPARE(doc->blockInstances().size(), 2);
    QCOMPARE(window->recentFileList().value(0), path);
    // Now the tab stands for its file.
    QCOMPARE(open(path, repaired), doc);
    QCOMPARE(window->tabWidget()->count(), 3);
}

void TestOpenPatch::carriedBlocks_data()
{
    QTest::addColumn<bool>("sameAsLibrary");
    QTest::newRow("same name and hash as the library's") << true;
    QTest::newRow("another hash") << false;
}

void TestOpenPatch::carriedBlocks()
{
    QFETCH(bool, sameAsLibrary);
    const BlockDescription* library = window->blockManager()->blockDescription("Sine");
    QByteArray file = readAll(testsupport::sourcePath("tests/app/fixtures/blocks/sine.xml"));
    QVERIFY(!file.isEmpty());
    if (!sameAsLibrary)
        file.replace("A sine wave.", "A sine wave, carried.");
    BlockDescription carried =
        BlockManager::loadBlock(file, BlockDescription::OriginPatch, QString(), QString());
    QCOMPARE(carried.hash == library->hash, sameAsLibrary);

    // The blocks were saved with the carried file, so they name its hash.
    Saved saved;
    saved.add("Sine", carried.hash, 1);
    saved.add("Sine", carried.hash, 2);
    PatchInfo info = namedInfo("carry");
    info.includeBlocks = true;
    const QByteArray bytes =
        util::patchFileBytes(saved.record(info), {{QStringLiteral("Sine"), carried}}, true);

    MessageCapture messages;
    PatchDocument* doc = open(files->path() + "/carry.ktl", bytes);
    QVERIFY(doc);
    QVERIFY2(messages.warnings().isEmpty(), qPrintable(messages.warnings().join('|')));
    const BlockDescription* own = doc->getBlockDescription("Sine");
    QCOMPARE(own == nullptr, sameAsLibrary);
    const InstanceList opened = doc->blockInstances();
    QCOMPARE(opened.size(), 2);
    for (const BlockInstance* instance : opened) {
        QCOMPARE(instance->description, sameAsLibrary ? library : own);
        QCOMPARE(instance->description->help.contains("carried"), !sameAsLibrary);
    }
}

void TestOpenPatch::damagedCarriedBlockIsReported()
{
    Saved saved;
    saved.add("Sine", window->blockManager()->blockDescription("Sine")->hash, 1);
    const QByteArray bytes = saved.record(namedInfo("torn")) + util::bin::createSeparator() +
                             QByteArray("\x00\x00\x00\x10junk", 8);
    MessageCapture messages;
    PatchDocument* doc = open(files->path() + "/torn.ktl", bytes);
    QVERIFY(doc);
    QCOMPARE(messages.warnings().size(), 1);
    QVERIFY2(messages.warnings().first().contains("- 1 block file the patch carries is damaged"),
             qPrintable(messages.warnings().first()));
    QCOMPARE(doc->blockInstances().size(), 1);
    // The file holds more than the tab: a Save must not write the tab over it.
    QVERIFY(doc->patchInfo()->path.isEmpty());
}

void TestOpenPatch::version0NeverWarnsOfDifferentBlocks()
{
    // The first release stored no hashes; the library's Gain is taken as it is.
    MessageCapture messages;
    PatchDocument* doc = open(files->path() + "/old.ktl", version0Record("Gain"));
    QVERIFY(doc);
    QVERIFY2(messages.warnings().isEmpty(), qPrintable(messages.warnings().join('|')));
    QCOMPARE(doc->blockInstances().size(), 1);
    QCOMPARE(doc->blockInstances().first()->description->name, QStringLiteral("Gain"));
}

void TestOpenPatch::cablesAreNumberedFromZero()
{
    const QString hash = window->blockManager()->blockDescription("Gain")->hash;
    Saved saved;
    saved.add("Gain", hash, 4);
    saved.add("Gain", hash, 7);
    saved.add("Gain", hash, 9);
    saved.connect(0, 1);
    saved.connect(1, 2);
    PatchDocument* doc = open(files->path() + "/chain.ktl", saved.record(namedInfo("chain")));
    QVERIFY(doc);
    const QList<const BlockConnection*> cables = doc->blockConnections();
    QCOMPARE(cables.size(), 2);
    QVERIFY(doc->blockConnection(0) && doc->blockConnection(1));
    QCOMPARE(doc->blockConnection(0)->outBlock->id, 4);
    QCOMPARE(doc->blockConnection(1)->outBlock->id, 7);
    QCOMPARE(doc->highestConnectionId(), 1);
}

void TestOpenPatch::viewComesBackAtItsCentreAndZoom()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    Saved saved;
    saved.add("Sine", window->blockManager()->blockDescription("Sine")->hash, 1);
    PatchInfo info = namedInfo("view");
    info.zoomLevel = 3;
    PatchDocument* doc = open(files->path() + "/view.ktl", saved.record(info, 2600, 1500));
    QVERIFY(doc);
    QCOMPARE(doc->patchInfo()->zoomLevel, 3);
    QVERIFY(qAbs(doc->transform().m11() - 1.15 * 1.15 * 1.15) < 1e-9);
    const QPointF centre = doc->mapToScene(doc->viewport()->rect().center());
    QVERIFY2(qAbs(centre.x() - 2600) <= 1 && qAbs(centre.y() - 1500) <= 1,
             qPrintable(QString("centre %1, %2").arg(centre.x()).arg(centre.y())));
}

void TestOpenPatch::firmwareAlwaysOpensANewTab()
{
    Saved saved;
    saved.add("Sine", window->blockManager()->blockDescription("Sine")->hash, 1);
    const QByteArray bytes = saved.record(namedInfo("x"));
    QVERIFY(writeAll(files->path() + "/firmware.ktl", bytes));
    QVERIFY(writeAll(files->path() + "/drum.ktl", bytes));
    for (int i = 0; i < 2; ++i) {
        window->openFromPath(files->path() + "/firmware.ktl");
        window->openFromPath(files->path() + "/drum.ktl");
    }
    // The first tab, two of firmware and one of drum.
    QCOMPARE(window->tabWidget()->count(), 4);
    QCOMPARE(window->tabWidget()->tabText(1), QStringLiteral("firmware"));
    QCOMPARE(window->tabWidget()->tabText(3), QStringLiteral("firmware"));
}

void TestOpenPatch::blockWithoutDescriptionIsLeftOut()
{
    Saved saved;
    saved.add("Sine", window->blockManager()->blockDescription("Sine")->hash, 1);
    saved.add("Nowhere", "1234", 2);
    saved.connect(0, 1);
    QList<RepositoryBlock> asked;
    window->setBlockFetcher([&asked](QList<RepositoryBlock>& blocks) { asked = blocks; });
    ModalDriver driver;
    driver.answerBox(QMessageBox::Ok);
    PatchDocument* doc = open(files->path() + "/partial.ktl", saved.record(namedInfo("partial")));
    QVERIFY(doc);
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.first().name, QStringLiteral("Nowhere"));
    QCOMPARE(asked.first().hash, QStringLiteral("1234"));
    QVERIFY(doc->isEmpty());

    // The download came back without it.
    MessageCapture messages;
    QList<QByteArray> none;
    window->repositoryBlockFiles(none);
    QCOMPARE(doc->blockInstances().size(), 1);
    QCOMPARE(doc->blockInstances().first()->id, 1);
    QVERIFY(doc->blockConnections().isEmpty());
    QVERIFY(messages.contains(QtDebugMsg, "1 block(s) Nowhere left out"));
}

KL_TEST_MAIN(TestOpenPatch)

#include "test_openpatch.moc"
