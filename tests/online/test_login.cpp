// The log-in controller against our own repository server: the scrambled password, what the
// settings hold after each kind of answer, the automatic log-in at the next start, the tool
// bar's state and the version check that follows.
#include "LogIn.h"
#include "MessageCapture.h"
#include "Preferences.h"
#include "Repository.h"
#include "RepositoryHost.h"
#include "RepositoryServer.h"
#include "RepositoryTestKit.h"
#include "TestMain.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QSettings>
#include <QToolBar>
#include <memory>

namespace {

using Fault = RepositoryServer::Fault;

// The editor window as the log-in controller sees it.
class Host : public QMainWindow, public RepositoryHost
{
public:
    void repositoryPatchDownloaded(const QByteArray&) override {}
    void repositoryBlockFiles(QList<QByteArray>&) override {}
    void blockSaved(const QString&) override {}
    bool isDocumentEmpty() const override { return true; }
    bool repositoryPatchUploadRequest(const QString&) override { return false; }
    void setWindowEnabled(bool enabled) override { setEnabled(enabled); }
    QWidget* hostWindow() override { return this; }
};

const QString refusal = QStringLiteral("Could not login. Please check your login details and "
                                       "make sure you've got internet connection.");

// The three log-in keys as the settings file holds them; "-" for an absent key.
QStringList logInKeys()
{
    QSettings settings;
    QStringList out;
    for (const QString& key :
         {Preferences::RememberLogIn, Preferences::UserName, Preferences::UserPassword})
        out << (settings.contains(key) ? settings.value(key).toString() : QStringLiteral("-"));
    return out;
}

QStringList actions(const RepositoryServer& server)
{
    QStringList out;
    for (const RepositoryServer::Request& r : server.requests())
        out << r.action();
    return out;
}

} // namespace

class TestLogIn : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void scramble_data();
    void scramble();
    void scrambleRoundTrip();
    void firstStart();
    void keysAfterAnswer_data();
    void keysAfterAnswer();
    void logOutForgetsPassword();
    void answerOfAnEarlierAttempt_data();
    void answerOfAnEarlierAttempt();
    void replyBodies_data();
    void replyBodies();
    void nextStart_data();
    void nextStart();
    void rememberedLogInWithoutPassword();
    void settingsFileIsPrivate_data();
    void settingsFileIsPrivate();

private:
    // A controller as the editor makes it at start, with its tool bar, talking to `server`.
    std::unique_ptr<LogIn> start();
    void type(const QString& name, const QString& password);
    void waitForAnswer(int requestsBefore);

    RepositoryServer server;
    std::unique_ptr<Host> host;
    std::unique_ptr<LogIn> login;
};

void TestLogIn::init()
{
    QSettings().clear();
    QSettings().sync();
    QFile::remove(QSettings().fileName());
    if (!server.isListening())
        QVERIFY(server.start());
    server.clearRequests();
    if (server.users().isEmpty())
        server.addUser(QStringLiteral("ann"), QStringLiteral("open sesame"));
    host = std::make_unique<Host>();
}

void TestLogIn::cleanup()
{
    login.reset();
    host.reset();
}

std::unique_ptr<LogIn> TestLogIn::start()
{
    auto made = std::make_unique<LogIn>(host.get());
    made->loginRepository()->setBaseUrl(server.endpoint());
    host->addToolBar(made->createToolBar());
    return made;
}

void TestLogIn::type(const QString& name, const QString& password)
{
    login->userNameField()->clear();
    QTest::keyClicks(login->userNameField(), name);
    login->userPasswordField()->clear();
    QTest::keyClicks(login->userPasswordField(), password);
}

// The reply to the log-in and the version request that follows the first one.
void TestLogIn::waitForAnswer(int requestsBefore)
{
    QTRY_VERIFY(server.requests().size() >= requestsBefore + 2);
    QTRY_COMPARE(login->loginRepository()->networkManager()->findChildren<QNetworkReply*>().size(),
                 0);
}

void TestLogIn::scramble_data()
{
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("scrambled");

    // Worked by hand. The plain alphabet: A-Z (0-25), a-z (26-51), 1-9 and 0 (52-61), then
    // ! @ $ % ^ & * ( ) _ + ? | , . : ; { } [ ] ~ ` - = (62-86). Character i of the text with
    // plain index p becomes substitution[(p + i) mod 87].
    // "A": p 0, i 0 -> substitution[0] = q.
    QTest::newRow("A") << QStringLiteral("A") << QStringLiteral("q");
    // p a s s w o r d = 41 26 44 44 48 40 43 29; plus 0..7 = 41 27 46 47 52 45 49 36
    // -> _ & Q | : ? w 4.
    QTest::newRow("password") << QStringLiteral("password") << QStringLiteral("_&Q|:?w4");
    // a: 26 -> j; the blank stays; b: 27 + 2 = 29 -> 2.
    QTest::newRow("a blank keeps its place") << QStringLiteral("a b") << QStringLiteral("j 2");
    // Outside the alphabet: unchanged.
    QTest::newRow("outside the alphabet")
        << QString::fromUtf8("#\"'é ") << QString::fromUtf8("#\"'é ");
    // 87 capital A give the substitution alphabet itself; the 88th wraps to its first letter.
    const QString substitution = QStringLiteral(
        "qW3e!Rt5Y@uI7o$Pa9S%dF1g^Hj&K2l*Zx(C4v)Bn_M6+?Q|,wE.:r;T{y}U[i]O~p`A-s=D0fG8hJkLzXcVbNm");
    QTest::newRow("87 characters") << QString(87, QLatin1Char('A')) << substitution;
    QTest::newRow("88 characters") << QString(88, QLatin1Char('A')) << substitution + "q";
    // "=" is plain index 86; at position 1 it wraps to 87 mod 87 = 0 -> q.
    QTest::newRow("index wraps") << QStringLiteral("A=") << QStringLiteral("qq");
}

void TestLogIn::scramble()
{
    QFETCH(QString, plain);
    QFETCH(QString, scrambled);
    QCOMPARE(LogIn::encrypt(plain), scrambled);
    QCOMPARE(LogIn::decrypt(scrambled), plain);
}

// Every character of the alphabet at every shift, past several wraps, with signs between.
void TestLogIn::scrambleRoundTrip()
{
    const QString alphabet = QStringLiteral(
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz1234567890!@$%^&*()_+?|,.:;{}[]~`-=");
    QString text;
    for (int i = 0; i < 3 * 87 + 5; ++i)
        text += i % 11 == 0 ? QStringLiteral(" #") : alphabet.at((i * 7) % 87);
    QVERIFY(text.size() > 87 * 3);
    const QString scrambled = LogIn::encrypt(text);
    QVERIFY(scrambled != text);
    QCOMPARE(scrambled.size(), text.size());
    QCOMPARE(LogIn::decrypt(scrambled), text);
}

// No settings yet: the placeholder name, an empty password field, Log In disabled until both
// are typed, and no automatic log-in but the version request.
void TestLogIn::firstStart()
{
    login = start();
    QCOMPARE(login->userNameField()->text(), QStringLiteral("username"));
    QCOMPARE(login->userPasswordField()->text(), QString());
    QCOMPARE(login->userPasswordField()->echoMode(), QLineEdit::Password);
    QVERIFY(!login->logInAction()->isEnabled());
    QVERIFY(!login->isOnlineLabelShown());

    login->logIn();
    QTRY_COMPARE(actions(server), QStringList{"version"});

    QTest::keyClicks(login->userPasswordField(), QStringLiteral("x"));
    QVERIFY2(!login->logInAction()->isEnabled(), "the name is still the placeholder");
    type(QStringLiteral("ann"), QStringLiteral("open sesame"));
    QVERIFY(login->logInAction()->isEnabled());
    // Nothing is stored before the attempt.
    QCOMPARE(logInKeys(), (QStringList{"-", "-", "-"}));
}

void TestLogIn::keysAfterAnswer_data()
{
    QTest::addColumn<QString>("password");
    // A fault of the server for the log-in, or: -1 none, -2 no server at the address, -3 no
    // answer in time, -4 a server of another make that answers status 201 and a user id.
    QTest::addColumn<int>("fault");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<bool>("loggedIn");
    // "@" stands for the address the log-in went to.
    QTest::addColumn<QStringList>("warnings");

    const QString scrambled = LogIn::encrypt(QStringLiteral("open sesame"));
    const QStringList kept{"1", "ann", LogIn::encrypt(QStringLiteral("old"))};
    const QString keptNote =
        QStringLiteral("\nYou are not logged in now; your log-in is kept for the next start.");
    QTest::newRow("accepted") << "open sesame" << -1 << QStringList{"1", "ann", scrambled} << true
                              << QStringList();
    QTest::newRow("refused") << "wrong" << -1 << QStringList{"0", "ann", "-"} << false
                             << QStringList{refusal};
    QTest::newRow("not a number") << "open sesame" << int(Fault::NotXml)
                                  << QStringList{"0", "ann", "-"} << false << QStringList{refusal};
    // The server was not reached or did not answer the log-in: nothing is forgotten.
    QTest::newRow("404") << "open sesame" << int(Fault::NotFound) << kept << false
                         << QStringList{"Content Not Found!",
                                        "The repository at @ answered with HTTP status 404" +
                                            keptNote};
    QTest::newRow("redirected") << "open sesame" << int(Fault::Redirect) << kept << false
                                << QStringList{"The repository at @ answered with HTTP status 302" +
                                               keptNote};
    QTest::newRow("no server")
        << "open sesame" << -2 << kept << false
        << QStringList{"Cannot reach the repository at @: Connection refused" + keptNote};
    QTest::newRow("no answer in time")
        << "open sesame" << -3 << kept << false
        << QStringList{"Cannot reach the repository at @: no reply within 300 ms" + keptNote};
    // Only 200 is an accepted log-in; another success is no refusal either.
    QTest::newRow("201 with a user id")
        << "open sesame" << -4 << kept << false
        << QStringList{"The repository at @ answered with HTTP status 201" + keptNote};
}

// The log-in keys after one attempt, whatever was stored before it.
void TestLogIn::keysAfterAnswer()
{
    QFETCH(QString, password);
    QFETCH(int, fault);
    QFETCH(QStringList, keys);
    QFETCH(bool, loggedIn);
    QFETCH(QStringList, warnings);

    // An earlier accepted log-in left a password behind.
    QSettings().setValue(Preferences::RememberLogIn, 1);
    QSettings().setValue(Preferences::UserName, QStringLiteral("bob"));
    QSettings().setValue(Preferences::UserPassword, LogIn::encrypt(QStringLiteral("old")));
    login = start();
    type(QStringLiteral("ann"), password);
    if (fault >= 0)
        server.scriptFault(Fault(fault), QStringLiteral("get_uid"));
    if (fault == -3) {
        server.scriptFault(Fault::NoAnswer, QStringLiteral("get_uid"));
        login->loginRepository()->setTransferTimeout(300);
    }
    StatusServer other;
    other.status = 201;
    other.body = QByteArray::number(server.users().first().uid);
    const QString address = fault == -2   ? QStringLiteral("http://127.0.0.1:1/action.php")
                            : fault == -4 ? other.endpoint()
                                          : server.endpoint();
    login->loginRepository()->setBaseUrl(address);

    MessageCapture capture;
    login->logInAction()->trigger();
    // The name is stored at the attempt; the password only with the answer.
    QCOMPARE(logInKeys(), (QStringList{"1", "ann", LogIn::encrypt(QStringLiteral("old"))}));
    if (fault == -2 || fault == -4) {
        QTRY_COMPARE(capture.warnings().size(), 1);
        QCOMPARE(capture.warnings().first(), warnings.first().replace('@', address));
        QCOMPARE(logInKeys(), keys);
        QVERIFY(!login->getUserCredentials()->loggedIn);
        QVERIFY(login->logInAction()->isVisible());
        return;
    }
    waitForAnswer(0);

    QCOMPARE(logInKeys(), keys);
    for (QString& w : warnings)
        w.replace('@', address);
    QCOMPARE(capture.warnings(), warnings);
    const UserCredentials* c = login->getUserCredentials();
    QCOMPARE(c->loggedIn, loggedIn);
    QCOMPARE(c->uid, loggedIn ? server.users().first().uid : -1);
    QCOMPARE(login->isOnlineLabelShown(), loggedIn);
    QCOMPARE(login->logInAction()->isVisible(), !loggedIn);
    // The version request follows the first answer.
    QCOMPARE(actions(server), (QStringList{"get_uid", "version"}));
}

void TestLogIn::logOutForgetsPassword()
{
    login = start();
    type(QStringLiteral("ann"), QStringLiteral("open sesame"));
    login->logInClickedSlot();
    waitForAnswer(0);
    QVERIFY(login->getUserCredentials()->loggedIn);

    login->logOut();
    QCOMPARE(logInKeys(), (QStringList{"0", "ann", "-"}));
    const UserCredentials* c = login->getUserCredentials();
    QVERIFY(!c->loggedIn);
    QCOMPARE(c->uid, -1);
    QVERIFY(c->name.isEmpty() && c->password.isEmpty());
    // The fields come back with their texts, Log In usable again.
    QVERIFY(login->logInAction()->isVisible());
    QVERIFY(login->logInAction()->isEnabled());
    QVERIFY(!login->isOnlineLabelShown());
    QCOMPARE(login->userNameField()->text(), QStringLiteral("ann"));
}

void TestLogIn::answerOfAnEarlierAttempt_data()
{
    QTest::addColumn<bool>("loggedOut"); // meanwhile; else a newer attempt was refused
    QTest::newRow("logged out meanwhile") << true;
    QTest::newRow("a newer attempt refused") << false;
}

// An accepted answer that arrives after a log-out or after a newer attempt changes nothing.
void TestLogIn::answerOfAnEarlierAttempt()
{
    QFETCH(bool, loggedOut);
    login = start();
    MessageCapture capture;
    server.scriptFault(Fault::Hold, QStringLiteral("get_uid"));
    type(QStringLiteral("ann"), QStringLiteral("open sesame"));
    login->logInClickedSlot();
    QTRY_COMPARE(server.heldCount(), 1);
    if (loggedOut) {
        login->logOut();
    } else {
        type(QStringLiteral("ann"), QStringLiteral("wrong"));
        login->logInClickedSlot();
        QTRY_COMPARE(capture.warnings(), QStringList{refusal});
    }
    server.releaseHeld();
    QTRY_COMPARE(actions(server).filter(QStringLiteral("version")).size(), 1);
    QTRY_COMPARE(login->loginRepository()->networkManager()->findChildren<QNetworkReply*>().size(),
                 0);

    const UserCredentials* c = login->getUserCredentials();
    QVERIFY(!c->loggedIn);
    QCOMPARE(c->uid, -1);
    QVERIFY(!login->isOnlineLabelShown());
    QVERIFY(login->logInAction()->isVisible());
    QCOMPARE(logInKeys(), (QStringList{"0", "ann", "-"}));
}

void TestLogIn::replyBodies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("uid"); // -1: refused
    QTest::newRow("id") << QByteArray("42") << 42;
    QTest::newRow("id and line break") << QByteArray(" 42\r\n") << 42;
    QTest::newRow("empty") << QByteArray() << -1;
    QTest::newRow("a page") << QByteArray("<html>42</html>") << -1;
    QTest::newRow("negative") << QByteArray("-3") << -1;
}

// The controller takes the user's id by the same rule as the client.
void TestLogIn::replyBodies()
{
    QFETCH(QByteArray, body);
    QFETCH(int, uid);
    login = start();
    type(QStringLiteral("ann"), QStringLiteral("open sesame"));
    server.scriptBody(body, QStringLiteral("get_uid"));
    MessageCapture capture;
    login->logInClickedSlot();
    waitForAnswer(0);
    QCOMPARE(login->getUserCredentials()->loggedIn, uid >= 0);
    QCOMPARE(login->getUserCredentials()->uid, uid);
    QCOMPARE(QSettings().contains(Preferences::UserPassword), uid >= 0);
    QCOMPARE(capture.warnings(), uid >= 0 ? QStringList() : QStringList{refusal});
}

void TestLogIn::nextStart_data()
{
    QTest::addColumn<QString>("before"); // what the last run did
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<bool>("loggedIn");
    QTest::newRow("accepted") << "accepted" << QStringList{"get_uid", "version"} << true;
    QTest::newRow("refused") << "refused" << QStringList{"version"} << false;
    QTest::newRow("logged out") << "logged out" << QStringList{"version"} << false;
}

// The next start logs in by itself only after an accepted log-in that was not logged out.
void TestLogIn::nextStart()
{
    QFETCH(QString, before);
    QFETCH(QStringList, requests);
    QFETCH(bool, loggedIn);

    {
        MessageCapture capture;
        login = start();
        type(QStringLiteral("ann"),
             before == "refused" ? QStringLiteral("wrong") : QStringLiteral("open sesame"));
        login->logInClickedSlot();
        waitForAnswer(0);
        if (before == "logged out")
            login->logOut();
        login.reset();
    }
    server.clearRequests();

    login = start();
    QCOMPARE(login->userNameField()->text(), QStringLiteral("ann"));
    QCOMPARE(login->userPasswordField()->text(),
             loggedIn ? QStringLiteral("open sesame") : QString());
    login->logIn();
    QTRY_COMPARE(actions(server), requests);
    QTRY_COMPARE(login->getUserCredentials()->loggedIn, loggedIn);
    QCOMPARE(login->isOnlineLabelShown(), loggedIn);
    if (loggedIn)
        QCOMPARE(login->getUserCredentials()->uid, server.users().first().uid);
}

// A remembered log-in whose password is gone is not attempted; the version check still is.
void TestLogIn::rememberedLogInWithoutPassword()
{
    QSettings().setValue(Preferences::RememberLogIn, 1);
    QSettings().setValue(Preferences::UserName, QStringLiteral("ann"));
    login = start();
    QVERIFY(!login->logInAction()->isEnabled());
    login->logIn();
    QTRY_COMPARE(actions(server), QStringList{"version"});
}

void TestLogIn::settingsFileIsPrivate_data()
{
    QTest::addColumn<bool>("fileBefore"); // the settings file existed, readable by all
    QTest::newRow("new settings file") << false;
    QTest::newRow("existing settings file") << true;
}

// Once the file holds a password only its owner may read it, also after later writes.
void TestLogIn::settingsFileIsPrivate()
{
    QFETCH(bool, fileBefore);
    const QString path = QSettings().fileName();
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const auto everyone = ownerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    if (fileBefore) {
        Preferences().saveSetting(Preferences::ShowStartWindow, false);
        QVERIFY(QFileInfo::exists(path));
        QVERIFY(QFile::setPermissions(path, everyone));
    }

    login = start();
    type(QStringLiteral("ann"), QStringLiteral("open sesame"));
    login->logInClickedSlot();
    waitForAnswer(0);
    QVERIFY(QSettings().contains(Preferences::UserPassword));
    const auto mask = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                      QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther;
    QCOMPARE(QFileInfo(path).permissions() & mask, ownerOnly);

    Preferences().saveSetting(Preferences::RecentFiles, QStringList{"/tmp/a.ktl"});
    QCOMPARE(QFileInfo(path).permissions() & mask, ownerOnly);
    if (fileBefore)
        QCOMPARE(QSettings().value(Preferences::ShowStartWindow).toBool(), false);
}

KL_TEST_MAIN(TestLogIn)
#include "test_login.moc"
