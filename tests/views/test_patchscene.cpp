#include "CanvasBlock.h"
#include "PatchCable.h"
#include "PatchComment.h"
#include "PatchScene.h"
#include "SocketItem.h"
#include "TestMain.h"
#include "ViewFixtures.h"

#include <QGraphicsSceneMouseEvent>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

using fixtures::FakeDocument;

namespace {

// The instance ids of one blockSelected emission, sorted.
QList<int> selectedIds(const QList<QVariant>& emission)
{
    QList<int> ids;
    for (const BlockInstance* instance : emission.at(0).value<InstanceList>())
        ids.append(instance->id);
    std::sort(ids.begin(), ids.end());
    return ids;
}

} // namespace

class TestPatchScene : public QObject
{
    Q_OBJECT

private slots:
    void itemTypes();
    void selectionReportsBlocksAndComments();
    void selectAllLeavesCables();
    void deselectAll();
    void removeBlockRemovesCablesNewestFirst();
    void removeBlockEndsWhenNobodyRemovesTheCable();
    void requestAddConnectionIds();
    void requestRemoveConnectionNamesBothEnds();
    void addConnectionReplacesAndRefuses();
    void editCommentChoosesHtml_data();
    void editCommentChoosesHtml();
    void removeComment();
    void moveBlockItem();
    void bringToFront();
    void bringToFrontMatchesAScan();
    void addBlockItemReplacesSilently();
    void deleteSelectedObjects();
    void deleteNothingSelected();
    void deleteEndsWhenRequestsAreRefused();
    void clearItemsMutesAndEmptiesTables();
    void destructionEmitsNothing();
    void plainClearLeavesNoDanglingEntries();
    void emptyCommentSweepEndsWhenRefused();
};

void TestPatchScene::itemTypes()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 1, 1);
    doc.addBlock(1, d);
    doc.addBlock(2, d, 0, 100);
    scene.addConnection(1, 1, 0, 2, 0);
    doc.addComment(1, 50, 50, QStringLiteral("note"));
    QCOMPARE(int(SocketItem::Type), 65537);
    QCOMPARE(scene.blockItem(1)->inSockets()[0]->type(), 65537);
    QCOMPARE(scene.blockItem(1)->type(), 65538);
    QCOMPARE(scene.cableItem(1)->type(), 65539);
    QCOMPARE(scene.commentItem(1)->type(), 65540);
}

void TestPatchScene::selectionReportsBlocksAndComments()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 1, 1);
    doc.addBlock(1, d);
    doc.addBlock(2, d, 0, 100);
    doc.addBlock(3, d, 0, 200);
    scene.addConnection(1, 1, 0, 2, 0);
    doc.addComment(1, 200, 0, QStringLiteral("one"));
    doc.addComment(2, 200, 100, QStringLiteral("two"));
    QSignalSpy spy(&scene, &PatchScene::blockSelected);

    scene.commentItem(1)->setSelected(true);
    scene.commentItem(2)->setSelected(true);
    QVERIFY(!spy.isEmpty());
    QCOMPARE(selectedIds(spy.last()), QList<int>{});
    QCOMPARE(spy.last().at(1).toBool(), true);

    scene.clearSelection();
    QCOMPARE(spy.last().at(1).toBool(), false);
    scene.blockItem(1)->setSelected(true);
    scene.blockItem(3)->setSelected(true);
    scene.cableItem(1)->setSelected(true);
    QCOMPARE(selectedIds(spy.last()), (QList<int>{1, 3}));
    QCOMPARE(spy.last().at(1).toBool(), false);
    QCOMPARE(scene.selectedItems().size(), 3);
}

void TestPatchScene::selectAllLeavesCables()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 1, 1);
    doc.addBlock(1, d);
    doc.addBlock(2, d, 0, 100);
    scene.addConnection(1, 1, 0, 2, 0);
    doc.addComment(1, 200, 0, QStringLiteral("one"));
    QSignalSpy spy(&scene, &PatchScene::blockSelected);

    scene.selectAll();
    QVERIFY(scene.blockItem(1)->isSelected());
    QVERIFY(scene.blockItem(2)->isSelected());
    QVERIFY(scene.commentItem(1)->isSelected());
    QVERIFY(!scene.cableItem(1)->isSelected());
    // One report for the whole selection.
    QCOMPARE(spy.count(), 1);
    QCOMPARE(selectedIds(spy.last()), (QList<int>{1, 2}));
    QCOMPARE(spy.last().at(1).toBool(), true);
}

void TestPatchScene::deselectAll()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 1, 1);
    doc.addBlock(1, d);
    doc.addBlock(2, d, 0, 100);
    scene.addConnection(1, 1, 0, 2, 0);
    doc.addComment(1, 200, 0, QStringLiteral("one"));
    scene.selectAll();
    scene.cableItem(1)->setSelected(true);
    QSignalSpy spy(&scene, &PatchScene::blockSelected);
    scene.deselectAll();
    QVERIFY(scene.selectedItems().isEmpty());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(selectedIds(spy.last()), QList<int>{});
    QCOMPARE(spy.last().at(1).toBool(), false);
}

void TestPatchScene::removeBlockRemovesCablesNewestFirst()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Mixer"), 3, 3);
    doc.addBlock(1, d);
    doc.addBlock(2, d, 0, 100);
    doc.addBlock(3, d, 100, 100);
    scene.addConnection(5, 1, 0, 2, 0);
    scene.addConnection(2, 1, 1, 3, 0);
    scene.addConnection(9, 2, 0, 1, 2);
    QSignalSpy spy(&scene, &PatchScene::connectionRemoved);

    scene.removeBlockItem(1);
    QCOMPARE(spy.count(), 3);
    QCOMPARE(doc.removed, (QList<int>{9, 2, 5}));
    // The five values name each cable's ends.
    QCOMPARE(spy.at(0), (QList<QVariant>{9, 2, 0, 1, 2}));
    QCOMPARE(spy.at(1), (QList<QVariant>{2, 1, 1, 3, 0}));
    QCOMPARE(scene.blockItem(1), nullptr);
    QVERIFY(scene.blockItem(2)->registeredCables().isEmpty());
    QVERIFY(scene.blockItem(3)->registeredCables().isEmpty());
    QCOMPARE(scene.items().count(), 2 + 2 * 6);
}

void TestPatchScene::removeBlockEndsWhenNobodyRemovesTheCable()
{
    PatchScene scene;
    FakeDocument doc(scene);
    doc.carryOut = false;
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 1, 1);
    doc.addBlock(1, d);
    doc.addBlock(2, d, 0, 100);
    scene.addConnection(1, 1, 0, 2, 0);
    scene.addConnection(2, 2, 0, 1, 0);

    scene.removeBlockItem(1);
    QCOMPARE(doc.removed, (QList<int>{2, 1}));
    QCOMPARE(scene.blockItem(1), nullptr);
    QCOMPARE(scene.cableItem(1), nullptr);
    QVERIFY(scene.blockItem(2)->registeredCables().isEmpty());
    QCOMPARE(scene.blockItem(2)->outSockets()[0]->connectedCable(), -1);
}

void TestPatchScene::requestAddConnectionIds()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 3, 3);
    doc.addBlock(1, d);
    doc.addBlock(2, d, 0, 100);
    QSignalSpy spy(&scene, &PatchScene::connectionAdded);

    scene.requestAddConnection(1, 0, 2, 0);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0), (QList<QVariant>{1, 1, 0, 2, 0}));
    scene.requestAddConnection(1, 1, 2, 1);
    scene.requestAddConnection(1, 2, 2, 2);
    QCOMPARE(doc.added, (QList<int>{1, 2, 3}));
    QVERIFY(scene.cableItem(3));

    scene.removeConnection(3);
    scene.requestAddConnection(2, 0, 1, 0);
    QCOMPARE(doc.added.last(), 4);
    // A loaded patch numbers its cables from 0; only ids above 0 count.
    PatchScene loaded;
    FakeDocument other(loaded);
    other.addBlock(1, d);
    other.addBlock(2, d, 0, 100);
    loaded.addConnection(0, 1, 0, 2, 0);
    loaded.requestAddConnection(1, 1, 2, 1);
    QCOMPARE(other.added, QList<int>{1});
}

void TestPatchScene::requestRemoveConnectionNamesBothEnds()
{
    PatchScene scene;
    FakeDocument doc(scene);
    doc.carryOut = false;
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 2, 2);
    doc.addBlock(4, d);
    doc.addBlock(7, d, 0, 100);
    scene.addConnection(3, 4, 1, 7, 0);
    QSignalSpy spy(&scene, &PatchScene::connectionRemoved);
    scene.requestRemoveConnection(3);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0), (QList<QVariant>{3, 4, 1, 7, 0}));
    // The request changes nothing itself.
    QVERIFY(scene.cableItem(3));
    scene.requestRemoveConnection(99);
    QCOMPARE(spy.count(), 1);
}

void TestPatchScene::addConnectionReplacesAndRefuses()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 2, 2);
    doc.addBlock(1, d);
    doc.addBlock(2, d, 0, 100);
    doc.addBlock(3, d, 100, 100);
    QSignalSpy selection(&scene, &PatchScene::blockSelected);

    scene.addConnection(1, 1, 0, 2, 0);
    QCOMPARE(selection.count(), 1);
    // The same id again replaces the item rather than leaving the old one behind.
    scene.addConnection(1, 1, 1, 3, 1);
    QCOMPARE(scene.items().count(), 3 + 3 * 4 + 1);
    QVERIFY(scene.blockItem(2)->registeredCables().isEmpty());
    QCOMPARE(scene.blockItem(2)->inSockets()[0]->connectedCable(), -1);
    QCOMPARE(scene.cableItem(1)->inBlock(), scene.blockItem(3));

    // Blocks or sockets the scene does not show give no cable.
    scene.addConnection(2, 1, 0, 42, 0);
    scene.addConnection(3, 1, 5, 2, 0);
    scene.addConnection(4, 1, 0, 2, -1);
    QCOMPARE(scene.cableItem(2), nullptr);
    QCOMPARE(scene.cableItem(3), nullptr);
    QCOMPARE(scene.cableItem(4), nullptr);
    QCOMPARE(scene.blockItem(1)->registeredCables(), QList<int>{1});
}

void TestPatchScene::editCommentChoosesHtml_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("lone less-than stays plain") << "a < b and <c"
                                                << "a < b and <c";
    QTest::newRow("bold pair is html") << "x <b>bold</b> y"
                                       << "x bold y";
    QTest::newRow("lower-case break is html") << "one<br>two"
                                              << "one\ntwo";
    QTest::newRow("upper-case break stays plain") << "one<BR>two"
                                                  << "one<BR>two";
    QTest::newRow("plain") << "just words"
                           << "just words";
    // A long comment shows its start; a pair of surrogates is not cut in half.
    const QString face = QString::fromUcs4(U"\U0001F600");
    QTest::newRow("2,000 characters shown whole") << QString(2000, 'x') << QString(2000, 'x');
    QTest::newRow("2,001 characters cut")
        << QString(2001, 'x') << QString(2000, 'x') + QChar(0x2026);
    QTest::newRow("cut before a pair of surrogates")
        << QString(1999, 'x') + face + "yy" << QString(1999, 'x') + QChar(0x2026);
}

void TestPatchScene::editCommentChoosesHtml()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    PatchScene scene;
    FakeDocument doc(scene);
    doc.addComment(1, 0, 0, QString());
    scene.editComment(1, 30, -12, text);
    QCOMPARE(scene.commentItem(1)->toPlainText(), shown);
    QCOMPARE(scene.commentItem(1)->pos(), QPointF(30, -12));
}

void TestPatchScene::removeComment()
{
    PatchScene scene;
    FakeDocument doc(scene);
    doc.addComment(1, 0, 0, QStringLiteral("a"));
    doc.addComment(2, 0, 50, QStringLiteral("b"));
    QPointer<PatchComment> first = scene.commentItem(1);
    scene.removeComment(1);
    QVERIFY(first.isNull());
    QCOMPARE(scene.commentItem(1), nullptr);
    QCOMPARE(scene.items().count(), 1);
    // A comment added again under a shown id replaces the item.
    doc.addComment(2, 5, 5, QStringLiteral("c"));
    QCOMPARE(scene.items().count(), 1);
    QCOMPARE(scene.commentItem(2)->toPlainText(), QStringLiteral("c"));
}

void TestPatchScene::moveBlockItem()
{
    PatchScene scene;
    FakeDocument doc(scene);
    BlockInstance* instance = doc.addBlock(1, doc.describe(QStringLiteral("Osc"), 1, 1), 10, 20);
    instance->x = 15;
    instance->y = 25;
    scene.moveBlockItem(1, 15, 25);
    QCOMPARE(scene.blockItem(1)->pos(), QPointF(15, 25));
    // Only a coordinate that differs from the stored one is set.
    scene.blockItem(1)->setPos(15.5, 25);
    instance->y = 30;
    scene.moveBlockItem(1, 15, 30);
    QCOMPARE(scene.blockItem(1)->pos(), QPointF(15, 30));
    scene.moveBlockItem(99, 0, 0);
}

void TestPatchScene::bringToFront()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 1, 1);
    doc.addBlock(1, d);
    QCOMPARE(scene.blockItem(1)->zValue(), 2.0);
    doc.addBlock(2, d, 0, 100);
    QCOMPARE(scene.blockItem(2)->zValue(), 4.0);
    doc.addBlock(3, d, 0, 200);
    QCOMPARE(scene.blockItem(3)->zValue(), 6.0);

    // After the top block goes, the next one lands just above the highest that is left.
    scene.removeBlockItem(3);
    doc.addBlock(4, d, 0, 300);
    QCOMPARE(scene.blockItem(4)->zValue(), 6.0);
    scene.removeBlockItem(4);
    scene.removeBlockItem(2);
    doc.addBlock(5, d, 0, 400);
    QCOMPARE(scene.blockItem(5)->zValue(), 4.0);

    // A block already on top is raised again, over itself.
    scene.blockItem(5)->bringToFront();
    QCOMPARE(scene.blockItem(5)->zValue(), 6.0);
    scene.blockItem(1)->bringToFront();
    QCOMPARE(scene.blockItem(1)->zValue(), 8.0);

    // A z set from outside counts as well, and so does a block deleted directly.
    scene.blockItem(5)->setZValue(20);
    doc.addBlock(6, d, 100, 0);
    QCOMPARE(scene.blockItem(6)->zValue(), 22.0);
    delete scene.blockItem(6);
    QCOMPARE(scene.blockItem(6), nullptr);
    doc.addBlock(7, d, 100, 100);
    QCOMPARE(scene.blockItem(7)->zValue(), 22.0);

    // Cables, comments and sockets stay at 0 and do not lift the next block.
    scene.clearItems();
    doc.addComment(1, 0, 0, QStringLiteral("x"));
    doc.addBlock(1, d);
    QCOMPARE(scene.blockItem(1)->zValue(), 2.0);
}

void TestPatchScene::bringToFrontMatchesAScan()
{
    // The same steps in a plain scene, where the block scans every item.
    BlockDescription d = fixtures::description(QStringLiteral("Osc"), 1, 1);
    QList<BlockInstance> instances;
    for (int i = 0; i < 4; ++i) {
        BlockInstance instance;
        instance.id = i + 1;
        instance.description = &d;
        instances.append(instance);
    }
    QGraphicsScene plain;
    PatchScene scene;
    QList<CanvasBlock*> scanned;
    for (const BlockInstance& instance : qAsConst(instances)) {
        auto* block = new CanvasBlock(&instance);
        plain.addItem(block);
        block->bringToFront();
        scanned.append(block);
        scene.addBlockItem(&instance, 0, 0);
    }
    scanned[1]->bringToFront();
    scene.blockItem(2)->bringToFront();
    delete scanned.takeLast();
    scene.removeBlockItem(4);
    scanned[3 - 1]->bringToFront();
    scene.blockItem(3)->bringToFront();
    for (int i = 0; i < scanned.size(); ++i)
        QCOMPARE(scene.blockItem(i + 1)->zValue(), scanned[i]->zValue());
}

void TestPatchScene::addBlockItemReplacesSilently()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 1, 1);
    BlockInstance* first = doc.addBlock(1, d);
    doc.addBlock(2, d, 0, 100);
    scene.addConnection(1, 1, 0, 2, 0);
    scene.addConnection(2, 2, 0, 1, 0);
    scene.blockItem(1)->setSelected(true);
    QSignalSpy removed(&scene, &PatchScene::connectionRemoved);
    QSignalSpy blocks(&scene, &PatchScene::blockRemoved);

    scene.addBlockItem(first, 60, 70);
    QCOMPARE(removed.count(), 0);
    QCOMPARE(blocks.count(), 0);
    QCOMPARE(scene.cableItem(1), nullptr);
    QCOMPARE(scene.cableItem(2), nullptr);
    CanvasBlock* other = scene.blockItem(2);
    QVERIFY(other->registeredCables().isEmpty());
    QCOMPARE(other->inSockets()[0]->connectedCable(), -1);
    QCOMPARE(other->outSockets()[0]->connectedCable(), -1);
    int blockCount = 0;
    for (const QGraphicsItem* item : scene.items())
        blockCount += item->type() == CanvasBlock::Type;
    QCOMPARE(blockCount, 2);
    QCOMPARE(scene.blockItem(1)->pos(), QPointF(60, 70));
    QVERIFY(scene.blockItem(1)->registeredCables().isEmpty());
    // The replaced cables' ids stay taken.
    scene.requestAddConnection(1, 0, 2, 0);
    QCOMPARE(doc.added.last(), 3);
}

void TestPatchScene::deleteSelectedObjects()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 2, 2);
    doc.addBlock(1, d);
    doc.addBlock(2, d, 0, 100);
    doc.addBlock(3, d, 100, 100);
    scene.addConnection(1, 1, 0, 2, 0);
    scene.addConnection(2, 1, 1, 3, 0);
    scene.addConnection(3, 2, 0, 3, 1);
    doc.addComment(1, 300, 0, QStringLiteral("note"));

    // One block with two cables: one step that holds both removals and the block's.
    scene.blockItem(1)->setSelected(true);
    QSignalSpy selection(&scene, &PatchScene::blockSelected);
    scene.deleteSelectedObjects();
    QCOMPARE(doc.log.first(), QStringLiteral("begin delete object"));
    QCOMPARE(doc.log.last(), QStringLiteral("end"));
    QCOMPARE(doc.log.count(QStringLiteral("block 1")), 1);
    QCOMPARE(doc.removed, (QList<int>{2, 1}));
    QCOMPARE(selection.count(), 1);
    QCOMPARE(selectedIds(selection.last()), QList<int>{});

    // Blocks, a cable and a comment together: one report once all are gone.
    doc.log.clear();
    doc.removed.clear();
    selection.clear();
    scene.blockItem(2)->setSelected(true);
    scene.cableItem(3)->setSelected(true);
    scene.commentItem(1)->setSelected(true);
    selection.clear();
    scene.deleteSelectedObjects();
    QCOMPARE(doc.log.first(), QStringLiteral("begin delete objects"));
    QCOMPARE(doc.log.last(), QStringLiteral("end"));
    QVERIFY(doc.log.contains(QStringLiteral("block 2")));
    QVERIFY(doc.log.contains(QStringLiteral("comment 1")));
    QCOMPARE(doc.removed, QList<int>{3});
    QCOMPARE(selection.count(), 1);
    QVERIFY(scene.selectedItems().isEmpty());
    QCOMPARE(scene.blockItem(2), nullptr);
    QCOMPARE(scene.commentItem(1), nullptr);
    QVERIFY(scene.blockItem(3));
}

void TestPatchScene::deleteNothingSelected()
{
    PatchScene scene;
    FakeDocument doc(scene);
    doc.addBlock(1, doc.describe(QStringLiteral("Osc"), 1, 1));
    QSignalSpy selection(&scene, &PatchScene::blockSelected);
    scene.deleteSelectedObjects();
    QVERIFY(doc.log.isEmpty());
    QCOMPARE(selection.count(), 1);
}

void TestPatchScene::deleteEndsWhenRequestsAreRefused()
{
    PatchScene scene;
    FakeDocument doc(scene);
    doc.carryOut = false;
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 1, 1);
    doc.addBlock(1, d);
    doc.addBlock(2, d, 0, 100);
    scene.addConnection(1, 1, 0, 2, 0);
    scene.selectAll();
    scene.cableItem(1)->setSelected(true);
    scene.deleteSelectedObjects();
    QCOMPARE(doc.log.first(), QStringLiteral("begin delete objects"));
    QCOMPARE(doc.log.count(), 4);
    QCOMPARE(doc.log.last(), QStringLiteral("end"));
    QVERIFY(scene.blockItem(1));
}

void TestPatchScene::clearItemsMutesAndEmptiesTables()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 1, 1);
    for (int i = 1; i <= 4; ++i)
        doc.addBlock(i, d, 0, i * 100);
    scene.addConnection(1, 1, 0, 2, 0);
    scene.addConnection(2, 2, 0, 3, 0);
    scene.addConnection(3, 3, 0, 4, 0);
    scene.removeConnection(3);
    doc.addComment(1, 300, 0, QStringLiteral("note"));
    scene.selectAll();
    scene.cableItem(1)->setSelected(true);
    QSignalSpy selection(&scene, &PatchScene::blockSelected);
    QSignalSpy removed(&scene, &PatchScene::connectionRemoved);

    scene.clearItems();
    QVERIFY(scene.items().isEmpty());
    QCOMPARE(removed.count(), 0);
    // One report of the emptied selection, none per item.
    QCOMPARE(selection.count(), 1);
    QCOMPARE(selectedIds(selection.last()), QList<int>{});
    QCOMPARE(scene.blockItem(1), nullptr);
    QCOMPARE(scene.commentItem(1), nullptr);

    // Rebuilt from the model, as a reload does: the same ids show again.
    for (int i = 1; i <= 4; ++i)
        scene.addBlockItem(&doc.instances[i], 0, i * 100);
    scene.addConnection(1, 1, 0, 2, 0);
    scene.addConnection(2, 2, 0, 3, 0);
    QCOMPARE(scene.blockItem(2)->registeredCables(), (QList<int>{1, 2}));
    QCOMPARE(scene.blockItem(4)->zValue(), 8.0);
    scene.requestAddConnection(3, 0, 4, 0);
    QCOMPARE(doc.added.last(), 3);
}

void TestPatchScene::destructionEmitsNothing()
{
    std::list<BlockDescription> descriptions;
    int emissions = 0;
    {
        // The document's model goes before its scene; the scene must not read it then.
        auto model = std::make_unique<FakeDocument>(*new PatchScene);
        PatchScene* scene = &model->scene;
        QObject::connect(scene, &PatchScene::blockSelected, [&emissions] { ++emissions; });
        const BlockDescription* d = model->describe(QStringLiteral("Osc"), 1, 1);
        for (int i = 1; i <= 3; ++i)
            model->addBlock(i, d, 0, i * 100);
        scene->addConnection(1, 1, 0, 2, 0);
        scene->addConnection(2, 2, 0, 3, 0);
        model->addComment(1, 300, 0, QStringLiteral("note"));
        scene->selectAll();
        scene->cableItem(2)->setSelected(true);
        emissions = 0;
        descriptions.swap(model->descriptions);
        model->instances.clear();
        model->comments.clear();
        delete scene;
    }
    QCOMPARE(emissions, 0);
}

void TestPatchScene::plainClearLeavesNoDanglingEntries()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 1, 1);
    doc.addBlock(1, d);
    doc.addBlock(2, d, 0, 100);
    scene.addConnection(1, 1, 0, 2, 0);
    scene.addConnection(2, 2, 0, 1, 0);
    doc.addComment(1, 300, 0, QStringLiteral("note"));
    // The base class's clear deletes items in its own order.
    static_cast<QGraphicsScene&>(scene).clear();
    QCOMPARE(scene.blockItem(1), nullptr);
    QCOMPARE(scene.blockItem(2), nullptr);
    QCOMPARE(scene.cableItem(1), nullptr);
    QCOMPARE(scene.cableItem(2), nullptr);
    QCOMPARE(scene.commentItem(1), nullptr);
    doc.addBlock(1, d);
    QCOMPARE(scene.blockItem(1)->zValue(), 2.0);
}

void TestPatchScene::emptyCommentSweepEndsWhenRefused()
{
    PatchScene scene;
    FakeDocument doc(scene);
    doc.carryOut = false;
    doc.addComment(1, 0, 0, QString());
    doc.addComment(2, 0, 50, QStringLiteral("text"));
    doc.addComment(3, 0, 100, QStringLiteral("   "));
    QGraphicsSceneMouseEvent press(QEvent::GraphicsSceneMousePress);
    press.setButton(Qt::LeftButton);
    press.setButtons(Qt::LeftButton);
    press.setScenePos(QPointF(500, 500));
    QApplication::sendEvent(&scene, &press);
    // One request for each empty comment, once, though none of them went.
    QStringList asked = doc.log;
    std::sort(asked.begin(), asked.end());
    QCOMPARE(asked, (QStringList{"comment 1", "comment 3"}));
    QCOMPARE(scene.lastClickPosition(), QPointF(500, 500));
}

KL_TEST_MAIN(TestPatchScene)
#include "test_patchscene.moc"
