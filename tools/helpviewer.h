#pragma once

#include <QMainWindow>
#include <QUrl>

class QTextBrowser;
class QAction;

// The help window: the HTML guide's pages with their links, back, forward and the contents.
// A page that cannot be found is reported in the window itself.
class HelpViewer : public QMainWindow {
    Q_OBJECT
public:
    explicit HelpViewer(QWidget *parent = nullptr);

    // Shows a help file's page (its contents page for the guide's index) and brings the window up.
    void showFile(const QString &path);

    QTextBrowser *browser() const { return m_browser; }
    QAction *backAction() const { return m_back; }
    QAction *forwardAction() const { return m_forward; }

    // The text shown in place of a page that is missing.
    static QString missingText(const QString &path);

private:
    void showMissing(const QString &path);
    // The first time it shows: centred on the window it belongs to, and all of it, frame
    // included, on the work area of that window's screen.
    void placeOnScreen();

    QTextBrowser *m_browser;
    QAction *m_back;
    QAction *m_forward;
    QAction *m_home;
    QUrl m_contents;
    bool m_placed = false;
};
