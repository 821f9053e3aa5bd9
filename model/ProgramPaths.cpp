#include "ProgramPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace util {

static QString fromEnvironment(const char* name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

QString programDir()
{
    const QString overridden = fromEnvironment("KNOTLATTICE_PROGRAM_DIR");
    if (!overridden.isEmpty())
        return QDir::cleanPath(overridden);
    return QCoreApplication::applicationDirPath();
}

QString blocksDir()
{
    return programDir() + "/blocks";
}
QString compileDir()
{
    return programDir() + "/compile";
}
QString presetsDir()
{
    return programDir() + "/presets";
}
QString tutorialsDir()
{
    return programDir() + "/tutorials";
}
QString examplesDir()
{
    return programDir() + "/examples";
}

QString deviceVolume()
{
    const QString overridden = fromEnvironment("KNOTLATTICE_DEVICE_VOLUME");
    if (!overridden.isEmpty())
        return QDir::cleanPath(overridden);
#ifdef Q_OS_MACOS
    return QStringLiteral("/Volumes/CRP DISABLD");
#else
    const QString user = fromEnvironment("USER");
    const QStringList candidates = {QStringLiteral("/media/%1/CRP DISABLD").arg(user),
                                    QStringLiteral("/run/media/%1/CRP DISABLD").arg(user)};
    for (const QString& c : candidates) {
        if (QFileInfo(c).isDir())
            return c;
    }
    return candidates.first();
#endif
}

QString deviceFirmwarePath()
{
    return deviceVolume() + "/firmware.bin";
}

QString repositoryUrl()
{
    const QString overridden = fromEnvironment("KNOTLATTICE_REPOSITORY_URL");
    if (!overridden.isEmpty())
        return overridden;
    // Our own repository server (knotlattice-repository) on this machine, at its default port.
    return QStringLiteral("http://127.0.0.1:8470/action.php");
}

} // namespace util
