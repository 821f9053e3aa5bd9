// The firmware pipeline with stand-in build and copy scripts: it uploads only an image that the
// build has just made, with one trailer; it checks the scripts' exit status; it keeps the event
// loop running while a script runs and ends a script (and what it started) at the limit.
#include "FirmwarePipeline.h"
#include "FirmwareTrailer.h"
#include "MessageCapture.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QByteArray image("the built image");

} // namespace

class TestFirmwarePipeline : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void build_data();
    void build();
    void noTrailerWithoutAFreshImage();
    void uploadsOnlyACompleteImage();
    void copyFailureSaysWhy();
    void waitKeepsTheEventLoopRunning();
    void scriptPastTheLimitIsEnded();
    void cancelStopsTheBuild();

private:
    QString firmware(const QString& file) const { return dir->path("compile/firmware/" + file); }
    void script(const QString& name, const QByteArray& body)
    {
        QVERIFY(dir->writeFile("compile/firmware/" + name, "#!/bin/sh\n" + body));
        QVERIFY(QFile::setPermissions(firmware(name),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }
    // A build script that makes the test image.
    void goodBuild() { script("compile.sh", "printf '" + image + "' > firmware.bin\n"); }

    std::unique_ptr<TempProgramDir> dir;
    std::unique_ptr<QTemporaryDir> volume;
};

void TestFirmwarePipeline::init()
{
    dir = std::make_unique<TempProgramDir>();
    volume = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir().mkpath(firmware(QString())));
    qputenv("KNOTLATTICE_DEVICE_VOLUME", volume->path().toLocal8Bit());
}

void TestFirmwarePipeline::cleanup()
{
    qunsetenv("KNOTLATTICE_DEVICE_VOLUME");
    volume.reset();
    dir.reset();
}

void TestFirmwarePipeline::build_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("built");
    QTest::addColumn<QString>("warning");
    QTest::newRow("makes an image")
        << QByteArray("echo building; printf 'image' > firmware.bin\n") << true << "";
    QTest::newRow("fails after writing an image")
        << QByteArray("printf 'image' > firmware.bin; echo broken >&2; exit 1\n") << false
        << "could not be built";
    QTest::newRow("succeeds without an image")
        << QByteArray("exit 0\n") << false << "made no image";
    QTest::newRow("leaves an empty image")
        << QByteArray(": > firmware.bin\n") << false << "made no image";
    QTest::newRow("is killed by a signal")
        << QByteArray("printf 'image' > firmware.bin; kill -9 $$\n") << false
        << "could not be built";
}

void TestFirmwarePipeline::build()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, built);
    QFETCH(QString, warning);
    // An image from an earlier build never counts as this build's.
    QVERIFY(dir->writeFile("compile/firmware/firmware.bin", "an old image"));
    script("compile.sh", body);

    FirmwarePipeline pipeline;
    MessageCapture capture;
    QCOMPARE(pipeline.build(), built);
    if (built) {
        QVERIFY(capture.warnings().isEmpty());
        QVERIFY(capture.contains(QtDebugMsg, "building"));
        QCOMPARE(readFile(firmware("firmware.bin")), QByteArray("image"));
    } else {
        QVERIFY2(capture.contains(QtWarningMsg, warning),
                 qPrintable(capture.warnings().join('\n')));
        QVERIFY(!pipeline.appendRecord("record"));
    }
}

void TestFirmwarePipeline::noTrailerWithoutAFreshImage()
{
    FirmwarePipeline pipeline;
    MessageCapture capture;
    // Nothing built: no trailer-only image.
    QVERIFY(!pipeline.appendRecord("record"));
    QVERIFY(!QFileInfo::exists(firmware("firmware.bin")));
    QVERIFY(capture.contains(QtWarningMsg, "Cannot open file for writing:"));

    goodBuild();
    QVERIFY(pipeline.build());
    QVERIFY(pipeline.appendRecord("record"));
    QCOMPARE(readFile(firmware("firmware.bin")), image + util::firmwareTrailer("record"));
    // Never a second trailer.
    QVERIFY(!pipeline.appendRecord("again"));
    QCOMPARE(readFile(firmware("firmware.bin")), image + util::firmwareTrailer("record"));
}

void TestFirmwarePipeline::uploadsOnlyACompleteImage()
{
    // The stand-in copy records that it ran and the volume it was given.
    script("copy.sh", "echo \"$KNOTLATTICE_DEVICE_VOLUME\" > copied.txt\n");
    goodBuild();
    FirmwarePipeline pipeline;
    MessageCapture capture;
    QVERIFY(!pipeline.upload());
    QVERIFY(pipeline.build());
    QVERIFY(!pipeline.upload());
    QVERIFY(!QFileInfo::exists(firmware("copied.txt")));

    QVERIFY(pipeline.build());
    QVERIFY(pipeline.appendRecord("record"));
    QVERIFY2(pipeline.upload(), qPrintable(capture.warnings().join('\n')));
    QCOMPARE(readFile(firmware("copied.txt")).trimmed(), volume->path().toLocal8Bit());
    // Once uploaded, the same image is not handed over again.
    QFile::remove(firmware("copied.txt"));
    QVERIFY(!pipeline.upload());
    QVERIFY(!QFileInfo::exists(firmware("copied.txt")));
}

void TestFirmwarePipeline::copyFailureSaysWhy()
{
    script("copy.sh", "echo 'copy.sh: the device volume is read-only' >&2; exit 1\n");
    goodBuild();
    FirmwarePipeline pipeline;
    MessageCapture capture;
    QVERIFY(pipeline.build());
    QVERIFY(pipeline.appendRecord("record"));
    QVERIFY(!pipeline.upload());
    QVERIFY2(capture.contains(QtWarningMsg, "The firmware could not be copied to the device: the "
                                            "device volume is read-only"),
             qPrintable(capture.warnings().join('\n')));
}

void TestFirmwarePipeline::waitKeepsTheEventLoopRunning()
{
    // The build goes on only once the test's timer has fired, which needs the event loop.
    script("compile.sh", "while [ ! -f go ]; do sleep 0.05; done; printf 'image' > firmware.bin\n");
    FirmwarePipeline pipeline;
    QTimer::singleShot(50, this, [this, &pipeline] {
        QVERIFY(pipeline.isRunning());
        QVERIFY(dir->writeFile("compile/firmware/go", ""));
    });
    QVERIFY(pipeline.build());
    QVERIFY(!pipeline.isRunning());
}

void TestFirmwarePipeline::scriptPastTheLimitIsEnded()
{
    // The script starts a child that would outlive it, as a compiler would.
    script("compile.sh", "sleep 60 & echo $! > child.pid; wait\n");
    FirmwarePipeline pipeline;
    pipeline.setWaitLimit(500);
    MessageCapture capture;
    QVERIFY(!pipeline.build());
    QVERIFY2(capture.contains(QtWarningMsg, "did not finish within 0.5 seconds"),
             qPrintable(capture.warnings().join('\n')));
    const QByteArray child = readFile(firmware("child.pid")).trimmed();
    QVERIFY(!child.isEmpty());
    QTRY_VERIFY(!QFileInfo::exists("/proc/" + child) ||
                readFile("/proc/" + child + "/stat").contains(") Z "));
}

void TestFirmwarePipeline::cancelStopsTheBuild()
{
    script("compile.sh", "sleep 60 & wait\n");
    FirmwarePipeline pipeline;
    QTimer::singleShot(50, &pipeline, &FirmwarePipeline::cancel);
    MessageCapture capture;
    QVERIFY(!pipeline.build());
    QVERIFY2(capture.contains(QtWarningMsg, "The firmware build was stopped"),
             qPrintable(capture.warnings().join('\n')));
}

KL_TEST_MAIN(TestFirmwarePipeline)

#include "test_firmwarepipeline.moc"
