// The device computes what the emulator computes: the same generated code, built as firmware
// and booted under QEMU on an emulated Cortex-M3, and run on the desktop through the emulator's
// own audio callback, gives the same outputs, sample for sample, under the same control
// schedule by sample index. A difference is a fault of the device layer or of a block.
#include "BlockManager.h"
#include "FirmwareComparison.h"
#include "PatchFile.h"
#include "TestMain.h"
#include "TestPatch.h"

#include <QFile>
#include <QStandardPaths>
#include <QtEndian>
#include <QtTest>

#include <memory>

namespace {

// The block harness's sweep values.
const qint32 extremes[] = {INT32_MIN, -1048576, -1024, -1,   0,      1,        512,
                           1023,      1024,     1025,  4096, 131072, INT32_MAX};
const int extremeCount = int(sizeof extremes / sizeof extremes[0]);
// Block types per sweep patch, as the harness's sweep batches them (here fewer programs are
// better: each runs for two seconds in real time).
const int sweepBatch = 16;

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The instance's values with its rate set: "0" audio rate, "1" control rate.
QStringList valuesAtRate(const BlockDescription* d, bool control)
{
    QStringList values;
    for (const Variable& v : d->variables)
        values << (v.socketKind == Variable::SocketRate ? QString(control ? "1" : "0") : v.value);
    return values;
}

qint32 recordWord(const QByteArray& records, int sample, int field)
{
    return qFromLittleEndian<qint32>(records.constData() +
                                     (sample * FirmwareComparison::RecordWords + field) * 4);
}

} // namespace

class TestFirmwareCompare : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameOutputsAsTheEmulator_data();
    void sameOutputsAsTheEmulator();

private:
    // Every input of every block fed by a Controls block of the block's rate; the schedule
    // drives the four controls through the extremes.
    void addSweep(const QStringList& names, int batch);
    bool addKnobSynth(QString* error);

    BlockManager library;
    std::list<TestPatch> patches;
    QList<FirmwareComparison::Case> cases;
    QList<FirmwareComparison::Result> results;
    FirmwareComparison comparison;
};

void TestFirmwareCompare::initTestCase()
{
    for (const char* tool : {"arm-none-eabi-gcc", "qemu-system-arm", "cc"})
        QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(),
                 qPrintable(QStringLiteral("%1 is not installed (tools/setup.sh installs it)")
                                .arg(QLatin1String(tool))));
    library.loadBlocks(testsupport::binPath("blocks"), BlockDescription::OriginLibrary);
    QVERIFY(library.blockDescription("Sine Oscillator"));

    // A sine at 440 Hz on both outputs.
    {
        TestPatch& patch = patches.emplace_back();
        BlockInstance* sine = patch.add(library.blockDescription("Sine Oscillator"));
        BlockInstance* split = patch.add(library.blockDescription("Split"));
        BlockInstance* out = patch.add(library.blockDescription("Audio Output"));
        patch.connect(sine, 0, split, 0);
        patch.connect(split, 0, out, 0);
        patch.connect(split, 1, out, 1);
        cases << FirmwareComparison::Case{QStringLiteral("sine"), patch.all(), {}};
    }

    QString error;
    QVERIFY2(addKnobSynth(&error), qPrintable(error));

    QStringList names = library.getBlockDescriptions()->keys();
    names.sort();
    for (int first = 0, batch = 0; first < names.size(); first += sweepBatch, ++batch)
        addSweep(names.mid(first, sweepBatch), batch);

    results = comparison.runAll(cases);
}

bool TestFirmwareCompare::addKnobSynth(QString* error)
{
    const QByteArray file =
        readFile(testsupport::sourcePath("data/examples/Basics/Knob Synth.ktl"));
    const util::PatchFileContents contents = util::readPatchFile(file);
    if (contents.patch.blocks.isEmpty()) {
        *error = QStringLiteral("the example Knob Synth cannot be read");
        return false;
    }
    TestPatch& patch = patches.emplace_back();
    QHash<qint32, BlockInstance*> byId;
    for (const PackedInstance& packed : contents.patch.blocks) {
        const BlockDescription* d = library.blockDescription(packed.name);
        if (!d) {
            *error = QStringLiteral("Knob Synth uses %1, which the library lacks").arg(packed.name);
            return false;
        }
        byId.insert(packed.id, patch.add(d, packed.values));
    }
    for (const PackedInstance& packed : contents.patch.blocks) {
        for (const QList<qint32>& cable : packed.connections) {
            if (cable.size() == 3 && byId.contains(cable.at(1)))
                patch.connect(byId.value(packed.id), cable.at(0), byId.value(cable.at(1)),
                              cable.at(2));
        }
    }
    // Knob 1 is the pitch, switch 1 (control 2) the gate. The changes at 200 and 201 fall on
    // and just after the first control tick, so a one-sample slip in either direction shows.
    FirmwareComparison::Case c{QStringLiteral("Knob Synth"), patch.all(), {}};
    c.schedule = {{0, 0, 300},     {200, 0, 700},   {200, 2, 1024},   {201, 0, 900},
                  {4000, 0, 1024}, {4001, 2, 0},    {6000, 2, 1024},  {12345, 0, 50},
                  {20000, 2, 0},   {20199, 0, 600}, {20200, 2, 1024}, {20201, 0, 1000},
                  {30000, 2, 0},   {30001, 0, 0},   {35000, 2, 1024}, {39999, 0, 512}};
    cases << c;
    return true;
}

void TestFirmwareCompare::addSweep(const QStringList& names, int batch)
{
    TestPatch& patch = patches.emplace_back();
    const BlockDescription* controls = library.blockDescription("Controls");
    int shift = 0;
    for (const QString& name : names) {
        const BlockDescription* d = library.blockDescription(name);
        for (const bool control : {false, true}) {
            BlockInstance* block = patch.add(d, valuesAtRate(d, control));
            // A socket carries one cable, so each block gets its own Controls blocks.
            BlockInstance* source = nullptr;
            for (int in = 0; in < int(d->inputs.size()); ++in) {
                if (in % 4 == 0)
                    source = patch.add(controls, valuesAtRate(controls, control));
                patch.connect(source, (in + shift) % 4, block, in);
            }
            ++shift;
        }
    }
    // All four controls change together every 61 samples, and at the samples around the first
    // control tick, each through the extremes in its own order.
    FirmwareComparison::Case c{
        QStringLiteral("sweep %1: %2 ... %3").arg(batch + 1).arg(names.first(), names.last()),
        patch.all(),
        {}};
    QList<qint32> samples{0, 199, 200, 201};
    for (qint32 s = 61; s < c.samples; s += 61)
        samples << s;
    std::sort(samples.begin(), samples.end());
    int step = 0;
    for (const qint32 s : samples) {
        for (int k = 0; k < 4; ++k)
            c.schedule << FirmwareComparison::Change{
                s, k, extremes[(step * 5 + k * 3 + step / extremeCount) % extremeCount]};
        ++step;
    }
    cases << c;
}

void TestFirmwareCompare::sameOutputsAsTheEmulator_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < results.size(); ++i)
        QTest::newRow(qPrintable(results.at(i).name)) << i;
}

void TestFirmwareCompare::sameOutputsAsTheEmulator()
{
    QFETCH(int, index);
    const FirmwareComparison::Result& r = results.at(index);
    QVERIFY2(r.failure.isEmpty(), qPrintable(r.failure));
    const QString difference = FirmwareComparison::firstDifference(r.device, r.desktop);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QCOMPARE(r.devicePrinted, r.desktopPrinted);

    // The run did something: the outputs move.
    int changes = 0;
    const int samples = r.desktop.size() / (FirmwareComparison::RecordWords * 4);
    for (int s = 1; s < samples; ++s)
        changes += recordWord(r.desktop, s, 6) != recordWord(r.desktop, s - 1, 6);
    QVERIFY2(changes > samples / 100, qPrintable(QStringLiteral("%1 changes").arg(changes)));
    qInfo("%s: %d samples equal; image %lld bytes; %d bytes printed", qPrintable(r.name), samples,
          r.imageSize, int(r.devicePrinted.size()));
}

KL_TEST_MAIN(TestFirmwareCompare)

#include "test_firmwarecompare.moc"
