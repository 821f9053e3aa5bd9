#pragma once

#include <QColor>
#include <QString>

// The editor's colour palette, shared by every painter of the canvas and the block palette.
namespace Colours {

extern const QColor borderColor;
extern const QColor userColor;
extern const QColor selectColor;
extern const QColor controlColor;

extern const QColor effectsColor;
extern const QColor generatorsColor;
extern const QColor envelopesColor;
extern const QColor inOutColor;
extern const QColor midiColor;
extern const QColor mathColor;
extern const QColor routingColor;
extern const QColor sequencingColor;
extern const QColor logicColor;
extern const QColor customColor;

// The colour of a palette category, compared case-sensitively; customColor for any other.
QColor categoryColor(const QString& category);

} // namespace Colours
