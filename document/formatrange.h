#pragma once

#include <QRect>
#include <QSize>

#include <memory>
#include <vector>

class QPainter;
class QPicture;
class QPaintDevice;
class QTextDocument;
class RichDocument;

// One format-range request: lay a character range out into a rectangle of a device and draw
// it, or only measure how much of it fits.
struct FormatRange {
    // Draws when rendering; the rectangle is placed in this painter's device pixels.
    QPainter *painter = nullptr;
    // The device the request is for; the painter's device when null. The text is laid out at
    // the screen's resolution, as the editor lays it out, whatever the device (the lines break
    // where the editor breaks them), and drawn scaled to the painter's device.
    QPaintDevice *target = nullptr;
    // Where the text goes and the whole page, in twips (1440 to the inch) of the device.
    QRect rectTwips;
    QRect pageTwips;
    // The most room a page gives the text, in twips (only its height counts; empty: no bound).
    // A picture taller than it, or wider than the rectangle, is drawn smaller, in its
    // proportions, so that it fits on one page.
    QSize pageAreaTwips;
    // The range in bytes: from `first` to `last` (-1: to the end of the text).
    qint64 first = 0;
    qint64 last = -1;
    bool render = true;
    // When not even one line fits the rectangle, take the first line all the same (drawn cut
    // to the rectangle), so that a caller going page by page always moves on.
    bool atLeastOneLine = false;
};

// Lays documents out for devices other than the screen, with the editor's layout at the
// screen's resolution, as wide as the rectangle. The layout is kept for the following requests,
// so that successive pages cost only their own lines; release() frees it.
class FormatRangeRenderer {
public:
    explicit FormatRangeRenderer(const RichDocument &source);
    ~FormatRangeRenderer();

    // Renders (or measures) whole lines from the one holding `first` while they fit the
    // rectangle's height. Returns the byte position of the first character that did not fit:
    // the next request starts there, so successive requests draw every character once.
    // Returns the text length when all of it fitted, `first` when not even one line fits, and
    // -1 for a request that cannot be carried out (no device, an empty rectangle).
    qint64 formatRange(const FormatRange &request);
    void release();
    // While held, requests see the text as it was when the hold began, whatever changes after
    // (and release() waits for the hold to end): a run of pages that lets the user go on
    // editing between its pages prints the text it began with. Positions and lengths are then
    // those of that text.
    void hold(bool on);

private:
    struct Layout;
    Layout &layoutFor(QPaintDevice *target, qreal widthPixels, qreal pageHeightPixels, qint64 first);
    std::unique_ptr<Layout> makeLayout(QPaintDevice *target, qreal widthPixels, qreal pageHeightPixels,
                                       qint64 first) const;
    static std::unique_ptr<QTextDocument> copyOf(const QTextDocument &source);

    const RichDocument &m_source;
    std::vector<std::unique_ptr<Layout>> m_layouts;
    bool m_held = false;
    std::unique_ptr<QTextDocument> m_snapshot; // the text held
    qint64 m_snapshotLength = 0;
    bool m_releasePending = false;
    std::unique_ptr<QPicture> m_screen; // a device of the screen's resolution
};
