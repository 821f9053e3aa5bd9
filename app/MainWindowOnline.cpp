// Logging in to the repository.
#include "MainWindow.h"

void MainWindow::logIn() {}
