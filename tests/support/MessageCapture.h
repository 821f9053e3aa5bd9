#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

// Records every message while alive, instead of the application's handler (whose boxes would
// block a test). Restores the previous handler when destroyed. One at a time.
class MessageCapture
{
public:
    struct Message
    {
        QtMsgType type;
        QString text;
    };

    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    QList<Message> messages() const { return captured; }
    QStringList texts(QtMsgType type) const;
    QStringList warnings() const { return texts(QtWarningMsg); }
    bool contains(QtMsgType type, const QString& fragment) const;
    void clear() { captured.clear(); }

private:
    static void handler(QtMsgType type, const QMessageLogContext& context, const QString& text);
    static MessageCapture* active;
    QtMessageHandler previous = nullptr;
    QList<Message> captured;
};
