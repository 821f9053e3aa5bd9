#include "AddCommentCommand.h"

#include "PatchDocument.h"

AddCommentCommand::AddCommentCommand(PatchDocument* document, int x, int y, int id)
    : document(document), x(x), y(y), id(id)
{
    setText(QStringLiteral("add comment"));
}

void AddCommentCommand::redo()
{
    const Comment* made = id == 0 ? document->addComment(x, y) : document->addComment(id, x, y);
    stored = *made;
    id = made->id;
}

void AddCommentCommand::undo()
{
    if (id != 0)
        document->removeComment(id);
}
