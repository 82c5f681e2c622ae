// The ruler's frame and, with the ruler feature, the dragging of its indent markers.

#include "app/tpenform1.h"

#include "editing/ruler.h"

#include <QFrame>

void TPenForm1::RulerResize()
{
    const int offset = RulerLine->x();
    RulerLine->resize(Ruler->contentsRect().width() - 2 * (offset - Ruler->contentsRect().x()), RulerLine->height());
}
