#pragma once

#include "BlockBase.h"

#include <QList>

struct BlockInstance;
class PatchScene;

// The canvas item of one placed block. It keeps the ids of the cables attached to it, and
// keeps their paths on its sockets while it moves.
class CanvasBlock : public BlockBase
{
public:
    enum
    {
        Type = UserType + 2
    };

    explicit CanvasBlock(const BlockInstance* instance);
    ~CanvasBlock() override;

    int type() const override { return Type; }

    const BlockInstance* instance() const { return blockInstance; }
    // The instance id as it was when the item was made.
    int instanceId() const { return id; }

    // Puts the block above every other item of its scene.
    void bringToFront();

    void registerCable(int cableId);
    // Removes every occurrence of the id.
    void unregisterCable(int cableId);
    QList<int> registeredCables() const { return cableIds; }

protected:
    // A socket passes a cable drag's press on, so the block comes to the front and is selected.
    friend class SocketItem;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    QVariant itemChange(GraphicsItemChange change, const QVariant& value) override;

private:
    void enterZIndex();
    void leaveZIndex();

    const BlockInstance* blockInstance;
    int id;
    QList<int> cableIds;
    // The patch scene whose z index counts this block, and the z value it counts.
    PatchScene* indexScene = nullptr;
    qreal indexedZ = 0;
};
