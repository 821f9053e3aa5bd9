#include "PatchComment.h"

#include "Comment.h"
#include "PatchScene.h"
#include "SafeTextDocument.h"

#include <QFont>
#include <QTextCharFormat>
#include <QTextCursor>

PatchComment::PatchComment(int id, int x, int y, Comment* comment, QGraphicsItem* parent)
    : QGraphicsTextItem(parent), commentId(id), record(comment)
{
    // A comment's markup comes with the patch: it shows, but loads nothing.
    SafeTextDocument::install(this);
    setFont(QFont(QStringLiteral("Futura Std"), 14));
    setFlags(ItemIsMovable | ItemIsSelectable);
    setTextInteractionFlags(readingFlags());
    setPos(x, y);
}

PatchComment::~PatchComment()
{
    if (auto* patchScene = qobject_cast<PatchScene*>(scene()))
        patchScene->commentItemDestroyed(this);
}

Qt::TextInteractionFlags PatchComment::readingFlags()
{
    return Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard;
}

void PatchComment::startEditing()
{
    isEditing = true;
    setTextInteractionFlags(Qt::TextEditorInteraction);
    // setPlainText gives the whole text the format at the cursor, which is bold after a click
    // on a bold word: the raw text shows in the item's own font instead.
    QTextCursor plain(document());
    plain.setCharFormat(QTextCharFormat());
    setTextCursor(plain);
    setPlainText(record ? record->text : QString());
    setFocus();
}

void PatchComment::announceMove()
{
    emit edited(commentId, int(x()), int(y()), record ? record->text : QString());
}

void PatchComment::mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event)
{
    startEditing();
    QGraphicsTextItem::mouseDoubleClickEvent(event);
}

void PatchComment::focusInEvent(QFocusEvent* event)
{
    setSelected(true);
    QGraphicsTextItem::focusInEvent(event);
}

void PatchComment::focusOutEvent(QFocusEvent* event)
{
    QGraphicsTextItem::focusOutEvent(event);
    if (removing) {
        isEditing = false;
        return;
    }
    setSelected(true);
    setTextInteractionFlags(readingFlags());
    if (isEditing) {
        // Cleared first: the edit comes back through the document and sets the text anew.
        isEditing = false;
        emit edited(commentId, int(x()), int(y()), toPlainText());
    }
}
