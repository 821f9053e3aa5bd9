#include "MessageHandler.h"

#include "DisplayText.h"
#include "MainApp.h"
#include "PlainBox.h"

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

std::unique_ptr<QMessageBox> messageBox(const MessageRoute& route)
{
    std::unique_ptr<QMessageBox> box;
    if (route.box == MessageRoute::FatalBox) {
        box = std::make_unique<QMessageBox>(
            QMessageBox::Critical, QCoreApplication::translate("main", "Fatal Error"), QString(),
            QMessageBox::Ok, nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
        util::setPlainTexts(*box, QCoreApplication::translate(
                                      "main", "%1 has encountered an error and cannot continue "
                                              "to work.\nPlease press OK button to quit.")
                                      .arg(QCoreApplication::applicationName()));
        box->setDetailedText(route.detail);
    } else if (route.box == MessageRoute::WarningBox) {
        box = std::make_unique<QMessageBox>(QMessageBox::Warning,
                                            QCoreApplication::translate("main", "Warning"),
                                            QString(), QMessageBox::Ok);
        util::setPlainTexts(*box, util::boxText(route.text));
    }
    return box;
}

void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const MessageRoute route = routeMessage(type, message, context.category);
    if (route.text.isEmpty())
        return;

    if (std::unique_ptr<QMessageBox> box = messageBox(route)) {
        box->exec();
        if (route.box == MessageRoute::FatalBox)
            QCoreApplication::quit();
    }

    const QByteArray utf8 = route.text.toUtf8();
    std::fprintf(stderr, "%s\n", utf8.constData());
    std::fflush(stderr);
    if (messageTarget)
        messageTarget->log(utf8.constData());
}
