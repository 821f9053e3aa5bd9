#pragma once

#include "Repository.h"

#include <QMainWindow>

class Online;
class QTabWidget;
class RepositoryHost;
class UserBlocks;
class UserPatches;
struct UserCredentials;

// Where a logged-in user manages what they have published. The editor window is disabled
// while it is open.
class UserWindow : public QMainWindow
{
    Q_OBJECT
public:
    UserWindow(RepositoryHost* mainWindow, Online* online, Repository* repository,
               UserCredentials* credentials);

    // The user's patches, then the user's blocks and every block of the repository.
    void getDatabase();
    void clearWindow();
    UserPatches* getUserPatchesTab() const { return patchesTab; }
    UserBlocks* getUserBlocksTab() const { return blocksTab; }
    QTabWidget* tabWidget() const { return tabs; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void requestFailed(const Repository::Answer& answer);

    RepositoryHost* mainWindow = nullptr;
    Online* online = nullptr;
    QTabWidget* tabs = nullptr;
    UserPatches* patchesTab = nullptr;
    UserBlocks* blocksTab = nullptr;
    Repository* repository = nullptr;
    UserCredentials* credentials = nullptr;
};
