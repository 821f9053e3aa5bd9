#include "BinaryPacker.h"
#include "BinaryUtil.h"
#include "ByteWriter.h"
#include "ClipboardPayload.h"
#include "MessageCapture.h"
#include "PatchFile.h"
#include "PatchFixture.h"
#include "PatchInfo.h"
#include "PatchRecord.h"
#include "TestMain.h"

#include <QtTest>

namespace {

const QByteArray sep = util::bin::createSeparator();
const QByteArray oldSep = QByteArray::fromHex("0f0f00");

BlockDescription carried(const QString& name, const QByteArray& raw)
{
    BlockDescription d;
    d.name = name;
    d.origin = BlockDescription::OriginPatch;
    d.rawData = raw;
    return d;
}

QByteArray blockFile(const QByteArray& name)
{
    return "<block name=\"" + name +
           "\">\r\n<category>Math</category>\r\n<data name=\"d\"/>"
           "\r\n</block>\r\n";
}

QByteArray appendNodeId(QByteArray record, quint32 nodeId)
{
    util::bin::appendBE32(record, nodeId);
    return record;
}

// A record of the given version with one block and a stored zoom of -2 (where it has one).
QByteArray versionRecord(int version, quint32 nodeId)
{
    if (version == 0)
        return ByteWriter().cstring("Mixer").u8(1).u16(300).u16(200).cstring("1").u8(0).bytes;
    ByteWriter w;
    w.text("r").u16(100).u16(200);
    if (version >= 3)
        w.u8(1).u16(2);
    w.u32(5).u16(1).u8(2);
    if (version == 6)
        w.u16(0);
    w.brk().brk().u8(0).u32(0).brk();
    w.text("Mixer").text("ab12").u8(0).u16(1).u16(300).u16(200).text("1").u8(0);
    return appendNodeId(packedRecord(version, w.bytes), nodeId);
}

} // namespace

class TestPatchFile : public QObject
{
    Q_OBJECT

private slots:
    void recordRule_data();
    void recordRule();
    void recordFromPatchInfo();
    void isPatchRecord_data();
    void isPatchRecord();
    void fileWithoutCarriedBlocks();
    void twoCarriedBlockFiles();
    void separatorBytesInsideAPart_data();
    void separatorBytesInsideAPart();
    void emptyCarriedFile();
    void damagedPartFallsBackToSplitting();
    void carriedFilesShareOneBound();
    void unpackPartitionsTheFile_data();
    void unpackPartitionsTheFile();
    void clipboardPayload();
};

void TestPatchFile::recordRule_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<int>("nodeId");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("zoom");
    QTest::newRow("version 0") << versionRecord(0, 0) << 0 << 2000 << 2000 << 0;
    QTest::newRow("version 1") << versionRecord(1, 7) << 7 << 100 << 200 << 0;
    QTest::newRow("version 2") << versionRecord(2, 7) << 7 << 100 << 200 << 0;
    QTest::newRow("version 3 keeps its zoom") << versionRecord(3, 7) << 7 << 100 << 200 << -2;
    QTest::newRow("version 6, negative node id")
        << versionRecord(6, 0xFFFFFFFE) << -2 << 100 << 200 << -2;
}

void TestPatchFile::recordRule()
{
    QFETCH(QByteArray, record);
    MessageCapture capture;
    const PackedPatch patch = util::readPatchRecord(record);
    QTEST(patch.nodeId, "nodeId");
    QTEST(patch.x, "x");
    QTEST(patch.y, "y");
    QTEST(patch.zoomLevel, "zoom");
    QCOMPARE(patch.blocks.size(), 1);
    QCOMPARE(patch.blocks[0].name, QStringLiteral("Mixer"));
    QVERIFY(capture.warnings().isEmpty());
}

void TestPatchFile::recordFromPatchInfo()
{
    PatchFixture f;
    f.block(1, QStringLiteral("Mixer"), 300, 200);
    f.comment(1, 5, 6, QStringLiteral("c"));
    PatchInfo info;
    info.name = QStringLiteral("drum");
    info.date = 0xFFFFFFF0u;
    info.saved = 3;
    info.lang = 42;
    info.nodeId = 7;
    info.zoomLevel = -4;
    info.includeBlocks = false;

    const QByteArray record =
        util::makePatchRecord(f.instanceList(), f.commentList(), info, 1234, 65535);
    QCOMPARE(record.right(4), QByteArray::fromHex("00000007"));
    QCOMPARE(util::recordVersion(record), 6);
    const PackedPatch patch = util::readPatchRecord(record);
    QCOMPARE(patch.name, info.name);
    QCOMPARE(patch.date, info.date);
    QCOMPARE(patch.saved, 3);
    QCOMPARE(patch.lang, 42);
    QCOMPARE(patch.nodeId, 7);
    QCOMPARE(patch.zoomLevel, -4);
    QCOMPARE(patch.includeBlocks, false);
    QCOMPARE(patch.x, 1234);
    QCOMPARE(patch.y, 65535);
    QCOMPARE(patch.blocks.size(), 1);
    QCOMPARE(patch.comments.size(), 1);
}

void TestPatchFile::isPatchRecord_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<bool>("valid");
    const QByteArray record = versionRecord(6, 3);
    QTest::newRow("record") << record << true;
    QTest::newRow("version 0 record") << versionRecord(0, 0) << true;
    QTest::newRow("without node id") << record.left(record.size() - 4) << false;
    QTest::newRow("with a byte more") << record + "<" << false;
    QTest::newRow("text") << QByteArray("hello") << false;
    QTest::newRow("empty") << QByteArray() << false;
}

void TestPatchFile::isPatchRecord()
{
    QFETCH(QByteArray, record);
    MessageCapture capture;
    QTEST(util::isPatchRecord(record), "valid");
    QVERIFY(capture.messages().isEmpty());
}

void TestPatchFile::fileWithoutCarriedBlocks()
{
    const QByteArray record = versionRecord(6, 1);
    QVERIFY(util::packBlocks({}).isEmpty());
    QCOMPARE(util::patchFileBytes(record, {}, true), record);
    const QHash<QString, BlockDescription> blocks{{"A", carried("A", blockFile("A"))}};
    QCOMPARE(util::patchFileBytes(record, blocks, false), record);
    QCOMPARE(util::unpackPatch(record), QList<QByteArray>{record});
}

void TestPatchFile::twoCarriedBlockFiles()
{
    const QByteArray a = blockFile("Alpha");
    const QByteArray b = blockFile("Beta") + QByteArray("\r\r\n\0tail", 8);
    const QHash<QString, BlockDescription> blocks{{"Alpha", carried("Alpha", a)},
                                                  {"Beta", carried("Beta", b)}};
    const QByteArray record = versionRecord(6, 9);
    const QByteArray file = util::patchFileBytes(record, blocks, true);

    QByteArray expected = record;
    QList<QByteArray> inOrder;
    for (auto it = blocks.cbegin(); it != blocks.cend(); ++it) {
        expected += sep + qCompress(it.value().rawData, -1);
        inOrder << it.value().rawData;
    }
    QCOMPARE(file, expected);

    const QList<QByteArray> parts = util::unpackPatch(file);
    QCOMPARE(parts.size(), 3);
    QCOMPARE(parts[0], record);

    MessageCapture capture;
    const util::PatchFileContents contents = util::readPatchFile(file);
    QCOMPARE(contents.blockFiles, inOrder);
    QCOMPARE(contents.patch.nodeId, 9);
    QCOMPARE(contents.patch.name, QStringLiteral("r"));
    QCOMPARE(contents.patch.blocks.size(), 1);
    QVERIFY(capture.warnings().isEmpty());
}

void TestPatchFile::separatorBytesInsideAPart_data()
{
    QTest::addColumn<QByteArray>("record");
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<QByteArray>("inside");

    // Stored (level 0) compression keeps the file's bytes as they are, so they show inside
    // the part.
    QTest::newRow("version 6, the letters and another byte")
        << versionRecord(6, 1) << sep << QByteArray("knotlattice!");
    QTest::newRow("version 6, the whole separator") << versionRecord(6, 1) << sep << sep;
    QTest::newRow("version 3, the old separator") << versionRecord(3, 1) << oldSep << oldSep;
    QTest::newRow("version 0, the old separator") << versionRecord(0, 0) << oldSep << oldSep;
}

void TestPatchFile::separatorBytesInsideAPart()
{
    QFETCH(QByteArray, record);
    QFETCH(QByteArray, separator);
    QFETCH(QByteArray, inside);
    const QByteArray first = "<block name=\"x\">" + inside + "</block>";
    const QByteArray second = blockFile("Second");
    const QByteArray file =
        record + separator + qCompress(first, 0) + separator + qCompress(second, 0);
    // The fixture bites: splitting at the separator's bytes breaks the first part.
    QVERIFY(file.count(separator.left(separator.size() == 12 ? 11 : 2)) > 2);

    const QList<QByteArray> parts = util::unpackPatch(file);
    QCOMPARE(parts.size(), 3);
    QCOMPARE(parts[0], record);
    const util::PatchFileContents contents = util::readPatchFile(file);
    QCOMPARE(contents.blockFiles, (QList<QByteArray>{first, second}));
    QCOMPARE(contents.patch.blocks.size(), 1);
}

void TestPatchFile::emptyCarriedFile()
{
    const QHash<QString, BlockDescription> blocks{{"E", carried("E", QByteArray())}};
    const QByteArray file = util::patchFileBytes(versionRecord(6, 1), blocks, true);
    QCOMPARE(file.right(4), QByteArray(4, '\0'));
    MessageCapture capture;
    const util::PatchFileContents contents = util::readPatchFile(file);
    QCOMPARE(contents.blockFiles, QList<QByteArray>{QByteArray()});
    QVERIFY(capture.warnings().isEmpty());
}

void TestPatchFile::damagedPartFallsBackToSplitting()
{
    const QByteArray record = versionRecord(6, 1);
    const QByteArray good = blockFile("Good");
    const QByteArray junk("\x00\x00\x00\x10junk", 8);
    const QByteArray file = record + sep + junk + sep + qCompress(good);
    const QList<QByteArray> parts = util::unpackPatch(file);
    QCOMPARE(parts.size(), 3);
    QCOMPARE(parts[1], junk);

    MessageCapture capture;
    const util::PatchFileContents contents = util::readPatchFile(file);
    QCOMPARE(contents.blockFiles, (QList<QByteArray>{QByteArray(), good}));
    // The open reports it, with what it cost.
    QCOMPARE(contents.unnamedDamaged, 1);
    QVERIFY(contents.damagedBlocks.isEmpty());
    QCOMPARE(contents.tooLarge, 0);
    QVERIFY2(capture.warnings().isEmpty(), qPrintable(capture.warnings().join('|')));
    QCOMPARE(contents.patch.blocks.size(), 1);
}

void TestPatchFile::carriedFilesShareOneBound()
{
    // Each part inflates to 30 MiB from a few KB of file; the third would take the carried
    // files together past the bound that one part has.
    const QByteArray part = qCompress(QByteArray(30 << 20, 'x'));
    const QByteArray small = qCompress(blockFile("Small"));
    const QByteArray file =
        versionRecord(6, 1) + sep + part + sep + part + sep + part + sep + part + sep + small;
    MessageCapture capture;
    const util::PatchFileContents contents = util::readPatchFile(file);
    QCOMPARE(contents.blockFiles.size(), 5);
    QCOMPARE(contents.blockFiles[0].size(), 30 << 20);
    QCOMPARE(contents.blockFiles[1].size(), 30 << 20);
    QVERIFY(contents.blockFiles[2].isEmpty());
    QVERIFY(contents.blockFiles[3].isEmpty());
    // What still fits is read.
    QCOMPARE(contents.blockFiles[4], blockFile("Small"));
    QCOMPARE(contents.tooLarge, 2);
    QCOMPARE(contents.unnamedDamaged, 0);
    QVERIFY2(capture.warnings().isEmpty(), qPrintable(capture.warnings().join('|')));
    QCOMPARE(contents.patch.blocks.size(), 1);
}

void TestPatchFile::unpackPartitionsTheFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<QList<QByteArray>>("parts");
    const QByteArray record = versionRecord(6, 1);
    const QByteArray a = qCompress("a");
    const QByteArray b = qCompress("b");
    QTest::newRow("record and parts")
        << record + sep + a + sep + b << sep << QList<QByteArray>{record, a, b};
    QTest::newRow("damaged record")
        << record.left(20) + sep + a << sep << QList<QByteArray>{record.left(20), a};
    QTest::newRow("separators only") << QByteArray::fromHex("0006") + sep + sep << sep
                                     << QList<QByteArray>{QByteArray::fromHex("0006"), {}, {}};
    QTest::newRow("old separators") << QByteArray::fromHex("0003") + oldSep + "x" + oldSep << oldSep
                                    << QList<QByteArray>{QByteArray::fromHex("0003"), "x", {}};
    QTest::newRow("one byte") << QByteArray(1, '\x06') << sep
                              << QList<QByteArray>{QByteArray(1, '\x06')};
}

void TestPatchFile::unpackPartitionsTheFile()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, separator);
    QFETCH(QList<QByteArray>, parts);
    const QList<QByteArray> split = util::unpackPatch(file);
    QCOMPARE(split, parts);
    // Nothing is lost or added: the parts and separators make the file again.
    QByteArray joined = split.value(0);
    for (int i = 1; i < split.size(); ++i)
        joined += separator + split[i];
    QCOMPARE(joined, file);
}

void TestPatchFile::clipboardPayload()
{
    PatchFixture f;
    f.block(1, QStringLiteral("User"), 10, 10);
    const QByteArray packed = BinaryPacker().pack(f.instanceList(), {});
    const QByteArray first = "<block name=\"User\"><help>knotlattice rocks</help></block>\r\n";
    const QByteArray second = blockFile("Other");
    const QByteArray payload = util::clipboardPayload(packed, {first, second});
    QCOMPARE(payload, packed + sep + first + sep + second);

    QCOMPARE(util::unpackClipboardPayload(payload), (QList<QByteArray>{packed, first, second}));
    QCOMPARE(util::unpackClipboardPayload(packed), QList<QByteArray>{packed});
    QCOMPARE(BinaryPacker().load(util::unpackClipboardPayload(payload)[0]).blocks.size(), 1);
}

KL_TEST_MAIN(TestPatchFile)
#include "test_patchfile.moc"
