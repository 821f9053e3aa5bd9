#include "UserWindow.h"

#include "RepositoryHost.h"

#include <QCloseEvent>

UserWindow::UserWindow(RepositoryHost* host, Online* controller, Repository* client,
                       UserCredentials* userCredentials)
    : QMainWindow(host ? host->hostWindow() : nullptr), mainWindow(host), online(controller),
      repository(client), credentials(userCredentials)
{
    setWindowTitle(tr("User"));
    setMinimumSize(900, 600);
}

void UserWindow::closeEvent(QCloseEvent* event)
{
    if (mainWindow)
        mainWindow->setWindowEnabled(true);
    QMainWindow::closeEvent(event);
}
