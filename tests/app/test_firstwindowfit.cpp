// Every patch shipped beside the editor opens readable in the window a new user gets: the
// main window at its first-launch size with its docks where they first stand, settings empty.
// At the patch's saved centre and zoom each block and comment lies inside the canvas, no two
// of them overlap, and comment text is at least 9 pixels high. Cables are left out: they
// always run over blocks.
#include "CanvasBlock.h"
#include "MainWindow.h"
#include "PatchComment.h"
#include "PatchDocument.h"
#include "PatchFile.h"
#include "PatchScene.h"
#include "StartupResources.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QDirIterator>
#include <QFile>
#include <QGraphicsItem>
#include <QSettings>
#include <QtTest>

#include <memory>

namespace {

// The smallest comment text a user can still read, in pixels: the font's size as it reaches
// the screen.
constexpr double minTextPixels = 9.0;
// Comment text is set in points, so its size in pixels follows the screen's resolution. The
// test runs at the screen's own (100 dpi here, as on the virtual screens one looks through),
// where text is larger than on the usual desktop's 96 dpi: the patches must fit at this one
// and stay readable at that one.
constexpr double usualDesktopDpi = 96.0;

struct Shipped
{
    QString relative; // inside data/
    int expected;     // how many the folder holds
};

const QList<Shipped> folders{{"tutorials", 6}, {"examples", 8}, {"presets/patches", 44}};

QStringList patchesIn(const QString& relative)
{
    QStringList found;
    QDirIterator it(testsupport::sourcePath("data/" + relative), {QStringLiteral("*.ktl")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    found.sort();
    return found;
}

// What a block or a comment covers on the canvas, a block with its sockets.
QRectF footprint(const QGraphicsItem* item)
{
    return item->sceneBoundingRect() | item->mapRectToScene(item->childrenBoundingRect());
}

QString describe(const QGraphicsItem* item)
{
    if (item->type() == CanvasBlock::Type)
        return "block " + static_cast<const CanvasBlock*>(item)->instance()->description->name;
    const QString text = static_cast<const QGraphicsTextItem*>(item)->toPlainText();
    return "comment \"" + text.left(30).replace('\n', ' ') + "\"";
}

QString rectText(const QRectF& r)
{
    return QStringLiteral("(%1,%2 %3x%4)")
        .arg(r.x(), 0, 'f', 0)
        .arg(r.y(), 0, 'f', 0)
        .arg(r.width(), 0, 'f', 0)
        .arg(r.height(), 0, 'f', 0);
}

} // namespace

class TestFirstWindowFit : public QObject
{
    Q_OBJECT

private slots:
    void everyShippedPatchIsListed();
    void fitsTheFirstWindow_data();
    void fitsTheFirstWindow();
    void cleanup();

private:
    std::unique_ptr<TempProgramDir> program;
    std::unique_ptr<MainWindow> window;
};

void TestFirstWindowFit::everyShippedPatchIsListed()
{
    for (const Shipped& f : folders)
        QCOMPARE(patchesIn(f.relative).size(), f.expected);
}

void TestFirstWindowFit::fitsTheFirstWindow_data()
{
    QTest::addColumn<QString>("path");
    for (const Shipped& f : folders) {
        for (const QString& path : patchesIn(f.relative)) {
            QTest::newRow(qPrintable(f.relative + "/" + QFileInfo(path).completeBaseName()))
                << path;
        }
    }
}

void TestFirstWindowFit::fitsTheFirstWindow()
{
    QFETCH(QString, path);

    // A first launch: no settings, the window as the editor's start dresses and shows it.
    QSettings().clear();
    program = std::make_unique<TempProgramDir>();
    QVERIFY(program->copyIn(testsupport::binPath("blocks"), "blocks"));
    window = std::make_unique<MainWindow>();
    applyStyleSheet(*qApp);
    registerFonts();
    applyApplicationFont();
    window->createMenus();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->width(), 890);
    // As the Tutorials and Examples menus and Recent Files open it.
    window->openFromPath(path);

    PatchDocument* doc = window->currentDocument();
    QVERIFY(doc);
    QCOMPARE(doc->patchInfo()->path, path);
    // Settled: the canvas is shown, fills its page, and has the zoom its file keeps.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const PackedPatch stored = util::readPatchFile(file.readAll()).patch;
    QTRY_VERIFY(doc->isVisible() && doc->viewport()->width() > 0 &&
                doc->geometry() == doc->parentWidget()->rect() &&
                doc->patchInfo()->zoomLevel == stored.zoomLevel);

    const QRect canvas = doc->viewport()->rect();
    const double scale = doc->transform().m22();
    QList<const QGraphicsItem*> items;
    for (const QGraphicsItem* item : doc->patchScene()->items()) {
        if (!item->parentItem() &&
            (item->type() == CanvasBlock::Type || item->type() == PatchComment::Type))
            items << item;
    }
    QVERIFY(!items.isEmpty());

    QStringList faults;
    for (int i = 0; i < items.size(); ++i) {
        const QRectF shown = doc->mapFromScene(footprint(items[i])).boundingRect();
        if (!QRectF(canvas).contains(shown))
            faults << describe(items[i]) + " at " + rectText(shown) + " leaves the canvas " +
                          rectText(canvas);
        for (int j = i + 1; j < items.size(); ++j) {
            if (footprint(items[i]).intersects(footprint(items[j])))
                faults << describe(items[i]) + " overlaps " + describe(items[j]);
        }
        if (items[i]->type() == PatchComment::Type) {
            const QFont font = static_cast<const PatchComment*>(items[i])->font();
            const double pixels =
                (font.pixelSize() > 0 ? font.pixelSize()
                                      : font.pointSizeF() * usualDesktopDpi / 72) *
                scale;
            if (pixels < minTextPixels)
                faults << describe(items[i]) + QStringLiteral(" is %1 pixels high").arg(pixels);
        }
    }
    QVERIFY2(faults.isEmpty(), qPrintable(QStringLiteral("zoom %1, canvas %2x%3 at %4 dpi\n")
                                              .arg(doc->patchInfo()->zoomLevel)
                                              .arg(canvas.width())
                                              .arg(canvas.height())
                                              .arg(doc->viewport()->logicalDpiY()) +
                                          faults.join('\n')));
}

void TestFirstWindowFit::cleanup()
{
    window.reset();
    program.reset();
}

int main(int argc, char** argv)
{
    testsupport::prepareEnvironment("TestFirstWindowFit");
    // Without the fixed 96 dpi of the other tests: the editor runs at the screen's.
    QApplication app(argc, argv);
    TestFirstWindowFit tc;
    return QTest::qExec(&tc, argc, argv);
}

#include "test_firstwindowfit.moc"
