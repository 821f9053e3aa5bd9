#include "RemoveConnectionCommand.h"

#include "PatchDocument.h"

RemoveConnectionCommand::RemoveConnectionCommand(PatchDocument* document, int id, int outBlockId,
                                                 int outBlockSocketId, int inBlockId,
                                                 int inBlockSocketId)
    : document(document), id(id), outBlockId(outBlockId), outBlockSocketId(outBlockSocketId),
      inBlockId(inBlockId), inBlockSocketId(inBlockSocketId)
{
    setText(QStringLiteral("delete connection"));
}

void RemoveConnectionCommand::redo()
{
    removed = document->blockConnection(id) != nullptr;
    document->removeConnection(id);
}

void RemoveConnectionCommand::undo()
{
    // A cable that was not there is not made by undoing its removal.
    if (removed)
        document->addConnection(id, outBlockId, outBlockSocketId, inBlockId, inBlockSocketId);
}
