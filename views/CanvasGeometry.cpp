#include "CanvasGeometry.h"

#include "BlockInstance.h"

#include <QtGlobal>
#include <algorithm>
#include <cmath>

namespace canvas {

namespace {
constexpr int socketPitch = 19;
constexpr int socketMargin = 5;
constexpr int bodyHeight = 25;
constexpr int socketSize = 14;
} // namespace

int blockBodyWidth(int nameWidth, int inputCount, int outputCount)
{
    return std::max(nameWidth + 20, socketPitch * std::max(inputCount, outputCount) + socketMargin);
}

QPointF inputSocketPosition(int index)
{
    return QPointF(socketPitch * index + socketMargin, -socketSize);
}

QPointF outputSocketPosition(int index)
{
    return QPointF(socketPitch * index + socketMargin, bodyHeight);
}

QRectF blockBoundingRect(int bodyWidth)
{
    return QRectF(-4, -4, bodyWidth + 8, 33);
}

QRectF blockBodyRect(int bodyWidth)
{
    return QRectF(0, 0, bodyWidth, bodyHeight);
}

QRectF blockSelectionRect(int bodyWidth)
{
    return QRectF(-3, -3, bodyWidth + 6, 31);
}

QRect blockNameRect(int nameWidth)
{
    return QRect(QPoint(15, 5), QPoint(nameWidth + 14, 28));
}

QRectF socketBoundingRect()
{
    return QRectF(-2, -2, 18, 18);
}

QRect socketHoverRect()
{
    return QRect(QPoint(0, 0), QPoint(socketSize - 1, socketSize - 1));
}

QRect socketBarRect(bool input)
{
    return input ? QRect(0, socketSize - 3, socketSize, 3) : QRect(0, 0, socketSize, 3);
}

QPointF cableStart(const QPointF& outSocketScenePos)
{
    return outSocketScenePos + QPointF(7, 0);
}

QPointF cableEnd(const QPointF& inSocketScenePos)
{
    return inSocketScenePos + QPointF(7, socketSize);
}

int cableBend(const QPointF& start, const QPointF& end)
{
    // Bounded before the conversion, so no distance can overflow the integer.
    const double half = qBound(25.0, std::fabs(end.y() - start.y()) / 2, 100.0);
    return static_cast<int>(half);
}

QPainterPath cablePath(const QPointF& start, const QPointF& end, int bend)
{
    QPainterPath path(start);
    path.cubicTo(QPointF(start.x(), start.y() + bend), QPointF(end.x(), end.y() - bend), end);
    return path;
}

namespace {

// Closed bounds: a vertical curve or a point still has extent to meet.
struct Box
{
    qreal left, top, right, bottom;

    bool meets(const Box& other) const
    {
        return left <= other.right && other.left <= right && top <= other.bottom &&
               other.top <= bottom;
    }
    bool holds(const QPointF& p) const
    {
        return left <= p.x() && p.x() <= right && top <= p.y() && p.y() <= bottom;
    }
};

// Liang and Barsky: the part of the segment a + t (b - a) inside the box is not empty.
bool segmentMeets(const QPointF& a, const QPointF& b, const Box& box)
{
    qreal enter = 0;
    qreal leave = 1;
    const qreal d[2] = {b.x() - a.x(), b.y() - a.y()};
    const qreal low[2] = {box.left - a.x(), box.top - a.y()};
    const qreal high[2] = {box.right - a.x(), box.bottom - a.y()};
    for (int axis = 0; axis < 2; ++axis) {
        if (d[axis] == 0) {
            if (low[axis] > 0 || high[axis] < 0)
                return false;
            continue;
        }
        qreal t0 = low[axis] / d[axis];
        qreal t1 = high[axis] / d[axis];
        if (t0 > t1)
            std::swap(t0, t1);
        enter = std::max(enter, t0);
        leave = std::min(leave, t1);
        if (enter > leave)
            return false;
    }
    return true;
}

qreal pointToBox(const QPointF& p, const Box& box)
{
    const qreal dx = std::max({box.left - p.x(), 0.0, p.x() - box.right});
    const qreal dy = std::max({box.top - p.y(), 0.0, p.y() - box.bottom});
    return std::hypot(dx, dy);
}

qreal pointToSegment(const QPointF& p, const QPointF& a, const QPointF& b)
{
    const QPointF d = b - a;
    const qreal lengthSquared = d.x() * d.x() + d.y() * d.y();
    qreal t = 0;
    if (lengthSquared > 0)
        t = qBound(0.0, ((p.x() - a.x()) * d.x() + (p.y() - a.y()) * d.y()) / lengthSquared, 1.0);
    return std::hypot(p.x() - a.x() - t * d.x(), p.y() - a.y() - t * d.y());
}

// The distance between a segment and a box, both closed: nothing when they meet, otherwise
// the nearest of an end to the box and a corner to the segment.
qreal segmentToBox(const QPointF& a, const QPointF& b, const Box& box)
{
    if (segmentMeets(a, b, box))
        return 0;
    return std::min({pointToBox(a, box), pointToBox(b, box),
                     pointToSegment(QPointF(box.left, box.top), a, b),
                     pointToSegment(QPointF(box.right, box.top), a, b),
                     pointToSegment(QPointF(box.left, box.bottom), a, b),
                     pointToSegment(QPointF(box.right, box.bottom), a, b)});
}

qreal distanceToLine(const QPointF& p, const QPointF& a, const QPointF& b)
{
    const QPointF d = b - a;
    const qreal length = std::hypot(d.x(), d.y());
    if (length == 0)
        return std::hypot(p.x() - a.x(), p.y() - a.y());
    return std::fabs(d.x() * (p.y() - a.y()) - d.y() * (p.x() - a.x())) / length;
}

constexpr qreal flatness = 0.1;

// The box of a curve's control points, which holds the curve.
Box controlBox(const QPointF& p0, const QPointF& p1, const QPointF& p2, const QPointF& p3)
{
    return Box{
        std::min({p0.x(), p1.x(), p2.x(), p3.x()}), std::min({p0.y(), p1.y(), p2.y(), p3.y()}),
        std::max({p0.x(), p1.x(), p2.x(), p3.x()}), std::max({p0.y(), p1.y(), p2.y(), p3.y()})};
}

// A curve cut in two at its middle (de Casteljau): the inner control points of each half and
// the point they share.
struct Halves
{
    QPointF first[2];
    QPointF middle;
    QPointF second[2];
};

Halves split(const QPointF& p0, const QPointF& p1, const QPointF& p2, const QPointF& p3)
{
    const QPointF a = (p0 + p1) / 2;
    const QPointF b = (p1 + p2) / 2;
    const QPointF c = (p2 + p3) / 2;
    const QPointF ab = (a + b) / 2;
    const QPointF bc = (b + c) / 2;
    return Halves{{a, ab}, (ab + bc) / 2, {bc, c}};
}

// The curve lies within the box of its control points: halves whose box is out of reach are
// dropped, so a point asks only about the few pieces of a long curve near it.
bool reaches(const QPointF& p0, const QPointF& p1, const QPointF& p2, const QPointF& p3,
             const Box& area, const Box& grown, qreal reach, int depth)
{
    const Box bounds = controlBox(p0, p1, p2, p3);
    if (!bounds.meets(grown))
        return false;
    if (pointToBox(p0, area) <= reach || pointToBox(p3, area) <= reach)
        return true;
    // Flat enough: the curve lies within `flatness` of its chord.
    if (depth >= 24 ||
        std::max(distanceToLine(p1, p0, p3), distanceToLine(p2, p0, p3)) <= flatness) {
        return segmentToBox(p0, p3, area) <= reach;
    }
    const Halves h = split(p0, p1, p2, p3);
    return reaches(p0, h.first[0], h.first[1], h.middle, area, grown, reach, depth + 1) ||
           reaches(h.middle, h.second[0], h.second[1], p3, area, grown, reach, depth + 1);
}

// Depth at which a piece that still crosses the edge of the area is kept whole: 1/4096 of the
// curve, a few pixels of the longest cable.
constexpr int partDepth = 12;

void collectPart(const QPointF& p0, const QPointF& p1, const QPointF& p2, const QPointF& p3,
                 const Box& area, int depth, QPainterPath& part)
{
    const Box bounds = controlBox(p0, p1, p2, p3);
    if (!bounds.meets(area))
        return;
    const bool inside = area.holds(QPointF(bounds.left, bounds.top)) &&
                        area.holds(QPointF(bounds.right, bounds.bottom));
    if (inside || depth >= partDepth) {
        // Pieces in a row continue one stroke, so the joins look as the whole curve does.
        if (part.isEmpty() || part.currentPosition() != p0)
            part.moveTo(p0);
        part.cubicTo(p1, p2, p3);
        return;
    }
    const Halves h = split(p0, p1, p2, p3);
    collectPart(p0, h.first[0], h.first[1], h.middle, area, depth + 1, part);
    collectPart(h.middle, h.second[0], h.second[1], p3, area, depth + 1, part);
}

} // namespace

QPainterPath curvePart(const QPointF& p0, const QPointF& p1, const QPointF& p2, const QPointF& p3,
                       const QRectF& area, qreal reach)
{
    const QRectF r = area.normalized();
    const Box grown{r.left() - reach, r.top() - reach, r.right() + reach, r.bottom() + reach};
    QPainterPath part;
    collectPart(p0, p1, p2, p3, grown, 0, part);
    return part;
}

bool curveReaches(const QPointF& p0, const QPointF& p1, const QPointF& p2, const QPointF& p3,
                  const QRectF& area, qreal reach)
{
    const QRectF r = area.normalized();
    const Box box{r.left(), r.top(), r.right(), r.bottom()};
    const Box grown{r.left() - reach, r.top() - reach, r.right() + reach, r.bottom() + reach};
    return reaches(p0, p1, p2, p3, box, grown, reach, 0);
}

bool uprightRectangle(const QPainterPath& path, QRectF* rect)
{
    const int count = path.elementCount();
    if (count != 5)
        return false;
    for (int i = 0; i < count; ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.type != (i == 0 ? QPainterPath::MoveToElement : QPainterPath::LineToElement))
            return false;
    }
    if (QPointF(path.elementAt(4)) != QPointF(path.elementAt(0)))
        return false;
    // Each side runs along one axis.
    for (int i = 0; i < 4; ++i) {
        const QPointF a = path.elementAt(i);
        const QPointF b = path.elementAt(i + 1);
        if (a.x() != b.x() && a.y() != b.y())
            return false;
    }
    *rect = path.controlPointRect();
    return true;
}

bool isControlRate(const BlockInstance* instance)
{
    return instance && !instance->values.isEmpty() && instance->values.last().toInt() != 0;
}

} // namespace canvas
