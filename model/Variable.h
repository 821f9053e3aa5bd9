#pragma once

#include <QString>

// One variable of a block type: a socket, an editable setting, an internal member or the
// per-block "rate" flag that every description ends with.
struct Variable
{
    enum SocketKind : qint32 { SocketRate = 0, SocketInput = 1, SocketOutput = 2, SocketNone = 3 };

    qint32 id = 0;
    qint32 socketIndex = 0;
    qint32 socketKind = SocketNone;
    QString dtype;
    QString name;
    bool editable = false;
    QString value;
    QString info;
};
