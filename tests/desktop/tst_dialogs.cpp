// The document's dialogs on the session's desktop: Save As through Qt's own file dialog for
// each of its filters, and the close prompt leading into it.

#include "desktop.h"

#include "app/tpenform1.h"
#include "document/richedit.h"
#include "tools/replacedialog.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString Text = QString::fromUtf16(u"保存の試験です。");

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// In the file dialog on the screen: the filter chosen in its type box with the mouse and the
// keyboard, the name typed into its name box (straight into the box: the session's input method
// would compose romaji typed there into kana), then 保存 with Return. Each step waits for the
// dialog to show the last one done; what did not come is told in `problem`, and the dialog is
// left as it is (the script then ends it).
void saveIn(QFileDialog *dialog, int filter, const QString &name, QString *caption, QString *problem)
{
    *caption = Desktop::window(Desktop::windowId(dialog)).value_or(Desktop::Window()).name;
    auto *types = dialog->findChild<QComboBox *>(u"fileTypeCombo"_s);
    auto *nameBox = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s);
    if (!types || !nameBox) {
        *problem = u"the dialog has no type box or no name box"_s;
        return;
    }
    if (!Desktop::activate(Desktop::windowId(dialog)) || !Desktop::clickOn(types)) {
        *problem = u"the dialog's type box could not be clicked: "_s + Desktop::focusReport();
        return;
    }
    // Keys go to the list only once it is the open popup.
    if (!Desktop::waitFor([&] { return types->view()->isVisible() && QApplication::activePopupWidget() == types->view()->window(); })) {
        *problem = u"the type box did not open its list"_s;
        return;
    }
    // One arrow key at a time, each once the list shows the one before: the list takes the input
    // method, and a key the input method passes on comes back when it answers, which can be after
    // the next key (a Down was seen to land before the Home typed ahead of it).
    QAbstractItemView *list = types->view();
    for (int step = 0; list->currentIndex().row() != filter - 1; ++step) {
        const int from = list->currentIndex().row();
        if (step > 2 * types->count()) {
            *problem = u"the type box's list does not reach filter %1 (at item %2)"_s.arg(filter).arg(from + 1);
            return;
        }
        Desktop::key(from < filter - 1 ? u"Down"_s : u"Up"_s);
        if (!Desktop::waitFor([&] { return list->currentIndex().row() != from; })) {
            *problem = u"the type box's list stays at item %1 after an arrow key"_s.arg(from + 1);
            return;
        }
    }
    Desktop::key(u"Return"_s);
    if (!Desktop::waitFor([&] { return !types->view()->isVisible() && types->currentIndex() == filter - 1; })) {
        *problem = u"the type box shows \"%1\", not filter %2"_s.arg(types->currentText()).arg(filter);
        return;
    }
    if (!Desktop::clickOn(nameBox) || !Desktop::waitFor([&] { return QApplication::focusWidget() == nameBox; })) {
        *problem = u"the name box did not take the focus: "_s + Desktop::focusReport();
        return;
    }
    nameBox->selectAll();
    QTest::keyClicks(nameBox, name);
    if (nameBox->text() != name) {
        *problem = u"the name box shows \"%1\""_s.arg(nameBox->text());
        return;
    }
    Desktop::keysIn(dialog, { u"Return"_s });
}

// Yes to creating the file, by its mnemonic.
void createFile(QMessageBox *box, QString *question)
{
    *question = box->text();
    Desktop::keysIn(box, { u"alt+y"_s });
}

} // namespace

class tst_DesktopDialogs : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        if (QTest::currentTestFailed())
            Desktop::recordFailure();
    }
    void saveAsThroughTheRealDialog_data();
    void saveAsThroughTheRealDialog();
    void closePromptYesSavesThroughSaveAs();
    void findMessagesGiveTheFocusBackToTheFindDialog();
};

void tst_DesktopDialogs::saveAsThroughTheRealDialog_data()
{
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("saved");
    QTest::addColumn<bool>("rtf");
    QTest::newRow("書式付テキスト") << 1 << u"letter"_s << u"letter.rtf"_s << true;
    QTest::newRow("テキストファイル") << 2 << u"letter"_s << u"letter.txt"_s << false;
    QTest::newRow("C言語ソースファイル") << 3 << u"letter"_s << u"letter.c"_s << false;
    QTest::newRow("HTMLファイル") << 4 << u"letter"_s << u"letter.htm"_s << false;
    QTest::newRow("全てのファイル") << 5 << u"memo.txt"_s << u"memo.txt"_s << false;
}

void tst_DesktopDialogs::saveAsThroughTheRealDialog()
{
    QFETCH(int, filter);
    QFETCH(QString, typed);
    QFETCH(QString, saved);
    QFETCH(bool, rtf);
    QTemporaryDir folder;
    Desktop::Session session;
    QVERIFY2(session.isActive(), qPrintable(Desktop::focusReport()));
    TPenForm1 &window = session.window();
    window.RichEdit1->replaceSelection(Text);
    // Save As opens where the document is: here, the folder of a document opened before.
    window.SaveDialog1.fileName = folder.filePath(u"before.rtf"_s);
    window.CurrentFileName = folder.filePath(u"before.rtf"_s);

    QString caption;
    QString problem;
    QString question;
    Desktop::Script script;
    script.withModal<QFileDialog>(u"the save dialog"_s, [&](QFileDialog *dialog) { saveIn(dialog, filter, typed, &caption, &problem); })
        .withModal<QMessageBox>(u"the question before a new file"_s, [&](QMessageBox *box) { createFile(box, &question); });
    script.start();
    window.command(u"FileSaveAs"_s)->trigger();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY2(script.isDone(), qPrintable(script.failure()));
    QCOMPARE(caption, QString::fromUtf16(u"名前を付けて保存"));

    const QString path = folder.filePath(saved);
    QVERIFY2(question.startsWith(path), qPrintable(question));
    const QByteArray bytes = readAll(path);
    QVERIFY2(!bytes.isEmpty(), qPrintable(path));
    if (rtf) {
        QVERIFY(bytes.startsWith("{\\rtf"));
    } else {
        // Plain text in the Shift-JIS code page, exactly the document's text.
        QStringDecoder cp932("Shift_JIS");
        QCOMPARE(QString(cp932(bytes)), Text);
    }
    QCOMPARE(window.CurrentFileName, path);
    // The title as the window manager shows it, once the program's change has reached it.
    const QString title = QString::fromUtf16(u"　Penloft          ") + saved;
    const auto shownTitle = [&] { return Desktop::window(Desktop::windowId(&window)).value_or(Desktop::Window()).name; };
    QVERIFY2(Desktop::waitFor([&] { return shownTitle() == title; }), qPrintable(shownTitle()));
    QVERIFY(!window.RichEdit1->isModified());
}

void tst_DesktopDialogs::closePromptYesSavesThroughSaveAs()
{
    QTemporaryDir folder;
    Desktop::Session session;
    QVERIFY2(session.isActive(), qPrintable(Desktop::focusReport()));
    TPenForm1 &window = session.window();
    window.RichEdit1->replaceSelection(Text);
    window.SaveDialog1.fileName = folder.filePath(u"before.rtf"_s);
    window.CurrentFileName.clear();

    // はい keeps the work: the new document goes through Save As, then the window closes.
    QString asked;
    QString dialogCaption;
    QString problem;
    QString question;
    Desktop::Script script;
    script.withModal<QMessageBox>(u"the close prompt"_s, [&](QMessageBox *box) {
              asked = Desktop::window(Desktop::windowId(box)).value_or(Desktop::Window()).name;
              Desktop::keysIn(box, { u"alt+y"_s });
          })
        .withModal<QFileDialog>(u"the save dialog"_s, [&](QFileDialog *dialog) {
            dialog->setDirectory(folder.path());
            saveIn(dialog, 1, u"closing"_s, &dialogCaption, &problem);
        })
        .withModal<QMessageBox>(u"the question before a new file"_s, [&](QMessageBox *box) { createFile(box, &question); });
    script.start();
    const bool closed = window.close();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY2(script.isDone(), qPrintable(script.failure()));
    QCOMPARE(asked, QString::fromUtf16(u"確認"));
    QVERIFY(closed);
    QVERIFY(readAll(folder.filePath(u"closing.rtf"_s)).startsWith("{\\rtf"));
}

void tst_DesktopDialogs::findMessagesGiveTheFocusBackToTheFindDialog()
{
    Desktop::Session session;
    QVERIFY2(session.isActive(), qPrintable(Desktop::focusReport()));
    TPenForm1 &window = session.window();
    window.command(u"OptionReplace"_s)->trigger();
    ReplaceDialog *dialog = window.ReplaceDialog1;
    QVERIFY(Desktop::waitFor([&] { return dialog->isVisible(); }));
    const quint32 dialogId = Desktop::windowId(dialog);
    QVERIFY(Desktop::activate(dialogId));
    // Straight into the box: the input method would compose romaji typed there.
    dialog->setFindText(u"nowhere"_s);
    dialog->setReplaceText(u"x"_s);
    QPushButton *findNext = nullptr;
    QPushButton *replaceAll = nullptr;
    for (QPushButton *b : dialog->findChildren<QPushButton *>()) {
        if (b->text().startsWith(QString::fromUtf16(u"次を検索")))
            findNext = b;
        if (b->text().startsWith(QString::fromUtf16(u"すべて置換")))
            replaceAll = b;
    }
    QVERIFY(findNext && replaceAll);
    for (QPushButton *button : { findNext, replaceAll }) {
        // The message, answered with Return as a user does: the window manager then gives the
        // focus to the window the box stood over, which must be the find dialog.
        QString told;
        Desktop::Script script;
        script.withModal<QMessageBox>(u"the find message"_s, [&](QMessageBox *box) {
            told = box->text();
            Desktop::keysIn(box, { u"Return"_s });
        });
        script.start();
        // By the button's Alt key, as the user pressed it.
        Desktop::keysIn(dialog, { button == findNext ? u"alt+f"_s : u"alt+a"_s });
        QVERIFY2(Desktop::waitFor([&] { return script.isDone(); }), qPrintable(script.failure()));
        QVERIFY(!told.isEmpty());
        // Active for the window manager, with the X input focus and Qt's: keys typed now reach it.
        QVERIFY2(Desktop::waitFor(
                     [&] {
                         return Desktop::run(u"xdotool"_s, { u"getactivewindow"_s }).trimmed().toUInt() == dialogId
                             && Desktop::run(u"xdotool"_s, { u"getwindowfocus"_s }).trimmed().toUInt() == dialogId
                             && QApplication::activeWindow() == dialog;
                     }),
                 qPrintable(Desktop::focusReport()));
    }
    // Its keys work again: Esc closes it.
    Desktop::key(u"Escape"_s);
    QVERIFY(Desktop::waitFor([&] { return !dialog->isVisible(); }));
}

QObject *newDesktopDialogsTest()
{
    return new tst_DesktopDialogs;
}

#include "tst_dialogs.moc"
