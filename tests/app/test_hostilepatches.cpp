// Large and hostile patch files through the main window's open path, and documents whose ids
// do not fit a record through save and reopen.
#include "BinaryPacker.h"
#include "BinaryUtil.h"
#include "BlockDescription.h"
#include "BlockInstance.h"
#include "BlockManager.h"
#include "Comment.h"
#include "MainWindow.h"
#include "MessageCapture.h"
#include "MessageHandler.h"
#include "ModalDriver.h"
#include "PatchComment.h"
#include "PatchDocument.h"
#include "PatchFile.h"
#include "PatchScene.h"
#include "Preferences.h"
#include "RecordBuilder.h"
#include "RecordFit.h"
#include "ShownText.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QDialog>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QUndoStack>
#include <algorithm>
#include <memory>
#include <random>
#include <vector>

namespace {

using Cables = QVector<RecordBuilder::Cable>;

QByteArray carriedBlock(const QByteArray& name)
{
    return "<block name=\"" + name + "\">\n<category>Effects</category>\n<data name=\"" + name +
           "_data\">\n<var socket=\"in\" info=\"In\"/>\n<var socket=\"out\" info=\"Out\"/>\n"
           "</data>\n<function name=\"echo\">data->out0 = data->in0[0];</function>\n</block>\n";
}

// A name as a block file writes it: markup escaped.
QByteArray xmlEscaped(const QByteArray& text)
{
    return QString::fromUtf8(text).toHtmlEscaped().toUtf8();
}

// A 200 x 200 picture file: a rich text that loaded it would be that large.
QString writeSquare(const QString& folder)
{
    QImage square(200, 200, QImage::Format_RGB32);
    square.fill(Qt::red);
    const QString path = folder + QStringLiteral("/square.png");
    return square.save(path) ? path : QString();
}

// `count` Gains at random places across 20,000 pixels, each output feeding the first input of
// another picked at random.
RecordBuilder longCables(const QByteArray& gain, int count)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> place(0, 20000);
    std::vector<quint32> targets;
    for (int i = 1; i <= count; ++i)
        targets.push_back(quint32(i));
    std::shuffle(targets.begin(), targets.end(), random);
    for (int i = 0; i < count; ++i) {
        if (targets[size_t(i)] == quint32(i + 1))
            std::swap(targets[size_t(i)], targets[size_t((i + 1) % count)]);
    }
    RecordBuilder patch;
    for (int i = 0; i < count; ++i) {
        patch.block("Gain", gain, quint32(i + 1), quint32(place(random)), quint32(place(random)),
                    "0", {{0, targets[size_t(i)], 0}});
    }
    return patch;
}

QByteArray hashOf(const QByteArray& xml)
{
    return BlockManager::loadBlock(xml, BlockDescription::OriginPatch).hash.toLatin1();
}

// A Sine (id 1) and a Gain (id 2) of the fixture library, the Sine feeding the Gain.
RecordBuilder sineIntoGain(const BlockManager& library)
{
    const QByteArray sine = library.blockDescription("Sine")->hash.toLatin1();
    const QByteArray gain = library.blockDescription("Gain")->hash.toLatin1();
    RecordBuilder patch;
    patch.block("Sine", sine, 1, 100, 100, "440;0", Cables{{0, 2, 0}});
    patch.block("Gain", gain, 2, 100, 300, "0");
    return patch;
}

// A carried block of one input and `outputs` outputs.
QByteArray fanBlock(int outputs)
{
    return "<block name=\"Fan\"><category>Effects</category><data name=\"fan_data\">"
           "<var socket=\"in\" info=\"In\"/>" +
           QByteArray("<var socket=\"out\" info=\"Out\"/>").repeated(outputs) +
           "</data><function name=\"fan\">x</function></block>";
}

// A value text that, 1,025 times over, takes a patch past 64 MiB.
const QString bigValue = QString(65500, QLatin1Char('v'));

} // namespace

class TestHostilePatches : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void hostileFiles_data();
    void hostileFiles();
    void idsSurviveSaveAndReopen_data();
    void idsSurviveSaveAndReopen();
    void longBlockListsAreCut();
    void notFoundBoxIsPlain();
    void commentsLoadNoImage();
    void saveRefusesWhatDoesNotFit_data();
    void saveRefusesWhatDoesNotFit();
    void pasteRefusesWhatDoesNotFit_data();
    void pasteRefusesWhatDoesNotFit();
    void editsRefusedWhenTheyWouldNotFit_data();
    void editsRefusedWhenTheyWouldNotFit();
    void editsRefusedAfterOtherEdits_data();
    void editsRefusedAfterOtherEdits();

private:
    // Documents that do not fit a record, made through the mutators that open and paste use.
    void shape(PatchDocument* doc, const QString& kind);
    std::unique_ptr<TempProgramDir> program;
    std::unique_ptr<QTemporaryDir> files;
    std::unique_ptr<MainWindow> window;
    // Files the hostile files point at.
    QTemporaryDir pointedAt;
    QString square;
};

void TestHostilePatches::initTestCase()
{
    square = writeSquare(pointedAt.path());
    QVERIFY(!square.isEmpty());
}

void TestHostilePatches::init()
{
    QSettings().clear();
    program = std::make_unique<TempProgramDir>();
    QVERIFY(program->copyIn(testsupport::sourcePath("tests/app/fixtures/blocks"), "blocks"));
    files = std::make_unique<QTemporaryDir>();
    QSettings().setValue(Preferences::DefaultPatchPath, files->path());
    window = std::make_unique<MainWindow>();
}

void TestHostilePatches::cleanup()
{
    window.reset();
    files.reset();
    program.reset();
}

// What opening a hostile file comes to: the patch opened whole, under its file's path; opened
// in part, in a tab not tied to the file; or refused, with an empty tab not tied to it.
enum class Outcome
{
    Whole,
    WithoutPath,
    Refused
};
Q_DECLARE_METATYPE(Outcome)

void TestHostilePatches::hostileFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("blocks");
    QTest::addColumn<int>("cables");
    QTest::addColumn<int>("comments");
    const Outcome whole = Outcome::Whole;
    const Outcome partly = Outcome::WithoutPath;
    const Outcome refused = Outcome::Refused;

    BlockManager library;
    library.loadBlocks(testsupport::sourcePath("tests/app/fixtures/blocks"),
                       BlockDescription::OriginLibrary);
    const QByteArray sine = library.blockDescription("Sine")->hash.toLatin1();
    const QByteArray gain = library.blockDescription("Gain")->hash.toLatin1();
    const QString tooMany = QStringLiteral("Cant open patch. It holds more than 65536 blocks or "
                                           "comments, or more than 2097152 values or cables.");

    // 61 KB of file that inflates to 4.5 million block records.
    QTest::newRow("4.5 million empty block records")
        << RecordBuilder().emptyBlocks(4500000).file() << refused << tooMany << 0 << 0 << 0;
    RecordBuilder comments = sineIntoGain(library);
    for (int i = 0; i < 65537; ++i)
        comments.comment(1, 10, 10, "");
    QTest::newRow("65,537 comments") << comments.file() << refused << tooMany << 0 << 0 << 0;
    // 65 blocks of 32,768 values, and 8,225 blocks of 255 cables: each a little over 32 a
    // block for the largest patch.
    RecordBuilder values;
    const QByteArray manyValues = QByteArray(32767, ';');
    for (quint32 id = 1; id <= 65; ++id)
        values.block("Sine", sine, id, 0, 0, manyValues);
    QTest::newRow("2,129,920 values") << values.file() << refused << tooMany << 0 << 0 << 0;
    RecordBuilder cables;
    for (quint32 id = 1; id <= 8225; ++id) {
        Cables out;
        for (quint32 c = 0; c < 255; ++c)
            out.push_back({c, id, c});
        cables.block("Sine", sine, id, 0, 0, "440;0", out);
    }
    QTest::newRow("2,097,375 cables") << cables.file() << refused << tooMany << 0 << 0 << 0;

    // 255 cables from the Sine's output to the Gain's first input, and as many from 255 Sines.
    RecordBuilder oneInput;
    oneInput.block("Sine", sine, 1, 100, 100, "440;0", Cables(255, {0, 300, 0}));
    oneInput.block("Gain", gain, 300, 100, 300, "0");
    QTest::newRow("255 cables on one input, one block")
        << oneInput.file() << whole << "254 cables of the patch were left out" << 2 << 1 << 0;
    RecordBuilder manySources;
    for (quint32 id = 1; id <= 255; ++id)
        manySources.block("Sine", sine, id, 10 * id, 100, "440;0", Cables{{0, 300, 0}});
    manySources.block("Gain", gain, 300, 100, 300, "0");
    QTest::newRow("255 cables on one input, 255 blocks")
        << manySources.file() << whole << "254 cables of the patch were left out" << 256 << 1 << 0;
    RecordBuilder fanOut;
    fanOut.block("Sine", sine, 1, 100, 100, "440;0", Cables{{0, 2, 0}, {0, 2, 1}});
    fanOut.block("Gain", gain, 2, 100, 300, "0");
    QTest::newRow("one output, two cables")
        << fanOut.file() << whole << "One cable of the patch was left out" << 2 << 1 << 0;

    // A user block carried in the file that cannot be read: the library's blocks still open,
    // the user is told which blocks were left out, and the tab is not tied to the file, whose
    // Save would write it back without them.
    const QByteArray echo = carriedBlock("Echo");
    RecordBuilder withEcho = sineIntoGain(library);
    withEcho.block("Echo", hashOf(echo), 3, 300, 100, "0", Cables{{0, 2, 1}});
    const QByteArray compressed = qCompress(echo);
    const QString damaged =
        QStringLiteral("- Echo (1 block): the block file the patch carries for it is damaged\n");
    const QString unreadable = QStringLiteral(
        "- Echo (1 block): the block file the patch carries for it cannot be read\n");
    QTest::newRow("carried block cut short")
        << withEcho.file({compressed.left(compressed.size() / 2)}) << partly << damaged << 2 << 1
        << 0;
    QByteArray corrupt = compressed;
    for (int i = corrupt.size() - 12; i < corrupt.size() - 4; ++i)
        corrupt[i] = char(corrupt[i] ^ 0x5A);
    QTest::newRow("carried block corrupt")
        << withEcho.file({corrupt}) << partly << damaged << 2 << 1 << 0;
    QTest::newRow("carried block whole")
        << withEcho.file({compressed}) << whole << QString() << 3 << 2 << 0;
    QByteArray manyElements = echo;
    manyElements.replace("</block>", QByteArray(131072, 'x').replace("x", "<a/>") + "</block>");
    QTest::newRow("carried block of 131,073 elements")
        << withEcho.file({qCompress(manyElements)}) << partly << unreadable << 2 << 1 << 0;
    QByteArray deep = echo;
    deep.replace("</block>", QByteArray(65, 'x').replace("x", "<a>") +
                                 QByteArray(65, 'x').replace("x", "</a>") + "</block>");
    QTest::newRow("carried block nested 65 deep")
        << withEcho.file({qCompress(deep)}) << partly << unreadable << 2 << 1 << 0;
    QByteArray entities = "<!DOCTYPE block [<!ENTITY a \"" + QByteArray(1000, 'a') +
                          "\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]>\n" + echo;
    entities.replace("</block>", "<info>&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;</info></block>");
    QTest::newRow("carried block that expands entities")
        << withEcho.file({qCompress(entities)}) << partly << unreadable << 2 << 1 << 0;
    // A damaged copy of a block the library has costs no block, but still the file.
    const QByteArray sineFile =
        testsupport::readFile(testsupport::sourcePath("tests/app/fixtures/blocks/sine.xml"));
    const QByteArray sineCompressed = qCompress(sineFile);
    QTest::newRow("damaged copy of a library block")
        << sineIntoGain(library).file({sineCompressed.left(sineCompressed.size() / 2)}) << partly
        << "- Sine: the block file the patch carries for it is damaged; another description of "
           "it is used"
        << 2 << 1 << 0;

    // Parts by the thousand, each of which would have been a box of its own.
    QList<QByteArray> junk;
    for (int i = 0; i < 10000; ++i)
        junk << QByteArray("\x00\x00\x00\x10junk", 8);
    QTest::newRow("10,000 damaged carried parts")
        << sineIntoGain(library).file(junk) << partly
        << "- 10000 block files the patch carries are damaged" << 2 << 1 << 0;
    QList<QByteArray> named;
    for (int i = 0; i < 1000; ++i) {
        const QByteArray part = qCompress(carriedBlock("B" + QByteArray::number(i)));
        named << part.left(part.size() - 6);
    }
    QTest::newRow("1,000 carried blocks cut short")
        << sineIntoGain(library).file(named) << partly
        << "- B0: the block file the patch carries for it is damaged; another description" << 2 << 1
        << 0;
    QTest::newRow("1,000 carried blocks cut short, the rest counted")
        << sineIntoGain(library).file(named) << partly << "- B19: the block file" << 2 << 1 << 0;
    QTest::newRow("1,000 carried blocks cut short, 20 listed")
        << sineIntoGain(library).file(named) << partly << "\nand 980 more\n"
        << 2 << 1 << 0;

    // Texts of the file reach boxes as plain text and bounded, rich text of the file loads
    // nothing, and long cables and long comments settle at once (every row is painted).
    const auto damagedNamed = [&](const QByteArray& name) {
        const QByteArray xml = carriedBlock(xmlEscaped(name));
        RecordBuilder patch = sineIntoGain(library);
        patch.block(name, hashOf(xml), 3, 300, 100, "0", Cables{{0, 2, 1}});
        const QByteArray packed = qCompress(xml);
        return patch.file({packed.left(packed.size() / 2)});
    };
    QTest::newRow("block name that is an image tag")
        << damagedNamed("<img src=\"/dev/zero\">") << partly
        << "- <img src=\"/dev/zero\"> (1 block): the block file the patch carries for it is "
           "damaged"
        << 2 << 1 << 0;
    QTest::newRow("block name in bold, turned right to left")
        << damagedNamed("<b>Bold</b>\xE2\x80\xAE"
                        "evil")
        << partly << QString("- <b>Bold</b>\uFFFDevil (1 block)") << 2 << 1 << 0;
    QTest::newRow("block name of 65,535 characters")
        << damagedNamed(QByteArray(65535, 'n')) << partly
        << QString("- " + QString(60, 'n') + QChar(0x2026) + " (65535 characters) (1 block)") << 2
        << 1 << 0;
    // A name in the report of instances left out, where a box would take it for markup. The
    // first instance of an id is built; a later one would have taken its place, and a Save
    // would have written fewer blocks than the file holds.
    const auto twiceNamed = [&](const QByteArray& name) {
        const QByteArray xml = carriedBlock(xmlEscaped(name));
        RecordBuilder patch = sineIntoGain(library);
        patch.block(name, hashOf(xml), 3, 300, 100, "0");
        patch.block(name, hashOf(xml), 3, 400, 100, "0");
        return patch.file({qCompress(xml)});
    };
    const QString repeated = QStringLiteral(": an earlier instance has the same id");
    QTest::newRow("one id twice, named as an image tag")
        << twiceNamed("<img src=\"/dev/zero\">") << partly
        << "- <img src=\"/dev/zero\"> (1 block)" + repeated << 3 << 1 << 0;
    QTest::newRow("one id twice, named in bold, turned right to left")
        << twiceNamed("<b>Bold</b>\xE2\x80\xAE"
                      "evil")
        << partly << QString("- <b>Bold</b>\uFFFDevil (1 block)") + repeated << 3 << 1 << 0;
    QTest::newRow("one id twice, named at length")
        << twiceNamed(QByteArray(65535, 'n')) << partly
        << "- " + QString(60, 'n') + QChar(0x2026) + " (65535 characters) (1 block)" + repeated << 3
        << 1 << 0;
    // The second Sine's cable goes with it: kept, it would take the first one's output.
    RecordBuilder twoOfOneId = sineIntoGain(library);
    twoOfOneId.block("Sine", sine, 1, 300, 100, "220;0", Cables{{0, 2, 1}});
    QTest::newRow("two records of one id")
        << twoOfOneId.file() << partly << "- Sine (1 block)" + repeated << 2 << 1 << 0;
    RecordBuilder sameId = sineIntoGain(library);
    for (quint32 i = 0; i < 10000; ++i)
        sameId.block("Sine", sine, 7, 10 * (i % 100), 500, "440;0");
    QTest::newRow("10,000 blocks of one id")
        << sameId.file() << partly << "- Sine (9999 blocks)" + repeated << 3 << 1 << 0;
    RecordBuilder pictures = sineIntoGain(library);
    pictures.comment(1, 10, 10, "Before<br><img src=\"/dev/zero\">");
    pictures.comment(2, 10, 60, "<p>A <img src=\"" + square.toUtf8() + "\"> square</p>");
    pictures.comment(3, 10, 110,
                     "<p style=\"background-image: url(" + square.toUtf8() + ")\">x</p>");
    QTest::newRow("comments with pictures") << pictures.file() << whole << QString() << 2 << 1 << 3;
    RecordBuilder longComments;
    QByteArray rich;
    while (rich.size() < 60000)
        rich += "<p><b>Note:</b> the envelope opens the <i>filter</i>, then the delay</p>";
    for (quint32 id = 1; id <= 1000; ++id)
        longComments.comment(id, 37 * (id % 100), 41 * (id / 10), rich);
    QTest::newRow("1,000 comments of 60 KB rich text")
        << longComments.file() << whole
        << "1000 comments of the patch are too long to show whole: the canvas shows the start "
           "of each. Their whole text is kept and saved"
        << 0 << 0 << 1000;
    QTest::newRow("3,000 blocks with long cables")
        << longCables(gain, 3000).file() << whole << QString() << 3000 << 3000 << 0;
    // Carried block files that held the reader for seconds to minutes: one start tag of many
    // attributes (each compared with every other), declared attribute defaults (given to every
    // element), and many tags of a few. The patch carries each file under its own hash.
    auto carrying = [&library](const QByteArray& xml) {
        RecordBuilder patch = sineIntoGain(library);
        patch.block("Echo", hashOf(xml), 3, 300, 100, "0", Cables{{0, 2, 1}});
        return patch.file({qCompress(xml)});
    };
    auto attributes = [](int count) {
        QByteArray list;
        for (int i = 0; i < count; ++i)
            list += " a" + QByteArray::number(i) + "=\"\"";
        return list;
    };
    QByteArray wideTag = echo;
    wideTag.replace("<block name=\"Echo\"", "<block name=\"Echo\"" + attributes(25000));
    QTest::newRow("carried block with a tag of 25,000 attributes")
        << carrying(wideTag) << partly << unreadable << 2 << 1 << 0;
    QByteArray defaults = echo;
    defaults.prepend("<!DOCTYPE block [<!ATTLIST block" +
                     attributes(20000).replace("=\"\"", " CDATA \"v\"") + ">]>\n");
    QTest::newRow("carried block declaring 20,000 attribute defaults")
        << carrying(defaults) << partly << unreadable << 2 << 1 << 0;
    QByteArray manyTags = echo;
    manyTags.replace("</block>", ("<a" + attributes(64) + "/>").repeated(2049) + "</block>");
    QTest::newRow("carried block of 2,049 tags of 64 attributes")
        << carrying(manyTags) << partly << unreadable << 2 << 1 << 0;
    QTest::newRow("carried block with a tag of 64 attributes")
        << carrying(QByteArray(echo).replace("<block name=\"Echo\"",
                                             "<block name=\"Echo\"" + attributes(63)))
        << whole << QString() << 3 << 2 << 0;

    // Refused as before.
    const QByteArray record = sineIntoGain(library).record();
    QByteArray version7 = record;
    version7[1] = 7;
    QTest::newRow("version 7") << version7 << refused << "Cant open patch. Unknown format." << 0
                               << 0 << 0;
    QTest::newRow("empty file") << QByteArray() << refused << "Cant open patch. Unknown format."
                                << 0 << 0 << 0;
    QByteArray declaredHuge = record;
    declaredHuge[2] = char(0x7F);
    QTest::newRow("declares more than 64 MiB")
        << declaredHuge << refused << "Cant open patch. The packed data is too large." << 0 << 0
        << 0;
    // Declares 16 bytes, inflates to 65 MiB.
    QByteArray bomb = packedRecord(6, QByteArray(65 * 1024 * 1024, '\0')) + QByteArray(4, '\0');
    bomb.replace(2, 4, QByteArray::fromHex("00000010"));
    QTest::newRow("inflates beyond 64 MiB")
        << bomb << refused << "Cant open patch. The packed data is too large." << 0 << 0 << 0;
    QTest::newRow("stream cut short")
        << record.left(record.size() - 9) << refused
        << "Cant open patch. The packed data is damaged." << 0 << 0 << 0;
}

void TestHostilePatches::hostileFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(Outcome, outcome);
    QFETCH(QString, warning);
    QFETCH(int, blocks);
    QFETCH(int, cables);
    QFETCH(int, comments);

    const QString path = files->path() + "/hostile.ktl";
    QVERIFY(testsupport::writeFile(path, file));
    ModalDriver driver;
    int boxes = 0;
    driver.answer([&boxes](QWidget* w) {
        ++boxes;
        if (auto* dialog = qobject_cast<QDialog*>(w))
            dialog->reject();
    });
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    MessageCapture messages;
    window->openFromPath(path);
    // Settled: the canvas painted once, which is when the scene builds its item index and lays
    // out what it shows.
    window->currentDocument()->viewport()->repaint();

    QCOMPARE(boxes, 0);
    // One warning at most: each would be a box to click away.
    const QStringList warnings = messages.warnings();
    QVERIFY2(warnings.size() == (warning.isEmpty() ? 0 : 1),
             qPrintable(warnings.join('|').left(500)));
    if (!warning.isEmpty())
        QVERIFY2(warnings.first().contains(warning), qPrintable(warnings.first().left(1500)));
    // Each warning is a box: plain text, on a screen.
    for (const QString& text : warnings) {
        const std::unique_ptr<QMessageBox> box = messageBox(routeMessage(QtWarningMsg, text));
        QVERIFY(box);
        QVERIFY(testsupport::showsPlainText(box.get()));
        QVERIFY2(box->text().size() < 5000, qPrintable(box->text().left(200)));
    }
    QVERIFY2(warnings.filter("not found").isEmpty(), qPrintable(warnings.join('|')));
    PatchDocument* doc = window->currentDocument();
    QCOMPARE(doc->patchInfo()->name, QStringLiteral("hostile"));
    QCOMPARE(doc->blockInstances().size(), blocks);
    QCOMPARE(doc->blockConnections().size(), cables);
    QCOMPARE(doc->comments().size(), comments);
    QVERIFY(!doc->changed());
    // No comment loaded a picture from anywhere.
    for (const Comment* c : doc->comments()) {
        PatchComment* item = doc->patchScene()->commentItem(c->id);
        QVERIFY(item);
        QCOMPARE(testsupport::loadedImages(item->document()), 0);
    }
    // Only a whole patch may be saved over its file.
    QCOMPARE(doc->patchInfo()->path, outcome == Outcome::Whole ? path : QString());
    if (outcome == Outcome::WithoutPath) {
        QVERIFY2(warnings.first().contains("The tab is not tied to the file"),
                 qPrintable(warnings.first().left(1500)));
        // Save asks where to (the dialog is turned down) and leaves the file as it was.
        QCOMPARE(window->savePatch(doc), MainWindow::SaveResult::Cancelled);
        QCOMPARE(boxes, 1);
        QCOMPARE(testsupport::readFile(path), file);
    }
    // A file that gave nothing is no recent file.
    QCOMPARE(window->recentFileList().contains(path), outcome != Outcome::Refused);
}

void TestHostilePatches::idsSurviveSaveAndReopen_data()
{
    QTest::addColumn<QList<int>>("blockIds");
    QTest::addColumn<QList<int>>("commentIds");

    QTest::newRow("comment id 65535") << QList<int>{1, 2} << QList<int>{65535, 1};
    QTest::newRow("comment ids 65535 and 65536") << QList<int>{1, 2} << QList<int>{65536, 65535, 0};
    QTest::newRow("block ids 65536 and 0 meet in 16 bits") << QList<int>{0, 65536} << QList<int>{};
    QTest::newRow("block ids above 65535") << QList<int>{70000, 65535, 131072} << QList<int>{7};
    QTest::newRow("negative block id") << QList<int>{-1, 1} << QList<int>{};
}

void TestHostilePatches::idsSurviveSaveAndReopen()
{
    QFETCH(QList<int>, blockIds);
    QFETCH(QList<int>, commentIds);

    PatchDocument* doc = window->currentDocument();
    const BlockDescription* sine = window->blockManager()->blockDescription("Sine");
    QStringList positions;
    for (int i = 0; i < blockIds.size(); ++i) {
        BlockInstance source;
        source.id = blockIds[i];
        source.description = sine;
        source.values = QStringList{"440", "0"};
        QVERIFY(doc->addBlock("Sine", 100 * i, 50, &source));
        positions << QStringLiteral("%1,50").arg(100 * i);
    }
    // Each block feeds the next: the cables follow their blocks to their new ids.
    for (int i = 1; i < blockIds.size(); ++i)
        QVERIFY(doc->addConnection(i, blockIds[i - 1], 0, blockIds[i], 0));
    QStringList texts;
    for (int i = 0; i < commentIds.size(); ++i) {
        doc->addComment(commentIds[i], 10 * i, 20, QStringLiteral("note %1").arg(i));
        texts << QStringLiteral("note %1").arg(i);
    }

    const QString path = files->path() + "/ids.ktl";
    doc->patchInfo()->path = path;
    QCOMPARE(window->savePatch(doc), MainWindow::SaveResult::Saved);
    ModalDriver driver;
    int boxes = 0;
    driver.answer([&boxes](QWidget* w) {
        ++boxes;
        if (auto* box = qobject_cast<QMessageBox*>(w))
            box->reject();
    });
    MessageCapture messages;
    window->openFromPath(path);
    QCOMPARE(boxes, 0);
    QVERIFY2(messages.warnings().isEmpty(), qPrintable(messages.warnings().join('|')));
    PatchDocument* reopened = window->currentDocument();
    QVERIFY(reopened != doc);

    QStringList reopenedPositions;
    QSet<int> ids;
    for (const BlockInstance* b : reopened->blockInstances()) {
        reopenedPositions << QStringLiteral("%1,%2").arg(b->x).arg(b->y);
        ids.insert(b->id);
    }
    reopenedPositions.sort();
    positions.sort();
    QCOMPARE(reopenedPositions, positions);
    QCOMPARE(ids.size(), blockIds.size());
    // The chain is whole: every block but the first is fed by the one to its left.
    QCOMPARE(reopened->blockConnections().size(), blockIds.size() - 1);
    for (const BlockConnection* c : reopened->blockConnections())
        QCOMPARE(c->inBlock->x - c->outBlock->x, 100);
    QStringList reopenedTexts;
    for (const Comment* c : reopened->comments()) {
        reopenedTexts << c->text;
        QVERIFY(c->id >= 0 && c->id < 65535);
    }
    reopenedTexts.sort();
    texts.sort();
    QCOMPARE(reopenedTexts, texts);
}

void TestHostilePatches::longBlockListsAreCut()
{
    // 65,535 blocks of as many unknown names: the box names the first 20.
    RecordBuilder patch;
    for (quint32 id = 1; id <= 65535; ++id)
        patch.block("Unknown " + QByteArray::number(id), "abcd", id, 0, 0, "0");
    util::PatchFileContents contents = util::readPatchFile(patch.file());
    contents.patch.name = QStringLiteral("unknown");

    ModalDriver driver;
    QString informative;
    driver.answer([&informative](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        informative = box->informativeText();
        box->button(QMessageBox::Cancel)->click();
    });
    MessageCapture messages;
    QVERIFY(!window->openPatch(contents.patch, contents.blockFiles));
    QString expected;
    for (int id = 1; id <= 20; ++id)
        expected += QStringLiteral("- Unknown %1\n").arg(id);
    QCOMPARE(informative, expected + "and 65515 more\n\nDo you wish to download them ?");
}

// Names from the file in the box that offers to fetch them: shown as typed, each on one line
// and short.
void TestHostilePatches::notFoundBoxIsPlain()
{
    RecordBuilder patch;
    const QList<QByteArray> names{"<img src=\"/dev/zero\">",
                                  "<b>Bold</b>\xE2\x80\xAE"
                                  "evil",
                                  QByteArray(65535, 'n')};
    quint32 id = 0;
    for (const QByteArray& name : names)
        patch.block(name, "abcd", ++id, 0, 0, "0");
    for (int i = 0; i < 20; ++i)
        patch.block(QByteArray(65535, char('A' + i)), "abcd", ++id, 0, 0, "0");
    util::PatchFileContents contents = util::readPatchFile(patch.file());
    contents.patch.name = QStringLiteral("names");

    ModalDriver driver;
    bool plain = false;
    QString informative;
    driver.answer([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        plain = testsupport::showsPlainText(box);
        informative = box->informativeText();
        box->button(QMessageBox::Cancel)->click();
    });
    MessageCapture messages;
    QVERIFY(!window->openPatch(contents.patch, contents.blockFiles));
    QVERIFY(plain);
    const QStringList lines = informative.split('\n');
    QCOMPARE(lines.value(0), QStringLiteral("- <img src=\"/dev/zero\">"));
    QCOMPARE(lines.value(1), QString("- <b>Bold</b>\uFFFDevil"));
    QCOMPARE(lines.value(2), "- " + QString(60, 'n') + QChar(0x2026) + " (65535 characters)");
    QCOMPARE(lines.value(3), "- " + QString(60, 'A') + QChar(0x2026) + " (65535 characters)");
    QCOMPARE(lines.value(20), QStringLiteral("and 3 more"));
    QVERIFY(informative.size() < 3000);
}

// Pictures in comments: the program's own show, any other file none, however it is named.
void TestHostilePatches::commentsLoadNoImage()
{
    RecordBuilder patch;
    patch.comment(1, 10, 10, "<p><img src=\"" + square.toUtf8() + "\"></p>");
    patch.comment(2, 10, 300, "<p><img src=\"file://" + square.toUtf8() + "\"></p>");
    patch.comment(3, 10, 600, "<p><img src=\"square.png\"></p>");
    patch.comment(4, 10, 900, "<br><img src=\":/icons/newplay.png\">");
    patch.comment(5, 10, 1200, "<br><img src=\"qrc:/icons/newplay.png\">");
    const QString path = pointedAt.path() + "/pictures.ktl";
    QVERIFY(testsupport::writeFile(path, patch.file()));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    MessageCapture messages;
    window->openFromPath(path);
    PatchDocument* doc = window->currentDocument();
    doc->viewport()->repaint();
    QVERIFY2(messages.warnings().isEmpty(), qPrintable(messages.warnings().join('|')));
    QCOMPARE(doc->comments().size(), 5);
    for (int id = 1; id <= 3; ++id) {
        PatchComment* item = doc->patchScene()->commentItem(id);
        QCOMPARE(testsupport::loadedImages(item->document()), 0);
        QVERIFY2(item->boundingRect().height() < 100,
                 qPrintable(QString::number(item->boundingRect().height())));
    }
    for (int id = 4; id <= 5; ++id)
        QCOMPARE(testsupport::loadedImages(doc->patchScene()->commentItem(id)->document()), 1);
}

void TestHostilePatches::shape(PatchDocument* doc, const QString& kind)
{
    const BlockDescription* sine = window->blockManager()->blockDescription("Sine");
    const BlockDescription* gain = window->blockManager()->blockDescription("Gain");
    auto add = [doc](const BlockDescription* description, int id, const QStringList& values,
                     int nodeId = 0) {
        BlockInstance source;
        source.id = id;
        source.nodeId = nodeId;
        source.description = description;
        source.values = values;
        QVERIFY(doc->addBlock(description->name, 10 * (id % 300), 10 * (id / 300), &source));
    };
    const int count = kind.section(' ', 0, 0).toInt();
    if (kind.endsWith("blocks")) {
        for (int id = 1; id <= count; ++id)
            add(sine, id, {"440", "0"});
    } else if (kind.endsWith("big values")) {
        for (int id = 1; id <= count; ++id)
            add(sine, id, {bigValue, "0"});
    } else if (kind.endsWith("node ids")) {
        for (int id = 1; id <= count; ++id)
            add(sine, id, {"440", "0"}, 1000 + id);
    } else if (kind.endsWith("cables leaving a block") || kind == "a cable on socket 256") {
        doc->addBlockDescription(
            BlockManager::loadBlock(fanBlock(257), BlockDescription::OriginPatch));
        add(doc->getBlockDescription("Fan"), 1, {"0"});
        for (int i = 0; i < 257; ++i)
            add(gain, 2 + i, {"0"});
        if (kind == "a cable on socket 256") {
            QVERIFY(doc->addConnection(1, 1, 256, 2, 0));
            return;
        }
        for (int i = 0; i < count; ++i)
            QVERIFY(doc->addConnection(i + 1, 1, i, 2 + i, 0));
    } else if (kind == "a comment of 65,536 bytes") {
        doc->addComment(1, 10, 10, QString(65536, QLatin1Char('c')));
    } else if (kind.startsWith("carried files") || kind == "library files") {
        for (const char* name : {"Echo", "Delay"}) {
            BlockDescription carried = BlockManager::loadBlock(
                carriedBlock(name), kind == "library files" ? BlockDescription::OriginLibrary
                                                            : BlockDescription::OriginPatch);
            // A library block's description keeps no file; it gets the one it would carry.
            carried.rawData = carriedBlock(name);
            // Past the file's end, as the reader counts a carried file's bytes.
            carried.rawData.append(QByteArray(util::bin::maxUncompressedSize / 2, ' '));
            doc->addBlockDescription(carried);
            add(doc->getBlockDescription(name), name[0], {"0"});
        }
    }
}

void TestHostilePatches::saveRefusesWhatDoesNotFit_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("includeBlocks");
    // Empty when the patch is saved.
    QTest::addColumn<QString>("reason");

    QTest::newRow("65,537 blocks")
        << "65537 blocks" << true
        << "The patch would hold 65537 blocks; a patch holds at most 65536.";
    QTest::newRow("1,025 blocks of big values")
        << "1025 big values" << true << "The patch would take 67162141 bytes unpacked";
    QTest::newRow("256 node ids") << "256 node ids" << true << QString();
    QTest::newRow("257 node ids") << "257 node ids" << true << "257 patches of the repository";
    QTest::newRow("255 cables leaving a block")
        << "255 cables leaving a block" << true << QString();
    QTest::newRow("256 cables leaving a block")
        << "256 cables leaving a block" << true
        << "Block 1 (Fan) would have 256 cables leaving it; a patch holds at most 255 a block.";
    QTest::newRow("a cable on socket 256")
        << "a cable on socket 256" << true << "Block 1 (Fan) has a cable on socket 256";
    QTest::newRow("a comment of 65,536 bytes")
        << "a comment of 65,536 bytes" << true
        << "The text of comment 1 takes 65536 bytes; a patch holds at most 65535 bytes of one "
           "text.";
    QTest::newRow("carried files past 64 MiB")
        << "carried files" << true << "The block files the patch carries would take";
    QTest::newRow("the same files not carried") << "carried files" << false << QString();
}

void TestHostilePatches::saveRefusesWhatDoesNotFit()
{
    QFETCH(QString, kind);
    QFETCH(bool, includeBlocks);
    QFETCH(QString, reason);

    PatchDocument* doc = window->currentDocument();
    shape(doc, kind);
    doc->includeBlocks(includeBlocks);
    const QString path = files->path() + "/kept.ktl";
    const QByteArray before = "the file as it was";
    QVERIFY(testsupport::writeFile(path, before));
    doc->patchInfo()->path = path;
    doc->setChanged(true);

    MessageCapture messages;
    const MainWindow::SaveResult result = window->savePatch(doc);
    if (reason.isEmpty()) {
        QCOMPARE(result, MainWindow::SaveResult::Saved);
        QVERIFY2(messages.warnings().isEmpty(), qPrintable(messages.warnings().join('|')));
        QVERIFY(!doc->changed());
        return;
    }
    QCOMPARE(result, MainWindow::SaveResult::Failed);
    QCOMPARE(messages.warnings().size(), 1);
    const QString warning = messages.warnings().first();
    QVERIFY2(warning.startsWith("The patch was not saved, and " + path + " was left as it was. ") &&
                 warning.contains(reason),
             qPrintable(warning.left(500)));
    QCOMPARE(testsupport::readFile(path), before);
    QVERIFY(doc->changed());
    QCOMPARE(doc->patchInfo()->saved, 0);
    QVERIFY(!window->recentFileList().contains(path));
}

void TestHostilePatches::pasteRefusesWhatDoesNotFit_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("payload");
    // Empty when the paste is made.
    QTest::addColumn<QString>("reason");

    BlockManager library;
    library.loadBlocks(testsupport::sourcePath("tests/app/fixtures/blocks"),
                       BlockDescription::OriginLibrary);
    const QByteArray sine = library.blockDescription("Sine")->hash.toLatin1();
    auto sines = [&sine](int count, const QByteArray& values) {
        RecordBuilder record;
        for (int id = 1; id <= count; ++id)
            record.block("Sine", sine, quint32(id), 0, 0, values);
        return packedRecord(6, record.body());
    };
    QTest::newRow("60,000 blocks into 60,000")
        << "60000 blocks" << sines(60000, "440;0")
        << "Nothing was pasted. The patch would hold 120000 blocks; a patch holds at most 65536.";
    QTest::newRow("5,536 blocks into 60,000")
        << "60000 blocks" << sines(5536, "440;0") << QString();
    QTest::newRow("5,537 blocks into 60,000")
        << "60000 blocks" << sines(5537, "440;0")
        << "Nothing was pasted. The patch would hold 65537 blocks; a patch holds at most 65536.";
    QTest::newRow("big values past 64 MiB")
        << "600 big values" << sines(425, bigValue.toLatin1() + ";0")
        << "Nothing was pasted. The patch would take 67164691 bytes unpacked";
    QTest::newRow("big values up to 64 MiB")
        << "600 big values" << sines(424, bigValue.toLatin1() + ";0") << QString();
}

void TestHostilePatches::pasteRefusesWhatDoesNotFit()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, payload);
    QFETCH(QString, reason);

    PatchDocument* doc = window->currentDocument();
    shape(doc, kind);
    doc->clearUndoStack();
    const int blocks = doc->blockInstances().size();
    QGuiApplication::clipboard()->setText(QString::fromLatin1(payload.toBase64()));

    MessageCapture messages;
    window->paste();
    if (reason.isEmpty()) {
        QVERIFY2(messages.warnings().isEmpty(), qPrintable(messages.warnings().join('|')));
        QVERIFY(doc->blockInstances().size() > blocks);
        return;
    }
    QCOMPARE(messages.warnings().size(), 1);
    QVERIFY2(messages.warnings().first().startsWith(reason),
             qPrintable(messages.warnings().first().left(300)));
    QCOMPARE(doc->blockInstances().size(), blocks);
    QCOMPARE(doc->undoStack()->count(), 0);
}

void TestHostilePatches::editsRefusedWhenTheyWouldNotFit_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("edit");
    // Empty when the edit is made.
    QTest::addColumn<QString>("reason");

    QTest::newRow("a block into 65,536")
        << "65536 blocks"
        << "block"
        << "The block was not added. The patch would hold 65537 blocks; a patch holds at most "
           "65536.";
    QTest::newRow("a 255th cable leaving a block") << "254 cables leaving a block"
                                                   << "cable 254" << QString();
    QTest::newRow("a 256th cable leaving a block")
        << "255 cables leaving a block"
        << "cable 255"
        << "The cable was not added. Block 1 (Fan) would have 256 cables leaving it; a patch "
           "holds at most 255 a block.";
    // 1,024 blocks of big values leave about 12 KB of the 64 MiB.
    QTest::newRow("a comment text within 64 MiB") << "1024 big values"
                                                  << "text 10000" << QString();
    QTest::newRow("a comment text past 64 MiB")
        << "1024 big values"
        << "text 20000"
        << "The comment keeps its earlier text. The patch would take 67116625 bytes unpacked";
    QTest::newRow("a comment into 1,025 blocks of big values")
        << "1025 big values"
        << "comment"
        << "The comment was not added. The patch would take 67162161 bytes unpacked";
    QTest::newRow("a comment text of 65,535 bytes") << "1 blocks"
                                                    << "text 65535" << QString();
    QTest::newRow("a comment text of 65,536 bytes")
        << "1 blocks"
        << "text 65536"
        << "The comment keeps its earlier text. The text of comment 1 takes 65536 bytes";
    QTest::newRow("a value of 65,533 bytes") << "1 blocks"
                                             << "value 65533" << QString();
    QTest::newRow("a value of 65,534 bytes")
        << "1 blocks"
        << "value 65534"
        << "The value was not changed. The value text of block 1 (Sine) takes 65536 bytes";
}

void TestHostilePatches::editsRefusedWhenTheyWouldNotFit()
{
    QFETCH(QString, kind);
    QFETCH(QString, edit);
    QFETCH(QString, reason);

    PatchDocument* doc = window->currentDocument();
    shape(doc, kind);
    doc->addComment(1, 10, 10, "kept");
    doc->clearUndoStack();
    const int blocks = doc->blockInstances().size();
    const int cables = doc->blockConnections().size();
    const int comments = doc->comments().size();
    const QString value = doc->blockInstance(1)->values.first();

    MessageCapture messages;
    const int size = edit.section(' ', 1).toInt();
    if (edit == "block") {
        doc->addBlockHandler("Gain", 100, 100);
    } else if (edit.startsWith("cable")) {
        doc->patchScene()->requestAddConnection(1, size, 2 + size, 0);
    } else if (edit == "comment") {
        doc->addCommentHandler();
    } else if (edit.startsWith("text")) {
        doc->editCommentHandler(1, 10, 10, QString(size, QLatin1Char('t')));
    } else if (edit.startsWith("value")) {
        window->editVariableHandler(1, 0, QString(size, QLatin1Char('7')));
    }

    const bool made = reason.isEmpty();
    QCOMPARE(messages.warnings().size(), made ? 0 : 1);
    if (!made)
        QVERIFY2(messages.warnings().first().startsWith(reason),
                 qPrintable(messages.warnings().first().left(300)));
    QCOMPARE(doc->undoStack()->count(), made ? 1 : 0);
    QCOMPARE(doc->blockInstances().size(), blocks + (made && edit == "block" ? 1 : 0));
    QCOMPARE(doc->blockConnections().size(), cables + (made && edit.startsWith("cable") ? 1 : 0));
    QCOMPARE(doc->comments().size(), comments + (made && edit == "comment" ? 1 : 0));
    if (edit.startsWith("text"))
        QCOMPARE(doc->comment(1)->text, made ? QString(size, QLatin1Char('t')) : "kept");
    if (edit.startsWith("value"))
        QCOMPARE(doc->blockInstance(1)->values.first(),
                 made ? QString(size, QLatin1Char('7')) : value);
}

void TestHostilePatches::editsRefusedAfterOtherEdits_data()
{
    // Steps in order. "count": an edit's check (which counts the patch once and keeps the
    // tally), measuring the room left then; then edits, undo and redo that make the patch grow
    // through each of the document's mutators; last "fill": comment 1 given the text that
    // fitted the room measured, or "retext": a short text. A tally that missed a growth would
    // let the last edit through.
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("steps");
    // Empty when the last edit is made.
    QTest::addColumn<QString>("reason");

    const QString body =
        QStringLiteral("The comment keeps its earlier text. The patch would take 67108");
    QTest::newRow("the room filled") << "1024 big values"
                                     << "count fill" << QString();
    QTest::newRow("after a block") << "1024 big values"
                                   << "count block fill" << body;
    QTest::newRow("after a pasted block") << "1024 big values"
                                          << "count paste-block fill" << body;
    QTest::newRow("after an undone removal of a block") << "1024 big values"
                                                        << "remove-block count undo fill" << body;
    QTest::newRow("after a redone block") << "1024 big values"
                                          << "block undo count redo fill" << body;
    QTest::newRow("after a cable") << "1024 big values"
                                   << "count cable fill" << body;
    QTest::newRow("after a value") << "1024 big values"
                                   << "count value fill" << body;
    QTest::newRow("after a comment") << "1024 big values"
                                     << "count comment fill" << body;
    QTest::newRow("after a pasted comment") << "1024 big values"
                                            << "count paste-comment fill" << body;
    QTest::newRow("after a comment's text") << "1024 big values"
                                            << "count text2 fill" << body;
    QTest::newRow("after an undone removal of a comment")
        << "1024 big values"
        << "remove-comment count undo fill" << body;
    QTest::newRow("after a library block became carried")
        << "library files"
        << "count carry retext"
        << "The comment keeps its earlier text. The block files the patch carries would take";
}

void TestHostilePatches::editsRefusedAfterOtherEdits()
{
    QFETCH(QString, kind);
    QFETCH(QString, steps);
    QFETCH(QString, reason);

    PatchDocument* doc = window->currentDocument();
    shape(doc, kind);
    doc->addComment(1, 10, 10, "kept");
    doc->addComment(2, 10, 40, "second");
    doc->clearUndoStack();
    const BlockDescription* sine = window->blockManager()->blockDescription("Sine");
    auto clipboardHolds = [](const QList<const BlockInstance*>& blocks,
                             const QList<const Comment*>& comments) {
        QGuiApplication::clipboard()->setText(
            QString::fromLatin1(BinaryPacker().pack(blocks, comments).toBase64()));
    };

    MessageCapture messages;
    qint64 room = 0;
    for (const QString& step : steps.split(' ')) {
        if (step == "count") {
            const BlockInstance* first = doc->blockInstances().first();
            QVERIFY(doc->acceptsValue(first->id, 0, first->values.first()));
            QList<const Comment*> comments;
            for (const Comment* c : doc->comments())
                comments << c;
            const RecordFit::Tally now = RecordFit::tally(doc->blockInstances(), comments);
            room = util::bin::maxUncompressedSize - RecordFit::bodySize(now, *doc->patchInfo()) +
                   RecordFit::utf8Size(doc->comment(1)->text);
        } else if (step == "block") {
            doc->addBlockHandler("Gain", 100, 100);
        } else if (step == "paste-block") {
            BlockInstance pasted;
            pasted.id = 1;
            pasted.description = sine;
            pasted.values = QStringList{"440", "0"};
            clipboardHolds({&pasted}, {});
            window->paste();
        } else if (step == "paste-comment") {
            const Comment note{1, 50, 50, "note"};
            clipboardHolds({}, {&note});
            window->paste();
        } else if (step == "remove-block") {
            // A small block, as an open adds it, removed on the canvas.
            BlockInstance gain;
            gain.id = 2000;
            gain.description = window->blockManager()->blockDescription("Gain");
            gain.values = QStringList{"0"};
            QVERIFY(doc->addBlock("Gain", 100, 100, &gain));
            doc->removeBlockHandler(2000);
        } else if (step == "remove-comment") {
            doc->removeCommentHandler(2);
        } else if (step == "undo") {
            doc->undo();
        } else if (step == "redo") {
            doc->redo();
        } else if (step == "cable") {
            doc->patchScene()->requestAddConnection(1, 0, 2, 0);
            QCOMPARE(doc->blockConnections().size(), 1);
        } else if (step == "value") {
            window->editVariableHandler(1, 1, QString(10, QLatin1Char('7')));
        } else if (step == "comment") {
            doc->addCommentHandler();
        } else if (step == "text2") {
            doc->editCommentHandler(2, 10, 40, QString(100, QLatin1Char('n')));
        } else if (step == "carry") {
            doc->updateDescriptionOrigin("Echo", BlockDescription::OriginPatch);
            doc->updateDescriptionOrigin("Delay", BlockDescription::OriginPatch);
        }
        QVERIFY2(messages.warnings().isEmpty(),
                 qPrintable(step + ": " + messages.warnings().join('|')));
    }
    const QString text = steps.endsWith("fill") ? QString(int(room), QLatin1Char('t')) : "retold";
    doc->editCommentHandler(1, 10, 10, text);

    const bool made = reason.isEmpty();
    QCOMPARE(messages.warnings().size(), made ? 0 : 1);
    if (!made)
        QVERIFY2(messages.warnings().first().startsWith(reason),
                 qPrintable(messages.warnings().first().left(300)));
    QCOMPARE(doc->comment(1)->text, made ? text : "kept");
}

KL_TEST_MAIN(TestHostilePatches)
#include "test_hostilepatches.moc"
