#include "ArrayEdit.h"

#include <QDebug>
#include <QSignalBlocker>

ArrayEdit::ArrayEdit(const Variable& variable, QWidget* parent)
    : QLineEdit(parent), variable(variable)
{
    connect(this, &QLineEdit::editingFinished, this, &ArrayEdit::finishEdit);
}

QString ArrayEdit::sizeText(const QString& name)
{
    const int open = name.indexOf(QLatin1Char('['));
    if (open < 0)
        return QString();
    const int close = name.indexOf(QLatin1Char(']'), open + 1);
    return close < 0 ? name.mid(open + 1) : name.mid(open + 1, close - open - 1);
}

void ArrayEdit::editValue(const QString& value, bool silent)
{
    const QSignalBlocker blocker(silent ? this : nullptr);
    setText(value);
    shownText = value;
    warned = false;
}

void ArrayEdit::finishEdit()
{
    const QString current = text();
    if (current == shownText)
        return;

    const QString size = sizeText(variable.name);
    bool isNumber = false;
    const int expected = size.toInt(&isNumber, 10);
    const int count = current.split(QLatin1Char(','), Qt::KeepEmptyParts).size();
    if ((isNumber && count == expected) || size == QLatin1String("?")) {
        shownText = current;
        warned = false;
        emit variableEdited(variable.id, current);
        return;
    }

    if (warned && current == warnedText)
        return;
    warned = true;
    warnedText = current;
    qWarning().noquote()
        << tr("Incorrect size of array. Please make sure the array has exactly %1 elements.")
               .arg(size);
}
