// The preset window's states in the application: Play returns to Play when there is nothing to
// play or the program ends, and closing the window while the editor is hidden closes the editor
// properly: its unsaved patch is asked about, Cancel keeps both windows and the preset playing,
// and once the close is decided no emulator program is left running. While the editor builds
// firmware or copies it to the device, Load to Device waits.
#include "Emulator.h"
#include "MainApp.h"
#include "MainWindow.h"
#include "MessageCapture.h"
#include "ModalDriver.h"
#include "PatchDocument.h"
#include "Preferences.h"
#include "PresetWindow.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

// Holds argv for the lifetime of an application object.
struct Args
{
    explicit Args(QStringList list)
    {
        for (const QString& a : list)
            storage.push_back(a.toLocal8Bit());
        for (QByteArray& b : storage)
            pointers.push_back(b.data());
        pointers.push_back(nullptr);
        argc = int(storage.size());
    }
    std::vector<QByteArray> storage;
    std::vector<char*> pointers;
    int argc = 0;
};

bool processExists(qint64 pid)
{
    return pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

bool writeScript(const QString& path, const QByteArray& body)
{
    return writeAll(path, "#!/bin/sh\n" + body) &&
           QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// What the user is shown: the offscreen platform's own remarks about windows left out.
QStringList userWarnings(const MessageCapture& capture)
{
    QStringList shown;
    for (const QString& w : capture.warnings()) {
        if (!w.contains(QLatin1String("propagateSizeHints")) &&
            !w.startsWith(QLatin1String("This plugin does not support")))
            shown << w;
    }
    return shown;
}

} // namespace

class TestPresetStates : public QObject
{
    Q_OBJECT

private slots:
    void states_data();
    void states();
    void loadWaitsForTheEditorsFirmware_data();
    void loadWaitsForTheEditorsFirmware();
};

void TestPresetStates::states_data()
{
    // The preset chosen ("" none), whether the hidden editor has an unsaved patch, the answer
    // to its question ("" none asked), then: the window closed, and what follows.
    QTest::addColumn<QString>("preset");
    QTest::addColumn<bool>("unsaved");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("close");
    QTest::addColumn<bool>("playing");
    QTest::addColumn<bool>("windowsOpen");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QString>("says");

    QTest::newRow("Play with no preset")
        << "" << false << "" << false << false << true << false << "Choose a preset";
    QTest::newRow("Play with a missing program")
        << "Missing" << false << "" << false << false << true << false << "is missing";
    QTest::newRow("Play with a program that cannot start")
        << "Broken" << false << "" << false << false << true << false
        << "can't start the emulator program";
    QTest::newRow("a program that ends by itself")
        << "Ends" << false << "" << false << false << true << false << "";
    QTest::newRow("a program that plays")
        << "Runs" << false << "" << false << true << true << false << "";
    QTest::newRow("close, nothing unsaved")
        << "Runs" << false << "" << true << false << false << false << "";
    QTest::newRow("close, unsaved patch: Save")
        << "Runs" << true << "Save" << true << false << false << true << "";
    QTest::newRow("close, unsaved patch: Discard")
        << "Runs" << true << "Discard" << true << false << false << false << "";
    QTest::newRow("close, unsaved patch: Cancel")
        << "Runs" << true << "Cancel" << true << true << true << false << "";
}

void TestPresetStates::states()
{
    QFETCH(QString, preset);
    QFETCH(bool, unsaved);
    QFETCH(QString, answer);
    QFETCH(bool, close);
    QFETCH(bool, playing);
    QFETCH(bool, windowsOpen);
    QFETCH(bool, saved);
    QFETCH(QString, says);

    TempProgramDir program;
    QTemporaryDir scratch;
    QVERIFY(program.copyIn(testsupport::binPath("blocks"), "blocks"));
    QVERIFY(program.writeFile("presets/presets-en.xml",
                              "<!DOCTYPE presets><presets><category name=\"Tests\">"
                              "<preset name=\"Runs\"><file>Runs</file></preset>"
                              "<preset name=\"Ends\"><file>Ends</file></preset>"
                              "<preset name=\"Missing\"><file>Missing</file></preset>"
                              "<preset name=\"Broken\"><file>Broken</file></preset>"
                              "</category></presets>"));
    // Stand-ins for preset programs: one that plays until told to quit, one that ends soon.
    const QString pidFile = scratch.filePath("pid");
    QVERIFY(program.writeFile("presets/emulator/Runs", "#!/bin/sh\necho $$ > '" +
                                                           pidFile.toLocal8Bit() +
                                                           "'\nexec cat > /dev/null\n"));
    QVERIFY(program.writeFile("presets/emulator/Ends", "#!/bin/sh\nsleep 1\n"));
    // Marked as a program, but nothing the system can run.
    QVERIFY(program.writeFile("presets/emulator/Broken", "not a program\n"));
    // What the editor's emulator plays meanwhile.
    const QString editorPidFile = scratch.filePath("editor pid");
    QVERIFY(program.writeFile("editor program", "#!/bin/sh\necho $$ > '" +
                                                    editorPidFile.toLocal8Bit() +
                                                    "'\nexec cat > /dev/null\n"));
    for (const char* name : {"presets/emulator/Runs", "presets/emulator/Ends",
                             "presets/emulator/Broken", "editor program"})
        QFile::setPermissions(program.path(QString::fromLatin1(name)),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QSettings().clear();
    QSettings().setValue(Preferences::DefaultPatchPath, scratch.path());

    Args argv(QStringList{"Knotlattice"});
    MainApp app(argv.argc, argv.pointers.data());
    MainWindow* editor = app.mainWindow();
    PresetWindow* window = app.presetWindow();
    app.showPresetWindow();
    QVERIFY(window->isVisible());
    QVERIFY(!editor->isVisible());
    if (unsaved) {
        PatchDocument* doc = editor->currentDocument();
        QVERIFY(doc);
        doc->addBlockHandler(QStringLiteral("Sine Oscillator"), 2000, 2000);
        QVERIFY(doc->changed());
    }

    QListWidget* list = window->presetList();
    // The first preset is current from the start; "" takes the current row away, as a
    // catalogue without presets leaves the list.
    list->setCurrentRow(-1);
    for (int row = 0; row < list->count(); ++row) {
        if (list->item(row)->text() == preset)
            list->setCurrentRow(row);
    }
    MessageCapture capture;
    window->playAction()->setChecked(true);
    if (preset == QLatin1String("Ends")) {
        QVERIFY(window->playAction()->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(!window->playAction()->isChecked(), 10000);
    }
    if (preset == QLatin1String("Runs"))
        QTRY_VERIFY(!readAll(pidFile).trimmed().isEmpty());
    const qint64 pid = readAll(pidFile).trimmed().toLongLong();

    // The hidden editor plays too when the window is closed: its program must outlive a
    // cancelled close as well.
    qint64 editorPid = 0;
    if (close) {
        QVERIFY(editor->emulatorDock()->start('"' + program.path("editor program") + '"'));
        QTRY_VERIFY(!readAll(editorPidFile).trimmed().isEmpty());
        editorPid = readAll(editorPidFile).trimmed().toLongLong();
    }

    ModalDriver driver;
    const QString path = scratch.filePath("kept.ktl");
    if (answer == QLatin1String("Save")) {
        driver.answerBox(QMessageBox::Yes);
        driver.acceptFileDialog(path);
    } else if (answer == QLatin1String("Discard")) {
        driver.answerBox(QMessageBox::No);
    } else if (answer == QLatin1String("Cancel")) {
        driver.answerBox(QMessageBox::Cancel);
    }
    if (close)
        window->close();

    QCOMPARE(driver.pending(), 0);
    QVERIFY2(driver.unexpected().isEmpty(), qPrintable(driver.unexpected().join('\n')));
    QCOMPARE(window->playAction()->isChecked(), playing);
    QCOMPARE(window->playAction()->text(),
             playing ? QStringLiteral("Stop") : QStringLiteral("Play"));
    QCOMPARE(window->emulatorPanel()->isRunning(), playing);
    QCOMPARE(window->isVisible(), windowsOpen);
    QCOMPARE(processExists(pid), playing);
    QCOMPARE(QFileInfo::exists(path), saved);
    if (close && windowsOpen) {
        // Nothing of the editor was lost either.
        QVERIFY(editor->currentDocument() && editor->currentDocument()->changed());
    }
    if (close) {
        QCOMPARE(editor->emulatorDock()->isRunning(), windowsOpen);
        QCOMPARE(processExists(editorPid), windowsOpen);
    }
    QStringList warnings;
    for (const QString& w : capture.warnings()) {
        // The test platform's own notice about a box.
        if (!w.contains(QLatin1String("propagateSizeHints")))
            warnings << w;
    }
    if (says.isEmpty())
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
    else
        QVERIFY2(warnings.size() == 1 && warnings.first().contains(says),
                 qPrintable(warnings.join('\n')));
    window->playAction()->setChecked(false);
    editor->emulatorDock()->stop();
}

void TestPresetStates::loadWaitsForTheEditorsFirmware_data()
{
    // The editor's script that is still running when the preset window is used.
    QTest::addColumn<QString>("waiting");
    QTest::newRow("while the editor builds") << "compile.sh";
    QTest::newRow("while the editor copies to the device") << "copy.sh";
}

void TestPresetStates::loadWaitsForTheEditorsFirmware()
{
    QFETCH(QString, waiting);

    TempProgramDir program;
    QTemporaryDir volume;
    QVERIFY(program.copyIn(testsupport::binPath("blocks"), "blocks"));
    QVERIFY(program.copyIn(testsupport::binPath("compile"), "compile"));
    QVERIFY(program.writeFile("presets/presets-en.xml",
                              "<!DOCTYPE presets><presets><category name=\"Tests\">"
                              "<preset name=\"Bell\"><file>Bell</file></preset>"
                              "</category></presets>"));
    QVERIFY(program.writeFile("presets/firmware/Bell.bin", "the preset's image"));
    const QString device = volume.filePath("firmware.bin");
    QVERIFY(writeAll(device, "old"));
    qputenv("KNOTLATTICE_DEVICE_VOLUME", volume.path().toLocal8Bit());

    // Stand-ins for the editor's scripts; the one named waits until the test lets it go on.
    const QString folder = program.path("compile/firmware/");
    const QByteArray hold = "touch running; while [ ! -f go ]; do sleep 0.05; done\n";
    QVERIFY(writeScript(folder + "compile.sh", (waiting == "compile.sh" ? hold : QByteArray()) +
                                                   "printf 'the editor image' > firmware.bin\n"));
    QVERIFY(
        writeScript(folder + "copy.sh", (waiting == "copy.sh" ? hold : QByteArray()) +
                                            "cp firmware.bin \"$KNOTLATTICE_DEVICE_VOLUME/\"\n"));
    QSettings().clear();

    Args argv(QStringList{"Knotlattice"});
    MainApp app(argv.argc, argv.pointers.data());
    MainWindow* editor = app.mainWindow();
    PresetWindow* window = app.presetWindow();
    QVERIFY(editor->currentDocument());
    editor->currentDocument()->addBlockHandler(QStringLiteral("Sine Oscillator"), 2000, 2000);
    QAction* load = window->loadAction();
    const QString tip = load->toolTip();
    QVERIFY(load->isEnabled());

    // Acts from inside the editor's wait, once the script that waits runs.
    bool checked = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        if (checked || !QFileInfo::exists(folder + "running"))
            return;
        checked = true;
        // The script goes on when this returns, whether the checks pass or not.
        struct Release
        {
            QString go;
            ~Release() { writeAll(go, ""); }
        } release{folder + "go"};
        QVERIFY(editor->isBuildingFirmware());
        QVERIFY(!load->isEnabled());
        QVERIFY2(load->toolTip().contains("one copy at a time"), qPrintable(load->toolTip()));
        // Neither the action nor the slot itself writes to the device meanwhile.
        load->trigger();
        window->updateFirmware();
        QCOMPARE(readAll(device), QByteArray("old"));
    });
    poll.start(10);
    MessageCapture capture;
    editor->compileCode();
    poll.stop();
    QVERIFY(checked);
    QVERIFY(readAll(device).startsWith("the editor image[>"));
    QVERIFY(!userWarnings(capture).isEmpty());
    QCOMPARE(userWarnings(capture).last(), QStringLiteral("Firmware updated!"));
    for (const QString& w : userWarnings(capture).mid(0, userWarnings(capture).size() - 1))
        QVERIFY2(w.contains("Load the preset when it has finished"), qPrintable(w));

    // Once the editor is done, Load to Device copies again.
    QVERIFY(load->isEnabled());
    QCOMPARE(load->toolTip(), tip);
    capture.clear();
    load->trigger();
    QCOMPARE(userWarnings(capture), QStringList{"Firmware updated!"});
    QCOMPARE(readAll(device), QByteArray("the preset's image"));
    qunsetenv("KNOTLATTICE_DEVICE_VOLUME");
}

KL_TEST_MAIN_NOAPP(TestPresetStates)

#include "test_presetstates.moc"
