#include "tform3.h"

#include "app/controls.h"

#include <QEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QStyle>

namespace {

// The splash is repainted at once after each of the 101 initialisation passes, and only the
// gauge changes: its other parts draw their text once into a picture and show that. (The
// title's size is beyond what the glyph cache holds, so each paint filled its outlines again:
// most of the start-up's time.)
class PictureCache {
public:
    // Paints `widget` from the picture, made by `draw` when there is none of its size yet.
    template<typename Draw>
    void paint(QWidget *widget, Draw draw)
    {
        const qreal ratio = widget->devicePixelRatioF();
        const QSize size = widget->size() * ratio;
        if (m_picture.size() != size) {
            m_picture = QPixmap(size);
            m_picture.setDevicePixelRatio(ratio);
            m_picture.fill(Qt::transparent);
            QPainter painter(&m_picture);
            draw(painter);
        }
        QPainter(widget).drawPixmap(0, 0, m_picture);
    }
    void forget() { m_picture = QPixmap(); }

private:
    QPixmap m_picture;
};

// A label of plain text, without frame, margin or indent, whose text, once drawn, is shown as
// a picture.
class PictureLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *) override
    {
        m_cache.paint(this, [this](QPainter &painter) {
            painter.setFont(font());
            style()->drawItemText(&painter, contentsRect(), QStyle::visualAlignment(layoutDirection(), alignment()),
                                  palette(), isEnabled(), text(), foregroundRole());
        });
    }
    void changeEvent(QEvent *event) override
    {
        if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange
            || event->type() == QEvent::EnabledChange)
            m_cache.forget();
        QLabel::changeEvent(event);
    }

private:
    PictureCache m_cache;
};

// The panel whose caption, the rights notice, stands centred in it.
class CaptionPanel : public QWidget {
public:
    CaptionPanel(const QString &caption, QWidget *parent)
        : QWidget(parent)
        , m_caption(caption)
    {
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        m_cache.paint(this, [this](QPainter &painter) {
            painter.fillRect(rect(), QColor(255, 255, 0));
            painter.setPen(Qt::black);
            painter.drawRect(rect().adjusted(0, 0, -1, -1));
            painter.setFont(font());
            painter.drawText(rect(), Qt::AlignCenter, m_caption);
        });
    }
    void changeEvent(QEvent *event) override
    {
        if (event->type() == QEvent::FontChange)
            m_cache.forget();
        QWidget::changeEvent(event);
    }

private:
    QString m_caption;
    PictureCache m_cache;
};

} // namespace

TGauge::TGauge(QWidget *parent)
    : QWidget(parent)
{
}

int TGauge::percentDone(int minimum, int maximum, int progress)
{
    if (maximum == minimum)
        return 0;
    return static_cast<int>((static_cast<qint64>(progress) - minimum) * 100 / (static_cast<qint64>(maximum) - minimum));
}

int TGauge::barWidth(int innerWidth, int percent)
{
    return static_cast<int>(static_cast<qint64>(innerWidth) * percent / 100);
}

void TGauge::setRange(int minimum, int maximum)
{
    m_minimum = minimum;
    m_maximum = maximum;
    m_progress = qBound(qMin(minimum, maximum), m_progress, qMax(minimum, maximum));
    update();
}

void TGauge::setProgress(int progress)
{
    const int before = percent();
    m_progress = qBound(qMin(m_minimum, m_maximum), progress, qMax(m_minimum, m_maximum));
    // Painted with the next picture of its window (the splash repaints at once what the screen
    // can show, see TForm3::showProgress).
    if (percent() != before)
        update();
}

QImage TGauge::image() const
{
    QImage image(size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    const QRect inner = m_framed ? rect().adjusted(1, 1, -1, -1) : rect();
    painter.fillRect(inner, m_backColor);
    const int bar = barWidth(inner.width(), percent());
    if (bar > 0)
        painter.fillRect(QRect(inner.left(), inner.top(), bar, inner.height()), m_foreColor);
    if (m_showText) {
        // Each text pixel shows the inverse of what lies beneath it: black on the back colour,
        // yellow on a blue bar. Without smoothing, so that every pixel is inverted exactly.
        QFont textFont = font();
        textFont.setStyleStrategy(QFont::NoAntialias);
        painter.setFont(textFont);
        painter.setPen(Qt::white);
        painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter.drawText(inner, Qt::AlignCenter, QStringLiteral("%1%").arg(percent()));
    }
    return image;
}

void TGauge::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawImage(0, 0, image());
}

TForm3::TForm3(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(QStringLiteral("Penloft"));
    setFixedSize(392, 223);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);

    Panel1 = new CaptionPanel(QStringLiteral("Copyright (C) 2026 The Penloft Authors"), this);
    Panel1->setGeometry(5, 5, 382, 214);
    Panel1->setFont(pixelFont(u"ＭＳ Ｐゴシック", 15));

    Label1 = new PictureLabel(QStringLiteral("Penloft"), Panel1);
    QFont title = pixelFont(u"ＭＳ Ｐ明朝", 67);
    title.setBold(true);
    title.setItalic(true);
    Label1->setFont(title);
    setTextColor(Label1, Qt::red);
    // Drawn in its own text colour, not the button text that the splash's button-face
    // background would give its children.
    Label1->setForegroundRole(QPalette::WindowText);
    Label1->move(35, 24);
    Label1->adjustSize(); // the label sizes itself to its text

    Gauge1 = new TGauge(Panel1);
    Gauge1->setGeometry(35, 160, 320, 25);
    Gauge1->setForeColor(Qt::blue);
    Gauge1->setBackColor(Qt::white);
    Gauge1->setFont(pixelFont(u"ＭＳ Ｐゴシック", 21));
    FormCreate();
}

void TForm3::FormCreate()
{
    // A window of its own with no title bar and no frame, repainted at once.
    repaint();
}

void TForm3::showProgress(int progress)
{
    Gauge1->setProgress(progress);
    const QScreen *screen = this->screen();
    const qreal rate = screen && screen->refreshRate() > 1 ? screen->refreshRate() : 60.0;
    const qint64 frameNs = qint64(1e9 / rate);
    const bool end = Gauge1->progress() >= Gauge1->maximum();
    if (m_lastPicture.isValid() && !end && m_lastPicture.nsecsElapsed() < frameNs)
        return;
    repaint();
    m_lastPicture.start();
}
