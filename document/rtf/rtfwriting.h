#pragma once

// The RTF writer's state and steps, shared by the files that make it up (rtfwriter*.cpp).

#include "document/tabstops.h"
#include "document/textformats.h"
#include "rtflists.h"
#include "rtfoutput.h"

#include <QByteArray>
#include <QColor>
#include <QRgb>
#include <QString>
#include <QTextBlock>

#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

class QTextCharFormat;
class QTextDocument;
class QTextFormat;
class QTextFragment;
class Picture;

namespace RtfWriting {

using RtfOutput::Output;


struct FontKey {
    QString name;
    int charSet = 0;
    int pitch = 0;
    bool operator<(const FontKey &o) const
    {
        if (name != o.name)
            return name < o.name;
        if (charSet != o.charSet)
            return charSet < o.charSet;
        return pitch < o.pitch;
    }
};

// A run's character properties as RTF states them.
struct RunState {
    int font = -1; // none yet: the first run names its font
    int halfPoints = 24;
    bool sizeStated = false; // else no size word: the reader's own default (see isSizeUnstated)
    int color = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int position = 0; // 0 on the baseline, 1 raised, 2 lowered
    int highlight = 0; // colour table index; 0 none
};

struct ParaState {
    int alignment = ParaFormat::AlignLeft;
    int first = 0; // \fi
    int left = 0; // \li
    int right = 0; // \ri
    bool bullet = false;
    int bulletStyle = 0; // QTextListFormat::Style of a bulleted paragraph
    std::pair<int, int> list; // \\ls and \\ilvl; 0 in none
    ParaSpacing spacing;
    std::vector<TabStops::Stop> tabs;
    bool pageBreakBefore = false; // \pagebb
    bool operator==(const ParaState &) const = default;
};

// The writer behind RtfWriter::write and RtfWriter::SlicedWriter (see rtfwriter.h).
class Writer {
public:
    Writer(const QTextDocument &document, const CharFormat &defaults, const QColor &windowText)
        : m_document(document)
        , m_defaults(defaults)
        , m_windowText(windowText)
    {
    }

    // Writes on until `timeUp` says to stop, which it asks after each paragraph; true once the
    // whole document is written.
    bool proceed(const std::function<bool()> &timeUp);

    QByteArray take() { return m_out.take(); }

private:
    enum class Stage { Start, Tables, Paragraphs, Done };

    void writeParagraph(const QTextBlock &block);
    // A paragraph's \\par (\\cell at a cell's end), and the section breaks that follow it.
    // A table's cells hold none: one read in a table waits for the first paragraph after it.
    void endParagraph(bool inTable, bool lastInCell);

    // -- Font and colour tables (rtfwriter_header.cpp) --

    // What a format of the document comes to in the file, worked out once per format: a
    // document of 100,000 runs has a few dozen formats. The first sight enters its font and
    // colours into the tables.
    struct FormatFacts {
        RunState run;
        int field = 0; // the serial of the field the text belongs to; 0 none
    };
    const FormatFacts &factsOf(int formatIndex, const QTextCharFormat &format);
    // The facts of the format an empty paragraph is typed in; none for a cell's mark.
    const FormatFacts *emptyParagraphFacts(const QTextBlock &block);
    FontKey fontKeyOf(const CharFormat &f) const;
    int fontIndex(const FontKey &key);
    int colorIndex(const CharFormat &f) { return f.autoColor ? 0 : rgbIndex(f.color.rgb()); }
    // The colour behind the text; 0 where there is none.
    int highlightIndex(const QTextCharFormat &format);
    int rgbIndex(QRgb given);
    void collectFontsAndColors(const QTextBlock &block);
    void writeHeader();
    void writeListTables();
    void appendBytes(const QByteArray &bytes) { m_out.append(bytes.constData(), bytes.size()); }
    // A font's name in the font table. The reader decodes it with the code page of the font's
    // character set: CP932 names are written as CP932 bytes (both bytes of a double-byte
    // character as \\'hh, a trail byte may look like ASCII); for any other code page, and for a
    // character CP932 cannot hold, \\uN with "?" says which character is meant.
    void writeFontName(const FontKey &font);

    // -- Paragraphs --

    static ParaState paraStateOf(const QTextBlock &block);
    void writeParagraphProperties(const ParaState &para);
    // The colours of shaded cells, for the colour table.
    void collectCellShading(const QTextBlock &block);
    // Tab stops, and a page break before the paragraph.
    static void paragraphLayoutOf(const QTextBlock &block, ParaState &s);
    void writeTabsAndBreak(const ParaState &para);

    // -- Runs, kept groups and fields (rtfwriter_fields.cpp) --

    void writeRun(const QTextFragment &fragment);
    // Pictures, and groups kept as the file had them (a shape in place of its picture).
    void writeObjects(const QTextCharFormat &format, qsizetype count);

    // Opens the field a run's format belongs to, after closing the one before.
    void switchField(int serial, const QTextFormat &format);
    // Closing the field's group restores the state from before it: the run's, and the
    // paragraph's when paragraphs were written inside it.
    void closeField();
    // Kept bytes were read with a \uc of their own: it is put in effect before they are written.
    void useUnicodeSkip(int skip);
    // Section breaks, and groups read between a paragraph and a table, go after the paragraph's
    // \par, each under the \uc it was read with.
    void queueAfterParagraph(const QByteArray &kept, int skip, bool section);
    void writeAfterParagraph();
    // Whether the paragraph `next` begins in the field under way (outside tables only).
    bool fieldContinues(const QTextBlock &next) const;
    // The words that make `target` the format of what follows.
    void switchRun(const RunState &target);
    static int positionOf(const QTextCharFormat &format);
    void writePictures(const Picture &picture, qsizetype count);

    const QTextDocument &m_document;
    const CharFormat m_defaults;
    const QColor m_windowText;
    Output m_out;
    std::vector<std::optional<FormatFacts>> m_formats; // by the document's format index
    enum class EmptyParagraphKind : uint8_t { Unknown, Text, CellMark };
    std::vector<EmptyParagraphKind> m_emptyParagraphKinds; // by the document's format index
    std::map<FontKey, int> m_fonts;
    std::vector<FontKey> m_fontOrder;
    std::map<QRgb, int> m_colors;
    std::vector<QRgb> m_colorOrder;
    int m_symbolFont = -1;
    RunState m_run;
    int m_uc = 1;
    Stage m_stage = Stage::Start;
    QTextBlock m_block;
    RtfLists::Writing m_numbered { 2 }; // \\ls1 is the bullets'
    bool m_firstParagraph = true;
    bool m_hasTables = false;
    bool m_inTable = false; // the paragraph before is in a table
    ParaState m_previousParagraph;
    ParaState m_currentParagraph;
    int m_fieldSerial = 0; // of the field open; 0 none
    RunState m_fieldRun; // the run's state where it opened
    int m_fieldUc = 1;
    bool m_fieldParagraphs = false; // paragraphs ended inside it
    QByteArray m_sectionsAfter; // section breaks read in the paragraph, written after it
    int m_sectionsUc = 1; // the \uc the first of them was read with
    int m_sectionsEndUc = 1; // and the last
    bool m_sectionsEndInSection = false; // the last of them is a section break
    bool m_sectionReplacesPar = false; // the first of them ended the paragraph in place of \\par
    // Section breaks were written: the next paragraph's \\pard ends them, so that a group it
    // begins with (a bookmark, a header kept in the text) is not read as theirs.
    bool m_sectionEnded = false;
};

} // namespace RtfWriting
