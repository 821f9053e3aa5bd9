#pragma once

#include "Comment.h"

#include <QUndoCommand>

class PatchDocument;

// Adds a comment. With id 0 the first redo takes the next free id and opens the comment for
// editing; later redos bring back that same id.
class AddCommentCommand : public QUndoCommand
{
public:
    AddCommentCommand(PatchDocument* document, int x, int y, int id);

    void undo() override;
    void redo() override;

private:
    PatchDocument* document;
    int x;
    int y;
    int id;
    Comment stored;
};
