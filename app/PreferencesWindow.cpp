#include "PreferencesWindow.h"

#include "Preferences.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

// The dialog is only built here; its owner runs it. Running it from the constructor with
// delete-on-close would free the object before its constructor returned.
PreferencesWindow::PreferencesWindow(QWidget* parent) : QDialog(parent)
{
    Preferences preferences;
    grid = new QGridLayout(this);

    customBlocksSaved = preferences.getSetting(Preferences::CustomBlocksPath).toString();
    customBlocksLabel = new QLabel(tr("Path to custom blocks location:"), this);
    customBlocksPath = new QLineEdit(customBlocksSaved, this);
    customBlocksBrowse = new QPushButton(QStringLiteral("..."), this);
    grid->addWidget(customBlocksLabel, 0, 0);
    grid->addWidget(customBlocksPath, 0, 1, 1, 2);
    grid->addWidget(customBlocksBrowse, 0, 3);
    connect(customBlocksBrowse, &QPushButton::clicked, this,
            &PreferencesWindow::openCustomBlocksDialog);

    defaultPatchSaved = preferences.getSetting(Preferences::DefaultPatchPath).toString();
    defaultPatchLabel = new QLabel(tr("Default patch open/save location:"), this);
    defaultPatchPath = new QLineEdit(defaultPatchSaved, this);
    defaultPatchBrowse = new QPushButton(QStringLiteral("..."), this);
    grid->addWidget(defaultPatchLabel, 1, 0);
    grid->addWidget(defaultPatchPath, 1, 1, 1, 2);
    grid->addWidget(defaultPatchBrowse, 1, 3);
    connect(defaultPatchBrowse, &QPushButton::clicked, this,
            &PreferencesWindow::openDefaultPatchDialog);

    displayCharacters =
        new QCheckBox(QStringLiteral("Display math block names as characters"), this);
    displayCharacters->setChecked(
        preferences.getSetting(Preferences::DisplayCharacters, QStringLiteral("true")).toBool());
    grid->addWidget(displayCharacters, 2, 0);

    showStartWindow =
        new QCheckBox(QStringLiteral("Show Start Window at application launch"), this);
    showStartWindow->setChecked(
        preferences.getSetting(Preferences::ShowStartWindow, QStringLiteral("true")).toBool());
    grid->addWidget(showStartWindow, 3, 0);

    save = new QPushButton(tr("Save"), this);
    cancel = new QPushButton(tr("Cancel"), this);
    grid->addWidget(save, 4, 2);
    grid->addWidget(cancel, 4, 3);
    connect(save, &QPushButton::clicked, this, &PreferencesWindow::saveSettings);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    setFixedSize(600, 150);
    setWindowTitle(tr("Options"));
}

void PreferencesWindow::saveSettings()
{
    const QString customBlocks = customBlocksPath->text();
    const QString defaultPatch = defaultPatchPath->text();
    Preferences preferences;
    preferences.saveSetting(Preferences::CustomBlocksPath, customBlocks);
    preferences.saveSetting(Preferences::DefaultPatchPath, defaultPatch);
    preferences.saveSetting(Preferences::DisplayCharacters, displayCharacters->isChecked());
    preferences.saveSetting(Preferences::ShowStartWindow, showStartWindow->isChecked());
    customBlocksSaved = customBlocks;
    defaultPatchSaved = defaultPatch;
    accept();
}

QString PreferencesWindow::chooseFolder(const QString& title)
{
    QFileDialog dialog(nullptr, title, QDir::homePath());
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

void PreferencesWindow::openCustomBlocksDialog()
{
    const QString folder = chooseFolder(tr("Find Directory | Custom Blocks Location"));
    if (!folder.isEmpty())
        customBlocksPath->setText(folder);
}

void PreferencesWindow::openDefaultPatchDialog()
{
    const QString folder = chooseFolder(tr("Find Directory | Default Patch Location"));
    if (!folder.isEmpty())
        defaultPatchPath->setText(folder);
}
