#include "BlockInstance.h"
#include "BrowserBlock.h"
#include "CanvasGeometry.h"
#include "Colours.h"
#include "PatchScene.h"
#include "TestMain.h"

#include <QtTest>

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
