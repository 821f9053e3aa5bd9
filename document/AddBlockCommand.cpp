#include "AddBlockCommand.h"

#include "PatchDocument.h"

namespace {

// The stored copy keeps no cable pointers: its cables are other commands' business and may be
// gone when it is used.
BlockInstance withoutCables(const BlockInstance& instance)
{
    BlockInstance copy = instance;
    copy.inputs.clear();
    copy.outputs.clear();
    return copy;
}

} // namespace

AddBlockCommand::AddBlockCommand(PatchDocument* document, const QString& name, int x, int y,
                                 const BlockInstance* source)
    : document(document), name(name), x(x), y(y)
{
    setText(QStringLiteral("add DSP-Block"));
    if (source) {
        stored = withoutCables(*source);
        storedValid = true;
    }
}

void AddBlockCommand::redo()
{
    BlockInstance* made = document->addBlock(name, x, y, storedValid ? &stored : nullptr);
    if (made && !storedValid) {
        stored = withoutCables(*made);
        storedValid = true;
    }
}

void AddBlockCommand::undo()
{
    if (storedValid)
        document->removeBlock(stored.id);
}
