// The online repository's side of the editor: the log-in, downloaded patches and blocks, and
// the current patch handed over for an upload.
#include "MainWindow.h"

#include "BlockManager.h"
#include "Browser.h"
#include "Online.h"
#include "PatchDocument.h"
#include "PatchFile.h"
#include "Repository.h"
#include "UserPatches.h"

#include <QDebug>
#include <QTabWidget>
#include <QTimer>

void MainWindow::createOnline()
{
    online = new Online(this);
    Repository* repository = online->getRepository();
    setBlockFetcher(
        [repository](QList<RepositoryBlock>& missing) { repository->getBlockList(missing); });
    // A fetch that failed has been reported by the client; nothing more will arrive for it.
    connect(repository, &Repository::requestFailed, this, [this](const Repository::Answer& answer) {
        if (answer.kind == Repository::MissingBlockListRequest ||
            answer.kind == Repository::MissingBlockRequest) {
            fetchingDocument = nullptr;
            QTimer::singleShot(0, this, &MainWindow::openWaitingDownloads);
        }
    });
    setPatchUploader(
        [this](const QByteArray& file, const QHash<QString, BlockDescription>& blockFiles) {
            if (UserPatches* uploads = online->getUserPatchesWindow())
                uploads->uploadPatch(file, blockFiles);
        });
}

void MainWindow::logIn()
{
    online->logIn();
}

// The download is read as a patch file is, bounds and all, and always opens a new tab: it has
// no file until the user saves it. One that arrives while another open asks for its blocks or
// fetches them opens once that open is done.
void MainWindow::repositoryPatchDownloaded(const QByteArray& data)
{
    if (opening || fetchingDocument) {
        waitingDownloads << data;
        return;
    }
    util::PatchFileContents contents = util::readPatchFile(data);
    contents.patch.includeBlocks = true;
    startOpen(contents.patch, contents.blockFiles, OpenOutcome(contents), QString());
}

void MainWindow::blockSaved(const QString& path)
{
    if (!blocks->loadNewBlock(path, BlockDescription::OriginUser))
        return;
    browser->clear();
    browser->addBlocksInCategories(blocks->blocksInCategories());
    browser->reload();
}

bool MainWindow::repositoryPatchUploadRequest(const QString& name)
{
    PatchDocument* doc = document;
    if (!doc || doc->isEmpty())
        return false;
    commitPendingEdits();
    // A patch that goes up without its blocks could not be opened by anyone; saving refuses
    // the same way.
    bool readable = true;
    const QHash<QString, BlockDescription> blockFiles = doc->getUserBlockFiles(&readable);
    if (!readable) {
        qWarning().noquote() << tr("The patch was not uploaded: one of its block files cannot be "
                                   "read.");
        return false;
    }

    if (!patchUploader) {
        qDebug().noquote() << tr("The patch was not uploaded: the user window is not there");
        return false;
    }

    PatchInfo* info = doc->patchInfo();
    const PatchInfo before = *info;
    info->name = name;
    info->includeBlocks = true;
    // What goes up must open again, here as anywhere.
    const QString misfit = recordMisfit(doc, *info);
    if (!misfit.isEmpty()) {
        *info = before;
        qWarning().noquote() << tr("The patch was not uploaded. %1").arg(misfit);
        return false;
    }
    // Built once: with its blocks it may take megabytes.
    const QByteArray file = util::patchFileBytes(getSaveData(doc), blockFiles, true);
    // Nobody could download it again: the client takes no larger reply.
    const qint64 bound = online->getRepository()->maxReplyBytes();
    if (file.size() > bound) {
        *info = before;
        qWarning().noquote() << tr("The patch was not uploaded: with its blocks it takes more "
                                   "than the %1 bytes that a download from the repository may "
                                   "have.")
                                    .arg(bound);
        return false;
    }
    tabs->setTabText(tabs->indexOf(doc), tabTitle(doc, doc->changed()));
    patchUploader(file, blockFiles);
    return true;
}
