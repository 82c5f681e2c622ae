#include "fontdialog.h"

#include "app/controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>

namespace {

struct NamedColor {
    const char16_t *name;
    QRgb rgb;
};

// The basic colours, in the order colour choosers list them.
constexpr NamedColor BasicColors[] = {
    { u"黒", 0x000000 },   { u"茶", 0x800000 },     { u"緑", 0x008000 },   { u"オリーブ", 0x808000 },
    { u"紺", 0x000080 },   { u"紫", 0x800080 },     { u"青緑", 0x008080 }, { u"灰色", 0x808080 },
    { u"銀色", 0xC0C0C0 }, { u"赤", 0xFF0000 },     { u"黄緑", 0x00FF00 }, { u"黄", 0xFFFF00 },
    { u"青", 0x0000FF },   { u"赤紫", 0xFF00FF },   { u"水色", 0x00FFFF }, { u"白", 0xFFFFFF },
};

struct NamedCharSet {
    const char16_t *name;
    int value;
};

constexpr NamedCharSet CharSets[] = {
    { u"日本語", 128 }, { u"欧文", 0 }, { u"シンボル", 2 }, { u"既定", 1 }, { u"中国語 (簡体字)", 134 },
    { u"中国語 (繁体字)", 136 }, { u"ハングル", 129 }, { u"中欧", 238 }, { u"キリル", 204 }, { u"ギリシャ", 161 },
};

const int Sizes[] = { 8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72 };

QString styleName(bool bold, bool italic)
{
    if (bold && italic)
        return QString::fromUtf16(u"太字 斜体");
    if (bold)
        return QString::fromUtf16(u"太字");
    if (italic)
        return QString::fromUtf16(u"斜体");
    return QString::fromUtf16(u"標準");
}

// A label whose mnemonic takes the focus to the box it names.
QLabel *labelFor(const char16_t *text, QWidget *buddy)
{
    auto *label = new QLabel(QString::fromUtf16(text), buddy->parentWidget());
    label->setBuddy(buddy);
    return label;
}

// A small square of the colour, with a thin border so that white shows too.
QIcon swatch(const QColor &color)
{
    QPixmap square(14, 14);
    square.fill(color);
    QPainter painter(&square);
    painter.setPen(Qt::darkGray);
    painter.drawRect(square.rect().adjusted(0, 0, -1, -1));
    return QIcon(square);
}

} // namespace

FontDialog::FontDialog(const QStringList &families, QWidget *parent)
    : QDialog(parent)
    , m_familyEdit(new QLineEdit(this))
    , m_families(new QListWidget(this))
    , m_styles(new QListWidget(this))
    , m_sizeEdit(new QLineEdit(this))
    , m_sizes(new QListWidget(this))
    , m_strikeOut(new QCheckBox(QString::fromUtf16(u"取り消し線(&K)"), this))
    , m_underline(new QCheckBox(QString::fromUtf16(u"下線(&U)"), this))
    , m_color(new QComboBox(this))
    , m_charSet(new QComboBox(this))
    , m_sample(new QLabel(QString::fromUtf16(u"Aaあぁアァ亜宇"), this))
{
    useDialogFrame(this);
    setWindowTitle(QString::fromUtf16(u"フォント"));
    m_families->addItems(families);
    for (bool bold : { false, true }) {
        for (bool italic : { false, true })
            m_styles->addItem(styleName(bold, italic));
    }
    for (int size : Sizes)
        m_sizes->addItem(QString::number(size));
    for (const NamedColor &c : BasicColors)
        m_color->addItem(swatch(QColor::fromRgb(c.rgb)), QString::fromUtf16(c.name), QColor::fromRgb(c.rgb));
    for (const NamedCharSet &c : CharSets)
        m_charSet->addItem(QString::fromUtf16(c.name), c.value);

    auto *grid = new QGridLayout;
    // Each label's Alt key takes the focus to its box.
    grid->addWidget(labelFor(u"フォント名(&F):", m_familyEdit), 0, 0);
    grid->addWidget(labelFor(u"スタイル(&Y):", m_styles), 0, 1);
    grid->addWidget(labelFor(u"サイズ(&S):", m_sizeEdit), 0, 2);
    grid->addWidget(m_familyEdit, 1, 0);
    grid->addWidget(m_styles, 1, 1, 2, 1);
    grid->addWidget(m_sizeEdit, 1, 2);
    grid->addWidget(m_families, 2, 0);
    grid->addWidget(m_sizes, 2, 2);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(2, 1);

    auto *effects = new QGroupBox(QString::fromUtf16(u"文字飾り"), this);
    auto *effectsLayout = new QVBoxLayout(effects);
    effectsLayout->addWidget(m_strikeOut);
    effectsLayout->addWidget(m_underline);
    effectsLayout->addWidget(labelFor(u"色(&C):", m_color));
    effectsLayout->addWidget(m_color);
    auto *sampleBox = new QGroupBox(QString::fromUtf16(u"サンプル"), this);
    auto *sampleLayout = new QVBoxLayout(sampleBox);
    m_sample->setAlignment(Qt::AlignCenter);
    m_sample->setMinimumHeight(60);
    // The sample stands on white, as the text will on paper, whatever the screen's colours.
    m_sample->setAutoFillBackground(true);
    setBackgroundColor(m_sample, Qt::white);
    sampleLayout->addWidget(m_sample);
    sampleLayout->addWidget(labelFor(u"文字セット(&R):", m_charSet));
    sampleLayout->addWidget(m_charSet);
    auto *lower = new QHBoxLayout;
    lower->addWidget(effects);
    lower->addWidget(sampleBox, 1);

    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QString::fromUtf16(u"キャンセル"), QDialogButtonBox::RejectRole);
    QPushButton *apply = buttons->addButton(QString::fromUtf16(u"適用(&A)"), QDialogButtonBox::ApplyRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(apply, &QPushButton::clicked, this, [this] { emit applied(font()); });

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(lower);
    layout->addWidget(buttons);

    connect(m_families, &QListWidget::currentTextChanged, this, [this](const QString &name) {
        if (!name.isEmpty() && m_familyEdit->text() != name)
            m_familyEdit->setText(name);
    });
    connect(m_familyEdit, &QLineEdit::textChanged, this, [this] { updateSample(); });
    connect(m_sizes, &QListWidget::currentTextChanged, this, [this](const QString &size) {
        if (!m_settingFont)
            m_sizeChosen = true;
        if (!size.isEmpty() && m_sizeEdit->text() != size)
            m_sizeEdit->setText(size);
    });
    connect(m_sizeEdit, &QLineEdit::textEdited, this, [this] { m_sizeChosen = true; });
    connect(m_sizeEdit, &QLineEdit::editingFinished, this, [this] {
        // What is written: the whole number of points.
        if (const std::optional<int> points = shownPoints(); points && m_sizeEdit->text() != QString::number(*points))
            m_sizeEdit->setText(QString::number(*points));
    });
    connect(m_sizeEdit, &QLineEdit::textChanged, this, [this] { updateSample(); });
    connect(m_styles, &QListWidget::currentRowChanged, this, [this] { updateSample(); });
    connect(m_strikeOut, &QCheckBox::toggled, this, [this] { updateSample(); });
    connect(m_underline, &QCheckBox::toggled, this, [this] { updateSample(); });
    connect(m_color, &QComboBox::currentIndexChanged, this, [this] { updateSample(); });
    resize(460, 420);
}

CharFormat FontDialog::font() const
{
    CharFormat f = m_format;
    f.mask = CharFormat::AllFields & ~CharFormat::Size;
    f.faceName = m_familyEdit->text();
    if (const std::optional<int> points = shownPoints(); points && m_sizeChosen) {
        f.mask |= CharFormat::Size;
        f.sizeTwips = *points * TextFormats::TwipsPerPoint;
    }
    const int style = qMax(0, m_styles->currentRow());
    f.bold = style >= 2;
    f.italic = style % 2 == 1;
    f.underline = m_underline->isChecked();
    f.strikeOut = m_strikeOut->isChecked();
    // The colour as a colour; whether it is the automatic one is the writer's rule to apply.
    const QColor chosen = m_color->currentData().value<QColor>();
    if (chosen.isValid()) {
        f.color = chosen;
        f.autoColor = false;
    }
    f.charSet = m_charSet->currentData().toInt();
    return f;
}

std::optional<int> FontDialog::shownPoints() const
{
    bool ok = false;
    const double points = m_sizeEdit->text().trimmed().toDouble(&ok);
    if (!ok || !(points >= 0))
        return std::nullopt;
    // Held to the largest size a format holds before it is rounded to whole points.
    return qRound(qMin(points, double(TextFormats::MaxSizeTwips / TextFormats::TwipsPerPoint)));
}

void FontDialog::setFont(const CharFormat &format)
{
    const QScopedValueRollback<bool> setting(m_settingFont, true);
    m_format = format;
    m_sizeChosen = false;
    m_familyEdit->setText(format.faceName);
    const QList<QListWidgetItem *> found = m_families->findItems(format.faceName, Qt::MatchFixedString);
    if (!found.isEmpty())
        m_families->setCurrentItem(found.first());
    m_styles->setCurrentRow((format.bold ? 2 : 0) + (format.italic ? 1 : 0));
    // As the size box shows it: 10.5 points (a half-point size from a file) show as 10.
    const QString points = QString::number(format.sizeTwips / TextFormats::TwipsPerPoint);
    m_sizeEdit->setText(points);
    const QList<QListWidgetItem *> sizes = m_sizes->findItems(points, Qt::MatchExactly);
    m_sizes->setCurrentItem(sizes.value(0));
    m_underline->setChecked(format.underline);
    m_strikeOut->setChecked(format.strikeOut);
    int colorIndex = m_color->findData(format.color);
    if (colorIndex < 0) {
        // A colour outside the basic ones is offered as it is.
        m_color->addItem(swatch(format.color), format.color.name(), format.color);
        colorIndex = m_color->count() - 1;
    }
    m_color->setCurrentIndex(colorIndex);
    int charSetIndex = m_charSet->findData(format.charSet);
    if (charSetIndex < 0) {
        m_charSet->addItem(QString::number(format.charSet), format.charSet);
        charSetIndex = m_charSet->count() - 1;
    }
    m_charSet->setCurrentIndex(charSetIndex);
    updateSample();
}

void FontDialog::updateSample()
{
    const CharFormat f = font();
    QFont sample = TextFormats::displayFont(f);
    sample.setPointSizeF(qBound(1.0, f.sizeTwips / double(TextFormats::TwipsPerPoint), 36.0));
    m_sample->setFont(sample);
    setTextColor(m_sample, f.autoColor ? QColor(Qt::black) : f.color);
}
