#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

// The modeless find-and-replace dialog: what to find, what to put in its place, and Find Next,
// Replace, Replace All and Cancel. Each text takes at most 255 bytes of CP932; the three action
// buttons are off while there is nothing to find. Each press of one of them leaves exactly one
// of the three options set and raises find() or replace().
class ReplaceDialog : public QDialog {
    Q_OBJECT
public:
    enum Option { FindNext = 1, Replace = 2, ReplaceAll = 4 };
    static constexpr int MaxTextBytes = 255;

    explicit ReplaceDialog(QWidget *parent = nullptr);

    QString findText() const;
    QString replaceText() const;
    void setFindText(const QString &text);
    void setReplaceText(const QString &text);
    int options() const { return m_options; }

    // Places the dialog's top-left corner at a screen point. An open dialog moves only when the
    // point differs from the one it was last given, so that one the user dragged stays put.
    void placeAt(const QPoint &point);

    // Presses a button as the user does (Find Next, Replace or Replace All).
    void press(Option option);

signals:
    void find();
    void replace();

private:
    void updateButtons();

    QLineEdit *m_find;
    QLineEdit *m_replace;
    QPushButton *m_findNext;
    QPushButton *m_replaceNext;
    QPushButton *m_replaceAll;
    int m_options = FindNext | Replace | ReplaceAll;
    QPoint m_placedAt { -1, -1 };
    bool m_placed = false;
};
