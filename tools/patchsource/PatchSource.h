#pragma once

#include "BlockConnection.h"
#include "BlockDescription.h"
#include "BlockInstance.h"
#include "InstanceList.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <map>

class BlockManager;

// A saved patch file bound to the block library the way the editor opens it, for building the
// patch outside the editor: the record read by the record rule, the carried block files taking
// the place of library blocks they differ from, short value lists padded with the
// descriptions' defaults, and cables numbered in file order, a cable to a socket that does not
// exist left out. The instances stand in id order, as a document hands them to the code
// generator.
class PatchSource
{
public:
    PatchSource() = default;
    PatchSource(const PatchSource&) = delete;
    PatchSource& operator=(const PatchSource&) = delete;

    // False, with `error` telling why, when the bytes hold no readable patch record or the
    // patch uses a block that neither the library nor the file has.
    bool read(const QByteArray& file, const BlockManager& library, QString* error);

    InstanceList instances() const;
    // The patch record as the file holds it: what a firmware image carries in its trailer.
    QByteArray record() const { return patchRecord; }
    QString name() const { return patchName; }

private:
    QHash<QString, BlockDescription> carried;
    std::map<qint32, BlockInstance> blocks;
    std::map<qint32, BlockConnection> cables;
    QByteArray patchRecord;
    QString patchName;
};
