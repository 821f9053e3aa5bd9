#include "CommunityBlocks.h"

#include "RepositoryText.h"

#include <QPushButton>
#include <QTableWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

CommunityBlocks::CommunityBlocks(RepositoryHost* host, Repository* client,
                                 UserCredentials* userCredentials, QWidget* parent)
    : RepositoryTab(BlockEntries, client, userCredentials,
                    {QStringLiteral("name"), QStringLiteral("author"), QStringLiteral("date")}, 390,
                    parent),
      mainWindow(host)
{
    QVBoxLayout* column = createLayout();
    description = createDescriptionPanel(QStringLiteral("Block Description"), this);
    column->addWidget(description);
    column->addWidget(createCommentsButton());
    download = new QPushButton(QStringLiteral("download"), this);
    addButtons(column, {download});
    entryButtons = {download};
    enableEntryButtons(false);

    connect(download, &QPushButton::clicked, this, &CommunityBlocks::downloadClicked);
    connect(table, &QTableWidget::itemDoubleClicked, this, &CommunityBlocks::getBlockSlot);
    connect(table, &QTableWidget::itemSelectionChanged, this, &CommunityBlocks::displayInfoSlot);
    if (repository) {
        connect(repository, &Repository::replyBlockList, this, &CommunityBlocks::blockListSlot);
        connect(repository, &Repository::replyBlock, this, &CommunityBlocks::repositoryBlock);
    }
}

void CommunityBlocks::setInfoVisible(bool visible)
{
    description->setVisible(visible);
}

void CommunityBlocks::clearFields()
{
    description->setText(QStringLiteral("Block Description"));
}

void CommunityBlocks::blockListSlot(RepositoryBlocks& list)
{
    if (!listRequested)
        return;
    listRequested = false;
    blocks = list;
    QList<QStringList> rows;
    QList<int> ids;
    for (const RepositoryBlock& b : qAsConst(blocks)) {
        rows << QStringList{b.name, b.user, b.date};
        ids << b.id;
    }
    refillKeepingEntry(rows, ids);
}

// Entries are found by the texts of their row, which sorting does not change.
void CommunityBlocks::displayInfoSlot()
{
    const int row = table->currentRow();
    if (row < 0)
        return;
    const QStringList texts = rowTexts(row);
    for (int i = 0; i < blocks.size(); ++i) {
        const RepositoryBlock& b = blocks.at(i);
        if (QStringList{b.name, b.user, b.date} == texts)
            return showEntry(i);
    }
}

void CommunityBlocks::showEntry(int index)
{
    const RepositoryBlock& b = blocks.at(index);
    currentId = b.id;
    RepositoryTab::showEntry(index);
    description->setHtml(util::entryDescription({{QStringLiteral("Author"), b.user},
                                                 {QStringLiteral("Name"), b.name},
                                                 {QStringLiteral("Category"), b.category},
                                                 {QStringLiteral("Title"), b.title}},
                                                b.description));
    refreshCommentsIfShown();
}

void CommunityBlocks::downloadBlock()
{
    downloadSelectedBlock(blocks, pending);
}

void CommunityBlocks::downloadClicked()
{
    downloadBlock();
}

void CommunityBlocks::getBlockSlot(QTableWidgetItem*)
{
    downloadBlock();
}

void CommunityBlocks::repositoryBlock(QByteArray& data, const Repository::Answer& answer)
{
    pending.arrived(data, answer.request, mainWindow);
}
