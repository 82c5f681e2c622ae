#pragma once

#include <QColor>
#include <QString>

class QFont;
class QPaintDevice;
class QTextListFormat;
class QTextBlockFormat;
class QTextCharFormat;
class QTextFormat;

// Character attributes in the editor's units. `mask` says which fields a write sets; a read
// fills every field. Sizes are in twips (1440 to the inch, 20 to the point).
struct CharFormat {
    enum Field : unsigned {
        Face = 1u << 0,
        Size = 1u << 1,
        Bold = 1u << 2,
        Italic = 1u << 3,
        Underline = 1u << 4,
        StrikeOut = 1u << 5,
        Color = 1u << 6,
        CharSet = 1u << 7,
        Pitch = 1u << 8,
        AllFields = (1u << 9) - 1,
    };
    enum class FontPitch { Default = 0, Fixed = 1, Variable = 2 };

    unsigned mask = 0;
    QString faceName; // at most MaxFaceNameBytes bytes of CP932
    int sizeTwips = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    // Automatic colour follows the system's window-text colour; a read reports that colour in
    // `color` with autoColor set.
    bool autoColor = true;
    QColor color;
    int charSet = 0; // the font's character-set number (128 is Shift-JIS)
    FontPitch pitch = FontPitch::Default;

    bool has(Field f) const { return (mask & f) != 0; }
    bool operator==(const CharFormat &) const = default;
};

// Paragraph attributes in twips. The left indent is the offset of the second and later lines
// from the first (it may be negative); the first indent is the first line's from the margin.
struct ParaFormat {
    enum Field : unsigned {
        Alignment = 1u << 0,
        Numbering = 1u << 1,
        FirstIndent = 1u << 2,
        LeftIndent = 1u << 3,
        RightIndent = 1u << 4,
        AllFields = (1u << 5) - 1,
    };
    // Alignment codes; other values (justified text read from a file, 4) are kept as they are.
    static constexpr int AlignLeft = 1;
    static constexpr int AlignRight = 2;
    static constexpr int AlignCenter = 3;
    static constexpr int AlignJustify = 4;
    static constexpr int NumberingNone = 0;
    static constexpr int NumberingBullet = 1;
    // A bulleted paragraph keeps at least this left indent, room for its bullet (10 pt).
    static constexpr int BulletMinimumIndentTwips = 200;
    // Indents from files and other programs are held to this, either way (22 inches, wider than
    // any page), so that no sum of them can overflow.
    static constexpr int MaxIndentTwips = 31680;

    unsigned mask = 0;
    int alignment = AlignLeft;
    int numbering = NumberingNone;
    int firstIndentTwips = 0;
    int leftIndentTwips = 0;
    int rightIndentTwips = 0;

    bool has(Field f) const { return (mask & f) != 0; }
    bool operator==(const ParaFormat &) const = default;
};

// The room above and below a paragraph and between its lines, in twips, as RTF gives them.
struct ParaSpacing {
    int beforeTwips = 0; // \sb
    int afterTwips = 0; // \sa
    // \sl: 0 single spacing; above 0 at least that much, below 0 exactly minus that; with
    // `multiple` (\slmult1), a positive value in 240ths of single spacing.
    int lineTwips = 0;
    bool multiple = false;
    bool operator==(const ParaSpacing &) const = default;
};

namespace TextFormats {

constexpr int MaxFaceNameBytes = 31;
constexpr int TwipsPerPoint = 20;
// The largest size a format holds: RTF's largest \fs (32767 half points).
constexpr int MaxSizeTwips = 327670;

// An indent held to +-ParaFormat::MaxIndentTwips; a size to 0..MaxSizeTwips.
int clampedIndent(qint64 twips);
int clampedSize(qint64 twips);

// The face name cut to its first MaxFaceNameBytes bytes of CP932, never inside a character.
QString truncatedFaceName(const QString &name);

// The face the editor shows text in that names none.
inline constexpr char16_t EditorFace[] = u"ＭＳ ゴシック";

// What a new document's text is in, and a file's read into the editor where the file gives
// no format of its own: the face and styles of `defaults` at 11 points, black.
CharFormat newDocumentFormat(const CharFormat &defaults);
// The same for the editor's face, plain: what a file is read in without a window.
CharFormat newDocumentFormat();
// The format of text that sets none, as the editor has it on a screen of 96 dots to the inch:
// its face at 11 points (its 15 pixels), plain, in the automatic colour.
CharFormat editorDefaultFormat();

// The masked fields of f as Qt character properties, to merge into text. The twips, character
// set and pitch travel as properties of their own so that they read back exactly. A size given
// here is a stated one (see isSizeUnstated), merged over text whose size was not.
QTextCharFormat toTextCharFormat(const CharFormat &f);
// Text whose file stated no size shows in RTF's default, 12 points, but is written again with no
// size: each reader then takes its own default, as it did from the file (an office suite shows
// double-byte text at 10.5 points then, not 12).
void setSizeUnstated(QTextCharFormat &format);
bool isSizeUnstated(const QTextFormat &format);
// Every field of a character format; what the text does not set comes from `defaults`.
// An automatic colour reads as `windowText`.
CharFormat fromTextCharFormat(const QTextCharFormat &format, const CharFormat &defaults, const QColor &windowText);
// The font that shows a complete format on screen (a size of 0 shows at the smallest size).
QFont displayFont(const CharFormat &f);
// `font` resolved for `device` (unchanged without one), or for the default resolution. A
// document's default font passes its resolution on to the fonts of all its formats; Qt's text
// engine resolves a format's font for its layout's device at every run of text it shapes or
// draws, and reuses the font as it is only when the resolutions agree (otherwise it makes and
// looks the font up anew each time). Sizes in points, and so what is saved, do not change.
QFont atResolutionOf(const QFont &font, const QPaintDevice *device);
QFont atDefaultResolution(const QFont &font);

// Writes the masked fields of f into a block format; `full` is the paragraph's format after the
// write, from which Qt's margins are derived.
void applyToBlockFormat(QTextBlockFormat &block, const ParaFormat &full);
ParaFormat fromBlockFormat(const QTextBlockFormat &block, bool bulleted);

// The spacing as Qt's top and bottom margins and line height (each held to an indent's range
// first), and read back from them.
void applySpacing(QTextBlockFormat &block, const ParaSpacing &spacing);
ParaSpacing spacingOf(const QTextBlockFormat &block);

// The list bulleted paragraphs belong to: a disc, no indent of its own (the paragraph's left
// indent makes the bullet's room).
QTextListFormat bulletListFormat();

} // namespace TextFormats
