#include "BinaryPacker.h"
#include "ByteWriter.h"
#include "MessageCapture.h"
#include "PatchFixture.h"
#include "PatchRecord.h"
#include "RecordBuilder.h"
#include "TestMain.h"

#include <QtTest>

namespace {

const QString unknownFormat = QStringLiteral("Cant open patch. Unknown format.");
const QString tooLarge = QStringLiteral("Cant open patch. The packed data is too large.");
const QString damaged = QStringLiteral("Cant open patch. The packed data is damaged.");

QByteArray bodyOf(const QByteArray& record)
{
    return qUncompress(record.mid(2));
}

QHash<QString, QString> header(const QString& name, qint64 x, qint64 y, qint64 zoom, quint32 date,
                               int saved, int lang, int includeBlocks)
{
    return {{QStringLiteral("name"), name},
            {QStringLiteral("x"), QString::number(x)},
            {QStringLiteral("y"), QString::number(y)},
            {QStringLiteral("zoomLevel"), QString::number(zoom)},
            {QStringLiteral("date"), QString::number(date)},
            {QStringLiteral("saved"), QString::number(saved)},
            {QStringLiteral("lang"), QString::number(lang)},
            {QStringLiteral("includeBlocks"), QString::number(includeBlocks)}};
}

// A body of the given version with FF FF inside a header field, a comment field, a node id
// and a block position: the reading of earlier releases splits all of these apart.
QByteArray handMadeBody(int version)
{
    ByteWriter w;
    w.text("drum").u16(300).u16(65535);
    if (version >= 3)
        w.u8(1).u16(2);
    w.u32(0x01FFFF02).u16(9).u8(31);
    if (version == 6)
        w.u16(1);
    w.brk();
    const bool flag = version == 2 || version == 3;
    w.u16(1).u16(280).u16(400).text("hi");
    if (flag)
        w.u8(1);
    w.u16(2).u16(0xFFFE).u16(10).text("<b>x</b>");
    if (flag)
        w.u8(0);
    w.brk();
    w.u8(0).u32(0).u8(1).u32(0xFFFFFFFF).brk();
    w.text("Mixer").text("ab12").u8(0).u16(1).u16(300).u16(200).text("1;0.5;");
    w.u8(1).u8(0).u16(2).u8(1);
    w.text("Out").text("c3d4").u8(1).u16(2).u16(0x01FF).u16(0xFF00).text("").u8(0);
    return w.bytes;
}

PackedPatch handMadeExpected(int version)
{
    PackedPatch p;
    p.name = QStringLiteral("drum");
    p.x = 300;
    p.y = 65535;
    p.zoomLevel = version >= 3 ? -2 : 0;
    p.date = 0x01FFFF02;
    p.saved = 9;
    p.lang = 31;
    p.includeBlocks = true;
    p.comments = {Comment{1, 280, 400, QStringLiteral("hi")},
                  Comment{2, 0xFFFE, 10, QStringLiteral("<b>x</b>")}};
    PackedInstance mixer;
    mixer.name = QStringLiteral("Mixer");
    mixer.hash = QStringLiteral("ab12");
    mixer.id = 1;
    mixer.x = 300;
    mixer.y = 200;
    mixer.values = QStringList{QStringLiteral("1"), QStringLiteral("0.5"), QString()};
    mixer.connections = {{0, 2, 1}};
    PackedInstance out;
    out.name = QStringLiteral("Out");
    out.hash = QStringLiteral("c3d4");
    out.id = 2;
    out.nodeValue = -1;
    out.x = 0x01FF;
    out.y = 0xFF00;
    out.values = QStringList{QString()};
    p.blocks = {mixer, out};
    return p;
}

void checkEmpty(const PackedPatch& patch)
{
    QVERIFY(patch.name.isEmpty());
    QVERIFY(patch.blocks.isEmpty());
    QVERIFY(patch.comments.isEmpty());
}

} // namespace

class TestBinaryPacker : public QObject
{
    Q_OBJECT

private slots:
    void emptyPatchGolden();
    void fullPatchGolden();
    void zoomEncoding_data();
    void zoomEncoding();
    void readsEveryVersion_data();
    void readsEveryVersion();
    void readsVersion0();
    void unreadableRecords_data();
    void unreadableRecords();
    void headerFields_data();
    void headerFields();
    void blockFields_data();
    void blockFields();
    void strayByteFallsBackToSplitting();
    void roundTrip_data();
    void roundTrip();
    void writerKeepsRecordsReadable();
    void wellFormed_data();
    void wellFormed();
    void recordLimits_data();
    void recordLimits();
    void writerRenumbers_data();
    void writerRenumbers();
};

void TestBinaryPacker::emptyPatchGolden()
{
    const QByteArray record =
        BinaryPacker().pack({}, {}, {{QStringLiteral("name"), QStringLiteral("a")}});
    const QByteArray expected = QByteArray::fromHex("0001"
                                                    "61"
                                                    "0000"
                                                    "0000"
                                                    "00"
                                                    "0000"
                                                    "00000000"
                                                    "0000"
                                                    "00"
                                                    "0000"
                                                    "ffff00"
                                                    "ffff00"
                                                    "ffff00");
    QCOMPARE(record.left(2), QByteArray::fromHex("0006"));
    QCOMPARE(record.mid(2, 4), QByteArray::fromHex("0000001c"));
    QCOMPARE(bodyOf(record), expected);

    const PackedPatch patch = BinaryPacker().load(record);
    QCOMPARE(patch.name, QStringLiteral("a"));
    QVERIFY(patch.blocks.isEmpty());
    QVERIFY(patch.comments.isEmpty());
    QCOMPARE(patch.includeBlocks, false);
    QCOMPARE(patch.date, 0u);
}

void TestBinaryPacker::fullPatchGolden()
{
    PatchFixture f;
    BlockInstance& a = f.block(1, QStringLiteral("Mixer"), 300, 200, {"1", "0.5"}, 0);
    BlockInstance& b = f.block(2, QStringLiteral("Out"), 500, 260, {""}, 7);
    f.block(3, QStringLiteral("Mixer"), 10, 20, {"2"}, 0);
    f.cable(a, 0, b, 1);
    f.comment(1, 280, 400, QStringLiteral("hi"));
    const QString hashMixer = f.instances[0].description->hash;
    const QString hashOut = f.instances[1].description->hash;

    const QByteArray record =
        BinaryPacker().pack(f.instanceList(), f.commentList(),
                            header(QStringLiteral("drum"), 2000, 65535, -3, 0xFFFF0000u, 2, 31, 1));

    ByteWriter w;
    w.text("drum").u16(2000).u16(65535).u8(1).u16(3).u32(0xFFFF0000u).u16(2).u8(31).u16(1).brk();
    w.u16(1).u16(280).u16(400).text("hi").brk();
    w.u8(0).u32(0).u8(1).u32(7).brk();
    w.text("Mixer").text(hashMixer.toUtf8()).u8(0).u16(1).u16(300).u16(200).text("1;0.5");
    w.u8(1).u8(0).u16(2).u8(1);
    w.text("Out").text(hashOut.toUtf8()).u8(1).u16(2).u16(500).u16(260).text("").u8(0);
    w.text("Mixer").text(hashMixer.toUtf8()).u8(0).u16(3).u16(10).u16(20).text("2").u8(0);
    QCOMPARE(bodyOf(record), w.bytes);
    QCOMPARE(record, packedRecord(6, w.bytes));
    QCOMPARE(BinaryPacker::createNodeDictionary(f.instanceList()), (QList<qint32>{0, 7}));
}

void TestBinaryPacker::zoomEncoding_data()
{
    QTest::addColumn<int>("zoom");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("-3") << -3 << QByteArray::fromHex("010003");
    QTest::newRow("0") << 0 << QByteArray::fromHex("000000");
    QTest::newRow("2") << 2 << QByteArray::fromHex("000002");
}

void TestBinaryPacker::zoomEncoding()
{
    QFETCH(int, zoom);
    QFETCH(QByteArray, bytes);
    const QByteArray record =
        BinaryPacker().pack({}, {}, {{QStringLiteral("zoomLevel"), QString::number(zoom)}});
    QCOMPARE(bodyOf(record).mid(6, 3), bytes);
    QCOMPARE(BinaryPacker().load(record).zoomLevel, zoom);
}

void TestBinaryPacker::readsEveryVersion_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QByteArray>("record");
    for (int v = 1; v <= 6; ++v) {
        const int layout = v == 5 ? 4 : v; // version 5 is the bytes of version 4
        QTest::addRow("version %d", v) << layout << packedRecord(v, handMadeBody(layout));
    }
}

void TestBinaryPacker::readsEveryVersion()
{
    QFETCH(int, version);
    QFETCH(QByteArray, record);
    MessageCapture capture;
    comparePatches(BinaryPacker().load(record), handMadeExpected(version));
    QVERIFY(capture.warnings().isEmpty());
}

void TestBinaryPacker::readsVersion0()
{
    ByteWriter w;
    w.cstring("Mixer").u8(1).u16(300).u16(200).cstring("1;0.5;").u8(1).u8(0).u8(2).u8(1);
    w.cstring("Out").u8(2).u16(0xFFFF).u16(0).cstring("").u8(0);
    const PackedPatch patch = BinaryPacker().load(w.bytes);

    PackedPatch expected;
    expected.x = 2000;
    expected.y = 2000;
    expected.includeBlocks = true;
    PackedInstance mixer;
    mixer.name = QStringLiteral("Mixer");
    mixer.id = 1;
    mixer.x = 300;
    mixer.y = 200;
    mixer.values = QStringList{"1", "0.5", ""};
    mixer.connections = {{0, 2, 1}};
    PackedInstance out;
    out.name = QStringLiteral("Out");
    out.id = 2;
    out.x = 0xFFFF;
    out.values = QStringList{""};
    expected.blocks = {mixer, out};
    // A version-0 record carries no date, counter or language.
    expected.date = patch.date;
    expected.lang = patch.lang;
    comparePatches(patch, expected);
}

void TestBinaryPacker::unreadableRecords_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QString>("warning");

    QTest::newRow("version 7") << packedRecord(7, handMadeBody(6)) << unknownFormat;
    QTest::newRow("one byte") << QByteArray(1, '\x06') << unknownFormat;
    QTest::newRow("empty") << QByteArray() << unknownFormat;

    // Refused from the declared size alone: the stream holds only one byte.
    QByteArray declaredHuge = packedRecord(6, "x");
    declaredHuge.replace(2, 4, QByteArray::fromHex("04000001"));
    QTest::newRow("declares more than 64 MiB") << declaredHuge << tooLarge;

    // Declares 16 bytes, inflates to 65 MiB.
    QByteArray bomb = packedRecord(6, QByteArray(65 * 1024 * 1024, '\0'));
    bomb.replace(2, 4, QByteArray::fromHex("00000010"));
    QTest::newRow("inflates beyond 64 MiB") << bomb << tooLarge;

    QTest::newRow("not compressed")
        << QByteArray::fromHex("000600000010") + "not a zlib stream" << damaged;
    const QByteArray whole = BinaryPacker().pack({}, {});
    QTest::newRow("stream cut short") << whole.left(whole.size() - 5) << damaged;
}

void TestBinaryPacker::unreadableRecords()
{
    QFETCH(QByteArray, record);
    QFETCH(QString, warning);
    MessageCapture capture;
    checkEmpty(BinaryPacker().load(record));
    QCOMPARE(capture.warnings(), QStringList{warning});
}

void TestBinaryPacker::headerFields_data()
{
    QTest::addColumn<QByteArray>("zoomBytes");
    QTest::addColumn<int>("includeBlocks");
    QTest::addColumn<int>("zoom");
    QTest::addColumn<bool>("included");
    QTest::newRow("sign 05 reads negative") << QByteArray::fromHex("050004") << 1 << -4 << true;
    QTest::newRow("includeBlocks 0") << QByteArray::fromHex("000002") << 0 << 2 << false;
    QTest::newRow("includeBlocks 2") << QByteArray::fromHex("000002") << 2 << 2 << false;
}

void TestBinaryPacker::headerFields()
{
    QFETCH(QByteArray, zoomBytes);
    QFETCH(int, includeBlocks);
    QFETCH(int, zoom);
    QFETCH(bool, included);
    ByteWriter w;
    w.text("").u16(0).u16(0).raw(zoomBytes).u32(0).u16(0).u8(0).u16(quint32(includeBlocks));
    w.brk().brk().brk();
    const PackedPatch patch = BinaryPacker().loadV6(w.bytes);
    QCOMPARE(patch.zoomLevel, zoom);
    QCOMPARE(patch.includeBlocks, included);
}

void TestBinaryPacker::blockFields_data()
{
    QTest::addColumn<QByteArray>("nodes");
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("nodeValue");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<int>("cables");

    const QByteArray node0 = ByteWriter().u8(0).u32(5).bytes;
    auto block = [](const QByteArray& name, int index, const QByteArray& values) {
        return ByteWriter()
            .text(name)
            .text("ab12")
            .u8(quint32(index))
            .u16(1)
            .u16(2)
            .u16(3)
            .text(values)
            .u8(1)
            .u8(0)
            .u16(1)
            .u8(0)
            .bytes;
    };
    QTest::newRow("node index without entry")
        << node0 << block("A", 0xFF, "1") << "A" << 0 << QStringList{"1"} << 1;
    QTest::newRow("later entry of an index wins")
        << node0 + ByteWriter().u8(0).u32(9).bytes << block("A", 0, "1") << "A" << 9
        << QStringList{"1"} << 1;
    QTest::newRow("empty parts kept")
        << node0 << block("A", 0, "1;0.5;") << "A" << 5 << QStringList{"1", "0.5", ""} << 1;
    QTest::newRow("empty values text")
        << node0 << block("A", 0, "") << "A" << 5 << QStringList{""} << 1;
    QTest::newRow("every stored value kept")
        << node0 << block("A", 0, "1;2;3;4;5;6;7;8;9;10;11;12") << "A" << 5
        << QString("1;2;3;4;5;6;7;8;9;10;11;12").split(';') << 1;
    QTest::newRow("zero byte ends a text")
        << node0 << block(QByteArray("Mix\0er", 6), 0, "1") << "Mix" << 5 << QStringList{"1"} << 1;
    // Cut inside the values text: the record is kept as far as it goes.
    const QByteArray whole = block("A", 0, "1;2;3");
    QTest::newRow("record cut short")
        << node0 << whole.left(whole.size() - 7) << "A" << 5 << QStringList{"1", "2"} << 0;
}

void TestBinaryPacker::blockFields()
{
    QFETCH(QByteArray, nodes);
    QFETCH(QByteArray, block);
    ByteWriter w;
    w.text("").u16(0).u16(0).u8(0).u16(0).u32(0).u16(0).u8(0).u16(0).brk().brk();
    w.raw(nodes).brk().raw(block);
    const PackedPatch patch = BinaryPacker().loadV6(w.bytes);
    QCOMPARE(patch.blocks.size(), 1);
    const PackedInstance& b = patch.blocks.first();
    QTEST(b.name, "name");
    QTEST(b.nodeValue, "nodeValue");
    QTEST(b.values, "values");
    QTEST(int(b.connections.size()), "cables");
}

void TestBinaryPacker::strayByteFallsBackToSplitting()
{
    // A header that does not end at a break cannot be read field by field; such a body is
    // read by the sections between the breaks, as before.
    ByteWriter w;
    w.text("old").u16(1).u16(2).u8(0).u16(0).u32(3).u16(4).u8(5).u16(1).u8(0x42).brk();
    w.u16(1).u16(10).u16(20).text("note").brk();
    w.u8(0).u32(7).brk();
    w.text("A").text("ab12").u8(0).u16(1).u16(300).u16(200).text("1").u8(0);
    const PackedPatch patch = BinaryPacker().loadV6(w.bytes);
    QCOMPARE(patch.name, QStringLiteral("old"));
    QCOMPARE(patch.saved, 4);
    QCOMPARE(patch.comments.size(), 1);
    QCOMPARE(patch.comments[0].text, QStringLiteral("note"));
    QCOMPARE(patch.blocks.size(), 1);
    QCOMPARE(patch.blocks[0].nodeValue, 7);
    QCOMPARE(patch.blocks[0].x, 300);
}

void TestBinaryPacker::roundTrip_data()
{
    QTest::addColumn<int>("headerX");
    QTest::addColumn<int>("headerY");
    QTest::addColumn<int>("zoom");
    QTest::addColumn<quint32>("date");
    QTest::addColumn<int>("blockX");
    QTest::addColumn<int>("blockY");
    QTest::addColumn<int>("commentX");
    QTest::addColumn<int>("commentY");
    QTest::addColumn<int>("nodeId");
    QTest::addColumn<int>("instanceId");

    QTest::newRow("negative zoom")
        << 2000 << 2000 << -3 << 1700000000u << 300 << 200 << 280 << 400 << 0 << 1;
    QTest::newRow("zero zoom") << 0 << 0 << 0 << 0u << 0 << 0 << 0 << 0 << 0 << 1;
    QTest::newRow("positive zoom")
        << 4000 << 4000 << 5 << 1u << 4000 << 4000 << 4000 << 4000 << 3 << 2;
    QTest::newRow("FF FF in header positions")
        << 65535 << 65535 << 1 << 1u << 300 << 200 << 1 << 1 << 0 << 1;
    QTest::newRow("FF FF across positions")
        << 0x01FF << 0xFF01 << -1 << 5u << 0x01FF << 0xFF01 << 0x00FF << 0xFF00 << 0 << 1;
    QTest::newRow("FF FF in dates") << 100 << 100 << 0 << 0xFFFF0000u << 1 << 1 << 1 << 1 << 0 << 1;
    QTest::newRow("FF FF inside a date")
        << 100 << 100 << 0 << 0x00FFFF00u << 1 << 1 << 1 << 1 << 0 << 1;
    QTest::newRow("node id -1") << 100 << 100 << 0 << 7u << 1 << 1 << 1 << 1 << -1 << 1;
    QTest::newRow("node id FF FF 00 00")
        << 100 << 100 << 0 << 7u << 1 << 1 << 1 << 1 << int(0xFFFF0000) << 1;
    QTest::newRow("instance id 65535")
        << 100 << 100 << 0 << 7u << 65535 << 65535 << 1 << 1 << 0x7FFFFFFF << 65535;
}

void TestBinaryPacker::roundTrip()
{
    QFETCH(int, headerX);
    QFETCH(int, headerY);
    QFETCH(int, zoom);
    QFETCH(quint32, date);
    QFETCH(int, blockX);
    QFETCH(int, blockY);
    QFETCH(int, commentX);
    QFETCH(int, commentY);
    QFETCH(int, nodeId);
    QFETCH(int, instanceId);

    PatchFixture f;
    QStringList values;
    for (int i = 0; i < 40; ++i)
        values << (i % 7 == 0 ? QString() : QString::number(i * 0.25));
    values << QStringLiteral("1,2,3,0.5");
    BlockInstance& a = f.block(instanceId, QStringLiteral("Osc ä"), blockX, blockY, values, nodeId);
    BlockInstance& b = f.block(3, QStringLiteral("Out"), 10, 20, {"0"}, 0);
    f.cable(a, 0, b, 1);
    f.cable(a, 2, b, 0);
    f.cable(b, 0, a, 4);
    f.comment(65534, commentX, commentY, QStringLiteral("<a href=\"x.ktl\">ünï</a>"));
    f.comment(2, 0, 0, QString());

    const QByteArray record = BinaryPacker().pack(
        f.instanceList(), f.commentList(),
        header(QStringLiteral("name ✓"), headerX, headerY, zoom, date, 12, 31, 1));
    PackedPatch head;
    head.name = QStringLiteral("name ✓");
    head.x = headerX;
    head.y = headerY;
    head.zoomLevel = zoom;
    head.date = date;
    head.saved = 12;
    head.lang = 31;
    head.includeBlocks = true;
    MessageCapture capture;
    comparePatches(BinaryPacker().load(record), expectedPatch(f, head));
    QVERIFY(capture.warnings().isEmpty());
    QVERIFY(BinaryPacker::isWellFormed(record));
}

void TestBinaryPacker::writerKeepsRecordsReadable()
{
    PatchFixture f;
    BlockInstance& a = f.block(1, QStringLiteral("A"), -20, 70000);
    BlockInstance& b = f.block(2, QStringLiteral("B"), 5, 6);
    f.cable(a, 0, b, 0);
    // A cable whose target block was removed keeps a null end.
    f.connections.emplace_back();
    f.connections.back().outBlock = &a;
    f.connections.back().outBlockSocketId = 1;
    a.outputs.insert(1, &f.connections.back());
    const QString longText(40000, QChar(0xE9)); // two bytes each in UTF-8
    f.comment(1, -5, 65536, longText);

    MessageCapture capture;
    const PackedPatch patch =
        BinaryPacker().load(BinaryPacker().pack(f.instanceList(), f.commentList()));
    QCOMPARE(capture.warnings().size(), 1);
    QVERIFY(capture.warnings().first().contains(QStringLiteral("80000")));
    QCOMPARE(patch.comments.size(), 1);
    QCOMPARE(patch.comments[0].text, QString(32767, QChar(0xE9)));
    QCOMPARE(patch.comments[0].x, 0);
    QCOMPARE(patch.comments[0].y, 65535);
    QCOMPARE(patch.blocks.size(), 2);
    QCOMPARE(patch.blocks[0].x, 0);
    QCOMPARE(patch.blocks[0].y, 65535);
    QCOMPARE(patch.blocks[0].connections, (QList<QList<qint32>>{{0, 2, 0}}));
    QCOMPARE(patch.blocks[1].name, QStringLiteral("B"));
}

void TestBinaryPacker::wellFormed_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<bool>("wellFormed");
    const QByteArray packed = BinaryPacker().pack({}, {});
    QTest::newRow("packed") << packed << true;
    QTest::newRow("every version") << packedRecord(3, handMadeBody(3)) << true;
    QTest::newRow("version 0")
        << ByteWriter().cstring("A").u8(1).u16(1).u16(1).cstring("0").u8(0).bytes << true;
    QTest::newRow("version 0 cut short")
        << ByteWriter().cstring("A").u8(1).u16(1).u16(1).cstring("0").bytes << false;
    QTest::newRow("bytes after the stream") << packed + "x" << false;
    QTest::newRow("version 7") << packedRecord(7, handMadeBody(6)) << false;
    QTest::newRow("one byte") << QByteArray(1, '\0') << false;
    QByteArray cut = handMadeBody(6);
    QTest::newRow("last block cut short") << packedRecord(6, cut.left(cut.size() - 1)) << false;
    QTest::newRow("no breaks") << packedRecord(6, "just some bytes") << false;
}

void TestBinaryPacker::wellFormed()
{
    QFETCH(QByteArray, record);
    QFETCH(bool, wellFormed);
    MessageCapture capture;
    QCOMPARE(BinaryPacker::isWellFormed(record), wellFormed);
    QVERIFY(capture.messages().isEmpty());
}

void TestBinaryPacker::recordLimits_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<int>("comments");

    // Ids do not matter to the count: the 16-bit ids cannot tell more records apart.
    QTest::newRow("65,536 blocks") << RecordBuilder().emptyBlocks(65536).record() << 65536 << 0;
    QTest::newRow("65,537 blocks") << RecordBuilder().emptyBlocks(65537).record() << -1 << -1;
    RecordBuilder comments;
    for (int i = 0; i < 65536; ++i)
        comments.comment(1, 0, 0, "");
    QTest::newRow("65,536 comments") << comments.record() << 0 << 65536;
    comments.comment(1, 0, 0, "");
    QTest::newRow("65,537 comments") << comments.record() << -1 << -1;
    // Version 0: block records of 14 bytes with no name and no values.
    QTest::newRow("version 0, 65,537 blocks") << QByteArray(65537 * 14, '\0') << -1 << -1;
    RecordBuilder values;
    for (int i = 0; i < 64; ++i)
        values.block("B", "", quint32(i), 0, 0, QByteArray(32767, ';'));
    QTest::newRow("2,097,152 values") << values.record() << 64 << 0;
    values.block("B", "", 64, 0, 0, "");
    QTest::newRow("2,097,153 values") << values.record() << -1 << -1;
}

void TestBinaryPacker::recordLimits()
{
    QFETCH(QByteArray, record);
    QFETCH(int, blocks);
    QFETCH(int, comments);
    MessageCapture capture;
    const PackedPatch patch = util::readPatchRecord(record);
    if (blocks < 0) {
        checkEmpty(patch);
        QCOMPARE(capture.warnings(),
                 QStringList{"Cant open patch. It holds more than 65536 blocks or comments, or "
                             "more than 2097152 values or cables."});
        QVERIFY(!util::isPatchRecord(record));
        return;
    }
    QVERIFY(capture.warnings().isEmpty());
    QCOMPARE(patch.blocks.size(), blocks);
    QCOMPARE(patch.comments.size(), comments);
}

void TestBinaryPacker::writerRenumbers_data()
{
    QTest::addColumn<QList<int>>("blockIds");
    QTest::addColumn<QList<int>>("commentIds");
    QTest::addColumn<QList<int>>("storedBlocks");
    QTest::addColumn<QList<int>>("storedComments");

    QTest::newRow("ids that fit stay") << QList<int>{0, 65535} << QList<int>{0, 65534}
                                       << QList<int>{0, 65535} << QList<int>{0, 65534};
    QTest::newRow("comment id 65535 takes the lowest free")
        << QList<int>{1} << QList<int>{65535, 1} << QList<int>{1} << QList<int>{2, 1};
    QTest::newRow("block ids 0 and 65536 would meet")
        << QList<int>{0, 65536} << QList<int>{} << QList<int>{0, 1} << QList<int>{};
    QTest::newRow("ids above 16 bits and below 0")
        << QList<int>{70000, 2, -1, 131072} << QList<int>{-5, 70000} << QList<int>{1, 2, 3, 4}
        << QList<int>{1, 2};
}

void TestBinaryPacker::writerRenumbers()
{
    QFETCH(QList<int>, blockIds);
    QFETCH(QList<int>, commentIds);
    QFETCH(QList<int>, storedBlocks);
    QFETCH(QList<int>, storedComments);

    PatchFixture fixture;
    BlockInstance* previous = nullptr;
    for (int i = 0; i < blockIds.size(); ++i) {
        BlockInstance& b = fixture.block(blockIds[i], "Osc", 10 * i, 0);
        // Each block feeds the next; the cables must follow the blocks to their stored ids.
        if (previous)
            fixture.cable(*previous, 0, b, 1);
        previous = &b;
    }
    for (int i = 0; i < commentIds.size(); ++i)
        fixture.comment(commentIds[i], 0, 0, QString::number(i));

    const PackedPatch patch =
        BinaryPacker().load(BinaryPacker().pack(fixture.instanceList(), fixture.commentList()));
    QList<int> blocks;
    for (int i = 0; i < patch.blocks.size(); ++i) {
        blocks << patch.blocks[i].id;
        const QList<QList<qint32>> expected =
            i + 1 < storedBlocks.size() ? QList<QList<qint32>>{{0, storedBlocks[i + 1], 1}}
                                        : QList<QList<qint32>>{};
        QCOMPARE(patch.blocks[i].connections, expected);
    }
    QCOMPARE(blocks, storedBlocks);
    QList<int> comments;
    for (int i = 0; i < patch.comments.size(); ++i) {
        comments << patch.comments[i].id;
        QCOMPARE(patch.comments[i].text, QString::number(i));
    }
    QCOMPARE(comments, storedComments);
}

KL_TEST_MAIN(TestBinaryPacker)
#include "test_binarypacker.moc"
