#include "MessageHandler.h"

#include "MainApp.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <cstdio>

namespace {

MainApp* messageTarget = nullptr;

const QString suppressedText = QStringLiteral("Error receiving trust for a CA certificate");

// What a platform plugin prints, in the default category, for a window feature it lacks (the
// offscreen plugin: "This plugin does not support propagateSizeHints()").
const QString platformPluginText = QStringLiteral("This plugin does not support");

bool isToolkitMessage(const QString& message, const char* category)
{
    return (category && qstrncmp(category, "qt.", 3) == 0) ||
           message.startsWith(platformPluginText);
}

} // namespace

MessageRoute routeMessage(QtMsgType type, const QString& message, const char* category)
{
    MessageRoute route;
    if (message.contains(suppressedText))
        return route;

    QString copy = message;
    switch (type) {
    case QtFatalMsg:
        if (copy.startsWith(QLatin1Char('Q')))
            return route;
        copy.remove(QLatin1Char('"'));
        route.box = MessageRoute::FatalBox;
        route.detail = message;
        break;
    case QtWarningMsg:
        if (copy.startsWith(QLatin1Char('Q')))
            return route;
        if (isToolkitMessage(message, category))
            break;
        copy.remove(QLatin1Char('"'));
        route.box = MessageRoute::WarningBox;
        break;
    default:
        break;
    }
    if (copy.isEmpty())
        route.box = MessageRoute::NoBox;
    route.text = copy;
    return route;
}

void setMessageTarget(MainApp* app)
{
    messageTarget = app;
}

void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const MessageRoute route = routeMessage(type, message, context.category);
    if (route.text.isEmpty())
        return;

    if (route.box == MessageRoute::FatalBox) {
        QMessageBox box(QMessageBox::Critical, QCoreApplication::translate("main", "Fatal Error"),
                        QCoreApplication::translate("main",
                                                    "%1 has encountered an error and cannot "
                                                    "continue to work.\nPlease press OK button "
                                                    "to quit.")
                            .arg(QCoreApplication::applicationName()),
                        QMessageBox::Ok, nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
        box.setDetailedText(route.detail);
        box.exec();
        QCoreApplication::quit();
    } else if (route.box == MessageRoute::WarningBox) {
        QMessageBox box(QMessageBox::Warning, QCoreApplication::translate("main", "Warning"),
                        route.text, QMessageBox::Ok);
        // Warnings quote names and texts from files and servers: shown as they are, never as
        // markup.
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }

    const QByteArray utf8 = route.text.toUtf8();
    std::fprintf(stderr, "%s\n", utf8.constData());
    std::fflush(stderr);
    if (messageTarget)
        messageTarget->log(utf8.constData());
}
