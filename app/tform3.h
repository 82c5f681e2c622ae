#pragma once

#include <QColor>
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
    // Clamps to [minimum, maximum]; the gauge repaints only when the percentage changes.
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

    QWidget *Panel1 = nullptr;
    QLabel *Label1 = nullptr;
    TGauge *Gauge1 = nullptr;
};
