#pragma once

#include "blockmetrics.h"
#include "changedlines.h"
#include "paragraphlines.h"

#include <QAbstractTextDocumentLayout>
#include <QBasicTimer>
#include <QElapsedTimer>

#include <deque>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class QTextLayout;
class QTextTable;

// The editor's document layout. It places paragraphs as Qt's document layout does (the same
// line breaks, line heights, indents, margins and drawing), for documents of paragraphs and
// lists, but keeps every paragraph's height and display-line count in a tree (BlockMetrics), so
// that an edit costs its own paragraph: a paragraph's y, the document's height, hit tests, the
// caret's rectangle and the display-line numbers come from sums in O(log n), and no following
// paragraph is touched. Within a long paragraph only the lines around the edit are broken again
// (ParagraphLines).
//
// Paragraphs are laid out when first needed: drawn, hit, asked for their rectangle or their
// lines. Until then their height is estimated from their length; with background layout on, the
// rest is laid out in slices while the program is idle. An estimate that turns out wrong is
// corrected, and heightCorrected() says where, so that a view can keep what it shows in place.
// Only recently used paragraphs keep their lines in memory; the others keep their numbers.
//
// Units: pixels of the paint device for the public interface; 1/64 pixel inside.
class EditorDocumentLayout : public QAbstractTextDocumentLayout {
    Q_OBJECT
    Q_PROPERTY(int cursorWidth READ cursorWidth WRITE setCursorWidth)
public:
    explicit EditorDocumentLayout(QTextDocument *document);
    ~EditorDocumentLayout() override;

    void draw(QPainter *painter, const PaintContext &context) override;
    int hitTest(const QPointF &point, Qt::HitTestAccuracy accuracy) const override;
    int pageCount() const override;
    QSizeF documentSize() const override;
    QRectF frameBoundingRect(QTextFrame *frame) const override;
    QRectF blockBoundingRect(const QTextBlock &block) const override;

    int cursorWidth() const { return m_cursorWidth; }
    void setCursorWidth(int width) { m_cursorWidth = width; }

    // -- Display lines: the wrapped lines of all paragraphs, numbered from 0. Exact: every
    // paragraph before the one asked about is laid out first if it was not yet. --
    // Line of a document position; with lineStart, also the position where that line starts.
    int lineOfPosition(int position, int *lineStart = nullptr);
    // The same at once: only the position's own paragraph is laid out, and those before it
    // count the lines they have, estimated where they are not laid out yet; *exact says
    // whether none of them was.
    int lineOfPositionNow(int position, int *lineStart, bool *exact);
    // Document position of the first character of a line, or -1 when there is no such line.
    int lineStart(int line);
    int lineCount();

    // Lays out every paragraph not laid out yet.
    void layOutAll();
    // The paint device now has another resolution (a view's zoom): every paragraph is measured
    // anew, as it is drawn or asked about.
    void resolutionChanged();
    // Lays out paragraphs not laid out yet up to the one holding `position`, for about
    // `budgetMs` at most; true once all of them are, when the line queries above answer at once.
    bool layOutThrough(int position, int budgetMs);
    // Paragraphs that have only an estimated height.
    int estimatedCount() const { return m_metrics.inexactCount(); }
    // How many layouts of a paragraph kept some of its lines from before an edit.
    int reusedLayouts() const { return m_reusedLayouts; }
    // Characters whose lines were broken (shaped and measured) so far, all paragraphs together.
    qint64 brokenCharacters() const { return m_brokenCharacters; }
    // Lays out the paragraphs not laid out yet, a few milliseconds at a time, whenever the
    // program is idle (off by default: a document that is never shown needs none).
    void setBackgroundLayout(bool on);
    // The user is typing: the background layout waits until they pause, so that no slice of it
    // stands between a key and its character on the screen.
    void holdBackgroundForInput();
    // Lays out the paragraphs between document heights top and bottom (pixels).
    void ensureLaidOut(qreal top, qreal bottom);
    // The rectangle of the table row a paragraph belongs to (pixels; across the frame's
    // content), or a null rectangle when it is not in a table.
    QRectF tableRowRect(const QTextBlock &block);
    // Draws the shading and the borders (in `color`) of the table row a paragraph belongs to,
    // as draw() does; false when it is not in a table. Pages draw a row's lines themselves,
    // one page each.
    bool drawTableRowBorders(QPainter *painter, const QTextBlock &block, const QColor &color);
    // Draws a list paragraph's number or bullet as draw() does, in `color` where the paragraph
    // gives its text none: pages show the markers the screen shows.
    void drawListMarker(QPainter *painter, const QTextBlock &block, const QColor &color) const;

    // While one lives, a huge paragraph laid out only in part answers what its lines are from the
    // lines laid out down to `bottom` (document pixels), as when it is drawn, instead of being
    // laid out whole first: for questions whose answers only say what to repaint (where the caret
    // stands when the focus comes or goes). A position beyond those lines has no line then.
    class PartAnswers {
    public:
        PartAnswers(EditorDocumentLayout &layout, qreal bottom);
        ~PartAnswers();
        PartAnswers(const PartAnswers &) = delete;
        PartAnswers &operator=(const PartAnswers &) = delete;

    private:
        EditorDocumentLayout &m_layout;
        qreal m_bottom;
    };

    // Around an input method's event: its preedit changes clear a paragraph's lines before the
    // layout hears of it, so a long paragraph's lines are copied first, and the change they
    // meet is found by comparing the texts before and after. Drop what was not used after.
    void holdLinesForInput(const QTextBlock &block);
    void dropHeldLines();

    // Whether a view that follows textMoved() shows this layout: an edit then moves the text
    // that only moved along its line instead of having it painted again.
    void setMovesText(bool on) { m_movesText = on; }

signals:
    // The text drawn in `source` (document pixels) moved by dx along its line, drawn from the
    // same glyphs: a view moves those pixels (or paints both places again). Sent before the
    // update() of what else changed.
    void textMoved(const QRectF &source, qreal dx);
    // A paragraph laid out for the first time turned out taller (delta > 0) or shorter than its
    // estimate: everything that was at document height `oldBottom` or below moved by delta.
    void heightCorrected(qreal oldBottom, qreal delta);

protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override;
    void timerEvent(QTimerEvent *event) override;

private:
    // The root frame's box, as Qt's document layout derives it from the frame format and the
    // page width (1/64 pixel).
    struct Frame {
        qint64 left = 0; // where paragraphs begin
        qint64 top = 0; // where the first paragraph begins
        qint64 contentWidth = 0; // from left to where paragraphs end
        qint64 marginWidth = 0; // the frame's margins, borders and padding across
        qint64 leftMargin = 0;
        qint64 rightMargin = 0;
        qint64 bottom = 0; // below the last paragraph
        bool operator==(const Frame &) const = default;
    };
    // Qt's fixed-point conversions: from a real by truncation, back by division.
    static qint64 toFixed(qreal value) { return static_cast<qint64>(value * 64); }
    static qreal toPixels(qint64 fixed) { return static_cast<qreal>(fixed) / 64; }

    enum class Keep { Lines, NumbersOnly };
    enum class Correction { Report, Quiet };

    bool canLayOut() const;
    Frame computeFrame() const;
    qreal dpiScale() const;
    qint64 blockIndent(const QTextBlockFormat &format) const;
    struct Margins {
        qreal top = 0;
        qreal bottom = 0;
        bool known = false;
    };
    const Margins &marginsOf(const QTextBlock &block) const;
    qint32 marginAbove(const QTextBlock &block) const;
    // The same, with the paragraph before it known (invalid for the first).
    qint32 marginBetween(const QTextBlock &previous, const QTextBlock &block) const;
    ParagraphLines::Geometry geometryOf(const QTextBlock &block, qint64 *rightIndent) const;
    BlockMetrics::Entry estimate(const QTextBlock &block) const;
    BlockMetrics::Entry estimate(const QTextBlock &block, const QTextBlock &previous) const;
    void resetEstimates();
    void learn(const QTextLayout *layout, qint64 height);

    void rebuildAll();
    void followChange(int from, int charsRemoved, int charsAdded);
    // Document height (pixels) from which an edit at `at` inside paragraph `number`, just laid
    // out again, can have changed what it shows.
    qreal changedLinesTop(const QTextBlock &block, int number, int at) const;
    // The lines of a paragraph's layout about text position `at`, from the line before it on;
    // `from` is set to the first one's number. (editordocumentlayout_changes.cpp, as the next two)
    static std::vector<ChangedLines::Line> keepLinesAround(const QTextLayout &layout, int at, int *from);
    // What an edit at `at` inside paragraph `number` (`removed` characters replaced by `added`),
    // just laid out again with its height unchanged, changed on the screen, in document pixels,
    // given its lines from line `from` on as they were: the areas to paint again (none when
    // nothing changed) and, when moves are on, runs of text to move along their lines; none
    // when its lines cannot tell.
    struct TextMove {
        QRectF source;
        qreal dx = 0;
    };
    struct ChangedArea {
        std::vector<QRectF> repaint;
        std::vector<TextMove> moves;
    };
    std::optional<ChangedArea> changedArea(const QTextBlock &block, int number, int from,
                                           const std::vector<ChangedLines::Line> &before, int at, int removed,
                                           int added) const;
    // The same, split into each changed line's runs to move and the rest.
    void splitIntoMoves(const QTextBlock &block, const QTextLayout &layout, int from,
                        const std::vector<ChangedLines::Line> &before, const std::vector<ChangedLines::Line> &after,
                        ChangedLines::Range range, int at, int removed, int added, qreal origin,
                        ChangedArea *area) const;
    void layOutBlock(const QTextBlock &block, int number, Keep keep, Correction correction);
    QTextLayout *readyLayout(const QTextBlock &block, int number);
    // A huge paragraph being drawn is laid out only down to the area drawn, the rest later:
    // false when this one is not laid out so (see m_partial).
    bool layOutPartly(const QTextBlock &block, int number);
    bool canBePartial(const QTextBlock &block, int number) const;
    // The line of a huge paragraph not laid out yet that holds a text position (from its
    // start), its lines laid out in part down to there; -1 when it turned out laid out whole.
    int partLineOf(const QTextBlock &block, int number, int offset, int *lineStart);
    // Goes on with the paragraph laid out in part, for a slice of the background layout.
    void continuePart(const QTextBlock &block, int number);
    void settlePart(int number, const ParagraphLines::Result &r, qint64 rightIndent, Correction correction);
    void dropPartial();
    void hidePartialLines();
    void placeLayout(QTextLayout *layout, int number) const;
    void ensureExactThrough(int number); // editordocumentlayout_lines.cpp
    // The same for about budgetMs at most (-1: no limit); true once done.
    bool layOutInexactThrough(int number, int budgetMs);
    void touch(int number);
    // Frees a paragraph\'s text layout, and the rules kept for it.
    void freeBlockLayout(const QTextBlock &block);
    void followRecent(int first, int oldLast, int delta);
    void keepHeldLines(int number, QTextLayout *layout); // editordocumentlayout_input.cpp
    void keepLinesAcrossSplit(const QTextBlock &first, int at, int removed, int added); // the same
    void reportSize();
    // Says that a paragraph laid out for the first time changed the height below oldBottom by
    // delta (1/64 pixel), with the document's new size, in the order a view can follow.
    void reportCorrection(qreal oldBottom, qint64 delta);
    void startBackground();
    EditorDocumentLayout *self() const { return const_cast<EditorDocumentLayout *>(this); }
    // A paragraph layout's bounding rectangle (QTextLayout::boundingRect, which walks every
    // line): the last one found is kept until a layout changes, so that a paragraph of many
    // lines asked for its rectangle line after line costs its lines once.
    QRectF boundsOf(const QTextLayout *layout) const;
    void forgetBounds() { m_bounds = {}; }

    // editordocumentlayout_draw.cpp
    void drawBlock(QPainter *painter, const PaintContext &context, const QTextBlock &block, QTextLayout *layout,
                   const QRectF &frameClip) const;
    void drawListItem(QPainter *painter, const PaintContext &context, const QTextBlock &block,
                      const QTextLayout *layout, const QTextCharFormat *selectionFormat) const;
    int hitTestBlock(const QTextBlock &block, QTextLayout *layout, const QPointF &point,
                     Qt::HitTestAccuracy accuracy, bool *exact) const;

    // editordocumentlayout_tables.cpp: table rows, laid out, placed, drawn and hit as a whole.
    // Each answers false for a paragraph outside tables.
    struct CellColumn {
        qint64 left = 0; // the cell's edges and its text's, from the frame's content left
        qint64 right = 0;
        qint64 textLeft = 0;
        qint64 textRight = 0;
        qint64 borders[4] = { 0, 0, 0, 0 }; // top, left, bottom, right
    };
    struct CellPlace {
        qint64 x = 0; // where the cell's text begins, from the frame's content left
        qint64 y = 0; // the paragraph's top, from its row's top
        qint64 rowAbove = 0; // the part of the row's height before the paragraph's entry
    };
    qint64 twipsToFixed(int twips) const;
    CellColumn cellColumn(const QTextTable &table, int row, int column) const;
    bool layOutTableRow(const QTextBlock &block, Keep keep, Correction correction);
    const CellPlace *cellPlaceOf(const QTextBlock &block) const;
    bool placeCellLayout(QTextLayout *layout, const QTextBlock &block, int number) const;
    qint64 rowTopOf(const QTextBlock &block, int number) const;
    // Draws the row of `block` and moves block and number to the row's last paragraph.
    bool drawTableRow(QPainter *painter, const PaintContext &context, QTextBlock &block, int &number,
                      const QRectF &frameClip);
    void drawRowBorders(QPainter *painter, const QTextTable &table, int row, qint64 top, qint64 height,
                        const QColor &color) const;
    // The row's shaded cells, filled with their colour (before their text and borders).
    void fillRowShading(QPainter *painter, const QTextTable &table, int row, qint64 top, qint64 height) const;
    bool hitTestTableRow(const QTextBlock &block, const QPointF &point, Qt::HitTestAccuracy accuracy, int *position,
                         bool *exact) const;
    // A selection of whole cells (QTextCursor's complex selection), as drawn: each selected
    // cell filled and its text highlighted, the cells between them in the text left alone.
    struct CellSelection {
        int index = 0; // in the paint context's selections
        const QTextTable *table = nullptr;
        int firstRow = 0;
        int rows = 0;
        int firstColumn = 0;
        int columns = 0;
        bool covers(int row, int column) const
        {
            return row >= firstRow && row < firstRow + rows && column >= firstColumn && column < firstColumn + columns;
        }
    };
    void collectCellSelections(const PaintContext &context);
    // The cell selection that selection `index` of the context is, or null.
    const CellSelection *cellSelectionOf(int index) const;
    // Whether a paragraph lies in a cell the cell selection selects.
    bool coversBlock(const CellSelection &cells, const QTextBlock &block) const;
    void fillSelectedCells(QPainter *painter, const PaintContext &context, const QTextTable &table, int row,
                           qint64 top, qint64 height) const;
    // A table's rows across the document's width (the text control repaints a selection in a
    // table within it); a null rectangle for any other frame.
    QRectF tableBoundingRect(QTextFrame *frame) const;

    BlockMetrics m_metrics;
    Frame m_frame;
    bool m_allDirty = true; // the metrics do not follow the document (layout off, or not built)
    qint64 m_widest = 0; // widest line seen, with its right indent
    qint64 m_lineHeight = 0; // estimate of one line's height
    double m_charsPerLine = 1;
    qint64 m_learnedCharacters = 0;
    qint64 m_learnedLines = 0;
    qint64 m_learnedHeight = 0;
    qint64 m_learnedHeightLines = 0;
    int m_cursorWidth = 1;
    int m_reusedLayouts = 0;
    qint64 m_brokenCharacters = 0;
    int m_drawing = 0;
    QSizeF m_reportedSize;
    mutable std::vector<Margins> m_margins; // by block format index
    // The space between two paragraphs of these formats, unscaled: the last one asked for.
    struct MarginPair {
        int above = -1;
        int below = -1;
        qreal margin = 0;
    };
    mutable MarginPair m_marginPair;
    bool m_sizePending = false;
    // Lines kept across an edit of a long paragraph, by paragraph number, until it is laid out.
    std::unordered_map<int, std::unique_ptr<ParagraphLines::KeptLines>> m_kept;
    // The character rules of the long paragraph laid out last, for its next edit.
    ParagraphLines::CharacterRules m_rules;
    // Paragraphs whose lines are kept in memory, oldest first.
    std::deque<int> m_recent;
    std::unordered_set<int> m_recentSet;
    size_t m_largestRow = 0; // paragraphs in the largest table row laid out
    struct InputHold {
        int number = -1;
        QString text; // the layout's text when the lines were copied
        std::unique_ptr<ParagraphLines::KeptLines> lines;
    };
    InputHold m_inputHold;
    // The paragraph laid out in part, or -1: its entry is estimated past its lines, which are
    // in its layout only while it is drawn (so that anything else that reads the layout finds
    // no lines and has it laid out whole); the background layout goes on with it.
    int m_partial = -1;
    std::unique_ptr<ParagraphLines::PartialLines> m_partialLines;
    const QTextLayout *m_partialLayout = nullptr;
    qint64 m_partialHeight = 0; // of its lines so far, 1/64 pixel
    qreal m_drawBottom = 0; // the bottom of the area being drawn (pixels; infinite: all)
    bool m_background = false;
    QBasicTimer m_backgroundTimer;
    QElapsedTimer m_lastInput; // since the last key held the background layout back
    QBasicTimer m_sizeTimer;
    bool m_hasTables = false;
    bool m_movesText = false;
    // Where the paragraphs of table cells sit in their rows, by block (fragment index).
    std::unordered_map<int, CellPlace> m_cellPlaces;
    std::vector<CellSelection> m_cellSelections; // of the drawing in progress
    struct Bounds {
        const QTextLayout *layout = nullptr;
        int lines = 0;
        QRectF rect;
    };
    mutable Bounds m_bounds;
};
