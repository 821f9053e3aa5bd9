// The repository server's own reading of a query and writing of its log, in-process.
#include "QueryString.h"
#include "RequestLog.h"
#include "TestMain.h"

#include <QCoreApplication>

class TestServerText : public QObject
{
    Q_OBJECT
private slots:
    void query_data();
    void query();
    void logText_data();
    void logText();
    void logLine();
};

void TestServerText::query_data()
{
    QTest::addColumn<QByteArray>("raw");
    // "key=value" for each pair, in order.
    QTest::addColumn<QStringList>("pairs");
    QTest::newRow("plus kept") << QByteArray("pass=YT8+Yg==&name=a+b")
                               << QStringList{"pass=YT8+Yg==", "name=a+b"};
    QTest::newRow("percent-decoded") << QByteArray("name=Drum%20%26%20Bass%20%2B&x=%C3%BCber")
                                     << QStringList{"name=Drum & Bass +", "x=\u00fcber"};
    QTest::newRow("value with =") << QByteArray("pass=a=b=") << QStringList{"pass=a=b="};
    QTest::newRow("empty pieces and a key alone")
        << QByteArray("&&action=version&&flag&") << QStringList{"action=version", "flag="};
    QTest::newRow("broken percent kept") << QByteArray("a=%zz%4") << QStringList{"a=%zz%4"};
    QTest::newRow("encoded key") << QByteArray("act%69on=x") << QStringList{"action=x"};
}

void TestServerText::query()
{
    QFETCH(QByteArray, raw);
    QFETCH(QStringList, pairs);
    QStringList got;
    for (const auto& pair : QueryString::split(raw))
        got << pair.first + "=" + pair.second;
    QCOMPARE(got, pairs);
}

void TestServerText::logText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("logged");
    QTest::newRow("plain") << "list_patches"
                           << "list_patches";
    QTest::newRow("terminal sequence and a line of its own")
        << QStringLiteral("\x1b[2J\nrequest get_uid pass=x")
        << QStringLiteral("\\x1b[2J\\x0arequest\\x20get_uid\\x20pass=x");
    QTest::newRow("carriage return, tab, delete, backslash")
        << QStringLiteral("a\rb\tc\x7f\\d") << QStringLiteral("a\\x0db\\x09c\\x7f\\x5cd");
    QTest::newRow("letters of other scripts kept")
        << QStringLiteral("\u00fcber\u6f22") << QStringLiteral("\u00fcber\u6f22");
    QTest::newRow("line and format characters")
        << QStringLiteral("a\u2028b\u200ec\u0085") << QStringLiteral("a\\u{2028}b\\u{200e}c\\x85");
    QTest::newRow("long text cut")
        << QString(100, QLatin1Char('a')) << QString(64, QLatin1Char('a')) + "...";
}

void TestServerText::logText()
{
    QFETCH(QString, text);
    QFETCH(QString, logged);
    QCOMPARE(RequestLog::escaped(text), logged);
}

void TestServerText::logLine()
{
    QCOMPARE(RequestLog::line(1700000000, QStringLiteral("127.0.0.1"), "GET",
                              QStringLiteral("list_patches"), 200),
             QByteArray("2023-11-14T22:13:20Z 127.0.0.1 GET list_patches 200\n"));
    QCOMPARE(RequestLog::line(1700000000, QStringLiteral("::1"), QByteArray(), QString(), 0),
             QByteArray("2023-11-14T22:13:20Z ::1 - - -\n"));
}

KL_TEST_MAIN(TestServerText)
#include "test_servertext.moc"
