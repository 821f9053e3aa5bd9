#pragma once

#include <QUndoCommand>

class PatchDocument;

// Adds a cable under the id the scene chose.
class AddConnectionCommand : public QUndoCommand
{
public:
    AddConnectionCommand(PatchDocument* document, int id, int outBlockId, int outBlockSocketId,
                         int inBlockId, int inBlockSocketId);

    void undo() override;
    void redo() override;

private:
    PatchDocument* document;
    int id;
    int outBlockId;
    int outBlockSocketId;
    int inBlockId;
    int inBlockSocketId;
    // Whether the last redo changed anything: undo takes back only that.
    bool added = false;
};
