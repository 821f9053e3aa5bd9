#include "BlockDownload.h"

#include "BlockManager.h"
#include "Preferences.h"
#include "RepositoryHost.h"
#include "RepositoryText.h"

#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QObject>
#include <QSaveFile>

bool BlockDownload::choose(QWidget* parent, const RepositoryBlock& entry)
{
    const QString custom = Preferences().getSetting(Preferences::CustomBlocksPath).toString();
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("xml"));
    dialog.setNameFilter(QObject::tr("Knotlattice Blocks (*.xml *.block)"));
    if (!custom.isEmpty())
        dialog.setDirectory(custom);
    // The server's file name is a suggestion only: no folder of it is ever followed.
    dialog.selectFile(util::safeBlockFileName(entry.filename, entry.name));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    expect(entry, dialog.selectedFiles().constFirst());
    return true;
}

void BlockDownload::expect(const RepositoryBlock& entry, const QString& path)
{
    savePath = path;
    blockName = entry.name;
    request = 0;
    const QString custom = Preferences().getSetting(Preferences::CustomBlocksPath).toString();
    customFolder = !custom.isEmpty() && QDir::cleanPath(QFileInfo(path).absolutePath()) ==
                                            QDir::cleanPath(QDir(custom).absolutePath());
}

void BlockDownload::cancel()
{
    savePath.clear();
    blockName.clear();
    customFolder = false;
    request = 0;
}

void BlockDownload::failed(int number)
{
    if (number == request)
        cancel();
}

void BlockDownload::arrived(const QByteArray& data, int number, RepositoryHost* host)
{
    // An earlier download of this window, or another window's.
    if (savePath.isEmpty() || number != request)
        return;
    const QString path = savePath;
    const QString name = BlockManager::validBlockName(data);
    if (name.isEmpty()) {
        qWarning().noquote() << QObject::tr(
                                    "The downloaded file is not a valid block; %1 was not written.")
                                    .arg(path);
        cancel();
        return;
    }
    if (name != blockName) {
        qWarning().noquote() << QObject::tr("The downloaded file is the block %1, not %2; %3 was "
                                            "not written.")
                                    .arg(name, blockName, path);
        cancel();
        return;
    }
    const bool custom = customFolder;
    cancel();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        qWarning().noquote() << QObject::tr("Cannot open file for writing: ") + file.errorString() +
                                    "\n" + path;
        return;
    }
    if (custom && host)
        host->blockSaved(path);
}
