// The main window's patch files: saving, opening, binding blocks, recent files and the
// tutorial and example menus.
#include "MainWindow.h"

#include "BlockManager.h"
#include "DisplayText.h"
#include "FileReplace.h"
#include "Inspector.h"
#include "Online.h"
#include "PatchDocument.h"
#include "PatchFile.h"
#include "PatchOpener.h"
#include "PatchRecord.h"
#include "PatchScene.h"
#include "PlainBox.h"
#include "ProgramPaths.h"
#include "RecordFit.h"
#include "Repository.h"
#include "SaveWindow.h"

#include <QAction>
#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QScopeGuard>
#include <QSignalMapper>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

namespace {

const QString firmwareName = QStringLiteral("firmware");

QList<const Comment*> constComments(PatchDocument* doc)
{
    QList<const Comment*> out;
    for (Comment* c : doc->comments())
        out << c;
    return out;
}

// Block names listed in one message at most.
constexpr int maxListedBlocks = 20;

PatchOpener::Library libraryOf(const BlockManager* blocks)
{
    return [blocks](const QString& name) { return blocks->blockDescription(name); };
}

// The name a file gives a patch: its file name up to the first dot.
QString patchNameOf(const QString& path)
{
    return QFileInfo(path).fileName().section(QLatin1Char('.'), 0, 0);
}

} // namespace

QString MainWindow::recordMisfit(PatchDocument* doc, const PatchInfo& info)
{
    return RecordFit::problem(info, doc->blockInstances(), constComments(doc));
}

QByteArray MainWindow::getSaveData(PatchDocument* doc)
{
    if (!doc)
        doc = document;
    if (!doc)
        return QByteArray();
    const QPoint centre = doc->savedCentre();
    return util::makePatchRecord(doc->blockInstances(), constComments(doc), *doc->patchInfo(),
                                 centre.x(), centre.y());
}

// Writes the document to `path` under `next` (its info as it will be once saved). Nothing of
// the document changes unless the file was written completely.
MainWindow::SaveResult MainWindow::writePatchFile(PatchDocument* doc, const QString& path,
                                                  PatchInfo next)
{
    // The editor never writes a record its own reader would refuse or cut.
    const QString misfit = recordMisfit(doc, next);
    if (!misfit.isEmpty()) {
        qWarning().noquote() << tr("The patch was not saved, and %1 was left as it was. %2")
                                    .arg(QDir::toNativeSeparators(path), misfit);
        return SaveResult::Failed;
    }

    QHash<QString, BlockDescription> carried;
    if (next.includeBlocks) {
        bool readable = true;
        carried = doc->getUserBlockFiles(&readable);
        if (!readable)
            return SaveResult::Failed;
    }

    // The stored counter counts the save that stores it.
    next.saved += 1;
    const QPoint centre = doc->savedCentre();
    const QByteArray record = util::makePatchRecord(doc->blockInstances(), constComments(doc), next,
                                                    centre.x(), centre.y());
    const QByteArray bytes = util::patchFileBytes(record, carried, next.includeBlocks);

    QString error;
    if (!util::replaceFile(path, bytes, error)) {
        qWarning().noquote() << tr("Cannot open file for writing: ") + error + "\n" + path;
        return SaveResult::Failed;
    }

    const QString absolute = QFileInfo(path).absoluteFilePath();
    next.path = absolute;
    *doc->patchInfo() = next;
    doc->setChanged(false);
    addRecentFile(absolute);
    return SaveResult::Saved;
}

MainWindow::SaveResult MainWindow::savePatch(PatchDocument* doc)
{
    if (!doc)
        doc = document;
    if (!doc)
        return SaveResult::Failed;
    commitPendingEdits();
    if (doc->patchInfo()->path.isEmpty())
        return savePatchAs(doc);
    return writePatchFile(doc, doc->patchInfo()->path, *doc->patchInfo());
}

MainWindow::SaveResult MainWindow::savePatchAs(PatchDocument* doc)
{
    if (!doc)
        doc = document;
    if (!doc)
        return SaveResult::Failed;
    commitPendingEdits();

    SaveWindow dialog(doc->patchInfo()->includeBlocks);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDirectory(lastFolder);
    dialog.setDefaultSuffix(QStringLiteral("ktl"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return SaveResult::Cancelled;

    doc->includeBlocks(dialog.wantIncludeBlocks());
    const QString path = dialog.selectedFiles().first();
    PatchInfo next = *doc->patchInfo();
    next.name = patchNameOf(path);
    const SaveResult result = writePatchFile(doc, path, next);
    if (result == SaveResult::Saved)
        lastFolder = QFileInfo(path).absolutePath();
    return result;
}

void MainWindow::openFromPath(QString path)
{
    openFile(path, false);
}

void MainWindow::openFromFile()
{
    QFileDialog dialog(this, QString(), lastFolder, tr("Knotlattice Patches (*.ktl)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::HideNameFilterDetails, false);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    openFile(dialog.selectedFiles().first(), true);
}

void MainWindow::openFile(const QString& path, bool fromDialog)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        // An empty record has no version: there is nothing to open.
        qWarning().noquote() << tr("Cannot open file for reading: ") + file.errorString() + "\n" +
                                    path;
        return;
    }
    util::PatchFileContents contents = util::readPatchFile(file.readAll());
    file.close();
    if (fromDialog)
        lastFolder = QFileInfo(path).absolutePath();

    PackedPatch& patch = contents.patch;
    patch.name = patchNameOf(path);
    if (checkPatchOpen(patch))
        return;

    // A tab that an incomplete open of this name left behind gives way to the new open, in
    // its place.
    int place = -1;
    for (int i = tabs->count() - 1; i >= 0; --i) {
        PatchDocument* doc = documentAt(i);
        if (doc && doc->patchInfo()->name == patch.name && isLeftover(doc)) {
            closeDocument(i);
            place = i;
        }
    }

    const QString absolute = QFileInfo(path).absoluteFilePath();
    startOpen(patch, contents.blockFiles, OpenOutcome(contents), absolute);
    if (place >= 0 && document)
        tabs->tabBar()->moveTab(tabs->indexOf(document), qMin(place, tabs->count() - 1));
    // A file of which nothing could be read would only push the good ones off the list.
    if (contents.readable())
        addRecentFile(absolute);
}

bool MainWindow::isLeftover(const PatchDocument* doc)
{
    return doc->openedPartly() && !doc->changed() && doc->patchInfo()->path.isEmpty();
}

bool MainWindow::checkPatchOpen(const PackedPatch& patch)
{
    if (patch.name == firmwareName)
        return false;
    bool found = false;
    for (int i = 0; i < tabs->count(); ++i) {
        PatchDocument* doc = documentAt(i);
        if (doc && doc->patchInfo()->name == patch.name && !isLeftover(doc)) {
            tabs->setCurrentIndex(i);
            found = true;
        }
    }
    return found;
}

bool MainWindow::openPatch(const PackedPatch& patch, const QList<QByteArray>& blockFiles)
{
    return startOpen(patch, blockFiles, OpenOutcome(), QString());
}

bool MainWindow::startOpen(const PackedPatch& patch, const QList<QByteArray>& blockFiles,
                           const OpenOutcome& outcome, const QString& path)
{
    opening = true;
    const auto done = qScopeGuard([this] {
        opening = false;
        QTimer::singleShot(0, this, &MainWindow::openWaitingDownloads);
    });
    // The blocks of an earlier open that still waits would complete the wrong patch.
    dropBlockFetch();
    newDocument();
    PatchDocument* doc = document;
    pendingPatch = patch;
    pendingDocument = doc;
    pendingPath = path;
    pendingOutcome = outcome;
    doc->setOpenedPartly(true);

    PatchInfo* info = doc->patchInfo();
    info->name = patch.name;
    tabs->setTabText(tabs->indexOf(doc), patch.name);
    info->date = patch.date;
    info->saved = patch.saved;
    info->lang = patch.lang;
    info->nodeId = patch.nodeId;
    info->includeBlocks = patch.includeBlocks;

    const PatchOpener::Binding binding =
        PatchOpener::bindBlocks(doc, patch, blockFiles, libraryOf(blocks.get()));
    pendingOutcome.addBinding(binding);
    const QStringList& notFound = binding.notFound;
    const QStringList& different = binding.different;
    QList<RepositoryBlock> missing;
    for (int i = 0; i < notFound.size(); ++i) {
        RepositoryBlock wanted;
        wanted.name = notFound.at(i);
        wanted.hash = binding.notFoundHashes.at(i);
        missing << wanted;
    }

    // A box must fit on the screen however many names a patch brings.
    auto listing = [this](const QStringList& names) {
        QString text;
        for (int i = 0; i < names.size() && i < maxListedBlocks; ++i)
            text += "- " + util::displayName(names.at(i)) + "\n";
        if (names.size() > maxListedBlocks)
            text += tr("and %1 more\n").arg(names.size() - maxListedBlocks);
        return text;
    };

    if (!different.isEmpty()) {
        qWarning().noquote()
            << tr("The following local block descriptions were different from those used in "
                  "this patch:\n\n") +
                   listing(different) + tr("\nThese blocks may not operate as expected");
    }

    if (!notFound.isEmpty()) {
        QMessageBox box;
        util::setPlainTexts(box,
                            tr("The following local block descriptions were not found:\n\n")
                                .remove(QLatin1Char('\n')),
                            listing(notFound) + "\nDo you wish to download them ?");
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        if (box.exec() == QMessageBox::Ok)
            resolveMissingBlocks(missing);
        else
            qWarning().noquote() << tr("\nCannot assemble patch").remove(QLatin1Char('\n'));
        return false;
    }

    resolveBlocks();
    createPatchScene();
    return true;
}

void MainWindow::resolveBlocks()
{
    if (PatchDocument* doc = pendingDocument) {
        PatchOpener::LeftOut leftOut;
        PatchOpener::addBlocks(doc, pendingPatch, libraryOf(blocks.get()), &leftOut);
        pendingOutcome.addLeftOut(leftOut);
    }
}

void MainWindow::createPatchScene()
{
    PatchDocument* doc = pendingDocument;
    if (!doc)
        return;
    PatchOpener::addCables(doc, pendingPatch);
    PatchOpener::addComments(doc, pendingPatch);
    doc->clearUndoStack();
    doc->centerOn(pendingPatch.x, pendingPatch.y);
    doc->setZoomLevel(pendingPatch.zoomLevel);
    doc->setChanged(false);

    // A tab that lacks part of its file must never overwrite it.
    const bool whole = pendingOutcome.whole();
    if (whole && !pendingPath.isEmpty())
        doc->patchInfo()->path = pendingPath;
    doc->setOpenedPartly(!whole);
    const QString report = pendingOutcome.report(!pendingPath.isEmpty());
    pendingPath.clear();
    pendingOutcome = OpenOutcome();
    pendingDocument = nullptr;
    if (!report.isEmpty())
        qWarning().noquote() << report;
}

void MainWindow::resolveMissingBlocks(QList<RepositoryBlock>& missing)
{
    if (blockFetcher) {
        fetchingDocument = pendingDocument;
        blockFetcher(missing);
        return;
    }
    qDebug().noquote() << tr("Blocks could not be downloaded: no repository connection");
}

void MainWindow::repositoryBlockFiles(QList<QByteArray>& files)
{
    // Only the document that asked takes the files, and only while it waits for them.
    PatchDocument* doc = fetchingDocument;
    fetchingDocument = nullptr;
    QTimer::singleShot(0, this, &MainWindow::openWaitingDownloads);
    if (!doc || doc != pendingDocument) {
        qDebug().noquote() << tr("Downloaded blocks dropped: no patch waits for them");
        return;
    }
    for (const QByteArray& bytes : qAsConst(files)) {
        doc->addBlockDescription(
            BlockManager::loadBlock(bytes, BlockDescription::OriginPatch, QString(), QString()));
    }
    pendingOutcome.setFetched();
    resolveBlocks();
    createPatchScene();
}

void MainWindow::dropBlockFetch()
{
    if (!fetchingDocument)
        return;
    qDebug().noquote()
        << tr("The blocks of %1 are no longer downloaded").arg(fetchingDocument->patchInfo()->name);
    fetchingDocument = nullptr;
    if (online)
        online->getRepository()->cancelMissingBlocks();
    QTimer::singleShot(0, this, &MainWindow::openWaitingDownloads);
}

void MainWindow::openWaitingDownloads()
{
    while (!opening && !fetchingDocument && !waitingDownloads.isEmpty())
        repositoryPatchDownloaded(waitingDownloads.takeFirst());
}

void MainWindow::addRecentFile(const QString& path)
{
    recentFiles.prepend(path);
    updateRecentFiles();
}

void MainWindow::updateRecentFiles()
{
    if (recentFiles.isEmpty())
        return;
    for (const QString& path : qAsConst(recentFiles)) {
        if (QAction* old = getAction(path)) {
            if (recentFilesMenu)
                recentFilesMenu->removeAction(old);
        }
    }
    if (recentFiles.size() >= 6)
        recentFiles.removeLast();
    recentFiles.removeDuplicates();
    preferences.saveSetting(Preferences::RecentFiles, recentFiles);

    for (const QString& path : qAsConst(recentFiles)) {
        QAction* action = createAction(path, path, tr("Recent file"), QKeySequence(), QString());
        signalMapper->setMapping(action, path);
        connect(action, &QAction::triggered, signalMapper,
                static_cast<void (QSignalMapper::*)()>(&QSignalMapper::map), Qt::UniqueConnection);
        connect(signalMapper, &QSignalMapper::mappedString, this, &MainWindow::openFromPath,
                Qt::UniqueConnection);
        if (recentFilesMenu)
            recentFilesMenu->addAction(action);
    }
}

void MainWindow::createMenuTree(QString dirPath, QMenu* menu)
{
    const QString folder = util::programDir() + dirPath;
    if (!QFileInfo(folder).isDir()) {
        qWarning().noquote() << dirPath + tr(" folder does not exist");
        return;
    }
    // Folders in path order, each folder's files by name: the directory listing's own order
    // is arbitrary, and numbered tutorials must appear in their order.
    QList<QFileInfo> files;
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        files << it.fileInfo();
    }
    std::sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        const int byFolder = a.absolutePath().compare(b.absolutePath());
        return byFolder != 0 ? byFolder < 0 : a.fileName() < b.fileName();
    });

    QString lastFolderName;
    QMenu* current = nullptr;
    for (const QFileInfo& info : qAsConst(files)) {
        if (info.suffix() != QLatin1String("ktl"))
            continue;
        const QString path = info.absoluteFilePath();
        const QString folderName = info.dir().dirName();
        if (!current || folderName != lastFolderName) {
            current = menu->addMenu(folderName);
            lastFolderName = folderName;
        }
        QAction* entry = current->addAction(info.fileName().section(QLatin1Char('.'), 0, 0));
        signalMapper->setMapping(entry, path);
        connect(entry, &QAction::triggered, signalMapper,
                static_cast<void (QSignalMapper::*)()>(&QSignalMapper::map), Qt::UniqueConnection);
        connect(signalMapper, &QSignalMapper::mappedString, this, &MainWindow::openFromPath,
                Qt::UniqueConnection);
    }
}

// Typed text in the inspector or in a comment reaches the model before it is saved, closed
// or played.
void MainWindow::commitPendingEdits()
{
    if (inspector)
        inspector->commitEdits();
    if (QWidget* focused = QApplication::focusWidget())
        focused->clearFocus();
}
