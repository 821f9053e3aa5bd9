#pragma once

#include "PresetGrid.h"

#include <QList>
#include <QString>
#include <QStringList>

// The preset patches as they are made in the editor, with what the catalogue says of them.
struct PresetPatch
{
    QString category;
    QString name;
    // Base name of the patch file, the program and the image.
    QString file;
    // What it is and what to try (HTML).
    QString info;
    // What knob 1, knob 2, switch 1 and switch 2 do.
    QStringList controls;
    void (*build)(PresetGrid&);
};

const QList<PresetPatch>& presetPatches();
