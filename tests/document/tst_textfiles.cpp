// Text files in UTF-8 and in CP932: which form a file is read in, and that a save writes back
// only what the user changed, through the real window and the converter.

#include "app/japaneseui.h"
#include "app/settingsfile.h"
#include "app/statustext.h"
#include "app/tpenform1.h"
#include "document/plaintext.h"
#include "document/richdocument.h"
#include "document/richedit.h"
#include "document/textform.h"

#include <QAction>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include "converterrun.h"
#include "realdialogs.h"
#include "testfiles.h"

using namespace Qt::StringLiterals;

namespace {

using Encoding = TextForm::Encoding;
using LineBreak = TextForm::LineBreak;

TextForm utf8(LineBreak lineBreak, bool mark = false)
{
    return { Encoding::Utf8, mark, lineBreak };
}

// こんにちは in CP932: valid CP932, not UTF-8.
const QByteArray ShiftJisGreeting = "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd"_ba;

} // namespace

Q_DECLARE_METATYPE(TextForm)

class tst_TextFiles : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void formIsFoundFromTheBytes_data();
    void formIsFoundFromTheBytes();
    void formIsTheSameWhereverThePiecesAreCut();
    void utf8ReadsTheSameInPiecesOfAnySize();
    void documentWritesBackInItsForm_data();
    void documentWritesBackInItsForm();

    void openEditSaveChangesOnlyTheEdit_data();
    void openEditSaveChangesOnlyTheEdit();
    void utf8CharactersCountAsShiftJisBytes();
    void newDocumentAfterUtf8SavesCp932();
    void converterReadsUtf8AsTheEditorDoes();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    void openThroughTheDialog(const QString &name);

    QTemporaryDir m_dir;
    TPenForm1 *m_window = nullptr;
};

void tst_TextFiles::initTestCase()
{
    installJapaneseUi();
}

void tst_TextFiles::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    m_window = new TPenForm1;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_TextFiles::cleanup()
{
    RealDialogs::cancelPending();
    m_window->RichEdit1->setModified(false);
    delete m_window;
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_TextFiles::openThroughTheDialog(const QString &name)
{
    RealDialogs::whenModal([this, name](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        dialog->setDirectory(m_dir.path());
        RealDialogs::typeFileName(dialog, name);
    });
    m_window->command(u"FileOpen"_s)->trigger();
    QCOMPARE(m_window->CurrentFileName, path(name));
    // A closing dialog gives the window back its activation only where a window manager does it.
    QApplication::setActiveWindow(m_window);
    QTRY_VERIFY(m_window->isActiveWindow());
}

void tst_TextFiles::formIsFoundFromTheBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<TextForm>("form");
    const TextForm cp932;
    QTest::newRow("empty") << QByteArray() << cp932;
    QTest::newRow("ascii") << "plain\nascii\n"_ba << cp932;
    QTest::newRow("shift-jis") << ShiftJisGreeting << cp932;
    QTest::newRow("utf-8, LF") << "日本語\nです\n"_ba << utf8(LineBreak::Lf);
    QTest::newRow("utf-8, CR LF") << "日本語\r\nです"_ba << utf8(LineBreak::CrLf);
    QTest::newRow("utf-8, CR") << "日本語\rです"_ba << utf8(LineBreak::Cr);
    QTest::newRow("utf-8, first break wins") << "a\r\nb\nc ü"_ba << utf8(LineBreak::CrLf);
    QTest::newRow("utf-8, break before the first letter above ascii") << "a\rü"_ba << utf8(LineBreak::Cr);
    QTest::newRow("utf-8, no break") << "ü"_ba << utf8(LineBreak::Lf);
    QTest::newRow("utf-8, four bytes") << "\xF0\x9F\x98\x80 smile\n"_ba << utf8(LineBreak::Lf);
    QTest::newRow("mark only") << "\xEF\xBB\xBF"_ba << utf8(LineBreak::Lf, true);
    QTest::newRow("mark and ascii") << "\xEF\xBB\xBF" "abc\r\n"_ba << utf8(LineBreak::CrLf, true);
    QTest::newRow("mark and shift-jis") << "\xEF\xBB\xBF"_ba + ShiftJisGreeting << cp932;
    QTest::newRow("overlong") << "\xC0\x80"_ba << cp932;
    QTest::newRow("overlong three") << "\xE0\x80\xAF"_ba << cp932;
    QTest::newRow("surrogate") << "\xED\xA0\x80"_ba << cp932;
    QTest::newRow("above U+10FFFF") << "\xF4\x90\x80\x80"_ba << cp932;
    QTest::newRow("cut at the end") << "日本\xE8\xAA"_ba << cp932;
    QTest::newRow("lone continuation") << "abc\x80"_ba << cp932;
    QTest::newRow("binary") << "\x00\x01\xFF\xFE"_ba << cp932;
}

void tst_TextFiles::formIsFoundFromTheBytes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(TextForm, form);
    QCOMPARE(TextFormDetector::detect(bytes), form);
}

void tst_TextFiles::formIsTheSameWhereverThePiecesAreCut()
{
    const QList<QByteArray> texts = { "\xEF\xBB\xBF日本\r\n語 ascii run of letters\n\xF0\x9F\x98\x80"_ba,
                                      "ascii first line\r\nthen ü"_ba, "a\r"_ba + "\nb\xC3\xBC"_ba,
                                      "日本語"_ba + ShiftJisGreeting };
    for (const QByteArray &text : texts) {
        const TextForm whole = TextFormDetector::detect(text);
        for (qsizetype cut = 0; cut <= text.size(); ++cut) {
            for (qsizetype second = cut; second <= text.size(); ++second) {
                const std::vector<QByteArray> pieces = { text.first(cut), text.sliced(cut, second - cut), text.sliced(second) };
                QVERIFY2(TextFormDetector::detect(pieces) == whole,
                         qPrintable(u"cut at %1 and %2 of %3"_s.arg(cut).arg(second).arg(QString::fromUtf8(text))));
            }
        }
    }
}

void tst_TextFiles::utf8ReadsTheSameInPiecesOfAnySize()
{
    const QByteArray bytes = "\xEF\xBB\xBF一行目\r\n二行目 ascii\n\xF0\x9F\x98\x80〜\r\r\nend"_ba;
    QTextDocument whole;
    PlainText::read(whole, QByteArrayView(bytes).sliced(3), QTextCharFormat());
    const QString expected = u"一行目\n二行目 ascii\n😀〜\n\nend"_s;
    for (qsizetype pieceBytes = 1; pieceBytes <= bytes.size(); ++pieceBytes) {
        QTextDocument document;
        PlainText::read(document, bytes, QTextCharFormat(), pieceBytes, Encoding::Utf8);
        QCOMPARE(document.toPlainText(), expected);
        for (qsizetype split = 1; split < bytes.size(); split += 5) {
            QTextDocument fromPieces;
            PlainText::read(fromPieces, std::vector<QByteArray> { bytes.first(split), bytes.sliced(split) }, QTextCharFormat(),
                            pieceBytes, Encoding::Utf8);
            QVERIFY2(fromPieces.toPlainText() == expected, qPrintable(u"piece %1, split %2"_s.arg(pieceBytes).arg(split)));
        }
    }
}

void tst_TextFiles::documentWritesBackInItsForm_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("LF, final break") << "日本語\nです\n"_ba;
    QTest::newRow("CR LF with mark") << "\xEF\xBB\xBF日本語\r\nです"_ba;
    QTest::newRow("CR") << "〜\r−\r—"_ba;
    QTest::newRow("beyond CP932") << "😀 € ü ℃ ☃\n"_ba;
    QTest::newRow("empty lines") << "\n\n\xC3\xBC\n\n"_ba;
    QTest::newRow("CP932") << ShiftJisGreeting + "\r\n\x81\x60"_ba;
}

void tst_TextFiles::documentWritesBackInItsForm()
{
    QFETCH(QByteArray, bytes);
    QTextDocument document;
    RichDocument rich(&document);
    rich.load(bytes, StreamFormat::PlainText, QTextCharFormat());
    Unsaveable unsaveable;
    QCOMPARE(rich.save(StreamFormat::PlainText, &unsaveable), bytes);
    QCOMPARE(unsaveable.count, 0);
    // RTF, and a fallback from RTF, set the form afresh.
    rich.load("{\\rtf1 x}"_ba, StreamFormat::Rtf, QTextCharFormat());
    QCOMPARE(rich.textForm(), TextForm());
    rich.load(bytes, StreamFormat::Rtf, QTextCharFormat());
    QCOMPARE(rich.save(StreamFormat::PlainText), bytes);
}

void tst_TextFiles::openEditSaveChangesOnlyTheEdit_data()
{
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<QByteArray>("edited");
    QTest::newRow("utf-8, LF") << "日本語のメモ\n〜と～\n"_ba << "日本語のメモ\n〜と～\nok"_ba;
    QTest::newRow("utf-8, mark, CR LF") << "\xEF\xBB\xBFメモ 😀\r\n二行目"_ba << "\xEF\xBB\xBFメモ 😀\r\n二行目ok"_ba;
    QTest::newRow("cp932, CR LF") << ShiftJisGreeting + "\r\n\x81\x60"_ba << ShiftJisGreeting + "\r\n\x81\x60ok"_ba;
}

void tst_TextFiles::openEditSaveChangesOnlyTheEdit()
{
    QFETCH(QByteArray, original);
    QFETCH(QByteArray, edited);
    TestFiles::write(path(u"memo.txt"_s), original);
    openThroughTheDialog(u"memo.txt"_s);
    RichEdit *editor = m_window->RichEdit1;
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(editor, u"ok"_s);
    // No question about characters Shift-JIS cannot hold: nothing is lost.
    QTest::keyClick(editor, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(!editor->isModified());
    QCOMPARE(TestFiles::read(path(u"memo.txt"_s)), edited);
}

void tst_TextFiles::utf8CharactersCountAsShiftJisBytes()
{
    TestFiles::write(path(u"count.txt"_s), "日本語\nab"_ba);
    openThroughTheDialog(u"count.txt"_s);
    RichEdit *editor = m_window->RichEdit1;
    QCOMPARE(editor->textLength(), 10);
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_End);
    QCOMPARE(m_window->StatusPanels[2]->text(), u"1 行　6 列   "_s);
    QCOMPARE(m_window->StatusPanels[1]->text(), u" 3   文字目です。"_s);
    m_window->Memo1Click();
    QCOMPARE(m_window->StatusPanels[1]->text(), u" 6   バイト目です。"_s);
    QCOMPARE(m_window->Memo1->text(), u"10"_s);
}

void tst_TextFiles::newDocumentAfterUtf8SavesCp932()
{
    TestFiles::write(path(u"utf8.txt"_s), "ü\n"_ba);
    openThroughTheDialog(u"utf8.txt"_s);
    m_window->command(u"FileNew"_s)->trigger();
    QTest::keyClicks(m_window->RichEdit1, u"new"_s);
    QCOMPARE(m_window->RichEdit1->richDocument().textForm(), TextForm());
}

void tst_TextFiles::converterReadsUtf8AsTheEditorDoes()
{
    const QByteArray bytes = "\xEF\xBB\xBF日本語 😀\nascii\n"_ba;
    TestFiles::write(path(u"in.txt"_s), bytes);
    const auto run = ConverterRun::convert({ u"--convert-to"_s, u"txt"_s, u"--outdir"_s, path(u"out"_s), path(u"in.txt"_s) },
                                           m_dir.path());
    QCOMPARE(run.status, 0);
    QVERIFY2(run.errors.isEmpty(), qPrintable(run.errors));
    QCOMPARE(TestFiles::read(path(u"out/in.txt"_s)), bytes);
    const auto rtf = ConverterRun::convert({ u"--convert-to"_s, u"rtf"_s, u"--outdir"_s, path(u"out"_s), path(u"in.txt"_s) },
                                           m_dir.path());
    QCOMPARE(rtf.status, 0);
    const QByteArray written = TestFiles::read(path(u"out/in.rtf"_s));
    // 日 in CP932 is 93 FA.
    QVERIFY2(written.contains("\\'93\\'fa"), written.constData());
}

QTEST_MAIN(tst_TextFiles)
#include "tst_textfiles.moc"
