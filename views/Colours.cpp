#include "Colours.h"

namespace Colours {

const QColor borderColor(QStringLiteral("#3C3C3C"));
const QColor userColor(QStringLiteral("gray"));
const QColor selectColor(QStringLiteral("#CC3CAA"));
const QColor controlColor(QStringLiteral("#3CCC3C"));

const QColor effectsColor(QStringLiteral("#F664AF"));
const QColor generatorsColor(QStringLiteral("#F5F5F5"));
const QColor envelopesColor(QStringLiteral("#93DFB8"));
const QColor inOutColor(QStringLiteral("#FFA474"));
const QColor midiColor(QStringLiteral("#CEFF1D"));
const QColor mathColor(QStringLiteral("#ACE5EE"));
const QColor routingColor(QStringLiteral("#FF5349"));
const QColor sequencingColor(QStringLiteral("#CEC8EF"));
const QColor logicColor(QStringLiteral("#AE98AA"));
const QColor customColor(QStringLiteral("#FFFF99"));

QColor categoryColor(const QString& category)
{
    struct Entry
    {
        const char* name;
        const QColor* colour;
    };
    static const Entry entries[] = {
        {"Effects", &effectsColor},     {"Generators", &generatorsColor},
        {"Envelopes", &envelopesColor}, {"In / Out", &inOutColor},
        {"MIDI", &midiColor},           {"Math", &mathColor},
        {"Routing", &routingColor},     {"Sequencing", &sequencingColor},
        {"Logic", &logicColor},
    };
    for (const Entry& entry : entries) {
        if (category == QLatin1String(entry.name))
            return *entry.colour;
    }
    return customColor;
}

} // namespace Colours
