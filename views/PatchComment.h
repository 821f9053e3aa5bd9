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
    // Reports the item's position with the stored text, after a move.
    void announceMove();

    // Text interaction while the comment is only read: selection and links.
    static Qt::TextInteractionFlags readingFlags();

signals:
    void edited(int id, int x, int y, QString txt);

protected:
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    friend class PatchScene;

    int commentId;
    Comment* record;
    bool isEditing = false;
    // Set by the scene as it takes the item away: the focus it loses then ends no edit.
    bool removing = false;
};
