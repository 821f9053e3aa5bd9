#include "Emulator.h"
#include "MessageCapture.h"
#include "TempProgramDir.h"
#include "TestMain.h"
#include "TestPatch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const BlockDescription* fixture(TestPatch& patch, const QString& name)
{
    const QByteArray xml = readAll(testsupport::sourcePath("tests/emulator/fixtures/" + name));
    return xml.isEmpty() ? nullptr : patch.fromXml(xml);
}

// The values the dock logged, in order.
QList<double> loggedValues(const MessageCapture& capture)
{
    QList<double> values;
    for (const QString& text : capture.texts(QtDebugMsg)) {
        bool ok = false;
        const double value = text.toDouble(&ok);
        if (ok)
            values << value;
    }
    return values;
}

bool processExists(qint64 pid)
{
    return pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

} // namespace

// The dock with the real build folder: generated code is built by compile.sh, played into the
// file sink of the audio layer, fed control values and stopped.
class TestEmulatorBuild : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void playsFeedsAndStops();
    void brokenCodeStartsNoOldProgram();
    void nothingToBuild_data();
    void nothingToBuild();
    void constructionEndsOnlyThisFoldersPrograms();

private:
    // Sine -> gain -> output, and the second control -> print.
    void buildTonePatch(TestPatch& patch);

    std::unique_ptr<TempProgramDir> dir;
    QString audioFile;
};

void TestEmulatorBuild::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("cc")).isEmpty())
        QSKIP("no C compiler");
    QVERIFY2(QFileInfo(testsupport::binPath("compile/emulator/libbass.so")).isFile(),
             "the program folder is not staged");
}

void TestEmulatorBuild::init()
{
    dir = std::make_unique<TempProgramDir>();
    QVERIFY(dir->copyIn(testsupport::binPath("compile"), "compile"));
    audioFile = dir->path("audio.raw");
    qputenv("KNOTLATTICE_AUDIO", "file:" + audioFile.toLocal8Bit());
}

void TestEmulatorBuild::cleanup()
{
    qunsetenv("KNOTLATTICE_AUDIO");
    dir.reset();
}

void TestEmulatorBuild::buildTonePatch(TestPatch& patch)
{
    const BlockDescription* sine = fixture(patch, "e_sine.xml");
    const BlockDescription* gain = fixture(patch, "e_gain.xml");
    const BlockDescription* output = fixture(patch, "e_out.xml");
    const BlockDescription* control = fixture(patch, "e_control.xml");
    const BlockDescription* print = fixture(patch, "e_print.xml");
    QVERIFY(sine && gain && output && control && print);
    BlockInstance* tone = patch.add(sine, "sine");
    BlockInstance* level = patch.add(gain, "gain");
    BlockInstance* speaker = patch.add(output, "out");
    BlockInstance* knob = patch.add(control, "control");
    BlockInstance* printer = patch.add(print, "print");
    patch.connect(tone, 0, level, 0);
    patch.connect(level, 0, speaker, 0);
    patch.connect(knob, 0, printer, 0);
}

void TestEmulatorBuild::playsFeedsAndStops()
{
    TestPatch patch;
    buildTonePatch(patch);
    if (QTest::currentTestFailed())
        return;

    Emulator emulator(QStringLiteral("Emulator"), nullptr);
    MessageCapture capture;
    emulator.setControlValue(1, 512);
    QVERIFY2(emulator.compilePatch(patch.all()), qPrintable(capture.texts(QtDebugMsg).join('\n')));
    QVERIFY(capture.warnings().isEmpty());
    QVERIFY(emulator.isRunning());

    // A tenth of a second of sound: a sine of amplitude 512, played as 512 x 16, on both sides.
    QTRY_VERIFY(QFileInfo(audioFile).size() >= 2000 * 4);
    const QByteArray sound = readAll(audioFile).left(2000 * 4);
    const auto* samples = reinterpret_cast<const qint16*>(sound.constData());
    int high = 0, low = 0;
    for (int frame = 0; frame < 2000; ++frame) {
        QCOMPARE(samples[2 * frame + 1], samples[2 * frame]);
        high = std::max<int>(high, samples[2 * frame]);
        low = std::min<int>(low, samples[2 * frame]);
    }
    QVERIFY2(high > 8000 && high <= 8192 && low < -8000 && low >= -8192,
             qPrintable(QStringLiteral("%1 .. %2").arg(low).arg(high)));

    // The value set before the start arrived; so does each change, however many come at once.
    QTRY_VERIFY(loggedValues(capture).contains(0.5));
    for (int value = 1; value <= 1000; ++value)
        emulator.setControlValue(1, value);
    emulator.setControlValue(1, 1024);
    QTRY_COMPARE(loggedValues(capture).constLast(), 1.0);

    emulator.stop();
    QVERIFY(!emulator.isRunning());
    const qint64 played = QFileInfo(audioFile).size();
    QTest::qWait(300);
    QCOMPARE(QFileInfo(audioFile).size(), played);
}

void TestEmulatorBuild::brokenCodeStartsNoOldProgram()
{
    TestPatch patch;
    buildTonePatch(patch);
    if (QTest::currentTestFailed())
        return;

    Emulator emulator(QStringLiteral("Emulator"), nullptr);
    QVERIFY(emulator.compilePatch(patch.all()));
    QTRY_VERIFY(QFileInfo(audioFile).size() > 0);
    emulator.stop();
    QVERIFY(QFile::remove(audioFile));

    MessageCapture capture;
    QVERIFY(!emulator.compile(QStringLiteral("this is not C;\n")));
    QVERIFY(!emulator.isRunning());
    QVERIFY(capture.contains(QtWarningMsg, "could not be built"));
    // The compiler's complaint reached the console.
    QVERIFY(capture.contains(QtDebugMsg, "emul.c"));
    QVERIFY(!QFileInfo::exists(dir->path("compile/emulator/emulate")));
    QTest::qWait(300);
    QVERIFY(!QFileInfo::exists(audioFile));
}

void TestEmulatorBuild::nothingToBuild_data()
{
    QTest::addColumn<bool>("loop");
    QTest::addColumn<QString>("warning");
    QTest::newRow("feedback loop") << true << "Feedback loop";
    QTest::newRow("missing template") << false << "can't open template file for compiler";
}

void TestEmulatorBuild::nothingToBuild()
{
    QFETCH(bool, loop);
    QFETCH(QString, warning);

    TestPatch patch;
    buildTonePatch(patch);
    if (QTest::currentTestFailed())
        return;
    if (loop) {
        BlockInstance* again = patch.add(fixture(patch, "e_gain.xml"), "again");
        patch.connect(patch.named("gain"), 0, again, 0);
        patch.connect(again, 0, patch.named("gain"), 1);
    } else {
        QVERIFY(QFile::remove(dir->path("compile/templ_emul.txt")));
    }

    Emulator emulator(QStringLiteral("Emulator"), nullptr);
    MessageCapture capture;
    QVERIFY(!emulator.compilePatch(patch.all()));
    QVERIFY(!emulator.isRunning());
    QVERIFY2(capture.contains(QtWarningMsg, warning), qPrintable(capture.warnings().join('\n')));
    QVERIFY(capture.contains(QtDebugMsg, "No code was generated"));
    QVERIFY(!QFileInfo::exists(dir->path("compile/emulator/emul.c")));
    QVERIFY(!QFileInfo::exists(dir->path("compile/emulator/emulate")));
}

void TestEmulatorBuild::constructionEndsOnlyThisFoldersPrograms()
{
    // Programs left running by an earlier editor of this folder end; another folder's do not.
    TestPatch patch;
    buildTonePatch(patch);
    if (QTest::currentTestFailed())
        return;
    qputenv("KNOTLATTICE_AUDIO", "null");
    {
        Emulator builder(QStringLiteral("Emulator"), nullptr);
        QVERIFY(builder.compilePatch(patch.all()));
        builder.stop();
    }
    TempProgramDir other;
    QVERIFY(other.copyIn(dir->path("compile"), "compile"));
    qputenv("KNOTLATTICE_PROGRAM_DIR", dir->path().toLocal8Bit());

    QProcess ours, theirs;
    ours.start(dir->path("compile/emulator/emulate"), QStringList());
    theirs.start(other.path("compile/emulator/emulate"), QStringList());
    QVERIFY(ours.waitForStarted() && theirs.waitForStarted());

    Emulator emulator(QStringLiteral("Emulator"), nullptr);
    QVERIFY(ours.waitForFinished(5000));
    QVERIFY(processExists(theirs.processId()));
    theirs.write("x");
    QVERIFY(theirs.waitForFinished(5000));
}

KL_TEST_MAIN(TestEmulatorBuild)
#include "test_emulatorbuild.moc"
