// Find and replace in the editor: always forward, always matching case, never whole words.

#include "app/tpenform1.h"

#include "app/messagebox.h"
#include "app/messages.h"
#include "document/richdocument.h"
#include "document/richedit.h"
#include "tools/replacedialog.h"

namespace {

// The search is fixed at matching case only.
constexpr int SearchFlags = FindMatchCase;

// Where a search begins: behind the selection, or at the very start when there is none,
// wherever the caret is.
qint64 searchStart(const RichEdit *edit)
{
    const RichEdit::Selection s = edit->selection();
    return s.length() != 0 ? s.start + s.length() : 0;
}

qint64 findFrom(const RichEdit *edit, const QString &what, qint64 start)
{
    const qint64 length = edit->textLength();
    return edit->findText(what, start, start + (length - start), SearchFlags);
}

// Replace All's passes: each replaces the selection (at first whatever the user selected, then
// the occurrence found last) and selects the next occurrence behind it, up to the last
// `keptBytes` of the document, which stay as they are. Each search begins behind the text just
// put in, so the passes end even when the replacement contains the text. Starts at the
// beginning without a selection; ends with the caret behind the last replacement. Returns the
// replacements made.
int replacePasses(const RichEdit &edit, RichEdit::BatchEdit &batch, RichEdit::Selection &selection,
                  const QString &what, const QString &with, qint64 keptBytes)
{
    const qint64 length = RichDocument::findLength(what);
    int made = 0;
    for (;;) {
        qint64 start = 0;
        if (selection.length() != 0) {
            start = batch.replace(selection.start, selection.end, with);
            selection = { start, start };
            ++made;
        }
        const qint64 hit = edit.findText(what, start, edit.textLength() - keptBytes, SearchFlags);
        if (hit < 0)
            return made;
        selection = { hit, hit + length };
    }
}

} // namespace

void TPenForm1::showPlainMessage(const QString &text)
{
    // Over the find dialog while it is open, so that the focus goes back to it afterwards and
    // its keys (Esc, its mnemonics) work again.
    QWidget *parent = ReplaceDialog1->isVisible() ? static_cast<QWidget *>(ReplaceDialog1) : this;
    MessageBox::showPlain(parent, text);
}

void TPenForm1::selectHit(qint64 position, const QString &what)
{
    RichEdit1->setSelection(position, position);
    RichEdit1->scrollCaret();
    RichEdit1->setFocus();
    const qint64 start = RichEdit1->selection().start;
    RichEdit1->setSelection(start, start + RichDocument::findLength(what));
}

void TPenForm1::OptionReplaceExecute()
{
    ReplaceDialog1->placeAt(QPoint(RichEdit1->x() + RichEdit1->width() / 4, RichEdit1->y()));
    ReplaceDialog1->show();
    ReplaceDialog1->raise();
    ReplaceDialog1->activateWindow();
    RichEdit1->setSelection(0, 0);
}

void TPenForm1::ReplaceDialog1Find()
{
    const QString what = ReplaceDialog1->findText();
    const qint64 hit = findFrom(RichEdit1, what, searchStart(RichEdit1));
    if (hit < 0) {
        showPlainMessage(Messages::notFoundFromHere(what));
        // The next Find Next starts at the beginning again.
        RichEdit1->setSelection(0, 0);
        return;
    }
    selectHit(hit, what);
}

void TPenForm1::ReplaceDialog1Replace()
{
    const QString what = ReplaceDialog1->findText();
    const QString with = ReplaceDialog1->replaceText();
    if (ReplaceDialog1->options() & ReplaceDialog::Replace) {
        qint64 start = 0;
        if (RichEdit1->selection().length() != 0) {
            // Whatever is selected is replaced, an occurrence or not.
            RichEdit1->replaceSelection(with, RichEdit::UndoMode::CannotUndo);
            start = RichEdit1->selection().start; // just behind the text put in

        }
        const qint64 hit = findFrom(RichEdit1, what, start);
        if (hit < 0)
            showPlainMessage(Messages::notFoundFromHere(what));
        else
            selectHit(hit, what);
    }
    if (ReplaceDialog1->options() & ReplaceDialog::ReplaceAll)
        replaceAll(what, with);
}

void TPenForm1::replaceAll(const QString &what, const QString &with)
{
    // Present anywhere at all? Nothing is replaced otherwise, not even a selection.
    if (what.isEmpty() || RichEdit1->findText(what, 0, -1, SearchFlags) < 0) {
        showPlainMessage(Messages::notFoundAnywhere(what));
        return;
    }
    int count = 0;
    {
        // The passes run on the document as one batch: the editor shows the outcome, not each step.
        RichEdit::BatchEdit batch(*RichEdit1);
        RichEdit::Selection selection = RichEdit1->selection();
        // With a selection the passes begin there and run to the end, then go on from the start
        // of the document up to where the selection began: "all" leaves no occurrence behind.
        // The first run leaves the text before the selection as it was, so the second stops
        // where the text the first run went over begins.
        const qint64 before = selection.length() != 0 ? selection.start : 0;
        count += replacePasses(*RichEdit1, batch, selection, what, with, 0);
        if (before > 0)
            count += replacePasses(*RichEdit1, batch, selection, what, with, RichEdit1->textLength() - before);
        batch.setSelection(selection.start, selection.end);
    }
    RichEdit1->setFocus();
    showPlainMessage(Messages::replacedAll(count, what, with));
}
