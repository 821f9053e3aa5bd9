#include "MainWindow.h"

#include "BlockManager.h"
#include "Browser.h"
#include "Console.h"
#include "EditVariableCommand.h"
#include "Emulator.h"
#include "Help.h"
#include "Inspector.h"
#include "PatchDocument.h"
#include "PatchScene.h"
#include "ProgramPaths.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSignalMapper>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QUndoStack>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    signalMapper = new QSignalMapper(this);
    loadSettings();

    blocks = std::make_unique<BlockManager>();
    blocks->loadBlocks(util::blocksDir(), BlockDescription::OriginLibrary);
    if (!customBlocksPath.isEmpty())
        blocks->loadBlocks(customBlocksPath, BlockDescription::OriginUser);

    createActions();
    createMenus();
    createToolBars();
    createStatusBar();
    createDockWindows();

    setWindowTitle(tr("Knotlattice"));

    tabs = new QTabWidget(this);
    tabs->setTabsClosable(true);
    documentCounter = 0;
    connect(tabs, &QTabWidget::currentChanged, this, &MainWindow::setDocument);
    connect(tabs, &QTabWidget::tabCloseRequested, this, &MainWindow::closeDocument);
    setCentralWidget(tabs);

    connect(inspector, &Inspector::saveBlockRequested, this,
            &MainWindow::inspectorSaveBlockRequested);

    loadWindowState();
    newDocument();

    QTimer::singleShot(10, this, [this] {
        if (document)
            document->centreView();
    });
    if (document)
        document->setFocus();
}

// Documents go first: their scenes hold pointers into the block library.
MainWindow::~MainWindow()
{
    while (tabs && tabs->count() > 0) {
        QWidget* page = tabs->widget(0);
        tabs->removeTab(0);
        if (auto* doc = qobject_cast<PatchDocument*>(page))
            doc->clear();
        delete page;
    }
    document = nullptr;
}

QAction* MainWindow::createAction(const QString& name, const QString& text,
                                  const QString& statusTip, const QKeySequence& shortcut,
                                  const QString& iconPath)
{
    deleteAction(name);
    auto* action = new QAction(text, this);
    action->setStatusTip(statusTip);
    action->setShortcut(shortcut);
    action->setIcon(iconPath.isEmpty() ? QIcon() : QIcon(iconPath));
    actions.insert(name, action);
    return action;
}

QAction* MainWindow::getAction(const QString& name) const
{
    return actions.value(name, nullptr);
}

void MainWindow::deleteAction(const QString& name)
{
    delete actions.take(name);
}

void MainWindow::loadSettings()
{
    preferences = Preferences();
    customBlocksPath = preferences.getSetting(Preferences::CustomBlocksPath).toString();
    defaultPatchPath =
        preferences.getSetting(Preferences::DefaultPatchPath, QDir::homePath()).toString();
    lastFolder = defaultPatchPath;
    recentFiles = preferences.getRecentFiles();
}

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
        {"open_file", tr("&Open"), tr("Open a patch"), QKeySequence::Open,
         ":/icons/openDoc.png", true},
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
    // "community" is connected by the online controller; "switch" by the application object;
    // "comment" by each document.
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
}

void MainWindow::createMenus()
{
    QMenuBar* bar = menuBar();
    bar->clear();

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

    viewMenu = bar->addMenu(tr("&View"));
    viewMenu->addAction(getAction("zoom_in"));
    viewMenu->addAction(getAction("zoom_out"));
    viewMenu->addAction(getAction("zoom_reset"));
    viewMenu->addSeparator();
    viewMenu->addAction(getAction("reset_windows"));
    viewMenu->addSeparator();
    // A rebuilt View menu keeps the dock toggles.
    for (QDockWidget* dock : {static_cast<QDockWidget*>(console), static_cast<QDockWidget*>(help),
                              static_cast<QDockWidget*>(browser),
                              static_cast<QDockWidget*>(inspector),
                              static_cast<QDockWidget*>(emulator)}) {
        if (dock)
            viewMenu->addAction(dock->toggleViewAction());
    }

    tutorialsMenu = bar->addMenu(tr("&Tutorials"));
    createMenuTree(QStringLiteral("/tutorials"), tutorialsMenu);
    examplesMenu = bar->addMenu(tr("&Examples"));
    createMenuTree(QStringLiteral("/examples"), examplesMenu);

    bar->addSeparator();
    // The Online menu comes with the repository client.
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

    // The log-in controls join this tool bar with the repository client.
    loginToolBar = addToolBar(tr("Login"));
    loginToolBar->setObjectName(QStringLiteral("LoginToolBar"));
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

PatchDocument* MainWindow::documentAt(int index) const
{
    return qobject_cast<PatchDocument*>(tabs->widget(index));
}

QString MainWindow::tabTitle(const PatchDocument* doc, bool changed) const
{
    QString title = doc->patchInfo()->name;
    if (changed)
        title += QStringLiteral(" *");
    return title;
}

void MainWindow::newDocument()
{
    auto* doc = new PatchDocument(this, this);
    QString title = doc->patchInfo()->name;
    if (documentCounter != 0)
        title += QStringLiteral(" ") + QString::number(documentCounter);
    const int index = tabs->addTab(doc, title);
    tabs->setCurrentIndex(index);
    doc->patchInfo()->name = title;

    connect(doc->patchScene(), &PatchScene::blockSelected, this,
            &MainWindow::selectBlockHandler);
    setDocument(tabs->currentIndex());
    inspector->clear();
    enableDocumentActions(true);
    doc->centreView();
    connect(doc, &PatchDocument::hasChanged, this, &MainWindow::documentChanged);
    ++documentCounter;
}

void MainWindow::setDocument(int index)
{
    // Text still being typed belongs to the document that was current.
    inspector->commitEdits();
    if (index >= 0 && index < tabs->count())
        tabs->setCurrentIndex(index);
    document = documentAt(tabs->currentIndex());
    inspector->clear();
    updateUndoActions();
}

void MainWindow::updateUndoActions()
{
    QAction* undoAction = getAction("undo");
    QAction* redoAction = getAction("redo");
    const QUndoStack* stack = document ? document->undoStack() : nullptr;
    if (!stack || stack->count() == 0) {
        undoAction->setEnabled(false);
        redoAction->setEnabled(false);
    } else if (stack->index() == 0) {
        undoAction->setEnabled(false);
        redoAction->setEnabled(true);
    } else if (stack->index() == stack->count()) {
        undoAction->setEnabled(true);
        redoAction->setEnabled(false);
    } else {
        undoAction->setEnabled(true);
        redoAction->setEnabled(true);
    }
}

void MainWindow::enableDocumentActions(bool on)
{
    for (const char* name : {"save_patch", "save_patch_as", "close_current_patch"})
        getAction(name)->setEnabled(on);
    getAction("undo")->setEnabled(false);
    getAction("redo")->setEnabled(false);
    for (const char* name : {"paste", "comment", "compile", "emulator_toggle", "patch_info",
                             "zoom_in", "zoom_out", "zoom_reset"})
        getAction(name)->setEnabled(on);
}

void MainWindow::enableBlockActions(bool on)
{
    getAction("delete")->setEnabled(on);
    getAction("copy")->setEnabled(on);
}

void MainWindow::selectBlockHandler(InstanceList instances, bool commentsSelected)
{
    if (instances.size() != 1) {
        inspector->clear();
    } else if (!commentsSelected) {
        const BlockInstance* instance = instances.first();
        inspector->showProperties(instance);
        if (instance->description)
            help->display(instance->description->name, instance->description->help);
    }
    enableBlockActions(!instances.isEmpty() || commentsSelected);
}

// The mark goes to the tab of the document that changed, which need not be the current one.
void MainWindow::documentChanged(bool flag)
{
    auto* doc = qobject_cast<PatchDocument*>(sender());
    if (!doc)
        doc = document;
    if (!doc)
        return;
    const int index = tabs->indexOf(doc);
    if (index >= 0)
        tabs->setTabText(index, tabTitle(doc, flag));
}

// True means: keep the document open. A save that fails or is cancelled keeps it too, so
// closing never loses the changes.
bool MainWindow::askForSave(PatchDocument* doc)
{
    if (!doc)
        doc = document;
    if (!doc || !doc->changed())
        return false;
    QMessageBox box(QMessageBox::Warning, QString(),
                    "\"" + doc->patchInfo()->name +
                        tr("\" has unsaved changes. \nDo you want to save them now?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Yes);
    switch (box.exec()) {
    case QMessageBox::Yes: {
        const SaveResult result =
            doc->patchInfo()->path.isEmpty() ? savePatchAs(doc) : savePatch(doc);
        return result != SaveResult::Saved;
    }
    case QMessageBox::No:
        return false;
    default:
        return true;
    }
}

void MainWindow::closeDocument(int index)
{
    PatchDocument* doc = documentAt(index);
    if (!doc)
        return;
    commitPendingEdits();
    if (doc->isPlaying())
        emulateToggle();
    if (askForSave(doc))
        return;

    tabs->removeTab(tabs->indexOf(doc));
    if (tabs->count() > 0) {
        document = documentAt(tabs->currentIndex());
    } else {
        document = nullptr;
        enableDocumentActions(false);
    }
    inspector->clear();
    doc->clear();
    doc->setChanged(false);
    delete doc;
}

void MainWindow::closeCurrentDocument()
{
    if (tabs->currentIndex() >= 0)
        closeDocument(tabs->currentIndex());
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    commitPendingEdits();
    saveWindowState();
    if (document) {
        for (int i = 0; i < tabs->count(); ++i) {
            PatchDocument* doc = documentAt(i);
            if (doc && doc->changed() && askForSave(doc)) {
                event->ignore();
                return;
            }
        }
    }
    event->accept();
    emulator->stop();
    emulating = false;
}

bool MainWindow::isDocumentEmpty() const
{
    return document && document->isEmpty();
}

const BlockDescription* MainWindow::blockDescription(const QString& name, bool libraryOnly) const
{
    if (!libraryOnly && document) {
        if (const BlockDescription* own = document->getBlockDescription(name))
            return own;
    }
    return blocks->blockDescription(name);
}

const BlockInstance* MainWindow::blockInstance(int id) const
{
    return document ? document->blockInstance(id) : nullptr;
}

void MainWindow::variableChanged(int instanceId, int variableId, const QString& value)
{
    inspector->updateValue(instanceId, variableId, value);
}

void MainWindow::log(const char* text)
{
    if (console)
        console->log(QString::fromUtf8(text));
}

void MainWindow::logIn() {}

void MainWindow::editVariableHandler(int blockId, int variableId, QString value)
{
    if (!document || !document->blockInstance(blockId))
        return;
    // A keyboard move still waiting for its relay would otherwise take the edit in.
    document->patchScene()->closePendingMove();
    document->undoStack()->push(new EditVariableCommand(document, blockId, variableId, value));
}

void MainWindow::emulateToggle()
{
    if (emulating) {
        emulateStop();
        showStopped();
        return;
    }
    if (!document)
        return;
    commitPendingEdits();
    console->clearConsole();
    emulateCode();
    if (emulating) {
        getAction("emulator_toggle")->setIcon(QIcon(QStringLiteral(":/icons/newstop.png")));
        document->setIsPlaying(true);
    }
}

// The playing state follows only a program that really started.
void MainWindow::emulateCode()
{
    emulator->stop();
    showStopped();
    emulating = document && emulator->compilePatch(document->blockInstances());
}

void MainWindow::emulateStop()
{
    emulator->stop();
    emulating = false;
}

void MainWindow::showStopped()
{
    getAction("emulator_toggle")->setIcon(QIcon(QStringLiteral(":/icons/newplay.png")));
    for (int i = 0; i < tabs->count(); ++i) {
        if (PatchDocument* doc = documentAt(i))
            doc->setIsPlaying(false);
    }
}

void MainWindow::undo()
{
    if (document)
        document->undo();
}

void MainWindow::redo()
{
    if (document)
        document->redo();
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

void MainWindow::selectAll()
{
    if (document)
        document->selectAll();
}

void MainWindow::deleteSelectedObjects()
{
    if (document)
        document->patchScene()->deleteSelectedObjects();
}

void MainWindow::clearConsoleWindow()
{
    console->clearConsole();
}

// Filled by the issues that own them.
void MainWindow::about() {}
void MainWindow::openFromFirmware() {}
void MainWindow::reloadBlocks() {}
void MainWindow::compileCode() {}
void MainWindow::copy() {}
void MainWindow::paste() {}
void MainWindow::patchInfo() {}
void MainWindow::displayOptionsDialog() {}
void MainWindow::inspectorSaveBlockRequested(const BlockInstance*, bool) {}
