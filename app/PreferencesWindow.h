#pragma once

#include <QDialog>
#include <QString>

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

// The "Options" dialog: the custom blocks folder, the default patch folder and two switches.
// Nothing is stored until Save.
class PreferencesWindow : public QDialog
{
    Q_OBJECT
public:
    explicit PreferencesWindow(QWidget* parent = nullptr);

    QLineEdit* customBlocksEdit() const { return customBlocksPath; }
    QLineEdit* defaultPatchEdit() const { return defaultPatchPath; }
    QPushButton* customBlocksButton() const { return customBlocksBrowse; }
    QPushButton* defaultPatchButton() const { return defaultPatchBrowse; }
    QCheckBox* displayCharactersBox() const { return displayCharacters; }
    QCheckBox* showStartWindowBox() const { return showStartWindow; }
    QPushButton* saveButton() const { return save; }
    QPushButton* cancelButton() const { return cancel; }

public slots:
    void saveSettings();
    void openCustomBlocksDialog();
    void openDefaultPatchDialog();

private:
    // A folder chosen in a directory dialog that starts in the home folder; empty when
    // cancelled.
    static QString chooseFolder(const QString& title);

    QGridLayout* grid = nullptr;
    QPushButton* save = nullptr;
    QPushButton* cancel = nullptr;
    QLabel* customBlocksLabel = nullptr;
    QLineEdit* customBlocksPath = nullptr;
    QPushButton* customBlocksBrowse = nullptr;
    QString customBlocksSaved;
    QLabel* defaultPatchLabel = nullptr;
    QLineEdit* defaultPatchPath = nullptr;
    QPushButton* defaultPatchBrowse = nullptr;
    QString defaultPatchSaved;
    QCheckBox* displayCharacters = nullptr;
    QCheckBox* showStartWindow = nullptr;
};
