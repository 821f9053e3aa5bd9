#include "BlockManager.h"
#include "MessageCapture.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

namespace {

using Origin = BlockDescription::BlockOrigin;

QString fixture(const QString& relative)
{
    return testsupport::sourcePath(QStringLiteral("tests/model/fixtures/") + relative);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// ` a0="" a1="" ...`
QByteArray manyAttributes(int count)
{
    QByteArray attributes;
    for (int i = 0; i < count; ++i)
        attributes += " a" + QByteArray::number(i) + "=\"\"";
    return attributes;
}

QByteArray blockXml(const QString& name, const QString& category, const QString& info = {},
                    const QString& dataChildren = QStringLiteral("<v socket=\"in\"/>"))
{
    return QStringLiteral("<block name=\"%1\"><category>%2</category><info>%3</info>"
                          "<data name=\"%1_data\">%4</data>"
                          "<function name=\"%1_main\">x</function></block>")
        .arg(name, category, info, dataChildren)
        .toUtf8();
}

BlockDescription parseData(const QString& dataChildren)
{
    return BlockManager::loadBlock(
        blockXml(QStringLiteral("t"), QStringLiteral("Math"), {}, dataChildren),
        BlockDescription::OriginLibrary);
}

BlockDescription parseFunctions(const QString& functions)
{
    const QString xml =
        QStringLiteral("<block name=\"t\"><data name=\"d\"/>%1</block>").arg(functions);
    return BlockManager::loadBlock(xml.toUtf8(), BlockDescription::OriginLibrary);
}

// Every name as listed in the category map, category by category.
QStringList listedNames(const BlockManager& manager)
{
    QStringList names;
    const BlockManager::Categories* categories = manager.blocksInCategories();
    for (auto it = categories->cbegin(); it != categories->cend(); ++it) {
        for (const BlockDescription* description : it.value())
            names << description->name;
    }
    return names;
}

QStringList namesIn(const BlockManager& manager, const QString& category)
{
    QStringList names;
    for (const BlockDescription* description : manager.blocksInCategories()->value(category))
        names << description->name;
    return names;
}

// Every listed pointer is the stored description of its name, under its own category.
void checkCategoriesPointIntoLibrary(const BlockManager& manager)
{
    const BlockManager::Categories* categories = manager.blocksInCategories();
    for (auto it = categories->cbegin(); it != categories->cend(); ++it) {
        QVERIFY2(!it.value().isEmpty(), qPrintable(it.key()));
        for (const BlockDescription* description : it.value()) {
            QCOMPARE(description, manager.blockDescription(description->name));
            QCOMPARE(description->category, it.key());
        }
    }
    QStringList listed = listedNames(manager);
    listed.sort();
    QStringList stored = manager.getBlockDescriptions()->keys();
    stored.sort();
    QCOMPARE(listed, stored);
}

// The socket lists point into the description's own variables, at the right ones.
void checkSocketsPointInto(const BlockDescription& description)
{
    QList<const Variable*> inputs;
    QList<const Variable*> outputs;
    for (const Variable& variable : description.variables) {
        if (variable.socketKind == Variable::SocketInput)
            inputs << &variable;
        else if (variable.socketKind == Variable::SocketOutput)
            outputs << &variable;
    }
    QCOMPARE(description.inputs, inputs);
    QCOMPARE(description.outputs, outputs);
}

const char* const edgeData = "<v socket=\"in\" info=\"Left\"/>"
                             "<v socket=\"in\" dtype=\"float\" name=\"freq\" info=\"Right\"/>"
                             "<v socket=\"out\" dtype=\"float\" name=\"result\"/>"
                             "<v name=\"gain\" dtype=\"int32_t\" editable=\"1\" value=\"512\" "
                             "info=\"Gain\"/>"
                             "<!-- a note for people, not a variable -->";

} // namespace

class TestBlockManager : public QObject
{
    Q_OBJECT

private slots:
    void variableRules_data();
    void variableRules();
    void socketListsOfEdgeFile();
    void functionRules_data();
    void functionRules();
    void mainFunctionAndRate_data();
    void mainFunctionAndRate();
    void documentTexts();
    void hashIgnoresCarriageReturns();
    void originFields_data();
    void originFields();
    void malformedXmlGivesEmptyDescription_data();
    void malformedXmlGivesEmptyDescription();
    void nestedBlockFileReads();
    void blockName_data();
    void blockName();
    void copiesKeepOwnSockets();

    void libraryThenCustomFolder();
    void rescanListsOnce();
    void rescanMovesChangedCategory();
    void replacementInPlaceKeepsPointers();
    void loadNewBlock_data();
    void loadNewBlock();
    void unreadableEntriesSkipped();
    void scanFindsEveryFile_data();
    void scannedFilesEndWithTheOneKept_data();
    void scannedFilesEndWithTheOneKept();
    void scanFindsEveryFile();
    void missingFolderWarns();
};

void TestBlockManager::variableRules_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("socketKind");
    QTest::addColumn<int>("socketIndex");
    QTest::addColumn<QString>("dtype");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("editable");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("info");

    const QString edge = QString::fromLatin1(edgeData);
    QTest::newRow("first input") << edge << 0 << 1 << 0 << "int32_t"
                                 << "in0" << false << ""
                                 << "Left";
    QTest::newRow("second input ignores own dtype and name") << edge << 1 << 1 << 1 << "int32_t"
                                                             << "in1" << false << ""
                                                             << "Right";
    QTest::newRow("output ignores own dtype and name") << edge << 2 << 2 << 0 << "int32_t"
                                                       << "out0" << false << ""
                                                       << "";
    QTest::newRow("plain editable variable") << edge << 3 << 3 << 0 << "int32_t"
                                             << "gain" << true << "512"
                                             << "Gain";
    QTest::newRow("comment gives empty variable") << edge << 4 << 3 << 0 << ""
                                                  << "" << false << ""
                                                  << "";
    QTest::newRow("rate comes last") << edge << 5 << 0 << 0 << "bool"
                                     << "rate" << true << "0"
                                     << "Control Rate";

    QTest::newRow("editable true is not editable")
        << "<v name=\"a\" editable=\"true\"/>" << 0 << 3 << 0 << ""
        << "a" << false << ""
        << "";
    QTest::newRow("editable with blanks is not editable")
        << "<v name=\"a\" editable=\" 1\"/>" << 0 << 3 << 0 << ""
        << "a" << false << ""
        << "";
    QTest::newRow("socket match is exact")
        << "<v socket=\"IN\" name=\"a\" dtype=\"char\"/>" << 0 << 3 << 0 << "char"
        << "a" << false << ""
        << "";
    QTest::newRow("output numbering ignores inputs")
        << "<v socket=\"in\"/><v socket=\"out\"/><v socket=\"in\"/><v socket=\"out\"/>" << 3 << 2
        << 1 << "int32_t"
        << "out1" << false << ""
        << "";
    QTest::newRow("any tag is a variable")
        << "<anything name=\"buf[?]\" dtype=\"int32_t\" value=\"1,2,3\"/>" << 0 << 3 << 0
        << "int32_t"
        << "buf[?]" << false << "1,2,3"
        << "";
    QTest::newRow("stray text is a variable")
        << "<v name=\"a\"/>stray<v socket=\"out\"/>" << 1 << 3 << 0 << ""
        << "" << false << ""
        << "";
    QTest::newRow("node after stray text keeps its position")
        << "<v name=\"a\"/>stray<v socket=\"out\"/>" << 2 << 2 << 0 << "int32_t"
        << "out0" << false << ""
        << "";
    QTest::newRow("white space is not a node") << "\n  <v socket=\"in\"/>\n  <v socket=\"in\"/>\n"
                                               << 2 << 0 << 0 << "bool"
                                               << "rate" << true << "0"
                                               << "Control Rate";
}

void TestBlockManager::variableRules()
{
    QFETCH(QString, data);
    QFETCH(int, index);

    const BlockDescription description = parseData(data);
    QVERIFY(index < static_cast<int>(description.variables.size()));
    const Variable& variable = description.variables[static_cast<size_t>(index)];
    QCOMPARE(variable.id, index);
    QTEST(int(variable.socketKind), "socketKind");
    if (variable.socketKind == Variable::SocketInput ||
        variable.socketKind == Variable::SocketOutput)
        QTEST(int(variable.socketIndex), "socketIndex");
    QTEST(variable.dtype, "dtype");
    QTEST(variable.name, "name");
    QTEST(variable.editable, "editable");
    QTEST(variable.value, "value");
    QTEST(variable.info, "info");
    QCOMPARE(description.variables.back().name, QStringLiteral("rate"));
}

void TestBlockManager::socketListsOfEdgeFile()
{
    const BlockDescription description = parseData(QString::fromLatin1(edgeData));
    QCOMPARE(description.variables.size(), size_t(6));
    QCOMPARE(description.variables[5].id, 5);
    QCOMPARE(description.inputs.size(), 2);
    QCOMPARE(description.outputs.size(), 1);
    QCOMPARE(description.inputs[0], &description.variables[0]);
    QCOMPARE(description.inputs[1], &description.variables[1]);
    QCOMPARE(description.outputs[0], &description.variables[2]);
}

void TestBlockManager::functionRules_data()
{
    QTest::addColumn<QString>("function");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("parameters");
    QTest::addColumn<QString>("returnType");
    QTest::addColumn<QString>("code");

    QTest::newRow("custom in capitals with blanks")
        << "<function type=\"  CUSTOM \" name=\"f\" parameter=\"int32_t x\" "
           "return=\"int32_t\">return x;</function>"
        << 2 << "(int32_t x)"
        << "int32_t"
        << "return x;";
    QTest::newRow("parameter with both parentheses kept")
        << "<function type=\"custom\" name=\"f\" parameter=\"(int a, int b)\">;</function>" << 2
        << "(int a, int b)"
        << "void"
        << ";";
    QTest::newRow("parameter with one parenthesis wrapped")
        << "<function type=\"custom\" name=\"f\" parameter=\"int a(\">;</function>" << 2
        << "(int a()"
        << "void"
        << ";";
    QTest::newRow("empty parameter")
        << "<function type=\"custom\" name=\"f\" parameter=\"\">;</function>" << 2 << "()"
        << "void"
        << ";";
    QTest::newRow("return of blanks is void")
        << "<function type=\"custom\" name=\"f\" return=\"   \">;</function>" << 2 << "()"
        << "void"
        << ";";
    QTest::newRow("return trimmed")
        << "<function type=\"custom\" name=\"f\" return=\" uint8_t \">;</function>" << 2 << "()"
        << "uint8_t"
        << ";";
    QTest::newRow("init takes no parameters or return")
        << "<function type=\"Init\" name=\"f\" parameter=\"int a\" return=\"int\">;</function>" << 1
        << ""
        << ""
        << ";";
    QTest::newRow("main named") << "<function type=\" main\" name=\"f\">;</function>" << 0 << ""
                                << ""
                                << ";";
    QTest::newRow("main by default") << "<function name=\"f\">;</function>" << 0 << ""
                                     << ""
                                     << ";";
    QTest::newRow("code joins text and CDATA without markup")
        << "<function name=\"f\">a = 1;<![CDATA[if (a < b && c > d)]]><b>x</b>;</function>" << 0
        << ""
        << ""
        << "a = 1;if (a < b && c > d)x;";
}

void TestBlockManager::functionRules()
{
    QFETCH(QString, function);

    const BlockDescription description = parseFunctions(function);
    QCOMPARE(description.functions.size(), 1);
    const BlockCode& code = description.functions.first();
    QCOMPARE(code.name, QStringLiteral("f"));
    QTEST(int(code.type), "kind");
    QTEST(code.parameters, "parameters");
    QTEST(code.returnType, "returnType");
    QTEST(code.code, "code");
}

void TestBlockManager::mainFunctionAndRate_data()
{
    QTest::addColumn<QString>("functions");
    QTest::addColumn<QString>("mainName");
    QTest::addColumn<QString>("mainCode");
    QTest::addColumn<QString>("rate");

    QTest::newRow("control rate") << "<function name=\"m\" rate=\"control\">c</function>"
                                  << "m"
                                  << "c"
                                  << "1";
    QTest::newRow("control rate in capitals with blanks")
        << "<function name=\"m\" rate=\" CONTROL  \">c</function>"
        << "m"
        << "c"
        << "1";
    QTest::newRow("audio rate") << "<function name=\"m\" rate=\"audio\">c</function>"
                                << "m"
                                << "c"
                                << "0";
    QTest::newRow("no rate") << "<function name=\"m\">c</function>"
                             << "m"
                             << "c"
                             << "0";
    QTest::newRow("rate on a custom function does not count")
        << "<function name=\"m\">c</function>"
           "<function type=\"custom\" name=\"h\" rate=\"control\">h</function>"
        << "m"
        << "c"
        << "0";
    QTest::newRow("last main wins") << "<function name=\"m1\" rate=\"control\">c1</function>"
                                       "<function type=\"init\" name=\"i\">i</function>"
                                       "<function type=\"main\" name=\"m2\">c2</function>"
                                    << "m2"
                                    << "c2"
                                    << "0";
    QTest::newRow("unknown kind is not the main function")
        << "<function name=\"m\">c</function><function type=\"mian\" name=\"x\">x</function>"
        << "m"
        << "c"
        << "0";
    QTest::newRow("no function") << ""
                                 << ""
                                 << ""
                                 << "0";
}

void TestBlockManager::mainFunctionAndRate()
{
    QFETCH(QString, functions);

    const BlockDescription description = parseFunctions(functions);
    QTEST(description.mainName, "mainName");
    QTEST(description.mainCode, "mainCode");
    QVERIFY(!description.variables.empty());
    const Variable& rate = description.variables.back();
    QCOMPARE(rate.id, static_cast<int>(description.variables.size()) - 1);
    QCOMPARE(int(rate.socketKind), int(Variable::SocketRate));
    QCOMPARE(rate.name, QStringLiteral("rate"));
    QCOMPARE(rate.dtype, QStringLiteral("bool"));
    QVERIFY(rate.editable);
    QTEST(rate.value, "rate");
    QCOMPARE(rate.info, QStringLiteral("Control Rate"));
}

void TestBlockManager::documentTexts()
{
    // The root tag is not examined; the first of each element wins; functions and globals are
    // found anywhere, in document order.
    const QByteArray xml = "<?xml version=\"1.0\"?>\n"
                           "<anyroot name=\"texts\">\n"
                           "  <category>Math</category><category>Filters</category>\n"
                           "  <info>One line</info>\n"
                           "  <data name=\"texts_data\"><v socket=\"in\"/></data>\n"
                           "  <code>\n"
                           "    <global name=\"g1\">int a;</global>\n"
                           "    <function type=\"init\" name=\"i\">init();</function>\n"
                           "  </code>\n"
                           "  <function name=\"m\">run();</function>\n"
                           "  <global name=\"g2\"><![CDATA[int b[2] = {1, 2};]]></global>\n"
                           "  <help><![CDATA[Use <b>it</b>]]> well</help>\n"
                           "</anyroot>\n";
    const BlockDescription d = BlockManager::loadBlock(xml, BlockDescription::OriginLibrary);
    QCOMPARE(d.name, QStringLiteral("texts"));
    QCOMPARE(d.category, QStringLiteral("Math"));
    QCOMPARE(d.info, QStringLiteral("One line"));
    QCOMPARE(d.dataName, QStringLiteral("texts_data"));
    QCOMPARE(d.help, QStringLiteral("Use <b>it</b> well"));
    QCOMPARE(d.functions.size(), 2);
    QCOMPARE(d.functions[0].name, QStringLiteral("i"));
    QCOMPARE(d.functions[1].name, QStringLiteral("m"));
    QCOMPARE(d.mainName, QStringLiteral("m"));
    QCOMPARE(d.globals.size(), 2);
    QCOMPARE(d.globals[0].name, QStringLiteral("g1"));
    QCOMPARE(d.globals[0].code, QStringLiteral("int a;"));
    QCOMPARE(d.globals[1].code, QStringLiteral("int b[2] = {1, 2};"));
    QVERIFY(d.globals[1].parameters.isEmpty());
    QVERIFY(d.globals[1].returnType.isEmpty());
}

void TestBlockManager::hashIgnoresCarriageReturns()
{
    const QByteArray lf = readAll(fixture(QStringLiteral("lineends.xml")));
    QVERIFY(!lf.isEmpty());
    QVERIFY2(!lf.contains('\r'), "the LF fixture must be checked out with LF line ends");
    QByteArray crlf = lf;
    crlf.replace("\n", "\r\n");

    const BlockDescription fromLf = BlockManager::loadBlock(lf, BlockDescription::OriginPatch);
    const BlockDescription fromCrlf = BlockManager::loadBlock(crlf, BlockDescription::OriginPatch);
    // First four hex digits of the SHA-1 of the LF file (sha1sum lineends.xml).
    QCOMPARE(fromLf.hash, QStringLiteral("83f8"));
    QCOMPARE(fromCrlf.hash, fromLf.hash);
    QCOMPARE(fromCrlf.rawData, crlf);
    QCOMPARE(fromLf.rawData, lf);
    QCOMPARE(fromCrlf.name, QStringLiteral("line_ends"));
    QCOMPARE(fromCrlf.variables.size(), fromLf.variables.size());
}

void TestBlockManager::originFields_data()
{
    QTest::addColumn<int>("origin");
    QTest::addColumn<bool>("keepsFile");
    QTest::addColumn<bool>("keepsBytes");

    QTest::newRow("library") << int(BlockDescription::OriginLibrary) << false << false;
    QTest::newRow("user") << int(BlockDescription::OriginUser) << true << false;
    QTest::newRow("patch") << int(BlockDescription::OriginPatch) << false << true;
}

void TestBlockManager::originFields()
{
    QFETCH(int, origin);
    QFETCH(bool, keepsFile);
    QFETCH(bool, keepsBytes);

    const QString path = fixture(QStringLiteral("library/osc_sine.xml"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const BlockDescription d = BlockManager::loadBlock(file, Origin(origin));
    QCOMPARE(int(d.origin), origin);
    QCOMPARE(d.name, QStringLiteral("osc_sine"));
    QCOMPARE(d.fileName, keepsFile ? QStringLiteral("osc_sine.xml") : QString());
    QCOMPARE(d.filePath, keepsFile ? QFileInfo(path).absoluteFilePath() : QString());
    QCOMPARE(d.rawData, keepsBytes ? readAll(path) : QByteArray());
}

void TestBlockManager::malformedXmlGivesEmptyDescription_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("unclosed elements") << readAll(fixture(QStringLiteral("malformed.xml")));
    QTest::newRow("not XML") << QByteArray("name=osc category=Math\n");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe<\x01", 5);
    // Deep enough to run the document reader out of stack.
    const int deep = 200000;
    QTest::newRow("nested 200,000 deep") << "<block name=\"deep\">" +
                                                QByteArray("<a>").repeated(deep) +
                                                QByteArray("</a>").repeated(deep) + "</block>";
    // Each would be a document node and a variable: millions of them took gigabytes.
    QTest::newRow("200,000 empty variables") << "<block name=\"wide\"><data name=\"t\">" +
                                                    QByteArray("<var/>").repeated(200000) +
                                                    "</data></block>";
    QTest::newRow("nested 65 deep") << "<block name=\"deep\">" + QByteArray("<a>").repeated(64) +
                                           QByteArray("</a>").repeated(64) + "</block>";
    // The stream reader compares every attribute of a tag with every other: 25,000 took it a
    // second, 200,000 more than a minute.
    QTest::newRow("a tag of 25,000 attributes")
        << "<block name=\"wide\"" + manyAttributes(25000) + "><data name=\"t\"/></block>";
    QTest::newRow("131,073 attributes") << "<block name=\"wide\"><data name=\"t\">" +
                                               ("<var" + manyAttributes(64) + "/>").repeated(2048) +
                                               "</data></block>";
    QTest::newRow("a tag of 65 attributes in UTF-16")
        << QTextCodec::codecForName("UTF-16")->fromUnicode(
               QString::fromLatin1("<block name=\"wide\"" + manyAttributes(64) + "/>"));
    // The reader gives each of its elements every declared default.
    QTest::newRow("declared attribute defaults")
        << QByteArray("<!DOCTYPE block [<!ATTLIST block a CDATA \"v\">]><block name=\"d\"/>");
}

void TestBlockManager::malformedXmlGivesEmptyDescription()
{
    QFETCH(QByteArray, bytes);

    const BlockDescription d = BlockManager::loadBlock(bytes, BlockDescription::OriginPatch);
    QVERIFY(d.name.isEmpty());
    QVERIFY(d.category.isEmpty());
    QVERIFY(d.dataName.isEmpty());
    QVERIFY(d.functions.isEmpty());
    QCOMPARE(d.variables.size(), size_t(1));
    QCOMPARE(d.variables[0].name, QStringLiteral("rate"));
    QCOMPARE(d.variables[0].id, 0);
    QCOMPARE(d.hash.size(), 4);
    QCOMPARE(d.rawData, bytes);
}

void TestBlockManager::nestedBlockFileReads()
{
    // 64 elements deep: block, info and 62 more.
    const QByteArray nested = "<block name=\"deep\"><info>" + QByteArray("<a>").repeated(62) +
                              QByteArray("</a>").repeated(62) + "</info></block>";
    QCOMPARE(BlockManager::loadBlock(nested, BlockDescription::OriginPatch).name,
             QStringLiteral("deep"));
}

void TestBlockManager::blockName_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");

    const QByteArray whole = readAll(fixture(QStringLiteral("library/osc_sine.xml")));
    QTest::newRow("whole file") << whole << "osc_sine";
    QTest::newRow("cut after the first element")
        << whole.left(whole.indexOf("<category>") + 3) << "osc_sine";
    QTest::newRow("cut inside the first element")
        << whole.left(whole.indexOf("name=") + 8) << QString();
    QTest::newRow("declaration and comment first")
        << QByteArray("<?xml version=\"1.0\"?><!-- b --><block name=\"Echo\"><data") << "Echo";
    QTest::newRow("no name") << QByteArray("<block><info>x</info></block>") << QString();
    // The reader is given the name alone: a wide tag costs it nothing.
    QTest::newRow("a first tag of 25,000 attributes")
        << "<block" + manyAttributes(12500) + " name=\"A&amp;B\"" + manyAttributes(12500) + "><data"
        << "A&B";
    QTest::newRow("65 names") << "<block" + QByteArray(" name=\"E\"").repeated(65) + ">"
                              << QString();
    // Declared defaults are not given to it.
    QTest::newRow("a declared default name")
        << QByteArray("<!DOCTYPE block [<!ATTLIST block name CDATA \"Def\">]><block a=\"1\"/>")
        << QString();
    QTest::newRow("declarations left out")
        << QByteArray("<!DOCTYPE block [<!ENTITY e \"]\"><!-- ] -->]>\n<block name=\"Echo\">")
        << "Echo";
    QTest::newRow("nothing") << QByteArray() << QString();
}

void TestBlockManager::blockName()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QCOMPARE(BlockManager::blockName(bytes), name);
}

void TestBlockManager::copiesKeepOwnSockets()
{
    BlockDescription copy;
    {
        const BlockDescription original = parseData(QString::fromLatin1(edgeData));
        BlockDescription constructed(original);
        checkSocketsPointInto(constructed);
        QCOMPARE(constructed.inputs[1]->name, QStringLiteral("in1"));
        copy = original;
        QVERIFY(copy.inputs[0] != original.inputs[0]);
    }
    // The original is gone: the copy's lists must still be its own.
    checkSocketsPointInto(copy);
    QCOMPARE(copy.inputs.size(), 2);
    QCOMPARE(copy.outputs[0]->name, QStringLiteral("out0"));

    BlockManager manager;
    manager.loadBlocks(fixture(QStringLiteral("library")), BlockDescription::OriginLibrary);
    const BlockDescription* stored = manager.blockDescription(QStringLiteral("math_add"));
    QVERIFY(stored);
    const BlockDescription fromLibrary = *stored;
    checkSocketsPointInto(fromLibrary);
    QVERIFY(fromLibrary.inputs[0] != stored->inputs[0]);
    checkSocketsPointInto(*stored);
}

void TestBlockManager::libraryThenCustomFolder()
{
    BlockManager manager;
    MessageCapture messages;
    manager.loadBlocks(fixture(QStringLiteral("library")), BlockDescription::OriginLibrary);
    manager.loadBlocks(fixture(QStringLiteral("custom")), BlockDescription::OriginUser);
    QVERIFY2(messages.warnings().isEmpty(), qPrintable(messages.warnings().join('\n')));

    QStringList stored = manager.getBlockDescriptions()->keys();
    stored.sort();
    // Nested folders and the "block" suffix count; other suffixes (case-sensitive) do not.
    QCOMPARE(stored,
             QStringList({"filter_low", "math_add", "osc_sine", "shared_gain", "user_echo"}));
    checkCategoriesPointIntoLibrary(manager);
    QCOMPARE(listedNames(manager).count(QStringLiteral("shared_gain")), 1);

    const BlockDescription* shared = manager.blockDescription(QStringLiteral("shared_gain"));
    QVERIFY(shared);
    QCOMPARE(shared->info, QStringLiteral("user version"));
    QCOMPARE(int(shared->origin), int(BlockDescription::OriginUser));
    QCOMPARE(shared->filePath,
             QFileInfo(fixture(QStringLiteral("custom/shared_gain.xml"))).absoluteFilePath());
    QCOMPARE(shared->fileName, QStringLiteral("shared_gain.xml"));
    checkSocketsPointInto(*shared);

    const BlockDescription* library = manager.blockDescription(QStringLiteral("osc_sine"));
    QVERIFY(library);
    QCOMPARE(int(library->origin), int(BlockDescription::OriginLibrary));
    QVERIFY(library->filePath.isEmpty());
    QVERIFY(manager.blockDescription(QStringLiteral("from_txt")) == nullptr);
    QVERIFY(manager.blockDescription(QStringLiteral("no such block")) == nullptr);
}

void TestBlockManager::rescanListsOnce()
{
    BlockManager manager;
    manager.loadBlocks(fixture(QStringLiteral("library")), BlockDescription::OriginLibrary);
    const QStringList first = listedNames(manager);
    manager.loadBlocks(fixture(QStringLiteral("library")), BlockDescription::OriginLibrary);
    QCOMPARE(listedNames(manager), first);
    checkCategoriesPointIntoLibrary(manager);
}

void TestBlockManager::rescanMovesChangedCategory()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeFile(dir.filePath("a.xml"), blockXml("a", "Math")));
    QVERIFY(writeFile(dir.filePath("b.xml"), blockXml("b", "Math")));
    QVERIFY(writeFile(dir.filePath("c.xml"), blockXml("c", "Delays")));
    QVERIFY(writeFile(dir.filePath("d.xml"), blockXml("d", "Filters")));

    BlockManager manager;
    manager.loadBlocks(dir.path(), BlockDescription::OriginLibrary);
    const BlockDescription* a = manager.blockDescription(QStringLiteral("a"));
    QVERIFY(a);

    // "a" leaves a category that keeps other members; "c" leaves one that becomes empty.
    QVERIFY(writeFile(dir.filePath("a.xml"), blockXml("a", "Filters", "moved")));
    QVERIFY(writeFile(dir.filePath("c.xml"), blockXml("c", "Filters")));
    manager.loadBlocks(dir.path(), BlockDescription::OriginLibrary);

    QCOMPARE(manager.blockDescription(QStringLiteral("a")), a);
    QCOMPARE(a->category, QStringLiteral("Filters"));
    QCOMPARE(a->info, QStringLiteral("moved"));
    QCOMPARE(namesIn(manager, QStringLiteral("Math")), QStringList({"b"}));
    QVERIFY(!manager.blocksInCategories()->contains(QStringLiteral("Delays")));
    QStringList filters = namesIn(manager, QStringLiteral("Filters"));
    QCOMPARE(filters.first(), QStringLiteral("d"));
    filters.sort();
    QCOMPARE(filters, QStringList({"a", "c", "d"}));
    checkCategoriesPointIntoLibrary(manager);
}

void TestBlockManager::replacementInPlaceKeepsPointers()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeFile(dir.filePath("gain.xml"), blockXml("gain", "Math", "old")));

    BlockManager manager;
    manager.loadBlocks(dir.path(), BlockDescription::OriginLibrary);
    const BlockDescription* gain = manager.blockDescription(QStringLiteral("gain"));
    QVERIFY(gain);
    // A caller's copy of the library must not take the stored descriptions with it.
    const BlockManager::Blocks snapshot = *manager.getBlockDescriptions();

    QVERIFY(writeFile(dir.filePath("gain.xml"),
                      blockXml("gain", "Math", "new",
                               "<v socket=\"in\"/><v socket=\"in\"/><v socket=\"out\"/>")));
    // Another block added by the same scan grows the hash.
    for (int i = 0; i < 40; ++i)
        QVERIFY(writeFile(dir.filePath(QStringLiteral("more%1.xml").arg(i)),
                          blockXml(QStringLiteral("more%1").arg(i), "Math")));
    manager.loadBlocks(dir.path(), BlockDescription::OriginLibrary);

    QCOMPARE(manager.blockDescription(QStringLiteral("gain")), gain);
    QCOMPARE(gain->info, QStringLiteral("new"));
    QCOMPARE(gain->inputs.size(), 2);
    QCOMPARE(gain->outputs.size(), 1);
    checkSocketsPointInto(*gain);
    QCOMPARE(manager.blocksInCategories()->value(QStringLiteral("Math")).count(gain), 1);
    checkCategoriesPointIntoLibrary(manager);
    QCOMPARE(snapshot.value(QStringLiteral("gain")).info, QStringLiteral("old"));
}

void TestBlockManager::loadNewBlock_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<QString>("warning");

    QTest::newRow("new name") << fixture(QStringLiteral("custom/user_echo.xml")) << true << "";
    QTest::newRow("name already in library")
        << fixture(QStringLiteral("custom/shared_gain.xml")) << false << "";
    QTest::newRow("missing file") << fixture(QStringLiteral("custom/none.xml")) << false
                                  << "Cannot read block file";
    QTest::newRow("a folder") << fixture(QStringLiteral("custom")) << false
                              << "Cannot read block file";
    QTest::newRow("malformed") << fixture(QStringLiteral("malformed.xml")) << false
                               << "is not well-formed XML";
}

void TestBlockManager::loadNewBlock()
{
    QFETCH(QString, path);
    QFETCH(bool, loaded);
    QFETCH(QString, warning);

    BlockManager manager;
    manager.loadBlocks(fixture(QStringLiteral("library")), BlockDescription::OriginLibrary);
    const QStringList before = listedNames(manager);
    const BlockDescription* shared = manager.blockDescription(QStringLiteral("shared_gain"));
    QVERIFY(shared);

    MessageCapture messages;
    QCOMPARE(manager.loadNewBlock(path, BlockDescription::OriginUser), loaded);
    if (warning.isEmpty()) {
        QVERIFY(messages.warnings().isEmpty());
    } else {
        QCOMPARE(messages.warnings().size(), 1);
        QVERIFY(messages.warnings().first().contains(warning));
        QVERIFY(messages.warnings().first().contains(path));
    }

    QCOMPARE(manager.blockDescription(QStringLiteral("shared_gain")), shared);
    QCOMPARE(shared->info, QStringLiteral("library version"));
    QCOMPARE(int(shared->origin), int(BlockDescription::OriginLibrary));
    if (loaded) {
        const BlockDescription* added = manager.blockDescription(QStringLiteral("user_echo"));
        QVERIFY(added);
        QCOMPARE(int(added->origin), int(BlockDescription::OriginUser));
        QCOMPARE(added->filePath, QFileInfo(path).absoluteFilePath());
        QCOMPARE(manager.blocksInCategories()->value(added->category).last(), added);
        QCOMPARE(listedNames(manager).size(), before.size() + 1);
    } else {
        QCOMPARE(listedNames(manager), before);
    }
    checkCategoriesPointIntoLibrary(manager);
}

void TestBlockManager::unreadableEntriesSkipped()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeFile(dir.filePath("a.xml"), blockXml("a", "Math")));
    QVERIFY(writeFile(dir.filePath("m.xml"), readAll(fixture(QStringLiteral("malformed.xml")))));
    QVERIFY(writeFile(dir.filePath("nameless.xml"), "<block><category>Math</category></block>"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("odd.xml")));
    QVERIFY(writeFile(dir.filePath("odd.xml/inner.xml"), blockXml("inner", "Math")));
    QVERIFY(writeFile(dir.filePath("z.xml"), blockXml("z", "Filters")));
    QVERIFY(writeFile(dir.filePath("zz/last.block"), blockXml("last", "Filters")));

    BlockManager manager;
    MessageCapture messages;
    manager.loadBlocks(dir.path(), BlockDescription::OriginLibrary);

    // Whatever order the file system yields, every good file is loaded.
    QStringList stored = manager.getBlockDescriptions()->keys();
    stored.sort();
    QCOMPARE(stored, QStringList({"a", "inner", "last", "z"}));
    checkCategoriesPointIntoLibrary(manager);

    const QStringList warnings = messages.warnings();
    QCOMPARE(warnings.size(), 3);
    const QStringList bad = {dir.filePath("odd.xml"), dir.filePath("m.xml"),
                             dir.filePath("nameless.xml")};
    for (const QString& path : bad) {
        int naming = 0;
        for (const QString& warning : warnings)
            naming += warning.contains(path + ':') || warning.contains(path + ' ');
        QVERIFY2(naming == 1, qPrintable(path + " in:\n" + warnings.join('\n')));
    }
}

void TestBlockManager::scanFindsEveryFile_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("warnings");
    QTest::newRow("a hidden file") << "hidden file" << QStringList{"hidden", "plain"} << 0;
    QTest::newRow("a hidden folder") << "hidden folder" << QStringList{"plain", "tucked"} << 0;
    QTest::newRow("a linked folder") << "linked folder" << QStringList{"elsewhere", "plain"} << 0;
    // The nameless file is reported once: every folder is read once.
    QTest::newRow("a link loop") << "link loop" << QStringList{"deep", "plain"} << 1;
}

void TestBlockManager::scanFindsEveryFile()
{
    QFETCH(QString, layout);
    QFETCH(QStringList, names);
    QFETCH(int, warnings);
    QTemporaryDir dir;
    QTemporaryDir outside;
    QVERIFY(dir.isValid() && outside.isValid());
    const QString library = dir.filePath("library");
    QVERIFY(writeFile(library + "/plain.xml", blockXml("plain", "Math")));
    if (layout == "hidden file") {
        QVERIFY(writeFile(library + "/.hidden.xml", blockXml("hidden", "Math")));
    } else if (layout == "hidden folder") {
        QVERIFY(writeFile(library + "/.tucked/tucked.block", blockXml("tucked", "Math")));
    } else if (layout == "linked folder") {
        QVERIFY(writeFile(outside.filePath("shared/elsewhere.xml"), blockXml("elsewhere", "Math")));
        QVERIFY(QFile::link(outside.filePath("shared"), library + "/shared"));
    } else if (layout == "link loop") {
        // A folder holding a link to the library itself: its files are read once, and the
        // scan ends.
        QVERIFY(writeFile(library + "/sub/deep.xml", blockXml("deep", "Math")));
        QVERIFY(writeFile(library + "/sub/nameless.xml", "<block><data/></block>"));
        QVERIFY(QFile::link(library, library + "/sub/up"));
    }

    BlockManager manager;
    MessageCapture messages;
    manager.loadBlocks(library, BlockDescription::OriginUser);
    QVERIFY2(messages.warnings().size() == warnings, qPrintable(messages.warnings().join('\n')));
    QStringList stored = manager.getBlockDescriptions()->keys();
    stored.sort();
    QCOMPARE(stored, names);
    QCOMPARE(listedNames(manager).size(), names.size());
    checkCategoriesPointIntoLibrary(manager);
}

void TestBlockManager::scannedFilesEndWithTheOneKept_data()
{
    // The files that hold a block named "Echo"; every folder also holds files that are not
    // that block (another name, malformed, a folder named like a file, another suffix).
    QTest::addColumn<QStringList>("files");
    QTest::newRow("one file") << QStringList{"echo.xml"};
    QTest::newRow("two files side by side") << QStringList{"a.xml", "b.xml"};
    QTest::newRow("files in subfolders and hidden ones")
        << QStringList{"a.xml", "z.block", ".hidden.xml", "sub/c.xml", "sub/deeper/d.xml"};
    QTest::newRow("none") << QStringList();
}

void TestBlockManager::scannedFilesEndWithTheOneKept()
{
    QFETCH(QStringList, files);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    int n = 0;
    for (const QString& file : files)
        QVERIFY(writeFile(dir.filePath(file), blockXml("Echo", "Effects", QString::number(++n))));
    for (const QString& sub : {QString(), QStringLiteral("sub/")}) {
        QVERIFY(writeFile(dir.filePath(sub + "other.xml"), blockXml("Other", "Effects")));
        QVERIFY(writeFile(dir.filePath(sub + "bad.xml"), "<block name=\"Echo\"><data>"));
        QVERIFY(writeFile(dir.filePath(sub + "Echo.XML"), blockXml("Echo", "Effects")));
        QVERIFY(QDir().mkpath(dir.filePath(sub + "folder.xml")));
    }

    MessageCapture messages;
    const QStringList scanned = BlockManager::scannedFilesOf(dir.path(), "Echo");
    QVERIFY(messages.messages().isEmpty());
    QStringList relative;
    for (const QString& path : scanned)
        relative << QDir(dir.path()).relativeFilePath(path);
    QStringList expected = files;
    relative.sort();
    expected.sort();
    QCOMPARE(relative, expected);

    // The scan itself keeps the last of them.
    BlockManager manager;
    manager.loadBlocks(dir.path(), BlockDescription::OriginUser);
    const BlockDescription* kept = manager.blockDescription("Echo");
    QCOMPARE(kept != nullptr, !files.isEmpty());
    if (kept)
        QCOMPARE(QFileInfo(scanned.last()).absoluteFilePath(), kept->filePath);
}

void TestBlockManager::missingFolderWarns()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("no blocks here"));

    BlockManager manager;
    MessageCapture messages;
    manager.loadBlocks(missing, BlockDescription::OriginUser);
    QCOMPARE(messages.warnings(),
             QStringList(QStringLiteral("directory %1 does not exist").arg(missing)));
    QVERIFY(manager.getBlockDescriptions()->isEmpty());
    QVERIFY(manager.blocksInCategories()->isEmpty());
}

KL_TEST_MAIN(TestBlockManager)
#include "test_blockmanager.moc"
