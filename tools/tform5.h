#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class RichEdit;

// The file association dialog: makes a program the desktop's default for the files with an
// extension (see FileAssociation). Modeless; made hidden and disabled with the program, and only
// shown and hidden afterwards.
class TForm5 : public QDialog {
    Q_OBJECT
public:
    TForm5(RichEdit *editor, QWidget *parent = nullptr);

    QLabel *Label1;
    QLabel *Label2;
    QComboBox *ComboBox1; // the extension, without its dot
    QComboBox *ComboBox2; // the program
    QPushButton *OKButton;
    QPushButton *CAButton;

    // At creation and at every opening; there is nothing to prepare.
    void FormCreate();
    // Associates, says so and closes; on a failure shows the error and stays open. Does nothing
    // while either box is empty.
    void OKButtonClick();
    void CAButtonClick();

    // Every close (OK, Cancel, the close box, Esc) hides the dialog and gives the editor the
    // keyboard focus.
    void done(int result) override;

private:
    void FormClose();

    RichEdit *m_editor;
};
