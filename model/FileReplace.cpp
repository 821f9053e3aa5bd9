#include "FileReplace.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

bool util::replaceFile(const QString& path, const QByteArray& bytes, QString& error)
{
    const QFileInfo info(path);
    const QByteArray name = QFile::encodeName(info.fileName());
    long nameMax = 255;
#ifdef Q_OS_UNIX
    const long limit = ::pathconf(QFile::encodeName(info.absolutePath()).constData(), _PC_NAME_MAX);
    if (limit > 0)
        nameMax = limit;
#endif
    // QSaveFile writes aside under the file's own name and seven characters more. commit()
    // misses a buffer that failed to reach the disk, so the flush is checked first.
    if (name.size() + 7 <= nameMax) {
        QSaveFile file(path);
        if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
            file.commit())
            return true;
        error = file.errorString();
        file.cancelWriting();
        return false;
    }

    // A name near the file system's limit leaves no room for that: a short name of our own in
    // the same folder, made new, so that it gets the permissions a new file gets.
    const QString linked = info.isSymLink() ? info.canonicalFilePath() : QString();
    const QFileInfo target(linked.isEmpty() ? info.absoluteFilePath() : linked);
    QFile aside;
    for (int attempt = 0;; ++attempt) {
        aside.setFileName(target.absolutePath() + QStringLiteral("/.knotlattice-") +
                          QString::number(QRandomGenerator::global()->generate(), 36));
        if (aside.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            break;
        // Only a name already taken is worth another try.
        if (!aside.exists() || attempt == 100) {
            error = aside.errorString();
            return false;
        }
    }
    auto fail = [&](const QString& reason) {
        error = reason;
        aside.close();
        aside.remove();
        return false;
    };
    if (aside.write(bytes) != bytes.size() || !aside.flush())
        return fail(aside.errorString());
#ifdef Q_OS_UNIX
    if (::fsync(aside.handle()) != 0)
        return fail(lastError());
#endif
    if (target.exists() && !aside.setPermissions(QFile::permissions(target.absoluteFilePath())))
        return fail(aside.errorString());
    aside.close();
    if (std::rename(QFile::encodeName(aside.fileName()).constData(),
                    QFile::encodeName(target.absoluteFilePath()).constData()) != 0) {
        const QString reason = lastError();
        aside.remove();
        error = reason;
        return false;
    }
    return true;
}
