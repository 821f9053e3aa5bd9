// knotlattice-repository: its options, its seed and a client talking to it.
#include "MessageCapture.h"
#include "ProgramPaths.h"
#include "RepositoryServer.h"
#include "RepositoryTestKit.h"
#include "TestMain.h"
#include "UserCredentials.h"

#include <QApplication>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QUrl>

namespace {

QString program()
{
    return QString::fromLocal8Bit(qgetenv("KNOTLATTICE_REPOSITORY_PROGRAM"));
}

QString seed()
{
    return testsupport::sourcePath(QStringLiteral("tools/repository-server/seed"));
}

} // namespace

class TestRepositoryProgram : public QObject
{
    Q_OBJECT
private slots:
    void badArguments_data();
    void badArguments();
    void servesItsSeed();
    void defaultAddressIsOurServer();
};

void TestRepositoryProgram::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("port no number") << QStringList{"--port", "x"} << 2 << "--port needs a number";
    QTest::newRow("port too large")
        << QStringList{"--port", "70000"} << 2 << "--port needs a number";
    QTest::newRow("address no address")
        << QStringList{"--listen", "here"} << 2 << "--listen needs an IP address";
    QTest::newRow("stray argument") << QStringList{"seed"} << 2 << "unexpected argument seed";
    QTest::newRow("no such seed") << QStringList{"--port",        "0",      "--data",
                                                 "unused.sqlite", "--seed", "/nonexistent/seed"}
                                  << 1 << "no such folder: /nonexistent/seed";
}

void TestRepositoryProgram::badArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir data;
    QProcess process;
    process.setWorkingDirectory(data.path());
    process.start(program(), arguments);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), exitCode);
    QVERIFY2(process.readAllStandardError().contains(message.toUtf8()), qPrintable(message));
}

void TestRepositoryProgram::servesItsSeed()
{
    QTemporaryDir data;
    QProcess process;
    process.start(program(),
                  {"--port", "0", "--data", data.filePath("repository.sqlite"), "--seed", seed()});
    QVERIFY(process.waitForStarted(30000));
    const auto stop = qScopeGuard([&process] {
        process.terminate();
        process.waitForFinished(30000);
    });
    QByteArray out;
    while (!out.contains("blocks\n") && process.waitForReadyRead(30000))
        out += process.readAllStandardOutput();
    const QByteArray first = out.left(out.indexOf('\n'));
    QVERIFY2(first.startsWith("Knotlattice repository at http://127.0.0.1:"), first.constData());
    QVERIFY2(out.contains("2 users, 1 patches, 1 blocks"), out.constData());
    const QString endpoint = QString::fromUtf8(first.mid(first.lastIndexOf(' ') + 1));

    MessageCapture capture;
    FakeHost host;
    UserCredentials demo;
    demo.name = QStringLiteral("demo");
    demo.password = QStringLiteral("demo");
    Repository repository(&host, &demo);
    repository.setBaseUrl(endpoint);
    SignalLog log(&repository);
    repository.logIn(&demo);
    QTRY_COMPARE(log.lines, QStringList{"login 1"});
    repository.getCommunityDatabase();
    QTRY_COMPARE(log.lines, (QStringList{"login 1", "patches 1", "blocks 1"}));
    QCOMPARE(log.lastPatches.first().name, QStringLiteral("Knob Synth"));
    QCOMPARE(log.lastPatches.first().description,
             QStringLiteral("A tone whose pitch and level follow two knobs."));
    QCOMPARE(log.lastBlocks.first().name, QStringLiteral("demo.Halve"));
    QCOMPARE(log.lastBlocks.first().category, QStringLiteral("Math"));

    QFile example(testsupport::sourcePath(QStringLiteral("tools/repository-server/seed/patches/"
                                                         "Knob Synth.ktl")));
    QVERIFY(example.open(QIODevice::ReadOnly));
    const QByteArray exampleBytes = example.readAll();
    repository.getPatch(log.lastPatches.first().id);
    QTRY_COMPARE(host.patches, QList<QByteArray>{exampleBytes});

    // A patch lacking the block gets it by name.
    RepositoryBlock wanted;
    wanted.name = QStringLiteral("demo.Halve");
    RepositoryBlocks missing{wanted};
    repository.getBlockList(missing);
    QTRY_COMPARE(host.blockFileSets.size(), 1);
    QVERIFY(host.blockFileSets.first().first().contains("<block name=\"demo.Halve\">"));

    QTRY_VERIFY((out += process.readAllStandardOutput()).contains(" GET get_block 200\n"));
    // The password travels in the query, so the log names actions only.
    QVERIFY(!out.contains("pass"));
}

void TestRepositoryProgram::defaultAddressIsOurServer()
{
    qunsetenv("KNOTLATTICE_REPOSITORY_URL");
    const QUrl url(util::repositoryUrl());
    QCOMPARE(url.scheme(), QStringLiteral("http"));
    QCOMPARE(url.host(), QStringLiteral("127.0.0.1"));
    QCOMPARE(url.port(), int(RepositoryServer::defaultPort));
    QCOMPARE(url.path(), QStringLiteral("/action.php"));
    qputenv("KNOTLATTICE_REPOSITORY_URL", "https://example.invalid/x/action.php");
    QCOMPARE(util::repositoryUrl(), QStringLiteral("https://example.invalid/x/action.php"));
    qunsetenv("KNOTLATTICE_REPOSITORY_URL");
}

KL_TEST_MAIN(TestRepositoryProgram)
#include "test_repositoryprogram.moc"
