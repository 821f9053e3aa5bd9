#include "Knob.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

int limited(double value)
{
    const int whole = int(value);
    if (whole > Knob::Maximum)
        return Knob::Maximum;
    return whole <= 0 ? 0 : whole;
}

} // namespace

Knob::Knob(QWidget* parent) : QWidget(parent) {}

void Knob::setValue(int value)
{
    knobValue = float(limited(value));
    update();
}

void Knob::mousePressEvent(QMouseEvent* event)
{
    lastY = qRound(event->localPos().y());
}

void Knob::mouseMoveEvent(QMouseEvent* event)
{
    const int y = qRound(event->localPos().y());
    knobValue = float(limited((lastY - y) * dragFactor + knobValue));
    emit valueChanged(int(knobValue));
    update();
    lastY = y;
}

void Knob::paintEvent(QPaintEvent*)
{
    const int w = width();
    const int r = w / 2;
    const int dial = r - 10;
    const int pen = dial / 4;

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(w / 2, height() / 2);

    painter.setPen(QPen(QColor(QStringLiteral("#323232")), pen));
    painter.setBrush(QColor(QStringLiteral("#545454")));
    painter.drawEllipse(-dial, -dial, 2 * dial, 2 * dial);

    // 0 points 140 degrees left of straight up, 1024 as far right.
    painter.rotate(knobValue / 1024.0 * 280.0 - 140.0);
    painter.setPen(QPen(Qt::white, pen, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(0, int(dial * 0.25), 0, -dial);
}
