// The window frame: the action table, menus, tool bars, status bar, docks and layout.
#include "MainWindow.h"

#include "BlockManager.h"
#include "Browser.h"
#include "Console.h"
#include "Emulator.h"
#include "Help.h"
#include "Inspector.h"
#include "LogIn.h"
#include "Online.h"
#include "PatchDocument.h"

#include <QAction>
#include <QDockWidget>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

void MainWindow::createActions()
{
    struct Row
    {
        const char* name;
        QString text;
        QString tip;
        QKeySequence shortcut;
        const char* icon;
        bool enabled;
    };
    const Row rows[] = {
        {"new_patch", tr("&New Patch"), tr("Create a new patch"), QKeySequence::New,
         ":/icons/newDoc.png", true},
        {"save_patch", tr("&Save"), tr("Save the current patch"), QKeySequence::Save,
         ":/icons/saveDoc.png", true},
        {"save_patch_as", tr("&Save As"), tr("Save the current patch under new name"),
         QKeySequence::SaveAs, "", true},
        {"open_file", tr("&Open"), tr("Open a patch"), QKeySequence::Open, ":/icons/openDoc.png",
         true},
        {"open_firmware", tr("&Open Firmware..."), tr("Open the firmware on the device"),
         QKeySequence(QStringLiteral("Ctrl+F")), ":/icons/newfirmware.png", true},
        {"undo", tr("&Undo"), tr("Undo the last editing action"), QKeySequence::Undo,
         ":/icons/undo.png", true},
        {"redo", tr("&Redo"), tr("Redo the last editing action"), QKeySequence::Redo,
         ":/icons/redo.png", true},
        {"community", tr("Community"), tr("Browse community contributions"),
         QKeySequence(QStringLiteral("Ctrl+P")), ":/icons/community.png", true},
        {"compile", tr("&Compile"), tr("Compile patch and update firmware"),
         QKeySequence(QStringLiteral("Ctrl+U")), ":/icons/compile.png", true},
        {"switch", tr("&Switch to presets"), tr("Switch to preset browser"), QKeySequence(),
         ":/icons/switch.png", true},
        {"quit", tr("&Quit"), tr("Quit the application"), QKeySequence::Quit, "", true},
        {"about", tr("&About"), tr("Show information about the Knotlattice software"),
         QKeySequence(), "", true},
        {"delete", tr("&Delete"), tr("Delete selected objects"),
         QKeySequence(QStringLiteral("backspace")), "", false},
        {"copy", tr("&Copy"), tr("Copy selected objects"), QKeySequence::Copy, "", false},
        {"paste", tr("&Paste"), tr("Paste objects"), QKeySequence::Paste, "", false},
        {"comment", tr("Add comment"), tr("Add a new comment"), QKeySequence(), "", true},
        {"patch_info", tr("Patch info"), tr("Show patch info in console"), QKeySequence(), "",
         true},
        {"select_all", tr("Select All"), tr("Select all blocks and comments"),
         QKeySequence(QStringLiteral("Ctrl+a")), "", true},
        {"close_current_patch", tr("&Close Current Patch"), tr("Close the current patch"),
         QKeySequence(QStringLiteral("Ctrl+w")), "", false},
        {"emulator_toggle", tr("&Toggle Emulator"), tr("Toggle The Emulator"),
         QKeySequence(QStringLiteral("Ctrl+Return")), ":/icons/newplay.png", false},
        {"reset_windows", tr("Reset Windows"), tr("Reset window positions"), QKeySequence(), "",
         true},
        {"options", tr("Options"), tr("Options"), QKeySequence(), "", true},
        {"clear_console", tr("Clear Console"), tr("Clear Console"),
         QKeySequence(QStringLiteral("Ctrl+Shift+c")), "", true},
        {"zoom_in", tr("Zoom In"), tr("Zoom In"), QKeySequence(QStringLiteral("Ctrl+=")), "",
         false},
        {"zoom_out", tr("Zoom Out"), tr("Zoom Out"), QKeySequence(QStringLiteral("Ctrl+-")), "",
         false},
        {"zoom_reset", tr("Reset Zoom"), tr("Reset Zoom"), QKeySequence(), "", false},
        {"reload_blocks", tr("&Reload Blocks"),
         tr("Read the blocks folder again and redraw the patches"), QKeySequence(), "", true},
    };
    for (const Row& row : rows) {
        QAction* a = createAction(QString::fromLatin1(row.name), row.text, row.tip, row.shortcut,
                                  QString::fromLatin1(row.icon));
        a->setEnabled(row.enabled);
    }

    auto on = [this](const char* name, void (MainWindow::*slot)()) {
        connect(getAction(QString::fromLatin1(name)), &QAction::triggered, this, slot);
    };
    on("new_patch", &MainWindow::newDocument);
    connect(getAction("save_patch"), &QAction::triggered, this, [this] { savePatch(); });
    connect(getAction("save_patch_as"), &QAction::triggered, this, [this] { savePatchAs(); });
    on("open_file", &MainWindow::openFromFile);
    on("open_firmware", &MainWindow::openFromFirmware);
    on("undo", &MainWindow::undo);
    on("redo", &MainWindow::redo);
    // "switch" is connected by the application object; "comment" by each document.
    connect(getAction("community"), &QAction::triggered, online, &Online::communityClicked);
    on("compile", &MainWindow::compileCode);
    connect(getAction("quit"), &QAction::triggered, this, &QWidget::close);
    on("about", &MainWindow::about);
    on("delete", &MainWindow::deleteSelectedObjects);
    on("copy", &MainWindow::copy);
    on("paste", &MainWindow::paste);
    on("patch_info", &MainWindow::patchInfo);
    on("select_all", &MainWindow::selectAll);
    on("close_current_patch", &MainWindow::closeCurrentDocument);
    on("emulator_toggle", &MainWindow::emulateToggle);
    on("reset_windows", &MainWindow::resetWindows);
    on("options", &MainWindow::displayOptionsDialog);
    on("clear_console", &MainWindow::clearConsoleWindow);
    on("zoom_in", &MainWindow::zoomIn);
    on("zoom_out", &MainWindow::zoomOut);
    on("zoom_reset", &MainWindow::zoomReset);
    on("reload_blocks", &MainWindow::reloadBlocks);
}

void MainWindow::createMenus()
{
    QMenuBar* bar = menuBar();
    bar->clear();
    // clear() only takes the menus off the bar; without this each showing leaves a set behind.
    for (QMenu* old :
         {fileMenu, editMenu, viewMenu, tutorialsMenu, examplesMenu, onlineMenu, helpMenu})
        delete old;

    fileMenu = bar->addMenu(tr("&File"));
    fileMenu->addAction(getAction("new_patch"));
    fileMenu->addAction(getAction("open_file"));
    fileMenu->addAction(getAction("open_firmware"));
    fileMenu->addAction(getAction("save_patch"));
    fileMenu->addAction(getAction("save_patch_as"));
    fileMenu->addAction(getAction("close_current_patch"));
    fileMenu->addSeparator();
    recentFilesMenu = fileMenu->addMenu(QStringLiteral("Recent Files"));
    fileMenu->addAction(getAction("quit"));
    updateRecentFiles();

    editMenu = bar->addMenu(tr("&Edit"));
    for (const char* name : {"undo", "redo", "delete", "compile", "emulator_toggle"})
        editMenu->addAction(getAction(name));
    editMenu->addSeparator();
    editMenu->addAction(getAction("select_all"));
    editMenu->addSeparator();
    editMenu->addAction(getAction("options"));
    editMenu->addAction(getAction("clear_console"));
    editMenu->addSeparator();
    editMenu->addAction(getAction("reload_blocks"));

    viewMenu = bar->addMenu(tr("&View"));
    viewMenu->addAction(getAction("zoom_in"));
    viewMenu->addAction(getAction("zoom_out"));
    viewMenu->addAction(getAction("zoom_reset"));
    viewMenu->addSeparator();
    viewMenu->addAction(getAction("reset_windows"));
    viewMenu->addSeparator();
    // A rebuilt View menu keeps the dock toggles.
    for (QDockWidget* dock :
         {static_cast<QDockWidget*>(console), static_cast<QDockWidget*>(help),
          static_cast<QDockWidget*>(browser), static_cast<QDockWidget*>(inspector),
          static_cast<QDockWidget*>(emulator)}) {
        if (dock)
            viewMenu->addAction(dock->toggleViewAction());
    }

    tutorialsMenu = bar->addMenu(tr("&Tutorials"));
    createMenuTree(QStringLiteral("/tutorials"), tutorialsMenu);
    examplesMenu = bar->addMenu(tr("&Examples"));
    createMenuTree(QStringLiteral("/examples"), examplesMenu);

    bar->addSeparator();
    onlineMenu = online->createMenu();
    bar->addMenu(onlineMenu);
    bar->addSeparator();

    helpMenu = bar->addMenu(tr("&Help"));
    helpMenu->addAction(getAction("about"));
    helpMenu->addAction(getAction("patch_info"));
}

void MainWindow::createToolBars()
{
    fileToolBar = addToolBar(tr("File"));
    fileToolBar->setObjectName(QStringLiteral("FileToolBar"));
    fileToolBar->addAction(getAction("new_patch"));
    fileToolBar->addAction(getAction("open_file"));
    fileToolBar->addAction(getAction("save_patch"));

    editToolBar = addToolBar(tr("Edit"));
    editToolBar->setObjectName(QStringLiteral("EditToolBar"));
    editToolBar->addAction(getAction("undo"));
    editToolBar->addAction(getAction("redo"));
    editToolBar->addSeparator();
    editToolBar->addAction(getAction("community"));
    editToolBar->addAction(getAction("compile"));
    editToolBar->addAction(getAction("open_firmware"));
    editToolBar->addSeparator();
    editToolBar->addAction(getAction("emulator_toggle"));
    auto* spacer = new QWidget(editToolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    editToolBar->addWidget(spacer);

    // The stored window layout finds this tool bar by its object name.
    loginToolBar = online->getLogIn()->createToolBar();
    loginToolBar->setObjectName(QStringLiteral("LoginToolBar"));
    addToolBar(loginToolBar);
    loginToolBar->addSeparator();
    loginToolBar->addAction(getAction("switch"));
}

void MainWindow::createStatusBar()
{
    statusBar()->showMessage(tr("Ready"));
}

void MainWindow::createDockWindows()
{
    // Object names are fixed and untranslated so a saved layout survives a language change.
    console = new Console(tr("Console"), this);
    console->setObjectName(QStringLiteral("Console"));
    addDockWidget(Qt::BottomDockWidgetArea, console);
    viewMenu->addAction(console->toggleViewAction());

    help = new Help(tr("Help"), this);
    help->setObjectName(QStringLiteral("Help"));
    addDockWidget(Qt::BottomDockWidgetArea, help);
    viewMenu->addAction(help->toggleViewAction());

    browser = new Browser(tr("Browser"), this);
    browser->setObjectName(QStringLiteral("Browser"));
    browser->setMinimumWidth(240);
    addDockWidget(Qt::LeftDockWidgetArea, browser);
    viewMenu->addAction(browser->toggleViewAction());
    browser->loadBlocks(blocks->blocksInCategories());

    inspector = new Inspector(tr("Inspector"), this);
    inspector->setObjectName(QStringLiteral("Inspector"));
    inspector->setMinimumWidth(150);
    addDockWidget(Qt::RightDockWidgetArea, inspector);
    viewMenu->addAction(inspector->toggleViewAction());
    connect(inspector, &Inspector::variableEdited, this, &MainWindow::editVariableHandler);

    emulator = new Emulator(tr("Emulator"), this);
    emulator->setObjectName(QStringLiteral("Emulator"));
    addDockWidget(Qt::RightDockWidgetArea, emulator);
    viewMenu->addAction(emulator->toggleViewAction());
}

QRect MainWindow::restoredGeometry(const QVariant& stored)
{
    if (!stored.isValid() || !stored.canConvert<QRect>())
        return defaultGeometry();
    const QRect rect = stored.toRect();
    if (!rect.isValid())
        return defaultGeometry();
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return rect;
    for (QScreen* screen : screens) {
        if (screen->availableVirtualGeometry().intersects(rect))
            return rect;
    }
    return defaultGeometry();
}

void MainWindow::loadWindowState()
{
    restoreState(preferences.getSetting(Preferences::WindowState).toByteArray(), 0);
    const QVariant stored = Preferences().getSetting(Preferences::WindowGeometry);
    setGeometry(restoredGeometry(stored.isNull() ? QVariant() : stored));
}

void MainWindow::saveWindowState()
{
    preferences.saveSetting(Preferences::WindowState, saveState(0));
    preferences.saveSetting(Preferences::WindowGeometry, geometry());
}

void MainWindow::resetWindows()
{
    struct Place
    {
        QDockWidget* dock;
        Qt::DockWidgetArea area;
    };
    const Place places[] = {{console, Qt::BottomDockWidgetArea},
                            {help, Qt::BottomDockWidgetArea},
                            {browser, Qt::LeftDockWidgetArea},
                            {inspector, Qt::RightDockWidgetArea},
                            {emulator, Qt::RightDockWidgetArea}};
    for (const Place& p : places) {
        if (p.dock->isHidden())
            p.dock->show();
        if (p.dock->isFloating())
            p.dock->setFloating(false);
        addDockWidget(p.area, p.dock);
    }
}

void MainWindow::zoomIn()
{
    if (document)
        document->zoomIn();
}

void MainWindow::zoomOut()
{
    if (document)
        document->zoomOut();
}

void MainWindow::zoomReset()
{
    if (document)
        document->zoomReset();
}

void MainWindow::clearConsoleWindow()
{
    console->clearConsole();
}
