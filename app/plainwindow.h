#pragma once

#include <QWidget>

class RichEdit;

// A plain window around the editor control, until the main window with its commands exists.
class PlainWindow : public QWidget {
    Q_OBJECT
public:
    explicit PlainWindow(QWidget *parent = nullptr);

    RichEdit *editor() const { return m_editor; }
    // Opens a document; shows the failure text in a message box and returns false on failure.
    bool openFile(const QString &path);

private:
    RichEdit *m_editor;
};
