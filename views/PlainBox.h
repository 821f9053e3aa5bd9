#pragma once

#include <QString>

class QMessageBox;

namespace util {

// Sets the box's text and informative text as plain text: a message box takes its informative
// text as rich text whenever it looks like markup, whatever its text format says.
void setPlainTexts(QMessageBox& box, const QString& text, const QString& informative = QString());

} // namespace util
