// Keeping the formatting controls, the status bar and the counter in step with the caret.

#include "app/tpenform1.h"

#include "app/zoom.h"

#include "app/controls.h"
#include "app/statustext.h"
#include "document/richedit.h"
#include "editing/ruler.h"
#include "editing/statusdisplay.h"

#include <QAction>
#include <QComboBox>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>

namespace {
constexpr int CaretStatusSliceMs = 15;
}

void TPenForm1::RichEdit1SelectionChange()
{
    const CharFormat format = RichEdit1->charFormat();
    if (ComboBox1->currentText().compare(format.faceName, Qt::CaseInsensitive) != 0 || ComboBox1->currentIndex() < 0) {
        // None of these writes may raise a handler of its own. The list is searched only when
        // the face changes: it holds every font of the system.
        const QSignalBlocker quiet(ComboBox1);
        ComboBox1->setCurrentIndex(ComboBox1->findText(format.faceName, Qt::MatchFixedString));
    }
    command(QStringLiteral("EditBold"))->setChecked(format.bold);
    command(QStringLiteral("EditItaric"))->setChecked(format.italic);
    command(QStringLiteral("EditUnderline"))->setChecked(format.underline);
    setBoxText(Edit1, QString::number(format.sizeTwips / TextFormats::TwipsPerPoint));
    setTextColor(Edit4, format.color);

    const ParaFormat para = RichEdit1->paraFormat();
    QAction *left = command(QStringLiteral("EditAlineLeft"));
    QAction *centre = command(QStringLiteral("EditAlineCenter"));
    QAction *right = command(QStringLiteral("EditAlineRight"));
    // Any other alignment (justified text from a file) releases all three. The button pressed
    // already stays as it is: releasing and pressing it again would repaint it at every caret move.
    QAction *pressed = para.alignment == ParaFormat::AlignLeft ? left
        : para.alignment == ParaFormat::AlignCenter            ? centre
        : para.alignment == ParaFormat::AlignRight             ? right
                                                               : nullptr;
    for (QAction *button : { left, centre, right }) {
        if (button != pressed)
            button->setChecked(false);
    }
    if (pressed)
        pressed->setChecked(true);

    Paste->defaultAction()->setEnabled(m_clipboardHasText);
    const bool selected = RichEdit1->textCursor().hasSelection();
    Cut->defaultAction()->setEnabled(selected);
    Copy->defaultAction()->setEnabled(selected);

    UpdateCaretStatus();
    UpdateCharCount();

    // Zoomed, the markers stand where the indents are shown.
    const int zoom = RichEdit1->zoomPercent();
    const IndentGeometry::MarkerEdges edges = IndentGeometry::markerEdges(
        Zoom::shown(para.firstIndentTwips / TextFormats::TwipsPerPoint, zoom),
        Zoom::shown(para.leftIndentTwips / TextFormats::TwipsPerPoint, zoom),
        Zoom::shown(para.rightIndentTwips / TextFormats::TwipsPerPoint, zoom), Ruler->contentsRect().width());
    FirstInd->move(edges.first, FirstInd->y());
    LeftInd->move(edges.left, LeftInd->y());
    RightInd->move(edges.right, RightInd->y());
}

void TPenForm1::UpdateCaretStatus()
{
    // From the lower end of the selection, wherever the caret is: its line as the editor's
    // line-from-char gives it, its column from that line's first byte, and the characters or
    // bytes before it, all found with one look at its paragraph.
    RichDocument &document = RichEdit1->richDocument();
    const int position = RichEdit1->textCursor().selectionStart();
    // In a long text not laid out yet (just opened, or changed all over by a Replace All) the
    // caret's line is known exactly only once the paragraphs before it are laid out, seconds
    // for millions of characters. Meanwhile the panel shows the line with those paragraphs'
    // lines estimated, and the rest of them is laid out a slice at a time between the
    // program's events, so that the window paints and answers, until the line is exact.
    const RichDocument::CaretPlace place = document.caretPlace(position, CaretStatusSliceMs);
    StatusPanels[2]->setText(StatusDisplay::lineAndColumn(place.line, place.byte - place.lineStartByte));
    const qint64 value = CountInChars ? place.charactersBefore : place.byte;
    StatusPanels[1]->setText(StatusDisplay::position(CountInChars, value));
    if (place.exact) {
        if (m_caretStatusLater)
            m_caretStatusLater->stop();
        return;
    }
    if (!m_caretStatusLater) {
        m_caretStatusLater = new QTimer(this);
        m_caretStatusLater->setSingleShot(true);
        connect(m_caretStatusLater, &QTimer::timeout, this, &TPenForm1::UpdateCaretStatus);
    }
    m_caretStatusLater->start(0);
}

void TPenForm1::UpdateCharCount()
{
    const RichDocument &document = RichEdit1->richDocument();
    const StatusDisplay::Counter counter
        = StatusDisplay::counter(CountInChars, document.characterCount(), document.textLength());
    Memo1->setText(counter.number);
    setTextColor(Memo1, counter.color);
    Memo2->setText(counter.unit);
}

void TPenForm1::RichEdit1Change()
{
    setTextColor(Edit4, RichEdit1->charFormat().color);
    UpdateCharCount();
}

void TPenForm1::Memo1Click()
{
    // The focus goes back to the editor, wherever the click may have left it.
    RichEdit1->setFocus();
    CountInChars = !CountInChars;
    UpdateCharCount();
    UpdateCaretStatus();
}

void TPenForm1::Memo2Click()
{
    Memo1Click();
}

// Neither the counter's displays nor the read-only size box ever show a text cursor (a
// read-only line edit draws none), so the mouse handlers that hide it have nothing left to do.
void TPenForm1::Memo1MouseDown()
{
}

void TPenForm1::Memo2MouseDown()
{
}

void TPenForm1::Edit1MouseDown()
{
}
