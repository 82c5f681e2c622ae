// The editor's history: undo and redo, and the steps they take back and put again.

#include "richedit.h"

#include <QAbstractUndoItem>
#include <QScopedValueRollback>
#include <QTextDocument>

#include <climits>

namespace {

// Closes a step of the history: typing right after a block of changes would otherwise be
// added to the block's last insertion, and undone with it.
class StepEnd : public QAbstractUndoItem {
public:
    void undo() override { }
    void redo() override { }
};

} // namespace

void RichEdit::undoLast(History which)
{
    // Qt puts the caret at the position its history recorded, which for a format change is
    // the start of the document.
    int from = INT_MAX;
    int to = -1;
    bool textChanged = false;
    const QMetaObject::Connection watch = connect(
        document(), &QTextDocument::contentsChange, this, [&](int position, int removed, int added) {
            from = qMin(from, position);
            to = qMax(to, position + added);
            textChanged = textChanged || removed != added;
        });
    const QTextCursor before = textCursor();
    {
        // The displays are refreshed once, when the caret has its final place.
        QScopedValueRollback<bool> hold(m_holdSelectionNotice, true);
        if (which == History::Undo)
            undo();
        else
            redo();
        disconnect(watch);
        if (!textChanged && to >= 0) {
            const int end = qMin(to, document()->characterCount() - 1);
            QTextCursor place(document());
            if (before.selectionStart() >= from && before.selectionEnd() <= end) {
                place.setPosition(before.anchor());
                place.setPosition(before.position(), QTextCursor::KeepAnchor);
            } else {
                place.setPosition(from);
                place.setPosition(end, QTextCursor::KeepAnchor);
            }
            setTextCursor(place);
            ensureCursorVisible();
        }
    }
    if (to < 0)
        return; // nothing was undone
    // Where the caret stayed, the format under it may be what changed.
    m_lastAnchor = -1;
    notifySelectionIfMoved();
}

void RichEdit::clearHistory()
{
    document()->clearUndoRedoStacks();
}

RichEdit::UndoStep::UndoStep(RichEdit &edit)
    : m_cursor(edit.textCursor())
    , m_recordedBefore(edit.document()->availableUndoSteps())
{
    // Begun from the editor's caret: that is where an undo of the step puts it back.
    m_cursor.beginEditBlock();
}

RichEdit::UndoStep::~UndoStep()
{
    QTextDocument *doc = m_cursor.document();
    if (doc->availableUndoSteps() > m_recordedBefore)
        doc->appendUndoItem(new StepEnd);
    m_cursor.endEditBlock();
}
