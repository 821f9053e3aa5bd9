// Document tabs: creating, switching, marking, closing, and forwarding edits to the current one.
#include "MainWindow.h"

#include "DisplayText.h"
#include "EditVariableCommand.h"
#include "Emulator.h"
#include "FirmwarePipeline.h"
#include "Help.h"
#include "Inspector.h"
#include "PatchCable.h"
#include "PatchDocument.h"
#include "PatchScene.h"
#include "PlainBox.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTextEdit>
#include <QUndoStack>

#include <algorithm>

namespace {

// Widgets that keep Backspace for themselves: text fields edit with it, and in a text view
// (the read-only Help and Console too) it must not reach the canvas's selection.
bool keepsTheKey(const QObject* widget)
{
    if (const auto* combo = qobject_cast<const QComboBox*>(widget))
        return combo->isEditable();
    return qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
           qobject_cast<const QPlainTextEdit*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget);
}

} // namespace

PatchDocument* MainWindow::documentAt(int index) const
{
    return qobject_cast<PatchDocument*>(tabs->widget(index));
}

QString MainWindow::tabTitle(const PatchDocument* doc, bool changed) const
{
    QString title = doc->patchInfo()->name;
    if (changed)
        title += QStringLiteral(" *");
    return title;
}

void MainWindow::newDocument()
{
    auto* doc = new PatchDocument(this, this);
    QString title = doc->patchInfo()->name;
    if (documentCounter != 0)
        title += QStringLiteral(" ") + QString::number(documentCounter);
    const int index = tabs->addTab(doc, title);
    tabs->setCurrentIndex(index);
    doc->patchInfo()->name = title;

    connect(doc->patchScene(), &PatchScene::blockSelected, this, &MainWindow::selectBlockHandler);
    setDocument(tabs->currentIndex());
    inspector->clear();
    enableDocumentActions(true);
    doc->centreView();
    connect(doc, &PatchDocument::hasChanged, this, &MainWindow::documentChanged);
    ++documentCounter;
}

void MainWindow::setDocument(int index)
{
    // Text still being typed belongs to the document that was current.
    inspector->commitEdits();
    if (index >= 0 && index < tabs->count())
        tabs->setCurrentIndex(index);
    document = documentAt(tabs->currentIndex());
    inspector->clear();
    updateUndoActions();
}

void MainWindow::updateUndoActions()
{
    QAction* undoAction = getAction("undo");
    QAction* redoAction = getAction("redo");
    const QUndoStack* stack = document ? document->undoStack() : nullptr;
    if (!stack || stack->count() == 0) {
        undoAction->setEnabled(false);
        redoAction->setEnabled(false);
    } else if (stack->index() == 0) {
        undoAction->setEnabled(false);
        redoAction->setEnabled(true);
    } else if (stack->index() == stack->count()) {
        undoAction->setEnabled(true);
        redoAction->setEnabled(false);
    } else {
        undoAction->setEnabled(true);
        redoAction->setEnabled(true);
    }
}

void MainWindow::enableDocumentActions(bool on)
{
    for (const char* name : {"save_patch", "save_patch_as", "close_current_patch"})
        getAction(name)->setEnabled(on);
    getAction("undo")->setEnabled(false);
    getAction("redo")->setEnabled(false);
    for (const char* name : {"paste", "comment", "compile", "emulator_toggle", "patch_info",
                             "zoom_in", "zoom_out", "zoom_reset"})
        getAction(name)->setEnabled(on);
    if (firmwareBusy)
        getAction("compile")->setEnabled(false);
}

void MainWindow::enableBlockActions(bool on)
{
    getAction("delete")->setEnabled(on);
    getAction("copy")->setEnabled(on);
}

void MainWindow::selectBlockHandler(InstanceList instances, bool commentsSelected)
{
    if (instances.size() != 1) {
        inspector->clear();
    } else if (!commentsSelected) {
        const BlockInstance* instance = instances.first();
        inspector->showProperties(instance);
        if (instance->description)
            help->display(instance->description->name, instance->description->help);
    }
    enableBlockActions(!instances.isEmpty() || commentsSelected);
    // Cables alone can be deleted too, though there is nothing to copy.
    if (instances.isEmpty() && !commentsSelected && document) {
        const QList<QGraphicsItem*> selected = document->patchScene()->selectedItems();
        const bool cables =
            std::any_of(selected.cbegin(), selected.cend(),
                        [](QGraphicsItem* item) { return item->type() == PatchCable::Type; });
        getAction("delete")->setEnabled(cables);
    }
}

// The mark goes to the tab of the document that changed, which need not be the current one.
void MainWindow::documentChanged(bool flag)
{
    auto* doc = qobject_cast<PatchDocument*>(sender());
    if (!doc)
        doc = document;
    if (!doc)
        return;
    // Every change of a document lands here; laying out the tab bar each time would cost an
    // open of many blocks more than the blocks themselves.
    const int index = tabs->indexOf(doc);
    const QString title = tabTitle(doc, flag);
    if (index >= 0 && tabs->tabText(index) != title)
        tabs->setTabText(index, title);
}

// True means: keep the document open. A save that fails or is cancelled keeps it too, so
// closing never loses the changes.
bool MainWindow::askForSave(PatchDocument* doc)
{
    if (!doc)
        doc = document;
    if (!doc || !doc->changed())
        return false;
    QMessageBox box(QMessageBox::Warning, QString(), QString(),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    util::setPlainTexts(box, "\"" + util::displayName(doc->patchInfo()->name) +
                                 tr("\" has unsaved changes. \nDo you want to save them now?"));
    box.setDefaultButton(QMessageBox::Yes);
    switch (box.exec()) {
    case QMessageBox::Yes: {
        const SaveResult result =
            doc->patchInfo()->path.isEmpty() ? savePatchAs(doc) : savePatch(doc);
        return result != SaveResult::Saved;
    }
    case QMessageBox::No:
        return false;
    default:
        return true;
    }
}

void MainWindow::closeDocument(int index)
{
    PatchDocument* doc = documentAt(index);
    if (!doc)
        return;
    commitPendingEdits();
    if (doc->isPlaying())
        emulateToggle();
    if (askForSave(doc))
        return;
    if (doc == fetchingDocument)
        dropBlockFetch();

    tabs->removeTab(tabs->indexOf(doc));
    if (tabs->count() > 0) {
        document = documentAt(tabs->currentIndex());
    } else {
        document = nullptr;
        enableDocumentActions(false);
    }
    inspector->clear();
    doc->clear();
    doc->setChanged(false);
    delete doc;
}

void MainWindow::closeCurrentDocument()
{
    if (tabs->currentIndex() >= 0)
        closeDocument(tabs->currentIndex());
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    commitPendingEdits();
    saveWindowState();
    if (document) {
        for (int i = 0; i < tabs->count(); ++i) {
            PatchDocument* doc = documentAt(i);
            if (doc && doc->changed() && askForSave(doc)) {
                event->ignore();
                return;
            }
        }
    }
    event->accept();
    emulator->stop();
    emulating = false;
    // A firmware build of a closed editor would upload behind the user's back.
    if (firmware)
        firmware->cancel();
}

bool MainWindow::isDocumentEmpty() const
{
    return document && document->isEmpty();
}

void MainWindow::editVariableHandler(int blockId, int variableId, QString value)
{
    if (!document || !document->blockInstance(blockId) ||
        !document->acceptsValue(blockId, variableId, value))
        return;
    // A keyboard move still waiting for its relay would otherwise take the edit in.
    document->patchScene()->closePendingMove();
    document->undoStack()->push(new EditVariableCommand(document, blockId, variableId, value));
}

void MainWindow::undo()
{
    if (document)
        document->undo();
}

void MainWindow::redo()
{
    if (document)
        document->redo();
}

void MainWindow::selectAll()
{
    if (document)
        document->selectAll();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The shortcut acts in the canvas and in widgets that have no use for the key; the menu
    // entry acts from anywhere.
    if (event->type() == QEvent::ShortcutOverride && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this && keepsTheKey(watched)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const QAction* remove = getAction("delete");
        if (remove && QKeySequence(int(key->modifiers()) | key->key()) == remove->shortcut())
            event->accept();
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::deleteSelectedObjects()
{
    if (document)
        document->patchScene()->deleteSelectedObjects();
}
