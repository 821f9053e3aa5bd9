// The presets' firmware images as the build made them: each passes the image checks of the
// device layer (vector table, the flash it fits), ends with its patch's trailer and reads back,
// through the editor's Open Firmware, as the patch it was made from. The code the build
// generated is what the editor generates for the same patch opened in a document, and one
// preset of every block family runs under QEMU sample for sample as the desktop build of the
// same code does, under the same control schedule.
#include "BlockManager.h"
#include "CodeCompiler.h"
#include "FirmwareComparison.h"
#include "FirmwareTrailer.h"
#include "GeneratedSource.h"
#include "MainWindow.h"
#include "MessageCapture.h"
#include "PatchDocument.h"
#include "PatchFile.h"
#include "PatchRecord.h"
#include "PatchSource.h"
#include "PresetCatalogue.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <memory>

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

// A MEMORY line of the linker script: "NAME (attributes) : ORIGIN = 0x..., LENGTH = nK".
QPair<quint32, quint32> region(const QByteArray& script, const QString& name)
{
    const QRegularExpression line(QStringLiteral("^\\s*%1 \\(\\w+\\) : ORIGIN = 0x([0-9A-Fa-f]+), "
                                                 "LENGTH = (\\d+)K$")
                                      .arg(name),
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = line.match(QString::fromLatin1(script));
    return {m.captured(1).toUInt(nullptr, 16), m.captured(2).toUInt() * 1024};
}

QStringList presetFiles()
{
    QStringList files;
    const util::PresetCategories categories =
        util::readPresetCatalogue(readAll(testsupport::binPath("presets/presets-en.xml")));
    for (const QList<Preset>& list : categories)
        for (const Preset& p : list)
            files << p.file;
    return files;
}

QString patchPath(const QString& file)
{
    return testsupport::sourcePath("data/presets/patches/" + file + ".ktl");
}

// The blocks of a patch as a comparable text, in id order.
QStringList blocksOf(const QList<const BlockInstance*>& instances)
{
    QStringList lines;
    for (const BlockInstance* b : instances) {
        QStringList cables;
        for (auto c = b->outputs.cbegin(); c != b->outputs.cend(); ++c)
            cables << QStringLiteral("%1>%2.%3")
                          .arg(c.key())
                          .arg(c.value()->inBlock->id)
                          .arg(c.value()->inBlockSocketId);
        cables.sort();
        lines << QStringLiteral("%1 %2: %3 [%4]")
                     .arg(b->id)
                     .arg(b->description->name, b->values.join('|'), cables.join(' '));
    }
    return lines;
}

quint32 counter = 0;
quint32 countedNumber()
{
    return ++counter;
}

} // namespace

class TestPresetFirmware : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void imageIsCompleteAndReadsBack_data();
    void imageIsCompleteAndReadsBack();
    void buildGeneratesTheEditorsCode_data();
    void buildGeneratesTheEditorsCode();
    void deviceComputesWhatTheEmulatorDoes_data();
    void deviceComputesWhatTheEmulatorDoes();

private:
    std::unique_ptr<TempProgramDir> program;
    QTemporaryDir volume;
    std::unique_ptr<MainWindow> window;
    BlockManager library;
    std::list<PatchSource> sources;
    QList<FirmwareComparison::Result> results;
    FirmwareComparison comparison;
};

void TestPresetFirmware::initTestCase()
{
    for (const char* tool : {"arm-none-eabi-gcc", "qemu-system-arm", "cc"})
        QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(),
                 qPrintable(QStringLiteral("%1 is not installed (tools/setup.sh installs it)")
                                .arg(QLatin1String(tool))));
    QVERIFY(volume.isValid());
    qputenv("KNOTLATTICE_DEVICE_VOLUME", volume.path().toLocal8Bit());
    program = std::make_unique<TempProgramDir>();
    QVERIFY(program->copyIn(testsupport::binPath("blocks"), "blocks"));
    QVERIFY(program->copyIn(testsupport::binPath("compile"), "compile"));
    window = std::make_unique<MainWindow>();
    library.loadBlocks(testsupport::binPath("blocks"), BlockDescription::OriginLibrary);
    QCOMPARE(presetFiles().size(), 44);

    // One preset for each block family, each with a schedule that works its controls; the
    // changes at 200 and 201 fall on and just after the first control tick.
    struct Pick
    {
        const char* file;
        const char* families;
        QList<FirmwareComparison::Change> schedule;
    };
    const QList<Pick> picks{
        {"SawLead",
         "envelopes, pitch, filters",
         {{0, 2, 1024}, {200, 0, 700}, {201, 1, 300}, {9000, 3, 1024}, {20000, 2, 0}}},
        {"PWMStrings",
         "oscillators",
         {{0, 2, 1024}, {5000, 0, 1024}, {15000, 1, 800}, {25000, 3, 1024}}},
        {"BitSplitDrums",
         "math, logic, routing",
         {{0, 0, 1024}, {200, 2, 1024}, {10000, 3, 1024}, {20000, 1, 512}}},
        {"SampleKit", "sample players", {{0, 1, 1024}, {12000, 2, 1024}, {24000, 0, 600}}},
        {"EchoChamber", "delays", {{0, 0, 900}, {8000, 2, 1024}, {16000, 1, 1024}}},
        {"FuzzBox", "distortion", {{0, 0, 1024}, {200, 1, 700}, {14000, 2, 1024}}},
        {"ClapTrap", "sequencing, in and out", {{0, 0, 1024}, {201, 2, 1024}, {20000, 3, 1024}}},
        {"Canon", "control-rate delays", {{0, 2, 1024}, {10000, 3, 1024}, {20000, 0, 1024}}},
    };
    QList<FirmwareComparison::Case> cases;
    for (const Pick& pick : picks) {
        PatchSource& source = sources.emplace_back();
        QString error;
        QVERIFY2(source.read(readAll(patchPath(pick.file)), library, &error), qPrintable(error));
        FirmwareComparison::Case c{QStringLiteral("%1 (%2)").arg(pick.file, pick.families),
                                   source.instances(), pick.schedule};
        cases << c;
    }
    results = comparison.runAll(cases);
}

void TestPresetFirmware::cleanupTestCase()
{
    window.reset();
    program.reset();
    qunsetenv("KNOTLATTICE_DEVICE_VOLUME");
}

void TestPresetFirmware::imageIsCompleteAndReadsBack_data()
{
    QTest::addColumn<QString>("file");
    for (const QString& file : presetFiles())
        QTest::newRow(qPrintable(file)) << file;
}

void TestPresetFirmware::imageIsCompleteAndReadsBack()
{
    QFETCH(QString, file);
    const QByteArray image = readAll(testsupport::binPath("presets/firmware/" + file + ".bin"));
    const QByteArray patch = readAll(patchPath(file));
    const QByteArray record = util::unpackPatch(patch).value(0);
    QVERIFY(util::isPatchRecord(record));

    // The trailer closes the image, as Compile appends it.
    const QByteArray trailer = util::firmwareTrailer(record);
    QVERIFY(image.endsWith(trailer));
    const QByteArray code = image.left(image.size() - trailer.size());
    const QByteArray script = readAll(testsupport::binPath("compile/firmware/device/device.ld"));
    const auto flash = region(script, QStringLiteral("FLASH"));
    const auto ram = region(script, QStringLiteral("RAM"));
    QVERIFY(code.size() >= 8);
    const quint32 stack = qFromLittleEndian<quint32>(code.constData());
    const quint32 reset = qFromLittleEndian<quint32>(code.constData() + 4);
    QVERIFY2(stack > ram.first && stack <= ram.first + ram.second && stack % 8 == 0,
             qPrintable(QString::number(stack, 16)));
    QVERIFY2((reset & 1u) == 1u && (reset & ~1u) >= 8 && (reset & ~1u) < quint32(code.size()),
             qPrintable(QString::number(reset, 16)));
    QVERIFY2(quint32(image.size()) <= flash.second,
             qPrintable(QStringLiteral("%1 bytes").arg(image.size())));
    QByteArray found;
    QVERIFY(util::findFirmwareRecord(image, &found));
    QCOMPARE(found, record);

    // Open Firmware reads the device's copy back into a tab holding the same patch.
    QVERIFY(writeAll(volume.filePath("firmware.bin"), image));
    const int tabs = window->tabWidget()->count();
    MessageCapture capture;
    window->openFromFirmware();
    QVERIFY2(capture.warnings().isEmpty(), qPrintable(capture.warnings().join('\n')));
    QCOMPARE(window->tabWidget()->count(), tabs + 1);
    PatchDocument* doc = window->currentDocument();
    QCOMPARE(doc->patchInfo()->name, util::readPatchRecord(record).name);
    PatchSource source;
    QString error;
    QVERIFY2(source.read(patch, library, &error), qPrintable(error));
    QCOMPARE(blocksOf(doc->blockInstances()), blocksOf(source.instances()));
    window->closeCurrentDocument();
}

void TestPresetFirmware::buildGeneratesTheEditorsCode_data()
{
    imageIsCompleteAndReadsBack_data();
}

void TestPresetFirmware::buildGeneratesTheEditorsCode()
{
    QFETCH(QString, file);
    // The preset opened as a user opens it, and as the build's patch-to-source program reads
    // it; both generated with the same number sequence.
    window->openFromPath(patchPath(file));
    PatchDocument* doc = window->currentDocument();
    QVERIFY(doc && !doc->blockInstances().isEmpty());
    PatchSource source;
    QString error;
    QVERIFY2(source.read(readAll(patchPath(file)), library, &error), qPrintable(error));
    const QString templ = testsupport::binPath("compile/templ_chip.txt");
    GeneratedSource::setNumberSource(&countedNumber);
    counter = 0;
    const QString editors = CodeCompiler().createCode(doc->blockInstances(), templ);
    counter = 0;
    const QString built = CodeCompiler().createCode(source.instances(), templ);
    GeneratedSource::setNumberSource(nullptr);
    window->closeCurrentDocument();
    QVERIFY(!editors.isEmpty());
    QCOMPARE(built, editors);
}

void TestPresetFirmware::deviceComputesWhatTheEmulatorDoes_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < results.size(); ++i)
        QTest::newRow(qPrintable(results.at(i).name)) << i;
}

void TestPresetFirmware::deviceComputesWhatTheEmulatorDoes()
{
    QFETCH(int, index);
    const FirmwareComparison::Result& r = results.at(index);
    QVERIFY2(r.failure.isEmpty(), qPrintable(r.failure));
    const QString difference = FirmwareComparison::firstDifference(r.device, r.desktop);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QCOMPARE(r.devicePrinted, r.desktopPrinted);
    // The run played something: the left output moves.
    int moves = 0;
    const int records = r.desktop.size() / (FirmwareComparison::RecordWords * 4);
    for (int s = 1; s < records; ++s) {
        const int at = s * FirmwareComparison::RecordWords * 4;
        moves += qFromLittleEndian<qint32>(r.desktop.constData() + at) !=
                 qFromLittleEndian<qint32>(r.desktop.constData() + at -
                                           FirmwareComparison::RecordWords * 4);
    }
    QVERIFY2(moves > records / 10, qPrintable(QString::number(moves)));
}

KL_TEST_MAIN(TestPresetFirmware)

#include "test_presetfirmware.moc"
