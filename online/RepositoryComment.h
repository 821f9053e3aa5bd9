#pragma once

#include <QList>
#include <QString>

// One comment on a patch or block of the online repository.
struct RepositoryComment
{
    int id = 0;
    int uid = 0;
    QString user;
    QString date;
    QString content;
};

using RepositoryComments = QList<RepositoryComment>;
