#include "CodeCompiler.h"
#include "GeneratedSource.h"
#include "MessageCapture.h"
#include "TestMain.h"
#include "TestPatch.h"

#include <QRegularExpression>
#include <QTemporaryDir>

#include <limits>

namespace {

QString fixturePath(const QString& name)
{
    return testsupport::sourcePath(QStringLiteral("tests/codegen/fixtures/") + name);
}

// The generated text alone: the bare template holds nothing but the marker.
QString generate(const QList<const BlockInstance*>& instances)
{
    CodeCompiler compiler;
    return compiler.createCode(instances, fixturePath(QStringLiteral("bare.txt")));
}

bool setValue(BlockInstance* block, const QString& variable, const QString& text)
{
    if (!block || !block->description)
        return false;
    for (const Variable& v : block->description->variables) {
        if (v.name == variable) {
            block->values[v.id] = text;
            return true;
        }
    }
    return false;
}

QString section(const QString& text, const QString& header)
{
    const int start = text.indexOf(header);
    if (start < 0)
        return QString();
    return text.mid(start, text.indexOf(QLatin1String("\n}\n"), start) + 3 - start);
}

QStringList captures(const QString& text, const QString& pattern)
{
    QStringList found;
    auto it = QRegularExpression(pattern).globalMatch(text);
    while (it.hasNext())
        found << it.next().captured(1);
    return found;
}

const QList<quint32>* scriptedNumbers = nullptr;
int scriptedNext = 0;
quint32 scripted()
{
    return scriptedNumbers->at(scriptedNext++ % scriptedNumbers->size());
}

// Makes the digits of per-instance names come from a list while alive.
struct ScriptedDigits
{
    QList<quint32> numbers;
    explicit ScriptedDigits(const QList<quint32>& list) : numbers(list)
    {
        scriptedNumbers = &numbers;
        scriptedNext = 0;
        GeneratedSource::setNumberSource(&scripted);
    }
    ~ScriptedDigits() { GeneratedSource::setNumberSource(nullptr); }
};

const char* EmptyHandlers = "static inline void init_dsp_objects(){\n}\n"
                            "static inline void audio_rate_handler(){\n}\n"
                            "static inline void control_rate_handler(){\n}\n";

} // namespace

class TestGeneratedSource : public QObject
{
    Q_OBJECT

private slots:
    void emptyPatch();
    void chainText();
    void recordLayout_data();
    void recordLayout();
    void sharedTypesAndFunctions();
    void sharedGlobals();
    void rates_data();
    void rates();
    void bothRatesOfOneType();
    void arraySizedByValues_data();
    void arraySizedByValues();
    void otherSizesGetTheirOwnType();
    void editableArraysGetTheirOwnNames();
    void digitsNeverMeetAnotherName();
    void elementsBeyondDeclaredSize();
    void sizeThatIsNotANumber_data();
    void sizeThatIsNotANumber();
    void fixedPoint_data();
    void fixedPoint();
    void saturatedValueLine();
    void codeWithArgumentMarkers();
    void lineEnds();
    void missingTemplate();
    void templateWithoutMarker();
    void missingPiecesReadAsEmpty();
    void blockWithoutType();
};

void TestGeneratedSource::emptyPatch()
{
    QCOMPARE(generate({}), QString::fromLatin1(EmptyHandlers));
}

// Every section of one small chain, against the format table line by line.
void TestGeneratedSource::chainText()
{
    TestPatch patch;
    BlockInstance* source = patch.add(patch.fixture("t_source.xml"));
    BlockInstance* gain = patch.add(patch.fixture("t_gain.xml"));
    BlockInstance* probe = patch.add(patch.fixture("t_probe.xml"));
    patch.connect(gain, 0, probe, 0);
    patch.connect(source, 0, gain, 0);

    const QString expected = QStringLiteral(
        "static int32_t probe_total;\n"
        "typedef struct {\n\tint32_t out0;\n\tint32_t level;\n}t_source;\n"
        "typedef struct {\n\tint32_t *in0;\n\tint32_t *in1;\n\tint32_t out0;\n}t_gain;\n"
        "typedef struct {\n\tint32_t *in0;\n\tint32_t seen;\n\tint32_t calls;\n}t_probe;\n"
        "t_source block0;\n"
        "t_gain block1;\n"
        "t_probe block2;\n"
        "static inline void t_source_main(t_source *data){\ndata->out0 = data->level;\n}\n"
        "static inline void t_gain_main(t_gain *data){\n"
        "data->out0 = (int32_t)(((int64_t)*data->in0 * *data->in1) >> 10);\n}\n"
        "static inline void t_probe_main(t_probe *data){\ndata->seen = *data->in0;\n"
        "\tdata->calls++;\n\tprobe_total += *data->in0;\n}\n"
        "static inline void init_dsp_objects(){\n"
        "\tstatic int32_t block1_in1 = 512;\n"
        "\tblock0.level = 512;\n"
        "\tblock1.in1 = &block1_in1;\n"
        "\tblock1.in0 = &block0.out0;\n"
        "\tblock2.in0 = &block1.out0;\n"
        "}\n"
        "static inline void audio_rate_handler(){\n"
        "\tt_source_main(&block0);\n\tt_gain_main(&block1);\n\tt_probe_main(&block2);\n"
        "}\n"
        "static inline void control_rate_handler(){\n}\n");
    QCOMPARE(generate(patch.list(QString()) << probe << gain << source), expected);
}

void TestGeneratedSource::recordLayout_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("record");

    QTest::newRow("inputs are pointers, outputs values")
        << "t_gain.xml"
        << "typedef struct {\n\tint32_t *in0;\n\tint32_t *in1;\n\tint32_t out0;\n}t_gain;\n";
    QTest::newRow("arrays are followed by their length")
        << "t_list.xml"
        << "typedef struct {\n\tint32_t out0;\n\tint32_t items[2];\n\tuint32_t items_length;\n"
           "\tint32_t steps[4];\n\tuint32_t steps_length;\n}t_list;\n";
    QTest::newRow("the rate variable has no member")
        << "t_knob.xml"
        << "typedef struct {\n\tint32_t out0;\n\tint32_t amount;\n}t_knob;\n";
}

void TestGeneratedSource::recordLayout()
{
    QFETCH(QString, fixture);
    QFETCH(QString, record);
    TestPatch patch;
    patch.add(patch.fixture(fixture));
    const QString text = generate(patch.all());
    QVERIFY2(text.contains(record), qPrintable(text));
    QCOMPARE(text.count(QLatin1String("typedef struct {")), 1);
}

void TestGeneratedSource::sharedTypesAndFunctions()
{
    TestPatch patch;
    const BlockDescription* gain = patch.fixture("t_gain.xml");
    patch.add(gain);
    patch.add(gain);
    const QString text = generate(patch.all());
    QCOMPARE(text.count(QLatin1String("}t_gain;\n")), 1);
    QCOMPARE(text.count(QLatin1String("static inline void t_gain_main(")), 1);
    QVERIFY(text.contains(QLatin1String("t_gain block0;\nt_gain block1;\n")));
    QVERIFY(text.contains(QLatin1String("\tt_gain_main(&block0);\n\tt_gain_main(&block1);\n")));
    QVERIFY(text.contains(QLatin1String("\tstatic int32_t block0_in0 = 0;\n")));
    QVERIFY(text.contains(QLatin1String("\tstatic int32_t block1_in1 = 512;\n")));
}

void TestGeneratedSource::sharedGlobals()
{
    TestPatch patch;
    auto withGlobals = [&patch](const char* type, const char* globals) {
        return patch.fromXml(QByteArray("<b name=\"") + type + "\"><data name=\"" + type +
                             "\"/><function name=\"" + type + "_main\">;</function>" + globals +
                             "</b>");
    };
    patch.add(withGlobals("g_a", "<global name=\"shared\">int shared_a;</global>"
                                 "<global>int unnamed_a;</global>"));
    patch.add(withGlobals("g_b", "<global name=\"shared\">int shared_b;</global>"
                                 "<global>int unnamed_b;</global>"
                                 "<global name=\"own\">int own_b;</global>"));
    const QString text = generate(patch.all());
    QVERIFY(text.startsWith(QLatin1String("int shared_a;\nint unnamed_a;\nint own_b;\ntypedef")));
    QVERIFY(!text.contains(QLatin1String("shared_b")));
    QVERIFY(!text.contains(QLatin1String("unnamed_b")));
}

void TestGeneratedSource::rates_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("audioCall");
    QTest::addColumn<QString>("controlCall");

    QTest::newRow("audio rate") << "t_osc.xml"
                                << "0"
                                << "static inline void t_osc_main(t_osc"
                                << "\tt_osc_main(&block0);\n"
                                << "";
    QTest::newRow("control rate with the sample rate in the code")
        << "t_osc.xml"
        << "1"
        << "static inline void t_osc_main_ctl(t_osc"
        << ""
        << "\tt_osc_main_ctl(&block0);\n";
    QTest::newRow("any rate text but 0 is control rate")
        << "t_osc.xml"
        << "2"
        << "static inline void t_osc_main_ctl(t_osc"
        << ""
        << "\tt_osc_main_ctl(&block0);\n";
    QTest::newRow("control rate without the sample rate") << "t_knob.xml"
                                                          << "1"
                                                          << "static inline void t_knob_main(t_knob"
                                                          << ""
                                                          << "\tt_knob_main(&block0);\n";
}

void TestGeneratedSource::rates()
{
    QFETCH(QString, fixture);
    QFETCH(QString, rate);
    QFETCH(QString, function);
    QFETCH(QString, audioCall);
    QFETCH(QString, controlCall);
    TestPatch patch;
    BlockInstance* block = patch.add(patch.fixture(fixture));
    QVERIFY(setValue(block, QStringLiteral("rate"), rate));
    const QString text = generate(patch.all());
    QVERIFY2(text.contains(function), qPrintable(text));
    QCOMPARE(text.count(QLatin1String("static inline void t_")), 1);
    QCOMPARE(section(text, QStringLiteral("static inline void audio_rate_handler(){")),
             QStringLiteral("static inline void audio_rate_handler(){\n%1}\n").arg(audioCall));
    QCOMPARE(section(text, QStringLiteral("static inline void control_rate_handler(){")),
             QStringLiteral("static inline void control_rate_handler(){\n%1}\n").arg(controlCall));
    if (function.contains(QLatin1String("_ctl"))) {
        const QString body = section(text, function);
        QVERIFY(body.contains(QLatin1String("% CTL_RATE")));
        QVERIFY(!body.contains(QLatin1String("SMP_RATE")));
    }
}

void TestGeneratedSource::bothRatesOfOneType()
{
    TestPatch patch;
    const BlockDescription* osc = patch.fixture("t_osc.xml");
    BlockInstance* slow = patch.add(osc);
    BlockInstance* slow2 = patch.add(osc);
    patch.add(osc);
    QVERIFY(setValue(slow, QStringLiteral("rate"), QStringLiteral("1")));
    QVERIFY(setValue(slow2, QStringLiteral("rate"), QStringLiteral("1")));
    const QString text = generate(patch.all());
    QCOMPARE(text.count(QLatin1String("static inline void t_osc_main_ctl(t_osc *data){")), 1);
    QCOMPARE(text.count(QLatin1String("static inline void t_osc_main(t_osc *data){")), 1);
    QVERIFY(text.contains(QLatin1String("static inline void control_rate_handler(){\n"
                                        "\tt_osc_main_ctl(&block0);\n"
                                        "\tt_osc_main_ctl(&block1);\n}\n")));
    QVERIFY(text.contains(QLatin1String("\tt_osc_main(&block2);\n")));
}

void TestGeneratedSource::arraySizedByValues_data()
{
    QTest::addColumn<QString>("items");
    QTest::addColumn<QString>("member");
    QTest::addColumn<QString>("lines");

    QTest::newRow("three values")
        << "1,2,3"
        << "\tint32_t items[3];\n"
        << "\tblock0.items_length = 3;\n\tblock0.items[0] = 1024;\n\tblock0.items[1] = 2048;\n"
           "\tblock0.items[2] = 3072;\n";
    QTest::newRow("empty parts give 0")
        << "1,,0.5"
        << "\tint32_t items[3];\n"
        << "\tblock0.items_length = 3;\n\tblock0.items[0] = 1024;\n\tblock0.items[1] = 0;\n"
           "\tblock0.items[2] = 512;\n";
    QTest::newRow("empty text") << ""
                                << "\tint32_t items[1];\n"
                                << "\tblock0.items_length = 0;\n";
}

void TestGeneratedSource::arraySizedByValues()
{
    QFETCH(QString, items);
    QFETCH(QString, member);
    QFETCH(QString, lines);
    TestPatch patch;
    BlockInstance* list = patch.add(patch.fixture("t_list.xml"));
    QVERIFY(setValue(list, QStringLiteral("items[?]"), items));
    QVERIFY(setValue(list, QStringLiteral("steps[4]"), QString()));
    const QString text = generate(patch.all());
    QVERIFY2(text.contains(member + QLatin1String("\tuint32_t items_length;\n")), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("static inline void init_dsp_objects(){\n") + lines +
                           QLatin1String("\tblock0.steps_length = 0;\n\tt_list_init(&block0);\n")),
             qPrintable(text));
}

// A shared type has one size; blocks that need another size get a copy of their own.
void TestGeneratedSource::otherSizesGetTheirOwnType()
{
    TestPatch patch;
    const BlockDescription* type = patch.fixture("t_list.xml");
    for (const char* items : {"1,2", "1,2,3", "4,5,6", "7,8"})
        QVERIFY(setValue(patch.add(type), QStringLiteral("items[?]"), QLatin1String(items)));
    const QString text = generate(patch.all());

    const QStringList declared = captures(text, QStringLiteral("(\\w+) block\\d;\n"));
    QCOMPARE(declared.size(), 4);
    QCOMPARE(declared.at(0), QStringLiteral("t_list"));
    QCOMPARE(declared.at(3), QStringLiteral("t_list"));
    QCOMPARE(declared.at(1), declared.at(2));
    const QString digits = declared.at(1).mid(6);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d+$")).match(digits).hasMatch(),
             qPrintable(declared.at(1)));

    QVERIFY(text.contains(QStringLiteral("\tint32_t items[3];\n\tuint32_t items_length;\n"
                                         "\tint32_t steps[4];\n\tuint32_t steps_length;\n}t_list") +
                          digits + QLatin1String(";\n")));
    QVERIFY(text.contains(QLatin1String("\tint32_t items[2];\n")));
    QVERIFY(text.contains(
        QStringLiteral("static inline void t_list_init%1(t_list%1 *data){").arg(digits)));
    QVERIFY(text.contains(
        QStringLiteral("static inline void t_list_main%1(t_list%1 *data){").arg(digits)));
    QVERIFY(text.contains(QStringLiteral("\tt_list_init(&block0);\n\tt_list_init%1(&block1);\n"
                                         "\tt_list_init%1(&block2);\n\tt_list_init(&block3);\n")
                              .arg(digits)));
    QVERIFY(text.contains(QStringLiteral("\tt_list_main(&block0);\n\tt_list_main%1(&block1);\n"
                                         "\tt_list_main%1(&block2);\n\tt_list_main(&block3);\n")
                              .arg(digits)));
    QCOMPARE(text.count(QLatin1String("typedef struct {")), 2);
}

void TestGeneratedSource::editableArraysGetTheirOwnNames()
{
    TestPatch patch;
    const BlockDescription* table = patch.fixture("t_table.xml");
    BlockInstance* first = patch.add(table);
    BlockInstance* second = patch.add(table);
    QVERIFY(setValue(first, QStringLiteral("rate"), QStringLiteral("1")));
    QVERIFY(setValue(second, QStringLiteral("rate"), QStringLiteral("1")));
    const QString text = generate(patch.all());

    const QStringList types = captures(text, QStringLiteral("\\}t_table(\\d+);\n"));
    QCOMPARE(types.size(), 2);
    QVERIFY(types.at(0) != types.at(1));
    for (int n = 0; n < 2; ++n) {
        const QString d = types.at(n);
        QVERIFY(text.contains(QStringLiteral("t_table%1 block%2;\n").arg(d).arg(n)));
        QVERIFY(text.contains(
            QStringLiteral("static inline void t_table_main%1_ctl(t_table%1 *data){").arg(d)));
        QVERIFY(text.contains(
            QStringLiteral("static inline void t_table_init%1(t_table%1 *data){").arg(d)));
        QVERIFY(text.contains(QStringLiteral("\tt_table_init%1(&block%2);\n").arg(d).arg(n)));
        QVERIFY(text.contains(QStringLiteral("\tt_table_main%1_ctl(&block%2);\n").arg(d).arg(n)));
    }
    QCOMPARE(text.count(QLatin1String("static inline int32_t t_table_clip(int32_t v){")), 1);

    // Two editable arrays: two numbers, one after the other.
    ScriptedDigits digits({41, 7});
    TestPatch two;
    two.add(two.fromXml("<b name=\"Two\"><data name=\"two\">"
                        "<v name=\"a[?]\" dtype=\"int32_t\" editable=\"1\" value=\"1\"/>"
                        "<v name=\"b[2]\" dtype=\"int32_t\" editable=\"1\" value=\"1,2\"/>"
                        "</data><function name=\"two_main\">;</function></b>"));
    const QString twoText = generate(two.all());
    QVERIFY2(twoText.contains(QLatin1String("}two417;\n")), qPrintable(twoText));
    QVERIFY(twoText.contains(QLatin1String("\ttwo_main417(&block0);\n")));
}

// Names with digits are checked against every plain name of the patch and every name made
// before them.
void TestGeneratedSource::digitsNeverMeetAnotherName()
{
    TestPatch patch;
    const BlockDescription* table = patch.fixture("t_table.xml");
    // A type whose plain names are what the first digits would make.
    patch.add(patch.fromXml("<b name=\"Plain\"><data name=\"t_table5\"/>"
                            "<function name=\"other_main\">;</function></b>"));
    patch.add(table);
    patch.add(table);
    // "x" with 12 and "x1" with 2 would both give x12.
    const QByteArray arrayBlock = "<v name=\"a[?]\" dtype=\"int32_t\" editable=\"1\" value=\"1\"/>";
    patch.add(patch.fromXml("<b name=\"X\"><data name=\"x\">" + arrayBlock +
                            "</data><function name=\"xm\">;</function></b>"));
    patch.add(patch.fromXml("<b name=\"X1\"><data name=\"x1\">" + arrayBlock +
                            "</data><function name=\"x1m\">;</function></b>"));

    ScriptedDigits digits({5, 5, 7, 9, 12, 2, 3});
    const QString text = generate(patch.all());
    const QStringList types = captures(text, QStringLiteral("\\}(\\w+);\n"));
    QCOMPARE(types, QStringList({"t_table5", "t_table7", "t_table9", "x12", "x13"}));
    QVERIFY(text.contains(QLatin1String("\tt_table_init7(&block1);\n")));
    QVERIFY(text.contains(QLatin1String("\tt_table_init9(&block2);\n")));
}

void TestGeneratedSource::elementsBeyondDeclaredSize()
{
    TestPatch patch;
    BlockInstance* list = patch.add(patch.fixture("t_list.xml"));
    QVERIFY(setValue(list, QStringLiteral("steps[4]"), QStringLiteral("1,2,3,4,5,6")));
    MessageCapture messages;
    const QString text = generate(patch.all());
    QVERIFY(text.contains(QLatin1String("\tblock0.steps_length = 4;\n\tblock0.steps[0] = 1024;\n"
                                        "\tblock0.steps[1] = 2048;\n\tblock0.steps[2] = 3072;\n"
                                        "\tblock0.steps[3] = 4096;\n\tt_list_init")));
    QVERIFY(!text.contains(QLatin1String("steps[4] =")));
    QCOMPARE(messages.warnings().size(), 1);
    QVERIFY2(messages.warnings().first().contains(QLatin1String("Test List (id 1)")) &&
                 messages.warnings().first().contains(QLatin1String("steps[4]")) &&
                 messages.warnings().first().contains(QLatin1String("2 values")),
             qPrintable(messages.warnings().first()));
}

void TestGeneratedSource::sizeThatIsNotANumber_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("member");

    QTest::newRow("a word") << "buf[N]"
                            << "\tint32_t buf[3];\n";
    QTest::newRow("empty brackets") << "buf[]"
                                    << "\tint32_t buf[3];\n";
    QTest::newRow("an expression") << "buf[?+1]"
                                   << "\tint32_t buf[3];\n";
    QTest::newRow("unclosed") << "buf[4"
                              << "\tint32_t buf[3];\n";
}

void TestGeneratedSource::sizeThatIsNotANumber()
{
    QFETCH(QString, name);
    QFETCH(QString, member);
    TestPatch patch;
    BlockDescription type;
    type.name = QStringLiteral("Odd");
    type.dataName = QStringLiteral("odd");
    Variable array;
    array.dtype = QStringLiteral("int32_t");
    array.name = name;
    array.value = QStringLiteral("1,2,3");
    type.variables.push_back(array);
    BlockInstance* block = patch.add(patch.keep(type));
    BlockInstance* block2 = patch.add(block->description);
    Q_UNUSED(block2);

    MessageCapture messages;
    const QString text = generate(patch.all());
    QVERIFY2(text.contains(member + QLatin1String("\tuint32_t buf_length;\n")), qPrintable(text));
    QVERIFY(text.contains(QLatin1String("\tblock0.buf_length = 3;\n")));
    QVERIFY(text.contains(QLatin1String("\tblock1.buf[2] = 3072;\n")));
    QCOMPARE(messages.warnings().size(), 1);
    QVERIFY(messages.warnings().first().contains(QLatin1String("is not a number")));
}

void TestGeneratedSource::fixedPoint_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint32>("value");
    const qint32 max = std::numeric_limits<qint32>::max();
    const qint32 min = std::numeric_limits<qint32>::min();

    QTest::newRow("one") << "1" << 1024;
    QTest::newRow("half") << "0.5" << 512;
    QTest::newRow("truncated toward zero") << "-0.3" << -307;
    QTest::newRow("below one step") << "0.0009" << 0;
    QTest::newRow("exponent") << "1e2" << 102400;
    QTest::newRow("blanks around") << " 2 " << 2048;
    QTest::newRow("not a number") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("nan") << "nan" << 0;
    QTest::newRow("largest in range") << "2097151.999" << 2147483646;
    QTest::newRow("just above the range") << "2097152" << max;
    QTest::newRow("lowest in range") << "-2097152" << min;
    QTest::newRow("just below the range") << "-2097152.001" << min;
    QTest::newRow("huge") << "1e300" << max;
    QTest::newRow("huge negative") << "-1e300" << min;
    QTest::newRow("inf") << "inf" << max;
    QTest::newRow("minus inf") << "-inf" << min;
}

void TestGeneratedSource::fixedPoint()
{
    QFETCH(QString, text);
    QFETCH(qint32, value);
    QCOMPARE(GeneratedSource::fixedPoint(text), value);
}

void TestGeneratedSource::saturatedValueLine()
{
    TestPatch patch;
    BlockInstance* source = patch.add(patch.fixture("t_source.xml"));
    BlockInstance* gain = patch.add(patch.fixture("t_gain.xml"));
    QVERIFY(setValue(source, QStringLiteral("level"), QStringLiteral("1e12")));
    QVERIFY(setValue(gain, QStringLiteral("in1"), QStringLiteral("-inf")));
    const QString text = generate(patch.all());
    QVERIFY(text.contains(QLatin1String("\tblock0.level = 2147483647;\n")));
    QVERIFY(text.contains(QLatin1String("\tstatic int32_t block1_in1 = -2147483648;\n")));
}

void TestGeneratedSource::codeWithArgumentMarkers()
{
    TestPatch patch;
    patch.add(patch.fixture("t_marks.xml"));
    const QString text = generate(patch.all());
    QVERIFY(text.startsWith(QLatin1String("static const char *marks_text = \"%1 a%2 %3%4\";\n")));
    QVERIFY(
        text.contains(QLatin1String("static inline void t_marks_main(t_marks *data){\n"
                                    "/* %1 a%2 %9 */ data->out0 = marks_text[0] == '%';\n}\n")));
}

void TestGeneratedSource::lineEnds()
{
    QTemporaryDir dir;
    const QString templatePath = dir.filePath(QStringLiteral("templ.txt"));
    QFile file(templatePath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("/* head */\r\n###dynamic###\r\n/* tail */\r\n");
    file.close();

    TestPatch patch;
    patch.add(
        patch.fromXml("<b name=\"CR\"><data name=\"cr\"/>"
                      "<function name=\"cr_main\"><![CDATA[int a;\r\n\ta = 1;\r\n\t(void)a;]]>"
                      "</function></b>"));
    CodeCompiler compiler;
    const QString text = compiler.createCode(patch.all(), templatePath);
    QVERIFY(!text.contains(QLatin1Char('\r')));
    QVERIFY(text.startsWith(QLatin1String("/* head */\ntypedef struct {\n}cr;\n")));
    QVERIFY(text.contains(QLatin1String("{\nint a;\n\ta = 1;\n\t(void)a;\n}\n")));
    QVERIFY(text.endsWith(QLatin1String("control_rate_handler(){\n}\n\n/* tail */\n")));
}

void TestGeneratedSource::missingTemplate()
{
    TestPatch patch;
    patch.add(patch.fixture("t_gain.xml"));
    MessageCapture messages;
    CodeCompiler compiler;
    QVERIFY(compiler.createCode(patch.all(), QStringLiteral("/no/such/templ_emul.txt")).isEmpty());
    QCOMPARE(messages.warnings(),
             QStringList(QStringLiteral(
                 "can't open template file for compiler: \"/no/such/templ_emul.txt\"")));
}

void TestGeneratedSource::templateWithoutMarker()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("t.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("int main(void) { return 0; }\n");
    file.close();
    TestPatch patch;
    patch.add(patch.fixture("t_gain.xml"));
    CodeCompiler compiler;
    QCOMPARE(compiler.createCode(patch.all(), file.fileName()),
             QStringLiteral("int main(void) { return 0; }\n"));
}

// Values and sockets the block type lacks read as empty; nothing is read out of range.
void TestGeneratedSource::missingPiecesReadAsEmpty()
{
    TestPatch patch;
    const BlockDescription* gainType = patch.fixture("t_gain.xml");
    BlockInstance* source = patch.add(patch.fixture("t_source.xml"));
    BlockInstance* shortValues = patch.add(gainType);
    BlockInstance* badSockets = patch.add(gainType);
    BlockInstance* probe = patch.add(patch.fixture("t_probe.xml"));
    shortValues->values = QStringList({QStringLiteral("3")});
    // A cable filed under an input the type does not have.
    patch.connect(source, 0, badSockets, 7);
    // A cable from an output the source's type does not have.
    patch.connect(source, 4, badSockets, 1);
    // A cable whose source block is gone.
    BlockConnection orphan;
    orphan.inBlock = probe;
    probe->inputs.insert(0, &orphan);

    // The sink with the short list comes first: block0, then source, badSockets and probe.
    const QString text = generate(patch.all());
    QVERIFY2(text.contains(QLatin1String("\tstatic int32_t block0_in0 = 3072;\n")),
             qPrintable(text));
    QVERIFY(text.contains(QLatin1String("\tstatic int32_t block0_in1 = 0;\n")));
    // The input fed from a missing output points at its own value instead.
    QVERIFY(text.contains(QLatin1String("\tstatic int32_t block2_in1 = 512;\n")));
    QVERIFY(text.contains(QLatin1String("\tblock2.in1 = &block2_in1;\n")));
    QVERIFY(!text.contains(QLatin1String("in7")));
    QVERIFY(text.contains(QLatin1String("\tblock3.in0 = &block3_in0;\n")));
    // Every input of every record is set exactly once.
    for (const char* input : {"block0.in0", "block0.in1", "block2.in0", "block2.in1", "block3.in0"})
        QCOMPARE(text.count(QLatin1String("\t") + QLatin1String(input) + QLatin1String(" = &")), 1);
}

void TestGeneratedSource::blockWithoutType()
{
    TestPatch patch;
    BlockInstance* lost = patch.add(nullptr);
    BlockInstance* gain = patch.add(patch.fixture("t_gain.xml"));
    patch.connect(lost, 0, gain, 0);
    MessageCapture messages;
    const QString text = generate(patch.all());
    QCOMPARE(messages.warnings().size(), 1);
    QVERIFY(messages.warnings().first().contains(QLatin1String("no block type")));
    QVERIFY(!text.contains(QLatin1String("block0")));
    QVERIFY(text.contains(QLatin1String("\tblock1.in0 = &block1_in0;\n")));
}

KL_TEST_MAIN(TestGeneratedSource)
#include "test_generated_source.moc"
