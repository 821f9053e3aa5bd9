#include "MainApp.h"

#include "MainWindow.h"
#include "Preferences.h"
#include "PresetWindow.h"
#include "StartWindow.h"
#include "StartupResources.h"

#include <QAction>
#include <QFileOpenEvent>
#include <QMenuBar>

MainApp::MainApp(int& argc, char** argv) : QApplication(argc, argv)
{
    // Before any window: text laid out earlier, such as the comments of a patch named on the
    // command line, keeps the fallback font it was measured in.
    registerFonts();
    start = new StartWindow(this);
    editor = new MainWindow(nullptr);
    connect(editor->getAction(QStringLiteral("switch")), &QAction::triggered, this,
            &MainApp::showPresetWindow);
    presets = new PresetWindow(this);
    connect(presets->switchAction(), &QAction::triggered, this, &MainApp::showMainWindow);

    const bool showStart =
        Preferences().getSetting(Preferences::ShowStartWindow, QStringLiteral("true")).toBool();
    mode = chooseStartMode(argc, showStart);

    const QStringList args = arguments();
    for (int i = 1; i < args.size(); ++i)
        editor->openFromPath(args.at(i));
}

MainApp::~MainApp()
{
    delete presets;
    delete editor;
    delete start;
}

int MainApp::chooseStartMode(int argc, bool showStartWindowSetting)
{
    return (argc < 2 && showStartWindowSetting) ? ShowStartWindow : ShowMainWindow;
}

void MainApp::showWindow()
{
    if (mode != ShowMainWindow) {
        showStartWindow();
        return;
    }
    presets->hide();
    start->hide();
    editor->createMenus();
    editor->show();
    editor->logIn();
}

void MainApp::showStartWindow()
{
    editor->hide();
    presets->hide();
    if (start->size() == QSize(890, 567)) {
        start->setWindowState(Qt::WindowMaximized);
        start->showMaximized();
    } else {
        start->show();
    }
}

void MainApp::showMainWindow()
{
    presets->hide();
    start->hide();
    editor->createMenus();
    editor->show();
    editor->logIn();
}

void MainApp::showPresetWindow()
{
    presets->show();
    start->hide();
    editor->menuBar()->clear();
    editor->hide();
}

void MainApp::log(const char* text)
{
    editor->log(text);
}

bool MainApp::event(QEvent* e)
{
    if (e->type() == QEvent::FileOpen)
        editor->openFromPath(static_cast<QFileOpenEvent*>(e)->file());
    return QApplication::event(e);
}
