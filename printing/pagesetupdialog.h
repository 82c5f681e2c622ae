#pragma once

#include "document/pagesetup.h"

#include <QDialog>
#include <QList>

class QComboBox;
class QDoubleSpinBox;
class QRadioButton;

// The page setup: the paper (the sizes the chosen printer offers, or the common ones when no
// printer is chosen: A4 first, as for PDF), which way up, and the four margins in millimetres.
// OK keeps the choice (result()), キャンセル nothing.
class PageSetupDialog : public QDialog {
    Q_OBJECT
public:
    PageSetupDialog(const PageSetup &setup, const QList<QPageSize> &papers, QWidget *parent = nullptr);

    // The setup shown, set and clamped.
    PageSetup result() const;

    QComboBox *paperBox() const { return m_papers; }
    QRadioButton *portraitButton() const { return m_portrait; }
    QRadioButton *landscapeButton() const { return m_landscape; }
    // Left, right, top, bottom.
    QDoubleSpinBox *marginBox(int side) const { return m_margins[side]; }

private:
    QComboBox *m_papers;
    QRadioButton *m_portrait;
    QRadioButton *m_landscape;
    QDoubleSpinBox *m_margins[4];
};
