#pragma once

#include "BlockInstance.h"

#include <QString>
#include <QUndoCommand>

class PatchDocument;

// Places a block. Without a source the first redo makes the instance; every later redo
// brings back that same instance (id, node id, values).
class AddBlockCommand : public QUndoCommand
{
public:
    AddBlockCommand(PatchDocument* document, const QString& name, int x, int y,
                    const BlockInstance* source);

    void undo() override;
    void redo() override;

private:
    PatchDocument* document;
    QString name;
    int x;
    int y;
    BlockInstance stored;
    // Clear until an instance was made or given: undo then has nothing to take away.
    bool storedValid = false;
};
