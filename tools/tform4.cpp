#include "tform4.h"

#include "app/controls.h"
#include "app/messagebox.h"
#include "app/messages.h"
#include "document/richedit.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace JapaneseDates;

const QStringList TForm4::DayCounts { QStringLiteral("1"),   QStringLiteral("7"),   QStringLiteral("14"),
                                      QStringLiteral("21"),  QStringLiteral("28"),  QStringLiteral("29"),
                                      QStringLiteral("30"),  QStringLiteral("31"),  QStringLiteral("60"),
                                      QStringLiteral("90"),  QStringLiteral("120"), QStringLiteral("150"),
                                      QStringLiteral("180"), QStringLiteral("210"), QStringLiteral("240"),
                                      QStringLiteral("270"), QStringLiteral("300"), QStringLiteral("330"),
                                      QStringLiteral("365"), QStringLiteral("366") };

TForm4::TForm4(RichEdit *editor, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint)
    , DateTimePicker1(new QDateEdit(this))
    , Button1(new QPushButton(QString::fromUtf16(u"和暦で貼付"), this))
    , Button2(new QPushButton(QString::fromUtf16(u"西暦で貼付"), this))
    , ComboBox1(new QComboBox(this))
    , Label1(new QLabel(QString::fromUtf16(u"日分貼付"), this))
    , m_editor(editor)
{
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral(" Penloft"));
    setModal(false);
    setFixedSize(188, 126);
    move(452, 110);
    setFont(pixelFont(u"ＭＳ Ｐゴシック", 12));

    DateTimePicker1->setObjectName(QStringLiteral("DateTimePicker1"));
    DateTimePicker1->setGeometry(0, 8, 186, 20);
    DateTimePicker1->setCalendarPopup(true);
    DateTimePicker1->setLocale(QLocale(QLocale::Japanese, QLocale::Japan));
    DateTimePicker1->setDateRange(QDate(1, 1, 1), lastDate());
    DateTimePicker1->setFocusPolicy(Qt::ClickFocus); // not reached with Tab
    DateTimePicker1->setAccessibleName(QString::fromUtf16(Messages::FirstDateName));
    if (auto *dateText = DateTimePicker1->findChild<QLineEdit *>())
        dateText->setAccessibleName(QString::fromUtf16(Messages::FirstDateName));

    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(8, 40, 75, 25);
    Button1->setAutoDefault(false);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(104, 40, 75, 25);
    Button2->setAutoDefault(false);

    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(8, 80, 50, 20);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->addItems(DayCounts);
    ComboBox1->setCurrentText(QStringLiteral("1"));
    // The count is taken exactly as typed: "2" must not become the list's "21".
    ComboBox1->setCompleter(nullptr);
    // Numbers only: no input method in the count box.
    disableInputMethod(ComboBox1);

    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(60, 84);
    Label1->adjustSize();
    // The count box is read by its label, as is the box a user types into inside it.
    Label1->setBuddy(ComboBox1);
    ComboBox1->lineEdit()->setAccessibleName(Label1->text());

    connect(Button1, &QPushButton::clicked, this, &TForm4::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm4::Button2Click);
    setEnabled(false);
    FormCreate();
}

void TForm4::FormCreate()
{
    DateTimePicker1->setDateTime(QDateTime::currentDateTime());
    DateTimePicker1->setDisplayFormat(QString::fromUtf16(u"yyyy年MM月dd日  [dddd]"));
}

void TForm4::Button1Click()
{
    paste(Calendar::Era);
}

void TForm4::Button2Click()
{
    paste(Calendar::Western);
}

void TForm4::paste(Calendar calendar)
{
    const QString entered = ComboBox1->currentText();
    const std::optional<int> count = toInteger(entered);
    if (!count) {
        MessageBox::showAppError(this, Messages::notAnInteger(entered));
        return;
    }
    if (*count <= 0) {
        MessageBox::showPlain(this, Messages::text(Messages::CountBelowOne));
        close();
        return;
    }
    // A run the picker could not show, or too long to be meant, is refused; the dialog stays
    // open for another count.
    if (*count > MaximumCount) {
        MessageBox::showPlain(this, Messages::tooManyDates(MaximumCount));
        return;
    }
    const QDate first = DateTimePicker1->date();
    if (first.daysTo(lastDate()) < *count - 1) {
        MessageBox::showPlain(this, Messages::text(Messages::PastLastDate));
        return;
    }
    // All lines as one edit: the first replaces the selection, the others follow it in order.
    m_editor->replaceSelection(lines(first, *count, calendar), RichEdit::UndoMode::CannotUndo);
    close();
}

void TForm4::done(int result)
{
    QDialog::done(result);
    FormClose();
}

void TForm4::FormClose()
{
    const qint64 end = m_editor->textLength();
    m_editor->setSelection(end, end);
    m_editor->scrollCaret();
    m_editor->setFocus();
}
