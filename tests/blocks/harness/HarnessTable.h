#pragma once

#include "InstanceList.h"

#include <QHash>
#include <QString>

// The tables that the test driver reads, written after the generated code: every input, output
// and plain record field of every block by "label.name", and a step function per block that
// makes the same call as its rate handler does.
class HarnessTable
{
public:
    // `order` is the code generator's execution order (block N is order[N]), `generated` the
    // filled template whose handlers name each block's call, `labels` the blocks' labels.
    static QString write(const InstanceList& order, const QString& generated,
                         const QHash<const BlockInstance*, QString>& labels);

    // How the driver reads a field of this C type: 1 signed, 2 unsigned, 3 floating point, 0
    // when it cannot (pointers, structures).
    static int valueType(const QString& dtype);
};
