// The RTF reader: what each control word does to the state of its group and the document.

#include "rtfreading.h"

#include <QColor>

namespace RtfReading {

void Reader::apply(const WordInfo &info, bool hasParameter, int parameter)
{
    Group g = group();
    if (g.destination == Destination::ListTable && (info.word == Word::FirstIndent || info.word == Word::LeftIndent)) {
        m_lists.setLevelIndent(info.word == Word::LeftIndent, TextFormats::clampedIndent(parameter));
        return;
    }
    if (applyToGroup(g, info.word, hasParameter, parameter)) {
        m_stack.set(g);
        return;
    }
    const Destination destination = g.destination;
    switch (info.word) {
    case Word::Character:
        unicodeText(info.character);
        return;
    case Word::Ansi:
        m_ansiCodePage = 1252;
        return;
    case Word::Mac:
        m_ansiCodePage = 10000;
        return;
    case Word::Pc:
        m_ansiCodePage = 437;
        return;
    case Word::Pca:
        m_ansiCodePage = 850;
        return;
    case Word::AnsiCpg:
        if (hasParameter && parameter > 0)
            m_ansiCodePage = parameter;
        return;
    case Word::Deff:
        m_defaultFont = parameter;
        return;
    case Word::U:
        unicodeValue(parameter);
        m_skip = g.unicodeSkip;
        return;
    case Word::Font: // in the font table; elsewhere a run's font, see applyToGroup
        finishFontName();
        m_fontEntry = parameter;
        m_fonts.begin(parameter);
        return;
    case Word::FontCharSet:
        if (FontEntry *font = currentFontEntry())
            font->charSet = parameter;
        return;
    case Word::CodePage:
        if (FontEntry *font = currentFontEntry())
            font->codePage = parameter;
        return;
    case Word::FontPitch:
        if (FontEntry *font = currentFontEntry())
            font->pitch = qBound(0, parameter, 2);
        return;
    case Word::Red:
        m_colors.setRed(parameter);
        return;
    case Word::Green:
        m_colors.setGreen(parameter);
        return;
    case Word::Blue:
        m_colors.setBlue(parameter);
        return;
    case Word::ListNumber: // in the override table; elsewhere the paragraph's list
        m_lists.setOverrideNumber(parameter);
        return;
    case Word::List:
        if (destination == Destination::ListTable)
            m_lists.beginList();
        return;
    case Word::ListLevelEntry:
        if (destination == Destination::ListTable)
            m_lists.beginLevel();
        return;
    case Word::LevelNfc:
        if (destination == Destination::ListTable)
            m_lists.setLevelFormat(parameter);
        return;
    case Word::ListId:
        if (destination == Destination::ListTable)
            m_lists.setListId(parameter);
        else if (destination == Destination::ListOverrideTable)
            m_lists.setOverrideListId(parameter);
        return;
    case Word::ListOverride:
        if (destination == Destination::ListOverrideTable)
            m_lists.beginOverride();
        return;
    case Word::Par:
        if (destination == Destination::Marker)
            promoteMarker();
        paragraphBreak();
        return;
    case Word::Line:
        unicodeText(QChar::LineSeparator);
        return;
    case Word::Page:
        placeHeldAnchors(false);
        // A page or section break starts a paragraph only where one is under way.
        if (m_paragraphHasContent || !m_pendingText.isEmpty() || !m_pendingBytes.isEmpty())
            paragraphBreak();
        return;
    case Word::PageBreak:
        if (destination == Destination::Text)
            pageBreak();
        return;
    case Word::TabKind:
    case Word::TabLeader:
    case Word::TabPosition:
    case Word::BarTab:
        tabWord(info, parameter);
        return;
    case Word::Cell:
    case Word::Row:
        if (destination != Destination::Text || (info.word == Word::Row && !m_tables.isOpen()))
            return;
        fieldShapesText();
        if (info.word == Word::Cell && !m_tables.isOpen())
            placeForTable(true, 1);
        else if (info.word == Word::Cell && !m_tables.afterLastCell())
            placeForTable(true); // an empty cell's paragraph has the properties in effect too
        settleParagraph(info.word == Word::Cell ? Break::Keep : Break::Drop);
        m_store.finish(); // the table reader works with the cursor
        if (info.word == Word::Cell)
            m_tables.endCell();
        else
            m_tables.endRow();
        return;
    default:
        // Row definitions belong to the text: in a font table, a colour table or a marker they
        // are no table's (nor does the look ahead count them).
        if (destination == Destination::Text) {
            m_store.finish(); // the table reader works with the cursor
            m_tables.applyWord(info.word, info.character, hasParameter, parameter);
        }
        return;
    }
}

bool Reader::applyToGroup(Group &g, Word word, bool hasParameter, int parameter)
{
    CharState &chars = g.chars;
    ParaState &para = g.para;
    const bool on = !hasParameter || parameter != 0;
    auto indent = [parameter] { return static_cast<int16_t>(TextFormats::clampedIndent(parameter)); };
    switch (word) {
    case Word::Uc:
        g.unicodeSkip = static_cast<uint8_t>(qBound(0, parameter, MaxUnicodeSkip));
        return true;
    case Word::Plain:
        chars = CharState {};
        return true;
    case Word::Bold:
        chars.bold = on;
        return true;
    case Word::Italic:
        chars.italic = on;
        return true;
    case Word::Underline:
        chars.underline = on;
        return true;
    case Word::UnderlineNone:
        chars.underline = false;
        return true;
    case Word::Strike:
        chars.strike = on;
        return true;
    case Word::FontSize:
        chars.halfPoints = static_cast<int16_t>(hasParameter ? qBound(0, parameter, MaxHalfPoints) : 24);
        chars.sizeGiven = true;
        return true;
    case Word::Color:
        chars.color = qMax(0, parameter);
        return true;
    case Word::Font:
        if (g.destination == Destination::FontTable)
            return false;
        chars.font = parameter;
        return true;
    case Word::Hidden:
        chars.hidden = on;
        return true;
    case Word::DoubleByteChars:
    case Word::SingleByteChars:
        chars.doubleByteText = word == Word::DoubleByteChars;
        chars.associatedToDoubleByte = chars.doubleByteText;
        return true;
    case Word::DirectionChars:
        // What follows \rtlch and \ltrch goes to right-to-left or Latin text, shown as it is.
        chars.associatedToDoubleByte = false;
        return true;
    case Word::AssociatedBold:
    case Word::AssociatedItalic:
    case Word::AssociatedFontSize:
    case Word::AssociatedFont:
        applyAssociated(chars, word, hasParameter, parameter);
        return true;
    case Word::Super:
    case Word::Sub:
    case Word::NoSuperSub:
    case Word::Up:
    case Word::Down:
        chars.position = positionAfter(word, hasParameter, parameter);
        return true;
    case Word::Highlight:
        chars.highlight = qMax(0, parameter);
        return true;
    case Word::SpaceBefore:
        para.spaceBefore = static_cast<int16_t>(qBound(0, parameter, ParaFormat::MaxIndentTwips));
        return true;
    case Word::SpaceAfter:
        para.spaceAfter = static_cast<int16_t>(qBound(0, parameter, ParaFormat::MaxIndentTwips));
        return true;
    case Word::LineSpacing:
        para.lineSpacing = indent();
        return true;
    case Word::LineMultiple:
        para.lineMultiple = on;
        return true;
    case Word::Pard:
        para = ParaState {};
        return true;
    case Word::AlignLeft:
        para.alignment = ParaFormat::AlignLeft;
        return true;
    case Word::AlignCenter:
        para.alignment = ParaFormat::AlignCenter;
        return true;
    case Word::AlignRight:
        para.alignment = ParaFormat::AlignRight;
        return true;
    case Word::AlignJustify:
        para.alignment = ParaFormat::AlignJustify;
        return true;
    case Word::FirstIndent:
        para.firstTwips = indent();
        para.indentGiven = true;
        return true;
    case Word::LeftIndent:
        para.leftTwips = indent();
        para.indentGiven = true;
        return true;
    case Word::RightIndent:
        para.rightTwips = indent();
        return true;
    case Word::ListNumber:
        if (g.destination == Destination::ListOverrideTable)
            return false;
        para.listNumber = parameter;
        return true;
    case Word::ListLevel:
        // Levels past the tables' own count are never bullets: keep them apart from those.
        para.listLevel = static_cast<uint8_t>(qBound(0, parameter, int(RtfTables::ListTables::MaxLevels)));
        return true;
    case Word::PageBreakBefore:
        para.pageBreakBefore = on;
        return true;
    case Word::InTable:
        para.inTable = true;
        return true;
    case Word::TableDepth:
        para.inTable = parameter > 0;
        return true;
    case Word::PnBullet:
    case Word::PnNumbered:
        // Handed to the paragraph around the \pn group when it closes.
        para.pnBullet = word == Word::PnBullet;
        para.pnNumbered = word == Word::PnNumbered;
        return true;
    default:
        return false;
    }
}

uint8_t Reader::positionAfter(Word word, bool hasParameter, int parameter)
{
    const bool on = !hasParameter || parameter != 0;
    switch (word) {
    case Word::Super:
        return on ? CharState::Raised : CharState::Baseline;
    case Word::Sub:
        return on ? CharState::Lowered : CharState::Baseline;
    case Word::Up:
        // Raised by \upN half points (6 without N): shown, like \super, above the line.
        return (!hasParameter || parameter > 0) ? CharState::Raised : CharState::Baseline;
    case Word::Down:
        return (!hasParameter || parameter > 0) ? CharState::Lowered : CharState::Baseline;
    default:
        return CharState::Baseline;
    }
}

void Reader::applyAssociated(CharState &chars, Word word, bool hasParameter, int parameter)
{
    if (!chars.associatedToDoubleByte)
        return;
    const int8_t on = (!hasParameter || parameter != 0) ? 1 : 0;
    switch (word) {
    case Word::AssociatedBold:
        chars.doubleByteBold = on;
        return;
    case Word::AssociatedItalic:
        chars.doubleByteItalic = on;
        return;
    case Word::AssociatedFontSize:
        chars.doubleByteHalfPoints = static_cast<int16_t>(hasParameter ? qBound(0, parameter, MaxHalfPoints) : 24);
        return;
    default:
        chars.doubleByteFont = qMax(-1, parameter);
        return;
    }
}

} // namespace RtfReading
