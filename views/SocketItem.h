#pragma once

#include <QGraphicsItem>

struct Variable;

// One input or output of a block, drawn as a child item of the block.
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

    // Id of the cable last attached to this socket; -1 for none.
    int connectedCable() const { return cableId; }
    void setConnectedCable(int id) { cableId = id; }

    bool isConnectable() const { return connectable; }
    void setConnectable(bool enabled) { connectable = enabled; }

    bool isHovered() const { return hover; }
    // Does not repaint.
    void setHover(bool enabled) { hover = enabled; }

protected:
    void hoverEnterEvent(QGraphicsSceneHoverEvent* event) override;
    void hoverLeaveEvent(QGraphicsSceneHoverEvent* event) override;

private:
    const Variable* var;
    bool hover = false;
    bool connectable = false;
    int cableId = -1;
};
