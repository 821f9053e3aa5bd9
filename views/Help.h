#pragma once

#include <QDockWidget>

class QTextEdit;

// Shows the help text of the selected block.
class Help : public QDockWidget
{
public:
    Help(const QString& title, QWidget* parent);

    void display(const QString& title, const QString& text);
    QString html() const;

private:
    QTextEdit* view;
};
