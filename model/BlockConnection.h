#pragma once

#include <QtGlobal>

struct BlockInstance;

// A cable from an output socket of one block to an input socket of another.
struct BlockConnection
{
    qint32 id = 0;
    BlockInstance* outBlock = nullptr;
    BlockInstance* inBlock = nullptr;
    qint32 outBlockSocketId = 0;
    qint32 inBlockSocketId = 0;
};
