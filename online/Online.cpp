#include "Online.h"

#include "CommunityWindow.h"
#include "LogIn.h"
#include "Repository.h"
#include "RepositoryHost.h"
#include "UserCredentials.h"
#include "UserWindow.h"

#include <QAction>
#include <QDebug>
#include <QMenu>
#include <QWidget>

namespace {

// Brings a window of the online side to the front, above the editor.
void bringForward(QWidget* window)
{
    window->setWindowFlags(window->windowFlags() | Qt::WindowStaysOnTopHint);
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->raise();
    window->activateWindow();
    window->show();
}

} // namespace

Online::Online(RepositoryHost* host)
    : QObject(host ? host->hostWindow() : nullptr), mainWindow(host)
{
    repository = new Repository(host, nullptr, this);
    login = new LogIn(host, this);
    credentials = login->getUserCredentials();
    communityWindow = new CommunityWindow(host, repository, credentials);
    userWindow = new UserWindow(host, this, repository, credentials);

    auto add = [this](const char* name, const QString& text, void (Online::*slot)()) {
        auto* action = new QAction(text, this);
        actions.insert(QString::fromLatin1(name), action);
        connect(action, &QAction::triggered, this, slot);
    };
    add("community", QStringLiteral("Community"), &Online::communityClicked);
    add("user", QStringLiteral("User"), &Online::userClicked);
    add("log_out", tr("Log Out"), &Online::logOutClicked);
}

// The windows hold the clients of this controller, so they go first.
Online::~Online()
{
    delete userWindow;
    delete communityWindow;
}

CommunityWindow* Online::getCommunityWindow() const
{
    return communityWindow;
}

UserWindow* Online::getUserWindow() const
{
    return userWindow;
}

UserPatches* Online::getUserPatchesWindow() const
{
    return userWindow ? userWindow->getUserPatchesTab() : nullptr;
}

QMenu* Online::createMenu()
{
    menu = new QMenu(tr("Online"), mainWindow ? mainWindow->hostWindow() : nullptr);
    menu->addAction(actions.value(QStringLiteral("community")));
    menu->addAction(actions.value(QStringLiteral("user")));
    menu->addSeparator();
    menu->addAction(actions.value(QStringLiteral("log_out")));
    return menu;
}

void Online::logIn()
{
    login->logIn();
}

void Online::communityClicked()
{
    if (userWindow)
        userWindow->close();
    if (!communityWindow)
        return;
    communityWindow->getDatabase();
    bringForward(communityWindow);
}

void Online::userClicked()
{
    if (!credentials->loggedIn) {
        qWarning().noquote() << tr("Please Log In in order to upload blocks and patches.");
        return;
    }
    if (!userWindow)
        return;
    // The user window enables the editor again when it closes.
    if (mainWindow)
        mainWindow->setWindowEnabled(false);
    userWindow->setEnabled(true);
    userWindow->getDatabase();
    userWindow->clearWindow();
    bringForward(userWindow);
    if (communityWindow)
        communityWindow->close();
}

void Online::logOutClicked()
{
    login->logOut();
}
