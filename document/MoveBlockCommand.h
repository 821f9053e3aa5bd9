#pragma once

#include <QUndoCommand>

class PatchDocument;

// Moves a block from where it stands when the command is made.
class MoveBlockCommand : public QUndoCommand
{
public:
    MoveBlockCommand(PatchDocument* document, int id, int x, int y);

    void undo() override;
    void redo() override;

private:
    PatchDocument* document;
    int id;
    int oldX = 0;
    int oldY = 0;
    int newX;
    int newY;
    bool valid = false;
};
