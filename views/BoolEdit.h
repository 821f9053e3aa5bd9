#pragma once

#include "InspectorWidget.h"
#include "Variable.h"

#include <QCheckBox>

// A check box for a "bool" variable. Reports the check state as "0" or "2".
class BoolEdit : public QCheckBox, public InspectorWidget
{
    Q_OBJECT
public:
    explicit BoolEdit(const Variable& variable, QWidget* parent = nullptr);

    void editValue(const QString& value, bool silent) override;
    void commitEdit() override {}

    const Variable& editedVariable() const { return variable; }

signals:
    void variableEdited(int variableId, QString value);

private:
    void stateToggled(int state);

    Variable variable;
    QString shownText;
};
