#pragma once

#include "InspectorWidget.h"
#include "Variable.h"

#include <QLineEdit>

// A line of comma-separated elements for an array variable ("name[size]"). Reports the text
// as it is when the user finishes editing and the element count fits the size.
class ArrayEdit : public QLineEdit, public InspectorWidget
{
    Q_OBJECT
public:
    explicit ArrayEdit(const Variable& variable, QWidget* parent = nullptr);

    void editValue(const QString& value, bool silent) override;
    void commitEdit() override { finishEdit(); }

    const Variable& editedVariable() const { return variable; }

    // The text between the first "[" of the name and the following "]".
    static QString sizeText(const QString& name);

signals:
    void variableEdited(int variableId, QString value);

private:
    void finishEdit();

    Variable variable;
    QString shownText;
    // Return and the focus loss that follows both finish an edit; one warning per text.
    QString warnedText;
    bool warned = false;
};
