#pragma once

#include <QDialog>
#include <QPageSize>
#include <QPrinter>

class QButtonGroup;
class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

// The printer setup: which printer, which paper, which way up, and the printer's own
// properties where it has any; OK keeps the choice in the printer given, キャンセル leaves it
// as it was. It prints nothing.
class PrinterSetupDialog : public QDialog {
    Q_OBJECT
public:
    // `printer` is shown as it is set now; the printers listed are the system's at this moment.
    explicit PrinterSetupDialog(QPrinter &printer, QWidget *parent = nullptr);

    // The choice shown, applied to the printer (what OK does).
    void applyTo(QPrinter &printer) const;

    QComboBox *printerBox() const { return m_printers; }
    QComboBox *paperBox() const { return m_papers; }
    QRadioButton *portraitButton() const { return m_portrait; }
    QRadioButton *landscapeButton() const { return m_landscape; }
    QPushButton *propertiesButton() const { return m_properties; }

    void accept() override;

private:
    // The properties a printer may offer more than one way of: its sides, colour and resolution.
    struct Properties {
        QPrinter::DuplexMode duplex = QPrinter::DuplexNone;
        QPrinter::ColorMode color = QPrinter::Color;
        int resolution = 0; // dots per inch; 0: the printer's default
    };

    void showPrinter(const QString &name);
    void editProperties();

    QPrinter &m_printer;
    QComboBox *m_printers;
    QLabel *m_state;
    QLabel *m_model;
    QLabel *m_location;
    QLabel *m_comment;
    QPushButton *m_properties;
    QComboBox *m_papers;
    QRadioButton *m_portrait;
    QRadioButton *m_landscape;
    Properties m_chosen;
    QPageSize m_paper;
};
