#pragma once

#include "BlockDescription.h"
#include "DocumentHost.h"

// The least a document needs to run outside the main window: one library block, "Mixer"
// (two inputs, two outputs), and no actions.
class BenchHost : public DocumentHost
{
public:
    BenchHost();

    QAction* getAction(const QString&) const override { return nullptr; }
    const BlockDescription* blockDescription(const QString& name, bool) const override;
    PatchDocument* currentDocument() const override { return nullptr; }
    void openFromPath(QString) override {}
    void variableChanged(int, int, const QString&) override {}

private:
    BlockDescription mixer;
};
