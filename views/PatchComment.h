#pragma once

#include <QGraphicsTextItem>

struct Comment;

// The canvas item of one patch comment: plain text, or rich text written as HTML.
class PatchComment : public QGraphicsTextItem
{
    Q_OBJECT

public:
    enum
    {
        Type = UserType + 4
    };

    PatchComment(int id, int x, int y, Comment* comment, QGraphicsItem* parent = nullptr);
    ~PatchComment() override;

    int type() const override { return Type; }

    int id() const { return commentId; }
    Comment* comment() const { return record; }
    bool editing() const { return isEditing; }

    // Shows the stored text as typed, markup included, and takes the keyboard focus.
    void startEditing();

    // Text interaction while the comment is only read: selection and links.
    static Qt::TextInteractionFlags readingFlags();

signals:
    void edited(int id, int x, int y, QString txt);

private:
    int commentId;
    Comment* record;
    bool isEditing = false;
};
