#pragma once

// The main window for tests that open an RTF file in it, edit it with real keys and save it
// with Ctrl+S: shown and active, with a message box reported as unexpected.

#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "testfiles.h"

#include <QApplication>
#include <QFile>
#include <QTest>

namespace RtfWindow {

inline void forgetSettings()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

// Call with QVERIFY: false when the window did not become active.
inline bool open(TPenForm1 *&window)
{
    forgetSettings();
    MessageBox::setSink([](QWidget *, const MessageBox::Request &request) {
        qWarning("unexpected box: %s", qPrintable(request.text));
        return QMessageBox::Ok;
    });
    window = new TPenForm1;
    window->show();
    return QTest::qWaitForWindowActive(window);
}

inline void close(TPenForm1 *&window)
{
    delete window;
    window = nullptr;
    MessageBox::setSink({});
    forgetSettings();
}

// Opens `rtf` from `path`, types "X" at the start, saves with Ctrl+S and returns the bytes saved
// (empty when the save did not finish).
inline QByteArray openTypeAndSave(TPenForm1 *window, const QString &path, const QByteArray &rtf)
{
    TestFiles::write(path, rtf);
    window->OpenFile(path);
    RichEdit *edit = window->RichEdit1;
    edit->setFocus();
    edit->setSelection(0, 0);
    QTest::keyClick(edit, Qt::Key_X);
    QApplication::setActiveWindow(window);
    if (!QTest::qWaitFor([&] { return window->isActiveWindow(); }))
        return {};
    QTest::keyClick(edit, Qt::Key_S, Qt::ControlModifier);
    if (!QTest::qWaitFor([&] { return !edit->isModified(); }))
        return {};
    return TestFiles::read(path);
}

} // namespace RtfWindow
