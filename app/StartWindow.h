#pragma once

#include <QMainWindow>

class MainApp;
class QCheckBox;
class QPushButton;

// The launch screen: go to the preset browser or to the patch editor.
class StartWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit StartWindow(MainApp* app);

    QPushButton* presetsButton() const { return loadPreset; }
    QPushButton* createButton() const { return createPatch; }
    QCheckBox* dontShowBox() const { return dontShow; }

public slots:
    void switchToPresets();
    void switchToCreate();
    void DontShowThisWindowsState(int state);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    MainApp* app;
    QPushButton* loadPreset = nullptr;
    QPushButton* createPatch = nullptr;
    QCheckBox* dontShow = nullptr;
};
