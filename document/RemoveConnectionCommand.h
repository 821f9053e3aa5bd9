#pragma once

#include <QUndoCommand>

class PatchDocument;

// Deletes a cable; undo adds it again under the same id and on the same sockets.
class RemoveConnectionCommand : public QUndoCommand
{
public:
    RemoveConnectionCommand(PatchDocument* document, int id, int outBlockId, int outBlockSocketId,
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
    bool removed = false;
};
