#include "CommunityWindow.h"

#include "RepositoryHost.h"

CommunityWindow::CommunityWindow(RepositoryHost* host, Repository* client,
                                 UserCredentials* userCredentials)
    : QMainWindow(host ? host->hostWindow() : nullptr), mainWindow(host), repository(client),
      credentials(userCredentials)
{
    setWindowTitle(tr("Community"));
    setMinimumSize(1000, 600);
}
