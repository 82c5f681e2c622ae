#include "document/apperror.h"
#include "document/documentmessages.h"
#include "document/richedit.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

using namespace Qt::StringLiterals;

class tst_RichEdit : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void selectionInBytes();
    void reversedSelectionReportsLowerEnd();
    void selectAllAndDelete();
    void replaceSelectionCanUndo();
    void replaceThatCannotBeUndoneEmptiesHistory();
    void displayLinesFollowTheWidth();
    void modifiedFlagAndNotifications();
    void textLimitFromTheStart();
    void textLimitCutsPaste();
    void clipboardCarriesPlainText();
    void clipboardCarriesRtf();
    void formatsOfSelectionAndDefault();
    void widgetFontIsTheDefaultFormat();
    void backgroundColour();
    void loadAndSaveFiles();
    void failedLoadRaisesAppError();

private:
    RichEdit *m_edit = nullptr;
};

void tst_RichEdit::init()
{
    m_edit = new RichEdit;
    m_edit->resize(400, 300);
    m_edit->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_edit));
}

void tst_RichEdit::cleanup()
{
    delete m_edit;
    m_edit = nullptr;
}

void tst_RichEdit::selectionInBytes()
{
    m_edit->replaceSelection(u"日本語\r\nabc"_s);
    QCOMPARE(m_edit->textLength(), 11);
    QCOMPARE(m_edit->selection().start, 11);
    m_edit->setSelection(2, 10); // 本 is at 2, CR LF at 6 and 7, b at 9
    QCOMPARE(m_edit->textCursor().selectedText(), u"本語\u2029ab"_s);
    QCOMPARE(m_edit->selection().start, 2);
    QCOMPARE(m_edit->selection().end, 10);
    m_edit->setSelection(3, 3); // the trail byte of 本 snaps to its start
    QCOMPARE(m_edit->selection().start, 2);
    m_edit->setSelection(0, -1);
    QCOMPARE(m_edit->selection().length(), 11);
    QCOMPARE(m_edit->textBytes(), "\x93\xFA\x96\x7B\x8C\xEA\r\nabc"_ba);
}

void tst_RichEdit::reversedSelectionReportsLowerEnd()
{
    m_edit->replaceSelection(u"abcdef"_s);
    m_edit->setSelection(5, 1);
    QCOMPARE(m_edit->textCursor().position(), m_edit->textCursor().selectionStart()); // caret at the low end
    QCOMPARE(m_edit->selection().start, 1);
    QCOMPARE(m_edit->selection().end, 5);
}

void tst_RichEdit::selectAllAndDelete()
{
    m_edit->replaceSelection(u"abc\ndef"_s);
    m_edit->selectAll();
    QCOMPARE(m_edit->selection().length(), 8);
    m_edit->setSelection(1, 6); // "bc", CR LF and "d"
    m_edit->deleteSelection();
    QCOMPARE(m_edit->toPlainText(), u"aef"_s);
    QCOMPARE(m_edit->selection().start, 1);
}

void tst_RichEdit::replaceSelectionCanUndo()
{
    m_edit->replaceSelection(u"abc"_s);
    m_edit->setSelection(1, 2);
    m_edit->replaceSelection(u"XYZ"_s, RichEdit::UndoMode::CanUndo);
    QCOMPARE(m_edit->toPlainText(), u"aXYZc"_s);
    QCOMPARE(m_edit->selection().start, 4); // the caret follows the inserted text
    m_edit->undo();
    QCOMPARE(m_edit->toPlainText(), u"abc"_s);
}

void tst_RichEdit::replaceThatCannotBeUndoneEmptiesHistory()
{
    // Undoing "typed later" across an unrecorded change before it would delete the wrong
    // characters; the history must not offer it.
    QTest::keyClicks(m_edit, u"hello"_s);
    m_edit->setSelection(0, 1);
    m_edit->replaceSelection(u"JJJ"_s, RichEdit::UndoMode::CannotUndo);
    QCOMPARE(m_edit->toPlainText(), u"JJJello"_s);
    QVERIFY(!m_edit->document()->isUndoAvailable());
    m_edit->undo();
    QCOMPARE(m_edit->toPlainText(), u"JJJello"_s);
    QVERIFY(m_edit->isModified());
    // Edits after it are recorded again.
    QTest::keyClicks(m_edit, u"!"_s);
    m_edit->undo();
    QCOMPARE(m_edit->toPlainText(), u"JJJello"_s);
}

void tst_RichEdit::displayLinesFollowTheWidth()
{
    m_edit->replaceSelection(u"first\r\n"_s + QString(120, u'字') + u"\r\nlast"_s);
    const int lines = m_edit->lineCount();
    QVERIFY(lines > 3);
    const qint64 last = m_edit->textLength() - 4;
    QCOMPARE(m_edit->lineFromChar(last), lines - 1);
    QCOMPARE(m_edit->lineIndex(lines - 1), last);
    QCOMPARE(m_edit->lineFromChar(0), 0);
    QCOMPARE(m_edit->lineIndex(1), 7);
    QCOMPARE(m_edit->lineIndex(lines), -1);
    m_edit->setSelection(8, 8);
    QCOMPARE(m_edit->lineIndex(-1), 7); // the caret's line

    m_edit->resize(200, 300);
    QCoreApplication::processEvents();
    QVERIFY(m_edit->lineCount() > lines);
    QCOMPARE(m_edit->lineFromChar(m_edit->textLength()), m_edit->lineCount() - 1);

    // The caret's place, found in one look, agrees everywhere with the separate answers: on
    // wrapped lines, at paragraph ends, around characters of two bytes and of none in CP932.
    m_edit->setSelection(0, -1);
    m_edit->replaceSelection(u"ab\r\n"_s + QString(90, u'字') + u"x😀y\r\n\r\n"_s + QString(70, u'a') + u"é"_s);
    RichDocument &document = m_edit->richDocument();
    const int end = m_edit->document()->characterCount() - 1;
    for (int position = 0; position <= end; ++position) {
        QTextCursor cursor(m_edit->document());
        cursor.setPosition(position);
        if (cursor.position() != position)
            continue; // inside a surrogate pair: no caret stands there
        const RichDocument::CaretPlace place = document.caretPlace(position);
        const qint64 byte = document.bytePosition(position);
        const int line = document.lineFromByte(byte);
        QCOMPARE(place.byte, byte);
        QCOMPARE(place.line, line);
        QCOMPARE(place.lineStartByte, document.lineStartByte(line));
        QCOMPARE(place.charactersBefore, document.charactersBefore(byte));
    }
}

void tst_RichEdit::modifiedFlagAndNotifications()
{
    QSignalSpy changed(m_edit, &RichEdit::changed);
    QSignalSpy moved(m_edit, &RichEdit::selectionChange);
    QVERIFY(!m_edit->isModified());
    QTest::keyClicks(m_edit, u"ab"_s);
    QVERIFY(m_edit->isModified());
    QCOMPARE(changed.size(), 2);
    QCOMPARE(moved.size(), 2);
    m_edit->setModified(false);
    QVERIFY(!m_edit->isModified());
    moved.clear();
    m_edit->setSelection(0, 2); // one change of selection, one notification
    QCOMPARE(moved.size(), 1);
    m_edit->setSelection(0, 2);
    QCOMPARE(moved.size(), 1);
    QTest::keyClick(m_edit, Qt::Key_Left);
    QCOMPARE(moved.size(), 2);
    QCOMPARE(changed.size(), 2);
}

void tst_RichEdit::textLimitFromTheStart()
{
    QCOMPARE(m_edit->textLimit(), RichEdit::DefaultTextLimit);
    const QString big(200000, u'x');
    QApplication::clipboard()->setText(big);
    m_edit->paste();
    QCOMPARE(m_edit->textLength(), 200000);
}

void tst_RichEdit::textLimitCutsPaste()
{
    m_edit->setTextLimit(7);
    QApplication::clipboard()->setText(u"あいうえお"_s);
    m_edit->paste();
    QCOMPARE(m_edit->toPlainText(), u"あいう"_s); // 6 bytes; the fourth would need 8
    QTest::keyClicks(m_edit, u"a"_s);
    QCOMPARE(m_edit->toPlainText(), u"あいうa"_s);
    QTest::keyClicks(m_edit, u"b"_s);
    QCOMPARE(m_edit->toPlainText(), u"あいうa"_s);
    m_edit->setSelection(0, 2); // replacing frees room
    QTest::keyClicks(m_edit, u"cd"_s);
    QCOMPARE(m_edit->toPlainText(), u"cdいうa"_s);
}

void tst_RichEdit::clipboardCarriesPlainText()
{
    m_edit->replaceSelection(u"一行\r\n二行"_s);
    m_edit->setSelection(0, -1);
    m_edit->copy();
    const QMimeData *data = QApplication::clipboard()->mimeData();
    QCOMPARE(data->text(), u"一行\n二行"_s);
    QVERIFY(!data->hasHtml());

    auto *mime = new QMimeData;
    mime->setText(u"x\r\ny"_s);
    mime->setHtml(u"<b>ignored</b>"_s);
    QApplication::clipboard()->setMimeData(mime);
    m_edit->setSelection(0, -1);
    m_edit->paste();
    QCOMPARE(m_edit->document()->blockCount(), 2);
    QCOMPARE(m_edit->textBytes(), "x\r\ny"_ba);
}

void tst_RichEdit::clipboardCarriesRtf()
{
    m_edit->replaceSelection(u"太字とふつう"_s);
    m_edit->setSelection(0, 4);
    CharFormat bold;
    bold.mask = CharFormat::Bold;
    bold.bold = true;
    m_edit->setCharFormat(bold);
    m_edit->setSelection(0, 6); // 太字と
    m_edit->copy();
    const QMimeData *data = QApplication::clipboard()->mimeData();
    QVERIFY(data->hasFormat(u"text/rtf"_s));
    QVERIFY(data->data(u"text/rtf"_s).startsWith("{\\rtf1"));

    // Pasting it elsewhere brings the formatting along.
    m_edit->setSelection(m_edit->textLength(), m_edit->textLength());
    m_edit->paste();
    QCOMPARE(m_edit->toPlainText(), u"太字とふつう太字と"_s);
    m_edit->setSelection(12, 14);
    QVERIFY(m_edit->charFormat().bold);
    m_edit->setSelection(16, 18);
    QVERIFY(!m_edit->charFormat().bold);

    // Another program's RTF wins over its plain text.
    auto *mime = new QMimeData;
    mime->setText(u"plain"_s);
    mime->setData(u"text/rtf"_s, "{\\rtf1 {\\i rich}}");
    QApplication::clipboard()->setMimeData(mime);
    m_edit->setSelection(0, -1);
    m_edit->paste();
    QCOMPARE(m_edit->toPlainText(), u"rich"_s);
    m_edit->setSelection(0, 1);
    QVERIFY(m_edit->charFormat().italic);
}

void tst_RichEdit::formatsOfSelectionAndDefault()
{
    CharFormat f;
    f.mask = CharFormat::Bold | CharFormat::Size | CharFormat::Face;
    f.bold = true;
    f.sizeTwips = 300;
    f.faceName = u"ＭＳ ゴシック"_s;
    m_edit->setCharFormat(f); // no selection: the next text
    QTest::keyClicks(m_edit, u"ab"_s);
    m_edit->setSelection(0, 1);
    QVERIFY(m_edit->charFormat().bold);
    QCOMPARE(m_edit->charFormat().sizeTwips, 300);

    CharFormat d;
    d.mask = CharFormat::Face | CharFormat::Size;
    d.faceName = u"ＭＳ Ｐ明朝"_s;
    d.sizeTwips = 240;
    m_edit->setCharFormat(d, RichEdit::FormatTarget::Default);
    QCOMPARE(m_edit->charFormat(RichEdit::FormatTarget::Default).faceName, u"ＭＳ Ｐ明朝"_s);
    QCOMPARE(m_edit->charFormat(RichEdit::FormatTarget::Default).sizeTwips, 240);

    ParaFormat p;
    p.mask = ParaFormat::Numbering;
    p.numbering = ParaFormat::NumberingBullet;
    m_edit->setParaFormat(p);
    QCOMPARE(m_edit->paraFormat().numbering, ParaFormat::NumberingBullet);
    QCOMPARE(m_edit->paraFormat().leftIndentTwips, ParaFormat::BulletMinimumIndentTwips);
}

void tst_RichEdit::widgetFontIsTheDefaultFormat()
{
    QFont font(u"ＭＳ 明朝"_s);
    font.setPixelSize(20); // 15 pt at 96 to the inch
    m_edit->setFont(font);
    const CharFormat d = m_edit->charFormat(RichEdit::FormatTarget::Default);
    QCOMPARE(d.faceName, u"ＭＳ 明朝"_s);
    QCOMPARE(d.sizeTwips, 300);
    QCOMPARE(m_edit->document()->defaultFont().family(), u"ＭＳ 明朝"_s);
    QCOMPARE(m_edit->document()->defaultFont().styleStrategy(), QFont::PreferNoShaping);
}

void tst_RichEdit::backgroundColour()
{
    m_edit->setBackgroundColor(QColor(0, 0, 255));
    QCOMPARE(m_edit->backgroundColor(), QColor(0, 0, 255));
    const QImage shot = m_edit->viewport()->grab().toImage();
    QCOMPARE(shot.pixelColor(shot.width() - 5, shot.height() - 5), QColor(0, 0, 255));
}

void tst_RichEdit::loadAndSaveFiles()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"doc.txt"_s);
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\x82\xA0\r\n\x82\xA2\r\n");
    }
    m_edit->setTextLimit(3);
    QTest::keyClicks(m_edit, u"old"_s);
    m_edit->loadFile(path);
    QCOMPARE(m_edit->toPlainText(), u"あ\nい\n"_s);
    QCOMPARE(m_edit->selection().start, 0);
    QCOMPARE(m_edit->textLimit(), RichEdit::DefaultTextLimit); // a load raises the limit
    QVERIFY(!m_edit->document()->isUndoAvailable());

    m_edit->setSelection(0, 2);
    m_edit->replaceSelection(u"う"_s);
    m_edit->setPlainTextMode(true);
    const QString out = dir.filePath(u"out.txt"_s);
    m_edit->saveFile(out);
    QFile f(out);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), "\x82\xA4\r\n\x82\xA2\r\n"_ba);
}

void tst_RichEdit::failedLoadRaisesAppError()
{
    const QString missing = u"/nonexistent/folder/x.txt"_s;
    try {
        m_edit->loadFile(missing);
        QFAIL("no error");
    } catch (const AppError &e) {
        QCOMPARE(e.text(), Messages::cannotOpenFile(missing, Messages::FileProblem::FolderNotFound));
    }
}

QTEST_MAIN(tst_RichEdit)
#include "tst_richedit.moc"
