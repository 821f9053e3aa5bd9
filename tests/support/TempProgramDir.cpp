#include "TempProgramDir.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <utility>

TempProgramDir::TempProgramDir(ProgramManifest shipped) : shipped(std::move(shipped))
{
    hadPrevious = qEnvironmentVariableIsSet("KNOTLATTICE_PROGRAM_DIR");
    previous = qgetenv("KNOTLATTICE_PROGRAM_DIR");
    QDir root(dir.path());
    for (const char* sub : {"blocks", "compile", "presets", "tutorials", "examples"})
        root.mkpath(QString::fromLatin1(sub));
    qputenv("KNOTLATTICE_PROGRAM_DIR", dir.path().toLocal8Bit());
}

TempProgramDir::~TempProgramDir()
{
    if (hadPrevious)
        qputenv("KNOTLATTICE_PROGRAM_DIR", previous);
    else
        qunsetenv("KNOTLATTICE_PROGRAM_DIR");
}

QString TempProgramDir::path(const QString& relative) const
{
    return relative.isEmpty() ? dir.path() : dir.path() + "/" + relative;
}

static bool copyFileKeepingMode(const QString& from, const QString& to)
{
    QFile::remove(to);
    if (!QFile::copy(from, to))
        return false;
    return QFile::setPermissions(to, QFile::permissions(from));
}

bool TempProgramDir::copyIn(const QString& source, const QString& relative)
{
    const QFileInfo info(source);
    const QString target = path(relative);
    if (shipped.covers(source))
        return shipped.copy(source, target);
    if (info.isFile()) {
        QDir().mkpath(QFileInfo(target).absolutePath());
        return copyFileKeepingMode(source, target);
    }
    if (!info.isDir())
        return false;
    QDir().mkpath(target);
    QDirIterator it(source, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    const QDir sourceDir(source);
    while (it.hasNext()) {
        const QString entry = it.next();
        const QString to = target + "/" + sourceDir.relativeFilePath(entry);
        if (it.fileInfo().isDir()) {
            QDir().mkpath(to);
        } else if (!copyFileKeepingMode(entry, to)) {
            return false;
        }
    }
    return true;
}

bool TempProgramDir::writeFile(const QString& relative, const QByteArray& bytes)
{
    const QString target = path(relative);
    QDir().mkpath(QFileInfo(target).absolutePath());
    QFile f(target);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}
