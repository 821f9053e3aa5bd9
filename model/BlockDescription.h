#pragma once

#include "BlockCode.h"
#include "Variable.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <vector>

// One block type as read from a block-description file.
//
// `inputs` and `outputs` point into this description's own `variables`. Copies rebuild them so
// they never point into the description they were copied from.
class BlockDescription
{
public:
    enum BlockOrigin : qint32
    {
        OriginLibrary = 0,
        OriginUser = 1,
        OriginPatch = 2
    };

    BlockDescription() = default;
    BlockDescription(const BlockDescription& other);
    BlockDescription& operator=(const BlockDescription& other);
    BlockDescription(BlockDescription&& other) noexcept;
    BlockDescription& operator=(BlockDescription&& other) noexcept;
    ~BlockDescription() = default;

    // Rebuilds `inputs` and `outputs` from the socket kinds of `variables`.
    void rebuildSockets();

    QString name;
    QString hash;
    QString category;
    QString info;
    QString dataName;
    std::vector<Variable> variables;
    QList<const Variable*> inputs;
    QList<const Variable*> outputs;
    QList<BlockCode> functions;
    QList<BlockCode> globals;
    QString mainName;
    QString mainCode;
    QString help;
    BlockOrigin origin = OriginLibrary;
    QString fileName;
    QString filePath;
    QByteArray rawData;
};
