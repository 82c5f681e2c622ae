#pragma once

#include <cstdint>
#include <string_view>

// The control words the RTF reader knows, and what each means to it.
namespace RtfWords {

// Where the text of a group goes.
enum class Destination : uint8_t {
    Text, // the document
    Skip, // nowhere
    FontTable,
    ColorTable,
    ListTable,
    ListOverrideTable,
    Marker, // \pntext, \listtext: a list marker, dropped for bullets
    Pn, // \pn: the paragraph's numbering
    Picture, // \pict: a picture's words and data
    ShapePicture, // \shppict: a picture as word processors show it
    NonShapePicture, // \nonshppict: the copy of a picture for older readers
};

enum class Word : uint8_t {
    Unknown,
    Destination,
    Character,
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCpg,
    Deff,
    Uc,
    U,
    Bin,
    Plain,
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Strike,
    FontSize,
    Color,
    Font,
    Hidden,
    // Associated character properties, and the character set they and the text belong to.
    AssociatedBold,
    AssociatedItalic,
    AssociatedFontSize,
    AssociatedFont,
    DoubleByteChars, // \dbch
    SingleByteChars, // \loch, \hich
    DirectionChars, // \rtlch, \ltrch
    Super,
    Sub,
    NoSuperSub,
    Up,
    Down,
    Highlight,
    SpaceBefore,
    SpaceAfter,
    LineSpacing,
    LineMultiple,
    FontCharSet,
    CodePage,
    FontPitch,
    Red,
    Green,
    Blue,
    Pard,
    AlignLeft,
    AlignCenter,
    AlignRight,
    AlignJustify,
    FirstIndent,
    LeftIndent,
    RightIndent,
    ListNumber,
    ListLevel,
    PnBullet,
    PnNumbered,
    List,
    ListLevelEntry,
    LevelNfc,
    ListId,
    ListOverride,
    Par,
    Line,
    Page,
    // A paragraph's page break and tab stops (the kind and leader in `character`).
    PageBreak, // \page
    PageBreakBefore, // \pagebb
    TabPosition, // \tx
    BarTab, // \tb
    TabKind, // \tqr, \tqc, \tqdec, for the stop that follows
    TabLeader, // \tldot and the like, for the stop that follows
    Cell,
    Row,
    // Tables (see RtfTableReader): the row definition, and the paragraph's place in a table.
    RowDefaults,
    RowGap,
    RowPadding, // \trpaddl and the like: the gap, where \trgaph does not give it
    RowLeft,
    CellRight,
    CellBorder, // the side in `character`: 0 top, 1 left, 2 bottom, 3 right
    BorderStyle,
    BorderNone,
    BorderWidth,
    CellShading, // which in `character`: 1 \clcbpat, 2 \clcfpat, 3 \clshdng
    CellMerge, // in `character`: 1 \clmgf, 2 \clmrg, 3 \clvmgf, 4 \clvmrg
    InTable,
    TableDepth,
};

struct WordInfo {
    Word word = Word::Unknown;
    Destination destination = Destination::Text;
    char16_t character = 0;
};

// The meaning of a control word's name (without its backslash and parameter); Word::Unknown for
// the words the reader ignores.
WordInfo lookup(std::string_view name);

// Whether the control word at `wordStart` opens the group whose brace stands just before
// `afterBrace`, as the reader takes it: after line breaks, and a \* with its own (a space is
// text, so after one the word is the group's text, not what it holds).
inline bool opensGroup(const char *afterBrace, const char *wordStart)
{
    const char *c = afterBrace;
    auto skipBreaks = [&c, wordStart] {
        while (c < wordStart && (*c == '\r' || *c == '\n'))
            ++c;
    };
    skipBreaks();
    if (wordStart - c >= 2 && c[0] == '\\' && c[1] == '*') {
        c += 2;
        skipBreaks();
    }
    return c == wordStart;
}

} // namespace RtfWords
