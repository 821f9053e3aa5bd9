#pragma once

#include "Preset.h"

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QString>

class Emulator;
class MainApp;
class QAction;
class QListWidget;
class QTextEdit;

// The preset browser: the presets of the catalogue under their categories, the chosen one's
// name and description, Play (its prebuilt program, with the emulator panel's live controls) and
// Load to Device (its prebuilt firmware image). Paths come from the presets folder.
class PresetWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit PresetWindow(MainApp* app);

    QAction* switchAction() const { return switchToEditor; }

    // Fills the catalogue from the folder's presets-en.xml; a missing or malformed catalogue
    // leaves it as it was.
    void loadPresets(const QString& folder);

    QListWidget* presetList() const { return list; }
    QTextEdit* infoPanel() const { return info; }
    Emulator* emulatorPanel() const { return emulator; }
    QAction* playAction() const { return play; }
    QAction* loadAction() const { return load; }

public slots:
    void selectPreset(int id);
    void playPreset(bool play);
    void updateFirmware();
    // While the editor builds firmware or copies it to the device, Load to Device waits.
    void setEditorFirmwareBusy(bool busy);

protected:
    // With the editor hidden, closing this window closes the editor: its unsaved patches are
    // asked about first, and a cancel there keeps both windows open and the preset playing.
    void closeEvent(QCloseEvent* event) override;

private:
    // The preset of the list's current row; null when that row holds none.
    const Preset* currentPreset() const;
    void keepCurrentSelected();
    void showPlaying(bool playing);
    void programEnded();

    MainApp* app;
    QMap<QString, QList<Preset>> categories;
    QHash<int, Preset> presets;
    QListWidget* list = nullptr;
    QTextEdit* info = nullptr;
    Emulator* emulator = nullptr;
    QAction* play = nullptr;
    QAction* load = nullptr;
    QAction* switchToEditor = nullptr;
};
