#pragma once

#include "BlockDescription.h"
#include "RepositoryPatch.h"
#include "UserTab.h"

#include <QByteArray>
#include <QHash>

class QTableWidgetItem;

// The user window's "Patches" tab: the user's own patches, the upload of the editor's current
// patch, and the edit, delete, download and comments of a published one.
class UserPatches : public UserTab
{
    Q_OBJECT
public:
    UserPatches(RepositoryHost* mainWindow, Repository* repository, UserCredentials* credentials,
                QWidget* parent = nullptr);

    // Called back by the editor with the current patch's file (record and custom blocks) and
    // those block files.
    void uploadPatch(const QByteArray& file, const QHash<QString, BlockDescription>& blocks);
    // The first refusal's message, or empty when the upload may go.
    static QString validate(const QString& name, const QString& description, bool empty);
    // The first row whose name is `name`, or -1.
    int getListIndex(const QString& name) const { return rowWithName(name); }
    void downloadPatch();

    RepositoryPatches patchList() const { return patches; }

public slots:
    void uploadClicked();
    void deleteClicked();
    void editClicked();
    void downloadClicked();
    void displayInfoSlot();
    void getPatchSlot(QTableWidgetItem* item);
    void repositoryUserPatchListSlot(RepositoryPatches& list);

private:
    RepositoryPatch upload;
    // The user's patch that a confirmed update replaces, or -1 for a new one; the current
    // entry, which edit and delete act on, stays the one highlighted.
    int uploadTarget = -1;
    RepositoryPatches patches;
};
