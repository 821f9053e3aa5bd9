#pragma once

#include "PatchBuilder.h"

#include <QMap>
#include <QPair>

// The presets name their blocks' places on a grid of columns and rows: the columns follow the
// signal from the controls to the speakers, the rows keep parallel parts apart. To fit the
// first window, `arrange` sets the blocks in that order, column by column and down each column,
// in lines across the canvas as text runs, under the preset's description.
class PresetGrid : public PatchBuilder
{
public:
    using Values = QList<QPair<int, QString>>;
    using PatchBuilder::PatchBuilder;

    int block(const QString& name, double column, double row, const Values& values = {});

    // Lays out the blocks under a comment holding `description` at the largest zoom that shows
    // them all, with the widest spacing that fits at that zoom; a failure when none does.
    void arrange(const QString& description);

private:
    struct Spacing
    {
        double line;  // between lines of blocks, and under the description
        double block; // between blocks on a line
    };
    // Sets the blocks in lines no wider than `width` from `top` down; the bottom of the last.
    double flow(double top, double width, const Spacing& spacing);

    // The grid place of each block by id.
    QMap<int, QPair<double, double>> places;
};
