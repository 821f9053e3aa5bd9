#include "LogIn.h"

#include "Preferences.h"
#include "Repository.h"
#include "RepositoryHost.h"

#include <QAction>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QTimer>
#include <QToolBar>
#include <QWidget>

namespace {

// The password is kept scrambled, not encrypted: each character is replaced from a second
// alphabet, shifted by its position. Characters outside the alphabet stay as they are.
const QString plainAlphabet = QStringLiteral(
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz1234567890!@$%^&*()_+?|,.:;{}[]~`-=");
const QString substitutionAlphabet = QStringLiteral(
    "qW3e!Rt5Y@uI7o$Pa9S%dF1g^Hj&K2l*Zx(C4v)Bn_M6+?Q|,wE.:r;T{y}U[i]O~p`A-s=D0fG8hJkLzXcVbNm");

int positive(qint64 value, int n)
{
    const qint64 r = value % n;
    return int(r < 0 ? r + n : r);
}

QString substitute(const QString& text, const QString& from, const QString& to, int direction)
{
    const int n = from.size();
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const int index = from.indexOf(text.at(i));
        if (index < 0)
            out += text.at(i);
        else
            out += to.at(positive(qint64(index) + qint64(direction) * i, n));
    }
    return out;
}

// A settings store that is a file of ours (not a registry or a system preference store).
bool storedInFile(const QSettings& settings)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    return settings.format() == QSettings::NativeFormat ||
           settings.format() == QSettings::IniFormat;
#else
    return settings.format() == QSettings::IniFormat;
#endif
}

// Makes the settings file readable by its owner only, creating it empty when it is not there
// yet, so the password never lands in a file that others may read.
void restrictToOwner(const QSettings& settings)
{
    if (!storedInFile(settings))
        return;
    const QString path = settings.fileName();
    if (!QFileInfo::exists(path)) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile create(path);
        if (!create.open(QIODevice::WriteOnly))
            return;
    }
    if (!QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        qDebug().noquote()
            << LogIn::tr("The settings file could not be made private: %1").arg(path);
}

} // namespace

const QString LogIn::placeholderName = QStringLiteral("username");
const QString LogIn::placeholderPassword = QStringLiteral("nopasswd");

LogIn::LogIn(RepositoryHost* host, QObject* parent) : QObject(parent), mainWindow(host)
{
    repository = new Repository(host, &credentials, this);

    const Preferences settings;
    rememberLogIn = settings.getSetting(Preferences::RememberLogIn, QStringLiteral("0")).toBool();
    userName = settings.getSetting(Preferences::UserName, placeholderName).toString();
    storedPassword = settings.getSetting(Preferences::UserPassword).toString();
    // With no stored password the field starts empty, so Log In waits for one to be typed.
    typedPassword = storedPassword.isEmpty() ? QString() : decrypt(storedPassword);
    if (typedPassword == placeholderPassword)
        typedPassword.clear();

    credentials.uid = -1;
    credentials.loggedIn = false;
    versionCheckPending = true;
}

QString LogIn::encrypt(const QString& text)
{
    return substitute(text, plainAlphabet, substitutionAlphabet, 1);
}

QString LogIn::decrypt(const QString& text)
{
    return substitute(text, substitutionAlphabet, plainAlphabet, -1);
}

bool LogIn::isValid(const QString& name, const QString& password)
{
    return !name.isEmpty() && name != placeholderName && !password.isEmpty() &&
           password != placeholderPassword;
}

QToolBar* LogIn::createToolBar()
{
    QWidget* window = mainWindow ? mainWindow->hostWindow() : nullptr;
    toolBar = new QToolBar(tr("Login"), window);

    nameField = new QLineEdit(userName, toolBar);
    passwordField = new QLineEdit(typedPassword, toolBar);
    passwordField->setEchoMode(QLineEdit::Password);
    passwordField->setInputMethodHints(Qt::ImhHiddenText | Qt::ImhNoPredictiveText);
    onlineLabel = new QLabel(tr("online   "), toolBar);
    logInButton = new QAction(tr("Log In"), window ? static_cast<QObject*>(window) : this);
    nameField->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    passwordField->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    auto* spacer = new QWidget(toolBar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    toolBar->addWidget(spacer);
    nameFieldAction = toolBar->addWidget(nameField);
    passwordFieldAction = toolBar->addWidget(passwordField);
    onlineLabelAction = toolBar->addWidget(onlineLabel);
    toolBar->addAction(logInButton);
    onlineLabelAction->setVisible(false);

    connect(logInButton, &QAction::triggered, this, &LogIn::logInClickedSlot);
    connect(nameField, &QLineEdit::editingFinished, this, &LogIn::nameFieldChangedSlot);
    connect(nameField, &QLineEdit::returnPressed, this, &LogIn::nameFieldReturnSlot);
    connect(passwordField, &QLineEdit::editingFinished, this, &LogIn::passwordFieldChangedSlot);
    connect(passwordField, &QLineEdit::returnPressed, this, &LogIn::passwordFieldReturnSlot);
    // Typing enables Log In at once, not only when the field loses the focus.
    connect(nameField, &QLineEdit::textEdited, this, &LogIn::nameFieldChangedSlot);
    connect(passwordField, &QLineEdit::textEdited, this, &LogIn::passwordFieldChangedSlot);
    connect(repository, &Repository::loginReply, this, &LogIn::loginReply, Qt::UniqueConnection);

    showLoggedIn(credentials.loggedIn);
    updateLogInAction();
    return toolBar;
}

QAction* LogIn::logInAction() const
{
    return logInButton;
}

QLineEdit* LogIn::userNameField() const
{
    return nameField;
}

QLineEdit* LogIn::userPasswordField() const
{
    return passwordField;
}

bool LogIn::isOnlineLabelShown() const
{
    return onlineLabelAction && onlineLabelAction->isVisible();
}

void LogIn::logIn()
{
    // A remembered log-in whose password is gone cannot be repeated; the version check then
    // goes out as at any other showing.
    if (!credentials.loggedIn && rememberLogIn && isValid(userName, typedPassword)) {
        QTimer::singleShot(100, this, &LogIn::logInClickedSlot);
    } else {
        QTimer::singleShot(100, this, &LogIn::getVersionSlot);
        versionCheckPending = false;
    }
}

void LogIn::getVersionSlot()
{
    repository->getVersion();
}

void LogIn::nameFieldChangedSlot()
{
    if (nameField)
        userName = nameField->text();
    updateLogInAction();
}

void LogIn::passwordFieldChangedSlot()
{
    if (passwordField)
        typedPassword = passwordField->text();
    updateLogInAction();
}

void LogIn::nameFieldReturnSlot()
{
    logInClickedSlot();
}

void LogIn::passwordFieldReturnSlot()
{
    logInClickedSlot();
}

void LogIn::logInClickedSlot()
{
    if (nameField)
        userName = nameField->text();
    if (passwordField)
        typedPassword = passwordField->text();
    if (!isValid(userName, typedPassword))
        return;

    // The name is kept from the attempt on; the password only once the server accepted it.
    Preferences().saveSetting(Preferences::UserName, userName);
    credentials.name = userName;
    credentials.password = typedPassword;
    attempt = repository->logIn(&credentials);
}

void LogIn::loginReply(QByteArray& data, const Repository::Answer& answer)
{
    if (versionCheckPending) {
        versionCheckPending = false;
        repository->getVersion();
    }
    // An answer to an attempt that a log-out or a newer attempt replaced.
    if (attempt == 0 || answer.request != attempt) {
        qDebug().noquote() << tr("A log-in answer arrived that no attempt waits for; it was "
                                 "ignored");
        return;
    }
    attempt = 0;

    if (answer.outcome == Repository::Accepted) {
        rememberLogIn = true;
        credentials.loggedIn = true;
        credentials.uid = data.toInt();
        storedPassword = encrypt(credentials.password);
        storePassword(storedPassword);
        Preferences().saveSetting(Preferences::RememberLogIn, 1);
        showLoggedIn(true);
        return;
    }
    credentials.loggedIn = false;
    credentials.uid = -1;
    showLoggedIn(false);
    if (answer.outcome == Repository::Unreachable || answer.outcome == Repository::BadStatus) {
        // Nothing was said about the password: what a start without a connection cannot tell
        // stays for the next one.
        qWarning().noquote() << answer.message + "\n" +
                                    tr("You are not logged in now; your log-in is kept for the "
                                       "next start.");
        return;
    }
    rememberLogIn = false;
    forgetPassword();
    Preferences().saveSetting(Preferences::RememberLogIn, 0);
    qWarning().noquote() << tr("Could not login. Please check your login details and make "
                               "sure you've got internet connection.");
}

void LogIn::logOut()
{
    // An answer still on its way belongs to no one now.
    attempt = 0;
    rememberLogIn = false;
    Preferences().saveSetting(Preferences::RememberLogIn, 0);
    credentials.uid = -1;
    credentials.name.clear();
    credentials.password.clear();
    credentials.loggedIn = false;
    forgetPassword();
    showLoggedIn(false);
    updateLogInAction();
}

void LogIn::showLoggedIn(bool loggedIn)
{
    for (QAction* field :
         {nameFieldAction.data(), passwordFieldAction.data(), logInButton.data()}) {
        if (field)
            field->setVisible(!loggedIn);
    }
    if (onlineLabelAction)
        onlineLabelAction->setVisible(loggedIn);
}

void LogIn::updateLogInAction()
{
    if (logInButton)
        logInButton->setEnabled(isValid(userName, typedPassword));
}

void LogIn::storePassword(const QString& scrambled)
{
    QSettings settings;
    restrictToOwner(settings);
    settings.setValue(Preferences::UserPassword, scrambled);
    settings.sync();
    // The store may have replaced the file while writing it.
    restrictToOwner(settings);
}

void LogIn::forgetPassword()
{
    storedPassword.clear();
    QSettings settings;
    settings.remove(Preferences::UserPassword);
}
