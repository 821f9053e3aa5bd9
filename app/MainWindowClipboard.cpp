// Copy and paste, saving a carried block and reloading the library.
#include "MainWindow.h"

#include "BlockConnection.h"
#include "BlockManager.h"
#include "Browser.h"
#include "ClipboardPayload.h"
#include "DisplayText.h"
#include "FileReplace.h"
#include "PastePlan.h"
#include "PatchComment.h"
#include "PatchDocument.h"
#include "PatchScene.h"
#include "ProgramPaths.h"
#include "RecordFit.h"

#include <QClipboard>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QTabWidget>
#include <QUndoStack>

#include <vector>

namespace {

QString listing(const QStringList& names)
{
    QString text;
    for (const QString& name : names)
        text += "- " + name + "\n";
    return text;
}

// Whether the document takes the plan's blocks, with the cables that will leave them, and its
// comments; false, with the reason told, when the patch could then not be saved.
bool acceptsPaste(PatchDocument* doc, const PastePlan& plan, std::vector<BlockInstance>& pasted)
{
    QHash<qint32, BlockInstance*> byId;
    for (BlockInstance& block : pasted)
        byId.insert(block.id, &block);
    std::vector<BlockConnection> cables(size_t(plan.cables.size()));
    for (int i = 0; i < plan.cables.size(); ++i) {
        const PastePlan::Cable& planned = plan.cables.at(i);
        BlockConnection& cable = cables[size_t(i)];
        cable.outBlock = byId.value(planned.outBlock);
        cable.inBlock = byId.value(planned.inBlock);
        cable.outBlockSocketId = planned.outSocket;
        cable.inBlockSocketId = planned.inSocket;
        if (cable.outBlock)
            cable.outBlock->outputs.insert(planned.outSocket, &cable);
    }
    QList<const BlockInstance*> blocks;
    blocks.reserve(int(pasted.size()));
    for (const BlockInstance& block : pasted)
        blocks << &block;
    QList<const Comment*> comments;
    comments.reserve(plan.comments.size());
    for (const Comment& comment : plan.comments)
        comments << &comment;
    const bool accepted =
        doc->acceptsPaste(blocks, comments, MainWindow::tr("Nothing was pasted. %1"));
    // The cables are the paste's to add; they go before the blocks they point at.
    for (BlockInstance& block : pasted)
        block.outputs.clear();
    return accepted;
}

} // namespace

void MainWindow::copy()
{
    if (!document)
        return;
    const InstanceList selected = document->selectedInstances();
    QList<const Comment*> comments;
    for (const Comment* comment : document->selectedComments())
        comments << comment;

    // What paste would refuse is never put on the clipboard: the clipboard keeps what it held.
    if (selected.size() > PastePlan::maxItems || comments.size() > PastePlan::maxItems) {
        qWarning().noquote() << tr("Cannot copy more than %1 blocks or %1 comments at once.")
                                    .arg(PastePlan::maxItems);
        return;
    }
    // The packer would cut what a record cannot hold, and the cut text is what would paste.
    const QString misfit = RecordFit::problem(PatchInfo(), selected, comments);
    if (!misfit.isEmpty()) {
        qWarning().noquote() << tr("Cannot copy the selection. %1").arg(misfit);
        return;
    }
    bool fits = true;
    const QByteArray record = util::selectionRecord(selected, comments, &fits);
    if (!fits) {
        qWarning().noquote() << tr("Cannot copy a selection that is more than 65535 points wide "
                                   "or high.");
        return;
    }
    const QByteArray payload = util::clipboardPayload(record, util::selectionBlockFiles(selected));
    const qint64 textSize = (qint64(payload.size()) + 2) / 3 * 4;
    if (textSize > PastePlan::maxTextSize) {
        constexpr double mebibyte = 1024.0 * 1024.0;
        qWarning().noquote()
            << tr("Cannot copy the selection: with the block file that each of its blocks from "
                  "outside the library carries, it would take %1 MB on the clipboard, and a "
                  "paste takes at most %2 MB. Copy fewer of those blocks at a time.")
                   .arg(textSize / mebibyte, 0, 'f', 1)
                   .arg(PastePlan::maxTextSize / mebibyte, 0, 'f', 1);
        return;
    }
    QGuiApplication::clipboard()->setText(QString::fromLatin1(payload.toBase64()),
                                          QClipboard::Clipboard);
}

void MainWindow::paste()
{
    PatchDocument* doc = document;
    if (!doc)
        return;

    PastePlan::Target target;
    target.documentDescription = [doc](const QString& name) {
        return doc->getBlockDescription(name);
    };
    target.libraryDescription = [this](const QString& name) {
        return blocks->blockDescription(name);
    };
    for (const BlockInstance* instance : doc->blockInstances())
        target.instanceIds.insert(instance->id);
    for (const Comment* comment : doc->comments())
        target.commentIds.insert(comment->id);
    target.highestConnectionId = doc->highestConnectionId();
    target.click = doc->patchScene()->lastClickPosition();

    const PastePlan plan =
        PastePlan::fromText(QGuiApplication::clipboard()->text(QClipboard::Clipboard), target);

    // A block takes the document's description of its name, else the one the paste carries
    // (which the document is given), else the library's.
    // The document keeps the first it is given of a name.
    QHash<QString, const BlockDescription*> carried;
    for (const BlockDescription& description : plan.descriptions) {
        if (!carried.contains(description.name))
            carried.insert(description.name, &description);
    }
    auto describe = [&](const QString& name) -> const BlockDescription* {
        if (const BlockDescription* own = doc->getBlockDescription(name))
            return own;
        if (const BlockDescription* brought = carried.value(name))
            return brought;
        return blocks->blockDescription(name);
    };
    std::vector<BlockInstance> pasted(size_t(plan.instances.size()));
    for (int i = 0; i < plan.instances.size(); ++i) {
        const PastePlan::Instance& planned = plan.instances.at(i);
        BlockInstance& instance = pasted[size_t(i)];
        instance.id = planned.id;
        instance.nodeId = planned.nodeId;
        instance.description = describe(planned.name);
        instance.x = planned.x;
        instance.y = planned.y;
        instance.values = planned.values;
    }

    // A paste after which the patch could not be saved changes nothing.
    if (!plan.refusal.isEmpty()) {
        qWarning().noquote() << tr("Nothing was pasted. %1").arg(plan.refusal);
        return;
    }
    if (!plan.recordEmpty && !acceptsPaste(doc, plan, pasted))
        return;

    // The carried descriptions stay with the document, outside the undo step.
    for (const BlockDescription& description : plan.descriptions)
        doc->addBlockDescription(description);
    if (plan.recordEmpty)
        return;

    // Blocks that cannot be placed make no step of their own; the report still comes.
    const bool step = !plan.instances.isEmpty() || plan.notFound.isEmpty();
    if (step)
        doc->beginUndoMacro(QStringLiteral("paste"));

    for (int i = 0; i < plan.instances.size(); ++i) {
        const PastePlan::Instance& planned = plan.instances.at(i);
        BlockInstance& instance = pasted[size_t(i)];
        // The document's own copy of a carried description, now that it has one.
        instance.description = describe(planned.name);
        doc->addBlockInstanceHandler(planned.name, planned.x, planned.y, &instance);
    }

    if (!plan.different.isEmpty()) {
        qWarning().noquote()
            << tr("The following local block descriptions were different from those used in "
                  "this patch:\n\n") +
                   listing(plan.different) + tr("\nThese blocks may not operate as expected");
    }
    if (!plan.notFound.isEmpty()) {
        qWarning().noquote() << tr("The following local block descriptions were not found:\n\n") +
                                    listing(plan.notFound) + tr("\nCannot assemble patch");
        if (step)
            doc->endUndoMacro();
        return;
    }

    for (const PastePlan::Cable& cable : plan.cables) {
        doc->addConnectionHandler(cable.id, cable.outBlock, cable.outSocket, cable.inBlock,
                                  cable.inSocket);
    }
    for (const Comment& comment : plan.comments) {
        doc->addCommentInstanceHandler(comment.id, comment.x, comment.y, comment.text);
        // The handler's "add comment" macro was opened on the stack itself.
        doc->undoStack()->endMacro();
    }
    doc->endUndoMacro();
}

void MainWindow::reloadBlocks()
{
    blocks->loadBlocks(util::blocksDir(), BlockDescription::OriginLibrary);

    // Descriptions are replaced in place, and the sockets of palette blocks and canvas blocks
    // were drawn from the variables they replaced: every one of those items is made anew.
    browser->clear();
    browser->addBlocksInCategories(blocks->blocksInCategories());
    browser->reload();
    for (int i = 0; i < tabs->count(); ++i) {
        if (PatchDocument* doc = documentAt(i))
            rebuildScene(doc);
    }
}

void MainWindow::rebuildScene(PatchDocument* doc)
{
    PatchScene* scene = doc->patchScene();
    scene->clearItems();
    for (const BlockInstance* instance : doc->blockInstances())
        scene->addBlockItem(instance, instance->x, instance->y);
    for (const BlockConnection* cable : doc->blockConnections()) {
        // A cable whose block was removed stays in the model without an item.
        if (!cable->outBlock || !cable->inBlock)
            continue;
        scene->addConnection(cable->id, cable->outBlock->id, cable->outBlockSocketId,
                             cable->inBlock->id, cable->inBlockSocketId);
    }
    for (Comment* comment : doc->comments()) {
        if (PatchComment* item = scene->addComment(comment->id, comment->x, comment->y, comment)) {
            connect(item, &PatchComment::edited, doc, &PatchDocument::editCommentHandler);
            connect(item, &PatchComment::linkActivated, doc, &PatchDocument::commentLink);
        }
        scene->editComment(comment->id, comment->x, comment->y, comment->text);
    }
}

// At start-up the custom folder is read after the library, and of the files of one block name
// the one the scan reads last wins: that one is named, and so are the others it wins over.
QString MainWindow::savedUnderHeldName(const QString& name, const QString& target,
                                       const QString& folder) const
{
    const QString written = QFileInfo(target).canonicalFilePath();
    QStringList files = BlockManager::scannedFilesOf(folder, name);
    int at = -1;
    for (int i = 0; i < files.size(); ++i) {
        if (QFileInfo(files.at(i)).canonicalFilePath() == written)
            at = i;
        files[i] = QDir::toNativeSeparators(files.at(i));
    }
    const QString shown = QDir::toNativeSeparators(target);
    const QString held =
        tr("The library already holds a block named \"%1\".").arg(util::displayName(name));
    if (at < 0)
        return held + " " +
               tr("The file %1 was written; the library keeps its own block.").arg(shown);
    if (files.size() == 1) {
        return held + " " +
               tr("The file %1 was written and takes the place of the library's block when the "
                  "editor starts again.")
                   .arg(shown);
    }
    const QString winner = files.last();
    const bool wins = at == files.size() - 1;
    files.removeAt(at);
    const QString others = files.join(QStringLiteral(", "));
    if (wins) {
        return held + " " +
               tr("The file %1 was written. The custom blocks folder holds other files of that "
                  "name too (%2); when the editor starts again it uses %1, the one it reads "
                  "last.")
                   .arg(shown, others);
    }
    return held + " " +
           tr("The file %1 was written, but the custom blocks folder holds other files of that "
              "name too (%2); when the editor starts again it uses %3, the one it reads last.")
               .arg(shown, others, winner);
}

void MainWindow::inspectorSaveBlockRequested(const BlockInstance* instance, bool toUserFolder)
{
    // Only a carried description has its file's bytes to write.
    if (!instance || !instance->description || instance->description->rawData.isEmpty())
        return;
    const BlockDescription* description = instance->description;
    QString baseName = description->name;
    for (const QChar c : QStringLiteral("\\/:*?\"<>|"))
        baseName.replace(c, QLatin1Char('_'));

    const QString folder = preferences.getSetting(Preferences::CustomBlocksPath).toString();
    QString target;
    if (!folder.isEmpty() && toUserFolder) {
        target = QDir::toNativeSeparators(folder + "/" + baseName + ".xml");
        if (QFileInfo::exists(target))
            target.clear();
    }
    if (target.isEmpty()) {
        QFileDialog dialog;
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("xml"));
        dialog.setNameFilter(tr("Knotlattice Blocks (*.xml *.block)"));
        dialog.selectFile(baseName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        target = dialog.selectedFiles().first();
    }

    // Written aside and moved into place, so a failed write leaves an existing file whole.
    QString error;
    if (!util::replaceFile(target, description->rawData, error)) {
        qWarning().noquote() << tr("Cannot open file for writing: ") + error + "\n" + target;
        return;
    }

    const QString name = description->name;
    if (blocks->blockDescription(name)) {
        qWarning().noquote() << savedUnderHeldName(name, target, folder);
        return;
    }
    if (!blocks->loadNewBlock(target, BlockDescription::OriginUser))
        return;

    browser->clear();
    browser->addBlocksInCategories(blocks->blocksInCategories());
    browser->reload();
    for (int i = 0; i < tabs->count(); ++i) {
        if (PatchDocument* doc = documentAt(i))
            doc->updateDescriptionOrigin(name, BlockDescription::OriginUser);
    }
}
