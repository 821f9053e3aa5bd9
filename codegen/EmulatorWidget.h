#pragma once

#include <QWidget>

// The emulator dock's widget: paints the device's outline behind the knobs and switches.
class EmulatorWidget : public QWidget
{
    Q_OBJECT
public:
    explicit EmulatorWidget(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
