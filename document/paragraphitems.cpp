// Reads and writes the text engine's item table (Qt6::GuiPrivate), as the line breaking beside it
// does. The cuts follow Qt's own rules for text without right-to-left writing; the tests hold
// them against Qt's itemization.

#include "paragraphitems.h"

#include <QTextBlock>
#include <QTextLayout>

#include <private/qtextdocument_p.h>
#include <private/qtextengine_p.h>
#include <private/qunicodetools_p.h>

#include <algorithm>

namespace ParagraphItems {

namespace {

// Qt's longest item, in characters.
constexpr int MaxItemLength = 4096;

// Characters that make Qt analyse a paragraph's directions.
bool directional(char32_t c)
{
    if (c < 0x590)
        return false;
    switch (QChar::direction(c)) {
    case QChar::DirR:
    case QChar::DirAN:
    case QChar::DirLRE:
    case QChar::DirLRO:
    case QChar::DirAL:
    case QChar::DirRLE:
    case QChar::DirRLO:
    case QChar::DirPDF:
    case QChar::DirLRI:
    case QChar::DirRLI:
    case QChar::DirFSI:
    case QChar::DirPDI:
        return true;
    default:
        return false;
    }
}

QScriptAnalysis::Flags flagsOf(char16_t c)
{
    switch (c) {
    case QChar::ObjectReplacementCharacter:
        return QScriptAnalysis::Object;
    case QChar::LineSeparator:
        return QScriptAnalysis::LineOrParagraphSeparator;
    case u'\t':
        return QScriptAnalysis::Tab;
    default:
        return QScriptAnalysis::None;
    }
}

QScriptItem itemOf(int position, unsigned script, unsigned flags)
{
    QScriptAnalysis a {};
    a.script = static_cast<unsigned short>(script);
    a.flags = static_cast<unsigned short>(flags);
    return QScriptItem(position, a);
}

// Cuts [start, end), a stretch of one format, as Qt cuts a run of a format: a new item where
// the script or the flags change, at every tab and object, and after 4096 characters.
// `scriptAt` gives the script of each character, asked in order.
template<typename ScriptAt>
void cut(const QString &text, int start, int end, ScriptAt &scriptAt, QScriptItemArray &items)
{
    if (start >= end)
        return;
    const char16_t *chars = reinterpret_cast<const char16_t *>(text.constData());
    unsigned itemScript = scriptAt(start);
    QScriptAnalysis::Flags itemFlags = flagsOf(chars[start]);
    for (int i = start + 1; i < end; ++i) {
        const unsigned script = scriptAt(i);
        const QScriptAnalysis::Flags flags = flagsOf(chars[i]);
        if (flags == itemFlags && (script == itemScript || chars[i] == u'.')
            && flags < QScriptAnalysis::SpaceTabOrObject && i - start < MaxItemLength)
            continue;
        items.append(itemOf(start, itemScript, itemFlags));
        start = i;
        itemScript = script;
        itemFlags = flags;
    }
    items.append(itemOf(start, itemScript, itemFlags));
}

bool changesCase(const QTextFormatCollection *formats, int format)
{
    const QTextCharFormat f = formats->charFormat(format);
    const QFont::Capitalization c = f.hasProperty(QTextFormat::FontCapitalization) ? f.fontCapitalization()
                                                                                   : formats->defaultFont().capitalization();
    return c != QFont::MixedCase;
}

// Text being composed and formats of the layout's own are cut by Qt.
bool ownFormats(const QTextLayout *layout)
{
    return !layout->preeditAreaText().isEmpty() || !layout->formats().isEmpty();
}

} // namespace

std::vector<Item> keep(const QTextLayout *layout)
{
    const QTextEngine *engine = layout->engine();
    const QTextEngine::LayoutData *data = engine->layoutData;
    if (!data || data->hasBidi || data->items.isEmpty() || ownFormats(layout)
        || engine->option.textDirection() == Qt::RightToLeft)
        return {};
    std::vector<Item> items;
    items.reserve(size_t(data->items.size()));
    for (const QScriptItem &item : std::as_const(data->items)) {
        const QScriptAnalysis a = item.analysis;
        if (a.bidiLevel != 0 || a.bidiFlags != 0 || a.bidiDirection != QChar::DirL
            || (a.flags != QScriptAnalysis::None && a.flags < QScriptAnalysis::LineOrParagraphSeparator))
            return {};
        items.push_back({ item.position, static_cast<unsigned char>(a.script), static_cast<unsigned char>(a.flags) });
    }
    return items;
}

bool itemize(QTextLayout *layout, const std::vector<Item> &old, int start, int oldEnd, int delta)
{
    constexpr auto shown = QTextOption::ShowTabsAndSpaces | QTextOption::ShowLineAndParagraphSeparators
        | QTextOption::ShowDocumentTerminator;
    QTextEngine *engine = layout->engine();
    const QTextBlock &block = engine->block;
    const QTextDocumentPrivate *store = block.isValid() ? QTextDocumentPrivate::get(block) : nullptr;
    if (old.empty() || old.front().position != 0 || !store || ownFormats(layout)
        || engine->option.textDirection() == Qt::RightToLeft || (engine->option.flags() & shown))
        return false;
    engine->validate();
    QTextEngine::LayoutData *data = engine->layoutData;
    if (!data || !data->items.isEmpty())
        return false;
    const QString &text = data->string;
    const int length = int(text.size());
    const int end = oldEnd + delta; // the edit's end in the new text
    if (start < 0 || start > end || end > length || old.back().position >= length - delta)
        return false;
    // The new characters, and one on each side for a surrogate pair the edit made or split.
    for (int i = qMax(0, start - 1); i < qMin(length, end + 1); ++i) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < length && text.at(i + 1).isLowSurrogate())
            c = QChar::surrogateToUcs4(char16_t(c), text.at(++i).unicode());
        if (directional(c))
            return false;
    }

    // From the script change at or before the character before the edit: Qt's script runs
    // begin at a character of their own script, whose run depends on nothing before it.
    const auto after = [&](int position) {
        return std::upper_bound(old.begin(), old.end(), position, [](int p, const Item &item) { return p < item.position; });
    };
    auto first = after(qMax(0, start - 1)) - 1;
    while (first != old.begin() && first->script == (first - 1)->script)
        --first;
    const int from = first->position;
    // To the second script change behind the edit: the first may now continue the run before
    // it, while the script before the second is that of the first, as it was.
    auto last = after(oldEnd);
    for (int changes = 0; last != old.end(); ++last) {
        if (last->script != (last - 1)->script && ++changes == 2)
            break;
    }
    const int to = last == old.end() ? length : last->position + delta;
    if (from > to)
        return false;

    QUnicodeTools::ScriptItemArray scripts;
    QUnicodeTools::initScripts(QStringView(text).sliced(from, to - from), &scripts);
    qsizetype run = 0;
    auto scriptAt = [&](int i) -> unsigned {
        while (run + 1 < scripts.size() && from + scripts.at(run + 1).position <= i)
            ++run;
        return scripts.isEmpty() ? unsigned(QChar::Script_Common) : unsigned(scripts.at(run).script);
    };

    QScriptItemArray items;
    items.reserve(qsizetype(old.size()) + 16);
    for (auto i = old.begin(); i != first; ++i)
        items.append(itemOf(i->position, i->script, i->flags));
    // The stretch, by the format's runs (the paragraph's separator is not in the text).
    const QTextFormatCollection *formats = store->formatCollection();
    const int base = block.position();
    QTextDocumentPrivate::FragmentIterator it = store->find(base + from);
    int position = from;
    while (position < to) {
        const int format = it.value()->format;
        if (changesCase(formats, format))
            return false;
        int runEnd = int(it.position()) - base + int(it.value()->size_array[0]);
        for (++it; runEnd < to && !it.atEnd() && it.value()->format == format; ++it)
            runEnd += int(it.value()->size_array[0]);
        runEnd = qMin(runEnd, to);
        if (runEnd <= position)
            return false;
        cut(text, position, runEnd, scriptAt, items);
        position = runEnd;
    }
    for (auto i = last; i != old.end(); ++i)
        items.append(itemOf(i->position + delta, i->script, i->flags));
    data->items = std::move(items);
    data->hasBidi = false;
    return true;
}

} // namespace ParagraphItems
