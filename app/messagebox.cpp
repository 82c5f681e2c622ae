#include "messagebox.h"

#include "document/apperror.h"
#include "app/messages.h"

#include <QPushButton>

namespace {

MessageBox::Sink &sink()
{
    static MessageBox::Sink current;
    return current;
}

QMessageBox::StandardButton showModal(QWidget *parent, const MessageBox::Request &request)
{
    QMessageBox box(request.icon, request.caption, QString(), request.buttons, parent);
    // The text is the program's words with the user's own (a find text, a path) inside: never
    // markup, whatever it holds.
    box.setTextFormat(Qt::PlainText);
    box.setText(request.text);
    if (!request.iconPixmap.isNull())
        box.setIconPixmap(request.iconPixmap);
    for (auto it = request.buttonTexts.cbegin(); it != request.buttonTexts.cend(); ++it) {
        if (QAbstractButton *button = box.button(it.key()))
            button->setText(it.value());
    }
    if (request.defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(request.defaultButton);
    if (request.escapeButton != QMessageBox::NoButton)
        box.setEscapeButton(request.escapeButton);
    const int result = box.exec();
    return static_cast<QMessageBox::StandardButton>(result);
}

} // namespace

namespace MessageBox {

void setSink(Sink newSink)
{
    sink() = std::move(newSink);
}

QMessageBox::StandardButton show(QWidget *parent, const Request &request)
{
    if (sink())
        return sink()(parent, request);
    return showModal(parent, request);
}

void showAppError(QWidget *parent, const QString &text)
{
    Request request;
    request.icon = QMessageBox::Critical;
    request.caption = Messages::text(Messages::ProductName);
    request.text = errorBoxText(text);
    show(parent, request);
}

void showPlain(QWidget *parent, const QString &text)
{
    Request request;
    request.caption = Messages::text(Messages::ProductName);
    request.text = QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    show(parent, request);
}

QMessageBox::StandardButton ask(QWidget *parent, const QString &text, const QList<Choice> &choices, QMessageBox::Icon icon)
{
    Request request;
    request.icon = icon;
    request.caption = Messages::text(Messages::ConfirmCaption);
    request.text = text;
    request.buttons = {};
    for (const Choice &choice : choices) {
        request.buttons |= choice.button;
        request.buttonTexts.insert(choice.button, choice.caption);
    }
    if (!choices.isEmpty()) {
        request.defaultButton = choices.first().button;
        request.escapeButton = (request.buttons & QMessageBox::Cancel) ? QMessageBox::Cancel
            : (request.buttons & QMessageBox::No)                      ? QMessageBox::No
                                                                        : choices.last().button;
    }
    return show(parent, request);
}

} // namespace MessageBox
