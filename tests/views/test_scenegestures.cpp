#include "CanvasHarness.h"
#include "MessageCapture.h"
#include "PatchCable.h"
#include "PatchComment.h"
#include "TestMain.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

using harness::Canvas;

namespace {

const QString osc = QStringLiteral("Oscillator");
const QString mixer = QStringLiteral("Mixer");
const QString feedbackWarning =
    QStringLiteral("You are about to create a feedback loop.\nPlease use [Send], [Receive] "
                   "objects to estabilish a feedback loop connection.");

struct Link
{
    int out;
    int outSocket;
    int in;
    int inSocket;
    bool operator==(const Link& other) const
    {
        return out == other.out && outSocket == other.outSocket && in == other.in &&
               inSocket == other.inSocket;
    }
};

QList<Link> links(const PatchDocument& doc)
{
    QList<Link> list;
    for (const BlockConnection* c : doc.blockConnections()) {
        list.append({c->outBlock ? c->outBlock->id : 0, c->outBlockSocketId,
                     c->inBlock ? c->inBlock->id : 0, c->inBlockSocketId});
    }
    return list;
}

// What a drop delivers to the viewport, and whether the view took it.
bool dropText(Canvas& canvas, const QPointF& at, const QString& format, const QString& text)
{
    QMimeData data;
    data.setData(format, text.toUtf8());
    const QPoint local = canvas.doc.mapFromScene(at);
    QDragEnterEvent enter(local, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas.doc.viewport(), &enter);
    QDragMoveEvent move(local, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas.doc.viewport(), &move);
    QDropEvent drop(local, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(canvas.doc.viewport(), &drop);
    return enter.isAccepted() && move.isAccepted() && drop.isAccepted();
}

} // namespace

Q_DECLARE_METATYPE(Link)

class TestSceneGestures : public QObject
{
    Q_OBJECT

private slots:
    void drop_data();
    void drop();
    void dropWithoutText();

    void cableDrag_data();
    void cableDrag();
    void cableDragReplaces_data();
    void cableDragReplaces();
    void cableDragBetweenJoinedSockets();
    void feedbackWarnedOnce();
    void feedbackWalkEndsOnOlderLoops();
    void dragTargetGoesWithItsBlock();
    void dragSocketGoesWithItsBlock();
    void lostGrabEndsTheDrag();
    void rubberBandFollowsTheMouse();

    void rightPressAddsToSelection();
    void deleteKeyMakesOneStep();
    void shiftDeleteDoesNothing();
    void mouseMoveRecording();
    void clickRecordsNothing();
    void keyboardMovesShareTheRelay();
    void undoEndsTheKeyboardMacro();
    void keyboardMoveClosedBeforeDelete();
    void keyboardMoveClosedBeforeOtherSteps();
};

// ---- palette drops ----------------------------------------------------------------------

void TestSceneGestures::drop_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QPointF>("at");
    QTest::addColumn<bool>("added");
    QTest::addColumn<QPoint>("position");

    QTest::newRow("offsets") << "Oscillator;12;7" << QPointF(100.6, 50.2) << true << QPoint(88, 43);
    QTest::newRow("truncated toward zero")
        << "Oscillator;10;10" << QPointF(3.4, 3.4) << true << QPoint(-6, -6);
    QTest::newRow("negative offset")
        << "Oscillator;-5;0" << QPointF(10, 10) << true << QPoint(15, 10);
    QTest::newRow("no number reads 0")
        << "Oscillator;abc;7" << QPointF(100, 50) << true << QPoint(100, 43);
    QTest::newRow("empty parts read 0")
        << "Oscillator;;" << QPointF(100, 50) << true << QPoint(100, 50);
    QTest::newRow("fraction is no integer")
        << "Oscillator;2.5;1" << QPointF(100, 50) << true << QPoint(100, 49);
    QTest::newRow("two parts") << "Oscillator;12" << QPointF(100, 50) << false << QPoint();
    QTest::newRow("four parts") << "Oscillator;1;2;3" << QPointF(100, 50) << false << QPoint();
    QTest::newRow("one part") << "Oscillator" << QPointF(100, 50) << false << QPoint();
    QTest::newRow("unknown name") << "Nonexistent;1;1" << QPointF(100, 50) << false << QPoint();
    QTest::newRow("empty name") << ";1;1" << QPointF(100, 50) << false << QPoint();
    QTest::newRow("name differs in case")
        << "oscillator;1;1" << QPointF(100, 50) << false << QPoint();
}

void TestSceneGestures::drop()
{
    QFETCH(QString, text);
    QFETCH(QPointF, at);
    QFETCH(bool, added);
    QFETCH(QPoint, position);

    Canvas canvas;
    // Zoomed in, so a drop lands between whole scene pixels.
    canvas.doc.setTransform(QTransform::fromScale(5, 5));
    canvas.doc.horizontalScrollBar()->setValue(0);
    canvas.doc.verticalScrollBar()->setValue(0);
    const QPointF mapped = canvas.doc.mapToScene(canvas.doc.mapFromScene(at));
    QVERIFY(qAbs(mapped.x() - at.x()) < 1e-6 && qAbs(mapped.y() - at.y()) < 1e-6);

    QVERIFY(dropText(canvas, at, QStringLiteral("text/plain"), text));
    if (!added) {
        QVERIFY(canvas.doc.isEmpty());
        QCOMPARE(canvas.stack()->count(), 0);
        QVERIFY(!canvas.doc.changed());
        return;
    }
    QCOMPARE(canvas.steps(), QStringList{QStringLiteral("add DSP-Block")});
    const BlockInstance* instance = canvas.doc.blockInstance(1);
    QVERIFY(instance);
    QCOMPARE(instance->description->name, osc);
    QCOMPARE(QPoint(instance->x, instance->y), position);
    QCOMPARE(canvas.scene()->blockItem(1)->pos(), QPointF(position));
}

void TestSceneGestures::dropWithoutText()
{
    Canvas canvas;
    QVERIFY(!dropText(canvas, QPointF(50, 50), QStringLiteral("application/x-other"),
                      QStringLiteral("Oscillator;1;1")));
    QVERIFY(canvas.doc.isEmpty());
    QCOMPARE(canvas.stack()->count(), 0);
}

// ---- cable drags ------------------------------------------------------------------------

void TestSceneGestures::cableDrag_data()
{
    // Blocks: 1 Oscillator (1 in, 1 out), 2 Mixer (2 in, 1 out), 3 Mixer.
    QTest::addColumn<int>("fromBlock");
    QTest::addColumn<bool>("fromOutput");
    QTest::addColumn<int>("fromSocket");
    QTest::addColumn<int>("toBlock");
    QTest::addColumn<bool>("toOutput");
    QTest::addColumn<int>("toSocket");
    QTest::addColumn<bool>("made");
    QTest::addColumn<Link>("link");

    QTest::newRow("out to in") << 1 << true << 0 << 2 << false << 1 << true << Link{1, 0, 2, 1};
    QTest::newRow("in to out") << 2 << false << 0 << 1 << true << 0 << true << Link{1, 0, 2, 0};
    QTest::newRow("same block") << 2 << true << 0 << 2 << false << 0 << false << Link{};
    QTest::newRow("in to in") << 2 << false << 0 << 3 << false << 0 << false << Link{};
    QTest::newRow("out to out") << 1 << true << 0 << 3 << true << 0 << false << Link{};
}

void TestSceneGestures::cableDrag()
{
    QFETCH(int, fromBlock);
    QFETCH(bool, fromOutput);
    QFETCH(int, fromSocket);
    QFETCH(int, toBlock);
    QFETCH(bool, toOutput);
    QFETCH(int, toSocket);
    QFETCH(bool, made);
    QFETCH(Link, link);

    Canvas canvas;
    QList<CanvasBlock*> blocks{canvas.place(osc, 100, 100), canvas.place(mixer, 300, 300),
                               canvas.place(mixer, 500, 100)};
    CanvasBlock* from = blocks.at(fromBlock - 1);
    CanvasBlock* to = blocks.at(toBlock - 1);
    SocketItem* source =
        fromOutput ? from->outSockets().at(fromSocket) : from->inSockets().at(fromSocket);
    SocketItem* end = toOutput ? to->outSockets().at(toSocket) : to->inSockets().at(toSocket);

    canvas.press(Canvas::centre(source));
    QVERIFY(source->isDragging());
    QCOMPARE(canvas.scene()->draggedSocket(), source);
    QVERIFY(from->isSelected());
    canvas.moveTo(Canvas::centre(source) + QPointF(30, 30));
    canvas.moveTo(Canvas::centre(end));
    QCOMPARE(source->dragTarget(), made ? end : nullptr);
    QCOMPARE(end->isHovered(), made);
    canvas.release(Canvas::centre(end));

    // Released, the drag leaves nothing behind.
    QVERIFY(!source->isDragging());
    QCOMPARE(source->dragTarget(), nullptr);
    QCOMPARE(canvas.scene()->draggedSocket(), nullptr);
    // The block under the press was not dragged along.
    QCOMPARE(from->pos(), QPointF(from->instance()->x, from->instance()->y));

    if (!made) {
        QVERIFY(canvas.doc.blockConnections().isEmpty());
        QCOMPARE(canvas.stack()->count(), 0);
        return;
    }
    QCOMPARE(links(canvas.doc), QList<Link>{link});
    QCOMPARE(canvas.steps(), QStringList{QStringLiteral("create new connection")});
    QCOMPARE(source->connectedCable(), 1);
    QCOMPARE(end->connectedCable(), 1);
}

void TestSceneGestures::cableDragReplaces_data()
{
    // Blocks: 1 Oscillator, 2 Mixer, 3 Mixer; a cable 1.out0 -> 2.in0 exists.
    QTest::addColumn<int>("fromBlock");
    QTest::addColumn<bool>("fromOutput");
    QTest::addColumn<int>("fromSocket");
    QTest::addColumn<int>("toBlock");
    QTest::addColumn<int>("toSocket");
    QTest::addColumn<Link>("link");

    QTest::newRow("free output to a taken input") << 3 << true << 0 << 2 << 0 << Link{3, 0, 2, 0};
    QTest::newRow("taken output to a free input") << 1 << true << 0 << 3 << 1 << Link{1, 0, 3, 1};
    QTest::newRow("taken input to a free output") << 2 << false << 0 << 3 << 0 << Link{3, 0, 2, 0};
}

void TestSceneGestures::cableDragReplaces()
{
    QFETCH(int, fromBlock);
    QFETCH(bool, fromOutput);
    QFETCH(int, fromSocket);
    QFETCH(int, toBlock);
    QFETCH(int, toSocket);
    QFETCH(Link, link);

    Canvas canvas;
    QList<CanvasBlock*> blocks{canvas.place(osc, 100, 100), canvas.place(mixer, 300, 300),
                               canvas.place(mixer, 500, 100)};
    canvas.connect(blocks.at(0), 0, blocks.at(1), 0);
    CanvasBlock* from = blocks.at(fromBlock - 1);
    CanvasBlock* to = blocks.at(toBlock - 1);
    SocketItem* source =
        fromOutput ? from->outSockets().at(fromSocket) : from->inSockets().at(fromSocket);
    SocketItem* end = fromOutput ? to->inSockets().at(toSocket) : to->outSockets().at(toSocket);

    canvas.drag(Canvas::centre(source), Canvas::centre(end));
    QCOMPARE(links(canvas.doc), QList<Link>{link});
    QCOMPARE(canvas.steps(), (QStringList{QStringLiteral("delete connection"),
                                          QStringLiteral("create new connection")}));
    // The new cable takes an id never handed out before.
    QCOMPARE(canvas.doc.blockConnections().first()->id, 2);
    QCOMPARE(source->connectedCable(), 2);
    QCOMPARE(end->connectedCable(), 2);
}

void TestSceneGestures::cableDragBetweenJoinedSockets()
{
    Canvas canvas;
    CanvasBlock* a = canvas.place(osc, 100, 100);
    CanvasBlock* b = canvas.place(mixer, 300, 300);
    canvas.connect(a, 0, b, 1);
    canvas.drag(Canvas::outSocket(a, 0), Canvas::inSocket(b, 1));
    // One removal: it also cleared the other socket's record.
    QCOMPARE(canvas.steps(), (QStringList{QStringLiteral("delete connection"),
                                          QStringLiteral("create new connection")}));
    QCOMPARE(links(canvas.doc), (QList<Link>{{1, 0, 2, 1}}));
    QCOMPARE(canvas.doc.blockConnections().first()->id, 2);
}

void TestSceneGestures::feedbackWarnedOnce()
{
    Canvas canvas;
    CanvasBlock* a = canvas.place(mixer, 100, 100);
    CanvasBlock* b = canvas.place(mixer, 300, 300);
    CanvasBlock* c = canvas.place(mixer, 500, 100);
    CanvasBlock* d = canvas.place(mixer, 700, 300);
    canvas.connect(a, 0, b, 0);
    canvas.connect(b, 0, c, 0);

    // The tooltips of offered sockets may bring platform warnings; only ours are counted.
    MessageCapture messages;
    // Into a block that feeds nothing back: no loop.
    canvas.drag(Canvas::outSocket(c, 0), Canvas::inSocket(d, 0));
    QCOMPARE(messages.warnings().count(feedbackWarning), 0);

    // c -> a closes a -> b -> c -> a: reported once, and the cable stays.
    canvas.drag(Canvas::outSocket(c, 0), Canvas::inSocket(a, 1));
    QCOMPARE(messages.warnings().count(feedbackWarning), 1);
    QVERIFY(links(canvas.doc).contains(Link{3, 0, 1, 1}));
    QCOMPARE(canvas.stack()->count(), 3);

    // Begun on the input side, the same loop is found.
    canvas.doc.undo();
    canvas.doc.undo();
    QVERIFY(!links(canvas.doc).contains(Link{3, 0, 1, 1}));
    messages.clear();
    canvas.drag(Canvas::inSocket(a, 1), Canvas::outSocket(c, 0));
    QCOMPARE(messages.warnings().count(feedbackWarning), 1);
    QVERIFY(links(canvas.doc).contains(Link{3, 0, 1, 1}));
}

void TestSceneGestures::feedbackWalkEndsOnOlderLoops()
{
    // A loop between b and c that does not pass through a is already in the patch.
    Canvas canvas;
    CanvasBlock* a = canvas.place(mixer, 100, 100);
    CanvasBlock* b = canvas.place(mixer, 300, 300);
    CanvasBlock* c = canvas.place(mixer, 500, 100);
    CanvasBlock* d = canvas.place(mixer, 700, 300);
    canvas.connect(b, 0, c, 0);
    canvas.connect(c, 0, b, 1);

    MessageCapture messages;
    canvas.drag(Canvas::outSocket(a, 0), Canvas::inSocket(b, 0));
    QCOMPARE(messages.warnings().count(feedbackWarning), 0);
    QCOMPARE(canvas.stack()->count(), 1);
    canvas.drag(Canvas::outSocket(d, 0), Canvas::inSocket(a, 0));
    QCOMPARE(messages.warnings().count(feedbackWarning), 0);
}

void TestSceneGestures::dragTargetGoesWithItsBlock()
{
    Canvas canvas;
    CanvasBlock* a = canvas.place(osc, 100, 100);
    canvas.doc.addBlockHandler(mixer, 300, 300);
    CanvasBlock* b = canvas.scene()->blockItem(2);
    SocketItem* source = a->outSockets().at(0);

    canvas.press(Canvas::centre(source));
    canvas.moveTo(Canvas::inSocket(b, 0));
    QCOMPARE(source->dragTarget(), b->inSockets().at(0));
    const QPointF end = Canvas::inSocket(b, 0);
    // An undo in the middle of the drag takes the offered block away.
    canvas.doc.undo();
    QVERIFY(!canvas.scene()->blockItem(2));
    QCOMPARE(source->dragTarget(), nullptr);
    canvas.release(end);
    QVERIFY(canvas.doc.blockConnections().isEmpty());
    QCOMPARE(canvas.scene()->draggedSocket(), nullptr);
}

void TestSceneGestures::dragSocketGoesWithItsBlock()
{
    Canvas canvas;
    CanvasBlock* a = canvas.place(osc, 100, 100);
    canvas.doc.addBlockHandler(mixer, 300, 300);
    CanvasBlock* b = canvas.scene()->blockItem(2);

    canvas.press(Canvas::outSocket(b, 0));
    canvas.moveTo(Canvas::inSocket(a, 0));
    QVERIFY(canvas.scene()->draggedSocket());
    canvas.doc.undo();
    QCOMPARE(canvas.scene()->draggedSocket(), nullptr);
    // The foreground is drawn and the release handled with the socket gone.
    canvas.doc.viewport()->repaint();
    canvas.moveTo(Canvas::inSocket(a, 0) + QPointF(1, 1));
    canvas.release(Canvas::inSocket(a, 0));
    QVERIFY(canvas.doc.blockConnections().isEmpty());
}

void TestSceneGestures::lostGrabEndsTheDrag()
{
    Canvas canvas;
    CanvasBlock* a = canvas.place(osc, 100, 100);
    CanvasBlock* b = canvas.place(mixer, 300, 300);
    SocketItem* source = a->outSockets().at(0);
    canvas.press(Canvas::centre(source));
    canvas.moveTo(Canvas::inSocket(b, 0));
    QVERIFY(source->dragTarget());
    // A window that takes the mouse away, as a message box would.
    source->ungrabMouse();
    QVERIFY(!source->isDragging());
    QCOMPARE(source->dragTarget(), nullptr);
    QCOMPARE(canvas.scene()->draggedSocket(), nullptr);
    canvas.release(Canvas::inSocket(b, 0));
    QVERIFY(canvas.doc.blockConnections().isEmpty());
}

void TestSceneGestures::rubberBandFollowsTheMouse()
{
    Canvas canvas;
    CanvasBlock* a = canvas.place(osc, 100, 100);
    const QPointF start = Canvas::outSocket(a, 0);
    canvas.press(start);
    canvas.moveTo(QPointF(150, 300));
    QCOMPARE(canvas.scene()->lastClickPosition(), QPointF(150, 300));
    QImage image(canvas.doc.viewport()->size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    canvas.doc.viewport()->render(&image);
    // The audio-rate colour somewhere on the line halfway down, between the two x values.
    const QPoint from = canvas.doc.mapFromScene(QPointF(100, 210));
    const QPoint to = canvas.doc.mapFromScene(QPointF(160, 210));
    bool found = false;
    for (int x = from.x(); x <= to.x() && !found; ++x) {
        const QColor colour = image.pixelColor(x, from.y());
        found = qAbs(colour.red() - 0xCC) < 40 && colour.green() < 120 && colour.blue() > 120;
    }
    QVERIFY(found);
    canvas.release(QPointF(150, 300));
    QCOMPARE(canvas.scene()->draggedSocket(), nullptr);
}

// ---- selection, deletion and moves ------------------------------------------------------

void TestSceneGestures::rightPressAddsToSelection()
{
    Canvas canvas;
    CanvasBlock* a = canvas.place(osc, 100, 100);
    CanvasBlock* b = canvas.place(mixer, 300, 300);
    canvas.press(Canvas::body(a));
    canvas.release(Canvas::body(a));
    QVERIFY(a->isSelected());
    const qreal z = b->zValue();

    canvas.press(Canvas::body(b), Qt::RightButton);
    canvas.release(Canvas::body(b), Qt::RightButton);
    QVERIFY(a->isSelected());
    QVERIFY(b->isSelected());
    // Not the block's own press: nothing is brought to the front.
    QCOMPARE(b->zValue(), z);
    QCOMPARE(canvas.scene()->lastClickPosition(), Canvas::body(b));

    // On empty canvas nothing changes.
    canvas.press(QPointF(800, 600), Qt::RightButton);
    canvas.release(QPointF(800, 600), Qt::RightButton);
    QCOMPARE(canvas.scene()->selectedItems().size(), 2);
    QCOMPARE(canvas.stack()->count(), 0);
}

void TestSceneGestures::deleteKeyMakesOneStep()
{
    Canvas canvas;
    CanvasBlock* a = canvas.place(osc, 100, 100);
    CanvasBlock* b = canvas.place(mixer, 300, 300);
    CanvasBlock* c = canvas.place(mixer, 500, 100);
    canvas.connect(a, 0, b, 0);
    canvas.connect(c, 0, a, 0);
    canvas.press(Canvas::body(a));
    canvas.release(Canvas::body(a));

    QSignalSpy selection(canvas.scene(), &PatchScene::blockSelected);
    canvas.key(Qt::Key_Delete);
    QCOMPARE(canvas.steps(),
             QStringList{QStringLiteral("delete object [delete connection, delete connection, "
                                        "delete DSP-Block]")});
    QVERIFY(!canvas.doc.blockInstance(1));
    QVERIFY(canvas.doc.blockConnections().isEmpty());
    QVERIFY(!canvas.doc.isMacroOpen());
    QCOMPARE(selection.count(), 1);

    // Backspace over two blocks and nothing else.
    b->setSelected(true);
    c->setSelected(true);
    canvas.key(Qt::Key_Backspace);
    QCOMPARE(canvas.steps().last(),
             QStringLiteral("delete objects [delete DSP-Block, delete DSP-Block]"));
    QVERIFY(canvas.doc.isEmpty());

    canvas.doc.undo();
    canvas.doc.undo();
    QCOMPARE(canvas.doc.blockInstances().size(), 3);
    QCOMPARE(canvas.doc.blockConnections().size(), 2);
}

void TestSceneGestures::shiftDeleteDoesNothing()
{
    Canvas canvas;
    CanvasBlock* a = canvas.place(osc, 100, 100);
    a->setSelected(true);
    canvas.key(Qt::Key_Delete, Qt::ShiftModifier);
    canvas.key(Qt::Key_Backspace, Qt::ShiftModifier);
    QCOMPARE(canvas.stack()->count(), 0);
    QVERIFY(canvas.doc.blockInstance(1));
    QVERIFY(a->isSelected());
}

void TestSceneGestures::mouseMoveRecording()
{
    Canvas canvas;
    CanvasBlock* a = canvas.place(osc, 100, 100);
    CanvasBlock* b = canvas.place(mixer, 300, 300);

    // Zoomed in, the mouse moves the block by a fraction of a scene pixel; it comes to rest on
    // the whole pixel the record names.
    canvas.doc.setTransform(QTransform::fromScale(2, 2));
    canvas.drag(Canvas::body(a), Canvas::body(a) + QPointF(40.5, 0));
    QCOMPARE(canvas.steps(), QStringList{QStringLiteral("move object [move DSP-Block]")});
    QCOMPARE(QPoint(a->instance()->x, a->instance()->y), QPoint(140, 100));
    QCOMPARE(a->pos(), QPointF(140, 100));
    canvas.doc.resetTransform();

    // Both selected, the press on one moves both; the cable counts as a selected item.
    canvas.connect(a, 0, b, 0);
    b->setSelected(true);
    canvas.scene()->cableItem(1)->setSelected(true);
    QCOMPARE(canvas.scene()->selectedItems().size(), 3);
    const QPointF grip = Canvas::body(b);
    canvas.press(grip);
    canvas.moveTo(grip + QPointF(5, 5));
    canvas.moveTo(grip + QPointF(-10, 20));
    canvas.release(grip + QPointF(-10, 20));
    QCOMPARE(canvas.steps().last(),
             QStringLiteral("move objects [move DSP-Block, move DSP-Block]"));
    QCOMPARE(QPoint(a->instance()->x, a->instance()->y), QPoint(130, 120));
    QCOMPARE(QPoint(b->instance()->x, b->instance()->y), QPoint(290, 320));
    QVERIFY(!canvas.doc.isMacroOpen());
    // The cable followed both ends.
    const PatchCable* cable = canvas.scene()->cableItem(1);
    QCOMPARE(cable->path().elementAt(0), Canvas::outSocket(a, 0) - QPointF(0, 7));

    canvas.doc.undo();
    QCOMPARE(b->pos(), QPointF(300, 300));
    QCOMPARE(a->pos(), QPointF(140, 100));
}

void TestSceneGestures::clickRecordsNothing()
{
    Canvas canvas;
    CanvasBlock* a = canvas.place(osc, 100, 100);
    QSignalSpy macros(canvas.scene(), &PatchScene::beginUndo);
    canvas.press(Canvas::body(a));
    canvas.release(Canvas::body(a));
    QVERIFY(a->isSelected());
    // A move back to where it started is no move either.
    canvas.drag(Canvas::body(a), Canvas::body(a));
    QCOMPARE(macros.count(), 0);
    QCOMPARE(canvas.stack()->count(), 0);
}

void TestSceneGestures::keyboardMovesShareTheRelay()
{
    Canvas canvas;
    CanvasBlock* a = canvas.place(osc, 100, 100);
    CanvasBlock* b = canvas.place(mixer, 300, 300);
    a->setSelected(true);
    b->setSelected(true);

    for (int i = 0; i < 3; ++i) {
        canvas.key(Qt::Key_Right, Qt::ShiftModifier);
        QTest::qWait(300);
    }
    QVERIFY(canvas.doc.isMacroOpen());
    QTest::qWait(1500);
    QVERIFY(!canvas.doc.isMacroOpen());
    QCOMPARE(canvas.stack()->count(), 1);
    QCOMPARE(canvas.stack()->command(0)->text(), QStringLiteral("move objects"));
    QCOMPARE(canvas.stack()->command(0)->childCount(), 6);

    canvas.key(Qt::Key_Down, Qt::ShiftModifier);
    QVERIFY(canvas.doc.isMacroOpen());
    QTest::qWait(1200);
    QCOMPARE(canvas.stack()->count(), 2);
    QCOMPARE(QPoint(a->instance()->x, a->instance()->y), QPoint(103, 101));
    QCOMPARE(QPoint(b->instance()->x, b->instance()->y), QPoint(303, 301));

    // Arrows without Shift move nothing.
    canvas.key(Qt::Key_Left);
    canvas.key(Qt::Key_Up);
    QCOMPARE(canvas.stack()->count(), 2);
    QCOMPARE(a->pos(), QPointF(103, 101));
}

void TestSceneGestures::undoEndsTheKeyboardMacro()
{
    Canvas canvas;
    CanvasBlock* a = canvas.place(osc, 100, 100);
    a->setSelected(true);
    canvas.key(Qt::Key_Left, Qt::ShiftModifier);
    canvas.key(Qt::Key_Up, Qt::ShiftModifier);
    QTest::qWait(200);
    QSignalSpy ends(canvas.scene(), &PatchScene::endUndo);
    canvas.doc.undo();
    QVERIFY(!canvas.doc.isMacroOpen());
    QCOMPARE(a->pos(), QPointF(100, 100));
    QCOMPARE(canvas.steps(), QStringList{QStringLiteral("move object [move DSP-Block, move "
                                                        "DSP-Block]")});
    QCOMPARE(canvas.stack()->index(), 0);
    QTest::qWait(1200);
    QCOMPARE(ends.count(), 0);
    canvas.doc.redo();
    QCOMPARE(a->pos(), QPointF(99, 99));
}

void TestSceneGestures::keyboardMoveClosedBeforeDelete()
{
    Canvas canvas;
    CanvasBlock* a = canvas.place(osc, 100, 100);
    a->setSelected(true);
    canvas.key(Qt::Key_Right, Qt::ShiftModifier);
    canvas.key(Qt::Key_Delete);
    QVERIFY(!canvas.doc.isMacroOpen());
    QCOMPARE(canvas.steps(), (QStringList{QStringLiteral("move object [move DSP-Block]"),
                                          QStringLiteral("delete object [delete DSP-Block]")}));
    canvas.doc.undo();
    QVERIFY(!canvas.doc.isMacroOpen());
    // Only the deletion is undone; the block is back where the key put it.
    QCOMPARE(canvas.stack()->index(), 1);
    const BlockInstance* instance = canvas.doc.blockInstance(1);
    QVERIFY(instance);
    QCOMPARE(QPoint(instance->x, instance->y), QPoint(101, 100));
    QTest::qWait(1200);
    QVERIFY(!canvas.doc.isMacroOpen());
    QCOMPARE(canvas.stack()->count(), 2);
}

void TestSceneGestures::keyboardMoveClosedBeforeOtherSteps()
{
    // Each gesture that follows a keyboard move within the relay is an undo step of its own.
    Canvas canvas;
    CanvasBlock* a = canvas.place(osc, 100, 100);
    CanvasBlock* b = canvas.place(mixer, 300, 300);
    a->setSelected(true);

    canvas.key(Qt::Key_Right, Qt::ShiftModifier);
    canvas.drag(Canvas::outSocket(a, 0), Canvas::inSocket(b, 0));
    canvas.key(Qt::Key_Right, Qt::ShiftModifier);
    QVERIFY(dropText(canvas, QPointF(600, 100), QStringLiteral("text/plain"),
                     QStringLiteral("Mixer;0;0")));
    canvas.key(Qt::Key_Right, Qt::ShiftModifier);
    canvas.doc.addBlockHandler(osc, 10, 10);
    QVERIFY(!canvas.doc.isMacroOpen());
    QCOMPARE(canvas.steps(), (QStringList{QStringLiteral("move object [move DSP-Block]"),
                                          QStringLiteral("create new connection"),
                                          QStringLiteral("move object [move DSP-Block]"),
                                          QStringLiteral("add DSP-Block"),
                                          QStringLiteral("move object [move DSP-Block]"),
                                          QStringLiteral("add DSP-Block")}));
}

KL_TEST_MAIN(TestSceneGestures)
#include "test_scenegestures.moc"
