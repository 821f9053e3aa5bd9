#include "SeedImport.h"

#include "RepositoryProtocol.h"
#include "RepositoryStore.h"

#include "BlockManager.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

bool readFile(const QString& path, QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bytes = file.readAll();
    return true;
}

QString sideText(const QString& path, const QString& fallback)
{
    QByteArray bytes;
    if (!readFile(path + ".txt", bytes))
        return fallback;
    return QString::fromUtf8(bytes).trimmed();
}

QString tooLarge(const QString& path)
{
    return QStringLiteral("%1 is larger than 16 MiB, which the editor cannot download").arg(path);
}

} // namespace

SeedImport::Result SeedImport::apply(RepositoryStore& store, const QString& folder, QString* error)
{
    QString message;
    auto failWith = [&message](const QString& text) {
        message = text;
        return false;
    };
    const QDir dir(folder);
    if (!dir.exists()) {
        if (error)
            *error = QStringLiteral("no such folder: %1").arg(folder);
        return Result::Failed;
    }
    RepositoryStore::Counts counts;
    if (!store.counts(counts)) {
        if (error)
            *error = QStringLiteral("cannot read the repository");
        return Result::Failed;
    }
    if (counts.users + counts.patches + counts.blocks + counts.comments > 0)
        return Result::NotEmpty;

    bool notEmpty = false;
    const bool ok = store.transaction([&] {
        // Checked again inside the transaction: another process may have filled it.
        RepositoryStore::Counts now;
        if (!store.counts(now))
            return failWith(QStringLiteral("cannot read the repository"));
        if (now.users + now.patches + now.blocks + now.comments > 0) {
            notEmpty = true;
            return false;
        }
        QByteArray bytes;
        int owner = 0;
        const QString usersPath = dir.filePath(QStringLiteral("users.txt"));
        if (QFileInfo::exists(usersPath)) {
            if (!readFile(usersPath, bytes))
                return failWith(QStringLiteral("cannot read %1").arg(usersPath));
            for (const QByteArray& line : bytes.split('\n')) {
                const QString text = QString::fromUtf8(line).trimmed();
                if (text.isEmpty() || text.startsWith(QLatin1Char('#')))
                    continue;
                const int blank = text.indexOf(QLatin1Char(' '));
                if (blank <= 0)
                    return failWith(
                        QStringLiteral("users.txt: \"%1\" is not \"name password\"").arg(text));
                const QString name = text.left(blank);
                if (!RepositoryStore::acceptableUserName(name))
                    return failWith(
                        QStringLiteral("users.txt: \"%1\" is not a user name: it has control "
                                       "characters or more than 100 characters")
                            .arg(name));
                int uid = 0;
                const auto added =
                    store.addUser(name, text.mid(blank + 1).trimmed().toUtf8(), &uid);
                if (added == RepositoryStore::Outcome::Refused)
                    return failWith(QStringLiteral("users.txt names %1 twice").arg(name));
                if (added != RepositoryStore::Outcome::Done)
                    return failWith(QStringLiteral("cannot add the user %1").arg(name));
                if (!owner)
                    owner = uid;
            }
        }
        const QString versionPath = dir.filePath(QStringLiteral("version.txt"));
        if (QFileInfo::exists(versionPath)) {
            if (!readFile(versionPath, bytes))
                return failWith(QStringLiteral("cannot read %1").arg(versionPath));
            const QStringList numbers = QString::fromUtf8(bytes).trimmed().split(QLatin1Char('.'));
            bool good = numbers.size() == 3;
            int v[3] = {0, 0, 0};
            for (int i = 0; good && i < 3; ++i)
                v[i] = numbers.at(i).toInt(&good);
            if (!good)
                return failWith(QStringLiteral("version.txt: expected major.sub.build"));
            if (!store.setVersion(v[0], v[1], v[2]))
                return failWith(QStringLiteral("cannot set the version"));
        }

        const QStringList patchFiles = QDir(dir.filePath(QStringLiteral("patches")))
                                           .entryList({"*.ktl"}, QDir::Files, QDir::Name);
        const QStringList blockFiles =
            QDir(dir.filePath(QStringLiteral("blocks")))
                .entryList({"*.xml", "*.block"}, QDir::Files, QDir::Name);
        if ((!patchFiles.isEmpty() || !blockFiles.isEmpty()) && !owner)
            return failWith(QStringLiteral("users.txt names no user to own the seeded entries"));

        for (const QString& name : patchFiles) {
            const QString path = dir.filePath(QStringLiteral("patches/") + name);
            RepositoryStore::Patch patch;
            if (!readFile(path, patch.data))
                return failWith(QStringLiteral("cannot read %1").arg(path));
            if (!RepositoryStore::acceptableFile(patch.data))
                return failWith(tooLarge(path));
            patch.uid = owner;
            patch.name = QFileInfo(name).completeBaseName();
            patch.filename = name;
            patch.description = sideText(path, QStringLiteral("A patch of the seed."));
            if (!store.addPatch(patch))
                return failWith(QStringLiteral("cannot add %1").arg(path));
        }
        for (const QString& name : blockFiles) {
            const QString path = dir.filePath(QStringLiteral("blocks/") + name);
            RepositoryStore::Block block;
            if (!readFile(path, block.data))
                return failWith(QStringLiteral("cannot read %1").arg(path));
            if (!RepositoryStore::acceptableFile(block.data))
                return failWith(tooLarge(path));
            if (!RepositoryProtocol::readBlockFile(block.data, &block.name, &block.category))
                return failWith(QStringLiteral("%1 is not a block file").arg(path));
            block.uid = owner;
            block.title = block.name;
            block.filename = name;
            block.hash = BlockManager::blockHash(block.data);
            block.description = sideText(path, QStringLiteral("A block of the seed."));
            if (!store.addBlock(block))
                return failWith(QStringLiteral("cannot add %1").arg(path));
        }
        return true;
    });
    if (ok)
        return Result::Applied;
    if (notEmpty)
        return Result::NotEmpty;
    if (error)
        *error = message.isEmpty() ? QStringLiteral("the repository's database failed") : message;
    return Result::Failed;
}
