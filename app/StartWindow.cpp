#include "StartWindow.h"

#include "MainApp.h"
#include "Preferences.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

StartWindow::StartWindow(MainApp* app) : QMainWindow(nullptr), app(app)
{
    setWindowTitle(tr("Presets"));

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    auto* row = new QWidget(central);
    auto* buttons = new QHBoxLayout(row);
    buttons->setContentsMargins(0, 0, 0, 0);

    loadPreset = new QPushButton(tr("Load Preset"), row);
    loadPreset->setStyleSheet(QStringLiteral("background-image: url(':/icons/KL.png');"));
    createPatch = new QPushButton(tr("Create Patch"), row);
    createPatch->setStyleSheet(QStringLiteral("background-image: url(':/icons/wrench.png');"));
    buttons->addWidget(loadPreset);
    buttons->addWidget(createPatch);

    dontShow = new QCheckBox(tr("Don't show this window at startup"), central);
    column->addWidget(row);
    column->addWidget(dontShow);
    setCentralWidget(central);

    connect(loadPreset, &QPushButton::clicked, this, &StartWindow::switchToPresets);
    connect(createPatch, &QPushButton::clicked, this, &StartWindow::switchToCreate);
    connect(dontShow, &QCheckBox::stateChanged, this, &StartWindow::DontShowThisWindowsState);

    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint);

    // Ticked after connecting, so the stored value is written back unchanged.
    if (!Preferences().getSetting(Preferences::ShowStartWindow, QStringLiteral("true")).toBool())
        dontShow->setChecked(true);
}

void StartWindow::switchToPresets()
{
    app->showPresetWindow();
}

void StartWindow::switchToCreate()
{
    app->showMainWindow();
}

void StartWindow::DontShowThisWindowsState(int state)
{
    Preferences().saveSetting(Preferences::ShowStartWindow, state == Qt::Unchecked);
}

void StartWindow::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
}
