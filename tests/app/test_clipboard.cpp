// Copy and paste through the system clipboard, saving a carried block into the custom blocks
// folder, and reloading the block library, on a main window over a program folder of fixture
// blocks ("Sine": one input, one output; "Gain": two inputs, one output; "Audio Output").
#include "BinaryPacker.h"
#include "BlockManager.h"
#include "Browser.h"
#include "BrowserBlock.h"
#include "CanvasBlock.h"
#include "ClipboardPayload.h"
#include "MainWindow.h"
#include "MessageCapture.h"
#include "ModalDriver.h"
#include "PastePlan.h"
#include "PatchCable.h"
#include "PatchComment.h"
#include "PatchDocument.h"
#include "PatchFile.h"
#include "PatchScene.h"
#include "Preferences.h"
#include "SocketItem.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QLineEdit>
#include <QPainter>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolBox>
#include <QUndoStack>
#include <csignal>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

QByteArray blockXml(const QString& name, const QString& info = QStringLiteral("Mine"))
{
    return QStringLiteral("<?xml version=\"1.0\"?>\n<block name=\"%1\">\n"
                          "<category>Effects</category>\n<info>%2</info>\n"
                          "<data name=\"d\">\n<var socket=\"in\" info=\"In\"/>\n"
                          "<var socket=\"out\" info=\"Out\"/>\n</data>\n"
                          "<function name=\"f\">data->out0 = data->in0[0];</function>\n"
                          "</block>\n")
        .arg(name.toHtmlEscaped(), info)
        .toUtf8();
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

// The mouse passing over a scene point without a button; a patch scene takes it as its last
// click position.
void hover(QGraphicsScene* scene, const QPointF& at)
{
    QGraphicsSceneMouseEvent move(QEvent::GraphicsSceneMouseMove);
    move.setScenePos(at);
    move.setButtons(Qt::NoButton);
    QApplication::sendEvent(scene, &move);
}

QList<QPoint> placesOf(PatchDocument* doc, const QList<int>& ids)
{
    QList<QPoint> out;
    for (const int id : ids)
        out << QPoint(doc->blockInstance(id)->x, doc->blockInstance(id)->y);
    return out;
}

// "id:out.socket>in.socket" per cable, by id.
QStringList cablesOf(PatchDocument* doc)
{
    QStringList out;
    for (const BlockConnection* c : doc->blockConnections())
        out << QStringLiteral("%1:%2.%3>%4.%5")
                   .arg(c->id)
                   .arg(c->outBlock->id)
                   .arg(c->outBlockSocketId)
                   .arg(c->inBlock->id)
                   .arg(c->inBlockSocketId);
    return out;
}

QList<int> idsOf(PatchDocument* doc)
{
    QList<int> out;
    for (const BlockInstance* i : doc->blockInstances())
        out << i->id;
    return out;
}

QStringList commentsOf(PatchDocument* doc)
{
    QStringList out;
    for (const Comment* c : doc->comments())
        out << QStringLiteral("%1@%2,%3:%4").arg(c->id).arg(c->x).arg(c->y).arg(c->text);
    return out;
}

QToolBox* palette(MainWindow* window)
{
    return qobject_cast<QToolBox*>(window->browserDock()->widget());
}

// Every block of the palette's pages.
QList<BlockBase*> paletteBlocks(MainWindow* window)
{
    QList<BlockBase*> out;
    QToolBox* box = palette(window);
    for (int i = 0; box && i < box->count(); ++i) {
        auto* view = qobject_cast<QGraphicsView*>(box->widget(i));
        for (QGraphicsItem* item : view->scene()->items()) {
            if (!item->parentItem())
                out << static_cast<BlockBase*>(item);
        }
    }
    return out;
}

// Whether every socket of the block is drawn from its description's own variables.
bool socketsPointIntoDescription(const BlockBase* block)
{
    const BlockDescription* d = block->description();
    if (!d || d->variables.empty())
        return false;
    const Variable* first = &d->variables.front();
    const Variable* last = &d->variables.back();
    const QList<SocketItem*> sockets = block->inSockets() + block->outSockets();
    for (const SocketItem* s : sockets) {
        if (s->variable() < first || s->variable() > last)
            return false;
    }
    return sockets.size() == d->inputs.size() + d->outputs.size();
}

} // namespace

class TestClipboard : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void copyPasteIsOneUndoStep();
    void copyTakesOnlyTheSelection_data();
    void copyTakesOnlyTheSelection();
    void copyRefusesWhatPasteRefuses_data();
    void copyRefusesWhatPasteRefuses();
    void pastingTwiceGivesNewIds();
    void storedIdZeroReplacesNothing();
    void customBlockBetweenDocumentsAndEditors();
    void libraryBlockMissingElsewhere();
    void textThatIsNoPayload();
    void nothingWithoutDocument();

    void saveBlockIntoCustomFolder();
    void saveBlockUnderLongNames_data();
    void saveBlockUnderLongNames();
    void saveBlockAsksThroughDialog_data();
    void saveBlockAsksThroughDialog();
    void saveBlockReplacingAnswersTheQuestion();
    void failedSaveKeepsExistingFile();
    void saveBlockUnderLibraryName();
    void saveBlockNamesTheFileThatWins_data();
    void saveBlockNamesTheFileThatWins();
    void libraryBlockIsNotSaved();

    void reloadRebuildsPaletteAndEveryCanvas();

private:
    PatchDocument* sourceDocument();
    // A document holding a carried block of that name, origin OriginPatch.
    const BlockInstance* carriedBlock(PatchDocument* doc, const QString& name,
                                      const QByteArray& xml);
    std::unique_ptr<MainWindow> otherEditor(TempProgramDir& program);

    std::unique_ptr<TempProgramDir> program;
    std::unique_ptr<QTemporaryDir> custom;
    std::unique_ptr<MainWindow> window;
};

void TestClipboard::initTestCase()
{
    qputenv("KNOTLATTICE_AUDIO", "null");
}

void TestClipboard::init()
{
    QSettings().clear();
    program = std::make_unique<TempProgramDir>();
    QVERIFY(program->copyIn(testsupport::sourcePath("tests/app/fixtures/blocks"), "blocks"));
    custom = std::make_unique<QTemporaryDir>();
    QVERIFY(writeAll(custom->filePath("echo.xml"), blockXml("Echo")));
    QSettings().setValue(Preferences::CustomBlocksPath, custom->path());
    window = std::make_unique<MainWindow>();
    QGuiApplication::clipboard()->clear();
}

void TestClipboard::cleanup()
{
    window.reset();
    custom.reset();
    program.reset();
}

// Sine at (300, 200) cabled into Gain at (500, 260), and a comment at (280, 400), all
// selected.
PatchDocument* TestClipboard::sourceDocument()
{
    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Sine", 300, 200);
    doc->addBlockHandler("Gain", 500, 260);
    doc->addConnectionHandler(1, 1, 0, 2, 1);
    doc->addCommentInstanceHandler(1, 280, 400, "hello");
    doc->undoStack()->endMacro();
    doc->selectAll();
    return doc;
}

const BlockInstance* TestClipboard::carriedBlock(PatchDocument* doc, const QString& name,
                                                 const QByteArray& xml)
{
    doc->addBlockDescription(BlockManager::loadBlock(xml, BlockDescription::OriginPatch));
    BlockInstance instance;
    instance.id = doc->highestInstanceId() + 1;
    instance.description = doc->getBlockDescription(name);
    instance.values = QStringList{"0", "0", "0"};
    return doc->addBlock(name, 100, 100, &instance);
}

// Another editor, over a program folder of its own and without a custom blocks folder.
std::unique_ptr<MainWindow> TestClipboard::otherEditor(TempProgramDir& other)
{
    QSettings().remove(Preferences::CustomBlocksPath);
    auto editor = std::make_unique<MainWindow>();
    QSettings().setValue(Preferences::CustomBlocksPath, custom->path());
    Q_UNUSED(other);
    return editor;
}

void TestClipboard::copyPasteIsOneUndoStep()
{
    PatchDocument* doc = sourceDocument();
    window->copy();
    QVERIFY(!QGuiApplication::clipboard()->text().isEmpty());

    hover(doc->patchScene(), QPointF(700.7, 600.2));
    const int steps = doc->undoStack()->count();
    const int selected = doc->patchScene()->selectedItems().size();
    MessageCapture messages;
    window->paste();
    QVERIFY(messages.warnings().isEmpty());

    QCOMPARE(idsOf(doc), (QList<int>{1, 2, 3, 4}));
    QCOMPARE(placesOf(doc, {3, 4}), (QList<QPoint>{{720, 600}, {920, 660}}));
    QCOMPARE(cablesOf(doc), (QStringList{"1:1.0>2.1", "2:3.0>4.1"}));
    QCOMPARE(commentsOf(doc), (QStringList{"1@280,400:hello", "2@700,800:hello"}));
    QCOMPARE(doc->undoStack()->count(), steps + 1);
    QCOMPARE(doc->undoStack()->text(steps), QStringLiteral("paste"));
    QVERIFY(!doc->isMacroOpen());
    // Nothing pasted is selected, and what was selected stays so.
    QCOMPARE(doc->patchScene()->selectedItems().size(), selected);
    QVERIFY(!doc->patchScene()->blockItem(3)->isSelected());

    doc->undo();
    QCOMPARE(idsOf(doc), (QList<int>{1, 2}));
    QCOMPARE(cablesOf(doc), QStringList{"1:1.0>2.1"});
    QCOMPARE(commentsOf(doc), QStringList{"1@280,400:hello"});
    QVERIFY(!doc->patchScene()->blockItem(3));
    QVERIFY(!doc->patchScene()->commentItem(2));

    doc->redo();
    QCOMPARE(idsOf(doc), (QList<int>{1, 2, 3, 4}));
    QCOMPARE(placesOf(doc, {3, 4}), (QList<QPoint>{{720, 600}, {920, 660}}));
    QCOMPARE(cablesOf(doc), (QStringList{"1:1.0>2.1", "2:3.0>4.1"}));
    QCOMPARE(commentsOf(doc), (QStringList{"1@280,400:hello", "2@700,800:hello"}));
    QVERIFY(doc->patchScene()->cableItem(2));
    QVERIFY(doc->patchScene()->commentItem(2));
}

void TestClipboard::copyTakesOnlyTheSelection_data()
{
    // The blocks and comments selected; then what the clipboard holds: block ids, cables as
    // "block.output>block.input", comment ids, the header's top-left and the carried files.
    QTest::addColumn<QList<int>>("blocks");
    QTest::addColumn<QList<int>>("comments");
    QTest::addColumn<QList<int>>("copiedBlocks");
    QTest::addColumn<QStringList>("copiedCables");
    QTest::addColumn<QList<int>>("copiedComments");
    QTest::addColumn<QPoint>("topLeft");
    QTest::addColumn<int>("files");

    QTest::newRow("one block") << QList<int>{1} << QList<int>() << QList<int>{1} << QStringList()
                               << QList<int>() << QPoint(300, 200) << 0;
    QTest::newRow("two cabled blocks of three")
        << QList<int>{1, 2} << QList<int>() << QList<int>{1, 2} << QStringList{"1.0>2.1"}
        << QList<int>() << QPoint(300, 200) << 0;
    QTest::newRow("a block and the far comment")
        << QList<int>{2} << QList<int>{2} << QList<int>{2} << QStringList() << QList<int>{2}
        << QPoint(500, 100) << 0;
    QTest::newRow("the user block carries its file")
        << QList<int>{2, 3} << QList<int>() << QList<int>{2, 3} << QStringList{"2.0>3.0"}
        << QList<int>() << QPoint(500, 260) << 1;
    QTest::newRow("a comment alone") << QList<int>() << QList<int>{1} << QList<int>()
                                     << QStringList() << QList<int>{1} << QPoint(280, 400) << 0;
}

void TestClipboard::copyTakesOnlyTheSelection()
{
    QFETCH(QList<int>, blocks);
    QFETCH(QList<int>, comments);
    QFETCH(QList<int>, copiedBlocks);
    QFETCH(QStringList, copiedCables);
    QFETCH(QList<int>, copiedComments);
    QFETCH(QPoint, topLeft);
    QFETCH(int, files);

    // Sine 1 -> Gain 2 -> the user's Echo 3, the comment 1 at (280, 400) and 2 at (900, 100).
    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Sine", 300, 200);
    doc->addBlockHandler("Gain", 500, 260);
    BlockInstance echo;
    echo.id = 3;
    echo.description = window->blockManager()->blockDescription("Echo");
    QVERIFY(echo.description);
    echo.values = QStringList{"0", "0", "0"};
    doc->addBlock("Echo", 700, 300, &echo);
    doc->addConnectionHandler(1, 1, 0, 2, 1);
    doc->addConnectionHandler(2, 2, 0, 3, 0);
    doc->addCommentInstanceHandler(1, 280, 400, "hello");
    doc->undoStack()->endMacro();
    doc->addCommentInstanceHandler(2, 900, 100, "far");
    doc->undoStack()->endMacro();
    PatchScene* scene = doc->patchScene();
    scene->deselectAll();
    for (const int id : blocks)
        scene->blockItem(id)->setSelected(true);
    for (const int id : comments)
        scene->commentItem(id)->setSelected(true);

    window->copy();
    const QList<QByteArray> parts = util::unpackClipboardPayload(
        QByteArray::fromBase64(QGuiApplication::clipboard()->text().toLatin1()));
    QVERIFY(!parts.isEmpty());
    const PackedPatch copied = BinaryPacker().load(parts.first());
    QList<int> ids;
    QStringList cables;
    for (const PackedInstance& block : copied.blocks) {
        ids << block.id;
        for (const QList<qint32>& cable : block.connections)
            cables << QStringLiteral("%1.%2>%3.%4")
                          .arg(block.id)
                          .arg(cable.value(0))
                          .arg(cable.value(1))
                          .arg(cable.value(2));
    }
    std::sort(ids.begin(), ids.end());
    cables.sort();
    QList<int> commentIds;
    for (const Comment& comment : copied.comments)
        commentIds << comment.id;
    std::sort(commentIds.begin(), commentIds.end());
    QCOMPARE(ids, copiedBlocks);
    QCOMPARE(cables, copiedCables);
    QCOMPARE(commentIds, copiedComments);
    QCOMPARE(QPoint(copied.x, copied.y), topLeft);
    QCOMPARE(parts.size() - 1, files);
}

void TestClipboard::copyRefusesWhatPasteRefuses_data()
{
    // "big N": N instances of one carried block of 738 KB, each carrying its own copy of the
    // file. "long value": a Sine whose value text is longer than a record stores. "blocks N": N
    // Sines. An empty refusal: copied, and it pastes.
    QTest::addColumn<QString>("selection");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("16 instances fit") << "big 16" << QString();
    QTest::newRow("18 instances would not paste")
        << "big 18"
        << "Cannot copy the selection: with the block file that each of its blocks "
           "from outside the library carries, it would take 17.3 MB on the "
           "clipboard, and a paste takes at most 16.0 MB.";
    QTest::newRow("a value text a record would cut")
        << "long value"
        << "Cannot copy the selection. The value text of block 1 (Sine) takes 70002 bytes; a "
           "patch holds at most 65535 bytes of one text.";
    QTest::newRow("65,536 blocks")
        << "blocks 65536"
        << "Cannot copy more than 65535 blocks or 65535 comments at once.";
}

void TestClipboard::copyRefusesWhatPasteRefuses()
{
    QFETCH(QString, selection);
    QFETCH(QString, refusal);
    const QString kind = selection.section(' ', 0, 0);
    const int count = selection.section(' ', 1).toInt();
    PatchDocument* doc = window->currentDocument();
    int instances = count;
    if (kind == "big") {
        QByteArray xml = blockXml("Big");
        const QByteArray help =
            "<help>" + QByteArray(738 * 1024 - xml.size() - 14, 'x') + "</help>\n";
        xml.insert(xml.lastIndexOf("</block>"), help);
        QCOMPARE(xml.size(), 738 * 1024);
        for (int i = 0; i < count; ++i)
            carriedBlock(doc, "Big", xml);
    } else {
        BlockInstance sine;
        sine.description = window->blockManager()->blockDescription("Sine");
        sine.values = QStringList{"440", "0"};
        if (kind == "long") {
            // As a carried description's defaults appended to a block's stored values make it.
            sine.values[0] = QString(70000, '4');
            instances = 1;
        }
        for (int id = 1; id <= instances; ++id) {
            sine.id = id;
            QVERIFY(doc->addBlock("Sine", 10 * (id % 100), 10 * (id / 100), &sine));
        }
    }
    doc->selectAll();
    QGuiApplication::clipboard()->setText("kept");

    MessageCapture messages;
    window->copy();
    const QString text = QGuiApplication::clipboard()->text();
    if (!refusal.isEmpty()) {
        QCOMPARE(text, QStringLiteral("kept"));
        QCOMPARE(messages.warnings().size(), 1);
        QVERIFY2(messages.warnings().first().startsWith(refusal),
                 qPrintable(messages.warnings().first()));
        return;
    }
    QVERIFY(messages.warnings().isEmpty());
    QVERIFY(text.size() <= PastePlan::maxTextSize);
    // Whatever copy puts on the clipboard pastes.
    window->newDocument();
    window->paste();
    QVERIFY2(messages.warnings().isEmpty(), qPrintable(messages.warnings().join('\n')));
    QCOMPARE(window->currentDocument()->blockInstances().size(), instances);
}

void TestClipboard::pastingTwiceGivesNewIds()
{
    PatchDocument* doc = sourceDocument();
    window->copy();
    hover(doc->patchScene(), QPointF(1000, 1000));
    window->paste();
    hover(doc->patchScene(), QPointF(2000, 1500));
    window->paste();
    QCOMPARE(idsOf(doc), (QList<int>{1, 2, 3, 4, 5, 6}));
    QCOMPARE(placesOf(doc, {3, 4, 5, 6}),
             (QList<QPoint>{{1020, 1000}, {1220, 1060}, {2020, 1500}, {2220, 1560}}));
    QCOMPARE(cablesOf(doc), (QStringList{"1:1.0>2.1", "2:3.0>4.1", "3:5.0>6.1"}));
    QCOMPARE(doc->comments().size(), 3);
    QCOMPARE(doc->comment(3)->x, 2000);
}

void TestClipboard::storedIdZeroReplacesNothing()
{
    // A record from elsewhere whose block and comment carry id 0.
    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Sine", 10, 10);
    doc->addCommentInstanceHandler(1, 20, 20, "kept");
    doc->undoStack()->endMacro();
    BlockInstance zero = *doc->blockInstance(1);
    zero.id = 0;
    zero.outputs.clear();
    Comment note{0, 50, 50, "zero"};
    const QByteArray record = BinaryPacker().pack({&zero}, {&note});
    QGuiApplication::clipboard()->setText(QString::fromLatin1(record.toBase64()));

    MessageCapture messages;
    window->paste();
    QVERIFY(messages.warnings().isEmpty());
    QCOMPARE(idsOf(doc), (QList<int>{1, 2}));
    QCOMPARE(doc->comments().size(), 2);
    QCOMPARE(doc->comment(1)->text, QStringLiteral("kept"));
    QCOMPARE(doc->comment(2)->text, QStringLiteral("zero"));
    QVERIFY(doc->patchScene()->blockItem(1));
}

void TestClipboard::customBlockBetweenDocumentsAndEditors()
{
    PatchDocument* source = window->currentDocument();
    BlockInstance echo;
    echo.id = 1;
    echo.description = window->blockManager()->blockDescription("Echo");
    QVERIFY(echo.description);
    QCOMPARE(echo.description->origin, BlockDescription::OriginUser);
    echo.values = QStringList{"0", "0", "0"};
    source->addBlock("Echo", 40, 40, &echo);
    source->addBlockHandler("Sine", 200, 40);
    source->addConnectionHandler(1, 1, 0, 2, 0);
    source->selectAll();
    window->copy();

    // Another tab of this editor: the carried file equals the library's user block.
    window->newDocument();
    PatchDocument* second = window->currentDocument();
    QVERIFY(second != source);
    MessageCapture messages;
    window->paste();
    QVERIFY(messages.warnings().isEmpty());
    QCOMPARE(idsOf(second), (QList<int>{1, 2}));
    QCOMPARE(cablesOf(second), QStringList{"1:1.0>2.0"});
    const BlockDescription* own = second->getBlockDescription("Echo");
    QVERIFY(own);
    QCOMPARE(own->origin, BlockDescription::OriginUser);
    QCOMPARE(second->blockInstance(1)->description, own);

    // Another editor whose library lacks the user's block.
    TempProgramDir elsewhere;
    QVERIFY(elsewhere.copyIn(testsupport::sourcePath("tests/app/fixtures/blocks"), "blocks"));
    std::unique_ptr<MainWindow> editor = otherEditor(elsewhere);
    QVERIFY(!editor->blockManager()->blockDescription("Echo"));
    editor->paste();
    QVERIFY(messages.warnings().isEmpty());
    PatchDocument* third = editor->currentDocument();
    QCOMPARE(idsOf(third), (QList<int>{1, 2}));
    QCOMPARE(cablesOf(third), QStringList{"1:1.0>2.0"});
    QCOMPARE(third->getBlockDescription("Echo")->origin, BlockDescription::OriginPatch);
    QCOMPARE(third->blockInstance(1)->description, third->getBlockDescription("Echo"));
}

void TestClipboard::libraryBlockMissingElsewhere()
{
    sourceDocument();
    window->copy();

    // An editor without Gain and with another Sine.
    TempProgramDir elsewhere;
    QVERIFY(elsewhere.copyIn(testsupport::sourcePath("tests/app/fixtures/blocks"), "blocks"));
    QVERIFY(QFile::remove(elsewhere.path("blocks/gain.xml")));
    QByteArray sine = readAll(elsewhere.path("blocks/sine.xml"));
    QVERIFY(writeAll(elsewhere.path("blocks/sine.xml"), sine.replace("Sine oscillator", "Other")));
    std::unique_ptr<MainWindow> editor = otherEditor(elsewhere);
    PatchDocument* doc = editor->currentDocument();

    MessageCapture messages;
    editor->paste();
    QCOMPARE(messages.warnings(),
             (QStringList{"The following local block descriptions were different from those "
                          "used in this patch:\n\n- Sine\n\nThese blocks may not operate as "
                          "expected",
                          "The following local block descriptions were not found:\n\n- Gain\n"
                          "\nCannot assemble patch"}));
    // The blocks found are added, without cables and comments, as one step.
    QCOMPARE(idsOf(doc), QList<int>{1});
    QVERIFY(doc->blockConnections().isEmpty());
    QVERIFY(doc->comments().isEmpty());
    QVERIFY(!doc->isMacroOpen());
    QCOMPARE(doc->undoStack()->count(), 1);
    doc->undo();
    QVERIFY(doc->blockInstances().isEmpty());
}

void TestClipboard::textThatIsNoPayload()
{
    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Sine", 10, 10);
    const int steps = doc->undoStack()->count();
    QGuiApplication::clipboard()->setText("hello");
    MessageCapture messages;
    window->paste();
    QCOMPARE(messages.warnings(), QStringList{"Cant open patch. Unknown format."});
    QCOMPARE(idsOf(doc), QList<int>{1});
    QCOMPARE(doc->undoStack()->count(), steps);

    messages.clear();
    QGuiApplication::clipboard()->clear();
    window->paste();
    QVERIFY(messages.messages().isEmpty());
    QCOMPARE(doc->undoStack()->count(), steps);
}

void TestClipboard::nothingWithoutDocument()
{
    QGuiApplication::clipboard()->setText("kept");
    window->closeCurrentDocument();
    QVERIFY(!window->currentDocument());
    window->copy();
    window->paste();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
}

void TestClipboard::saveBlockIntoCustomFolder()
{
    const QByteArray xml = blockXml("a/b:c");
    PatchDocument* first = window->currentDocument();
    const BlockInstance* instance = carriedBlock(first, "a/b:c", xml);
    window->newDocument();
    PatchDocument* second = window->currentDocument();
    carriedBlock(second, "a/b:c", xml);

    MessageCapture messages;
    window->inspectorSaveBlockRequested(instance, true);
    QVERIFY(messages.warnings().isEmpty());
    QCOMPARE(readAll(custom->filePath("a_b_c.xml")), xml);

    const BlockDescription* library = window->blockManager()->blockDescription("a/b:c");
    QVERIFY(library);
    QCOMPARE(library->origin, BlockDescription::OriginUser);
    // A second save lists each block once.
    window->inspectorSaveBlockRequested(carriedBlock(first, "d", blockXml("d")), true);
    QStringList names;
    for (const BlockBase* block : paletteBlocks(window.get()))
        names << block->description()->name;
    QCOMPARE(names.count("a/b:c"), 1);
    QCOMPARE(names.count("d"), 1);
    QCOMPARE(names.count("Echo"), 1);
    QCOMPARE(first->getBlockDescription("a/b:c")->origin, BlockDescription::OriginUser);
    QCOMPARE(second->getBlockDescription("a/b:c")->origin, BlockDescription::OriginUser);
}

void TestClipboard::saveBlockUnderLongNames_data()
{
    // The file's name in bytes, ".xml" with it, and whether a file of that name is there
    // (replaced through the dialog) or not (written into the custom folder).
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("existing");
    QTest::newRow("200 bytes, new") << 200 << false;
    QTest::newRow("200 bytes, replaced") << 200 << true;
    // No room beside it for the name QSaveFile writes aside under.
    QTest::newRow("255 bytes, new") << 255 << false;
    QTest::newRow("255 bytes, replaced") << 255 << true;
}

void TestClipboard::saveBlockUnderLongNames()
{
    QFETCH(int, length);
    QFETCH(bool, existing);
    const QString name(length - 4, QLatin1Char('n'));
    const QString path = custom->filePath(name + ".xml");
    const QByteArray xml = blockXml(name);
    const BlockInstance* instance = carriedBlock(window->currentDocument(), name, xml);
    // A file made new gets what the user's mask leaves; a replaced one keeps its own.
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser |
                                     QFile::WriteUser | QFile::ReadGroup;
    ModalDriver driver;
    QTimer confirm;
    if (existing) {
        QVERIFY(writeAll(path, "old"));
        permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser |
                      QFile::ReadOther;
        QVERIFY(QFile::setPermissions(path, permissions));
        connect(&confirm, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->button(QMessageBox::Yes)->click();
        });
        driver.answer([&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            QVERIFY(dialog);
            dialog->setDirectory(custom->path());
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name + ".xml");
            confirm.start(10);
            static_cast<QDialog*>(dialog)->accept();
        });
    }

    MessageCapture messages;
    const mode_t before = ::umask(027);
    window->inspectorSaveBlockRequested(instance, true);
    ::umask(before);
    confirm.stop();
    const QStringList warnings = messages.warnings().filter(QRegularExpression("^(?!This plugin)"));
    QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('|')));
    QCOMPARE(readAll(path), xml);
    QCOMPARE(QFile::permissions(path), permissions);
    // Nothing is left beside it.
    QCOMPARE(QDir(custom->path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"echo.xml", name + ".xml"}));
    QCOMPARE(window->blockManager()->blockDescription(name)->origin, BlockDescription::OriginUser);
}

void TestClipboard::saveBlockAsksThroughDialog_data()
{
    QTest::addColumn<bool>("existing");
    QTest::addColumn<bool>("toUserFolder");
    QTest::addColumn<bool>("folderSet");
    QTest::newRow("file already in the folder") << true << true << true;
    QTest::newRow("folder box unticked") << false << false << true;
    QTest::newRow("no custom folder") << false << true << false;
}

void TestClipboard::saveBlockAsksThroughDialog()
{
    QFETCH(bool, existing);
    QFETCH(bool, toUserFolder);
    QFETCH(bool, folderSet);
    const QString path = custom->filePath("a_b_c.xml");
    if (existing)
        QVERIFY(writeAll(path, "old"));
    if (!folderSet)
        QSettings().remove(Preferences::CustomBlocksPath);
    const BlockInstance* instance =
        carriedBlock(window->currentDocument(), "a/b:c", blockXml("a/b:c"));

    ModalDriver driver;
    QString offered;
    QString suffix;
    driver.answer([&](QWidget* w) {
        if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
            if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                offered = name->text();
            suffix = dialog->defaultSuffix();
            dialog->reject();
        }
    });
    window->inspectorSaveBlockRequested(instance, toUserFolder);
    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(offered, QStringLiteral("a_b_c"));
    QCOMPARE(suffix, QStringLiteral("xml"));
    QCOMPARE(readAll(path), existing ? QByteArray("old") : QByteArray());
    QVERIFY(!window->blockManager()->blockDescription("a/b:c"));
}

void TestClipboard::saveBlockReplacingAnswersTheQuestion()
{
    const QString path = custom->filePath("a_b_c.xml");
    QVERIFY(writeAll(path, "old"));
    const QByteArray xml = blockXml("a/b:c");
    const BlockInstance* instance = carriedBlock(window->currentDocument(), "a/b:c", xml);

    // The dialog asks whether to replace the file from inside its accept.
    ModalDriver driver;
    QTimer confirm;
    QStringList questions;
    connect(&confirm, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            questions << box->text();
            box->button(QMessageBox::Yes)->click();
        }
    });
    driver.answer([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        QVERIFY(dialog);
        dialog->setDirectory(custom->path());
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText("a_b_c.xml");
        confirm.start(10);
        static_cast<QDialog*>(dialog)->accept();
    });
    window->inspectorSaveBlockRequested(instance, true);
    confirm.stop();
    QCOMPARE(questions.size(), 1);
    QVERIFY(questions.first().contains("already exists"));
    QCOMPARE(readAll(path), xml);
    QVERIFY(window->blockManager()->blockDescription("a/b:c"));
}

void TestClipboard::failedSaveKeepsExistingFile()
{
    const QString path = custom->filePath("a_b_c.xml");
    QVERIFY(writeAll(path, "old"));
    const BlockInstance* instance =
        carriedBlock(window->currentDocument(), "a/b:c", blockXml("a/b:c"));

    ModalDriver driver;
    QTimer confirm;
    connect(&confirm, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Yes)->click();
    });
    driver.answer([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        QVERIFY(dialog);
        dialog->setDirectory(custom->path());
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText("a_b_c.xml");
        confirm.start(10);
        static_cast<QDialog*>(dialog)->accept();
    });

    // Files may not grow beyond 16 bytes while the block is written (even for root).
    rlimit previous{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 16;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    MessageCapture messages;
    window->inspectorSaveBlockRequested(instance, false);
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    confirm.stop();

    // The dialog's own platform notices aside, the one warning is the failed write.
    const QStringList warnings = messages.warnings().filter(QRegularExpression("^(?!This plugin)"));
    QCOMPARE(warnings.size(), 1);
    QVERIFY(warnings.first().startsWith("Cannot open file for writing: "));
    QVERIFY(warnings.first().endsWith("\n" + path));
    QCOMPARE(readAll(path), QByteArray("old"));
    QVERIFY(!window->blockManager()->blockDescription("a/b:c"));
    QCOMPARE(QDir(custom->path()).entryList(QDir::Files), (QStringList{"a_b_c.xml", "echo.xml"}));
}

void TestClipboard::saveBlockUnderLibraryName()
{
    const QByteArray xml = blockXml("Sine", "Carried");
    const BlockDescription* library = window->blockManager()->blockDescription("Sine");
    const QString libraryInfo = library->info;
    const BlockInstance* instance = carriedBlock(window->currentDocument(), "Sine", xml);

    MessageCapture messages;
    window->inspectorSaveBlockRequested(instance, true);
    QCOMPARE(readAll(custom->filePath("Sine.xml")), xml);
    QCOMPARE(messages.warnings().size(), 1);
    QVERIFY(messages.warnings().first().startsWith(
        "The library already holds a block named \"Sine\"."));
    QVERIFY(messages.warnings().first().contains("takes the place of the library's block"));
    QCOMPARE(window->blockManager()->blockDescription("Sine"), library);
    QCOMPARE(library->info, libraryInfo);
    QCOMPARE(window->currentDocument()->getBlockDescription("Sine")->origin,
             BlockDescription::OriginPatch);
}

void TestClipboard::saveBlockNamesTheFileThatWins_data()
{
    // The block saved ("Sine" from the program's library, "Echo" from the custom folder's
    // echo.xml), where its file goes ("" straight into the custom folder, else through the
    // dialog into that folder below the custom folder or outside it), and what the message
    // says of the next start.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("into");
    QTest::addColumn<QString>("next");
    QTest::newRow("a library block, into the custom folder") << "Sine"
                                                             << ""
                                                             << "takes the place";
    QTest::newRow("a custom block, beside its own file") << "Echo"
                                                         << ""
                                                         << "reads last";
    QTest::newRow("a custom block, into a subfolder of the custom folder") << "Echo"
                                                                           << "sub"
                                                                           << "reads last";
    QTest::newRow("a custom block, outside the custom folder") << "Echo"
                                                               << "outside"
                                                               << "keeps its own";
}

void TestClipboard::saveBlockNamesTheFileThatWins()
{
    QFETCH(QString, name);
    QFETCH(QString, into);
    QFETCH(QString, next);
    QTemporaryDir outside;
    const QString folder = into == "sub" ? custom->filePath("sub") : outside.path();
    QVERIFY(QDir().mkpath(folder));
    const QByteArray xml = blockXml(name, "Carried");
    const BlockInstance* instance = carriedBlock(window->currentDocument(), name, xml);

    ModalDriver driver;
    if (!into.isEmpty()) {
        driver.answer([&](QWidget* w) {
            auto* dialog = qobject_cast<QFileDialog*>(w);
            QVERIFY(dialog);
            dialog->setDirectory(folder);
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText("saved.xml");
            static_cast<QDialog*>(dialog)->accept();
        });
    }
    MessageCapture messages;
    window->inspectorSaveBlockRequested(instance, into.isEmpty());
    QCOMPARE(driver.pending(), 0);
    const QString target = into.isEmpty() ? custom->filePath(name + ".xml") : folder + "/saved.xml";
    QCOMPARE(readAll(target), xml);
    const QStringList warnings = messages.warnings().filter(QRegularExpression("^(?!This plugin)"));
    QCOMPARE(warnings.size(), 1);
    const QString said = warnings.first();
    QVERIFY2(said.startsWith("The library already holds a block named \"" + name + "\"."),
             qPrintable(said));
    QVERIFY2(said.contains(next), qPrintable(said));
    QVERIFY2(said.contains(QDir::toNativeSeparators(target)), qPrintable(said));

    // What the next start holds: the library folder, then the custom folder, the one read last
    // winning.
    BlockManager restart;
    restart.loadBlocks(program->path("blocks"), BlockDescription::OriginLibrary);
    restart.loadBlocks(custom->path(), BlockDescription::OriginUser);
    const BlockDescription* used = restart.blockDescription(name);
    QVERIFY(used);
    if (next == "keeps its own") {
        QCOMPARE(used->info, window->blockManager()->blockDescription(name)->info);
    } else if (next == "takes the place") {
        QCOMPARE(used->info, QStringLiteral("Carried"));
    } else {
        // Both files are named, and the one the next start uses as the one it uses.
        const QString other = custom->filePath("echo.xml");
        QVERIFY2(said.contains(QDir::toNativeSeparators(other)), qPrintable(said));
        QVERIFY2(said.contains("uses " + QDir::toNativeSeparators(used->filePath) +
                               ", the one it reads last"),
                 qPrintable(said));
    }
    // This run keeps the block it has.
    QVERIFY(window->blockManager()->blockDescription(name)->info != QStringLiteral("Carried"));
}

void TestClipboard::libraryBlockIsNotSaved()
{
    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Sine", 10, 10);
    ModalDriver driver;
    window->inspectorSaveBlockRequested(doc->blockInstance(1), true);
    window->inspectorSaveBlockRequested(doc->blockInstance(1), false);
    QVERIFY(driver.seen().isEmpty());
    QCOMPARE(QDir(custom->path()).entryList(QDir::Files), QStringList{"echo.xml"});
}

void TestClipboard::reloadRebuildsPaletteAndEveryCanvas()
{
    PatchDocument* first = sourceDocument();
    window->newDocument();
    PatchDocument* second = window->currentDocument();
    second->addBlockHandler("Sine", 100, 100);
    second->addBlockHandler("Gain", 300, 100);
    second->addConnectionHandler(1, 1, 0, 2, 0);
    second->addCommentInstanceHandler(1, 50, 300, "<b>bold</b>");
    second->undoStack()->endMacro();
    first->setChanged(false);
    window->tabWidget()->setCurrentWidget(first);

    // The Sine file gains a second output and a new label.
    const QString sinePath = program->path("blocks/sine.xml");
    QByteArray sine = readAll(sinePath);
    sine.replace("<var socket=\"out\" info=\"Signal\"/>",
                 "<var socket=\"out\" info=\"Signal\"/><var socket=\"out\" info=\"Twice\"/>");
    sine.replace("Sine oscillator", "Reread");
    QVERIFY(writeAll(sinePath, sine));

    const BlockDescription* library = window->blockManager()->blockDescription("Sine");
    const QStringList firstCables = cablesOf(first);
    const QStringList secondComments = commentsOf(second);
    const int firstSteps = first->undoStack()->count();
    const int secondIndex = second->undoStack()->index();
    window->reloadBlocks();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QCOMPARE(window->blockManager()->blockDescription("Sine"), library);
    QCOMPARE(library->info, QStringLiteral("Reread"));
    QCOMPARE(library->outputs.size(), 2);
    // The model, the undo stacks and the change marks are untouched.
    QCOMPARE(cablesOf(first), firstCables);
    QCOMPARE(commentsOf(second), secondComments);
    QCOMPARE(first->undoStack()->count(), firstSteps);
    QCOMPARE(second->undoStack()->index(), secondIndex);
    QVERIFY(!first->changed());
    QVERIFY(second->changed());

    for (PatchDocument* doc : {first, second}) {
        PatchScene* scene = doc->patchScene();
        for (const BlockInstance* instance : doc->blockInstances()) {
            CanvasBlock* item = scene->blockItem(instance->id);
            QVERIFY(item);
            QCOMPARE(item->pos(), QPointF(instance->x, instance->y));
            QVERIFY(socketsPointIntoDescription(item));
        }
        QCOMPARE(scene->blockItem(1)->outSockets().size(), 2);
        for (const BlockConnection* cable : doc->blockConnections()) {
            PatchCable* item = scene->cableItem(cable->id);
            QVERIFY(item);
            QCOMPARE(item->outBlock(), scene->blockItem(cable->outBlock->id));
            QCOMPARE(item->inSocket(), item->inBlock()->inSockets().at(cable->inBlockSocketId));
        }
        for (Comment* comment : doc->comments()) {
            PatchComment* item = scene->commentItem(comment->id);
            QVERIFY(item);
            QCOMPARE(item->pos(), QPointF(comment->x, comment->y));
            QCOMPARE(item->toPlainText(), doc == first ? QString("hello") : QString("bold"));
        }
    }
    bool paletteSine = false;
    for (BlockBase* block : paletteBlocks(window.get())) {
        QVERIFY(socketsPointIntoDescription(block));
        if (block->description() == library) {
            paletteSine = true;
            QCOMPARE(block->outSockets().size(), 2);
        }
    }
    QVERIFY(paletteSine);

    // A rebuilt comment still reports its edits to its document.
    second->patchScene()->commentItem(1)->setPos(60, 310);
    second->patchScene()->commentItem(1)->announceMove();
    QCOMPARE(second->comment(1)->x, 60);
    // And a link in it still opens the patch it names, from either tab.
    QTemporaryDir linked;
    for (PatchDocument* doc : {first, second}) {
        const QString path = linked.filePath(doc == first ? "linked one.ktl" : "linked two.ktl");
        QVERIFY(writeAll(path, util::patchFileBytes(window->getSaveData(first), {}, false)));
        const int tabs = window->tabWidget()->count();
        emit doc->patchScene()->commentItem(1)->linkActivated(path);
        QCOMPARE(window->tabWidget()->count(), tabs + 1);
        QCOMPARE(window->currentDocument()->patchInfo()->name, QFileInfo(path).baseName());
        QCOMPARE(window->currentDocument()->blockInstances().size(), 2);
        window->tabWidget()->setCurrentWidget(first);
    }

    // Paint and hover everything that shows a socket: the palette, and the tab not in front.
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QToolBox* box = palette(window.get());
    for (int i = 0; i < box->count(); ++i) {
        box->setCurrentIndex(i);
        auto* view = qobject_cast<QGraphicsView*>(box->widget(i));
        QVERIFY(!view->grab().isNull());
        for (QGraphicsItem* item : view->scene()->items()) {
            if (item->type() == SocketItem::Type)
                hover(view->scene(), item->scenePos() + QPointF(7, 7));
        }
        QVERIFY(!view->grab().isNull());
    }
    window->tabWidget()->setCurrentWidget(second);
    QVERIFY(!second->grab().isNull());
    CanvasBlock* sineItem = second->patchScene()->blockItem(1);
    for (SocketItem* socket : sineItem->outSockets() + sineItem->inSockets())
        hover(second->patchScene(), socket->scenePos() + QPointF(7, 7));
    // The whole canvas, not only the part in view, of both tabs.
    for (PatchDocument* doc : {first, second}) {
        QImage image(600, 600, QImage::Format_ARGB32);
        QPainter painter(&image);
        doc->patchScene()->render(&painter, QRectF(), doc->patchScene()->itemsBoundingRect());
    }
}

KL_TEST_MAIN(TestClipboard)
#include "test_clipboard.moc"
