#pragma once

#include "BlockConnection.h"

#include <QHash>
#include <QStringList>

class BlockDescription;

// One placed block of a patch. Owned by its document; the socket hashes point at the
// document's connections.
struct BlockInstance
{
    qint32 id = 0;
    qint32 nodeId = 0;
    const BlockDescription* description = nullptr;
    qint32 x = 0;
    qint32 y = 0;
    QHash<qint32, const BlockConnection*> outputs;
    QHash<qint32, const BlockConnection*> inputs;
    QStringList values;
};
