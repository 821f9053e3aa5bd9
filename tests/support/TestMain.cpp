#include "TestMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

namespace testsupport {

void prepareEnvironment(const char* testName)
{
    // Lives for the whole process; removed at exit.
    static QTemporaryDir home(QDir::tempPath() +
                              QStringLiteral("/kl-home-%1-XXXXXX").arg(testName));
    const QByteArray homePath = home.path().toLocal8Bit();
    qputenv("HOME", homePath);
    qputenv("XDG_CONFIG_HOME", homePath + "/.config");
    qputenv("XDG_DATA_HOME", homePath + "/.local/share");
    qputenv("XDG_CACHE_HOME", homePath + "/.cache");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TZ", "UTC");
    QDir().mkpath(home.path() + "/.config");
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path() + "/.config");
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path() + "/.config");
    QCoreApplication::setOrganizationName(QStringLiteral("Velmora Ltd"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("knotlattice.org"));
    QCoreApplication::setApplicationName(QStringLiteral("Knotlattice"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0.0"));
}

QString sourcePath(const QString& relative)
{
    return QString::fromLocal8Bit(qgetenv("KNOTLATTICE_SOURCE_DIR")) + "/" + relative;
}

QString binPath(const QString& relative)
{
    const QString bin = QString::fromLocal8Bit(qgetenv("KNOTLATTICE_BIN_DIR"));
    return relative.isEmpty() ? bin : bin + "/" + relative;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace testsupport
