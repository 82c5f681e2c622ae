#include "replacedialog.h"
#include "app/controls.h"

#include "document/sjistext.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>
#include <QVBoxLayout>

namespace {

// Refuses an entry longer than the limit, typed or pasted, rather than cut it.
class ByteLimit : public QValidator {
public:
    explicit ByteLimit(QObject *parent)
        : QValidator(parent)
    {
    }
    State validate(QString &input, int &) const override
    {
        return SjisText::measure(input).bytes <= ReplaceDialog::MaxTextBytes ? Acceptable : Invalid;
    }
};

QLineEdit *textBox(QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setValidator(new ByteLimit(box));
    box->setMinimumWidth(220);
    return box;
}

} // namespace

ReplaceDialog::ReplaceDialog(QWidget *parent)
    : QDialog(parent)
    , m_find(textBox(this))
    , m_replace(textBox(this))
    , m_findNext(new QPushButton(QString::fromUtf16(u"次を検索(&F)"), this))
    , m_replaceNext(new QPushButton(QString::fromUtf16(u"置換して次に(&R)"), this))
    , m_replaceAll(new QPushButton(QString::fromUtf16(u"すべて置換(&A)"), this))
{
    useDialogFrame(this);
    setWindowTitle(QString::fromUtf16(u"置換"));
    setModal(false);
    auto *cancel = new QPushButton(QString::fromUtf16(u"キャンセル"), this);
    auto *findLabel = new QLabel(QString::fromUtf16(u"検索する文字列(&N):"), this);
    auto *replaceLabel = new QLabel(QString::fromUtf16(u"置換後の文字列(&P):"), this);
    findLabel->setBuddy(m_find);
    replaceLabel->setBuddy(m_replace);

    auto *grid = new QGridLayout;
    grid->addWidget(findLabel, 0, 0);
    grid->addWidget(m_find, 0, 1);
    grid->addWidget(replaceLabel, 1, 0);
    grid->addWidget(m_replace, 1, 1);
    auto *buttons = new QVBoxLayout;
    for (QPushButton *b : { m_findNext, m_replaceNext, m_replaceAll, cancel })
        buttons->addWidget(b);
    buttons->addStretch();
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(grid, 1);
    layout->addLayout(buttons);

    // Enter runs Find Next; Esc (and Cancel) closes.
    m_findNext->setDefault(true);
    connect(m_findNext, &QPushButton::clicked, this, [this] { press(FindNext); });
    connect(m_replaceNext, &QPushButton::clicked, this, [this] { press(Replace); });
    connect(m_replaceAll, &QPushButton::clicked, this, [this] { press(ReplaceAll); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_find, &QLineEdit::textChanged, this, &ReplaceDialog::updateButtons);
    updateButtons();
}

QString ReplaceDialog::findText() const
{
    return m_find->text();
}

QString ReplaceDialog::replaceText() const
{
    return m_replace->text();
}

void ReplaceDialog::setFindText(const QString &text)
{
    m_find->setText(text);
}

void ReplaceDialog::setReplaceText(const QString &text)
{
    m_replace->setText(text);
}

void ReplaceDialog::updateButtons()
{
    // The handlers never see an empty find text.
    const bool any = !m_find->text().isEmpty();
    for (QPushButton *b : { m_findNext, m_replaceNext, m_replaceAll })
        b->setEnabled(any);
}

void ReplaceDialog::placeAt(const QPoint &point)
{
    if (isVisible() && m_placed && point == m_placedAt)
        return;
    m_placedAt = point;
    m_placed = true;
    move(point);
}

void ReplaceDialog::press(Option option)
{
    if (m_find->text().isEmpty())
        return;
    // The option set is rebuilt at every press: exactly one of the three.
    m_options = option;
    if (option == FindNext)
        emit find();
    else
        emit replace();
}
