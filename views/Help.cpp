#include "Help.h"

#include "SafeTextDocument.h"

#include <QTextEdit>

Help::Help(const QString& title, QWidget* parent) : QDockWidget(title, parent)
{
    view = new QTextEdit(this);
    view->setReadOnly(true);
    // Help is markup from block files, which patches carry: it shows, but loads nothing.
    SafeTextDocument::install(view);
    setWidget(view);
}

void Help::display(const QString& title, const QString& text)
{
    view->setHtml("<h1>" + title.toHtmlEscaped() + "</h1>" + text);
}

QString Help::html() const
{
    return view->toHtml();
}
