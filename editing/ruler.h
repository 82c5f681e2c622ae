#pragma once

#include <QFrame>
#include <QWidget>

// The ruler's scale strip: a navy bar with the scale as its caption in yellow.
class RulerStrip : public QFrame {
    Q_OBJECT
public:
    explicit RulerStrip(QWidget *parent = nullptr);

    // The scale: for each number 1 to 27 three "・" and the number in full-width digits, then
    // one final "・".
    static QString scaleText();

    // The editor's zoom, in percent: the scale is drawn that much wider.
    void setZoomPercent(int percent);
    int zoomPercent() const { return m_zoomPercent; }

signals:
    void resized();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int m_zoomPercent = 100;
};

// An indent marker: a 13 x 12 triangle, pointing down or up, that reports presses, moves and
// releases with the pointer's x in its own coordinates (it keeps the mouse while a button is
// held, so a drag goes on outside it).
class RulerMarker : public QWidget {
    Q_OBJECT
public:
    enum class Direction { Down, Up };
    RulerMarker(Direction direction, const QColor &color, QWidget *parent = nullptr);

signals:
    void pressed(int x);
    void moved(int x);
    void released(int x);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    Direction m_direction;
    QColor m_color;
};
