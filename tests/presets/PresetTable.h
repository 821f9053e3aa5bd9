#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The test data table of the presets' controls (fixtures/controls.tsv): per preset, the control
// that opens its gate, if any, and the effect each control is expected to have.
struct PresetControls
{
    enum Effect
    {
        None,
        Level,
        Pitch,
        Spectrum
    };

    QString file;
    // 0 knob 1, 1 knob 2, 2 switch 1, 3 switch 2; -1 when the preset sounds by itself.
    int gate = -1;
    QList<Effect> effects;
};

// The table's rows, or none with `error` set when a line cannot be read.
QList<PresetControls> readPresetControls(const QString& path, QString* error);
QString effectName(PresetControls::Effect effect);
QString controlName(int control);
