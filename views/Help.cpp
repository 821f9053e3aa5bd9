#include "Help.h"

#include <QTextEdit>

Help::Help(const QString& title, QWidget* parent) : QDockWidget(title, parent)
{
    view = new QTextEdit(this);
    view->setReadOnly(true);
    setWidget(view);
}

void Help::display(const QString& title, const QString& text)
{
    view->setHtml("<h1>" + title + "</h1>" + text);
}

QString Help::html() const
{
    return view->toHtml();
}
