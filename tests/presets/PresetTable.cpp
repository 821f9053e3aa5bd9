#include "PresetTable.h"

#include <QFile>
#include <QRegularExpression>

namespace {

const QStringList controlNames{"knob1", "knob2", "switch1", "switch2"};
const QStringList effectNames{"-", "level", "pitch", "spectrum"};

} // namespace

QString effectName(PresetControls::Effect effect)
{
    return effectNames.value(effect);
}

QString controlName(int control)
{
    return controlNames.value(control, QStringLiteral("-"));
}

QList<PresetControls> readPresetControls(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return {};
    }
    QList<PresetControls> rows;
    int number = 0;
    while (!file.atEnd()) {
        ++number;
        const QString line = QString::fromUtf8(file.readLine()).section(QLatin1Char('#'), 0, 0);
        const QStringList words =
            line.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (words.isEmpty())
            continue;
        PresetControls row;
        bool ok = words.size() == 6;
        if (ok) {
            row.file = words.at(0);
            row.gate = words.at(1) == QLatin1String("-") ? -1 : controlNames.indexOf(words.at(1));
            ok = words.at(1) == QLatin1String("-") || row.gate >= 0;
            for (int i = 2; i < 6 && ok; ++i) {
                const int effect = effectNames.indexOf(words.at(i));
                ok = effect >= 0;
                row.effects << PresetControls::Effect(effect);
            }
        }
        if (!ok) {
            *error = QStringLiteral("%1, line %2: not \"file gate knob1 knob2 switch1 switch2\"")
                         .arg(path)
                         .arg(number);
            return {};
        }
        rows << row;
    }
    return rows;
}
