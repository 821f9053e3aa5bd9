// The emulator program built from a hand-written patch through the staged compile.sh: its
// standard-input protocol, its end, and the audio layer's sinks. The patch plays an exact
// 440 Hz tone on the left and control 1 on the right, and prints the four controls
// ("c0 c1 c2 c3") at the control tick after any of them changed.
#include "EmulatorBuild.h"
#include "EmulatorRun.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstring>

namespace {

// An ALSA set-up whose only output names a card that does not exist (and which lacks the
// definitions that sound cards are opened through), and one whose default output is ALSA's
// discarding device: the tests decide what "the default device" is on any machine.
const QByteArray noDeviceConfig =
    "pcm.!default { type hw card 99 }\nctl.!default { type hw card 99 }\n";
const QByteArray nullDeviceConfig = "pcm.!default { type null }\nctl.!default { type hw card 0 }\n";

// How long a wait may take at most. Each wait ends as soon as what it waits for has happened,
// so this only needs to be generous enough for a machine under heavy load.
constexpr int Patience = 30000;

// Waits until `done` holds, reading the program's output meanwhile; false when the program
// ended or the patience ran out first.
template <typename Condition> bool waitUntil(EmulatorRun& run, Condition done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > Patience || !run.running())
            return false;
        run.collectFor(20);
    }
    return true;
}

} // namespace

class TestEmulatorProgram : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void controlValues_data();
    void controlValues();
    void ends_data();
    void ends();
    void burstOfValuesIsTakenAtOnce();
    void fileSinkRecordsWhatIsPlayed();
    void sinkChoice_data();
    void sinkChoice();

private:
    QProcessEnvironment environment(const QString& sink,
                                    const QByteArray& alsaConfig = QByteArray());

    TempProgramDir programDir;
    QTemporaryDir scratch;
    EmulatorBuild build{programDir.path()};
};

void TestEmulatorProgram::initTestCase()
{
    QVERIFY(build.stage());
    QByteArray log;
    QVERIFY2(build.buildProgram(EmulatorBuild::fixture("tone.dyn.c"), &log), log.constData());
}

QProcessEnvironment TestEmulatorProgram::environment(const QString& sink,
                                                     const QByteArray& alsaConfig)
{
    QProcessEnvironment env = EmulatorBuild::audioEnvironment(sink);
    const QString config = scratch.filePath("asound.conf");
    QFile f(config);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(alsaConfig.isNull() ? noDeviceConfig : alsaConfig);
    env.insert("ALSA_CONFIG_PATH", config);
    return env;
}

void TestEmulatorProgram::controlValues_data()
{
    // Messages sent one after the other; after each, the line it makes the patch print
    // ("" when it changes nothing, so nothing is printed).
    QTest::addColumn<QByteArrayList>("messages");
    QTest::addColumn<QStringList>("printed");
    QTest::newRow("first control") << QByteArrayList{"a1024\n"} << QStringList{"1024 0 0 0"};
    QTest::newRow("b-512 sets the second control")
        << QByteArrayList{"b-512\n"} << QStringList{"0 -512 0 0"};
    QTest::newRow("each letter its control")
        << QByteArrayList{"c1024\n", "d7\n", "a3\n"}
        << QStringList{"0 0 1024 0", "0 0 1024 7", "3 0 1024 7"};
    QTest::newRow("later values replace earlier ones")
        << QByteArrayList{"a512\n", "a0\n"} << QStringList{"512 0 0 0", "0 0 0 0"};
    QTest::newRow("white space before the number")
        << QByteArrayList{"a \t 7\n"} << QStringList{"7 0 0 0"};
    QTest::newRow("hexadecimal and octal forms")
        << QByteArrayList{"a0x10\n", "b010\n"} << QStringList{"16 0 0 0", "16 8 0 0"};
    QTest::newRow("an unreadable number stores the last one")
        << QByteArrayList{"a5\n", "bq\n"} << QStringList{"5 0 0 0", "5 5 0 0"};
    QTest::newRow("the number starts at 0")
        << QByteArrayList{"cq\n", "b3\n"} << QStringList{"", "0 3 0 0"};
    QTest::newRow("other bytes are ignored")
        << QByteArrayList{"A9\nzz\n", "a1\n"} << QStringList{"", "1 0 0 0"};
}

void TestEmulatorProgram::controlValues()
{
    QFETCH(QByteArrayList, messages);
    QFETCH(QStringList, printed);
    EmulatorRun run(build.programPath(), environment("null"));
    QVERIFY(run.started());
    // Until the first value arrives every control reads 0, so nothing has changed to print; a
    // message that changes nothing prints nothing either. Both would show as lines too many
    // when the program has ended.
    QStringList expected;
    for (int i = 0; i < messages.size(); ++i) {
        run.send(messages[i]);
        if (printed[i].isEmpty())
            continue;
        QVERIFY2(run.waitForLine(printed[i], Patience), run.output().constData());
        expected << printed[i];
    }
    run.send("x");
    QVERIFY(run.waitForExit(Patience));
    QVERIFY(run.exitedNormally());
    QCOMPARE(run.exitCode(), 0);
    // Every value printed ends with a line break; the layer adds nothing of its own.
    QCOMPARE(run.lines(), expected);
    QVERIFY(run.output().endsWith('\n'));
}

void TestEmulatorProgram::ends_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("ending");
    QTest::addColumn<bool>("closeInput");
    QTest::newRow("x") << QByteArray("a5\n") << QByteArray("x") << false;
    QTest::newRow("x while a number is expected")
        << QByteArray("a5\n") << QByteArray("ax") << false;
    QTest::newRow("x right after a number") << QByteArray("a5\n") << QByteArray("b6x") << false;
    QTest::newRow("end of input") << QByteArray("a5\n") << QByteArray() << true;
    QTest::newRow("end of input inside a message") << QByteArray("a5\n") << QByteArray("c") << true;
}

void TestEmulatorProgram::ends()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, ending);
    QFETCH(bool, closeInput);
    EmulatorRun run(build.programPath(), environment("null"));
    QVERIFY(run.started());
    run.send(before);
    QVERIFY(run.waitForLine("5 0 0 0", Patience));
    run.send(ending);
    if (closeInput)
        run.closeInput(); // what the pipe sees when the editor dies
    QVERIFY2(run.waitForExit(Patience), "the program should end by itself");
    QVERIFY(run.exitedNormally());
    QCOMPARE(run.exitCode(), 0);
}

void TestEmulatorProgram::burstOfValuesIsTakenAtOnce()
{
    // A knob dragged across its range sends a value per mouse move. Each must cost no fixed
    // pause, or the sound falls further and further behind the knob.
    EmulatorRun run(build.programPath(), environment("null"));
    QVERIFY(run.started());
    QByteArray burst;
    for (int v = 1; v <= 3000; ++v)
        burst += "a" + QByteArray::number(v) + "\n";
    QElapsedTimer timer;
    timer.start();
    run.send(burst);
    QVERIFY2(run.waitForLine("3000 0 0 0", Patience), "the last value never took effect");
    // 20 ms a value would be a minute; allow a slow machine plenty.
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString("took %1 ms").arg(timer.elapsed())));
    run.send("x");
    QVERIFY(run.waitForExit(Patience));
}

void TestEmulatorProgram::fileSinkRecordsWhatIsPlayed()
{
    const QString path = scratch.filePath("played.raw");
    auto recorded = [&path] { return QFileInfo(path).size(); };
    EmulatorRun run(build.programPath(), environment("file:" + path));
    QVERIFY(run.started());
    // Some sound first, then the change, then more than a second of sound in all.
    QVERIFY(waitUntil(run, [&] { return recorded() >= 4 * 4000; }));
    QElapsedTimer timer;
    timer.start();
    const qint64 first = recorded();
    run.send("b-512\n");
    QVERIFY(run.waitForLine("0 -512 0 0", Patience));
    QVERIFY(waitUntil(run, [&] { return recorded() >= 4 * 24000; }));
    const qint64 last = recorded();
    const double seconds = timer.elapsed() / 1000.0;
    run.send("x");
    QVERIFY(run.waitForExit(Patience));
    QCOMPARE(run.exitCode(), 0);
    QCOMPARE(run.output(), QByteArray("0 -512 0 0\n"));
    QCOMPARE(run.errorOutput(), QByteArray());

    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray raw = f.readAll();
    QCOMPARE(raw.size() % 4, 0);
    const int frames = raw.size() / 4;
    // Played at the pace of real time (20000 frames of 4 bytes a second), not as fast as it
    // can be computed; a loaded machine may fall behind a little.
    const double rate = (last - first) / seconds;
    QVERIFY2(rate > 0.5 * 80000 && rate < 1.1 * 80000,
             qPrintable(QString("%1 bytes in %2 s").arg(last - first).arg(seconds)));

    std::vector<qint16> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        const auto* p = reinterpret_cast<const uchar*>(raw.constData()) + 4 * i;
        left[size_t(i)] = qint16(quint16(p[0] | p[1] << 8));
        right[size_t(i)] = qint16(quint16(p[2] | p[3] << 8));
    }

    // Left: the tone. Frequency from the rising zero crossings, placed between samples.
    double firstCrossing = -1, lastCrossing = -1;
    int crossings = 0, largest = 0;
    for (int i = 1; i < frames; ++i) {
        largest = qMax(largest, std::abs(int(left[size_t(i)])));
        const double a = left[size_t(i - 1)], b = left[size_t(i)];
        if (a < 0 && b >= 0) {
            const double at = i - 1 + (-a) / (b - a);
            if (crossings == 0)
                firstCrossing = at;
            lastCrossing = at;
            ++crossings;
        }
    }
    QVERIFY(crossings > 400);
    const double frequency = (crossings - 1) / ((lastCrossing - firstCrossing) / 20000.0);
    QVERIFY2(std::fabs(frequency - 440.0) < 0.5, qPrintable(QString::number(frequency)));
    QCOMPARE(largest, 512 * 16);
    // Nothing lost or played twice inside the file: the tone repeats every 500 samples.
    for (int i = 0; i + 500 < frames; ++i)
        QVERIFY2(left[size_t(i)] == left[size_t(i + 500)], qPrintable(QString("frame %1").arg(i)));

    // Right: control 1, 0 until "b-512" arrived and -512 (x16) from then on.
    QCOMPARE(int(right.front()), 0);
    QCOMPARE(int(right.back()), -512 * 16);
    const auto change = std::find(right.begin(), right.end(), qint16(-512 * 16));
    QVERIFY(std::all_of(right.begin(), change, [](qint16 s) { return s == 0; }));
    QVERIFY(std::all_of(change, right.end(), [](qint16 s) { return s == -512 * 16; }));
}

void TestEmulatorProgram::sinkChoice_data()
{
    QTest::addColumn<QString>("sink");
    QTest::addColumn<QByteArray>("alsaConfig");
    QTest::addColumn<QString>("notice"); // the one line on standard error, or "" for none
    QTest::newRow("default without a device")
        << QString() << noDeviceConfig
        << "audio: no output device could be opened; playing silently";
    QTest::newRow("device without a device")
        << "device" << noDeviceConfig
        << "audio: no output device could be opened; playing silently";
    QTest::newRow("default with a device") << QString() << nullDeviceConfig << "";
    QTest::newRow("null") << "null" << nullDeviceConfig << "";
    QTest::newRow("file that cannot be written")
        << "file:" + QString("/nonexistent-dir/played.raw") << noDeviceConfig
        << "audio: cannot write \"/nonexistent-dir/played.raw\"; playing silently";
    QTest::newRow("unknown choice") << "speakers" << nullDeviceConfig
                                    << "audio: unknown KNOTLATTICE_AUDIO value \"speakers\"; "
                                       "playing silently";
}

void TestEmulatorProgram::sinkChoice()
{
    QFETCH(QString, sink);
    QFETCH(QByteArray, alsaConfig);
    QFETCH(QString, notice);
    EmulatorRun run(build.programPath(), environment(sink, alsaConfig));
    QVERIFY(run.started());
    // Whatever plays, the program takes control values and keeps its standard output clean.
    run.send("a12\n");
    QVERIFY2(run.waitForLine("12 0 0 0", Patience), run.errorOutput().constData());
    run.send("d-3\n");
    QVERIFY(run.waitForLine("12 0 0 -3", Patience));
    run.send("x");
    QVERIFY(run.waitForExit(Patience));
    QCOMPARE(run.exitCode(), 0);
    QCOMPARE(run.output(), QByteArray("12 0 0 0\n12 0 0 -3\n"));
    const QByteArray expected = notice.isEmpty() ? QByteArray() : notice.toLocal8Bit() + "\n";
    QCOMPARE(run.errorOutput(), expected);
}

KL_TEST_MAIN_NOAPP(TestEmulatorProgram)
#include "test_emulatorprogram.moc"
