#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <string_view>
#include <vector>

class QAbstractTextDocumentLayout;
class QTextBlock;
class QTextCharFormat;
class QTextDocument;
class QTextFormat;
struct DroppedGroups;
struct Unsaveable;

// RTF the editor does not show but keeps, as the file had it, so that a save writes it back:
//
// - A group of the text (a footnote, a header or footer of a later section, a bookmark, an
//   annotation, a shape, a field without result text...) is kept at its place as one object
//   character (U+FFFC, one byte of the text like a picture) whose format holds the group's bytes.
//   A footnote's anchor shows its mark (the \chftn number) and its text as a tooltip. A shape
//   with a picture is the picture's object character, its format holding the shape's bytes.
// - A field with result text keeps its instruction group on the result's characters, which show
//   as a link when the instruction is a HYPERLINK (underlined, in link colour, the target as
//   a tooltip).
// - What stands before the text (stylesheet, information, document and first section
//   properties, the first section's headers and footers) is kept on the document's root frame
//   and written after the tables the writer makes itself.
// - A section break (\sect with the next section's words and headers and footers) is kept as an
//   anchor that shows nothing, at the end of the section's last paragraph, and written after
//   that paragraph's \par (in its place where \sect ended the paragraph itself).
// - A group that shows nothing, standing between a paragraph and the table after it (a word
//   processor's cell properties, a bookmark), is kept at the end of that paragraph and written
//   after its \par, where it stood.
//
// The formats and the root frame are the document's own: the kept bytes follow its undo history,
// its copies and clones, and go with its content when it is cleared or loaded anew.
namespace RtfKept {

// What a kept group is to the reader.
enum class Kind {
    None, // not kept: read (or dropped) as before
    Anchored, // kept at its place in the text
    Leading, // kept before the text when nothing precedes it, at its place otherwise
    Footnote, // \footnote, kept at its place with its mark
};

// The kind of the group a destination word opens (without its backslash).
Kind kindOf(std::string_view destination);

// Document words kept before the text: the words the reader does not know, except those of the
// page setup, which the document holds itself.
bool isKeptDocumentWord(std::string_view word);

// A word of a section's properties (\sectd, \pgwsxn, \cols, \sbknone, \titlepg...).
bool isSectionWord(std::string_view word);

// The object type of an anchor's character format.
constexpr int ObjectType = 0x1000 + 2; // QTextFormat::UserObject + 2

// The format of an anchor holding `group`, on `base`. A footnote's anchor shows `mark` (empty:
// nothing, the mark is the file's own text) and has `note` as its tooltip.
QTextCharFormat anchorFormat(const QByteArray &group, const QTextCharFormat &base, const QString &mark = {},
                             const QString &note = {});
// The format of a section break's anchor holding `words` (from \sect on), on `base`;
// `endsParagraph`: the \sect ended the paragraph in place of a \par.
QTextCharFormat sectionFormat(const QByteArray &words, const QTextCharFormat &base, bool endsParagraph);
bool isSection(const QTextFormat &format);
bool sectionEndsParagraph(const QTextFormat &format);
// Whether a section break's anchor starts its section on a new page: \sbkpage, \sbkodd,
// \sbkeven, or no break word at all (a new page is the default); not \sbknone (the section goes
// on on the same page) nor \sbkcol (in the next column, which the editor's single column is).
bool sectionBreaksPage(const QTextFormat &format);
// Whether `block` is the first paragraph of a section that starts on a new page: the paragraph
// before it ends with the break of such a section.
bool startsSectionPage(const QTextBlock &block);
// The \uc in effect where a kept group (or a field's instruction) stood when it was read: its
// \u words are followed by that many fallback characters, so the writer puts it in effect
// again before writing the bytes back (1, RTF's default, when the format has none).
void setKeptUnicodeSkip(QTextCharFormat &format, int skip);
int keptUnicodeSkip(const QTextFormat &format);
void setFieldUnicodeSkip(QTextCharFormat &format, int skip);
int fieldUnicodeSkip(const QTextFormat &format);
// A group read between a paragraph and the table after it: written after that paragraph's
// \par, where it stood, not in a paragraph of its own before the table.
void setAfterParagraph(QTextCharFormat &format);
bool isAfterParagraph(const QTextFormat &format);
// Adds a shape's bytes to its picture's format: written in place of the picture.
void keepShape(QTextCharFormat &pictureFormat, const QByteArray &shape);
// The kept group of an anchor or shape picture; empty for other formats.
QByteArray keptGroup(const QTextFormat &format);
// Whether an anchor's mark stands for a \chftn, written before its group.
bool hasFootnoteMark(const QTextFormat &format);
QString markOf(const QTextFormat &format);
// Drops what makes a format an anchor's (for text typed next to one); true if there was any.
bool withoutAnchor(QTextCharFormat &format);

// Field results: the field's instruction group ({\*\fldinst ...}) and a number telling one
// field from the next.
void setField(QTextCharFormat &format, const QByteArray &instruction, int serial);
QByteArray fieldInstruction(const QTextFormat &format);
int fieldSerial(const QTextFormat &format);
// Shows a hyperlink's result as a link: underlined and in link colour (where the file gives it
// neither), with its target as a tooltip.
void showAsLink(QTextCharFormat &format, const QString &target);
// Whether the underline and the colour of a link's text were added to show it, not read.
bool linkUnderlineAdded(const QTextFormat &format);
bool linkColorAdded(const QTextFormat &format);
// The target of a HYPERLINK instruction, empty for other fields.
QString hyperlinkTarget(QByteArrayView instruction, int codePage);

// The text of a group, for reading in a tooltip: its characters, without nested destinations,
// at most MaxNoteChars of them.
constexpr int MaxNoteChars = 1000;
QString plainTextOf(QByteArrayView group, int codePage);

// The bytes kept before the text.
void setLeading(QTextDocument &document, const QByteArray &bytes);
QByteArray leading(const QTextDocument &document);

// Counts in `lost` what a text save leaves out of `document`: pictures, tables, kept groups.
void countLostInText(const QTextDocument &document, Unsaveable &lost);

// The groups kept in the text (not shapes, whose picture the user sees), each once, as sorted
// numbers that tell them apart and say what each is; empty at once for a document without any.
std::vector<qint64> keptInText(const QTextDocument &document);
// What of `before` is missing from `now` (both from keptInText).
DroppedGroups dropped(const std::vector<qint64> &before, const std::vector<qint64> &now);

// Draws anchors (footnote marks; nothing for the others) in a layout.
void registerHandler(QAbstractTextDocumentLayout *layout);

} // namespace RtfKept
