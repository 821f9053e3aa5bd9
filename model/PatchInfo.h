#pragma once

#include <QString>

// Per-document facts written into every patch record.
struct PatchInfo
{
    QString name;
    QString path;
    quint32 date = 0;
    qint32 saved = 0;
    qint32 lang = 0;
    qint32 nodeId = 0;
    qint32 zoomLevel = 0;
    bool includeBlocks = true;
};
