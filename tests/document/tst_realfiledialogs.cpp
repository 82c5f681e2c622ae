// The file commands through the real dialogs and message boxes, as a user meets them.

#include "app/japaneseui.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richedit.h"

#include <QAction>
#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "realdialogs.h"
#include "testfiles.h"

using namespace Qt::StringLiterals;

class tst_RealFileDialogs : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void saveAsWritesWhatTheFilterSays_data();
    void saveAsWritesWhatTheFilterSays();
    void closePromptYesOnANewDocumentSavesRtf();
    void openTakesATypedNameThatExists();
    void openAddsTheDefaultExtensionOnlyWhenNeeded();
    void openErrorNamesTheFullPath();
    void saveAsOpensInTheDocumentsFolder();
    void detailColumnsAreJapaneseAndWideEnough();
    void unsaveableCharactersAreAskedAbout_data();
    void unsaveableCharactersAreAskedAbout();
    void shiftJisTwinsAreSavedWithoutAQuestion();
    void rtfChoiceAsksBeforeReplacingAnotherFile();
    void closePromptKeepsTheWindowWhenTheSaveIsCancelled();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // Types text, makes its first word bold, and leaves the document modified.
    void typeFormattedText();
    // Runs Save As and answers its dialog: the filter, the name, and Yes to creating the file.
    void saveAs(const QString &name, int filterIndex);

    QTemporaryDir m_dir;
    TPenForm1 *m_window = nullptr;
};

void tst_RealFileDialogs::initTestCase()
{
    installJapaneseUi();
}

void tst_RealFileDialogs::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    m_window = new TPenForm1;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_RealFileDialogs::cleanup()
{
    RealDialogs::cancelPending();
    m_window->RichEdit1->setModified(false);
    delete m_window;
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_RealFileDialogs::typeFormattedText()
{
    m_window->RichEdit1->setFocus();
    QTest::keyClicks(m_window->RichEdit1, u"bold plain"_s);
    m_window->RichEdit1->setSelection(0, 4);
    m_window->command(u"EditBold"_s)->trigger();
    m_window->RichEdit1->setSelection(0, 0);
    QVERIFY(m_window->RichEdit1->isModified());
}

void tst_RealFileDialogs::saveAs(const QString &name, int filterIndex)
{
    RealDialogs::whenModal([this, name, filterIndex](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        dialog->setDirectory(m_dir.path());
        // The file is new: the dialog asks before creating it.
        RealDialogs::answerBox(nullptr, QMessageBox::Yes, dialog);
        RealDialogs::typeFileName(dialog, name, filterIndex);
    });
    m_window->command(u"FileSaveAs"_s)->trigger();
}

void tst_RealFileDialogs::saveAsWritesWhatTheFilterSays_data()
{
    QTest::addColumn<int>("filterIndex");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("secondWritten");
    QTest::addColumn<bool>("rtf");
    QTest::newRow("rtf filter, no extension typed") << 1 << u"memo"_s << u"memo.rtf"_s << u"second.rtf"_s << true;
    QTest::newRow("rtf filter, .txt typed") << 1 << u"memo.txt"_s << u"memo.txt"_s << u"second.rtf"_s << true;
    QTest::newRow("text filter, no extension typed") << 2 << u"notes"_s << u"notes.txt"_s << u"second.txt"_s << false;
    QTest::newRow("text filter, .rtf typed") << 2 << u"notes.rtf"_s << u"notes.rtf"_s << u"second.txt"_s << false;
    // For every file, the default extension the last Save As left ("rtf" at first, none after).
    QTest::newRow("all files, no extension typed") << 5 << u"plain"_s << u"plain.rtf"_s << u"second"_s << false;
}

void tst_RealFileDialogs::saveAsWritesWhatTheFilterSays()
{
    QFETCH(int, filterIndex);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(QString, secondWritten);
    QFETCH(bool, rtf);
    typeFormattedText();
    saveAs(typed, filterIndex);
    const QByteArray data = TestFiles::read(path(written));
    QVERIFY2(!data.isEmpty(), qPrintable(written));
    QCOMPARE(data.startsWith("{\\rtf"), rtf);
    if (rtf)
        QVERIFY2(data.contains("\\b"), data.constData());
    else
        QCOMPARE(data, "bold plain"_ba);
    QVERIFY(!m_window->RichEdit1->isModified());
    QCOMPARE(m_window->CurrentFileName, path(written));
    QCOMPARE(m_window->windowTitle(), u"　Penloft          "_s + written);

    // A second Save As in a row, with no extension typed and the filter left as it is, writes
    // the same kind of file again.
    QTest::keyClicks(m_window->RichEdit1, u"!"_s);
    saveAs(u"second"_s, 0);
    const QByteArray again = TestFiles::read(path(secondWritten));
    QVERIFY2(!again.isEmpty(), qPrintable(secondWritten));
    QCOMPARE(again.startsWith("{\\rtf"), rtf);
    QCOMPARE(m_window->CurrentFileName, path(secondWritten));
    QVERIFY(!m_window->RichEdit1->isModified());
}

void tst_RealFileDialogs::closePromptYesOnANewDocumentSavesRtf()
{
    typeFormattedText();
    RealDialogs::Box prompt;
    RealDialogs::whenModal([this, &prompt](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        prompt = RealDialogs::describe(box);
        // はい runs Save, which for a new document is Save As.
        RealDialogs::whenModal(
            [this](QWidget *next) {
                auto *dialog = qobject_cast<QFileDialog *>(next);
                QVERIFY(dialog);
                dialog->setDirectory(m_dir.path());
                RealDialogs::answerBox(nullptr, QMessageBox::Yes, dialog);
                RealDialogs::typeFileName(dialog, u"closing"_s);
            },
            box);
        QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    });
    QVERIFY(m_window->close());
    QCOMPARE(prompt.caption, u"確認"_s);
    prompt.buttons.sort();
    QCOMPARE(prompt.buttons, (QStringList { u"いいえ(&N)"_s, u"はい(&Y)"_s, u"キャンセル"_s }));
    const QByteArray data = TestFiles::read(path(u"closing.rtf"_s));
    QVERIFY(data.startsWith("{\\rtf"));
    QVERIFY(data.contains("\\b"));
}

void tst_RealFileDialogs::openTakesATypedNameThatExists()
{
    TestFiles::write(path(u"README"_s), "read me");
    TestFiles::write(path(u"README.rtf"_s), "{\\rtf1 the other one}");
    RealDialogs::whenModal([this](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        dialog->setDirectory(m_dir.path());
        RealDialogs::typeFileName(dialog, u"README"_s);
    });
    m_window->command(u"FileOpen"_s)->trigger();
    QCOMPARE(m_window->CurrentFileName, path(u"README"_s));
    QCOMPARE(m_window->RichEdit1->textBytes(), "read me"_ba);
}

void tst_RealFileDialogs::openAddsTheDefaultExtensionOnlyWhenNeeded()
{
    TestFiles::write(path(u"letter.rtf"_s), "{\\rtf1 letter}");
    RealDialogs::whenModal([this](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        dialog->setDirectory(m_dir.path());
        RealDialogs::typeFileName(dialog, u"letter"_s);
    });
    m_window->command(u"FileOpen"_s)->trigger();
    QCOMPARE(m_window->CurrentFileName, path(u"letter.rtf"_s));
    QCOMPARE(m_window->RichEdit1->textBytes(), "letter"_ba);
}

void tst_RealFileDialogs::openErrorNamesTheFullPath()
{
    // A name given relative to the current folder, as on the command line.
    const QString before = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    RealDialogs::Box seen;
    RealDialogs::answerBox(&seen);
    m_window->FormShow({ u"missing.txt"_s });
    QDir::setCurrent(before);
    QCOMPARE(seen.text, u"ファイル \"%1\" が見つかりません."_s.arg(path(u"missing.txt"_s)));
    QCOMPARE(seen.caption, u"Penloft"_s);
    QVERIFY(m_window->CurrentFileName.isEmpty());
}

void tst_RealFileDialogs::saveAsOpensInTheDocumentsFolder()
{
    QDir(m_dir.path()).mkdir(u"letters"_s);
    const QString document = path(u"letters/june.txt"_s);
    TestFiles::write(document, "june");
    m_window->OpenFile(document);
    QString shown;
    RealDialogs::whenModal([&shown](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        shown = dialog->directory().absolutePath();
        dialog->reject();
    });
    m_window->command(u"FileSaveAs"_s)->trigger();
    QCOMPARE(shown, QFileInfo(document).absolutePath());
}

void tst_RealFileDialogs::detailColumnsAreJapaneseAndWideEnough()
{
    // The suite runs under LC_ALL=C.UTF-8: the columns are Japanese all the same.
    QDir(m_dir.path()).mkpath(u"columns/folder"_s);
    TestFiles::write(path(u"columns/sized.txt"_s), QByteArray(300, 'x'));
    QStringList folderRow, fileRow;
    QList<std::pair<int, int>> widths; // needed, given
    RealDialogs::whenModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        dialog->setDirectory(path(u"columns"_s));
        auto *view = dialog->findChild<QTreeView *>(u"treeView"_s);
        QVERIFY(view);
        const QAbstractItemModel *model = view->model();
        QTRY_COMPARE(model->rowCount(view->rootIndex()), 2);
        QHeaderView *header = view->header();
        for (int row = 0; row < 2; ++row) {
            QStringList &texts = model->index(row, 0, view->rootIndex()).data().toString() == u"folder"_s ? folderRow : fileRow;
            for (int column = 0; column < 4; ++column) {
                const QModelIndex index = model->index(row, column, view->rootIndex());
                texts += index.data().toString();
                QStyleOptionViewItem option;
                option.initFrom(view);
                const QSize hint = view->itemDelegateForIndex(index)->sizeHint(option, index);
                // The name column's hint holds the icon besides the text.
                widths.append({ hint.width(), header->sectionSize(column) + (column == 0 ? 64 : 0) });
            }
            widths.append({ view->fontMetrics().horizontalAdvance(model->headerData(row, Qt::Horizontal).toString()),
                            header->sectionSize(row) });
        }
        dialog->reject();
    });
    m_window->command(u"FileOpen"_s)->trigger();
    QCOMPARE(fileRow.size(), 4);
    QCOMPARE(folderRow.size(), 4);
    QCOMPARE(fileRow.at(1), u"300 バイト"_s);
    QCOMPARE(folderRow.at(2), u"フォルダー"_s);
    // Dates as Japan writes them: year first, with slashes.
    QVERIFY2(QRegularExpression(u"^\\d{4}/\\d{2}/\\d{2} "_s).match(fileRow.at(3)).hasMatch(), qPrintable(fileRow.at(3)));
    for (const auto &[needed, given] : widths)
        QVERIFY2(needed <= given, qPrintable(u"%1 > %2"_s.arg(needed).arg(given)));
}

void tst_RealFileDialogs::unsaveableCharactersAreAskedAbout_data()
{
    QTest::addColumn<QString>("button"); // empty: Esc
    QTest::newRow("RTF") << u"RTF で保存(&R)"_s;
    QTest::newRow("question marks") << u"? に置き換えて保存(&Q)"_s;
    QTest::newRow("cancel") << u"キャンセル"_s;
    QTest::newRow("Esc") << QString();
}

void tst_RealFileDialogs::unsaveableCharactersAreAskedAbout()
{
    QFETCH(QString, button);
    const QString folder = u"unsaveable-"_s + QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-');
    QDir(m_dir.path()).mkpath(folder);
    const QString memo = path(folder + u"/memo.txt"_s);
    TestFiles::write(memo, "old");
    m_window->OpenFile(memo);
    m_window->RichEdit1->setSelection(0, -1);
    // € and 𠮷 have no Shift-JIS form; 〜 has one.
    RealDialogs::type(m_window->RichEdit1, u"abc€〜\n𠮷"_s);
    RealDialogs::Box box;
    RealDialogs::whenModal([&box, button](QWidget *modal) {
        auto *question = qobject_cast<QMessageBox *>(modal);
        QVERIFY(question);
        box = RealDialogs::describe(question);
        if (button.isEmpty()) {
            QTest::keyClick(question, Qt::Key_Escape);
            return;
        }
        for (QAbstractButton *b : question->buttons()) {
            if (b->text() == button)
                QTest::mouseClick(b, Qt::LeftButton);
        }
    });
    m_window->command(u"FileSave"_s)->trigger();
    QCOMPARE(box.caption, u"確認"_s);
    QCOMPARE(box.icon, QMessageBox::Question);
    QCOMPARE(box.text, u"この文書には Shift-JIS で保存できない文字が 2 個あります（最初の文字: 「€」 U+20AC、1 行目）。\n\n"
                       u"   どのように保存しますか？"_s);
    box.buttons.sort();
    QCOMPARE(box.buttons, (QStringList { u"? に置き換えて保存(&Q)"_s, u"RTF で保存(&R)"_s, u"キャンセル"_s }));

    const QString rtf = path(folder + u"/memo.rtf"_s);
    if (button.startsWith(u"RTF")) {
        QCOMPARE(TestFiles::read(memo), "old"_ba);
        const QByteArray written = TestFiles::read(rtf);
        QVERIFY(written.startsWith("{\\rtf"));
        QVERIFY(written.contains("\\u8364"));
        QCOMPARE(m_window->CurrentFileName, rtf);
        QCOMPARE(m_window->windowTitle(), u"　Penloft          memo.rtf"_s);
        QVERIFY(!m_window->RichEdit1->isModified());
        // Read back, every character is there.
        m_window->OpenFile(rtf);
        QCOMPARE(m_window->RichEdit1->toPlainText(), u"abc€〜\n𠮷"_s);
    } else if (button.startsWith(u"?")) {
        QCOMPARE(TestFiles::read(memo), "abc?\x81\x60\r\n?"_ba);
        QCOMPARE(m_window->CurrentFileName, memo);
        QVERIFY(!m_window->RichEdit1->isModified());
    } else {
        QCOMPARE(TestFiles::read(memo), "old"_ba);
        QVERIFY(!QFileInfo::exists(rtf));
        QVERIFY(m_window->RichEdit1->isModified());
        QCOMPARE(m_window->CurrentFileName, memo);
        // The first such character is selected, for the user to see.
        QCOMPARE(m_window->RichEdit1->textCursor().selectedText(), u"€"_s);
    }
}

void tst_RealFileDialogs::shiftJisTwinsAreSavedWithoutAQuestion()
{
    const QString memo = path(u"twins.txt"_s);
    TestFiles::write(memo, "");
    m_window->OpenFile(memo);
    RealDialogs::type(m_window->RichEdit1, u"10〜20 −5 ‖"_s);
    bool asked = false;
    RealDialogs::whenModal([&asked](QWidget *modal) {
        asked = true;
        modal->close();
    });
    m_window->command(u"FileSave"_s)->trigger();
    QTest::qWait(100);
    QVERIFY(!asked);
    QCOMPARE(TestFiles::read(memo), "10\x81\x60" "20 \x81\x7C" "5 \x81\x61"_ba);
}

void tst_RealFileDialogs::closePromptKeepsTheWindowWhenTheSaveIsCancelled()
{
    const QString memo = path(u"closing.txt"_s);
    TestFiles::write(memo, "");
    m_window->OpenFile(memo);
    RealDialogs::type(m_window->RichEdit1, u"€"_s);
    RealDialogs::whenModal([](QWidget *modal) {
        auto *prompt = qobject_cast<QMessageBox *>(modal);
        QVERIFY(prompt);
        // はい: the save then asks about the €; キャンセル there keeps everything.
        RealDialogs::answerBox(nullptr, QMessageBox::Cancel, prompt);
        QTest::mouseClick(prompt->button(QMessageBox::Yes), Qt::LeftButton);
    });
    QVERIFY(!m_window->close());
    QVERIFY(m_window->isVisible());
    QCOMPARE(TestFiles::read(memo), QByteArray());
    QVERIFY(m_window->RichEdit1->isModified());
}

void tst_RealFileDialogs::rtfChoiceAsksBeforeReplacingAnotherFile()
{
    QDir(m_dir.path()).mkpath(u"replacing"_s);
    const QString memo = path(u"replacing/memo.txt"_s);
    const QString other = path(u"replacing/memo.rtf"_s);
    TestFiles::write(memo, "");
    TestFiles::write(other, "{\\rtf1 another document}");
    m_window->OpenFile(memo);
    RealDialogs::type(m_window->RichEdit1, u"€"_s);
    RealDialogs::Box replace;
    RealDialogs::whenModal([&replace](QWidget *modal) {
        auto *question = qobject_cast<QMessageBox *>(modal);
        QVERIFY(question);
        // RTF で保存, then Esc at the question about the other file.
        RealDialogs::whenModal(
            [&replace](QWidget *next) {
                auto *box = qobject_cast<QMessageBox *>(next);
                QVERIFY(box);
                replace = RealDialogs::describe(box);
                QTest::keyClick(box, Qt::Key_Escape);
            },
            question);
        QTest::mouseClick(question->button(QMessageBox::Yes), Qt::LeftButton);
    });
    m_window->command(u"FileSave"_s)->trigger();
    QCOMPARE(replace.text, other + u" は既に存在します。\n置き換えますか？"_s);
    QCOMPARE(TestFiles::read(other), "{\\rtf1 another document}"_ba);
    QCOMPARE(TestFiles::read(memo), QByteArray());
    QVERIFY(m_window->RichEdit1->isModified());
    QCOMPARE(m_window->CurrentFileName, memo);
}

QTEST_MAIN(tst_RealFileDialogs)
#include "tst_realfiledialogs.moc"
