#pragma once

#include <QFrame>
#include <QHash>
#include <QList>
#include <QRawFont>

// A one-line text display for values that change at every keystroke: the status bar's
// position panels and the character counter. A new text repaints the display alone, with
// no new layout of its parent and none of a line edit's editing machinery. Each character's
// glyph and advance are looked up once per font, so a paint draws the glyphs without shaping
// the text again. A text with characters that need shaping (surrogates, combining marks,
// anything that is not one glyph per character) is drawn by the painter as a label would.
// The text is centred vertically and aligned left or right; mouse presses and clicks are
// reported.
class StatusText : public QFrame {
    Q_OBJECT
public:
    explicit StatusText(const QString &text = QString(), QWidget *parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString &text);
    void clear() { setText(QString()); }

    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);

    // The space between the contents' edge and the text on the aligned side. Negative (the
    // default) means a label's: half an "x" when the display has a frame, else none.
    int indent() const { return m_indent; }
    void setIndent(int pixels);

    // The width the display keeps while its text fits (0: none, the text's own). With growth,
    // a text too wide for it widens the display to show it whole, and one that fits again brings
    // it back; widths in between keep the wider one, so that digits coming and going do not lay
    // the window out again at every change.
    enum class Growth { None, ToFitText };
    void setBaseWidth(int pixels, Growth growth = Growth::None);
    int baseWidth() const { return m_baseWidth; }

    QSize sizeHint() const override;

signals:
    void mouseDown(Qt::MouseButton button);
    void clicked();

protected:
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    struct Glyph {
        int font = -1; // into m_fonts; -1: the character needs shaping
        quint32 index = 0;
        qreal advance = 0;
    };
    // Where a text's glyphs go, when each character is one glyph.
    struct Layout {
        bool simple = true;
        QRect area; // the contents less the indent
        qreal left = 0; // where the first glyph starts
        qreal width = 0;
        QList<Glyph> glyphs; // one per character
    };

    Glyph glyph(char16_t character);
    int effectiveIndent(int halfX) const;
    QRect textArea();
    void knowMetrics();
    Layout lay(const QString &text);
    const Layout &currentLayout();
    QRect changedArea(const Layout &old, const Layout &now, const QString &after) const;
    void forgetFont();
    void fitWidth(const Layout &layout, const QString &text);

    QString m_text;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    int m_indent = -1;
    QHash<char16_t, Glyph> m_glyphs;
    QList<QRawFont> m_fonts;
    qreal m_ascent = 0;
    qreal m_height = 0;
    int m_halfX = 0; // a label's indent beside a frame
    bool m_metricsKnown = false;
    Layout m_layout; // of m_text
    bool m_layoutKnown = false;
    int m_baseWidth = 0;
    Growth m_growth = Growth::None;
};
