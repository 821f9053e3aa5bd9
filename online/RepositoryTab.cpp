#include "RepositoryTab.h"

#include "BlockDownload.h"
#include "CommentsWindow.h"
#include "RepositoryText.h"
#include "SafeTextDocument.h"
#include "UserCredentials.h"

#include <QDebug>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

RepositoryTab::RepositoryTab(EntryKind entryKind, Repository* client,
                             UserCredentials* userCredentials, const QStringList& labels,
                             int tableWidth, QWidget* parent)
    : QWidget(parent), kind(entryKind), repository(client), credentials(userCredentials),
      headerLabels(labels)
{
    comments = new CommentsWindow(this, credentials);
    comments->setMinimumWidth(575);
    comments->hide();

    table = new QTableWidget(0, labels.size(), this);
    table->setHorizontalHeaderLabels(labels);
    table->verticalHeader()->hide();
    table->verticalHeader()->setDefaultSectionSize(16);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setShowGrid(false);
    table->setSortingEnabled(true);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setColumnWidth(0, 200);
    // The middle column of three leaves the dates their room without a scroll bar.
    if (labels.size() > 2)
        table->setColumnWidth(1, 90);
    // Entries come in name order until a header is clicked.
    table->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
    table->setFocusPolicy(Qt::NoFocus);
    table->setFixedWidth(tableWidth);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    connect(comments, &CommentsWindow::userPost, this, &RepositoryTab::userPost);
    if (repository) {
        connect(repository, &Repository::replyComments, this, &RepositoryTab::repositoryComments);
        connect(repository, &Repository::requestFailed, this, &RepositoryTab::requestFailed);
    }
}

QTextBrowser* RepositoryTab::createDescriptionPanel(const QString& text, QWidget* parent)
{
    auto* panel = new QTextBrowser(parent);
    panel->setReadOnly(true);
    SafeTextDocument::install(panel);
    // Links open outside the editor, and only web pages: a description is the uploader's text.
    panel->setOpenLinks(false);
    connect(panel, &QTextBrowser::anchorClicked, panel, [](const QUrl& url) {
        if (util::isWebLink(url))
            QDesktopServices::openUrl(url);
    });
    panel->setText(text);
    return panel;
}

QPushButton* RepositoryTab::createCommentsButton()
{
    showComments = new QPushButton(QStringLiteral("show comments"), this);
    connect(showComments, &QPushButton::clicked, this, &RepositoryTab::commentsClicked);
    return showComments;
}

void RepositoryTab::toggleCommentsWindow(bool show)
{
    if (!show) {
        setInfoVisible(true);
        comments->hide();
        showComments->setText(QStringLiteral("show comments"));
        return;
    }
    comments->clearComment();
    setInfoVisible(false);
    comments->show();
    showComments->setText(QStringLiteral("show info"));
    askForComments();
}

void RepositoryTab::commentsClicked()
{
    toggleCommentsWindow(comments->isHidden());
}

void RepositoryTab::refreshCommentsIfShown()
{
    if (comments->isHidden())
        return;
    comments->clearComment();
    askForComments();
}

void RepositoryTab::askForComments()
{
    // Nothing to ask for before an entry has been picked: the panel stays empty.
    if (currentId < 0) {
        commentsRequested = false;
        comments->clear();
        return;
    }
    comments->showLoader();
    commentsRequested = true;
    if (kind == PatchEntries)
        repository->getPatchComments(currentId, credentials);
    else
        repository->getBlockComments(currentId, credentials);
}

bool RepositoryTab::aboutCurrentEntry(const Repository::Answer& answer) const
{
    const bool ours = kind == PatchEntries ? answer.kind == Repository::PatchCommentsRequest ||
                                                 answer.kind == Repository::PatchCommentPostRequest
                                           : answer.kind == Repository::BlockCommentsRequest ||
                                                 answer.kind == Repository::BlockCommentPostRequest;
    return ours && answer.entry == currentId;
}

// An answer about an entry picked before, or the other tab's, is not this panel's.
void RepositoryTab::repositoryComments(RepositoryComments& list, const Repository::Answer& answer)
{
    if (!commentsRequested || !aboutCurrentEntry(answer))
        return;
    comments->clear();
    for (RepositoryComment& c : list)
        comments->insertComment(c);
    comments->refresh();
    commentsRequested = false;
}

void RepositoryTab::userPost(const QString& text)
{
    if (currentId < 0) {
        qWarning().noquote() << (kind == PatchEntries ? tr("Please choose a patch to comment on.")
                                                      : tr("Please choose a block to comment on."));
        return;
    }
    commentsRequested = true;
    if (kind == PatchEntries)
        repository->postPatchComment(currentId, text, credentials);
    else
        repository->postBlockComment(currentId, text, credentials);
}

void RepositoryTab::requestFailed(const Repository::Answer& answer)
{
    if (!commentsRequested || !aboutCurrentEntry(answer))
        return;
    commentsRequested = false;
    // A failed post keeps the comments shown and the text typed; a failed list says why.
    if (answer.kind == Repository::PatchCommentsRequest ||
        answer.kind == Repository::BlockCommentsRequest)
        comments->showFailure(answer.message);
    else
        comments->refresh();
}

void RepositoryTab::fillTable(const QList<QStringList>& rows)
{
    // The rows in between belong to no entry yet: nobody hears of them.
    const QSignalBlocker quiet(table);
    table->clearSelection();
    table->clear();
    table->setSortingEnabled(false);
    table->setRowCount(rows.size());
    table->setHorizontalHeaderLabels(headerLabels);
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows.at(r).size() && c < table->columnCount(); ++c)
            table->setItem(r, c, new QTableWidgetItem(rows.at(r).at(c)));
    }
}

void RepositoryTab::refillKeepingEntry(const QList<QStringList>& rows, const QList<int>& ids)
{
    fillTable(rows);
    // The rows are still in list order here.
    const int index = currentId >= 0 ? ids.indexOf(currentId) : -1;
    if (index >= 0) {
        {
            const QSignalBlocker quiet(table);
            table->selectRow(index);
        }
        showEntry(index);
    } else if (selectedIndex >= 0) {
        showNoEntry();
    }
    table->setSortingEnabled(true);
}

void RepositoryTab::showEntry(int index)
{
    selectedIndex = index;
    enableEntryButtons(true);
}

void RepositoryTab::showNoEntry()
{
    clearFields();
    forgetEntry();
}

void RepositoryTab::forgetEntry()
{
    currentId = -1;
    selectedIndex = -1;
    enableEntryButtons(false);
    toggleCommentsWindow(false);
}

void RepositoryTab::refillKeepingName(const QList<QStringList>& rows, const QString& name)
{
    fillTable(rows);
    const int row = rowWithName(name);
    if (row >= 0)
        table->selectRow(row);
    else
        forgetEntry();
    table->setSortingEnabled(true);
}

QStringList RepositoryTab::rowTexts(int row) const
{
    QStringList texts;
    for (int c = 0; c < table->columnCount(); ++c) {
        const QTableWidgetItem* cell = table->item(row, c);
        texts << (cell ? cell->text() : QString());
    }
    return texts;
}

QVBoxLayout* RepositoryTab::createLayout()
{
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(table, 0, Qt::AlignLeft);
    auto* panel = new QWidget(this);
    panel->setMinimumWidth(575);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(comments);
    layout->addWidget(panel);
    return column;
}

QWidget* RepositoryTab::createFieldRow(const QString& label, QWidget* field, QWidget* extra,
                                       int bottomMargin, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, bottomMargin);
    layout->addWidget(new QLabel(label, row));
    layout->addWidget(field);
    if (extra)
        layout->addWidget(extra);
    return row;
}

void RepositoryTab::addButtons(QVBoxLayout* column, const QList<QPushButton*>& buttons)
{
    auto* rule = new QFrame(column->parentWidget());
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    column->addWidget(rule);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    for (QPushButton* b : buttons)
        row->addWidget(b);
    column->addLayout(row);
}

void RepositoryTab::enableEntryButtons(bool on)
{
    for (QPushButton* b : qAsConst(entryButtons))
        b->setEnabled(on);
}

QPushButton* RepositoryTab::button(const QString& text) const
{
    for (QPushButton* b : findChildren<QPushButton*>()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

bool RepositoryTab::loggedIn(const QString& refusal) const
{
    if (credentials && credentials->loggedIn)
        return true;
    qWarning().noquote() << refusal;
    return false;
}

void RepositoryTab::downloadCurrentPatch()
{
    if (currentId >= 0)
        repository->getPatch(currentId);
}

void RepositoryTab::downloadSelectedBlock(const RepositoryBlocks& list, BlockDownload& pending)
{
    if (table->rowCount() == 0 || selectedIndex < 0 || selectedIndex >= list.size())
        return;
    const RepositoryBlock entry = list.at(selectedIndex);
    if (pending.choose(this, entry))
        pending.setRequest(repository->getBlock(entry, true));
}

int RepositoryTab::rowWithName(const QString& text) const
{
    for (int r = 0; r < table->rowCount(); ++r) {
        const QTableWidgetItem* item = table->item(r, 0);
        if (item && item->text() == text)
            return r;
    }
    return -1;
}
