#pragma once

#include "Repository.h"
#include "RepositoryBlock.h"
#include "RepositoryComment.h"
#include "RepositoryPatch.h"

#include <QStringList>
#include <QWidget>

class BlockDownload;
class CommentsWindow;
class QPushButton;
class QVBoxLayout;
class QTableWidget;
class QTextBrowser;
struct UserCredentials;

// What the patches and blocks tabs of the community and user windows share: the table of
// entries, the current entry, and the comments panel with its requests. Every tab hears every
// reply of the shared client; it takes a comments reply only while it waits for one, and only
// the one about its current entry.
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
    // The tab's button showing `text`, or null.
    QPushButton* button(const QString& text) const;

    // True shows the comments of the current entry instead of its information.
    void toggleCommentsWindow(bool show);

public slots:
    void commentsClicked();
    void repositoryComments(RepositoryComments& list, const Repository::Answer& answer);
    void userPost(const QString& text);

protected:
    RepositoryTab(EntryKind kind, Repository* repository, UserCredentials* credentials,
                  const QStringList& headerLabels, int tableWidth, QWidget* parent);

    // Shows or hides what the comments panel stands in for.
    virtual void setInfoVisible(bool visible) = 0;
    // Empties what shows an entry.
    virtual void clearFields() = 0;
    // Nothing picked: the fields empty, then forgetEntry.
    void showNoEntry();
    // No entry current, the entry's buttons off, the comments closed; the fields stay.
    void forgetEntry();

    // Asks for the current entry's comments when the panel shows.
    void refreshCommentsIfShown();
    // The entries' texts and ids, a row each, put in silently; then the entry shown before is
    // found again by its id and shown (`showEntry`), or, when it is gone, nothing is shown; the
    // rows are sorted.
    void refillKeepingEntry(const QList<QStringList>& rows, const QList<int>& ids);
    // Shows entry `index` of the tab's list as the current one.
    virtual void showEntry(int index);
    // The same, selecting the first row named `name`; without one no entry is current, and
    // what the fields hold stays.
    void refillKeepingName(const QList<QStringList>& rows, const QString& name);
    // The first row whose column-0 text is `text`, or -1.
    int rowWithName(const QString& text) const;
    // The texts of a row's cells.
    QStringList rowTexts(int row) const;

    // The table on the left and, on the right, a column that starts with the comments panel;
    // the tab adds the rest to the column returned.
    QVBoxLayout* createLayout();
    static QTextBrowser* createDescriptionPanel(const QString& text, QWidget* parent);
    QPushButton* createCommentsButton();
    // A row of a label, `field` and `extra` (when given), with `bottomMargin` below.
    static QWidget* createFieldRow(const QString& label, QWidget* field, QWidget* extra,
                                   int bottomMargin, QWidget* parent);
    // A sunken rule, then the buttons in one row.
    static void addButtons(QVBoxLayout* column, const QList<QPushButton*>& buttons);
    // The buttons that act on the current entry are usable only while there is one.
    void enableEntryButtons(bool on);

    // False, with the warning `refusal`, when nobody is logged in.
    bool loggedIn(const QString& refusal) const;
    // The current patch goes to the editor.
    void downloadCurrentPatch();
    // Asks where the block picked from `list` goes and downloads it there.
    void downloadSelectedBlock(const RepositoryBlocks& list, BlockDownload& pending);

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
    QList<QPushButton*> entryButtons;

    // A request of the shared client failed; the client has logged it.
    virtual void requestFailed(const Repository::Answer& answer);

private:
    void fillTable(const QList<QStringList>& rows);
    void askForComments();
    // True for a comments answer (list or post) of this tab's kind about its current entry.
    bool aboutCurrentEntry(const Repository::Answer& answer) const;
};
