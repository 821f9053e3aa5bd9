#include "MoveBlockCommand.h"

#include "PatchDocument.h"

MoveBlockCommand::MoveBlockCommand(PatchDocument* document, int id, int x, int y)
    : document(document), id(id), newX(x), newY(y)
{
    setText(QStringLiteral("move DSP-Block"));
    if (const BlockInstance* instance = document->blockInstance(id)) {
        oldX = instance->x;
        oldY = instance->y;
        valid = true;
    }
}

void MoveBlockCommand::redo()
{
    if (valid)
        document->moveBlock(id, newX, newY);
}

void MoveBlockCommand::undo()
{
    if (valid)
        document->moveBlock(id, oldX, oldY);
}
