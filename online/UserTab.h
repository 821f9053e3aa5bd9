#pragma once

#include "RepositoryTab.h"

class QLineEdit;
class QTextEdit;
class RepositoryHost;

// What the two tabs of the user window share: the name and description fields, the edit,
// download, delete and upload buttons, and the questions asked before a change.
class UserTab : public RepositoryTab
{
    Q_OBJECT
public:
    QLineEdit* nameField() const { return name; }
    QTextEdit* descriptionField() const { return description; }
    // No entry picked; the fields as they start.
    void clearWindow();

protected:
    UserTab(EntryKind kind, RepositoryHost* mainWindow, Repository* repository,
            UserCredentials* credentials, QWidget* parent);

    // Lays out the name row (`nameExtra` beside the field), `extraRow` under it, the
    // description, "show comments" and the buttons.
    void createFields(QWidget* nameExtra, QWidget* extraRow);
    void setInfoVisible(bool visible) override;
    void clearFields() override;
    // The name in the selected row, or empty when none is selected.
    QString selectedName() const;
    // Asks whether the user's own entry of that name is to be replaced; true on OK.
    bool confirmReplace(const QString& kindName, const QString& entryName);
    bool confirmDelete(const QString& title, const QString& text);
    // The entry is gone: the fields empty and the comments closed.
    void afterDelete();

    RepositoryHost* mainWindow = nullptr;
    QWidget* nameRow = nullptr;
    QWidget* extraRow = nullptr;
    QLineEdit* name = nullptr;
    QTextEdit* description = nullptr;
    QPushButton* editButton = nullptr;
    QPushButton* downloadButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* uploadButton = nullptr;
};
