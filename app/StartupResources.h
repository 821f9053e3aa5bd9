#pragma once

class QApplication;

// Start-up steps that dress the application from its resources.
void applyStyleSheet(QApplication& app);
void registerFonts();
void applyApplicationFont();
