#pragma once

#include "RepositoryPatch.h"
#include "RepositoryTab.h"

class QTableWidgetItem;
class QTextBrowser;

// The community window's "Patches" tab: everyone's patches, the one picked described, its
// comments, and the download into the editor.
class CommunityPatches : public RepositoryTab
{
    Q_OBJECT
public:
    CommunityPatches(Repository* repository, UserCredentials* credentials,
                     QWidget* parent = nullptr);

    // Set by the window before it fetches the lists: the next patch list is this tab's.
    void setListRequested(bool requested) { listRequested = requested; }
    bool isListRequested() const { return listRequested; }
    void downloadPatch();

    RepositoryPatches patchList() const { return patches; }
    QTextBrowser* descriptionPanel() const { return description; }
    QPushButton* downloadButton() const { return download; }

public slots:
    void downloadClicked();
    void patchListSlot(RepositoryPatches& list);
    void displayInfoSlot(QTableWidgetItem* item);
    void getPatchSlot(QTableWidgetItem* item);

protected:
    void setInfoVisible(bool visible) override;
    void clearFields() override;
    void showEntry(int index) override;

private:
    bool listRequested = false;
    RepositoryPatches patches;
    QTextBrowser* description = nullptr;
    QPushButton* download = nullptr;
};
