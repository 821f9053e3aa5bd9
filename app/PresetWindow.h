#pragma once

#include <QMainWindow>

class MainApp;
class QAction;

// The preset browser.
class PresetWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit PresetWindow(MainApp* app);

    QAction* switchAction() const { return switchToEditor; }

private:
    MainApp* app;
    QAction* switchToEditor = nullptr;
};
