#include "UserBlocks.h"

#include "BlockManager.h"
#include "CommentsWindow.h"
#include "Preferences.h"
#include "RepositoryHost.h"
#include "RepositoryText.h"
#include "UserCredentials.h"

#include <QDebug>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {

const char* const placeholder = "Block Description";

} // namespace

UserBlocks::UserBlocks(RepositoryHost* host, Repository* client, UserCredentials* userCredentials,
                       QWidget* parent)
    : RepositoryTab(BlockEntries, client, userCredentials,
                    {QStringLiteral("name"), QStringLiteral("date")}, 275, parent),
      mainWindow(host)
{
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(table, 0, Qt::AlignLeft);
    auto* panel = new QWidget(this);
    panel->setMinimumWidth(575);
    auto* right = new QVBoxLayout(panel);
    right->setContentsMargins(0, 0, 0, 0);
    right->addWidget(comments);

    nameRow = new QWidget(panel);
    auto* nameLayout = new QHBoxLayout(nameRow);
    nameLayout->setContentsMargins(0, 0, 0, 5);
    nameLayout->addWidget(new QLabel(QStringLiteral("name"), nameRow));
    name = new QLineEdit(nameRow);
    name->setObjectName(QStringLiteral("name"));
    name->setReadOnly(true);
    nameLayout->addWidget(name);
    fileButton = new QPushButton(QStringLiteral("file"), nameRow);
    fileButton->setObjectName(QStringLiteral("file"));
    fileButton->setFixedHeight(18);
    nameLayout->addWidget(fileButton);
    right->addWidget(nameRow);

    titleRow = new QWidget(panel);
    auto* titleLayout = new QHBoxLayout(titleRow);
    titleLayout->setContentsMargins(0, 0, 0, 0);
    titleLayout->addWidget(new QLabel(QStringLiteral("title"), titleRow));
    title = new QLineEdit(titleRow);
    title->setObjectName(QStringLiteral("title"));
    titleLayout->addWidget(title);
    right->addWidget(titleRow);

    description = new QTextEdit(panel);
    description->setAcceptRichText(false);
    description->setPlainText(QLatin1String(placeholder));
    right->addWidget(description);
    right->addWidget(createCommentsButton());
    auto* rule = new QFrame(panel);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    right->addWidget(rule);

    auto* buttons = new QHBoxLayout;
    editButton = new QPushButton(QStringLiteral("edit"), panel);
    downloadButton = new QPushButton(QStringLiteral("download"), panel);
    deleteButton = new QPushButton(QStringLiteral("delete"), panel);
    uploadButton = new QPushButton(QStringLiteral("upload"), panel);
    for (QPushButton* b : {editButton, downloadButton, deleteButton, uploadButton})
        buttons->addWidget(b);
    right->addLayout(buttons);
    layout->addWidget(panel);
    enableEntryButtons(false);

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

QPushButton* UserBlocks::button(const QString& text) const
{
    for (QPushButton* b :
         {showComments, uploadButton, deleteButton, editButton, downloadButton, fileButton}) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

void UserBlocks::enableEntryButtons(bool on)
{
    for (QPushButton* b : {deleteButton, editButton, downloadButton, showComments})
        b->setEnabled(on);
}

void UserBlocks::setInfoVisible(bool visible)
{
    nameRow->setVisible(visible);
    titleRow->setVisible(visible);
    description->setVisible(visible);
}

bool UserBlocks::loggedIn(const QString& refusal) const
{
    if (credentials && credentials->loggedIn)
        return true;
    qWarning().noquote() << refusal;
    return false;
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

bool UserBlocks::validate(QByteArray& data)
{
    return !BlockDownload::validBlockName(data).isEmpty();
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
    if (file.size() > maxBlockFileSize) {
        qWarning().noquote() << tr("File is not a block file.");
        return false;
    }
    QByteArray data = file.read(maxBlockFileSize + 1);
    if (data.size() > maxBlockFileSize || !validate(data)) {
        qWarning().noquote() << tr("File is not a block file.");
        return false;
    }
    upload = RepositoryBlock();
    upload.name = BlockDownload::validBlockName(data);
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
    update = false;
    const QString blockName = name->text();
    const QString refusal =
        validate(blockName, title->text(), description->toPlainText(), fileChosen);
    if (!refusal.isEmpty()) {
        qWarning().noquote() << refusal;
        return;
    }
    upload.id = -1;
    for (const RepositoryBlock& b : qAsConst(blocks)) {
        if (b.name != blockName)
            continue;
        QMessageBox box(this);
        box.setText("Block with name \"" + blockName + "\" exists.");
        box.setInformativeText(tr("Do you wish to update existing block?"));
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        if (box.exec() != QMessageBox::Ok)
            return;
        // Only now: a cancelled question leaves the selected block the one edits act on.
        currentId = b.id;
        update = true;
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
    repository->uploadBlock(upload, credentials, update);
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
    if (QMessageBox::question(
            this, tr("Delete Block"),
            tr("Are you sure that you want to delete selected block from online database?"),
            QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
        return;
    for (QPushButton* b : {deleteButton, editButton, downloadButton})
        b->setEnabled(false);
    name->clear();
    title->clear();
    description->setPlainText(QLatin1String(placeholder));
    expectList();
    repository->deleteBlock(currentId, credentials);
    comments->clearComment();
    if (comments->isVisibleTo(this))
        toggleCommentsWindow(false);
}

void UserBlocks::repositoryUserBlockList(RepositoryBlocks& list)
{
    if (listsAwaited == 0)
        return;
    --listsAwaited;
    blocks = list;
    const QString wanted = name->text();
    QList<QStringList> rows;
    for (const RepositoryBlock& b : qAsConst(blocks))
        rows << QStringList{b.name, b.date};
    fillTable(rows);
    const int row = getListIndex(wanted);
    if (row >= 0) {
        table->selectRow(row);
    } else {
        // What is typed stays; only the entry it stood for is gone.
        currentId = -1;
        selectedIndex = -1;
        enableEntryButtons(false);
        toggleCommentsWindow(false);
    }
    table->setSortingEnabled(true);
}

// A failed request that would have refreshed the user's blocks brings no list.
void UserBlocks::requestFailed(Repository::RequestKind kind, const QString& message)
{
    RepositoryTab::requestFailed(kind, message);
    switch (kind) {
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
    const QList<QTableWidgetItem*> selected = table->selectedItems();
    if (!selected.isEmpty() && !blocks.isEmpty()) {
        const QTableWidgetItem* cell = table->item(selected.first()->row(), 0);
        const QString rowName = cell ? cell->text() : QString();
        for (int i = 0; i < blocks.size(); ++i) {
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
    }
    name->clear();
    title->clear();
    description->setPlainText(QLatin1String(placeholder));
    currentId = -1;
    selectedIndex = -1;
    enableEntryButtons(false);
    toggleCommentsWindow(false);
}

void UserBlocks::clearWindow()
{
    {
        const QSignalBlocker quiet(table);
        table->clearSelection();
    }
    toggleCommentsWindow(false);
    selectedIndex = -1;
    currentId = -1;
    fileChosen = false;
    name->clear();
    title->clear();
    description->setPlainText(QLatin1String(placeholder));
    enableEntryButtons(false);
}

void UserBlocks::downloadBlock()
{
    if (table->rowCount() == 0 || selectedIndex < 0 || selectedIndex >= blocks.size())
        return;
    const RepositoryBlock entry = blocks.at(selectedIndex);
    if (pending.choose(this, entry))
        repository->getBlock(entry, true);
}

void UserBlocks::downloadClicked()
{
    downloadBlock();
}

void UserBlocks::getBlockSlot(QTableWidgetItem*)
{
    downloadBlock();
}

void UserBlocks::repositoryBlock(QByteArray& data)
{
    pending.arrived(data, mainWindow);
}
