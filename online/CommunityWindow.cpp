#include "CommunityWindow.h"

#include "CommunityBlocks.h"
#include "CommunityPatches.h"
#include "RepositoryHost.h"

#include <QStatusBar>
#include <QTabWidget>

CommunityWindow::CommunityWindow(RepositoryHost* host, Repository* client,
                                 UserCredentials* credentials)
    : QMainWindow(host ? host->hostWindow() : nullptr), mainWindow(host), repository(client)
{
    setWindowTitle(tr("Community"));
    setMinimumSize(1000, 600);
    tabs = new QTabWidget(this);
    tabs->setDocumentMode(true);
    patchesTab = new CommunityPatches(repository, credentials, tabs);
    blocksTab = new CommunityBlocks(host, repository, credentials, tabs);
    tabs->addTab(patchesTab, tr("Patches"));
    tabs->addTab(blocksTab, tr("Blocks"));
    setCentralWidget(tabs);
    if (repository)
        connect(repository, &Repository::requestFailed, this, &CommunityWindow::requestFailed);
}

void CommunityWindow::getDatabase()
{
    patchesTab->toggleCommentsWindow(false);
    blocksTab->toggleCommentsWindow(false);
    patchesTab->setListRequested(true);
    blocksTab->setListRequested(true);
    statusBar()->clearMessage();
    repository->getCommunityDatabase();
}

// The client has logged the failure; an open window says it where the user looks.
void CommunityWindow::requestFailed(const Repository::Answer& answer)
{
    if (answer.kind == Repository::SingleBlockRequest)
        blocksTab->downloadFailed(answer.request);
    if (isVisible() && !answer.message.isEmpty() && !Repository::isBackground(answer.kind))
        statusBar()->showMessage(answer.message);
}
