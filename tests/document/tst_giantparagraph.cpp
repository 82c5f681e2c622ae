#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/cp932.h"
#include "document/editordocumentlayout.h"
#include "document/richedit.h"

#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include "testfiles.h"

using namespace Qt::StringLiterals;

// A file of one huge paragraph with no place to break it, opened in the window: it is shaped
// once, not again for every change of the view's width as the window settles, and the editor
// works at both of its ends.
class tst_GiantParagraph : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void openShapesItOnce_data();
    void openShapesItOnce();
    void typingAtBothEnds_data();
    void typingAtBothEnds();

private:
    // Opens `bytes` as a text file and waits until its start is painted.
    void open(const QByteArray &bytes);
    RichEdit &editor() const { return *m_window->RichEdit1; }
    EditorDocumentLayout &layout() const { return *editor().richDocument().layout(); }

    QTemporaryDir m_dir;
    TPenForm1 *m_window = nullptr;
};

namespace {

constexpr int Characters = 400000;

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

void tst_GiantParagraph::openShapesItOnce_data()
{
    addTexts();
}

void tst_GiantParagraph::openShapesItOnce()
{
    QFETCH(QByteArray, bytes);
    // A scroll bar that comes with the text narrows the view as it settles.
    editor().setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    const qint64 before = layout().brokenCharacters();
    open(bytes);
    QVERIFY(editor().verticalScrollBar()->isVisible());
    const qint64 broken = layout().brokenCharacters() - before;
    QVERIFY2(broken > 0 && broken <= Characters, qPrintable(QString::number(broken)));
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

    QTest::keyClick(&editor(), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(editor().textCursor().position(), Characters);
    QTRY_VERIFY(caretShown());
    QVERIFY(editor().verticalScrollBar()->value() > 0);
    QTest::keyClicks(&editor(), u"XYZ"_s);
    QVERIFY(caretShown());
    // The caret stands after what was typed, on the paragraph's last line.
    const QTextBlock block = editor().document()->firstBlock();
    const QTextLayout *lines = block.layout();
    QCOMPARE(lines->lineForTextPosition(Characters + 3).lineNumber(), lines->lineCount() - 1);

    QTest::keyClick(&editor(), Qt::Key_Home, Qt::ControlModifier);
    QTRY_VERIFY(caretShown());
    QTest::keyClicks(&editor(), u"A"_s);
    QCOMPARE(editor().textBytes(), "A" + bytes + "XYZ");
    // Down from the first line goes to the second.
    QTest::keyClick(&editor(), Qt::Key_Down);
    QCOMPARE(lines->lineForTextPosition(editor().textCursor().position()).lineNumber(), 1);
}

QTEST_MAIN(tst_GiantParagraph)
#include "tst_giantparagraph.moc"
