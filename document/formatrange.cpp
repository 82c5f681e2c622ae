#include "formatrange.h"

#include "richdocument.h"
#include "textpositionindex.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

namespace {

constexpr qreal TwipsPerInch = 1440.0;

// A line of the target layout: its first character and its vertical extent.
struct LineBox {
    int position = -1;
    qreal top = 0;
    qreal bottom = 0;
};

// Paragraph indents and tab stops are kept in pixels of 96 to the inch; Qt lays a document out
// for another device with its fonts at that device's resolution but these lengths as they
// stand, so they are scaled to it here.
void scaleToDevice(QTextDocument &document, const QPaintDevice *target)
{
    const qreal scale = target->logicalDpiX() / 96.0;
    if (qFuzzyCompare(scale, 1.0))
        return;
    QTextOption option = document.defaultTextOption();
    option.setTabStopDistance(option.tabStopDistance() * scale);
    document.setDefaultTextOption(option);
    QTextCursor cursor(&document);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QTextBlockFormat format = block.blockFormat();
        if (format.leftMargin() == 0 && format.rightMargin() == 0 && format.textIndent() == 0)
            continue;
        format.setLeftMargin(format.leftMargin() * scale);
        format.setRightMargin(format.rightMargin() * scale);
        format.setTextIndent(format.textIndent() * scale);
        cursor.setPosition(block.position());
        cursor.setBlockFormat(format);
    }
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
    quint64 sourceChange = 0;
    qint64 baseBytes = 0;
    qint64 length = 0; // of the whole text the copy was made from, in bytes
    std::unique_ptr<QTextDocument> document;
    std::unique_ptr<TextPositionIndex> positions;

    bool startsLine(qint64 bytes) const;

    LineBox lineAt(int position) const
    {
        const QTextBlock block = document->findBlock(position);
        document->documentLayout()->blockBoundingRect(block); // lays out up to here
        const QTextLayout *layout = block.layout();
        const QTextLine line = layout->lineForTextPosition(position - block.position());
        if (!line.isValid())
            return {};
        const qreal top = layout->position().y() + line.y();
        return { block.position() + line.textStart(), top, top + line.height() };
    }

    // Draws the line starting at `position`, with its paragraph's bullet when it is the first.
    void drawLine(QPainter *painter, int position, const QColor &text) const
    {
        const QTextBlock block = document->findBlock(position);
        const QTextLayout *layout = block.layout();
        const QTextLine line = layout->lineForTextPosition(position - block.position());
        line.draw(painter, layout->position());
        if (line.lineNumber() == 0 && block.textList())
            drawBullet(painter, block, line, text);
    }

    void drawBullet(QPainter *painter, const QTextBlock &block, const QTextLine &line, const QColor &text) const
    {
        const QFontMetricsF metrics(block.charFormat().font(), target);
        const qreal size = metrics.lineSpacing() / 3;
        const QPointF origin = block.layout()->position();
        const qreal x = origin.x() + line.x() - metrics.horizontalAdvance(u' ') - size;
        const qreal y = origin.y() + line.y() + (metrics.ascent() - size) / 2 + (line.ascent() - metrics.ascent());
        painter->save();
        painter->setPen(Qt::NoPen);
        painter->setBrush(text);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->drawEllipse(QRectF(x, y, size, size));
        painter->restore();
    }

    // The line after the one starting at `position`, or an invalid box at the end.
    LineBox lineAfter(int position) const
    {
        QTextBlock block = document->findBlock(position);
        const QTextLayout *layout = block.layout();
        const QTextLine line = layout->lineForTextPosition(position - block.position());
        if (line.isValid() && line.lineNumber() + 1 < layout->lineCount()) {
            const QTextLine next = layout->lineAt(line.lineNumber() + 1);
            const qreal top = layout->position().y() + next.y();
            return { block.position() + next.textStart(), top, top + next.height() };
        }
        block = block.next();
        if (!block.isValid())
            return {};
        return lineAt(block.position());
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
    copy->setDefaultFont(source.defaultFont());
    copy->setDefaultTextOption(source.defaultTextOption());
    copy->setIndentWidth(source.indentWidth());
    return copy;
}

std::unique_ptr<FormatRangeRenderer::Layout> FormatRangeRenderer::makeLayout(QPaintDevice *target, qreal widthPixels,
                                                                            qint64 first) const
{
    auto layout = std::make_unique<Layout>();
    layout->target = target;
    layout->dpiX = target->logicalDpiX();
    layout->dpiY = target->logicalDpiY();
    layout->width = widthPixels;
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
    scaleToDevice(*copy, target);
    copy->documentLayout()->setPaintDevice(target);
    copy->setDocumentMargin(0);
    copy->setTextWidth(widthPixels);
    layout->positions = std::make_unique<TextPositionIndex>(copy);
    return layout;
}

FormatRangeRenderer::Layout &FormatRangeRenderer::layoutFor(QPaintDevice *target, qreal widthPixels, qint64 first)
{
    for (auto it = m_layouts.begin(); it != m_layouts.end(); ++it) {
        Layout &l = **it;
        if (l.target != target)
            continue;
        const bool current = m_held || l.sourceChange == m_source.changeCount();
        if (l.dpiX == target->logicalDpiX() && l.dpiY == target->logicalDpiY() && qFuzzyCompare(l.width, widthPixels)
            && current && l.startsLine(first))
            return l;
        m_layouts.erase(it);
        break;
    }
    // The whole document, unless `first` lies inside one of its lines.
    std::unique_ptr<Layout> layout = makeLayout(target, widthPixels, 0);
    if (!layout->startsLine(first))
        layout = makeLayout(target, widthPixels, first);
    m_layouts.push_back(std::move(layout));
    return *m_layouts.back();
}

qint64 FormatRangeRenderer::formatRange(const FormatRange &request)
{
    QPaintDevice *target = request.target ? request.target : (request.painter ? request.painter->device() : nullptr);
    if (!target || request.rectTwips.width() <= 0 || request.rectTwips.height() <= 0 || target->logicalDpiX() <= 0
        || target->logicalDpiY() <= 0)
        return -1;
    const qreal widthPixels = request.rectTwips.width() * target->logicalDpiX() / TwipsPerInch;
    const qreal heightPixels = request.rectTwips.height() * target->logicalDpiY() / TwipsPerInch;
    const qint64 sourceLength = m_source.textLength();
    if (!m_held && sourceLength > 0 && request.first >= sourceLength)
        return sourceLength;
    Layout &layout = layoutFor(target, widthPixels, qMax<qint64>(0, request.first));
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
    std::vector<int> fitting;
    // Byte positions cost a look at the paragraph's text: only a range that ends before the
    // text does needs one for every line; otherwise only the line that stops is converted.
    const bool rangeEndsEarly = last < length;
    auto bytesAt = [&layout](int position) { return layout.baseBytes + layout.positions->bytePosition(position); };
    for (LineBox line = firstLine; line.position >= 0; line = layout.lineAfter(line.position)) {
        const bool beyondRange
            = rangeEndsEarly && line.position != firstLine.position && bytesAt(line.position) >= last;
        if (beyondRange || line.bottom - top > heightPixels + 0.01) {
            if (fitting.empty() && !beyondRange && request.atLeastOneLine) {
                fitting.push_back(line.position);
                bottom = line.bottom;
                continue;
            }
            stop = bytesAt(line.position);
            break;
        }
        bottom = line.bottom;
        fitting.push_back(line.position);
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
        painter->setPen(m_source.windowTextColor());
        // Line by line: the document layout's own drawing also paints the line above its clip,
        // which would put the previous page's last line into this page's output once more.
        for (int position : fitting)
            layout.drawLine(painter, position, m_source.windowTextColor());
        painter->restore();
    }
    return stop;
}
