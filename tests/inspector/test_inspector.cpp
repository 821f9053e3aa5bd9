#include "ArrayEdit.h"
#include "BlockConnection.h"
#include "BlockDescription.h"
#include "BlockInstance.h"
#include "BoolEdit.h"
#include "Inspector.h"
#include "MessageCapture.h"
#include "NumberEdit.h"
#include "Preferences.h"
#include "ShownText.h"
#include "TestMain.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

namespace {

Variable variable(int id, const QString& dtype, const QString& name, bool editable = true,
                  qint32 socketKind = Variable::SocketNone, int socketIndex = 0)
{
    Variable v;
    v.id = id;
    v.dtype = dtype;
    v.name = name;
    v.editable = editable;
    v.socketKind = socketKind;
    v.socketIndex = socketIndex;
    v.value = QStringLiteral("0");
    v.info = name + QStringLiteral(" label");
    return v;
}

BlockDescription description(const std::vector<Variable>& variables,
                             BlockDescription::BlockOrigin origin = BlockDescription::OriginLibrary)
{
    BlockDescription d;
    d.name = QStringLiteral("Probe");
    d.origin = origin;
    d.variables = variables;
    d.rebuildSockets();
    return d;
}

BlockInstance instance(int id, const BlockDescription& d, const QStringList& values)
{
    BlockInstance i;
    i.id = id;
    i.description = &d;
    i.values = values;
    return i;
}

// The inspector docked in a window beside another field that can take the focus, as in the
// editor.
struct Host
{
    Host()
    {
        elsewhere = new QLineEdit(&window);
        window.setCentralWidget(elsewhere);
        inspector = new Inspector(QStringLiteral("Inspector"), &window);
        window.addDockWidget(Qt::RightDockWidgetArea, inspector);
        window.resize(700, 600);
    }

    bool activate()
    {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }

    QWidget* panel() const
    {
        auto* scroll = qobject_cast<QScrollArea*>(inspector->widget());
        return scroll ? scroll->widget() : nullptr;
    }

    QStringList labels() const
    {
        QStringList texts;
        if (QWidget* p = panel()) {
            for (const QLabel* label : p->findChildren<QLabel*>())
                texts << label->text();
        }
        return texts;
    }

    // Focus in by a click, as a user does; the spin box's click lands on its text field. A
    // click would tick a check box, so that one is tabbed into.
    static void clickInto(QWidget* editor)
    {
        if (qobject_cast<QCheckBox*>(editor)) {
            editor->setFocus(Qt::TabFocusReason);
            return;
        }
        QWidget* target = editor;
        if (qobject_cast<QAbstractSpinBox*>(editor))
            target = editor->findChild<QLineEdit*>();
        QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, QPoint(5, target->height() / 2));
    }

    void focusElsewhere() { QTest::mouseClick(elsewhere, Qt::LeftButton); }

    QMainWindow window;
    QLineEdit* elsewhere = nullptr;
    Inspector* inspector = nullptr;
};

using SaveRequests = QList<QPair<const BlockInstance*, bool>>;

std::shared_ptr<SaveRequests> recordSaveRequests(Inspector* inspector)
{
    auto requests = std::make_shared<SaveRequests>();
    QObject::connect(inspector, &Inspector::saveBlockRequested, inspector,
                     [requests](const BlockInstance* block, bool toUserFolder) {
                         requests->append({block, toUserFolder});
                     });
    return requests;
}

QWidget* editorWidget(Inspector* inspector, int variableId)
{
    return dynamic_cast<QWidget*>(inspector->editor(variableId));
}

// Replaces what an editor shows with typed text, through key events.
void retype(QWidget* editor, const QString& text)
{
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(editor))
        spin->selectAll();
    else if (auto* line = qobject_cast<QLineEdit*>(editor))
        line->selectAll();
    QTest::keyClick(editor, Qt::Key_Backspace);
    QTest::keyClicks(editor, text);
}

QString shownText(QWidget* editor)
{
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(editor))
        return spin->text();
    if (auto* line = qobject_cast<QLineEdit*>(editor))
        return line->text();
    if (auto* box = qobject_cast<QCheckBox*>(editor))
        return box->isChecked() ? QStringLiteral("checked") : QStringLiteral("unchecked");
    return QString();
}

} // namespace

class TestInspector : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void editorChoice_data();
    void editorChoice();
    void boolEditor_data();
    void boolEditor();
    void numberEditor_data();
    void numberEditor();
    void arraySize_data();
    void arraySize();
    void arrayWarnsOncePerText();
    void unchangedEditEmitsNothing_data();
    void unchangedEditEmitsNothing();
    void editsFollowTheModel();
    void silentUpdateEmitsNothing_data();
    void silentUpdateEmitsNothing();
    void updateAppliesOnlyToShownBlock();
    void saveControlsOnlyForPatchBlocks_data();
    void saveControlsOnlyForPatchBlocks();
    void saveBoxStaysUsable();
    void saveBoxFollowsFolderSetting();
    void commitEditsReportsTypedText();
    void saveCommitsBeforeRequest();
    void replacedPanelReportsNothing();
    void labelsShowTheirTextAsIs_data();
    void labelsShowTheirTextAsIs();
};

void TestInspector::init()
{
    QSettings().remove(Preferences::CustomBlocksPath);
}

void TestInspector::editorChoice_data()
{
    QTest::addColumn<QString>("dtype");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("editable");
    QTest::addColumn<int>("socketKind");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("editor"); // bool, number, array or none
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<QStringList>("labels");

    const QStringList label{"v label"};
    QTest::newRow("bool") << "bool"
                          << "v" << true << 3 << false << "bool" << 0.0 << 0.0 << label;
    QTest::newRow("uint32_t") << "uint32_t"
                              << "v" << true << 3 << false << "number" << 0.0 << 16000.0 << label;
    QTest::newRow("int32_t") << "int32_t"
                             << "v" << true << 3 << false << "number" << -8000.0 << 8000.0 << label;
    QTest::newRow("int32_t array")
        << "int32_t"
        << "v[4]" << true << 3 << false << "array" << 0.0 << 0.0 << QStringList{"v[4] label"};
    QTest::newRow("uint32_t with bracket is a number")
        << "uint32_t"
        << "v[4]" << true << 3 << false << "number" << 0.0 << 16000.0 << QStringList{"v[4] label"};
    QTest::newRow("type compared case-sensitively")
        << "Bool"
        << "v" << true << 3 << false << "none" << 0.0 << 0.0 << label;
    QTest::newRow("other type") << "float"
                                << "v" << true << 3 << false << "none" << 0.0 << 0.0 << label;
    QTest::newRow("not editable") << "int32_t"
                                  << "v" << false << 3 << false << "none" << 0.0 << 0.0
                                  << QStringList();
    QTest::newRow("free input") << "int32_t"
                                << "v" << true << 1 << false << "number" << -8000.0 << 8000.0
                                << label;
    QTest::newRow("connected input")
        << "int32_t"
        << "v" << true << 1 << true << "none" << 0.0 << 0.0 << QStringList{"v label (used)"};
    QTest::newRow("output with a connection on its number")
        << "int32_t"
        << "v" << true << 2 << true << "number" << -8000.0 << 8000.0 << label;
}

void TestInspector::editorChoice()
{
    QFETCH(QString, dtype);
    QFETCH(QString, name);
    QFETCH(bool, editable);
    QFETCH(int, socketKind);
    QFETCH(bool, connected);
    QFETCH(QString, editor);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(QStringList, labels);

    const BlockDescription d = description({variable(0, dtype, name, editable, socketKind, 0)});
    BlockInstance block = instance(7, d, {"5"});
    BlockConnection cable;
    if (connected && socketKind == Variable::SocketOutput)
        block.outputs.insert(0, &cable);
    else if (connected)
        block.inputs.insert(0, &cable);

    Host host;
    host.inspector->showProperties(&block);
    QCOMPARE(host.labels(), labels);

    QWidget* widget = editorWidget(host.inspector, 0);
    if (editor == "none") {
        QVERIFY(!host.inspector->editor(0));
        QVERIFY(host.panel()->findChildren<QAbstractSpinBox*>().isEmpty());
        QVERIFY(host.panel()->findChildren<QLineEdit*>().isEmpty());
        QVERIFY(host.panel()->findChildren<QCheckBox*>().isEmpty());
        return;
    }
    QVERIFY(widget);
    if (editor == "bool") {
        QVERIFY(qobject_cast<BoolEdit*>(widget));
    } else if (editor == "array") {
        QVERIFY(qobject_cast<ArrayEdit*>(widget));
    } else {
        auto* number = qobject_cast<NumberEdit*>(widget);
        QVERIFY(number);
        QCOMPARE(number->minimum(), minimum);
        QCOMPARE(number->maximum(), maximum);
        QCOMPARE(number->decimals(), 2);
        QCOMPARE(number->singleStep(), 1.0);
        QCOMPARE(number->locale().language(), QLocale::English);
    }

    // Wired to the dock, which names the block shown.
    QSignalSpy edited(host.inspector, &Inspector::variableEdited);
    if (auto* b = qobject_cast<BoolEdit*>(widget))
        emit b->variableEdited(0, "x");
    else if (auto* a = qobject_cast<ArrayEdit*>(widget))
        emit a->variableEdited(0, "x");
    else
        emit qobject_cast<NumberEdit*>(widget)->variableEdited(0, "x");
    QCOMPARE(edited.count(), 1);
    QCOMPARE(edited.at(0), (QVariantList{7, 0, QString("x")}));
}

void TestInspector::boolEditor_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QString>("afterClick");

    QTest::newRow("0") << "0" << false << "2";
    QTest::newRow("1") << "1" << true << "0";
    QTest::newRow("2") << "2" << true << "0";
    QTest::newRow("empty") << "" << true << "0";
    QTest::newRow("false is not 0") << "false" << true << "0";
    QTest::newRow("0.0 is not 0") << "0.0" << true << "0";
}

void TestInspector::boolEditor()
{
    QFETCH(QString, value);
    QFETCH(bool, checked);
    QFETCH(QString, afterClick);

    const BlockDescription d = description({variable(0, "bool", "flag")});
    const BlockInstance block = instance(1, d, {value});
    Host host;
    host.inspector->showProperties(&block);
    auto* box = qobject_cast<BoolEdit*>(editorWidget(host.inspector, 0));
    QVERIFY(box);
    QCOMPARE(box->isChecked(), checked);

    QSignalSpy edited(host.inspector, &Inspector::variableEdited);
    QTest::keyClick(box, Qt::Key_Space);
    QCOMPARE(edited.count(), 1);
    QCOMPARE(edited.at(0), (QVariantList{1, 0, afterClick}));
    QTest::keyClick(box, Qt::Key_Space);
    QCOMPARE(edited.count(), 2);
    QCOMPARE(edited.at(1).at(2).toString(), QString(checked ? "2" : "0"));
}

void TestInspector::numberEditor_data()
{
    QTest::addColumn<QString>("dtype");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("emitted");

    QTest::newRow("above uint range") << "uint32_t"
                                      << "20000"
                                      << "16000.00"
                                      << "1234.5"
                                      << "1234.5";
    QTest::newRow("below int range") << "int32_t"
                                     << "-9000"
                                     << "-8000.00"
                                     << "-12"
                                     << "-12";
    QTest::newRow("rounded to two decimals") << "int32_t"
                                             << "0.126"
                                             << "0.13"
                                             << "2.50"
                                             << "2.5";
    QTest::newRow("not a number") << "int32_t"
                                  << "abc"
                                  << "0.00"
                                  << "7"
                                  << "7";
    QTest::newRow("empty") << "uint32_t"
                           << ""
                           << "0.00"
                           << "0.5"
                           << "0.5";
    QTest::newRow("nan") << "int32_t"
                         << "nan"
                         << "0.00"
                         << "1"
                         << "1";
    QTest::newRow("infinity") << "uint32_t"
                              << "inf"
                              << "16000.00"
                              << "3"
                              << "3";
    QTest::newRow("six significant digits") << "uint32_t"
                                            << "1"
                                            << "1.00"
                                            << "12345.67"
                                            << "12345.7";
}

void TestInspector::numberEditor()
{
    QFETCH(QString, dtype);
    QFETCH(QString, value);
    QFETCH(QString, shown);
    QFETCH(QString, typed);
    QFETCH(QString, emitted);

    const BlockDescription d = description({variable(0, dtype, "amount")});
    const BlockInstance block = instance(2, d, {value});
    Host host;
    QVERIFY(host.activate());
    QSignalSpy edited(host.inspector, &Inspector::variableEdited);
    host.inspector->showProperties(&block);
    auto* spin = qobject_cast<NumberEdit*>(editorWidget(host.inspector, 0));
    QVERIFY(spin);
    QCOMPARE(spin->text(), shown);
    QCOMPARE(edited.count(), 0);

    Host::clickInto(spin);
    QVERIFY(spin->hasFocus());
    retype(spin, typed);
    QCOMPARE(edited.count(), 0); // nothing until the edit is finished
    QTest::keyClick(spin, Qt::Key_Return);
    QCOMPARE(edited.count(), 1);
    QCOMPARE(edited.at(0), (QVariantList{2, 0, emitted}));
}

void TestInspector::arraySize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("sizeText");

    QTest::newRow("three for four") << "table[4]"
                                    << "1,2,3" << false << "4";
    QTest::newRow("five for four") << "table[4]"
                                   << "1,2,3,4,5" << false << "4";
    QTest::newRow("four") << "table[4]"
                          << "1,2,3,4" << true << "4";
    QTest::newRow("empty parts count") << "table[4]"
                                       << "1,,3," << true << "4";
    QTest::newRow("elements not checked") << "table[2]"
                                          << "a, b" << true << "2";
    QTest::newRow("open size, one") << "table[?]"
                                    << "5" << true << "?";
    QTest::newRow("open size, many") << "table[?]"
                                     << "1,2,3,4,5,6,7" << true << "?";
    QTest::newRow("size not a number") << "table[N]"
                                       << "1" << false << "N";
}

void TestInspector::arraySize()
{
    QFETCH(QString, name);
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(QString, sizeText);

    const BlockDescription d = description({variable(0, "int32_t", name)});
    const BlockInstance block = instance(3, d, {"0,0"});
    Host host;
    QVERIFY(host.activate());
    host.inspector->showProperties(&block);
    auto* line = qobject_cast<ArrayEdit*>(editorWidget(host.inspector, 0));
    QVERIFY(line);
    QCOMPARE(line->text(), QString("0,0"));

    QSignalSpy edited(host.inspector, &Inspector::variableEdited);
    MessageCapture messages;
    Host::clickInto(line);
    retype(line, typed);
    QTest::keyClick(line, Qt::Key_Return);

    if (accepted) {
        QCOMPARE(edited.count(), 1);
        QCOMPARE(edited.at(0), (QVariantList{3, 0, typed}));
        QVERIFY(messages.warnings().isEmpty());
    } else {
        QCOMPARE(edited.count(), 0);
        QCOMPARE(messages.warnings(),
                 QStringList{QString("Incorrect size of array. Please make sure the array has "
                                     "exactly %1 elements.")
                                 .arg(sizeText)});
        QCOMPARE(line->text(), typed); // kept for the user to correct
    }
}

void TestInspector::arrayWarnsOncePerText()
{
    const BlockDescription d = description({variable(0, "int32_t", "table[4]")});
    const BlockInstance block = instance(3, d, {"0,0,0,0"});
    Host host;
    QVERIFY(host.activate());
    host.inspector->showProperties(&block);
    auto* line = qobject_cast<ArrayEdit*>(editorWidget(host.inspector, 0));
    QVERIFY(line);

    QSignalSpy edited(host.inspector, &Inspector::variableEdited);
    MessageCapture messages;
    Host::clickInto(line);
    retype(line, "1,2");
    QTest::keyClick(line, Qt::Key_Return);
    host.focusElsewhere(); // finishes the same text again
    QCOMPARE(messages.warnings().size(), 1);

    Host::clickInto(line);
    QTest::keyClick(line, Qt::Key_End);
    QTest::keyClicks(line, ",3");
    QTest::keyClick(line, Qt::Key_Return);
    QCOMPARE(messages.warnings().size(), 2);

    QTest::keyClicks(line, ",4");
    QCOMPARE(line->text(), QString("1,2,3,4"));
    QTest::keyClick(line, Qt::Key_Return);
    QCOMPARE(messages.warnings().size(), 2);
    QCOMPARE(edited.count(), 1);
    QCOMPARE(edited.at(0).at(2).toString(), QString("1,2,3,4"));
}

void TestInspector::unchangedEditEmitsNothing_data()
{
    QTest::addColumn<QString>("dtype");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");

    QTest::newRow("number") << "int32_t"
                            << "n"
                            << "12";
    QTest::newRow("clamped number") << "uint32_t"
                                    << "n"
                                    << "20000";
    QTest::newRow("rounded number") << "int32_t"
                                    << "n"
                                    << "0.126";
    QTest::newRow("unreadable number") << "int32_t"
                                       << "n"
                                       << "abc";
    QTest::newRow("array") << "int32_t"
                           << "a[4]"
                           << "1,2,3,4";
    QTest::newRow("array of a wrong count") << "int32_t"
                                            << "a[4]"
                                            << "1,2";
    QTest::newRow("bool") << "bool"
                          << "b"
                          << "1";
}

void TestInspector::unchangedEditEmitsNothing()
{
    QFETCH(QString, dtype);
    QFETCH(QString, name);
    QFETCH(QString, value);

    const BlockDescription d = description({variable(0, dtype, name)});
    const BlockInstance block = instance(4, d, {value});
    Host host;
    QVERIFY(host.activate());
    host.inspector->showProperties(&block);
    QWidget* editor = editorWidget(host.inspector, 0);
    QVERIFY(editor);
    const QString before = shownText(editor);

    QSignalSpy edited(host.inspector, &Inspector::variableEdited);
    MessageCapture messages;
    Host::clickInto(editor);
    QVERIFY(editor->hasFocus());
    QTest::keyClick(editor, Qt::Key_Return);
    host.focusElsewhere();
    QVERIFY(!editor->hasFocus());
    editor->setFocus(Qt::TabFocusReason);
    QTest::keyClick(editor, Qt::Key_Enter);
    host.inspector->commitEdits();
    host.focusElsewhere();

    QCOMPARE(edited.count(), 0);
    QVERIFY(messages.warnings().isEmpty());
    QCOMPARE(shownText(editor), before);
}

// Stand-in for the main window and the edit command: every edit is stored in the instance and
// comes back through updateValue, as on a real push; undo sends the old value back.
void TestInspector::editsFollowTheModel()
{
    const BlockDescription d = description(
        {variable(0, "int32_t", "n"), variable(1, "int32_t", "a[2]"), variable(2, "bool", "b")});
    BlockInstance block = instance(5, d, {"20000", "1,2", "0"});
    Host host;
    QVERIFY(host.activate());
    QList<QVariantList> pushed;
    QObject::connect(host.inspector, &Inspector::variableEdited, host.inspector,
                     [&](int blockId, int variableId, const QString& value) {
                         pushed.append({blockId, variableId, block.values.at(variableId)});
                         block.values[variableId] = value;
                         host.inspector->updateValue(blockId, variableId, value);
                     });
    host.inspector->showProperties(&block);
    auto* spin = qobject_cast<NumberEdit*>(editorWidget(host.inspector, 0));
    auto* line = qobject_cast<ArrayEdit*>(editorWidget(host.inspector, 1));
    QVERIFY(spin && line);

    // Visiting the fields leaves the model's unshown value alone.
    Host::clickInto(spin);
    Host::clickInto(line);
    host.focusElsewhere();
    QVERIFY(pushed.isEmpty());
    QCOMPARE(block.values.at(0), QString("20000"));

    Host::clickInto(spin);
    retype(spin, "3.5");
    QTest::keyClick(spin, Qt::Key_Return);
    QTest::keyClick(spin, Qt::Key_Return);
    host.focusElsewhere();
    QCOMPARE(pushed.size(), 1);
    QCOMPARE(block.values.at(0), QString("3.5"));
    QCOMPARE(spin->text(), QString("3.50"));

    // Undo: the old value returns silently and is the new baseline.
    host.inspector->updateValue(5, 0, pushed.first().at(2).toString());
    QCOMPARE(spin->text(), QString("8000.00"));
    Host::clickInto(spin);
    QTest::keyClick(spin, Qt::Key_Return);
    host.focusElsewhere();
    QCOMPARE(pushed.size(), 1);

    Host::clickInto(line);
    retype(line, "7,8");
    host.focusElsewhere();
    QCOMPARE(pushed.size(), 2);
    QCOMPARE(block.values.at(1), QString("7,8"));
}

void TestInspector::silentUpdateEmitsNothing_data()
{
    QTest::addColumn<QString>("dtype");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("update");
    QTest::addColumn<QString>("shown");

    QTest::newRow("bool off") << "bool"
                              << "b"
                              << "2"
                              << "0"
                              << "unchecked";
    QTest::newRow("bool on") << "bool"
                             << "b"
                             << "0"
                             << "2"
                             << "checked";
    QTest::newRow("number") << "int32_t"
                            << "n"
                            << "1"
                            << "-20000"
                            << "-8000.00";
    QTest::newRow("array") << "int32_t"
                           << "a[3]"
                           << "1,2,3"
                           << "9,9"
                           << "9,9";
}

void TestInspector::silentUpdateEmitsNothing()
{
    QFETCH(QString, dtype);
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(QString, update);
    QFETCH(QString, shown);

    const BlockDescription d = description({variable(0, dtype, name)});
    const BlockInstance block = instance(6, d, {value});
    Host host;
    QVERIFY(host.activate());
    host.inspector->showProperties(&block);
    QWidget* editor = editorWidget(host.inspector, 0);
    QVERIFY(editor);

    QSignalSpy edited(host.inspector, &Inspector::variableEdited);
    MessageCapture messages;
    host.inspector->updateValue(6, 0, update);
    QCOMPARE(shownText(editor), shown);
    // Nor does the updated value count as an edit afterwards.
    Host::clickInto(editor);
    QTest::keyClick(editor, Qt::Key_Return);
    host.focusElsewhere();
    QCOMPARE(edited.count(), 0);
    QVERIFY(messages.warnings().isEmpty());
}

void TestInspector::updateAppliesOnlyToShownBlock()
{
    BlockConnection cable;
    const BlockDescription d =
        description({variable(0, "int32_t", "n"), variable(1, "int32_t", "hidden", false),
                     variable(2, "int32_t", "in", true, Variable::SocketInput, 0)});
    BlockInstance block = instance(3, d, {"1", "2", "3"});
    block.inputs.insert(0, &cable);
    Host host;
    host.inspector->showProperties(&block);
    auto* spin = qobject_cast<NumberEdit*>(editorWidget(host.inspector, 0));
    QVERIFY(spin);

    host.inspector->updateValue(4, 0, "77"); // same variable of another block
    QCOMPARE(spin->text(), QString("1.00"));
    host.inspector->updateValue(3, 1, "77"); // not editable
    host.inspector->updateValue(3, 2, "77"); // connected input
    host.inspector->updateValue(3, 9, "77"); // no such variable
    QCOMPARE(spin->text(), QString("1.00"));
    host.inspector->updateValue(3, 0, "77");
    QCOMPARE(spin->text(), QString("77.00"));

    host.inspector->clear();
    QVERIFY(!host.inspector->widget());
    QVERIFY(!host.inspector->editor(0));
    QVERIFY(!host.inspector->shownInstance());
    host.inspector->updateValue(3, 0, "5");
}

void TestInspector::saveControlsOnlyForPatchBlocks_data()
{
    QTest::addColumn<int>("origin");
    QTest::newRow("library") << int(BlockDescription::OriginLibrary);
    QTest::newRow("user") << int(BlockDescription::OriginUser);
    QTest::newRow("patch") << int(BlockDescription::OriginPatch);
}

void TestInspector::saveControlsOnlyForPatchBlocks()
{
    QFETCH(int, origin);
    const auto kind = static_cast<BlockDescription::BlockOrigin>(origin);
    const BlockDescription d = description({variable(0, "int32_t", "n")}, kind);
    const BlockInstance block = instance(8, d, {"1"});
    Host host;
    QVERIFY(host.activate());
    host.inspector->showProperties(&block);

    const QList<QPushButton*> buttons = host.panel()->findChildren<QPushButton*>();
    const QList<QCheckBox*> boxes = host.panel()->findChildren<QCheckBox*>();
    QList<QFrame*> lines;
    for (QFrame* frame : host.panel()->findChildren<QFrame*>()) {
        if (frame->frameShape() == QFrame::HLine)
            lines << frame;
    }
    if (kind != BlockDescription::OriginPatch) {
        QVERIFY(buttons.isEmpty());
        QVERIFY(boxes.isEmpty());
        QVERIFY(lines.isEmpty());
        return;
    }
    QCOMPARE(buttons.size(), 1);
    QCOMPARE(buttons.first()->text(), QString("Save Block"));
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first()->text(), QString("Save in users folder"));
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines.first()->frameShadow(), QFrame::Sunken);

    const auto requested = recordSaveRequests(host.inspector);
    QTest::mouseClick(buttons.first(), Qt::LeftButton);
    QCOMPARE(requested->size(), 1);
    QCOMPARE(requested->at(0).first, &block);
    QCOMPARE(requested->at(0).second, false); // no custom folder set
    QVERIFY(buttons.first()->isHidden());
    QVERIFY(boxes.first()->isHidden());
    QVERIFY(lines.first()->isHidden());
}

void TestInspector::saveBoxStaysUsable()
{
    QSettings().setValue(Preferences::CustomBlocksPath, QStringLiteral("/tmp/custom"));
    const BlockDescription d =
        description({variable(0, "int32_t", "n")}, BlockDescription::OriginPatch);
    const BlockInstance block = instance(8, d, {"1"});
    Host host;
    QVERIFY(host.activate());
    const auto requested = recordSaveRequests(host.inspector);

    host.inspector->showProperties(&block);
    auto* box = host.panel()->findChild<QCheckBox*>();
    QVERIFY(box);
    QVERIFY(box->isChecked());
    QVERIFY(box->isEnabled());

    QTest::keyClick(box, Qt::Key_Space);
    QVERIFY(!box->isChecked());
    QVERIFY(box->isEnabled());

    // The choice lasts across panels, and can be taken back.
    host.inspector->showProperties(&block);
    box = host.panel()->findChild<QCheckBox*>();
    QVERIFY(!box->isChecked());
    QVERIFY(box->isEnabled());
    QTest::mouseClick(host.panel()->findChild<QPushButton*>(), Qt::LeftButton);
    QCOMPARE(requested->last().second, false);

    host.inspector->showProperties(&block);
    box = host.panel()->findChild<QCheckBox*>();
    QTest::keyClick(box, Qt::Key_Space);
    QVERIFY(box->isChecked());
    QTest::mouseClick(host.panel()->findChild<QPushButton*>(), Qt::LeftButton);
    QCOMPARE(requested->last().second, true);
}

void TestInspector::saveBoxFollowsFolderSetting()
{
    const BlockDescription d =
        description({variable(0, "int32_t", "n")}, BlockDescription::OriginPatch);
    const BlockInstance block = instance(8, d, {"1"});
    Host host; // no custom folder at start
    host.inspector->showProperties(&block);
    auto* box = host.panel()->findChild<QCheckBox*>();
    QVERIFY(box);
    QVERIFY(!box->isChecked());
    QVERIFY(!box->isEnabled());

    // A folder chosen later in the preferences makes the box usable on the next panel.
    QSettings().setValue(Preferences::CustomBlocksPath, QStringLiteral("/tmp/custom"));
    host.inspector->showProperties(&block);
    box = host.panel()->findChild<QCheckBox*>();
    QVERIFY(!box->isChecked());
    QVERIFY(box->isEnabled());
}

void TestInspector::commitEditsReportsTypedText()
{
    const BlockDescription d =
        description({variable(0, "uint32_t", "n"), variable(1, "int32_t", "a[?]")});
    const BlockInstance block = instance(9, d, {"5", "1"});
    Host host;
    QVERIFY(host.activate());
    host.inspector->showProperties(&block);
    auto* spin = qobject_cast<NumberEdit*>(editorWidget(host.inspector, 0));
    auto* line = qobject_cast<ArrayEdit*>(editorWidget(host.inspector, 1));
    QVERIFY(spin && line);
    QSignalSpy edited(host.inspector, &Inspector::variableEdited);

    Host::clickInto(line);
    retype(line, "4,5");
    QTest::keyClick(line, Qt::Key_Return);
    QCOMPARE(edited.count(), 1);

    Host::clickInto(spin);
    retype(spin, "42");
    QCOMPARE(edited.count(), 1); // still being typed
    host.inspector->commitEdits();
    QCOMPARE(edited.count(), 2);
    QCOMPARE(edited.at(1), (QVariantList{9, 0, QString("42")}));

    // Neither the committed edit nor the finished one is reported again.
    host.inspector->commitEdits();
    host.focusElsewhere();
    QCOMPARE(edited.count(), 2);
}

void TestInspector::saveCommitsBeforeRequest()
{
    const BlockDescription d =
        description({variable(0, "int32_t", "n")}, BlockDescription::OriginPatch);
    const BlockInstance block = instance(9, d, {"5"});
    Host host;
    QVERIFY(host.activate());
    host.inspector->showProperties(&block);
    auto* spin = qobject_cast<NumberEdit*>(editorWidget(host.inspector, 0));
    QVERIFY(spin);
    QStringList order;
    QObject::connect(host.inspector, &Inspector::variableEdited, host.inspector,
                     [&](int, int, const QString& value) { order << "edit " + value; });
    QObject::connect(host.inspector, &Inspector::saveBlockRequested, host.inspector,
                     [&](const BlockInstance*, bool) { order << "save"; });

    Host::clickInto(spin);
    retype(spin, "-3");
    // The button is pressed without the focus leaving the field (as by a shortcut).
    host.inspector->saveBlockButtonClicked();
    QCOMPARE(order, (QStringList{"edit -3", "save"}));
    QVERIFY(!spin->hasFocus());
}

void TestInspector::replacedPanelReportsNothing()
{
    const BlockDescription d = description({variable(0, "int32_t", "n")});
    const BlockInstance first = instance(1, d, {"5"});
    const BlockInstance second = instance(2, d, {"6"});
    Host host;
    QVERIFY(host.activate());
    host.inspector->showProperties(&first);
    QPointer<QWidget> old = editorWidget(host.inspector, 0);
    QVERIFY(old);
    Host::clickInto(old);
    retype(old, "99");

    QSignalSpy edited(host.inspector, &Inspector::variableEdited);
    host.inspector->showProperties(&second);
    QVERIFY(editorWidget(host.inspector, 0) != old.data());
    host.inspector->commitEdits();
    host.focusElsewhere();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(old.isNull());
    QCOMPARE(edited.count(), 0);
    QCOMPARE(qobject_cast<NumberEdit*>(editorWidget(host.inspector, 0))->text(), QString("6.00"));
}

void TestInspector::labelsShowTheirTextAsIs_data()
{
    QTest::addColumn<QString>("info");
    QTest::addColumn<QString>("shown");
    // Labels come from block files, which patches carry: shown as typed, on one line, short.
    QTest::newRow("image tag") << "<img src=\"/dev/zero\">"
                               << "<img src=\"/dev/zero\">";
    QTest::newRow("bold") << "<b>Gain</b>"
                          << "<b>Gain</b>";
    QTest::newRow("direction override") << QString("Gain \u202Eniag") << QString("Gain \uFFFDniag");
    QTest::newRow("line break") << QString("Gain\nand more") << QString("Gain\uFFFDand more");
    QTest::newRow("65,535 characters")
        << QString(65535, 'g') << QString(180, 'g') + QChar(0x2026) + " (65535 characters)";
}

void TestInspector::labelsShowTheirTextAsIs()
{
    QFETCH(QString, info);
    QFETCH(QString, shown);
    Variable free =
        variable(0, QStringLiteral("int32_t"), QStringLiteral("a"), true, Variable::SocketInput, 0);
    Variable used =
        variable(1, QStringLiteral("int32_t"), QStringLiteral("b"), true, Variable::SocketInput, 1);
    free.info = info;
    used.info = info;
    const BlockDescription d = description({free, used}, BlockDescription::OriginPatch);
    BlockInstance block = instance(7, d, {"1", "2"});
    BlockConnection cable;
    block.inputs.insert(1, &cable);
    Host host;
    host.inspector->showProperties(&block);
    QStringList texts;
    for (const QLabel* label : host.panel()->findChildren<QLabel*>()) {
        QVERIFY2(testsupport::showsPlainText(label), qPrintable(label->text().left(80)));
        texts << label->text();
    }
    QCOMPARE(texts, (QStringList{shown, shown + " (used)"}));
}

KL_TEST_MAIN(TestInspector)
#include "test_inspector.moc"
