// The editor's part of the corpus test: for each pair of files given (IN OUT ...), the program's
// window opens IN through its Open command, a character is typed at the start of the document,
// and the Save As command writes OUT as RTF. One line per document on standard output:
//   done IN          the round trip went through without a message box
//   box IN: TEXT     a message box came up (the document is still saved when it can be)
// A crash ends the program before its "done" line, which tells the caller which file did it.

#include "app/filedialogs.h"
#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/startup.h"
#include "app/tpenform1.h"
#include "document/richedit.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QTest>

#include <cstdio>
#include <optional>
#include <utility>

namespace {

// The character typed at the start; the comparison expects it in front of the first paragraph.
constexpr char typedKey = 'Q';

struct Answers {
    std::optional<FileDialogs::Choice> dialog;
    QStringList boxes;
};

void roundTrip(TPenForm1 &window, Answers &answers, const QString &in, const QString &out)
{
    answers.boxes.clear();
    answers.dialog = FileDialogs::Choice { in, 1 };
    window.command(QStringLiteral("FileOpen"))->trigger();
    window.RichEdit1->setFocus();
    QTest::keyClick(window.RichEdit1, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(window.RichEdit1, typedKey);
    QFile::remove(out);
    answers.dialog = FileDialogs::Choice { out, 1 }; // the first filter: RTF
    window.command(QStringLiteral("FileSaveAs"))->trigger();
    for (const QString &box : std::as_const(answers.boxes))
        std::printf("box %s: %s\n", qPrintable(in), qPrintable(QString(box).replace(u'\n', u' ')));
    std::printf("done %s\n", qPrintable(in));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList files = QApplication::arguments().mid(1);
    if (files.isEmpty() || files.size() % 2 != 0) {
        std::fprintf(stderr, "usage: corpus-roundtrip IN.rtf OUT.rtf [IN.rtf OUT.rtf ...]\n");
        return 2;
    }
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    Startup::setUpApplication();
    Answers answers;
    FileDialogs::setRunner([&answers](QWidget *, const FileDialogs::Request &) {
        return std::exchange(answers.dialog, std::nullopt);
    });
    MessageBox::setSink([&answers](QWidget *, const MessageBox::Request &request) {
        answers.boxes.append(request.text);
        // A question keeps the document as it is (the next Open asks nothing once saved).
        return request.buttons.testFlag(QMessageBox::No) ? QMessageBox::No : QMessageBox::Ok;
    });
    std::unique_ptr<Startup::Windows> windows = Startup::createWindows();
    Startup::showWindows(*windows, {});
    TPenForm1 &window = *windows->window;
    if (!QTest::qWaitForWindowExposed(&window))
        return 3;
    for (qsizetype i = 0; i < files.size(); i += 2)
        roundTrip(window, answers, files[i], files[i + 1]);
    window.FormDestroy();
    windows.reset();
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    return 0;
}
