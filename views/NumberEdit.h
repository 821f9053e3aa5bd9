#pragma once

#include "InspectorWidget.h"
#include "Variable.h"

#include <QDoubleSpinBox>

// A spin box for a scalar number variable, in the English locale. Reports the value in the
// general number format with six significant digits when the user finishes editing.
class NumberEdit : public QDoubleSpinBox, public InspectorWidget
{
    Q_OBJECT
public:
    NumberEdit(const Variable& variable, double minimum, double maximum, QWidget* parent = nullptr);

    void editValue(const QString& value, bool silent) override;
    void commitEdit() override;

    const Variable& editedVariable() const { return variable; }

signals:
    void variableEdited(int variableId, QString value);

private:
    void finishEdit();
    QString formatted() const;

    Variable variable;
    QString shownText;
};
