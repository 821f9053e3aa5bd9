#include "UserPatches.h"

#include "CommentsWindow.h"
#include "PatchFile.h"
#include "RepositoryHost.h"
#include "UserCredentials.h"

#include <QDebug>
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

const char* const placeholder = "Patch Description";

} // namespace

UserPatches::UserPatches(RepositoryHost* host, Repository* client, UserCredentials* userCredentials,
                         QWidget* parent)
    : RepositoryTab(PatchEntries, client, userCredentials,
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
    nameLayout->addWidget(name);
    right->addWidget(nameRow);

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
    buttons->setContentsMargins(0, 0, 0, 0);
    editButton = new QPushButton(QStringLiteral("edit"), panel);
    downloadButton = new QPushButton(QStringLiteral("download"), panel);
    deleteButton = new QPushButton(QStringLiteral("delete"), panel);
    uploadButton = new QPushButton(QStringLiteral("upload"), panel);
    for (QPushButton* b : {editButton, downloadButton, deleteButton, uploadButton})
        buttons->addWidget(b);
    right->addLayout(buttons);
    layout->addWidget(panel);
    enableEntryButtons(false);

    connect(uploadButton, &QPushButton::clicked, this, &UserPatches::uploadClicked);
    connect(deleteButton, &QPushButton::clicked, this, &UserPatches::deleteClicked);
    connect(editButton, &QPushButton::clicked, this, &UserPatches::editClicked);
    connect(downloadButton, &QPushButton::clicked, this, &UserPatches::downloadClicked);
    connect(table, &QTableWidget::itemSelectionChanged, this, &UserPatches::displayInfoSlot);
    connect(table, &QTableWidget::itemDoubleClicked, this, &UserPatches::getPatchSlot);
    if (repository)
        connect(repository, &Repository::replyUserPatchList, this,
                &UserPatches::repositoryUserPatchListSlot);
}

QPushButton* UserPatches::button(const QString& text) const
{
    for (QPushButton* b : {showComments, uploadButton, deleteButton, downloadButton, editButton}) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

void UserPatches::enableEntryButtons(bool on)
{
    for (QPushButton* b : {deleteButton, editButton, downloadButton, showComments})
        b->setEnabled(on);
}

void UserPatches::setInfoVisible(bool visible)
{
    nameRow->setVisible(visible);
    description->setVisible(visible);
}

bool UserPatches::loggedIn(const QString& refusal) const
{
    if (credentials && credentials->loggedIn)
        return true;
    qWarning().noquote() << refusal;
    return false;
}

QString UserPatches::validate(const QString& patchName, const QString& text, bool empty)
{
    if (empty)
        return tr("Cannot upload empty patch.");
    if (patchName.isEmpty())
        return tr("Please specify name for your patch.");
    if (text.isEmpty())
        return tr("Cannot upload patch without its description.");
    return QString();
}

void UserPatches::uploadClicked()
{
    if (!loggedIn(tr("Please Log In in order to upload patch.")))
        return;
    update = false;
    const QString patchName = name->text();
    const QString refusal = validate(patchName, description->toPlainText(),
                                     !mainWindow || mainWindow->isDocumentEmpty());
    if (!refusal.isEmpty()) {
        qWarning().noquote() << refusal;
        return;
    }
    for (const RepositoryPatch& p : qAsConst(patches)) {
        if (p.name != patchName)
            continue;
        QMessageBox box(this);
        box.setText("Patch with name \"" + patchName + "\" exists.");
        box.setInformativeText(tr("Do you wish to update existing patch?"));
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        if (box.exec() != QMessageBox::Ok)
            return;
        // Only now: a cancelled question leaves the selected patch the one edits act on.
        currentId = p.id;
        update = true;
        break;
    }
    mainWindow->repositoryPatchUploadRequest(patchName);
}

void UserPatches::uploadPatch(const QByteArray& record,
                              const QHash<QString, BlockDescription>& blocks)
{
    if (!loggedIn(tr("Please Log In in order to upload blocks and patches.")))
        return;
    upload = RepositoryPatch();
    upload.id = update ? currentId : -1;
    upload.name = name->text();
    upload.user = credentials->name;
    upload.filename = upload.name + ".ktl";
    upload.description = description->toPlainText();
    upload.data = util::patchFileBytes(record, blocks, true);
    upload.blocks = blocks;
    repository->uploadPatch(upload, credentials, update);
    update = false;
}

void UserPatches::editClicked()
{
    if (!loggedIn(tr("Please Log In in order to edit patch.")) || currentId < 0)
        return;
    repository->editPatch(currentId, credentials, name->text(), description->toPlainText());
}

void UserPatches::deleteClicked()
{
    if (!loggedIn(tr("Please Log In in order to delete patch.")) || currentId < 0)
        return;
    if (QMessageBox::question(
            this, tr("Delete Patch"),
            tr("Are you sure that you want to delete selected patch from online database?"),
            QMessageBox::Ok | QMessageBox::Cancel) != QMessageBox::Ok)
        return;
    repository->deletePatch(currentId, credentials);
    for (QPushButton* b : {deleteButton, editButton, downloadButton})
        b->setEnabled(false);
    name->clear();
    description->setPlainText(QLatin1String(placeholder));
    comments->clearComment();
    if (comments->isVisibleTo(this))
        toggleCommentsWindow(false);
}

void UserPatches::repositoryUserPatchListSlot(RepositoryPatches& list)
{
    patches = list;
    // The entry just uploaded or edited is selected again by its name.
    const QString wanted = name->text();
    QList<QStringList> rows;
    for (const RepositoryPatch& p : qAsConst(patches))
        rows << QStringList{p.name, p.date};
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

void UserPatches::displayInfoSlot()
{
    const QList<QTableWidgetItem*> selected = table->selectedItems();
    if (!selected.isEmpty() && !patches.isEmpty()) {
        const QTableWidgetItem* cell = table->item(selected.first()->row(), 0);
        const QString rowName = cell ? cell->text() : QString();
        for (int i = 0; i < patches.size(); ++i) {
            const RepositoryPatch& p = patches.at(i);
            if (p.name != rowName)
                continue;
            currentId = p.id;
            selectedIndex = i;
            name->setText(p.name);
            description->setPlainText(p.description);
            enableEntryButtons(true);
            refreshCommentsIfShown();
            return;
        }
    }
    name->clear();
    description->setPlainText(QLatin1String(placeholder));
    currentId = -1;
    selectedIndex = -1;
    enableEntryButtons(false);
    toggleCommentsWindow(false);
}

void UserPatches::clearWindow()
{
    {
        const QSignalBlocker quiet(table);
        table->clearSelection();
    }
    toggleCommentsWindow(false);
    selectedIndex = -1;
    currentId = -1;
    name->clear();
    description->setPlainText(QLatin1String(placeholder));
    enableEntryButtons(false);
}

void UserPatches::downloadPatch()
{
    if (table->rowCount() == 0 || selectedIndex < 0)
        return;
    repository->getPatch(selectedIndex);
}

void UserPatches::downloadClicked()
{
    downloadPatch();
}

void UserPatches::getPatchSlot(QTableWidgetItem*)
{
    downloadPatch();
}
