#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richdocument.h"
#include "document/richedit.h"
#include "tools/japanesedates.h"
#include "tools/tform4.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace JapaneseDates;

class tst_DateDialog : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void openingSetsTodayAndKeepsTheCount();
    void oneDateReplacesTheSelection();
    void sevenDaysFromTheEndOfAMonth();
    void zeroAndNegativeCountsClose();
    void lettersKeepTheDialogOpen();
    void runsPastTheLastDateOrTooLongAreRefused();
    void everyCloseMovesTheCaretToTheEnd();
    void typedCountsAreTakenAsTyped_data();
    void typedCountsAreTakenAsTyped();

private:
    void paste(QPushButton *button, const QString &count, QDate first);

    TPenForm1 *m_window = nullptr;
    QList<MessageBox::Request> m_boxes;
};

void tst_DateDialog::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    m_boxes.clear();
    MessageBox::setSink([this](QWidget *, const MessageBox::Request &r) {
        m_boxes << r;
        return QMessageBox::Ok;
    });
    m_window = new TPenForm1;
    m_window->createToolForms();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_DateDialog::cleanup()
{
    delete m_window;
    m_window = nullptr;
    MessageBox::setSink({});
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_DateDialog::paste(QPushButton *button, const QString &count, QDate first)
{
    m_window->Button3->click();
    TForm4 *form = m_window->Form4;
    form->ComboBox1->setCurrentText(count);
    form->DateTimePicker1->setDate(first);
    button->click();
}

void tst_DateDialog::openingSetsTodayAndKeepsTheCount()
{
    TForm4 *form = m_window->Form4;
    QVERIFY(!form->isVisible());
    QVERIFY(!form->isEnabled());
    QCOMPARE(form->ComboBox1->count(), 20);
    QCOMPARE(form->ComboBox1->currentText(), u"1"_s);
    m_window->Button3->click();
    QVERIFY(form->isVisible() && form->isEnabled());
    QCOMPARE(form->DateTimePicker1->date(), QDate::currentDate());
    QCOMPARE(form->DateTimePicker1->displayFormat(), u"yyyy年MM月dd日  [dddd]"_s);
    QVERIFY(form->DateTimePicker1->text().endsWith(u'[' + weekdayName(QDate::currentDate()) + u']'));
    form->DateTimePicker1->setDate(QDate(2001, 1, 1));
    form->ComboBox1->setCurrentText(u"45"_s);
    form->close();
    m_window->Button3->click();
    QCOMPARE(form->DateTimePicker1->date(), QDate::currentDate());
    QCOMPARE(form->ComboBox1->currentText(), u"45"_s);
    // Opening it again while it is open resets the date too.
    form->DateTimePicker1->setDate(QDate(2001, 1, 1));
    m_window->Button3->click();
    QCOMPARE(form->DateTimePicker1->date(), QDate::currentDate());
}

void tst_DateDialog::oneDateReplacesTheSelection()
{
    m_window->RichEdit1->replaceSelection(u"前置き後書き"_s);
    m_window->RichEdit1->setSelection(6, 6 + 4); // "後書"
    paste(m_window->Form4->Button1, u"1"_s, QDate(2026, 12, 8));
    QCOMPARE(m_window->RichEdit1->richDocument().plainText(), u"前置き令和8年12月8日[火曜日]\r\nき"_s);
    QVERIFY(!m_window->Form4->isVisible());
    QVERIFY(m_boxes.isEmpty());
}

void tst_DateDialog::sevenDaysFromTheEndOfAMonth()
{
    paste(m_window->Form4->Button2, u"7"_s, QDate(2026, 1, 29));
    QCOMPARE(m_window->RichEdit1->richDocument().plainText(),
             u"2026年1月29日[木曜日]\r\n2026年1月30日[金曜日]\r\n2026年1月31日[土曜日]\r\n2026年2月1日[日曜日]\r\n"
             u"2026年2月2日[月曜日]\r\n2026年2月3日[火曜日]\r\n2026年2月4日[水曜日]\r\n"_s);
    // Bytes: each line ends in CR LF.
    QVERIFY(m_window->RichEdit1->textBytes().endsWith("\r\n"));
}

void tst_DateDialog::zeroAndNegativeCountsClose()
{
    for (const QString &count : { u"0"_s, u"-5"_s }) {
        m_boxes.clear();
        paste(m_window->Form4->Button1, count, QDate(2026, 12, 8));
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes.first().text, u"１以上の数字を入れて下さい！"_s);
        QCOMPARE(m_boxes.first().caption, u"Penloft"_s);
        QCOMPARE(m_boxes.first().icon, QMessageBox::NoIcon);
        QVERIFY(!m_window->Form4->isVisible());
        QCOMPARE(m_window->RichEdit1->textLength(), 0);
    }
}

void tst_DateDialog::lettersKeepTheDialogOpen()
{
    paste(m_window->Form4->Button2, u"abc"_s, QDate(2026, 12, 8));
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().icon, QMessageBox::Critical);
    QCOMPARE(m_boxes.first().text, u"'abc' は整数ではありません."_s);
    QVERIFY(m_window->Form4->isVisible());
    QCOMPARE(m_window->RichEdit1->textLength(), 0);
}

void tst_DateDialog::runsPastTheLastDateOrTooLongAreRefused()
{
    paste(m_window->Form4->Button2, u"3"_s, QDate(9999, 12, 30));
    QCOMPARE(m_boxes.size(), 1);
    QVERIFY(m_boxes.last().text.contains(u"9999年12月31日"_s));
    QVERIFY(m_window->Form4->isVisible());
    QCOMPARE(m_window->RichEdit1->textLength(), 0);
    // Exactly up to the last day is fine.
    paste(m_window->Form4->Button2, u"2"_s, QDate(9999, 12, 30));
    QCOMPARE(m_boxes.size(), 1);
    QVERIFY(m_window->RichEdit1->richDocument().plainText().endsWith(u"9999年12月31日[金曜日]\r\n"_s));

    m_window->RichEdit1->selectAll();
    m_window->RichEdit1->deleteSelection();
    paste(m_window->Form4->Button1, QString::number(MaximumCount + 1), QDate(1900, 1, 1));
    QCOMPARE(m_boxes.size(), 2);
    QVERIFY(m_boxes.last().text.contains(QString::number(MaximumCount)));
    QCOMPARE(m_window->RichEdit1->textLength(), 0);
    paste(m_window->Form4->Button1, u"2147483647"_s, QDate(1900, 1, 1));
    QCOMPARE(m_boxes.size(), 3);
    QCOMPARE(m_window->RichEdit1->textLength(), 0);

    // The largest run goes in as one edit.
    paste(m_window->Form4->Button1, QString::number(MaximumCount), QDate(1900, 1, 1));
    QCOMPARE(m_boxes.size(), 3);
    QCOMPARE(m_window->RichEdit1->lineCount(), MaximumCount + 1);
    QVERIFY(m_window->RichEdit1->richDocument().plainText().startsWith(u"明治33年1月1日[月曜日]\r\n"_s));
}

void tst_DateDialog::everyCloseMovesTheCaretToTheEnd()
{
    m_window->RichEdit1->replaceSelection(u"一行目\r\n二行目"_s);
    const qint64 end = m_window->RichEdit1->textLength();
    // Dates pasted in the middle: the caret still goes to the very end.
    m_window->RichEdit1->setSelection(0, 0);
    paste(m_window->Form4->Button2, u"2"_s, QDate(2026, 12, 8));
    QCOMPARE(m_window->RichEdit1->selection().start, m_window->RichEdit1->textLength());
    QVERIFY(m_window->RichEdit1->textLength() > end);
    QVERIFY(m_window->RichEdit1->richDocument().plainText().startsWith(u"2026年12月8日"_s));
    // The close box, and Esc.
    m_window->RichEdit1->setSelection(0, 0);
    m_window->Button3->click();
    m_window->Form4->close();
    QCOMPARE(m_window->RichEdit1->selection().start, m_window->RichEdit1->textLength());
    QVERIFY(m_window->RichEdit1->hasFocus() || !QApplication::focusWindow());
    m_window->RichEdit1->setSelection(0, 0);
    m_window->Button3->click();
    QTest::keyClick(m_window->Form4, Qt::Key_Escape);
    QVERIFY(!m_window->Form4->isVisible());
    QCOMPARE(m_window->RichEdit1->selection().start, m_window->RichEdit1->textLength());
}

void tst_DateDialog::typedCountsAreTakenAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("lines");
    // Each is the start of a longer count in the list (21, 30, 60, 120).
    QTest::newRow("2") << u"2"_s << 2;
    QTest::newRow("3") << u"3"_s << 3;
    QTest::newRow("6") << u"6"_s << 6;
    QTest::newRow("12") << u"12"_s << 12;
}

void tst_DateDialog::typedCountsAreTakenAsTyped()
{
    QFETCH(QString, typed);
    QFETCH(int, lines);
    m_window->Button3->click();
    TForm4 *form = m_window->Form4;
    QLineEdit *box = form->ComboBox1->lineEdit();
    QApplication::setActiveWindow(form);
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, typed);
    QCOMPARE(form->ComboBox1->currentText(), typed);
    QTest::mouseClick(form->Button2, Qt::LeftButton);
    QCOMPARE(m_window->RichEdit1->toPlainText().count(u'\n'), lines);
}

QTEST_MAIN(tst_DateDialog)
#include "tst_datedialog.moc"
