#pragma once

#include <QMainWindow>

class Repository;
class RepositoryHost;
struct UserCredentials;

// Browsing what has been published in the repository. Created once by the online controller
// and shown by its "community" action.
class CommunityWindow : public QMainWindow
{
    Q_OBJECT
public:
    CommunityWindow(RepositoryHost* mainWindow, Repository* repository,
                    UserCredentials* credentials);

private:
    RepositoryHost* mainWindow = nullptr;
    Repository* repository = nullptr;
    UserCredentials* credentials = nullptr;
};
