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

#include <climits>
#include <cmath>

// The screen of the editor, seen at another resolution: every metric is the screen's but the
// dots to the inch, scaled by the zoom (whole dots, as a device has them).
namespace {

class ZoomDevice : public QPaintDevice {
public:
    // The screen's metrics are taken once: the layout asks for the resolution at every paragraph
    // and every font it resolves, and a widget answers each time from its screen.
    ZoomDevice(const QWidget *screen, int percent)
    {
        for (int m = PdmWidth; m <= PdmDevicePixelRatioScaled; ++m)
            m_metrics[m] = measure(screen, PaintDeviceMetric(m), percent);
    }
    QPaintEngine *paintEngine() const override { return nullptr; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        return metric >= PdmWidth && metric <= PdmDevicePixelRatioScaled ? m_metrics[metric] : 0;
    }

private:
    static int measure(const QWidget *screen, PaintDeviceMetric metric, int percent)
    {
        const auto scaled = [percent](int dpi) { return qMax(1, int(std::lround(double(dpi) * percent / 100))); };
        switch (metric) {
        case PdmWidth: return screen->width();
        case PdmHeight: return screen->height();
        case PdmWidthMM: return screen->widthMM();
        case PdmHeightMM: return screen->heightMM();
        // A widget has no colour count of its own (asking warns): the screen's, by its depth.
        case PdmNumColors: return screen->depth() >= 31 ? INT_MAX : 1 << screen->depth();
        case PdmDepth: return screen->depth();
        case PdmDpiX: return scaled(screen->logicalDpiX());
        case PdmDpiY: return scaled(screen->logicalDpiY());
        case PdmPhysicalDpiX: return scaled(screen->physicalDpiX());
        case PdmPhysicalDpiY: return scaled(screen->physicalDpiY());
        case PdmDevicePixelRatio: return int(screen->devicePixelRatio());
        case PdmDevicePixelRatioScaled: return int(screen->devicePixelRatio() * devicePixelRatioFScale());
        }
        return 0;
    }

    int m_metrics[PdmDevicePixelRatioScaled + 1] = {};
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
    m_richDocument->followLayoutResolution();
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
