#pragma once

#include <QDockWidget>
#include <QStringList>

// Hosts the emulator program of a patch and its four live controls.
class Emulator : public QDockWidget
{
    Q_OBJECT
public:
    Emulator(const QString& title, QWidget* parent, Qt::WindowFlags flags = Qt::WindowFlags());

    bool compile(const QString& code);
    bool start(const QString& command);
    void stop();
    void setToolTips(const QStringList& tips);
};
