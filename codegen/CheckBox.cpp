#include "CheckBox.h"

#include <QPainter>

CheckBox::CheckBox(QWidget* parent) : QWidget(parent) {}

void CheckBox::setState(int value)
{
    state = value > 0 ? 1 : 0;
    update();
}

void CheckBox::mousePressEvent(QMouseEvent*)
{
    state = state == 0 ? 1 : 0;
    emit stateChanged(state);
    update();
}

void CheckBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2, height() / 2);

    // On: a thick ring drawn a little inside; off: a thin one.
    const float s = float(width() / 2 - 5);
    const int pen = state ? int(s * 0.42857143f) : int(s * 0.16666667f);
    const int k = state ? int(s * 0.8333333f) : int(s * 0.9166667f);
    painter.setPen(QPen(QColor(QStringLiteral("#FF3EA8")), pen));
    painter.setBrush(QColor(QStringLiteral("#DDDDDD")));
    painter.drawEllipse(-k, -k, 2 * k, 2 * k);
}
