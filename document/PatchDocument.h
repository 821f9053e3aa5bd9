#pragma once

#include "BlockConnection.h"
#include "BlockDescription.h"
#include "BlockInstance.h"
#include "Comment.h"
#include "InstanceList.h"
#include "PatchInfo.h"
#include "RecordFit.h"

#include <QGraphicsView>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <functional>
#include <map>
#include <set>

class DocumentHost;
class PatchScene;
class QUndoCommand;
class QUndoStack;
class QWheelEvent;

// One open patch: the model (blocks, cables, comments, carried descriptions, patch info), its
// undo stack and the view onto its canvas.
//
// The scene only asks for changes; each request becomes an undo command whose redo calls the
// mutators below, which change the model and then update the scene's items. The mutators push
// nothing themselves, so loading and pasting use them directly.
//
// Instances, connections and comments live in node-based maps: the pointers handed out (and
// those in the scene's items and in the connections) stay valid while their entry is stored.
// Every stored cable is recorded in the socket tables of both its blocks (a socket records one
// cable), so a block's cables are found through its tables.
class PatchDocument : public QGraphicsView
{
    Q_OBJECT

public:
    using Descriptions = QHash<QString, BlockDescription>;
    using Categories = QMap<QString, QList<const BlockDescription*>>;

    static const QString audioOutputName;
    // The zoom steps a patch opens with are held to this many either way: 1.15^40 is about 268,
    // a block a hundred units wide spans 27,000 pixels, and at 1.15^-40 the whole 4000-unit
    // canvas fits in 15. The zoom actions go on past it.
    static constexpr int maxReadZoomLevel = 40;

    // A new instance's value text for a variable: arrays keep their list, numbers are
    // normalised ("2.000000" gives "2").
    static QString initialValue(const Variable& variable);

    explicit PatchDocument(DocumentHost* host, QWidget* parent = nullptr);
    ~PatchDocument() override;

    // Mutators. Each marks the document changed unless noted.

    // Makes and stores an instance; null when refused. With a source, a copy of it (same id)
    // replaces any instance of that id. The caller shows the instance (addBlock does). Marks
    // nothing.
    BlockInstance* createBlockInstance(const QString& name, const BlockInstance* source);
    // createBlockInstance, then places and shows the instance. Marks changed even when refused.
    BlockInstance* addBlock(const QString& name, int x, int y, const BlockInstance* source);
    void moveBlock(int id, int x, int y);
    void removeBlock(int id);
    // Ignored without a message when a block id was taken over by a replacing instance, names
    // no stored block, or names a socket the block lacks. A socket carries one cable, as on the
    // canvas: a cable already on either of the two sockets is removed first. True when the
    // cable was stored.
    bool addConnection(int id, int outBlockId, int outBlockSocketId, int inBlockId,
                       int inBlockSocketId);
    void removeConnection(int id);
    void editVariable(int blockId, int variableId, const QString& value);
    // With its text set once, as opening a patch does.
    Comment* addComment(int id, int x, int y, const QString& text = QString());
    // A new comment under the next free id, opened for editing.
    Comment* addComment(int x, int y);
    void editComment(int id, int x, int y, const QString& text);
    // Marks nothing: the scene drops empty comments on a click.
    void removeComment(int id);
    // Removes every cable, then every block; comments stay.
    void clear();
    // The level and one scale of the view, from the identity; held to maxReadZoomLevel.
    void setZoomLevel(int zoomLevel);
    void setChanged(bool changed);
    void setIsPlaying(bool playing) { playing_ = playing; }
    void includeBlocks(bool include) { info.includeBlocks = include; }
    // Keeps an existing description of that name unchanged. Marks nothing.
    void addBlockDescription(const BlockDescription& description);
    // Whether the edit of a value may be made: false, with the reason told and the value shown
    // again as it is, when the patch could then not be saved.
    bool acceptsValue(int blockId, int variableId, const QString& value);
    // Whether these blocks (each with the cables that will leave it) and comments may be
    // pasted: false, with the reason told after `refused`, when the patch could then not be
    // saved. The document's tally is asked, so the cost is the paste's size.
    bool acceptsPaste(const QList<const BlockInstance*>& blocks,
                      const QList<const Comment*>& comments, const QString& refused) const;
    void updateDescriptionOrigin(const QString& name, BlockDescription::BlockOrigin origin);

    // Queries.
    const BlockInstance* blockInstance(int id) const;
    InstanceList blockInstances() const;
    QList<const BlockConnection*> blockConnections() const;
    const BlockConnection* blockConnection(int id) const;
    // Whether addConnection would store such a cable (an id taken over, a block or socket that
    // is not there refuse it).
    bool acceptsConnection(int outBlockId, int outBlockSocketId, int inBlockId,
                           int inBlockSocketId) const;
    QList<Comment*> comments();
    Comment* comment(int id);
    const BlockInstance* mainOut() const { return mainOutput; }
    int highestInstanceId() const;
    int highestConnectionId() const;
    int highestCommentId() const;
    InstanceList selectedInstances() const;
    QList<Comment*> selectedComments();
    const BlockDescription* getBlockDescription(const QString& name) const;
    const Descriptions* getBlockDescriptions() const { return &descriptions; }
    const Categories* blocksInCategories() const { return &descriptionCategories; }
    // The block files to carry with the patch, by name. Empty, with a warning, when one of them
    // cannot be read; `ok` (when given) tells that apart from a patch with nothing to carry.
    QHash<QString, BlockDescription> getUserBlockFiles(bool* ok = nullptr) const;
    PatchInfo* patchInfo() { return &info; }
    const PatchInfo* patchInfo() const { return &info; }
    PatchScene* patchScene() const { return scene; }
    QUndoStack* undoStack() const { return stack; }
    bool changed() const { return changed_; }
    // The scene point in the middle of the view, as a saved record stores it: the one the view
    // shows again when it is centred on it.
    QPoint savedCentre() const;
    // Set while an open has not brought the whole patch in: such a tab, left unchanged and
    // without a path, does not stand for its file.
    void setOpenedPartly(bool partly) { openedPartly_ = partly; }
    bool openedPartly() const { return openedPartly_; }
    bool isPlaying() const { return playing_; }
    bool isEmpty() const { return instances.empty(); }
    bool isMacroOpen() const { return macroDepth > 0; }

    // Closes an open undo macro first, then steps the stack.
    void undo();
    void redo();
    void selectAll();
    void clearUndoStack();

signals:
    void hasChanged(bool flag);
    void undoCompleted();
    void redoCompleted();

public slots:
    // The canvas's edits that make the patch grow (a block, a cable, a comment, its text) are
    // refused, with the reason told, when the patch could then not be saved (RecordFit). Paste
    // and open check what they add as a whole and call the handlers and mutators unchecked.
    void addBlockHandler(QString descriptionName, int x, int y);
    void addBlockInstanceHandler(QString descriptionName, int x, int y,
                                 const BlockInstance* initInstance);
    void moveBlockHandler(int id, int x, int y);
    void removeBlockHandler(int id);
    void addConnectionHandler(int id, int outBlockId, int outBlockSocketId, int inBlockId,
                              int inBlockSocketId);
    void removeConnectionHandler(int id, int outBlockId, int outBlockSocketId, int inBlockId,
                                 int inBlockSocketId);
    void addCommentHandler();
    // Leaves the "add comment" macro open for the caller to end on the stack.
    void addCommentInstanceHandler(int id, int x, int y, QString text);
    void editCommentHandler(int id, int x, int y, QString text);
    void removeCommentHandler(int id);

    void beginUndoMacro(QString text);
    void endUndoMacro();
    void undoHandler(int index);
    void commentLink(QString link);
    void centreView();
    void zoomIn();
    void zoomOut();
    void zoomReset();

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    void markChanged() { setChanged(true); }
    // The cable the scene asks for, once checked.
    void connectionRequested(int id, int outBlockId, int outBlockSocketId, int inBlockId,
                             int inBlockSocketId);
    // Whether the patch fits a record once `grow` is applied to its tally; false, with
    // `refused` told with the reason, when not.
    bool fits(const std::function<void(RecordFit::Tally&)>& grow, const QString& refused) const;
    void push(QUndoCommand* command);
    // Drops the cables of a stored instance and its item, before a copy takes over its id.
    void retireInstance(BlockInstance& instance);
    // Keeps the main output on a stored "Audio Output" instance, or null.
    void chooseMainOutput();
    void detachConnection(const BlockConnection& connection);
    // Detaches the cable, takes its item off the canvas and drops it.
    void dropConnection(qint32 id);
    void zoomStep(bool in);

    DocumentHost* host;
    PatchScene* scene = nullptr;
    QUndoStack* stack = nullptr;
    std::map<qint32, BlockInstance> instances;
    std::map<qint32, BlockConnection> connections;
    std::map<qint32, Comment> comments_;
    Descriptions descriptions;
    Categories descriptionCategories;
    BlockInstance* mainOutput = nullptr;
    // The stored "Audio Output" instances by id: the main output is chosen among them.
    std::set<qint32> audioOutputs;
    QSet<qint32> replacedIds;
    PatchInfo info;
    bool changed_ = false;
    bool openedPartly_ = false;
    bool playing_ = false;
    // Macros opened through beginUndoMacro and not yet ended.
    int macroDepth = 0;
    // Set while the stack runs an undo or redo, when a push would reach into the command that is
    // running.
    bool stepping = false;
    bool closing = false;
    // The comment whose item is being taken off the scene.
    int removingComment = -1;
    double zoomFactor = 1.15;
    // What the edit checks count the patch to hold, once counted: every change that makes it
    // grow adds to it, one that makes it shrink takes nothing off, so it is never less than the
    // patch holds. A check it fails counts afresh.
    mutable RecordFit::Tally fitTally;
    mutable bool fitCounted = false;
};
