#include "CanvasBlock.h"
#include "EditVariableCommand.h"
#include "FixtureHost.h"
#include "MessageCapture.h"
#include "PatchCable.h"
#include "PatchComment.h"
#include "PatchDocument.h"
#include "PatchScene.h"
#include "TestMain.h"

#include <QAction>
#include <QUndoStack>
#include <QtTest>
#include <algorithm>

namespace {

const QString osc = QStringLiteral("Oscillator");
const QString mixer = QStringLiteral("Mixer");
const QString output = QStringLiteral("Audio Output");

QString socketTable(const QHash<qint32, const BlockConnection*>& table)
{
    QStringList entries;
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        entries << QStringLiteral("%1:%2").arg(it.key()).arg(it.value()->id);
    entries.sort();
    return entries.join(QLatin1Char(','));
}

// Everything that undo must bring back, model and items, as comparable text.
QStringList snapshot(const PatchDocument& doc)
{
    QStringList lines;
    const PatchScene* scene = doc.patchScene();
    for (const BlockInstance* instance : doc.blockInstances()) {
        const CanvasBlock* item = scene->blockItem(instance->id);
        QList<int> cables = item ? item->registeredCables() : QList<int>();
        std::sort(cables.begin(), cables.end());
        QStringList cableTexts;
        for (int id : cables)
            cableTexts << QString::number(id);
        lines << QStringLiteral("block %1 node %2 %3 at %4,%5 [%6] out {%7} in {%8} item %9 "
                                "cables {%10}")
                     .arg(instance->id)
                     .arg(instance->nodeId)
                     .arg(instance->description->name)
                     .arg(instance->x)
                     .arg(instance->y)
                     .arg(instance->values.join(QLatin1Char('|')), socketTable(instance->outputs),
                          socketTable(instance->inputs),
                          item ? QStringLiteral("%1,%2").arg(item->x()).arg(item->y())
                               : QStringLiteral("none"),
                          cableTexts.join(QLatin1Char(',')));
    }
    for (const BlockConnection* connection : doc.blockConnections()) {
        const PatchCable* cable = scene->cableItem(connection->id);
        lines << QStringLiteral("cable %1 %2.%3 -> %4.%5 item %6")
                     .arg(connection->id)
                     .arg(connection->outBlock ? connection->outBlock->id : -1)
                     .arg(connection->outBlockSocketId)
                     .arg(connection->inBlock ? connection->inBlock->id : -1)
                     .arg(connection->inBlockSocketId)
                     .arg(cable ? QStringLiteral("%1.%2 -> %3.%4")
                                      .arg(cable->outBlock()->instanceId())
                                      .arg(cable->outSocketIndex())
                                      .arg(cable->inBlock()->instanceId())
                                      .arg(cable->inSocketIndex())
                                : QStringLiteral("none"));
    }
    for (const Comment* comment : const_cast<PatchDocument&>(doc).comments()) {
        const PatchComment* item = scene->commentItem(comment->id);
        lines << QStringLiteral("comment %1 at %2,%3 '%4' item %5")
                     .arg(comment->id)
                     .arg(comment->x)
                     .arg(comment->y)
                     .arg(comment->text, item ? QStringLiteral("%1,%2 '%3'")
                                                    .arg(item->x())
                                                    .arg(item->y())
                                                    .arg(item->toPlainText())
                                              : QStringLiteral("none"));
    }
    return lines;
}

// Two oscillators (1, 2) into a mixer (3) into the output (4), cabled through the scene as a
// drag would: cables 1 (1 -> 3.0), 2 (2 -> 3.1), 3 (3 -> 4.0). The stack starts empty.
void buildChain(PatchDocument& doc)
{
    doc.addBlockHandler(osc, 100, 100);
    doc.addBlockHandler(osc, 300, 100);
    doc.addBlockHandler(mixer, 200, 250);
    doc.addBlockHandler(output, 200, 400);
    PatchScene* scene = doc.patchScene();
    scene->requestAddConnection(1, 0, 3, 0);
    scene->requestAddConnection(2, 0, 3, 1);
    scene->requestAddConnection(3, 0, 4, 0);
    doc.clearUndoStack();
    doc.setChanged(false);
}

} // namespace

class TestUndoCommands : public QObject
{
    Q_OBJECT

private slots:
    void addUndoRedo_data();
    void addUndoRedo();
    void refusedAddUndo();
    void commandsOnMissingIds();
    void moveTwiceUndo();
    void deleteInMacro_data();
    void deleteInMacro();
    void storedCopyHasNoCables();
    void commentRemoval_data();
    void commentRemoval();
    void editComment_data();
    void editComment();
    void variableEdit_data();
    void variableEdit();
    void texts_data();
    void texts();
    void undoClosesOpenMacro();
    void pasteComment();
    void undoActions_data();
    void undoActions();
};

void TestUndoCommands::addUndoRedo_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("earlier");
    QTest::addColumn<QStringList>("values");

    QTest::newRow("oscillator, empty document")
        << osc << 0 << QStringList({"0", "2", "1.0,2.50,3,4", "0", "0"});
    QTest::newRow("mixer after two blocks")
        << mixer << 2 << QStringList({"0", "0", "0", "0.5", "0"});
    QTest::newRow("audio output") << output << 1 << QStringList({"0", "0", "0"});
}

void TestUndoCommands::addUndoRedo()
{
    QFETCH(QString, name);
    QFETCH(int, earlier);
    QFETCH(QStringList, values);

    FixtureHost host;
    PatchDocument doc(&host);
    for (int i = 0; i < earlier; ++i)
        doc.addBlock(osc, 0, 50 * i, nullptr);
    doc.clearUndoStack();

    doc.addBlockHandler(name, 40, 60);
    const int id = earlier + 1;
    QCOMPARE(doc.undoStack()->count(), 1);
    QCOMPARE(doc.undoStack()->text(0), QStringLiteral("add DSP-Block"));
    QVERIFY(doc.blockInstance(id));
    QCOMPARE(doc.blockInstance(id)->values, values);
    const QStringList made = snapshot(doc);

    for (int round = 0; round < 2; ++round) {
        doc.undo();
        QVERIFY(!doc.blockInstance(id));
        QVERIFY(!doc.patchScene()->blockItem(id));
        QCOMPARE(doc.blockInstances().size(), earlier);
        QVERIFY(!doc.mainOut());

        doc.setChanged(false);
        doc.redo();
        QCOMPARE(snapshot(doc), made);
        QCOMPARE(doc.blockInstance(id)->nodeId, 0);
        QCOMPARE(doc.patchScene()->blockItem(id)->instance(), doc.blockInstance(id));
        QCOMPARE(doc.mainOut() != nullptr, name == output);
        QVERIFY(doc.changed());
    }
}

void TestUndoCommands::refusedAddUndo()
{
    FixtureHost host;
    PatchDocument doc(&host);
    MessageCapture messages;
    doc.addBlockHandler(output, 0, 0);
    doc.addBlockHandler(output, 0, 100);
    QCOMPARE(doc.undoStack()->count(), 2);
    QCOMPARE(messages.warnings().size(), 1);

    // Undoing the refused step takes away nothing that exists.
    doc.undo();
    QCOMPARE(doc.blockInstances().size(), 1);
    QCOMPARE(doc.mainOut(), doc.blockInstance(1));
    doc.redo();
    QCOMPARE(doc.blockInstances().size(), 1);
    QCOMPARE(messages.warnings().size(), 2);
    doc.undo();
    doc.undo();
    QVERIFY(doc.isEmpty());
    QVERIFY(!doc.mainOut());
}

void TestUndoCommands::commandsOnMissingIds()
{
    FixtureHost host;
    PatchDocument doc(&host);
    buildChain(doc);
    doc.addComment(1, 5, 5);
    const QStringList before = snapshot(doc);

    // Commands for ids the document does not hold, or refused ones, keep nothing to undo.
    doc.removeBlockHandler(99);
    doc.moveBlockHandler(98, 1, 1);
    doc.removeCommentHandler(97);
    doc.editCommentHandler(96, 1, 1, QStringLiteral("text"));
    doc.undoStack()->push(new EditVariableCommand(&doc, 1, 50, QStringLiteral("1")));
    doc.removeConnectionHandler(95, 1, 0, 3, 0);
    // A refused cable under an id in use: its undo must leave that cable alone.
    doc.addConnectionHandler(1, 1, 5, 3, 0);
    QCOMPARE(snapshot(doc), before);
    while (doc.undoStack()->canUndo())
        doc.undo();
    QCOMPARE(snapshot(doc), before);
    while (doc.undoStack()->canRedo())
        doc.redo();
    QCOMPARE(snapshot(doc), before);
}

void TestUndoCommands::moveTwiceUndo()
{
    FixtureHost host;
    PatchDocument doc(&host);
    doc.addBlockHandler(osc, 10, 20);
    doc.setChanged(false);
    doc.moveBlockHandler(1, 110, 120);
    doc.moveBlockHandler(1, 210, 220);
    const CanvasBlock* item = doc.patchScene()->blockItem(1);
    QCOMPARE(item->pos(), QPointF(210, 220));
    QCOMPARE(doc.undoStack()->text(2), QStringLiteral("move DSP-Block"));

    doc.setChanged(false);
    doc.undo();
    doc.undo();
    QCOMPARE(QPoint(doc.blockInstance(1)->x, doc.blockInstance(1)->y), QPoint(10, 20));
    QCOMPARE(item->pos(), QPointF(10, 20));
    QVERIFY(doc.changed());
    doc.redo();
    QCOMPARE(item->pos(), QPointF(110, 120));
}

void TestUndoCommands::deleteInMacro_data()
{
    QTest::addColumn<QString>("selection");
    QTest::addColumn<QString>("macro");
    QTest::addColumn<QList<int>>("goneBlocks");
    QTest::addColumn<QList<int>>("goneCables");

    QTest::newRow("middle block with three cables")
        << "b3"
        << "delete object" << QList<int>({3}) << QList<int>({1, 2, 3});
    QTest::newRow("first block") << "b1"
                                 << "delete object" << QList<int>({1}) << QList<int>({1});
    QTest::newRow("output block") << "b4"
                                  << "delete object" << QList<int>({4}) << QList<int>({3});
    QTest::newRow("two connected blocks")
        << "b1 b3"
        << "delete objects" << QList<int>({1, 3}) << QList<int>({1, 2, 3});
    QTest::newRow("a cable and a block")
        << "c1 b4"
        << "delete objects" << QList<int>({4}) << QList<int>({1, 3});
    QTest::newRow("a cable") << "c2"
                             << "delete object" << QList<int>() << QList<int>({2});
}

void TestUndoCommands::deleteInMacro()
{
    QFETCH(QString, selection);
    QFETCH(QString, macro);
    QFETCH(QList<int>, goneBlocks);
    QFETCH(QList<int>, goneCables);

    FixtureHost host;
    PatchDocument doc(&host);
    buildChain(doc);
    PatchScene* scene = doc.patchScene();
    const QStringList before = snapshot(doc);

    for (const QString& token : selection.split(QLatin1Char(' '))) {
        const int id = token.mid(1).toInt();
        if (token.startsWith(QLatin1Char('b')))
            scene->blockItem(id)->setSelected(true);
        else
            scene->cableItem(id)->setSelected(true);
    }
    scene->deleteSelectedObjects();
    QCOMPARE(doc.undoStack()->count(), 1);
    QCOMPARE(doc.undoStack()->text(0), macro);

    const auto checkGone = [&]() {
        for (int id : goneBlocks) {
            QVERIFY(!doc.blockInstance(id));
            QVERIFY(!scene->blockItem(id));
        }
        for (int id : goneCables) {
            QVERIFY(!doc.blockConnection(id));
            QVERIFY(!scene->cableItem(id));
        }
        QCOMPARE(doc.blockInstances().size(), 4 - goneBlocks.size());
        QCOMPARE(doc.blockConnections().size(), 3 - goneCables.size());
    };
    checkGone();
    const QStringList after = snapshot(doc);

    doc.undo();
    QCOMPARE(snapshot(doc), before);
    doc.redo();
    checkGone();
    QCOMPARE(snapshot(doc), after);
    doc.undo();
    QCOMPARE(snapshot(doc), before);

    // The restored cables are live: a new drag gets the next id and removing one works.
    scene->requestAddConnection(1, 0, 4, 1);
    QVERIFY(doc.blockConnection(4));
    scene->requestRemoveConnection(3);
    QVERIFY(!doc.blockConnection(3));
    QVERIFY(!doc.blockInstance(4)->inputs.contains(0));
}

void TestUndoCommands::storedCopyHasNoCables()
{
    FixtureHost host;
    PatchDocument doc(&host);
    buildChain(doc);
    const QStringList before = snapshot(doc);

    // Outside a macro each cable removal is its own step, before the block's.
    doc.removeBlockHandler(3);
    QCOMPARE(doc.undoStack()->count(), 4);
    QVERIFY(doc.blockConnections().isEmpty());

    doc.undo();
    const BlockInstance* restored = doc.blockInstance(3);
    QVERIFY(restored);
    // Its cables are not back yet, so it must not point at any.
    QVERIFY(restored->inputs.isEmpty());
    QVERIFY(restored->outputs.isEmpty());
    QVERIFY(doc.patchScene()->blockItem(3)->registeredCables().isEmpty());
    for (const BlockInstance* instance : doc.blockInstances()) {
        QVERIFY(instance->inputs.isEmpty());
        QVERIFY(instance->outputs.isEmpty());
    }

    doc.undo();
    doc.undo();
    doc.undo();
    QCOMPARE(snapshot(doc), before);
}

void TestUndoCommands::commentRemoval_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("marksChanged");

    QTest::newRow("written comment") << "hello" << true;
    QTest::newRow("rich text") << "<b>bold</b> and <i>more</i>" << true;
    QTest::newRow("blank comment") << "  \n " << false;
    QTest::newRow("empty comment") << "" << false;
}

void TestUndoCommands::commentRemoval()
{
    QFETCH(QString, text);
    QFETCH(bool, marksChanged);

    FixtureHost host;
    PatchDocument doc(&host);
    doc.addComment(3, 40, 50);
    doc.editComment(3, 40, 50, text);
    doc.addComment(4, 400, 50);
    doc.setChanged(false);
    const QStringList before = snapshot(doc);

    doc.removeCommentHandler(3);
    QCOMPARE(doc.undoStack()->text(0), QStringLiteral("add comment"));
    QVERIFY(!doc.comment(3));
    QVERIFY(!doc.patchScene()->commentItem(3));
    QCOMPARE(doc.changed(), marksChanged);

    doc.undo();
    QCOMPARE(snapshot(doc), before);
    QVERIFY(doc.changed());
    doc.redo();
    QVERIFY(!doc.comment(3));
    doc.undo();
    QCOMPARE(snapshot(doc), before);
}

void TestUndoCommands::editComment_data()
{
    QTest::addColumn<QString>("newText");
    QTest::addColumn<bool>("applies");

    QTest::newRow("text") << "new text" << true;
    QTest::newRow("markup") << "a<br>b" << true;
    QTest::newRow("blank") << "   " << false;
    QTest::newRow("empty") << "" << false;
}

void TestUndoCommands::editComment()
{
    QFETCH(QString, newText);
    QFETCH(bool, applies);

    FixtureHost host;
    PatchDocument doc(&host);
    doc.addComment(1, 10, 10);
    doc.editComment(1, 10, 10, QStringLiteral("old"));
    const QStringList before = snapshot(doc);

    doc.editCommentHandler(1, 70, 80, newText);
    QCOMPARE(doc.undoStack()->text(0), QStringLiteral("add comment"));
    const Comment* comment = doc.comment(1);
    QCOMPARE(comment->text, applies ? newText : QStringLiteral("old"));
    QCOMPARE(QPoint(comment->x, comment->y), applies ? QPoint(70, 80) : QPoint(10, 10));
    QCOMPARE(doc.patchScene()->commentItem(1)->pos(), applies ? QPointF(70, 80) : QPointF(10, 10));

    doc.undo();
    QCOMPARE(snapshot(doc), before);
}

void TestUndoCommands::variableEdit_data()
{
    QTest::addColumn<int>("variable");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("old");

    QTest::newRow("scalar") << 1 << "440"
                            << "2";
    QTest::newRow("array") << 2 << "9,9,9,9"
                           << "1.0,2.50,3,4";
    QTest::newRow("rate") << 4 << "1"
                          << "0";
}

void TestUndoCommands::variableEdit()
{
    QFETCH(int, variable);
    QFETCH(QString, value);
    QFETCH(QString, old);

    FixtureHost host;
    PatchDocument doc(&host);
    doc.addBlockHandler(osc, 0, 0);
    doc.clearUndoStack();
    doc.setChanged(false);

    // As the main window does for the inspector's edits.
    doc.undoStack()->push(new EditVariableCommand(&doc, 1, variable, value));
    QCOMPARE(doc.undoStack()->text(0), QStringLiteral("change variable"));
    QCOMPARE(doc.blockInstance(1)->values.at(variable), value);
    QVERIFY(doc.changed());
    QCOMPARE(host.variableChanges.size(), 1);
    QCOMPARE(host.variableChanges.last().instanceId, 1);
    QCOMPARE(host.variableChanges.last().variableId, variable);
    QCOMPARE(host.variableChanges.last().value, value);

    doc.undo();
    QCOMPARE(doc.blockInstance(1)->values.at(variable), old);
    QCOMPARE(host.variableChanges.size(), 2);
    QCOMPARE(host.variableChanges.last().variableId, variable);
    QCOMPARE(host.variableChanges.last().value, old);

    doc.redo();
    QCOMPARE(doc.blockInstance(1)->values.at(variable), value);
}

void TestUndoCommands::texts_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("text");

    QTest::newRow("add block") << "addBlock"
                               << "add DSP-Block";
    QTest::newRow("paste block") << "pasteBlock"
                                 << "add DSP-Block";
    QTest::newRow("move block") << "moveBlock"
                                << "move DSP-Block";
    QTest::newRow("remove block") << "removeBlock"
                                  << "delete DSP-Block";
    QTest::newRow("add connection") << "addConnection"
                                    << "create new connection";
    QTest::newRow("remove connection") << "removeConnection"
                                       << "delete connection";
    QTest::newRow("add comment") << "addComment"
                                 << "add comment";
    QTest::newRow("edit comment") << "editComment"
                                  << "add comment";
    QTest::newRow("remove comment") << "removeComment"
                                    << "add comment";
    QTest::newRow("change variable") << "editVariable"
                                     << "change variable";
    QTest::newRow("pasted comment") << "pasteComment"
                                    << "add comment";
    QTest::newRow("delete two items") << "deleteTwo"
                                      << "delete objects";
}

void TestUndoCommands::texts()
{
    QFETCH(QString, action);
    QFETCH(QString, text);

    FixtureHost host;
    PatchDocument doc(&host);
    host.current = &doc;
    buildChain(doc);
    doc.addBlockHandler(mixer, 500, 500);
    doc.addComment(1, 0, 0);
    doc.clearUndoStack();

    if (action == QLatin1String("addBlock")) {
        doc.addBlockHandler(osc, 0, 0);
    } else if (action == QLatin1String("pasteBlock")) {
        BlockInstance source = *doc.blockInstance(1);
        source.id = 20;
        doc.addBlockInstanceHandler(osc, 0, 0, &source);
    } else if (action == QLatin1String("moveBlock")) {
        doc.moveBlockHandler(1, 5, 5);
    } else if (action == QLatin1String("removeBlock")) {
        doc.removeBlockHandler(5);
    } else if (action == QLatin1String("addConnection")) {
        doc.addConnectionHandler(9, 3, 0, 5, 0);
    } else if (action == QLatin1String("removeConnection")) {
        doc.removeConnectionHandler(1, 1, 0, 3, 0);
    } else if (action == QLatin1String("addComment")) {
        doc.addCommentHandler();
    } else if (action == QLatin1String("editComment")) {
        doc.editCommentHandler(1, 0, 0, QStringLiteral("x"));
    } else if (action == QLatin1String("removeComment")) {
        doc.removeCommentHandler(1);
    } else if (action == QLatin1String("editVariable")) {
        doc.undoStack()->push(new EditVariableCommand(&doc, 1, 1, QStringLiteral("3")));
    } else if (action == QLatin1String("pasteComment")) {
        doc.addCommentInstanceHandler(7, 0, 0, QStringLiteral("x"));
        doc.undoStack()->endMacro();
    } else if (action == QLatin1String("deleteTwo")) {
        doc.patchScene()->blockItem(5)->setSelected(true);
        doc.patchScene()->commentItem(1)->setSelected(true);
        doc.patchScene()->deleteSelectedObjects();
    }
    QCOMPARE(doc.undoStack()->count(), 1);
    QCOMPARE(doc.undoStack()->text(0), text);
}

void TestUndoCommands::undoClosesOpenMacro()
{
    FixtureHost host;
    PatchDocument doc(&host);
    doc.addBlockHandler(osc, 0, 0);
    doc.clearUndoStack();
    MessageCapture messages;

    // A keyboard move in progress: the scene's macro is still open when Undo comes.
    doc.beginUndoMacro(QStringLiteral("move object"));
    doc.moveBlockHandler(1, 1, 0);
    doc.moveBlockHandler(1, 2, 0);
    QVERIFY(doc.isMacroOpen());
    doc.undo();
    QVERIFY(!doc.isMacroOpen());
    QCOMPARE(doc.undoStack()->count(), 1);
    QCOMPARE(doc.undoStack()->text(0), QStringLiteral("move object"));
    QCOMPARE(doc.blockInstance(1)->x, 0);

    // The scene's late close must not end anything else.
    doc.endUndoMacro();
    doc.moveBlockHandler(1, 30, 0);
    QCOMPARE(doc.undoStack()->count(), 1);
    QCOMPARE(doc.undoStack()->text(0), QStringLiteral("move DSP-Block"));
    QVERIFY(messages.messages().isEmpty());
}

void TestUndoCommands::pasteComment()
{
    FixtureHost host;
    PatchDocument doc(&host);

    doc.beginUndoMacro(QStringLiteral("paste"));
    doc.addCommentInstanceHandler(5, 10, 20, QStringLiteral("pasted"));
    doc.undoStack()->endMacro();
    doc.endUndoMacro();
    QCOMPARE(doc.undoStack()->count(), 1);
    QCOMPARE(doc.undoStack()->text(0), QStringLiteral("paste"));
    const QStringList pasted = snapshot(doc);
    QCOMPARE(pasted, QStringList({"comment 5 at 10,20 'pasted' item 10,20 'pasted'"}));

    doc.undo();
    QVERIFY(doc.comments().isEmpty());
    QVERIFY(!doc.patchScene()->commentItem(5));
    doc.redo();
    QCOMPARE(snapshot(doc), pasted);
}

void TestUndoCommands::undoActions_data()
{
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("undone");
    QTest::addColumn<bool>("clear");
    QTest::addColumn<bool>("undoEnabled");
    QTest::addColumn<bool>("redoEnabled");

    QTest::newRow("one step") << 1 << 0 << false << true << false;
    QTest::newRow("one step undone") << 1 << 1 << false << false << true;
    QTest::newRow("two steps, one undone") << 2 << 1 << false << true << true;
    QTest::newRow("stack cleared") << 2 << 0 << true << false << false;
}

void TestUndoCommands::undoActions()
{
    QFETCH(int, steps);
    QFETCH(int, undone);
    QFETCH(bool, clear);
    QFETCH(bool, undoEnabled);
    QFETCH(bool, redoEnabled);

    FixtureHost host;
    PatchDocument doc(&host);
    for (int i = 0; i < steps; ++i)
        doc.addBlockHandler(osc, 0, 50 * i);
    for (int i = 0; i < undone; ++i)
        doc.undo();
    if (clear)
        doc.clearUndoStack();
    QCOMPARE(host.getAction(QStringLiteral("undo"))->isEnabled(), undoEnabled);
    QCOMPARE(host.getAction(QStringLiteral("redo"))->isEnabled(), redoEnabled);
}

KL_TEST_MAIN(TestUndoCommands)
#include "test_undocommands.moc"
