// The emulator dock's panel: knobs turned by dragging, switches toggled by clicks, what they
// paint, how the dock lays them out, and that what they show is what the program is sent.
#include "CheckBox.h"
#include "Emulator.h"
#include "EmulatorWidget.h"
#include "Knob.h"
#include "ShownText.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>

#include <cmath>

namespace {

struct Move
{
    double y;
    bool held;
};

void press(QWidget* widget, double y)
{
    QMouseEvent event(QEvent::MouseButtonPress, QPointF(widget->width() / 2, y), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void move(QWidget* widget, const Move& m)
{
    // Qt's test helpers give a move no held button, so the event is made here.
    const Qt::MouseButtons buttons = m.held ? Qt::LeftButton : Qt::NoButton;
    QMouseEvent event(QEvent::MouseMove, QPointF(widget->width() / 2, m.y), Qt::NoButton, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void release(QWidget* widget, double y)
{
    QMouseEvent event(QEvent::MouseButtonRelease, QPointF(widget->width() / 2, y), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// A drag with the left button held from `from` through every pixel row to `to`.
void drag(QWidget* widget, int from, int to)
{
    press(widget, from);
    const int step = to < from ? -1 : 1;
    for (int y = from + step; y != to + step; y += step)
        move(widget, {double(y), true});
    release(widget, to);
}

QList<int> emitted(const QSignalSpy& spy)
{
    QList<int> values;
    for (const QList<QVariant>& arguments : spy)
        values << arguments.at(0).toInt();
    return values;
}

// The colour of the pixel `distance` pixels from the widget's centre (whole-pixel halves, as
// the painters place their origin) in the direction `degrees` clockwise from straight up.
QColor colourAt(const QImage& image, double distance, double degrees)
{
    const double angle = degrees * M_PI / 180.0;
    const double x = image.width() / 2 + distance * std::sin(angle);
    const double y = image.height() / 2 - distance * std::cos(angle);
    return image.pixelColor(int(std::floor(x)), int(std::floor(y)));
}

QImage picture(QWidget* widget)
{
    return widget->grab().toImage();
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeScript(const QString& path, const QByteArray& body)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write("#!/bin/sh\n" + body) < 0)
        return false;
    f.close();
    return f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

Q_DECLARE_METATYPE(QList<Move>)

class TestEmulatorPanel : public QObject
{
    Q_OBJECT

private slots:
    void knobDrag_data();
    void knobDrag();
    void switchClicks();
    void knobPainting_data();
    void knobPainting();
    void switchPainting_data();
    void switchPainting();
    void deviceOutline();
    void dockLayout();
    void widgetsDriveTheProgram();
    void valuesSetInCodeMoveTheWidgets_data();
    void valuesSetInCodeMoveTheWidgets();
    void toolTips();

private:
    static Knob* knob(Emulator& dock, const char* name) { return dock.findChild<Knob*>(name); }
    static CheckBox* box(Emulator& dock, const char* name)
    {
        return dock.findChild<CheckBox*>(name);
    }
};

void TestEmulatorPanel::knobDrag_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<double>("pressY");
    QTest::addColumn<QList<Move>>("moves");
    QTest::addColumn<QList<int>>("emits");

    QList<Move> up200;
    QList<int> rising;
    for (int i = 1; i <= 200; ++i) {
        up200 << Move{250.0 - i, true};
        rising << qMin(10 * i, 1024);
    }
    QTest::newRow("200 pixels up from 0") << 0 << 250.0 << up200 << rising;

    QList<Move> down50;
    QList<int> zeros;
    for (int i = 1; i <= 50; ++i) {
        down50 << Move{10.0 + i, true};
        zeros << 0;
    }
    QTest::newRow("down from 0") << 0 << 10.0 << down50 << zeros;
    QTest::newRow("1 pixel up from 512")
        << 512 << 30.0 << QList<Move>{{29, true}} << QList<int>{522};
    QTest::newRow("1 pixel down from 1024")
        << 1024 << 30.0 << QList<Move>{{31, true}} << QList<int>{1014};
    QTest::newRow("up at the top")
        << 1024 << 30.0 << QList<Move>{{25, true}, {20, true}} << QList<int>{1024, 1024};
    QTest::newRow("one long jump") << 0 << 300.0 << QList<Move>{{-200, true}} << QList<int>{1024};
    QTest::newRow("down and back up from 300")
        << 300 << 20.0 << QList<Move>{{25, true}, {22, true}, {15, true}}
        << QList<int>{250, 280, 350};
    // Positions are rounded: 20.6 is row 21 and 20.4 row 20, one row up.
    QTest::newRow("rounded rows") << 100 << 20.6 << QList<Move>{{20.4, true}, {19.5, true}}
                                  << QList<int>{110, 110};
    // The widget does not track the mouse: a move without a held button is not a drag.
    QTest::newRow("no button held")
        << 100 << 20.0 << QList<Move>{{10, false}, {15, true}} << QList<int>{150};
}

void TestEmulatorPanel::knobDrag()
{
    QFETCH(int, start);
    QFETCH(double, pressY);
    QFETCH(QList<Move>, moves);
    QFETCH(QList<int>, emits);

    Knob knob;
    knob.setFixedSize(55, 55);
    knob.setValue(start);
    QSignalSpy spy(&knob, &Knob::valueChanged);
    press(&knob, pressY);
    for (const Move& m : moves)
        move(&knob, m);
    QCOMPARE(emitted(spy), emits);
    QCOMPARE(knob.value(), float(emits.last()));
    if (QTest::currentDataTag() == QLatin1String("200 pixels up from 0"))
        QCOMPARE(emits.indexOf(1024), 102); // the 103rd pixel
}

void TestEmulatorPanel::switchClicks()
{
    CheckBox box;
    box.setFixedSize(32, 32);
    QSignalSpy spy(&box, &CheckBox::stateChanged);
    QCOMPARE(box.checkState(), 0);
    QTest::mouseClick(&box, Qt::LeftButton);
    QCOMPARE(box.checkState(), 1);
    QTest::mouseClick(&box, Qt::LeftButton);
    QCOMPARE(box.checkState(), 0);
    QCOMPARE(emitted(spy), (QList<int>{1, 0}));
}

void TestEmulatorPanel::knobPainting_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("value");
    QTest::addColumn<double>("pointing");
    // The 55-pixel knobs of the panel (dial radius 17) and a larger one (37).
    for (int size : {55, 95}) {
        QTest::addRow("%d, 0", size) << size << 0 << -140.0;
        QTest::addRow("%d, 512", size) << size << 512 << 0.0;
        QTest::addRow("%d, 1024", size) << size << 1024 << 140.0;
        QTest::addRow("%d, 256", size) << size << 256 << -70.0;
    }
}

void TestEmulatorPanel::knobPainting()
{
    QFETCH(int, size);
    QFETCH(int, value);
    QFETCH(double, pointing);

    Knob knob;
    knob.setFixedSize(size, size);
    knob.setValue(value);
    const QImage image = picture(&knob);
    const int dial = size / 2 - 10;
    const QColor white(Qt::white), fill("#545454"), ring("#323232");

    // The pointer, along its length, and the dial where the pointer is not.
    for (double along : {0.5, 0.7, 0.9})
        QCOMPARE(colourAt(image, dial * along, pointing), white);
    for (double elsewhere : {-140.0, 0.0, 140.0}) {
        if (elsewhere != pointing)
            QCOMPARE(colourAt(image, dial * 0.7, elsewhere), fill);
    }
    // Below the centre, past the pointer's short tail; and the dial's edge, a ring as wide as the
    // pointer (a quarter of the radius) with nothing outside it.
    QCOMPARE(colourAt(image, dial * 0.6, pointing + 180), fill);
    const int pen = dial / 4;
    for (double direction : {90.0, 180.0}) {
        QCOMPARE(colourAt(image, dial - pen / 2.0 - 1.5, direction), fill);
        QCOMPARE(colourAt(image, dial, direction), ring);
        QCOMPARE(colourAt(image, dial + pen / 2.0 + 1.5, direction), image.pixelColor(0, 0));
    }
}

void TestEmulatorPanel::switchPainting_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("state");
    QTest::addColumn<double>("radius");
    QTest::addColumn<QString>("colour");

    // 32 pixels: on, a ring from radius 7 to 11; off, 9.5 to 10.5. An empty colour is the
    // widget's background.
    QTest::newRow("32 on, inside") << 32 << 1 << 8.0 << "#ff3ea8";
    QTest::newRow("32 off, inside") << 32 << 0 << 8.0 << "#dddddd";
    QTest::newRow("32 on, centre") << 32 << 1 << 0.0 << "#dddddd";
    QTest::newRow("32 off, centre") << 32 << 0 << 0.0 << "#dddddd";
    QTest::newRow("32 on, outside") << 32 << 1 << 11.0 << "";
    // 52 pixels: on, 12.5 to 21.5; off, 17.5 to 20.5.
    QTest::newRow("52 on, 15") << 52 << 1 << 15.0 << "#ff3ea8";
    QTest::newRow("52 off, 15") << 52 << 0 << 15.0 << "#dddddd";
    QTest::newRow("52 off, 19") << 52 << 0 << 19.0 << "#ff3ea8";
    QTest::newRow("52 on, 10") << 52 << 1 << 10.0 << "#dddddd";
    QTest::newRow("52 on, near the inner edge") << 52 << 1 << 13.5 << "#ff3ea8";
    QTest::newRow("52 on, outside") << 52 << 1 << 22.0 << "";
    QTest::newRow("52 off, outside") << 52 << 0 << 21.0 << "";
}

void TestEmulatorPanel::switchPainting()
{
    QFETCH(int, size);
    QFETCH(int, state);
    QFETCH(double, radius);
    QFETCH(QString, colour);

    CheckBox box;
    box.setFixedSize(size, size);
    box.setState(state);
    const QImage image = picture(&box);
    const QString expected = colour.isEmpty() ? image.pixelColor(0, 0).name() : colour;
    for (double direction : {0.0, 90.0, 180.0, 270.0})
        QCOMPARE(colourAt(image, radius + 0.5, direction).name(), expected);
}

void TestEmulatorPanel::deviceOutline()
{
    EmulatorWidget widget;
    widget.resize(260, 200);
    const QImage image = picture(&widget);
    const QPoint centre(130, 100);
    auto at = [&](int dx, int dy) { return image.pixelColor(centre + QPoint(dx, dy)); };
    const QColor black(Qt::black);
    QCOMPARE(at(0, 0), black);
    // The body, 180 wide and 153 high; the tab on the right, the notch on the left.
    QCOMPARE(at(-85, -70), black);
    QCOMPARE(at(80, 70), black);
    QCOMPARE(at(92, 0), black);
    QVERIFY(at(-92, 0) != black);
    QVERIFY(at(92, -60) != black);
    QVERIFY(at(0, -80) != black);
    QVERIFY(at(0, 79) != black);
    QVERIFY(at(-100, 0) != black);
}

void TestEmulatorPanel::dockLayout()
{
    Emulator dock(QStringLiteral("Emulator"), nullptr);
    QCOMPARE(dock.minimumHeight(), 200);
    QCOMPARE(dock.maximumHeight(), 200);
    QCOMPARE(dock.minimumWidth(), 220);
    QVERIFY(qobject_cast<EmulatorWidget*>(dock.widget()));

    Knob* knob1 = knob(dock, "knob1");
    Knob* knob2 = knob(dock, "knob2");
    CheckBox* box1 = box(dock, "checkBox1");
    CheckBox* box2 = box(dock, "checkBox2");
    QVERIFY(knob1 && knob2 && box1 && box2);
    for (QWidget* w : std::initializer_list<QWidget*>{knob1, knob2, box1, box2})
        QCOMPARE(w->parentWidget(), dock.widget());

    dock.resize(300, 200);
    dock.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dock));
    QCOMPARE(knob1->size(), QSize(55, 55));
    QCOMPARE(box1->size(), QSize(32, 32));
    // Knobs side by side above the switches, the pairs centred on the panel and each switch
    // centred in its cell.
    const QRect panel = dock.widget()->rect();
    QCOMPARE(knob1->y(), knob2->y());
    QCOMPARE(box1->y(), box2->y());
    QVERIFY(knob1->geometry().bottom() < box1->y());
    QVERIFY(knob2->x() - knob1->geometry().right() > 15);
    QVERIFY(box2->x() - box1->geometry().right() > 25);
    QVERIFY(std::abs(knob1->x() + knob2->geometry().right() - panel.right()) <= 2);
    QVERIFY(std::abs(box1->x() + box2->geometry().right() - panel.right()) <= 2);
    const int middle = (knob1->geometry().top() + box1->geometry().bottom()) / 2;
    QVERIFY(std::abs(middle - panel.center().y()) <= 2);
}

void TestEmulatorPanel::widgetsDriveTheProgram()
{
    TempProgramDir dir;
    const QString copy = dir.path("input.bin");
    const QString program = dir.path("copier");
    QVERIFY(writeScript(program, "exec cat > '" + copy.toLocal8Bit() + "'\n"));

    Emulator dock(QStringLiteral("Emulator"), nullptr);
    Knob* knob1 = knob(dock, "knob1");
    Knob* knob2 = knob(dock, "knob2");
    CheckBox* box2 = box(dock, "checkBox2");
    QVERIFY(knob1 && knob2 && box2);
    // Set before the start: the program gets it with the others.
    drag(knob2, 40, 36);
    QVERIFY(dock.start('"' + program + '"'));

    press(knob1, 40);
    move(knob1, {10, true});
    release(knob1, 10);
    QTest::mouseClick(box2, Qt::LeftButton);
    drag(knob2, 36, 38);
    QCOMPARE(dock.controlValue(0), 300);
    QCOMPARE(dock.controlValue(1), 20);
    QCOMPARE(dock.controlValue(3), 1024);
    QTest::mouseClick(box2, Qt::LeftButton);
    dock.stop();
    QCOMPARE(readAll(copy), QByteArray("a0\nb40\nc0\nd0\na300\nd1024\nb30\nb20\nd0\nx"));
}

void TestEmulatorPanel::valuesSetInCodeMoveTheWidgets_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QByteArray>("sent");

    QTest::newRow("knob 1") << 0 << 300 << 300 << QByteArray("a300\n");
    QTest::newRow("knob 2 past the top") << 1 << 4096 << 1024 << QByteArray("b1024\n");
    QTest::newRow("knob 1 below 0") << 0 << -5 << 0 << QByteArray("a0\n");
    QTest::newRow("switch 1 on") << 2 << 1024 << 1 << QByteArray("c1024\n");
    QTest::newRow("switch 2 any positive value") << 3 << 1 << 1 << QByteArray("d1024\n");
    QTest::newRow("switch 2 off") << 3 << 0 << 0 << QByteArray("d0\n");
}

void TestEmulatorPanel::valuesSetInCodeMoveTheWidgets()
{
    QFETCH(int, index);
    QFETCH(int, value);
    QFETCH(int, shown);
    QFETCH(QByteArray, sent);

    TempProgramDir dir;
    const QString copy = dir.path("input.bin");
    const QString program = dir.path("copier");
    QVERIFY(writeScript(program, "exec cat > '" + copy.toLocal8Bit() + "'\n"));

    Emulator dock(QStringLiteral("Emulator"), nullptr);
    // Start from the other position, so that a switch really moves.
    dock.setControlValue(index, shown ? 0 : 1024);
    QVERIFY(dock.start('"' + program + '"'));
    const QByteArray started =
        QByteArray("a0\nb0\nc0\nd0\n")
            .replace(3 * index + 1, 1, shown ? QByteArray("0") : QByteArray("1024"));
    QSignalSpy knobSpy(knob(dock, index == 0 ? "knob1" : "knob2"), &Knob::valueChanged);
    QSignalSpy boxSpy(box(dock, index == 2 ? "checkBox1" : "checkBox2"), &CheckBox::stateChanged);
    dock.setControlValue(index, value);
    dock.stop();

    if (index < 2)
        QCOMPARE(int(knob(dock, index == 0 ? "knob1" : "knob2")->value()), shown);
    else
        QCOMPARE(box(dock, index == 2 ? "checkBox1" : "checkBox2")->checkState(), shown);
    QCOMPARE(dock.controlValue(index), index < 2 ? shown : shown * 1024);
    QVERIFY(knobSpy.isEmpty() && boxSpy.isEmpty());
    QCOMPARE(readAll(copy), started + sent + "x");
}

void TestEmulatorPanel::toolTips()
{
    Emulator dock(QStringLiteral("Emulator"), nullptr);
    const QList<QWidget*> widgets{knob(dock, "knob1"), knob(dock, "knob2"), box(dock, "checkBox1"),
                                  box(dock, "checkBox2")};
    auto tips = [&widgets] {
        QStringList texts;
        for (QWidget* w : widgets)
            texts << testsupport::shownToolTip(w->toolTip());
        return texts;
    };
    QCOMPARE(tips(), (QStringList{"", "", "", ""}));
    dock.setToolTips({"Pitch", "Decay", "Hold", "Loop"});
    QCOMPARE(tips(), (QStringList{"Pitch", "Decay", "Hold", "Loop"}));
    dock.setToolTips({"a", "b", "c"});
    QCOMPARE(tips(), (QStringList{"a", "b", "c", ""}));
    dock.setToolTips({"1", "2", "3", "4", "5"});
    QCOMPARE(tips(), (QStringList{"1", "2", "3", "4"}));
    // The tips come from the preset catalogue, a file: markup in them shows as typed.
    const QStringList marked{"<img src=\"/dev/zero\">", "<b>Decay</b>", "A &lt; B", "Loop"};
    dock.setToolTips(marked);
    QCOMPARE(tips(), marked);
}

KL_TEST_MAIN(TestEmulatorPanel)
#include "test_emulatorpanel.moc"
