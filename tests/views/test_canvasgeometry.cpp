#include "BlockInstance.h"
#include "BrowserBlock.h"
#include "CanvasGeometry.h"
#include "Colours.h"
#include "PatchScene.h"
#include "TestMain.h"

#include <QPainterPathStroker>
#include <QtTest>
#include <cmath>

class TestCanvasGeometry : public QObject
{
    Q_OBJECT

private slots:
    void bodyWidth_data();
    void bodyWidth();
    void socketRows();
    void cableBend_data();
    void cableBend();
    void cablePathLeavesDownAndArrivesFromAbove();
    void curveReach_data();
    void curveReach();
    void uprightRectangle_data();
    void uprightRectangle();
    void curvePart_data();
    void curvePart();
    void categoryColour_data();
    void categoryColour();
    void controlRate_data();
    void controlRate();
    void htmlText_data();
    void htmlText();
    void dragText_data();
    void dragText();
};

void TestCanvasGeometry::bodyWidth_data()
{
    QTest::addColumn<int>("nameWidth");
    QTest::addColumn<int>("inputs");
    QTest::addColumn<int>("outputs");
    QTest::addColumn<int>("expected");
    QTest::newRow("sockets win: name 40, 1 in, 3 out") << 40 << 1 << 3 << 62;
    QTest::newRow("no sockets") << 33 << 0 << 0 << 53;
    QTest::newRow("name wins") << 100 << 2 << 1 << 120;
    QTest::newRow("inputs win") << 10 << 4 << 0 << 81;
    QTest::newRow("tie") << 42 << 3 << 3 << 62;
}

void TestCanvasGeometry::bodyWidth()
{
    QFETCH(int, nameWidth);
    QFETCH(int, inputs);
    QFETCH(int, outputs);
    QFETCH(int, expected);
    QCOMPARE(canvas::blockBodyWidth(nameWidth, inputs, outputs), expected);
    QCOMPARE(canvas::blockBoundingRect(expected), QRectF(-4, -4, expected + 8, 33));
}

void TestCanvasGeometry::socketRows()
{
    // The worked block: outputs at x 5, 24 and 43 on the row below the body, inputs above it.
    QCOMPARE(canvas::outputSocketPosition(0), QPointF(5, 25));
    QCOMPARE(canvas::outputSocketPosition(1), QPointF(24, 25));
    QCOMPARE(canvas::outputSocketPosition(2), QPointF(43, 25));
    QCOMPARE(canvas::inputSocketPosition(0), QPointF(5, -14));
    QCOMPARE(canvas::inputSocketPosition(1), QPointF(24, -14));
    // The bars sit on the block side of each socket.
    QCOMPARE(canvas::socketBarRect(true), QRect(0, 11, 14, 3));
    QCOMPARE(canvas::socketBarRect(false), QRect(0, 0, 14, 3));
    QCOMPARE(canvas::socketHoverRect(), QRect(QPoint(0, 0), QPoint(13, 13)));
}

void TestCanvasGeometry::cableBend_data()
{
    QTest::addColumn<double>("distance");
    QTest::addColumn<int>("bend");
    QTest::newRow("300 apart caps at 100") << 300.0 << 100;
    QTest::newRow("30 apart is raised to 25") << 30.0 << 25;
    QTest::newRow("80 apart") << 80.0 << 40;
    QTest::newRow("81 apart truncates") << 81.0 << 40;
    QTest::newRow("upwards counts the same") << -80.0 << 40;
    QTest::newRow("level") << 0.0 << 25;
    QTest::newRow("far beyond any int") << 1e12 << 100;
}

void TestCanvasGeometry::cableBend()
{
    QFETCH(double, distance);
    QFETCH(int, bend);
    QCOMPARE(canvas::cableBend(QPointF(10, 100), QPointF(50, 100 + distance)), bend);
}

void TestCanvasGeometry::cablePathLeavesDownAndArrivesFromAbove()
{
    const QPointF start(12, 65);
    const QPointF end(212, 365);
    const QPainterPath path = canvas::cablePath(start, end, canvas::cableBend(start, end));
    QCOMPARE(path.elementCount(), 4);
    QCOMPARE(QPointF(path.elementAt(0)), start);
    QCOMPARE(QPointF(path.elementAt(1)), QPointF(12, 165));
    QCOMPARE(QPointF(path.elementAt(2)), QPointF(212, 265));
    QCOMPARE(QPointF(path.elementAt(3)), end);
    // Socket positions to cable ends: the middle of each socket's bar at the block's edge.
    QCOMPARE(canvas::cableStart(QPointF(45, 65)), QPointF(52, 65));
    QCOMPARE(canvas::cableEnd(QPointF(45, 186)), QPointF(52, 200));
}

namespace {

struct Curve
{
    QPointF p[4];

    QPointF at(qreal t) const
    {
        const qreal u = 1 - t;
        return u * u * u * p[0] + 3 * u * u * t * p[1] + 3 * u * t * t * p[2] + t * t * t * p[3];
    }
    // The unit normal at t, from the derivative.
    QPointF normal(qreal t) const
    {
        const qreal u = 1 - t;
        const QPointF d =
            3 * u * u * (p[1] - p[0]) + 6 * u * t * (p[2] - p[1]) + 3 * t * t * (p[3] - p[2]);
        const qreal length = std::hypot(d.x(), d.y());
        return QPointF(-d.y() / length, d.x() / length);
    }
    bool reaches(const QRectF& area) const
    {
        return canvas::curveReaches(p[0], p[1], p[2], p[3], area, 1.5);
    }
};

Curve cable(const QPointF& start, const QPointF& end)
{
    const QPainterPath path = canvas::cablePath(start, end, canvas::cableBend(start, end));
    return Curve{{path.elementAt(0), path.elementAt(1), path.elementAt(2), path.elementAt(3)}};
}

QRectF at(const QPointF& point)
{
    return QRectF(point, QSizeF(0, 0));
}

} // namespace
Q_DECLARE_METATYPE(Curve)
Q_DECLARE_METATYPE(QPainterPath)

void TestCanvasGeometry::curveReach_data()
{
    QTest::addColumn<Curve>("curve");
    QTest::newRow("short, straight down") << cable(QPointF(52, 65), QPointF(52, 140));
    QTest::newRow("one block over") << cable(QPointF(52, 65), QPointF(212, 365));
    QTest::newRow("upward, behind its start") << cable(QPointF(400, 400), QPointF(80, 60));
    QTest::newRow("across the widest canvas") << cable(QPointF(10, 20), QPointF(65000, 64000));
    QTest::newRow("flat and long") << cable(QPointF(0, 300), QPointF(60000, 310));
}

// A hit is what lies within half the selected width (1.5 pixels) of the line: a point or a
// rectangle one pixel off the line hits it, two pixels off does not, wherever along the line.
void TestCanvasGeometry::curveReach()
{
    QFETCH(Curve, curve);
    for (int i = 1; i < 40; ++i) {
        const qreal t = i / 40.0;
        const QPointF on = curve.at(t);
        const QPointF n = curve.normal(t);
        const QString where = QStringLiteral("t = %1").arg(t);
        QVERIFY2(curve.reaches(at(on)), qPrintable(where));
        QVERIFY2(curve.reaches(at(on + n)), qPrintable(where));
        QVERIFY2(curve.reaches(at(on - n)), qPrintable(where));
        QVERIFY2(!curve.reaches(at(on + 2 * n)), qPrintable(where));
        QVERIFY2(!curve.reaches(at(on - 2 * n)), qPrintable(where));
        // A small rectangle whose nearest corner lies that far off.
        const QPointF one = on + n;
        const QPointF two = on + 2 * n;
        const QPointF away(n.x() > 0 ? 2 : -2, n.y() > 0 ? 2 : -2);
        QVERIFY2(curve.reaches(QRectF(one, one + away)), qPrintable(where));
        QVERIFY2(!curve.reaches(QRectF(two, two + away)), qPrintable(where));
    }
    // The round caps: a pixel beyond either end, along the line, still hits; two do not.
    const QPointF down(0, 1);
    QVERIFY(curve.reaches(at(curve.p[0] - down)));
    QVERIFY(!curve.reaches(at(curve.p[0] - 2 * down)));
    QVERIFY(curve.reaches(at(curve.p[3] + down)));
    QVERIFY(!curve.reaches(at(curve.p[3] + 2 * down)));
    // A rectangle around a stretch of the line, and one that holds the whole curve.
    const QPointF middle = curve.at(0.5);
    QVERIFY(curve.reaches(QRectF(middle - QPointF(30, 30), middle + QPointF(30, 30))));
    const QRectF all = QRectF(curve.p[0], curve.p[3]).normalized();
    QVERIFY(curve.reaches(all.adjusted(-200, -200, 200, 200)));
    // Far from it.
    QVERIFY(!curve.reaches(at(all.bottomRight() + QPointF(150, 150))));
}

void TestCanvasGeometry::uprightRectangle_data()
{
    QTest::addColumn<QPainterPath>("path");
    QTest::addColumn<bool>("upright");
    QTest::addColumn<QRectF>("rect");

    // As the scene asks with a rectangle, and as the view asks with its rubber band.
    QPainterPath rect;
    rect.addRect(QRectF(10, 20, 30, 40));
    QTest::newRow("rectangle") << rect << true << QRectF(10, 20, 30, 40);
    QPainterPath band;
    band.addPolygon(QPolygonF(QRectF(-5, -6, 100, 50)));
    band.closeSubpath();
    QTest::newRow("rubber band") << band << true << QRectF(-5, -6, 100, 50);
    QPainterPath point;
    point.addRect(QRectF(7, 8, 1, 1));
    QTest::newRow("a pixel") << point << true << QRectF(7, 8, 1, 1);

    QPainterPath turned;
    turned.addPolygon(QTransform().rotate(20).map(QPolygonF(QRectF(0, 0, 50, 50))));
    turned.closeSubpath();
    QTest::newRow("turned") << turned << false << QRectF();
    QPainterPath open(QPointF(0, 0));
    open.lineTo(10, 0);
    open.lineTo(10, 10);
    open.lineTo(0, 10);
    open.lineTo(0, 5);
    QTest::newRow("not closed") << open << false << QRectF();
    QPainterPath round;
    round.addEllipse(QRectF(0, 0, 20, 20));
    QTest::newRow("ellipse") << round << false << QRectF();
    QPainterPath two = rect;
    two.addRect(QRectF(100, 100, 5, 5));
    QTest::newRow("two rectangles") << two << false << QRectF();
}

void TestCanvasGeometry::uprightRectangle()
{
    QFETCH(QPainterPath, path);
    QFETCH(bool, upright);
    QFETCH(QRectF, rect);
    QRectF found;
    QCOMPARE(canvas::uprightRectangle(path, &found), upright);
    if (upright)
        QCOMPARE(found, rect);
}

void TestCanvasGeometry::curvePart_data()
{
    QTest::addColumn<Curve>("curve");
    QTest::addColumn<QRectF>("area");
    QTest::newRow("the middle of a long cable")
        << cable(QPointF(10, 20), QPointF(65000, 64000)) << QRectF(32000, 31000, 900, 700);
    QTest::newRow("its start") << cable(QPointF(10, 20), QPointF(65000, 64000))
                               << QRectF(0, 0, 900, 700);
    QTest::newRow("a view the flat cable crosses twice")
        << cable(QPointF(0, 300), QPointF(60000, 310)) << QRectF(-100, 250, 60200, 30);
    QTest::newRow("a cable wholly in view")
        << cable(QPointF(52, 65), QPointF(212, 365)) << QRectF(0, 0, 900, 700);
    QTest::newRow("a view the cable misses")
        << cable(QPointF(52, 65), QPointF(212, 365)) << QRectF(300, 0, 900, 700);
}

// What is drawn of a cable in view is the cable: every point of the curve within reach of the
// view lies on the part, and the part lies on the curve.
void TestCanvasGeometry::curvePart()
{
    QFETCH(Curve, curve);
    QFETCH(QRectF, area);
    const qreal reach = 3;
    const QPainterPath part =
        canvas::curvePart(curve.p[0], curve.p[1], curve.p[2], curve.p[3], area, reach);
    QPainterPathStroker stroker;
    stroker.setWidth(0.2);
    const QPainterPath onPart = stroker.createStroke(part);
    const QRectF grown = area.adjusted(-reach, -reach, reach, reach);
    int shown = 0;
    for (int i = 0; i <= 200000; ++i) {
        const QPointF p = curve.at(i / 200000.0);
        if (!grown.contains(p))
            continue;
        ++shown;
        if (shown % 50 == 0)
            QVERIFY2(onPart.contains(p), qPrintable(QStringLiteral("t = %1").arg(i / 200000.0)));
    }
    if (shown == 0) {
        QVERIFY(part.isEmpty());
        return;
    }
    // Each piece starts and ends on the curve.
    for (int i = 0; i < part.elementCount(); ++i) {
        const QPainterPath::ElementType type = part.elementAt(i).type;
        if (type != QPainterPath::MoveToElement && type != QPainterPath::CurveToElement)
            continue;
        const QPointF p = part.elementAt(type == QPainterPath::MoveToElement ? i : i + 2);
        QVERIFY2(curve.reaches(at(p)), qPrintable(QStringLiteral("%1 %2").arg(p.x()).arg(p.y())));
    }
    // Only a little more than what is in view: the pieces that cross its edge.
    const QPainterPath whole =
        canvas::cablePath(curve.p[0], curve.p[3], canvas::cableBend(curve.p[0], curve.p[3]));
    const qreal inView = whole.length() * shown / 200001.0;
    QVERIFY2(part.length() <= inView + whole.length() / 500 + 4 * reach,
             qPrintable(QStringLiteral("%1 of %2").arg(part.length()).arg(inView)));
}

void TestCanvasGeometry::categoryColour_data()
{
    QTest::addColumn<QString>("category");
    QTest::addColumn<QString>("colour");
    QTest::newRow("Effects") << "Effects"
                             << "#f664af";
    QTest::newRow("Generators") << "Generators"
                                << "#f5f5f5";
    QTest::newRow("Envelopes") << "Envelopes"
                               << "#93dfb8";
    QTest::newRow("In / Out") << "In / Out"
                              << "#ffa474";
    QTest::newRow("MIDI") << "MIDI"
                          << "#ceff1d";
    QTest::newRow("Math") << "Math"
                          << "#ace5ee";
    QTest::newRow("Routing") << "Routing"
                             << "#ff5349";
    QTest::newRow("Sequencing") << "Sequencing"
                                << "#cec8ef";
    QTest::newRow("Logic") << "Logic"
                           << "#ae98aa";
    QTest::newRow("lower case is another category") << "effects"
                                                    << "#ffff99";
    QTest::newRow("unknown") << "Spectral"
                             << "#ffff99";
    QTest::newRow("empty") << ""
                           << "#ffff99";
}

void TestCanvasGeometry::categoryColour()
{
    QFETCH(QString, category);
    QFETCH(QString, colour);
    QCOMPARE(Colours::categoryColor(category).name(), colour);
}

void TestCanvasGeometry::controlRate_data()
{
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<bool>("control");
    QTest::newRow("rate 0") << QStringList{"0.5", "0"} << false;
    QTest::newRow("rate 1") << QStringList{"0", "1"} << true;
    QTest::newRow("rate 2") << QStringList{"2"} << true;
    QTest::newRow("not an integer") << QStringList{"1", "0.5"} << false;
    QTest::newRow("not a number") << QStringList{"x"} << false;
    QTest::newRow("no values") << QStringList{} << false;
}

void TestCanvasGeometry::controlRate()
{
    QFETCH(QStringList, values);
    QFETCH(bool, control);
    BlockInstance instance;
    instance.values = values;
    QCOMPARE(canvas::isControlRate(&instance), control);
    QVERIFY(!canvas::isControlRate(nullptr));
}

void TestCanvasGeometry::htmlText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("html");
    QTest::newRow("plain") << "a note" << false;
    QTest::newRow("lone less-than") << "a < b" << false;
    QTest::newRow("opening tag only") << "<b>bold" << false;
    QTest::newRow("bold pair") << "<b>bold</b>" << true;
    QTest::newRow("lower-case break") << "one<br>two" << true;
    QTest::newRow("self-closing break") << "one<br/>two" << true;
    QTest::newRow("upper-case break only") << "one<BR>two" << false;
    QTest::newRow("link") << "<a href=\"x.ktl\">x</a>" << true;
    QTest::newRow("empty") << "" << false;
}

void TestCanvasGeometry::htmlText()
{
    QFETCH(QString, text);
    QFETCH(bool, html);
    QCOMPARE(PatchScene::isHtmlText(text), html);
}

void TestCanvasGeometry::dragText_data()
{
    QTest::addColumn<QPointF>("press");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << QPointF(12, 7) << "Sine;12;7";
    QTest::newRow("rounds to nearest") << QPointF(11.6, 7.4) << "Sine;12;7";
    QTest::newRow("negative") << QPointF(-2.6, -0.4) << "Sine;-3;0";
}

void TestCanvasGeometry::dragText()
{
    QFETCH(QPointF, press);
    QFETCH(QString, text);
    QCOMPARE(BrowserBlock::dragText(QStringLiteral("Sine"), press), text);
}

KL_TEST_MAIN(TestCanvasGeometry)
#include "test_canvasgeometry.moc"
