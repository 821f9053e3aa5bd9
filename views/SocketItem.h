#pragma once

#include <QGraphicsItem>

struct BlockInstance;
struct Variable;
class CanvasBlock;

// One input or output of a block, drawn as a child item of the block. On the canvas a cable is
// made by dragging from one socket to another of the other kind on another block.
class SocketItem : public QGraphicsItem
{
public:
    enum
    {
        Type = UserType + 1
    };

    SocketItem(const Variable* variable, QGraphicsItem* parent);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option,
               QWidget* widget = nullptr) override;
    int type() const override { return Type; }

    const Variable* variable() const { return var; }
    bool isInput() const;
    // The socket number of the variable; -1 without one.
    int socketIndex() const;

    // Id of the cable last attached to this socket; -1 for none.
    int connectedCable() const { return cableId; }
    void setConnectedCable(int id) { cableId = id; }

    bool isConnectable() const { return connectable; }
    void setConnectable(bool enabled) { connectable = enabled; }

    bool isHovered() const { return hover; }
    // Does not repaint.
    void setHover(bool enabled) { hover = enabled; }

    bool isDragging() const { return dragging; }
    // The socket offered as the other end of the cable being dragged; null when none.
    SocketItem* dragTarget() const { return targetSocket; }
    // Forgets the offered end when it stands on the given block.
    void forgetTargetOn(const CanvasBlock* block);

    // Whether the last finished drag closed a feedback loop.
    bool foundFeedback() const { return feedbackFound; }
    // Sets the feedback flag when a cable path leads from the instance's outputs back to the
    // block with id startId. Each block is walked once, so a loop elsewhere in the patch does
    // not hold the walk.
    void bubbleDown(int startId, const BlockInstance* instance);

protected:
    void hoverEnterEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;
    // A drag whose grab is taken away without a release ends without a cable.
    bool sceneEvent(QEvent* event) override;

private:
    CanvasBlock* block() const;
    void clearTarget();

    const Variable* var;
    bool hover = false;
    bool dragging = false;
    bool connectable = false;
    int cableId = -1;
    SocketItem* targetSocket = nullptr;
    bool feedbackFound = false;
};
