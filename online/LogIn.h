#pragma once

#include "Repository.h"
#include "UserCredentials.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QAction;
class QLabel;
class QLineEdit;
class QToolBar;
class RepositoryHost;

// The log-in controller: the "Login" tool bar, the program's one credentials record, the
// remembered log-in in the settings, and the check for a newer program version. It talks to
// the server through a client of its own.
class LogIn : public QObject
{
    Q_OBJECT
public:
    // What the name setting holds before the first log-in.
    static const QString placeholderName;
    // The password counterpart: never shown, and no valid password.
    static const QString placeholderPassword;

    explicit LogIn(RepositoryHost* mainWindow, QObject* parent = nullptr);

    // The tool bar with the two fields, the "Log In" action and the "online" label, parented
    // to the host's window.
    QToolBar* createToolBar();
    UserCredentials* getUserCredentials() { return &credentials; }
    // At every showing of the editor: the remembered log-in, or else the version check.
    void logIn();
    void logOut();

    static QString encrypt(const QString& text);
    static QString decrypt(const QString& text);
    static bool isValid(const QString& name, const QString& password);

    // The log-in client.
    Repository* loginRepository() const { return repository; }
    QAction* logInAction() const;
    QLineEdit* userNameField() const;
    QLineEdit* userPasswordField() const;
    bool isOnlineLabelShown() const;

public slots:
    void logInClickedSlot();
    void getVersionSlot();
    void nameFieldChangedSlot();
    void passwordFieldChangedSlot();
    void nameFieldReturnSlot();
    void passwordFieldReturnSlot();
    // Applied only when it answers the attempt still current.
    void loginReply(QByteArray& data, const Repository::Answer& answer);

private:
    void showLoggedIn(bool loggedIn);
    void updateLogInAction();
    void storePassword(const QString& scrambled);
    void forgetPassword();

    RepositoryHost* mainWindow = nullptr;
    Repository* repository = nullptr;
    QPointer<QToolBar> toolBar;
    QPointer<QLineEdit> nameField;
    QPointer<QLineEdit> passwordField;
    QPointer<QAction> logInButton;
    QPointer<QAction> nameFieldAction;
    QPointer<QAction> passwordFieldAction;
    QPointer<QAction> onlineLabelAction;
    QPointer<QLabel> onlineLabel;
    bool rememberLogIn = false;
    bool versionCheckPending = true;
    // The log-in request whose answer counts; 0 when none is awaited.
    int attempt = 0;
    QString userName;
    QString typedPassword;
    QString storedPassword;
    UserCredentials credentials;
};
