// Character and paragraph properties from RTF files, through the main window: a file opened,
// a character typed at its start, Ctrl+S; the saved file keeps them and the screen shows them.

#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richdocument.h"
#include "document/richedit.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include "documentprobes.h"
#include "rtfwindow.h"
#include "testfiles.h"

#include <climits>

using namespace Qt::StringLiterals;
using DocumentProbes::formatAt;

namespace {

const QByteArray Header = "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fcharset128 IPAMincho;}}"
                          "{\\colortbl;\\red255\\green255\\blue0;}\\pard\\plain\\f0\\fs24 "_ba;

// The rows of the viewport between `top` and `bottom` (and `left` and `right`) that hold ink
// (anything darker than mid grey), as [first, last]; {-1, -1} where there is none.
std::pair<int, int> inkRows(const QImage &image, int top, int bottom, int left = 0, int right = INT_MAX)
{
    std::pair<int, int> rows { -1, -1 };
    for (int y = qMax(0, top); y < qMin(bottom, image.height()); ++y) {
        for (int x = qMax(0, left); x < qMin(right, image.width()); ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                if (rows.first < 0)
                    rows.first = y;
                rows.second = y;
                break;
            }
        }
    }
    return rows;
}

} // namespace

class tst_RtfFormatsView : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void doubleByteHeadingKeepsItsLooks();
    void raisingHighlightAndSpacingKeepTheirLooks();

private:
    // Opens `rtf` as a file, types "x" at its start with a key press and saves with Ctrl+S into
    // m_saved.
    void openTypeAndSave(const QByteArray &rtf);
    // The viewport's rows of each paragraph: from its first line's top to the next one's.
    std::pair<int, int> paragraphRows(int block) const;
    // The caret's rectangle before the character at `position`.
    QRect caretAt(int position) const;
    // The ink rows of the character at `position`, within its paragraph.
    std::pair<int, int> characterInk(const QImage &image, int position) const;

    QTemporaryDir m_dir;
    QByteArray m_saved;
    TPenForm1 *m_window = nullptr;
};

void tst_RtfFormatsView::init()
{
    QVERIFY(RtfWindow::open(m_window));
}

void tst_RtfFormatsView::cleanup()
{
    RtfWindow::close(m_window);
}

void tst_RtfFormatsView::openTypeAndSave(const QByteArray &rtf)
{
    m_saved = RtfWindow::openTypeAndSave(m_window, m_dir.filePath(u"in.rtf"_s), rtf);
    QVERIFY(!m_saved.isEmpty());
}

std::pair<int, int> tst_RtfFormatsView::paragraphRows(int block) const
{
    RichEdit *edit = m_window->RichEdit1;
    QTextCursor at(edit->document());
    at.setPosition(edit->document()->findBlockByNumber(block).position());
    const int top = edit->cursorRect(at).top();
    const QTextBlock next = edit->document()->findBlockByNumber(block + 1);
    if (!next.isValid())
        return { top, edit->viewport()->height() };
    at.setPosition(next.position());
    return { top, edit->cursorRect(at).top() };
}

void tst_RtfFormatsView::doubleByteHeadingKeepsItsLooks()
{
    // The heading's size and weight are the double-byte text's own; the body's line is plain.
    openTypeAndSave(
        Header
        + "{\\rtlch\\af0\\afs48\\ab \\ltrch\\loch\\f0\\dbch\\afs48\\ab\\af0\\dbch \\u35211\\'3f\\u20986\\'3f}\\par "
          "\\u35211\\'3f\\u20986\\'3f\\par}"_ba);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(m_window->RichEdit1->toPlainText(), u"x見出\n見出"_s);

    const QImage shown = m_window->RichEdit1->viewport()->grab().toImage();
    const auto [headingTop, headingBottom] = paragraphRows(0);
    const auto [bodyTop, bodyBottom] = paragraphRows(1);
    const auto heading = inkRows(shown, headingTop, headingBottom);
    const auto body = inkRows(shown, bodyTop, bodyBottom);
    QVERIFY(heading.first >= 0 && body.first >= 0);
    // 24 points against 12: the heading's characters stand well taller.
    QVERIFY2((heading.second - heading.first) * 10 > (body.second - body.first) * 15,
             qPrintable(u"heading %1..%2, body %3..%4"_s.arg(heading.first).arg(heading.second).arg(body.first).arg(body.second)));

    QTextDocument doc;
    RichDocument back(&doc);
    back.load(m_saved, StreamFormat::Rtf, QTextCharFormat());
    QCOMPARE(doc.toPlainText(), u"x見出\n見出"_s);
    for (int position : { 1, 2 }) {
        QCOMPARE(formatAt(back, position).sizeTwips, 480);
        QVERIFY(formatAt(back, position).bold);
    }
    QCOMPARE(formatAt(back, 4).sizeTwips, 240);
    QVERIFY(!formatAt(back, 4).bold);
}

QRect tst_RtfFormatsView::caretAt(int position) const
{
    QTextCursor at(m_window->RichEdit1->document());
    at.setPosition(position);
    return m_window->RichEdit1->cursorRect(at);
}

std::pair<int, int> tst_RtfFormatsView::characterInk(const QImage &image, int position) const
{
    const int block = m_window->RichEdit1->document()->findBlock(position).blockNumber();
    const auto [top, bottom] = paragraphRows(block);
    return inkRows(image, top, bottom, caretAt(position).left() + 1, caretAt(position + 1).left());
}

void tst_RtfFormatsView::raisingHighlightAndSpacingKeepTheirLooks()
{
    openTypeAndSave(Header
                    + "\\pard\\sa300 m{\\super 2} H{\\sub 2}O {\\highlight1 mark}\\par"
                      "\\pard\\sb600 spaced\\par"
                      "\\pard\\sl-720\\slmult0 one\\line two\\par"
                      "\\pard plain\\line two\\par}"_ba);
    if (QTest::currentTestFailed())
        return;
    const QString text = u"xm2 H2O mark\nspaced\none\u2028two\nplain\u2028two"_s;
    // Plain text shows the line break (U+2028) as a new line.
    const QString plain = QString(text).replace(QChar::LineSeparator, u'\n');
    QCOMPARE(m_window->RichEdit1->toPlainText(), plain);

    const QImage shown = m_window->RichEdit1->viewport()->grab().toImage();
    // m², H₂O: the raised 2 ends above the m's baseline, the lowered one below the H's.
    const auto m = characterInk(shown, 1);
    const auto squared = characterInk(shown, 2);
    const auto h = characterInk(shown, 4);
    const auto lowered = characterInk(shown, 5);
    QVERIFY(m.first >= 0 && squared.first >= 0 && h.first >= 0 && lowered.first >= 0);
    QVERIFY2(squared.second < m.second - 2, qPrintable(u"m %1..%2, 2 %3..%4"_s.arg(m.first).arg(m.second).arg(squared.first).arg(squared.second)));
    QVERIFY2(lowered.second > h.second + 1, qPrintable(u"H %1..%2, 2 %3..%4"_s.arg(h.first).arg(h.second).arg(lowered.first).arg(lowered.second)));
    // "mark" stands on yellow.
    int yellow = 0;
    const QRect from = caretAt(8);
    for (int y = from.top(); y <= from.bottom(); ++y) {
        for (int x = from.left() + 1; x < caretAt(12).left(); ++x) {
            const QColor c = shown.pixelColor(x, y);
            yellow += c.red() > 200 && c.green() > 200 && c.blue() < 80;
        }
    }
    QVERIFY2(yellow > from.height(), qPrintable(QString::number(yellow)));
    // 15 points after the first paragraph, 30 before the second: at least 40 pixels between.
    QVERIFY2(caretAt(13).top() - caretAt(12).bottom() >= 39, qPrintable(u"%1 %2"_s.arg(caretAt(12).bottom()).arg(caretAt(13).top())));
    // Lines exactly 36 points (48 pixels) apart, against the plain paragraph's single spacing.
    const int exact = caretAt(int(text.indexOf(u"\u2028two"_s)) + 1).top() - caretAt(int(text.indexOf(u"one"_s))).top();
    const int single = caretAt(int(text.lastIndexOf(u"two"_s))).top() - caretAt(int(text.indexOf(u"plain"_s))).top();
    QVERIFY2(exact >= 46 && exact <= 50 && single < 30, qPrintable(u"%1 %2"_s.arg(exact).arg(single)));

    for (const char *word : { "\\super ", "\\sub ", "\\highlight1 ", "\\sa300 ", "\\sb600 ", "\\sl-720 " })
        QVERIFY2(m_saved.contains(word), m_saved.constData());
    QTextDocument doc;
    RichDocument back(&doc);
    back.load(m_saved, StreamFormat::Rtf, QTextCharFormat());
    QCOMPARE(doc.toPlainText(), plain);
    auto formatAt = [&doc](int position) {
        QTextCursor c(&doc);
        c.setPosition(position + 1);
        return c.charFormat();
    };
    QCOMPARE(formatAt(2).verticalAlignment(), QTextCharFormat::AlignSuperScript);
    QCOMPARE(formatAt(5).verticalAlignment(), QTextCharFormat::AlignSubScript);
    QCOMPARE(formatAt(1).verticalAlignment(), QTextCharFormat::AlignNormal);
    QCOMPARE(formatAt(8).background().color(), QColor(Qt::yellow));
    QCOMPARE(doc.findBlockByNumber(0).blockFormat().bottomMargin(), 20.0);
    QCOMPARE(doc.findBlockByNumber(1).blockFormat().topMargin(), 40.0);
    QCOMPARE(doc.findBlockByNumber(2).blockFormat().lineHeight(), 48.0);
}

QTEST_MAIN(tst_RtfFormatsView)
#include "tst_rtfformatsview.moc"
