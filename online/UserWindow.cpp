#include "UserWindow.h"

#include "RepositoryHost.h"
#include "UserBlocks.h"
#include "UserPatches.h"

#include <QCloseEvent>
#include <QStatusBar>
#include <QTabWidget>

UserWindow::UserWindow(RepositoryHost* host, Online* controller, Repository* client,
                       UserCredentials* userCredentials)
    : QMainWindow(host ? host->hostWindow() : nullptr), mainWindow(host), online(controller),
      repository(client), credentials(userCredentials)
{
    setWindowTitle(tr("User"));
    setMinimumSize(900, 600);
    tabs = new QTabWidget(this);
    tabs->setDocumentMode(true);
    patchesTab = new UserPatches(host, repository, credentials, tabs);
    blocksTab = new UserBlocks(host, repository, credentials, tabs);
    tabs->addTab(patchesTab, tr("Patches"));
    tabs->addTab(blocksTab, tr("Blocks"));
    setCentralWidget(tabs);
    if (repository)
        connect(repository, &Repository::requestFailed, this, &UserWindow::requestFailed);
}

void UserWindow::getDatabase()
{
    blocksTab->expectList();
    statusBar()->clearMessage();
    repository->getUserDatabase(credentials);
}

void UserWindow::clearWindow()
{
    patchesTab->clearWindow();
    blocksTab->clearWindow();
}

void UserWindow::closeEvent(QCloseEvent* event)
{
    if (mainWindow)
        mainWindow->setWindowEnabled(true);
    QMainWindow::closeEvent(event);
}

// The client has logged the failure; an open window says it where the user looks.
void UserWindow::requestFailed(const Repository::Answer& answer)
{
    if (answer.kind == Repository::SingleBlockRequest)
        blocksTab->downloadFailed(answer.request);
    if (isVisible() && !answer.message.isEmpty() && !Repository::isBackground(answer.kind))
        statusBar()->showMessage(answer.message);
}
