#include "ProgramManifest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

ProgramManifest ProgramManifest::build()
{
    const QString root = QString::fromLocal8Bit(qgetenv("KNOTLATTICE_BIN_DIR"));
    const QString path = QString::fromLocal8Bit(qgetenv("KNOTLATTICE_PROGRAM_MANIFEST"));
    QFile file(path);
    if (root.isEmpty())
        return ProgramManifest(QString(), QStringList());
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << QStringLiteral("The build's program folder manifest \"%1\" "
                                               "cannot be read, so nothing is copied from %2.")
                                    .arg(path, root);
        return ProgramManifest(root, QStringList());
    }
    QStringList files;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.isEmpty())
            files << QString::fromUtf8(line);
    }
    return ProgramManifest(root, files);
}

ProgramManifest::ProgramManifest(const QString& root, const QStringList& files)
    : rootPath(root.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(root).absoluteFilePath())),
      listed(files)
{
}

QString ProgramManifest::inside(const QString& path) const
{
    if (rootPath.isEmpty())
        return QString();
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (clean == rootPath)
        return QStringLiteral(".");
    if (!clean.startsWith(rootPath + QLatin1Char('/')))
        return QString();
    return clean.mid(rootPath.size() + 1);
}

bool ProgramManifest::covers(const QString& path) const
{
    return !inside(path).isEmpty();
}

QStringList ProgramManifest::filesAt(const QString& path) const
{
    const QString at = inside(path);
    QStringList found;
    if (at.isEmpty())
        return found;
    for (const QString& file : listed) {
        if (at == QLatin1String("."))
            found << file;
        else if (file == at)
            found << QString();
        else if (file.startsWith(at + QLatin1Char('/')))
            found << file.mid(at.size() + 1);
    }
    return found;
}

bool ProgramManifest::copy(const QString& source, const QString& target) const
{
    const QStringList files = filesAt(source);
    if (files.isEmpty())
        return false;
    for (const QString& file : files) {
        const QString from = file.isEmpty() ? source : source + QLatin1Char('/') + file;
        const QString to = file.isEmpty() ? target : target + QLatin1Char('/') + file;
        QDir().mkpath(QFileInfo(to).absolutePath());
        QFile::remove(to);
        if (!QFile::copy(from, to) || !QFile::setPermissions(to, QFile::permissions(from)))
            return false;
    }
    return true;
}
