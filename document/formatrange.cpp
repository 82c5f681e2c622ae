#include "formatrange.h"

#include "editordocumentlayout.h"
#include "paragraphlines.h"
#include "rtf/rtfkept.h"
#include "pictures.h"
#include "richdocument.h"
#include "tablecells.h"
#include "textformats.h"
#include "textpositionindex.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPalette>
#include <QPicture>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextTable>

#include <algorithm>
#include <vector>

namespace {

constexpr qreal TwipsPerInch = 1440.0;

// A line of the target layout: its first character, its vertical extent, and where it is.
struct LineBox {
    int position = -1;
    qreal top = 0;
    qreal bottom = 0;
    QTextBlock block;
    int lineNumber = -1; // TableRow: a whole table row, from `block` to `lastBlock`
    QTextBlock lastBlock;
};

constexpr int TableRow = -2;

// Paper is white and text in the automatic colour black, whatever colours the screen's theme
// gives the editor: what is drawn here goes on paper (or its picture).
QPalette paperPalette()
{
    return QPalette(Qt::black, Qt::lightGray, Qt::white, Qt::darkGray, Qt::gray, Qt::black, Qt::white, Qt::white,
                    Qt::white);
}

// A paragraph with a page break before it, or the first of a section that starts on a new page,
// starts a page: its first line ends the page before.
bool startsNewPage(const LineBox &line)
{
    return line.lineNumber == 0
        && ((line.block.blockFormat().pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)
            || RtfKept::startsSectionPage(line.block));
}

LineBox boxOf(const QTextBlock &block, const QTextLayout *layout, int lineNumber)
{
    const QTextLine line = layout->lineAt(lineNumber);
    const qreal top = layout->position().y() + line.y();
    return { block.position() + line.textStart(), top, top + line.height(), block, lineNumber, QTextBlock() };
}

} // namespace

// A copy of the source document laid out for one device. `baseBytes` is the byte position in
// the source of the copy's first character: a request starting inside a line lays out a copy
// that begins there.
struct FormatRangeRenderer::Layout {
    QPaintDevice *target = nullptr;
    int dpiX = 0;
    int dpiY = 0;
    qreal width = 0;
    qreal pageHeight = 0; // the most a page holds (0: no bound)
    quint64 sourceChange = 0;
    qint64 baseBytes = 0;
    qint64 length = 0; // of the whole text the copy was made from, in bytes
    std::unique_ptr<QTextDocument> document;
    std::unique_ptr<TextPositionIndex> positions;

    // Paragraphs before this one were drawn and have let go of their layout.
    QTextBlock firstKept;

    bool startsLine(qint64 bytes) const;

    // The editor's own layout, so that the pages break lines where the editor does. A table
    // row is one unit here, never split across pages unless it alone is taller than one.
    EditorDocumentLayout *editorLayout = nullptr;
    bool hasTables = false;

    // The row holding `position`; a position inside the row (not its first cell's start)
    // continues a row taller than a page: from the cut it stands for when it starts a line,
    // else from the line holding it.
    LineBox rowAt(const QTextBlock &block, int position) const
    {
        const QRectF rect = editorLayout->tableRowRect(block);
        if (rect.isNull())
            return {};
        QTextTable *table = QTextCursor(block).currentTable();
        const int row = table->cellAt(block.position()).row();
        LineBox box;
        box.block = document->findBlock(TableCells::firstCellOfRow(*table, row).firstPosition());
        box.lastBlock = document->findBlock(TableCells::lastCellOfRow(*table, row).lastPosition());
        box.position = box.block.position();
        box.top = rect.top();
        box.bottom = rect.bottom();
        box.lineNumber = TableRow;
        if (position > box.position) {
            // A line start of the row stands for a cut (see rowCut).
            const RowLines &lines = linesOfRow(box);
            const auto at = std::lower_bound(lines.starts.begin(), lines.starts.end(), position);
            if (at != lines.starts.end() && *at == position) {
                box.position = position;
                box.top = qBound(box.top, lines.lines[size_t(at - lines.starts.begin())].top, box.bottom);
                return box;
            }
            const QTextLayout *layout = linesOf(block);
            const int line = ParagraphLines::lineNumberAt(*layout, position - block.position());
            if (line >= 0) {
                box.position = position;
                box.top = qBound(box.top, layout->position().y() + layout->lineAt(line).y(), box.bottom);
            }
        }
        return box;
    }

    // The lines of a row taller than a page, over all its cells: their extents in order of their
    // tops, and their starts in order. Made once for the row being cut.
    struct RowLine {
        qreal top = 0;
        qreal bottom = 0;
        int position = 0;
    };
    struct RowLines {
        int rowStart = -1;
        std::vector<RowLine> lines; // by top, then position
        std::vector<int> starts; // ascending
    };
    mutable RowLines cutRow;

    const RowLines &linesOfRow(const LineBox &row) const
    {
        if (cutRow.rowStart == row.block.position())
            return cutRow;
        cutRow = RowLines { row.block.position(), {}, {} };
        for (QTextBlock b = row.block; b.isValid(); b = b.next()) {
            const QTextLayout *layout = linesOf(b);
            for (int i = 0; i < layout->lineCount(); ++i) {
                const QTextLine line = layout->lineAt(i);
                const qreal top = layout->position().y() + line.y();
                cutRow.lines.push_back({ top, top + line.height(), b.position() + line.textStart() });
            }
            if (b == row.lastBlock)
                break;
        }
        std::sort(cutRow.lines.begin(), cutRow.lines.end(), [](const RowLine &a, const RowLine &b) {
            return a.top < b.top || (a.top == b.top && a.position < b.position);
        });
        cutRow.starts.reserve(cutRow.lines.size());
        for (const RowLine &line : cutRow.lines)
            cutRow.starts.push_back(line.position);
        std::sort(cutRow.starts.begin(), cutRow.starts.end());
        return cutRow;
    }

    // Where a row taller than the page is cut: at the first line of any of its cells that would
    // cross `limit`, starting below the part's top (-1: none, a single line taller than the page).
    // Lines above it are drawn on this page, it and the rest on the next. The cells' first lines
    // all start on one line, below the row's top: none of them is a cut, which would leave this
    // page empty and start the next one where this one started.
    //
    // The cells stand side by side, so the cut line may come before the part's start in the
    // text. The next page's start is therefore the row's n-th line start in text order, where n
    // lines of the row have their tops above the cut: it grows from page to page (each page holds
    // the top of one line at least), stays in the row and starts a line; rowAt reads it back.
    int rowCut(const LineBox &row, qreal limit, qreal *cutY) const
    {
        const RowLines &rowLines = linesOfRow(row);
        const std::vector<RowLine> &lines = rowLines.lines;
        const qreal textTop = lines.empty() ? row.top : lines.front().top;
        const qreal partTop = qMax(row.top, textTop);
        // Only the lines from the part's top to the first one below the limit can be the cut.
        auto from = std::upper_bound(lines.begin(), lines.end(), partTop + 0.01,
                                     [](qreal y, const RowLine &line) { return y < line.top; });
        for (auto it = from; it != lines.end(); ++it) {
            if (it->bottom > limit + 0.01) {
                *cutY = it->top;
                const auto above = std::lower_bound(lines.begin(), lines.end(), it->top,
                                                    [](const RowLine &line, qreal y) { return line.top < y; });
                return rowLines.starts[size_t(above - lines.begin())];
            }
        }
        return -1;
    }

    // A paragraph's lines, laid out and placed. The editor's layout keeps the lines of recent
    // paragraphs only (a row of many cells lets earlier ones go while it is measured) and lays
    // a paragraph out again, the same lines in the same place, when they are asked for.
    const QTextLayout *linesOf(const QTextBlock &block) const
    {
        editorLayout->blockBoundingRect(block);
        return block.layout();
    }

    LineBox lineAt(int position) const
    {
        const QTextBlock block = document->findBlock(position);
        if (hasTables) {
            if (const LineBox row = rowAt(block, position); row.lineNumber == TableRow)
                return row;
        }
        const QTextLayout *layout = linesOf(block);
        const int lineNumber = ParagraphLines::lineNumberAt(*layout, position - block.position());
        return lineNumber < 0 ? LineBox {} : boxOf(block, layout, lineNumber);
    }

    // Draws a line, with its paragraph's number or bullet when it is the first.
    void drawLine(QPainter *painter, const LineBox &box, const QColor &text) const
    {
        if (box.lineNumber == TableRow) {
            drawRowPart(painter, box, text);
            return;
        }
        drawTextLine(painter, box.block, box.lineNumber, text);
    }

    void drawTextLine(QPainter *painter, const QTextBlock &block, int lineNumber, const QColor &text) const
    {
        const QTextLayout *layout = linesOf(block);
        const QTextLine line = layout->lineAt(lineNumber);
        line.draw(painter, layout->position());
        if (lineNumber == 0 && block.textList())
            editorLayout->drawListMarker(painter, block, text);
    }

    // The part of a table row from box.top to box.bottom: its borders cut to it, and each line
    // of its cells whose top lies in it. A line is drawn on one page only, even where a row
    // taller than a page goes on over several: the text of a PDF page holds no line twice.
    void drawRowPart(QPainter *painter, const LineBox &box, const QColor &text) const
    {
        painter->save();
        painter->setClipRect(QRectF(0, box.top, 1e6, box.bottom - box.top), Qt::IntersectClip);
        editorLayout->drawTableRowBorders(painter, box.block, text);
        painter->restore();
        for (QTextBlock b = box.block; b.isValid(); b = b.next()) {
            const QTextLayout *layout = linesOf(b);
            for (int i = 0; i < layout->lineCount(); ++i) {
                const qreal lineTop = layout->position().y() + layout->lineAt(i).y();
                if (lineTop >= box.top - 0.01 && lineTop < box.bottom - 0.01)
                    drawTextLine(painter, b, i, text);
            }
            if (b == box.lastBlock)
                break;
        }
    }

    // Lets the paragraphs before `position`'s go of their lines and of what drawing them shaped
    // (about 40 bytes a character): a run of pages holds the layout of about a page at a time.
    // Their heights stay in the layout's metrics, so the pages after them break as before (see
    // tst_formatrange::releasedLayoutsKeepThePageBreaks). Requests go forward; one that goes
    // back lays the paragraphs there out again.
    void releaseBefore(int position)
    {
        const QTextBlock stop = document->findBlock(position);
        if (!firstKept.isValid())
            firstKept = document->begin();
        for (; firstKept.isValid() && firstKept.position() < stop.position(); firstKept = firstKept.next()) {
            // A layout begun and ended at once holds nothing (it frees what it held at its end).
            if (QTextLayout *layout = ParagraphLines::existingLayout(firstKept)) {
                layout->beginLayout();
                layout->endLayout();
            }
        }
    }

    // The line after `box`, or an invalid box at the end.
    LineBox lineAfter(const LineBox &box) const
    {
        if (box.lineNumber == TableRow) {
            const QTextBlock next = box.lastBlock.next();
            return next.isValid() ? lineAt(next.position()) : LineBox {};
        }
        const QTextLayout *layout = linesOf(box.block);
        if (box.lineNumber + 1 < layout->lineCount())
            return boxOf(box.block, layout, box.lineNumber + 1);
        const QTextBlock next = box.block.next();
        if (!next.isValid())
            return {};
        return lineAt(next.position());
    }
};

FormatRangeRenderer::FormatRangeRenderer(const RichDocument &source)
    : m_source(source)
{
}

FormatRangeRenderer::~FormatRangeRenderer() = default;

void FormatRangeRenderer::release()
{
    if (m_held) {
        m_releasePending = true;
        return;
    }
    m_layouts.clear();
}

void FormatRangeRenderer::hold(bool on)
{
    m_held = on;
    if (on) {
        m_snapshot = copyOf(*m_source.document());
        m_snapshotLength = m_source.textLength();
        return;
    }
    m_snapshot.reset();
    if (m_releasePending) {
        m_releasePending = false;
        m_layouts.clear();
    }
}

bool FormatRangeRenderer::Layout::startsLine(qint64 bytes) const
{
    if (bytes < baseBytes)
        return false;
    const int position = positions->documentPosition(bytes - baseBytes);
    return lineAt(position).position == position;
}

std::unique_ptr<QTextDocument> FormatRangeRenderer::copyOf(const QTextDocument &source)
{
    std::unique_ptr<QTextDocument> copy(source.clone());
    copy->setUndoRedoEnabled(false);
    copy->setDefaultFont(TextFormats::atDefaultResolution(source.defaultFont()));
    copy->setDefaultTextOption(source.defaultTextOption());
    copy->setIndentWidth(source.indentWidth());
    // No layout yet: made now, it would lay the copy out again at each change made to it below.
    return copy;
}

std::unique_ptr<FormatRangeRenderer::Layout> FormatRangeRenderer::makeLayout(QPaintDevice *target, qreal widthPixels,
                                                                            qreal pageHeightPixels,
                                                                            qint64 first) const
{
    auto layout = std::make_unique<Layout>();
    layout->target = target;
    layout->dpiX = target->logicalDpiX();
    layout->dpiY = target->logicalDpiY();
    layout->width = widthPixels;
    layout->pageHeight = pageHeightPixels;
    layout->sourceChange = m_source.changeCount();
    layout->length = m_snapshot ? m_snapshotLength : m_source.textLength();
    layout->document = copyOf(m_snapshot ? *m_snapshot : *m_source.document());
    QTextDocument *copy = layout->document.get();
    first = qMin(first, layout->length);
    if (first > 0) {
        // The copy begins at `first`: the rest of its paragraph continues as that paragraph's
        // following lines do, without the first line's indent or bullet.
        const int start = TextPositionIndex(copy).documentPosition(first);
        QTextBlockFormat format = copy->findBlock(start).blockFormat();
        format.setObjectIndex(-1);
        format.setTextIndent(0);
        QTextCursor cut(copy);
        cut.setPosition(start, QTextCursor::KeepAnchor);
        cut.removeSelectedText();
        cut.setBlockFormat(format);
        layout->baseBytes = first;
    }
    layout->hasTables = TableCells::hasTables(*copy);
    // The frame and the device first: each change after the layout is in lays its first
    // paragraphs out again, which for one paragraph of megabytes is the whole text each time.
    copy->setDocumentMargin(0);
    // A picture wider than the text, or taller than a page, is drawn smaller to fit.
    Pictures::setSizeBound(*copy, QSizeF(widthPixels, pageHeightPixels > 0 ? pageHeightPixels : 1e9));
    copy->setTextWidth(widthPixels);
    layout->editorLayout = new EditorDocumentLayout(copy);
    layout->editorLayout->setPaintDevice(target);
    copy->setDocumentLayout(layout->editorLayout);
    layout->positions = std::make_unique<TextPositionIndex>(copy);
    return layout;
}

FormatRangeRenderer::Layout &FormatRangeRenderer::layoutFor(QPaintDevice *target, qreal widthPixels,
                                                            qreal pageHeightPixels, qint64 first)
{
    for (auto it = m_layouts.begin(); it != m_layouts.end(); ++it) {
        Layout &l = **it;
        if (l.target != target)
            continue;
        const bool current = m_held || l.sourceChange == m_source.changeCount();
        if (l.dpiX == target->logicalDpiX() && l.dpiY == target->logicalDpiY() && qFuzzyCompare(l.width, widthPixels)
            && qFuzzyCompare(l.pageHeight + 1, pageHeightPixels + 1) && current && l.startsLine(first))
            return l;
        m_layouts.erase(it);
        break;
    }
    // The whole document, unless `first` lies inside one of its lines.
    std::unique_ptr<Layout> layout = makeLayout(target, widthPixels, pageHeightPixels, 0);
    if (!layout->startsLine(first))
        layout = makeLayout(target, widthPixels, pageHeightPixels, first);
    m_layouts.push_back(std::move(layout));
    return *m_layouts.back();
}

qint64 FormatRangeRenderer::formatRange(const FormatRange &request)
{
    const QPaintDevice *requested
        = request.target ? request.target : (request.painter ? request.painter->device() : nullptr);
    if (!requested || request.rectTwips.width() <= 0 || request.rectTwips.height() <= 0
        || requested->logicalDpiX() <= 0 || requested->logicalDpiY() <= 0)
        return -1;
    // Whatever the device, the text is laid out as the editor lays it out, at the screen's
    // resolution, and drawn scaled to the device.
    if (!m_screen)
        m_screen = std::make_unique<QPicture>();
    QPaintDevice *target = m_screen.get();
    const qreal widthPixels = request.rectTwips.width() * target->logicalDpiX() / TwipsPerInch;
    const qreal heightPixels = request.rectTwips.height() * target->logicalDpiY() / TwipsPerInch;
    const qint64 sourceLength = m_source.textLength();
    if (!m_held && sourceLength > 0 && request.first >= sourceLength)
        return sourceLength;
    const qreal pageHeightPixels = qMax(0, request.pageAreaTwips.height()) * target->logicalDpiY() / TwipsPerInch;
    Layout &layout = layoutFor(target, widthPixels, pageHeightPixels, qMax<qint64>(0, request.first));
    // The text the layout was made from: the live one, or the one held since the run began.
    const qint64 length = layout.length;
    const qint64 first = qBound<qint64>(0, request.first, length);
    const qint64 last = request.last < 0 ? length : qBound<qint64>(first, request.last, length);
    if (length > 0 && first >= length)
        return length;

    const int startPosition = layout.positions->documentPosition(first - layout.baseBytes);
    const LineBox firstLine = layout.lineAt(startPosition);
    if (firstLine.position < 0)
        return -1;
    const qreal top = firstLine.top;
    qreal bottom = top;
    qint64 stop = length;
    // Whole lines only, from the first, while they fit; a range end stops at its line.
    std::vector<LineBox> fitting;
    // Byte positions cost a look at the paragraph's text: only a range that ends before the
    // text does needs one for every line; otherwise only the line that stops is converted.
    const bool rangeEndsEarly = last < length;
    auto bytesAt = [&layout](int position) { return layout.baseBytes + layout.positions->bytePosition(position); };
    for (LineBox line = firstLine; line.position >= 0; line = layout.lineAfter(line)) {
        const bool beyondRange
            = rangeEndsEarly && line.position != firstLine.position && bytesAt(line.position) >= last;
        if (!fitting.empty() && startsNewPage(line)) {
            stop = bytesAt(line.position);
            break;
        }
        if (beyondRange || line.bottom - top > heightPixels + 0.01) {
            if (fitting.empty() && !beyondRange && request.atLeastOneLine) {
                qreal cutY = 0;
                const int cut = line.lineNumber == TableRow ? layout.rowCut(line, top + heightPixels, &cutY) : -1;
                if (cut >= 0) {
                    // A row taller than the page goes on on the next one.
                    line.bottom = cutY;
                    fitting.push_back(line);
                    bottom = cutY;
                    stop = bytesAt(cut);
                    break;
                }
                fitting.push_back(line);
                bottom = line.bottom;
                continue;
            }
            stop = bytesAt(line.position);
            break;
        }
        bottom = line.bottom;
        fitting.push_back(line);
    }

    if (request.render && request.painter && !fitting.empty()) {
        QPainter *painter = request.painter;
        const QPaintDevice *device = painter->device();
        const qreal scaleX = device->logicalDpiX() / qreal(target->logicalDpiX());
        const qreal scaleY = device->logicalDpiY() / qreal(target->logicalDpiY());
        const QRectF area(request.rectTwips.x() * device->logicalDpiX() / TwipsPerInch,
                          request.rectTwips.y() * device->logicalDpiY() / TwipsPerInch, widthPixels * scaleX,
                          qMin(bottom - top, heightPixels) * scaleY);
        painter->save();
        painter->setClipRect(area, Qt::IntersectClip);
        painter->translate(area.topLeft());
        painter->scale(scaleX, scaleY);
        painter->translate(0, -top);
        const QColor automatic = paperPalette().color(QPalette::Text);
        painter->setPen(automatic);
        // Line by line: the document layout's own drawing also paints the line above its clip,
        // which would put the previous page's last line into this page's output once more.
        for (const LineBox &line : fitting)
            layout.drawLine(painter, line, automatic);
        painter->restore();
        if (stop < length)
            layout.releaseBefore(layout.positions->documentPosition(stop - layout.baseBytes));
    }
    return stop;
}
