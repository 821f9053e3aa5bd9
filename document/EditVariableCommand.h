#pragma once

#include <QString>
#include <QUndoCommand>

class PatchDocument;

// Sets one value of a block; undo restores the value it had when the command was made.
class EditVariableCommand : public QUndoCommand
{
public:
    EditVariableCommand(PatchDocument* document, int blockId, int variableId, const QString& value);

    void undo() override;
    void redo() override;

private:
    PatchDocument* document;
    int blockId;
    int variableId;
    QString newValue;
    QString oldValue;
    bool valid = false;
};
