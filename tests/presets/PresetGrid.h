#pragma once

#include "PatchBuilder.h"

#include <QtGlobal>

// The presets lay their blocks out on a grid: column c, row r at (60 + 170 c, 60 + 130 r),
// rounded.
class PresetGrid : public PatchBuilder
{
public:
    using Values = QList<QPair<int, QString>>;
    using PatchBuilder::PatchBuilder;

    int block(const QString& name, double column, double row, const Values& values = {})
    {
        return PatchBuilder::block(name, x(column), y(row), values);
    }
    void comment(double column, double row, const QString& text)
    {
        PatchBuilder::comment(x(column), y(row), text);
    }

private:
    static int x(double column) { return 60 + qRound(170 * column); }
    static int y(double row) { return 60 + qRound(130 * row); }
};
