#include "CommunityPatches.h"

#include "RepositoryText.h"

#include <QPushButton>
#include <QTableWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

CommunityPatches::CommunityPatches(Repository* client, UserCredentials* userCredentials,
                                   QWidget* parent)
    : RepositoryTab(PatchEntries, client, userCredentials,
                    {QStringLiteral("name"), QStringLiteral("author"), QStringLiteral("date")}, 390,
                    parent)
{
    QVBoxLayout* column = createLayout();
    description = createDescriptionPanel(QStringLiteral("Patch Description"), this);
    column->addWidget(description);
    column->addWidget(createCommentsButton());
    download = new QPushButton(QStringLiteral("download"), this);
    addButtons(column, {download});
    entryButtons = {download};
    enableEntryButtons(false);

    connect(download, &QPushButton::clicked, this, &CommunityPatches::downloadClicked);
    connect(table, &QTableWidget::itemDoubleClicked, this, &CommunityPatches::getPatchSlot);
    connect(table, &QTableWidget::itemClicked, this, &CommunityPatches::displayInfoSlot);
    if (repository)
        connect(repository, &Repository::replyPatchList, this, &CommunityPatches::patchListSlot);
}

void CommunityPatches::setInfoVisible(bool visible)
{
    description->setVisible(visible);
}

void CommunityPatches::clearFields()
{
    description->setText(QStringLiteral("Patch Description"));
}

void CommunityPatches::patchListSlot(RepositoryPatches& list)
{
    if (!listRequested)
        return;
    listRequested = false;
    patches = list;
    QList<QStringList> rows;
    QList<int> ids;
    for (const RepositoryPatch& p : qAsConst(patches)) {
        rows << QStringList{p.name, p.user, p.date};
        ids << p.id;
    }
    refillKeepingEntry(rows, ids);
}

// Entries are found by the texts of their row, which sorting does not change.
void CommunityPatches::displayInfoSlot(QTableWidgetItem* item)
{
    if (!item)
        return;
    const QStringList texts = rowTexts(item->row());
    for (int i = 0; i < patches.size(); ++i) {
        const RepositoryPatch& p = patches.at(i);
        if (QStringList{p.name, p.user, p.date} == texts)
            return showEntry(i);
    }
}

void CommunityPatches::showEntry(int index)
{
    const RepositoryPatch& p = patches.at(index);
    currentId = p.id;
    RepositoryTab::showEntry(index);
    description->setHtml(util::entryDescription(
        {{QStringLiteral("Author"), p.user}, {QStringLiteral("Name"), p.name}}, p.description));
    refreshCommentsIfShown();
}

void CommunityPatches::downloadPatch()
{
    downloadCurrentPatch();
}

void CommunityPatches::downloadClicked()
{
    downloadPatch();
}

void CommunityPatches::getPatchSlot(QTableWidgetItem*)
{
    downloadPatch();
}
