// Checks every block file of the program's blocks folder: it reads as a block description, it
// fits the palette and the generated-code contract, its names meet no other file's, and the
// emulator program builds with it alone.
#include "BlockHarness.h"
#include "BlockManager.h"
#include "CodeCompiler.h"
#include "MessageCapture.h"
#include "TestMain.h"
#include "TestPatch.h"

#include <QDirIterator>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <map>

namespace {

const QStringList paletteCategories{"Effects", "Generators", "Envelopes",  "In / Out", "MIDI",
                                    "Math",    "Routing",    "Sequencing", "Logic"};

// Blocks whose records keep an order of their own instead of inputs, outputs, then the
// other variables: each is held to its whole order, member by member.
const std::map<QString, QStringList> ownRecordOrders{
    {"f_msv2_static_track.xml",
     {"in0", "trackStep", "in1", "out0", "out1", "out2", "in2", "values[?]", "trackMode",
      "gateStart"}},
    {"f_8parcatchin.xml",
     {"in0", "start0", "start1", "start2", "start3", "start4", "start5", "start6", "start7", "out0",
      "out1", "out2", "out3", "out4", "out5", "out6", "out7", "catchByte"}},
};

const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
const QRegularExpression memberName(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*(\\[[0-9?]+\\])*$"));

// The files the library scan takes: every .xml and .block file below the folder.
QStringList blockFiles(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString suffix = it.fileInfo().suffix();
        if (suffix == QLatin1String("xml") || suffix == QLatin1String("block"))
            files << path;
    }
    files.sort();
    return files;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct Entry
{
    QString file;
    BlockDescription description;
};

} // namespace

class TestBlockLint : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void eachFile_data();
    void eachFile();
    void namesAreUnique();
    void sharedCodeAgrees();
    void libraryLoadsEveryFile();
    void compilesAlone();

private:
    QString folder;
    QStringList files;
    QList<Entry> entries;
};

void TestBlockLint::initTestCase()
{
    folder = BlockHarness::sourceBlocksFolder();
    files = blockFiles(folder);
    QVERIFY2(!files.isEmpty(), qPrintable("no block files in " + folder));
    for (const QString& path : qAsConst(files)) {
        entries << Entry{QFileInfo(path).fileName(),
                         BlockManager::loadBlock(readAll(path), BlockDescription::OriginLibrary)};
    }
    // An order of its own belongs to a file that is there.
    for (const auto& order : ownRecordOrders) {
        QVERIFY2(std::any_of(entries.cbegin(), entries.cend(),
                             [&order](const Entry& e) { return e.file == order.first; }),
                 qPrintable(order.first));
    }
}

void TestBlockLint::eachFile_data()
{
    QTest::addColumn<QString>("path");
    for (const QString& path : qAsConst(files))
        QTest::newRow(qPrintable(QDir(folder).relativeFilePath(path))) << path;
}

void TestBlockLint::eachFile()
{
    QFETCH(QString, path);
    const QByteArray bytes = readAll(path);
    QVERIFY2(!bytes.isEmpty(), "unreadable or empty");

    QDomDocument dom;
    QString parseError;
    int line = 0;
    QVERIFY2(dom.setContent(bytes, &parseError, &line),
             qPrintable(QString("line %1: %2").arg(line).arg(parseError)));
    const QDomElement root = dom.documentElement();
    // The repository takes only files whose root is a named "block".
    QCOMPARE(root.tagName(), QStringLiteral("block"));

    const BlockDescription d = BlockManager::loadBlock(bytes, BlockDescription::OriginLibrary);
    QVERIFY2(!d.name.trimmed().isEmpty(), "no block name");
    QCOMPARE(d.name, d.name.trimmed());
    QVERIFY2(paletteCategories.contains(d.category),
             qPrintable("category \"" + d.category + "\" is not a palette category"));
    QVERIFY2(!d.info.trimmed().isEmpty(), "no info line");
    QVERIFY2(!d.help.trimmed().isEmpty(), "no help text");
    QVERIFY2(identifier.match(d.dataName).hasMatch(),
             qPrintable("record name \"" + d.dataName + "\" is not a C name"));

    // One main function, named; every function of a kind the reader knows.
    int mains = 0;
    const QDomNodeList functions = dom.elementsByTagName(QStringLiteral("function"));
    for (int i = 0; i < functions.size(); ++i) {
        const QString type =
            functions.at(i).toElement().attribute(QStringLiteral("type")).trimmed().toLower();
        QVERIFY2(QStringList({"", "main", "init", "custom"}).contains(type),
                 qPrintable("function of unknown type \"" + type + "\""));
    }
    for (const BlockCode& f : d.functions) {
        QVERIFY2(identifier.match(f.name).hasMatch(),
                 qPrintable("function name \"" + f.name + "\" is not a C name"));
        if (f.type == BlockCode::Main)
            ++mains;
    }
    QCOMPARE(mains, 1);
    QVERIFY2(!d.mainCode.trimmed().isEmpty(), "empty main function");
    // Named after its main function, so that a block's code and its file lead to each other.
    QCOMPARE(QFileInfo(path).completeBaseName(), d.mainName);
    for (const BlockCode& g : d.globals) {
        QVERIFY2(identifier.match(g.name).hasMatch(),
                 qPrintable("global name \"" + g.name + "\" is not a C name"));
    }

    // Inputs, then outputs, then the other variables (or the block's own record order), each
    // labelled; every child of data is a real variable (a comment there would become a
    // nameless one).
    const auto ownOrder = ownRecordOrders.find(QFileInfo(path).fileName());
    if (ownOrder != ownRecordOrders.end()) {
        QStringList members;
        for (const Variable& v : d.variables) {
            if (v.socketKind != Variable::SocketRate)
                members << v.name;
        }
        QCOMPARE(members.join(' '), ownOrder->second.join(' '));
    }
    int stage = Variable::SocketInput;
    for (const Variable& v : d.variables) {
        if (v.socketKind == Variable::SocketRate)
            continue;
        QVERIFY2(ownOrder != ownRecordOrders.end() || v.socketKind >= stage,
                 qPrintable("variable " + QString::number(v.id) + " is out of socket order"));
        stage = v.socketKind;
        const QString what = QStringLiteral("variable %1 (%2)").arg(v.id).arg(v.name);
        QVERIFY2(!v.info.trimmed().isEmpty(), qPrintable(what + " has no label"));
        // An unconnected input plays its default, which the user sets in the inspector.
        if (v.socketKind == Variable::SocketInput) {
            QVERIFY2(v.editable && !v.value.trimmed().isEmpty(),
                     qPrintable(what + ": an input without an editable default"));
        }
        if (v.socketKind == Variable::SocketNone) {
            QVERIFY2(memberName.match(v.name).hasMatch(), qPrintable(what + ": not a C member"));
            QVERIFY2(!v.dtype.trimmed().isEmpty(), qPrintable(what + " has no type"));
        }
    }
    const QDomNodeList data = root.firstChildElement(QStringLiteral("data")).childNodes();
    for (int i = 0; i < data.size(); ++i)
        QVERIFY2(data.at(i).isElement(), "a child of data that is not a variable element");
}

void TestBlockLint::namesAreUnique()
{
    // Every name the generated code defines for a block type belongs to one file only: a
    // second definition would be dropped (functions) or break the build (types).
    std::map<QString, QString> owner;
    QStringList clashes;
    auto claim = [&](const QString& name, const QString& what, const QString& file) {
        const QString who = what + " in " + file;
        const auto found = owner.find(name);
        if (found != owner.end() && found->second != who)
            clashes << QStringLiteral("%1: %2 and %3").arg(name, found->second, who);
        else
            owner.emplace(name, who);
    };
    std::map<QString, QString> blockNames;
    for (const Entry& e : qAsConst(entries)) {
        const auto found = blockNames.find(e.description.name);
        if (found != blockNames.end())
            clashes << QStringLiteral("block name %1: %2 and %3")
                           .arg(e.description.name, found->second, e.file);
        blockNames.emplace(e.description.name, e.file);
        claim(e.description.dataName, "record", e.file);
        for (const BlockCode& f : e.description.functions) {
            if (f.type == BlockCode::Custom)
                continue;
            claim(f.name, "function", e.file);
            if (f.type == BlockCode::Main)
                claim(f.name + "_ctl", "control-rate copy", e.file);
        }
    }
    // Shared helpers may repeat across files, but never take a block's own names.
    for (const Entry& e : qAsConst(entries)) {
        for (const BlockCode& f : e.description.functions) {
            const auto found = owner.find(f.name);
            if (f.type == BlockCode::Custom && found != owner.end())
                clashes << QStringLiteral("helper %1 in %2 meets %3")
                               .arg(f.name, e.file, found->second);
        }
        for (const BlockCode& g : e.description.globals) {
            const auto found = owner.find(g.name);
            if (found != owner.end())
                clashes << QStringLiteral("global %1 in %2 meets %3")
                               .arg(g.name, e.file, found->second);
        }
    }
    QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join('\n')));
}

void TestBlockLint::sharedCodeAgrees()
{
    // The generator writes a helper or a global once, from the first block that has it; every
    // file that carries one under that name must carry the same code.
    std::map<QString, std::pair<QString, QString>> first;
    QStringList differences;
    auto check = [&](const QString& key, const QString& code, const QString& file) {
        const auto found = first.find(key);
        if (found == first.end())
            first.emplace(key, std::make_pair(code, file));
        else if (found->second.first != code)
            differences << QStringLiteral("%1 differs between %2 and %3")
                               .arg(key, found->second.second, file);
    };
    for (const Entry& e : qAsConst(entries)) {
        for (const BlockCode& f : e.description.functions) {
            if (f.type == BlockCode::Custom)
                check("helper " + f.name, f.returnType + ' ' + f.parameters + '\n' + f.code,
                      e.file);
        }
        for (const BlockCode& g : e.description.globals)
            check("global " + g.name, g.code, e.file);
    }
    QVERIFY2(differences.isEmpty(), qPrintable(differences.join('\n')));
}

void TestBlockLint::libraryLoadsEveryFile()
{
    MessageCapture messages;
    BlockManager library;
    library.loadBlocks(folder, BlockDescription::OriginLibrary);
    QVERIFY2(messages.warnings().isEmpty(), qPrintable(messages.warnings().join('\n')));
    QCOMPARE(library.getBlockDescriptions()->size(), files.size());
    int listed = 0;
    for (const auto& list : *library.blocksInCategories())
        listed += list.size();
    QCOMPARE(listed, files.size());
    // The document and the opening of patches know the main output and input by these names.
    QVERIFY(library.blockDescription("Audio Output"));
    QVERIFY(library.blockDescription("Audio Input"));
}

void TestBlockLint::compilesAlone()
{
    // The emulator program of a patch that holds only this block, once at audio rate and once
    // at control rate (which writes the control-rate copy), built as compile.sh builds it and
    // with every warning an error.
    const QString templatePath = testsupport::binPath("compile/templ_emul.txt");
    QVERIFY2(QFileInfo::exists(templatePath), qPrintable(templatePath));
    QList<QByteArray> sources;
    for (const Entry& e : qAsConst(entries)) {
        TestPatch patch;
        const BlockDescription* type = patch.keep(e.description);
        BlockInstance* audio = patch.add(type);
        BlockInstance* control = patch.add(type);
        const int rate = int(type->variables.size()) - 1;
        audio->values[rate] = QStringLiteral("0");
        control->values[rate] = QStringLiteral("1");
        CodeCompiler compiler;
        const QString text = compiler.createCode(patch.all(), templatePath);
        QVERIFY2(!text.isEmpty(), qPrintable(e.file));
        sources << "#include \"bass.h\"\n#include <stdio.h>\n#include <stdint.h>\n" + text.toUtf8();
    }
    BlockHarness harness;
    const QList<BlockHarness::Compilation> built = harness.compileObjects(
        sources, {"-O2", "-fwrapv", "-fno-builtin", "-Wall", "-Wextra", "-Werror",
                  "-Wno-unused-variable", "-I" + testsupport::binPath("compile/emulator")});
    QStringList failures;
    for (int i = 0; i < built.size(); ++i) {
        if (!built.at(i).ok)
            failures << entries.at(i).file + ":\n" + built.at(i).log;
    }
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
}

KL_TEST_MAIN(TestBlockLint)

#include "test_block_lint.moc"
