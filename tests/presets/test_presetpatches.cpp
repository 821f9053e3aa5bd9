// The preset patches and their catalogue are what the editor makes: each patch is built here
// with the editor's own document and save code and must match its committed file in
// data/presets/patches byte for byte, and the catalogue data/presets/presets-en.xml must list
// every one of them with its category, description and control texts.
//
// After a change to a block the presets use (its hash is in the patch), or to a preset, remake
// the committed files by running this test with KL_PRESETS_OUT set to data/presets.
#include "MainWindow.h"
#include "ModalDriver.h"
#include "PatchDocument.h"
#include "PatchFile.h"
#include "PatchScene.h"
#include "Preferences.h"
#include "PresetPatches.h"
#include "StartupResources.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QSaveFile>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// Every preset carries this date, so that a remade file differs only where the patch does.
const quint32 presetDate = 1767225600;

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeAll(const QString& path, const QByteArray& bytes)
{
    QSaveFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size() && f.commit();
}

QString outFolder()
{
    return QString::fromLocal8Bit(qgetenv("KL_PRESETS_OUT"));
}

// What a patch holds, for a readable failure message.
QStringList contents(const QByteArray& file)
{
    const util::PatchFileContents read = util::readPatchFile(file);
    QStringList lines;
    lines << "name " + read.patch.name
          << QStringLiteral("at %1,%2 zoom %3 date %4 saved %5")
                 .arg(read.patch.x)
                 .arg(read.patch.y)
                 .arg(read.patch.zoomLevel)
                 .arg(read.patch.date)
                 .arg(read.patch.saved);
    for (const PackedInstance& b : read.patch.blocks) {
        QStringList cables;
        for (const QList<qint32>& c : b.connections)
            cables << QStringLiteral("%1>%2.%3").arg(c.value(0)).arg(c.value(1)).arg(c.value(2));
        lines << QStringLiteral("block %1 %2 %3 at %4,%5: %6 [%7]")
                     .arg(b.id)
                     .arg(b.name, b.hash)
                     .arg(b.x)
                     .arg(b.y)
                     .arg(b.values.join(QLatin1String(" | ")), cables.join(' '));
    }
    for (const Comment& c : read.patch.comments)
        lines << QStringLiteral("comment %1 at %2,%3: %4").arg(c.id).arg(c.x).arg(c.y).arg(c.text);
    return lines;
}

QByteArray catalogue()
{
    QDomDocument doc(QStringLiteral("presets"));
    doc.appendChild(doc.createProcessingInstruction(QStringLiteral("xml"),
                                                    QStringLiteral("version=\"1.0\" "
                                                                   "encoding=\"UTF-8\"")));
    QDomElement root = doc.createElement(QStringLiteral("presets"));
    doc.appendChild(root);
    QDomElement category;
    auto text = [&doc](QDomElement& parent, const QString& name, const QString& value) {
        QDomElement e = doc.createElement(name);
        e.appendChild(doc.createTextNode(value));
        parent.appendChild(e);
    };
    for (const PresetPatch& p : presetPatches()) {
        if (category.isNull() || category.attribute(QStringLiteral("name")) != p.category) {
            category = doc.createElement(QStringLiteral("category"));
            category.setAttribute(QStringLiteral("name"), p.category);
            root.appendChild(category);
        }
        QDomElement preset = doc.createElement(QStringLiteral("preset"));
        preset.setAttribute(QStringLiteral("name"), p.name);
        text(preset, QStringLiteral("file"), p.file);
        text(preset, QStringLiteral("info"), p.info);
        for (int i = 0; i < 4; ++i)
            text(preset, QStringLiteral("control%1").arg(i + 1), p.controls.value(i));
        category.appendChild(preset);
    }
    return doc.toByteArray(2);
}

} // namespace

class TestPresetPatches : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void table();
    void patchIsWhatTheEditorMakes_data();
    void patchIsWhatTheEditorMakes();
    void catalogueListsEveryPreset();

private:
    QTemporaryDir scratch;
    std::unique_ptr<TempProgramDir> program;
    std::unique_ptr<MainWindow> window;
};

void TestPresetPatches::initTestCase()
{
    QVERIFY(scratch.isValid());
    QSettings().clear();
    program = std::make_unique<TempProgramDir>();
    QVERIFY(program->copyIn(testsupport::binPath("blocks"), "blocks"));
    QSettings().setValue(Preferences::DefaultPatchPath, scratch.path());
    // The layouts measure blocks and comments in the editor's own fonts.
    registerFonts();
    window = std::make_unique<MainWindow>();
}

void TestPresetPatches::cleanupTestCase()
{
    window.reset();
    program.reset();
}

void TestPresetPatches::table()
{
    QCOMPARE(presetPatches().size(), 44);
    QSet<QString> names;
    QSet<QString> files;
    QSet<QString> categories;
    for (const PresetPatch& p : presetPatches()) {
        QVERIFY2(!names.contains(p.name), qPrintable(p.name));
        QVERIFY2(!files.contains(p.file), qPrintable(p.file));
        // The file is a program's name and a CMake target's part: plain letters and digits.
        QVERIFY2(QRegularExpression(QStringLiteral("^[A-Za-z0-9]+$")).match(p.file).hasMatch(),
                 qPrintable(p.file));
        QVERIFY2(!p.info.isEmpty() && p.controls.size() == 4 && !p.controls.contains(QString()),
                 qPrintable(p.name));
        names << p.name;
        files << p.file;
        categories << p.category;
    }
    QCOMPARE(categories.size(), 6);

    // The committed patches are the table's, no more.
    QStringList committed = QDir(testsupport::sourcePath("data/presets/patches"))
                                .entryList({QStringLiteral("*.ktl")}, QDir::Files);
    for (QString& f : committed)
        f.chop(4);
    QStringList expected = files.values();
    expected.sort();
    committed.sort();
    if (outFolder().isEmpty())
        QCOMPARE(committed, expected);
}

void TestPresetPatches::patchIsWhatTheEditorMakes_data()
{
    QTest::addColumn<int>("preset");
    for (int i = 0; i < presetPatches().size(); ++i)
        QTest::newRow(qPrintable(presetPatches().at(i).file)) << i;
}

void TestPresetPatches::patchIsWhatTheEditorMakes()
{
    QFETCH(int, preset);
    const PresetPatch& p = presetPatches().at(preset);
    window->newDocument();
    PatchDocument* doc = window->currentDocument();
    QVERIFY(doc);
    PresetGrid builder(doc);
    p.build(builder);
    QVERIFY2(builder.failures.isEmpty(), qPrintable(builder.failures.join('\n')));
    QString controlText;
    const QStringList labels{"Knob 1", "Knob 2", "Switch 1", "Switch 2"};
    for (int i = 0; i < 4; ++i)
        controlText += "<br>" + labels.at(i) + ": " + p.controls.at(i);
    // Laid out for the first window, around the middle of the canvas where it looks.
    builder.arrange("<b>" + p.name + "</b><br>" + p.info + controlText);
    QVERIFY2(builder.failures.isEmpty(), qPrintable(builder.failures.join('\n')));
    doc->patchInfo()->date = presetDate;
    // The scene grows as the blocks move into place, and the view takes its new extent when
    // events run: the saved point must be the one the layout is centred on.
    QCoreApplication::processEvents();
    doc->centreView();

    const QString made = scratch.filePath(p.name + ".ktl");
    ModalDriver driver;
    driver.acceptFileDialog(made);
    QCOMPARE(window->savePatch(), MainWindow::SaveResult::Saved);
    QVERIFY(driver.unexpected().isEmpty());
    const QByteArray bytes = readAll(made);
    QVERIFY(!bytes.isEmpty());
    window->closeCurrentDocument();

    if (!outFolder().isEmpty()) {
        QDir().mkpath(outFolder() + "/patches");
        QVERIFY(writeAll(outFolder() + "/patches/" + p.file + ".ktl", bytes));
    }
    const QString committed = testsupport::sourcePath("data/presets/patches/" + p.file + ".ktl");
    const QByteArray kept = readAll(committed);
    if (kept != bytes)
        QCOMPARE(contents(kept).join('\n'), contents(bytes).join('\n'));
    QCOMPARE(kept, bytes);
}

void TestPresetPatches::catalogueListsEveryPreset()
{
    const QByteArray made = catalogue();
    if (!outFolder().isEmpty())
        QVERIFY(writeAll(outFolder() + "/presets-en.xml", made));
    QCOMPARE(QString::fromUtf8(readAll(testsupport::sourcePath("data/presets/presets-en.xml"))),
             QString::fromUtf8(made));
}

KL_TEST_MAIN(TestPresetPatches)

#include "test_presetpatches.moc"
