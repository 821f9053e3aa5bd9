// Building firmware for the device and reading a patch back from it.
#include "MainWindow.h"

#include "CodeCompiler.h"
#include "FirmwarePipeline.h"
#include "FirmwareTrailer.h"
#include "PatchDocument.h"
#include "PatchRecord.h"
#include "ProgramPaths.h"

#include <QAction>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QStatusBar>

FirmwarePipeline* MainWindow::firmwarePipeline()
{
    if (!firmware)
        firmware = new FirmwarePipeline(this);
    return firmware;
}

// The device is there while its bootloader volume shows a firmware.bin. Until it is, the user
// may connect it and retry, or cancel.
bool MainWindow::waitForDevice(const QString& informativeText)
{
    while (!QFileInfo::exists(util::deviceFirmwarePath())) {
        QMessageBox box(this);
        box.setIcon(QMessageBox::Warning);
        box.setText(tr("No Knotlattice device found!"));
        box.setInformativeText(informativeText);
        box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Retry);
        if (box.exec() != QMessageBox::Retry)
            return false;
    }
    return true;
}

void MainWindow::setFirmwareBusy(bool busy, const QString& notice)
{
    firmwareBusy = busy;
    getAction("compile")->setEnabled(!busy && document);
    getAction("open_firmware")->setEnabled(!busy);
    if (busy)
        statusBar()->showMessage(notice);
    else
        statusBar()->clearMessage();
    emit firmwareBusyChanged(busy);
}

void MainWindow::compileCode()
{
    if (!document || firmwareBusy)
        return;
    commitPendingEdits();

    CodeCompiler compiler;
    const QString code = compiler.createCode(
        document->blockInstances(),
        QDir::toNativeSeparators(util::compileDir() + QStringLiteral("/templ_chip.txt")));
    if (code.trimmed().isEmpty()) {
        // The code generator has said why (a feedback loop, a missing template).
        qDebug().noquote() << tr("No code was generated, so no firmware was built.");
        return;
    }
    // The device's image must give the patch back when it is read.
    const QString misfit = recordMisfit(document, *document->patchInfo());
    if (!misfit.isEmpty()) {
        qWarning().noquote() << tr("No firmware was built. %1").arg(misfit);
        return;
    }
    FirmwarePipeline* pipeline = firmwarePipeline();
    if (!pipeline->writeSource(code)) {
        qWarning().noquote() << tr("can't write main.c file for compiler");
        return;
    }
    // The patch as it is now: the document may change or close while the build runs.
    const QByteArray record = getSaveData(document);

    if (!waitForDevice(tr("Please connect a Knotlattice device to your computer and press "
                          "'Retry'.")))
        return;

    setFirmwareBusy(true, tr("Building the firmware..."));
    const bool built = pipeline->build();
    if (built)
        qDebug().noquote() << tr("finished compiling");
    const bool appended = built && pipeline->appendRecord(record);
    if (appended) {
        qDebug().noquote() << tr("added patch file");
        statusBar()->showMessage(tr("Copying the firmware to the device..."));
    }
    const bool copied = appended && pipeline->upload();
    setFirmwareBusy(false, QString());
    if (!copied)
        return;
    qDebug().noquote() << tr("copied firmware");
    qWarning().noquote() << tr("Firmware updated!");
}

void MainWindow::openFromFirmware()
{
    if (firmwareBusy)
        return;
    if (!waitForDevice(tr("Please connect a Knotlattice device to your computer and press "
                          "'Retry'")))
        return;

    const QString path = util::deviceFirmwarePath();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << tr("Cannot open file for reading:") << file.errorString();
        return;
    }
    // What the device holds fits its flash; a larger file is not its image, and is not read.
    const QByteArray image = file.read(util::flashSize + 1);
    if (file.error() != QFileDevice::NoError) {
        qWarning().noquote() << tr("Cannot open file for reading:") << file.errorString();
        return;
    }
    file.close();
    if (image.size() > util::flashSize) {
        qWarning().noquote() << tr("The firmware file on the device is larger than the device's "
                                   "%1 KB of flash, so it is not a firmware image and nothing was "
                                   "opened.")
                                    .arg(util::flashSize / 1024);
        return;
    }

    QByteArray record;
    if (!util::findFirmwareRecord(image, &record)) {
        qWarning().noquote() << tr("The firmware on the device holds no patch, so nothing was "
                                   "opened.");
        return;
    }
    PackedPatch patch = util::readPatchRecord(record);
    if (util::recordVersion(record) == 0)
        patch.name = QStringLiteral("firmware");
    openPatch(patch, QList<QByteArray>());
}
