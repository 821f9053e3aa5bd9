#pragma once

#include "Comment.h"
#include "PackedInstance.h"

#include <QList>
#include <QString>

// A patch decoded from its packed record; a document is rebuilt from it.
struct PackedPatch
{
    // Never read from the packed record: the record's reader sets it.
    qint32 nodeId = 0;
    qint32 x = 0;
    qint32 y = 0;
    qint32 zoomLevel = 0;
    quint32 date = 0;
    qint32 saved = 0;
    qint32 lang = 0;
    bool includeBlocks = false;
    QString name;
    QList<PackedInstance> blocks;
    QList<Comment> comments;
};
