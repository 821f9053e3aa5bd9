#include "Emulator.h"
#include "MessageCapture.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <memory>

namespace {

const QByteArray IncludeLines = "#include \"bass.h\"\n#include <stdio.h>\n#include <stdint.h>\n";

// Stands in for a knob or a switch of the panel.
class Control : public QObject
{
    Q_OBJECT
signals:
    void changed(int value);
};

bool writeScript(const QString& path, const QByteArray& body)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write("#!/bin/sh\n" + body) < 0)
        return false;
    f.close();
    return f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString quoted(const QString& path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
}

QByteArray shellQuoted(const QString& path)
{
    return "'" + path.toLocal8Bit() + "'";
}

bool processExists(qint64 pid)
{
    return pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

} // namespace

// The process host: what reaches the program's standard input, how its output is logged, and
// that a program never outlives the dock's wish to stop it.
class TestEmulator : public QObject
{
    Q_OBJECT

private slots:
    void sendsControlValues();
    void logsOneValuePerLine();
    void logsWhatAProgramLeftWhenItEnds();
    void logsErrorOutputApartFromValues();
    void leavesNoProcess_data();
    void leavesNoProcess();
    void failedBuildStartsNothing_data();
    void failedBuildStartsNothing();
    void timedOutBuildIsKilledWithItsChildren();
    void buildsAndStartsTheProgram();
    void emptyCodeBuildsNothing();
    void unwritableSourceIsReported();
    void programThatCannotStartIsReported();
    void runsTheKillScriptOnce();

private:
    static QStringList debugLines(const MessageCapture& capture)
    {
        return capture.texts(QtDebugMsg);
    }
};

void TestEmulator::sendsControlValues()
{
    TempProgramDir dir;
    const QString copy = dir.path("input.bin");
    const QString program = dir.path("copier");
    QVERIFY(writeScript(program, "exec cat > " + shellQuoted(copy) + "\n"));

    Emulator emulator(QStringLiteral("Emulator"), nullptr);
    Control knob2, switch1, stranger;
    emulator.attachControl(1, &knob2);
    emulator.attachControl(2, &switch1);
    connect(&knob2, &Control::changed, &emulator, &Emulator::handleSlider);
    connect(&switch1, &Control::changed, &emulator, &Emulator::handleSlider);
    connect(&stranger, &Control::changed, &emulator, &Emulator::handleSlider);

    emulator.setControlValue(1, 512);
    QVERIFY(emulator.start(quoted(program)));
    QVERIFY(emulator.isRunning());
    emulator.setControlValue(3, 1024);
    emit switch1.changed(1);
    emit knob2.changed(300);
    emit stranger.changed(77);
    emulator.sendValue(4, 5);
    emulator.sendValue(-1, 5);
    emulator.stop();
    QVERIFY(!emulator.isRunning());

    QCOMPARE(readAll(copy), QByteArray("a0\nb512\nc0\nd0\nd1024\nc1024\nb300\nx"));
    QCOMPARE(emulator.controlValue(1), 300);
    QCOMPARE(emulator.controlValue(2), 1024);
    QCOMPARE(emulator.controlValue(3), 1024);

    // The values are kept for the next program, which gets them all at its start.
    QVERIFY(emulator.start(quoted(program)));
    emulator.stop();
    QCOMPARE(readAll(copy), QByteArray("a0\nb300\nc1024\nd1024\nx"));
}

void TestEmulator::logsOneValuePerLine()
{
    TempProgramDir dir;
    const QString program = dir.path("printer");
    QVERIFY(writeScript(program, "printf '512\\n256\\n'\n"
                                 "sleep 0.3\n"
                                 "printf '51'\n"
                                 "sleep 0.3\n"
                                 "printf '2\\n'\n"
                                 "sleep 0.3\n"
                                 "printf -- '-1024'\n"
                                 "exec cat > /dev/null\n"));
    Emulator emulator(QStringLiteral("Emulator"), nullptr);
    MessageCapture capture;
    QVERIFY(emulator.start(quoted(program)));
    QTRY_COMPARE(debugLines(capture), (QStringList{"0.5", "0.25", "0.5"}));
    // The unfinished last value is logged when the program stops.
    QTest::qWait(500);
    QCOMPARE(debugLines(capture), (QStringList{"0.5", "0.25", "0.5"}));
    emulator.stop();
    QCOMPARE(debugLines(capture), (QStringList{"0.5", "0.25", "0.5", "-1"}));
}

void TestEmulator::logsWhatAProgramLeftWhenItEnds()
{
    TempProgramDir dir;
    const QString program = dir.path("short lived");
    QVERIFY(writeScript(program, "printf '1024\\n2048'\nexit 3\n"));
    Emulator emulator(QStringLiteral("Emulator"), nullptr);
    QSignalSpy ended(&emulator, &Emulator::programEnded);
    MessageCapture capture;
    QVERIFY(emulator.start(quoted(program)));
    // It may end before start() returns, while the control values are written.
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 10000);
    QVERIFY(!emulator.isRunning());
    QCOMPARE(debugLines(capture), (QStringList{"1", "2"}));
    // Stopping an ended program is harmless, logs nothing again and tells of no other end.
    emulator.stop();
    emulator.sendValue(0, 1);
    QCOMPARE(debugLines(capture), (QStringList{"1", "2"}));
    QCOMPARE(ended.count(), 1);
}

void TestEmulator::logsErrorOutputApartFromValues()
{
    // The audio layer's notices come on standard error, between values on standard output.
    TempProgramDir dir;
    const QString program = dir.path("noisy");
    QVERIFY(writeScript(program, "printf 'audio: no output device; playing silently\\n' >&2\n"
                                 "printf '512\\n'\n"
                                 "printf '\\n  \\nsecond ' >&2\n"
                                 "sleep 0.3\n"
                                 "printf 'part\\nlast, ' >&2\n"
                                 "cat > /dev/null\n"
                                 "printf 'unfinished' >&2\n"));
    Emulator emulator(QStringLiteral("Emulator"), nullptr);
    MessageCapture capture;
    QVERIFY(emulator.start(quoted(program)));
    QTRY_COMPARE(debugLines(capture).size(), 3);
    QVERIFY(debugLines(capture).contains("audio: no output device; playing silently"));
    QVERIFY(debugLines(capture).contains("0.5"));
    QVERIFY(debugLines(capture).contains("second part"));
    // What it wrote while it was told to quit is logged as it ends.
    emulator.stop();
    QCOMPARE(debugLines(capture).size(), 4);
    QCOMPARE(debugLines(capture).constLast(), QStringLiteral("last, unfinished"));
    // A console line, never a box.
    QVERIFY(capture.warnings().isEmpty());
}

void TestEmulator::leavesNoProcess_data()
{
    QTest::addColumn<QByteArray>("behaviour");
    QTest::addColumn<QString>("ending");

    const QByteArray quits = "exec cat > /dev/null\n";
    const QByteArray deaf = "exec sleep 600\n";
    const QByteArray stubborn = "trap '' TERM HUP INT\nwhile :; do sleep 1; done\n";
    for (const QString& ending :
         {QStringLiteral("stop"), QStringLiteral("restart"), QStringLiteral("destroy")}) {
        QTest::addRow("quits on x, %s", qPrintable(ending)) << quits << ending;
        QTest::addRow("ignores its input, %s", qPrintable(ending)) << deaf << ending;
        QTest::addRow("ignores signals, %s", qPrintable(ending)) << stubborn << ending;
    }
}

void TestEmulator::leavesNoProcess()
{
    QFETCH(QByteArray, behaviour);
    QFETCH(QString, ending);

    TempProgramDir dir;
    const QString pidFile = dir.path("pid");
    const QString program = dir.path("program");
    QVERIFY(writeScript(program, "echo $$ > " + shellQuoted(pidFile) + "\n" + behaviour));
    const QString other = dir.path("other");
    QVERIFY(writeScript(other, "exec cat > /dev/null\n"));

    auto emulator = std::make_unique<Emulator>(QStringLiteral("Emulator"), nullptr);
    // Ended on purpose: not a program that ended by itself.
    QSignalSpy ended(emulator.get(), &Emulator::programEnded);
    QVERIFY(emulator->start(quoted(program)));
    QTRY_VERIFY(!readAll(pidFile).trimmed().isEmpty());
    const qint64 pid = readAll(pidFile).trimmed().toLongLong();
    QVERIFY(processExists(pid));

    if (ending == QLatin1String("stop")) {
        emulator->stop();
        QVERIFY(!emulator->isRunning());
    } else if (ending == QLatin1String("restart")) {
        QVERIFY(emulator->start(quoted(other)));
        QVERIFY(emulator->isRunning());
    } else {
        emulator.reset();
    }
    QVERIFY(!processExists(pid));
    QCoreApplication::processEvents();
    QCOMPARE(ended.count(), 0);
}

void TestEmulator::failedBuildStartsNothing_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QString>("logged");

    QTest::newRow("fails") << QByteArray("echo 'emul.c:3: error: broken' >&2\nexit 1\n")
                           << "could not be built"
                           << "emul.c:3: error: broken";
    QTest::newRow("killed") << QByteArray("kill -KILL $$\n") << "could not be built"
                            << "";
    QTest::newRow("builds no program")
        << QByteArray("rm -f emulate\nexit 0\n") << "could not be built"
        << "";
    QTest::newRow("runs too long")
        << QByteArray("echo started\nexec sleep 30\n") << "did not finish within 0.5 seconds"
        << "started";
    QTest::newRow("missing") << QByteArray() << "could not be run"
                             << "";
}

void TestEmulator::failedBuildStartsNothing()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, warning);
    QFETCH(QString, logged);

    TempProgramDir dir;
    const QString folder = dir.path("compile/emulator");
    const QString ran = dir.path("old program ran");
    // A program from an earlier build, which must not be taken for this one.
    QVERIFY(writeScript(folder + "/emulate", "touch " + shellQuoted(ran) + "\nexec cat\n"));
    if (!script.isEmpty())
        QVERIFY(writeScript(folder + "/compile.sh", script));

    Emulator emulator(QStringLiteral("Emulator"), nullptr);
    emulator.setWaitLimit(500);
    MessageCapture capture;
    QVERIFY(!emulator.compile(QStringLiteral("int patch;\n")));
    QVERIFY(!emulator.isRunning());
    QVERIFY2(capture.contains(QtWarningMsg, warning), qPrintable(capture.warnings().join('\n')));
    if (!logged.isEmpty())
        QVERIFY(capture.contains(QtDebugMsg, logged));
    QTest::qWait(200);
    QVERIFY(!QFileInfo::exists(ran));
}

void TestEmulator::timedOutBuildIsKilledWithItsChildren()
{
    // The compiler below a build script that is given up on must not write a program later.
    TempProgramDir dir;
    const QString folder = dir.path("compile/emulator");
    QVERIFY(writeScript(folder + "/compile.sh", "(sleep 1; touch emulate) &\nwait\n"));
    Emulator emulator(QStringLiteral("Emulator"), nullptr);
    emulator.setWaitLimit(300);
    MessageCapture capture;
    QVERIFY(!emulator.compile(QStringLiteral("int patch;\n")));
    QTest::qWait(1500);
    QVERIFY(!QFileInfo::exists(folder + "/emulate"));
}

void TestEmulator::buildsAndStartsTheProgram()
{
    // A program folder whose path holds spaces and a quote-free name.
    TempProgramDir dir;
    const QString root = dir.path("program folder");
    qputenv("KNOTLATTICE_PROGRAM_DIR", root.toLocal8Bit());
    const QString folder = root + "/compile/emulator";
    const QString copy = root + "/input.bin";
    QVERIFY(writeScript(root + "/built", "exec cat > " + shellQuoted(copy) + "\n"));
    QVERIFY(writeScript(folder + "/compile.sh", "echo building in \"$PWD\"\nrm -f emulate\n"
                                                "cp ../../built emulate\n"));

    Emulator emulator(QStringLiteral("Emulator"), nullptr);
    MessageCapture capture;
    emulator.setControlValue(0, 1024);
    QVERIFY(emulator.compile(QStringLiteral("int patch;\n")));
    QVERIFY(emulator.isRunning());
    QCOMPARE(readAll(folder + "/emul.c"), IncludeLines + "int patch;\n");
    QVERIFY(capture.contains(QtDebugMsg, "building in " + QDir(folder).canonicalPath()));
    QVERIFY(capture.warnings().isEmpty());
    emulator.stop();
    QCOMPARE(readAll(copy), QByteArray("a1024\nb0\nc0\nd0\nx"));
}

void TestEmulator::emptyCodeBuildsNothing()
{
    TempProgramDir dir;
    const QString folder = dir.path("compile/emulator");
    const QString built = dir.path("build ran");
    QVERIFY(writeScript(folder + "/compile.sh", "touch " + shellQuoted(built) + "\n"));
    const QString running = dir.path("running");
    QVERIFY(writeScript(running, "exec cat > /dev/null\n"));

    Emulator emulator(QStringLiteral("Emulator"), nullptr);
    QVERIFY(emulator.start(quoted(running)));
    MessageCapture capture;
    for (const QString& code : {QString(), QStringLiteral(" \n\t")}) {
        QVERIFY(!emulator.compile(code));
        QVERIFY(!emulator.isRunning());
    }
    QVERIFY(!QFileInfo::exists(built));
    QVERIFY(!QFileInfo::exists(folder + "/emul.c"));
    QVERIFY(capture.contains(QtDebugMsg, "No code was generated"));
}

void TestEmulator::unwritableSourceIsReported()
{
    TempProgramDir dir;
    QVERIFY(QDir(dir.path("compile")).removeRecursively());
    Emulator emulator(QStringLiteral("Emulator"), nullptr);
    MessageCapture capture;
    QVERIFY(!emulator.compile(QStringLiteral("int patch;\n")));
    QCOMPARE(capture.warnings().size(), 1);
    QVERIFY(capture.warnings().first().startsWith("\"can't write file for emulator\" \"" +
                                                  dir.path("compile/emulator/emul.c")));
}

void TestEmulator::programThatCannotStartIsReported()
{
    TempProgramDir dir;
    const QString copy = dir.path("input.bin");
    const QString program = dir.path("copier");
    QVERIFY(writeScript(program, "exec cat > " + shellQuoted(copy) + "\n"));
    Emulator emulator(QStringLiteral("Emulator"), nullptr);
    MessageCapture capture;

    const QString missing = dir.path("presets/emulator/missing");
    QVERIFY(!emulator.start(quoted(missing)));
    // The event loop runs on before the user's next step; the failed process is gone by then.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!emulator.isRunning());
    QCOMPARE(capture.warnings().size(), 1);
    QVERIFY2(capture.warnings().first().startsWith("\"can't start the emulator program\" \"" +
                                                   missing + "\" "),
             qPrintable(capture.warnings().first()));

    capture.clear();
    QVERIFY(!emulator.start(QString()));
    QCOMPARE(capture.warnings(), QStringList{"No emulator program was given."});

    // With nothing running nothing is sent or logged, and the next program starts as usual.
    emulator.sendValue(0, 1);
    emulator.stop();
    QVERIFY(capture.texts(QtDebugMsg).isEmpty());
    QVERIFY(emulator.start(quoted(program)));
    emulator.stop();
    QCOMPARE(readAll(copy), QByteArray("a0\nb0\nc0\nd0\nx"));
}

void TestEmulator::runsTheKillScriptOnce()
{
    TempProgramDir dir;
    QVERIFY(writeScript(dir.path("compile/emulator/kill.sh"), "echo ran >> killed\n"));
    {
        Emulator emulator(QStringLiteral("Emulator"), nullptr);
        QCOMPARE(readAll(dir.path("compile/emulator/killed")), QByteArray("ran\n"));
    }
    QCOMPARE(readAll(dir.path("compile/emulator/killed")), QByteArray("ran\n"));
}

KL_TEST_MAIN(TestEmulator)
#include "test_emulator.moc"
