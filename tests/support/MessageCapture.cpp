#include "MessageCapture.h"

#include <QStringList>

MessageCapture* MessageCapture::active = nullptr;

MessageCapture::MessageCapture()
{
    Q_ASSERT(!active);
    active = this;
    previous = qInstallMessageHandler(&MessageCapture::handler);
}

MessageCapture::~MessageCapture()
{
    qInstallMessageHandler(previous);
    active = nullptr;
}

QStringList MessageCapture::texts(QtMsgType type) const
{
    QStringList result;
    for (const Message& m : captured) {
        if (m.type == type)
            result << m.text;
    }
    return result;
}

bool MessageCapture::contains(QtMsgType type, const QString& fragment) const
{
    for (const Message& m : captured) {
        if (m.type == type && m.text.contains(fragment))
            return true;
    }
    return false;
}

void MessageCapture::handler(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (active)
        active->captured.append({type, text});
}
