#include "PatchScene.h"

#include "BlockInstance.h"
#include "CanvasBlock.h"
#include "CanvasGeometry.h"
#include "Colours.h"
#include "Comment.h"
#include "DisplayText.h"
#include "PatchCable.h"
#include "PatchComment.h"
#include "SocketItem.h"

#include <QGraphicsSceneDragDropEvent>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QTimer>
#include <QVector>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {
constexpr int indexDepth = 8;
constexpr qreal extentStep = 4096;
// Comment text laid out on a canvas, in characters: rich text costs about a microsecond and
// tens of bytes a character, and a small file can hold megabytes of comments. Each comment shows
// at most its first 2,000; once 200,000 are shown in all, the rest show their first 100.
constexpr int shownCommentLimit = 2000;
constexpr int shownCommentStub = 100;
constexpr int shownBudget = 200000;
} // namespace

PatchScene::PatchScene(QObject* parent) : QGraphicsScene(parent), undoRelay(new QTimer(this))
{
    qRegisterMetaType<InstanceList>("InstanceList");
    connect(this, &QGraphicsScene::selectionChanged, this, &PatchScene::handleSelection);
    // The item index is a tree of areas, each listing the items whose bounds meet it. Left to
    // the toolkit its depth grows with the item count, and a cable that runs across the canvas
    // is listed in every area its bounds cover: 20,000 blocks with long cables took gigabytes
    // at the first paint. 256 areas keep a hit among 65,535 blocks under a millisecond and a
    // cable's share of the index at most a few kilobytes.
    setBspTreeDepth(indexDepth);
    undoRelay->setSingleShot(true);
    undoRelay->setInterval(1000);
    connect(undoRelay, &QTimer::timeout, this, &PatchScene::endUndoRelay);
}

PatchScene::~PatchScene()
{
    selectionMuted = true;
    disconnect(this, &QGraphicsScene::selectionChanged, this, &PatchScene::handleSelection);
    clearItems();
}

void PatchScene::addBlockItem(const BlockInstance* instance, int x, int y)
{
    if (!instance)
        return;
    if (CanvasBlock* old = blockItems.value(instance->id)) {
        const QList<int> cables = old->registeredCables();
        for (int id : cables)
            removeConnection(id);
        blockItems.remove(instance->id);
        dropBlockItem(old);
    }
    auto* block = new CanvasBlock(instance);
    block->setX(x);
    block->setY(y);
    blockItems.insert(instance->id, block);
    addItem(block);
    block->bringToFront();
}

// The scene's extent is our own from the first item on: left to the toolkit, it is recomputed
// from every item, sorted, after changes, which took a third of an open of 60,000 blocks.
void PatchScene::coverArea(const QRectF& area)
{
    if (!area.isValid() || (extentSet && sceneRect().contains(area)))
        return;
    const QRectF wanted = extentSet ? sceneRect().united(area) : area;
    extentSet = true;
    const auto down = [](qreal v) { return std::floor(v / extentStep) * extentStep; };
    const auto up = [](qreal v) { return std::ceil(v / extentStep) * extentStep; };
    setSceneRect(QRectF(QPointF(down(wanted.left()), down(wanted.top())),
                        QPointF(up(wanted.right()), up(wanted.bottom()))));
}

void PatchScene::moveBlockItem(int instanceId, int x, int y)
{
    CanvasBlock* block = blockItems.value(instanceId);
    if (!block || !block->instance())
        return;
    if (block->x() != block->instance()->x)
        block->setX(x);
    if (block->y() != block->instance()->y)
        block->setY(y);
}

void PatchScene::removeBlockItem(int instanceId)
{
    CanvasBlock* block = blockItems.value(instanceId);
    if (!block) {
        blockItems.remove(instanceId);
        return;
    }
    for (QList<int> ids = block->registeredCables(); !ids.isEmpty();
         ids = block->registeredCables()) {
        const int id = ids.last();
        requestRemoveConnection(id);
        // The document removes the cable before the signal returns; when nobody did, the item
        // goes here so the loop always ends.
        if (block->registeredCables().contains(id)) {
            removeConnection(id);
            block->unregisterCable(id);
        }
    }
    blockItems.remove(instanceId);
    dropBlockItem(block);
}

void PatchScene::dropBlockItem(CanvasBlock* block)
{
    forgetDragOn(block);
    removeItem(block);
    delete block;
}

void PatchScene::forgetDragOn(const CanvasBlock* block)
{
    if (!dragSocket)
        return;
    if (dragSocket->parentItem() == block)
        dragSocket = nullptr;
    else
        dragSocket->forgetTargetOn(block);
}

void PatchScene::requestRemoveConnection(int id)
{
    const PatchCable* cable = cableItems.value(id);
    if (!cable)
        return;
    const auto blockId = [](const CanvasBlock* block) { return block ? block->instanceId() : 0; };
    emit connectionRemoved(id, blockId(cable->outBlock()), cable->outSocketIndex(),
                           blockId(cable->inBlock()), cable->inSocketIndex());
}

void PatchScene::requestAddConnection(int outBlockId, int outBlockSocketId, int inBlockId,
                                      int inBlockSocketId)
{
    emit connectionAdded(highestCableKey + 1, outBlockId, outBlockSocketId, inBlockId,
                         inBlockSocketId);
}

void PatchScene::addConnection(int id, int outBlockId, int outBlockSocketId, int inBlockId,
                               int inBlockSocketId)
{
    CanvasBlock* outBlock = blockItems.value(outBlockId);
    CanvasBlock* inBlock = blockItems.value(inBlockId);
    // A cable needs both its sockets; a connection to a socket that a reread description no
    // longer has is not drawn.
    if (!outBlock || !inBlock || outBlockSocketId < 0 || inBlockSocketId < 0 ||
        outBlockSocketId >= outBlock->outSockets().size() ||
        inBlockSocketId >= inBlock->inSockets().size())
        return;
    if (cableItems.value(id))
        removeConnection(id);
    auto* cable = new PatchCable(id, outBlock, outBlockSocketId, inBlock, inBlockSocketId);
    cableItems.insert(id, cable);
    // Keys of removed cables stay, so the largest key only grows until the scene is cleared.
    highestCableKey = qMax(highestCableKey, id);
    addItem(cable);
    coverArea(cable->sceneBoundingRect());
    handleSelection();
}

void PatchScene::removeConnection(int id)
{
    PatchCable* cable = cableItems.value(id);
    if (!cable)
        return;
    if (cable->outBlock())
        cable->outBlock()->unregisterCable(id);
    if (cable->inBlock())
        cable->inBlock()->unregisterCable(id);
    cableItems[id] = nullptr;
    removeItem(cable);
    delete cable;
}

PatchComment* PatchScene::addComment(int id, int x, int y, Comment* comment)
{
    if (commentItems.value(id))
        removeComment(id);
    auto* item = new PatchComment(id, x, y, comment);
    addItem(item);
    commentItems.insert(id, item);
    coverArea(item->sceneBoundingRect());
    return item;
}

void PatchScene::editComment(int id)
{
    if (PatchComment* item = commentItems.value(id))
        item->startEditing();
}

bool PatchScene::isHtmlText(const QString& text)
{
    return (text.contains(QLatin1Char('<')) && text.contains(QLatin1String("</"))) ||
           text.contains(QLatin1String("<br"));
}

QString PatchScene::shownComment(int id, const QString& text)
{
    shownTotal -= shownLengths.take(id);
    const int room = shownTotal < shownBudget ? shownCommentLimit : shownCommentStub;
    if (text.size() <= room) {
        shownLengths.insert(id, text.size());
        shownTotal += text.size();
        return text;
    }
    const QString start = util::startOf(text, room);
    shownLengths.insert(id, start.size());
    shownTotal += start.size();
    ++shortened;
    return start + QChar(0x2026);
}

void PatchScene::editComment(int id, int x, int y, const QString& text)
{
    PatchComment* item = commentItems.value(id);
    if (!item)
        return;
    item->setPos(x, y);
    // Markup is told by the whole text; the start of a long one is laid out alone.
    const QString shown = shownComment(id, text);
    if (isHtmlText(text))
        item->setHtml(shown);
    else
        item->setPlainText(shown);
    coverArea(item->sceneBoundingRect());
}

void PatchScene::removeComment(int id)
{
    PatchComment* item = commentItems.take(id);
    shownTotal -= shownLengths.take(id);
    if (!item)
        return;
    item->removing = true;
    removeItem(item);
    delete item;
}

void PatchScene::clearItems()
{
    const bool wasMuted = selectionMuted;
    const bool hadSelection = !selectedItems().isEmpty();
    selectionMuted = true;
    dragSocket = nullptr;
    highestCableKey = 0;
    // Cables let go of their blocks and sockets before anything goes, so the scene can then
    // delete every item in one pass in its own order. Taken one by one, each removal would
    // cost time in the number of items.
    for (PatchCable* cable : std::exchange(cableItems, {})) {
        if (cable)
            cable->forgetEnds();
    }
    for (PatchComment* comment : std::exchange(commentItems, {})) {
        if (comment)
            comment->removing = true;
    }
    blockItems.clear();
    shownLengths.clear();
    shownTotal = 0;
    clear();
    selectionMuted = wasMuted;
    if (hadSelection)
        handleSelection();
}

void PatchScene::selectAll()
{
    // One report for the whole selection rather than one per item.
    const bool wasMuted = std::exchange(selectionMuted, true);
    for (CanvasBlock* block : qAsConst(blockItems)) {
        if (block)
            block->setSelected(true);
    }
    for (PatchComment* comment : qAsConst(commentItems)) {
        if (comment)
            comment->setSelected(true);
    }
    selectionMuted = wasMuted;
    handleSelection();
}

void PatchScene::deselectAll()
{
    const bool wasMuted = std::exchange(selectionMuted, true);
    const QList<QGraphicsItem*> selected = selectedItems();
    for (QGraphicsItem* item : selected)
        item->setSelected(false);
    for (PatchComment* comment : qAsConst(commentItems)) {
        if (comment)
            comment->setSelected(false);
    }
    selectionMuted = wasMuted;
    handleSelection();
}

void PatchScene::deleteSelectedObjects()
{
    selectionMuted = true;
    const QList<QGraphicsItem*> selected = selectedItems();
    if (selected.isEmpty()) {
        selectionMuted = false;
        handleSelection();
        return;
    }
    closePendingMove();
    emit beginUndo(selected.size() < 2 ? QStringLiteral("delete object")
                                       : QStringLiteral("delete objects"));
    // The items are named by kind and id: a removal takes other items with it (a block its
    // cables), and those are looked up again rather than touched.
    QVector<QPair<int, int>> targets;
    targets.reserve(selected.size());
    for (const QGraphicsItem* item : selected) {
        switch (item->type()) {
        case PatchCable::Type:
            targets.append({item->type(), static_cast<const PatchCable*>(item)->id()});
            break;
        case CanvasBlock::Type:
            targets.append({item->type(), static_cast<const CanvasBlock*>(item)->instanceId()});
            break;
        case PatchComment::Type:
            targets.append({item->type(), static_cast<const PatchComment*>(item)->id()});
            break;
        default:
            break;
        }
    }
    for (auto it = targets.crbegin(); it != targets.crend(); ++it) {
        const int id = it->second;
        switch (it->first) {
        case PatchCable::Type:
            if (const PatchCable* cable = cableItems.value(id); cable && cable->isSelected())
                requestRemoveConnection(id);
            break;
        case CanvasBlock::Type:
            if (const CanvasBlock* block = blockItems.value(id); block && block->isSelected())
                emit blockRemoved(id);
            break;
        case PatchComment::Type:
            if (const PatchComment* comment = commentItems.value(id);
                comment && comment->isSelected())
                emit commentRemoved(id);
            break;
        default:
            break;
        }
    }
    // Whatever a refused request left stays on the canvas, but not in the selection.
    const QList<QGraphicsItem*> left = selectedItems();
    for (QGraphicsItem* item : left)
        item->setSelected(false);
    emit endUndo();
    selectionMuted = false;
    handleSelection();
}

QString PatchScene::moveText() const
{
    return selectedItems().size() < 2 ? QStringLiteral("move object")
                                      : QStringLiteral("move objects");
}

void PatchScene::moveSelectedObjects(double dx, double dy)
{
    const QList<QGraphicsItem*> selected = selectedItems();
    if (selected.isEmpty())
        return;
    if (!undoRelay->isActive())
        emit beginUndo(moveText());
    movingByKeys = true;
    for (QGraphicsItem* item : selected) {
        if (item->type() == PatchCable::Type)
            continue;
        item->moveBy(dx, dy);
        if (item->type() == CanvasBlock::Type) {
            emit blockMoved(static_cast<CanvasBlock*>(item)->instanceId(), int(item->x()),
                            int(item->y()));
        } else if (item->type() == PatchComment::Type) {
            static_cast<PatchComment*>(item)->announceMove();
        }
    }
    movingByKeys = false;
    undoRelay->start(1000);
}

void PatchScene::closePendingMove()
{
    if (movingByKeys || !undoRelay->isActive())
        return;
    undoRelay->stop();
    emit endUndo();
}

void PatchScene::setBlockNameCheck(std::function<bool(const QString&)> check)
{
    blockNameKnown = std::move(check);
}

void PatchScene::recordMoves()
{
    const QList<QGraphicsItem*> selected = selectedItems();
    if (selected.isEmpty())
        return;
    const QString text = moveText();
    // Named by kind and id, as a record may change what the scene holds.
    QVector<QPair<int, int>> moved;
    for (const QGraphicsItem* item : selected) {
        if (item->type() == CanvasBlock::Type) {
            const auto* block = static_cast<const CanvasBlock*>(item);
            const BlockInstance* instance = block->instance();
            if (instance && (block->x() != instance->x || block->y() != instance->y))
                moved.append({item->type(), block->instanceId()});
        } else if (item->type() == PatchComment::Type) {
            const auto* comment = static_cast<const PatchComment*>(item);
            const Comment* record = comment->comment();
            if (record && (comment->x() != record->x || comment->y() != record->y))
                moved.append({item->type(), comment->id()});
        }
    }
    if (moved.isEmpty())
        return;
    closePendingMove();
    emit beginUndo(text);
    for (const auto& entry : qAsConst(moved)) {
        if (entry.first == CanvasBlock::Type) {
            if (const CanvasBlock* block = blockItems.value(entry.second))
                emit blockMoved(entry.second, int(block->x()), int(block->y()));
        } else if (PatchComment* comment = commentItems.value(entry.second)) {
            comment->announceMove();
        }
    }
    emit endUndo();
}

void PatchScene::sweepEmptyComments()
{
    const QList<int> ids = commentItems.keys();
    for (int id : ids) {
        const PatchComment* item = commentItems.value(id);
        if (item && item->toPlainText().trimmed().isEmpty())
            emit commentRemoved(id);
    }
}

namespace {

bool carriesText(const QGraphicsSceneDragDropEvent* event)
{
    return event->mimeData() && event->mimeData()->hasFormat(QStringLiteral("text/plain"));
}

} // namespace

void PatchScene::dragEnterEvent(QGraphicsSceneDragDropEvent* event)
{
    // A scene event starts out accepted; anything but text is turned away.
    if (carriesText(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void PatchScene::dragMoveEvent(QGraphicsSceneDragDropEvent* event)
{
    if (carriesText(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void PatchScene::dropEvent(QGraphicsSceneDragDropEvent* event)
{
    if (!carriesText(event)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    const QStringList parts = event->mimeData()->text().split(QLatin1Char(';'));
    if (parts.size() != 3)
        return;
    const QString& name = parts.at(0);
    // The document would have no description to place.
    if (blockNameKnown && !blockNameKnown(name))
        return;
    const QPointF at = event->scenePos();
    const int x = int(at.x() - parts.at(1).toInt(nullptr, 10));
    const int y = int(at.y() - parts.at(2).toInt(nullptr, 10));
    closePendingMove();
    emit blockAdded(name, x, y);
}

void PatchScene::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    const bool deleting = key == Qt::Key_Delete || key == Qt::Key_Backspace;
    QGraphicsItem* focused = focusItem();
    if (focused && focused->type() == PatchComment::Type) {
        if (static_cast<PatchComment*>(focused)->editing()) {
            QGraphicsScene::keyPressEvent(event);
            return;
        }
        if (deleting) {
            event->accept();
            deleteSelectedObjects();
            return;
        }
    }
    if (event->modifiers() & Qt::ShiftModifier) {
        QPointF step;
        switch (key) {
        case Qt::Key_Left:
            step = QPointF(-1, 0);
            break;
        case Qt::Key_Up:
            step = QPointF(0, -1);
            break;
        case Qt::Key_Right:
            step = QPointF(1, 0);
            break;
        case Qt::Key_Down:
            step = QPointF(0, 1);
            break;
        default:
            QGraphicsScene::keyPressEvent(event);
            return;
        }
        // Taken here, so the view does not scroll as well.
        event->accept();
        moveSelectedObjects(step.x(), step.y());
        return;
    }
    if (deleting) {
        event->accept();
        deleteSelectedObjects();
        return;
    }
    QGraphicsScene::keyPressEvent(event);
}

void PatchScene::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    lastClick = event->scenePos();
    switch (event->button()) {
    case Qt::RightButton: {
        event->accept();
        const QList<QGraphicsView*> shown = views();
        const QTransform transform = shown.isEmpty() ? QTransform() : shown.first()->transform();
        if (QGraphicsItem* item = itemAt(lastClick, transform))
            item->setSelected(true);
        break;
    }
    case Qt::LeftButton:
        // Whatever the press starts is an undo step apart from a keyboard move before it.
        closePendingMove();
        QGraphicsScene::mousePressEvent(event);
        mouseState = 1;
        sweepEmptyComments();
        break;
    default:
        break;
    }
}

void PatchScene::mouseMoveEvent(QGraphicsSceneMouseEvent* event)
{
    QGraphicsScene::mouseMoveEvent(event);
    lastClick = event->scenePos();
    if (dragSocket) {
        const QPointF socket = dragSocket->scenePos();
        const QPoint topLeft(int(std::min(socket.x(), lastClick.x())) - 20,
                             int(std::min(socket.y(), lastClick.y())) - 20);
        const QPoint bottomRight(int(std::max(socket.x(), lastClick.x())) + 20,
                                 int(std::max(socket.y(), lastClick.y())) + 20);
        const QRect area(topLeft, bottomRight);
        invalidate(QRectF(area.united(dragLineRect)), ForegroundLayer);
        dragLineRect = area;
    }
    if (mouseState == 1)
        mouseState = 2;
}

void PatchScene::mouseReleaseEvent(QGraphicsSceneMouseEvent* event)
{
    QGraphicsScene::mouseReleaseEvent(event);
    if (dragSocket) {
        invalidate(QRectF(dragLineRect), ForegroundLayer);
        dragSocket = nullptr;
    }
    if (event->button() == Qt::LeftButton && mouseState == 2)
        recordMoves();
    mouseState = 0;
}

void PatchScene::drawForeground(QPainter* painter, const QRectF& rect)
{
    QGraphicsScene::drawForeground(painter, rect);
    if (!dragSocket)
        return;
    const QPointF socket = dragSocket->scenePos();
    const bool input = dragSocket->isInput();
    const QPointF start(socket.x() + 7, socket.y() + (input ? 10 : 4));
    const int bend = canvas::cableBend(start, lastClick);
    const auto* block =
        dragSocket->parentItem() && dragSocket->parentItem()->type() == CanvasBlock::Type
            ? static_cast<const CanvasBlock*>(dragSocket->parentItem())
            : nullptr;
    const bool control = canvas::isControlRate(block ? block->instance() : nullptr);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(control ? Colours::controlColor : Colours::selectColor, 2, Qt::SolidLine,
                         Qt::RoundCap, Qt::RoundJoin));
    painter->drawPath(canvas::cablePath(start, lastClick, input ? -bend : bend));
    painter->restore();
}

void PatchScene::cancelUndo()
{
    undoRelay->stop();
}

void PatchScene::endUndoRelay()
{
    emit endUndo();
}

void PatchScene::handleSelection()
{
    if (selectionMuted)
        return;
    InstanceList blocks;
    bool anyComment = false;
    const QList<QGraphicsItem*> selected = selectedItems();
    for (const QGraphicsItem* item : selected) {
        if (item->type() == CanvasBlock::Type) {
            if (const BlockInstance* instance = static_cast<const CanvasBlock*>(item)->instance())
                blocks.append(instance);
        } else if (item->type() == PatchComment::Type) {
            anyComment = true;
        }
    }
    emit blockSelected(blocks, anyComment);
}

void PatchScene::blockZAdded(qreal z)
{
    ++blockZCounts[z];
}

void PatchScene::blockZRemoved(qreal z)
{
    const auto it = blockZCounts.find(z);
    if (it != blockZCounts.end() && --it->second <= 0)
        blockZCounts.erase(it);
}

bool PatchScene::highestBlockZ(qreal* z) const
{
    if (blockZCounts.empty())
        return false;
    *z = blockZCounts.rbegin()->first;
    return true;
}

void PatchScene::blockItemDestroyed(CanvasBlock* block)
{
    const QList<int> cables = block->registeredCables();
    for (int id : cables) {
        PatchCable* cable = cableItems.value(id);
        if (cable && (cable->outBlock() == block || cable->inBlock() == block)) {
            cableItems[id] = nullptr;
            delete cable;
        }
    }
    if (blockItems.value(block->instanceId()) == block)
        blockItems.remove(block->instanceId());
    forgetDragOn(block);
}

void PatchScene::cableItemDestroyed(PatchCable* cable)
{
    const auto it = cableItems.find(cable->id());
    if (it != cableItems.end() && it.value() == cable)
        it.value() = nullptr;
}

void PatchScene::commentItemDestroyed(PatchComment* comment)
{
    const auto it = commentItems.find(comment->id());
    if (it != commentItems.end() && it.value() == comment) {
        commentItems.erase(it);
        shownTotal -= shownLengths.take(comment->id());
    }
}
