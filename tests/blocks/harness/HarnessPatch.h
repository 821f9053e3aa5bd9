#pragma once

#include "TestPatch.h"

#include <QList>
#include <QString>

class BlockManager;

// A patch of library blocks written as text, the way block tests describe what they run:
//
//   m = i2o1_multiply in1=0.5     a block, by its main-function name or its library name (in
//                                 double quotes when it has blanks: "Audio Output"), then value
//                                 texts by variable name (in0, interval, table, rate=1)
//   m.out0 -> p.in0               a cable from an output socket to an input socket
//
// Statements end at a line end or ';'; '#' starts a comment that runs to the line end. Labels
// are C-like names. Values not given keep the block's defaults.
class HarnessPatch
{
public:
    HarnessPatch() = default;
    HarnessPatch(const HarnessPatch&) = delete;
    HarnessPatch& operator=(const HarnessPatch&) = delete;

    // False, with a message naming the statement, on the first mistake.
    bool parse(const BlockManager& library, const QString& text, QString* error);

    // The blocks in the order the text places them.
    QList<const BlockInstance*> instances() const { return patch.all(); }
    QString labelOf(const BlockInstance* instance) const { return patch.labelOf(instance); }

private:
    bool place(const BlockManager& library, const QStringList& words, QString* error);
    bool connect(const QStringList& words, QString* error);

    TestPatch patch;
};
