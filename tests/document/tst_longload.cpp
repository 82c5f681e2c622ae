#include "app/settingsfile.h"
#include "app/statustext.h"
#include "app/tpenform1.h"
#include "document/cp932.h"
#include "document/editordocumentlayout.h"
#include "document/plaintext.h"
#include "document/richedit.h"
#include "editing/statusdisplay.h"

#include <QDeadlineTimer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "testfiles.h"

#include <random>

using namespace Qt::StringLiterals;

// A long text file opened in the window: its start is shown at once, the rest read between the
// program's events, and whatever the user does first sees the whole file.
class tst_LongLoad : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void partsReadAsTheWhole();
    void startIsShownAndTheRestComesIn();
    void firstKeyHasEverythingReadFirst();
    void scrollBarLooksWithoutWaiting();
    void saveWritesTheWholeFile();
    void anotherDocumentDropsTheRest();
    void ctrlEndShowsTheCaretAndItsLineAtOnce_data();
    void ctrlEndShowsTheCaretAndItsLineAtOnce();

private:
    void open();
    RichEdit &editor() const { return *m_window->RichEdit1; }

    QTemporaryDir m_dir;
    QString m_path;
    QByteArray m_file;
    TPenForm1 *m_window = nullptr;
};

namespace {

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

void tst_LongLoad::initTestCase()
{
    // About 17 MB of numbered CP932 lines: each line says where it belongs.
    const QByteArray tail = Cp932::encode(u" 行目、日本語のテキスト〜ｶﾅ。"_s);
    m_file.reserve(18 << 20);
    for (int line = 0; m_file.size() < (17 << 20); ++line)
        m_file += QByteArray::number(line) + tail + "\r\n";
    m_file += "last line";
    QVERIFY(m_file.size() > RichDocument::LaterBytes);
    m_path = m_dir.filePath(u"long.txt"_s);
    TestFiles::write(m_path, m_file);
}

void tst_LongLoad::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    m_window = new TPenForm1;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_LongLoad::cleanup()
{
    delete m_window;
    m_window = nullptr;
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_LongLoad::open()
{
    m_window->OpenFile(m_path);
    QVERIFY(editor().isLoading());
}

void tst_LongLoad::partsReadAsTheWhole()
{
    // Breaks of every kind, double-byte characters and long lines, cut anywhere.
    QByteArray data;
    std::mt19937 random(20);
    const QByteArray words[] = { "abc", "\r\n", "\r", "\n", "\x93\xfa\x96\x7b", "\x81\x60", "\xb1", "\r\n\r\n",
                                 QByteArray(300, 'x') };
    while (data.size() < 20000)
        data += words[random() % std::size(words)];
    QTextDocument whole;
    PlainText::read(whole, data, {});
    const QString expected = PlainText::documentText(whole);

    for (const qsizetype pieceSize : { qsizetype(1), qsizetype(7), qsizetype(1000), qsizetype(30000) }) {
        for (const qsizetype budget : { qsizetype(1), qsizetype(333), qsizetype(5000) }) {
            std::vector<QByteArray> pieces;
            for (qsizetype at = 0; at < data.size(); at += pieceSize)
                pieces.push_back(data.mid(at, pieceSize));
            QTextDocument parts;
            QTextCursor cursor = PlainText::startReading(parts, {});
            cursor.endEditBlock();
            PlainText::PieceReader reader(std::move(pieces), 64);
            qint64 left = reader.left();
            QCOMPARE(left, data.size());
            bool more = true;
            while (more) {
                more = reader.insert(cursor, {}, budget);
                // Every call moves on, and stops once past its budget (a cut: 64 bytes here).
                QVERIFY(reader.left() < left);
                QVERIFY(left - reader.left() <= budget + 65);
                left = reader.left();
            }
            QCOMPARE(reader.left(), 0);
            QVERIFY(reader.atEnd());
            QVERIFY2(PlainText::documentText(parts) == expected,
                     qPrintable(u"pieces of %1, parts of %2"_s.arg(pieceSize).arg(budget)));
        }
    }
}

void tst_LongLoad::startIsShownAndTheRestComesIn()
{
    open();
    const QTextDocument &document = *editor().document();
    const int firstPart = document.blockCount();
    QVERIFY(firstPart > 1000);
    QVERIFY(document.characterCount() < m_file.size() / 2);
    // The window shows the file's start meanwhile, without a change or anything to undo.
    QCOMPARE(m_window->windowTitle(), u"　Penloft          long.txt"_s);
    QVERIFY(inkAtTheTop(editor()) > 100);
    QVERIFY(document.firstBlock().text().startsWith(u"0 行目"_s));
    QCOMPARE(editor().viewport()->cursor().shape(), Qt::BusyCursor);
    QVERIFY(!editor().isModified());

    QTRY_VERIFY_WITH_TIMEOUT(document.blockCount() > firstPart, 5000);
    QVERIFY(editor().isLoading()); // a part at a time
    QTRY_VERIFY_WITH_TIMEOUT(!editor().isLoading(), 60000);
    QCOMPARE(editor().textBytes(), m_file);
    QCOMPARE(document.lastBlock().text(), u"last line"_s);
    QVERIFY(!editor().isModified());
    QVERIFY(!document.isUndoAvailable());
    QCOMPARE(editor().viewport()->cursor().shape(), Qt::IBeamCursor);
    QVERIFY(inkAtTheTop(editor()) > 100);
    // The counter counts the whole file.
    const RichDocument &rich = editor().richDocument();
    QCOMPARE(rich.textLength(), m_file.size());
    QCOMPARE(m_window->Memo1->text(), StatusDisplay::counter(true, rich.characterCount(), rich.textLength()).number);
}

void tst_LongLoad::firstKeyHasEverythingReadFirst()
{
    open();
    editor().setFocus();
    QTest::keyClick(&editor(), Qt::Key_X);
    QVERIFY(!editor().isLoading());
    QCOMPARE(editor().textBytes(), "x" + m_file);
    QVERIFY(editor().isModified());
    // What was typed is the one thing to undo.
    QTest::keyClick(&editor(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(editor().textBytes(), m_file);
    QVERIFY(!editor().document()->isUndoAvailable());
}

void tst_LongLoad::scrollBarLooksWithoutWaiting()
{
    open();
    QScrollBar *bar = editor().verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() / 2, bar->height() - bar->width() - 4));
    QVERIFY(bar->value() > 0);
    QVERIFY(editor().isLoading());
    // A click in the text has it all read, and lands where it was made.
    QTest::mouseClick(editor().viewport(), Qt::LeftButton, {}, QPoint(2, 5));
    QVERIFY(!editor().isLoading());
    QVERIFY(editor().textCursor().position() > 0);
    QCOMPARE(editor().textBytes(), m_file);
}

void tst_LongLoad::saveWritesTheWholeFile()
{
    // Through the window's shortcut: the key has the rest read before the command runs.
    const QString copy = m_dir.filePath(u"copy.txt"_s);
    QVERIFY(QFile::copy(m_path, copy));
    m_window->OpenFile(copy);
    QVERIFY(editor().isLoading());
    QTest::keyClick(m_window, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(!editor().isLoading());
    QCOMPARE(TestFiles::read(copy), m_file);

    // And when a save is asked for by no input at all.
    m_window->OpenFile(copy);
    QVERIFY(editor().isLoading());
    m_window->FileSaveExecute();
    QCOMPARE(TestFiles::read(copy), m_file);
    QVERIFY(!editor().isModified());
}

void tst_LongLoad::anotherDocumentDropsTheRest()
{
    const QString small = m_dir.filePath(u"small.txt"_s);
    TestFiles::write(small, "small\r\nfile");
    open();
    m_window->OpenFile(small);
    QVERIFY(!editor().isLoading());
    QTest::qWait(300);
    QCOMPARE(editor().textBytes(), "small\r\nfile");
    QCOMPARE(editor().viewport()->cursor().shape(), Qt::IBeamCursor);

    // A new document, through its command.
    open();
    m_window->FileNewExecute();
    QVERIFY(!editor().isLoading());
    QTest::qWait(300);
    QCOMPARE(editor().document()->characterCount(), 1);
}

namespace {

// CP932 text as RTF writes it: every byte past ASCII escaped.
QByteArray rtfEscaped(const QByteArray &bytes)
{
    QByteArray out;
    for (const char c : bytes) {
        if (uchar(c) < 0x80)
            out += c;
        else
            out += "\\'" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
    }
    return out;
}

} // namespace

void tst_LongLoad::ctrlEndShowsTheCaretAndItsLineAtOnce_data()
{
    QTest::addColumn<bool>("rtf");
    QTest::newRow("text") << false;
    // Its first line in a large size: the estimated line height is a fraction of a pixel, and
    // so is every correction.
    QTest::newRow("RTF with a title") << true;
}

// Ctrl+End in a long document that is not laid out yet: the caret's line is laid out first and
// shown, and the line panel shows it at once, from the lines of the paragraphs before it as
// estimated, then exactly once they are laid out; the caret stays where it is meanwhile. The
// estimates are learned from the first paragraphs, of Latin letters: the paragraphs of narrow
// letters that follow turn out shorter than estimated as they are laid out above the view, the
// kana paragraphs at the end, around the caret, taller.
void tst_LongLoad::ctrlEndShowsTheCaretAndItsLineAtOnce()
{
    QFETCH(bool, rtf);
    const QByteArray latin = QByteArray("abcdefghij klmnopqrstu vwxyz ABCDEFG HIJKLMN ").repeated(4);
    const QByteArray narrow = QByteArray("iiiiiiiiii").repeated(40);
    const QByteArray kana
        = Cp932::encode(u"あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほ"_s).repeated(6);
    const QByteArray last = Cp932::encode(u"■■■■■■■■■■ 最後の行"_s);
    const QByteArray end = rtf ? "\\par\r\n" : "\r\n";
    QByteArray text = rtf
        ? "{\\rtf1\\ansi\\ansicpg932{\\fonttbl{\\f0\\fcharset128 IPAMincho;}}\\f0\\fs22 {\\fs48 Title}" + end
        : QByteArray();
    for (int i = 0; i < 40; ++i)
        text += latin + end;
    while (text.size() < (3 << 18))
        text += narrow + end;
    const QByteArray kanaParagraph = (rtf ? rtfEscaped(kana) : kana) + end;
    while (text.size() < (1 << 20))
        text += kanaParagraph;
    text += rtf ? rtfEscaped(last) + "}" : last;
    QVERIFY(text.size() < RichDocument::LaterBytes);
    const QString path = m_dir.filePath(rtf ? u"estimated.rtf"_s : u"estimated.txt"_s);
    TestFiles::write(path, text);

    m_window->OpenFile(path);
    EditorDocumentLayout &layout = *editor().richDocument().layout();
    QVERIFY(layout.estimatedCount() > 1000);
    editor().setFocus();
    QTest::keyClick(&editor(), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(editor().textCursor().position(), editor().document()->characterCount() - 1);
    const StatusText &linePanel = *m_window->StatusPanels[2];
    auto caretShown = [&] { return editor().viewport()->rect().contains(editor().cursorRect()); };
    // Shown at once, while the paragraphs before are still to be laid out.
    QTRY_VERIFY(caretShown() && !linePanel.text().isEmpty());
    QVERIFY(layout.estimatedCount() > 1000);
    // Every paragraph before the caret's counts a line at least.
    QVERIFY(linePanel.text().section(u' ', 0, 0).toInt() >= editor().document()->blockCount());
    QVERIFY(linePanel.text().endsWith(StatusDisplay::lineAndColumn(0, 29).mid(1)));
    const QRect caret = editor().cursorRect();
    // The last line is on screen: its squares' ink at the caret's height.
    const QImage shown = editor().viewport()->grab().toImage();
    int ink = 0;
    for (int x = 0; x < caret.left(); ++x)
        ink += qGray(shown.pixel(x, caret.center().y())) < 128 ? 1 : 0;
    QVERIFY2(ink > 40, qPrintable(QString::number(ink)));
    // In view while the rest is laid out, a slice at a time between the program's events.
    const QDeadlineTimer limit(120000);
    while (layout.estimatedCount() > 0 && !limit.hasExpired()) {
        QTest::qWait(10);
        QVERIFY2(caretShown(), qPrintable(u"%1 paragraphs to go"_s.arg(layout.estimatedCount())));
    }
    QCOMPARE(layout.estimatedCount(), 0);
    // Exact once all is laid out; the caret stayed where it was (to the pixel its rounding
    // may give).
    const int line = editor().lineFromChar(editor().textLength());
    QTRY_COMPARE(linePanel.text(), StatusDisplay::lineAndColumn(line, 29));
    QVERIFY2(qAbs(editor().cursorRect().top() - caret.top()) <= 1,
             qPrintable(u"%1 -> %2"_s.arg(caret.top()).arg(editor().cursorRect().top())));
    QVERIFY(caretShown());
}

QTEST_MAIN(tst_LongLoad)
#include "tst_longload.moc"
