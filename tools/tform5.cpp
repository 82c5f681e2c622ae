#include "tform5.h"

#include "document/apperror.h"
#include "app/controls.h"
#include "app/messagebox.h"
#include "document/richedit.h"
#include "tools/fileassociation.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

TForm5::TForm5(RichEdit *editor, QWidget *parent)
    : QDialog(parent)
    , Label1(new QLabel(QString::fromUtf16(u"拡張子"), this))
    , Label2(new QLabel(QString::fromUtf16(u"プログラム"), this))
    , ComboBox1(new QComboBox(this))
    , ComboBox2(new QComboBox(this))
    , OKButton(new QPushButton(QStringLiteral("O   K"), this))
    , CAButton(new QPushButton(QString::fromUtf16(u"キャンセル"), this))
    , m_editor(editor)
{
    useDialogFrame(this);
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QString::fromUtf16(u"ファイルの関連付"));
    setModal(false);
    resize(342, 173);
    move(192, 114);
    setFont(pixelFont(u"ＭＳ Ｐゴシック", 12));

    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(16, 8);
    Label1->adjustSize();
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->move(184, 8);
    Label2->adjustSize();

    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(16, 40, 145, 20);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->addItems({ QStringLiteral("rtf"), QStringLiteral("txt") });
    ComboBox1->setCurrentIndex(0);

    ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
    ComboBox2->setGeometry(176, 40, 145, 20);
    ComboBox2->setEditable(true);
    ComboBox2->setInsertPolicy(QComboBox::NoInsert);
    ComboBox2->addItem(QStringLiteral("Pen77"));
    ComboBox2->setCurrentIndex(0);

    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setGeometry(16, 80, 75, 25);
    OKButton->setAutoDefault(false);
    CAButton->setObjectName(QStringLiteral("CAButton"));
    CAButton->setGeometry(176, 80, 75, 25);
    CAButton->setAutoDefault(false);

    connect(OKButton, &QPushButton::clicked, this, &TForm5::OKButtonClick);
    connect(CAButton, &QPushButton::clicked, this, &TForm5::CAButtonClick);
    setEnabled(false);
    FormCreate();
}

void TForm5::FormCreate()
{
}

void TForm5::OKButtonClick()
{
    const QString extension = ComboBox1->currentText();
    const QString program = ComboBox2->currentText();
    if (extension.isEmpty() || program.isEmpty())
        return;
    FileAssociation::Written written;
    try {
        // The folders as the environment names them now.
        FileAssociation association;
        written = association.associate(extension, program);
    } catch (const AppError &error) {
        // What was written stays; the caches are not told, and the dialog stays open.
        MessageBox::showAppError(this, error.text());
        return;
    }
    MessageBox::showPlain(this, QString::fromUtf16(FileAssociation::Done));
    FileAssociation::refresh(written);
    close();
}

void TForm5::CAButtonClick()
{
    close();
}

void TForm5::done(int result)
{
    QDialog::done(result);
    FormClose();
}

void TForm5::FormClose()
{
    m_editor->setFocus();
}
