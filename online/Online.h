#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

class CommunityWindow;
class LogIn;
class QAction;
class QMenu;
class Repository;
class RepositoryHost;
class UserPatches;
class UserWindow;
struct UserCredentials;

// The editor's entry point to the online repository: the shared client, the log-in
// controller, the community and user windows, and the "Online" menu.
class Online : public QObject
{
    Q_OBJECT
public:
    // Parented to the host's window.
    explicit Online(RepositoryHost* mainWindow);
    ~Online() override;

    // A new "Online" menu; called at every menu rebuild.
    QMenu* createMenu();
    LogIn* getLogIn() const { return login; }
    // The shared client: the online windows and the editor's missing-block fetch use it.
    Repository* getRepository() const { return repository; }
    void logIn();

    QAction* getAction(const QString& name) const { return actions.value(name, nullptr); }
    CommunityWindow* getCommunityWindow() const;
    UserWindow* getUserWindow() const;
    // The user window's patches tab, which uploads the patch the editor hands over.
    UserPatches* getUserPatchesWindow() const;

public slots:
    void communityClicked();
    void userClicked();
    void logOutClicked();

private:
    RepositoryHost* mainWindow = nullptr;
    Repository* repository = nullptr;
    QHash<QString, QAction*> actions;
    UserCredentials* credentials = nullptr;
    QPointer<QMenu> menu;
    LogIn* login = nullptr;
    QPointer<UserWindow> userWindow;
    QPointer<CommunityWindow> communityWindow;
};
