#pragma once

#include <QGraphicsPathItem>
#include <QPainterPath>
#include <QPointF>

class CanvasBlock;
class SocketItem;

// The drawn line of one connection, from an output socket down to an input socket.
class PatchCable : public QGraphicsPathItem
{
public:
    enum
    {
        Type = UserType + 3
    };

    PatchCable(int id, CanvasBlock* outBlock, int outSocket, CanvasBlock* inBlock, int inSocket);
    ~PatchCable() override;

    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option,
               QWidget* widget = nullptr) override;
    int type() const override { return Type; }
    QRectF boundingRect() const override;
    QPainterPath shape() const override;
    // Hits and rubber bands that the scene asks with a point or an upright rectangle are
    // answered from the curve: the stroked outline of a long cable costs far more to test.
    bool contains(const QPointF& point) const override;
    bool collidesWithPath(const QPainterPath& path,
                          Qt::ItemSelectionMode mode = Qt::IntersectsItemShape) const override;

    int id() const { return cableId; }
    CanvasBlock* outBlock() const { return outBlockItem; }
    CanvasBlock* inBlock() const { return inBlockItem; }
    SocketItem* outSocket() const { return outSocketItem; }
    SocketItem* inSocket() const { return inSocketItem; }
    // Socket numbers as given, also when the block has no such socket.
    int outSocketIndex() const { return outIndex; }
    int inSocketIndex() const { return inIndex; }

    // Follows the sockets' scene positions; the blocks call it when they move.
    void updatePath();
    // Lets go of both ends without telling them, for a scene that deletes blocks and cables
    // together.
    void forgetEnds();

private:
    // The path is the one cubic curve between the two sockets (not so before both ends exist).
    bool isCurve() const;
    // Whether the curve passes within half the selected width of `area`.
    bool curveReaches(const QRectF& area) const;

    int cableId;
    CanvasBlock* outBlockItem;
    CanvasBlock* inBlockItem;
    int outIndex;
    int inIndex;
    SocketItem* outSocketItem = nullptr;
    SocketItem* inSocketItem = nullptr;
    QPointF startPoint;
    QPointF endPoint;
    // The stroked outline of the curve: hits and rubber-band selection use it rather than the
    // area the curve encloses. Made when first asked for: most cables of a large patch are
    // never hit, and the outline is many times the size of the curve.
    mutable QPainterPath outline;
    mutable bool outlineMade = false;
};
