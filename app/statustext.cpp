#include "statustext.h"

#include "app/accessibility.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTextLayout>

#include <cmath>
#include <utility>

namespace {

// Glyphs may reach a little past their advance (bold, antialiasing): a changed stretch is
// repainted with this much to spare on either side.
constexpr int Bleed = 2;

// Whether a character looks the same laid out alone as within any text: no surrogate halves,
// marks, controls or bidirectional embeddings, and a script without contextual shapes.
bool drawnAlone(QChar c)
{
    if (c.isSurrogate() || c.isMark() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
        return false;
    switch (c.script()) {
    case QChar::Script_Common:
    case QChar::Script_Latin:
    case QChar::Script_Greek:
    case QChar::Script_Cyrillic:
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
        break;
    default:
        return false;
    }
    switch (c.direction()) {
    case QChar::DirL:
    case QChar::DirEN:
    case QChar::DirES:
    case QChar::DirET:
    case QChar::DirCS:
    case QChar::DirWS:
    case QChar::DirON:
        return true;
    default:
        return false;
    }
}

} // namespace

StatusText::StatusText(const QString &text, QWidget *parent)
    : QFrame(parent)
    , m_text(text)
{
    setContextMenuPolicy(Qt::PreventContextMenu);
    // Its own roles, not its parent's: a tool bar would lend the button colours.
    setBackgroundRole(QPalette::Window);
    setForegroundRole(QPalette::WindowText);
    // Opaque: it fills its own background, with the painter it draws the text with.
    setAttribute(Qt::WA_OpaquePaintEvent);
    Accessibility::install();
}

void StatusText::setAlignment(Qt::Alignment alignment)
{
    alignment &= Qt::AlignHorizontal_Mask;
    if (alignment == m_alignment)
        return;
    m_alignment = alignment;
    m_layoutKnown = false;
    update();
}

void StatusText::setIndent(int pixels)
{
    if (pixels == m_indent)
        return;
    m_indent = pixels;
    m_layoutKnown = false;
    update();
}

void StatusText::setBaseWidth(int pixels, Growth growth)
{
    m_baseWidth = pixels;
    m_growth = growth;
    setMinimumWidth(growth == Growth::ToFitText ? pixels : 0);
    setMaximumWidth(growth == Growth::ToFitText ? QWIDGETSIZE_MAX : pixels);
    updateGeometry();
    fitWidth(currentLayout(), m_text);
}

QSize StatusText::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int frame = 2 * frameWidth();
    const int indent = effectiveIndent(metrics.horizontalAdvance(u'x') / 2);
    const int height = metrics.height() + frame;
    if (m_baseWidth > 0)
        return { qMax(m_baseWidth, minimumWidth()), height };
    return { metrics.horizontalAdvance(m_text) + 2 * indent + frame, height };
}

void StatusText::fitWidth(const Layout &layout, const QString &text)
{
    if (m_growth != Growth::ToFitText)
        return;
    const qreal textWidth = layout.simple ? layout.width : QFontMetricsF(font()).horizontalAdvance(text);
    const int needed = int(std::ceil(textWidth)) + 2 * effectiveIndent(m_halfX) + 2 * frameWidth() + Bleed;
    int wanted = width();
    if (needed > width())
        wanted = needed;
    else if (needed <= m_baseWidth)
        wanted = m_baseWidth;
    if (wanted == width() && wanted == minimumWidth())
        return;
    setMinimumWidth(wanted);
    updateGeometry();
    m_layoutKnown = false;
    update();
}

void StatusText::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        forgetFont();
    QFrame::changeEvent(event);
}

void StatusText::forgetFont()
{
    m_glyphs.clear();
    m_fonts.clear();
    m_metricsKnown = false;
    m_layoutKnown = false;
}

StatusText::Glyph StatusText::glyph(char16_t character)
{
    const auto known = m_glyphs.constFind(character);
    if (known != m_glyphs.cend())
        return *known;

    // The character laid out alone, as the painter would shape it, fallback font included.
    Glyph found;
    const QChar qc(character);
    if (drawnAlone(qc)) {
        QTextLayout layout(QString(qc), font());
        QTextOption option;
        option.setFlags(QTextOption::IncludeTrailingSpaces);
        layout.setTextOption(option);
        layout.beginLayout();
        QTextLine line = layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        if (line.isValid() && runs.size() == 1 && runs.front().glyphIndexes().size() == 1) {
            const QRawFont raw = runs.front().rawFont();
            qsizetype at = m_fonts.indexOf(raw);
            if (at < 0) {
                m_fonts.append(raw);
                at = m_fonts.size() - 1;
            }
            found.font = static_cast<int>(at);
            found.index = runs.front().glyphIndexes().front();
            found.advance = line.horizontalAdvance();
        }
    }
    m_glyphs.insert(character, found);
    return found;
}

int StatusText::effectiveIndent(int halfX) const
{
    return m_indent >= 0 ? m_indent : (frameWidth() > 0 ? halfX : 0);
}

QRect StatusText::textArea()
{
    knowMetrics();
    QRect area = contentsRect();
    const int indent = effectiveIndent(m_halfX);
    if (m_alignment & Qt::AlignRight)
        area.setRight(area.right() - indent);
    else if (!(m_alignment & Qt::AlignHCenter))
        area.setLeft(area.left() + indent);
    return area;
}

void StatusText::knowMetrics()
{
    if (m_metricsKnown)
        return;
    const QFontMetricsF metrics(font());
    m_ascent = metrics.ascent();
    m_height = metrics.ascent() + metrics.descent();
    m_halfX = QFontMetrics(font()).horizontalAdvance(u'x') / 2;
    m_metricsKnown = true;
    // The digits, which every count and position shows, are looked up with the font rather
    // than one by one as the numbers first reach them while the user types.
    for (char16_t digit = u'0'; digit <= u'9'; ++digit)
        glyph(digit);
}

StatusText::Layout StatusText::lay(const QString &text)
{
    Layout layout;
    layout.area = textArea();
    layout.glyphs.reserve(text.size());
    for (const QChar c : text) {
        const Glyph g = glyph(c.unicode());
        if (g.font < 0) {
            layout.simple = false;
            layout.glyphs.clear();
            return layout;
        }
        layout.glyphs.append(g);
        layout.width += g.advance;
    }
    const QRect &area = layout.area;
    if (m_alignment & Qt::AlignRight)
        layout.left = area.x() + area.width() - layout.width;
    else if (m_alignment & Qt::AlignHCenter)
        layout.left = area.x() + (area.width() - layout.width) / 2;
    else
        layout.left = area.x();
    return layout;
}

const StatusText::Layout &StatusText::currentLayout()
{
    // A new font, size, frame or alignment moves the text.
    if (!m_layoutKnown || m_layout.area != textArea()) {
        m_layout = lay(m_text);
        m_layoutKnown = true;
    }
    return m_layout;
}

void StatusText::setText(const QString &text)
{
    if (text == m_text)
        return;
    const Layout &old = currentLayout();
    Layout now = lay(text);
    const QRect changed = changedArea(old, now, text);
    const QString before = std::exchange(m_text, text);
    m_layout = std::move(now);
    update(changed);
    fitWidth(m_layout, m_text);
    Accessibility::announceTextChange(this, before);
}

QRect StatusText::changedArea(const Layout &old, const Layout &now, const QString &after) const
{
    const QRect whole = contentsRect();
    if (!old.simple || !now.simple || (m_alignment & Qt::AlignHCenter))
        return whole;

    // Characters the two texts share at either end, standing where they stood, stay as they
    // are: on the aligned side always, on the other when the texts are as wide.
    const QString &before = m_text;
    const auto same = [](qreal a, qreal b) { return std::abs(a - b) < 1.0 / 64; };
    const qsizetype common = std::min(before.size(), after.size());
    qsizetype prefix = 0;
    qreal prefixAdvance = 0;
    if (same(old.left, now.left)) {
        while (prefix < common && before[prefix] == after[prefix])
            prefixAdvance += old.glyphs[prefix++].advance;
    }
    qsizetype suffix = 0;
    qreal suffixAdvance = 0;
    const qreal oldRight = old.left + old.width;
    const qreal nowRight = now.left + now.width;
    if (same(oldRight, nowRight)) {
        while (suffix < common - prefix && before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
            suffixAdvance += old.glyphs[before.size() - 1 - suffix++].advance;
    }
    const qreal left = prefix > 0 ? old.left + prefixAdvance : std::min(old.left, now.left);
    const qreal right = suffix > 0 ? oldRight - suffixAdvance : std::max(oldRight, nowRight);
    const QRect changed(QPoint(static_cast<int>(std::floor(left)) - Bleed, whole.top()),
                        QPoint(static_cast<int>(std::ceil(right)) + Bleed, whole.bottom()));
    return changed & whole;
}

void StatusText::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().brush(backgroundRole()));
    if (!contentsRect().contains(event->rect()))
        drawFrame(&painter);
    if (m_text.isEmpty())
        return;

    const Layout &layout = currentLayout();
    painter.setPen(palette().color(foregroundRole()));
    if (!layout.simple) {
        painter.drawText(layout.area, static_cast<int>(m_alignment | Qt::AlignVCenter), m_text);
        return;
    }
    if (layout.width > layout.area.width())
        painter.setClipRect(layout.area, Qt::IntersectClip);

    // Centred as a label centres its line.
    const qreal baseline = std::round(layout.area.top() + (layout.area.height() - m_height) / 2 + m_ascent);
    // Only the glyphs that reach into the repainted stretch are drawn.
    const qreal from = event->rect().left() - Bleed;
    const qreal to = event->rect().right() + 1 + Bleed;

    // Consecutive characters of one font make one run.
    QList<quint32> indexes;
    QList<QPointF> positions;
    int runFont = -1;
    const auto drawRun = [&] {
        if (indexes.isEmpty())
            return;
        QGlyphRun run;
        run.setRawFont(m_fonts.at(runFont));
        run.setGlyphIndexes(indexes);
        run.setPositions(positions);
        painter.drawGlyphRun(QPointF(0, baseline), run);
        indexes.clear();
        positions.clear();
    };
    qreal x = layout.left;
    for (const Glyph &g : layout.glyphs) {
        if (x + g.advance >= from && x <= to) {
            if (g.font != runFont) {
                drawRun();
                runFont = g.font;
            }
            indexes.append(g.index);
            // On whole pixels: each character's glyph is rendered once, not once per
            // fraction of a pixel it may fall on.
            positions.append(QPointF(std::round(x), 0));
        }
        x += g.advance;
    }
    drawRun();
}

void StatusText::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    emit mouseDown(event->button());
}

void StatusText::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}
