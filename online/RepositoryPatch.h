#pragma once

#include "BlockDescription.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// One patch entry of the online repository.
struct RepositoryPatch
{
    int id = 0;
    int uid = 0;
    QString name;
    QString user;
    QString filename;
    QString description;
    QString date;
    // The upload record and the patch's custom block descriptions; filled only for an upload.
    QByteArray data;
    QHash<QString, BlockDescription> blocks;
};

using RepositoryPatches = QList<RepositoryPatch>;
