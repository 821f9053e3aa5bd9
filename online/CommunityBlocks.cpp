#include "CommunityBlocks.h"

#include "CommentsWindow.h"
#include "RepositoryText.h"

#include <QFrame>
#include <QHBoxLayout>
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
    description = createDescriptionPanel(QStringLiteral("Block Description"), this);
    download = new QPushButton(QStringLiteral("download"), this);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(table, 0, Qt::AlignLeft);
    auto* panel = new QWidget(this);
    panel->setMinimumWidth(575);
    auto* right = new QVBoxLayout(panel);
    right->setContentsMargins(0, 0, 0, 0);
    right->addWidget(comments);
    right->addWidget(description);
    right->addWidget(createCommentsButton());
    auto* rule = new QFrame(panel);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    right->addWidget(rule);
    right->addWidget(download);
    layout->addWidget(panel);

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

void CommunityBlocks::blockListSlot(RepositoryBlocks& list)
{
    if (!listRequested)
        return;
    listRequested = false;
    blocks = list;
    QList<QStringList> rows;
    for (const RepositoryBlock& b : qAsConst(blocks))
        rows << QStringList{b.name, b.user, b.date};
    fillTable(rows);
    if (table->rowCount() > 0 && selectedIndex >= 0)
        table->selectRow(selectedIndex);
    table->setSortingEnabled(true);
}

void CommunityBlocks::displayInfoSlot()
{
    const int row = table->currentRow();
    if (row < 0)
        return;
    auto text = [this, row](int column) {
        const QTableWidgetItem* cell = table->item(row, column);
        return cell ? cell->text() : QString();
    };
    const QString name = text(0);
    const QString author = text(1);
    const QString date = text(2);
    for (int i = 0; i < blocks.size(); ++i) {
        const RepositoryBlock& b = blocks.at(i);
        if (b.name != name || b.user != author || b.date != date)
            continue;
        currentId = b.id;
        selectedIndex = i;
        description->setHtml(util::entryDescription({{QStringLiteral("Author"), author},
                                                     {QStringLiteral("Name"), name},
                                                     {QStringLiteral("Category"), b.category},
                                                     {QStringLiteral("Title"), b.title}},
                                                    b.description));
        refreshCommentsIfShown();
        return;
    }
}

void CommunityBlocks::downloadBlock()
{
    if (table->rowCount() == 0 || selectedIndex < 0 || selectedIndex >= blocks.size())
        return;
    const RepositoryBlock entry = blocks.at(selectedIndex);
    if (pending.choose(this, entry))
        repository->getBlock(entry, true);
}

void CommunityBlocks::downloadClicked()
{
    downloadBlock();
}

void CommunityBlocks::getBlockSlot(QTableWidgetItem*)
{
    downloadBlock();
}

void CommunityBlocks::repositoryBlock(QByteArray& data)
{
    pending.arrived(data, mainWindow);
}
