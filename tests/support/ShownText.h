#pragma once

#include <QString>

class QLabel;
class QMessageBox;
class QTextDocument;

// What the user sees of a text: whether markup in it was taken as markup, and what it loaded.
namespace testsupport {

// The text a tool tip shows for `tip`: laid out as rich text when it looks like markup, as the
// tool tip does, with U+FFFC for each image.
QString shownToolTip(const QString& tip);

// Whether the label shows its text as it is, markup and all.
bool showsPlainText(const QLabel* label);
// The same for a box's text and its informative text.
bool showsPlainText(const QMessageBox* box);

// How many pictures the document shows, as images or backgrounds, that are larger than a
// pixel: a picture loaded from anywhere but the program's own resources.
int loadedImages(QTextDocument* document);

} // namespace testsupport
