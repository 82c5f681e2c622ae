#pragma once

#include <QFont>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <QWidget>

#include <functional>

class QToolButton;

// A box's text colour (the counter's digits, the colour field's caption).
void setTextColor(QWidget *box, const QColor &color);
// A box's background colour, for boxes and for plain widgets alike.
void setBackgroundColor(QWidget *box, const QColor &color);
// A dialog's frame: a title and a close button, no minimise or maximise button.
void useDialogFrame(QWidget *dialog);
// A font by family and height in pixels, as the windows' designs give their fonts.
QFont pixelFont(const char16_t *family, int pixels, bool bold = false);
// Writes a box's text only when it differs: a line edit repaints on every write.
void setBoxText(QLineEdit *box, const QString &text);
// Keeps the input method off in a box and in the line edit inside it (an editable combo box's):
// typed keys reach it as they are. A line edit asks for the input method whenever it is
// editable, whatever its attribute says, so the question itself is answered here.
void disableInputMethod(QWidget *box);
// Lets the window system put a window just shown on the screen (a window manager frames it
// first), for up to timeoutMs, handling no user input meanwhile; true once it is there, so
// that painting it shows. Runs no event loop of its own: deletions asked for before the
// program's event loop started still wait for it.
bool waitUntilExposed(QWidget *window, int timeoutMs);

// A read-only one-line box of the main window (size, colours): no text cursor, no
// context menu, and a click reported as such.
class DisplayBox : public QLineEdit {
    Q_OBJECT
public:
    explicit DisplayBox(const QString &text, QWidget *parent = nullptr);

signals:
    void mouseDown(Qt::MouseButton button);
    void clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};

// An up/down pair of arrow buttons stepping a position within a range by one, without
// wrapping; attached to a box, whose Up and Down keys step it too, and which shows the
// position in decimal. A step that changes the position raises clicked().
class UpDown : public QWidget {
    Q_OBJECT
public:
    UpDown(int minimum, int maximum, QWidget *parent = nullptr);

    void setBuddy(QLineEdit *buddy);
    // The position, read from the buddy's number (as a 16-bit signed value).
    int position() const;
    // One step up (+1) or down (-1): within the range, writes the new value into the buddy and
    // raises clicked(); at the end of the range nothing happens.
    void step(int direction);

signals:
    void clicked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int m_minimum;
    int m_maximum;
    QLineEdit *m_buddy = nullptr;
    QToolButton *m_up;
    QToolButton *m_down;
};

// The gap between groups of tool buttons: eight pixels with an etched line.
class ToolSeparator : public QWidget {
    Q_OBJECT
public:
    explicit ToolSeparator(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

// Draws the font box's entries through a function of the window's (each name in its own face),
// 15 pixels high.
class FontNameDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using Painter = std::function<void(QPainter *, const QStyleOptionViewItem &, const QString &)>;
    FontNameDelegate(Painter painter, QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    Painter m_painter;
};
