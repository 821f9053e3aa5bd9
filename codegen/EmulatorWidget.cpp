#include "EmulatorWidget.h"

#include <QPainter>
#include <QPainterPath>

#include <iterator>

EmulatorWidget::EmulatorWidget(QWidget* parent) : QWidget(parent) {}

void EmulatorWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QBrush(QColor(QStringLiteral("#000000")), Qt::SolidPattern));
    painter.translate(width() / 2, height() / 2);
    painter.translate(97.5, -76.5);
    painter.rotate(90);

    // The body with the tab on one end and the matching notch on the other, drawn upright and
    // turned on its side.
    const QPointF points[] = {{0, 15},    {36, 15},   {51, 0},    {102, 0},  {117, 15}, {153, 15},
                              {153, 195}, {117, 195}, {102, 180}, {51, 180}, {36, 195}, {0, 195}};
    QPainterPath outline(points[0]);
    for (int i = 1; i < int(std::size(points)); ++i)
        outline.lineTo(points[i]);
    outline.closeSubpath();
    painter.drawPath(outline);
}
