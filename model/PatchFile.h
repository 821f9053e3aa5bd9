#pragma once

#include "BlockDescription.h"
#include "PackedPatch.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// The saved patch file: a patch record, then for each carried block file the separator and
// the file compressed as qCompress does. Version 5 and later use util::bin::separator, older
// files the 3-byte old separator.
namespace util {

// The block-file parts: for each description the separator, then its rawData compressed.
// Empty when `blocks` is empty.
QByteArray packBlocks(const QHash<QString, BlockDescription>& blocks);

// The bytes of a saved patch: the record, and the carried block files when `includeBlocks`.
QByteArray patchFileBytes(const QByteArray& record, const QHash<QString, BlockDescription>& blocks,
                          bool includeBlocks);

// Splits a patch file into [record, first block part, second, ...], the block parts still
// compressed. Each part is found by reading it (block records of version 0, or the zlib
// stream of the record or block file), so separator bytes inside a part do not split it;
// from the first part that does not read that way on, the rest is split at each separator
// from the end, as earlier releases did.
QList<QByteArray> unpackPatch(const QByteArray& file);

struct PatchFileContents
{
    PackedPatch patch;
    // Uncompressed, in file order, together at most util::bin::maxUncompressedSize bytes. A
    // part that would pass that gives an empty entry; one that is damaged gives what it holds
    // before the damage, which is no readable block file but may still name its block
    // (BlockManager::blockName).
    QList<QByteArray> blockFiles;
    // The carried parts that did not inflate: damaged ones by the block each still names
    // (once a name), the rest counted. The open reports them with the blocks they cost.
    QStringList damagedBlocks;
    int unnamedDamaged = 0;
    int tooLarge = 0;
    // The record read completely (util::isPatchRecord); a damaged one still gives what could
    // be read.
    bool complete = false;

    // Anything at all came of the record: it read completely (an empty patch too), or a
    // damaged one still gave a block or a comment.
    bool readable() const
    {
        return complete || !patch.blocks.isEmpty() || !patch.comments.isEmpty();
    }
};

// unpackPatch, the block parts uncompressed, and the record read by util::readPatchRecord.
// The patch keeps the name stored in the record.
PatchFileContents readPatchFile(const QByteArray& file);

} // namespace util
