// The preset window: what the catalogue puts in the list (categories sorted by code unit, their
// presets in catalogue order, header rows that never become current), what a selected preset
// shows, Play with the prebuilt program, Load to Device against a temporary volume that never
// loses the device's image to a copy that cannot be made, and the presets folder that the
// build makes: a program and an image for every preset, programs that the kill script ends.
#include "Emulator.h"
#include "Knob.h"
#include "MessageCapture.h"
#include "ModalDriver.h"
#include "PresetCatalogue.h"
#include "PresetWindow.h"
#include "ShownText.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QAbstractButton>
#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <csignal>
#include <memory>

#include <sys/resource.h>

namespace {

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

// A catalogue entry: name, file, info and the control elements given (an empty string leaves
// that element out).
QByteArray preset(const QString& name, const QString& file, const QString& info = "about",
                  const QStringList& controls = {"k1", "k2", "s1", "s2"})
{
    QByteArray xml = "<preset name=\"" + name.toUtf8() + "\"><file>" + file.toUtf8() +
                     "</file><info>" + info.toUtf8() + "</info>";
    for (int i = 0; i < controls.size(); ++i) {
        if (!controls.at(i).isEmpty())
            xml +=
                QStringLiteral("<control%1>%2</control%1>").arg(i + 1).arg(controls.at(i)).toUtf8();
    }
    return xml + "</preset>";
}

QByteArray category(const QString& name, const QByteArray& presets)
{
    return "<category name=\"" + name.toUtf8() + "\">" + presets + "</category>";
}

QByteArray catalogueOf(const QByteArray& categories)
{
    return "<?xml version=\"1.0\"?>\n<!DOCTYPE presets>\n<presets>" + categories + "</presets>";
}

QStringList rowTexts(const QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

QList<int> selectedRows(const QListWidget* list)
{
    QList<int> rows;
    for (const QListWidgetItem* item : list->selectedItems())
        rows << list->row(item);
    return rows;
}

QStringList toolTips(const Emulator* emulator)
{
    QStringList tips;
    for (const char* name : {"knob1", "knob2", "checkBox1", "checkBox2"})
        tips << testsupport::shownToolTip(
            emulator->findChild<QWidget*>(QLatin1String(name))->toolTip());
    return tips;
}

} // namespace

class TestPresetWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void catalogue_data();
    void catalogue();
    void headerRowsNeverBecomeCurrent();
    void theCurrentPresetIsTheHighlightedOne_data();
    void theCurrentPresetIsTheHighlightedOne();
    void catalogueTextsLoadNothing();
    void loadToDevice_data();
    void loadToDevice();
    void playsThePresetAtOnce();
    void everyPresetHasItsProgramAndImage();
    void killScriptEndsPresetPrograms();

private:
    std::unique_ptr<TempProgramDir> program;
    QTemporaryDir volume;
};

void TestPresetWindow::init()
{
    program = std::make_unique<TempProgramDir>();
    QVERIFY(volume.isValid());
    qputenv("KNOTLATTICE_DEVICE_VOLUME", volume.path().toLocal8Bit());
    QFile::remove(volume.filePath("firmware.bin"));
    QDir(volume.filePath("firmware.bin")).removeRecursively();
}

void TestPresetWindow::cleanup()
{
    program.reset();
    qunsetenv("KNOTLATTICE_DEVICE_VOLUME");
}

void TestPresetWindow::catalogue_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QStringList>("rows");
    // The presets by row, as "row name".
    QTest::addColumn<QStringList>("presets");
    // The row current when the window opens (the first preset's) and what the info panel
    // shows then; then the row selected, the info panel's text and the four tool tips.
    QTest::addColumn<int>("first");
    QTest::addColumn<QString>("firstInfo");
    QTest::addColumn<int>("select");
    QTest::addColumn<QString>("info");
    QTest::addColumn<QStringList>("tips");

    const QByteArray two = preset("One", "one") + preset("Two", "two");
    QTest::newRow("rows count the headers")
        << catalogueOf(category("Drums", two) +
                       category("Voices", preset("Three", "three") + preset("Four", "four")))
        << QStringList{"----- Drums -----", "One", "Two", "----- Voices -----", "Three", "Four"}
        << QStringList{"1 One", "2 Two", "4 Three", "5 Four"} << 1 << "One\nabout" << 4
        << "Three\nabout" << QStringList{"k1", "k2", "s1", "s2"};
    QTest::newRow("a later category of the same name replaces the earlier")
        << catalogueOf(category("Same", two) + category("Other", preset("Three", "three")) +
                       category("Same", preset("Four", "four")))
        << QStringList{"----- Other -----", "Three", "----- Same -----", "Four"}
        << QStringList{"1 Three", "3 Four"} << 1 << "Three\nabout" << 3 << "Four\nabout"
        << QStringList{"k1", "k2", "s1", "s2"};
    QTest::newRow("categories sorted by code unit, presets in catalogue order")
        << catalogueOf(category("b", preset("Zed", "z") + preset("Alpha", "a")) +
                       category("B", preset("b1", "b1")) + category("a", preset("a1", "a1")) +
                       category("A", preset("A1", "A1")))
        << QStringList{"----- A -----", "A1",  "----- B -----", "b1", "----- a -----", "a1",
                       "----- b -----", "Zed", "Alpha"}
        << QStringList{"1 A1", "3 b1", "5 a1", "7 Zed", "8 Alpha"} << 1 << "A1\nabout" << 8
        << "Alpha\nabout" << QStringList{"k1", "k2", "s1", "s2"};
    QTest::newRow("a missing control element gives an empty tool tip")
        << catalogueOf(category("C", preset("Three", "three", "info", {"k1", "k2", "", "s2"})))
        << QStringList{"----- C -----", "Three"} << QStringList{"1 Three"} << 1 << "Three\ninfo"
        << 1 << "Three\ninfo" << QStringList{"k1", "k2", "", "s2"};
    QTest::newRow("an empty info shows the name alone")
        << catalogueOf(category("C", preset("Bare", "bare", "")))
        << QStringList{"----- C -----", "Bare"} << QStringList{"1 Bare"} << 1 << "Bare\n"
        << 1 << "Bare\n"
        << QStringList{"k1", "k2", "s1", "s2"};
    QTest::newRow("info is rich text")
        << catalogueOf(category("C", preset("Rich", "rich", "&lt;i&gt;soft&lt;/i&gt; &amp; loud")))
        << QStringList{"----- C -----", "Rich"} << QStringList{"1 Rich"} << 1 << "Rich\nsoft & loud"
        << 1 << "Rich\nsoft & loud" << QStringList{"k1", "k2", "s1", "s2"};
    QTest::newRow("missing catalogue") << QByteArray() << QStringList() << QStringList() << -1 << ""
                                       << -1 << "" << QStringList{"", "", "", ""};
    QTest::newRow("malformed catalogue")
        << QByteArray("<presets><category name=\"C\">" + preset("One", "one")) << QStringList()
        << QStringList() << -1 << "" << -1 << "" << QStringList{"", "", "", ""};
    QTest::newRow("no presets root")
        << QByteArray("<catalogue>" + category("C", preset("One", "one")) + "</catalogue>")
        << QStringList() << QStringList() << -1 << "" << -1 << "" << QStringList{"", "", "", ""};
    QTest::newRow("a category without presets")
        << catalogueOf(category("Empty", "") + category("Full", preset("Only", "only")))
        << QStringList{"----- Empty -----", "----- Full -----", "Only"} << QStringList{"2 Only"}
        << 2 << "Only\nabout" << 2 << "Only\nabout" << QStringList{"k1", "k2", "s1", "s2"};
}

void TestPresetWindow::catalogue()
{
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, presets);
    QFETCH(int, first);
    QFETCH(QString, firstInfo);
    QFETCH(int, select);
    QFETCH(QString, info);
    QFETCH(QStringList, tips);
    if (!xml.isEmpty())
        QVERIFY(program->writeFile("presets/presets-en.xml", xml));

    PresetWindow window(nullptr);
    QListWidget* list = window.presetList();
    QCOMPARE(rowTexts(list), rows);
    QStringList byRow;
    for (int row = 0; row < list->count(); ++row) {
        const bool header = list->item(row)->text().startsWith(QLatin1String("----- "));
        const Qt::ItemFlags flags = list->item(row)->flags();
        if (header)
            QCOMPARE(flags, Qt::NoItemFlags);
        else
            QVERIFY(flags.testFlag(Qt::ItemIsSelectable) && flags.testFlag(Qt::ItemIsEnabled));
        if (!header)
            byRow << QStringLiteral("%1 %2").arg(row).arg(list->item(row)->text());
    }
    QCOMPARE(byRow, presets);
    // The first preset is current and highlighted at once, and the info panel shows it.
    QCOMPARE(list->currentRow(), first);
    QCOMPARE(selectedRows(list), first < 0 ? QList<int>() : QList<int>{first});
    QCOMPARE(window.infoPanel()->toPlainText(), firstInfo);

    if (select >= 0)
        list->setCurrentRow(select);
    QCOMPARE(window.infoPanel()->toPlainText(), info);
    QCOMPARE(toolTips(window.emulatorPanel()), tips);

    // With no row current, nothing is described.
    list->setCurrentRow(-1);
    QVERIFY(window.infoPanel()->toPlainText().isEmpty());
    QCOMPARE(toolTips(window.emulatorPanel()), (QStringList{"", "", "", ""}));
}

// The catalogue is a file beside the editor: a name shows as typed, and the description, rich
// text, shows no picture but the program's own and reads no file.
void TestPresetWindow::catalogueTextsLoadNothing()
{
    QImage square(200, 200, QImage::Format_RGB32);
    square.fill(Qt::red);
    const QString picture = program->path() + "/square.png";
    QVERIFY(square.save(picture));
    const QString tag = "<img src=\"" + picture + "\">";
    const QString escaped = tag.toHtmlEscaped();
    QVERIFY(program->writeFile(
        "presets/presets-en.xml",
        catalogueOf(category("C", preset("&lt;b&gt;Bold&lt;/b&gt; " + escaped, "bold",
                                         "&lt;p&gt;" + escaped + "&lt;/p&gt;",
                                         {escaped, "&lt;b&gt;k2&lt;/b&gt;", "s1", "s2"})))));
    PresetWindow window(nullptr);
    window.presetList()->setCurrentRow(1);
    QCOMPARE(window.infoPanel()->toPlainText(), "<b>Bold</b> " + tag + "\n\n\uFFFC");
    QCOMPARE(testsupport::loadedImages(window.infoPanel()->document()), 0);
    QCOMPARE(toolTips(window.emulatorPanel()), (QStringList{tag, "<b>k2</b>", "s1", "s2"}));
}

void TestPresetWindow::headerRowsNeverBecomeCurrent()
{
    QVERIFY(program->writeFile(
        "presets/presets-en.xml",
        catalogueOf(category("A", preset("One", "one") + preset("Two", "two")) +
                    category("B", preset("Three", "three") + preset("Four", "four")))));
    PresetWindow window(nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QListWidget* list = window.presetList();
    auto click = [list](int row) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row)).center());
    };
    click(2);
    QCOMPARE(list->currentRow(), 2);
    const QString shown = window.infoPanel()->toPlainText();
    for (int header : {3, 0}) {
        click(header);
        QCOMPARE(list->currentRow(), 2);
        QCOMPARE(window.infoPanel()->toPlainText(), shown);
    }
    // The keyboard steps over the header.
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(list->currentRow(), 4);
    // A header's row given to the slot directly shows nothing new.
    window.selectPreset(3);
    QCOMPARE(window.infoPanel()->toPlainText(), QStringLiteral("Three\nabout"));
    QVERIFY(shown.startsWith(QLatin1String("Two")));
}

void TestPresetWindow::theCurrentPresetIsTheHighlightedOne_data()
{
    // What the user does once the list has the focus: a click on a row (-1 none), with Ctrl or
    // without, or keys; then the row that is current.
    QTest::addColumn<int>("click");
    QTest::addColumn<bool>("ctrl");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("row");
    QTest::newRow("the list gets the focus") << -1 << false << QList<int>() << 1;
    QTest::newRow("Ctrl+click on the current row") << 1 << true << QList<int>() << 1;
    QTest::newRow("Ctrl+Space on the current row") << -1 << true << QList<int>{Qt::Key_Space} << 1;
    QTest::newRow("a click on a header") << 3 << false << QList<int>() << 1;
    QTest::newRow("a click on another preset") << 5 << false << QList<int>() << 5;
    QTest::newRow("Ctrl+click on another preset") << 4 << true << QList<int>() << 4;
    QTest::newRow("the arrow key twice")
        << -1 << false << QList<int>{Qt::Key_Down, Qt::Key_Down} << 4;
}

void TestPresetWindow::theCurrentPresetIsTheHighlightedOne()
{
    QFETCH(int, click);
    QFETCH(bool, ctrl);
    QFETCH(QList<int>, keys);
    QFETCH(int, row);
    QVERIFY(program->writeFile(
        "presets/presets-en.xml",
        catalogueOf(category("A", preset("One", "one") + preset("Two", "two")) +
                    category("B", preset("Three", "three") + preset("Four", "four")))));
    PresetWindow window(nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QListWidget* list = window.presetList();
    QApplication::setActiveWindow(&window);
    list->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(list->hasFocus());

    const Qt::KeyboardModifiers modifiers = ctrl ? Qt::ControlModifier : Qt::NoModifier;
    if (click >= 0)
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers,
                          list->visualItemRect(list->item(click)).center());
    for (const int key : keys)
        QTest::keyClick(list, Qt::Key(key), modifiers);

    // The row the description belongs to is the one highlighted, and the one that Play and
    // Load to Device take.
    QCOMPARE(list->currentRow(), row);
    QCOMPARE(selectedRows(list), QList<int>{row});
    QCOMPARE(window.infoPanel()->toPlainText(), list->item(row)->text() + "\nabout");
}

void TestPresetWindow::loadToDevice_data()
{
    // Whether the catalogue lists the preset, and whether its image is there.
    QTest::addColumn<bool>("listed");
    QTest::addColumn<bool>("image");
    // What the device volume holds before: "old" (an image), "none" (the device is not there),
    // "folder" (firmware.bin cannot be replaced) or "full" (an image, and no room for more
    // than a few bytes).
    QTest::addColumn<QString>("device");
    // The answer to the device box: "", "cancel", "connect" (the device comes, then Retry) or
    // "change" (the preset's image is rewritten, the device comes, then Retry).
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("says");

    const QByteArray image = "the preset's image";
    QTest::newRow("copies the image") << true << true << "old"
                                      << "" << image << "Firmware updated!";
    QTest::newRow("a missing image keeps the old one")
        << true << false << "old"
        << "" << QByteArray("old") << "cannot be read";
    QTest::newRow("no device, cancelled") << true << true << "none"
                                          << "cancel" << QByteArray() << "";
    QTest::newRow("no device, connected, retried") << true << true << "none"
                                                   << "connect" << image << "Firmware updated!";
    QTest::newRow("the image changes while the box is up")
        << true << true << "none"
        << "change" << image << "Firmware updated!";
    QTest::newRow("no preset in the list") << false << true << "old"
                                           << "" << QByteArray("old") << "Choose a preset";
    QTest::newRow("the device's image cannot be replaced")
        << true << true << "folder"
        << "" << QByteArray() << "cannot be replaced: Is a directory";
    QTest::newRow("the copy cannot be written") << true << true << "full"
                                                << "" << QByteArray() << "could not be copied";
}

void TestPresetWindow::loadToDevice()
{
    QFETCH(bool, listed);
    QFETCH(bool, image);
    QFETCH(QString, device);
    QFETCH(QString, answer);
    QFETCH(QByteArray, after);
    QFETCH(QString, says);

    // The image is named by the preset's file, not by the name the list shows.
    QVERIFY(program->writeFile(
        "presets/presets-en.xml",
        catalogueOf(category("C", listed ? preset("Soft Bell", "Bell") : QByteArray()))));
    QVERIFY(QDir().mkpath(program->path("presets/firmware")));
    const QString source = program->path("presets/firmware/Bell.bin");
    if (image)
        QVERIFY(writeAll(source, "the preset's image"));
    const QString target = volume.filePath("firmware.bin");
    if (device == QLatin1String("old") || device == QLatin1String("full"))
        QVERIFY(writeAll(target, "old"));
    else if (device == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(target));

    PresetWindow window(nullptr);
    ModalDriver driver;
    if (answer == QLatin1String("cancel"))
        driver.answerBox(QMessageBox::Cancel);
    if (answer == QLatin1String("connect") || answer == QLatin1String("change")) {
        const bool change = answer == QLatin1String("change");
        driver.answer([=](QWidget* w) {
            if (change)
                writeAll(source, "an image written meanwhile");
            writeAll(target, "old");
            qobject_cast<QMessageBox*>(w)->button(QMessageBox::Retry)->click();
        });
    }
    MessageCapture capture;
    // A volume with no room: files of this process cannot grow beyond 8 bytes meanwhile.
    struct rlimit was;
    getrlimit(RLIMIT_FSIZE, &was);
    const bool full = device == QLatin1String("full");
    if (full) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = was;
        small.rlim_cur = 8;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    }
    window.loadAction()->trigger();
    if (full)
        setrlimit(RLIMIT_FSIZE, &was);

    QCOMPARE(driver.pending(), 0);
    QVERIFY2(driver.unexpected().isEmpty(), qPrintable(driver.unexpected().join('\n')));
    QStringList warnings;
    for (const QString& w : capture.warnings()) {
        // The test platform's own notice about the box.
        if (!w.contains(QLatin1String("propagateSizeHints")))
            warnings << w;
    }
    if (says.isEmpty())
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
    else
        QVERIFY2(warnings.size() == 1 && warnings.first().contains(says),
                 qPrintable(warnings.join('\n')));
    if (device == QLatin1String("folder"))
        QVERIFY(QFileInfo(target).isDir());
    else if (after.isNull())
        QVERIFY(!QFileInfo::exists(target));
    else
        QCOMPARE(readAll(target), after);
}

void TestPresetWindow::playsThePresetAtOnce()
{
    // The real program of a preset that sounds by itself, in the temporary program folder.
    const QString staged = testsupport::binPath("presets/emulator/");
    QVERIFY(program->copyIn(staged + "PentatonicRain", "presets/emulator/PentatonicRain"));
    QVERIFY(program->copyIn(staged + "libbass.so", "presets/emulator/libbass.so"));
    QVERIFY(program->writeFile(
        "presets/presets-en.xml",
        catalogueOf(category("G", preset("Rain", "PentatonicRain", "notes",
                                         {"How many", "Octave", "Bell", "Echoes"})))));
    QTemporaryDir sound;
    const QString raw = sound.filePath("played.raw");
    qputenv("KNOTLATTICE_AUDIO", ("file:" + raw).toLocal8Bit());

    PresetWindow window(nullptr);
    window.presetList()->setCurrentRow(1);
    QCOMPARE(toolTips(window.emulatorPanel()),
             (QStringList{"How many", "Octave", "Bell", "Echoes"}));
    window.playAction()->setChecked(true);
    QVERIFY(window.emulatorPanel()->isRunning());
    QCOMPARE(window.playAction()->text(), QStringLiteral("Stop"));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(raw).size() > 8000, 10000);
    // The knobs are live: a turned knob reaches the playing program.
    window.emulatorPanel()->setControlValue(0, 1024);
    QCOMPARE(window.emulatorPanel()->controlValue(0), 1024);
    QVERIFY(window.emulatorPanel()->isRunning());
    // Another preset selected while it plays does not stop it.
    window.presetList()->setCurrentRow(0);
    QVERIFY(window.emulatorPanel()->isRunning());
    window.playAction()->setChecked(false);
    QVERIFY(!window.emulatorPanel()->isRunning());
    QCOMPARE(window.playAction()->text(), QStringLiteral("Play"));
    qunsetenv("KNOTLATTICE_AUDIO");
}

void TestPresetWindow::everyPresetHasItsProgramAndImage()
{
    const QString presets = testsupport::binPath("presets");
    const util::PresetCategories categories =
        util::readPresetCatalogue(readAll(presets + "/presets-en.xml"));
    int count = 0;
    for (const QList<Preset>& list : categories) {
        for (const Preset& p : list) {
            ++count;
            QVERIFY2(QFileInfo(presets + "/emulator/" + p.file).isExecutable(), qPrintable(p.file));
            QVERIFY2(QFileInfo(presets + "/firmware/" + p.file + ".bin").size() > 8,
                     qPrintable(p.file));
        }
    }
    QCOMPARE(count, 44);
    QVERIFY(QFileInfo::exists(presets + "/emulator/libbass.so"));
}

void TestPresetWindow::killScriptEndsPresetPrograms()
{
    QVERIFY(program->copyIn(testsupport::binPath("compile"), "compile"));
    const QString staged = testsupport::binPath("presets/emulator/");
    QVERIFY(program->copyIn(staged + "FMBell", "presets/emulator/FMBell"));
    QVERIFY(program->copyIn(staged + "libbass.so", "presets/emulator/libbass.so"));
    // The same program outside this program folder is someone else's.
    QTemporaryDir elsewhere;
    QVERIFY(QFile::copy(staged + "FMBell", elsewhere.filePath("FMBell")));
    QVERIFY(QFile::copy(staged + "libbass.so", elsewhere.filePath("libbass.so")));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KNOTLATTICE_AUDIO"), QStringLiteral("null"));
    QProcess ours;
    QProcess theirs;
    for (QProcess* p : {&ours, &theirs}) {
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    ours.start(program->path("presets/emulator/FMBell"), QStringList());
    theirs.start(elsewhere.filePath("FMBell"), QStringList());
    QVERIFY(ours.waitForStarted(10000));
    QVERIFY(theirs.waitForStarted(10000));

    QProcess kill;
    kill.setWorkingDirectory(program->path("compile/emulator"));
    kill.start(program->path("compile/emulator/kill.sh"), QStringList());
    QVERIFY(kill.waitForFinished(30000));
    QVERIFY(ours.waitForFinished(10000));
    QCOMPARE(theirs.state(), QProcess::Running);
    theirs.write("x");
    QVERIFY(theirs.waitForFinished(10000));
}

KL_TEST_MAIN(TestPresetWindow)

#include "test_presetwindow.moc"
