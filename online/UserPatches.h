#pragma once

#include "BlockDescription.h"
#include "RepositoryPatch.h"
#include "RepositoryTab.h"

#include <QByteArray>
#include <QHash>

class QLineEdit;
class QTableWidgetItem;
class QTextEdit;
class RepositoryHost;

// The user window's "Patches" tab: the user's own patches, the upload of the editor's current
// patch, and the edit, delete, download and comments of a published one.
class UserPatches : public RepositoryTab
{
    Q_OBJECT
public:
    UserPatches(RepositoryHost* mainWindow, Repository* repository, UserCredentials* credentials,
                QWidget* parent = nullptr);

    // Called back by the editor with the current patch's record and custom block files.
    void uploadPatch(const QByteArray& record, const QHash<QString, BlockDescription>& blocks);
    // The first refusal's message, or empty when the upload may go.
    static QString validate(const QString& name, const QString& description, bool empty);
    // The first row whose name is `name`, or -1.
    int getListIndex(const QString& name) const { return rowWithName(name); }
    void clearWindow();
    void downloadPatch();

    RepositoryPatches patchList() const { return patches; }
    QLineEdit* nameField() const { return name; }
    QTextEdit* descriptionField() const { return description; }
    QPushButton* button(const QString& text) const;

public slots:
    void uploadClicked();
    void deleteClicked();
    void editClicked();
    void downloadClicked();
    void displayInfoSlot();
    void getPatchSlot(QTableWidgetItem* item);
    void repositoryUserPatchListSlot(RepositoryPatches& list);

protected:
    void setInfoVisible(bool visible) override;

private:
    void enableEntryButtons(bool on);
    bool loggedIn(const QString& refusal) const;

    RepositoryHost* mainWindow = nullptr;
    RepositoryPatch upload;
    bool update = false;
    RepositoryPatches patches;
    QWidget* nameRow = nullptr;
    QLineEdit* name = nullptr;
    QTextEdit* description = nullptr;
    QPushButton* uploadButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QPushButton* downloadButton = nullptr;
    QPushButton* editButton = nullptr;
};
