#include "MainWindow.h"

#include "BlockManager.h"
#include "Preferences.h"
#include "ProgramPaths.h"

#include <QAction>
#include <QIcon>
#include <QMenuBar>

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    const Preferences preferences;
    const QString customBlocksPath =
        preferences.getSetting(Preferences::CustomBlocksPath).toString();

    blocks = std::make_unique<BlockManager>();
    blocks->loadBlocks(util::blocksDir(), BlockDescription::OriginLibrary);
    if (!customBlocksPath.isEmpty())
        blocks->loadBlocks(customBlocksPath, BlockDescription::OriginUser);

    createAction(QStringLiteral("switch"), tr("&Switch to presets"),
                 tr("Switch to preset browser"), QKeySequence(),
                 QStringLiteral(":/icons/switch.png"));
    setWindowTitle(tr("Knotlattice"));
    setGeometry(0, 25, 890, 567);
}

MainWindow::~MainWindow() = default;

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

void MainWindow::createMenus()
{
    menuBar()->clear();
}

void MainWindow::logIn() {}

void MainWindow::log(const char*) {}

void MainWindow::openFromPath(QString) {}
