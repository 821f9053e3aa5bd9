#include "BlockBase.h"
#include "CanvasBlock.h"
#include "CanvasGeometry.h"
#include "Colours.h"
#include "PatchCable.h"
#include "PatchComment.h"
#include "PatchScene.h"
#include "ShownText.h"
#include "SocketItem.h"
#include "TestMain.h"
#include "ViewFixtures.h"

#include <QFontMetrics>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QtTest>

using fixtures::FakeDocument;

namespace {

int expectedBodyWidth(const QString& name, int inputs, int outputs)
{
    const int nameWidth = QFontMetrics(BlockBase::blockNameFont()).horizontalAdvance(name);
    return canvas::blockBodyWidth(nameWidth, inputs, outputs);
}

QColor pixel(const QImage& image, const QPointF& at)
{
    return QColor::fromRgba(image.pixel(at.toPoint()));
}

// Gives the test the block's own press handler.
class PressableBlock : public CanvasBlock
{
public:
    using CanvasBlock::CanvasBlock;
    using CanvasBlock::mousePressEvent;
};

} // namespace

class TestCanvasItems : public QObject
{
    Q_OBJECT

private slots:
    void fontIsTheBlockFamily();
    void blockBuildsSockets();
    void socketTooltips_data();
    void socketTooltips();
    void renderedBlock_data();
    void renderedBlock();
    void selectionRingOnlyWhenSelected();
    void socketBarsAndHover();
    void cableColourFollowsRate_data();
    void cableColourFollowsRate();
    void selectedCableIsWider();
    void cableShapeIsTheStroke();
    void cableFollowsMovingBlocks();
    void longCableInView();
    void longCableHitsAndBands();
    void cableRegistersAndResets();
    void blockPressButtons();
    void commentStartsReading();
};

void TestCanvasItems::fontIsTheBlockFamily()
{
    const QFont font = BlockBase::blockNameFont();
    QCOMPARE(font.family(), QStringLiteral("Futura Std"));
    QCOMPARE(font.pixelSize(), 14);

    Comment comment;
    PatchComment item(1, 0, 0, &comment);
    QCOMPARE(item.font().family(), QStringLiteral("Futura Std"));
    QCOMPARE(item.font().pointSize(), 14);
}

void TestCanvasItems::blockBuildsSockets()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Quad Mixer"), 1, 3);
    doc.addBlock(1, d, 100, 50);
    CanvasBlock* block = scene.blockItem(1);
    QVERIFY(block);

    const int width = expectedBodyWidth(d->name, 1, 3);
    QCOMPARE(block->boundingRect(), QRectF(-4, -4, width + 8, 33));
    QCOMPARE(testsupport::shownToolTip(block->toolTip()), QStringLiteral("Quad Mixer info"));
    QCOMPARE(block->inSockets().size(), 1);
    QCOMPARE(block->outSockets().size(), 3);
    QCOMPARE(block->inSockets()[0]->pos(), QPointF(5, -14));
    QCOMPARE(block->outSockets()[2]->pos(), QPointF(43, 25));
    QCOMPARE(block->outSockets()[1]->variable()->name, QStringLiteral("out1"));
    QCOMPARE(block->outSockets()[1]->parentItem(), block);
    for (const SocketItem* socket : block->outSockets() + block->inSockets()) {
        QVERIFY(socket->isConnectable());
        QCOMPARE(socket->connectedCable(), -1);
        QCOMPARE(socket->type(), 65537);
    }
    QVERIFY(block->flags() & QGraphicsItem::ItemSendsScenePositionChanges);

    // Without sockets the name alone sets the width.
    const BlockDescription* bare = doc.describe(QStringLiteral("Constant"), 0, 0);
    doc.addBlock(2, bare);
    const int nameWidth = QFontMetrics(BlockBase::blockNameFont()).horizontalAdvance(bare->name);
    QCOMPARE(scene.blockItem(2)->boundingRect().width(), qreal(nameWidth + 20 + 8));
}

void TestCanvasItems::socketTooltips_data()
{
    QTest::addColumn<QString>("info");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << "tip"
                           << "tip";
    QTest::newRow("spaces kept") << "A  +  B"
                                 << "A  +  B";
    // Block files come with patches: their texts show as typed, markup and all.
    QTest::newRow("image tag") << "<img src=\"/dev/zero\"> level"
                               << "<img src=\"/dev/zero\"> level";
    QTest::newRow("bold") << "<b>Bold</b> level"
                          << "<b>Bold</b> level";
    QTest::newRow("an entity as typed") << "A &lt; B"
                                        << "A &lt; B";
    QTest::newRow("direction override")
        << QString("level \u202Eevil") << QString("level \uFFFDevil");
    QTest::newRow("65,535 characters")
        << QString(65535, 'x') << QString(300, 'x') + QChar(0x2026) + " (65535 characters)";
}

// Tool tips of blocks and sockets show the description's text as plain text, bounded.
void TestCanvasItems::socketTooltips()
{
    QFETCH(QString, info);
    QFETCH(QString, shown);
    BlockDescription d = fixtures::description(QStringLiteral("Gain"), 2, 1);
    d.info = info;
    d.variables[0].info = info;
    d.variables[1].info = info;
    d.variables[d.variables.size() - 2].info = info;
    d.rebuildSockets();
    BlockBase block(&d);
    QCOMPARE(testsupport::shownToolTip(block.toolTip()), shown);
    // The fixture makes input 0 editable and input 1 not.
    QCOMPARE(testsupport::shownToolTip(block.inSockets()[0]->toolTip()), shown);
    QCOMPARE(testsupport::shownToolTip(block.inSockets()[1]->toolTip()),
             info.size() > 300 ? QString(300, 'x') + QChar(0x2026) + " (65550 characters)"
                               : shown + " (not editable)");
    QCOMPARE(testsupport::shownToolTip(block.outSockets()[0]->toolTip()), shown);
    QVERIFY(!block.inSockets()[0]->isConnectable());
}

void TestCanvasItems::renderedBlock_data()
{
    QTest::addColumn<QString>("category");
    QTest::addColumn<int>("origin");
    QTest::addColumn<QColor>("strip");
    QTest::addColumn<QColor>("body");
    QTest::addColumn<QColor>("border");
    QTest::addColumn<bool>("greyName");
    const QColor white(QStringLiteral("#FFFFFF"));
    const QColor light(QStringLiteral("#dddddd"));
    QTest::newRow("library Math") << "Math" << 0 << Colours::mathColor << white
                                  << Colours::borderColor << false;
    QTest::newRow("user Math") << "Math" << 1 << QColor("#ACE5EE") << light << QColor("#3C3C3C")
                               << false;
    QTest::newRow("carried Math") << "Math" << 2 << QColor("#ACE5EE") << white << QColor("gray")
                                  << true;
    QTest::newRow("lower-case effects")
        << "effects" << 0 << QColor("#FFFF99") << white << Colours::borderColor << false;
    QTest::newRow("Routing") << "Routing" << 0 << QColor("#FF5349") << white << Colours::borderColor
                             << false;
}

void TestCanvasItems::renderedBlock()
{
    QFETCH(QString, category);
    QFETCH(int, origin);
    QFETCH(QColor, strip);
    QFETCH(QColor, body);
    QFETCH(QColor, border);
    QFETCH(bool, greyName);

    PatchScene scene;
    FakeDocument doc(scene);
    const QString name = QStringLiteral("HHMMHH");
    const BlockDescription* d =
        doc.describe(name, 1, 1, category, static_cast<BlockDescription::BlockOrigin>(origin));
    const QPointF at(40, 40);
    doc.addBlock(1, d, at.x(), at.y());
    const QImage image = fixtures::render(scene, 300, 120);
    const int width = expectedBodyWidth(name, 1, 1);

    const QColor stripPixel = pixel(image, at + QPointF(4, 12));
    QVERIFY2(fixtures::sameColour(stripPixel, strip), fixtures::describeColour(stripPixel, strip));
    const QColor bodyPixel = pixel(image, at + QPointF(width - 4, 12));
    QVERIFY2(fixtures::sameColour(bodyPixel, body), fixtures::describeColour(bodyPixel, body));
    for (const QPointF& edge :
         {QPointF(width / 2, 0), QPointF(width / 2, 24), QPointF(width, 12)}) {
        const QColor borderPixel = pixel(image, at + edge);
        QVERIFY2(fixtures::sameColour(borderPixel, border),
                 fixtures::describeColour(borderPixel, border));
    }

    // The name: the darkest pixel of its rectangle shows the pen; grey text never gets darker
    // than grey over the white body.
    const int nameWidth = QFontMetrics(BlockBase::blockNameFont()).horizontalAdvance(name);
    int darkest = 255;
    for (int x = 15; x < nameWidth + 14; ++x) {
        for (int y = 5; y < 22; ++y)
            darkest = qMin(darkest, pixel(image, at + QPointF(x, y)).value());
    }
    if (greyName) {
        QVERIFY2(darkest >= 120 && darkest <= 175, QByteArray::number(darkest));
    } else {
        QVERIFY2(darkest < 90, QByteArray::number(darkest));
    }
}

void TestCanvasItems::selectionRingOnlyWhenSelected()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Delay"), 1, 1);
    const QPointF at(40, 40);
    doc.addBlock(1, d, at.x(), at.y());
    const int width = expectedBodyWidth(d->name, 1, 1);
    // The ring's left side and right side, midway down the body.
    const QList<QPointF> ring{at + QPointF(-3, 12), at + QPointF(width + 3, 12)};

    QImage image = fixtures::render(scene, 300, 120);
    for (const QPointF& p : ring)
        QCOMPARE(pixel(image, p).alpha(), 0);

    scene.blockItem(1)->setSelected(true);
    image = fixtures::render(scene, 300, 120);
    for (const QPointF& p : ring) {
        const QColor ringPixel = pixel(image, p);
        QVERIFY2(fixtures::sameColour(ringPixel, Colours::selectColor),
                 fixtures::describeColour(ringPixel, Colours::selectColor));
    }
}

void TestCanvasItems::socketBarsAndHover()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Filter"), 1, 1);
    const QPointF at(40, 40);
    doc.addBlock(1, d, at.x(), at.y());
    SocketItem* input = scene.blockItem(1)->inSockets()[0];
    // The input's bar sits on its bottom rows, the output's on its top rows.
    const QPointF inputBar = at + QPointF(12, -2);
    const QPointF outputBar = at + QPointF(12, 27);
    const QPointF inputTop = at + QPointF(12, -14);

    QImage image = fixtures::render(scene, 300, 120);
    QVERIFY(fixtures::sameColour(pixel(image, inputBar), Colours::borderColor));
    QVERIFY(fixtures::sameColour(pixel(image, outputBar), Colours::borderColor));
    QCOMPARE(pixel(image, inputTop).alpha(), 0);

    input->setHover(true);
    image = fixtures::render(scene, 300, 120);
    QVERIFY2(fixtures::sameColour(pixel(image, inputTop), Colours::selectColor),
             fixtures::describeColour(pixel(image, inputTop), Colours::selectColor));
}

void TestCanvasItems::cableColourFollowsRate_data()
{
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("audio rate") << "0" << QColor("#CC3CAA");
    QTest::newRow("control rate") << "1" << QColor("#3CCC3C");
    QTest::newRow("any non-zero integer") << "3" << Colours::controlColor;
}

void TestCanvasItems::cableColourFollowsRate()
{
    QFETCH(QString, rate);
    QFETCH(QColor, colour);
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 1, 1);
    doc.addBlock(1, d, 40, 40, rate);
    doc.addBlock(2, d, 40, 240);
    scene.addConnection(1, 1, 0, 2, 0);
    // Both blocks stand at x 40, so the cable runs straight down x = 52.
    const QImage image = fixtures::render(scene, 200, 300);
    for (const QPointF& p : {QPointF(52, 150), QPointF(51, 120)})
        QVERIFY2(fixtures::sameColour(pixel(image, p), colour),
                 fixtures::describeColour(pixel(image, p), colour));
    QCOMPARE(pixel(image, QPointF(54, 150)).alpha(), 0);
}

void TestCanvasItems::selectedCableIsWider()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 1, 1);
    doc.addBlock(1, d, 40, 40);
    doc.addBlock(2, d, 40, 240);
    scene.addConnection(1, 1, 0, 2, 0);
    // Width 2 covers x 51..53; width 3 reaches half into the pixels on either side.
    QCOMPARE(pixel(fixtures::render(scene, 200, 300), QPointF(50, 150)).alpha(), 0);
    scene.cableItem(1)->setSelected(true);
    QVERIFY(pixel(fixtures::render(scene, 200, 300), QPointF(50, 150)).alpha() > 60);
}

void TestCanvasItems::cableShapeIsTheStroke()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 1, 1);
    doc.addBlock(1, d, 0, 0);
    doc.addBlock(2, d, 400, 400);
    scene.addConnection(1, 1, 0, 2, 0);
    const PatchCable* cable = scene.cableItem(1);
    const QPainterPath curve = cable->path();

    // A point the curve's closed area holds but that lies well away from the line itself.
    QPointF inside;
    bool found = false;
    for (int x = 0; x < 420 && !found; x += 5) {
        for (int y = 0; y < 420 && !found; y += 5) {
            const QPointF p(x, y);
            if (!curve.contains(p))
                continue;
            qreal nearest = 1e9;
            for (int i = 0; i <= 200; ++i) {
                const QPointF q = curve.pointAtPercent(i / 200.0);
                nearest = qMin(nearest, QLineF(p, q).length());
            }
            if (nearest > 20) {
                inside = p;
                found = true;
            }
        }
    }
    QVERIFY(found);
    QVERIFY(!cable->shape().contains(inside));
    QVERIFY(!cable->contains(inside));
    QVERIFY(scene.items(inside).isEmpty());
    // On the line it is hit.
    const QPointF onLine = curve.pointAtPercent(0.3);
    QVERIFY(cable->shape().contains(onLine));
    QVERIFY(scene.items(onLine).contains(const_cast<PatchCable*>(cable)));
    QVERIFY(cable->boundingRect().contains(cable->shape().boundingRect()));
}

void TestCanvasItems::cableFollowsMovingBlocks()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 2, 2);
    doc.addBlock(1, d, 40, 40);
    doc.addBlock(2, d, 40, 240);
    scene.addConnection(7, 1, 1, 2, 0);
    const PatchCable* cable = scene.cableItem(7);
    // Output 1 stands at (24, 25), input 0 at (5, -14).
    QCOMPARE(cable->path().pointAtPercent(0), QPointF(40 + 24 + 7, 40 + 25));
    QCOMPARE(cable->path().pointAtPercent(1), QPointF(40 + 5 + 7, 240));
    // Hit once where it lies now: the hit area made for it must not stay behind.
    const QPointF before = cable->path().pointAtPercent(0.5);
    QVERIFY(cable->shape().contains(before));

    scene.blockItem(2)->setPos(300, 100);
    QCOMPARE(cable->path().pointAtPercent(1), QPointF(300 + 5 + 7, 100));
    scene.blockItem(1)->moveBy(10, -20);
    QCOMPARE(cable->path().pointAtPercent(0), QPointF(50 + 24 + 7, 20 + 25));
    // The hit area moved with it.
    QVERIFY(cable->shape().contains(cable->path().pointAtPercent(0.5)));
    QVERIFY(!cable->shape().contains(before));
    QVERIFY(cable->boundingRect().contains(cable->shape().boundingRect()));
    QVERIFY(
        scene.items(cable->path().pointAtPercent(0.5)).contains(const_cast<PatchCable*>(cable)));
}

// Of a cable far longer than the view, the part in view is drawn, wherever the view looks.
void TestCanvasItems::longCableInView()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 1, 1);
    doc.addBlock(1, d, 0, 0);
    doc.addBlock(2, d, 30000, 20000);
    scene.addConnection(1, 1, 0, 2, 0);
    const QPainterPath curve = scene.cableItem(1)->path();
    // Drawn as a view draws it, which tells each item the part it shows.
    QGraphicsView view(&scene);
    view.setFrameShape(QFrame::NoFrame);
    view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.resize(200, 160);
    for (const qreal percent : {0.1, 0.3, 0.5, 0.77}) {
        view.centerOn(curve.pointAtPercent(percent));
        const QImage image = view.viewport()->grab().toImage();
        int drawn = 0;
        for (int i = 0; i <= 4000; ++i) {
            const QPointF p =
                view.mapFromScene(curve.pointAtPercent(percent - 0.02 + i / 100000.0));
            if (!QRectF(3, 3, 194, 154).contains(p))
                continue;
            const QColor c = image.pixelColor(p.toPoint());
            QVERIFY2(fixtures::sameColour(c, Colours::selectColor, 60),
                     qPrintable(QStringLiteral("at %1%: ").arg(percent * 100) +
                                fixtures::describeColour(c, Colours::selectColor)));
            ++drawn;
        }
        QVERIFY(drawn > 100);
    }
}

// A long cable answers hits and rubber bands by its line: not in the wide empty part of the
// area its bounds span, across the line wherever it runs.
void TestCanvasItems::longCableHitsAndBands()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 1, 1);
    doc.addBlock(1, d, 0, 0);
    doc.addBlock(2, d, 30000, 20000);
    scene.addConnection(1, 1, 0, 2, 0);
    PatchCable* cable = scene.cableItem(1);
    const QPainterPath curve = cable->path();
    const auto band = [&scene](const QRectF& rect) {
        QPainterPath area;
        area.addPolygon(QPolygonF(rect));
        area.closeSubpath();
        scene.setSelectionArea(area);
        return scene.selectedItems();
    };
    // Well inside the bounds, far from the line.
    const QPointF empty(25000, 3000);
    QVERIFY(cable->boundingRect().contains(empty));
    QVERIFY(scene.items(empty).isEmpty());
    QVERIFY(band(QRectF(empty, QSizeF(400, 300))).isEmpty());
    for (const qreal percent : {0.001, 0.25, 0.5, 0.999}) {
        const QPointF on = curve.pointAtPercent(percent);
        QVERIFY(scene.items(on).contains(cable));
        QVERIFY(scene.items(QRectF(on - QPointF(1, 1), QSizeF(2, 2))).contains(cable));
        QVERIFY(band(QRectF(on - QPointF(20, 20), QSizeF(40, 40))).contains(cable));
        // Beside it, a few pixels off the line on either side.
        QLineF normal = QLineF::fromPolar(6, curve.angleAtPercent(percent) + 90);
        normal.translate(on);
        QVERIFY(!band(QRectF(normal.p2() - QPointF(1, 1), QSizeF(2, 2))).contains(cable));
        QVERIFY(!band(QRectF(2 * on - normal.p2() - QPointF(1, 1), QSizeF(2, 2))).contains(cable));
    }
}

void TestCanvasItems::cableRegistersAndResets()
{
    PatchScene scene;
    FakeDocument doc(scene);
    const BlockDescription* d = doc.describe(QStringLiteral("Osc"), 2, 2);
    doc.addBlock(1, d);
    doc.addBlock(2, d, 0, 200);
    CanvasBlock* a = scene.blockItem(1);
    CanvasBlock* b = scene.blockItem(2);
    scene.addConnection(4, 1, 1, 2, 0);
    PatchCable* cable = scene.cableItem(4);
    QCOMPARE(cable->type(), 65539);
    QVERIFY(cable->flags() & QGraphicsItem::ItemIsSelectable);
    QCOMPARE(cable->outBlock(), a);
    QCOMPARE(cable->inBlock(), b);
    QCOMPARE(cable->outSocket(), a->outSockets()[1]);
    QCOMPARE(cable->inSocket(), b->inSockets()[0]);
    QCOMPARE(a->registeredCables(), QList<int>{4});
    QCOMPARE(b->registeredCables(), QList<int>{4});
    QCOMPARE(a->outSockets()[1]->connectedCable(), 4);
    QCOMPARE(b->inSockets()[0]->connectedCable(), 4);

    scene.removeConnection(4);
    QCOMPARE(scene.cableItem(4), nullptr);
    QVERIFY(a->registeredCables().isEmpty());
    QVERIFY(b->registeredCables().isEmpty());
    QCOMPARE(a->outSockets()[1]->connectedCable(), -1);
    QCOMPARE(b->inSockets()[0]->connectedCable(), -1);

    // A socket that took a newer cable keeps its record when the older one goes.
    scene.addConnection(5, 1, 0, 2, 1);
    scene.addConnection(6, 1, 0, 2, 0);
    QCOMPARE(a->outSockets()[0]->connectedCable(), 6);
    scene.removeConnection(5);
    QCOMPARE(a->outSockets()[0]->connectedCable(), 6);
    QCOMPARE(b->inSockets()[1]->connectedCable(), -1);
    QCOMPARE(a->registeredCables(), QList<int>{6});
}

void TestCanvasItems::blockPressButtons()
{
    QGraphicsScene scene;
    BlockDescription d = fixtures::description(QStringLiteral("Env"), 1, 1);
    BlockInstance instance;
    instance.id = 1;
    instance.description = &d;
    auto* block = new PressableBlock(&instance);
    scene.addItem(block);
    QCOMPARE(block->type(), 65538);
    QCOMPARE(block->instance(), &instance);

    QGraphicsSceneMouseEvent right(QEvent::GraphicsSceneMousePress);
    right.setButton(Qt::RightButton);
    right.setButtons(Qt::RightButton);
    block->mousePressEvent(&right);
    QCOMPARE(block->zValue(), 0.0);
    QVERIFY(!block->isSelected());

    QGraphicsSceneMouseEvent left(QEvent::GraphicsSceneMousePress);
    left.setButton(Qt::LeftButton);
    left.setButtons(Qt::LeftButton);
    block->mousePressEvent(&left);
    QCOMPARE(block->zValue(), 2.0);
    QVERIFY(block->isSelected());
}

void TestCanvasItems::commentStartsReading()
{
    PatchScene scene;
    Comment record;
    record.text = QStringLiteral("<b>loud</b>");
    PatchComment* item = scene.addComment(3, 10, -3, &record);
    QCOMPARE(item->type(), 65540);
    QCOMPARE(item->id(), 3);
    QCOMPARE(item->pos(), QPointF(10, -3));
    QVERIFY(!item->editing());
    QCOMPARE(item->textInteractionFlags(), PatchComment::readingFlags());
    QVERIFY(item->flags() & QGraphicsItem::ItemIsMovable);
    QVERIFY(item->flags() & QGraphicsItem::ItemIsSelectable);

    scene.editComment(3, 10, -3, record.text);
    QCOMPARE(item->toPlainText(), QStringLiteral("loud"));
    // Editing starts from the stored text, markup shown as typed.
    scene.editComment(3);
    QVERIFY(item->editing());
    QCOMPARE(item->textInteractionFlags(), Qt::TextEditorInteraction);
    QCOMPARE(item->toPlainText(), QStringLiteral("<b>loud</b>"));
}

KL_TEST_MAIN(TestCanvasItems)
#include "test_canvasitems.moc"
