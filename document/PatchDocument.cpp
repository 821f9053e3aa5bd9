#include "PatchDocument.h"

#include "AddBlockCommand.h"
#include "AddCommentCommand.h"
#include "AddConnectionCommand.h"
#include "CanvasBlock.h"
#include "DisplayText.h"
#include "DocumentHost.h"
#include "EditCommentCommand.h"
#include "MoveBlockCommand.h"
#include "PatchComment.h"
#include "PatchScene.h"
#include "RemoveBlockCommand.h"
#include "RemoveCommentCommand.h"
#include "RemoveConnectionCommand.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QGraphicsItem>
#include <QLocale>
#include <QUndoStack>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

const QString PatchDocument::audioOutputName = QStringLiteral("Audio Output");

namespace {

bool isAudioOutput(const BlockInstance& instance)
{
    return instance.description && instance.description->name == PatchDocument::audioOutputName;
}

} // namespace

QString PatchDocument::initialValue(const Variable& variable)
{
    return ::initialValue(variable);
}

PatchDocument::PatchDocument(DocumentHost* host, QWidget* parent)
    : QGraphicsView(parent), host(host)
{
    emit hasChanged(false);
    stack = new QUndoStack(this);
    scene = new PatchScene(this);

    // Callers keep pointers into `descriptions`: a shared hash would detach on our next write and
    // leave them in the other copy.
    descriptions.setSharable(false);

    info.name = QStringLiteral("new patch");
    info.date = quint32(QDateTime::currentDateTimeUtc().toSecsSinceEpoch());
    info.lang = qint32(QLocale::system().language());

    setScene(scene);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setDragMode(QGraphicsView::RubberBandDrag);
    setSceneRect(0, 0, 4000, 4000);
    // The point in the middle stays there when the view changes size, as when a patch opened
    // before the window was shown gets its room: it is what the patch file stores.
    setResizeAnchor(QGraphicsView::AnchorViewCenter);
    for (const char* name : {"delete", "copy", "paste", "comment"}) {
        if (QAction* action = host->getAction(QString::fromLatin1(name)))
            addAction(action);
    }
    setContextMenuPolicy(Qt::ActionsContextMenu);

    scene->setBlockNameCheck(
        [host](const QString& name) { return host->blockDescription(name, true) != nullptr; });
    connect(scene, &PatchScene::beginUndo, this, &PatchDocument::beginUndoMacro);
    connect(scene, &PatchScene::endUndo, this, &PatchDocument::endUndoMacro);
    connect(scene, &PatchScene::blockAdded, this, &PatchDocument::addBlockHandler);
    connect(scene, &PatchScene::blockMoved, this, &PatchDocument::moveBlockHandler);
    connect(scene, &PatchScene::blockRemoved, this, &PatchDocument::removeBlockHandler);
    connect(scene, &PatchScene::connectionAdded, this, &PatchDocument::connectionRequested);
    connect(scene, &PatchScene::connectionRemoved, this, &PatchDocument::removeConnectionHandler);
    connect(scene, &PatchScene::commentRemoved, this, &PatchDocument::removeCommentHandler);
    connect(stack, &QUndoStack::indexChanged, this, &PatchDocument::undoHandler);
    if (QAction* comment = host->getAction(QStringLiteral("comment")))
        connect(comment, &QAction::triggered, this, &PatchDocument::addCommentHandler);
    connect(this, &PatchDocument::undoCompleted, scene, &PatchScene::cancelUndo);
    connect(this, &PatchDocument::redoCompleted, scene, &PatchScene::cancelUndo);
}

PatchDocument::~PatchDocument()
{
    // Nothing may reach back into a document that is going: no handler runs, no selection or
    // stack signal leaves, and the items go while the instances they show still exist.
    closing = true;
    stack->blockSignals(true);
    scene->blockSignals(true);
    // Cables go before blocks, selection muted, while the instances they show still exist.
    scene->clearItems();
    setScene(nullptr);
    delete scene;
    scene = nullptr;
    delete stack;
    stack = nullptr;
}

// ---- mutators -------------------------------------------------------------------------------

BlockInstance* PatchDocument::createBlockInstance(const QString& name, const BlockInstance* source)
{
    if (source) {
        // The scene draws every stored instance from its description.
        if (!source->description)
            return nullptr;
        BlockInstance copy = *source;
        // The source's cables are not ours; they come back as they are added.
        copy.inputs.clear();
        copy.outputs.clear();

        const auto existing = instances.find(copy.id);
        if (existing != instances.end()) {
            qWarning().noquote() << tr("Replace [%1] instance with id:")
                                            .arg(util::displayName(source->description->name)) +
                                        QLatin1Char(' ') + QString::number(copy.id);
            replacedIds.insert(copy.id);
            retireInstance(existing->second);
            instances.erase(existing);
        }
        const qint32 id = copy.id;
        BlockInstance& stored = instances.emplace(id, std::move(copy)).first->second;
        if (fitCounted)
            fitTally.add(stored);
        if (isAudioOutput(stored))
            audioOutputs.insert(id);
        if (name == audioOutputName)
            mainOutput = &stored;
        else if (!mainOutput)
            chooseMainOutput();
        return &stored;
    }

    if (name == audioOutputName && mainOutput) {
        qWarning().noquote() << tr("You have already added a main audio output to your patch.");
        return nullptr;
    }
    const BlockDescription* description = host->blockDescription(name, true);
    if (!description)
        return nullptr;

    BlockInstance instance;
    instance.id = highestInstanceId() + 1;
    instance.nodeId = 0;
    instance.description = description;
    for (const Variable& variable : description->variables)
        instance.values.append(initialValue(variable));

    const qint32 id = instance.id;
    BlockInstance& stored = instances.emplace(id, std::move(instance)).first->second;
    if (fitCounted)
        fitTally.add(stored);
    if (isAudioOutput(stored))
        audioOutputs.insert(id);
    if (name == audioOutputName)
        mainOutput = &stored;
    return &stored;
}

void PatchDocument::retireInstance(BlockInstance& instance)
{
    if (mainOutput == &instance)
        mainOutput = nullptr;
    audioOutputs.erase(instance.id);
    std::vector<qint32> attached;
    attached.reserve(size_t(instance.inputs.size() + instance.outputs.size()));
    for (const BlockConnection* connection : qAsConst(instance.inputs))
        attached.push_back(connection->id);
    for (const BlockConnection* connection : qAsConst(instance.outputs))
        attached.push_back(connection->id);
    // A cable from one of the block's outputs to one of its inputs is in both tables.
    std::sort(attached.begin(), attached.end());
    attached.erase(std::unique(attached.begin(), attached.end()), attached.end());
    for (const qint32 id : attached)
        dropConnection(id);
    // No cable is left on the item, so its removal asks for nothing.
    scene->removeBlockItem(instance.id);
}

void PatchDocument::chooseMainOutput()
{
    mainOutput = nullptr;
    if (!audioOutputs.empty())
        mainOutput = &instances.at(*audioOutputs.begin());
}

BlockInstance* PatchDocument::addBlock(const QString& name, int x, int y,
                                       const BlockInstance* source)
{
    BlockInstance* instance = createBlockInstance(name, source);
    if (instance) {
        instance->x = x;
        instance->y = y;
        scene->addBlockItem(instance, x, y);
    }
    markChanged();
    return instance;
}

void PatchDocument::moveBlock(int id, int x, int y)
{
    const auto found = instances.find(id);
    if (found == instances.end())
        return;
    found->second.x = x;
    found->second.y = y;
    scene->moveBlockItem(id, x, y);
    markChanged();
}

void PatchDocument::removeBlock(int id)
{
    const auto found = instances.find(id);
    if (found == instances.end())
        return;
    BlockInstance* instance = &found->second;
    const bool wasMainOutput = mainOutput == instance;
    if (wasMainOutput)
        mainOutput = nullptr;
    audioOutputs.erase(id);

    // Every cable on the block is in its socket tables; none may keep pointing at it.
    for (const BlockConnection* cable : qAsConst(instance->inputs))
        connections.at(cable->id).inBlock = nullptr;
    for (const BlockConnection* cable : qAsConst(instance->outputs))
        connections.at(cable->id).outBlock = nullptr;
    // The item asks for the removal of each of its cables before it goes.
    scene->removeBlockItem(id);
    instances.erase(id);
    if (wasMainOutput)
        chooseMainOutput();
    markChanged();
}

bool PatchDocument::acceptsConnection(int outBlockId, int outBlockSocketId, int inBlockId,
                                      int inBlockSocketId) const
{
    if (replacedIds.contains(outBlockId) || replacedIds.contains(inBlockId))
        return false;
    const auto out = instances.find(outBlockId);
    const auto in = instances.find(inBlockId);
    if (out == instances.end() || in == instances.end())
        return false;
    return outBlockSocketId >= 0 && outBlockSocketId < out->second.description->outputs.size() &&
           inBlockSocketId >= 0 && inBlockSocketId < in->second.description->inputs.size();
}

bool PatchDocument::addConnection(int id, int outBlockId, int outBlockSocketId, int inBlockId,
                                  int inBlockSocketId)
{
    if (!acceptsConnection(outBlockId, outBlockSocketId, inBlockId, inBlockSocketId))
        return false;
    const auto out = instances.find(outBlockId);
    const auto in = instances.find(inBlockId);
    if (fitCounted)
        fitTally.addCable();

    if (connections.count(id))
        dropConnection(id);
    if (const BlockConnection* onInput = in->second.inputs.value(inBlockSocketId))
        dropConnection(onInput->id);
    if (const BlockConnection* onOutput = out->second.outputs.value(outBlockSocketId))
        dropConnection(onOutput->id);
    BlockConnection& connection = connections[id];
    connection.id = id;
    connection.outBlock = &out->second;
    connection.inBlock = &in->second;
    connection.outBlockSocketId = outBlockSocketId;
    connection.inBlockSocketId = inBlockSocketId;
    out->second.outputs.insert(outBlockSocketId, &connection);
    in->second.inputs.insert(inBlockSocketId, &connection);
    scene->addConnection(id, outBlockId, outBlockSocketId, inBlockId, inBlockSocketId);
    markChanged();
    return true;
}

void PatchDocument::detachConnection(const BlockConnection& connection)
{
    // A socket table may already hold a later cable on that socket; that one stays.
    if (connection.outBlock &&
        connection.outBlock->outputs.value(connection.outBlockSocketId) == &connection)
        connection.outBlock->outputs.remove(connection.outBlockSocketId);
    if (connection.inBlock &&
        connection.inBlock->inputs.value(connection.inBlockSocketId) == &connection)
        connection.inBlock->inputs.remove(connection.inBlockSocketId);
}

void PatchDocument::dropConnection(qint32 id)
{
    const auto found = connections.find(id);
    if (found == connections.end())
        return;
    detachConnection(found->second);
    scene->removeConnection(id);
    connections.erase(found);
}

void PatchDocument::removeConnection(int id)
{
    if (!connections.count(id))
        return;
    dropConnection(id);
    markChanged();
}

void PatchDocument::editVariable(int blockId, int variableId, const QString& value)
{
    const auto found = instances.find(blockId);
    if (found == instances.end() || variableId < 0 || variableId >= found->second.values.size())
        return;
    if (fitCounted) {
        QStringList after = found->second.values;
        after[variableId] = value;
        fitTally.replaceValues(found->second.values, after);
    }
    found->second.values[variableId] = value;
    host->variableChanged(blockId, variableId, value);
    scene->update();
    markChanged();
}

Comment* PatchDocument::addComment(int id, int x, int y, const QString& text)
{
    if (comments_.count(id)) {
        removingComment = id;
        scene->removeComment(id);
        removingComment = -1;
        comments_.erase(id);
    }
    Comment& stored = comments_[id];
    stored.id = id;
    stored.x = x;
    stored.y = y;
    stored.text = text;
    if (fitCounted)
        fitTally.add(stored);
    if (PatchComment* item = scene->addComment(id, x, y, &stored)) {
        connect(item, &PatchComment::edited, this, &PatchDocument::editCommentHandler);
        connect(item, &PatchComment::linkActivated, this, &PatchDocument::commentLink);
    }
    scene->editComment(id, x, y, text);
    markChanged();
    return &stored;
}

Comment* PatchDocument::addComment(int x, int y)
{
    Comment* stored = addComment(highestCommentId() + 1, x, y);
    if (QWidget* focused = QApplication::focusWidget())
        focused->clearFocus();
    setFocus();
    scene->editComment(stored->id);
    return stored;
}

void PatchDocument::editComment(int id, int x, int y, const QString& text)
{
    const auto found = comments_.find(id);
    if (found == comments_.end())
        return;
    if (fitCounted)
        fitTally.replaceText(found->second.text, text);
    found->second.text = text;
    found->second.x = x;
    found->second.y = y;
    scene->editComment(id, x, y, text);
    markChanged();
}

void PatchDocument::removeComment(int id)
{
    if (!comments_.count(id))
        return;
    // An item that loses its focus as it goes reports a last edit; that edit is not wanted.
    removingComment = id;
    scene->removeComment(id);
    removingComment = -1;
    comments_.erase(id);
}

void PatchDocument::clear()
{
    // One selection report while every instance still exists; nothing selected goes after it.
    scene->deselectAll();
    while (!connections.empty())
        removeConnection(connections.begin()->first);
    while (!instances.empty())
        removeBlock(instances.begin()->first);
}

void PatchDocument::setZoomLevel(int zoomLevel)
{
    // A stored level scaled step by step took 65,535 steps and overflowed past 5,080.
    const int level = qBound(-maxReadZoomLevel, zoomLevel, maxReadZoomLevel);
    info.zoomLevel = level;
    resetTransform();
    if (level == 0)
        return;
    const double factor = std::pow(zoomFactor, level);
    scale(factor, factor);
    markChanged();
}

void PatchDocument::setChanged(bool changed)
{
    changed_ = changed;
    emit hasChanged(changed);
}

void PatchDocument::addBlockDescription(const BlockDescription& description)
{
    if (descriptions.contains(description.name))
        return;
    const auto stored = descriptions.insert(description.name, description);
    descriptionCategories[stored->category].append(&*stored);
}

void PatchDocument::updateDescriptionOrigin(const QString& name,
                                            BlockDescription::BlockOrigin origin)
{
    const auto found = descriptions.find(name);
    if (found == descriptions.end() || found->origin == origin)
        return;
    found->origin = origin;
    // Whether its file is carried may have changed: the next check counts afresh.
    fitCounted = false;
}

// ---- queries --------------------------------------------------------------------------------

const BlockInstance* PatchDocument::blockInstance(int id) const
{
    const auto found = instances.find(id);
    return found == instances.end() ? nullptr : &found->second;
}

InstanceList PatchDocument::blockInstances() const
{
    InstanceList list;
    list.reserve(int(instances.size()));
    for (const auto& entry : instances)
        list.append(&entry.second);
    return list;
}

QList<const BlockConnection*> PatchDocument::blockConnections() const
{
    QList<const BlockConnection*> list;
    list.reserve(int(connections.size()));
    for (const auto& entry : connections)
        list.append(&entry.second);
    return list;
}

const BlockConnection* PatchDocument::blockConnection(int id) const
{
    const auto found = connections.find(id);
    return found == connections.end() ? nullptr : &found->second;
}

QList<Comment*> PatchDocument::comments()
{
    QList<Comment*> list;
    list.reserve(int(comments_.size()));
    for (auto& entry : comments_)
        list.append(&entry.second);
    return list;
}

Comment* PatchDocument::comment(int id)
{
    const auto found = comments_.find(id);
    return found == comments_.end() ? nullptr : &found->second;
}

int PatchDocument::highestInstanceId() const
{
    return instances.empty() ? 0 : std::max(0, instances.rbegin()->first);
}

int PatchDocument::highestConnectionId() const
{
    return connections.empty() ? 0 : std::max(0, connections.rbegin()->first);
}

int PatchDocument::highestCommentId() const
{
    return comments_.empty() ? 0 : std::max(0, comments_.rbegin()->first);
}

InstanceList PatchDocument::selectedInstances() const
{
    InstanceList list;
    const QList<QGraphicsItem*> selected = scene->selectedItems();
    for (QGraphicsItem* item : selected) {
        if (item->type() != CanvasBlock::Type)
            continue;
        if (const BlockInstance* instance = static_cast<CanvasBlock*>(item)->instance())
            list.append(instance);
    }
    return list;
}

QList<Comment*> PatchDocument::selectedComments()
{
    QList<Comment*> list;
    const QList<QGraphicsItem*> selected = scene->selectedItems();
    for (QGraphicsItem* item : selected) {
        if (item->type() != PatchComment::Type)
            continue;
        if (Comment* stored = comment(static_cast<PatchComment*>(item)->id()))
            list.append(stored);
    }
    return list;
}

const BlockDescription* PatchDocument::getBlockDescription(const QString& name) const
{
    const auto found = descriptions.constFind(name);
    return found == descriptions.constEnd() ? nullptr : &*found;
}

QHash<QString, BlockDescription> PatchDocument::getUserBlockFiles(bool* ok) const
{
    if (ok)
        *ok = true;
    QHash<QString, BlockDescription> files;
    for (const auto& entry : instances) {
        const BlockDescription* description = entry.second.description;
        if (!RecordFit::isCarried(description) || files.contains(description->name))
            continue;
        BlockDescription carried;
        carried.name = description->name;
        carried.fileName = description->fileName;
        carried.filePath = description->filePath;
        if (carried.filePath.isEmpty()) {
            carried.rawData = description->rawData;
        } else {
            QFile file(carried.filePath);
            if (!file.open(QIODevice::ReadOnly)) {
                qWarning().noquote() << QStringLiteral("Could not read file : ") + carried.filePath;
                if (ok)
                    *ok = false;
                return {};
            }
            carried.rawData = file.readAll();
        }
        files.insert(carried.name, carried);
    }
    return files;
}

// ---- undo -----------------------------------------------------------------------------------

void PatchDocument::push(QUndoCommand* command)
{
    if (closing) {
        delete command;
        return;
    }
    // A push while the stack steps would drop the redo tail, the running command with it. Such
    // a request only follows from the running command itself, so it is carried out in place.
    if (stepping) {
        command->redo();
        delete command;
        return;
    }
    // A keyboard move still waiting for its relay would otherwise take this step in.
    scene->closePendingMove();
    stack->push(command);
}

void PatchDocument::undo()
{
    while (macroDepth > 0) {
        --macroDepth;
        stack->endMacro();
    }
    stepping = true;
    stack->undo();
    stepping = false;
    emit undoCompleted();
}

void PatchDocument::redo()
{
    while (macroDepth > 0) {
        --macroDepth;
        stack->endMacro();
    }
    stepping = true;
    stack->redo();
    stepping = false;
    emit redoCompleted();
}

void PatchDocument::selectAll()
{
    scene->selectAll();
}

void PatchDocument::clearUndoStack()
{
    stack->clear();
}

void PatchDocument::beginUndoMacro(QString text)
{
    if (closing)
        return;
    scene->closePendingMove();
    ++macroDepth;
    stack->beginMacro(text);
}

void PatchDocument::endUndoMacro()
{
    // The macro may already be closed by an undo or redo; a late close must not end another.
    if (closing || macroDepth == 0)
        return;
    --macroDepth;
    stack->endMacro();
}

void PatchDocument::undoHandler(int index)
{
    QAction* undoAction = host->getAction(QStringLiteral("undo"));
    QAction* redoAction = host->getAction(QStringLiteral("redo"));
    const int count = stack->count();
    const bool canUndo = count > 0 && index > 0;
    const bool canRedo = count > 0 && index < count;
    if (undoAction)
        undoAction->setEnabled(canUndo);
    if (redoAction)
        redoAction->setEnabled(canRedo);
}

// ---- handlers -------------------------------------------------------------------------------

void PatchDocument::addBlockHandler(QString descriptionName, int x, int y)
{
    // The block as createBlockInstance will make it.
    BlockInstance block;
    block.description = host->blockDescription(descriptionName, true);
    if (block.description) {
        block.id = highestInstanceId() + 1;
        for (const Variable& variable : block.description->variables)
            block.values.append(initialValue(variable));
        const QString refused = tr("The block was not added. %1");
        const QString item = RecordFit::problem(block);
        if (!item.isEmpty()) {
            qWarning().noquote() << refused.arg(item);
            return;
        }
        if (!fits([&block](RecordFit::Tally& tally) { tally.add(block); }, refused))
            return;
    }
    push(new AddBlockCommand(this, descriptionName, x, y, nullptr));
}

void PatchDocument::addBlockInstanceHandler(QString descriptionName, int x, int y,
                                            const BlockInstance* initInstance)
{
    push(new AddBlockCommand(this, descriptionName, x, y, initInstance));
}

void PatchDocument::moveBlockHandler(int id, int x, int y)
{
    push(new MoveBlockCommand(this, id, x, y));
}

void PatchDocument::removeBlockHandler(int id)
{
    push(new RemoveBlockCommand(this, id));
}

void PatchDocument::addConnectionHandler(int id, int outBlockId, int outBlockSocketId,
                                         int inBlockId, int inBlockSocketId)
{
    push(new AddConnectionCommand(this, id, outBlockId, outBlockSocketId, inBlockId,
                                  inBlockSocketId));
}

void PatchDocument::removeConnectionHandler(int id, int outBlockId, int outBlockSocketId,
                                            int inBlockId, int inBlockSocketId)
{
    push(new RemoveConnectionCommand(this, id, outBlockId, outBlockSocketId, inBlockId,
                                     inBlockSocketId));
}

void PatchDocument::addCommentHandler()
{
    if (closing || host->currentDocument() != this)
        return;
    if (!fits([](RecordFit::Tally& tally) { tally.add(Comment()); },
              tr("The comment was not added. %1")))
        return;
    const QPointF click = scene->lastClickPosition();
    push(new AddCommentCommand(this, int(click.x()), int(click.y()), 0));
}

void PatchDocument::addCommentInstanceHandler(int id, int x, int y, QString text)
{
    if (closing)
        return;
    scene->closePendingMove();
    stack->beginMacro(QStringLiteral("add comment"));
    push(new AddCommentCommand(this, x, y, id));
    push(new EditCommentCommand(this, id, x, y, text));
}

void PatchDocument::editCommentHandler(int id, int x, int y, QString text)
{
    if (id == removingComment || !comments_.count(id))
        return;
    const Comment& stored = comments_.at(id);
    Comment edited = stored;
    edited.text = text;
    const QString refused = tr("The comment keeps its earlier text. %1");
    QString reason = RecordFit::problem(edited);
    if (!reason.isEmpty()) {
        qWarning().noquote() << refused.arg(reason);
    } else if (fits([&](RecordFit::Tally& tally) { tally.replaceText(stored.text, text); },
                    refused)) {
        push(new EditCommentCommand(this, id, x, y, text));
        return;
    }
    // The item shows what was typed; it goes back to what the patch holds.
    scene->editComment(id, stored.x, stored.y, stored.text);
}

void PatchDocument::connectionRequested(int id, int outBlockId, int outBlockSocketId, int inBlockId,
                                        int inBlockSocketId)
{
    if (acceptsConnection(outBlockId, outBlockSocketId, inBlockId, inBlockSocketId)) {
        // The block it leaves, with the cable.
        BlockInstance from = instances.at(outBlockId);
        BlockConnection cable;
        cable.outBlock = &instances.at(outBlockId);
        cable.inBlock = &instances.at(inBlockId);
        cable.outBlockSocketId = outBlockSocketId;
        cable.inBlockSocketId = inBlockSocketId;
        from.outputs.insert(outBlockSocketId, &cable);
        const QString refused = tr("The cable was not added. %1");
        const QString item = RecordFit::problem(from);
        if (!item.isEmpty()) {
            qWarning().noquote() << refused.arg(item);
            return;
        }
        if (!fits([](RecordFit::Tally& tally) { tally.addCable(); }, refused))
            return;
    }
    addConnectionHandler(id, outBlockId, outBlockSocketId, inBlockId, inBlockSocketId);
}

bool PatchDocument::acceptsValue(int blockId, int variableId, const QString& value)
{
    const auto found = instances.find(blockId);
    if (found == instances.end() || variableId < 0 || variableId >= found->second.values.size())
        return true;
    const BlockInstance& stored = found->second;
    BlockInstance edited = stored;
    edited.values[variableId] = value;
    const QString refused = tr("The value was not changed. %1");
    QString reason = RecordFit::problem(edited);
    if (!reason.isEmpty()) {
        qWarning().noquote() << refused.arg(reason);
    } else if (fits(
                   [&](RecordFit::Tally& tally) {
                       tally.replaceValues(stored.values, edited.values);
                   },
                   refused)) {
        return true;
    }
    host->variableChanged(blockId, variableId, stored.values.at(variableId));
    return false;
}

bool PatchDocument::acceptsPaste(const QList<const BlockInstance*>& blocks,
                                 const QList<const Comment*>& comments,
                                 const QString& refused) const
{
    for (const BlockInstance* block : blocks) {
        const QString reason = RecordFit::problem(*block);
        if (!reason.isEmpty()) {
            qWarning().noquote() << refused.arg(reason);
            return false;
        }
    }
    for (const Comment* comment : comments) {
        const QString reason = RecordFit::problem(*comment);
        if (!reason.isEmpty()) {
            qWarning().noquote() << refused.arg(reason);
            return false;
        }
    }
    return fits(
        [&](RecordFit::Tally& tally) {
            for (const BlockInstance* block : blocks)
                tally.add(*block);
            for (const Comment* comment : comments)
                tally.add(*comment);
        },
        refused);
}

bool PatchDocument::fits(const std::function<void(RecordFit::Tally&)>& grow,
                         const QString& refused) const
{
    auto count = [this] {
        QList<const Comment*> list;
        for (const auto& entry : comments_)
            list.append(&entry.second);
        fitTally = RecordFit::tally(blockInstances(), list);
        fitCounted = true;
    };
    const bool kept = fitCounted;
    if (!kept)
        count();
    RecordFit::Tally after = fitTally;
    grow(after);
    QString reason = RecordFit::problem(after, info);
    // The kept tally may count more than the patch holds.
    if (!reason.isEmpty() && kept) {
        count();
        after = fitTally;
        grow(after);
        reason = RecordFit::problem(after, info);
    }
    if (reason.isEmpty())
        return true;
    qWarning().noquote() << refused.arg(reason);
    return false;
}

void PatchDocument::removeCommentHandler(int id)
{
    push(new RemoveCommentCommand(this, id));
}

// ---- view -----------------------------------------------------------------------------------

void PatchDocument::commentLink(QString link)
{
    if (link.endsWith(QLatin1String(".ktl")))
        host->openFromPath(QDir::toNativeSeparators(link));
}

// The viewport's middle, not the widget's: the scroll bars moved the point on every save and
// reopen. centerOn() truncates its scroll offsets, so a point truncated in turn came back a pixel
// off whenever the viewport's size was odd; the lowest whole point at or after the exact middle
// comes back where it was.
QPoint PatchDocument::savedCentre() const
{
    const QWidget* port = viewport();
    const QPointF centre =
        viewportTransform().inverted().map(QPointF(port->width() / 2.0, port->height() / 2.0));
    // Far below a scene unit, above the rounding of the mapping.
    constexpr double slack = 1e-6;
    return QPoint(int(std::ceil(centre.x() - slack)), int(std::ceil(centre.y() - slack)));
}

void PatchDocument::centreView()
{
    centerOn(2000, 2000);
}

void PatchDocument::zoomStep(bool in)
{
    info.zoomLevel += in ? 1 : -1;
    const double factor = in ? zoomFactor : 1.0 / zoomFactor;
    scale(factor, factor);
    markChanged();
}

void PatchDocument::zoomIn()
{
    zoomStep(true);
}

void PatchDocument::zoomOut()
{
    zoomStep(false);
}

void PatchDocument::zoomReset()
{
    info.zoomLevel = 0;
    resetTransform();
    markChanged();
}

void PatchDocument::wheelEvent(QWheelEvent* event)
{
    if (event->modifiers() == Qt::ControlModifier) {
        zoomStep(event->angleDelta().y() > 0);
        event->accept();
        return;
    }
    QGraphicsView::wheelEvent(event);
}
