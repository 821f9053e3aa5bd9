#pragma once

#include <QWidget>

// A rotary knob of the emulator panel, 0 ... 1024, turned by dragging up (more) or down (less).
class Knob : public QWidget
{
    Q_OBJECT
public:
    static constexpr int Maximum = 1024;

    explicit Knob(QWidget* parent = nullptr);

    float value() const { return knobValue; }
    // Moves the knob from code, limited to 0 ... 1024; emits nothing.
    void setValue(int value);

signals:
    // On every drag move, also when the value stayed at a limit.
    void valueChanged(int value);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    float knobValue = 0;
    qint32 lastY = 0;
    double dragFactor = 10.0;
};
