#include "document/richdocument.h"
#include "document/richedit.h"
#include "document/tablecells.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QInputMethodEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include "testfiles.h"

using namespace Qt::StringLiterals;

namespace {

QByteArray fixture(const QString &name)
{
    return TestFiles::fixture(u"rtf/"_s + name);
}

} // namespace

// Typing, Tab and Enter in a table through the real editor widget, and what its viewport shows.
class tst_TableEditing : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void tabEnterAndTypingInCells();
    void viewportShowsTheBorders();
    void newAndEmptiedCellsKeepTheTextFormat_data();
    void newAndEmptiedCellsKeepTheTextFormat();

private:
    QTextTable *table() const
    {
        return qobject_cast<QTextTable *>(m_edit->document()->rootFrame()->childFrames().value(0));
    }
    QRect cellRectInViewport(int row, int column) const
    {
        const QTextBlock block = m_edit->document()->findBlock(table()->cellAt(row, column).firstPosition());
        const QRectF r = m_edit->document()->documentLayout()->blockBoundingRect(block);
        return r.toRect().translated(-m_edit->horizontalScrollBar()->value(), -m_edit->verticalScrollBar()->value());
    }
    QString cellText(int row, int column) const
    {
        const QTextTableCell cell = table()->cellAt(row, column);
        QTextCursor c = cell.firstCursorPosition();
        c.setPosition(cell.lastPosition(), QTextCursor::KeepAnchor);
        return c.selectedText().replace(QChar::ParagraphSeparator, u'|');
    }

    RichEdit *m_edit = nullptr;
};

void tst_TableEditing::init()
{
    m_edit = new RichEdit;
    m_edit->resize(500, 300);
    m_edit->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_edit));
    m_edit->load(fixture(u"table-abistyle.rtf"_s));
    QVERIFY(table());
}

void tst_TableEditing::cleanup()
{
    delete m_edit;
    m_edit = nullptr;
}

void tst_TableEditing::tabEnterAndTypingInCells()
{
    // A click into the first cell, End, and typing.
    const QRect x1 = cellRectInViewport(0, 0);
    QTest::mouseClick(m_edit->viewport(), Qt::LeftButton, {}, x1.center());
    QCOMPARE(table()->cellAt(m_edit->textCursor().position()).column(), 0);
    QTest::keyClick(m_edit->viewport(), Qt::Key_End);
    QTest::keyClicks(m_edit->viewport(), u"Z"_s);
    QCOMPARE(cellText(0, 0), u"x1Z"_s);
    // Positions count each cell end as a line end: "Top" CR LF "x1Z" CR LF, caret after Z.
    QCOMPARE(m_edit->selection().start, 3 + 2 + 3);
    QCOMPARE(m_edit->lineFromChar(m_edit->selection().start), 1);

    // Tab selects the next cell's text: typing replaces it.
    QTest::keyClick(m_edit->viewport(), Qt::Key_Tab);
    QCOMPARE(m_edit->selection().length(), 2);
    QTest::keyClicks(m_edit->viewport(), u"Q"_s);
    QCOMPARE(cellText(0, 1), u"Q"_s);
    QCOMPARE(m_edit->lineFromChar(m_edit->selection().start), 2);
    // From the row's last cell to the next row, and back with Shift+Tab.
    QTest::keyClick(m_edit->viewport(), Qt::Key_Tab);
    QCOMPARE(table()->cellAt(m_edit->textCursor().position()).row(), 1);
    QTest::keyClick(m_edit->viewport(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(table()->cellAt(m_edit->textCursor().position()).row(), 0);
    QCOMPARE(table()->cellAt(m_edit->textCursor().position()).column(), 1);
    QCOMPARE(cellText(0, 1), u"Q"_s); // Tab typed no tab character
    // Tab in the table's last cell adds a row like the one above and goes there.
    QTest::keyClick(m_edit->viewport(), Qt::Key_Tab);
    QTest::keyClick(m_edit->viewport(), Qt::Key_Tab);
    QTest::keyClick(m_edit->viewport(), Qt::Key_Tab);
    QCOMPARE(table()->rows(), 3);
    QCOMPARE(table()->cellAt(m_edit->textCursor().position()).row(), 2);
    QCOMPARE(TableCells::boxOf(*table(), 2, 1).rightTwips, 5760);
    QCOMPARE(TableCells::boxOf(*table(), 2, 1).borders[0], 10);
    // Enter makes a new paragraph inside the cell.
    QTest::keyClicks(m_edit->viewport(), u"one"_s);
    QTest::keyClick(m_edit->viewport(), Qt::Key_Return);
    QTest::keyClicks(m_edit->viewport(), u"two"_s);
    QCOMPARE(cellText(2, 0), u"one|two"_s);
    QCOMPARE(table()->rows(), 3);
    // The cell's second paragraph sits below its first, in the same column.
    const QRect one = cellRectInViewport(2, 0);
    const QRectF two = m_edit->document()->documentLayout()->blockBoundingRect(m_edit->textCursor().block());
    QCOMPARE(qRound(two.left()) - m_edit->horizontalScrollBar()->value(), one.left());
    QVERIFY(two.top() > one.top() + 5 - m_edit->verticalScrollBar()->value());
    QCOMPARE(m_edit->textLength(), m_edit->textBytes().size());

    // Saved and loaded again: the same table.
    QTemporaryDir dir;
    const QString path = dir.filePath(u"t.rtf"_s);
    m_edit->saveFile(path);
    m_edit->loadFile(path);
    QCOMPARE(table()->rows(), 3);
    QCOMPARE(cellText(0, 0), u"x1Z"_s);
    QCOMPARE(cellText(2, 0), u"one|two"_s);
}

void tst_TableEditing::viewportShowsTheBorders()
{
    const QImage shot = m_edit->viewport()->grab().toImage();
    const QRect x1 = cellRectInViewport(0, 0);
    const QRect y1 = cellRectInViewport(0, 1);
    // The cells' shared edge (2880 twips, 192 pixels from the text's left) is a dark line.
    const int y = x1.center().y();
    int dark = 0;
    for (int x = x1.right(); x <= y1.left(); ++x)
        dark += qGray(shot.pixel(x, y)) < 128 ? 1 : 0;
    QVERIFY2(dark > 0, "no border between the cells");
    // And a line above the first row, across the first cell.
    int above = 0;
    for (int dy = 1; dy < 8; ++dy)
        above += qGray(shot.pixel(x1.center().x(), x1.top() - dy)) < 128 ? 1 : 0;
    QVERIFY2(above > 0, "no border above the row");
    // The text of the second cell is drawn to the right of that edge.
    int ink = 0;
    for (int x = y1.left(); x < y1.left() + 30; ++x)
        ink += qGray(shot.pixel(x, y)) < 128 ? 1 : 0;
    QVERIFY(ink > 0);
}

void tst_TableEditing::newAndEmptiedCellsKeepTheTextFormat_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("typing"); // keys, or the input method's text
    QTest::addColumn<int>("emptied"); // the column of the cell emptied, -1: none
    QTest::addColumn<QString>("undone"); // its text after one undo
    QTest::newRow("a row added by Tab") << u"Tab in the last cell"_s << u"keys"_s << -1 << QString();
    QTest::newRow("a cell emptied by Delete") << u"Tab, Delete"_s << u"keys"_s << 1 << u"y1"_s;
    QTest::newRow("a cell emptied by Backspace") << u"Backspace over its text"_s << u"keys"_s << 0 << u"x"_s;
    QTest::newRow("selected cells deleted") << u"cells selected, Delete"_s << u"keys"_s << 0 << u"x1"_s;
    QTest::newRow("a cell's text replaced by the input method") << u"Tab"_s << u"input method"_s << -1 << QString();
    QTest::newRow("a row added, the input method") << u"Tab in the last cell"_s << u"input method"_s << -1 << QString();
}

// Text typed into a new row's cell, or into a cell whose text was deleted, takes the format of
// the text that was there (or above it), not the editor's default font; and a save writes it.
void tst_TableEditing::newAndEmptiedCellsKeepTheTextFormat()
{
    QFETCH(QString, how);
    QFETCH(QString, typing);
    QFETCH(int, emptied);
    QFETCH(QString, undone);
    // The table's text in a font, size and weight of its own.
    m_edit->load("{\\rtf1\\ansi{\\fonttbl{\\f0 IPAGothic;}{\\f1 IPAMincho;}}\\pard\\f0\\fs20 Top\\par"
                 "\\trowd\\trgaph108\\cellx2880\\cellx5760\\pard\\intbl\\f1\\fs28\\b x1\\cell y1\\cell\\row"
                 "\\pard\\plain\\f0\\fs20 Bottom\\par}"_ba);
    QVERIFY(table());
    QVERIFY(m_edit->charFormat(RichEdit::FormatTarget::Default).faceName != u"IPAMincho"_s);
    QWidget *view = m_edit->viewport();
    QTest::mouseClick(view, Qt::LeftButton, {}, cellRectInViewport(0, 0).center());
    QTest::keyClick(view, Qt::Key_End);
    if (how == u"Tab in the last cell") {
        QTest::keyClick(view, Qt::Key_Tab);
        QTest::keyClick(view, Qt::Key_Tab);
        QCOMPARE(table()->rows(), 2);
    } else if (how == u"Tab, Delete") {
        QTest::keyClick(view, Qt::Key_Tab);
        QTest::keyClick(view, Qt::Key_Delete);
    } else if (how == u"Backspace over its text") {
        QTest::keyClick(view, Qt::Key_Backspace);
        QTest::keyClick(view, Qt::Key_Backspace);
    } else if (how == u"cells selected, Delete") {
        QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
        QVERIFY(m_edit->textCursor().hasComplexSelection());
        QTest::keyClick(view, Qt::Key_Delete);
    } else if (how == u"Tab") {
        QTest::keyClick(view, Qt::Key_Tab);
    }
    if (emptied >= 0) {
        // One undo brings the text back, format and all; redo empties the cell again.
        QCOMPARE(cellText(0, emptied), QString());
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(cellText(0, emptied), undone);
        QTest::keyClick(view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(cellText(0, emptied), QString());
        QTest::mouseClick(view, Qt::LeftButton, {}, cellRectInViewport(0, emptied).center());
    }
    if (typing == u"keys") {
        QTest::keyClicks(view, u"new"_s);
    } else {
        QInputMethodEvent commit;
        commit.setCommitString(u"new"_s);
        QApplication::sendEvent(m_edit, &commit);
    }
    const QTextCursor found = m_edit->document()->find(u"new"_s);
    QVERIFY(!found.isNull());
    QVERIFY(found.currentTable());
    QVERIFY(found.charFormat().objectType() != QTextFormat::TableCellObject); // text, not a cell
    m_edit->setSelection(m_edit->richDocument().bytePosition(found.selectionStart()),
                         m_edit->richDocument().bytePosition(found.selectionEnd()));
    const CharFormat format = m_edit->charFormat();
    QCOMPARE(format.faceName, u"IPAMincho"_s);
    QCOMPARE(format.sizeTwips, 14 * 20);
    QVERIFY(format.bold);

    // What a save writes reads back the same.
    QTextDocument copy;
    RichDocument reread(&copy);
    const QByteArray rtf = m_edit->save();
    reread.load(rtf, StreamFormat::Rtf, QTextCharFormat());
    QTextCursor again = copy.find(u"new"_s);
    QVERIFY(!again.isNull());
    const CharFormat saved = reread.charFormat(again);
    QCOMPARE(saved.faceName, u"IPAMincho"_s);
    QCOMPARE(saved.sizeTwips, 14 * 20);
    QVERIFY(saved.bold);
    QVERIFY(rtf.contains("\\fs28"));
}

QTEST_MAIN(tst_TableEditing)
#include "tst_tableediting.moc"
