#include "Browser.h"
#include "BrowserBlock.h"
#include "Console.h"
#include "Help.h"
#include "SafeTextDocument.h"
#include "ShownText.h"
#include "TestMain.h"
#include "ViewFixtures.h"

#include <QBuffer>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLayout>
#include <QPointer>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolBox>
#include <QUrl>
#include <QtTest>
#include <algorithm>
#include <list>
#include <memory>

namespace {

// Descriptions at stable addresses, filed by category as the library files them.
class Library
{
public:
    const BlockDescription* add(const QString& name, const QString& category)
    {
        store.push_back(fixtures::description(name, 1, 1, category));
        categories[category].append(&store.back());
        return &store.back();
    }

    std::list<BlockDescription> store;
    Browser::Categories categories;
};

QToolBox* toolBox(const Browser& browser)
{
    return qobject_cast<QToolBox*>(browser.widget());
}

QStringList pageTitles(const Browser& browser)
{
    QStringList titles;
    const QToolBox* box = toolBox(browser);
    for (int i = 0; box && i < box->count(); ++i)
        titles << box->itemText(i);
    return titles;
}

// The block names of one page, top to bottom, with their y positions.
QList<QPair<QString, qreal>> pageBlocks(const Browser& browser, int page)
{
    QList<QPair<QString, qreal>> blocks;
    const auto* view = qobject_cast<const QGraphicsView*>(toolBox(browser)->widget(page));
    if (!view || !view->scene())
        return blocks;
    const QList<QGraphicsItem*> items = view->scene()->items();
    for (const QGraphicsItem* item : items) {
        if (!item->parentItem()) {
            const auto* block = static_cast<const BrowserBlock*>(item);
            blocks.append({block->description()->name, block->y()});
        }
    }
    std::sort(blocks.begin(), blocks.end(),
              [](const auto& a, const auto& b) { return a.second < b.second; });
    return blocks;
}

QStringList names(const QList<QPair<QString, qreal>>& blocks)
{
    QStringList list;
    for (const auto& block : blocks)
        list << block.first;
    return list;
}

} // namespace

class TestDocks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pagesFollowKeyOrder();
    void blocksSortedByName();
    void lessThanRules();
    void emptyCategoryGetsAPage();
    void reloadRebuildsFromOwnMap();
    void palettePartsAreOwned();
    void helpShowsTitleAndText();
    void helpLoadsNothing_data();
    void helpLoadsNothing();
    void safeDocumentLoads_data();
    void safeDocumentLoads();
    void consoleNewestFirst();
    void consoleKeepsABoundedTail();

private:
    // Files that help text points at: a 200 x 200 picture and a style sheet.
    QTemporaryDir pointedAt;
    QString square;
    QString sheet;
};

void TestDocks::initTestCase()
{
    QImage picture(200, 200, QImage::Format_RGB32);
    picture.fill(Qt::red);
    square = pointedAt.filePath(QStringLiteral("square.png"));
    QVERIFY(picture.save(square));
    sheet = pointedAt.filePath(QStringLiteral("red.css"));
    QVERIFY(testsupport::writeFile(sheet, "p { color: #ff0000; }"));
}

void TestDocks::pagesFollowKeyOrder()
{
    Library library;
    library.add(QStringLiteral("r"), QStringLiteral("Routing"));
    library.add(QStringLiteral("e"), QStringLiteral("Effects"));
    library.add(QStringLiteral("m"), QStringLiteral("MIDI"));
    library.add(QStringLiteral("x"), QStringLiteral("Math"));
    library.add(QStringLiteral("c"), QStringLiteral("custom"));
    Browser browser(QStringLiteral("Browser"), nullptr);
    QCOMPARE(browser.allowedAreas(), Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
    browser.loadBlocks(&library.categories);
    // Case-sensitive: upper case before lower case, "MIDI" before "Math".
    QCOMPARE(pageTitles(browser), (QStringList{"Effects", "MIDI", "Math", "Routing", "custom"}));
    QVERIFY(toolBox(browser)->itemIcon(0).isNull());
    QCOMPARE(toolBox(browser)->layout()->spacing(), 1);
    QCOMPARE(toolBox(browser)->layout()->contentsMargins(), QMargins(6, 6, 6, 6));
}

void TestDocks::blocksSortedByName()
{
    Library library;
    for (const char* name : {"b2", "B1", "a", "Zed", "a"})
        library.add(QString::fromLatin1(name), QStringLiteral("Math"));
    Browser browser(QStringLiteral("Browser"), nullptr);
    browser.loadBlocks(&library.categories);
    const auto blocks = pageBlocks(browser, 0);
    QCOMPARE(names(blocks), (QStringList{"B1", "Zed", "a", "a", "b2"}));
    for (int i = 0; i < blocks.size(); ++i)
        QCOMPARE(blocks.at(i).second, qreal(43 * i));

    // The two blocks of one name keep the map's order.
    const auto* view = qobject_cast<const QGraphicsView*>(toolBox(browser)->widget(0));
    QList<const BlockDescription*> sameName;
    for (int i = 0; i < blocks.size(); ++i) {
        for (const QGraphicsItem* item : view->scene()->items()) {
            if (item->parentItem())
                continue;
            const auto* block = static_cast<const BrowserBlock*>(item);
            if (block->y() == 43 * i && block->description()->name == QLatin1String("a"))
                sameName.append(block->description());
        }
    }
    QCOMPARE(sameName.size(), 2);
    QCOMPARE(sameName.first(), library.categories.value("Math").at(2));
    QCOMPARE(sameName.last(), library.categories.value("Math").at(4));
    QCOMPARE(view->alignment(), Qt::AlignLeft | Qt::AlignTop);
}

void TestDocks::lessThanRules()
{
    const BlockDescription a = fixtures::description(QStringLiteral("a"), 0, 0);
    const BlockDescription upper = fixtures::description(QStringLiteral("B"), 0, 0);
    QVERIFY(lessThan(&upper, &a));
    QVERIFY(!lessThan(&a, &upper));
    QVERIFY(!lessThan(&a, &a));
    QVERIFY(!lessThan(nullptr, &a));
    QVERIFY(!lessThan(&a, nullptr));
}

void TestDocks::emptyCategoryGetsAPage()
{
    Browser::Categories categories;
    categories.insert(QStringLiteral("Logic"), {});
    Browser browser(QStringLiteral("Browser"), nullptr);
    browser.loadBlocks(&categories);
    QCOMPARE(pageTitles(browser), QStringList{"Logic"});
    QVERIFY(pageBlocks(browser, 0).isEmpty());
}

void TestDocks::reloadRebuildsFromOwnMap()
{
    Library library;
    library.add(QStringLiteral("one"), QStringLiteral("Math"));
    library.add(QString(), QStringLiteral("Math"));
    library.add(QStringLiteral("two"), QStringLiteral("Logic"));
    Browser browser(QStringLiteral("Browser"), nullptr);
    browser.loadBlocks(&library.categories);
    QPointer<QWidget> first = browser.widget();

    // Merged twice without clear: every named block twice; unnamed ones never.
    browser.addBlocksInCategories(&library.categories);
    browser.addBlocksInCategories(&library.categories);
    browser.reload();
    QCOMPARE(pageTitles(browser), (QStringList{"Logic", "Math"}));
    QCOMPARE(names(pageBlocks(browser, 1)), (QStringList{"one", "one"}));
    QCOMPARE(names(pageBlocks(browser, 0)), (QStringList{"two", "two"}));
    // The previous pages go once the event loop runs.
    QVERIFY(first);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!first);

    // Cleared, the shown pages stay until the next reload, which shows none.
    browser.clear();
    QCOMPARE(pageTitles(browser), (QStringList{"Logic", "Math"}));
    browser.reload();
    QVERIFY(pageTitles(browser).isEmpty());
}

void TestDocks::palettePartsAreOwned()
{
    Library library;
    library.add(QStringLiteral("one"), QStringLiteral("Math"));
    QPointer<QGraphicsScene> scene;
    {
        Browser browser(QStringLiteral("Browser"), nullptr);
        browser.loadBlocks(&library.categories);
        scene = qobject_cast<QGraphicsView*>(toolBox(browser)->widget(0))->scene();
        QVERIFY(scene);
        // Rebuilding drops the old pages' scenes with them.
        browser.loadBlocks(&library.categories);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!scene);
        scene = qobject_cast<QGraphicsView*>(toolBox(browser)->widget(0))->scene();
    }
    QVERIFY(!scene);
}

void TestDocks::helpShowsTitleAndText()
{
    Help help(QStringLiteral("Help"), nullptr);
    auto* view = qobject_cast<QTextEdit*>(help.widget());
    QVERIFY(view && view->isReadOnly());
    help.display(QStringLiteral("Mixer"), QString());
    QCOMPARE(view->toPlainText(), QStringLiteral("Mixer"));
    QCOMPARE(view->document()->firstBlock().blockFormat().headingLevel(), 1);
    help.display(QStringLiteral("Osc"), QStringLiteral("<p>Makes a <b>tone</b>.</p>"));
    QCOMPARE(view->toPlainText(), QStringLiteral("Osc\nMakes a tone."));
}

void TestDocks::helpLoadsNothing_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("images");

    // Help comes from block files, which patches carry: the block's name shows as typed, and
    // the help text loads no picture and no style sheet but the program's own.
    const QString tag = "<img src=\"" + square + "\">";
    QTest::newRow("name that is an image tag") << tag << "<p>Help.</p>" << tag + "\nHelp." << 0;
    QTest::newRow("picture by path") << "Osc"
                                     << "<p>" + tag + "</p>" << QString("Osc\n\uFFFC") << 0;
    QTest::newRow("picture by file address")
        << "Osc"
        << "<p><img src=\"" + QUrl::fromLocalFile(square).toString() + "\"></p>"
        << QString("Osc\n\uFFFC") << 0;
    QTest::newRow("picture in the page background")
        << "Osc"
        << "<body background=\"" + square + "\"><p>x</p></body>"
        << "Osc\nx" << 0;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImage(200, 200, QImage::Format_RGB32).save(&buffer, "PNG");
    QTest::newRow("picture in the text")
        << "Osc"
        << "<p><img src=\"data:image/png;base64," + QString::fromLatin1(png.toBase64()) + "\"></p>"
        << QString("Osc\n\uFFFC") << 0;
    QTest::newRow("the program's own picture")
        << "Osc"
        << "<p><img src=\":/qt-project.org/styles/commonstyle/images/file-16.png\"></p>"
        << QString("Osc\n\uFFFC") << 1;
}

void TestDocks::helpLoadsNothing()
{
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(int, images);
    Help help(QStringLiteral("Help"), nullptr);
    auto* view = qobject_cast<QTextEdit*>(help.widget());
    help.display(title, text);
    QCOMPARE(view->toPlainText(), shown);
    QCOMPARE(view->document()->firstBlock().blockFormat().headingLevel(), 1);
    QCOMPARE(testsupport::loadedImages(view->document()), images);
}

void TestDocks::safeDocumentLoads_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");

    const int image = QTextDocument::ImageResource;
    const int css = QTextDocument::StyleSheetResource;
    const QSize none(1, 1);
    QTest::newRow("picture by path") << image << square << none;
    QTest::newRow("picture by file address")
        << image << QUrl::fromLocalFile(square).toString() << none;
    QTest::newRow("relative name") << image << "square.png" << none;
    QTest::newRow("a device") << image << "/dev/zero" << none;
    QTest::newRow("data address") << image
                                  << "data:image/"
                                     "png;base64,"
                                     "iVBORw0KGgoAAAANSUhEUgAAAAIAAAACCAYAAABytg0kAAAAC0lEQVR4nGNgQ"
                                     "AcAAA4AAc3U3oQAAAAASUVORK5CYII="
                                  << none;
    QTest::newRow("our picture") << image
                                 << ":/qt-project.org/styles/commonstyle/images/file-16.png"
                                 << QSize(16, 16);
    QTest::newRow("our picture by address")
        << image << "qrc:/qt-project.org/styles/commonstyle/images/file-16.png" << QSize(16, 16);
    QTest::newRow("a resource that is no picture")
        << image << "qrc:/qt-project.org/qmessagebox/images/qtlogo-64.png.missing" << none;
    QTest::newRow("style sheet by path") << css << sheet << QSize();
}

// What a document for file and server text loads: the program's own pictures, and for any
// other name a blank pixel, so that the toolkit reads nothing itself.
void TestDocks::safeDocumentLoads()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(QSize, size);
    SafeTextDocument document;
    const QVariant loaded = document.resource(type, QUrl(name));
    if (!size.isValid()) {
        QVERIFY(loaded.isNull());
        return;
    }
    QCOMPARE(loaded.value<QImage>().size(), size);
}

void TestDocks::consoleNewestFirst()
{
    Console console(QStringLiteral("Console"), nullptr);
    auto* view = qobject_cast<QTextEdit*>(console.widget());
    QVERIFY(view->isReadOnly());
    // Lines that come together are shown together, a moment later, without being asked for.
    console.log(QStringLiteral("one"));
    console.log(QStringLiteral("two"));
    QTRY_COMPARE(view->toPlainText(), QStringLiteral("two\none\n"));
    console.clearConsole();
    QCOMPARE(console.text(), QString());

    console.log(QStringLiteral("first"));
    QCOMPARE(console.text(), QStringLiteral("first\n"));
    console.log(QStringLiteral("second"));
    QCOMPARE(console.text(), QStringLiteral("second\nfirst\n"));
    // Text that looks like markup is shown as it is.
    console.log(QStringLiteral("<b>x</b> & y"));
    QCOMPARE(console.text(), QStringLiteral("<b>x</b> & y\nsecond\nfirst\n"));
    console.clearConsole();
    QCOMPARE(console.text(), QString());
    console.log(QStringLiteral("again"));
    QCOMPARE(console.text(), QStringLiteral("again\n"));
}

void TestDocks::consoleKeepsABoundedTail()
{
    Console console(QStringLiteral("Console"), nullptr);
    const int total = Console::maximumLines + 5;
    for (int i = 1; i <= total; ++i)
        console.log(QString::number(i));
    const QStringList lines = console.text().split(QLatin1Char('\n'));
    // Each line is followed by a break, so the split ends with one empty part.
    QCOMPARE(lines.size(), Console::maximumLines + 1);
    QCOMPARE(lines.first(), QString::number(total));
    QCOMPARE(lines.at(Console::maximumLines - 1), QStringLiteral("6"));
    QCOMPARE(lines.last(), QString());

    // A line of several lines counts as that many; the oldest still go first.
    console.log(QStringLiteral("a\nb"));
    const QStringList after = console.text().split(QLatin1Char('\n'));
    QCOMPARE(after.size(), Console::maximumLines + 1);
    QCOMPARE(after.mid(0, 3), (QStringList{"a", "b", QString::number(total)}));
    QCOMPARE(after.at(Console::maximumLines - 1), QStringLiteral("8"));
}

KL_TEST_MAIN(TestDocks)
#include "test_docks.moc"
