// The firmware build folder: compile.sh makes a Cortex-M3 image of every block the library
// ships, or none; copy.sh puts an image on the device volume only when it is complete and fits,
// and never removes the device's image before that.
#include "BlockManager.h"
#include "CodeCompiler.h"
#include "FirmwareTrailer.h"
#include "PatchInfo.h"
#include "PatchRecord.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <memory>

namespace {

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

struct Region
{
    quint32 origin = 0;
    quint32 length = 0;
};

// A MEMORY line of the linker script: "NAME (attributes) : ORIGIN = 0x..., LENGTH = nK".
Region region(const QByteArray& script, const QString& name)
{
    const QRegularExpression line(QStringLiteral("^\\s*%1 \\(\\w+\\) : ORIGIN = 0x([0-9A-Fa-f]+), "
                                                 "LENGTH = (\\d+)K$")
                                      .arg(name),
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = line.match(QString::fromLatin1(script));
    Region r;
    if (m.hasMatch()) {
        r.origin = m.captured(1).toUInt(nullptr, 16);
        r.length = m.captured(2).toUInt() * 1024;
    }
    return r;
}

struct Run
{
    int exitCode = -1;
    QString output;
};

Run runScript(const QString& script, const QStringList& arguments,
              const QString& volume = QString())
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(QFileInfo(script).absolutePath());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("KNOTLATTICE_DEVICE_VOLUME"));
    if (!volume.isEmpty())
        env.insert(QStringLiteral("KNOTLATTICE_DEVICE_VOLUME"), volume);
    p.setProcessEnvironment(env);
    p.start(script, arguments);
    Run r;
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit)
        r.exitCode = p.exitCode();
    r.output = QString::fromLocal8Bit(p.readAll());
    return r;
}

} // namespace

class TestFirmwareScripts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void everyShippedBlockBuildsIntoAnImage();
    void plainCharIsSigned();
    void failedBuildLeavesNoImage_data();
    void failedBuildLeavesNoImage();
    void copy_data();
    void copy();

private:
    QString firmware(const QString& file = QString()) const
    {
        return dir->path("compile/firmware") + (file.isEmpty() ? QString() : "/" + file);
    }
    std::unique_ptr<TempProgramDir> dir;
};

void TestFirmwareScripts::initTestCase()
{
    QVERIFY2(!QStandardPaths::findExecutable("arm-none-eabi-gcc").isEmpty(),
             "arm-none-eabi-gcc is not installed (tools/setup.sh installs it)");
}

void TestFirmwareScripts::init()
{
    dir = std::make_unique<TempProgramDir>();
    QVERIFY(dir->copyIn(testsupport::binPath("compile"), "compile"));
    QFile::remove(firmware("firmware.bin"));
}

void TestFirmwareScripts::cleanup()
{
    dir.reset();
}

void TestFirmwareScripts::everyShippedBlockBuildsIntoAnImage()
{
    BlockManager library;
    library.loadBlocks(testsupport::binPath("blocks"), BlockDescription::OriginLibrary);
    QStringList names = library.getBlockDescriptions()->keys();
    names.sort();
    QVERIFY(names.size() > 10);

    // One block of every type, as placed from the palette.
    std::vector<BlockInstance> blocks(size_t(names.size()));
    QList<const BlockInstance*> instances;
    for (int i = 0; i < names.size(); ++i) {
        BlockInstance& b = blocks[size_t(i)];
        b.id = i + 1;
        b.description = library.blockDescription(names.at(i));
        for (const Variable& v : b.description->variables)
            b.values << v.value;
        instances << &b;
    }
    CodeCompiler compiler;
    const QString code = compiler.createCode(instances, dir->path("compile/templ_chip.txt"));
    QVERIFY(!code.isEmpty());
    QVERIFY(writeFile(firmware("main.c"), code.toUtf8()));
    const Run build = runScript(firmware("compile.sh"), {});
    QVERIFY2(build.exitCode == 0, qPrintable(build.output));

    const QByteArray image = readFile(firmware("firmware.bin"));
    const QByteArray script = readFile(firmware("device/device.ld"));
    const Region flash = region(script, QStringLiteral("FLASH"));
    const Region ram = region(script, QStringLiteral("RAM"));
    QCOMPARE(flash.origin, 0u);
    QCOMPARE(ram.origin, 0x20000000u);
    QVERIFY(image.size() >= 8);

    // The vector table: the initial stack pointer lies inside RAM (the stack grows down from
    // its top), the reset vector is a Thumb address (odd) inside the image.
    const quint32 stack = qFromLittleEndian<quint32>(image.constData());
    const quint32 reset = qFromLittleEndian<quint32>(image.constData() + 4);
    QVERIFY2(stack > ram.origin && stack <= ram.origin + ram.length && stack % 8 == 0,
             qPrintable(QString::number(stack, 16)));
    QVERIFY2((reset & 1u) == 1u && (reset & ~1u) >= 8 && (reset & ~1u) < quint32(image.size()),
             qPrintable(QString::number(reset, 16)));

    PatchInfo info;
    info.name = QStringLiteral("every block");
    const QByteArray trailer =
        util::firmwareTrailer(util::makePatchRecord(instances, {}, info, 2000, 2000));
    QVERIFY2(quint32(image.size() + trailer.size()) <= flash.length,
             qPrintable(QStringLiteral("%1 + %2 bytes").arg(image.size()).arg(trailer.size())));
    qInfo("%d block types: image %d bytes, trailer %d bytes, flash %u bytes", int(names.size()),
          int(image.size()), int(trailer.size()), flash.length);
}

void TestFirmwareScripts::plainCharIsSigned()
{
    // Plain char is unsigned on ARM; a block's char arithmetic must give what it gives in the
    // emulator, so the build must make it signed.
    QVERIFY(writeFile(firmware("main.c"),
                      "_Static_assert((char)-1 < 0, \"plain char is signed\");\n"
                      "void kl_sample_interrupt(void) {}\n"
                      "int main(void) { for (;;) ; }\n"));
    const Run build = runScript(firmware("compile.sh"), {});
    QVERIFY2(build.exitCode == 0, qPrintable(build.output));
    QVERIFY(QFileInfo(firmware("firmware.bin")).size() > 0);
}

void TestFirmwareScripts::failedBuildLeavesNoImage_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("says");
    QTest::newRow("broken source")
        << QByteArray("this is not C;\n") << QStringList() << "could not be built";
    QTest::newRow("no main.c") << QByteArray() << QStringList() << "no main.c";
    QTest::newRow("unknown board")
        << QByteArray("int main(void) { return 0; }\n") << QStringList{"other"} << "unknown board";
}

void TestFirmwareScripts::failedBuildLeavesNoImage()
{
    QFETCH(QByteArray, source);
    QFETCH(QStringList, arguments);
    QFETCH(QString, says);
    QVERIFY(writeFile(firmware("firmware.bin"), "an old image"));
    QFile::remove(firmware("main.c"));
    if (!source.isEmpty())
        QVERIFY(writeFile(firmware("main.c"), source));
    const Run build = runScript(firmware("compile.sh"), arguments);
    QVERIFY(build.exitCode > 0);
    QVERIFY2(build.output.contains(says), qPrintable(build.output));
    QVERIFY(!QFileInfo::exists(firmware("firmware.bin")));
}

void TestFirmwareScripts::copy_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("copied");
    QTest::addColumn<QString>("says");
    QTest::newRow("device present") << "device" << true << "";
    QTest::newRow("no volume given") << "no volume" << false << "no device volume was given";
    QTest::newRow("volume without firmware.bin") << "no device" << false << "no device at";
    QTest::newRow("no image") << "no image" << false << "no firmware image";
    QTest::newRow("empty image") << "empty image" << false << "no firmware image";
    QTest::newRow("image larger than the flash") << "too large" << false << "does not fit";
}

void TestFirmwareScripts::copy()
{
    QFETCH(QString, setup);
    QFETCH(bool, copied);
    QFETCH(QString, says);

    QTemporaryDir volume;
    const QString onDevice = volume.filePath("firmware.bin");
    const QByteArray old("the image the device runs now");
    if (setup != "no device")
        QVERIFY(writeFile(onDevice, old));
    QByteArray image = QByteArray(3000, 'i') + util::firmwareTrailer("record");
    if (setup == "too large")
        image = QByteArray(512 * 1024 + 1, 'i');
    if (setup == "empty image")
        image.clear();
    if (setup != "no image")
        QVERIFY(writeFile(firmware("firmware.bin"), image));

    const Run run =
        runScript(firmware("copy.sh"), {}, setup == "no volume" ? QString() : volume.path());
    if (copied) {
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QCOMPARE(readFile(onDevice), image);
        return;
    }
    QVERIFY(run.exitCode > 0);
    QVERIFY2(run.output.contains(says), qPrintable(run.output));
    if (setup == "no device")
        QVERIFY(!QFileInfo::exists(onDevice));
    else
        QCOMPARE(readFile(onDevice), old);
}

KL_TEST_MAIN(TestFirmwareScripts)

#include "test_firmwarescripts.moc"
