#pragma once

#include <QString>
#include <QUndoCommand>

class PatchDocument;

// Sets a comment's place and text. A blank new text changes nothing; undo still restores the
// old text and place.
class EditCommentCommand : public QUndoCommand
{
public:
    EditCommentCommand(PatchDocument* document, int id, int x, int y, const QString& text);

    void undo() override;
    void redo() override;

private:
    PatchDocument* document;
    int id;
    int oldX = 0;
    int oldY = 0;
    QString oldText;
    int newX;
    int newY;
    QString newText;
    bool valid = false;
};
