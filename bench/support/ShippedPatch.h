#pragma once

#include "BlockManager.h"
#include "TestPatch.h"

#include <QList>
#include <QString>

// A large patch of the shipped blocks, the heavy ones a synthesizer patch is made of. Each voice
// has eleven blocks: a slow pulse gating an ADSR, a two-operator FM voice whose index follows
// it, heard through a 150 ms echo, another pulse gating an AD envelope, noise through an
// audio-rate lag, a saw through a resonant low-pass filter, and a Mix 4 that mixes them (the AD
// envelope setting the echo's level) with the previous voice's mix. The last mix feeds the
// Audio Output; blocks left over after the whole voices are sine oscillators. An output socket
// feeds one input, as on the canvas.
class ShippedPatch
{
public:
    // Reads the block files of `blocksFolder` (the program's blocks folder).
    explicit ShippedPatch(const QString& blocksFolder);

    // Places `blocks` blocks (at least 12). False, with `error` set, when a block is missing.
    bool build(int blocks, QString* error);

    QList<const BlockInstance*> instances() const { return patch.all(); }

private:
    // The library block whose main function is `mainName`, placed with its defaults except for
    // the inputs given as (socket number, value text).
    BlockInstance* place(const QString& mainName, const QList<QPair<int, QString>>& inputs = {});

    BlockManager library;
    TestPatch patch;
    QString missing;
};
