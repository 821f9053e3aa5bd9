#include "OutputLineBuffer.h"
#include "TestMain.h"

// What the emulator program prints arrives in reads of any size; values are whole lines.
class TestOutputLineBuffer : public QObject
{
    Q_OBJECT

private slots:
    void splitsReadsIntoLines_data();
    void splitsReadsIntoLines();
    void boundsALineWithoutBreak();
    void valueOfLine_data();
    void valueOfLine();
};

using ByteList = QList<QByteArray>;

void TestOutputLineBuffer::splitsReadsIntoLines_data()
{
    QTest::addColumn<ByteList>("reads");
    QTest::addColumn<ByteList>("lines");
    QTest::addColumn<QByteArray>("rest");

    QTest::newRow("two values in one read")
        << ByteList{"512\n256\n"} << ByteList{"512", "256"} << QByteArray();
    QTest::newRow("value split across reads")
        << ByteList{"5", "12", "\n"} << ByteList{"512"} << QByteArray();
    QTest::newRow("line break starts the next read")
        << ByteList{"512", "\n256\n"} << ByteList{"512", "256"} << QByteArray();
    QTest::newRow("fragment kept") << ByteList{"512\n25"} << ByteList{"512"} << QByteArray("25");
    QTest::newRow("carriage returns and blank lines")
        << ByteList{"512\r\n", "\n\r\n", "-3\r\n"} << ByteList{"512\r", "-3\r"} << QByteArray();
    QTest::newRow("blank fragment is nothing")
        << ByteList{"1\n", "  "} << ByteList{"1"} << QByteArray();
    QTest::newRow("nothing") << ByteList{"", ""} << ByteList{} << QByteArray();
}

void TestOutputLineBuffer::splitsReadsIntoLines()
{
    QFETCH(ByteList, reads);
    QFETCH(ByteList, lines);
    QFETCH(QByteArray, rest);

    OutputLineBuffer buffer;
    ByteList got;
    for (const QByteArray& read : reads)
        got += buffer.append(read);
    QCOMPARE(got, lines);
    QCOMPARE(buffer.takeRest(), rest);
    QVERIFY(!buffer.hasRest());
    QCOMPARE(buffer.takeRest(), QByteArray());
}

void TestOutputLineBuffer::boundsALineWithoutBreak()
{
    // A program that never ends its lines must not make the editor's buffer grow for ever.
    OutputLineBuffer buffer;
    ByteList got;
    const QByteArray chunk(1000, '7');
    for (int i = 0; i < 10; ++i)
        got += buffer.append(chunk);
    QCOMPARE(got.size(), 10000 / OutputLineBuffer::MaxLineLength);
    for (const QByteArray& line : got)
        QCOMPARE(line.size(), OutputLineBuffer::MaxLineLength);
    QCOMPARE(buffer.takeRest().size(), 10000 % OutputLineBuffer::MaxLineLength);
}

void TestOutputLineBuffer::valueOfLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<double>("value");

    QTest::newRow("half") << QByteArray("512") << 0.5;
    QTest::newRow("negative") << QByteArray("-2048") << -2.0;
    QTest::newRow("white space") << QByteArray(" 256\r") << 0.25;
    QTest::newRow("up to a zero byte") << QByteArray("1024\0"
                                                     "99",
                                                     7)
                                       << 1.0;
    QTest::newRow("not a number") << QByteArray("level") << 0.0;
    QTest::newRow("digits then text") << QByteArray("12ab") << 0.0;
}

void TestOutputLineBuffer::valueOfLine()
{
    QFETCH(QByteArray, line);
    QFETCH(double, value);
    QCOMPARE(OutputLineBuffer::valueOf(line), value);
}

KL_TEST_MAIN(TestOutputLineBuffer)
#include "test_outputlinebuffer.moc"
