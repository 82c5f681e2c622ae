#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QAbstractItemView>
#include <QComboBox>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

// Operating the program's real dialogs and message boxes from a test: a modal window runs its
// own event loop, so the test hands over what to do before the command that opens it, and the
// handler runs inside that loop as soon as the window is up.
namespace RealDialogs {

// Runs `operate` once on the next modal window that shows, other than `notThis` (a window
// already open, whose loop the next one runs inside). Gives up after five seconds; the test
// then sees that nothing was done.
inline void whenModal(std::function<void(QWidget *)> operate, const QWidget *notThis = nullptr)
{
    // Owned by the application, so that it goes at the end whatever happened.
    auto *timer = new QTimer(QCoreApplication::instance());
    timer->setObjectName(QStringLiteral("RealDialogsWatch"));
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QPointer<const QWidget> exclude(notThis);
    QObject::connect(timer, &QTimer::timeout, [=] {
        QWidget *modal = QApplication::activeModalWidget();
        const bool found = modal && modal->isVisible() && modal != exclude.data();
        if (!found && clock->elapsed() < 5000)
            return;
        timer->stop();
        timer->deleteLater();
        if (found) {
            operate(modal);
            // A check that failed inside left the window up: close it, or the test waits on it.
            if (QTest::currentTestFailed() && QApplication::activeModalWidget() == modal)
                modal->close();
        } else
            qWarning("RealDialogs: no modal window showed");
    });
    timer->start(10);
}

// Types text into a widget as a user does: letters of the keyboard as key presses, anything else
// (Japanese) as the input method commits it.
inline void type(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() < 0x7F) {
            QTest::keyClick(widget, char(c.unicode()));
        } else if (c == u'\n') {
            QTest::keyClick(widget, Qt::Key_Return);
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(QString(c));
            QApplication::sendEvent(widget, &commit);
        }
    }
}

// Stops every watch for a modal window still waiting: a test that expected none, or ended
// early, leaves none behind to act in the next test.
inline void cancelPending()
{
    const QList<QTimer *> watches = QCoreApplication::instance()->findChildren<QTimer *>(QStringLiteral("RealDialogsWatch"));
    for (QTimer *watch : watches) {
        watch->stop();
        watch->deleteLater();
    }
}

// The message box's text, caption and buttons as the user sees them.
struct Box {
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    Qt::TextFormat format = Qt::AutoText;
};

inline Box describe(QMessageBox *box)
{
    Box seen { box->windowTitle(), box->text(), box->icon(), {}, box->textFormat() };
    for (QAbstractButton *button : box->buttons())
        seen.buttons += button->text();
    return seen;
}

// Answers the next message box with the button whose caption is `button` (the first button when
// empty), recording what it showed.
inline void answerBox(Box *seen, const QString &button = {}, const QWidget *notThis = nullptr)
{
    whenModal(
        [seen, button](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            if (!box) {
                qWarning("RealDialogs: the modal window is not a message box");
                modal->close();
                return;
            }
            if (seen)
                *seen = describe(box);
            for (QAbstractButton *b : box->buttons()) {
                if (button.isEmpty() || b->text() == button) {
                    QTest::mouseClick(b, Qt::LeftButton);
                    return;
                }
            }
            qWarning("RealDialogs: no such button");
            box->reject();
        },
        notThis);
}

// Answers the next message box with one of its standard buttons.
inline void answerBox(Box *seen, QMessageBox::StandardButton which, const QWidget *notThis = nullptr)
{
    whenModal(
        [seen, which](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            QAbstractButton *button = box ? box->button(which) : nullptr;
            if (!button) {
                qWarning("RealDialogs: no message box with that button");
                modal->close();
                return;
            }
            if (seen)
                *seen = describe(box);
            QTest::mouseClick(button, Qt::LeftButton);
        },
        notThis);
}

// In a file dialog: chooses the filter at `filterIndex` (from 1; 0 leaves it), types `name` into
// the name box and presses Return, as a user does.
inline void typeFileName(QFileDialog *dialog, const QString &name, int filterIndex = 0)
{
    if (filterIndex > 0) {
        auto *types = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        QVERIFY(types);
        dialog->selectNameFilter(dialog->nameFilters().at(filterIndex - 1));
    }
    auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    // Typing goes where the focus is: the dialog reads a typed name differently with it.
    QApplication::setActiveWindow(dialog);
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    edit->selectAll();
    QTest::keyClicks(edit, name);
    // The name box offers matching names in a list; Esc closes it, keeping what was typed.
    if (QCompleter *completer = edit->completer(); completer && completer->popup()->isVisible())
        QTest::keyClick(completer->popup(), Qt::Key_Escape);
    QTest::keyClick(edit, Qt::Key_Return);
}

} // namespace RealDialogs
