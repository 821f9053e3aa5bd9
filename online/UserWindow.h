#pragma once

#include <QMainWindow>

class Online;
class Repository;
class RepositoryHost;
struct UserCredentials;

// Where a logged-in user manages what they have published. The editor window is disabled
// while it is open.
class UserWindow : public QMainWindow
{
    Q_OBJECT
public:
    UserWindow(RepositoryHost* mainWindow, Online* online, Repository* repository,
               UserCredentials* credentials);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    RepositoryHost* mainWindow = nullptr;
    Online* online = nullptr;
    Repository* repository = nullptr;
    UserCredentials* credentials = nullptr;
};
