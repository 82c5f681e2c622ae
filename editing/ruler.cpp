#include "ruler.h"

#include "app/controls.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

RulerStrip::RulerStrip(QWidget *parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setBackgroundColor(this, QColor(0, 0, 128));
    setTextColor(this, QColor(255, 255, 0));
    // Its own background: the window's role (Button) would otherwise pass down to it.
    setBackgroundRole(QPalette::Window);
    setAutoFillBackground(true);
    setFont(pixelFont(u"ＭＳ ゴシック", 11));
}

QString RulerStrip::scaleText()
{
    static const QString fullWidthDigits = QString::fromUtf16(u"０１２３４５６７８９");
    QString text;
    for (int n = 1; n <= 27; ++n) {
        text += QString::fromUtf16(u"・・・");
        for (QChar digit : QString::number(n))
            text += fullWidthDigits.at(digit.digitValue());
    }
    return text + QString::fromUtf16(u"・");
}

void RulerStrip::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    if (m_zoomPercent == 100) {
        painter.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, scaleText());
        return;
    }
    // Zoomed, each mark stands where the document's length it marks is shown.
    const QString text = scaleText();
    const QFontMetricsF metrics(font());
    const QRect area = contentsRect();
    qreal at = 0;
    for (const QChar c : text) {
        const qreal x = area.x() + at * m_zoomPercent / 100;
        if (x > area.right())
            break;
        painter.drawText(QRectF(x, area.y(), metrics.horizontalAdvance(c), area.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         QString(c));
        at += metrics.horizontalAdvance(c);
    }
}

void RulerStrip::setZoomPercent(int percent)
{
    if (percent == m_zoomPercent)
        return;
    m_zoomPercent = percent;
    update();
}

void RulerStrip::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    emit resized();
}

RulerMarker::RulerMarker(Direction direction, const QColor &color, QWidget *parent)
    : QWidget(parent)
    , m_direction(direction)
    , m_color(color)
{
    setFixedSize(13, 12);
}

void RulerMarker::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_color);
    QPainterPath triangle;
    const qreal w = width();
    const qreal h = height();
    if (m_direction == Direction::Down) {
        triangle.moveTo(1, 2);
        triangle.lineTo(w - 1, 2);
        triangle.lineTo(w / 2, h - 1);
    } else {
        triangle.moveTo(w / 2, 1);
        triangle.lineTo(w - 1, h - 2);
        triangle.lineTo(1, h - 2);
    }
    triangle.closeSubpath();
    painter.drawPath(triangle);
}

void RulerMarker::mousePressEvent(QMouseEvent *event)
{
    emit pressed(event->position().toPoint().x());
}

void RulerMarker::mouseMoveEvent(QMouseEvent *event)
{
    emit moved(event->position().toPoint().x());
}

void RulerMarker::mouseReleaseEvent(QMouseEvent *event)
{
    emit released(event->position().toPoint().x());
}
