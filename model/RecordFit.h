#pragma once

#include <QList>
#include <QSet>
#include <QString>

class BlockDescription;
struct BlockInstance;
struct Comment;
struct PatchInfo;

// Whether a patch fits the record the editor writes so that its own reader takes it back whole,
// and if not, why: the reader's bounds (blocks, comments, values, cables, the unpacked body, the
// carried block files) and the fields of the format (lengths of texts, cables leaving a block,
// socket numbers, node ids). Save refuses a patch that does not fit; paste and the canvas's
// edits refuse a change after which it would not.
class RecordFit
{
public:
    // What a record of a patch holds, counted as the writer stores it. Tallies add up: the tally
    // of a patch with more blocks and comments is its tally with each of them added.
    struct Tally
    {
        qint64 blocks = 0;
        qint64 comments = 0;
        // As the reader counts them: one more than the ';' of a block's joined values.
        qint64 values = 0;
        qint64 cables = 0;
        // The body's bytes but its header and node dictionary.
        qint64 bytes = 0;
        QSet<qint32> nodeIds;
        // The block files a save carries when the patch includes them, by name, and their bytes.
        QSet<QString> carried;
        qint64 carriedBytes = 0;

        // The block with the cables leaving it that the writer stores.
        void add(const BlockInstance& block);
        void add(const Comment& comment);
        // A comment's text replaced.
        void replaceText(const QString& before, const QString& after);
        // A block's values replaced.
        void replaceValues(const QStringList& before, const QStringList& after);
        // One more cable leaving a block.
        void addCable();
    };

    static Tally tally(const QList<const BlockInstance*>& instances,
                       const QList<const Comment*>& comments);

    // Why a record of `info`'s name holding `tally` would not read back whole; empty when it
    // would. The texts are for the user.
    static QString problem(const Tally& tally, const PatchInfo& info);
    // Why one block (with the cables leaving it) or one comment cannot be stored as it is.
    static QString problem(const BlockInstance& block);
    static QString problem(const Comment& comment);
    // The one check of a whole patch: its first block or comment that cannot be stored, else
    // the problem of its tally.
    static QString problem(const PatchInfo& info, const QList<const BlockInstance*>& instances,
                           const QList<const Comment*>& comments);

    // Bytes of the unpacked body of such a record.
    static qint64 bodySize(const Tally& tally, const PatchInfo& info);
    // The cables the writer stores for a block: those whose target is there.
    static int storedCables(const BlockInstance& block);
    // Whether a save of a patch that includes its blocks carries the file of a block of
    // `description`: every block not from the library. What the tally counts and what a save
    // writes follow this one rule.
    static bool isCarried(const BlockDescription* description);
    // Bytes of a text in UTF-8, as the writer counts them.
    static qint64 utf8Size(const QString& text);
};
