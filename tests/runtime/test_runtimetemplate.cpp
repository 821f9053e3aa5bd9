// The emulator template's fixed text, driven directly: the integer helpers, the note table and
// the audio callback's sample format and control timing.
#include "EmulatorBuild.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QProcess>
#include <QtTest>

#include <cmath>

class TestRuntimeTemplate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sinQuarterTurns_data();
    void sinQuarterTurns();
    void sinStaysInRangeAndRepeatsEveryTurn();
    void sinFollowsTheSine();
    void ranRepeatsInEveryRun();
    void midiCpsIsTheNearestInteger();
    void midiCpsIsTheGeneratorsOutput();
    void samplePlayed_data();
    void samplePlayed();
    void controlTicksEvery200Frames();
    void callbackFillsWholeFramesOnly_data();
    void callbackFillsWholeFramesOnly();
    void headerIncludesNothing();
    void audioLayerCallsAtStart();

private:
    QStringList drive(const QByteArray& script);

    TempProgramDir programDir;
    EmulatorBuild build{programDir.path()};
    QString driver;
};

void TestRuntimeTemplate::initTestCase()
{
    QVERIFY(build.stage());
    QByteArray log;
    driver = build.buildDriver("probe_driver.c", EmulatorBuild::fixture("probe.dyn.c"), &log);
    QVERIFY2(!driver.isEmpty(), log.constData());
}

QStringList TestRuntimeTemplate::drive(const QByteArray& script)
{
    QProcess p;
    p.start(driver, QStringList());
    if (!p.waitForStarted(10000))
        return {"not started"};
    p.write(script);
    p.closeWriteChannel();
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return {"not finished"};
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {"failed", QString::fromLocal8Bit(p.readAllStandardError())};
    return QString::fromLocal8Bit(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

void TestRuntimeTemplate::sinQuarterTurns_data()
{
    QTest::addColumn<int>("phase");
    QTest::addColumn<int>("value");
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("quarter") << 8192 << 4096;
    QTest::newRow("half") << 16384 << 0;
    QTest::newRow("three quarters") << 24576 << -4096;
    QTest::newRow("full turn") << 32768 << 0;
    QTest::newRow("negative quarter") << -8192 << -4096;
    QTest::newRow("second turn quarter") << 40960 << 4096;
}

void TestRuntimeTemplate::sinQuarterTurns()
{
    QFETCH(int, phase);
    QFETCH(int, value);
    QCOMPARE(drive("sin " + QByteArray::number(phase) + "\n"), QStringList{QString::number(value)});
}

void TestRuntimeTemplate::sinStaysInRangeAndRepeatsEveryTurn()
{
    // Four turns around 0, including the phases where the folding changes sides.
    QCOMPARE(drive("sinrange -65536 65536\n"), QStringList{"-4096 4096 0"});
    // Far phases wrap like the 15-bit phase they stand for.
    QCOMPARE(drive("sinrange 2147450880 2147483647\n"), QStringList{"-4096 4096 0"});
}

void TestRuntimeTemplate::sinFollowsTheSine()
{
    QByteArray script;
    for (int phase = 0; phase < 32768; phase += 256)
        script += "sin " + QByteArray::number(phase) + "\n";
    const QStringList values = drive(script);
    QCOMPARE(values.size(), 128);
    for (int i = 0; i < values.size(); ++i) {
        const double exact = 4096.0 * std::sin(2.0 * M_PI * i * 256 / 32768.0);
        // A third-order curve through the quarter turns: within 2% of the amplitude.
        QVERIFY2(std::fabs(values[i].toInt() - exact) <= 84.0,
                 qPrintable(QString("phase %1: %2 vs %3").arg(i * 256).arg(values[i]).arg(exact)));
    }
}

void TestRuntimeTemplate::ranRepeatsInEveryRun()
{
    const QStringList first = drive("ran 1000\n");
    QCOMPARE(first.size(), 1000);
    QCOMPARE(drive("ran 1000\n"), first);
    quint32 seed = 22222;
    seed = seed * 196314165u + 907633515u;
    QCOMPARE(first.first().toUInt(), seed >> 22);
    int distinct = QSet<QString>(first.begin(), first.end()).size();
    for (const QString& v : first)
        QVERIFY(v.toUInt() <= 1023);
    QVERIFY2(distinct > 400, "ran() should spread over 0..1023");
}

void TestRuntimeTemplate::midiCpsIsTheNearestInteger()
{
    const QStringList table = drive("cps\n");
    QCOMPARE(table.size(), 256);
    QCOMPARE(table[0].toLongLong(), 8372);
    QCOMPARE(table[69].toLongLong(), 450560);
    QCOMPARE(table[127].toLongLong(), 12844906);
    for (int n = 0; n < 256; ++n) {
        // Long double carries 64 bits here: an error far below the margin asked for, so the
        // rounding below is the exact one whenever the margin holds.
        const long double value =
            450560.0L * std::pow(2.0L, static_cast<long double>(n % 128 - 69) / 12.0L);
        const long double below = std::floor(value);
        const long double fraction = value - below;
        QVERIFY2(std::fabs(fraction - 0.5L) > 1e-6L, qPrintable(QString("note %1").arg(n)));
        const long long nearest = static_cast<long long>(below) + (fraction > 0.5L ? 1 : 0);
        QCOMPARE(table[n].toLongLong(), nearest);
    }
}

void TestRuntimeTemplate::midiCpsIsTheGeneratorsOutput()
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start("python3", {testsupport::sourcePath("runtime/generators/midi_cps.py"), "--check",
                        build.templatePath()});
    if (!p.waitForStarted(10000))
        QSKIP("python3 is not available");
    QVERIFY(p.waitForFinished(60000));
    QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, p.readAll().constData());
}

void TestRuntimeTemplate::samplePlayed_data()
{
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::addColumn<int>("leftSample");
    QTest::addColumn<int>("rightSample");
    QTest::newRow("2048 wraps, 511 plays x16") << 2048 << 511 << -32768 << 8176;
    QTest::newRow("channels kept apart") << 511 << 2048 << 8176 << -32768;
    QTest::newRow("audio range ends") << -512 << 0 << -8192 << 0;
    QTest::newRow("largest values that fit") << 2047 << -2048 << 32752 << -32768;
    QTest::newRow("below the range wraps") << -2049 << -1 << 32752 << -16;
    QTest::newRow("only the low 16 bits count") << 4096 << 65539 << 0 << 48;
    QTest::newRow("extremes") << int(0x7fffffff) << int(-0x7fffffff - 1) << -16 << 0;
}

void TestRuntimeTemplate::samplePlayed()
{
    QFETCH(int, left);
    QFETCH(int, right);
    QFETCH(int, leftSample);
    QFETCH(int, rightSample);
    const QStringList played =
        drive("play " + QByteArray::number(left) + " " + QByteArray::number(right) + "\n");
    QCOMPARE(played, QStringList{QString("%1 %2").arg(leftSample).arg(rightSample)});
}

void TestRuntimeTemplate::controlTicksEvery200Frames()
{
    // Buffers of odd sizes: the count carries over from one call to the next.
    QStringList expected;
    for (int frame = 200; frame <= 1600; frame += 200)
        expected << QString::number(frame);
    const QStringList ticks =
        drive("run 37\nrun 163\nticks\nrun 1\nticks\nrun 999\nrun 1\nrun 399\nrun 200\nticks\n");
    QCOMPARE(ticks.size(), 3);
    QCOMPARE(ticks[0], QString("ticks:"));
    QCOMPARE(ticks[1], QString("ticks: 200")); // the first tick comes before frame 201
    QCOMPARE(ticks[2], "ticks: " + expected.join(' '));
}

void TestRuntimeTemplate::callbackFillsWholeFramesOnly_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<QString>("answer");
    QTest::newRow("two frames") << 8 << "8 8";
    QTest::newRow("frame and a half") << 6 << "6 4";
    QTest::newRow("less than a frame") << 3 << "3 0";
    QTest::newRow("nothing") << 0 << "0 0";
}

void TestRuntimeTemplate::callbackFillsWholeFramesOnly()
{
    QFETCH(int, bytes);
    QFETCH(QString, answer);
    // The stream never ends: the callback returns the length it was given.
    QCOMPARE(drive("partial " + QByteArray::number(bytes) + "\n"), QStringList{answer});
}

void TestRuntimeTemplate::headerIncludesNothing()
{
    // bass.h comes before <stdint.h> in emul.c and must not bring a declaration of sin.
    QProcess cc;
    cc.setWorkingDirectory(build.emulatorDir());
    cc.start("cc", {"-std=c99", "-pedantic", "-fno-builtin", "-Wall", "-Wextra", "-Werror",
                    "-fsyntax-only", "-H", "-x", "c", "-"});
    QVERIFY(cc.waitForStarted(10000));
    cc.write("#include \"bass.h\"\nstatic int sin(int x) { return x; }\n"
             "int main(void) { BASS_INFO i; i.minbuf = 0; return sin((int)i.minbuf); }\n");
    cc.closeWriteChannel();
    QVERIFY(cc.waitForFinished(60000));
    const QString diagnostics = QString::fromLocal8Bit(cc.readAllStandardError());
    QVERIFY2(cc.exitCode() == 0, qPrintable(diagnostics));
    // -H names every header read after the source's own, one per line starting with dots.
    QStringList headers;
    for (const QString& line : diagnostics.split('\n', Qt::SkipEmptyParts))
        if (line.startsWith('.'))
            headers << line;
    QCOMPARE(headers.size(), 1);
    QVERIFY2(headers[0].endsWith("bass.h"), qPrintable(headers[0]));
}

void TestRuntimeTemplate::audioLayerCallsAtStart()
{
    // The program built against a layer that records the calls: the update period of 10 ms and
    // the buffer of the device's minimum plus 128 ms are set before the stream is made.
    QVERIFY(build.writeSource(EmulatorBuild::fixture("tone.dyn.c")));
    const QString dir = build.emulatorDir();
    QFile layer(dir + "/recording_bass.c");
    QVERIFY(layer.open(QIODevice::WriteOnly));
    layer.write(EmulatorBuild::fixture("recording_bass.c"));
    layer.close();
    QProcess cc;
    cc.setProcessChannelMode(QProcess::MergedChannels);
    cc.setWorkingDirectory(dir);
    cc.start("cc", {"-std=c99", "-O1", "-fwrapv", "-fno-builtin", "-I" + dir, "-o",
                    dir + "/recorded", dir + "/emul.c", dir + "/recording_bass.c"});
    QVERIFY(cc.waitForFinished(60000));
    QVERIFY2(cc.exitCode() == 0, cc.readAll().constData());

    QProcess program;
    program.start(dir + "/recorded", QStringList());
    QVERIFY(program.waitForStarted(30000));
    program.write("x");
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitCode(), 0);
    const QStringList calls =
        QString::fromLocal8Bit(program.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(calls,
             (QStringList{"BASS_Init -1 20000 0 null null", "BASS_SetConfig 1 10", "BASS_GetInfo",
                          "BASS_SetConfig 0 165", "BASS_StreamCreate 20000 2 0 callback null",
                          "callback 800 -> 800", "BASS_ChannelPlay 7 0"}));
}

KL_TEST_MAIN_NOAPP(TestRuntimeTemplate)
#include "test_runtimetemplate.moc"
