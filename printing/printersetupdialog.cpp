#include "printersetupdialog.h"
#include "app/controls.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QString stateText(QPrinter::PrinterState state)
{
    switch (state) {
    case QPrinter::Idle:
        return QString::fromUtf16(u"準備完了");
    case QPrinter::Active:
        return QString::fromUtf16(u"印刷中");
    case QPrinter::Aborted:
        return QString::fromUtf16(u"停止");
    case QPrinter::Error:
        return QString::fromUtf16(u"エラー");
    }
    return {};
}

void setStandardButtons(QDialogButtonBox *buttons)
{
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QString::fromUtf16(u"キャンセル"));
}

} // namespace

PrinterSetupDialog::PrinterSetupDialog(QPrinter &printer, QWidget *parent)
    : QDialog(parent)
    , m_printer(printer)
    , m_printers(new QComboBox(this))
    , m_state(new QLabel(this))
    , m_model(new QLabel(this))
    , m_location(new QLabel(this))
    , m_comment(new QLabel(this))
    , m_properties(new QPushButton(QString::fromUtf16(u"プロパティ(&P)..."), this))
    , m_papers(new QComboBox(this))
    , m_portrait(new QRadioButton(QString::fromUtf16(u"縦(&O)"), this))
    , m_landscape(new QRadioButton(QString::fromUtf16(u"横(&A)"), this))
{
    useDialogFrame(this);
    setObjectName(QStringLiteral("PrinterSetupDialog1"));
    setWindowTitle(QString::fromUtf16(u"プリンタの設定"));
    m_printers->setObjectName(QStringLiteral("PrinterName"));
    m_papers->setObjectName(QStringLiteral("PaperSize"));
    m_properties->setObjectName(QStringLiteral("Properties"));

    auto *printerGroup = new QGroupBox(QString::fromUtf16(u"プリンタ"), this);
    auto *printerForm = new QFormLayout(printerGroup);
    auto *nameRow = new QHBoxLayout;
    nameRow->addWidget(m_printers, 1);
    nameRow->addWidget(m_properties);
    auto *nameLabel = new QLabel(QString::fromUtf16(u"プリンタ名(&N):"), printerGroup);
    nameLabel->setBuddy(m_printers);
    printerForm->addRow(nameLabel, nameRow);
    printerForm->addRow(QString::fromUtf16(u"状態:"), m_state);
    printerForm->addRow(QString::fromUtf16(u"種類:"), m_model);
    printerForm->addRow(QString::fromUtf16(u"場所:"), m_location);
    printerForm->addRow(QString::fromUtf16(u"コメント:"), m_comment);

    auto *paperGroup = new QGroupBox(QString::fromUtf16(u"用紙"), this);
    auto *paperForm = new QFormLayout(paperGroup);
    auto *sizeLabel = new QLabel(QString::fromUtf16(u"サイズ(&Z):"), paperGroup);
    sizeLabel->setBuddy(m_papers);
    paperForm->addRow(sizeLabel, m_papers);

    auto *orientationGroup = new QGroupBox(QString::fromUtf16(u"印刷の向き"), this);
    auto *orientationColumn = new QVBoxLayout(orientationGroup);
    orientationColumn->addWidget(m_portrait);
    orientationColumn->addWidget(m_landscape);
    auto *orientation = new QButtonGroup(this);
    orientation->addButton(m_portrait);
    orientation->addButton(m_landscape);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    setStandardButtons(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *lower = new QHBoxLayout;
    lower->addWidget(paperGroup, 1);
    lower->addWidget(orientationGroup);
    auto *column = new QVBoxLayout(this);
    column->setSizeConstraint(QLayout::SetFixedSize);
    column->addWidget(printerGroup);
    column->addLayout(lower);
    column->addWidget(buttons);

    m_printers->addItems(QPrinterInfo::availablePrinterNames());
    const QString current = printer.outputFormat() == QPrinter::NativeFormat ? printer.printerName() : QString();
    const int shown = m_printers->findText(current.isEmpty() ? QPrinterInfo::defaultPrinterName() : current);
    m_paper = printer.pageLayout().pageSize();
    m_chosen.duplex = printer.duplex();
    m_chosen.color = printer.colorMode();
    m_chosen.resolution = printer.resolution();
    (printer.pageLayout().orientation() == QPageLayout::Landscape ? m_landscape : m_portrait)->setChecked(true);
    m_printers->setCurrentIndex(qMax(0, shown));
    showPrinter(m_printers->currentText());
    connect(m_printers, &QComboBox::currentTextChanged, this, &PrinterSetupDialog::showPrinter);
    connect(m_papers, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            m_paper = m_papers->itemData(index).value<QPageSize>();
    });
    connect(m_properties, &QPushButton::clicked, this, &PrinterSetupDialog::editProperties);
}

void PrinterSetupDialog::showPrinter(const QString &name)
{
    const QPrinterInfo info = QPrinterInfo::printerInfo(name);
    m_state->setText(info.isNull() ? QString() : stateText(info.state()));
    m_model->setText(info.makeAndModel());
    m_location->setText(info.location());
    m_comment->setText(info.description());

    // The papers this printer takes; the one chosen stays when it has it, else its default.
    QList<QPageSize> papers = info.supportedPageSizes();
    if (papers.isEmpty())
        papers = { QPageSize(QPageSize::A4), QPageSize(QPageSize::B5), QPageSize(QPageSize::A3), QPageSize(QPageSize::Letter) };
    m_papers->blockSignals(true);
    m_papers->clear();
    int match = -1;
    for (const QPageSize &paper : std::as_const(papers)) {
        if (match < 0 && paper.isEquivalentTo(m_paper))
            match = m_papers->count();
        m_papers->addItem(paper.name(), QVariant::fromValue(paper));
    }
    if (match < 0)
        match = qMax(0, m_papers->findText(info.defaultPageSize().name()));
    m_papers->setCurrentIndex(match);
    m_papers->blockSignals(false);
    if (match >= 0 && match < m_papers->count())
        m_paper = m_papers->itemData(match).value<QPageSize>();

    // Properties: what the printer offers more than one way of. The choice made so far stays
    // where the printer offers it too.
    const QList<QPrinter::DuplexMode> sides = info.supportedDuplexModes();
    const QList<QPrinter::ColorMode> colors = info.supportedColorModes();
    const QList<int> resolutions = info.supportedResolutions();
    if (!sides.contains(m_chosen.duplex))
        m_chosen.duplex = info.defaultDuplexMode();
    if (!colors.contains(m_chosen.color))
        m_chosen.color = info.defaultColorMode();
    if (!resolutions.isEmpty() && !resolutions.contains(m_chosen.resolution))
        m_chosen.resolution = 0;
    m_properties->setEnabled(sides.size() > 1 || colors.size() > 1 || resolutions.size() > 1);
}

void PrinterSetupDialog::editProperties()
{
    const QPrinterInfo info = QPrinterInfo::printerInfo(m_printers->currentText());
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("PrinterProperties"));
    dialog.setWindowTitle(m_printers->currentText() + QString::fromUtf16(u" のプロパティ"));
    // Wide enough for its title, which names the printer, in the title bar.
    dialog.setMinimumWidth(qMax(320, dialog.fontMetrics().horizontalAdvance(dialog.windowTitle()) + 160));
    auto *form = new QFormLayout(&dialog);

    QComboBox *sides = nullptr;
    if (info.supportedDuplexModes().size() > 1) {
        sides = new QComboBox(&dialog);
        sides->setObjectName(QStringLiteral("Duplex"));
        const std::pair<QPrinter::DuplexMode, const char16_t *> names[] = {
            { QPrinter::DuplexNone, u"片面" },
            { QPrinter::DuplexLongSide, u"両面 (長辺とじ)" },
            { QPrinter::DuplexShortSide, u"両面 (短辺とじ)" },
            { QPrinter::DuplexAuto, u"両面 (自動)" },
        };
        for (const auto &[mode, name] : names) {
            if (info.supportedDuplexModes().contains(mode))
                sides->addItem(QString::fromUtf16(name), int(mode));
        }
        sides->setCurrentIndex(qMax(0, sides->findData(int(m_chosen.duplex))));
        form->addRow(QString::fromUtf16(u"両面印刷:"), sides);
    }
    QComboBox *color = nullptr;
    if (info.supportedColorModes().size() > 1) {
        color = new QComboBox(&dialog);
        color->setObjectName(QStringLiteral("ColorMode"));
        color->addItem(QString::fromUtf16(u"カラー"), int(QPrinter::Color));
        color->addItem(QString::fromUtf16(u"モノクロ"), int(QPrinter::GrayScale));
        color->setCurrentIndex(qMax(0, color->findData(int(m_chosen.color))));
        form->addRow(QString::fromUtf16(u"色:"), color);
    }
    QComboBox *resolution = nullptr;
    if (info.supportedResolutions().size() > 1) {
        resolution = new QComboBox(&dialog);
        resolution->setObjectName(QStringLiteral("Resolution"));
        for (int dpi : info.supportedResolutions())
            resolution->addItem(QStringLiteral("%1 dpi").arg(dpi), dpi);
        resolution->setCurrentIndex(qMax(0, resolution->findData(m_chosen.resolution)));
        form->addRow(QString::fromUtf16(u"解像度:"), resolution);
    }
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    setStandardButtons(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return;
    if (sides)
        m_chosen.duplex = static_cast<QPrinter::DuplexMode>(sides->currentData().toInt());
    if (color)
        m_chosen.color = static_cast<QPrinter::ColorMode>(color->currentData().toInt());
    if (resolution)
        m_chosen.resolution = resolution->currentData().toInt();
}

void PrinterSetupDialog::applyTo(QPrinter &printer) const
{
    const QString name = m_printers->currentText();
    if (!name.isEmpty()) {
        printer.setOutputFileName(QString());
        printer.setPrinterName(name);
    }
    printer.setPageSize(m_paper);
    printer.setPageOrientation(m_landscape->isChecked() ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setDuplex(m_chosen.duplex);
    printer.setColorMode(m_chosen.color);
    if (m_chosen.resolution > 0)
        printer.setResolution(m_chosen.resolution);
}

void PrinterSetupDialog::accept()
{
    applyTo(m_printer);
    QDialog::accept();
}
