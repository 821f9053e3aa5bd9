#pragma once

#include <QPainterPath>
#include <QPointF>
#include <QRect>
#include <QRectF>

struct BlockInstance;

// The measures of block, socket and cable items, kept apart from the items so the painters and
// the tests share one definition.
namespace canvas {

// Width of a block body: room for the name, and for the longer row of sockets.
int blockBodyWidth(int nameWidth, int inputCount, int outputCount);

// Socket positions in the block's coordinates: inputs above the body, outputs below it.
QPointF inputSocketPosition(int index);
QPointF outputSocketPosition(int index);

QRectF blockBoundingRect(int bodyWidth);
QRectF blockBodyRect(int bodyWidth);
QRectF blockSelectionRect(int bodyWidth);
QRect blockNameRect(int nameWidth);

QRectF socketBoundingRect();
QRect socketHoverRect();
// The bar on the block side of a socket: the bottom rows of an input, the top rows of an output.
QRect socketBarRect(bool input);

// Cable ends in scene coordinates, from the scene positions of the two socket items.
QPointF cableStart(const QPointF& outSocketScenePos);
QPointF cableEnd(const QPointF& inSocketScenePos);

// Half the vertical distance, truncated, kept within 25..100.
int cableBend(const QPointF& start, const QPointF& end);
// A cubic curve leaving `start` vertically by `bend` and arriving at `end` from `bend` above.
QPainterPath cablePath(const QPointF& start, const QPointF& end, int bend);

// True when the cubic curve from p0 to p3 with the control points p1 and p2 passes within
// `reach` of `area` (a point when the area is empty), to within a tenth of a pixel. Answers from
// the curve itself, so a hit on a long cable costs neither its stroked outline nor the memory to
// keep it.
bool curveReaches(const QPointF& p0, const QPointF& p1, const QPointF& p2, const QPointF& p3,
                  const QRectF& area, qreal reach);

// The pieces of the same curve that come within `reach` of `area`, as one path of cubic pieces;
// the rest of a long curve need not be drawn to show the part in view.
QPainterPath curvePart(const QPointF& p0, const QPointF& p1, const QPointF& p2, const QPointF& p3,
                       const QRectF& area, qreal reach);

// The rectangle a closed four-cornered path with upright sides outlines, as the scene asks hit
// tests and rubber bands with when the view is only moved and scaled; false for any other path.
bool uprightRectangle(const QPainterPath& path, QRectF* rect);

// True when the instance's last value, its rate, reads as a non-zero integer.
bool isControlRate(const BlockInstance* instance);

} // namespace canvas
