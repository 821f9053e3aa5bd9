#include "NumberEdit.h"

#include <QLocale>
#include <QSignalBlocker>
#include <cmath>

NumberEdit::NumberEdit(const Variable& variable, double minimum, double maximum, QWidget* parent)
    : QDoubleSpinBox(parent), variable(variable)
{
    setLocale(QLocale(QLocale::English));
    setRange(minimum, maximum);
    connect(this, &QAbstractSpinBox::editingFinished, this, &NumberEdit::finishEdit);
}

void NumberEdit::editValue(const QString& value, bool silent)
{
    const QSignalBlocker blocker(silent ? this : nullptr);
    double number = value.toFloat();
    // Odd texts in a file ("nan", "inf") must not leave the spin box without a number.
    if (std::isnan(number))
        number = 0.0;
    else if (std::isinf(number))
        number = number > 0 ? maximum() : minimum();
    setValue(number);
    // What the box shows after clamping and rounding is the baseline, not the model's text.
    shownText = formatted();
}

void NumberEdit::commitEdit()
{
    interpretText();
    finishEdit();
}

void NumberEdit::finishEdit()
{
    const QString text = formatted();
    if (text == shownText)
        return;
    shownText = text;
    emit variableEdited(variable.id, text);
}

QString NumberEdit::formatted() const
{
    return QString::number(value(), 'g', 6);
}
