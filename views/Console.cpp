#include "Console.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

Console::Console(const QString& title, QWidget* parent)
    : QDockWidget(title, parent), view(new QTextEdit(this)), gather(new QTimer(this))
{
    view->setReadOnly(true);
    // A log is never undone; keeping every insertion for that would only grow.
    view->document()->setUndoRedoEnabled(false);
    setWidget(view);
    gather->setSingleShot(true);
    gather->setInterval(gatherMilliseconds);
    connect(gather, &QTimer::timeout, this, [this] { flush(); });
}

void Console::log(const QString& line)
{
    waiting.append(line);
    // Lines that would be dropped at once need not wait.
    while (waiting.size() > maximumLines)
        waiting.removeFirst();
    if (!gather->isActive())
        gather->start();
}

void Console::flush() const
{
    gather->stop();
    if (waiting.isEmpty())
        return;
    QString text;
    for (auto it = waiting.crbegin(); it != waiting.crend(); ++it) {
        text += *it;
        text += QLatin1Char('\n');
    }
    waiting.clear();

    QTextDocument* document = view->document();
    QTextCursor cursor(document);
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(text);

    // The text always ends with a line break, so the last block is empty and does not count.
    if (document->blockCount() - 1 > maximumLines) {
        cursor.setPosition(document->findBlockByNumber(maximumLines).position());
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
}

void Console::clearConsole()
{
    gather->stop();
    waiting.clear();
    view->clear();
}

QString Console::text() const
{
    flush();
    return view->toPlainText();
}
