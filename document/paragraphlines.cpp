// Qt offers no way to start a paragraph's line breaking at a given line: that needs the text
// engine behind QTextLayout, whose line table this file reads and writes. The engine's private
// header is the one of the Qt the program is built with (Qt6::GuiPrivate), so the two always
// match; everything else here is public API.

#include "paragraphlines.h"

#include "paragraphrules.h"

#include <QTextBlock>
#include <QTextLayout>

#include <private/qfixed_p.h>
#include <private/qunicodetools_p.h>
#include <private/qtextdocument_p.h>
#include <private/qtextengine_p.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace ParagraphLines {

struct KeptLines::Data {
    QList<QScriptLine> lines;
    qint64 height = 0;
    int oldLength = 0; // the text length the lines were made for
    // The edit, in the old text: [start, oldEnd) became new text, the rest moved by delta.
    int start = 0;
    int oldEnd = 0;
    int delta = 0;
    std::vector<unsigned char> rules; // the old text's character rules, when known
    std::vector<ParagraphItems::Item> items; // the old text's runs, when they can be taken over
};

KeptLines::KeptLines(std::unique_ptr<Data> data)
    : d(std::move(data))
{
}

KeptLines::~KeptLines() = default;

void KeptLines::addEdit(int start, int removed, int added)
{
    // `start` counts in the text as the earlier edits left it.
    const int tailNow = d->oldEnd + d->delta;
    if (start + removed > tailNow)
        d->oldEnd = start + removed - d->delta;
    d->start = std::min(d->start, start);
    d->delta += added - removed;
}

int KeptLines::expectedLength() const
{
    return d->oldLength + d->delta;
}

void KeptLines::setEdit(int start, int removed, int added)
{
    d->start = start;
    d->oldEnd = start + removed;
    d->delta = added - removed;
}

namespace {

struct LineHeights {
    QFixed adjustment; // the line sits this far above the running y
    QFixed height; // how far the running y moves on
    QFixed bottom; // the line's own bottom below the running y
};

// The vertical placement of one line by the paragraph's line height setting.
LineHeights lineHeights(const QTextBlockFormat &format, const QScriptLine &line, qreal scaling)
{
    const qreal ascent = line.ascent.toReal();
    const qreal leading = line.leading.toReal();
    const qreal height = line.height().ceil().toReal();
    const int type = format.lineHeightType();
    const qreal raw = std::ceil(ascent + line.descent.toReal() + leading);
    LineHeights h;
    h.height = QFixed::fromReal(format.lineHeight(raw, scaling));
    h.bottom = QFixed::fromReal(format.lineHeight(height, scaling));
    if (type == QTextBlockFormat::FixedHeight)
        h.adjustment = QFixed::fromReal(ascent + qMax(leading, qreal(0.0))) - ((h.height * 4) / 5);
    else if (type == QTextBlockFormat::MinimumHeight)
        h.adjustment = QFixed::fromReal(height) - h.height;
    return h;
}

QFixed fixed(qint64 units)
{
    return QFixed::fromFixed(static_cast<int>(units));
}

// Breaks lines from where the layout's lines end to the end of the text, or, with `old`, until a
// new line begins where an old one did behind the edit. Returns false when a line did not fit
// even when broken anywhere: the paragraph then switches to word wrapping from that line on,
// which only a full layout reproduces.
struct Breaker {
    QTextLayout *layout;
    QTextEngine *engine;
    const Geometry &g;
    QTextOption option;
    QFixed y;
    QFixed bottom;
    bool fellBack = false;
    int wordEnd = 0; // where the word holding the last line start ends (no break before it)
    int rulesEnd = std::numeric_limits<int>::max(); // the rules found so far end here

    // Where the text from `start` may first break: the end of the word it begins. A spot
    // where Qt might break that is not a break opportunity (a tab, an object, a line
    // separator) ends the word too, which only makes the shortcut below rarer.
    int breakAfter(int start)
    {
        if (start < wordEnd)
            return wordEnd;
        const QCharAttributes *rules = engine->attributes();
        const QString &text = engine->layoutData->string;
        // Where the rules found so far end, a word is taken to end: the longest a line can be
        // is far shorter.
        const int length = std::min(int(text.size()), rulesEnd);
        int p = start + 1;
        for (; p < length; ++p) {
            const QCharAttributes a = rules[p];
            const char16_t c = text.at(p).unicode();
            if (a.lineBreak || a.whiteSpace || a.mandatoryBreak || c == u'\t' || c == QChar::ObjectReplacementCharacter
                || c == QChar::LineSeparator)
                break;
        }
        wordEnd = p;
        return p;
    }

    // A line that begins with a word longer than it is broken inside that word, wherever it
    // would be broken anywhere. Qt finds that out only after measuring the whole word, which
    // for each line of a word of n characters costs n: here the line is broken anywhere
    // first and kept when it ends inside that word. False when that does not settle it.
    bool breakInsideLongWord(QTextLine &line, QFixed width)
    {
        constexpr int LongWord = 64; // characters; shorter words are left to Qt
        if (option.wrapMode() != QTextOption::WrapAtWordBoundaryOrAnywhere || !engine->layoutData)
            return false;
        const int start = line.textStart();
        const int end = breakAfter(start);
        if (end - start < LongWord)
            return false;
        QTextOption anywhere = option;
        anywhere.setWrapMode(QTextOption::WrapAnywhere);
        layout->setTextOption(anywhere);
        line.setLineWidth(width.toReal());
        layout->setTextOption(option);
        return line.textLength() > 0 && start + line.textLength() < end
            && QFixed::fromReal(line.naturalTextWidth()) <= width;
    }

    void breakLine(QTextLine &line)
    {
        line.setLeadingIncluded(true);
        QFixed left = fixed(g.left);
        QFixed right = fixed(g.right);
        if (line.lineNumber() == 0) {
            if (g.direction == Qt::LeftToRight)
                left += fixed(g.textIndent);
            else
                right -= fixed(g.textIndent);
        }
        if (!breakInsideLongWord(line, right - left))
            line.setLineWidth((right - left).toReal());
        if (QFixed::fromReal(line.naturalTextWidth()) > right - left) {
            line.setLineWidth((right - left).toReal());
            if (QFixed::fromReal(line.naturalTextWidth()) > right - left) {
                // As Qt's document layout does: break this line anywhere, then go on word by word.
                const bool anywhere = option.wrapMode() == QTextOption::WrapAtWordBoundaryOrAnywhere;
                if (anywhere) {
                    option.setWrapMode(QTextOption::WrapAnywhere);
                    layout->setTextOption(option);
                }
                line.setLineWidth(qMax<qreal>(line.naturalTextWidth(), (right - left).toReal()));
                if (anywhere) {
                    option.setWrapMode(QTextOption::WordWrap);
                    layout->setTextOption(option);
                    fellBack = true;
                }
            }
        }
        const LineHeights h = lineHeights(g.format, engine->lines.at(line.lineNumber()), g.scaling);
        line.setPosition(QPointF(left.toReal(), (y - h.adjustment).toReal()));
        bottom = y + h.bottom;
        y += h.height;
    }
};

// How far right the lines reach from the layout's position, as Qt's document layout measures
// its content width.
qint64 widestLine(const QTextLayout *layout)
{
    QFixed widest;
    const QTextEngine *engine = layout->engine();
    for (const QScriptLine &line : engine->lines)
        widest = qMax(widest, QFixed::fromReal(line.x.toReal() + line.textWidth.toReal()));
    return widest.value();
}

// The characters of lines [first, last) of the layout being made.
qint64 charactersOf(const QTextEngine *engine, int first, int last)
{
    if (first >= last)
        return 0;
    const QScriptLine &end = engine->lines.at(last - 1);
    return qint64(end.from) + end.length + end.trailingSpaces - engine->lines.at(first).from;
}

Result finish(QTextLayout *layout, Breaker &b, bool reused, qint64 broken)
{
    b.y = qMax(b.y, b.bottom);
    layout->endLayout();
    Result r;
    r.brokenCharacters = broken;
    r.height = b.y.value();
    r.lines = layout->lineCount();
    r.widest = widestLine(layout);
    r.reused = reused;
    return r;
}

// On first finding a paragraph's character rules Qt reserves (and clears) glyphs for half as
// many characters again as it holds; text mostly needs one glyph a character, and what shaping
// needs beyond is added when it comes. About 20 bytes a character of a long paragraph less.
void reserveGlyphs(QTextEngine *engine)
{
    constexpr int Long = 4096; // characters; shorter paragraphs are left as Qt has them
    QTextEngine::LayoutData *data = engine->layoutData;
    if (!data || data->haveCharAttributes || data->string.size() < Long)
        return;
    const int needed = data->used + int(data->string.size()) + 16;
    if (data->glyphLayout.numGlyphs < needed)
        data->reallocate(needed);
}

Result layOutFully(QTextLayout *layout, const Geometry &g)
{
    layout->setTextOption(g.option);
    Breaker b { layout, layout->engine(), g, g.option, {}, {} };
    layout->beginLayout();
    reserveGlyphs(layout->engine());
    for (;;) {
        QTextLine line = layout->createLine();
        if (!line.isValid())
            break;
        b.breakLine(line);
    }
    return finish(layout, b, false, charactersOf(layout->engine(), 0, int(layout->engine()->lines.size())));
}

// The old line at or before `position`.
int lineAt(const QList<QScriptLine> &lines, int position)
{
    const auto after = std::upper_bound(lines.begin(), lines.end(), position,
                                        [](int p, const QScriptLine &l) { return p < l.from; });
    return std::max(0, static_cast<int>(after - lines.begin()) - 1);
}

bool layOutAgain(QTextLayout *layout, const Geometry &g, KeptLines::Data &old, Result &result)
{
    QTextEngine *engine = layout->engine();
    const QList<QScriptLine> &lines = old.lines;
    if (lines.isEmpty() || old.start > old.oldLength || old.oldEnd > old.oldLength)
        return false;
    // The line before the one the edit begins in may now end elsewhere (a word that fits, a
    // character that may not start a line): breaking starts there.
    const int keep = std::max(0, lineAt(lines, old.start) - 1);
    layout->setTextOption(g.option);
    engine->invalidate();
    engine->clearLineData();
    if (!ParagraphItems::itemize(layout, old.items, old.start, old.oldEnd, old.delta))
        engine->itemize();
    if (!engine->layoutData || old.oldLength + old.delta != engine->layoutData->string.size())
        return false;
    // Glyphs are made room for as lines are shaped: after an edit that is the few lines around
    // it, where reserving them for the whole paragraph would clear room for all of its glyphs.
    ParagraphRules::reuse(engine, old.rules, old.oldLength, old.start, old.oldEnd, old.delta);
    reserveGlyphs(engine); // only when the rules were not reused
    engine->lines = lines.mid(0, keep);
    engine->layoutData->layoutState = QTextEngine::InLayout;

    Breaker b { layout, engine, g, g.option, {}, {} };
    if (keep > 0) {
        const QScriptLine &last = lines.at(keep - 1);
        const LineHeights h = lineHeights(g.format, last, g.scaling);
        b.y = last.y + h.adjustment + h.height;
        b.bottom = last.y + h.adjustment + h.bottom;
    }
    int match = std::max(keep, 1);
    for (;;) {
        const int count = static_cast<int>(engine->lines.size());
        if (count > 0) {
            const QScriptLine &previous = engine->lines.constLast();
            const int next = previous.from + previous.length + previous.trailingSpaces;
            while (match < lines.size() && lines.at(match).from + old.delta < next)
                ++match;
            if (match < lines.size() && lines.at(match).from >= old.oldEnd && lines.at(match).from + old.delta == next) {
                // From here on the text is what it was, and so are the lines: moved, not broken.
                const qint64 broken = charactersOf(engine, keep, count);
                const QScriptLine &first = lines.at(match);
                const QFixed shift = b.y - (first.y + lineHeights(g.format, first, g.scaling).adjustment);
                engine->lines.reserve(count + lines.size() - match);
                for (int i = match; i < lines.size(); ++i) {
                    QScriptLine moved = lines.at(i);
                    moved.from += old.delta;
                    moved.y += shift;
                    moved.justified = false;
                    moved.gridfitted = false;
                    engine->lines.append(moved);
                }
                b.y = fixed(old.height) + shift;
                b.bottom = b.y;
                result = finish(layout, b, true, broken);
                return true;
            }
        }
        QTextLine line = layout->createLine();
        if (!line.isValid())
            break;
        b.breakLine(line);
        if (b.fellBack)
            return false;
    }
    result = finish(layout, b, keep > 0, charactersOf(engine, keep, int(engine->lines.size())));
    return true;
}

// How far ahead of a paragraph's lines its rules are found when it is laid out in part: far
// enough that no line, nor a caret moving along them, reaches rules not found yet.
constexpr int RulesAhead = 1 << 16;

} // namespace

struct PartialLines::Data {
    QList<QScriptLine> lines; // while hidden
    bool shown = false;
    int end = 0;
    int rulesEnd = 0; // the characters before it have their rules found
    int length = 0; // of the text they were made for
    QFixed y; // where the next line goes
    QFixed bottom;
};

PartialLines::PartialLines(std::unique_ptr<Data> data)
    : d(std::move(data))
{
}

PartialLines::~PartialLines() = default;

void PartialLines::show(QTextLayout *layout)
{
    if (d->shown)
        return;
    layout->engine()->lines = std::move(d->lines);
    d->lines.clear();
    d->shown = true;
}

void PartialLines::hide(QTextLayout *layout)
{
    if (!d->shown)
        return;
    d->lines = std::move(layout->engine()->lines);
    layout->engine()->lines.clear();
    d->shown = false;
}

int PartialLines::end() const
{
    return d->end;
}

int PartialLines::lineAt(int position, int *start) const
{
    if (d->shown || position < 0 || position >= d->end || d->lines.isEmpty())
        return -1;
    const int line = ParagraphLines::lineAt(d->lines, position);
    if (start)
        *start = d->lines.at(line).from;
    return line;
}

Result layOutPart(QTextLayout *layout, const Geometry &g, std::unique_ptr<PartialLines> &part, qint64 height,
                  int characters)
{
    QTextEngine *engine = layout->engine();
    if (part) {
        part->show(layout);
        // The shaping and the rules the lines were made with must still be there.
        if (!engine->layoutData || !engine->layoutData->haveCharAttributes || engine->lines.isEmpty()
            || part->d->length != engine->layoutData->string.size()) {
            part.reset();
            layout->clearLayout();
        }
    }
    Breaker b { layout, engine, g, g.option, {}, {} };
    layout->setTextOption(g.option);
    const int firstLine = part ? int(engine->lines.size()) : 0;
    int rulesEnd = std::numeric_limits<int>::max();
    if (part) {
        engine->layoutData->layoutState = QTextEngine::InLayout;
        b.y = part->d->y;
        b.bottom = part->d->bottom;
        rulesEnd = part->d->rulesEnd;
    } else {
        layout->beginLayout();
        // The rules of a long paragraph are found as its lines reach them.
        const qint64 through = qint64(characters) + RulesAhead;
        if (engine->layoutData && ParagraphRules::findSparingGlyphs(engine, int(std::min<qint64>(through, RulesAhead))))
            rulesEnd = std::min(RulesAhead, int(engine->layoutData->string.size()));
        else
            reserveGlyphs(engine);
    }
    const int length = engine->layoutData ? int(engine->layoutData->string.size()) : 0;
    rulesEnd = std::min(rulesEnd, length);
    const QFixed until = fixed(std::min<qint64>(height, std::numeric_limits<int>::max()));
    bool complete = false;
    for (;;) {
        const int count = int(engine->lines.size());
        const QScriptLine *last = count > 0 ? &engine->lines.constLast() : nullptr;
        const int linesEnd = last ? last->from + last->length + last->trailingSpaces : 0;
        if (last && !b.fellBack && (b.y >= until || linesEnd >= characters))
            break;
        if (rulesEnd < length && linesEnd + RulesAhead / 2 > rulesEnd) {
            const int to = int(std::min<qint64>(length, qint64(linesEnd) + RulesAhead));
            ParagraphRules::findBetween(engine, rulesEnd, to);
            rulesEnd = to;
        }
        b.rulesEnd = rulesEnd;
        QTextLine line = layout->createLine();
        if (!line.isValid()) {
            complete = true;
            break;
        }
        b.breakLine(line);
    }
    const int count = int(engine->lines.size());
    const qint64 broken = charactersOf(engine, firstLine, count);
    if (complete) {
        part.reset();
        return finish(layout, b, firstLine > 0, broken);
    }
    if (!part) {
        part.reset(new PartialLines(std::make_unique<PartialLines::Data>()));
        part->d->shown = true;
    }
    const QScriptLine &last = engine->lines.constLast();
    part->d->end = last.from + last.length + last.trailingSpaces;
    part->d->length = int(engine->layoutData->string.size());
    part->d->rulesEnd = rulesEnd;
    part->d->y = b.y;
    part->d->bottom = b.bottom;
    Result r = finish(layout, b, firstLine > 0, broken);
    r.complete = false;
    r.characters = part->d->end;
    return r;
}

Result layOut(QTextLayout *layout, const Geometry &geometry, KeptLines *kept)
{
    if (kept) {
        Result result;
        if (layOutAgain(layout, geometry, *kept->d, result))
            return result;
        layout->clearLayout();
    }
    return layOutFully(layout, geometry);
}

void keepRules(const QTextLayout *layout, CharacterRules &rules)
{
    const QTextEngine *engine = layout->engine();
    rules = {};
    if (!engine->layoutData || !engine->layoutData->haveCharAttributes)
        return;
    const auto *found = reinterpret_cast<const unsigned char *>(engine->layoutData->memory);
    rules.rules.assign(found, found + engine->layoutData->string.size() + 1);
    rules.layout = layout;
    rules.items = ParagraphItems::keep(layout);
}

std::unique_ptr<KeptLines> takeLines(QTextLayout *layout, qint64 height, int start, int removed, int added,
                                     CharacterRules *rules)
{
    QTextEngine *engine = layout->engine();
    if (engine->lines.isEmpty())
        return nullptr;
    if (!layout->preeditAreaText().isEmpty()) {
        layout->clearLayout();
        return nullptr;
    }
    auto data = std::make_unique<KeptLines::Data>();
    data->lines = std::move(engine->lines);
    engine->lines.clear();
    const QScriptLine &last = data->lines.constLast();
    data->oldLength = last.from + last.length + last.trailingSpaces;
    data->height = height;
    data->start = start;
    data->oldEnd = start + removed;
    data->delta = added - removed;
    if (rules) {
        if (rules->layout == layout && int(rules->rules.size()) == data->oldLength + 1) {
            data->rules = std::move(rules->rules);
            data->items = std::move(rules->items);
        }
        *rules = {};
    }
    return std::unique_ptr<KeptLines>(new KeptLines(std::move(data)));
}

std::unique_ptr<KeptLines> copyLines(const QTextLayout *layout, qint64 height)
{
    const QTextEngine *engine = layout->engine();
    if (engine->lines.isEmpty())
        return nullptr;
    auto data = std::make_unique<KeptLines::Data>();
    data->lines = engine->lines;
    const QScriptLine &last = data->lines.constLast();
    data->oldLength = last.from + last.length + last.trailingSpaces;
    data->height = height;
    data->start = data->oldEnd = data->oldLength;
    return std::unique_ptr<KeptLines>(new KeptLines(std::move(data)));
}

QString layoutText(const QTextLayout *layout)
{
    // A paragraph's layout holds no text of its own: it reads its paragraph's.
    const QTextEngine *engine = layout->engine();
    QString text = engine->block.isValid() ? engine->block.text() : layout->text();
    const QString preedit = layout->preeditAreaText();
    if (!preedit.isEmpty())
        text.insert(std::clamp(layout->preeditAreaPosition(), 0, int(text.size())), preedit);
    return text;
}

namespace {

QTextBlockData *blockData(const QTextBlock &block)
{
    auto *p = const_cast<QTextDocumentPrivate *>(QTextDocumentPrivate::get(block));
    if (!p || !block.isValid())
        return nullptr;
    return p->blockMap().fragment(static_cast<uint>(block.fragmentIndex()));
}

} // namespace

int lineNumberAt(const QTextLayout &layout, int offset)
{
    int low = 0;
    int high = layout.lineCount() - 1;
    if (high < 0)
        return -1;
    while (low < high) {
        const int middle = low + (high - low + 1) / 2;
        if (layout.lineAt(middle).textStart() <= offset)
            low = middle;
        else
            high = middle - 1;
    }
    return low;
}

QTextLayout *existingLayout(const QTextBlock &block)
{
    QTextBlockData *data = blockData(block);
    return data ? data->layout : nullptr;
}

void answerWithoutLines(const QTextBlock &block)
{
    QTextLayout *layout = block.isValid() ? block.layout() : nullptr;
    if (layout && layout->lineCount() == 0)
        layout->engine()->validate();
}

void freeLayout(const QTextBlock &block)
{
    if (QTextBlockData *data = blockData(block)) {
        delete data->layout;
        data->layout = nullptr;
    }
}

} // namespace ParagraphLines
