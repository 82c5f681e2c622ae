#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QPageSize>
#include <QRect>
#include <QSize>

// The paper, orientation and margins a document is printed on, in twips, as the document keeps
// them (\paperw, \paperh, \margl, \margr, \margt, \margb, \landscape). A document that sets none
// prints on the report's own A4 page; isSet() tells the two apart.
struct PageSetup {
    // The paper as it lies for printing (landscape: the long side across), in twips.
    int paperWidthTwips = A4WidthTwips;
    int paperHeightTwips = A4HeightTwips;
    int leftTwips = DefaultSideTwips;
    int rightTwips = DefaultSideTwips;
    int topTwips = DefaultTopTwips;
    int bottomTwips = DefaultTopTwips;
    bool landscape = false;
    // Whether the document gave these (read from it, or chosen in the page setup).
    bool set = false;

    bool isSet() const { return set; }

    static constexpr int A4WidthTwips = 11906; // 210 mm
    static constexpr int A4HeightTwips = 16838; // 297 mm
    // The report's own margins: 10 mm at the sides, 5 mm above and below.
    static constexpr int DefaultSideTwips = 567;
    static constexpr int DefaultTopTwips = 283;
    // Papers from 1 to 22 inches; margins leave at least an inch of text across and down.
    static constexpr int MinPaperTwips = 1440;
    static constexpr int MaxPaperTwips = 31680;
    static constexpr int MinTextTwips = 1440;

    // The width of the text between the margins, in twips (the report's band on its A4 page
    // when nothing is set).
    int textWidthTwips() const;
    // The paper's size as Qt names it (a standard size when one matches within a millimetre),
    // portrait; with `orientation()` it gives the page layout.
    QPageSize pageSize() const;
    // The text's rectangle on the paper, in twips.
    QRect textRectTwips() const;

    // Every number brought into range: the paper between MinPaperTwips and MaxPaperTwips either
    // way, margins from 0 and leaving MinTextTwips of text (the right and bottom ones give way
    // first). Read values are hostile: this is applied before any arithmetic uses them.
    PageSetup clamped() const;

    bool operator==(const PageSetup &) const = default;

    // The page setup an RTF document's header gives: the words outside any group before the
    // first paragraph (\paperw, \paperh, \margl, \margr, \margt, \margb, \landscape), clamped;
    // not set when it gives none. Reads no further than the first paragraph word or text.
    static PageSetup fromRtf(QByteArrayView rtf);
    // Those words for this setup, in twips; empty when it is not set.
    QByteArray rtfWords() const;
    // RTF as this program writes it with the setup's words in its header (before \viewkind4).
    QByteArray insertedInto(QByteArray rtf) const;
};
