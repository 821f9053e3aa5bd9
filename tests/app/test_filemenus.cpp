// The Recent Files submenu, the Tutorials and Examples menus, the about box and the patch
// information written to the Console.
#include "BlockDescription.h"
#include "BlockInstance.h"
#include "MainWindow.h"
#include "MessageCapture.h"
#include "ModalDriver.h"
#include "PatchDocument.h"
#include "PatchRecord.h"
#include "Preferences.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <memory>

namespace {

// An empty patch record: enough for the file to open.
bool writePatch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    PatchInfo info;
    return f.open(QIODevice::WriteOnly) && f.write(util::makePatchRecord({}, {}, info, 0, 0)) > 0;
}

// "Title: entry, entry" for each submenu of the menu; other actions as their text.
QStringList tree(QMenu* menu)
{
    QStringList out;
    for (QAction* a : menu->actions()) {
        if (!a->menu()) {
            out << a->text();
            continue;
        }
        QStringList names;
        for (QAction* entry : a->menu()->actions())
            names << entry->text();
        out << a->text() + ": " + names.join(QLatin1String(", "));
    }
    return out;
}

QMenu* topMenu(QMenuBar* bar, const QString& title)
{
    for (QAction* a : bar->actions()) {
        if (a->menu() && a->text() == title)
            return a->menu();
    }
    return nullptr;
}

QMenu* subMenu(QMenu* menu, const QString& title)
{
    for (QAction* a : menu->actions()) {
        if (a->menu() && a->text() == title)
            return a->menu();
    }
    return nullptr;
}

QStringList texts(QMenu* menu)
{
    QStringList out;
    for (QAction* a : menu->actions())
        out << a->text();
    return out;
}

} // namespace

class TestFileMenus : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void recentFiles_data();
    void recentFiles();
    void recentEntryOpensItsFile();
    void menuTree_data();
    void menuTree();
    void menuTreeEntryOpensFullPath();
    void missingFolderWarns();
    void aboutBox();
    void patchInfoInConsoleOrder();
    void patchInfoWithoutDocument();

private:
    void makeWindow();
    QStringList paths(const QStringList& names) const;

    std::unique_ptr<TempProgramDir> program;
    std::unique_ptr<QTemporaryDir> files;
    std::unique_ptr<MainWindow> window;
};

void TestFileMenus::init()
{
    QSettings().clear();
    program = std::make_unique<TempProgramDir>();
    QVERIFY(program->copyIn(testsupport::sourcePath("tests/app/fixtures/blocks"), "blocks"));
    files = std::make_unique<QTemporaryDir>();
    QSettings().setValue(Preferences::DefaultPatchPath, files->path());
}

void TestFileMenus::cleanup()
{
    window.reset();
    files.reset();
    program.reset();
}

void TestFileMenus::makeWindow()
{
    window = std::make_unique<MainWindow>();
}

QStringList TestFileMenus::paths(const QStringList& names) const
{
    QStringList out;
    for (const QString& n : names)
        out << files->path() + "/" + n + ".ktl";
    return out;
}

void TestFileMenus::recentFiles_data()
{
    QTest::addColumn<QStringList>("stored"); // empty: no key
    QTest::addColumn<QStringList>("opened");
    QTest::addColumn<int>("updates"); // further menu builds after the window's own
    QTest::addColumn<QStringList>("expected");

    const QStringList five{"a", "b", "c", "d", "e"};
    QTest::newRow("empty list") << QStringList() << QStringList() << 1 << QStringList();
    QTest::newRow("first open") << QStringList() << QStringList{"a"} << 0 << QStringList{"a"};
    QTest::newRow("six after an open lose the sixth")
        << five << QStringList{"f"} << 0 << QStringList{"f", "a", "b", "c", "d"};
    QTest::newRow("seven stored: window's build")
        << QStringList{"a", "b", "c", "d", "e", "f", "g"} << QStringList() << 0
        << QStringList{"a", "b", "c", "d", "e", "f"};
    QTest::newRow("seven stored: one more build")
        << QStringList{"a", "b", "c", "d", "e", "f", "g"} << QStringList() << 1 << five;
    QTest::newRow("seven stored: two more builds")
        << QStringList{"a", "b", "c", "d", "e", "f", "g"} << QStringList() << 2 << five;
    QTest::newRow("reopened entry to the front")
        << QStringList{"a", "b", "c"} << QStringList{"c"} << 0 << QStringList{"c", "a", "b"};
    // The trim runs before duplicates go, so a full list loses its oldest entry as well.
    QTest::newRow("reopened in a full list")
        << five << QStringList{"c"} << 0 << QStringList{"c", "a", "b", "d"};
    QTest::newRow("several opens")
        << QStringList() << QStringList{"a", "b", "a", "c"} << 1 << QStringList{"c", "a", "b"};
}

void TestFileMenus::recentFiles()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, opened);
    QFETCH(int, updates);
    QFETCH(QStringList, expected);

    for (const QString& name : QStringList{"a", "b", "c", "d", "e", "f", "g"})
        QVERIFY(writePatch(paths({name}).first()));
    if (!stored.isEmpty())
        QSettings().setValue(Preferences::RecentFiles, paths(stored));
    makeWindow();
    for (const QString& name : opened) {
        // Each open takes the file's own tab, so a file opened again must be closed first.
        window->openFromPath(paths({name}).first());
        window->closeCurrentDocument();
    }
    for (int i = 0; i < updates; ++i)
        window->createMenus();

    const QStringList want = paths(expected);
    QCOMPARE(window->recentFileList(), want);
    if (want.isEmpty())
        QVERIFY(!QSettings().contains(Preferences::RecentFiles));
    else
        QCOMPARE(QSettings().value(Preferences::RecentFiles).toStringList(), want);

    QMenu* file = topMenu(window->menuBar(), "&File");
    QVERIFY(file);
    QMenu* recent = subMenu(file, "Recent Files");
    QVERIFY(recent);
    QCOMPARE(texts(recent), want);
    for (QAction* a : recent->actions())
        QCOMPARE(a->statusTip(), QStringLiteral("Recent file"));
}

void TestFileMenus::recentEntryOpensItsFile()
{
    const QStringList both = paths({"drum", "bass"});
    for (const QString& p : both)
        QVERIFY(writePatch(p));
    QSettings().setValue(Preferences::RecentFiles, both);
    makeWindow();
    // Built twice: a repeated connection must not open the file twice.
    window->createMenus();
    QMenu* recent = subMenu(topMenu(window->menuBar(), "&File"), "Recent Files");
    QVERIFY(recent);
    recent->actions().at(1)->trigger();
    QCOMPARE(window->tabWidget()->count(), 2);
    QCOMPARE(window->currentDocument()->patchInfo()->path, both.at(1));
    QCOMPARE(window->recentFileList(), (QStringList{both.at(1), both.at(0)}));
}

void TestFileMenus::menuTree_data()
{
    QTest::addColumn<QStringList>("made"); // under the tutorials folder
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("subfolder") << QStringList{"Basics/01.first.ktl"} << QStringList{"Basics: 01"};
    QTest::newRow("other suffixes skipped")
        << QStringList{"Basics/a.ktl.bak", "Basics/b.ktl", "Basics/c.KTL", "Basics/notes.txt"}
        << QStringList{"Basics: b"};
    QTest::newRow("files at the top") << QStringList{"top.ktl"} << QStringList{"tutorials: top"};
    QTest::newRow("numbered order")
        << QStringList{"Lessons/4 Four.ktl", "Lessons/2 Two.ktl",  "Lessons/6 Six.ktl",
                       "Lessons/1 One.ktl",  "Lessons/5 Five.ktl", "Lessons/3 Three.ktl"}
        << QStringList{"Lessons: 1 One, 2 Two, 3 Three, 4 Four, 5 Five, 6 Six"};
    QTest::newRow("same name, consecutive: merged")
        << QStringList{"one/Drums/a.ktl", "two/Drums/b.ktl"} << QStringList{"Drums: a, b"};
    QTest::newRow("same name, interrupted: split")
        << QStringList{"one/Drums/a.ktl", "one/Keys/k.ktl", "two/Drums/b.ktl"}
        << QStringList{"Drums: a", "Keys: k", "Drums: b"};
    QTest::newRow("a folder's files stay together")
        << QStringList{"A/a.ktl", "A/c.ktl", "A/b/y.ktl"} << QStringList{"A: a, c", "b: y"};
    QTest::newRow("empty folder") << QStringList() << QStringList();
}

void TestFileMenus::menuTree()
{
    QFETCH(QStringList, made);
    QFETCH(QStringList, expected);
    for (const QString& name : made)
        QVERIFY(program->writeFile("tutorials/" + name, "x"));
    makeWindow();
    QMenu menu;
    window->createMenuTree("/tutorials", &menu);
    QCOMPARE(tree(&menu), expected);
    // The window's own Tutorials menu was built the same way.
    QCOMPARE(tree(topMenu(window->menuBar(), "&Tutorials")), expected);
}

void TestFileMenus::menuTreeEntryOpensFullPath()
{
    const QString path = program->path("tutorials/Basics/01.first.ktl");
    QVERIFY(writePatch(path));
    makeWindow();
    QMenu* basics = subMenu(topMenu(window->menuBar(), "&Tutorials"), "Basics");
    QVERIFY(basics);
    QCOMPARE(basics->actions().size(), 1);
    basics->actions().first()->trigger();
    QCOMPARE(window->tabWidget()->count(), 2);
    QCOMPARE(window->currentDocument()->patchInfo()->path, QFileInfo(path).absoluteFilePath());
    QCOMPARE(window->currentDocument()->patchInfo()->name, QStringLiteral("01"));
}

void TestFileMenus::missingFolderWarns()
{
    QVERIFY(QDir(program->path("tutorials")).removeRecursively());
    MessageCapture capture;
    makeWindow();
    QVERIFY(capture.warnings().contains("/tutorials folder does not exist"));
    QVERIFY(!capture.contains(QtWarningMsg, "/examples"));
    QVERIFY(topMenu(window->menuBar(), "&Tutorials")->actions().isEmpty());

    capture.clear();
    QMenu menu;
    window->createMenuTree("/tutorials", &menu);
    QCOMPARE(capture.warnings(), QStringList{"/tutorials folder does not exist"});
    QVERIFY(menu.actions().isEmpty());
}

void TestFileMenus::aboutBox()
{
    makeWindow();
    QString title;
    QString text;
    ModalDriver driver;
    driver.answer([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        box->accept();
    });
    window->getAction("about")->trigger();
    QVERIFY(driver.unexpected().isEmpty());
    QCOMPARE(title, QStringLiteral("About Knotlattice"));
    QVERIFY2(text.contains("Beta v1.0.0"), qPrintable(text));
    QVERIFY2(text.contains("Velmora Ltd"), qPrintable(text));
    QVERIFY2(text.contains("hello@knotlattice.org"), qPrintable(text));
}

void TestFileMenus::patchInfoInConsoleOrder()
{
    makeWindow();
    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Sine", 100, 120);
    doc->addBlockHandler("Gain", 300, 150);
    PatchInfo* info = doc->patchInfo();
    info->name = "drum";
    info->date = 1700000000;
    info->saved = 3;
    info->lang = 31;
    info->nodeId = 9;
    info->includeBlocks = false;
    doc->zoomIn();
    const InstanceList blocks = doc->blockInstances();
    QCOMPARE(blocks.size(), 2);

    QStringList expected;
    for (const BlockInstance* b : blocks) {
        expected << QStringLiteral("\tX: %1").arg(b->x) << QStringLiteral("\tY: %1").arg(b->y)
                 << "\t Hash: " + b->description->hash << "\t Name: " + b->description->name
                 << QStringLiteral("\t Node Id: %1").arg(b->nodeId)
                 << QStringLiteral("\t Id: %1").arg(b->id) << "Instance:";
    }
    expected << "\t Custom blocks included: false"
             << "\t Creator language: 31"
             << "\t Zoom Level: 1"
             << "\t Saved: 3"
             << "\t Creation date: " +
                    QDateTime::fromSecsSinceEpoch(1700000000).toString(Qt::TextDate)
             << "\t Node Id: 9"
             << "\t Name: drum"
             << "Document:";

    MessageCapture capture;
    window->getAction("patch_info")->trigger();
    QCOMPARE(capture.texts(QtDebugMsg), expected);
    QCOMPARE(capture.messages().size(), expected.size());
    // The instances in the document's order, and both kinds of block present.
    QCOMPARE(blocks.at(0)->x, 100);
    QVERIFY(expected.contains("\t Name: Sine") && expected.contains("\t Name: Gain"));
}

void TestFileMenus::patchInfoWithoutDocument()
{
    makeWindow();
    window->closeCurrentDocument();
    QVERIFY(!window->currentDocument());
    QVERIFY(!window->getAction("patch_info")->isEnabled());
    MessageCapture capture;
    window->patchInfo();
    QVERIFY(capture.messages().isEmpty());
}

KL_TEST_MAIN(TestFileMenus)

#include "test_filemenus.moc"
