// Shows a small canvas beside the block palette, for a person to look at: cables of both rates,
// a selected block and a rich-text comment. Run it under a virtual screen to take a picture.
#include "BlockDescription.h"
#include "Browser.h"
#include "CanvasBlock.h"
#include "PatchCable.h"
#include "PatchScene.h"
#include "ViewFixtures.h"

#include <QApplication>
#include <QDir>
#include <QFontDatabase>
#include <QGraphicsView>
#include <QMainWindow>
#include <QToolBox>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QDir fonts(QStringLiteral(KNOTLATTICE_FONT_DIR));
    for (const QString& file : fonts.entryList({QStringLiteral("*.ttf")}))
        QFontDatabase::addApplicationFont(fonts.filePath(file));
    QFont::insertSubstitution(QStringLiteral("Futura Std"), QStringLiteral("Lato"));

    QMainWindow window;
    auto* scene = new PatchScene(&window);
    scene->setSceneRect(0, 0, 4000, 4000);
    fixtures::FakeDocument doc(*scene);

    const BlockDescription* saw = doc.describe(QStringLiteral("Saw"), 1, 1, "Generators");
    const BlockDescription* lfo = doc.describe(QStringLiteral("LFO"), 1, 1, "Generators");
    const BlockDescription* filter = doc.describe(QStringLiteral("Lowpass"), 2, 1, "Effects");
    const BlockDescription* mixer = doc.describe(QStringLiteral("Mixer"), 2, 1, "Math");
    const BlockDescription* output = doc.describe(QStringLiteral("Audio Output"), 2, 0, "In / Out");
    const BlockDescription* custom =
        doc.describe(QStringLiteral("My Shaper"), 1, 1, "Shapers", BlockDescription::OriginPatch);

    doc.addBlock(1, saw, 80, 80);
    doc.addBlock(2, lfo, 300, 80, QStringLiteral("1"));
    doc.addBlock(3, filter, 120, 240);
    doc.addBlock(4, custom, 320, 330);
    doc.addBlock(5, mixer, 160, 430);
    doc.addBlock(6, output, 160, 560);
    scene->addConnection(1, 1, 0, 3, 0);
    scene->addConnection(2, 2, 0, 3, 1);
    scene->addConnection(3, 3, 0, 5, 0);
    scene->addConnection(4, 3, 0, 4, 0);
    scene->addConnection(5, 4, 0, 5, 1);
    scene->addConnection(6, 5, 0, 6, 0);
    scene->addConnection(7, 5, 0, 6, 1);
    doc.addComment(1, 460, 200,
                   QStringLiteral("<b>Bass voice</b><br>The LFO sweeps the <i>cutoff</i>."));
    doc.addComment(2, 460, 420, QStringLiteral("plain note: a < b"));
    scene->blockItem(3)->setSelected(true);
    scene->cableItem(3)->setSelected(true);

    auto* view = new QGraphicsView(scene);
    view->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    view->setDragMode(QGraphicsView::RubberBandDrag);
    window.setCentralWidget(view);

    auto* browser = new Browser(QStringLiteral("Browser"), &window);
    Browser::Categories categories;
    for (const BlockDescription& d : doc.descriptions)
        categories[d.category].append(&d);
    browser->loadBlocks(&categories);
    if (auto* box = qobject_cast<QToolBox*>(browser->widget()))
        box->setCurrentIndex(1);
    browser->setMinimumWidth(240);
    window.addDockWidget(Qt::LeftDockWidgetArea, browser);

    window.resize(1200, 800);
    window.show();
    // The patch sits at the scene's top left corner.
    view->centerOn(view->mapToScene(view->viewport()->rect().center()) -
                   view->mapToScene(QPoint(0, 0)));
    return app.exec();
}
