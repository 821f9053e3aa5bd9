#include "ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>

ModalDriver::ModalDriver(QObject* parent) : QObject(parent)
{
    timer.setInterval(10);
    connect(&timer, &QTimer::timeout, this, &ModalDriver::poll);
    timer.start();
}

void ModalDriver::answer(std::function<void(QWidget*)> action)
{
    answers.enqueue(std::move(action));
}

void ModalDriver::answerBox(QMessageBox::StandardButton button)
{
    answer([button](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            if (QAbstractButton* b = box->button(button)) {
                b->click();
                return;
            }
        }
        if (auto* d = qobject_cast<QDialog*>(w))
            d->reject();
    });
}

void ModalDriver::answerBoxWithText(const QString& buttonText)
{
    answer([buttonText](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) {
            for (QAbstractButton* b : box->buttons()) {
                if (b->text().remove('&') == buttonText) {
                    b->click();
                    return;
                }
            }
        }
        if (auto* d = qobject_cast<QDialog*>(w))
            d->reject();
    });
}

void ModalDriver::acceptFileDialog(const QString& path)
{
    answer([path](QWidget* w) {
        if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
            // selectFile alone does not reach the name field of a save dialog whose folder
            // is still being read, so the name is typed as a person would.
            const QFileInfo info(path);
            dialog->setDirectory(info.absolutePath());
            dialog->selectFile(info.fileName());
            if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(info.fileName());
            static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept is protected
        } else if (auto* d = qobject_cast<QDialog*>(w)) {
            d->reject();
        }
    });
}

void ModalDriver::rejectDialog()
{
    answer([](QWidget* w) {
        if (auto* d = qobject_cast<QDialog*>(w))
            d->reject();
        else
            w->close();
    });
}

QString ModalDriver::describe(QWidget* w)
{
    if (auto* box = qobject_cast<QMessageBox*>(w))
        return box->windowTitle() + "|" + box->text();
    return w->windowTitle() + "|" + w->metaObject()->className();
}

void ModalDriver::poll()
{
    QWidget* w = QApplication::activeModalWidget();
    if (!w || !w->isVisible() || w == handled)
        return;
    handled = w;
    const QString text = describe(w);
    seenTexts << text;
    if (answers.isEmpty()) {
        unexpectedTexts << text;
        if (auto* d = qobject_cast<QDialog*>(w))
            d->reject();
        else
            w->close();
        return;
    }
    auto action = answers.dequeue();
    action(w);
    // A dialog that was not ready for its answer (a file dialog still filling its model) is
    // answered again on a later tick, as a person would try again.
    if (w->isVisible() && QApplication::activeModalWidget() == w && retries < 500) {
        ++retries;
        answers.prepend(action);
        handled = nullptr;
        seenTexts.removeLast();
        return;
    }
    retries = 0;
}
