#pragma once

#include "BlockDescription.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

class QFile;

// The block library: every block type found in the program's blocks folder and the user's
// custom blocks folder, by name and by palette category.
//
// Pointers handed out (blockDescription(), the lists in blocksInCategories()) stay valid for the
// manager's life: a rescan that finds a known name overwrites the stored description in place.
class BlockManager : public QObject
{
    Q_OBJECT

public:
    using Blocks = QHash<QString, BlockDescription>;
    using Categories = QMap<QString, QList<const BlockDescription*>>;

    explicit BlockManager(QObject* parent = nullptr);

    // Reads one block-description file. Adds nothing to the library. `fileName` and `filePath`
    // are stored as given; `rawData` keeps the bytes for OriginPatch only. Bytes that are not
    // well-formed XML, nest elements more than 64 deep, or fail BoundedXml (with more than
    // 131,072 attributes in all) give a description with an empty name.
    static BlockDescription loadBlock(const QByteArray& data, BlockDescription::BlockOrigin origin,
                                      const QString& fileName = QString(),
                                      const QString& filePath = QString());
    // Reads an open file; its name and full path are kept for OriginUser only.
    static BlockDescription loadBlock(QFile& file, BlockDescription::BlockOrigin origin);
    // The name the first element of a block file gives, read as far as the bytes go: the name
    // of a block whose file is cut short or damaged after its start. Empty when there is none
    // or the bytes fail BoundedXml.
    static QString blockName(const QByteArray& data);
    // The name a block file gives when its first element is "block" with a name and the whole
    // file reads as a block description; empty otherwise. A received file is the block asked
    // for when this is that block's name.
    static QString validBlockName(const QByteArray& data);
    // The short hash that identifies a block file's contents: the first four hexadecimal digits
    // of its SHA-1, carriage returns left out.
    static QString blockHash(const QByteArray& data);

    // Adds the block file at `path`. False, with the library unchanged, when the file cannot be
    // read, is not a block description, or names a block the library already holds.
    bool loadNewBlock(const QString& path, BlockDescription::BlockOrigin origin);
    // Loads every .xml and .block file below `folder`, hidden ones and those in linked folders
    // too; known names are replaced in place.
    void loadBlocks(const QString& folder, BlockDescription::BlockOrigin origin);
    // The files below `folder` that loadBlocks() would store as the block `name`, in the order
    // it reads them: the last one is the one the library holds after the scan.
    static QStringList scannedFilesOf(const QString& folder, const QString& name);

    // Null when the library has no block of that name.
    const BlockDescription* blockDescription(const QString& name) const;
    const Categories* blocksInCategories() const { return &categories; }
    const Blocks* getBlockDescriptions() const { return &blocks; }

private:
    // Reads and checks one library file: the reason it should not be stored, empty when it
    // should.
    static QString readBlockFile(const QString& path, BlockDescription::BlockOrigin origin,
                                 BlockDescription& description);
    // The same, with the reason given as a warning; false when it should not be stored.
    static bool readLibraryFile(const QString& path, BlockDescription::BlockOrigin origin,
                                BlockDescription& description);
    void store(BlockDescription&& description);
    // Hands every entry named like a block file below `folder` to `visit`, in scan order;
    // `visited` holds the real paths of the folders read so far.
    static void walkFolder(const QString& folder, QSet<QString>& visited,
                           const std::function<void(const QString&)>& visit);

    Blocks blocks;
    Categories categories;
};
