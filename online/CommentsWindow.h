#pragma once

#include "RepositoryComment.h"

#include <QString>
#include <QWidget>

class QLabel;
class QMovie;
class QPushButton;
class QTextBrowser;
class QTextEdit;
struct UserCredentials;

// The comments panel of the repository tabs: the comments of one patch or block, a busy
// animation while a list is on its way, and the editor for a new comment. It knows nothing of
// the repository: the tab that owns it fetches, fills it and posts what it emits.
class CommentsWindow : public QWidget
{
    Q_OBJECT
public:
    CommentsWindow(QWidget* parent, UserCredentials* credentials);

    void insertComment(RepositoryComment& comment);
    void clear();
    void clearComment();
    void showLoader();
    // Stops the loader and draws the comments inserted since the last clear().
    void refresh();
    // Stops the loader and shows why the comments could not be had.
    void showFailure(const QString& message);

    bool isLoaderShown() const;
    QTextBrowser* commentsView() const { return view; }
    QTextEdit* commentEditor() const { return editor; }
    QPushButton* postButton() const { return post; }

signals:
    void userPost(QString text);

public slots:
    void postClicked();

private:
    void stopLoader();

    UserCredentials* credentials = nullptr;
    QTextBrowser* view = nullptr;
    QTextEdit* editor = nullptr;
    QPushButton* post = nullptr;
    RepositoryComments comments;
    QLabel* loader = nullptr;
    QMovie* animation = nullptr;
};
