#pragma once

#include "BlockDownload.h"
#include "RepositoryBlock.h"
#include "UserTab.h"

#include <QByteArray>

class QTableWidgetItem;

// The user window's "Blocks" tab: the user's own blocks, the upload of a block file chosen from
// disk, and the edit, delete, download and comments of a published one.
class UserBlocks : public UserTab
{
    Q_OBJECT
public:
    // Larger files are no block descriptions a person wrote; they are not read whole.
    static constexpr qint64 maxBlockFileSize = 4 * 1024 * 1024;

    UserBlocks(RepositoryHost* mainWindow, Repository* repository, UserCredentials* credentials,
               QWidget* parent = nullptr);

    // The first refusal's message, or empty when the upload may go.
    static QString validate(const QString& name, const QString& title, const QString& description,
                            bool fileChosen);
    int getListIndex(const QString& name) const { return rowWithName(name); }
    // One more list of the user's blocks is on its way for this tab.
    void expectList() { ++listsAwaited; }
    bool isListRequested() const { return listsAwaited > 0; }
    void downloadBlock();
    void downloadFailed(int request) { pending.failed(request); }

    RepositoryBlocks blockList() const { return blocks; }
    RepositoryBlocks repositoryBlocks() const { return allBlocks; }
    const RepositoryBlock& uploadRecord() const { return upload; }
    bool isFileChosen() const { return fileChosen; }
    QLineEdit* titleField() const { return title; }
    const BlockDownload& pendingDownload() const { return pending; }

public slots:
    void uploadClicked();
    void deleteClicked();
    void editClicked();
    void downloadClicked();
    void fileChooseClicked();
    void displayInfoSlot();
    void getBlockSlot(QTableWidgetItem* item);
    void repositoryBlock(QByteArray& data, const Repository::Answer& answer);
    void repositoryBlockList(RepositoryBlocks& list);
    void repositoryUserBlockList(RepositoryBlocks& list);

protected:
    void clearFields() override;
    void requestFailed(const Repository::Answer& answer) override;

private:
    // Reads the chosen file into the upload record; false, with a warning, when it is none.
    bool readBlockFile(const QString& path);

    // The file chosen; a confirmed update also carries the id of the user's block it replaces
    // (-1 for a new block), while the current entry, which edit and delete act on, stays the
    // one highlighted.
    RepositoryBlock upload;
    // Lists of the user's blocks asked for and not yet come: an edit quickly followed by a
    // delete waits for both refreshes, so the later one is what the table shows.
    int listsAwaited = 0;
    bool fileChosen = false;
    BlockDownload pending;
    RepositoryBlocks blocks;
    RepositoryBlocks allBlocks;
    QLineEdit* title = nullptr;
    QPushButton* fileButton = nullptr;
};
