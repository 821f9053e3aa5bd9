#pragma once

#include "PackedPatch.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class BlockDescription;
class PatchDocument;

// The steps that turn a decoded patch into a document, the same for every way a patch is
// opened (a file, the firmware image, a download): bind the stored blocks to descriptions, then
// add the blocks, the cables and the comments. Each step takes time linear in what the patch
// holds; the main window adds the questions and the view.
class PatchOpener
{
public:
    // The block library's description of a name, or null.
    using Library = std::function<const BlockDescription*(const QString&)>;

    struct Binding
    {
        // Names that no description serves, each once, in the order first met, with the hash
        // its first instance stored.
        QStringList notFound;
        QStringList notFoundHashes;
        // Names whose description is not the one the patch was made with.
        QStringList different;
        // Carried blocks whose file cannot be read, by the name the file still gives; their
        // instances are not asked for.
        QStringList damaged;
        // Carried files that cannot be read and name no block.
        int unnamed = 0;
    };

    // Instances that addBlocks left out, by name in the order first met: those no description
    // serves, and those whose id an earlier instance of the record has.
    struct LeftOut
    {
        QStringList names;
        QHash<QString, int> counts;
        QStringList repeatedNames;
        QHash<QString, int> repeatedCounts;
        int total = 0;
    };

    // Adds each carried block file that the library lacks, or holds in another version, to the
    // document (the first of a name is kept), then looks up every instance's description: the
    // document's own, else the library's. "Audio Input" and "Audio Output" are never different.
    static Binding bindBlocks(PatchDocument* document, const PackedPatch& patch,
                              const QList<QByteArray>& blockFiles, const Library& library);

    // Adds every instance that has a description, with the patch's node id where it has none
    // of its own and the description's defaults for values it lacks. An instance without a
    // description is left out, with one message per name; so is one whose id an earlier
    // instance of the record has (the first of an id is the one built). Returns how many were
    // left out, and which in `leftOut` when given.
    static int addBlocks(PatchDocument* document, const PackedPatch& patch, const Library& library,
                         LeftOut* leftOut = nullptr);

    // Adds the cables, numbered from 0 in stored order; those stored with an instance that
    // addBlocks left out for its repeated id go with it. A socket takes one cable, as on the
    // canvas: of the cables to one input, or from one output, the last stays and the others
    // are dropped, with one warning that says how many. Returns that number.
    static int addCables(PatchDocument* document, const PackedPatch& patch);

    // Adds the comments, each with its text set once.
    static void addComments(PatchDocument* document, const PackedPatch& patch);
};
