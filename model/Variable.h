#pragma once

#include <QString>

// One variable of a block type: a socket, an editable setting, an internal member or the
// per-block "rate" flag that every description ends with.
struct Variable
{
    enum SocketKind : qint32
    {
        SocketRate = 0,
        SocketInput = 1,
        SocketOutput = 2,
        SocketNone = 3
    };

    qint32 id = 0;
    qint32 socketIndex = 0;
    qint32 socketKind = SocketNone;
    QString dtype;
    QString name;
    bool editable = false;
    QString value;
    QString info;
};

// A new instance's value text for the variable: arrays keep their list, numbers are normalised
// ("2.000000" gives "2", an empty text "0").
inline QString initialValue(const Variable& variable)
{
    if (variable.name.contains(QLatin1Char('[')))
        return variable.value;
    return QString::number(double(variable.value.toFloat()), 'g', 6);
}
