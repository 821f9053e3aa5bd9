// knotlattice-repository's command line: its data file, seeding, adding users, its options,
// its log, and how it stops.
#include "RawHttp.h"
#include "ServerProcess.h"
#include "TestMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpServer>

#include <sqlite3.h>

namespace {

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the program to its end with `input` on standard input.
Run run(const QStringList& arguments, const QByteArray& input = QByteArray(),
        const QString& folder = QString())
{
    QProcess process;
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(ServerProcess::program(), arguments);
    Run r;
    if (!process.waitForStarted(30000))
        return r;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished(30000);
        return r;
    }
    r.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    r.out = process.readAllStandardOutput();
    r.err = process.readAllStandardError();
    return r;
}

QByteArray logIn(quint16 port, const QByteArray& name, const QByteArray& password)
{
    return RawHttp::exchange(port, RawHttp::get("get_uid&name=" + name.toBase64() +
                                                "&pass=" + password.toBase64()))
        .body;
}

} // namespace

class TestServerCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void badArguments_data();
    void badArguments();
    void addUser();
    void seedOnlyIntoAnEmptyDatabase();
    void seedRefusedWhole_data();
    void seedRefusedWhole();
    void keepsItsDataAcrossRestarts();
    void defaultDataFileIsInTheUsersDataFolder();
    void refusesAFileThatIsNotItsDatabase_data();
    void refusesAFileThatIsNotItsDatabase();
    void portInUse();
    void stopsOnTerminate_data();
    void stopsOnTerminate();
    void logHasOneEscapedLinePerRequest();
};

void TestServerCommandLine::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("no cap") << QStringList{"--max-connections", "0"} << 2
                            << "--max-connections needs a number";
    QTest::newRow("per address no number")
        << QStringList{"--max-per-address", "-1"} << 2 << "--max-per-address needs a number";
    QTest::newRow("timeout no number")
        << QStringList{"--idle-timeout", "soon"} << 2 << "--idle-timeout needs a number";
    QTest::newRow("timeout zero") << QStringList{"--idle-timeout", "0"} << 2
                                  << "--idle-timeout needs a number";
    QTest::newRow("user name empty")
        << QStringList{"--add-user", ""} << 2 << "--add-user needs a name";
    QTest::newRow("user name with a blank around it")
        << QStringList{"--add-user", "ann "} << 2 << "--add-user needs a name";
    QTest::newRow("user name with a line feed")
        << QStringList{"--add-user", "ann\nroot"} << 2 << "--add-user needs a name";
}

void TestServerCommandLine::badArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir folder;
    const QString data = folder.filePath(QStringLiteral("repository.sqlite"));
    const Run r = run(QStringList{"--port", "0", "--data", data} + arguments);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(message.toUtf8()), r.err.constData());
    // Nothing was made of a refused command line.
    QVERIFY(!QFile::exists(data));
}

void TestServerCommandLine::addUser()
{
    ServerProcess server;
    const QString data = server.dataFile();
    const Run added = run({"--data", data, "--add-user", "carol"}, "s3cret pass\n");
    QCOMPARE(added.exitCode, 0);
    QVERIFY2(added.out.contains("Added user carol (uid 1)"), added.out.constData());
    const Run again = run({"--data", data, "--add-user", "carol"}, "other\n");
    QCOMPARE(again.exitCode, 1);
    QVERIFY2(again.err.contains("a user carol exists already"), again.err.constData());
    const Run empty = run({"--data", data, "--add-user", "dave"}, "");
    QCOMPARE(empty.exitCode, 1);
    QVERIFY2(empty.err.contains("no password"), empty.err.constData());
    const Run dave = run({"--data", data, "--add-user", "Zo\u00eb & Co"}, "p\xc3\xa4ss\r\n");
    QCOMPARE(dave.exitCode, 0);

    QVERIFY(server.start());
    QCOMPARE(logIn(server.port(), "carol", "s3cret pass"), QByteArray("1"));
    QCOMPARE(logIn(server.port(), "carol", "other"), QByteArray());
    QCOMPARE(logIn(server.port(), "Zo\xc3\xab & Co", "p\xc3\xa4ss"), QByteArray("2"));
    QCOMPARE(logIn(server.port(), "dave", ""), QByteArray());
    QVERIFY(server.stop());
    // Stored as a digest only.
    for (const QString& name : QDir(server.folderPath()).entryList({"repository.sqlite*"}))
        QVERIFY2(!testsupport::readFile(server.folderPath() + "/" + name).contains("s3cret"),
                 qPrintable(name));
}

void TestServerCommandLine::seedOnlyIntoAnEmptyDatabase()
{
    ServerProcess server;
    const QString seed = server.writeSeed();
    QVERIFY(server.start({"--seed", seed}));
    QVERIFY2(server.log().contains("2 users, 1 patches, 2 blocks\n"), server.log().constData());
    QVERIFY(server.log().contains("Seed " + seed.toUtf8() + " applied"));
    QVERIFY(server.stop());

    QVERIFY(server.start({"--seed", seed}));
    QVERIFY2(server.log().contains("2 users, 1 patches, 2 blocks\n"), server.log().constData());
    QVERIFY(server.log().contains("Seed not applied: the database already holds entries"));
    QVERIFY(server.stop());

    // A database with only a user is not empty either.
    ServerProcess other;
    const QString otherSeed = other.writeSeed();
    QCOMPARE(run({"--data", other.dataFile(), "--add-user", "zed"}, "pw\n").exitCode, 0);
    QVERIFY(other.start({"--seed", otherSeed}));
    QVERIFY2(other.log().contains("1 users, 0 patches, 0 blocks\n"), other.log().constData());
    QVERIFY(other.log().contains("Seed not applied"));
    QVERIFY(other.stop());
}

void TestServerCommandLine::seedRefusedWhole_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    const QByteArray past = QByteArray(16 * 1024 * 1024 + 1 - 40, 'h');
    QTest::newRow("a patch past 16 MiB")
        << "patches/Huge.ktl" << QByteArray(16 * 1024 * 1024 + 1, 'p')
        << "Huge.ktl is larger than 16 MiB";
    QTest::newRow("a block past 16 MiB") << "blocks/huge.xml"
                                         << "<block name=\"huge\"><help>" + past + "</help></block>"
                                         << "huge.xml is larger than 16 MiB";
    QTest::newRow("a user name with a control character")
        << "users.txt" << QByteArray("ann pw-ann\nb\x01b a?>b\n") << "is not a user name";
    QTest::newRow("a user name past 100 characters")
        << "users.txt"
        << "ann pw-ann\n" + QByteArray(101, 'n') + " pw\n"
        << "is not a user name";
}

// A seed with one entry the repository does not take is applied not at all.
void TestServerCommandLine::seedRefusedWhole()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    ServerProcess server;
    const QString seed = server.writeSeed();
    QVERIFY(testsupport::writeFile(seed + "/" + file, bytes));
    const Run r = run({"--port", "0", "--data", server.dataFile(), "--seed", seed});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains(message.toUtf8()), r.err.constData());
    QVERIFY(server.start());
    QVERIFY2(server.log().contains("0 users, 0 patches, 0 blocks\n"), server.log().constData());
    QVERIFY(server.stop());
}

void TestServerCommandLine::keepsItsDataAcrossRestarts()
{
    ServerProcess server;
    QVERIFY(server.start({"--seed", server.writeSeed()}));
    const RawHttp::Parts comment{{"comment", "kept"}};
    QCOMPARE(
        RawHttp::exchange(server.port(),
                          RawHttp::post("upload_patch_comment&uid=2&pass=YT8+Yg==&id=1", comment))
            .body,
        QByteArray("1"));
    QVERIFY(server.stop());
    QVERIFY(server.start());
    QVERIFY(RawHttp::exchange(server.port(), RawHttp::get("list_patch_comments&id=1"))
                .body.contains("<![CDATA[kept]]>"));
    QCOMPARE(logIn(server.port(), "bob", "a?>b"), QByteArray("2"));
    QVERIFY(server.stop());
}

void TestServerCommandLine::defaultDataFileIsInTheUsersDataFolder()
{
    const Run help = run({"--help"});
    QCOMPARE(help.exitCode, 0);
    const QByteArray expected =
        qgetenv("XDG_DATA_HOME") + "/knotlattice-repository/repository.sqlite";
    // The help text wraps long lines.
    QByteArray text = help.out;
    text.replace(' ', "").replace('\n', "");
    QVERIFY2(text.contains(expected), help.out.constData());
}

void TestServerCommandLine::refusesAFileThatIsNotItsDatabase_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("message");
    QTest::newRow("text") << QByteArray("name password\nann pw\n") << "not a database";
    QTest::newRow("no database at all") << QByteArray(8192, '\x5a') << "not a database";
    QTest::newRow("another program's database") << QByteArray() << "another program's database";
}

void TestServerCommandLine::refusesAFileThatIsNotItsDatabase()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, message);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("mine.sqlite"));
    if (contents.isEmpty()) {
        // An SQLite file with a table of its own.
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, "CREATE TABLE notes(x); INSERT INTO notes VALUES(1);", nullptr,
                              nullptr, nullptr),
                 SQLITE_OK);
        sqlite3_close(db);
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    const QByteArray before = testsupport::readFile(path);
    const Run r = run({"--port", "0", "--data", path});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("cannot open the database") && r.err.contains(message.toUtf8()),
             r.err.constData());
    QCOMPARE(testsupport::readFile(path), before);
}

void TestServerCommandLine::portInUse()
{
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost));
    QTemporaryDir folder;
    const Run r = run({"--port", QString::number(taken.serverPort()), "--data",
                       folder.filePath(QStringLiteral("repository.sqlite"))});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(
        r.err.contains("cannot listen on 127.0.0.1 port " + QByteArray::number(taken.serverPort())),
        r.err.constData());
}

void TestServerCommandLine::stopsOnTerminate_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("as it starts") << QStringList();
    QTest::newRow("a cap below the processor count") << QStringList{"--max-connections", "2"};
    QTest::newRow("a cap of one") << QStringList{"--max-connections", "1"};
}

void TestServerCommandLine::stopsOnTerminate()
{
    QFETCH(QStringList, arguments);
    ServerProcess server;
    QVERIFY(server.start(arguments));
    QCOMPARE(RawHttp::exchange(server.port(), RawHttp::get("version")).status, 200);
    QVERIFY(server.stop());
}

void TestServerCommandLine::logHasOneEscapedLinePerRequest()
{
    ServerProcess server;
    QVERIFY(server.start({"--seed", server.writeSeed()}));
    const QByteArray before = server.log();
    // A terminal control sequence and a line of its own, hidden in the action.
    RawHttp::exchange(server.port(),
                      RawHttp::get("%1b[2J%0Arequest%20get_uid%20pass=x&name=Ym9i&pass=YT8+Yg=="));
    RawHttp::exchange(server.port(), RawHttp::get("get_uid&name=Ym9i&pass=YT8+Yg=="));
    RawHttp::exchange(
        server.port(),
        RawHttp::post("upload_patch&uid=2&pass=YT8+Yg==",
                      {{"name", "n"}, {"filename", "f"}, {"description", "d"}, {"file", "eA=="}}));
    QVERIFY(
        QTest::qWaitFor([&] { return server.log().count('\n') >= before.count('\n') + 3; }, 10000));
    const QByteArray added = server.log().mid(before.size());
    const QList<QByteArray> lines = added.trimmed().split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines.at(0).endsWith(" 127.0.0.1 GET \\x1b[2J\\x0arequest\\x20get_uid\\x20pass=x 404"),
             lines.at(0).constData());
    QVERIFY2(lines.at(1).endsWith(" 127.0.0.1 GET get_uid 200"), lines.at(1).constData());
    QVERIFY2(lines.at(2).endsWith(" 127.0.0.1 POST upload_patch 200"), lines.at(2).constData());
    QVERIFY(!added.contains('\x1b'));
    QVERIFY(!added.contains("YT8"));
    QVERIFY(!added.contains("Ym9i"));
    QVERIFY(server.stop());
}

KL_TEST_MAIN(TestServerCommandLine)
#include "test_servercommandline.moc"
