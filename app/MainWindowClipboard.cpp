// Copy and paste, saving a carried block and reloading the library.
#include "MainWindow.h"

void MainWindow::copy() {}

void MainWindow::paste() {}

void MainWindow::reloadBlocks() {}

void MainWindow::inspectorSaveBlockRequested(const BlockInstance*, bool) {}
