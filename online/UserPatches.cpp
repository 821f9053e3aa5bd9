#include "UserPatches.h"

#include "RepositoryHost.h"
#include "UserCredentials.h"

#include <QDebug>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTextEdit>

UserPatches::UserPatches(RepositoryHost* host, Repository* client, UserCredentials* userCredentials,
                         QWidget* parent)
    : UserTab(PatchEntries, host, client, userCredentials, parent)
{
    createFields(nullptr, nullptr);
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
    uploadTarget = -1;
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
        if (!confirmReplace(QStringLiteral("Patch"), patchName))
            return;
        uploadTarget = p.id;
        break;
    }
    // The editor tells of a refusal itself; the current entry stays as it was.
    mainWindow->repositoryPatchUploadRequest(patchName);
}

void UserPatches::uploadPatch(const QByteArray& file,
                              const QHash<QString, BlockDescription>& blocks)
{
    if (!loggedIn(tr("Please Log In in order to upload blocks and patches.")))
        return;
    upload = RepositoryPatch();
    upload.id = uploadTarget;
    upload.name = name->text();
    upload.user = credentials->name;
    upload.filename = upload.name + ".ktl";
    upload.description = description->toPlainText();
    upload.data = file;
    upload.blocks = blocks;
    repository->uploadPatch(upload, credentials, uploadTarget >= 0);
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
    if (!confirmDelete(
            tr("Delete Patch"),
            tr("Are you sure that you want to delete selected patch from online database?")))
        return;
    repository->deletePatch(currentId, credentials);
    afterDelete();
}

// The entry just uploaded or edited is selected again by its name.
void UserPatches::repositoryUserPatchListSlot(RepositoryPatches& list)
{
    patches = list;
    QList<QStringList> rows;
    for (const RepositoryPatch& p : qAsConst(patches))
        rows << QStringList{p.name, p.date};
    refillKeepingName(rows, name->text());
}

void UserPatches::displayInfoSlot()
{
    const QString rowName = selectedName();
    for (int i = 0; !rowName.isNull() && i < patches.size(); ++i) {
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
    showNoEntry();
}

void UserPatches::downloadPatch()
{
    downloadCurrentPatch();
}

void UserPatches::downloadClicked()
{
    downloadPatch();
}

void UserPatches::getPatchSlot(QTableWidgetItem*)
{
    downloadPatch();
}
