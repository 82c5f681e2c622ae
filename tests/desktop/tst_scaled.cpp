// The program at twice the size (QT_SCALE_FACTOR=2), as users with a dense screen run it: the
// ruler's indent markers, read from the screen, stand over the indents of the text the editor
// shows, and are drawn whole.

#include "desktop.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Where pixels of one marker's colour lie on the screen.
QRect colourBox(const QImage &image, const std::function<bool(QRgb)> &isIt, int fromY, int toY)
{
    QRect box;
    for (int y = qMax(0, fromY); y < qMin(image.height(), toY); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (isIt(image.pixel(x, y)))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

bool red(QRgb c)
{
    return qRed(c) > 220 && qGreen(c) < 40 && qBlue(c) < 40;
}
bool blue(QRgb c)
{
    return qBlue(c) > 220 && qRed(c) < 40 && qGreen(c) < 40;
}
bool magenta(QRgb c)
{
    return qRed(c) > 220 && qBlue(c) > 220 && qGreen(c) < 40;
}

// The rows of text below `top` within columns [0, right): each as the span of its ink, the
// first line first. A text row is a run of rows with dark pixels; a blank row ends it.
QList<QRect> textLines(const QImage &image, int top, int right, int count)
{
    QList<QRect> lines;
    QRect current;
    right = qMin(right, image.width());
    for (int y = top; y < image.height() && lines.size() < count; ++y) {
        QRect row;
        for (int x = 0; x < right; ++x) {
            if (qGray(image.pixel(x, y)) < 110)
                row |= QRect(x, y, 1, 1);
        }
        if (!row.isNull()) {
            current |= row;
        } else if (!current.isNull()) {
            lines.append(current);
            current = QRect();
        }
    }
    return lines;
}

} // namespace

class tst_DesktopScaled : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        if (QTest::currentTestFailed())
            Desktop::recordFailure();
    }
    void rulerMarkersStandOverTheIndentsAtScale2();
};

void tst_DesktopScaled::rulerMarkersStandOverTheIndentsAtScale2()
{
    // A paragraph long enough to wrap: its first line from 1.5 in, the others from 1 in, none
    // past 2 in from the right (1440 twips an inch).
    QTemporaryDir files;
    const QString document = files.filePath(u"indents.rtf"_s);
    QFile file(document);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QByteArray text;
    for (int i = 0; i < 40; ++i)
        text += "Indented words wrap here. ";
    file.write(
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 IPAGothic;}}\\pard\\li1440\\fi720\\ri2880\\f0\\fs24 " + text + "\\par}");
    file.close();

    const auto settings = Desktop::settingsFolder();
    Desktop::Program program(settings->path());
    program.setVariable(u"QT_SCALE_FACTOR"_s, u"2"_s);
    QVERIFY(program.start({ document }));
    const std::optional<Desktop::Window> window = program.mainWindow();
    QVERIFY2(window, "the main window did not appear");
    QVERIFY(Desktop::activate(window->id));

    // On the screen: the three markers around the ruler, and the text below them.
    // The scale's design puts a marker's point a few pixels right of the pen (3 at scale 1, as
    // the editor's margin and the ruler's edges fall): within 5 logical pixels either way.
    const auto near = [](int ink, int marker) { return qAbs(ink - marker) <= 10; };
    QRect first, left, right;
    QList<QRect> lines;
    QImage shown;
    QRect placed;
    const bool found = Desktop::waitFor([&] {
        // Where the window is now: the window manager may still place or size it after it
        // first appeared, and a window reaching past the screen is grabbed only in part.
        const std::optional<Desktop::Window> now = Desktop::window(window->id);
        if (!now)
            return false;
        placed = now->client;
        if ((placed & QRect(QPoint(0, 0), Desktop::grabScreen().size())) != placed)
            return false;
        shown = Desktop::grabScreen(placed);
        right = colourBox(shown, magenta, 0, shown.height() / 2);
        if (right.isNull())
            return false;
        // The first-line marker stands above the ruler, the other two below it.
        first = colourBox(shown, red, right.top() - 120, right.bottom());
        left = colourBox(shown, blue, right.top() - 4, right.bottom() + 4);
        if (first.isNull() || left.isNull())
            return false;
        // Short of the scroll bar, which stands well right of the right indent.
        lines = textLines(shown, right.bottom() + 8, right.center().x() + 60, 3);
        // The text may show a frame before the markers have moved to its paragraph's indents.
        return lines.size() == 3 && near(lines[0].left(), first.center().x())
            && near(lines[1].left(), left.center().x()) && near(lines[2].left(), left.center().x());
    });
    if (!found)
        shown.save(QDir::temp().filePath(u"scaled-not-found.png"_s));
    // Markers and lines that never came to agree are reported below, with where they stood.
    QVERIFY2(found || lines.size() == 3,
        qPrintable(u"markers %1 %2 %3, %4 lines of text, the window at %5,%6 %7 x %8"_s.arg(first.isNull())
                       .arg(left.isNull())
                       .arg(right.isNull())
                       .arg(lines.size())
                       .arg(placed.x())
                       .arg(placed.y())
                       .arg(placed.width())
                       .arg(placed.height())));

    // Drawn whole, at twice their 11 x 9 triangles (less what antialiasing leaves pale).
    for (const QRect &marker : { first, left, right }) {
        QVERIFY2(marker.width() >= 18 && marker.width() <= 24, qPrintable(u"marker %1 wide"_s.arg(marker.width())));
        QVERIFY2(marker.height() >= 14 && marker.height() <= 20, qPrintable(u"marker %1 high"_s.arg(marker.height())));
    }
    // Each marker's point over its indent: the first line's ink starts under the first-line
    // marker, the next lines' under the left one (a glyph's ink starts a little after its pen),
    // and no line reaches past the right one.
    const int firstAt = first.center().x();
    const int leftAt = left.center().x();
    QVERIFY2(near(lines[0].left(), firstAt),
        qPrintable(u"first line at %1, its marker at %2"_s.arg(lines[0].left()).arg(firstAt)));
    QVERIFY2(near(lines[1].left(), leftAt),
        qPrintable(u"second line at %1, the left marker at %2"_s.arg(lines[1].left()).arg(leftAt)));
    QVERIFY2(near(lines[2].left(), leftAt),
        qPrintable(u"third line at %1, the left marker at %2"_s.arg(lines[2].left()).arg(leftAt)));
    for (const QRect &line : lines)
        QVERIFY2(line.right() <= right.center().x() + 2,
            qPrintable(u"a line reaches %1, the right marker at %2"_s.arg(line.right()).arg(right.center().x())));
    // The indents are those of the document, at 2 x 4/3 pixels to the point: 1 in is 192.
    QVERIFY2(qAbs((firstAt - leftAt) - 96) <= 2,
        qPrintable(u"first-line marker %1 from the left one"_s.arg(firstAt - leftAt)));
}

QObject *newDesktopScaledTest()
{
    return new tst_DesktopScaled;
}

#include "tst_scaled.moc"
