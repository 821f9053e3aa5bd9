#include "FirmwarePipeline.h"

#include "FirmwareTrailer.h"
#include "ProcessTree.h"
#include "ProgramPaths.h"

#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QTimer>

namespace {

// A script that was killed has only to be reaped.
constexpr int ReapWait = 5000;

QString native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

void logOutput(const QByteArray& output)
{
    if (!output.trimmed().isEmpty())
        qDebug().noquote() << QString::fromLocal8Bit(output).trimmed();
}

// The reason a script gives on its last line, without its "name: " prefix.
QString reasonOf(const QByteArray& output, const QString& script)
{
    const QList<QByteArray> lines = output.trimmed().split('\n');
    QString last = QString::fromLocal8Bit(lines.isEmpty() ? QByteArray() : lines.last()).trimmed();
    const QString prefix = script + QLatin1String(": ");
    if (last.startsWith(prefix))
        last = last.mid(prefix.size());
    return last;
}

} // namespace

FirmwarePipeline::FirmwarePipeline(QObject* parent) : QObject(parent) {}

FirmwarePipeline::~FirmwarePipeline()
{
    cancel();
}

QString FirmwarePipeline::folder()
{
    return util::compileDir() + QStringLiteral("/firmware");
}

QString FirmwarePipeline::sourcePath()
{
    return folder() + QStringLiteral("/main.c");
}

QString FirmwarePipeline::imagePath()
{
    return folder() + QStringLiteral("/firmware.bin");
}

bool FirmwarePipeline::writeSource(const QString& code)
{
    QSaveFile file(native(sourcePath()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    const QByteArray bytes = code.toUtf8();
    // commit() misses a buffer that failed to reach the disk, so the flush is checked first.
    if (file.write(bytes) != bytes.size() || !file.flush())
        return false;
    return file.commit();
}

FirmwarePipeline::ScriptRun FirmwarePipeline::runScript(const QString& script,
                                                        const QProcessEnvironment& environment)
{
    ScriptRun run;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(native(folder()));
    process.setProcessEnvironment(environment);

    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop,
            &QEventLoop::quit);
    connect(&process, &QProcess::errorOccurred, &loop, [&loop](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            loop.quit();
    });
    connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);

    stopRequested = false;
    running = &process;
    limit.start(waitLimit);
    process.start(native(folder() + QLatin1Char('/') + script), QStringList());
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    running = nullptr;

    if (process.error() == QProcess::FailedToStart) {
        run.outcome = Outcome::FailedToStart;
        run.error = process.errorString();
        return run;
    }
    if (stopRequested || process.state() != QProcess::NotRunning) {
        // Stopped, past the limit, or the application is quitting (which ends every event
        // loop): the script and what it started must not go on.
        run.outcome = stopRequested || limit.isActive() ? Outcome::Stopped : Outcome::TimedOut;
        if (process.state() != QProcess::NotRunning) {
            util::killProcessTree(process.processId());
            process.waitForFinished(ReapWait);
        }
        run.output = process.readAll();
        return run;
    }
    run.output = process.readAll();
    run.outcome = Outcome::Finished;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return run;
}

bool FirmwarePipeline::build()
{
    builtSize = -1;
    completeSize = -1;
    // Whatever stands at the image's place now is not this build's.
    if (QFileInfo::exists(imagePath()) && !QFile::remove(imagePath())) {
        qWarning().noquote() << tr("The old firmware image %1 cannot be removed, so no firmware "
                                   "was built.")
                                    .arg(native(imagePath()));
        return false;
    }
    const ScriptRun run =
        runScript(QStringLiteral("compile.sh"), QProcessEnvironment::systemEnvironment());
    logOutput(run.output);
    switch (run.outcome) {
    case Outcome::FailedToStart:
        qWarning().noquote() << tr("The firmware build script could not be run:") << run.error;
        return false;
    case Outcome::TimedOut:
        qWarning().noquote() << tr("The firmware build did not finish within %1 seconds and was "
                                   "stopped; nothing was uploaded.")
                                    .arg(waitLimit / 1000.0);
        return false;
    case Outcome::Stopped:
        qWarning().noquote() << tr("The firmware build was stopped; nothing was uploaded.");
        return false;
    case Outcome::Finished:
        break;
    }
    const QFileInfo image(imagePath());
    if (run.exitCode != 0) {
        qWarning().noquote() << tr("The firmware could not be built, so nothing was uploaded. "
                                   "The console shows the build's messages.");
        return false;
    }
    if (!image.isFile() || image.size() <= 0) {
        qWarning().noquote() << tr("The firmware build made no image, so nothing was uploaded.");
        return false;
    }
    builtSize = image.size();
    return true;
}

bool FirmwarePipeline::appendRecord(const QByteArray& record)
{
    completeSize = -1;
    const QFileInfo image(imagePath());
    const qint64 size = image.isFile() ? image.size() : -1;
    const bool fresh = builtSize > 0 && size == builtSize;
    builtSize = -1;
    if (!fresh) {
        // Appending now would make a trailer-only image or a second trailer.
        qWarning().noquote()
            << tr("Cannot open file for writing:")
            << tr("there is no freshly built firmware image at %1").arg(native(imagePath()));
        return false;
    }

    const QByteArray trailer = util::firmwareTrailer(record);
    QFile file(native(imagePath()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        qWarning().noquote() << tr("Cannot open file for writing:") << file.errorString();
        return false;
    }
    const bool written = file.write(trailer) == trailer.size() && file.flush();
    const QString error = file.errorString();
    file.close();
    if (!written || QFileInfo(imagePath()).size() != size + trailer.size()) {
        qWarning().noquote() << tr("Cannot open file for writing:") << error;
        return false;
    }
    completeSize = size + trailer.size();
    return true;
}

bool FirmwarePipeline::upload()
{
    const qint64 expected = completeSize;
    completeSize = -1;
    if (expected <= 0 || QFileInfo(imagePath()).size() != expected) {
        qWarning().noquote() << tr("The firmware image is not complete, so it was not copied to "
                                   "the device.");
        return false;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KNOTLATTICE_DEVICE_VOLUME"), util::deviceVolume());
    const ScriptRun run = runScript(QStringLiteral("copy.sh"), environment);
    logOutput(run.output);
    switch (run.outcome) {
    case Outcome::FailedToStart:
        qWarning().noquote() << tr("The firmware copy script could not be run:") << run.error;
        return false;
    case Outcome::TimedOut:
        qWarning().noquote() << tr("Copying the firmware to the device did not finish within %1 "
                                   "seconds and was stopped.")
                                    .arg(waitLimit / 1000.0);
        return false;
    case Outcome::Stopped:
        qWarning().noquote() << tr("Copying the firmware to the device was stopped.");
        return false;
    case Outcome::Finished:
        break;
    }
    if (run.exitCode != 0) {
        const QString reason = reasonOf(run.output, QStringLiteral("copy.sh"));
        qWarning().noquote() << tr("The firmware could not be copied to the device:")
                             << (reason.isEmpty() ? tr("the copy script failed") : reason);
        return false;
    }
    return true;
}

void FirmwarePipeline::cancel()
{
    if (!running)
        return;
    stopRequested = true;
    // The waiting loop sees the process end and returns.
    util::killProcessTree(running->processId());
}
