#include "document/editordocumentlayout.h"
#include "document/richedit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextList>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString longText(int paragraphs)
{
    QString text;
    for (int i = 0; i < paragraphs; ++i) {
        text += u"第"_s + QString::number(i) + u"段落。"_s;
        text += QString(i % 7 * 23 + 5, u'あ') + u"、word "_s + QString(i % 5 * 11, u'字') + u"。\n"_s;
    }
    return text;
}

// Plain text of numbered lines of varying length, CP932 with CR LF, as a file would hold it.
QByteArray numberedLines(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += "line " + QByteArray::number(i) + ' ' + QByteArray(i % 13 * 17, 'x') + "\r\n";
    return bytes;
}

// A bare QTextEdit, with Qt's own layout, set up as the editor sets itself up, over a copy of
// the editor's document.
std::unique_ptr<QTextEdit> bareTwin(RichEdit &edit)
{
    auto bare = std::make_unique<QTextEdit>();
    bare->setFont(edit.font());
    bare->setLineWrapMode(QTextEdit::WidgetWidth);
    bare->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    bare->setTabStopDistance(48);
    QTextDocument *copy = edit.document()->clone(bare.get());
    bare->setDocument(copy);
    bare->setPalette(edit.palette());
    bare->resize(edit.size());
    bare->show();
    return bare;
}

// The regions a widget was painted in.
class PaintSpy : public QObject {
public:
    explicit PaintSpy(QWidget *widget) { widget->installEventFilter(this); }
    QRegion painted;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }
};

} // namespace

class tst_EditorView : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void drawsAsQtDoes();
    void preeditAsQtDoes();
    void pageDownAsQtDoes();
    void shownTextStaysWhileEstimatesTurnReal();
    void backgroundLayoutWaitsWhileTheUserTypes();
    void typingLeavesTheScreenAsAFreshPaint_data();
    void typingLeavesTheScreenAsAFreshPaint();
    void typingInAHugeParagraphLeavesTheScreenAsAFreshPaint();

private:
    RichEdit *m_edit = nullptr;
};

void tst_EditorView::init()
{
    QApplication::setCursorFlashTime(0);
    m_edit = new RichEdit;
    m_edit->resize(420, 300);
    m_edit->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_edit));
}

void tst_EditorView::cleanup()
{
    delete m_edit;
    m_edit = nullptr;
}

// Text, a selection across paragraphs, a bulleted and a centred paragraph, an indent: the
// viewport's pixels equal those of a QTextEdit with Qt's layout.
void tst_EditorView::drawsAsQtDoes()
{
    m_edit->replaceSelection(longText(12));
    m_edit->setSelection(0, 0);
    ParaFormat bullet;
    bullet.mask = ParaFormat::Numbering;
    bullet.numbering = ParaFormat::NumberingBullet;
    m_edit->setSelection(40, 40);
    m_edit->setParaFormat(bullet);
    ParaFormat centred;
    centred.mask = ParaFormat::Alignment | ParaFormat::LeftIndent;
    centred.alignment = ParaFormat::AlignCenter;
    centred.leftIndentTwips = 600;
    m_edit->setSelection(300, 300);
    m_edit->setParaFormat(centred);
    std::unique_ptr<QTextEdit> bare = bareTwin(*m_edit);
    QVERIFY(QTest::qWaitForWindowExposed(bare.get()));
    QTextCursor selection = m_edit->textCursor();
    selection.setPosition(20);
    selection.setPosition(200, QTextCursor::KeepAnchor);
    m_edit->setTextCursor(selection);
    QTextCursor bareSelection(bare->document());
    bareSelection.setPosition(20);
    bareSelection.setPosition(200, QTextCursor::KeepAnchor);
    bare->setTextCursor(bareSelection);
    m_edit->verticalScrollBar()->setValue(37);
    bare->verticalScrollBar()->setValue(37);
    QCOMPARE(m_edit->verticalScrollBar()->maximum(), bare->verticalScrollBar()->maximum());
    const QImage ours = m_edit->viewport()->grab().toImage();
    const QImage theirs = bare->viewport()->grab().toImage();
    QCOMPARE(ours.size(), theirs.size());
    QVERIFY(ours == theirs);
    QCOMPARE(m_edit->cursorRect(), bare->cursorRect());
}

// An input method's text being composed in the middle of a long paragraph is laid out and drawn
// as Qt's editor does at every step, keeping the lines it does not touch, and its commit leaves
// the paragraph as a full layout would.
void tst_EditorView::preeditAsQtDoes()
{
    // Words of many lengths: an edit's shift of the breaks dies out within a few lines.
    QString words;
    for (int i = 0; words.size() < 3000; ++i)
        words += QString(1 + i * 7 % 11, QChar(u'a' + i % 26)) + (i % 9 == 8 ? u"、"_s : u" "_s);
    m_edit->replaceSelection(words + u"\n"_s + longText(5));
    m_edit->setSelection(0, 0);
    m_edit->verticalScrollBar()->setValue(0);
    std::unique_ptr<QTextEdit> bare = bareTwin(*m_edit);
    QVERIFY(QTest::qWaitForWindowExposed(bare.get()));
    for (QTextEdit *editor : { static_cast<QTextEdit *>(m_edit), bare.get() }) {
        QTextCursor at = editor->textCursor();
        at.setPosition(10);
        editor->setTextCursor(at);
    }
    const EditorDocumentLayout *layout = m_edit->richDocument().layout();
    for (const QString &preedit : { u"n"_s, u"に"_s, u"にh"_s, u"にほ"_s, u"にほn"_s, u"にほん"_s, u"にほんご"_s }) {
        const int reused = layout->reusedLayouts();
        for (QTextEdit *editor : { static_cast<QTextEdit *>(m_edit), bare.get() }) {
            QTextCharFormat underline;
            underline.setFontUnderline(true);
            const int length = int(preedit.size());
            const QList<QInputMethodEvent::Attribute> attributes {
                { QInputMethodEvent::TextFormat, 0, length, underline }, { QInputMethodEvent::Cursor, length, 1, QVariant() }
            };
            QInputMethodEvent compose(preedit, attributes);
            QApplication::sendEvent(editor, &compose);
        }
        QVERIFY2(layout->reusedLayouts() > reused, qPrintable(preedit));
        QCOMPARE(m_edit->cursorRect(), bare->cursorRect());
        QCOMPARE(m_edit->inputMethodQuery(Qt::ImCursorRectangle), bare->inputMethodQuery(Qt::ImCursorRectangle));
        QVERIFY2(m_edit->viewport()->grab().toImage() == bare->viewport()->grab().toImage(), qPrintable(preedit));
    }
    for (QTextEdit *editor : { static_cast<QTextEdit *>(m_edit), bare.get() }) {
        QInputMethodEvent commit;
        commit.setCommitString(u"日本語"_s);
        QApplication::sendEvent(editor, &commit);
    }
    QCOMPARE(m_edit->document()->firstBlock().text().mid(10, 3), u"日本語"_s);
    QCOMPARE(m_edit->cursorRect(), bare->cursorRect());
    QVERIFY(m_edit->viewport()->grab().toImage() == bare->viewport()->grab().toImage());
}

void tst_EditorView::pageDownAsQtDoes()
{
    m_edit->replaceSelection(longText(300));
    m_edit->setSelection(0, 0);
    m_edit->verticalScrollBar()->setValue(0); // the caret's line was scrolled to, margin hidden
    std::unique_ptr<QTextEdit> bare = bareTwin(*m_edit);
    QVERIFY(QTest::qWaitForWindowExposed(bare.get()));
    for (int i = 0; i < 15; ++i) {
        QTest::keyClick(m_edit, Qt::Key_PageDown);
        QTest::keyClick(bare.get(), Qt::Key_PageDown);
        QCOMPARE(m_edit->textCursor().position(), bare->textCursor().position());
        QCOMPARE(m_edit->verticalScrollBar()->value(), bare->verticalScrollBar()->value());
    }
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(m_edit, Qt::Key_Up);
        QTest::keyClick(bare.get(), Qt::Key_Up);
        QTest::keyClick(m_edit, Qt::Key_PageUp);
        QTest::keyClick(bare.get(), Qt::Key_PageUp);
        QCOMPARE(m_edit->textCursor().position(), bare->textCursor().position());
    }
}

// Opened text is laid out as it comes into view; the rest is estimated. Jumping to the end and
// then laying out everything above it corrects many estimates, and the view keeps showing the
// same text at the same place.
void tst_EditorView::shownTextStaysWhileEstimatesTurnReal()
{
    m_edit->setPlainTextMode(true);
    m_edit->load(numberedLines(4000));
    EditorDocumentLayout *layout = m_edit->richDocument().layout();
    QVERIFY(layout->estimatedCount() > 3000);
    m_edit->moveCursor(QTextCursor::End);
    m_edit->ensureCursorVisible();
    QApplication::processEvents();
    const int shown = m_edit->cursorForPosition(QPoint(5, 40)).position();
    const int shownY = m_edit->cursorRect(QTextCursor(m_edit->cursorForPosition(QPoint(5, 40)))).top();
    const QImage before = m_edit->viewport()->grab().toImage();
    layout->layOutAll();
    QApplication::processEvents();
    QCOMPARE(layout->estimatedCount(), 0);
    QCOMPARE(m_edit->cursorForPosition(QPoint(5, 40)).position(), shown);
    QTextCursor at(m_edit->document());
    at.setPosition(shown);
    QCOMPARE(m_edit->cursorRect(at).top(), shownY);
    QVERIFY(m_edit->viewport()->grab().toImage() == before);
}


// The rest of a long text is laid out while the program is idle, but not between the keys of
// someone typing: a slice of it would stand between a key and its character on the screen.
void tst_EditorView::backgroundLayoutWaitsWhileTheUserTypes()
{
    m_edit->setPlainTextMode(true);
    m_edit->load(numberedLines(20000));
    EditorDocumentLayout *layout = m_edit->richDocument().layout();
    m_edit->setFocus();
    QTest::keyClick(m_edit, Qt::Key_A);
    const int typedAt = layout->estimatedCount();
    QVERIFY(typedAt > 15000);
    // Idle, the background lays out thousands of these paragraphs in this time; the view, only
    // the screen's worth it shows.
    QTest::qWait(150);
    QVERIFY2(typedAt - layout->estimatedCount() < 100, qPrintable(QString::number(layout->estimatedCount())));
    QTRY_COMPARE_WITH_TIMEOUT(layout->estimatedCount(), 0, 30000);
    QCOMPARE(m_edit->document()->firstBlock().text().left(5), QStringLiteral("aline"));
}

void tst_EditorView::typingLeavesTheScreenAsAFreshPaint_data()
{
    QTest::addColumn<int>("zoom");
    QTest::newRow("100 %") << 100;
    QTest::newRow("150 %") << 150;
    QTest::newRow("200 %") << 200;
}

// A key repaints only what it changed, and moves what only moved along its line: what the
// window then shows is what painting the whole view anew shows, in Japanese lines that pass a
// character on to the next or take one up (their pixels moved), in words that move up a line or
// down, at a paragraph's end (where it repaints its line from the key on) and in a centred
// paragraph.
void tst_EditorView::typingLeavesTheScreenAsAFreshPaint()
{
    QFETCH(int, zoom);
    m_edit->replaceSelection(u"日本語の文章を書きます"_s.repeated(9) + u"\n"_s + longText(6)
                             + u"Some words that wrap at the edge of the window, one after another, "
                               u"again and again, until the lines run out.\n中央の段落です。\n"_s);
    ParaFormat centred;
    centred.mask = ParaFormat::Alignment;
    centred.alignment = ParaFormat::AlignCenter;
    QTextDocument *doc = m_edit->document();
    const QTextBlock centredBlock = doc->lastBlock().previous();
    QTextCursor inCentred(doc);
    inCentred.setPosition(centredBlock.position());
    m_edit->setTextCursor(inCentred);
    m_edit->setParaFormat(centred);
    m_edit->setZoomPercent(zoom);
    m_edit->setFocus();
    const QTextBlock latin = centredBlock.previous();
    const QTextBlock japanese = doc->findBlockByNumber(4);
    struct Step {
        int position;
        QString keys; // typed, then as many Backspaces
        bool lineFromTheKey = false; // repaints its line from the key on, no more
        bool moves = false; // moves the rest of the paragraph's text, painting a character a line
    };
    const Step steps[] = {
        { 0, u"字あ字"_s, false, true },
        { 30, u"字あ"_s, false, true },
        { japanese.position() + 3, u"字あ"_s },
        { japanese.position() + japanese.length() - 1, u"終"_s, true },
        { latin.position() + 5, u"wide "_s },
        { latin.position() + latin.length() - 1, u" end"_s, true },
        { centredBlock.position() + 2, u"中"_s },
    };
    const QPoint viewportAt = m_edit->viewport()->mapTo(m_edit, QPoint(0, 0));
    const auto onScreen = [&] {
        const QImage shot = m_edit->screen()->grabWindow(m_edit->winId()).toImage();
        return shot.copy(QRect(viewportAt, m_edit->viewport()->size())).convertToFormat(QImage::Format_RGB32);
    };
    const auto fresh = [&] { return m_edit->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); };
    PaintSpy spy(m_edit->viewport());
    QSignalSpy moved(m_edit->richDocument().layout(), &EditorDocumentLayout::textMoved);
    // A key, and what it painted (before a fresh paint adds its own).
    const auto press = [&](QKeyEvent &&key) {
        QApplication::processEvents();
        spy.painted = {};
        QApplication::sendEvent(m_edit, &key);
        QApplication::processEvents();
        return spy.painted;
    };
    for (const Step &step : steps) {
        QTextCursor cursor(doc);
        cursor.setPosition(step.position);
        m_edit->setTextCursor(cursor);
        m_edit->ensureCursorVisible();
        QApplication::processEvents();
        QVERIFY(onScreen() == fresh());
        for (const QChar key : step.keys) {
            const QRect line = m_edit->cursorRect();
            moved.clear();
            const int linesBefore = doc->firstBlock().layout()->lineCount();
            const int keyLine = doc->firstBlock().layout()->lineForTextPosition(m_edit->textCursor().position()).lineNumber();
            const QRegion painted = press(QKeyEvent(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(key)));
            QVERIFY2(onScreen() == fresh(), qPrintable(u"typing %1 at %2"_s.arg(step.keys).arg(step.position)));
            if (step.moves) qDebug() << zoom << step.position << key << moved.size() << doc->firstBlock().layout()->lineCount() << spy.painted;
            const int lines = doc->firstBlock().layout()->lineCount();
            if (step.moves && lines == linesBefore && key != step.keys.front()) {
                // Its lines' first characters and the key's, not the paragraph (which is painted
                // down from there when the key gave it another line, or the first key measured it
                // anew after the zoom).
                QVERIFY2(moved.size() >= lines - keyLine - 1, qPrintable(u"%1 moved, %2 lines, key %3 at %4"_s.arg(moved.size()).arg(lines).arg(key).arg(step.position)));
                qint64 area = 0;
                for (const QRect &r : painted)
                    area += qint64(r.width()) * r.height();
                QVERIFY2(area < qint64(lines) * line.height() * m_edit->viewport()->width() / 3, qPrintable(QString::number(area)));
            }
            if (step.lineFromTheKey) {
                const QRect bounds = painted.boundingRect();
                QVERIFY2(bounds.height() < 2 * line.height() && bounds.left() > line.left() - 2 * line.height(),
                         qPrintable(u"%1,%2 %3x%4"_s.arg(bounds.x()).arg(bounds.y()).arg(bounds.width()).arg(bounds.height())));
            }
        }
        for (qsizetype n = 0; n < step.keys.size(); ++n) {
            press(QKeyEvent(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier));
            QVERIFY2(onScreen() == fresh(), qPrintable(u"erasing %1 at %2"_s.arg(step.keys).arg(step.position)));
        }
    }
}

// The same in one paragraph of 300,000 characters, whose lines the layout keeps across edits:
// a key and its erasure at its start, in its middle and at its end.
void tst_EditorView::typingInAHugeParagraphLeavesTheScreenAsAFreshPaint()
{
    QString text;
    for (int i = 0; text.size() < 300000; ++i)
        text += QStringLiteral("長い段落の文章、その%1。").arg(i % 97);
    m_edit->replaceSelection(text);
    QTextDocument *doc = m_edit->document();
    QVERIFY(doc->firstBlock().length() > 250000);
    m_edit->setFocus();
    const QPoint viewportAt = m_edit->viewport()->mapTo(m_edit, QPoint(0, 0));
    const auto onScreen = [&] {
        QApplication::processEvents();
        const QImage shot = m_edit->screen()->grabWindow(m_edit->winId()).toImage();
        return shot.copy(QRect(viewportAt, m_edit->viewport()->size())).convertToFormat(QImage::Format_RGB32);
    };
    const auto fresh = [&] { return m_edit->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); };
    for (const int at : { 0, doc->characterCount() / 2, doc->characterCount() - 1 }) {
        QTextCursor cursor(doc);
        cursor.setPosition(at);
        m_edit->setTextCursor(cursor);
        m_edit->ensureCursorVisible();
        QVERIFY(onScreen() == fresh());
        for (int n = 0; n < 3; ++n) {
            QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, u"\u25A0"_s);
            QApplication::sendEvent(m_edit, &key);
            QVERIFY2(onScreen() == fresh(), qPrintable(u"typing at %1"_s.arg(at)));
            QTest::keyClick(m_edit, Qt::Key_Backspace);
            QVERIFY2(onScreen() == fresh(), qPrintable(u"erasing at %1"_s.arg(at)));
        }
    }
}

QTEST_MAIN(tst_EditorView)
#include "tst_editorview.moc"
