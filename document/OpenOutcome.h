#pragma once

#include "PatchOpener.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace util {
struct PatchFileContents;
}

// What one open of a patch brought into its document and what it could not. Every way a patch
// opens (a file, a download, the firmware image, blocks fetched for it) answers to this one
// rule: the document takes its file's path only when the outcome is whole, so that a Save can
// never write back less than the file held.
class OpenOutcome
{
public:
    OpenOutcome() = default;
    // The record as the file reader found it, and its carried parts that did not inflate.
    explicit OpenOutcome(const util::PatchFileContents& contents);

    // The carried files that do not read as block descriptions.
    void addBinding(const PatchOpener::Binding& binding);
    // The instances that were not built.
    void addLeftOut(const PatchOpener::LeftOut& leftOut);
    // The blocks the library lacked were asked of the repository.
    void setFetched() { fetched = true; }

    bool whole() const;
    // The warning that names the blocks left out, and the carried files not read, with the
    // reason of each; empty when there are none. `ofFile`: the patch came from a file, which
    // its tab is then not tied to.
    QString report(bool ofFile) const;

private:
    bool recordWhole = true;
    bool fetched = false;
    QStringList damagedStreams;
    QStringList unreadable;
    int unnamed = 0;
    int unnamedDamaged = 0;
    int tooLarge = 0;
    PatchOpener::LeftOut leftOut;
};
