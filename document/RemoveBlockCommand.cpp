#include "RemoveBlockCommand.h"

#include "BlockDescription.h"
#include "PatchDocument.h"

RemoveBlockCommand::RemoveBlockCommand(PatchDocument* document, int id) : document(document), id(id)
{
    setText(QStringLiteral("delete DSP-Block"));
    if (const BlockInstance* instance = document->blockInstance(id)) {
        stored = *instance;
        // Its cables go with it and come back through their own commands.
        stored.inputs.clear();
        stored.outputs.clear();
        storedValid = true;
    }
}

void RemoveBlockCommand::redo()
{
    if (storedValid)
        document->removeBlock(id);
}

void RemoveBlockCommand::undo()
{
    if (storedValid)
        document->addBlock(stored.description->name, stored.x, stored.y, &stored);
}
