#include "EditCommentCommand.h"

#include "PatchDocument.h"

EditCommentCommand::EditCommentCommand(PatchDocument* document, int id, int x, int y,
                                       const QString& text)
    : document(document), id(id), newX(x), newY(y), newText(text)
{
    setText(QStringLiteral("add comment"));
    if (const Comment* comment = document->comment(id)) {
        oldX = comment->x;
        oldY = comment->y;
        oldText = comment->text;
        valid = true;
    }
}

void EditCommentCommand::redo()
{
    if (valid && !newText.trimmed().isEmpty())
        document->editComment(id, newX, newY, newText);
}

void EditCommentCommand::undo()
{
    if (valid)
        document->editComment(id, oldX, oldY, oldText);
}
