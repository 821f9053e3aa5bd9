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

bool isControlRate(const BlockInstance* instance)
{
    return instance && !instance->values.isEmpty() && instance->values.last().toInt() != 0;
}

} // namespace canvas
