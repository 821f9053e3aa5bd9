// Finding the patch record in a firmware image: the first "[>" whose bytes up to a following
// "<]" read as a patch record.
#include "ByteWriter.h"
#include "FirmwareImages.h"
#include "FirmwareTrailer.h"
#include "MessageCapture.h"
#include "PatchFixture.h"
#include "PatchInfo.h"
#include "PatchRecord.h"
#include "TestMain.h"

#include <QtTest>

namespace {

// Bytes that stand in for the code of an image; none of them form a marker.
QByteArray code(int size, char seed)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(char((seed + i * 7) % 26 + 'a'));
    return bytes;
}

QByteArray record(const QString& name, qint32 nodeId, const QString& commentText = QString())
{
    PatchFixture fixture;
    BlockInstance& sine = fixture.block(1, "Sine", 100, 200, {"440", "0"});
    BlockInstance& out = fixture.block(2, "Audio Output", 300, 200, {"0", "0"});
    fixture.cable(sine, 0, out, 0);
    if (!commentText.isEmpty())
        fixture.comment(1, 10, 20, commentText);
    PatchInfo info;
    info.name = name;
    info.nodeId = nodeId;
    return util::makePatchRecord(fixture.instanceList(), fixture.commentList(), info, 500, 600);
}

// A record whose stream is about as large as the flash allows: comments of text that hardly
// compresses.
QByteArray largeRecord()
{
    PatchFixture fixture;
    fixture.block(1, "Sine", 100, 200, {"440", "0"});
    quint32 state = 1;
    for (int id = 1; id <= 9; ++id) {
        QString text;
        for (int i = 0; i < 60000; ++i) {
            state = state * 1103515245u + 12345u;
            text.append(QChar('!' + int((state >> 16) % 94)));
        }
        fixture.comment(id, 10 * id, 20, text);
    }
    PatchInfo info;
    info.name = QStringLiteral("large");
    return util::makePatchRecord(fixture.instanceList(), fixture.commentList(), info, 0, 0);
}

// A version-0 record (no node id, not compressed); a block name may hold a "<]".
QByteArray version0(const QByteArray& blockName)
{
    return ByteWriter().cstring(blockName).u8(1).u16(300).u16(200).cstring("1;").u8(0).bytes;
}

} // namespace

class TestFirmwareTrailer : public QObject
{
    Q_OBJECT

private slots:
    void trailerIsTheRecordBetweenMarkers();
    void findsTheFirstRecord_data();
    void findsTheFirstRecord();
};

void TestFirmwareTrailer::trailerIsTheRecordBetweenMarkers()
{
    const QByteArray r = record("bells", 3);
    QCOMPARE(util::firmwareTrailer(r), QByteArray("[>") + r + QByteArray("<]"));
}

void TestFirmwareTrailer::findsTheFirstRecord_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray image = code(4000, 3);
    const QByteArray first = record("first", 7);
    const QByteArray second = record("second", 9);
    auto trailer = [](const QByteArray& r) { return util::firmwareTrailer(r); };

    QTest::newRow("one trailer") << image + trailer(first) << true << first;
    QTest::newRow("two trailers: the first wins")
        << image + trailer(first) + trailer(second) << true << first;
    QTest::newRow("trailer only") << trailer(first) << true << first;

    // Markers in the code before the trailer: a "[>" with a "<]" after it, and one followed by
    // what looks like the start of a record.
    QTest::newRow("[> inside the code")
        << code(100, 1) + "[>" + code(50, 2) + "<]" + code(70, 3) + "[>\x00\x06\x00" + code(30, 4) +
               trailer(first) + trailer(second)
        << true << first;

    // Node id 0x003C5D00 ends the record with the bytes 00 3C 5D 00: a "<]" inside it.
    const QByteArray inside = record("inside", 0x003C5D00);
    QVERIFY(inside.contains("<]"));
    QTest::newRow("<] inside the record")
        << image + trailer(inside) + trailer(second) << true << inside;

    const QByteArray old = version0("Old<]Block");
    QVERIFY(util::isPatchRecord(old));
    QTest::newRow("version 0") << image + trailer(old) << true << old;
    QTest::newRow("version 0 with a <] inside, then another trailer")
        << image + trailer(old) + trailer(first) << true << old;

    QTest::newRow("no trailer") << image << false << QByteArray();
    QTest::newRow("empty image") << QByteArray() << false << QByteArray();
    QTest::newRow("markers but no record")
        << image + "[>" + code(40, 5) + "<]" << false << QByteArray();
    const QByteArray whole = image + trailer(first);
    QTest::newRow("truncated inside the record")
        << whole.left(whole.size() - 20) << false << QByteArray();
    QTest::newRow("truncated before the closing marker")
        << whole.left(whole.size() - 2) << false << QByteArray();
    QTest::newRow("[> at the very end") << image + "[" + ">" << false << QByteArray();
    QTest::newRow("a cut trailer, then a whole one")
        << image + "[>" + first.left(first.size() / 2) + "<]" + trailer(second) << true << second;

    // Images built to make the search try every "<]" after every "[>": 192 KB of them held the
    // editor past 90 s. Version-0 records are walked once; streams inflate within a bound.
    const QByteArray markers = QByteArray("[>\0\0\xff\xff<]", 8).repeated(24576);
    QTest::newRow("24,576 version-0 [> <] before the trailer")
        << markers + trailer(first) << true << first;
    // Each "[>" of empty block records walks through the next ones to the end of the image.
    QTest::newRow("10,000 [> of empty block records before an old record")
        << (QByteArray("[>") + QByteArray(14, '\0')).repeated(10000) + trailer(old) << true << old;
    QTest::newRow("empty block records up to a <]")
        << "[>" + QByteArray(14 * 1000, '\0') + "<]" << true << QByteArray(14 * 1000, '\0');
    const QByteArray small = QByteArray("[>\0\x06", 4) + qCompress(QByteArray(1 << 20, '\0'));
    QTest::newRow("three streams of 1 MiB before the trailer")
        << small.repeated(3) + trailer(first) << true << first;
    // Past 256 MiB an image counts as holding no patch. Each stream says it holds 16 bytes.
    QByteArray bomb = QByteArray("[>\0\x06", 4) + qCompress(QByteArray(65 << 20, '\0'), 9);
    bomb.replace(4, 4, QByteArray("\0\0\0\x10", 4));
    QTest::newRow("five streams of 65 MiB before the trailer")
        << bomb.repeated(5) + trailer(first) << false << QByteArray();
    // Past 4 MiB read an image counts as holding no patch too: streams of blocks that inflate
    // to nothing, each reading one shared tail, cost reading alone (a 490 KB image held the
    // search 1.8 s with empty stored blocks, 150 s with empty blocks of their own code tables).
    QTest::newRow("300 streams reading 64 KB of empty stored blocks before the trailer")
        << firmwareimages::nestedStreams(300, firmwareimages::emptyStoredBlocks(64 << 10)) +
               trailer(first)
        << false << QByteArray();
    QTest::newRow("300 streams reading 64 KB of empty table blocks before the trailer")
        << firmwareimages::nestedStreams(300, firmwareimages::emptyTableBlocks(64 << 10)) +
               trailer(first)
        << false << QByteArray();
    // The bound leaves room for the largest record the flash holds, read twice, after streams.
    const QByteArray large = largeRecord();
    QVERIFY(large.size() > 400 << 10 && large.size() < 500 << 10);
    QTest::newRow("a record of 400 KB after streams reading 1 MiB")
        << firmwareimages::nestedStreams(16, firmwareimages::emptyStoredBlocks(64 << 10)) +
               trailer(large)
        << true << large;
}

void TestFirmwareTrailer::findsTheFirstRecord()
{
    QFETCH(QByteArray, image);
    QFETCH(bool, found);
    QFETCH(QByteArray, expected);

    MessageCapture capture;
    QByteArray record("stale");
    QCOMPARE(util::findFirmwareRecord(image, &record), found);
    QCOMPARE(record, expected);
    // Looking is silent: the caller says what the image lacks.
    QVERIFY(capture.messages().isEmpty());
}

KL_TEST_MAIN(TestFirmwareTrailer)

#include "test_firmwaretrailer.moc"
