#include "PatchScene.h"

#include "BlockInstance.h"
#include "CanvasBlock.h"
#include "Comment.h"
#include "PatchCable.h"
#include "PatchComment.h"
#include "SocketItem.h"

#include <QTimer>
#include <utility>

PatchScene::PatchScene(QObject* parent) : QGraphicsScene(parent), undoRelay(new QTimer(this))
{
    qRegisterMetaType<InstanceList>("InstanceList");
    connect(this, &QGraphicsScene::selectionChanged, this, &PatchScene::handleSelection);
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
    if (dragSocket && dragSocket->parentItem() == block)
        dragSocket = nullptr;
    removeItem(block);
    delete block;
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

void PatchScene::editComment(int id, int x, int y, const QString& text)
{
    PatchComment* item = commentItems.value(id);
    if (!item)
        return;
    item->setPos(x, y);
    if (isHtmlText(text))
        item->setHtml(text);
    else
        item->setPlainText(text);
}

void PatchScene::removeComment(int id)
{
    PatchComment* item = commentItems.take(id);
    if (!item)
        return;
    removeItem(item);
    delete item;
}

void PatchScene::clearItems()
{
    const bool wasMuted = selectionMuted;
    const bool hadSelection = !selectedItems().isEmpty();
    selectionMuted = true;
    dragSocket = nullptr;
    // Cables point at blocks and sockets, so they go first.
    highestCableKey = 0;
    // Without an index each removal is cheap; with one it costs time in the scene's size.
    const ItemIndexMethod indexMethod = itemIndexMethod();
    setItemIndexMethod(NoIndex);
    const auto cables = std::exchange(cableItems, {});
    for (PatchCable* cable : cables)
        delete cable;
    const auto blocks = std::exchange(blockItems, {});
    for (CanvasBlock* block : blocks)
        delete block;
    const auto comments = std::exchange(commentItems, {});
    for (PatchComment* comment : comments)
        delete comment;
    setItemIndexMethod(indexMethod);
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
    QList<QGraphicsItem*> selected = selectedItems();
    if (selected.isEmpty()) {
        selectionMuted = false;
        handleSelection();
        return;
    }
    emit beginUndo(selected.size() < 2 ? QStringLiteral("delete object")
                                       : QStringLiteral("delete objects"));
    while (!(selected = selectedItems()).isEmpty()) {
        QGraphicsItem* item = selected.last();
        switch (item->type()) {
        case PatchCable::Type:
            requestRemoveConnection(static_cast<PatchCable*>(item)->id());
            break;
        case CanvasBlock::Type:
            emit blockRemoved(static_cast<CanvasBlock*>(item)->instanceId());
            break;
        case PatchComment::Type:
            emit commentRemoved(static_cast<PatchComment*>(item)->id());
            break;
        default:
            break;
        }
        // A request that nobody carried out leaves the item; it must not hold the loop. The
        // pointer is only compared, as the item may be gone.
        if (selectedItems().contains(item))
            item->setSelected(false);
    }
    emit endUndo();
    selectionMuted = false;
    handleSelection();
}

void PatchScene::moveSelectedObjects(double dx, double dy)
{
    Q_UNUSED(dx)
    Q_UNUSED(dy)
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
    if (dragSocket && dragSocket->parentItem() == block)
        dragSocket = nullptr;
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
    if (it != commentItems.end() && it.value() == comment)
        commentItems.erase(it);
}
