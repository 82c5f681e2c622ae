#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "tools/replacedialog.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_Replace : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void findNextStartsAtTheBeginningWithoutASelection();
    void findNextAfterTheMessageStartsAgain();
    void openingTheDialogDropsTheSelection();
    void replaceWithoutSelectionOnlySelects();
    void replaceReplacesAnySelection();
    void matchCaseAndHitsInsideWords();
    void japaneseHitSelectedOverItsBytes();
    void replaceAllWithoutOccurrence();
    void replaceAllThreeOccurrences();
    void replaceAllWhenTheReplacementContainsTheText();
    void replaceAllWithASelectionPresent();
    void replaceAllWithParagraphBreaks();
    void replacementsCannotBeUndone();
    void textsAreLimitedTo255Bytes();
    void buttonsNeedSomethingToFind();

private:
    void setText(const QString &text);
    void find(const QString &what);
    void replace(const QString &what, const QString &with, ReplaceDialog::Option option);
    QString text() const { return m_window->RichEdit1->toPlainText(); }

    TPenForm1 *m_window = nullptr;
    QStringList m_messages;
};

void tst_Replace::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    m_messages.clear();
    MessageBox::setSink([this](QWidget *, const MessageBox::Request &r) {
        m_messages += r.caption + u'|' + r.text;
        return QMessageBox::Ok;
    });
    m_window = new TPenForm1;
}

void tst_Replace::cleanup()
{
    delete m_window;
    MessageBox::setSink({});
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_Replace::setText(const QString &text)
{
    m_window->RichEdit1->setSelection(0, -1);
    m_window->RichEdit1->replaceSelection(text);
}

void tst_Replace::find(const QString &what)
{
    m_window->ReplaceDialog1->setFindText(what);
    m_window->ReplaceDialog1->press(ReplaceDialog::FindNext);
}

void tst_Replace::replace(const QString &what, const QString &with, ReplaceDialog::Option option)
{
    m_window->ReplaceDialog1->setFindText(what);
    m_window->ReplaceDialog1->setReplaceText(with);
    m_window->ReplaceDialog1->press(option);
}

void tst_Replace::findNextStartsAtTheBeginningWithoutASelection()
{
    setText(u"cat dog cat dog"_s);
    m_window->RichEdit1->setSelection(9, 9); // caret in the middle
    find(u"cat"_s);
    QCOMPARE(m_window->RichEdit1->selection().start, 0);
    QCOMPARE(m_window->RichEdit1->selection().end, 3);
    find(u"cat"_s); // from behind the selected hit
    QCOMPARE(m_window->RichEdit1->selection().start, 8);
}

void tst_Replace::findNextAfterTheMessageStartsAgain()
{
    setText(u"one cat"_s);
    find(u"cat"_s);
    find(u"cat"_s);
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages.first(), u"Penloft|ここから後の文書には、\n\n『 cat 』\n\nは、見つかりません！"_s);
    QCOMPARE(m_window->RichEdit1->selection().start, 0);
    QCOMPARE(m_window->RichEdit1->selection().length(), 0);
    find(u"cat"_s);
    QCOMPARE(m_window->RichEdit1->selection().start, 4);
}

void tst_Replace::openingTheDialogDropsTheSelection()
{
    setText(u"some text"_s);
    m_window->RichEdit1->setSelection(2, 6);
    m_window->OptionReplaceExecute();
    QVERIFY(m_window->ReplaceDialog1->isVisible());
    QCOMPARE(m_window->RichEdit1->selection().length(), 0);
    QCOMPARE(m_window->RichEdit1->selection().start, 0);
    const QPoint expected(m_window->RichEdit1->x() + m_window->RichEdit1->width() / 4, m_window->RichEdit1->y());
    QCOMPARE(m_window->ReplaceDialog1->pos(), expected);
    // Already open: moved by the user, it stays; the selection goes all the same.
    m_window->ReplaceDialog1->move(300, 200);
    m_window->RichEdit1->setSelection(2, 6);
    m_window->OptionReplaceExecute();
    QCOMPARE(m_window->ReplaceDialog1->pos(), QPoint(300, 200));
    QCOMPARE(m_window->RichEdit1->selection().length(), 0);
    // Closed and opened again: back at the point.
    m_window->ReplaceDialog1->close();
    m_window->OptionReplaceExecute();
    QCOMPARE(m_window->ReplaceDialog1->pos(), expected);
    m_window->ReplaceDialog1->close();
}

void tst_Replace::replaceWithoutSelectionOnlySelects()
{
    setText(u"a cat and a cat"_s);
    m_window->RichEdit1->setSelection(5, 5);
    replace(u"cat"_s, u"dog"_s, ReplaceDialog::Replace);
    QCOMPARE(text(), u"a cat and a cat"_s);
    QCOMPARE(m_window->RichEdit1->selection().start, 2);
    replace(u"cat"_s, u"dog"_s, ReplaceDialog::Replace);
    QCOMPARE(text(), u"a dog and a cat"_s);
    QCOMPARE(m_window->RichEdit1->selection().start, 12);
    replace(u"cat"_s, u"dog"_s, ReplaceDialog::Replace);
    QCOMPARE(text(), u"a dog and a dog"_s);
    QCOMPARE(m_messages.size(), 1); // nothing more: M1, the caret behind the replacement
    QCOMPARE(m_window->RichEdit1->selection().start, 15);
}

void tst_Replace::replaceReplacesAnySelection()
{
    setText(u"abc cat"_s);
    m_window->RichEdit1->setSelection(0, 2); // "ab" is not an occurrence
    replace(u"cat"_s, u"X"_s, ReplaceDialog::Replace);
    QCOMPARE(text(), u"Xc cat"_s);
    QCOMPARE(m_window->RichEdit1->selection().start, 3);
}

void tst_Replace::matchCaseAndHitsInsideWords()
{
    setText(u"Cat category"_s);
    find(u"cat"_s);
    QCOMPARE(m_window->RichEdit1->selection().start, 4); // not "Cat"; inside "category"
    QCOMPARE(m_window->RichEdit1->selection().length(), 3);
}

void tst_Replace::japaneseHitSelectedOverItsBytes()
{
    setText(u"今日は晴れ、明日は雨"_s);
    find(u"明日"_s);
    QCOMPARE(m_window->RichEdit1->selection().start, 12);
    QCOMPARE(m_window->RichEdit1->selection().length(), 4);
    QCOMPARE(m_window->RichEdit1->textCursor().selectedText(), u"明日"_s);
}

void tst_Replace::replaceAllWithoutOccurrence()
{
    setText(u"nothing here"_s);
    m_window->RichEdit1->setSelection(0, 4);
    replace(u"cat"_s, u"dog"_s, ReplaceDialog::ReplaceAll);
    QCOMPARE(m_messages, QStringList { u"Penloft|この文書から　\n\n『 cat 』\n\nは、発見されませんでした！"_s });
    QCOMPARE(text(), u"nothing here"_s);
    QCOMPARE(m_window->RichEdit1->selection().start, 0);
    QCOMPARE(m_window->RichEdit1->selection().end, 4);
}

void tst_Replace::replaceAllThreeOccurrences()
{
    setText(u"cat, cat\ncat!"_s);
    m_window->RichEdit1->setSelection(3, 3);
    replace(u"cat"_s, u"犬"_s, ReplaceDialog::ReplaceAll);
    QCOMPARE(text(), u"犬, 犬\n犬!"_s);
    QCOMPARE(m_messages, QStringList { u"Penloft|3  箇所の  『 cat 』 を、\n\n 『 犬 』 に、置き換えました。"_s });
    QCOMPARE(m_window->RichEdit1->textLength(), m_window->RichEdit1->textBytes().size());
}

void tst_Replace::replaceAllWhenTheReplacementContainsTheText()
{
    setText(u"a b a b a"_s);
    replace(u"a"_s, u"aa"_s, ReplaceDialog::ReplaceAll);
    QCOMPARE(text(), u"aa b aa b aa"_s);
    QCOMPARE(m_messages.last(), u"Penloft|3  箇所の  『 a 』 を、\n\n 『 aa 』 に、置き換えました。"_s);
}

void tst_Replace::replaceAllWithASelectionPresent()
{
    // Whatever is selected is replaced first, and counted with the rest.
    setText(u"xx cat cat"_s);
    m_window->RichEdit1->setSelection(0, 2);
    replace(u"cat"_s, u"dog"_s, ReplaceDialog::ReplaceAll);
    QCOMPARE(text(), u"dog dog dog"_s);
    QCOMPARE(m_messages.last(), u"Penloft|3  箇所の  『 cat 』 を、\n\n 『 dog 』 に、置き換えました。"_s);
    // Then the passes go on to the end, and from the start up to where the selection was; the
    // caret ends behind the last replacement.
    setText(u"cat xx cat"_s);
    m_window->RichEdit1->setSelection(4, 6);
    replace(u"cat"_s, u"dog"_s, ReplaceDialog::ReplaceAll);
    QCOMPARE(text(), u"dog dog dog"_s);
    QCOMPARE(m_messages.last(), u"Penloft|3  箇所の  『 cat 』 を、\n\n 『 dog 』 に、置き換えました。"_s);
    QCOMPARE(m_window->RichEdit1->selection().start, 3);
    QCOMPARE(m_window->RichEdit1->selection().length(), 0);
}

void tst_Replace::replaceAllWithParagraphBreaks()
{
    // Replacements that add and remove paragraphs keep byte positions right between passes.
    setText(u"a 漢a\na"_s);
    replace(u"a"_s, u"x\r\ny"_s, ReplaceDialog::ReplaceAll);
    QCOMPARE(text(), u"x\ny 漢x\ny\nx\ny"_s);
    QCOMPARE(m_messages.last(), u"Penloft|3  箇所の  『 a 』 を、\n\n 『 x\r\ny 』 に、置き換えました。"_s.replace(u"\r\n"_s, u"\n"_s));
    QCOMPARE(m_window->RichEdit1->textLength(), m_window->RichEdit1->textBytes().size());
    setText(u"one\ntwo\nthree"_s);
    replace(u"o\r\nt"_s, u"-"_s, ReplaceDialog::ReplaceAll);
    QCOMPARE(text(), u"one\ntw-hree"_s);
    QCOMPARE(m_window->RichEdit1->selection().start, 8); // behind the replacement
    QCOMPARE(m_window->RichEdit1->textLength(), m_window->RichEdit1->textBytes().size());
}

void tst_Replace::replacementsCannotBeUndone()
{
    setText(u"cat"_s);
    replace(u"cat"_s, u"dog"_s, ReplaceDialog::ReplaceAll);
    QCOMPARE(text(), u"dog"_s);
    m_window->RichEdit1->undo();
    QCOMPARE(text(), u"dog"_s);
    QVERIFY(m_window->RichEdit1->isModified());
}

void tst_Replace::textsAreLimitedTo255Bytes()
{
    auto *box = m_window->ReplaceDialog1->findChild<QLineEdit *>();
    box->setFocus();
    box->clear();
    box->insert(QString(127, u'あ')); // 254 bytes
    QCOMPARE(box->text().size(), 127);
    box->insert(u"い"_s); // 256: refused, not cut
    QCOMPARE(box->text().size(), 127);
    box->insert(u"a"_s); // 255 fits
    QCOMPARE(box->text().size(), 128);
    box->clear();
    box->insert(QString(200, u'漢')); // a paste too long is refused whole
    QCOMPARE(box->text(), QString());
}

void tst_Replace::buttonsNeedSomethingToFind()
{
    QList<QPushButton *> buttons = m_window->ReplaceDialog1->findChildren<QPushButton *>();
    m_window->ReplaceDialog1->setFindText(QString());
    int enabled = 0;
    for (QPushButton *b : buttons)
        enabled += b->isEnabled() ? 1 : 0;
    QCOMPARE(enabled, 1); // only Cancel
    m_window->ReplaceDialog1->setFindText(u"x"_s);
    enabled = 0;
    for (QPushButton *b : buttons)
        enabled += b->isEnabled() ? 1 : 0;
    QCOMPARE(enabled, 4);
    m_window->ReplaceDialog1->press(ReplaceDialog::ReplaceAll);
    QCOMPARE(m_window->ReplaceDialog1->options(), int(ReplaceDialog::ReplaceAll));
}

QTEST_MAIN(tst_Replace)
#include "tst_replace.moc"
