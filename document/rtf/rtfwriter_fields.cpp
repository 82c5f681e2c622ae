// The RTF writer: runs of text, fields, pictures and the groups kept as the file had them.

#include "document/pictures.h"
#include "document/tablecells.h"
#include "rtfkept.h"
#include "rtfpicture.h"
#include "rtftextoutput.h"
#include "rtfwriting.h"

#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextFragment>

namespace RtfWriting {

void Writer::writeRun(const QTextFragment &fragment)
{
    const QTextCharFormat format = fragment.charFormat();
    const FormatFacts &facts = factsOf(fragment.charFormatIndex(), format);
    switchField(facts.field, format);
    switchRun(facts.run);
    const QString text = fragment.text();
    if (text.startsWith(QChar::ObjectReplacementCharacter)
        && (Pictures::isPicture(format) || format.objectType() == RtfKept::ObjectType))
        writeObjects(format, text.size());
    else
        RtfTextOutput::writeText(m_out, m_uc, text);
}

void Writer::writeObjects(const QTextCharFormat &format, qsizetype count)
{
    const QByteArray kept = RtfKept::keptGroup(format);
    const bool section = RtfKept::isSection(format);
    if (section || (RtfKept::isAfterParagraph(format) && !m_inTable && !kept.isEmpty())) {
        if (m_sectionsAfter.isEmpty())
            m_sectionReplacesPar = section && RtfKept::sectionEndsParagraph(format) && !m_inTable;
        for (qsizetype i = 0; i < count; ++i)
            queueAfterParagraph(kept, RtfKept::keptUnicodeSkip(format), section);
        return;
    }
    if (kept.isEmpty()) {
        if (Pictures::isPicture(format))
            writePictures(Pictures::pictureOf(format), count);
        return;
    }
    useUnicodeSkip(RtfKept::keptUnicodeSkip(format));
    for (qsizetype i = 0; i < count; ++i) {
        if (RtfKept::hasFootnoteMark(format))
            m_out += "\\chftn";
        m_out.append(kept.constData(), kept.size());
    }
}

void Writer::switchField(int serial, const QTextFormat &format)
{
    if (serial == m_fieldSerial)
        return;
    closeField();
    const QByteArray instruction = RtfKept::fieldInstruction(format);
    // A field the file gave no instruction still wraps its result: a field read inside it
    // was kept whole because it stood in another field, and must again.
    if (serial == 0)
        return;
    m_fieldUc = m_uc;
    m_out += "{\\field";
    if (!instruction.isEmpty())
        useUnicodeSkip(RtfKept::fieldUnicodeSkip(format));
    m_out.append(instruction.constData(), instruction.size());
    m_out += "{\\fldrslt ";
    m_fieldSerial = serial;
    m_fieldRun = m_run;
    m_fieldParagraphs = false;
}

void Writer::queueAfterParagraph(const QByteArray &kept, int skip, bool section)
{
    if (m_sectionsAfter.isEmpty()) {
        m_sectionsUc = skip;
    } else if (skip != m_sectionsEndUc) {
        m_sectionsAfter += "\\uc" + QByteArray::number(skip) + ' ';
    }
    // A group right after a section's words is read as the section's (a header of it): \pard
    // ends the section's words first.
    if (!section && m_sectionsEndInSection)
        m_sectionsAfter += "\\pard ";
    m_sectionsEndUc = skip;
    m_sectionsEndInSection = section;
    m_sectionsAfter += kept;
}

void Writer::useUnicodeSkip(int skip)
{
    if (skip == m_uc)
        return;
    m_out.word("uc", skip);
    m_uc = skip;
}

void Writer::closeField()
{
    if (m_fieldSerial == 0)
        return;
    m_out += "}}";
    m_fieldSerial = 0;
    m_run = m_fieldRun;
    m_uc = m_fieldUc;
    if (m_fieldParagraphs)
        writeParagraphProperties(m_currentParagraph);
    m_fieldParagraphs = false;
}

bool Writer::fieldContinues(const QTextBlock &next) const
{
    if (!next.isValid() || (m_hasTables && TableCells::spotOf(next).table))
        return false;
    const QTextBlock::iterator first = next.begin();
    return !first.atEnd() && RtfKept::fieldSerial(first.fragment().charFormat()) == m_fieldSerial;
}

void Writer::switchRun(const RunState &target)
{
    if (m_run.sizeStated && !target.sizeStated) {
        // Only \plain takes the size back to the reader's own default; what else differs from
        // the defaults is written again after it.
        m_out.word("plain");
        m_run = RunState();
    }
    const bool font = target.font != m_run.font;
    const bool size = target.halfPoints != m_run.halfPoints || target.sizeStated != m_run.sizeStated;
    const bool bold = target.bold != m_run.bold;
    const bool italic = target.italic != m_run.italic;
    if (font || size || bold || italic) {
        // The double-byte text's own face, size and weight first (\dbch with associated
        // words), for readers that keep those apart from the Latin text's; then \loch and
        // the run's own words, which the others apply to all text.
        m_out += "\\dbch";
        if (font)
            m_out.word("af", target.font);
        if (size)
            m_out.word("afs", target.halfPoints);
        if (bold)
            m_out.word(target.bold ? "ab" : "ab0");
        if (italic)
            m_out.word(target.italic ? "ai" : "ai0");
        m_out += "\\loch";
    }
    if (font)
        m_out.word("f", target.font);
    if (size)
        m_out.word("fs", target.halfPoints);
    if (bold)
        m_out.word(target.bold ? "b" : "b0");
    if (italic)
        m_out.word(target.italic ? "i" : "i0");
    if (target.underline != m_run.underline)
        m_out.word(target.underline ? "ul" : "ulnone");
    if (target.strike != m_run.strike)
        m_out.word(target.strike ? "strike" : "strike0");
    if (target.color != m_run.color)
        m_out.word("cf", target.color);
    if (target.position != m_run.position)
        m_out.word(target.position == 1 ? "super" : target.position == 2 ? "sub" : "nosupersub");
    if (target.highlight != m_run.highlight)
        m_out.word("highlight", target.highlight);
    m_run = target;
}

int Writer::positionOf(const QTextCharFormat &format)
{
    switch (format.verticalAlignment()) {
    case QTextCharFormat::AlignSuperScript:
        return 1;
    case QTextCharFormat::AlignSubScript:
        return 2;
    default:
        return 0;
    }
}

void Writer::writePictures(const Picture &picture, qsizetype count)
{
    QByteArray group;
    for (qsizetype i = 0; i < count; ++i)
        RtfPicture::write(group, picture);
    m_out.append(group.constData(), group.size());
}
} // namespace RtfWriting
