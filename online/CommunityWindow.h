#pragma once

#include "Repository.h"

#include <QMainWindow>

class CommunityBlocks;
class CommunityPatches;
class QTabWidget;
class RepositoryHost;
struct UserCredentials;

// Browsing what has been published in the repository. Created once by the online controller
// and shown by its "community" action, which fetches both lists again.
class CommunityWindow : public QMainWindow
{
    Q_OBJECT
public:
    CommunityWindow(RepositoryHost* mainWindow, Repository* repository,
                    UserCredentials* credentials);

    void getDatabase();
    CommunityPatches* getCommunityPatchesTab() const { return patchesTab; }
    CommunityBlocks* getCommunityBlocksTab() const { return blocksTab; }
    QTabWidget* tabWidget() const { return tabs; }

private:
    void requestFailed(const Repository::Answer& answer);

    RepositoryHost* mainWindow = nullptr;
    QTabWidget* tabs = nullptr;
    CommunityPatches* patchesTab = nullptr;
    CommunityBlocks* blocksTab = nullptr;
    Repository* repository = nullptr;
};
