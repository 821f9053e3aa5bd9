#pragma once

#include "BlockDownload.h"
#include "RepositoryBlock.h"
#include "RepositoryTab.h"

class QTableWidgetItem;
class QTextBrowser;
class RepositoryHost;

// The community window's "Blocks" tab: everyone's blocks, the one picked described, its
// comments, and the download into a block file, which joins the library when it goes into the
// custom blocks folder.
class CommunityBlocks : public RepositoryTab
{
    Q_OBJECT
public:
    CommunityBlocks(RepositoryHost* mainWindow, Repository* repository,
                    UserCredentials* credentials, QWidget* parent = nullptr);

    void setListRequested(bool requested) { listRequested = requested; }
    bool isListRequested() const { return listRequested; }
    void downloadBlock();
    // The request of that number failed; the download waited for ends if it was that one.
    void downloadFailed(int request) { pending.failed(request); }

    RepositoryBlocks blockList() const { return blocks; }
    QTextBrowser* descriptionPanel() const { return description; }
    QPushButton* downloadButton() const { return download; }
    const BlockDownload& pendingDownload() const { return pending; }

public slots:
    void downloadClicked();
    void blockListSlot(RepositoryBlocks& list);
    void displayInfoSlot();
    void getBlockSlot(QTableWidgetItem* item);
    void repositoryBlock(QByteArray& data, const Repository::Answer& answer);

protected:
    void setInfoVisible(bool visible) override;
    void clearFields() override;
    void showEntry(int index) override;

private:
    RepositoryHost* mainWindow = nullptr;
    bool listRequested = false;
    RepositoryBlocks blocks;
    QTextBrowser* description = nullptr;
    QPushButton* download = nullptr;
    BlockDownload pending;
};
