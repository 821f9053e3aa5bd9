#include "UserBlocks.h"

#include "BlockManager.h"
#include "Preferences.h"
#include "RepositoryHost.h"
#include "RepositoryText.h"
#include "UserCredentials.h"

#include <QDebug>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTextEdit>
#include <QVBoxLayout>

UserBlocks::UserBlocks(RepositoryHost* host, Repository* client, UserCredentials* userCredentials,
                       QWidget* parent)
    : UserTab(BlockEntries, host, client, userCredentials, parent)
{
    name->setReadOnly(true);
    fileButton = new QPushButton(QStringLiteral("file"), this);
    fileButton->setObjectName(QStringLiteral("file"));
    fileButton->setFixedHeight(18);
    title = new QLineEdit(this);
    title->setObjectName(QStringLiteral("title"));
    createFields(fileButton, createFieldRow(QStringLiteral("title"), title, nullptr, 0, this));

    connect(uploadButton, &QPushButton::clicked, this, &UserBlocks::uploadClicked);
    connect(deleteButton, &QPushButton::clicked, this, &UserBlocks::deleteClicked);
    connect(editButton, &QPushButton::clicked, this, &UserBlocks::editClicked);
    connect(downloadButton, &QPushButton::clicked, this, &UserBlocks::downloadClicked);
    connect(fileButton, &QPushButton::clicked, this, &UserBlocks::fileChooseClicked);
    connect(table, &QTableWidget::itemSelectionChanged, this, &UserBlocks::displayInfoSlot);
    connect(table, &QTableWidget::itemDoubleClicked, this, &UserBlocks::getBlockSlot);
    if (repository) {
        connect(repository, &Repository::replyUserBlockList, this,
                &UserBlocks::repositoryUserBlockList);
        connect(repository, &Repository::replyBlockList, this, &UserBlocks::repositoryBlockList);
        connect(repository, &Repository::replyBlock, this, &UserBlocks::repositoryBlock);
    }
}

void UserBlocks::clearFields()
{
    UserTab::clearFields();
    title->clear();
    fileChosen = false;
}

QString UserBlocks::validate(const QString& blockName, const QString& blockTitle,
                             const QString& text, bool chosen)
{
    if (!chosen || blockName.isEmpty())
        return tr("Please open a block file.");
    if (blockTitle.isEmpty())
        return tr("Please specify title for your block.");
    if (text.isEmpty())
        return tr("Cannot upload block without its description.");
    return QString();
}

void UserBlocks::fileChooseClicked()
{
    fileChosen = false;
    name->clear();
    title->clear();
    enableEntryButtons(!table->selectedItems().isEmpty());

    QFileDialog dialog(this);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(tr("Knotlattice Blocks (*.xml *.block)"));
    dialog.setViewMode(QFileDialog::Detail);
    const QString custom = Preferences().getSetting(Preferences::CustomBlocksPath).toString();
    if (!custom.isEmpty())
        dialog.setDirectory(custom);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    readBlockFile(dialog.selectedFiles().constFirst());
}

bool UserBlocks::readBlockFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << tr("Cannot open file for reading: ") + file.errorString() + "\n" +
                                    path;
        return false;
    }
    const QByteArray data = file.read(maxBlockFileSize + 1);
    const QString blockName =
        data.size() > maxBlockFileSize ? QString() : BlockManager::validBlockName(data);
    if (blockName.isEmpty()) {
        qWarning().noquote() << tr("File is not a block file.");
        return false;
    }
    upload = RepositoryBlock();
    upload.name = blockName;
    upload.filename = util::uploadFileName(path);
    upload.hash = BlockManager::blockHash(data);
    upload.data = data;
    fileChosen = true;
    name->setText(upload.name);
    return true;
}

void UserBlocks::uploadClicked()
{
    if (!loggedIn(tr("Please Log In in order to upload block.")))
        return;
    upload.id = -1;
    const QString blockName = name->text();
    const QString refusal =
        validate(blockName, title->text(), description->toPlainText(), fileChosen);
    if (!refusal.isEmpty()) {
        qWarning().noquote() << refusal;
        return;
    }
    for (const RepositoryBlock& b : qAsConst(blocks)) {
        if (b.name != blockName)
            continue;
        if (!confirmReplace(QStringLiteral("Block"), blockName))
            return;
        upload.id = b.id;
        break;
    }
    upload.title = title->text();
    upload.description = description->toPlainText();
    for (const RepositoryBlock& b : qAsConst(allBlocks)) {
        if (b.uid == credentials->uid)
            continue;
        if (b.name == upload.name || b.filename == upload.filename) {
            qWarning().noquote()
                << tr("Block with current name or filename exists in our database. Please "
                      "choose a different name.\n") +
                       tr("Hint : You could prefix your block name with your initials "
                          "(jx.blockname / jx.blocksname.block)");
            return;
        }
    }
    expectList();
    repository->uploadBlock(upload, credentials, upload.id >= 0);
    fileChosen = false;
}

void UserBlocks::editClicked()
{
    if (!loggedIn(tr("Please Log In in order to edit block.")) || currentId < 0)
        return;
    expectList();
    repository->editBlock(currentId, credentials, title->text(), description->toPlainText());
}

void UserBlocks::deleteClicked()
{
    if (!loggedIn(tr("Please Log In in order to delete block.")) || currentId < 0)
        return;
    if (!confirmDelete(
            tr("Delete Block"),
            tr("Are you sure that you want to delete selected block from online database?")))
        return;
    expectList();
    repository->deleteBlock(currentId, credentials);
    afterDelete();
}

// The entry just uploaded or edited is selected again by its name. Every list awaited is shown
// as it comes, so the one answering the last change is what stays.
void UserBlocks::repositoryUserBlockList(RepositoryBlocks& list)
{
    if (listsAwaited == 0)
        return;
    --listsAwaited;
    blocks = list;
    QList<QStringList> rows;
    for (const RepositoryBlock& b : qAsConst(blocks))
        rows << QStringList{b.name, b.date};
    refillKeepingName(rows, name->text());
}

// A failed request that would have refreshed the user's blocks brings no list.
void UserBlocks::requestFailed(const Repository::Answer& answer)
{
    RepositoryTab::requestFailed(answer);
    switch (answer.kind) {
    case Repository::UserDatabaseRequest:
    case Repository::UserBlockListRequest:
    case Repository::BlockUploadRequest:
    case Repository::BlockDeleteRequest:
        if (listsAwaited > 0)
            --listsAwaited;
        break;
    default:
        break;
    }
}

void UserBlocks::repositoryBlockList(RepositoryBlocks& list)
{
    allBlocks = list;
}

void UserBlocks::displayInfoSlot()
{
    fileChosen = false;
    const QString rowName = selectedName();
    for (int i = 0; !rowName.isNull() && i < blocks.size(); ++i) {
        const RepositoryBlock& b = blocks.at(i);
        if (b.name != rowName)
            continue;
        currentId = b.id;
        selectedIndex = i;
        name->setText(b.name);
        title->setText(b.title);
        description->setPlainText(b.description);
        enableEntryButtons(true);
        refreshCommentsIfShown();
        return;
    }
    showNoEntry();
}

void UserBlocks::downloadBlock()
{
    downloadSelectedBlock(blocks, pending);
}

void UserBlocks::downloadClicked()
{
    downloadBlock();
}

void UserBlocks::getBlockSlot(QTableWidgetItem*)
{
    downloadBlock();
}

void UserBlocks::repositoryBlock(QByteArray& data, const Repository::Answer& answer)
{
    pending.arrived(data, answer.request, mainWindow);
}
