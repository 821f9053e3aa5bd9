// The audio layer alone: it pulls the stream at the pace and in the chunks that the update
// period set before the stream was created asks for, and always reports a minimum buffer.
#include "EmulatorBuild.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QProcess>
#include <QtTest>

class TestAudioLayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pacing_data();
    void pacing();

private:
    TempProgramDir programDir;
    EmulatorBuild build{programDir.path()};
    QString driver;
};

void TestAudioLayer::initTestCase()
{
    QVERIFY(build.stage());
    QProcess cc;
    cc.setProcessChannelMode(QProcess::MergedChannels);
    const QString dir = build.emulatorDir();
    const QString source = dir + "/layer_driver.c";
    QFile f(source);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(EmulatorBuild::fixture("layer_driver.c"));
    f.close();
    driver = dir + "/layer_driver";
    cc.start("cc", {"-std=c99", "-Wall", "-Wextra", "-Werror", "-O2", "-o", driver, source,
                    "-L" + dir, "-lbass", "-Wl,-rpath," + dir});
    QVERIFY(cc.waitForFinished(60000));
    QVERIFY2(cc.exitCode() == 0, cc.readAll().constData());
}

void TestAudioLayer::pacing_data()
{
    QTest::addColumn<QString>("sink");
    QTest::addColumn<int>("periodMs");
    QTest::addColumn<int>("bufferMs");
    QTest::newRow("null, the runtime's 10 ms") << "null" << 10 << 138;
    QTest::newRow("null, 40 ms") << "null" << 40 << 200;
    QTest::newRow("file, 10 ms") << "file" << 10 << 138;
}

void TestAudioLayer::pacing()
{
    QFETCH(QString, sink);
    QFETCH(int, periodMs);
    QFETCH(int, bufferMs);
    const int runMs = 1000;
    QTemporaryDir scratch;
    const QString path = scratch.filePath("out.raw");
    QProcess p;
    p.setProcessEnvironment(
        EmulatorBuild::audioEnvironment(sink == "file" ? "file:" + path : sink));
    p.start(driver, {QString::number(periodMs), QString::number(bufferMs), QString::number(runMs)});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(p.readAllStandardError(), QByteArray());
    QMap<QString, qint64> value;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2)
            value[QString::fromLatin1(parts[0])] = parts[1].toLongLong();
    }
    QVERIFY(value.value("minbuf-before") > 0 && value.value("minbuf-before") < 1000);
    QVERIFY(value.value("minbuf") > 0 && value.value("minbuf") < 1000);
    QCOMPARE(value.value("misaligned"), 0);

    // One pull per update period, each of the frames that period made due. The counts are
    // taken over the time the run really lasted; on a loaded machine the pacing thread wakes
    // late now and then, so it pulls less often and more at a time, but never ahead of time.
    const double seconds = value.value("elapsed") / 1e6;
    QVERIFY2(seconds >= runMs / 1000.0, qPrintable(QString("%1 s").arg(seconds)));
    const double expectedCalls = seconds * 1000 / periodMs;
    QVERIFY2(value.value("calls") > 0.5 * expectedCalls &&
                 value.value("calls") < 1.2 * expectedCalls,
             qPrintable(QString("%1 calls in %2 s").arg(value.value("calls")).arg(seconds)));
    const qint64 chunk = 20000LL * periodMs / 1000 * 4;
    QVERIFY2(value.value("median") >= chunk - chunk / 10 && value.value("median") <= chunk * 3 / 2,
             qPrintable(QString("median %1 bytes").arg(value.value("median"))));
    const double bytes = value.value("bytes");
    QVERIFY2(bytes > 0.6 * 80000 * seconds && bytes < 1.05 * 80000 * seconds,
             qPrintable(QString("%1 bytes in %2 s").arg(bytes).arg(seconds)));
    if (sink == "file") {
        // Everything pulled before the driver ended is in the file.
        QVERIFY(QFileInfo(path).size() >= value.value("bytes"));
    }
}

KL_TEST_MAIN_NOAPP(TestAudioLayer)
#include "test_audiolayer.moc"
