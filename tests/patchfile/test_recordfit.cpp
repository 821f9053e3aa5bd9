// The check that a patch fits the record the editor writes: at each bound of the reader and of
// the format it says yes and the record reads back whole; one past it, it gives the reason, and
// what the writer would make of the patch indeed does not come back.
#include "BinaryPacker.h"
#include "BinaryUtil.h"
#include "MessageCapture.h"
#include "PatchFile.h"
#include "PatchFixture.h"
#include "PatchInfo.h"
#include "PatchRecord.h"
#include "RecordFit.h"
#include "TestMain.h"

#include <QtTest>

namespace {

// A block's record holds the values of many variables in one text: 65,535 of them, all empty,
// in 65,534 bytes.
const QString emptyValues = QString(65534, QLatin1Char(';'));

struct Shape
{
    PatchFixture fixture;
    PatchInfo info;
    QHash<QString, BlockDescription> carried;
};

void build(Shape& shape, const QString& kind, bool past)
{
    PatchFixture& f = shape.fixture;
    const int extra = past ? 1 : 0;
    shape.info.name = QStringLiteral("fit");
    if (kind == "blocks") {
        for (int i = 0; i < 65536 + extra; ++i)
            f.block(i, "Sine", 0, 0, {});
    } else if (kind == "comments") {
        for (int i = 0; i < 65535 + extra; ++i)
            f.comment(i, 0, 0, QString());
    } else if (kind == "values") {
        // 32 blocks of 65,535 values and one of 32: 2,097,152.
        for (int i = 0; i < 32; ++i)
            f.block(i, "Table", 0, 0, {emptyValues});
        f.block(32, "Table", 0, 0, {QString(31 + extra, QLatin1Char(';'))});
    } else if (kind == "cables") {
        // 8,224 blocks of 255 cables and one of 32 into one block: 2,097,152.
        BlockInstance& sink = f.block(0, "Sink", 0, 0, {});
        for (int i = 1; i <= 8225; ++i) {
            BlockInstance& from = f.block(i, "Fan", 0, 0, {});
            const int cables = i < 8225 ? 255 : 32 + extra;
            for (int c = 0; c < cables; ++c)
                f.cable(from, c, sink, 0);
        }
    } else if (kind == "body") {
        // 1,025 blocks of one value text each, filling 64 MiB to the byte: the name "fit", the
        // header, the breaks and one node id; each block's name "B", no hash, fixed fields and
        // the count of its values text.
        const qint64 fixed = 2 + 3 + 16 + 9 + 5;
        const qint64 perBlock = 2 + 1 + 2 + 8 + 2;
        const int blocks = 1025;
        const qint64 text = (util::bin::maxUncompressedSize - fixed) / blocks - perBlock;
        for (int i = 0; i < blocks; ++i)
            f.block(i, "B", 0, 0, {QString(int(text), QLatin1Char('v'))});
        f.descriptions.front().hash.clear();
        const qint64 left = util::bin::maxUncompressedSize - fixed - blocks * (perBlock + text);
        f.instances.front().values.first() += QString(int(left + extra), QLatin1Char('v'));
    } else if (kind == "comment text") {
        f.comment(1, 0, 0, QString(65535 + extra, QLatin1Char('c')));
    } else if (kind == "non-ASCII text") {
        // Two bytes a character.
        f.comment(1, 0, 0, QString(32767, QChar(0xE9)) + QString(1 + extra, QLatin1Char('c')));
    } else if (kind == "values text") {
        f.block(1, "Table", 0, 0, {QString(65535 + extra, QLatin1Char('v'))});
    } else if (kind == "block cables") {
        BlockInstance& sink = f.block(1, "Sink", 0, 0, {});
        BlockInstance& from = f.block(2, "Fan", 0, 0, {});
        for (int c = 0; c < 255 + extra; ++c)
            f.cable(from, c, sink, 0);
    } else if (kind == "socket") {
        BlockInstance& sink = f.block(1, "Sink", 0, 0, {});
        BlockInstance& from = f.block(2, "Fan", 0, 0, {});
        f.cable(from, 0, sink, 255 + extra);
    } else if (kind == "node ids") {
        for (int i = 0; i < 256 + extra; ++i)
            f.block(i + 1, "Sine", 0, 0, {}, 1000 + i);
    } else if (kind == "node ids from FF000000") {
        for (int i = 0; i < 255 + extra; ++i)
            f.block(i + 1, "Sine", 0, 0, {}, qint32(0xFF000000u + quint32(i)));
    } else if (kind == "node ids from FF000000 and one other") {
        f.block(1, "Sine", 0, 0, {}, 1000);
        for (int i = 0; i < 255 + extra; ++i)
            f.block(i + 2, "Sine", 0, 0, {}, qint32(0xFF000000u + quint32(i)));
    } else if (kind == "carried") {
        for (const char* name : {"A", "B"}) {
            BlockInstance& block = f.block(name[0], name, 0, 0, {});
            BlockDescription& d = const_cast<BlockDescription&>(*block.description);
            d.origin = BlockDescription::OriginPatch;
            d.rawData =
                QByteArray(util::bin::maxUncompressedSize / 2 + (name[0] == 'B' ? extra : 0), 'x');
            shape.carried.insert(d.name, d);
        }
    } else if (kind == "patch name") {
        shape.info.name = QString(65535 + extra, QLatin1Char('n'));
    }
}

// Whether the patch read back from the record is the one written.
bool readsBackWhole(const Shape& shape, const PackedPatch& patch)
{
    const PatchFixture& f = shape.fixture;
    if (patch.name != shape.info.name || patch.blocks.size() != int(f.instances.size()) ||
        patch.comments.size() != int(f.notes.size()))
        return false;
    int i = 0;
    for (const BlockInstance& block : f.instances) {
        const PackedInstance& read = patch.blocks.at(i++);
        if (read.nodeValue != block.nodeId || read.values.join(';') != block.values.join(';') ||
            read.connections.size() != block.outputs.size())
            return false;
        for (const QList<qint32>& cable : read.connections) {
            const BlockConnection* written = block.outputs.value(cable.at(0));
            if (!written || written->inBlockSocketId != cable.at(2))
                return false;
        }
    }
    QSet<qint32> ids;
    i = 0;
    for (const Comment& comment : f.notes) {
        const Comment& read = patch.comments.at(i++);
        ids.insert(read.id);
        if (read.text != comment.text)
            return false;
    }
    return ids.size() == patch.comments.size();
}

} // namespace

class TestRecordFit : public QObject
{
    Q_OBJECT
private slots:
    void boundsOfTheRecord_data();
    void boundsOfTheRecord();
    void tallyCountsTheBody_data();
    void tallyCountsTheBody();
};

void TestRecordFit::boundsOfTheRecord_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("past");
    QTest::addColumn<QString>("problem");

    const struct
    {
        const char* kind;
        const char* problem;
    } bounds[] = {
        {"blocks", "The patch would hold 65537 blocks; a patch holds at most 65536."},
        {"comments", "The patch would hold 65536 comments; a patch holds at most 65535."},
        {"values",
         "The blocks of the patch would hold 2097153 values; a patch holds at most 2097152."},
        {"cables", "The patch would hold 2097153 cables; a patch holds at most 2097152."},
        {"body", "The patch would take 67108865 bytes unpacked; a patch takes at most 67108864."},
        {"comment text", "The text of comment 1 takes 65536 bytes; a patch holds at most 65535 "
                         "bytes of one text."},
        {"non-ASCII text", "The text of comment 1 takes 65536 bytes"},
        {"values text", "The value text of block 1 (Table) takes 65536 bytes"},
        {"block cables", "Block 2 (Fan) would have 256 cables leaving it; a patch holds at most "
                         "255 a block."},
        {"socket", "Block 2 (Fan) has a cable on socket 256; a patch numbers sockets 0 to 255."},
        {"node ids", "would come from 257 patches of the repository (node ids); a patch tells at "
                     "most 256 apart."},
        // The entry of the last index must not begin with the section break FF FF.
        {"node ids from FF000000",
         "would come from 256 patches of the repository (node ids), all of ids below 0 or from "
         "FF000000 up; a patch tells at most 255 such apart."},
        {"node ids from FF000000 and one other",
         "would come from 257 patches of the repository (node ids)"},
        {"carried", "The block files the patch carries would take 67108865 bytes; a patch "
                    "carries at most 67108864."},
        {"patch name", "The name of the patch takes 65536 bytes"},
    };
    for (const auto& bound : bounds) {
        QTest::addRow("%s at the bound", bound.kind) << bound.kind << false << QString();
        QTest::addRow("%s past it", bound.kind) << bound.kind << true << bound.problem;
    }
}

void TestRecordFit::boundsOfTheRecord()
{
    QFETCH(QString, kind);
    QFETCH(bool, past);
    QFETCH(QString, problem);

    Shape shape;
    build(shape, kind, past);
    const QList<const BlockInstance*> instances = shape.fixture.instanceList();
    const QList<const Comment*> comments = shape.fixture.commentList();
    const QString reason = RecordFit::problem(shape.info, instances, comments);
    QVERIFY2(past ? reason.contains(problem) : reason.isEmpty(), qPrintable(reason));

    // What the writer makes of it comes back whole exactly when it fits.
    MessageCapture messages;
    const QByteArray record = util::makePatchRecord(instances, comments, shape.info, 0, 0);
    const util::PatchFileContents contents =
        util::readPatchFile(util::patchFileBytes(record, shape.carried, true));
    bool whole = readsBackWhole(shape, contents.patch);
    if (kind == "carried")
        whole = contents.tooLarge == 0 && contents.blockFiles.size() == shape.carried.size();
    QCOMPARE(whole, !past);
}

void TestRecordFit::tallyCountsTheBody_data()
{
    QTest::addColumn<int>("blocks");
    QTest::addColumn<int>("comments");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << 0 << 0 << QString();
    QTest::newRow("blocks and cables") << 40 << 0 << QString();
    QTest::newRow("comments") << 0 << 7 << QString::fromUtf8("<b>\xc3\xa9t\xc3\xa9</b>");
    QTest::newRow("both, with a lone surrogate")
        << 12 << 3 << QString(QChar(0xD800)) + QString::fromUtf8("\xf0\x9f\x8e\xb9");
}

void TestRecordFit::tallyCountsTheBody()
{
    QFETCH(int, blocks);
    QFETCH(int, comments);
    QFETCH(QString, text);

    PatchFixture f;
    for (int i = 1; i <= blocks; ++i) {
        BlockInstance& b = f.block(i, i % 2 ? "Sine" : text + "Mix", 10 * i, 20,
                                   {"440", text, QString(), "a;b"}, i % 3);
        if (i > 1)
            f.cable(f.instances[size_t(i - 2)], i % 4, b, i % 5);
    }
    for (int i = 1; i <= comments; ++i)
        f.comment(i, i, i, text.repeated(i));
    PatchInfo info;
    info.name = text + "name";
    const QByteArray record =
        BinaryPacker().pack(f.instanceList(), f.commentList(), util::recordInfo(info, 1, 2));
    const QByteArray body = util::bin::uncompress(record.mid(2));
    const RecordFit::Tally tally = RecordFit::tally(f.instanceList(), f.commentList());
    QCOMPARE(RecordFit::bodySize(tally, info), qint64(body.size()));
    QCOMPARE(tally.blocks, qint64(blocks));
    QCOMPARE(tally.cables, qint64(qMax(0, blocks - 1)));
    QCOMPARE(tally.values, qint64(5 * blocks));
}

KL_TEST_MAIN(TestRecordFit)
#include "test_recordfit.moc"
