#pragma once

#include "RepositoryBlock.h"
#include "RepositoryComment.h"
#include "RepositoryPatch.h"

#include <QByteArray>

// The repository's XML replies read into records, and the matching of the blocks a patch
// lacks against the server's block list. Free of network and widgets; any body is safe input.
class RepositoryReader
{
public:
    struct Version
    {
        int major = 0;
        int sub = 0;
        int build = 0;
    };

    // More entries than any repository holds; a longer list is refused as a whole.
    static constexpr int maxEntries = 65536;

    // Each list reader fills `out` only when the body is a document whose root element has the
    // list's name and that holds at most maxEntries entries; otherwise it returns false and
    // leaves `out` as it was. Reading is one pass over the bytes, in time and memory linear in
    // the entries read.
    static bool readPatches(const QByteArray& data, RepositoryPatches& out);
    static bool readBlocks(const QByteArray& data, RepositoryBlocks& out);
    static bool readComments(const QByteArray& data, RepositoryComments& out);

    // The user's id in a log-in reply: blanks or tabs, one or more decimal digits whose value
    // fits an int, blanks or tabs, and at most one line break ("\n" or "\r\n") at the very end.
    // Anything else, the empty body included, is a refusal.
    static bool readUserId(const QByteArray& data, int& uid);
    // True when a change (upload, update, delete, comment) was accepted: "1" by the same rule.
    static bool readAcceptance(const QByteArray& data);

    // True for a "version" root carrying major, sub and build.
    static bool readVersion(const QByteArray& data, Version& out);
    static bool isNewer(const Version& offered, const Version& running);

    // The server entries whose name is among the missing names, in server order; each entry is
    // matched by name only, so one name may match several entries.
    static RepositoryBlocks matchMissing(const RepositoryBlocks& server,
                                         const RepositoryBlocks& missing);

    // How list and comment dates are shown.
    static QString listDate(uint seconds);
    static QString commentDate(uint seconds);
};
