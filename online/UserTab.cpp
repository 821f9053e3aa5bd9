#include "UserTab.h"

#include "CommentsWindow.h"
#include "DisplayText.h"
#include "PlainBox.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTextEdit>
#include <QVBoxLayout>

UserTab::UserTab(EntryKind entryKind, RepositoryHost* host, Repository* client,
                 UserCredentials* userCredentials, QWidget* parent)
    : RepositoryTab(entryKind, client, userCredentials,
                    {QStringLiteral("name"), QStringLiteral("date")}, 275, parent),
      mainWindow(host)
{
    name = new QLineEdit(this);
    name->setObjectName(QStringLiteral("name"));
    description = new QTextEdit(this);
    description->setAcceptRichText(false);
    // Shown in the empty field; never part of what is uploaded.
    description->setPlaceholderText(entryKind == PatchEntries
                                        ? QStringLiteral("Patch Description")
                                        : QStringLiteral("Block Description"));
    editButton = new QPushButton(QStringLiteral("edit"), this);
    downloadButton = new QPushButton(QStringLiteral("download"), this);
    deleteButton = new QPushButton(QStringLiteral("delete"), this);
    uploadButton = new QPushButton(QStringLiteral("upload"), this);
}

void UserTab::createFields(QWidget* nameExtra, QWidget* row)
{
    QVBoxLayout* column = createLayout();
    nameRow = createFieldRow(QStringLiteral("name"), name, nameExtra, 5, this);
    column->addWidget(nameRow);
    extraRow = row;
    if (extraRow)
        column->addWidget(extraRow);
    column->addWidget(description);
    column->addWidget(createCommentsButton());
    addButtons(column, {editButton, downloadButton, deleteButton, uploadButton});
    entryButtons = {deleteButton, editButton, downloadButton, showComments};
    enableEntryButtons(false);
}

void UserTab::setInfoVisible(bool visible)
{
    nameRow->setVisible(visible);
    if (extraRow)
        extraRow->setVisible(visible);
    description->setVisible(visible);
}

void UserTab::clearFields()
{
    name->clear();
    description->clear();
}

void UserTab::clearWindow()
{
    {
        const QSignalBlocker quiet(table);
        table->clearSelection();
    }
    showNoEntry();
}

QString UserTab::selectedName() const
{
    const QList<QTableWidgetItem*> selected = table->selectedItems();
    if (selected.isEmpty())
        return QString();
    const QTableWidgetItem* cell = table->item(selected.first()->row(), 0);
    return cell ? cell->text() : QString();
}

bool UserTab::confirmReplace(const QString& kindName, const QString& entryName)
{
    QMessageBox box(this);
    util::setPlainTexts(box,
                        kindName + " with name \"" + util::displayName(entryName) + "\" exists.",
                        tr("Do you wish to update existing %1?").arg(kindName.toLower()));
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok;
}

bool UserTab::confirmDelete(const QString& title, const QString& text)
{
    return QMessageBox::question(this, title, text, QMessageBox::Ok | QMessageBox::Cancel) ==
           QMessageBox::Ok;
}

void UserTab::afterDelete()
{
    for (QPushButton* b : {deleteButton, editButton, downloadButton})
        b->setEnabled(false);
    clearFields();
    comments->clearComment();
    if (comments->isVisibleTo(this))
        toggleCommentsWindow(false);
}
