#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/cp932.h"
#include "document/editordocumentlayout.h"
#include "document/formatrange.h"
#include "document/richedit.h"

#include <QPainter>
#include <QPicture>
#include <QComboBox>
#include <QScrollBar>
#include <QtMath>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include "testfiles.h"

using namespace Qt::StringLiterals;

// A file of one huge paragraph with no place to break it, opened in the window: its start is
// shown once the lines on screen are laid out, the rest follows in the background, each
// character shaped once (not again for every change of the view's width as the window settles),
// and the editor works at both of its ends meanwhile.
class tst_GiantParagraph : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void openShapesTheStartThenTheRest_data();
    void openShapesTheStartThenTheRest();
    void typingAtBothEnds_data();
    void typingAtBothEnds();
    void scrollingToTheEndShowsIt();
    void focusComingAndGoingLaysOutNoMore_data();
    void focusComingAndGoingLaysOutNoMore();
    void pagesHoldAllOfIt();

private:
    // Opens `bytes` as a text file and waits until its start is painted.
    void open(const QByteArray &bytes);
    RichEdit &editor() const { return *m_window->RichEdit1; }
    EditorDocumentLayout &layout() const { return *editor().richDocument().layout(); }

    QTemporaryDir m_dir;
    TPenForm1 *m_window = nullptr;
};

namespace {

constexpr int Characters = 600000;

QByteArray letters()
{
    QByteArray out(Characters, Qt::Uninitialized);
    for (int i = 0; i < Characters; ++i)
        out[i] = static_cast<char>('a' + i % 26);
    return out;
}

QByteArray japanese()
{
    const QString unit = u"日本語のテキストに改行のない段落〜カナ"_s;
    QString text;
    text.reserve(Characters);
    while (text.size() < Characters)
        text += unit;
    text.truncate(Characters);
    return Cp932::encode(text);
}

void addTexts()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("letters") << letters();
    QTest::newRow("Japanese") << japanese();
}

// Dark pixels in the top band of the editor's viewport, as it paints now.
int inkAtTheTop(RichEdit &edit)
{
    const QImage shown = edit.viewport()->grab().toImage();
    int ink = 0;
    for (int y = 0; y < qMin(40, shown.height()); ++y) {
        for (int x = 0; x < shown.width(); ++x)
            ink += qGray(shown.pixel(x, y)) < 128 ? 1 : 0;
    }
    return ink;
}

} // namespace

void tst_GiantParagraph::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    m_window = new TPenForm1;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_GiantParagraph::cleanup()
{
    delete m_window;
    m_window = nullptr;
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_GiantParagraph::open(const QByteArray &bytes)
{
    const QString path = m_dir.filePath(u"giant.txt"_s);
    TestFiles::write(path, bytes);
    m_window->OpenFile(path);
    QCOMPARE(editor().document()->blockCount(), 1);
    QTRY_VERIFY(inkAtTheTop(editor()) > 100);
}

void tst_GiantParagraph::openShapesTheStartThenTheRest_data()
{
    addTexts();
}

void tst_GiantParagraph::openShapesTheStartThenTheRest()
{
    QFETCH(QByteArray, bytes);
    // A scroll bar that comes with the text narrows the view as it settles.
    editor().setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    const qint64 before = layout().brokenCharacters();
    open(bytes);
    QVERIFY(editor().verticalScrollBar()->isVisible());
    const qint64 shown = layout().brokenCharacters() - before;
    QVERIFY2(shown > 0 && shown < Characters / 8, qPrintable(QString::number(shown)));
    QVERIFY(layout().estimatedCount() > 0);

    QTRY_VERIFY_WITH_TIMEOUT(layout().estimatedCount() == 0, 60000);
    const qint64 broken = layout().brokenCharacters() - before;
    QVERIFY2(broken == Characters, qPrintable(QString::number(broken)));
    // The lines laid out a slice at a time follow one another, down to the text's end.
    const QTextLayout *lines = editor().document()->firstBlock().layout();
    QVERIFY(lines->lineCount() > 1000);
    for (int i = 1; i < lines->lineCount(); ++i) {
        const QTextLine previous = lines->lineAt(i - 1);
        const QTextLine line = lines->lineAt(i);
        QCOMPARE(line.textStart(), previous.textStart() + previous.textLength());
        QVERIFY(line.y() > previous.y());
    }
    const QTextLine last = lines->lineAt(lines->lineCount() - 1);
    QCOMPARE(last.textStart() + last.textLength(), Characters);
    QCOMPARE(editor().verticalScrollBar()->maximum() + editor().viewport()->height(),
             qCeil(editor().document()->size().height()));
}

void tst_GiantParagraph::typingAtBothEnds_data()
{
    addTexts();
}

void tst_GiantParagraph::typingAtBothEnds()
{
    QFETCH(QByteArray, bytes);
    open(bytes);
    editor().setFocus();
    auto caretShown = [&] { return editor().viewport()->rect().contains(editor().cursorRect()); };
    const QTextBlock block = editor().document()->firstBlock();
    const QTextLayout *lines = block.layout();
    QVERIFY(layout().estimatedCount() > 0);
    // Down from the first line goes to the second, while the rest is still to be laid out.
    QTest::keyClick(&editor(), Qt::Key_Down);
    QCOMPARE(lines->lineForTextPosition(editor().textCursor().position()).lineNumber(), 1);

    QTest::keyClick(&editor(), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(editor().textCursor().position(), Characters);
    QTRY_VERIFY(caretShown());
    QVERIFY(editor().verticalScrollBar()->value() > 0);
    QTest::keyClicks(&editor(), u"XYZ"_s);
    QVERIFY(caretShown());
    // The caret stands after what was typed, on the paragraph's last line.
    QCOMPARE(lines->lineForTextPosition(Characters + 3).lineNumber(), lines->lineCount() - 1);

    QTest::keyClick(&editor(), Qt::Key_Home, Qt::ControlModifier);
    QTRY_VERIFY(caretShown());
    QTest::keyClicks(&editor(), u"A"_s);
    QCOMPARE(editor().textBytes(), "A" + bytes + "XYZ");
}

void tst_GiantParagraph::focusComingAndGoingLaysOutNoMore_data()
{
    addTexts();
}

// Another widget taking the focus (a menu, a dialog, another window) and the editor taking it
// back repaint where the caret is: that needs only the lines shown, not the paragraph whole.
void tst_GiantParagraph::focusComingAndGoingLaysOutNoMore()
{
    QFETCH(QByteArray, bytes);
    open(bytes);
    editor().setFocus();
    QTRY_VERIFY(editor().hasFocus());
    layout().setBackgroundLayout(false);
    const qint64 before = layout().brokenCharacters();
    QVERIFY(layout().estimatedCount() > 0);
    m_window->ComboBox1->setFocus();
    QTRY_VERIFY(!editor().hasFocus());
    editor().setFocus();
    QTRY_VERIFY(editor().hasFocus());
    QCoreApplication::processEvents();
    QVERIFY(layout().estimatedCount() > 0);
    QVERIFY2(layout().brokenCharacters() - before < Characters / 8,
             qPrintable(QString::number(layout().brokenCharacters() - before)));
    QVERIFY(inkAtTheTop(editor()) > 100);
    layout().setBackgroundLayout(true);
}

void tst_GiantParagraph::scrollingToTheEndShowsIt()
{
    open(letters());
    QVERIFY(layout().estimatedCount() > 0);
    // Dragged to the end, the view shows what is there at once; the end of the text, once the
    // lines above it are laid out and the scroll bar has its true length.
    QScrollBar *bar = editor().verticalScrollBar();
    const QPoint bottomLeft(4, editor().viewport()->height() - 8);
    QTRY_VERIFY_WITH_TIMEOUT((bar->setValue(bar->maximum()), inkAtTheTop(editor()) > 100
                              && editor().cursorForPosition(bottomLeft).position() > Characters - 200),
                             60000);
}

// Printed while its lines are laid out in part on screen: page after page down to its end,
// each page as full as the one before.
void tst_GiantParagraph::pagesHoldAllOfIt()
{
    open(japanese());
    QVERIFY(layout().estimatedCount() > 0);
    RichDocument &rich = editor().richDocument();
    const qint64 length = rich.textLength();
    qint64 start = 0;
    std::vector<qint64> sizes;
    while (start < length && sizes.size() < 10000) {
        QPicture page;
        QPainter painter(&page);
        FormatRange request;
        request.painter = &painter;
        request.rectTwips = QRect(1440, 1440, 11906 - 2880, 16838 - 2880);
        request.pageTwips = QRect(0, 0, 11906, 16838);
        request.pageAreaTwips = request.rectTwips.size();
        request.first = start;
        request.atLeastOneLine = true;
        const qint64 next = rich.formatRange(request);
        QVERIFY(next > start);
        sizes.push_back(next - start);
        start = next;
    }
    rich.releaseFormatRange();
    QCOMPARE(start, length);
    QVERIFY(sizes.size() > 10);
    for (size_t i = 1; i + 1 < sizes.size(); ++i)
        QCOMPARE(sizes[i], sizes[0]);
}

QTEST_MAIN(tst_GiantParagraph)
#include "tst_giantparagraph.moc"
