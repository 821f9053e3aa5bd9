// The clipboard's record of a selection and the paste plan worked out from a clipboard text,
// without a window.
#include "BinaryPacker.h"
#include "BlockConnection.h"
#include "BlockManager.h"
#include "ClipboardPayload.h"
#include "MessageCapture.h"
#include "PastePlan.h"
#include "TestMain.h"

#include <QTemporaryDir>
#include <QtTest>
#include <deque>
#include <map>

namespace {

QByteArray blockXml(const QString& name, int inputs, int outputs, const QString& extra = {})
{
    QString vars;
    for (int i = 0; i < inputs; ++i)
        vars += QStringLiteral("<var socket=\"in\" info=\"In\"/>");
    for (int i = 0; i < outputs; ++i)
        vars += QStringLiteral("<var socket=\"out\" info=\"Out\"/>");
    return QStringLiteral("<block name=\"%1\"><category>Math</category><data name=\"d\">%2%3"
                          "</data><function name=\"f\"/></block>\n")
        .arg(name.toHtmlEscaped(), vars, extra)
        .toUtf8();
}

// "Osc": one input, one output, then "freq" = 2.000000 and "table[4]" = 1,2,3,4.
const QString oscExtra =
    QStringLiteral("<var name=\"freq\" dtype=\"int32_t\" editable=\"1\" value=\"2.000000\"/>"
                   "<var name=\"table[4]\" dtype=\"int32_t\" editable=\"1\" value=\"1,2,3,4\"/>");

// A library of descriptions by name, with stable addresses.
struct Library
{
    std::map<QString, BlockDescription> blocks;

    const BlockDescription*
    add(const QByteArray& xml,
        BlockDescription::BlockOrigin origin = BlockDescription::OriginLibrary)
    {
        BlockDescription d = BlockManager::loadBlock(xml, origin);
        const QString name = d.name;
        blocks[name] = d;
        return &blocks[name];
    }
    const BlockDescription* find(const QString& name) const
    {
        const auto it = blocks.find(name);
        return it == blocks.end() ? nullptr : &it->second;
    }
    void standard()
    {
        add(blockXml("Osc", 1, 1, oscExtra));
        add(blockXml("Mix", 2, 1));
        add(blockXml("Audio Output", 2, 0));
    }
};

// The document that is copied from: blocks, cables and comments, with stable addresses.
struct Source
{
    Library library;
    std::deque<BlockInstance> blocks;
    std::deque<BlockConnection> cables;
    std::deque<Comment> notes;

    Source() { library.standard(); }

    BlockInstance& block(qint32 id, const QString& name, qint32 x, qint32 y)
    {
        blocks.emplace_back();
        BlockInstance& b = blocks.back();
        b.id = id;
        b.description = library.find(name);
        b.x = x;
        b.y = y;
        for (const Variable& v : b.description->variables)
            b.values << initialValue(v);
        return b;
    }
    void cable(BlockInstance& from, qint32 out, BlockInstance& to, qint32 in)
    {
        cables.emplace_back();
        BlockConnection& c = cables.back();
        c.id = qint32(cables.size());
        c.outBlock = &from;
        c.inBlock = &to;
        c.outBlockSocketId = out;
        c.inBlockSocketId = in;
        from.outputs.insert(out, &c);
        to.inputs.insert(in, &c);
    }
    void comment(qint32 id, qint32 x, qint32 y, const QString& text = QStringLiteral("note"))
    {
        notes.push_back(Comment{id, x, y, text});
    }
    InstanceList selection() const
    {
        InstanceList list;
        for (const BlockInstance& b : blocks)
            list << &b;
        return list;
    }
    QList<const Comment*> comments() const
    {
        QList<const Comment*> list;
        for (const Comment& c : notes)
            list << &c;
        return list;
    }
    QByteArray record() const { return util::selectionRecord(selection(), comments()); }
    // The clipboard text that copying everything gives.
    QString text() const
    {
        const QByteArray payload =
            util::clipboardPayload(record(), util::selectionBlockFiles(selection()));
        return QString::fromLatin1(payload.toBase64());
    }
};

// The document pasted into: its own descriptions, the library and the ids in use.
struct Destination
{
    Library library;
    Library own;
    QList<qint32> instanceIds;
    QList<qint32> commentIds;
    qint32 highestConnectionId = 0;
    QPointF click;

    Destination() { library.standard(); }

    PastePlan::Target target() const
    {
        PastePlan::Target t;
        t.documentDescription = [this](const QString& name) { return own.find(name); };
        t.libraryDescription = [this](const QString& name) { return library.find(name); };
        for (const qint32 id : instanceIds)
            t.instanceIds.insert(id);
        for (const qint32 id : commentIds)
            t.commentIds.insert(id);
        t.highestConnectionId = highestConnectionId;
        t.click = click;
        return t;
    }
    PastePlan paste(const QString& text) const { return PastePlan::fromText(text, target()); }
};

QList<qint32> range(qint32 from, qint32 to)
{
    QList<qint32> out;
    for (qint32 i = from; i <= to; ++i)
        out << i;
    return out;
}

QList<QPoint> positions(const PastePlan& plan)
{
    QList<QPoint> out;
    for (const PastePlan::Instance& i : plan.instances)
        out << QPoint(i.x, i.y);
    return out;
}

QList<qint32> ids(const PastePlan& plan)
{
    QList<qint32> out;
    for (const PastePlan::Instance& i : plan.instances)
        out << i.id;
    return out;
}

QList<qint32> commentIds(const PastePlan& plan)
{
    QList<qint32> out;
    for (const Comment& c : plan.comments)
        out << c.id;
    return out;
}

// "id:out>in:socket" per cable.
QStringList cables(const PastePlan& plan)
{
    QStringList out;
    for (const PastePlan::Cable& c : plan.cables)
        out << QStringLiteral("%1:%2.%3>%4.%5")
                   .arg(c.id)
                   .arg(c.outBlock)
                   .arg(c.outSocket)
                   .arg(c.inBlock)
                   .arg(c.inSocket);
    return out;
}

} // namespace

class TestPastePlan : public QObject
{
    Q_OBJECT
private slots:
    void placedFromTheClick_data();
    void placedFromTheClick();
    void freshIdsAboveTheHighest_data();
    void freshIdsAboveTheHighest();
    void freshIdRules_data();
    void freshIdRules();
    void onlyCablesBetweenSelectedBlocks();
    void untrustedRecordsAreFiltered_data();
    void untrustedRecordsAreFiltered();
    void shortValueListsArePadded();
    void nodeIdsAndCommentsOnly();
    void reportsListEachNameOnce();
    void carriedDescriptions_data();
    void carriedDescriptions();
    void carriedFilesOfTheSelection();
    void clipboardTexts_data();
    void clipboardTexts();
    void oversizedInputIsRefused();
    void recordIdsThatDoNotFitAreRenumbered();
    void selectionTooLargeIsRefused();
};

void TestPastePlan::placedFromTheClick_data()
{
    QTest::addColumn<QList<QPoint>>("blocks");
    QTest::addColumn<QPoint>("comment");
    QTest::addColumn<QPointF>("click");
    QTest::addColumn<QPoint>("header");
    QTest::addColumn<QList<QPoint>>("pastedBlocks");
    QTest::addColumn<QPoint>("pastedComment");

    const QList<QPoint> two{{300, 200}, {500, 260}};
    QTest::newRow("top-left onto the truncated click")
        << two << QPoint(280, 400) << QPointF(700.7, 600.2) << QPoint(280, 200)
        << QList<QPoint>{{720, 600}, {920, 660}} << QPoint(700, 800);
    QTest::newRow("before any click")
        << two << QPoint(280, 400) << QPointF(0, 0) << QPoint(280, 200)
        << QList<QPoint>{{20, 0}, {220, 60}} << QPoint(0, 200);
    QTest::newRow("selection beyond 4000")
        << QList<QPoint>{{5000, 4500}, {5100, 4600}} << QPoint(5200, 4400) << QPointF(100, 100)
        << QPoint(5000, 4400) << QList<QPoint>{{100, 200}, {200, 300}} << QPoint(300, 100);
    // Coordinates outside 16 bits move the record's origin to the selection's top-left.
    QTest::newRow("negative coordinates")
        << QList<QPoint>{{-20, 30}, {100, -5}} << QPoint(10, 10) << QPointF(500, 500)
        << QPoint(0, 0) << QList<QPoint>{{500, 535}, {620, 500}} << QPoint(530, 515);
    QTest::newRow("beyond 65535") << QList<QPoint>{{70000, 100}, {70100, 200}} << QPoint(70050, 150)
                                  << QPointF(10, 10) << QPoint(0, 100)
                                  << QList<QPoint>{{10, 10}, {110, 110}} << QPoint(60, 60);
}

void TestPastePlan::placedFromTheClick()
{
    QFETCH(QList<QPoint>, blocks);
    QFETCH(QPoint, comment);
    QFETCH(QPointF, click);
    QFETCH(QPoint, header);
    QFETCH(QList<QPoint>, pastedBlocks);
    QFETCH(QPoint, pastedComment);

    Source source;
    BlockInstance& a = source.block(1, "Osc", blocks[0].x(), blocks[0].y());
    BlockInstance& b = source.block(2, "Mix", blocks[1].x(), blocks[1].y());
    source.cable(a, 0, b, 1);
    source.comment(1, comment.x(), comment.y());

    const PackedPatch record = BinaryPacker().load(source.record());
    QCOMPARE(QPoint(record.x, record.y), header);

    Destination destination;
    destination.click = click;
    const PastePlan plan = destination.paste(source.text());
    QCOMPARE(positions(plan), pastedBlocks);
    QCOMPARE(plan.comments.size(), 1);
    QCOMPARE(QPoint(plan.comments[0].x, plan.comments[0].y), pastedComment);
    QCOMPARE(plan.cables.size(), 1);
}

void TestPastePlan::freshIdsAboveTheHighest_data()
{
    QTest::addColumn<QList<qint32>>("used");
    QTest::addColumn<QList<qint32>>("stored");
    QTest::addColumn<QList<qint32>>("usedComments");
    QTest::addColumn<qint32>("storedComment");
    QTest::addColumn<QList<qint32>>("expected");
    QTest::addColumn<QStringList>("expectedCables");
    QTest::addColumn<qint32>("expectedComment");

    QTest::newRow("stored id + highest id")
        << range(1, 10) << QList<qint32>{3, 7} << range(1, 2) << 1 << QList<qint32>{13, 17}
        << QStringList{"5:13.0>17.1"} << 3;
    // Id 0 would land on the highest block and comment and replace them.
    QTest::newRow("stored id 0") << range(1, 10) << QList<qint32>{0, 2} << range(1, 2) << 0
                                 << QList<qint32>{11, 13} << QStringList{"5:11.0>13.1"} << 3;
    QTest::newRow("stored id 0 into an empty document")
        << QList<qint32>{} << QList<qint32>{0, 1} << QList<qint32>{} << 0 << QList<qint32>{1, 2}
        << QStringList{"5:1.0>2.1"} << 1;
    // Pasting the newest block doubles the highest id; past 16 bits ids run on compactly.
    QTest::newRow("past 16 bits") << QList<qint32>{1, 40000} << QList<qint32>{30000, 40000}
                                  << QList<qint32>{60000} << 10000 << QList<qint32>{40001, 40002}
                                  << QStringList{"5:40001.0>40002.1"} << 60001;
    QTest::newRow("comment id 65535 is kept out")
        << range(1, 10) << QList<qint32>{3, 7} << QList<qint32>{65000} << 535
        << QList<qint32>{13, 17} << QStringList{"5:13.0>17.1"} << 65001;
}

void TestPastePlan::freshIdsAboveTheHighest()
{
    QFETCH(QList<qint32>, used);
    QFETCH(QList<qint32>, stored);
    QFETCH(QList<qint32>, usedComments);
    QFETCH(qint32, storedComment);
    QFETCH(QList<qint32>, expected);
    QFETCH(QStringList, expectedCables);
    QFETCH(qint32, expectedComment);

    // A record with the given stored ids, as another editor might have written it.
    Source source;
    BlockInstance& a = source.block(stored[0], "Osc", 10, 10);
    BlockInstance& b = source.block(stored[1], "Mix", 50, 10);
    source.cable(a, 0, b, 1);
    source.comment(storedComment, 0, 0);
    const QByteArray record = BinaryPacker().pack(source.selection(), source.comments());

    Destination destination;
    destination.instanceIds = used;
    destination.commentIds = usedComments;
    destination.highestConnectionId = 4;
    const PastePlan plan =
        PastePlan::fromPayload(util::clipboardPayload(record, {}), destination.target());
    QCOMPARE(ids(plan), expected);
    QCOMPARE(cables(plan), expectedCables);
    QCOMPARE(commentIds(plan), QList<qint32>{expectedComment});
}

void TestPastePlan::freshIdRules_data()
{
    QTest::addColumn<QList<qint32>>("stored");
    QTest::addColumn<QList<qint32>>("used");
    QTest::addColumn<QList<qint32>>("expected");

    QTest::newRow("empty") << QList<qint32>{} << range(1, 3) << QList<qint32>{};
    QTest::newRow("repeated ids, in stored-id order")
        << QList<qint32>{9, 5, 5} << range(1, 3) << QList<qint32>{6, 4, 5};
    QTest::newRow("spacing kept above the highest")
        << QList<qint32>{0, 4} << range(1, 3) << QList<qint32>{4, 8};
    QTest::newRow("no room above the highest")
        << QList<qint32>{5, 9} << QList<qint32>{1, 2, 65535} << QList<qint32>{3, 4};
    QTest::newRow("up to the limit")
        << QList<qint32>{65525} << range(1, 10) << QList<qint32>{65535};
    // No id passes 16 bits: the free ones are taken, 0 last, and with too few there is none.
    QTest::newRow("the last free ids, 0 last")
        << QList<qint32>{1, 2, 3} << range(1, 65533) << QList<qint32>{65534, 65535, 0};
    QTest::newRow("one id too few")
        << QList<qint32>{1, 2, 3, 4} << range(1, 65533) << QList<qint32>{};
    QTest::newRow("ids above 16 bits take no room")
        << QList<qint32>{1, 2} << range(2, 65535) + QList<qint32>{70000} << QList<qint32>{1, 0};
}

void TestPastePlan::freshIdRules()
{
    QFETCH(QList<qint32>, stored);
    QFETCH(QList<qint32>, used);
    QFETCH(QList<qint32>, expected);
    QSet<qint32> inUse;
    for (const qint32 id : used)
        inUse.insert(id);
    QCOMPARE(PastePlan::freshIds(stored, inUse), expected);
}

void TestPastePlan::onlyCablesBetweenSelectedBlocks()
{
    Source source;
    BlockInstance& first = source.block(1, "Osc", 0, 0);
    BlockInstance& second = source.block(2, "Osc", 100, 0);
    BlockInstance& third = source.block(3, "Osc", 200, 0);
    source.cable(first, 0, second, 0);
    source.cable(second, 0, third, 0);
    const InstanceList selected{&first, &second};

    const PackedPatch record = BinaryPacker().load(util::selectionRecord(selected, {}));
    QCOMPARE(record.blocks.size(), 2);
    QCOMPARE(record.blocks[0].connections, (QList<QList<qint32>>{{0, 2, 0}}));
    QVERIFY(record.blocks[1].connections.isEmpty());
    // The document keeps its own cables.
    QCOMPARE(second.outputs.size(), 1);

    Destination destination;
    destination.instanceIds = {1, 2, 3};
    const QString text = QString::fromLatin1(
        util::clipboardPayload(util::selectionRecord(selected, {}), {}).toBase64());
    const PastePlan once = destination.paste(text);
    QCOMPARE(cables(once), QStringList{"1:4.0>5.0"});
}

void TestPastePlan::untrustedRecordsAreFiltered_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QList<qint32>>("expectedIds");
    QTest::addColumn<QStringList>("expectedCables");
    QTest::addColumn<QStringList>("notFound");

    QTest::newRow("block without a description")
        << "ghost" << QList<qint32>{1} << QStringList{} << QStringList{"Ghost"};
    QTest::newRow("cable to a block outside the record")
        << "outside" << QList<qint32>{1, 2} << QStringList{"1:2.0>1.0"} << QStringList{};
    QTest::newRow("output socket the block lacks")
        << "outSocket" << QList<qint32>{1, 2} << QStringList{"1:2.0>1.0"} << QStringList{};
    QTest::newRow("input socket the block lacks")
        << "inSocket" << QList<qint32>{1, 2} << QStringList{"1:2.0>1.0"} << QStringList{};
}

void TestPastePlan::untrustedRecordsAreFiltered()
{
    QFETCH(QString, kind);
    QFETCH(QList<qint32>, expectedIds);
    QFETCH(QStringList, expectedCables);
    QFETCH(QStringList, notFound);

    Source source;
    BlockInstance& a = source.block(1, "Osc", 0, 0);
    BlockDescription ghostDescription =
        BlockManager::loadBlock(blockXml("Ghost", 1, 1), BlockDescription::OriginLibrary);
    BlockInstance ghost;
    ghost.id = 99;
    ghost.description = &ghostDescription;
    if (kind == "ghost") {
        source.blocks.push_back(ghost);
        source.cable(a, 0, source.blocks.back(), 0);
    } else {
        BlockInstance& b = source.block(2, "Osc", 100, 0);
        // The bad cable leaves the first block: skipped, it takes no id.
        if (kind == "outside")
            source.cable(a, 0, ghost, 0);
        else if (kind == "outSocket")
            source.cable(a, 3, b, 0);
        else
            source.cable(a, 0, b, 5);
        source.cable(b, 0, a, 0);
    }
    const QByteArray record = BinaryPacker().pack(source.selection(), {});

    const PastePlan plan = PastePlan::fromPayload(record, Destination().target());
    QCOMPARE(ids(plan), expectedIds);
    QCOMPARE(cables(plan), expectedCables);
    QCOMPARE(plan.notFound, notFound);
}

void TestPastePlan::shortValueListsArePadded()
{
    Source source;
    source.block(1, "Osc", 0, 0).values = QStringList{"7"};
    source.block(2, "Osc", 0, 0).values = QStringList{"1", "2", "3", "4", "5", "6"};
    const PastePlan plan = Destination().paste(source.text());
    QCOMPARE(plan.instances.size(), 2);
    // in0, out0, freq, table[4], rate.
    QCOMPARE(plan.instances[0].values, (QStringList{"7", "0", "2", "1,2,3,4", "0"}));
    QCOMPARE(plan.instances[1].values, (QStringList{"1", "2", "3", "4", "5", "6"}));
}

void TestPastePlan::nodeIdsAndCommentsOnly()
{
    Source source;
    source.block(1, "Osc", 0, 0).nodeId = 9;
    source.block(2, "Osc", 0, 0);
    PastePlan plan = Destination().paste(source.text());
    QCOMPARE(plan.instances[0].nodeId, 9);
    QCOMPARE(plan.instances[1].nodeId, 0);

    Source notes;
    notes.comment(4, 10, 20, "only");
    QVERIFY(util::selectionBlockFiles(notes.selection()).isEmpty());
    MessageCapture messages;
    plan = Destination().paste(notes.text());
    QVERIFY(messages.warnings().isEmpty());
    QVERIFY(!plan.recordEmpty);
    QVERIFY(plan.instances.isEmpty() && plan.descriptions.isEmpty());
    QCOMPARE(plan.comments.size(), 1);
    QCOMPARE(plan.comments[0].text, QStringLiteral("only"));
}

void TestPastePlan::reportsListEachNameOnce()
{
    Source source;
    BlockInstance& osc = source.block(1, "Osc", 0, 0);
    source.block(2, "Osc", 0, 0);
    BlockInstance& out = source.block(3, "Audio Output", 0, 0);
    BlockInstance& mix = source.block(4, "Mix", 0, 0);
    source.block(5, "Mix", 0, 0);
    source.cable(osc, 0, out, 0);
    source.cable(mix, 0, out, 1);
    source.comment(1, 0, 0);

    // This editor's Osc and Audio Output differ, and it has no Mix.
    Destination destination;
    destination.library.blocks.erase("Mix");
    destination.library.add(blockXml("Osc", 1, 1, oscExtra + "<var name=\"more\"/>"));
    destination.library.add(blockXml("Audio Output", 2, 0, "<var name=\"more\"/>"));
    const PastePlan plan = destination.paste(source.text());
    QCOMPARE(plan.different, (QStringList{"Osc", "Audio Output"}));
    QCOMPARE(plan.notFound, QStringList{"Mix"});
    // The blocks that were found come without cables and comments.
    QCOMPARE(ids(plan), (QList<qint32>{1, 2, 3}));
    QVERIFY(plan.cables.isEmpty());
    QVERIFY(plan.comments.isEmpty());

    // An empty stored hash counts as different.
    Source unhashed;
    BlockDescription noHash = *unhashed.library.find("Osc");
    noHash.hash.clear();
    unhashed.block(1, "Osc", 0, 0).description = &noHash;
    QCOMPARE(Destination().paste(unhashed.text()).different, QStringList{"Osc"});
}

void TestPastePlan::carriedDescriptions_data()
{
    QTest::addColumn<QString>("library");    // what this editor's library holds as "Echo"
    QTest::addColumn<bool>("documentHolds"); // the document holds an "Echo" of its own
    QTest::addColumn<int>("origin");         // of the carried descriptions
    QTest::addColumn<QStringList>("different");

    QTest::newRow("library holds the same file")
        << "same" << false << int(BlockDescription::OriginUser) << QStringList{};
    QTest::newRow("library holds another")
        << "other" << false << int(BlockDescription::OriginPatch) << QStringList{};
    QTest::newRow("library lacks it")
        << "none" << false << int(BlockDescription::OriginPatch) << QStringList{};
    QTest::newRow("document holds another")
        << "none" << true << int(BlockDescription::OriginPatch) << QStringList{"Echo"};
}

void TestPastePlan::carriedDescriptions()
{
    QFETCH(QString, library);
    QFETCH(bool, documentHolds);
    QFETCH(int, origin);
    QFETCH(QStringList, different);

    const QByteArray echo = blockXml("Echo", 1, 1);
    const QByteArray otherEcho = blockXml("Echo", 2, 1);
    Source source;
    source.library.add(echo, BlockDescription::OriginPatch);
    source.block(1, "Echo", 0, 0);
    source.block(2, "Echo", 50, 0);
    source.block(3, "Osc", 100, 0);

    Destination destination;
    if (library == "same")
        destination.library.add(echo, BlockDescription::OriginUser);
    else if (library == "other")
        destination.library.add(otherEcho, BlockDescription::OriginUser);
    if (documentHolds)
        destination.own.add(otherEcho, BlockDescription::OriginPatch);

    const PastePlan plan = destination.paste(source.text());
    // One file per instance of a block that is not the library's.
    QCOMPARE(plan.descriptions.size(), 2);
    for (const BlockDescription& d : plan.descriptions) {
        QCOMPARE(d.name, QStringLiteral("Echo"));
        QCOMPARE(int(d.origin), origin);
        QCOMPARE(d.rawData, echo);
    }
    QCOMPARE(plan.different, different);
    QVERIFY(plan.notFound.isEmpty());
    QCOMPARE(ids(plan), (QList<qint32>{1, 2, 3}));
}

void TestPastePlan::carriedFilesOfTheSelection()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("mine.xml");
    const QByteArray onDisk = blockXml("Mine", 1, 1);
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(onDisk);
    }
    Source source;
    BlockDescription carried =
        BlockManager::loadBlock(blockXml("Carried", 0, 1), BlockDescription::OriginPatch);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    BlockDescription user = BlockManager::loadBlock(file, BlockDescription::OriginUser);
    BlockDescription gone = user;
    gone.filePath = dir.filePath("gone.xml");

    source.block(1, "Osc", 0, 0);
    source.block(2, "Osc", 0, 0).description = &carried;
    source.block(3, "Osc", 0, 0).description = &user;
    source.block(4, "Osc", 0, 0).description = &gone;
    source.block(5, "Osc", 0, 0).description = &carried;
    QCOMPARE(util::selectionBlockFiles(source.selection()),
             (QList<QByteArray>{carried.rawData, onDisk, carried.rawData}));
}

void TestPastePlan::clipboardTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("blocks");

    Source source;
    source.block(1, "Osc", 300, 200);
    source.block(2, "Mix", 500, 260);
    source.comment(1, 280, 400);
    const QString text = source.text();
    QString wrapped;
    for (int i = 0; i < text.size(); i += 76)
        wrapped += text.mid(i, 76) + "\r\n";
    QVERIFY(wrapped.count('\n') > 1);

    QTest::newRow("as copied") << text << QString() << 2;
    QTest::newRow("wrapped at 76 characters") << wrapped << QString() << 2;
    QTest::newRow("hello") << "hello"
                           << "Cant open patch. Unknown format." << 0;
    QTest::newRow("empty") << QString() << QString() << 0;
    QTest::newRow("one byte") << "AA==" << QString() << 0;
    QTest::newRow("a payload cut short")
        << text.left(text.size() / 2) << "Cant open patch. The packed data is damaged." << 0;
}

void TestPastePlan::clipboardTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, warning);
    QFETCH(int, blocks);

    MessageCapture messages;
    Destination destination;
    destination.click = QPointF(700.7, 600.2);
    const PastePlan plan = destination.paste(text);
    QCOMPARE(messages.warnings(), warning.isEmpty() ? QStringList{} : QStringList{warning});
    QCOMPARE(plan.instances.size(), blocks);
    QCOMPARE(plan.recordEmpty, blocks == 0);
    if (blocks)
        QCOMPARE(positions(plan), (QList<QPoint>{{720, 600}, {920, 660}}));
}

void TestPastePlan::oversizedInputIsRefused()
{
    MessageCapture messages;
    const QString tooLong(PastePlan::maxTextSize + 1, QLatin1Char('A'));
    QVERIFY(Destination().paste(tooLong).recordEmpty);
    QCOMPARE(messages.warnings(), QStringList{"The clipboard holds too much data to paste."});

    messages.clear();
    std::deque<Comment> notes(size_t(PastePlan::maxItems) + 1);
    QList<const Comment*> list;
    for (Comment& c : notes)
        list << &c;
    const PastePlan plan =
        PastePlan::fromPayload(BinaryPacker().pack({}, list), Destination().target());
    QVERIFY(plan.recordEmpty);
    QVERIFY(plan.comments.isEmpty());
    QCOMPARE(messages.warnings(), QStringList{"The clipboard holds too much data to paste."});
}

void TestPastePlan::recordIdsThatDoNotFitAreRenumbered()
{
    Source source;
    BlockInstance& a = source.block(70000, "Osc", 0, 0);
    BlockInstance& b = source.block(65536 + 3, "Osc", 0, 0);
    source.cable(a, 0, b, 0);
    source.comment(65536 + 1, 0, 0);
    source.comment(1, 0, 0);
    const PackedPatch record = BinaryPacker().load(source.record());
    QCOMPARE(record.blocks[0].id, 1);
    QCOMPARE(record.blocks[1].id, 2);
    QCOMPARE(record.blocks[0].connections, (QList<QList<qint32>>{{0, 2, 0}}));
    QCOMPARE(record.comments[0].id, 1);
    QCOMPARE(record.comments[1].id, 2);

    // A comment record starting FF FF would end its section: comment id 65535 is renumbered.
    Source fitting;
    fitting.block(65535, "Osc", 0, 0);
    fitting.comment(65535, 0, 0);
    fitting.comment(65534, 0, 0);
    const PackedPatch kept = BinaryPacker().load(fitting.record());
    QCOMPARE(kept.blocks[0].id, 65535);
    QCOMPARE(kept.comments.size(), 2);
    QCOMPARE(kept.comments[0].id, 1);
    QCOMPARE(kept.comments[1].id, 2);
}

void TestPastePlan::selectionTooLargeIsRefused()
{
    Source source;
    source.block(1, "Osc", 0, 0);
    source.comment(1, 65536, 10);
    bool fits = true;
    QVERIFY(util::selectionRecord(source.selection(), source.comments(), &fits).isEmpty());
    QVERIFY(!fits);

    source.notes.back().x = 65535;
    QVERIFY(!util::selectionRecord(source.selection(), source.comments(), &fits).isEmpty());
    QVERIFY(fits);
}

KL_TEST_MAIN(TestPastePlan)
#include "test_pasteplan.moc"
