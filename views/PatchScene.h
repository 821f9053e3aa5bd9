#pragma once

#include "InstanceList.h"

#include <QGraphicsScene>
#include <QHash>
#include <QPointF>
#include <QRect>
#include <QString>
#include <functional>
#include <map>

struct BlockInstance;
struct Comment;
class CanvasBlock;
class PatchCable;
class PatchComment;
class QGraphicsSceneDragDropEvent;
class QGraphicsSceneMouseEvent;
class QKeyEvent;
class QPainter;
class QTimer;
class SocketItem;

// The canvas of one open patch. It shows the document's blocks, cables and comments, each filed
// under the model's id, and never changes the model itself: gestures leave as request signals,
// and the document calls the item operations back once the model has changed.
class PatchScene : public QGraphicsScene
{
    Q_OBJECT

public:
    explicit PatchScene(QObject* parent = nullptr);
    // Mutes selection and removes cables before blocks, so no item outlives what it points at.
    ~PatchScene() override;

    // Item operations, called once the model holds the change.

    // An item already shown for the instance's id is replaced; its cable items go with it,
    // without any request.
    void addBlockItem(const BlockInstance* instance, int x, int y);
    void moveBlockItem(int instanceId, int x, int y);
    // Has every attached cable removed through the document first.
    void removeBlockItem(int instanceId);
    void addConnection(int id, int outBlockId, int outBlockSocketId, int inBlockId,
                       int inBlockSocketId);
    void removeConnection(int id);
    PatchComment* addComment(int id, int x, int y, Comment* comment);
    void editComment(int id);
    void editComment(int id, int x, int y, const QString& text);
    void removeComment(int id);
    // Removes every item and empties the tables of items by id, cables first, with selection
    // muted; one blockSelected follows when something was selected. For rebuilding a canvas.
    void clearItems();

    // Requests.
    void requestRemoveConnection(int id);
    void requestAddConnection(int outBlockId, int outBlockSocketId, int inBlockId,
                              int inBlockSocketId);

    void selectAll();
    void deselectAll();
    QPointF lastClickPosition() const { return lastClick; }
    void setDragSocket(SocketItem* socket) { dragSocket = socket; }
    SocketItem* draggedSocket() const { return dragSocket; }

    void deleteSelectedObjects();
    void moveSelectedObjects(double dx, double dy);

    // Tells whether the library holds a block of that name. A palette drop of any other name is
    // ignored; without a check every name is passed on.
    void setBlockNameCheck(std::function<bool(const QString&)> check);
    // Closes a keyboard-move macro that still waits for its relay, so that whatever comes next is
    // an undo step of its own. Does nothing while the scene itself reports such a move.
    void closePendingMove();

    // The items filed under an id; null when none is shown.
    CanvasBlock* blockItem(int instanceId) const { return blockItems.value(instanceId); }
    PatchCable* cableItem(int id) const { return cableItems.value(id); }
    PatchComment* commentItem(int id) const { return commentItems.value(id); }

    // Grows the extent the item index divides, in steps, so that it covers `area`. Items past it
    // are still found, only less quickly.
    void coverArea(const QRectF& area);

    // How many times a comment was shown cut to the start of its text, since the scene was made.
    // Whatever the shown part, the comment's record keeps its whole text, and editing it shows
    // it whole.
    int shortenedComments() const { return shortened; }

    // Comment text counts as HTML when it holds a tag pair or a line-break tag.
    static bool isHtmlText(const QString& text);

public slots:
    void cancelUndo();

signals:
    void beginUndo(QString text);
    void endUndo();
    void blockAdded(QString descriptionId, int x, int y);
    void blockMoved(int instanceId, int x, int y);
    void blockRemoved(int instanceId);
    void connectionAdded(int id, int outBlockId, int outBlockSocketId, int inBlockId,
                         int inBlockSocketId);
    void connectionRemoved(int id, int outBlockId, int outBlockSocketId, int inBlockId,
                           int inBlockSocketId);
    void commentRemoved(int id);
    void blockSelected(InstanceList blockList, bool comments);

protected:
    void dragEnterEvent(QGraphicsSceneDragDropEvent* event) override;
    void dragMoveEvent(QGraphicsSceneDragDropEvent* event) override;
    void dropEvent(QGraphicsSceneDragDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;
    void drawForeground(QPainter* painter, const QRectF& rect) override;

private slots:
    void handleSelection();
    void endUndoRelay();

private:
    friend class CanvasBlock;
    friend class PatchCable;
    friend class PatchComment;

    // The z values of the block items, counted, so raising a block needs no scan of the scene.
    void blockZAdded(qreal z);
    void blockZRemoved(qreal z);
    bool highestBlockZ(qreal* z) const;

    // Removes a block item whose cables are gone, and deletes it.
    void dropBlockItem(CanvasBlock* block);
    // A block that goes takes any part it plays in a running cable drag with it.
    void forgetDragOn(const CanvasBlock* block);

    // The part of a comment's text to lay out, within the canvas's bound; notes its length.
    QString shownComment(int id, const QString& text);

    // "move objects" or "move object", counting every selected item.
    QString moveText() const;
    // Records the selected blocks and comments that stand elsewhere than their model says.
    void recordMoves();
    // Asks for the removal of every comment whose text is empty or only white space.
    void sweepEmptyComments();

    // An item deleted while still in the scene drops its own entry.
    void blockItemDestroyed(CanvasBlock* block);
    void cableItemDestroyed(PatchCable* cable);
    void commentItemDestroyed(PatchComment* comment);

    QHash<int, CanvasBlock*> blockItems;
    // A removed cable's key stays, with a null value, so its id is never handed out again.
    QHash<int, PatchCable*> cableItems;
    int highestCableKey = 0;
    QHash<int, PatchComment*> commentItems;
    SocketItem* dragSocket = nullptr;
    QPointF lastClick;
    QRect dragLineRect;
    int mouseState = 0;
    bool selectionMuted = false;
    QTimer* undoRelay;
    // Set while a keyboard move reports its items, inside the macro it opened.
    bool movingByKeys = false;
    std::function<bool(const QString&)> blockNameKnown;
    std::map<qreal, int> blockZCounts;
    bool extentSet = false;
    // Characters of comment text shown, by comment id, and in all.
    QHash<int, int> shownLengths;
    int shownTotal = 0;
    int shortened = 0;
};
