// The emulator's build folder scripts: compile.sh builds from emul.c or leaves no program at
// all, works wherever the program folder lies, and kill.sh ends only the emulator programs of
// its own program folder.
#include "EmulatorBuild.h"
#include "EmulatorRun.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestEmulatorScripts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void failedBuildLeavesNoProgram();
    void emptyPatchBuildsWithoutComplaint();
    void programFolderMayMoveAndHoldSpaces();
    void killEndsOnlyThisFoldersPrograms();
    void killThroughALinkedProgramFolder();
    void killWithNothingRunning();

private:
    static int runKill(const QString& emulatorDir);

    TempProgramDir programDir;
    EmulatorBuild build{programDir.path()};
    QByteArray tone;
};

void TestEmulatorScripts::initTestCase()
{
    QVERIFY(build.stage());
    tone = EmulatorBuild::fixture("tone.dyn.c");
    QVERIFY(!tone.isEmpty());
}

// Started as the editor starts it: by its full path, in its own folder.
int TestEmulatorScripts::runKill(const QString& emulatorDir)
{
    QProcess p;
    p.setWorkingDirectory(emulatorDir);
    p.start(emulatorDir + "/kill.sh", QStringList());
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

void TestEmulatorScripts::failedBuildLeavesNoProgram()
{
    QByteArray log;
    QVERIFY2(build.buildProgram(tone, &log), log.constData());
    QVERIFY(build.writeSource("this is not C\n"));
    QByteArray output;
    const int status = build.runCompileScript(&output);
    QVERIFY(status > 0);
    QVERIFY2(output.contains("error"), output.constData()); // the compiler's own report
    QVERIFY2(!QFileInfo::exists(build.programPath()), "an old program would start instead");
}

void TestEmulatorScripts::emptyPatchBuildsWithoutComplaint()
{
    // What the generator gives for a patch without blocks.
    const QByteArray empty = "static inline void init_dsp_objects(){\n}\n"
                             "static inline void audio_rate_handler(){\n}\n"
                             "static inline void control_rate_handler(){\n}\n";
    QByteArray output;
    QVERIFY2(build.buildProgram(empty, &output), output.constData());
    // The build output goes to the editor's console: a clean build says nothing.
    QCOMPARE(output, QByteArray());
    EmulatorRun run(build.programPath(), EmulatorBuild::audioEnvironment("null"));
    QVERIFY(run.started());
    run.send("a1\nx");
    QVERIFY(run.waitForExit(5000));
    QCOMPARE(run.exitCode(), 0);
    QCOMPARE(run.output(), QByteArray());
}

void TestEmulatorScripts::programFolderMayMoveAndHoldSpaces()
{
    QTemporaryDir scratch;
    const QString first = scratch.filePath("program folder's first place");
    EmulatorBuild moved(first);
    QVERIFY(moved.stage());
    QByteArray log;
    QVERIFY2(moved.buildProgram(tone, &log), log.constData());

    // The program finds the audio layer beside itself, not where it was built.
    const QString second = scratch.filePath("second place (moved)");
    QVERIFY(QDir().rename(first, second));
    EmulatorRun run(second + "/compile/emulator/emulate", EmulatorBuild::audioEnvironment("null"));
    QVERIFY(run.started());
    run.send("a3\n");
    QVERIFY2(run.waitForLine("3 0 0 0", 5000), run.errorOutput().constData());
    run.send("x");
    QVERIFY(run.waitForExit(5000));
    QCOMPARE(run.exitCode(), 0);
}

void TestEmulatorScripts::killEndsOnlyThisFoldersPrograms()
{
    QByteArray log;
    QVERIFY2(build.buildProgram(tone, &log), log.constData());
    // Prebuilt preset programs, which load the audio layer from their own folder. The system
    // keeps only the first 15 bytes of a program's name.
    const QString presets = programDir.path("presets/emulator");
    QVERIFY(QDir().mkpath(presets));
    QFile::remove(presets + "/libbass.so");
    QVERIFY(QFile::copy(build.emulatorDir() + "/libbass.so", presets + "/libbass.so"));
    const QString longName = QStringLiteral("Bells of a Long Winter Evening");
    for (const QString& name : {QStringLiteral("Bells"), longName}) {
        QFile::remove(presets + "/" + name);
        QVERIFY(QFile::copy(build.programPath(), presets + "/" + name));
        QVERIFY(
            QFile::setPermissions(presets + "/" + name, QFile::permissions(build.programPath())));
    }
    // The same program of another program folder: same name, other path.
    QTemporaryDir elsewhere;
    EmulatorBuild other(elsewhere.path());
    QVERIFY(other.stage());
    QVERIFY2(other.buildProgram(tone, &log), log.constData());

    const QProcessEnvironment env = EmulatorBuild::audioEnvironment("null");
    EmulatorRun replaced(build.programPath(), env);
    EmulatorRun preset(presets + "/Bells", env);
    EmulatorRun longPreset(presets + "/" + longName, env);
    EmulatorRun stranger(other.programPath(), env);
    // A program whose file was rebuilt while it ran still counts as this folder's.
    QVERIFY2(build.buildProgram(tone, &log), log.constData());
    EmulatorRun own(build.programPath(), env);
    for (EmulatorRun* run : {&own, &replaced, &preset, &longPreset, &stranger}) {
        QVERIFY(run->started());
        run->send("a1\n");
        QVERIFY(run->waitForLine("1 0 0 0", 5000));
    }

    QCOMPARE(runKill(build.emulatorDir()), 0);
    QVERIFY(own.waitForExit(5000));
    QVERIFY(replaced.waitForExit(5000));
    QVERIFY(preset.waitForExit(5000));
    QVERIFY(longPreset.waitForExit(5000));
    QVERIFY2(stranger.running(), "a program of another folder was ended");
    stranger.send("x");
    QVERIFY(stranger.waitForExit(5000));
    QCOMPARE(stranger.exitCode(), 0);
}

void TestEmulatorScripts::killThroughALinkedProgramFolder()
{
    // The system names a program by its real path, whatever link it was started through.
    QTemporaryDir scratch;
    EmulatorBuild real(scratch.filePath("real folder"));
    QVERIFY(real.stage());
    QByteArray log;
    QVERIFY2(real.buildProgram(tone, &log), log.constData());
    const QString presets = real.root() + "/presets/emulator";
    QVERIFY(QDir().mkpath(presets));
    QVERIFY(QFile::copy(real.emulatorDir() + "/libbass.so", presets + "/libbass.so"));
    QVERIFY(QFile::copy(real.programPath(), presets + "/Bells"));
    QVERIFY(QFile::setPermissions(presets + "/Bells", QFile::permissions(real.programPath())));
    const QString linked = scratch.filePath("linked folder");
    QVERIFY(QFile::link(real.root(), linked));

    const QProcessEnvironment env = EmulatorBuild::audioEnvironment("null");
    EmulatorRun own(linked + "/compile/emulator/emulate", env);
    EmulatorRun preset(linked + "/presets/emulator/Bells", env);
    for (EmulatorRun* run : {&own, &preset}) {
        QVERIFY(run->started());
        run->send("a1\n");
        QVERIFY(run->waitForLine("1 0 0 0", 5000));
    }
    QCOMPARE(runKill(linked + "/compile/emulator"), 0);
    QVERIFY(own.waitForExit(5000));
    QVERIFY(preset.waitForExit(5000));
}

void TestEmulatorScripts::killWithNothingRunning()
{
    QCOMPARE(runKill(build.emulatorDir()), 0);
}

KL_TEST_MAIN_NOAPP(TestEmulatorScripts)
#include "test_emulatorscripts.moc"
