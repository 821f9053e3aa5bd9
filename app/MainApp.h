#pragma once

#include <QApplication>

class MainWindow;
class PresetWindow;
class StartWindow;

// The application object: owns the three top-level windows and switches between them.
class MainApp : public QApplication
{
    Q_OBJECT
public:
    enum StartMode
    {
        ShowStartWindow = 0,
        ShowMainWindow = 2
    };

    MainApp(int& argc, char** argv);
    ~MainApp() override;

    // The first window to show: the start window only without file arguments and while the
    // user has not turned it off.
    static int chooseStartMode(int argc, bool showStartWindowSetting);

    void showWindow();
    void showStartWindow();
    void log(const char* text);

    int startMode() const { return mode; }
    MainWindow* mainWindow() const { return editor; }
    PresetWindow* presetWindow() const { return presets; }
    StartWindow* startWindow() const { return start; }

    bool event(QEvent* e) override;

public slots:
    void showMainWindow();
    void showPresetWindow();

private:
    int mode = ShowStartWindow;
    // Top-level windows live until the application object goes at the end of the run.
    MainWindow* editor = nullptr;
    PresetWindow* presets = nullptr;
    StartWindow* start = nullptr;
};
