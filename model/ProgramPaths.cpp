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
    return deviceVolumeIn(deviceVolumeRoots());
}

QStringList deviceVolumeRoots()
{
#ifdef Q_OS_MACOS
    return {QStringLiteral("/Volumes")};
#else
    const QString user = fromEnvironment("USER");
    return {QStringLiteral("/media/%1").arg(user), QStringLiteral("/run/media/%1").arg(user)};
#endif
}

QString deviceVolumeIn(const QStringList& roots)
{
    const QString name = QStringLiteral("/CRP DISABLD");
    for (const QString& root : roots) {
        if (QFileInfo(root + name).isDir())
            return root + name;
    }
    return roots.isEmpty() ? QString() : roots.first() + name;
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
