#include "CanvasHarness.h"
#include "PatchComment.h"
#include "TestMain.h"

#include <QAction>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

using harness::Canvas;

namespace {

// A comment opened for editing through the "comment" action, at the last click.
PatchComment* newComment(Canvas& canvas, const QPointF& at)
{
    canvas.press(at, Qt::RightButton);
    canvas.release(at, Qt::RightButton);
    canvas.host.getAction(QStringLiteral("comment"))->trigger();
    return canvas.scene()->commentItem(canvas.doc.highestCommentId());
}

// A comment with stored text, as loading makes it: not being edited.
PatchComment* storedComment(Canvas& canvas, int id, int x, int y, const QString& text)
{
    canvas.doc.addComment(id, x, y);
    canvas.doc.editComment(id, x, y, text);
    return canvas.scene()->commentItem(id);
}

// A left click on empty canvas, which ends any edit.
void clickAway(Canvas& canvas)
{
    canvas.press(QPointF(850, 650));
    canvas.release(QPointF(850, 650));
}

} // namespace

class TestCommentEditing : public QObject
{
    Q_OBJECT

private slots:
    void editCycle_data();
    void editCycle();
    void reEditShowsMarkup();
    void reEditAfterClickOnBoldWordIsPlain();
    void focusOutWithoutEditing();
    void removedWhileEditingEmitsNoEdit();
    void keysGoToTheEditedText();
    void deleteOnAFocusedComment();
    void emptyCommentsSweptOnClick();
    void movesReportTruncatedPositions();
};

void TestCommentEditing::editCycle_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("html");
    QTest::addColumn<QString>("shown");

    QTest::newRow("plain") << "plain words" << false << "plain words";
    QTest::newRow("lone less-than") << "a < b" << false << "a < b";
    QTest::newRow("bold pair") << "<b>bold</b> text" << true << "bold text";
    QTest::newRow("closing tag only") << "x </i> y" << true << "x y";
    QTest::newRow("line break") << "one<br>two" << true << "one\ntwo";
    QTest::newRow("upper-case line break") << "one<BR>two" << false << "one<BR>two";
    QTest::newRow("link") << "<a href=\"x.ktl\">open</a>" << true << "open";
}

void TestCommentEditing::editCycle()
{
    QFETCH(QString, typed);
    QFETCH(bool, html);
    QFETCH(QString, shown);

    Canvas canvas;
    QVERIFY(canvas.activated);
    PatchComment* item = newComment(canvas, QPointF(200, 150));
    QVERIFY(item);
    QVERIFY(item->editing());
    QCOMPARE(item->textInteractionFlags(), Qt::TextEditorInteraction);
    QCOMPARE(canvas.scene()->focusItem(), item);
    QCOMPARE(item->pos(), QPointF(200, 150));

    QSignalSpy edits(item, &PatchComment::edited);
    QTest::keyClicks(&canvas.doc, typed);
    QCOMPARE(item->toPlainText(), typed);
    clickAway(canvas);

    QCOMPARE(edits.count(), 1);
    QCOMPARE(edits.first().at(0).toInt(), item->id());
    QCOMPARE(edits.first().at(1).toInt(), 200);
    QCOMPARE(edits.first().at(2).toInt(), 150);
    QCOMPARE(edits.first().at(3).toString(), typed);
    QVERIFY(!item->editing());
    QCOMPARE(item->textInteractionFlags(), PatchComment::readingFlags());
    QCOMPARE(canvas.doc.comment(item->id())->text, typed);
    QCOMPARE(PatchScene::isHtmlText(typed), html);
    QCOMPARE(item->toPlainText(), shown);
    QCOMPARE(canvas.steps(),
             (QStringList{QStringLiteral("add comment"), QStringLiteral("add comment")}));

    // Undone, the comment shows its empty text again; the comment itself stays.
    canvas.doc.undo();
    QCOMPARE(canvas.scene()->commentItem(item->id()), item);
    QCOMPARE(item->toPlainText(), QString());
}

void TestCommentEditing::reEditShowsMarkup()
{
    Canvas canvas;
    const QString markup = QStringLiteral("<b>loud</b> and <i>soft</i>");
    PatchComment* item = storedComment(canvas, 1, 100, 100, markup);
    QCOMPARE(item->toPlainText(), QStringLiteral("loud and soft"));
    QVERIFY(!item->editing());

    QSignalSpy edits(item, &PatchComment::edited);
    const QPointF inside = item->mapToScene(item->boundingRect().center());
    canvas.mouse(QEvent::MouseButtonPress, inside, Qt::LeftButton, Qt::LeftButton);
    canvas.mouse(QEvent::MouseButtonRelease, inside, Qt::LeftButton, Qt::NoButton);
    canvas.mouse(QEvent::MouseButtonDblClick, inside, Qt::LeftButton, Qt::LeftButton);
    canvas.mouse(QEvent::MouseButtonRelease, inside, Qt::LeftButton, Qt::NoButton);
    QVERIFY(item->editing());
    QCOMPARE(item->toPlainText(), markup);
    QCOMPARE(canvas.scene()->focusItem(), item);

    clickAway(canvas);
    QCOMPARE(edits.count(), 1);
    QCOMPARE(edits.first().at(3).toString(), markup);
    QCOMPARE(canvas.doc.comment(1)->text, markup);
    QCOMPARE(item->toPlainText(), QStringLiteral("loud and soft"));
}

void TestCommentEditing::reEditAfterClickOnBoldWordIsPlain()
{
    Canvas canvas;
    PatchComment* item =
        storedComment(canvas, 1, 100, 100, QStringLiteral("<b>loud</b> and quiet"));
    // A double click on the bold word: the text cursor stands in bold text when editing starts.
    const QRectF bounds = item->boundingRect();
    const QPointF onBold = item->mapToScene(QPointF(bounds.left() + 12, bounds.center().y()));
    canvas.mouse(QEvent::MouseButtonPress, onBold, Qt::LeftButton, Qt::LeftButton);
    canvas.mouse(QEvent::MouseButtonRelease, onBold, Qt::LeftButton, Qt::NoButton);
    QVERIFY(item->textCursor().charFormat().fontWeight() > QFont::Normal);
    canvas.mouse(QEvent::MouseButtonDblClick, onBold, Qt::LeftButton, Qt::LeftButton);
    canvas.mouse(QEvent::MouseButtonRelease, onBold, Qt::LeftButton, Qt::NoButton);
    QVERIFY(item->editing());
    QCOMPARE(item->toPlainText(), QStringLiteral("<b>loud</b> and quiet"));

    // The raw text shows in the item's own font, and so does what is typed next.
    for (QTextBlock block = item->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it)
            QCOMPARE(it.fragment().charFormat().fontWeight(), int(QFont::Normal));
    }
    QCOMPARE(item->textCursor().charFormat().fontWeight(), int(QFont::Normal));
}

void TestCommentEditing::focusOutWithoutEditing()
{
    Canvas canvas;
    PatchComment* item = storedComment(canvas, 1, 100, 100, QStringLiteral("note"));
    QSignalSpy edits(item, &PatchComment::edited);
    item->setFocus();
    QCOMPARE(canvas.scene()->focusItem(), item);
    QVERIFY(item->isSelected());
    item->setSelected(false);
    item->clearFocus();
    QCOMPARE(edits.count(), 0);
    QVERIFY(item->isSelected());
    QCOMPARE(canvas.stack()->count(), 0);
}

void TestCommentEditing::removedWhileEditingEmitsNoEdit()
{
    Canvas canvas;
    PatchComment* item = newComment(canvas, QPointF(200, 150));
    QTest::keyClicks(&canvas.doc, QStringLiteral("draft"));
    QSignalSpy edits(item, &PatchComment::edited);
    QSignalSpy removals(canvas.scene(), &PatchScene::commentRemoved);
    // Undoing the addition takes the comment away while it has the focus.
    canvas.doc.undo();
    QVERIFY(!canvas.scene()->commentItem(1));
    QCOMPARE(edits.count(), 0);
    QCOMPARE(canvas.steps(), QStringList{QStringLiteral("add comment")});
    QCOMPARE(canvas.stack()->index(), 0);
    QCOMPARE(removals.count(), 0);

    // The scene alone: removing the focused, edited item reports nothing either.
    canvas.doc.redo();
    PatchComment* again = canvas.scene()->commentItem(1);
    QVERIFY(again);
    canvas.scene()->editComment(1);
    QCOMPARE(canvas.scene()->focusItem(), again);
    QSignalSpy laterEdits(again, &PatchComment::edited);
    canvas.scene()->removeComment(1);
    QCOMPARE(laterEdits.count(), 0);
}

void TestCommentEditing::keysGoToTheEditedText()
{
    Canvas canvas;
    CanvasBlock* block = canvas.place(QStringLiteral("Oscillator"), 400, 400);
    PatchComment* item = newComment(canvas, QPointF(200, 150));
    block->setSelected(true);
    QTest::keyClicks(&canvas.doc, QStringLiteral("abc"));
    canvas.key(Qt::Key_Backspace);
    canvas.key(Qt::Key_Left);
    canvas.key(Qt::Key_Delete);
    canvas.key(Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(item->toPlainText(), QStringLiteral("a"));
    QVERIFY(canvas.doc.blockInstance(1));
    QCOMPARE(block->pos(), QPointF(400, 400));
    QCOMPARE(canvas.steps(), QStringList{QStringLiteral("add comment")});
}

void TestCommentEditing::deleteOnAFocusedComment()
{
    Canvas canvas;
    PatchComment* item = storedComment(canvas, 1, 100, 100, QStringLiteral("note"));
    item->setFocus();
    QVERIFY(!item->editing());
    // Shift does not matter while a comment has the focus.
    canvas.key(Qt::Key_Delete, Qt::ShiftModifier);
    QVERIFY(!canvas.scene()->commentItem(1));
    QVERIFY(!canvas.doc.comment(1));
    QCOMPARE(canvas.steps(), QStringList{QStringLiteral("delete object [add comment]")});
    canvas.doc.undo();
    QVERIFY(canvas.doc.comment(1));
    QCOMPARE(canvas.scene()->commentItem(1)->toPlainText(), QStringLiteral("note"));
}

void TestCommentEditing::emptyCommentsSweptOnClick()
{
    Canvas canvas;
    storedComment(canvas, 1, 100, 100, QString());
    storedComment(canvas, 2, 100, 200, QStringLiteral(" \n\t "));
    storedComment(canvas, 3, 100, 300, QStringLiteral("kept"));
    storedComment(canvas, 4, 100, 400, QStringLiteral("<b> </b>"));

    // A right press sweeps nothing.
    canvas.press(QPointF(600, 600), Qt::RightButton);
    canvas.release(QPointF(600, 600), Qt::RightButton);
    QCOMPARE(canvas.doc.comments().size(), 4);

    QSignalSpy macros(canvas.scene(), &PatchScene::beginUndo);
    clickAway(canvas);
    QVERIFY(canvas.doc.comment(3));
    QVERIFY(!canvas.doc.comment(1));
    QVERIFY(!canvas.doc.comment(2));
    QVERIFY(!canvas.doc.comment(4));
    QCOMPARE(canvas.stack()->count(), 3);
    QCOMPARE(macros.count(), 0);

    // A new comment left without a word goes on the next click.
    PatchComment* item = newComment(canvas, QPointF(300, 300));
    QVERIFY(item);
    const int id = item->id();
    clickAway(canvas);
    QVERIFY(!canvas.doc.comment(id));
    QVERIFY(!canvas.scene()->commentItem(id));
}

void TestCommentEditing::movesReportTruncatedPositions()
{
    Canvas canvas;
    CanvasBlock* block = canvas.place(QStringLiteral("Oscillator"), 400, 400);
    PatchComment* item = storedComment(canvas, 1, 10, -3, QStringLiteral("<i>note</i>"));
    item->setPos(9.7, -3.2);
    item->setSelected(true);
    QSignalSpy edits(item, &PatchComment::edited);
    canvas.key(Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(edits.count(), 1);
    QCOMPARE(edits.first().at(1).toInt(), 10);
    QCOMPARE(edits.first().at(2).toInt(), -3);
    QCOMPARE(edits.first().at(3).toString(), QStringLiteral("<i>note</i>"));
    QCOMPARE(item->pos(), QPointF(10, -3));
    QCOMPARE(item->toPlainText(), QStringLiteral("note"));
    QTest::qWait(1200);

    // Dragged by mouse together with a block: one step that records both.
    block->setSelected(true);
    canvas.drag(Canvas::body(block), Canvas::body(block) + QPointF(20, 10));
    // The two records come in the scene's selection order.
    const QString last = canvas.steps().last();
    QVERIFY2(last == QStringLiteral("move objects [move DSP-Block, add comment]") ||
                 last == QStringLiteral("move objects [add comment, move DSP-Block]"),
             qPrintable(last));
    const Comment* record = canvas.doc.comment(1);
    QCOMPARE(QPoint(record->x, record->y), QPoint(30, 7));
    QCOMPARE(record->text, QStringLiteral("<i>note</i>"));
}

KL_TEST_MAIN(TestCommentEditing)
#include "test_commentediting.moc"
