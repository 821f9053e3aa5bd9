#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One placed block as stored in a packed patch record, before it is bound to a description.
struct PackedInstance
{
    QString name;
    QString hash;
    qint32 id = 0;
    qint32 nodeValue = 0;
    qint32 x = 0;
    qint32 y = 0;
    // Every value text as stored, in variable order; never cut to the description's length.
    QStringList values;
    // Outgoing cables: {output socket, target instance id, input socket}.
    QList<QList<qint32>> connections;
};
