// Reads and writes the character rules inside Qt's text engine (its private header, the one of
// the Qt the program is built with).

#include "paragraphrules.h"

#include <private/qtextengine_p.h>
#include <private/qunicodetools_p.h>

#include <algorithm>
#include <cstring>

namespace ParagraphRules {

namespace {

static_assert(sizeof(QCharAttributes) == 1);

constexpr auto Options = QUnicodeTools::CharAttributeOptions(QUnicodeTools::GraphemeBreaks | QUnicodeTools::LineBreaks
                                                             | QUnicodeTools::WhiteSpaces
                                                             | QUnicodeTools::HangulLineBreakTailoring);

} // namespace

std::pair<int, int> findBetween(QTextEngine *engine, int from, int to)
{
    QTextEngine::LayoutData *data = engine->layoutData;
    const int length = int(data->string.size());
    const QChar *text = data->string.constData();
    // A run of spaces carries a rule across it: the stretch takes such runs at its ends whole.
    while (from > 0 && text[from - 1].isSpace())
        --from;
    while (to < length && text[to].isSpace())
        ++to;
    const int contextFrom = std::max(0, from - Context);
    const int contextTo = std::min(length, to + Context);
    std::vector<QUnicodeTools::ScriptItem> scripts;
    // From the item the context begins in: items are in the order of their positions, and a
    // paragraph may have a hundred thousand of them.
    const auto firstAfter = std::upper_bound(data->items.cbegin(), data->items.cend(), contextFrom,
                                             [](int p, const QScriptItem &item) { return p < item.position; });
    const int firstItem = std::max(0, int(firstAfter - data->items.cbegin()) - 1);
    for (int i = firstItem; i < data->items.size(); ++i) {
        const QScriptItem &item = data->items.at(i);
        if (int(item.position) + engine->length(i) <= contextFrom)
            continue;
        if (item.position >= contextTo)
            break;
        scripts.push_back({ std::max<qsizetype>(0, item.position - contextFrom), QChar::Script(item.analysis.script) });
    }
    if (scripts.empty())
        return { from, from };
    auto *rules = reinterpret_cast<QCharAttributes *>(data->memory);
    if (contextFrom == 0 && contextTo == length) {
        QUnicodeTools::initCharAttributes(QStringView(data->string), scripts.data(), qsizetype(scripts.size()), rules,
                                          Options);
        return { 0, length };
    }
    std::vector<QCharAttributes> found(static_cast<size_t>(contextTo - contextFrom + 1));
    QUnicodeTools::initCharAttributes(QStringView(data->string).sliced(contextFrom, contextTo - contextFrom),
                                      scripts.data(), qsizetype(scripts.size()), found.data(), Options);
    std::memcpy(rules + from, found.data() + (from - contextFrom), static_cast<size_t>(to - from));
    return { from, to };
}

bool findSparingGlyphs(QTextEngine *engine, int through)
{
    constexpr int FirstGlyphs = 4096;
    QTextEngine::LayoutData *data = engine->layoutData;
    if (!data || data->haveCharAttributes)
        return data != nullptr;
    if (data->memory_on_stack || data->allocated != 0 || !data->reallocate(FirstGlyphs))
        return false;
    const int length = int(data->string.size());
    through = std::clamp(through, 0, length);
    if (through < length) {
        QCharAttributes unknown {};
        unknown.graphemeBoundary = true;
        auto *rules = reinterpret_cast<QCharAttributes *>(data->memory);
        std::fill(rules + through, rules + length + 1, unknown);
    }
    findBetween(engine, 0, through);
    data->haveCharAttributes = true;
    return true;
}

void reuse(QTextEngine *engine, const std::vector<unsigned char> &old, int oldLength, int start, int oldEnd, int delta)
{
    QTextEngine::LayoutData *data = engine->layoutData;
    const int length = int(data->string.size());
    // One entry per character and one for the end of the text. The engine's memory always has
    // room for the whole text's rules; its glyph space grows as items are shaped, so it is not
    // asked for here (a glyph table for the whole paragraph, cleared, at every key).
    if (int(old.size()) != oldLength + 1 || oldLength + delta != length || !engine->ensureSpace(1))
        return;
    const auto [from, to] = findBetween(engine, std::max(0, start - Context), std::min(length, oldEnd + delta + Context));
    if (from == to)
        return;
    auto *rules = reinterpret_cast<unsigned char *>(data->memory);
    std::copy(old.begin(), old.begin() + from, rules);
    std::copy(old.begin() + (to - delta), old.end(), rules + to);
    data->haveCharAttributes = true;
}

} // namespace ParagraphRules
