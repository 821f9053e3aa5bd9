#pragma once

#include <QByteArray>
#include <QString>

// What the repository reads from a block file itself: its name and category, and the short
// hash the editor compares.
class BlockFileFacts
{
public:
    // False when the bytes are no block file (root element "block" with a name).
    static bool read(const QByteArray& bytes, QString* name, QString* category);
    // The text of the root's first "category" child; empty when there is none.
    static QString category(const QByteArray& bytes);
    static QString hash(const QByteArray& bytes);
};
