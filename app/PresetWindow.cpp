#include "PresetWindow.h"

#include "MainApp.h"

#include <QAction>
#include <QIcon>
#include <QToolBar>

PresetWindow::PresetWindow(MainApp* app) : QMainWindow(nullptr), app(app)
{
    setWindowTitle(tr("Presets"));
    switchToEditor = new QAction(QIcon(QStringLiteral(":/icons/switch.png")),
                                 tr("Switch to editor"), this);
    switchToEditor->setStatusTip(tr("Switch to editor"));
    QToolBar* tools = addToolBar(QStringLiteral("tools"));
    tools->setObjectName(QStringLiteral("tools"));
    tools->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    tools->addAction(switchToEditor);
}
