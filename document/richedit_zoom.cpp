// The editor's zoom: the layout measures the document for a device of proportionally more (or
// fewer) dots to the inch than the screen, so fonts, indents, pictures and tables are laid out
// and drawn larger while the document's own sizes stay as they are. The text still wraps at the
// window's width.

#include "richedit.h"

#include "app/zoom.h"
#include "editordocumentlayout.h"
#include "loadinggate.h"

#include <QScrollBar>
#include <QWheelEvent>

#include <cmath>

// The screen of the editor, seen at another resolution: every metric is the screen's but the
// dots to the inch, scaled by the zoom (whole dots, as a device has them).
namespace {

class ZoomDevice : public QPaintDevice {
public:
    ZoomDevice(const QWidget *screen, int percent)
        : m_screen(screen)
        , m_percent(percent)
    {
    }
    QPaintEngine *paintEngine() const override { return nullptr; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth: return m_screen->width();
        case PdmHeight: return m_screen->height();
        case PdmWidthMM: return m_screen->widthMM();
        case PdmHeightMM: return m_screen->heightMM();
        case PdmNumColors: return m_screen->colorCount();
        case PdmDepth: return m_screen->depth();
        case PdmDpiX: return scaled(m_screen->logicalDpiX());
        case PdmDpiY: return scaled(m_screen->logicalDpiY());
        case PdmPhysicalDpiX: return scaled(m_screen->physicalDpiX());
        case PdmPhysicalDpiY: return scaled(m_screen->physicalDpiY());
        case PdmDevicePixelRatio: return int(m_screen->devicePixelRatio());
        case PdmDevicePixelRatioScaled: return int(m_screen->devicePixelRatio() * devicePixelRatioFScale());
        }
        return 0;
    }

private:
    int scaled(int dpi) const { return qMax(1, int(std::lround(double(dpi) * m_percent / 100))); }

    const QWidget *m_screen;
    int m_percent;
};

} // namespace

RichEdit::~RichEdit()
{
    // The document's layout outlives the members: it must not keep the device that goes with them.
    if (m_zoomDevice)
        m_richDocument->layout()->setPaintDevice(viewport());
}

int RichEdit::zoomPercent() const
{
    return m_zoomPercent;
}

void RichEdit::setZoomPercent(int percent)
{
    percent = Zoom::clamped(percent);
    if (percent == m_zoomPercent)
        return;
    // The caret's place in the window is kept where it can be, and it stays in view.
    const int caretTop = cursorRect().top();
    m_zoomPercent = percent;
    std::unique_ptr<QPaintDevice> device;
    if (percent != Zoom::NormalPercent)
        device = std::make_unique<ZoomDevice>(viewport(), percent);
    EditorDocumentLayout *layout = m_richDocument->layout();
    layout->setPaintDevice(device ? device.get() : viewport());
    m_zoomDevice = std::move(device);
    layout->resolutionChanged();
    const int caretNow = cursorRect().top();
    verticalScrollBar()->setValue(verticalScrollBar()->value() + caretNow - caretTop);
    ensureCursorVisible();
    viewport()->update();
    emit zoomChanged(percent);
}

void RichEdit::wheelEvent(QWheelEvent *event)
{
    // Ctrl with the wheel zooms the view, a step a notch; the editor's own handling would make
    // the document's fonts larger.
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QTextEdit::wheelEvent(event);
        return;
    }
    m_wheelRemainder += event->angleDelta().y();
    const int steps = m_wheelRemainder / QWheelEvent::DefaultDeltasPerStep;
    m_wheelRemainder -= steps * QWheelEvent::DefaultDeltasPerStep;
    if (steps != 0)
        setZoomPercent(Zoom::stepped(m_zoomPercent, steps));
    event->accept();
}
