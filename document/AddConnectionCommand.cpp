#include "AddConnectionCommand.h"

#include "PatchDocument.h"

AddConnectionCommand::AddConnectionCommand(PatchDocument* document, int id, int outBlockId,
                                           int outBlockSocketId, int inBlockId, int inBlockSocketId)
    : document(document), id(id), outBlockId(outBlockId), outBlockSocketId(outBlockSocketId),
      inBlockId(inBlockId), inBlockSocketId(inBlockSocketId)
{
    setText(QStringLiteral("create new connection"));
}

void AddConnectionCommand::redo()
{
    added = document->addConnection(id, outBlockId, outBlockSocketId, inBlockId, inBlockSocketId);
}

void AddConnectionCommand::undo()
{
    // A refused connection leaves an older cable of that id alone.
    if (added)
        document->removeConnection(id);
}
