// Character and paragraph properties from RTF files, through the main window: a file opened,
// a character typed at its start, Ctrl+S; the saved file keeps them and the screen shows them.

#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richdocument.h"
#include "document/richedit.h"

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include "documentprobes.h"
#include "testfiles.h"

using namespace Qt::StringLiterals;
using DocumentProbes::formatAt;

namespace {

const QByteArray Header = "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fcharset128 IPAMincho;}}"
                          "{\\colortbl;\\red255\\green255\\blue0;}\\pard\\plain\\f0\\fs24 "_ba;

// The rows of the viewport between `top` and `bottom` that hold ink (anything darker than
// light grey), as [first, last]; {-1, -1} where there is none.
std::pair<int, int> inkRows(const QImage &image, int top, int bottom)
{
    std::pair<int, int> rows { -1, -1 };
    for (int y = qMax(0, top); y < qMin(bottom, image.height()); ++y) {
        for (int x = 0; x < image.width(); ++x) {
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

private:
    // Opens `rtf` as a file, types "x" at its start with a key press and saves with Ctrl+S into
    // m_saved.
    void openTypeAndSave(const QByteArray &rtf);
    // The viewport's rows of each paragraph: from its first line's top to the next one's.
    std::pair<int, int> paragraphRows(int block) const;

    QTemporaryDir m_dir;
    QByteArray m_saved;
    TPenForm1 *m_window = nullptr;
};

void tst_RtfFormatsView::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    MessageBox::setSink([](QWidget *, const MessageBox::Request &request) {
        qWarning("unexpected box: %s", qPrintable(request.text));
        return QMessageBox::Ok;
    });
    m_window = new TPenForm1;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
}

void tst_RtfFormatsView::cleanup()
{
    delete m_window;
    MessageBox::setSink({});
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_RtfFormatsView::openTypeAndSave(const QByteArray &rtf)
{
    const QString path = m_dir.filePath(u"in.rtf"_s);
    TestFiles::write(path, rtf);
    m_window->OpenFile(path);
    RichEdit *edit = m_window->RichEdit1;
    edit->setFocus();
    edit->setSelection(0, 0);
    QTest::keyClick(edit, Qt::Key_X);
    QApplication::setActiveWindow(m_window);
    QTRY_VERIFY(m_window->isActiveWindow());
    QTest::keyClick(edit, Qt::Key_S, Qt::ControlModifier);
    QTRY_VERIFY(!edit->isModified());
    m_saved = TestFiles::read(path);
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

QTEST_MAIN(tst_RtfFormatsView)
#include "tst_rtfformatsview.moc"
