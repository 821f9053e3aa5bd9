#pragma once

#include "Comment.h"

#include <QUndoCommand>

class PatchDocument;

// Deletes a comment; undo brings it back with its id, place and text.
class RemoveCommentCommand : public QUndoCommand
{
public:
    RemoveCommentCommand(PatchDocument* document, int id);

    void undo() override;
    void redo() override;

private:
    PatchDocument* document;
    int id;
    Comment stored;
    bool valid = false;
};
