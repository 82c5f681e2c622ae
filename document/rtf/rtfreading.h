#pragma once

// The RTF reader's state and steps, shared by the files that make it up (rtfreader*.cpp).

#include "document/storeappender.h"
#include "document/textformats.h"
#include "rtfgroupstack.h"
#include "rtflists.h"
#include "rtfpicture.h"
#include "rtfreader.h"
#include "rtftablereader.h"
#include "rtftables.h"
#include "rtfwords.h"

#include <QByteArrayView>
#include <QSet>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>

#include <optional>
#include <string_view>
#include <unordered_map>

class QTextDocument;
class QTextList;

namespace RtfReading {

using RtfGroups::CharState;
using RtfGroups::Group;
using RtfGroups::ParaState;
using RtfTables::FontEntry;
using RtfWords::Destination;
using RtfWords::Word;
using RtfWords::WordInfo;

constexpr int MaxUnicodeSkip = 16;
constexpr int MaxHalfPoints = 32767;

// A run of bulleted paragraphs is kept in lists of at most MaxListItems: a bullet carries no
// number, so where one list ends and the next begins changes nothing shown or saved, while
// each paragraph added to a list of n costs Qt n steps (it marks them all changed).
using RtfReader::MaxListItems;

struct CharStateHash {
    size_t operator()(const CharState &s) const noexcept
    {
        // Each field mixed in turn, so that no choice of values makes many states collide.
        uint64_t h = 0x9E3779B97F4A7C15ull;
        auto mix = [&h](uint64_t v) {
            h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
            h *= 0xFF51AFD7ED558CCDull;
        };
        mix(static_cast<uint32_t>(s.font));
        mix(static_cast<uint32_t>(s.color));
        mix(static_cast<uint16_t>(s.halfPoints));
        mix((s.bold ? 1u : 0u) | (s.italic ? 2u : 0u) | (s.underline ? 4u : 0u) | (s.strike ? 8u : 0u)
            | (s.hidden ? 16u : 0u) | (s.sizeGiven ? 32u : 0u) | (uint32_t(s.position) << 6));
        mix(static_cast<uint32_t>(s.highlight));
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

class Reader {
public:
    Reader(QByteArrayView data, QTextDocument &document, const CharFormat &defaults)
        : m_p(data.data())
        , m_end(data.data() + data.size())
        , m_document(document)
        , m_cursor(&document)
        , m_store(document)
        , m_defaults(defaults)
        , m_tables(m_cursor, m_colors)
    {
    }

    void run();

private:
    const Group &group() const { return m_stack.top(); }

    // Text and paragraph breaks go straight into the document's store while nothing else is
    // done to the document (see StoreAppender): everything else uses the cursor through
    // cursor(), which first brings the document and its cursors up to date.
    QTextCursor &cursor()
    {
        m_store.finish();
        return m_cursor;
    }
    // Whether text in the format with this index can go into the store at the end now.
    bool appendable(int charFormat) const;

    // -- Groups --

    void pushGroup();
    void popGroup();

    // -- Tokens --

    void controlSequence();
    static int hexValue(char c);
    void controlWord();
    // The \uc fallback after \u: bytes and control sequences, until the group ends.
    bool skipOne();
    // \binN at `wordStart`: its data is not text.
    void skipBinary(const char *wordStart, int length);
    void setDestination(Destination destination);
    void enterDestination(Destination destination);
    void apply(const WordInfo &info, bool hasParameter, int parameter);
    // The words that change the group's own state, applied to g; false for the others. Every
    // number is clamped to its range here, before it is stored or added to anything.
    static bool applyToGroup(Group &g, Word word, bool hasParameter, int parameter);
    // \ab, \ai, \afs, \af: kept for double-byte text when they follow \dbch; the others
    // (right-to-left and high-ANSI text) are shown with the run's own properties.
    static void applyAssociated(CharState &chars, Word word, bool hasParameter, int parameter);
    // Where \super, \sub, \nosupersub, \up, \dn put the text that follows.
    static uint8_t positionAfter(Word word, bool hasParameter, int parameter);

    // -- Text --

    int codePageOf(const CharState &chars) const;
    const FontEntry *fontEntry(int index) const;
    FontEntry *currentFontEntry();
    // The code page of a font's name: its text's, except that a symbol font's name is plain
    // Latin text, not symbols.
    int fontCodePage(const FontEntry &font) const;
    void finishFontName();
    // Raw bytes are the file's own text, where control characters other than the tab are not
    // text; escaped bytes (\'hh) are text whatever their value.
    enum class Bytes { Raw, Escaped };

    static bool isText(char c, Bytes kind);
    void textBytes(const char *start, const char *end, Bytes kind);
    void fontNameBytes(const char *start, const char *end);
    void unicodeValue(int value);
    void unicodeText(char16_t c);
    void markerText(const QString &text);
    // Text in another format ends the run before it.
    void prepareFor(const CharState &chars);
    void decodePendingBytes();
    void flushText();
    const QTextCharFormat &formatFor(const CharState &chars);

    // -- Pictures --

    void beginPicture();
    void insertPicture();

    // -- Kept groups (see RtfKept) --

    // Starts keeping the group the destination word `name` opens; false when it is not kept.
    bool beginKeep(std::string_view name, const char *wordStart, bool unknownIgnorable);
    // The kept group ends at m_p; `missingBraces` close a file cut off inside it.
    void finishKeep(size_t missingBraces = 0);
    // A picture just read: a shape's waits for the shape's end, the others go into the text.
    void takePicture();
    // The first picture in a shape is read, to be shown where the shape stands.
    bool beginShapePicture();
    // At the file's end: what is kept so far, and the bytes kept before the text.
    void finishKept();
    // An object character with `format` where text would go. One that shows nothing, read after
    // a paragraph's end, waits for what follows (see placeHeldAnchors).
    void insertAnchor(const QTextCharFormat &format);
    // The anchors held after a paragraph's end go where the next content goes: at the start of
    // the paragraph it begins, or, when a table begins (`inTable`), at the end of the paragraph
    // before, written after its \par: not in a paragraph of their own before the table.
    void placeHeldAnchors(bool inTable);
    // A field's own words: \field, and its \fldinst group.
    bool beginField();
    void finishField(size_t missingBraces = 0);
    // A paragraph or cell ended in a field's group: the field is its result's, not kept whole.
    void fieldShapesText();
    // The format of text read into a field's result.
    QTextCharFormat fieldFormat(const QTextCharFormat &format);
    // A document word before the text, kept when the reader has no use for it.
    void documentWord(std::string_view name, const char *start, bool ignorable, const WordInfo &info);
    bool bodyEmpty() const;
    // \sect outside tables and fields: ends the paragraph under way, if any, and starts keeping
    // the section break; false where it is read as a paragraph break only.
    bool beginSection(const char *wordStart);
    // A word that may belong to the section break being kept; true when it was kept with it.
    bool sectionWord(std::string_view name, const char *wordStart, bool ignorable, const WordInfo &info);
    // Puts the section break kept so far where it stood: after the paragraph it ended.
    void endSection();

    // -- Paragraphs --

    void paragraphBreak();
    void startPendingParagraph();
    void insertBlockAtCursor(const QTextBlockFormat &format, const QTextCharFormat &chars);
    bool isBulletList(const ParaState &para) const;
    QTextListFormat::Style numberedStyle(const ParaState &para) const;
    void finishParagraph();
    // Puts the paragraph just finished into the bulleted list of its level: the one the
    // paragraphs before it at that level are in, while it has room and draws the same bullet.
    void placeBullet(bool formatRight, QTextListFormat::Style style, int level);
    // \page: the paragraph under way ends, and the next one starts a page.
    void pageBreak();
    // \tx, \tb and the kind and leader words before them: the group's tab stops.
    void tabWord(const WordInfo &info, int parameter);
    // The paragraph's tab stops and page break on its block format.
    void applyTabsAndBreak(const ParaState &para);

    // -- Tables and list items written inside their marker --

    // Text and paragraph breaks go into the table cell, or after the table, that their
    // paragraph belongs to (see RtfTableReader).
    void placeForTable(bool inTable, int cellsDone = 0);
    // Ends the paragraph under way where the cursor leaves it: a table's edge breaks the
    // paragraph in place of a \\par (a pending break is dropped); at a cell's end a pending
    // break is kept: "x\\par\\cell" ends the cell with an empty paragraph, as we write it.
    enum class Break { Keep, Drop };
    void settleParagraph(Break pending = Break::Drop);
    // Gives the paragraph after a table (which the table made) the formatting in effect.
    void markParagraphAfterTable();
    // A \listtext group that holds more than a marker holds its list item: the text after the
    // marker's tab is the item's paragraph, in the list of the paragraph the group began in.
    void promoteMarker();
    // A paragraph's properties as its block format states them.
    struct BlockKey {
        ParaState para;
        bool bullet = false;
        bool operator==(const BlockKey &) const = default;
    };

    const char *m_p;
    const char *const m_end;
    QTextDocument &m_document;
    QTextCursor m_cursor; // out of date while m_store has text pending: use cursor()
    StoreAppender m_store;
    const CharFormat &m_defaults;

    RtfGroups::GroupStack m_stack;
    bool m_finished = false;
    bool m_ignorable = false;
    int m_skip = 0;

    int m_ansiCodePage = 1252;
    int m_defaultFont = 0;
    RtfTables::FontTable m_fonts;
    int m_fontEntry = -1;
    RtfTables::ColorTable m_colors;
    RtfTables::ListTables m_lists;
    RtfTables::TabSets m_tabSets;
    bool m_pageBreakNext = false; // the paragraph under way or the next one starts a page
    RtfLists::Reading m_numbered;

    CharState m_pendingState;
    QString m_pendingText;
    QByteArray m_pendingBytes;
    int m_bytesCodePage = 0;
    std::unordered_map<CharState, QTextCharFormat, CharStateHash> m_formats;
    QSet<QString> m_faces; // the faces the text uses so far

    RtfPicture::PictureReader m_picture;

    // The group being kept, from its opening brace.
    enum class Purpose { Anchor, Leading, Footnote, Shape, Instruction, Field, Section };
    struct Keeping {
        const char *start = nullptr;
        size_t depth = 0;
        Purpose purpose = Purpose::Anchor;
        int codePage = 0;
        Picture picture; // a shape's
    };
    std::optional<Keeping> m_keep;
    std::vector<QTextCharFormat> m_heldAnchors;
    const char *m_cutBinary = nullptr; // a \binN whose data the end of the file cut off
    const char *m_lastOpen = nullptr; // the last opening brace read, and the depth it opened
    size_t m_lastOpenDepth = 0;
    QByteArray m_leading; // kept before the text
    bool m_leadingWords = true; // document words before the first paragraph's are kept
    bool m_footnoteMark = false; // a \chftn waits for its footnote
    CharState m_footnoteMarkState;
    int m_footnotes = 0;
    // The field whose result is being read.
    struct Field {
        const char *start = nullptr;
        size_t depth = 0;
        QByteArray instruction;
        QString target; // of a hyperlink
        int serial = 0;
        bool hasResult = false;
        int instructionUc = 1; // the \uc the instruction was read with
    };
    std::optional<Field> m_field;
    int m_fieldSerial = 0;
    // The section break being kept: its words and groups from \sect on, and the format of the
    // text where it stood.
    struct Section {
        QByteArray words;
        QTextCharFormat base;
        bool endsParagraph = false; // the \sect ended a paragraph of its own
        int uc = 1; // the \uc its words were read with
    };
    std::optional<Section> m_section;

    QString m_marker;
    QByteArray m_markerBytes; // not yet decoded, in m_markerCodePage
    int m_markerCodePage = 0;
    QTextCharFormat m_markerFormat;
    bool m_markerFormatSet = false;
    ParaState m_markerPara; // of the paragraph the marker began in
    bool m_markerParagraph = false; // the marker's group held its paragraph
    bool m_breakPending = false;
    // The formats the last paragraph break stored, with their numbers in the document's table.
    QTextBlockFormat m_storedBlockFormat;
    QTextCharFormat m_storedCharFormat;
    int m_storedBlockIndex = -1;
    int m_storedCharIndex = -1;
    QTextCharFormat m_appendedFormat; // the last format of text that went into the store
    int m_appendedIndex = -1;
    bool m_paragraphHasContent = false;
    int m_finishedParagraph = -1;
    int m_blockNumber = 0; // of the paragraph under way
    // The block format last made, and what it was made of; the key the paragraph under way was
    // inserted with.
    QTextBlockFormat m_blockFormat;
    BlockKey m_blockKey;
    bool m_blockFormatKnown = false;
    BlockKey m_insertedKey;
    bool m_insertedKnown = false;
    bool m_insertedInList = false; // the paragraph under way was inserted into m_list
    bool m_lastInList = false; // the paragraph before belongs to m_list
    QTextList *m_list = nullptr;
    // The bulleted list of each level, as far as a run of bulleted paragraphs goes.
    QPointer<QTextList> m_bulletLists[RtfLists::MaxLevel + 1];
    RtfTableReader m_tables;
};

} // namespace RtfReading
