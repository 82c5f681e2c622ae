// The editor's edits in and around tables: a selection that meets a table (lies in a cell,
// selects cells, or runs over a table) is deleted, typed over, cut and pasted over the way
// TableCells::removeSelection deletes it, instead of the text control's way (which types into
// the last selected cell, empties cells without keeping their text's format, and joins the
// paragraphs around a table); and a cell emptied by a deleting key keeps its text's format.

#include "richedit.h"

#include "pictures.h"
#include "plaintext.h"
#include "tablecells.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextTable>

namespace {

bool meetsTable(const QTextCursor &cursor)
{
    return cursor.hasSelection() && TableCells::hasTables(*cursor.document())
        && (cursor.currentTable() || TableCells::selectsAcrossCells(cursor));
}

// Text inserted at a cursor takes the format typing there would: see RichEdit::typeWithoutPicture.
void takeTypingFormat(QTextCursor &cursor)
{
    if (cursor.hasSelection())
        return;
    QTextCharFormat format = cursor.charFormat();
    const bool cell = TableCells::typingFormat(cursor, &format);
    const bool picture = Pictures::withoutPicture(format);
    if (cell || picture)
        cursor.setCharFormat(format);
}

} // namespace

void RichEdit::replaceInTables(QTextCursor cursor, const QString &text)
{
    cursor.beginEditBlock();
    TableCells::removeSelection(cursor);
    if (!text.isEmpty()) {
        takeTypingFormat(cursor);
        cursor.insertText(text);
    }
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
}

bool RichEdit::editSelectionInTables(QKeyEvent *event)
{
    if (!meetsTable(textCursor()))
        return false;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const bool deletes = event->matches(QKeySequence::Delete) || event->matches(QKeySequence::DeleteEndOfWord)
        || event->matches(QKeySequence::DeleteStartOfWord)
        || (event->key() == Qt::Key_Backspace && !(modifiers & ~Qt::ShiftModifier));
    const bool cut = event->matches(QKeySequence::Cut);
    const bool enter
        = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !(modifiers & ~Qt::ShiftModifier);
    const QString typed = event->text();
    const bool inserts = !typed.isEmpty() && typed.at(0).isPrint() && !(modifiers & Qt::ControlModifier);
    if (!deletes && !cut && !enter && !inserts)
        return false;
    if (cut)
        copy();
    QString text;
    if (enter)
        text = (modifiers & Qt::ShiftModifier) ? QString(QChar::LineSeparator) : QStringLiteral("\n");
    else if (inserts)
        text = typed;
    replaceInTables(textCursor(), text);
    event->accept();
    return true;
}

// A deleting key that would take all that is left of a cell's text deletes it the table way,
// so that the cell keeps the text's format (for what is typed there next) in the same undo step.
bool RichEdit::deleteLastOfCell(QKeyEvent *event)
{
    // What the text control deletes for the key: one character or surrogate pair back, one
    // character forward, a word, or the rest of the paragraph.
    const bool back = event->key() == Qt::Key_Backspace
        && !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
    QTextCursor::MoveOperation move = QTextCursor::NoMove;
    if (event->matches(QKeySequence::Delete))
        move = QTextCursor::NextCharacter;
    else if (event->matches(QKeySequence::DeleteStartOfWord))
        move = QTextCursor::PreviousWord;
    else if (event->matches(QKeySequence::DeleteEndOfWord))
        move = QTextCursor::NextWord;
    else if (event->matches(QKeySequence::DeleteEndOfLine))
        move = QTextCursor::EndOfBlock;
    if (!back && move == QTextCursor::NoMove)
        return false;
    QTextCursor cursor = textCursor();
    QTextTable *table = cursor.hasSelection() || !TableCells::hasTables(*document()) ? nullptr : cursor.currentTable();
    if (!table)
        return false;
    const QTextTableCell cell = table->cellAt(cursor.position());
    if (back) {
        int from = cursor.position() - 1;
        if (from > 0 && document()->characterAt(from).isLowSurrogate()
            && document()->characterAt(from - 1).isHighSurrogate())
            --from;
        cursor.setPosition(qMax(0, from), QTextCursor::KeepAnchor);
    } else {
        cursor.movePosition(move, QTextCursor::KeepAnchor);
    }
    if (cursor.hasComplexSelection() || cursor.selectionStart() != cell.firstPosition()
        || cursor.selectionEnd() != cell.lastPosition() || cell.firstPosition() == cell.lastPosition())
        return false;
    replaceInTables(cursor, QString());
    event->accept();
    return true;
}

bool RichEdit::composeOverTables(QInputMethodEvent *event)
{
    const QString committed = event->commitString();
    if ((committed.isEmpty() && event->preeditString().isEmpty()) || !meetsTable(textCursor()))
        return false;
    // The text control would delete the selection as the composition starts, its own way: it
    // goes first, with the committed text as one step, and the composition goes on from there.
    const QString commit = committed.isEmpty() ? committed : limited(committed);
    replaceInTables(textCursor(), commit);
    if (commit.size() < committed.size())
        QApplication::beep();
    QInputMethodEvent rest(event->preeditString(), event->attributes());
    if (!rest.preeditString().isEmpty())
        typeWithoutPicture();
    QTextEdit::inputMethodEvent(&rest);
    return true;
}

void RichEdit::startInsertion(QTextCursor &cursor)
{
    cursor.beginEditBlock();
    if (meetsTable(cursor))
        TableCells::removeSelection(cursor);
    takeTypingFormat(cursor);
}

QString RichEdit::selectedText(const QTextCursor &cursor)
{
    if (!TableCells::selectsAcrossCells(cursor))
        return cursor.selectedText();
    // Selected cells as a text file has them: a row's cells joined by tabs, and no table marks
    // or cells between the selected ones.
    QTextDocument part;
    QTextCursor(&part).insertFragment(cursor.selection());
    QString text = PlainText::documentText(part).replace(QStringLiteral("\r\n"), QString(QChar::ParagraphSeparator));
    // The selected cells are a table of their own, after the empty paragraph a document starts with.
    if (cursor.hasComplexSelection() && text.startsWith(QChar::ParagraphSeparator))
        text.remove(0, 1);
    return text;
}
