// The about box, patch info and the options dialog.
#include "MainWindow.h"

void MainWindow::about() {}

void MainWindow::patchInfo() {}

void MainWindow::displayOptionsDialog() {}
