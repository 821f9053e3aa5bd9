// Times one step of dragging a large selection across the canvas, repaint included, and the
// logging of many console lines. A step should stay under one frame (16 ms) and 5000 lines
// under a second.
#include "CanvasBlock.h"
#include "Console.h"
#include "PatchScene.h"
#include "ViewFixtures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGraphicsView>
#include <QMouseEvent>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int blockCount = 300;
constexpr int columns = 20;
constexpr int steps = 60;
constexpr int consoleLines = 5000;

void send(QGraphicsView& view, QEvent::Type type, const QPointF& at, Qt::MouseButton button,
          Qt::MouseButtons buttons)
{
    const QPoint local = view.mapFromScene(at);
    QMouseEvent event(type, local, view.viewport()->mapToGlobal(local), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &event);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

void benchDrag()
{
    PatchScene scene;
    scene.setSceneRect(0, 0, 4000, 4000);
    fixtures::FakeDocument doc(scene);
    const BlockDescription* mixer = doc.describe(QStringLiteral("Mixer"), 2, 1);
    for (int i = 1; i <= blockCount; ++i) {
        const QString rate = i % 3 == 0 ? QStringLiteral("1") : QStringLiteral("0");
        doc.addBlock(i, mixer, 40 + 120 * ((i - 1) % columns), 40 + 90 * ((i - 1) / columns), rate);
    }
    // Each block feeds the next; every third one also feeds a block further on.
    int cable = 0;
    for (int i = 1; i <= blockCount; ++i)
        scene.addConnection(++cable, i, 0, i % blockCount + 1, 0);
    for (int i = 1; i <= blockCount; i += 3)
        scene.addConnection(++cable, i, 0, (i + 36) % blockCount + 1, 1);

    QGraphicsView view(&scene);
    view.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    view.setDragMode(QGraphicsView::RubberBandDrag);
    view.resize(1600, 1000);
    view.show();
    QApplication::processEvents();

    const QList<QGraphicsItem*> all = scene.items();
    for (QGraphicsItem* item : all) {
        if (item->flags() & QGraphicsItem::ItemIsSelectable)
            item->setSelected(true);
    }
    view.viewport()->repaint();

    const QPointF grip = scene.blockItem(1)->scenePos() + QPointF(5, 12);
    send(view, QEvent::MouseButtonPress, grip, Qt::LeftButton, Qt::LeftButton);
    std::vector<double> times;
    QElapsedTimer timer;
    for (int i = 1; i <= steps; ++i) {
        timer.start();
        send(view, QEvent::MouseMove, grip + QPointF(3 * i, 2 * i), Qt::NoButton, Qt::LeftButton);
        view.viewport()->repaint();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    send(view, QEvent::MouseButtonRelease, grip + QPointF(3 * steps, 2 * steps), Qt::LeftButton,
         Qt::NoButton);
    std::printf("drag step, %d blocks and %d cables selected, repaint included: median %.2f ms, "
                "worst %.2f ms\n",
                blockCount, cable, median(times), *std::max_element(times.begin(), times.end()));
}

void benchConsole()
{
    Console console(QStringLiteral("Console"), nullptr);
    console.resize(600, 400);
    console.show();
    QApplication::processEvents();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < consoleLines; ++i)
        console.log(QStringLiteral("value %1: %2").arg(i).arg(i * 0.125));
    // Reading the text shows what waits; the paint follows.
    const int length = console.text().size();
    console.repaint();
    std::printf("%d console lines logged, shown and painted: %.1f ms (%d characters)\n",
                consoleLines, timer.nsecsElapsed() / 1e6, length);

    // At the bound, a line on its own, shown at once: the worst a trickle of lines can cost.
    for (int i = consoleLines; i < Console::maximumLines + 100; ++i)
        console.log(QStringLiteral("value %1").arg(i));
    console.text();
    constexpr int single = 50;
    timer.restart();
    for (int i = 0; i < single; ++i) {
        console.log(QStringLiteral("value %1").arg(i));
        console.text();
    }
    const double each = timer.nsecsElapsed() / 1e6 / single;
    std::printf("one line shown at the %d-line bound: %.2f ms; lines gathered for %d ms cost at "
                "most %.0f ms a second\n",
                Console::maximumLines, each, Console::gatherMilliseconds,
                each * 1000.0 / Console::gatherMilliseconds);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchDrag();
    benchConsole();
    return 0;
}
