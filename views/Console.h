#pragma once

#include <QDockWidget>

class QTextEdit;

// The application's log, newest line first.
class Console : public QDockWidget
{
public:
    Console(const QString& title, QWidget* parent);

    void log(const QString& line);
    void clearConsole();
    QString text() const;

private:
    QTextEdit* view;
};
