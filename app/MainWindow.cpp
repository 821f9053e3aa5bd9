#include "MainWindow.h"

#include "BlockManager.h"
#include "Console.h"
#include "Inspector.h"
#include "Online.h"
#include "PatchDocument.h"
#include "ProgramPaths.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QSignalMapper>
#include <QTabWidget>
#include <QTimer>

// The editor window. Its members are grouped by concern in the MainWindow*.cpp files: frame,
// documents and tabs, files, emulation, firmware, clipboard, dialogs and online.
MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    signalMapper = new QSignalMapper(this);
    loadSettings();

    blocks = std::make_unique<BlockManager>();
    blocks->loadBlocks(util::blocksDir(), BlockDescription::OriginLibrary);
    if (!customBlocksPath.isEmpty())
        blocks->loadBlocks(customBlocksPath, BlockDescription::OriginUser);

    createOnline();

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
    // The "delete" shortcut's key is offered to the focused widget first (eventFilter).
    qApp->installEventFilter(this);

    // Centres the first, empty document once the window has its size; a patch opened at start
    // keeps the view it was saved with.
    QTimer::singleShot(10, this, [first = QPointer<PatchDocument>(document)] {
        if (first)
            first->centreView();
    });
    if (document)
        document->setFocus();
}

// The online side goes first, so no reply reaches a window that is half gone; then the
// documents: their scenes hold pointers into the block library.
MainWindow::~MainWindow()
{
    delete online;
    online = nullptr;
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
    // An empty default patch folder counts as unset, and one that does not exist (Options
    // stores a path as typed) leaves the dialogs in the home folder too.
    const QString patches = preferences.getSetting(Preferences::DefaultPatchPath).toString();
    defaultPatchPath = QFileInfo(patches).isDir() ? patches : QDir::homePath();
    lastFolder = defaultPatchPath;
    recentFiles = preferences.getRecentFiles();
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
