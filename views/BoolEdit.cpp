#include "BoolEdit.h"

#include <QSignalBlocker>

BoolEdit::BoolEdit(const Variable& variable, QWidget* parent)
    : QCheckBox(parent), variable(variable)
{
    connect(this, &QCheckBox::stateChanged, this, &BoolEdit::stateToggled);
}

void BoolEdit::editValue(const QString& value, bool silent)
{
    const QSignalBlocker blocker(silent ? this : nullptr);
    const bool checked = value != QLatin1String("0");
    // The baseline goes first, so the state change below is not taken for an edit.
    shownText = QString::number(checked ? Qt::Checked : Qt::Unchecked);
    setChecked(checked);
}

void BoolEdit::stateToggled(int state)
{
    const QString text = QString::number(state);
    if (text == shownText)
        return;
    shownText = text;
    emit variableEdited(variable.id, text);
}
