#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QStringList>
#include <QTimer>
#include <functional>

// Answers modal boxes and dialogs by script while a test runs code that opens them.
// Each queued answer applies to the next modal widget that shows; a modal widget with no
// queued answer is recorded as unexpected and rejected, so a test never hangs on it.
class ModalDriver : public QObject
{
    Q_OBJECT
public:
    explicit ModalDriver(QObject* parent = nullptr);

    void answer(std::function<void(QWidget*)> action);
    void answerBox(QMessageBox::StandardButton button);
    void answerBoxWithText(const QString& buttonText);
    void acceptFileDialog(const QString& path);
    void rejectDialog();

    // "title|text" of each box or dialog seen, in order.
    QStringList seen() const { return seenTexts; }
    QStringList unexpected() const { return unexpectedTexts; }
    int pending() const { return answers.size(); }

private:
    void poll();
    static QString describe(QWidget* w);

    QTimer timer;
    QQueue<std::function<void(QWidget*)>> answers;
    QPointer<QWidget> handled;
    QStringList seenTexts;
    QStringList unexpectedTexts;
    int retries = 0;
};
