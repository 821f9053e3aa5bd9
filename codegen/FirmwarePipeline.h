#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcessEnvironment>
#include <QString>

class QProcess;

// Turns generated firmware source into an image on the device: writes main.c into the program
// folder's compile/firmware, runs its compile.sh, appends the patch record to the image as
// "[>" record "<]" and runs copy.sh, which puts the image on the device's bootloader volume
// (util::deviceVolume(), passed to it as KNOTLATTICE_DEVICE_VOLUME).
//
// Each script may run for the wait limit; the wait runs an event loop, so the editor keeps
// painting and handling input meanwhile. A script still running at the limit is ended with
// everything it started. Each step reports its own failure as a warning.
class FirmwarePipeline : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultWaitLimit = 30000;

    explicit FirmwarePipeline(QObject* parent = nullptr);
    // Ends a script that still runs.
    ~FirmwarePipeline() override;

    static QString folder();
    static QString sourcePath();
    static QString imagePath();

    // Writes main.c, replacing the old one. False when it cannot be written; the caller says
    // so.
    bool writeSource(const QString& code);
    // Removes the old image, then runs compile.sh. True when the script ended in time with
    // status 0 and left a non-empty image.
    bool build();
    // Appends the trailer to the image that build() has just made; never to an older image,
    // and never twice.
    bool appendRecord(const QByteArray& record);
    // Runs copy.sh for the image that appendRecord() has just completed. True when the
    // script ended in time with status 0.
    bool upload();

    // Ends the script being waited for, and everything it started; the step fails.
    void cancel();
    bool isRunning() const { return running != nullptr; }

    // How long each script may run; DefaultWaitLimit unless changed (tests shorten it).
    void setWaitLimit(int milliseconds) { waitLimit = milliseconds; }

private:
    enum class Outcome
    {
        Finished,
        FailedToStart,
        TimedOut,
        Stopped
    };
    struct ScriptRun
    {
        Outcome outcome = Outcome::FailedToStart;
        int exitCode = -1;
        QByteArray output;
        QString error;
    };
    ScriptRun runScript(const QString& script, const QProcessEnvironment& environment);

    QProcess* running = nullptr;
    bool stopRequested = false;
    // The size of the image that build() made, while no trailer has been appended to it.
    qint64 builtSize = -1;
    // The size of the image with its trailer, until it has been handed to copy.sh.
    qint64 completeSize = -1;
    int waitLimit = DefaultWaitLimit;
};
