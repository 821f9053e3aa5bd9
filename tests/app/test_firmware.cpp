// Compile and Open Firmware in the main window: the patch is built into firmware with the
// real build folder, carried in the image's trailer to a temporary device volume and read back
// into a new tab; stand-in scripts show that a failed step uploads nothing and says why, that
// the box waits for the device, and that the editor stays usable while a build runs.
#include "ByteWriter.h"
#include "FirmwarePipeline.h"
#include "FirmwareTrailer.h"
#include "MainWindow.h"
#include "MessageCapture.h"
#include "ModalDriver.h"
#include "PatchDocument.h"
#include "PatchRecord.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

const QString compileText =
    "Please connect a Knotlattice device to your computer and press 'Retry'.";
const QString openText = "Please connect a Knotlattice device to your computer and press 'Retry'";
const QByteArray oldImage("the image the device runs now");

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// Answers the next box after checking that it is the device box with `informative`, and
// runs `before` first (for example to connect the device).
void answerDeviceBox(ModalDriver& driver, const QString& informative,
                     QMessageBox::StandardButton button, std::function<void()> before = {})
{
    driver.answer([=](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        QCOMPARE(box->text(), QStringLiteral("No Knotlattice device found!"));
        QCOMPARE(box->informativeText(), informative);
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QCOMPARE(box->standardButtons(), QMessageBox::Retry | QMessageBox::Cancel);
        QCOMPARE(static_cast<QAbstractButton*>(box->defaultButton()),
                 box->button(QMessageBox::Retry));
        if (before)
            before();
        box->button(button)->click();
    });
}

// What the user is shown: the offscreen platform's own remarks about boxes left out.
QStringList userWarnings(const MessageCapture& capture)
{
    QStringList shown;
    for (const QString& text : capture.warnings()) {
        if (!text.startsWith(QLatin1String("This plugin does not support")))
            shown << text;
    }
    return shown;
}

} // namespace

class TestFirmware : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void compileThenOpenFirmware();
    void noDeviceCancelRunsNothing();
    void retryAfterTheDeviceAppears();
    void failedStepUploadsNothing_data();
    void failedStepUploadsNothing();
    void mainCNotWritable();
    void patchThatWouldNotReadBackBuildsNothing();
    void editorStaysUsableDuringABuild();
    void openingNothing_data();
    void openingNothing();
    void versionZeroOpensAsFirmware();
    void imageAgainstTheFlash_data();
    void imageAgainstTheFlash();

private:
    QString firmware(const QString& file) const
    {
        return program->path("compile/firmware/" + file);
    }
    QString onDevice() const { return volume->filePath("firmware.bin"); }
    void standIn(const QString& name, const QByteArray& body)
    {
        QVERIFY(program->writeFile("compile/firmware/" + name, "#!/bin/sh\n" + body));
        QVERIFY(QFile::setPermissions(firmware(name),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    // A build that notes it ran and the source it was given, and makes a small image.
    void standInBuild()
    {
        standIn("compile.sh", "cp main.c built-from.c; printf 'stand-in image' > firmware.bin\n");
    }
    // Sine -> split -> both outputs, one edited value, a comment and a node id.
    PatchDocument* makePatch();

    std::unique_ptr<TempProgramDir> program;
    std::unique_ptr<QTemporaryDir> volume;
    std::unique_ptr<MainWindow> window;
};

void TestFirmware::init()
{
    QSettings().clear();
    program = std::make_unique<TempProgramDir>();
    QVERIFY(program->copyIn(testsupport::binPath("blocks"), "blocks"));
    QVERIFY(program->copyIn(testsupport::binPath("compile"), "compile"));
    volume = std::make_unique<QTemporaryDir>();
    QVERIFY(writeFile(onDevice(), oldImage));
    qputenv("KNOTLATTICE_DEVICE_VOLUME", volume->path().toLocal8Bit());
    window = std::make_unique<MainWindow>();
    window->resize(900, 600);
}

void TestFirmware::cleanup()
{
    window.reset();
    qunsetenv("KNOTLATTICE_DEVICE_VOLUME");
    volume.reset();
    program.reset();
}

PatchDocument* TestFirmware::makePatch()
{
    PatchDocument* doc = window->currentDocument();
    doc->addBlockHandler("Sine Oscillator", 100, 120);
    const int sine = doc->highestInstanceId();
    doc->addBlockHandler("Split", 300, 120);
    const int split = doc->highestInstanceId();
    doc->addBlockHandler("Audio Output", 500, 120);
    const int out = doc->highestInstanceId();
    doc->addConnectionHandler(1, sine, 0, split, 0);
    doc->addConnectionHandler(2, split, 0, out, 0);
    doc->addConnectionHandler(3, split, 1, out, 1);
    doc->editVariable(sine, 0, "220");
    doc->addComment(1, 40, 300);
    doc->editComment(1, 40, 300, "<b>a</b> tone");
    doc->patchInfo()->nodeId = 7;
    return doc;
}

void TestFirmware::compileThenOpenFirmware()
{
    PatchDocument* doc = makePatch();
    // The patch as Compile takes it, before the build's wait lets the view settle.
    const QByteArray trailer = util::firmwareTrailer(window->getSaveData(doc));
    MessageCapture capture;
    window->compileCode();
    QCOMPARE(userWarnings(capture), QStringList{"Firmware updated!"});
    const QStringList debug = capture.texts(QtDebugMsg);
    const int compiled = debug.indexOf("finished compiling");
    QVERIFY2(compiled >= 0 && debug.indexOf("added patch file") > compiled &&
                 debug.indexOf("copied firmware") > debug.indexOf("added patch file"),
             qPrintable(debug.join('\n')));

    // The volume holds what the build made, followed by the trailer with the patch.
    const QByteArray uploaded = readFile(onDevice());
    QVERIFY(uploaded.endsWith(trailer));
    QCOMPARE(readFile(firmware("firmware.bin")), uploaded);
    QProcess rebuild;
    rebuild.setWorkingDirectory(firmware(QString()));
    rebuild.start(firmware("compile.sh"), QStringList());
    QVERIFY(rebuild.waitForFinished(60000) && rebuild.exitCode() == 0);
    QCOMPARE(uploaded, readFile(firmware("firmware.bin")) + trailer);

    window->openFromFirmware();
    QCOMPARE(window->tabWidget()->count(), 2);
    PatchDocument* back = window->currentDocument();
    QVERIFY(back != doc);
    QCOMPARE(back->patchInfo()->name, doc->patchInfo()->name);
    QCOMPARE(back->patchInfo()->nodeId, 7);
    QVERIFY(!back->changed());
    const InstanceList made = doc->blockInstances();
    const InstanceList opened = back->blockInstances();
    QCOMPARE(opened.size(), made.size());
    for (int i = 0; i < made.size(); ++i) {
        QCOMPARE(opened[i]->id, made[i]->id);
        QCOMPARE(opened[i]->description, made[i]->description);
        QCOMPARE(opened[i]->x, made[i]->x);
        QCOMPARE(opened[i]->y, made[i]->y);
        QCOMPARE(opened[i]->values, made[i]->values);
        QCOMPARE(opened[i]->nodeId, 7);
        QCOMPARE(opened[i]->inputs.size(), made[i]->inputs.size());
        for (auto in = made[i]->inputs.cbegin(); in != made[i]->inputs.cend(); ++in) {
            const BlockConnection* cable = opened[i]->inputs.value(in.key());
            QVERIFY(cable);
            QCOMPARE(cable->outBlock->id, in.value()->outBlock->id);
            QCOMPARE(cable->outBlockSocketId, in.value()->outBlockSocketId);
        }
    }
    QCOMPARE(back->blockConnections().size(), 3);
    QCOMPARE(back->comments().size(), 1);
    QCOMPARE(back->comments().first()->text, QStringLiteral("<b>a</b> tone"));
    QCOMPARE(util::readPatchRecord(window->getSaveData(back)).blocks.size(), made.size());
}

void TestFirmware::noDeviceCancelRunsNothing()
{
    QVERIFY(QFile::remove(onDevice()));
    standInBuild();
    makePatch();
    ModalDriver driver;
    answerDeviceBox(driver, compileText, QMessageBox::Cancel);
    MessageCapture capture;
    window->compileCode();
    QCOMPARE(driver.seen().size(), 1);
    QVERIFY(driver.unexpected().isEmpty());
    QVERIFY(!QFileInfo::exists(firmware("built-from.c")));
    QVERIFY(!QFileInfo::exists(onDevice()));
    QVERIFY2(userWarnings(capture).isEmpty(), qPrintable(userWarnings(capture).join('|')));
}

void TestFirmware::retryAfterTheDeviceAppears()
{
    QVERIFY(QFile::remove(onDevice()));
    standInBuild();
    makePatch();
    ModalDriver driver;
    // Retry with no device asks again; then the device is connected, and main.c, written
    // before the first box, is marked: the build must take it as it is.
    answerDeviceBox(driver, compileText, QMessageBox::Retry);
    answerDeviceBox(driver, compileText, QMessageBox::Retry, [this] {
        QVERIFY(writeFile(onDevice(), oldImage));
        QFile source(firmware("main.c"));
        QVERIFY(source.open(QIODevice::Append));
        source.write("/* written before the device came */\n");
    });
    MessageCapture capture;
    window->compileCode();
    QCOMPARE(driver.seen().size(), 2);
    QVERIFY(driver.unexpected().isEmpty());
    QVERIFY(readFile(firmware("built-from.c")).endsWith("/* written before the device came */\n"));
    QCOMPARE(userWarnings(capture), QStringList{"Firmware updated!"});
    QVERIFY(readFile(onDevice()).startsWith("stand-in image[>"));
}

void TestFirmware::failedStepUploadsNothing_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("warning");
    QTest::newRow("build fails") << "compile.sh"
                                 << QByteArray("printf 'half an image' > firmware.bin; exit 1\n")
                                 << "The firmware could not be built";
    QTest::newRow("build makes no image")
        << "compile.sh" << QByteArray("exit 0\n") << "The firmware build made no image";
    QTest::newRow("build runs too long")
        << "compile.sh" << QByteArray("sleep 60 & wait\n") << "did not finish within 0.5 seconds";
    QTest::newRow("copy fails")
        << "copy.sh" << QByteArray("echo 'copy.sh: the volume is full' >&2; exit 1\n")
        << "The firmware could not be copied to the device: the volume is full";
    QTest::newRow("no template") << "templ_chip.txt" << QByteArray()
                                 << "can't open template file for compiler";
    QTest::newRow("feedback loop") << "loop" << QByteArray() << "Feedback loop";
}

void TestFirmware::failedStepUploadsNothing()
{
    QFETCH(QString, step);
    QFETCH(QByteArray, script);
    QFETCH(QString, warning);
    standInBuild();
    if (step == "templ_chip.txt")
        QVERIFY(QFile::remove(program->path("compile/templ_chip.txt")));
    else if (step != "loop")
        standIn(step, script);
    window->firmwarePipeline()->setWaitLimit(500);
    PatchDocument* doc = makePatch();
    if (step == "loop") {
        doc->addBlockHandler("Multiply", 100, 400);
        const int a = doc->highestInstanceId();
        doc->addBlockHandler("Multiply", 300, 400);
        const int b = doc->highestInstanceId();
        doc->addConnectionHandler(4, a, 0, b, 0);
        doc->addConnectionHandler(5, b, 0, a, 0);
        QCOMPARE(doc->blockConnections().size(), 5);
    }

    MessageCapture capture;
    window->compileCode();
    const QStringList warnings = userWarnings(capture);
    QVERIFY2(!warnings.isEmpty() && warnings.constLast().contains(warning),
             qPrintable(warnings.join('\n')));
    QVERIFY(!warnings.contains("Firmware updated!"));
    QVERIFY(!capture.contains(QtDebugMsg, "copied firmware"));
    QCOMPARE(readFile(onDevice()), oldImage);
    QVERIFY(!window->isBuildingFirmware());
    QVERIFY(window->getAction("compile")->isEnabled());
    // Nothing to build: the build script never ran.
    if (step == "templ_chip.txt" || step == "loop")
        QVERIFY(!QFileInfo::exists(firmware("built-from.c")));
}

void TestFirmware::mainCNotWritable()
{
    standInBuild();
    // A folder in its place: the test may run as root, which no file mode stops.
    QVERIFY(QDir().mkpath(firmware("main.c")));
    makePatch();
    ModalDriver driver;
    MessageCapture capture;
    window->compileCode();
    QCOMPARE(userWarnings(capture), QStringList{"can't write main.c file for compiler"});
    QVERIFY(driver.seen().isEmpty());
    QVERIFY(!QFileInfo::exists(firmware("built-from.c")));
    QCOMPARE(readFile(onDevice()), oldImage);
}

void TestFirmware::patchThatWouldNotReadBackBuildsNothing()
{
    standInBuild();
    PatchDocument* doc = makePatch();
    // A text no record holds: the image would carry a patch that never reads back.
    doc->addComment(1, 10, 10, QString(70000, 'x'));
    ModalDriver driver;
    MessageCapture capture;
    window->compileCode();
    QCOMPARE(userWarnings(capture),
             QStringList{"No firmware was built. The text of comment 1 takes 70000 bytes; a "
                         "patch holds at most 65535 bytes of one text."});
    QVERIFY(driver.seen().isEmpty());
    QVERIFY(!QFileInfo::exists(firmware("main.c")));
    QCOMPARE(readFile(onDevice()), oldImage);
}

void TestFirmware::editorStaysUsableDuringABuild()
{
    // The build waits for the test, which acts from inside the build's wait.
    standIn("compile.sh",
            "while [ ! -f go ]; do sleep 0.05; done; printf 'image' > firmware.bin\n");
    PatchDocument* doc = makePatch();
    const QByteArray record = window->getSaveData(doc);
    bool checked = false;
    QTimer::singleShot(100, window.get(), [&] {
        QVERIFY(window->isBuildingFirmware());
        QVERIFY(!window->getAction("compile")->isEnabled());
        QVERIFY(!window->getAction("open_firmware")->isEnabled());
        QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Building the firmware..."));
        // A second Compile or Open Firmware while this one runs does nothing.
        window->compileCode();
        window->openFromFirmware();
        QCOMPARE(window->tabWidget()->count(), 1);
        // The patch was taken when main.c was written: closing it now changes nothing.
        doc->setChanged(false);
        window->closeCurrentDocument();
        QCOMPARE(window->tabWidget()->count(), 0);
        QVERIFY(writeFile(firmware("go"), ""));
        checked = true;
    });
    MessageCapture capture;
    window->compileCode();
    QVERIFY(checked);
    QCOMPARE(userWarnings(capture), QStringList{"Firmware updated!"});
    QCOMPARE(readFile(onDevice()), "image" + util::firmwareTrailer(record));
    QVERIFY(!window->isBuildingFirmware());
    QVERIFY(window->getAction("open_firmware")->isEnabled());
    QVERIFY(!window->getAction("compile")->isEnabled());
    QVERIFY(window->statusBar()->currentMessage().isEmpty());
}

void TestFirmware::openingNothing_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("warning");
    QTest::newRow("image without a trailer") << "no trailer"
                                             << "holds no patch";
    QTest::newRow("cut trailer") << "cut trailer"
                                 << "holds no patch";
    QTest::newRow("unreadable image") << "unreadable"
                                      << "Cannot open file for reading:";
    QTest::newRow("no device, Cancel") << "none"
                                       << "";
}

void TestFirmware::openingNothing()
{
    QFETCH(QString, device);
    QFETCH(QString, warning);
    QVERIFY(QFile::remove(onDevice()));
    if (device == "no trailer")
        QVERIFY(writeFile(onDevice(), oldImage + "[> not a record <]"));
    if (device == "cut trailer") {
        const QByteArray record = window->getSaveData(makePatch());
        QVERIFY(writeFile(onDevice(), oldImage + "[>" + record.left(record.size() - 3) + "<]"));
    }
    if (device == "unreadable")
        QVERIFY(QDir().mkpath(onDevice()));
    const int tabs = window->tabWidget()->count();

    ModalDriver driver;
    if (device == "none")
        answerDeviceBox(driver, openText, QMessageBox::Cancel);
    MessageCapture capture;
    window->openFromFirmware();
    QVERIFY(driver.unexpected().isEmpty());
    QCOMPARE(driver.seen().size(), device == "none" ? 1 : 0);
    QCOMPARE(window->tabWidget()->count(), tabs);
    if (warning.isEmpty()) {
        QVERIFY(userWarnings(capture).isEmpty());
    } else {
        QCOMPARE(userWarnings(capture).size(), 1);
        QVERIFY2(userWarnings(capture).first().contains(warning),
                 qPrintable(userWarnings(capture).first()));
    }
}

void TestFirmware::versionZeroOpensAsFirmware()
{
    // A first-release record: a sine and an output, no name, no node id.
    ByteWriter w;
    w.cstring("Sine Oscillator").u8(1).u16(100).u16(150).cstring("440;0;").u8(1).u8(0).u8(2).u8(0);
    w.cstring("Audio Output").u8(2).u16(400).u16(150).cstring("0;0;0;0;").u8(0);
    QVERIFY(writeFile(onDevice(), oldImage + util::firmwareTrailer(w.bytes)));

    MessageCapture capture;
    window->openFromFirmware();
    QVERIFY2(userWarnings(capture).isEmpty(), qPrintable(userWarnings(capture).join('\n')));
    PatchDocument* doc = window->currentDocument();
    QCOMPARE(window->tabWidget()->count(), 2);
    QCOMPARE(doc->patchInfo()->name, QStringLiteral("firmware"));
    QCOMPARE(window->tabWidget()->tabText(window->tabWidget()->currentIndex()),
             QStringLiteral("firmware"));
    QCOMPARE(doc->blockInstances().size(), 2);
    QCOMPARE(doc->blockConnections().size(), 1);
    const QPointF centre = doc->mapToScene(doc->viewport()->rect().center());
    QVERIFY2(qAbs(centre.x() - 2000) <= 2 && qAbs(centre.y() - 2000) <= 2,
             qPrintable(QStringLiteral("%1, %2").arg(centre.x()).arg(centre.y())));

    // Opened again, it comes in another tab of the same name.
    window->openFromFirmware();
    QCOMPARE(window->tabWidget()->count(), 3);
}

void TestFirmware::imageAgainstTheFlash_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("warning");
    QTest::newRow("the flash's size") << util::flashSize << QString();
    QTest::newRow("a byte more")
        << util::flashSize + 1
        << "The firmware file on the device is larger than the device's 512 KB of flash, so it "
           "is not a firmware image and nothing was opened.";
}

void TestFirmware::imageAgainstTheFlash()
{
    QFETCH(qint64, size);
    QFETCH(QString, warning);
    // The trailer at the very end of the file, as Compile appends it.
    const QByteArray trailer = util::firmwareTrailer(window->getSaveData(makePatch()));
    QVERIFY(writeFile(onDevice(), QByteArray(int(size) - trailer.size(), 'a') + trailer));
    const int tabs = window->tabWidget()->count();

    MessageCapture capture;
    window->openFromFirmware();
    QCOMPARE(userWarnings(capture), warning.isEmpty() ? QStringList() : QStringList{warning});
    QCOMPARE(window->tabWidget()->count(), tabs + (warning.isEmpty() ? 1 : 0));
}

KL_TEST_MAIN(TestFirmware)

#include "test_firmware.moc"
