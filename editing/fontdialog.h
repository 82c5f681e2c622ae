#pragma once

#include "document/textformats.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;

// The font dialog: face, style and size, the effects (strikeout, underline, colour), the
// character set, a sample, and OK, キャンセル and 適用 (Apply). Apply leaves the dialog open and
// reports the current font; what Apply wrote stays even when the dialog is cancelled.
class FontDialog : public QDialog {
    Q_OBJECT
public:
    FontDialog(const QStringList &families, QWidget *parent = nullptr);

    // The font shown, as a complete character format (sizes in twips).
    CharFormat font() const;
    void setFont(const CharFormat &format);

signals:
    void applied(const CharFormat &format);

private:
    void updateSample();

    QLineEdit *m_familyEdit;
    QListWidget *m_families;
    QListWidget *m_styles;
    QLineEdit *m_sizeEdit;
    QListWidget *m_sizes;
    QCheckBox *m_strikeOut;
    QCheckBox *m_underline;
    QComboBox *m_color;
    QComboBox *m_charSet;
    QLabel *m_sample;
    CharFormat m_format;
};
