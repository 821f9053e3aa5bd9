#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>

class MainApp;
class QMessageBox;

// What the editor does with one log message. Kept apart from the handler so the routing
// rules can be checked without showing boxes.
struct MessageRoute
{
    enum Box
    {
        NoBox,
        WarningBox,
        FatalBox
    };

    Box box = NoBox;
    // Text for standard error and the Console; empty means the message goes nowhere.
    QString text;
    // The fatal box's detailed text: the message exactly as received.
    QString detail;
};

// `category` is the message's logging category. Warnings of the toolkit's own categories
// ("qt." and below) and the texts its platform plugins print about features they lack get no
// box: they are the toolkit's business, not the user's.
MessageRoute routeMessage(QtMsgType type, const QString& message, const char* category = nullptr);

// The box a route shows, or null for none. Its texts are plain and bounded: a warning may carry
// names and texts from files and servers.
std::unique_ptr<QMessageBox> messageBox(const MessageRoute& route);

// The process-wide log hook: boxes for warnings and fatal errors, then standard error and
// the Console of the application's main window.
void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

// Where messageHandler forwards Console lines. Set by main once the application exists.
void setMessageTarget(MainApp* app);
