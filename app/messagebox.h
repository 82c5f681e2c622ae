#pragma once

#include <QMessageBox>
#include <QPixmap>
#include <QString>

#include <functional>

class QWidget;

// Every message box of the program goes through here, so that tests can answer them instead of
// a person (setSink) and nothing modal ever blocks a test.
namespace MessageBox {

struct Request {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString caption;
    QString text;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::StandardButton escapeButton = QMessageBox::NoButton;
    // A picture of its own in place of the icon (the About box shows the program's).
    QPixmap iconPixmap;
    // Captions of the buttons, where the program names them itself.
    QMap<QMessageBox::StandardButton, QString> buttonTexts;
};

// Shows a request and returns the button chosen.
using Sink = std::function<QMessageBox::StandardButton(QWidget *parent, const Request &request)>;

// Replaces where requests go; an empty sink restores real message boxes.
void setSink(Sink sink);

QMessageBox::StandardButton show(QWidget *parent, const Request &request);

// The central error handler's box: caption "Penloft", the error icon, one OK button; the text
// gains a "." when its last character sorts after "." (see errorBoxText).
void showAppError(QWidget *parent, const QString &text);

// The plain box: caption "Penloft", no icon, one OK button; CR LF in the text break lines.
void showPlain(QWidget *parent, const QString &text);

// A question as the program asks them: caption "確認", the question icon, the program's own
// captions on its buttons (standard buttons standing for them, in the box's order), the first
// the default; Esc and the close button are Cancel, or No where there is no Cancel. Returns the
// standard button chosen.
struct Choice {
    QMessageBox::StandardButton button;
    QString caption;
};
QMessageBox::StandardButton ask(QWidget *parent, const QString &text, const QList<Choice> &choices,
                                QMessageBox::Icon icon = QMessageBox::Question);

} // namespace MessageBox
