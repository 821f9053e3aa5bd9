#pragma once

#include <QString>

// A rich-text note on the canvas.
struct Comment
{
    qint32 id = 0;
    qint32 x = 0;
    qint32 y = 0;
    QString text;
};
