// What a save would lose of the groups kept as the file had them (see RtfKept): what a text save
// leaves out, and which kept groups an edit has deleted.

#include "rtfkept.h"

#include "document/pictures.h"
#include "document/richdocument.h"
#include "rtfkeptproperties.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <algorithm>

namespace RtfKept {

void countLostInText(const QTextDocument &document, Unsaveable &lost)
{
    auto first = [&lost](int position) {
        if (lost.firstLostPosition < 0 || position < lost.firstLostPosition)
            lost.firstLostPosition = position;
    };
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            const bool picture = Pictures::isPicture(format);
            const bool kept = !keptGroup(format).isEmpty() || !fieldInstruction(format).isEmpty();
            if (!picture && !kept)
                continue;
            first(fragment.position());
            const int count = picture || format.objectType() == ObjectType ? fragment.length() : 1;
            (picture ? lost.pictures : lost.keptGroups) += count;
        }
    }
    for (QTextFrame *frame : document.rootFrame()->childFrames()) {
        if (qobject_cast<QTextTable *>(frame)) {
            ++lost.tables;
            first(frame->firstPosition());
        }
    }
    if (!leading(document).isEmpty())
        ++lost.keptGroups;
}

namespace {

// What a kept group is, for telling the user; the low bits of its number in keptInText.
enum Part : qint64 { Footnote, Field, BookmarkStart, BookmarkEnd, Annotation, AnnotationPart, Other, PartCount };
constexpr int PartBits = 3;

Part partOf(const QByteArray &group)
{
    // "{\\*\\word" or "{\\word": the destination word names it.
    qsizetype at = group.startsWith("{\\*") ? 3 : 1;
    if (group.mid(at).startsWith("\\"))
        ++at;
    qsizetype end = at;
    while (end < group.size() && end - at < 16 && group.at(end) >= 'a' && group.at(end) <= 'z')
        ++end;
    const QByteArray word = group.mid(at, end - at);
    if (word == "footnote")
        return Footnote;
    if (word == "field")
        return Field;
    if (word == "bkmkstart")
        return BookmarkStart;
    if (word == "bkmkend")
        return BookmarkEnd;
    if (word == "annotation")
        return Annotation;
    if (word.startsWith("atn") || word.startsWith("atrf"))
        return AnnotationPart;
    return Other;
}

// A group kept in the text: an anchor's (a shape's picture is seen, not counted) or a field's.
bool isKeptInText(const QTextFormat &format)
{
    if (format.hasProperty(FieldProperty))
        return true;
    return format.hasProperty(GroupProperty) && format.objectType() == RtfKept::ObjectType
        && !Pictures::isPicture(format);
}

} // namespace

std::vector<qint64> keptInText(const QTextDocument &document)
{
    std::vector<qint64> kept;
    // The document's formats are few: most documents need no look at their text.
    const QList<QTextFormat> formats = document.allFormats();
    if (std::none_of(formats.begin(), formats.end(), isKeptInText))
        return kept;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!isKeptInText(format))
                continue;
            // Anchors and fields are numbered apart: a field's number is its own bit above.
            const bool field = format.hasProperty(FieldProperty);
            const qint64 serial = field ? fieldSerial(format) : format.intProperty(SerialProperty);
            const Part part = field ? Field : partOf(keptGroup(format));
            kept.push_back((((serial << 1) | (field ? 1 : 0)) << PartBits) | part);
        }
    }
    std::sort(kept.begin(), kept.end());
    kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
    return kept;
}

DroppedGroups dropped(const std::vector<qint64> &before, const std::vector<qint64> &now)
{
    int counts[PartCount] = {};
    auto found = now.begin();
    for (const qint64 id : before) {
        found = std::lower_bound(found, now.end(), id);
        if (found == now.end() || *found != id)
            ++counts[id & ((1 << PartBits) - 1)];
    }
    DroppedGroups out;
    out.footnotes = counts[Footnote];
    out.fields = counts[Field];
    out.bookmarks = qMax(counts[BookmarkStart], counts[BookmarkEnd]);
    out.annotations = counts[Annotation] > 0 ? counts[Annotation] : qMin(counts[AnnotationPart], 1);
    out.others = counts[Other];
    return out;
}

} // namespace RtfKept
