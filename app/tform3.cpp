#include "tform3.h"

#include "app/controls.h"

#include <QLabel>
#include <QPainter>

namespace {

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
        QPainter painter(this);
        painter.fillRect(rect(), QColor(255, 255, 0));
        painter.setPen(Qt::black);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        painter.setFont(font());
        painter.drawText(rect(), Qt::AlignCenter, m_caption);
    }

private:
    QString m_caption;
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
    if (percent() != before)
        repaint();
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

    Label1 = new QLabel(QStringLiteral("Penloft"), Panel1);
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
