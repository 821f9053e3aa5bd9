#include "Console.h"

#include <QTextEdit>

Console::Console(const QString& title, QWidget* parent) : QDockWidget(title, parent)
{
    view = new QTextEdit(this);
    view->setReadOnly(true);
    setWidget(view);
}

void Console::log(const QString& line)
{
    view->setPlainText(line + "\n" + view->toPlainText());
}

void Console::clearConsole()
{
    view->clear();
}

QString Console::text() const
{
    return view->toPlainText();
}
