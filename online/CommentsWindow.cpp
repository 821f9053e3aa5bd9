#include "CommentsWindow.h"

#include "RepositoryText.h"
#include "SafeTextDocument.h"
#include "UserCredentials.h"

#include <QDebug>
#include <QFrame>
#include <QLabel>
#include <QMovie>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextEdit>
#include <QVBoxLayout>

CommentsWindow::CommentsWindow(QWidget* parent, UserCredentials* userCredentials)
    : QWidget(parent), credentials(userCredentials)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(QStringLiteral("comments"), this));

    view = new QTextBrowser(this);
    SafeTextDocument::install(view);
    view->setObjectName(QStringLiteral("comments"));
    // Comments are other people's text: nothing in them is followed.
    view->setOpenLinks(false);
    layout->addWidget(view);

    layout->addWidget(new QLabel(QStringLiteral("your comment"), this));
    editor = new QTextEdit(this);
    editor->setObjectName(QStringLiteral("comment"));
    editor->setAcceptRichText(false);
    editor->setFixedHeight(100);
    layout->addWidget(editor);

    post = new QPushButton(QStringLiteral("post comment"), this);
    post->setFixedWidth(200);
    layout->addWidget(post, 0, Qt::AlignRight);

    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    layout->addWidget(rule);

    loader = new QLabel(view);
    loader->setObjectName(QStringLiteral("loader"));
    animation = new QMovie(QStringLiteral(":/icons/loader.gif"), QByteArray(), loader);
    loader->setMovie(animation);
    loader->hide();

    connect(post, &QPushButton::clicked, this, &CommentsWindow::postClicked);
}

void CommentsWindow::insertComment(RepositoryComment& comment)
{
    comments.append(comment);
}

void CommentsWindow::clear()
{
    comments.clear();
    view->clear();
}

void CommentsWindow::clearComment()
{
    editor->clear();
}

void CommentsWindow::showLoader()
{
    animation->start();
    const int w = view->width();
    const int h = view->height();
    loader->setGeometry(w / 2 - 16, h / 2 - 16, 32, 32);
    loader->show();
    loader->raise();
}

void CommentsWindow::stopLoader()
{
    animation->stop();
    loader->hide();
}

void CommentsWindow::refresh()
{
    stopLoader();
    if (comments.isEmpty())
        view->setPlainText(util::commentsText(comments));
    else
        view->setHtml(util::commentsText(comments));
}

void CommentsWindow::showFailure(const QString& message)
{
    stopLoader();
    view->setPlainText(message);
}

bool CommentsWindow::isLoaderShown() const
{
    return loader->isVisibleTo(view);
}

void CommentsWindow::postClicked()
{
    if (!credentials || !credentials->loggedIn) {
        qWarning().noquote() << tr("Please Log In in order to post comments.");
        return;
    }
    const QString text = editor->toPlainText();
    if (text.isEmpty()) {
        qWarning().noquote() << tr("You can't post empty comment.");
        return;
    }
    emit userPost(text);
}
