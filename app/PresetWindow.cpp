#include "PresetWindow.h"

#include "DisplayText.h"
#include "Emulator.h"
#include "MainApp.h"
#include "MainWindow.h"
#include "PresetCatalogue.h"
#include "ProgramPaths.h"
#include "SafeTextDocument.h"

#include <QAction>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QIcon>
#include <QListWidget>
#include <QMessageBox>
#include <QTextEdit>
#include <QToolBar>

PresetWindow::PresetWindow(MainApp* app) : QMainWindow(nullptr), app(app)
{
    setWindowTitle(tr("Presets"));
    loadPresets(util::presetsDir());

    auto* central = new QWidget(this);
    auto* columns = new QHBoxLayout(central);
    list = new QListWidget(this);
    list->setAttribute(Qt::WA_MacShowFocusRect, false);
    list->setMinimumWidth(240);
    columns->addWidget(list);
    auto* right = new QVBoxLayout;
    emulator = new Emulator(tr("Emulator"), this);
    // The panel sits in the window, not in a dock area: no title bar.
    emulator->setTitleBarWidget(new QWidget(emulator));
    right->addWidget(emulator);
    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setLineWidth(1);
    rule->setStyleSheet(QStringLiteral("color:#888888"));
    right->addWidget(rule);
    info = new QTextEdit(this);
    info->setReadOnly(true);
    // The description is markup from the catalogue file: it shows, but loads nothing.
    SafeTextDocument::install(info);
    info->setMinimumWidth(280);
    right->addWidget(info);
    columns->addLayout(right);

    int firstRow = -1;
    for (auto category = categories.cbegin(); category != categories.cend(); ++category) {
        auto* header = new QListWidgetItem(QStringLiteral("----- ") + category.key() +
                                           QStringLiteral(" -----"));
        header->setFlags(Qt::NoItemFlags);
        list->addItem(header);
        for (Preset preset : category.value()) {
            preset.row = list->count();
            if (firstRow < 0)
                firstRow = preset.row;
            list->addItem(preset.name);
            presets.insert(preset.row, preset);
        }
    }
    connect(list, &QListWidget::currentRowChanged, this, &PresetWindow::selectPreset);
    // The list would make its first row current without highlighting it when it gets the
    // focus; what the info panel shows, and what Play and Load to Device take, is always the
    // highlighted row, from the start.
    connect(list, &QListWidget::itemSelectionChanged, this, &PresetWindow::keepCurrentSelected);
    if (firstRow >= 0)
        list->setCurrentRow(firstRow);

    QToolBar* tools = addToolBar(QStringLiteral("tools"));
    tools->setObjectName(QStringLiteral("tools"));
    tools->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    play = new QAction(QIcon(QStringLiteral(":/icons/newplay.png")), tr("&Play"), this);
    play->setCheckable(true);
    tools->addAction(play);
    load = new QAction(QIcon(QStringLiteral(":/icons/compile.png")), tr("&Load to Device"), this);
    tools->addAction(load);
    auto* spacer = new QWidget(tools);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    tools->addWidget(spacer);
    switchToEditor =
        new QAction(QIcon(QStringLiteral(":/icons/switch.png")), tr("Switch to editor"), this);
    switchToEditor->setStatusTip(tr("Switch to editor"));
    tools->addAction(switchToEditor);

    setCentralWidget(central);
    // Room for the list, the panel (220 x 200) and a few lines of description.
    resize(760, 560);
    connect(play, &QAction::toggled, this, &PresetWindow::playPreset);
    connect(load, &QAction::triggered, this, &PresetWindow::updateFirmware);
    connect(emulator, &Emulator::programEnded, this, &PresetWindow::programEnded);
    if (MainWindow* editor = app ? app->mainWindow() : nullptr) {
        connect(editor, &MainWindow::firmwareBusyChanged, this,
                &PresetWindow::setEditorFirmwareBusy);
        setEditorFirmwareBusy(editor->isBuildingFirmware());
    }
}

void PresetWindow::setEditorFirmwareBusy(bool busy)
{
    load->setEnabled(!busy);
    // An empty tip gives the action's own text back.
    load->setToolTip(busy ? tr("Load to Device waits while the editor builds firmware or copies "
                               "it to the device: the device takes one copy at a time.")
                          : QString());
}

void PresetWindow::loadPresets(const QString& folder)
{
    QFile file(folder + tr("/presets-en.xml"));
    if (!file.open(QIODevice::ReadOnly))
        return;
    const util::PresetCategories read = util::readPresetCatalogue(file.readAll());
    for (auto category = read.cbegin(); category != read.cend(); ++category)
        categories.insert(category.key(), category.value());
}

const Preset* PresetWindow::currentPreset() const
{
    const auto found = presets.constFind(list->currentRow());
    return found == presets.constEnd() ? nullptr : &found.value();
}

void PresetWindow::selectPreset(int id)
{
    const auto found = presets.constFind(id);
    if (found == presets.constEnd()) {
        // No row is current any more: nothing is described.
        if (id < 0) {
            info->clear();
            emulator->setToolTips(QStringList());
        }
        return;
    }
    info->setHtml(QStringLiteral("<b>") + found->name.toHtmlEscaped() +
                  QStringLiteral("</b><br />") + found->info);
    emulator->setToolTips(found->controls);
}

void PresetWindow::keepCurrentSelected()
{
    // Ctrl+click and Ctrl+Space would take the highlight off the current preset.
    QListWidgetItem* current = list->currentItem();
    if (current && !current->isSelected())
        current->setSelected(true);
}

void PresetWindow::showPlaying(bool playing)
{
    play->setIcon(QIcon(playing ? QStringLiteral(":/icons/newstop.png")
                                : QStringLiteral(":/icons/newplay.png")));
    play->setText(playing ? tr("Stop") : tr("Play"));
}

void PresetWindow::playPreset(bool on)
{
    if (!on) {
        showPlaying(false);
        emulator->stop();
        return;
    }
    const Preset* preset = currentPreset();
    if (!preset) {
        qWarning().noquote() << tr("Choose a preset in the list first, then press Play.");
        play->setChecked(false);
        return;
    }
    const QString program = util::presetsDir() + QStringLiteral("/emulator/") + preset->file;
    if (!QFileInfo(program).isExecutable()) {
        qWarning().noquote() << tr("The preset \"%1\" cannot be played: its program %2 is "
                                   "missing.")
                                    .arg(util::displayName(preset->name),
                                         QDir::toNativeSeparators(program));
        play->setChecked(false);
        return;
    }
    showPlaying(true);
    // A program that fails to start is reported by the panel; one that ends at once has been
    // reported through programEnded.
    if (!emulator->start(QLatin1Char('"') + QDir::toNativeSeparators(program) + QLatin1Char('"')) ||
        !emulator->isRunning())
        play->setChecked(false);
}

void PresetWindow::programEnded()
{
    play->setChecked(false);
}

void PresetWindow::updateFirmware()
{
    const MainWindow* editor = app ? app->mainWindow() : nullptr;
    if (editor && editor->isBuildingFirmware()) {
        qWarning().noquote() << tr("The editor is building firmware or copying it to the device. "
                                   "Load the preset when it has finished.");
        return;
    }
    const Preset* preset = currentPreset();
    if (!preset) {
        qWarning().noquote() << tr("Choose a preset in the list first, then load it to the "
                                   "device.");
        return;
    }
    // The image is checked before the device is asked for, and the device's own image is only
    // replaced by one known to be readable.
    const QString image = QDir::toNativeSeparators(util::presetsDir() + QStringLiteral("/") +
                                                   QStringLiteral("firmware/") + preset->file +
                                                   QStringLiteral(".bin"));
    QFile source(image);
    if (!source.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << tr("The firmware of the preset \"%1\" cannot be read, so the "
                                   "device was left as it is: %2\n%3")
                                    .arg(util::displayName(preset->name), source.errorString(),
                                         image);
        return;
    }
    const QByteArray bytes = source.readAll();
    source.close();
    if (bytes.isEmpty()) {
        qWarning().noquote() << tr("The firmware of the preset \"%1\" is empty, so the device "
                                   "was left as it is.\n%2")
                                    .arg(util::displayName(preset->name), image);
        return;
    }

    const QString target = util::deviceFirmwarePath();
    while (!QFileInfo::exists(target)) {
        QMessageBox box(this);
        box.setIcon(QMessageBox::Warning);
        box.setText(tr("No Knotlattice device found!"));
        box.setInformativeText(
            tr("Please connect a Knotlattice device to your computer and press 'Retry'."));
        box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Retry);
        if (box.exec() != QMessageBox::Retry)
            return;
    }

    // The bootloader takes a new image as a delete followed by a fresh file; a file written
    // aside and renamed would need room for two images on the device. The bytes written are the
    // ones checked above: the preset's file may have changed while the box was up.
    QFile old(target);
    if (!old.remove()) {
        qWarning().noquote()
            << tr("The firmware on the device cannot be replaced: %1").arg(old.errorString());
        return;
    }
    QFile to(target);
    const bool written =
        to.open(QIODevice::WriteOnly) && to.write(bytes) == bytes.size() && to.flush();
    const QString error = to.errorString();
    to.close();
    // Half an image would be taken for a whole one.
    if (!written)
        to.remove();
    QFile check(target);
    if (!written || !check.open(QIODevice::ReadOnly) || check.readAll() != bytes) {
        qWarning().noquote() << tr("The firmware could not be copied to the device: %1")
                                    .arg(written ? tr("the copy does not read back as the image")
                                                 : error);
        return;
    }
    qWarning().noquote() << tr("Firmware updated!");
}

void PresetWindow::closeEvent(QCloseEvent* event)
{
    MainWindow* editor = app ? app->mainWindow() : nullptr;
    if (editor && !editor->isVisible() && !editor->close()) {
        event->ignore();
        return;
    }
    play->setChecked(false);
    emulator->stop();
    event->accept();
}
