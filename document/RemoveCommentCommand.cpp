#include "RemoveCommentCommand.h"

#include "PatchDocument.h"

RemoveCommentCommand::RemoveCommentCommand(PatchDocument* document, int id)
    : document(document), id(id)
{
    setText(QStringLiteral("add comment"));
    if (const Comment* comment = document->comment(id)) {
        stored = *comment;
        valid = true;
    }
}

void RemoveCommentCommand::redo()
{
    if (!valid)
        return;
    document->removeComment(id);
    // Dropping an empty comment loses nothing; dropping a written one is an unsaved change.
    if (!stored.text.trimmed().isEmpty())
        document->setChanged(true);
}

void RemoveCommentCommand::undo()
{
    if (!valid)
        return;
    document->addComment(id, stored.x, stored.y);
    document->editComment(id, stored.x, stored.y, stored.text);
}
