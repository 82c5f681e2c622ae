#pragma once

#include "document/textformats.h"

#include <QDialog>

#include <optional>

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

    // The font shown, as a character format with every field but the size, and the size when
    // the user chose one (sizes in twips). Sizes are whole points: the box shows the preset's
    // size as the size box does (twips / 20), and a size typed with a fraction is rounded to the
    // nearest point. Without a size chosen, `sizeTwips` is the preset's and the mask leaves it
    // out, so that text keeps its own sizes (half points read from a file among them).
    CharFormat font() const;
    void setFont(const CharFormat &format);

signals:
    void applied(const CharFormat &format);

private:
    void updateSample();
    // The size in the box in whole points, or nothing when it holds no number.
    std::optional<int> shownPoints() const;

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
    bool m_settingFont = false;
    bool m_sizeChosen = false; // by the user, since the last setFont
};
