#include "BlockManager.h"
#include "Browser.h"
#include "Console.h"
#include "Emulator.h"
#include "Help.h"
#include "Inspector.h"
#include "MainWindow.h"
#include "PatchCable.h"
#include "PatchDocument.h"
#include "PatchScene.h"
#include "Preferences.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSettings>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolBar>
#include <QUndoStack>
#include <memory>

// A main window over a program folder holding three fixture blocks.
class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void actionTable_data();
    void actionTable();
    void actionLookupAndReplace();
    void menusAndToolBars();
    void docks();
    void tabTitles();
    void undoRedoFollowStackIndex();
    void changeMarkGoesToSendingTab();
    void selectionDrivesInspectorHelpAndActions();
    void windowLayoutRoundTrip();
    void unreadableGeometry_data();
    void unreadableGeometry();
    void resetWindowsRedocks();
    void logWritesConsoleNewestFirst();
    void variableEditIsOneUndoStep();
    void deleteShortcutFollowsFocus_data();
    void deleteShortcutFollowsFocus();
    void deleteIsOfferedForCables();

private:
    std::unique_ptr<TempProgramDir> program;
    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::init()
{
    QSettings().clear();
    program = std::make_unique<TempProgramDir>();
    QVERIFY(program->copyIn(testsupport::sourcePath("tests/app/fixtures/blocks"), "blocks"));
    window = std::make_unique<MainWindow>();
}

void TestMainWindow::cleanup()
{
    window.reset();
    program.reset();
}

void TestMainWindow::actionTable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tip");
    QTest::addColumn<QKeySequence>("shortcut");
    QTest::addColumn<bool>("hasIcon");
    QTest::addColumn<bool>("enabled"); // with the first empty document open

    auto row = [](const char* name, const char* text, const char* tip, QKeySequence key, bool icon,
                  bool enabled) {
        QTest::newRow(name) << QString(name) << QString(text) << QString(tip) << key << icon
                            << enabled;
    };
    row("new_patch", "&New Patch", "Create a new patch", QKeySequence::New, true, true);
    row("save_patch", "&Save", "Save the current patch", QKeySequence::Save, true, true);
    row("save_patch_as", "&Save As", "Save the current patch under new name", QKeySequence::SaveAs,
        false, true);
    row("open_file", "&Open", "Open a patch", QKeySequence::Open, true, true);
    row("open_firmware", "&Open Firmware...", "Open the firmware on the device",
        QKeySequence("Ctrl+F"), true, true);
    row("undo", "&Undo", "Undo the last editing action", QKeySequence::Undo, true, false);
    row("redo", "&Redo", "Redo the last editing action", QKeySequence::Redo, true, false);
    row("community", "Community", "Browse community contributions", QKeySequence("Ctrl+P"), true,
        true);
    row("compile", "&Compile", "Compile patch and update firmware", QKeySequence("Ctrl+U"), true,
        true);
    row("switch", "&Switch to presets", "Switch to preset browser", QKeySequence(), true, true);
    row("quit", "&Quit", "Quit the application", QKeySequence::Quit, false, true);
    row("about", "&About", "Show information about the Knotlattice software", QKeySequence(), false,
        true);
    row("delete", "&Delete", "Delete selected objects", QKeySequence("backspace"), false, false);
    row("copy", "&Copy", "Copy selected objects", QKeySequence::Copy, false, false);
    row("paste", "&Paste", "Paste objects", QKeySequence::Paste, false, true);
    row("comment", "Add comment", "Add a new comment", QKeySequence(), false, true);
    row("patch_info", "Patch info", "Show patch info in console", QKeySequence(), false, true);
    row("select_all", "Select All", "Select all blocks and comments", QKeySequence("Ctrl+a"), false,
        true);
    row("close_current_patch", "&Close Current Patch", "Close the current patch",
        QKeySequence("Ctrl+w"), false, true);
    row("emulator_toggle", "&Toggle Emulator", "Toggle The Emulator", QKeySequence("Ctrl+Return"),
        true, true);
    row("reset_windows", "Reset Windows", "Reset window positions", QKeySequence(), false, true);
    row("options", "Options", "Options", QKeySequence(), false, true);
    row("clear_console", "Clear Console", "Clear Console", QKeySequence("Ctrl+Shift+c"), false,
        true);
    row("zoom_in", "Zoom In", "Zoom In", QKeySequence("Ctrl+="), false, true);
    row("zoom_out", "Zoom Out", "Zoom Out", QKeySequence("Ctrl+-"), false, true);
    row("zoom_reset", "Reset Zoom", "Reset Zoom", QKeySequence(), false, true);
    row("reload_blocks", "&Reload Blocks", "Read the blocks folder again and redraw the patches",
        QKeySequence(), false, true);
}

void TestMainWindow::actionTable()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, tip);
    QFETCH(QKeySequence, shortcut);
    QFETCH(bool, hasIcon);
    QFETCH(bool, enabled);

    QAction* a = window->getAction(name);
    QVERIFY(a);
    QCOMPARE(a->text(), text);
    QCOMPARE(a->statusTip(), tip);
    QCOMPARE(a->shortcut(), shortcut);
    QCOMPARE(!a->icon().isNull(), hasIcon);
    QCOMPARE(a->isEnabled(), enabled);
    QVERIFY(!a->isCheckable());
}

void TestMainWindow::actionLookupAndReplace()
{
    QVERIFY(!window->getAction("no_such_action"));
    QPointer<QAction> old = window->getAction("about");
    QAction* fresh = window->createAction("about", "x", "y", QKeySequence(), QString());
    QVERIFY(old.isNull());
    QCOMPARE(window->getAction("about"), fresh);
    window->deleteAction("about");
    QVERIFY(!window->getAction("about"));
    window->deleteAction("about");
}

static QStringList entries(QMenu* menu)
{
    QStringList out;
    for (QAction* a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("|") : a->text());
    return out;
}

void TestMainWindow::menusAndToolBars()
{
    QStringList titles;
    for (QAction* a : window->menuBar()->actions())
        titles << (a->isSeparator() ? QStringLiteral("|") : a->text());
    // The Online menu has its slot between the two menu-bar separators.
    QCOMPARE(titles, (QStringList{"&File", "&Edit", "&View", "&Tutorials", "&Examples", "|",
                                  "Online", "|", "&Help"}));

    QMenu* file = window->menuBar()->actions().first()->menu();
    QCOMPARE(entries(file),
             (QStringList{"&New Patch", "&Open", "&Open Firmware...", "&Save", "&Save As",
                          "&Close Current Patch", "|", "Recent Files", "&Quit"}));

    QMenu* edit = window->menuBar()->actions().at(1)->menu();
    QCOMPARE(entries(edit),
             (QStringList{"&Undo", "&Redo", "&Delete", "&Compile", "&Toggle Emulator", "|",
                          "Select All", "|", "Options", "Clear Console", "|", "&Reload Blocks"}));
    // The entry rereads the blocks folder.
    QFile sine(program->path("blocks/sine.xml"));
    QVERIFY(sine.open(QIODevice::ReadOnly));
    const QByteArray text = sine.readAll().replace("Sine oscillator", "Edited");
    sine.close();
    QVERIFY(sine.open(QIODevice::WriteOnly | QIODevice::Truncate));
    sine.write(text);
    sine.close();
    window->getAction("reload_blocks")->trigger();
    QCOMPARE(window->blockManager()->blockDescription("Sine")->info, QStringLiteral("Edited"));

    // The rebuilt View menu still offers the dock toggles, and the old menus are gone.
    const int menusBefore = window->menuBar()->findChildren<QMenu*>().size();
    window->createMenus();
    window->createMenus();
    QCOMPARE(window->menuBar()->findChildren<QMenu*>().size(), menusBefore);
    const QStringList view = entries(window->viewMenuForTest());
    QCOMPARE(view.mid(0, 6),
             (QStringList{"Zoom In", "Zoom Out", "Reset Zoom", "|", "Reset Windows", "|"}));
    QCOMPARE(view.mid(6), (QStringList{"Console", "Help", "Browser", "Inspector", "Emulator"}));

    const QList<QToolBar*> bars = window->findChildren<QToolBar*>();
    QStringList names;
    for (QToolBar* b : bars)
        names << b->objectName();
    QVERIFY(names.contains("FileToolBar"));
    QVERIFY(names.contains("EditToolBar"));
    QVERIFY(names.contains("LoginToolBar"));
}

void TestMainWindow::docks()
{
    QCOMPARE(window->dockWidgetArea(window->consoleDock()), Qt::BottomDockWidgetArea);
    QCOMPARE(window->dockWidgetArea(window->helpDock()), Qt::BottomDockWidgetArea);
    QCOMPARE(window->dockWidgetArea(window->browserDock()), Qt::LeftDockWidgetArea);
    QCOMPARE(window->dockWidgetArea(window->inspectorDock()), Qt::RightDockWidgetArea);
    QCOMPARE(window->dockWidgetArea(window->emulatorDock()), Qt::RightDockWidgetArea);
    QVERIFY(window->browserDock()->minimumWidth() >= 240);
    QVERIFY(window->inspectorDock()->minimumWidth() >= 150);
    QCOMPARE(window->consoleDock()->objectName(), QStringLiteral("Console"));
    QCOMPARE(window->emulatorDock()->objectName(), QStringLiteral("Emulator"));
    QCOMPARE(window->geometry(), QRect(0, 25, 890, 567));
    QVERIFY(window->blockManager()->blockDescription("Sine"));
}

void TestMainWindow::tabTitles()
{
    QTabWidget* tabs = window->tabWidget();
    QCOMPARE(tabs->count(), 1);
    window->newDocument();
    window->newDocument();
    QCOMPARE(tabs->tabText(0), QStringLiteral("new patch"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("new patch 1"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("new patch 2"));
    QCOMPARE(window->currentDocument()->patchInfo()->name, QStringLiteral("new patch 2"));
    QCOMPARE(tabs->currentIndex(), 2);
}

void TestMainWindow::undoRedoFollowStackIndex()
{
    PatchDocument* doc = window->currentDocument();
    QAction* undo = window->getAction("undo");
    QAction* redo = window->getAction("redo");
    QVERIFY(!undo->isEnabled() && !redo->isEnabled());

    doc->addBlockHandler("Sine", 100, 100);
    doc->addBlockHandler("Gain", 200, 100);
    QVERIFY(undo->isEnabled() && !redo->isEnabled());
    window->undo();
    QVERIFY(undo->isEnabled() && redo->isEnabled());
    window->undo();
    QVERIFY(!undo->isEnabled() && redo->isEnabled());

    // A tab change reads the same rule from the newly current stack.
    window->newDocument();
    QVERIFY(!undo->isEnabled() && !redo->isEnabled());
    window->setDocument(0);
    QVERIFY(!undo->isEnabled() && redo->isEnabled());
}

void TestMainWindow::changeMarkGoesToSendingTab()
{
    PatchDocument* first = window->currentDocument();
    window->newDocument();
    QTabWidget* tabs = window->tabWidget();
    QCOMPARE(tabs->currentIndex(), 1);

    first->addBlockHandler("Sine", 10, 10);
    QCOMPARE(tabs->tabText(0), QStringLiteral("new patch *"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("new patch 1"));

    first->setChanged(false);
    QCOMPARE(tabs->tabText(0), QStringLiteral("new patch"));
}

void TestMainWindow::selectionDrivesInspectorHelpAndActions()
{
    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Sine", 100, 100);
    doc->addBlockHandler("Gain", 300, 100);
    const InstanceList all = doc->blockInstances();
    QCOMPARE(all.size(), 2);

    window->selectBlockHandler(InstanceList{all.first()}, false);
    QVERIFY(window->helpDock()->html().contains(all.first()->description->name));
    QVERIFY(window->getAction("delete")->isEnabled());
    QVERIFY(window->getAction("copy")->isEnabled());

    window->selectBlockHandler(InstanceList(), false);
    QVERIFY(!window->getAction("delete")->isEnabled());
    window->selectBlockHandler(InstanceList(), true);
    QVERIFY(window->getAction("delete")->isEnabled());

    // Through the scene: selecting both blocks enables delete and copy.
    window->selectBlockHandler(InstanceList(), false);
    doc->selectAll();
    QVERIFY(window->getAction("delete")->isEnabled());
    QVERIFY(window->getAction("copy")->isEnabled());
}

void TestMainWindow::windowLayoutRoundTrip()
{
    window->setGeometry(50, 60, 700, 500);
    window->saveWindowState();
    const QByteArray state = QSettings().value(Preferences::WindowState).toByteArray();
    QVERIFY(!state.isEmpty());
    QCOMPARE(QSettings().value(Preferences::WindowGeometry).toRect(), QRect(50, 60, 700, 500));

    window.reset();
    window = std::make_unique<MainWindow>();
    QCOMPARE(window->geometry(), QRect(50, 60, 700, 500));
}

void TestMainWindow::unreadableGeometry_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::newRow("text") << QVariant(QStringLiteral("garbage"));
    QTest::newRow("empty rectangle") << QVariant(QRect());
    QTest::newRow("off every screen") << QVariant(QRect(-90000, -90000, 300, 200));
}

void TestMainWindow::unreadableGeometry()
{
    QFETCH(QVariant, stored);
    window.reset();
    QSettings().setValue(Preferences::WindowGeometry, stored);
    window = std::make_unique<MainWindow>();
    QCOMPARE(window->geometry(), MainWindow::defaultGeometry());
}

void TestMainWindow::resetWindowsRedocks()
{
    window->show();
    window->consoleDock()->setFloating(true);
    window->inspectorDock()->hide();
    window->resetWindows();
    QVERIFY(!window->consoleDock()->isFloating());
    QVERIFY(window->inspectorDock()->isVisible());
    QCOMPARE(window->dockWidgetArea(window->consoleDock()), Qt::BottomDockWidgetArea);
    QCOMPARE(window->dockWidgetArea(window->inspectorDock()), Qt::RightDockWidgetArea);
}

void TestMainWindow::logWritesConsoleNewestFirst()
{
    window->log("first");
    window->log("second");
    QVERIFY(window->consoleDock()->text().startsWith("second\nfirst\n"));
    window->clearConsoleWindow();
    QCOMPARE(window->consoleDock()->text(), QString());
}

void TestMainWindow::variableEditIsOneUndoStep()
{
    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Sine", 100, 100);
    const BlockInstance* sine = doc->blockInstances().first();
    const int freq = 2; // in0, out0, freq
    QCOMPARE(sine->values.at(freq), QStringLiteral("440"));
    const int before = doc->undoStack()->count();

    window->editVariableHandler(sine->id, freq, "880");
    QCOMPARE(doc->blockInstance(sine->id)->values.at(freq), QStringLiteral("880"));
    QCOMPARE(doc->undoStack()->count(), before + 1);
    window->undo();
    QCOMPARE(doc->blockInstance(sine->id)->values.at(freq), QStringLiteral("440"));
}

void TestMainWindow::deleteShortcutFollowsFocus_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<bool>("deletes");
    QTest::newRow("canvas") << "canvas" << true;
    QTest::newRow("Help panel") << "help" << false;
    QTest::newRow("Console") << "console" << false;
    QTest::newRow("inspector field") << "inspector" << false;
}

void TestMainWindow::deleteShortcutFollowsFocus()
{
    QFETCH(QString, focus);
    QFETCH(bool, deletes);
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Sine", 100, 100);
    doc->selectAll();
    QCOMPARE(doc->selectedInstances().size(), 1);
    QVERIFY(window->getAction("delete")->isEnabled());

    QWidget* target = doc;
    QLineEdit* field = nullptr;
    if (focus == "help") {
        target = window->helpDock()->findChild<QTextEdit*>();
    } else if (focus == "console") {
        target = window->consoleDock()->findChild<QTextEdit*>();
    } else if (focus == "inspector") {
        auto* spin = window->inspectorDock()->findChild<QAbstractSpinBox*>();
        QVERIFY(spin);
        target = spin;
        field = spin->findChild<QLineEdit*>();
        QVERIFY(field);
        field->end(false);
    }
    QVERIFY(target);
    target->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), target);
    const QString before = field ? field->text() : QString();

    QTest::keyClick(target, Qt::Key_Backspace);
    QCOMPARE(doc->blockInstances().isEmpty(), deletes);
    if (field)
        QCOMPARE(field->text(), before.chopped(1));

    // The menu entry deletes from anywhere.
    if (!deletes) {
        window->getAction("delete")->trigger();
        QVERIFY(doc->blockInstances().isEmpty());
    }
}

void TestMainWindow::deleteIsOfferedForCables()
{
    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Sine", 100, 100);
    doc->addBlockHandler("Gain", 300, 100);
    const InstanceList blocks = doc->blockInstances();
    doc->addConnectionHandler(1, blocks[0]->id, 0, blocks[1]->id, 0);
    QVERIFY(!window->getAction("delete")->isEnabled());

    doc->patchScene()->cableItem(1)->setSelected(true);
    QVERIFY(window->getAction("delete")->isEnabled());
    // Nothing to copy in a cable alone.
    QVERIFY(!window->getAction("copy")->isEnabled());
    window->getAction("delete")->trigger();
    QVERIFY(doc->blockConnections().isEmpty());
    QCOMPARE(doc->blockInstances().size(), 2);
    QVERIFY(!window->getAction("delete")->isEnabled());
}

KL_TEST_MAIN(TestMainWindow)

#include "test_mainwindow.moc"
