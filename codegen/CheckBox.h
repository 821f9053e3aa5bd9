#pragma once

#include <QWidget>

// A round switch of the emulator panel: a click turns it on (1) or off (0).
class CheckBox : public QWidget
{
    Q_OBJECT
public:
    explicit CheckBox(QWidget* parent = nullptr);

    int checkState() const { return state; }
    // Sets the switch from code (any value above 0 is on); emits nothing.
    void setState(int value);

signals:
    void stateChanged(int val);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    qint32 state = 0;
};
