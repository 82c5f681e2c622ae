// The formatting commands and the clipboard and undo commands.

#include "app/tpenform1.h"

#include "app/controls.h"
#include "app/pickers.h"
#include "document/richedit.h"
#include "editing/fontentry.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QFontDatabase>
#include <QPainter>
#include <QStyleOptionViewItem>


// -- The font box and the size box --

void TPenForm1::ComboBox1Click()
{
    CharFormat name;
    name.mask = CharFormat::Face;
    name.faceName = ComboBox1->currentText();
    RichEdit1->setCharFormat(name);
    RichEdit1->setFocus();
}

void TPenForm1::ComboBox1DrawItem(QPainter *painter, const QStyleOptionViewItem &option, const QString &text)
{
    // The entry in its own typeface, at the top-left corner of its rectangle, no margin; the
    // size, style and colour of a list entry otherwise.
    const bool selected = option.state & QStyle::State_Selected;
    const QPalette &palette = option.palette;
    painter->fillRect(option.rect, selected ? palette.highlight() : palette.base());
    QFont face = option.font;
    // A symbol font draws letters as symbols (its name would be unreadable): it is named in the
    // list's font. Such fonts map letters to their symbols and so count as Latin as well.
    if (!QFontDatabase::writingSystems(text).contains(QFontDatabase::Symbol))
        face.setFamilies({ text });
    // Seen whole, never cut at the entry's top or bottom (see placeFontEntry).
    const FontEntryPlacement placement = placeFontEntry(face, text, option.rect);
    painter->setFont(placement.font);
    painter->setPen(selected ? palette.highlightedText().color() : palette.text().color());
    painter->drawText(QPoint(option.rect.left(), placement.baseline), text);
}

void TPenForm1::UpDown1Click()
{
    CharFormat size;
    size.mask = CharFormat::Size;
    size.sizeTwips = UpDown1->position() * TextFormats::TwipsPerPoint;
    RichEdit1->setCharFormat(size);
}

// -- Styles and paragraphs --

namespace {

// The whole style set written back, the one flag changed to the button's state.
CharFormat styleSet(const CharFormat &read)
{
    CharFormat styles = read;
    styles.mask = CharFormat::Bold | CharFormat::Italic | CharFormat::Underline | CharFormat::StrikeOut;
    return styles;
}

} // namespace

void TPenForm1::EditBoldExecute()
{
    CharFormat styles = styleSet(RichEdit1->charFormat());
    styles.bold = command(QStringLiteral("EditBold"))->isChecked();
    RichEdit1->setCharFormat(styles);
}

void TPenForm1::EditItaricExecute()
{
    CharFormat styles = styleSet(RichEdit1->charFormat());
    styles.italic = command(QStringLiteral("EditItaric"))->isChecked();
    RichEdit1->setCharFormat(styles);
}

void TPenForm1::EditUnderlineExecute()
{
    CharFormat styles = styleSet(RichEdit1->charFormat());
    styles.underline = command(QStringLiteral("EditUnderline"))->isChecked();
    RichEdit1->setCharFormat(styles);
}

void TPenForm1::ParaSet()
{
    // The buttons' pressed states decide, not which command ran.
    ParaFormat alignment;
    alignment.mask = ParaFormat::Alignment;
    if (command(QStringLiteral("EditAlineLeft"))->isChecked()) {
        alignment.alignment = ParaFormat::AlignLeft;
        RichEdit1->setParaFormat(alignment);
    }
    if (command(QStringLiteral("EditAlineCenter"))->isChecked()) {
        alignment.alignment = ParaFormat::AlignCenter;
        RichEdit1->setParaFormat(alignment);
    }
    if (command(QStringLiteral("EditAlineRight"))->isChecked()) {
        alignment.alignment = ParaFormat::AlignRight;
        RichEdit1->setParaFormat(alignment);
    }
}

void TPenForm1::EditBulletExecute()
{
    ParaFormat numbering;
    numbering.mask = ParaFormat::Numbering;
    numbering.numbering = command(QStringLiteral("EditBullet"))->isChecked() ? ParaFormat::NumberingBullet
                                                                               : ParaFormat::NumberingNone;
    RichEdit1->setParaFormat(numbering);
}

// -- Colours and the font dialog --

void TPenForm1::OptionCharColorExecute()
{
    RichEdit1->setFocus();
    const std::optional<QColor> chosen = Pickers::color(this, RichEdit1->charFormat().color);
    if (!chosen)
        return;
    CharFormat color;
    color.mask = CharFormat::Color;
    color.color = *chosen;
    // The system's window-text colour is written as the automatic colour.
    color.autoColor = *chosen == RichEdit1->richDocument().windowTextColor();
    RichEdit1->setCharFormat(color);
    setTextColor(Edit4, RichEdit1->charFormat().color);
    RichEdit1->setFocus();
}

void TPenForm1::OptionBackColorExecute()
{
    RichEdit1->setFocus();
    const std::optional<QColor> chosen = Pickers::color(this, RichEdit1->backgroundColor());
    if (!chosen)
        return;
    RichEdit1->setBackgroundColor(*chosen);
    setBackgroundColor(Edit4, RichEdit1->backgroundColor());
    setBackgroundColor(Panel4, Edit4->palette().color(QPalette::Base));
    RichEdit1->setFocus();
}

void TPenForm1::writeFontToSelection(const CharFormat &font)
{
    // Six writes, in this order, as one step of the history. A field the dialog leaves out
    // (the size, when the user did not choose one) is not written: the text keeps its own.
    const RichEdit::UndoStep step(*RichEdit1);
    CharFormat change = font;
    change.autoColor = font.color == RichEdit1->richDocument().windowTextColor();
    for (const unsigned field : { unsigned(CharFormat::Color), unsigned(CharFormat::Face), unsigned(CharFormat::CharSet),
                                  unsigned(CharFormat::Bold | CharFormat::Italic | CharFormat::Underline | CharFormat::StrikeOut),
                                  unsigned(CharFormat::Size), unsigned(CharFormat::Pitch) }) {
        change.mask = field & font.mask;
        if (change.mask != 0)
            RichEdit1->setCharFormat(change);
    }
}

void TPenForm1::EditFontExecute()
{
    const CharFormat preset = RichEdit1->charFormat();
    const std::optional<CharFormat> chosen = Pickers::font(this, m_fontList, preset, [this](const CharFormat &font) {
        runCommand([this, font] { FontDialog1Apply(font); });
    });
    if (chosen)
        writeFontToSelection(*chosen);
}

void TPenForm1::FontDialog1Apply(const CharFormat &font)
{
    // The target is the control that has the focus in the main window.
    QWidget *target = focusWidget();
    if (target == Edit1 || target == Edit4 || target == Edit2) {
        target->setFont(TextFormats::displayFont(font));
        setTextColor(target, font.color);
    } else if (target == RichEdit1 || (target && target->parentWidget() == RichEdit1)) {
        writeFontToSelection(font);
    } else {
        QApplication::beep();
    }
}

// -- Clipboard and undo --

void TPenForm1::EditCutExecute()
{
    // Two operations, not one cut: copy, then delete the selection.
    RichEdit1->copy();
    RichEdit1->deleteSelection();
}

void TPenForm1::EditCopyExecute()
{
    RichEdit1->copy();
}

void TPenForm1::EditPasteExecute()
{
    RichEdit1->paste();
}

void TPenForm1::EditSelectAllExecute()
{
    RichEdit1->setSelection(0, -1);
}

void TPenForm1::EditUndoExecute()
{
    if (RichEdit1)
        RichEdit1->undoLast();
}

void TPenForm1::EditRedoExecute()
{
    if (RichEdit1)
        RichEdit1->undoLast(RichEdit::History::Redo);
}
