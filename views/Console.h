#pragma once

#include <QDockWidget>
#include <QStringList>

class QTextEdit;
class QTimer;

// The application's log, newest line first.
//
// Putting a line at the top of a rich-text view costs time in the length of the whole text, so
// lines that come close together are put in at once, a moment after the first of them, and the
// oldest lines go beyond a fixed number. Reading the text puts in what is waiting first.
class Console : public QDockWidget
{
public:
    // Lines kept; the oldest go first, so a long run never slows the panel down.
    static constexpr int maximumLines = 10000;
    // How long a line may wait for others to join it.
    static constexpr int gatherMilliseconds = 50;

    Console(const QString& title, QWidget* parent);

    // Puts the line, and a line break, before the text shown.
    void log(const QString& line);
    void clearConsole();
    QString text() const;

private:
    // Shows the waiting lines, newest first, above the text.
    void flush() const;

    QTextEdit* view;
    QTimer* gather;
    // Lines not yet shown, oldest first.
    mutable QStringList waiting;
};
