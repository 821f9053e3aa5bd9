#pragma once

#include "BlockInstance.h"

#include <QUndoCommand>

class PatchDocument;

// Deletes a block; undo brings it back with its id, node id, place and values. Its cables are
// separate commands, so they come back as those are undone.
class RemoveBlockCommand : public QUndoCommand
{
public:
    RemoveBlockCommand(PatchDocument* document, int id);

    void undo() override;
    void redo() override;

private:
    PatchDocument* document;
    int id;
    BlockInstance stored;
    bool storedValid = false;
};
