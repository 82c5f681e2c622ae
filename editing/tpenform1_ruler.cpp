// The ruler: its frame, and the dragging of its three indent markers.

#include "app/tpenform1.h"

#include "app/zoom.h"

#include "document/richedit.h"
#include "editing/ruler.h"
#include "editing/statusdisplay.h"

#include <QFrame>

void TPenForm1::RulerResize()
{
    const int offset = RulerLine->x() - Ruler->contentsRect().x();
    RulerLine->resize(Ruler->contentsRect().width() - 2 * offset, RulerLine->height());
}

void TPenForm1::RulerItemMouseDown(RulerMarker *marker, int x)
{
    // The marker's middle jumps under the pointer; any button drags.
    MarkerGrabOffset = marker->width() / 2;
    marker->move(marker->x() + x - MarkerGrabOffset, marker->y());
    MarkerDragging = true;
}

void TPenForm1::RulerItemMouseMove(RulerMarker *marker, int x)
{
    // Nothing limits the edge: a marker may go past either end of the ruler.
    if (MarkerDragging)
        marker->move(marker->x() + x - MarkerGrabOffset, marker->y());
}

void TPenForm1::FirstIndMouseUp()
{
    MarkerDragging = false;
    {
        // Both indents, one step of the history; the displays follow once it is complete.
        const RichEdit::UndoStep step(*RichEdit1);
        ParaFormat first;
        first.mask = ParaFormat::FirstIndent;
        first.firstIndentTwips
            = Zoom::unshown(IndentGeometry::firstIndentAt(FirstInd->x(), MarkerGrabOffset), RichEdit1->zoomPercent())
            * TextFormats::TwipsPerPoint;
        RichEdit1->setParaFormat(first);
        // The left indent is taken again from the unmoved left marker, so the following lines
        // keep their place and only the first line moves.
        writeLeftIndentAtMarker();
    }
    RichEdit1SelectionChange();
}

void TPenForm1::LeftIndMouseUp()
{
    MarkerDragging = false;
    writeLeftIndentAtMarker();
    RichEdit1SelectionChange();
}

void TPenForm1::writeLeftIndentAtMarker()
{
    const int zoom = RichEdit1->zoomPercent();
    const int firstPoints = RichEdit1->paraFormat().firstIndentTwips / TextFormats::TwipsPerPoint;
    ParaFormat left;
    left.mask = ParaFormat::LeftIndent;
    left.leftIndentTwips
        = Zoom::unshown(IndentGeometry::leftIndentAt(LeftInd->x(), MarkerGrabOffset, Zoom::shown(firstPoints, zoom)), zoom)
        * TextFormats::TwipsPerPoint;
    RichEdit1->setParaFormat(left);
}

void TPenForm1::RightIndMouseUp()
{
    MarkerDragging = false;
    ParaFormat right;
    right.mask = ParaFormat::RightIndent;
    right.rightIndentTwips = Zoom::unshown(IndentGeometry::rightIndentAt(RightInd->x(), MarkerGrabOffset,
                                                                         Ruler->contentsRect().width()),
                                           RichEdit1->zoomPercent())
        * TextFormats::TwipsPerPoint;
    RichEdit1->setParaFormat(right);
    RichEdit1SelectionChange();
}
