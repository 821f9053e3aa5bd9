#include "CommunityPatches.h"

#include "CommentsWindow.h"
#include "RepositoryText.h"

#include <QFrame>
#include <QHBoxLayout>
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
    description = createDescriptionPanel(QStringLiteral("Patch Description"), this);
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

void CommunityPatches::patchListSlot(RepositoryPatches& list)
{
    if (!listRequested)
        return;
    listRequested = false;
    patches = list;
    QList<QStringList> rows;
    for (const RepositoryPatch& p : qAsConst(patches))
        rows << QStringList{p.name, p.user, p.date};
    fillTable(rows);
    if (table->rowCount() > 0 && selectedIndex >= 0)
        table->selectRow(selectedIndex);
    table->setSortingEnabled(true);
}

void CommunityPatches::displayInfoSlot(QTableWidgetItem* item)
{
    if (!item)
        return;
    const int row = item->row();
    auto text = [this, row](int column) {
        const QTableWidgetItem* cell = table->item(row, column);
        return cell ? cell->text() : QString();
    };
    const QString name = text(0);
    const QString author = text(1);
    const QString date = text(2);
    for (int i = 0; i < patches.size(); ++i) {
        const RepositoryPatch& p = patches.at(i);
        if (p.name != name || p.user != author || p.date != date)
            continue;
        currentId = p.id;
        selectedIndex = i;
        description->setHtml(util::entryDescription(
            {{QStringLiteral("Author"), author}, {QStringLiteral("Name"), name}}, p.description));
        refreshCommentsIfShown();
        return;
    }
}

void CommunityPatches::downloadPatch()
{
    if (table->rowCount() == 0 || selectedIndex < 0)
        return;
    repository->getPatch(selectedIndex);
}

void CommunityPatches::downloadClicked()
{
    downloadPatch();
}

void CommunityPatches::getPatchSlot(QTableWidgetItem*)
{
    downloadPatch();
}
