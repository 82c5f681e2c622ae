// The RTF reader: groups it keeps as the file had them (see RtfKept), and fields.

#include "rtfkept.h"
#include "rtfreading.h"

#include <QTextDocument>

namespace RtfReading {

namespace {

// Words the writer writes itself, or that only open the file.
bool writtenAnyway(std::string_view name)
{
    return name == "rtf" || name == "deflang" || name == "deflangfe" || name == "viewkind";
}

// A group the end of the file cut off, closed. A control cut off with it goes first: after a
// lone backslash or a cut \'h the closing brace would be read as text, after a \binN whose
// data was cut (from `cutBinary` on) as its data.
QByteArray closedGroup(const char *start, const char *end, size_t missingBraces, const char *cutBinary)
{
    if (missingBraces > 0 && cutBinary && cutBinary >= start && cutBinary < end)
        end = cutBinary;
    QByteArray bytes(start, end - start);
    if (missingBraces == 0)
        return bytes;
    const qsizetype size = bytes.size();
    for (qsizetype from = qMax<qsizetype>(0, size - 3); from < size; ++from) {
        if (bytes.at(from) != '\\')
            continue;
        qsizetype run = 0; // backslashes ending here: an even number are escaped ones
        while (from - run >= 0 && bytes.at(from - run) == '\\')
            ++run;
        const QByteArrayView rest = QByteArrayView(bytes).sliced(from + 1);
        const bool cut = rest.isEmpty() || rest == "'" || (rest.size() == 2 && rest.front() == '\'');
        if (run % 2 == 1 && cut) {
            // A brace after \' was read as one (it opened or closed a group, which the missing
            // braces count): it stays, only the control goes.
            if (rest.size() == 2 && (rest.back() == '{' || rest.back() == '}'))
                bytes.remove(from, 2);
            else
                bytes.truncate(from);
            break;
        }
    }
    bytes.append(qsizetype(missingBraces), '}');
    return bytes;
}

} // namespace

bool Reader::bodyEmpty() const
{
    return m_document.characterCount() <= 1 && m_pendingText.isEmpty() && m_pendingBytes.isEmpty() && !m_breakPending;
}

void Reader::documentWord(std::string_view name, const char *start, bool ignorable, const WordInfo &info)
{
    if (m_stack.depth() != 1 || group().destination != Destination::Text)
        return;
    if (info.word == Word::Pard || info.word == Word::Plain || !bodyEmpty()) {
        m_leadingWords = false;
        return;
    }
    if (ignorable || info.word != Word::Unknown || writtenAnyway(name) || !RtfKept::isKeptDocumentWord(name))
        return;
    m_leading.append(start, m_p - start);
}

bool Reader::beginSection(const char *wordStart)
{
    if (m_keep || m_field || group().destination != Destination::Text || group().para.inTable)
        return false;
    placeHeldAnchors(false); // before the break, as they were read
    endSection();
    // A \sect right after text ends that paragraph as a \par would; after a \par it follows it.
    const bool ends = m_paragraphHasContent || !m_pendingText.isEmpty() || !m_pendingBytes.isEmpty()
        || !m_breakPending || m_tables.isOpen();
    if (ends)
        paragraphBreak();
    m_section = Section { QByteArray(wordStart, m_p - wordStart), formatFor(group().chars), ends, group().unicodeSkip };
    return true;
}

bool Reader::sectionWord(std::string_view name, const char *wordStart, bool ignorable, const WordInfo &info)
{
    if (m_keep || group().destination != Destination::Text)
        return false;
    const bool unknown = info.word == Word::Unknown;
    if (unknown && !ignorable && RtfKept::isSectionWord(name)) {
        m_section->words.append(wordStart, m_p - wordStart);
        return true;
    }
    // A header, a footer or another group kept before the text goes with the section (see
    // beginKeep); anything else is the next section's text.
    const bool group = info.word == Word::Destination || (ignorable && unknown);
    if (!group || (!(ignorable && unknown) && RtfKept::kindOf(name) != RtfKept::Kind::Leading))
        endSection();
    return false;
}

void Reader::endSection()
{
    if (!m_section)
        return;
    Section section = std::move(*m_section);
    m_section.reset();
    // The words end where the writer's next bytes begin: a last number must not run into them.
    const char last = section.words.back();
    if ((last >= '0' && last <= '9') || (last >= 'a' && last <= 'z') || (last >= 'A' && last <= 'Z'))
        section.words += ' ';
    // The paragraph it ended is the cursor's: the next one is not begun until text follows.
    QTextCharFormat format = RtfKept::sectionFormat(section.words, section.base, section.endsParagraph);
    RtfKept::setKeptUnicodeSkip(format, section.uc);
    cursor().insertText(QString(QChar::ObjectReplacementCharacter), format);
}

bool Reader::beginKeep(std::string_view name, const char *wordStart, bool unknownIgnorable)
{
    if (m_keep || group().destination != Destination::Text || !m_lastOpen || m_stack.depth() != m_lastOpenDepth)
        return false;
    // Only a group the word opens (after line breaks, and a \* with its own) is kept whole: what
    // its group read before it was read as text (a space; "{\\*\fldinst" is an escaped
    // backslash and a star, then the word).
    if (!RtfWords::opensGroup(m_lastOpen + 1, wordStart))
        return false;
    // A nested table's properties: the reader reads the table itself.
    if (name == "nesttableprops")
        return false;
    Purpose purpose = Purpose::Anchor;
    if (name == "field") {
        if (!m_field)
            return beginField();
    } else if (name == "fldinst") {
        if (!m_field || m_stack.depth() != m_field->depth + 1)
            return false;
        purpose = Purpose::Instruction;
    } else {
        const RtfKept::Kind kind = unknownIgnorable ? RtfKept::Kind::Leading : RtfKept::kindOf(name);
        switch (kind) {
        case RtfKept::Kind::None:
            return false;
        case RtfKept::Kind::Footnote:
            purpose = Purpose::Footnote;
            break;
        case RtfKept::Kind::Leading:
            if (m_section)
                purpose = Purpose::Section; // a header or footer of the section that begins
            else
                purpose = bodyEmpty() && !m_field ? Purpose::Leading : Purpose::Anchor;
            break;
        case RtfKept::Kind::Anchored:
            purpose = name == "shp" ? Purpose::Shape : Purpose::Anchor;
            break;
        }
    }
    m_keep = Keeping { m_lastOpen, m_stack.depth(), purpose, codePageOf(group().chars), Picture() };
    setDestination(Destination::Skip);
    return true;
}

void Reader::finishKeep(size_t missingBraces)
{
    Keeping keep = std::move(*m_keep);
    m_keep.reset();
    QByteArray bytes = closedGroup(keep.start, m_p, missingBraces, m_cutBinary);
    // The group's \u words were read with the \uc of the group around it.
    const int uc = group().unicodeSkip;
    switch (keep.purpose) {
    case Purpose::Leading:
        m_leading += bytes;
        return;
    case Purpose::Section:
        if (!m_section)
            break; // the section has ended: kept where it stood instead
        m_section->words += bytes;
        return;
    case Purpose::Instruction:
        m_field->target = RtfKept::hyperlinkTarget(bytes, keep.codePage);
        m_field->instruction = std::move(bytes);
        m_field->instructionUc = uc;
        return;
    case Purpose::Footnote: {
        const QString mark = m_footnoteMark ? QString::number(++m_footnotes) : QString();
        const QTextCharFormat base = formatFor(m_footnoteMark ? m_footnoteMarkState : group().chars);
        m_footnoteMark = false;
        QTextCharFormat format = RtfKept::anchorFormat(bytes, base, mark, RtfKept::plainTextOf(bytes, keep.codePage));
        RtfKept::setKeptUnicodeSkip(format, uc);
        insertAnchor(format);
        return;
    }
    case Purpose::Shape:
        if (!keep.picture.isNull()) {
            QTextCharFormat format = Pictures::charFormat(keep.picture, formatFor(group().chars));
            RtfKept::keepShape(format, bytes);
            RtfKept::setKeptUnicodeSkip(format, uc);
            insertAnchor(format);
            return;
        }
        break;
    case Purpose::Anchor:
    case Purpose::Field:
        break;
    }
    QTextCharFormat format = RtfKept::anchorFormat(bytes, formatFor(group().chars));
    RtfKept::setKeptUnicodeSkip(format, uc);
    insertAnchor(format);
}

void Reader::takePicture()
{
    if (m_keep && m_keep->purpose == Purpose::Shape) {
        m_keep->picture = m_picture.finish(); // shown where the shape stands, once it is read
        return;
    }
    insertPicture();
}

bool Reader::beginShapePicture()
{
    if (!m_keep || m_keep->purpose != Purpose::Shape || !m_keep->picture.isNull() || m_picture.isActive())
        return false;
    setDestination(Destination::Picture);
    m_picture.begin(RtfPicture::Source::Plain, m_stack.depth());
    return true;
}

void Reader::insertAnchor(const QTextCharFormat &format)
{
    // A group between a row's last cell and its end stays at the end of that cell, where text
    // would have to go after a tab of its own.
    const bool closingRow = group().para.inTable && m_tables.afterLastCell() && !m_breakPending
        && m_pendingText.isEmpty();
    // Between paragraphs: after a break, before the next paragraph's first text.
    const bool between = m_breakPending && m_pendingText.isEmpty() && m_pendingBytes.isEmpty();
    const bool showsNothing = !Pictures::isPicture(format) && RtfKept::markOf(format).isEmpty();
    if (between && showsNothing && !m_field && !group().para.inTable && !m_tables.isOpen()) {
        m_heldAnchors.push_back(format);
        return;
    }
    if (!closingRow) {
        placeForTable(group().para.inTable);
        flushText();
        startPendingParagraph();
    }
    QTextCharFormat anchor = format;
    if (m_field) {
        RtfKept::setField(anchor, m_field->instruction, m_field->serial);
        RtfKept::setFieldUnicodeSkip(anchor, m_field->instructionUc);
        m_field->hasResult = true;
    }
    cursor().insertText(QString(QChar::ObjectReplacementCharacter), anchor);
    m_paragraphHasContent = true;
}

void Reader::placeHeldAnchors(bool inTable)
{
    if (m_heldAnchors.empty())
        return;
    std::vector<QTextCharFormat> held;
    held.swap(m_heldAnchors);
    const bool tableBegins = inTable && !m_tables.isOpen() && m_breakPending;
    if (!tableBegins)
        startPendingParagraph();
    for (QTextCharFormat &format : held) {
        if (tableBegins)
            RtfKept::setAfterParagraph(format);
        cursor().insertText(QString(QChar::ObjectReplacementCharacter), format);
    }
    if (!tableBegins)
        m_paragraphHasContent = true;
}

bool Reader::beginField()
{
    flushText();
    m_field = Field { m_lastOpen, m_stack.depth(), {}, {}, ++m_fieldSerial, false, 1 };
    return true;
}

void Reader::finishField(size_t missingBraces)
{
    flushText();
    const Field field = std::move(*m_field);
    m_field.reset();
    if (field.hasResult)
        return;
    // Nothing to show: the whole field is kept at its place.
    QByteArray bytes = closedGroup(field.start, m_p, missingBraces, m_cutBinary);
    QTextCharFormat format = RtfKept::anchorFormat(bytes, formatFor(group().chars));
    RtfKept::setKeptUnicodeSkip(format, group().unicodeSkip);
    insertAnchor(format);
}

void Reader::fieldShapesText()
{
    // Kept whole as well, the field would break them again each time it is read back.
    if (m_field)
        m_field->hasResult = true;
}

QTextCharFormat Reader::fieldFormat(const QTextCharFormat &format)
{
    QTextCharFormat shown = format;
    RtfKept::setField(shown, m_field->instruction, m_field->serial);
    RtfKept::setFieldUnicodeSkip(shown, m_field->instructionUc);
    if (!m_field->target.isEmpty())
        RtfKept::showAsLink(shown, m_field->target);
    m_field->hasResult = true;
    return shown;
}

void Reader::finishKept()
{
    const size_t depth = m_stack.depth();
    if (m_keep)
        finishKeep(depth + 1 - qMin(depth + 1, m_keep->depth));
    endSection();
    if (m_field)
        finishField(depth + 1 - qMin(depth + 1, m_field->depth));
    m_store.finish();
    RtfKept::setLeading(m_document, m_leading);
}

} // namespace RtfReading
