#pragma once

#include <QString>

// One piece of C code of a block type: a function (main, init or custom) or a global.
struct BlockCode
{
    enum Kind : qint32
    {
        Main = 0,
        Init = 1,
        Custom = 2
    };

    qint32 type = Main;
    QString name;
    QString parameters;
    QString returnType;
    QString code;
};
