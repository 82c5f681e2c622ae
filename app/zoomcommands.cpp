// The zoom commands of the Options menu, and the ruler that follows the zoom.

#include "app/tpenform1.h"

#include "app/zoom.h"
#include "document/richedit.h"
#include "editing/ruler.h"

void TPenForm1::ViewZoomInExecute()
{
    RichEdit1->setZoomPercent(Zoom::zoomedIn(RichEdit1->zoomPercent()));
}

void TPenForm1::ViewZoomOutExecute()
{
    RichEdit1->setZoomPercent(Zoom::zoomedOut(RichEdit1->zoomPercent()));
}

void TPenForm1::ViewZoomResetExecute()
{
    RichEdit1->setZoomPercent(Zoom::NormalPercent);
}

void TPenForm1::followZoom()
{
    connect(RichEdit1, &RichEdit::zoomChanged, this, [this](int percent) {
        runCommand([this, percent] {
            Ruler->setZoomPercent(percent);
            RichEdit1SelectionChange();
        });
    });
}
