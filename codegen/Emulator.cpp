#include "Emulator.h"

Emulator::Emulator(const QString& title, QWidget* parent, Qt::WindowFlags flags)
    : QDockWidget(title, parent, flags)
{
}

bool Emulator::compile(const QString&)
{
    return false;
}

bool Emulator::start(const QString&)
{
    return false;
}

void Emulator::stop() {}

void Emulator::setToolTips(const QStringList&) {}
