#include "EditVariableCommand.h"

#include "PatchDocument.h"

EditVariableCommand::EditVariableCommand(PatchDocument* document, int blockId, int variableId,
                                         const QString& value)
    : document(document), blockId(blockId), variableId(variableId), newValue(value)
{
    setText(QStringLiteral("change variable"));
    const BlockInstance* instance = document->blockInstance(blockId);
    if (instance && variableId >= 0 && variableId < instance->values.size()) {
        oldValue = instance->values.at(variableId);
        valid = true;
    }
}

void EditVariableCommand::redo()
{
    if (valid)
        document->editVariable(blockId, variableId, newValue);
}

void EditVariableCommand::undo()
{
    if (valid)
        document->editVariable(blockId, variableId, oldValue);
}
