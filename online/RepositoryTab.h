#pragma once

#include "Repository.h"
#include "RepositoryComment.h"

#include <QStringList>
#include <QWidget>

class CommentsWindow;
class QPushButton;
class QTableWidget;
class QTextBrowser;
struct UserCredentials;

// What the patches and blocks tabs of the community and user windows share: the table of
// entries, the current entry, and the comments panel with its requests. A tab takes a comments
// reply only while it waits for one, since every tab hears every reply of the shared client.
class RepositoryTab : public QWidget
{
    Q_OBJECT
public:
    enum EntryKind
    {
        PatchEntries,
        BlockEntries
    };

    // Not open to the user window, whose tabs ask the editor before the first request goes.
    int currentEntryId() const { return currentId; }
    int selectedEntryIndex() const { return selectedIndex; }
    bool waitsForComments() const { return commentsRequested; }
    QTableWidget* tableWidget() const { return table; }
    CommentsWindow* commentsPanel() const { return comments; }
    QPushButton* commentsButton() const { return showComments; }

    // True shows the comments of the current entry instead of its information.
    void toggleCommentsWindow(bool show);

public slots:
    void commentsClicked();
    void repositoryComments(RepositoryComments& list);
    void userPost(const QString& text);

protected:
    RepositoryTab(EntryKind kind, Repository* repository, UserCredentials* credentials,
                  const QStringList& headerLabels, int tableWidth, QWidget* parent);

    // Shows or hides what the comments panel stands in for.
    virtual void setInfoVisible(bool visible) = 0;

    // Asks for the current entry's comments when the panel shows.
    void refreshCommentsIfShown();
    // The entries' texts, a row each, put in silently; sorting stays off for the caller to
    // select a row first.
    void fillTable(const QList<QStringList>& rows);
    // The first row whose column-0 text is `text`, or -1.
    int rowWithName(const QString& text) const;

    static QTextBrowser* createDescriptionPanel(const QString& text, QWidget* parent);
    QPushButton* createCommentsButton();

    EntryKind kind;
    Repository* repository = nullptr;
    CommentsWindow* comments = nullptr;
    UserCredentials* credentials = nullptr;
    // No entry is current until the user picks one.
    int currentId = -1;
    bool commentsRequested = false;
    QStringList headerLabels;
    QTableWidget* table = nullptr;
    QPushButton* showComments = nullptr;
    int selectedIndex = -1;

    // A request of the shared client failed; the client has logged it.
    virtual void requestFailed(Repository::RequestKind requestKind, const QString& message);

private:
    void askForComments();
};
