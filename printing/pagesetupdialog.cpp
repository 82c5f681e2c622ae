#include "pagesetupdialog.h"

#include "document/documentmessages.h"
#include "printing/printmessages.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr double TwipsPerMm = 1440 / 25.4;

int twipsOf(double mm)
{
    return int(std::lround(mm * TwipsPerMm));
}

} // namespace

PageSetupDialog::PageSetupDialog(const PageSetup &setup, const QList<QPageSize> &papers, QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(Messages::text(Messages::PageSetupTitle));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    layout->addLayout(form);

    m_papers = new QComboBox(this);
    m_papers->setObjectName(QStringLiteral("paper"));
    const QPageSize current = setup.pageSize();
    for (const QPageSize &paper : papers)
        m_papers->addItem(paper.name(), QVariant::fromValue(paper));
    int match = -1;
    for (int i = 0; i < m_papers->count(); ++i) {
        if (m_papers->itemData(i).value<QPageSize>().isEquivalentTo(current))
            match = i;
    }
    if (match < 0) {
        m_papers->addItem(current.name(), QVariant::fromValue(current));
        match = m_papers->count() - 1;
    }
    m_papers->setCurrentIndex(match);
    form->addRow(Messages::text(Messages::PageSetupPaper), m_papers);

    auto *orientation = new QGroupBox(Messages::text(Messages::PageSetupOrientation), this);
    auto *ways = new QHBoxLayout(orientation);
    m_portrait = new QRadioButton(Messages::text(Messages::PageSetupPortrait), orientation);
    m_portrait->setObjectName(QStringLiteral("portrait"));
    m_landscape = new QRadioButton(Messages::text(Messages::PageSetupLandscape), orientation);
    m_landscape->setObjectName(QStringLiteral("landscape"));
    ways->addWidget(m_portrait);
    ways->addWidget(m_landscape);
    (setup.paperWidthTwips > setup.paperHeightTwips ? m_landscape : m_portrait)->setChecked(true);
    layout->addWidget(orientation);

    static const char *const names[4] = { "left", "right", "top", "bottom" };
    static const char16_t *const labels[4] = { Messages::PageSetupLeft, Messages::PageSetupRight, Messages::PageSetupTop,
                                               Messages::PageSetupBottom };
    const int values[4] = { setup.leftTwips, setup.rightTwips, setup.topTwips, setup.bottomTwips };
    auto *margins = new QFormLayout;
    for (int side = 0; side < 4; ++side) {
        auto *box = new QDoubleSpinBox(this);
        box->setObjectName(QString::fromLatin1(names[side]));
        box->setDecimals(1);
        box->setRange(0, 200);
        box->setSuffix(QStringLiteral(" mm"));
        box->setValue(std::round(values[side] / TwipsPerMm * 10) / 10);
        margins->addRow(Messages::text(labels[side]), box);
        m_margins[side] = box;
    }
    auto *marginGroup = new QGroupBox(Messages::text(Messages::PageSetupMargins), this);
    marginGroup->setLayout(margins);
    layout->addWidget(marginGroup);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

PageSetup PageSetupDialog::result() const
{
    PageSetup setup;
    const QSizeF points = m_papers->currentData().value<QPageSize>().size(QPageSize::Point);
    const int shortSide = int(std::lround(qMin(points.width(), points.height()) * 20));
    const int longSide = int(std::lround(qMax(points.width(), points.height()) * 20));
    setup.landscape = m_landscape->isChecked();
    setup.paperWidthTwips = setup.landscape ? longSide : shortSide;
    setup.paperHeightTwips = setup.landscape ? shortSide : longSide;
    setup.leftTwips = twipsOf(m_margins[0]->value());
    setup.rightTwips = twipsOf(m_margins[1]->value());
    setup.topTwips = twipsOf(m_margins[2]->value());
    setup.bottomTwips = twipsOf(m_margins[3]->value());
    setup.set = true;
    return setup.clamped();
}
