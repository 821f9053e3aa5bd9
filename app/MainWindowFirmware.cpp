// Building firmware for the device and reading a patch back from it.
#include "MainWindow.h"

void MainWindow::openFromFirmware() {}

void MainWindow::compileCode() {}
