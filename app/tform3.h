#pragma once

#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

class QLabel;

// A horizontal bar gauge: a black frame, the back colour inside, a bar in the fore colour as
// wide as the percentage done, and the percentage written over it by exclusive-or of white.
class TGauge : public QWidget {
    Q_OBJECT
public:
    explicit TGauge(QWidget *parent = nullptr);

    // trunc((progress - minimum) * 100 / (maximum - minimum)); 0 when the two ends are equal.
    static int percentDone(int minimum, int maximum, int progress);
    // The bar's width in whole pixels: none at 0 per cent, all of innerWidth at 100.
    static int barWidth(int innerWidth, int percent);

    int progress() const { return m_progress; }
    int maximum() const { return m_maximum; }
    // Clamps to [minimum, maximum]; the gauge is repainted only when the percentage changes.
    void setProgress(int progress);
    int percent() const { return percentDone(m_minimum, m_maximum, m_progress); }

    void setRange(int minimum, int maximum);
    void setForeColor(const QColor &color) { m_foreColor = color; update(); }
    void setBackColor(const QColor &color) { m_backColor = color; update(); }
    void setShowText(bool on) { m_showText = on; update(); }
    void setFramed(bool on) { m_framed = on; update(); }

    // The gauge as it is painted, composed off screen.
    QImage image() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_minimum = 0;
    int m_maximum = 100;
    int m_progress = 0;
    QColor m_foreColor = Qt::black;
    QColor m_backColor = Qt::white;
    bool m_showText = true;
    bool m_framed = true;
};

// The splash window shown while the main window initialises: the program's name over a
// yellow panel and a gauge of the initialisation's progress.
class TForm3 : public QWidget {
    Q_OBJECT
public:
    explicit TForm3(QWidget *parent = nullptr);

    void FormCreate();

    // Sets the gauge and repaints the splash at once, unless the screen got a picture of it
    // less than a frame ago (a display shows one picture a frame: one painted in between is
    // never seen, and each costs a round trip to the window system). The first step and the
    // gauge's end are always shown; a step skipped is in the next picture shown.
    void showProgress(int progress);

    QWidget *Panel1 = nullptr;
    QLabel *Label1 = nullptr;
    TGauge *Gauge1 = nullptr;

private:
    QElapsedTimer m_lastPicture;
};
