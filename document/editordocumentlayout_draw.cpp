// Drawing and hit testing of the editor's document layout: what Qt's document layout does for a
// document of paragraphs and lists, pixel for pixel (backgrounds, selections, list markers, the
// caret, the input method's text), for the paragraphs the view shows.

#include "editordocumentlayout.h"
#include "rtf/rtfkept.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextList>

#include <limits>

namespace {

void fillBackground(QPainter *painter, const QRectF &rect, QBrush brush, const QPointF &origin)
{
    painter->save();
    if (brush.style() >= Qt::LinearGradientPattern && brush.style() <= Qt::ConicalGradientPattern) {
        QTransform m;
        m.translate(rect.left(), rect.top());
        m.scale(rect.width(), rect.height());
        brush.setTransform(m);
        const_cast<QGradient *>(brush.gradient())->setCoordinateMode(QGradient::LogicalMode);
    } else {
        painter->setBrushOrigin(origin);
    }
    painter->fillRect(rect, brush);
    painter->restore();
}

// A page break before a paragraph: a dotted line across the page along the paragraph's top, in
// the colour of the editor's lesser lines. Only the screen shows it; on paper the page ends.
void drawPageBreak(QPainter *painter, const QPalette &palette, qreal y, const QRectF &frameClip)
{
    QPen pen(palette.color(QPalette::Dark), 1, Qt::DotLine);
    pen.setCosmetic(true);
    painter->save();
    painter->setPen(pen);
    painter->drawLine(QLineF(frameClip.left(), y + 0.5, frameClip.right(), y + 0.5));
    painter->restore();
}

} // namespace

void EditorDocumentLayout::draw(QPainter *painter, const PaintContext &context)
{
    if (!canLayOut())
        return;
    if (m_allDirty)
        rebuildAll();
    ++m_drawing;
    collectCellSelections(context);
    const QSizeF size = documentSize();
    // Lines are clipped to the frame, less its side margins.
    const QRectF frameClip = QRectF(QPointF(0, 0), size).adjusted(toPixels(m_frame.leftMargin), 0,
                                                                   -toPixels(m_frame.rightMargin), 0);
    const QRectF &clip = context.clip;
    m_drawBottom = clip.isValid() ? clip.bottom() : std::numeric_limits<qreal>::infinity();
    int number = clip.isValid() ? m_metrics.indexAtHeight(toFixed(clip.top()) - m_frame.top) : 0;
    if (number < 0)
        number = 0;
    QTextBlock block = document()->findBlockByNumber(number);
    for (; block.isValid(); block = block.next(), ++number) {
        if (clip.isValid() && toPixels(m_frame.top + m_metrics.heightBefore(number)) > clip.bottom())
            break;
        if (drawTableRow(painter, context, block, number, frameClip))
            continue;
        QTextLayout *layout = readyLayout(block, number);
        drawBlock(painter, context, block, layout, frameClip);
    }
    hidePartialLines();
    --m_drawing;
}

void EditorDocumentLayout::drawBlock(QPainter *painter, const PaintContext &context, const QTextBlock &block,
                                     QTextLayout *layout, const QRectF &frameClip) const
{
    QRectF r = boundsOf(layout);
    r.translate(layout->position());
    const QRectF &clip = context.clip;
    if (!block.isVisible() || (clip.isValid() && (r.bottom() < clip.y() || r.top() > clip.bottom())))
        return;
    const QTextBlockFormat blockFormat = block.blockFormat();
    const QBrush background = blockFormat.background();
    if (background != Qt::NoBrush && !blockFormat.hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth))
        fillBackground(painter, r, background, r.topLeft());

    QList<QTextLayout::FormatRange> selections;
    const int position = block.position();
    const int length = block.length();
    const QTextCharFormat *selectionFormat = nullptr;
    for (int index = 0; index < context.selections.size(); ++index) {
        const Selection &range = context.selections.at(index);
        if (const CellSelection *cells = cellSelectionOf(index)) {
            // Whole cells are selected, not the text between the first and the last.
            if (coversBlock(*cells, block)) {
                selections.append({ 0, length, range.format });
                selectionFormat = &range.format;
            }
            continue;
        }
        const int start = range.cursor.selectionStart() - position;
        const int end = range.cursor.selectionEnd() - position;
        if (start < length && end > 0 && end > start) {
            selections.append({ start, end - start, range.format });
        } else if (!range.cursor.hasSelection() && range.format.hasProperty(QTextFormat::FullWidthSelection)
                   && block.contains(range.cursor.position())) {
            // A whole-line selection needs only a position to say which line.
            const QTextLine line = layout->lineForTextPosition(range.cursor.position() - position);
            QTextLayout::FormatRange o { line.textStart(), line.textLength(), range.format };
            if (o.start + o.length == length - 1)
                ++o.length; // and the paragraph's end
            selections.append(o);
        }
        if (start < 0 && end >= 1)
            selectionFormat = &range.format;
    }

    const QTextObject *object = document()->objectForFormat(blockFormat);
    if (object && object->format().toListFormat().style() != QTextListFormat::ListStyleUndefined)
        drawListItem(painter, context, block, layout, selectionFormat);

    const QPen oldPen = painter->pen();
    painter->setPen(context.palette.color(QPalette::Text));
    layout->draw(painter, QPointF(), selections, clip.isValid() ? (clip & frameClip) : frameClip);
    const int cursor = context.cursorPosition;
    if ((cursor >= position && cursor < position + length)
        || (cursor < -1 && !layout->preeditAreaText().isEmpty())) {
        const int at = cursor < -1 ? layout->preeditAreaPosition() - (cursor + 2) : cursor - position;
        layout->drawCursor(painter, QPointF(), at, m_cursorWidth);
    }
    if (blockFormat.hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth)) {
        const qreal width = blockFormat.lengthProperty(QTextFormat::BlockTrailingHorizontalRulerWidth).value(r.width());
        const QColor color = blockFormat.hasProperty(QTextFormat::BackgroundBrush)
            ? qvariant_cast<QBrush>(blockFormat.property(QTextFormat::BackgroundBrush)).color()
            : context.palette.color(QPalette::Dark);
        painter->setPen(color);
        const qreal y = block.length() == 1 ? r.top() + r.height() / 2 : r.bottom();
        const qreal middle = r.left() + r.width() / 2;
        painter->drawLine(QLineF(middle - width / 2, y, middle + width / 2, y));
    }
    if ((blockFormat.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore) || RtfKept::startsSectionPage(block))
        drawPageBreak(painter, context.palette, r.top(), frameClip);
    painter->setPen(oldPen);
}

void EditorDocumentLayout::drawListMarker(QPainter *painter, const QTextBlock &block, const QColor &color) const
{
    if (!block.textList() || !block.layout())
        return;
    PaintContext context;
    context.palette.setColor(QPalette::Text, color);
    drawListItem(painter, context, block, block.layout(), nullptr);
}

void EditorDocumentLayout::drawListItem(QPainter *painter, const PaintContext &context, const QTextBlock &block,
                                        const QTextLayout *layout, const QTextCharFormat *selectionFormat) const
{
    const QTextBlockFormat blockFormat = block.blockFormat();
    const QTextCharFormat charFormat = block.charFormat();
    QFont font(charFormat.font());
    if (paintDevice())
        font = QFont(font, paintDevice());
    const QFontMetrics metrics(font);
    QTextObject *object = document()->objectForFormat(blockFormat);
    int style = object->format().toListFormat().style();
    if (blockFormat.hasProperty(QTextFormat::ListStyle))
        style = QTextListFormat::Style(blockFormat.intProperty(QTextFormat::ListStyle));
    if (layout->lineCount() == 0)
        return;
    const QTextLine firstLine = layout->lineAt(0);
    QPointF pos = layout->position().toPoint();
    const Qt::LayoutDirection direction = block.textDirection();
    const QRectF textRect = firstLine.naturalTextRect();
    pos += textRect.topLeft().toPoint();
    if (direction == Qt::RightToLeft)
        pos.rx() += textRect.width();

    QString itemText;
    QSizeF size;
    switch (style) {
    case QTextListFormat::ListDecimal:
    case QTextListFormat::ListLowerAlpha:
    case QTextListFormat::ListUpperAlpha:
    case QTextListFormat::ListLowerRoman:
    case QTextListFormat::ListUpperRoman:
        itemText = static_cast<QTextList *>(object)->itemText(block);
        size = QSizeF(metrics.horizontalAdvance(itemText), metrics.height());
        break;
    case QTextListFormat::ListSquare:
    case QTextListFormat::ListCircle:
    case QTextListFormat::ListDisc:
        size = QSizeF(metrics.lineSpacing() / 3, metrics.lineSpacing() / 3);
        break;
    default:
        return;
    }
    QRectF r(pos, size);
    qreal xoff = metrics.horizontalAdvance(u' ');
    if (direction == Qt::LeftToRight)
        xoff = -xoff - size.width();
    r.translate(xoff, (metrics.height() / 2) - (size.height() / 2));

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const bool marker = blockFormat.marker() != QTextBlockFormat::MarkerType::NoMarker;
    if (selectionFormat) {
        painter->setPen(QPen(selectionFormat->foreground(), 0));
        if (!marker)
            painter->fillRect(r, selectionFormat->background());
    } else {
        QBrush foreground = charFormat.foreground();
        if (foreground == Qt::NoBrush)
            foreground = context.palette.text();
        painter->setPen(QPen(foreground, 0));
    }
    const QBrush brush = context.palette.brush(QPalette::Text);
    if (marker) {
        const int adjust = metrics.lineSpacing() / 6;
        r.adjust(-adjust, 0, -adjust, 0);
        const QRectF outer = r.adjusted(-adjust, -adjust, adjust, adjust);
        if (selectionFormat)
            painter->fillRect(outer, selectionFormat->background());
        if (blockFormat.marker() == QTextBlockFormat::MarkerType::Checked) {
            painter->setPen(QPen(painter->pen().color(), 2));
            painter->drawLine(r.topLeft(), r.bottomRight());
            painter->drawLine(r.topRight(), r.bottomLeft());
            painter->setPen(QPen(painter->pen().color(), 0));
        }
        painter->drawRect(outer);
    }
    switch (style) {
    case QTextListFormat::ListDecimal:
    case QTextListFormat::ListLowerAlpha:
    case QTextListFormat::ListUpperAlpha:
    case QTextListFormat::ListLowerRoman:
    case QTextListFormat::ListUpperRoman: {
        QTextLayout text(itemText, font, paintDevice());
        text.setCacheEnabled(true);
        QTextOption option(Qt::AlignLeft | Qt::AlignAbsolute);
        option.setTextDirection(direction);
        text.setTextOption(option);
        text.beginLayout();
        QTextLine line = text.createLine();
        if (line.isValid())
            line.setLeadingIncluded(true);
        text.endLayout();
        text.draw(painter, QPointF(r.left(), pos.y()));
        break;
    }
    case QTextListFormat::ListSquare:
        if (!marker)
            painter->fillRect(r, brush);
        break;
    case QTextListFormat::ListCircle:
        if (!marker) {
            painter->setPen(QPen(brush, 0));
            painter->drawEllipse(r.translated(0.5, 0.5)); // on the pixel grid, sharper
        }
        break;
    case QTextListFormat::ListDisc:
        if (!marker) {
            painter->setBrush(brush);
            painter->setPen(Qt::NoPen);
            painter->drawEllipse(r);
        }
        break;
    default:
        break;
    }
    painter->restore();
}

int EditorDocumentLayout::hitTestBlock(const QTextBlock &block, QTextLayout *layout, const QPointF &point,
                                       Qt::HitTestAccuracy accuracy, bool *exact) const
{
    QRectF textRect = boundsOf(layout);
    textRect.translate(layout->position());
    *exact = false;
    if (point.y() > textRect.bottom())
        return block.position() + block.length();
    const QPointF pos = point - layout->position();
    int offset = 0;
    for (int i = 0; i < layout->lineCount(); ++i) {
        const QTextLine line = layout->lineAt(i);
        const QRectF lineRect = line.naturalTextRect();
        if (lineRect.top() > pos.y()) {
            offset = qMin(offset, line.textStart());
        } else if (lineRect.bottom() <= pos.y()) {
            offset = qMax(offset, line.textStart() + line.textLength());
        } else {
            if (lineRect.left() <= pos.x() && lineRect.right() >= pos.x())
                *exact = true;
            // An anchor is hit from either half of its character.
            offset = line.xToCursor(pos.x(), accuracy == Qt::ExactHit ? QTextLine::CursorOnCharacter
                                                                       : QTextLine::CursorBetweenCharacters);
            break;
        }
    }
    return block.position() + offset;
}

int EditorDocumentLayout::hitTest(const QPointF &point, Qt::HitTestAccuracy accuracy) const
{
    if (!canLayOut())
        return -1;
    EditorDocumentLayout *layoutSelf = self();
    if (m_allDirty)
        layoutSelf->rebuildAll();
    const int last = document()->characterCount() - 1;
    const qint64 y = toFixed(point.y()) - m_frame.top;
    bool exact = false;
    int position = 0;
    QTextLayout *hitLayout = nullptr;
    if (y >= m_metrics.totalHeight()) {
        position = last + 1;
    } else if (y >= 0) {
        const int number = m_metrics.indexAtHeight(y);
        const QTextBlock block = document()->findBlockByNumber(number);
        hitLayout = layoutSelf->readyLayout(block, number);
        // Below the first paragraph's text, Qt's layout answers the start of the next one.
        if (!hitTestTableRow(block, point, accuracy, &position, &exact))
            position = hitTestBlock(block, hitLayout, point, accuracy, &exact);
    }
    if (accuracy == Qt::ExactHit && !exact)
        return -1;
    int lastPosition = last;
    if (hitLayout && !hitLayout->preeditAreaText().isEmpty())
        lastPosition += static_cast<int>(hitLayout->preeditAreaText().size());
    return qBound(0, position, lastPosition);
}
