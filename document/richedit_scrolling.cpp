// Keeping what the view shows in place while the layout turns estimated heights real: the
// offset moves with the content above what is shown, and after a jump (Ctrl+End, a search hit
// far away) with the content above the caret.

#include "richedit.h"

#include "editordocumentlayout.h"

#include <QAbstractTextDocumentLayout>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <cmath>

void RichEdit::moveShownText(const QRectF &source, qreal dx)
{
    const QRectF shown = source.translated(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
    const QRectF both = shown.united(shown.translated(dx, 0));
    const qreal ratio = viewport()->devicePixelRatioF();
    // Moved pixels show the text as painting it there would: not where the view mirrors the
    // document, or marks it with highlights of its own, or a pixel is a fraction of a device's.
    if (isRightToLeft() || !extraSelections().isEmpty() || textCursor().hasSelection() || ratio != std::round(ratio)) {
        viewport()->update(both.toAlignedRect());
        return;
    }
    // Whole rows: a row the line shares with the one above or below is painted.
    const int top = int(std::ceil(both.top()));
    const int bottom = int(std::floor(both.bottom()));
    const int left = int(std::floor(both.left()));
    const int right = int(std::ceil(both.right()));
    const QRect rows = QRect(left, top, right - left, bottom - top) & viewport()->rect();
    if (!rows.isEmpty())
        viewport()->scroll(qRound(dx), 0, rows);
    if (top > both.top())
        viewport()->update(QRect(left, top - 1, right - left, 1));
    if (bottom < both.bottom())
        viewport()->update(QRect(left, bottom, right - left, 1));
}

void RichEdit::keepShownContent(qreal oldBottom, qreal delta)
{
    // A paragraph above what the view shows got its real height: the offset moves with the
    // content, so that nothing on screen jumps.
    const qreal shownTop = m_shownTop >= 0 ? m_shownTop : verticalScrollBar()->value();
    if (oldBottom > shownTop + 0.5)
        return;
    QScopedValueRollback<bool> compensating(m_compensating, true);
    QScrollBar *bar = verticalScrollBar();
    // Heights are fractions of a pixel, the offset whole pixels. The offset follows the content
    // exactly, its fraction kept: rounding each correction on its own would let what is shown
    // creep by a pixel every few corrections while a long text is laid out. The fraction is the
    // caret's, so that the caret stays on its pixels, inside the view when it was.
    if (qRound(m_exactOffset) != bar->value()) {
        // Looked at first: laying the caret's paragraph out may move the offset itself.
        const qreal fraction = caretFraction();
        m_exactOffset = bar->value() + fraction;
    }
    m_exactOffset += delta;
    bar->setValue(qRound(m_exactOffset));
    if (m_shownTop >= 0)
        m_shownTop += delta;
}

qreal RichEdit::caretFraction() const
{
    // Where the caret's rectangle is, in the document, to the fraction of a pixel; the editor
    // rounds its edges to whole pixels to show it.
    const QTextCursor cursor = textCursor();
    const QTextBlock block = cursor.block();
    // Asked first: it lays the paragraph out where it is not.
    const qreal top = document()->documentLayout()->blockBoundingRect(block).top();
    const QTextLayout *lines = block.layout();
    if (!lines || lines->lineCount() == 0)
        return 0;
    QTextLine line = lines->lineForTextPosition(cursor.positionInBlock());
    if (!line.isValid())
        line = lines->lineAt(lines->lineCount() - 1);
    // Of the edge that could leave the view: the bottom in its lower half, else the top (the
    // other edge may move by the pixel its rounding gives).
    const qreal y = top + line.y();
    const qreal edge = y - verticalScrollBar()->value() > viewport()->height() / 2 ? y + line.height() : y;
    return edge - qRound(edge);
}

void RichEdit::scrollContentsBy(int dx, int dy)
{
    if (m_compensating) {
        // The content moved with the offset: what the screen shows is already right.
        updateMicroFocus();
        return;
    }
    const int offset = verticalScrollBar()->value();
    const int height = viewport()->height();
    if (dy != 0 && qAbs(dy) < height) {
        // The paragraphs coming into view are laid out before anything moves on screen, with
        // the content still shown (at the old offset) kept in place as estimates above it turn
        // real.
        QScopedValueRollback<qreal> shown(m_shownTop, offset + dy);
        m_richDocument->layout()->ensureLaidOut(offset, offset + height);
        dy = qRound(m_shownTop) - verticalScrollBar()->value();
    } else if (dy != 0) {
        layOutAfterJump();
    }
    QTextEdit::scrollContentsBy(dx, dy);
}

void RichEdit::layOutAfterJump()
{
    // A jump: nothing shown stays, and the whole view is painted anew. The paragraphs now in
    // view are laid out first, their estimated heights turning real. Where the jump shows the
    // caret (Ctrl+End, a search hit far away), the caret stays where it landed: what is above it
    // moves the offset as it changes, as for the paragraphs above the view's top otherwise, so
    // that no correction pushes the caret out of view. The view's range moves with the offset,
    // and what comes into it is laid out in turn.
    const int height = viewport()->height();
    const QRect caret = cursorRect();
    const int offset = verticalScrollBar()->value();
    const bool caretShown = caret.bottom() >= 0 && caret.top() < height;
    QScopedValueRollback<qreal> anchor(m_shownTop, offset + (caretShown ? qMax(0, caret.top()) : 0));
    EditorDocumentLayout *layout = m_richDocument->layout();
    // Each pass lays out only what the previous one's corrections brought into view, a few
    // lines at most: a handful of passes settles it.
    for (int top = offset, pass = 0; pass < 16; ++pass) {
        layout->ensureLaidOut(top, top + height);
        const int now = verticalScrollBar()->value();
        if (now == top)
            break;
        top = now;
    }
}

void RichEdit::focusInEvent(QFocusEvent *event)
{
    // The text control repaints where the caret stands: the lines shown are enough to say where,
    // however long the paragraph still being laid out.
    const EditorDocumentLayout::PartAnswers answers(*m_richDocument->layout(),
                                                    verticalScrollBar()->value() + viewport()->height());
    QTextEdit::focusInEvent(event);
}

void RichEdit::focusOutEvent(QFocusEvent *event)
{
    const EditorDocumentLayout::PartAnswers answers(*m_richDocument->layout(),
                                                    verticalScrollBar()->value() + viewport()->height());
    QTextEdit::focusOutEvent(event);
}

QVariant RichEdit::inputMethodQuery(Qt::InputMethodQuery query) const
{
    // An input method asks where the caret is whenever the focus comes back: the same holds.
    if (!(query & (Qt::ImCursorRectangle | Qt::ImAnchorRectangle)))
        return QTextEdit::inputMethodQuery(query);
    const EditorDocumentLayout::PartAnswers answers(*m_richDocument->layout(),
                                                    verticalScrollBar()->value() + viewport()->height());
    return QTextEdit::inputMethodQuery(query);
}
