#pragma once

#include <QDialog>

#include "tools/japanesedates.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class RichEdit;

// The date dialog: pastes a run of consecutive dates, one a line, at the editor's caret, in the
// Japanese era calendar or the Western one. Modeless; made hidden and disabled with the program,
// and only shown and hidden afterwards.
class TForm4 : public QDialog {
    Q_OBJECT
public:
    // The list of the count box, in its order.
    static const QStringList DayCounts;

    TForm4(RichEdit *editor, QWidget *parent = nullptr);

    QDateEdit *DateTimePicker1;
    QPushButton *Button1;
    QPushButton *Button2;
    QComboBox *ComboBox1;
    QLabel *Label1;

    // Today in the picker, in its display format; at creation and at every opening.
    void FormCreate();
    void Button1Click();
    void Button2Click();

    // Every close (the paste buttons, the close box, Esc) hides the dialog and puts the
    // editor's caret at the end of the document.
    void done(int result) override;

private:
    void paste(JapaneseDates::Calendar calendar);
    void FormClose();

    RichEdit *m_editor;
};
