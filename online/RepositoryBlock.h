#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One block entry of the online repository. The patch opener also builds entries with only
// `name` and `hash` for blocks a patch needs and the library lacks.
struct RepositoryBlock
{
    int id = 0;
    int uid = 0;
    QString name;
    QString title;
    QString filename;
    QString user;
    QString date;
    QString hash;
    QString description;
    QString category;
    // The block file's bytes; filled only for an upload.
    QByteArray data;
};

using RepositoryBlocks = QList<RepositoryBlock>;
