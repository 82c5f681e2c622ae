#include "document/richdocument.h"
#include "document/richedit.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

using namespace Qt::StringLiterals;

namespace {

// "before", a table of two rows of three cells, "after".
const QByteArray TwoRows = "{\\rtf1\\ansi{\\fonttbl{\\f0 IPAMincho;}}\\pard\\f0\\fs28 before\\par"
                           "\\trowd\\trgaph108\\cellx2400\\cellx4800\\cellx7200\\pard\\intbl AAAA\\cell BBBB\\cell "
                           "CCCC\\cell\\row\\trowd\\trgaph108\\cellx2400\\cellx4800\\cellx7200\\pard\\intbl DDDD\\cell "
                           "EEEE\\cell FFFF\\cell\\row\\pard after\\par}";
const QString Original = u"before|[AAAA][BBBB][CCCC]/[DDDD][EEEE][FFFF]/|after"_s;

// The document's paragraphs outside tables and its tables' cells: "text|[cell][cell]/...|text",
// a cell's paragraphs joined by "+".
QString shapeOf(const QTextDocument &document)
{
    QStringList parts;
    for (QTextFrame::iterator it = document.rootFrame()->begin(); !it.atEnd(); ++it) {
        if (const QTextBlock block = it.currentBlock(); block.isValid()) {
            parts << block.text();
            continue;
        }
        auto *table = qobject_cast<QTextTable *>(it.currentFrame());
        if (!table) {
            parts << u"?frame"_s;
            continue;
        }
        QString rows;
        for (int row = 0; row < table->rows(); ++row) {
            for (int column = 0; column < table->columns(); ++column) {
                const QTextTableCell cell = table->cellAt(row, column);
                QTextCursor text = cell.firstCursorPosition();
                text.setPosition(cell.lastPosition(), QTextCursor::KeepAnchor);
                rows += u'[' + text.selectedText().replace(QChar::ParagraphSeparator, u'+') + u']';
            }
            rows += u'/';
        }
        parts << rows;
    }
    return parts.join(u'|');
}

int highlightPixels(const QImage &image, const QRect &rect, QRgb highlight)
{
    int count = 0;
    const QRect inside = rect & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x)
            count += image.pixel(x, y) == highlight ? 1 : 0;
    }
    return count;
}

} // namespace

// Deleting, typing, cutting and pasting over selections that meet a table, through the real
// editor and its keys: exactly the selected cells, or the selected text, go; nothing else.
class tst_TableSelection : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void selectedCellsAreWhatIsShown_data();
    void selectedCellsAreWhatIsShown();
    void editsOverSelections_data();
    void editsOverSelections();
    void copiedCellsPasteIntoACellAsParagraphs();

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
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers = {}, int times = 1)
    {
        for (int i = 0; i < times; ++i)
            QTest::keyClick(m_edit->viewport(), k, modifiers);
    }
    void select(const QString &how);
    void checkSound();

    RichEdit *m_edit = nullptr;
};

void tst_TableSelection::init()
{
    m_edit = new RichEdit;
    m_edit->resize(600, 300);
    m_edit->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_edit));
    QApplication::setActiveWindow(m_edit);
    m_edit->setFocus();
    QVERIFY(QTest::qWaitForWindowActive(m_edit));
    m_edit->load(TwoRows);
    QCOMPARE(shapeOf(*m_edit->document()), Original);
}

void tst_TableSelection::cleanup()
{
    delete m_edit;
    m_edit = nullptr;
}

// Selections made with the keys, as a user makes them.
void tst_TableSelection::select(const QString &how)
{
    key(Qt::Key_Home, Qt::ControlModifier);
    if (how == u"into the next cell") {
        key(Qt::Key_Down); // to the first cell's start
        key(Qt::Key_Right, {}, 2); // AA|AA
        key(Qt::Key_Right, Qt::ShiftModifier, 3); // over AA and into BBBB
    } else if (how == u"into the cell below") {
        key(Qt::Key_Down);
        key(Qt::Key_Tab); // BBBB selected
        key(Qt::Key_Left);
        key(Qt::Key_Right, {}, 2); // BB|BB
        key(Qt::Key_Down, Qt::ShiftModifier);
    } else if (how == u"from before the table into a cell") {
        key(Qt::Key_Right, {}, 3); // bef|ore
        key(Qt::Key_Down, Qt::ShiftModifier);
    } else if (how == u"from a cell to after the table") {
        key(Qt::Key_Down, {}, 2); // the second row's first cell
        key(Qt::Key_Right, {}, 2); // DD|DD
        key(Qt::Key_Down, Qt::ShiftModifier);
        key(Qt::Key_Home, Qt::ShiftModifier);
        key(Qt::Key_Right, Qt::ShiftModifier, 2); // up to af|ter
    } else if (how == u"within a cell") {
        key(Qt::Key_Down);
        key(Qt::Key_Right, {}, 1);
        key(Qt::Key_Right, Qt::ShiftModifier, 2); // A[AA]A
    } else {
        QFAIL(qPrintable(u"no selection " + how));
    }
}

// The table is a table: its cells in order, positions as the text counts them, and the same
// document after a save and a load.
void tst_TableSelection::checkSound()
{
    QTextDocument *doc = m_edit->document();
    if (QTextTable *t = table()) {
        for (int row = 0; row < t->rows(); ++row) {
            for (int column = 0; column < t->columns(); ++column) {
                const QTextTableCell cell = t->cellAt(row, column);
                QVERIFY(cell.isValid());
                QVERIFY(cell.firstPosition() <= cell.lastPosition());
                QVERIFY(t->childFrames().isEmpty()); // no table in a cell
            }
        }
    }
    QCOMPARE(m_edit->textLength(), m_edit->textBytes().size());
    QTextDocument copy;
    RichDocument reread(&copy);
    reread.load(m_edit->save(), StreamFormat::Rtf, QTextCharFormat());
    QCOMPARE(shapeOf(copy), shapeOf(*doc));
}

void tst_TableSelection::selectedCellsAreWhatIsShown_data()
{
    QTest::addColumn<QString>("how");
    // Which cells show selected, by row and column, and which do not.
    QTest::addColumn<QList<QPoint>>("shown");
    QTest::addColumn<QList<QPoint>>("notShown");
    QTest::addColumn<QString>("afterDelete");

    QTest::newRow("into the next cell") << u"into the next cell"_s << QList<QPoint> { { 0, 0 }, { 1, 0 } }
                                        << QList<QPoint> { { 2, 0 }, { 0, 1 } }
                                        << u"before|[][][CCCC]/[DDDD][EEEE][FFFF]/|after"_s;
    QTest::newRow("into the cell below") << u"into the cell below"_s << QList<QPoint> { { 1, 0 }, { 1, 1 } }
                                         << QList<QPoint> { { 2, 0 }, { 0, 1 }, { 0, 0 }, { 2, 1 } }
                                         << u"before|[AAAA][][CCCC]/[DDDD][][FFFF]/|after"_s;
}

// A selection from one cell into another selects both cells whole: they show selected, the
// cells between them in the text do not, and Delete empties exactly those shown.
void tst_TableSelection::selectedCellsAreWhatIsShown()
{
    QFETCH(QString, how);
    QFETCH(QList<QPoint>, shown);
    QFETCH(QList<QPoint>, notShown);
    QFETCH(QString, afterDelete);

    select(how);
    QVERIFY(m_edit->textCursor().hasComplexSelection());
    const QImage shot = m_edit->viewport()->grab().toImage();
    const QRgb highlight = m_edit->palette().color(QPalette::Active, QPalette::Highlight).rgb();
    for (const QPoint &cell : shown) {
        const QRect r = cellRectInViewport(cell.y(), cell.x());
        QVERIFY2(highlightPixels(shot, r, highlight) > r.width() * r.height() / 4,
                 qPrintable(u"column %1 row %2 is not shown selected"_s.arg(cell.x()).arg(cell.y())));
    }
    for (const QPoint &cell : notShown) {
        QCOMPARE(highlightPixels(shot, cellRectInViewport(cell.y(), cell.x()), highlight), 0);
    }
    key(Qt::Key_Delete);
    QCOMPARE(shapeOf(*m_edit->document()), afterDelete);
    checkSound();
    key(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(shapeOf(*m_edit->document()), Original);
}

void tst_TableSelection::editsOverSelections_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("clipboard"); // what Cut leaves there

    struct Case {
        const char *how;
        QString cleared; // after deleting
        QString typed; // after typing x (or committing it, or pasting it)
        QString text; // the selection as text
    };
    const Case cases[] = {
        { "into the next cell", u"before|[][][CCCC]/[DDDD][EEEE][FFFF]/|after"_s,
          u"before|[x][][CCCC]/[DDDD][EEEE][FFFF]/|after"_s, u"AAAA\tBBBB\n"_s },
        { "into the cell below", u"before|[AAAA][][CCCC]/[DDDD][][FFFF]/|after"_s,
          u"before|[AAAA][x][CCCC]/[DDDD][][FFFF]/|after"_s, u"BBBB\nEEEE\n"_s },
        // Leaving the table selects all of it; the paragraph breaks at its edges stay.
        { "from before the table into a cell", u"bef|after"_s, u"befx|after"_s, u""_s },
        { "from a cell to after the table", u"before|ter"_s, u"before|xter"_s, u""_s },
        { "within a cell", u"before|[AA][BBBB][CCCC]/[DDDD][EEEE][FFFF]/|after"_s,
          u"before|[AxA][BBBB][CCCC]/[DDDD][EEEE][FFFF]/|after"_s, u"AA"_s },
    };
    for (const Case &c : cases) {
        const QString how = QString::fromLatin1(c.how);
        QTest::addRow("%s: Delete", c.how) << how << u"Delete"_s << c.cleared << QString();
        QTest::addRow("%s: Backspace", c.how) << how << u"Backspace"_s << c.cleared << QString();
        QTest::addRow("%s: Cut", c.how) << how << u"Cut"_s << c.cleared << c.text;
        QTest::addRow("%s: the cut command", c.how) << how << u"cut command"_s << c.cleared << c.text;
        QTest::addRow("%s: typing", c.how) << how << u"type"_s << c.typed << QString();
        QTest::addRow("%s: input method", c.how) << how << u"commit"_s << c.typed << QString();
        QTest::addRow("%s: paste", c.how) << how << u"paste"_s << c.typed << QString();
    }
}

// Every way of replacing a selection: nothing outside it is lost, the table stays sound, and
// one undo brings everything back.
void tst_TableSelection::editsOverSelections()
{
    QFETCH(QString, how);
    QFETCH(QString, edit);
    QFETCH(QString, expected);
    QFETCH(QString, clipboard);

    QApplication::clipboard()->setText(u"x"_s);
    select(how);
    if (edit == u"Delete") {
        key(Qt::Key_Delete);
    } else if (edit == u"Backspace") {
        key(Qt::Key_Backspace);
    } else if (edit == u"Cut") {
        key(Qt::Key_X, Qt::ControlModifier);
    } else if (edit == u"cut command") {
        // What the window's cut command does: copy, then delete the selection.
        m_edit->copy();
        m_edit->deleteSelection();
    } else if (edit == u"type") {
        key(Qt::Key_X);
    } else if (edit == u"commit") {
        QInputMethodEvent commit;
        commit.setCommitString(u"x"_s);
        QApplication::sendEvent(m_edit, &commit);
    } else if (edit == u"paste") {
        key(Qt::Key_V, Qt::ControlModifier);
    }
    QCOMPARE(shapeOf(*m_edit->document()), expected);
    if (!clipboard.isEmpty())
        QCOMPARE(QApplication::clipboard()->text(), clipboard);
    checkSound();
    if (expected.contains(u'x')) {
        // What is typed next follows what went in (and may join its undo step).
        key(Qt::Key_Y);
        QVERIFY2(shapeOf(*m_edit->document()).contains(u"xy"_s), qPrintable(shapeOf(*m_edit->document())));
        key(Qt::Key_Z, Qt::ControlModifier);
        if (shapeOf(*m_edit->document()) != Original) {
            QCOMPARE(shapeOf(*m_edit->document()), expected);
            key(Qt::Key_Z, Qt::ControlModifier);
        }
        QCOMPARE(shapeOf(*m_edit->document()), Original);
        return;
    }
    // One undo step, which redo makes again.
    key(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(shapeOf(*m_edit->document()), Original);
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(shapeOf(*m_edit->document()), expected);
}

// Cells copied from a table and pasted into a cell: a cell cannot hold a table, so their texts
// come in as paragraphs of the cell.
void tst_TableSelection::copiedCellsPasteIntoACellAsParagraphs()
{
    select(u"into the next cell"_s);
    key(Qt::Key_C, Qt::ControlModifier);
    key(Qt::Key_Down); // the cell below the caret
    key(Qt::Key_End);
    key(Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(shapeOf(*m_edit->document()), u"before|[AAAA][BBBB][CCCC]/[DDDD][EEEEAAAA+BBBB][FFFF]/|after"_s);
    checkSound();
    key(Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(shapeOf(*m_edit->document()), Original);
}

QTEST_MAIN(tst_TableSelection)
#include "tst_tableselection.moc"
