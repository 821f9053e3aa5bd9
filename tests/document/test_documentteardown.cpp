// Closing a tab and cycling undo over cables must never touch freed instances, cables or items.
// The checks that matter here are the sanitizer's: run this test in the sanitizer build too.
#include "CanvasBlock.h"
#include "FixtureHost.h"
#include "PatchCable.h"
#include "PatchComment.h"
#include "PatchDocument.h"
#include "PatchScene.h"
#include "TestMain.h"

#include <QPointer>
#include <QUndoStack>
#include <QtTest>
#include <memory>

namespace {

const QString osc = QStringLiteral("Oscillator");
const QString mixer = QStringLiteral("Mixer");

// Reads every instance a selection report names, as the inspector would.
class SelectionReader : public QObject
{
public:
    explicit SelectionReader(PatchDocument* doc)
    {
        connect(doc->patchScene(), &PatchScene::blockSelected, this,
                [this](InstanceList list, bool) {
                    ++reports;
                    for (const BlockInstance* instance : list) {
                        touched += instance->description->name.size() + instance->values.size();
                        for (const BlockConnection* connection : instance->inputs)
                            touched += connection->id + (connection->outBlock ? 1 : 0);
                    }
                });
    }
    int reports = 0;
    qint64 touched = 0;
};

// A grid of mixers, each fed by the one before, all selected, with comments (one open for
// editing) and the undo history of how it was made.
std::unique_ptr<PatchDocument> connectedDocument(FixtureHost& host, int blocks)
{
    auto doc = std::make_unique<PatchDocument>(&host);
    host.current = doc.get();
    for (int i = 0; i < blocks; ++i)
        doc->addBlockHandler(i % 2 ? mixer : osc, 60 * (i % 10), 80 * (i / 10));
    for (int i = 2; i <= blocks; ++i)
        doc->patchScene()->requestAddConnection(i - 1, 0, i, 0);
    doc->addComment(1, 900, 10);
    doc->editComment(1, 900, 10, QStringLiteral("kept"));
    doc->addComment(900, 200);
    doc->selectAll();
    return doc;
}

} // namespace

class TestDocumentTeardown : public QObject
{
    Q_OBJECT

private slots:
    void closeConnectedSelection_data();
    void closeConnectedSelection();
    void removeUndoRedoCycle();
};

void TestDocumentTeardown::closeConnectedSelection_data()
{
    QTest::addColumn<bool>("clearFirst");
    QTest::addColumn<bool>("withParent");

    QTest::newRow("clear, then delete") << true << false;
    QTest::newRow("delete only") << false << false;
    QTest::newRow("deleted with its window") << false << true;
}

void TestDocumentTeardown::closeConnectedSelection()
{
    QFETCH(bool, clearFirst);
    QFETCH(bool, withParent);

    FixtureHost host;
    auto window = std::make_unique<QWidget>();
    std::unique_ptr<PatchDocument> doc = connectedDocument(host, 12);
    if (withParent)
        doc->setParent(window.get());
    QCOMPARE(doc->selectedInstances().size(), 12);
    QCOMPARE(doc->blockConnections().size(), 11);
    SelectionReader reader(doc.get());
    QPointer<PatchScene> scene = doc->patchScene();

    if (clearFirst) {
        doc->clear();
        QVERIFY(doc->isEmpty());
        QVERIFY(doc->blockConnections().isEmpty());
        QCOMPARE(doc->comments().size(), 2);
        QVERIFY(!doc->mainOut());
        QVERIFY(reader.reports <= 1);
        int cables = 0;
        int blocks = 0;
        for (const QGraphicsItem* item : scene->items()) {
            cables += item->type() == PatchCable::Type;
            blocks += item->type() == CanvasBlock::Type;
        }
        QCOMPARE(cables, 0);
        QCOMPARE(blocks, 0);
    }
    if (withParent) {
        doc.release();
        window.reset();
    } else {
        doc.reset();
    }
    QVERIFY(scene.isNull());
}

void TestDocumentTeardown::removeUndoRedoCycle()
{
    FixtureHost host;
    std::unique_ptr<PatchDocument> doc = connectedDocument(host, 8);
    SelectionReader reader(doc.get());
    PatchScene* scene = doc->patchScene();
    doc->clearUndoStack();
    scene->deselectAll();

    for (int round = 0; round < 3; ++round) {
        // Every other block with all of its cables, then some single cables.
        for (int id = 2; id <= 8; id += 2)
            scene->blockItem(id)->setSelected(true);
        scene->deleteSelectedObjects();
        QCOMPARE(doc->blockInstances().size(), 4);
        QVERIFY(doc->blockConnections().isEmpty());
        doc->undo();
        QCOMPARE(doc->blockConnections().size(), 7);
        doc->redo();
        doc->undo();
        scene->cableItem(3)->setSelected(true);
        scene->blockItem(5)->setSelected(true);
        scene->deleteSelectedObjects();
        doc->undo();
        doc->redo();
        doc->undo();
        QCOMPARE(doc->blockInstances().size(), 8);
        QCOMPARE(doc->blockConnections().size(), 7);
        doc->selectAll();
        scene->deselectAll();
    }
    // History left with a redo tail, the canvas selected, and the tab closed.
    scene->blockItem(4)->setSelected(true);
    scene->deleteSelectedObjects();
    doc->undo();
    doc->selectAll();
    QVERIFY(reader.reports > 0);
    doc.reset();
}

KL_TEST_MAIN(TestDocumentTeardown)
#include "test_documentteardown.moc"
