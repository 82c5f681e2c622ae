#include "document/apperror.h"
#include "app/filedialogs.h"
#include "app/messagebox.h"
#include "app/messages.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/documentfile.h"
#include "document/richedit.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include "testfiles.h"
#include <QTextBlock>
#include <QUrl>

#include <csignal>
#include <deque>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

class tst_FileCommands : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void saveOfNewDocumentRunsSaveAsAndCancelChangesNothing();
    void saveFormatByExtension_data();
    void saveFormatByExtension();
    void nameWithoutExtension();
    void saveAsFormatFollowsTheFilter();
    void defaultExtensionAfterSaveAs();
    void rememberedNames();
    void modifiedFlagThroughTheCommands();
    void closePrompt();
    void closePromptYesWithCancelledSaveKeepsTheWindow();
    void unsavedWorkIsAskedAboutBeforeItIsReplaced();
    void dropOpensOnlyTheFirstFile();
    void commandLineDocuments();
    void failedOpenLeavesTheDocumentAsItWas();
    void fileTooLargeForMemoryIsRefusedThroughOpen();
    void failedSaveChangesNothing();
    void samplesRoundTripThroughTheCommands_data();
    void samplesRoundTripThroughTheCommands();
    void picturesSavedAsTextAskFirst();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    // The next answers the dialogs and boxes give.
    std::deque<std::optional<FileDialogs::Choice>> m_dialogAnswers;
    QList<FileDialogs::Request> m_dialogRequests;
    std::deque<QMessageBox::StandardButton> m_boxAnswers;
    QList<MessageBox::Request> m_boxes;
    QTemporaryDir m_dir;
    TPenForm1 *m_window = nullptr;
};

void tst_FileCommands::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    m_dialogAnswers.clear();
    m_dialogRequests.clear();
    m_boxAnswers.clear();
    m_boxes.clear();
    FileDialogs::setRunner([this](QWidget *, const FileDialogs::Request &request) {
        m_dialogRequests.append(request);
        if (m_dialogAnswers.empty())
            return std::optional<FileDialogs::Choice>();
        auto answer = m_dialogAnswers.front();
        m_dialogAnswers.pop_front();
        return answer;
    });
    MessageBox::setSink([this](QWidget *, const MessageBox::Request &request) {
        m_boxes.append(request);
        if (m_boxAnswers.empty())
            return QMessageBox::Ok;
        const auto answer = m_boxAnswers.front();
        m_boxAnswers.pop_front();
        return answer;
    });
    m_window = new TPenForm1;
}

void tst_FileCommands::cleanup()
{
    delete m_window;
    FileDialogs::setRunner({});
    MessageBox::setSink({});
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_FileCommands::saveOfNewDocumentRunsSaveAsAndCancelChangesNothing()
{
    m_window->RichEdit1->replaceSelection(u"text"_s);
    m_window->FileSaveExecute();
    QCOMPARE(m_dialogRequests.size(), 1);
    QCOMPARE(m_dialogRequests.first().mode, FileDialogs::Request::Mode::Save);
    QVERIFY(m_window->RichEdit1->isModified());
    QVERIFY(m_window->CurrentFileName.isEmpty());
    QCOMPARE(m_window->windowTitle(), u"　Penloft          新規文書"_s);
}

void tst_FileCommands::saveFormatByExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("rtf");
    QTest::newRow("X.RTF in capitals") << u"X.RTF"_s << true;
    QTest::newRow("x.rtf") << u"x.rtf"_s << true;
    QTest::newRow("X.txt") << u"X.txt"_s << false;
    QTest::newRow("X.c") << u"X.c"_s << false;
    QTest::newRow("X.htm") << u"X.htm"_s << false;
    QTest::newRow("X.html") << u"X.html"_s << false;
    QTest::newRow("X.doc") << u"X.doc"_s << false;
}

void tst_FileCommands::saveFormatByExtension()
{
    QFETCH(QString, name);
    QFETCH(bool, rtf);
    TestFiles::write(path(name), "{\\rtf1 {\\b bold}\\par}");
    m_window->OpenFile(path(name));
    m_window->RichEdit1->setSelection(4, 4);
    m_window->RichEdit1->replaceSelection(u"!"_s);
    m_window->FileSaveExecute();
    QVERIFY(m_dialogRequests.isEmpty());
    QCOMPARE(TestFiles::read(path(name)).startsWith("{\\rtf1"), rtf);
    if (!rtf)
        QCOMPARE(TestFiles::read(path(name)), "bold!"_ba);
    QVERIFY(!m_window->RichEdit1->isModified());
    QCOMPARE(m_window->windowTitle(), u"　Penloft          "_s + name);
}

void tst_FileCommands::nameWithoutExtension()
{
    QDir(m_dir.path()).mkdir(u"notes.old"_s);
    const QString readme = path(u"notes.old/README"_s);
    TestFiles::write(readme, "read me");
    m_window->OpenFile(readme);
    QCOMPARE(m_window->windowTitle(), u"　Penloft          README"_s);
    QCOMPARE(m_window->CurrentFileName, readme);
    m_window->RichEdit1->replaceSelection(u"x"_s);
    // Save runs Save As; the close prompt calls it a new document.
    m_window->FileSaveExecute();
    QCOMPARE(m_dialogRequests.size(), 1);
    m_boxAnswers = { QMessageBox::Cancel };
    bool canClose = true;
    m_window->FormCloseQuery(canClose);
    QVERIFY(!canClose);
    QCOMPARE(m_boxes.last().text, u"『 新規文書 』  が保存されていません。\n\n   保存しますか？"_s);
}

void tst_FileCommands::saveAsFormatFollowsTheFilter()
{
    m_window->RichEdit1->replaceSelection(u"本文"_s);
    m_dialogAnswers = { FileDialogs::Choice { path(u"memo.txt"_s), 1 } };
    m_window->FileSaveAsExecute();
    QVERIFY(TestFiles::read(path(u"memo.txt"_s)).startsWith("{\\rtf1"));
    QCOMPARE(m_window->CurrentFileName, path(u"memo.txt"_s));
    QCOMPARE(m_window->windowTitle(), u"　Penloft          memo.txt"_s);
    // A later Save goes by the extension: plain text.
    m_window->RichEdit1->replaceSelection(u"!"_s);
    m_window->FileSaveExecute();
    QCOMPARE(TestFiles::read(path(u"memo.txt"_s)), "\x96\x7B\x95\xB6!"_ba);

    m_dialogAnswers = { FileDialogs::Choice { path(u"letter.rtf"_s), 5 } };
    m_window->FileSaveAsExecute();
    QCOMPARE(TestFiles::read(path(u"letter.rtf"_s)), "\x96\x7B\x95\xB6!"_ba);
}

void tst_FileCommands::defaultExtensionAfterSaveAs()
{
    QCOMPARE(m_window->SaveDialog1.defaultExtension, u"rtf"_s);
    m_dialogAnswers = { FileDialogs::Choice { path(u"a"_s), 5 }, FileDialogs::Choice { path(u"b.txt"_s), 2 },
                        std::nullopt };
    m_window->FileSaveAsExecute();
    m_window->FileSaveAsExecute();
    m_window->FileSaveAsExecute();
    QCOMPARE(m_dialogRequests.at(0).defaultExtension, u"rtf"_s);
    QCOMPARE(m_dialogRequests.at(1).defaultExtension, QString()); // after filter 5: none
    QCOMPARE(m_dialogRequests.at(2).defaultExtension, u"txt"_s); // after filter 2
    QCOMPARE(m_dialogRequests.at(2).filterIndex, 2);
}

void tst_FileCommands::rememberedNames()
{
    TestFiles::write(path(u"one.txt"_s), "1");
    m_dialogAnswers = { FileDialogs::Choice { path(u"one.txt"_s), 3 } };
    m_window->FileOpenExecute();
    QCOMPARE(m_window->CurrentFileName, path(u"one.txt"_s));
    m_dialogAnswers = { FileDialogs::Choice { path(u"two.rtf"_s), 1 }, std::nullopt, std::nullopt, std::nullopt };
    m_window->FileSaveAsExecute(); // proposes an empty name after an Open
    m_window->FileSaveAsExecute(); // proposes the name just used
    m_window->FileOpenExecute(); // the open dialog remembers its own
    m_window->FileNewExecute();
    m_window->FileSaveAsExecute(); // empty again after New
    QCOMPARE(m_dialogRequests.at(1).fileName, QString());
    QCOMPARE(m_dialogRequests.at(2).fileName, path(u"two.rtf"_s));
    QCOMPARE(m_dialogRequests.at(3).fileName, path(u"one.txt"_s));
    QCOMPARE(m_dialogRequests.at(3).filterIndex, 3);
    QCOMPARE(m_dialogRequests.at(4).fileName, QString());
    QCOMPARE(m_dialogRequests.at(0).filter,
             u"全てのファイル(*.*)|*.*|書式付テキスト(*.rtf)|*.rtf|テキストファイル(*.txt)|*.txt"_s);
    QCOMPARE(FileDialogs::filterEntries(m_dialogRequests.at(1).filter).at(1).first, u"テキストファイル（TXT）"_s);
}

void tst_FileCommands::modifiedFlagThroughTheCommands()
{
    RichEdit *edit = m_window->RichEdit1;
    TestFiles::write(path(u"m.txt"_s), "abc");
    edit->replaceSelection(u"typed"_s);
    QVERIFY(edit->isModified());
    m_boxAnswers = { QMessageBox::No };
    m_window->OpenFile(path(u"m.txt"_s));
    QVERIFY(!edit->isModified());
    edit->replaceSelection(u"x"_s);
    QVERIFY(edit->isModified());
    m_window->FileSaveExecute();
    QVERIFY(!edit->isModified());
    edit->replaceSelection(u"y"_s);
    m_boxAnswers = { QMessageBox::No };
    m_window->FileNewExecute();
    QVERIFY(!edit->isModified());
    QCOMPARE(edit->toPlainText(), QString());
    QCOMPARE(m_window->windowTitle(), u"　Penloft          新規文書"_s);
}

void tst_FileCommands::closePrompt()
{
    // No changes: no question, no sound, the window closes.
    bool canClose = false;
    m_window->FormCloseQuery(canClose);
    QVERIFY(canClose);
    QVERIFY(m_boxes.isEmpty());

    TestFiles::write(path(u"named.txt"_s), "n");
    m_window->OpenFile(path(u"named.txt"_s));
    m_window->RichEdit1->replaceSelection(u"change"_s);
    m_boxAnswers = { QMessageBox::Cancel };
    m_window->FormCloseQuery(canClose);
    QVERIFY(!canClose);
    const MessageBox::Request &box = m_boxes.last();
    QCOMPARE(box.caption, u"確認"_s);
    QCOMPARE(box.icon, QMessageBox::Question);
    QCOMPARE(box.text, u"『 named.txt 』  が保存されていません。\n\n   保存しますか？"_s);
    QCOMPARE(box.defaultButton, QMessageBox::Yes);
    QCOMPARE(box.escapeButton, QMessageBox::Cancel);
    QCOMPARE(box.buttonTexts.value(QMessageBox::Yes), u"はい(&Y)"_s);
    QCOMPARE(box.buttonTexts.value(QMessageBox::No), u"いいえ(&N)"_s);
    QCOMPARE(box.buttonTexts.value(QMessageBox::Cancel), u"キャンセル"_s);

    m_boxAnswers = { QMessageBox::No };
    m_window->FormCloseQuery(canClose);
    QVERIFY(canClose);
    QCOMPARE(TestFiles::read(path(u"named.txt"_s)), "n"_ba);

    m_boxAnswers = { QMessageBox::Yes };
    m_window->FormCloseQuery(canClose);
    QVERIFY(canClose);
    QCOMPARE(TestFiles::read(path(u"named.txt"_s)), "changen"_ba);
}

void tst_FileCommands::closePromptYesWithCancelledSaveKeepsTheWindow()
{
    m_window->RichEdit1->replaceSelection(u"unsaved"_s);
    m_boxAnswers = { QMessageBox::Yes };
    m_dialogAnswers = { std::nullopt }; // the Save As dialog is cancelled
    bool canClose = true;
    m_window->FormCloseQuery(canClose);
    QVERIFY(!canClose);
    QCOMPARE(m_window->RichEdit1->toPlainText(), u"unsaved"_s);

    // A save that fails keeps the window open too, after its error.
    m_window->CurrentFileName = path(u"no/such/folder/x.txt"_s);
    m_boxAnswers = { QMessageBox::Yes };
    m_window->FormCloseQuery(canClose);
    QVERIFY(!canClose);
    QCOMPARE(m_boxes.last().text, Messages::cannotCreateFile(path(u"no/such/folder/x.txt"_s),
                                                             Messages::FileProblem::FolderNotFound)
                                      + u'.');
}

void tst_FileCommands::unsavedWorkIsAskedAboutBeforeItIsReplaced()
{
    TestFiles::write(path(u"other.txt"_s), "other");
    RichEdit *edit = m_window->RichEdit1;
    edit->replaceSelection(u"work"_s);
    // Cancel keeps everything.
    m_boxAnswers = { QMessageBox::Cancel };
    m_window->FileNewExecute();
    QCOMPARE(edit->toPlainText(), u"work"_s);
    m_boxAnswers = { QMessageBox::Cancel };
    m_window->FileOpenExecute();
    QVERIFY(m_dialogRequests.isEmpty());
    m_boxAnswers = { QMessageBox::Cancel };
    m_window->WMDropFiles({ QUrl::fromLocalFile(path(u"other.txt"_s)) });
    QCOMPARE(edit->toPlainText(), u"work"_s);
    // Yes saves first (here through Save As) and goes on only when the save completed.
    m_boxAnswers = { QMessageBox::Yes };
    m_dialogAnswers = { FileDialogs::Choice { path(u"saved.txt"_s), 2 } };
    m_window->WMDropFiles({ QUrl::fromLocalFile(path(u"other.txt"_s)) });
    QCOMPARE(TestFiles::read(path(u"saved.txt"_s)), "work"_ba);
    QCOMPARE(edit->toPlainText(), u"other"_s);
}

void tst_FileCommands::dropOpensOnlyTheFirstFile()
{
    for (const char *name : { "first.txt", "second.txt", "third.txt" })
        TestFiles::write(path(QString::fromLatin1(name)), name);
    auto *data = new QMimeData;
    data->setUrls({ QUrl::fromLocalFile(path(u"first.txt"_s)), QUrl::fromLocalFile(path(u"second.txt"_s)),
                    QUrl::fromLocalFile(path(u"third.txt"_s)) });
    m_window->WMDropFiles(data->urls());
    QCOMPARE(m_window->CurrentFileName, path(u"first.txt"_s));
    QCOMPARE(m_window->RichEdit1->toPlainText(), u"first.txt"_s);
    delete data;
}

void tst_FileCommands::commandLineDocuments()
{
    TestFiles::write(path(u"a.txt"_s), "A");
    TestFiles::write(path(u"b.txt"_s), "B");
    const QString before = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    m_window->FormShow({ u"a.txt"_s, u"b.txt"_s });
    QCOMPARE(m_window->windowTitle(), u"　Penloft          b.txt"_s);
    QCOMPARE(m_window->CurrentFileName, u"b.txt"_s); // relative stays relative
    QVERIFY(m_boxes.isEmpty());

    delete m_window;
    m_window = new TPenForm1;
    m_window->FormShow({ u"missing.txt"_s, u"a.txt"_s });
    QDir::setCurrent(before);
    QCOMPARE(m_boxes.size(), 1); // the missing one ends the loop
    // The message names the file by its full path.
    QCOMPARE(m_boxes.first().text, u"ファイル \"%1\" が見つかりません."_s.arg(path(u"missing.txt"_s)));
    QCOMPARE(m_window->windowTitle(), u"　Penloft          新規文書"_s);
    QVERIFY(m_window->CurrentFileName.isEmpty());
}

void tst_FileCommands::failedOpenLeavesTheDocumentAsItWas()
{
    TestFiles::write(path(u"kept.rtf"_s), "{\\rtf1 {\\b kept}\\par}");
    m_window->OpenFile(path(u"kept.rtf"_s));
    m_window->RichEdit1->setSelection(4, 4);
    m_window->RichEdit1->replaceSelection(u" edited"_s);
    QDir(m_dir.path()).mkdir(u"a folder"_s);
    for (const QString &bad : { path(u"missing.txt"_s), path(u"a folder"_s) }) {
        try {
            m_window->OpenFile(bad);
            QFAIL("no error");
        } catch (const AppError &e) {
            QVERIFY(e.text().contains(u'"' + bad + u'"'));
        }
        QCOMPARE(m_window->RichEdit1->toPlainText(), u"kept edited"_s);
        QVERIFY(m_window->RichEdit1->isModified());
        QCOMPARE(m_window->CurrentFileName, path(u"kept.rtf"_s));
        QCOMPARE(m_window->windowTitle(), u"　Penloft          kept.rtf"_s);
        m_window->RichEdit1->setSelection(0, 1);
        QVERIFY(m_window->RichEdit1->charFormat().bold);
    }
}

// The Open command with a file the memory left could not open: the message box says so, and the
// open document stays as it was.
void tst_FileCommands::fileTooLargeForMemoryIsRefusedThroughOpen()
{
    TestFiles::write(path(u"large.txt"_s), QByteArray(200000, 'x'));
    m_window->RichEdit1->replaceSelection(u"kept"_s);
    DocumentFile::setMemoryProbe([] { return qint64(1024 * 1024); });
    m_dialogAnswers = { FileDialogs::Choice { path(u"large.txt"_s), 2 }, };
    m_boxAnswers = { QMessageBox::No }; // do not save the work first
    m_window->command(u"FileOpen"_s)->trigger();
    DocumentFile::setMemoryProbe({});
    QVERIFY(!m_boxes.isEmpty());
    // The box ends the text with a period.
    QCOMPARE(m_boxes.constLast().text, Messages::cannotOpenFile(path(u"large.txt"_s), Messages::FileProblem::NotEnoughMemory)
                 + u'.');
    QCOMPARE(m_window->RichEdit1->toPlainText(), u"kept"_s);
    QVERIFY(m_window->CurrentFileName.isEmpty());
}

void tst_FileCommands::failedSaveChangesNothing()
{
    TestFiles::write(path(u"doc.txt"_s), "old content");
    m_window->OpenFile(path(u"doc.txt"_s));
    m_window->RichEdit1->setSelection(0, -1);
    m_window->RichEdit1->replaceSelection(QString(5000, u'x'));
    // A file size limit fails the write midway, as a full disk does.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ::setrlimit(RLIMIT_FSIZE, &small);
    bool failed = false;
    try {
        m_window->FileSaveExecute();
    } catch (const AppError &e) {
        failed = e.text() == u"ストリームへの書き込みに失敗しました"_s;
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    QVERIFY(failed);
    QCOMPARE(TestFiles::read(path(u"doc.txt"_s)), "old content"_ba);
    QVERIFY(m_window->RichEdit1->isModified());
    QCOMPARE(m_window->CurrentFileName, path(u"doc.txt"_s));
    QCOMPARE(m_window->windowTitle(), u"　Penloft          doc.txt"_s);
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).filter(u"doc.txt"_s).size(), 1);
}

void tst_FileCommands::samplesRoundTripThroughTheCommands_data()
{
    QTest::addColumn<QString>("sample");
    QTest::newRow("rich-edit RTF") << QStringLiteral(PENLOFT_FIXTURES "/rtf/richedit-bullets.rtf");
    QTest::newRow("word processor RTF") << QStringLiteral(PENLOFT_FIXTURES "/rtf/word-lists-fields-tables.rtf");
    QTest::newRow("pictures, shppict and WMF") << QStringLiteral(PENLOFT_FIXTURES "/rtf/pictures-shppict-wmf.rtf");
    QTest::newRow("pictures, JPEG") << QStringLiteral(PENLOFT_FIXTURES "/rtf/pictures-jpeg-nonshppict-first.rtf");
    QTest::newRow("pictures, bin") << QStringLiteral(PENLOFT_FIXTURES "/rtf/pictures-bin.rtf");
    QTest::newRow("Shift-JIS text") << QStringLiteral(PENLOFT_FIXTURES "/text/shift-jis.txt");
}

void tst_FileCommands::samplesRoundTripThroughTheCommands()
{
    QFETCH(QString, sample);
    const bool rtf = sample.endsWith(u".rtf"_s);
    const QString copy = path(rtf ? u"copy.rtf"_s : u"copy.txt"_s);
    QFile::remove(copy);
    QVERIFY(QFile::copy(sample, copy));
    m_window->OpenFile(copy);
    const QString text = m_window->RichEdit1->toPlainText();
    const QByteArray asRtf = m_window->RichEdit1->richDocument().save(StreamFormat::Rtf);
    m_window->RichEdit1->setModified(true);
    m_window->FileSaveExecute();
    m_window->OpenFile(copy);
    QCOMPARE(m_window->RichEdit1->toPlainText(), text);
    QCOMPARE(m_window->RichEdit1->richDocument().save(StreamFormat::Rtf), asRtf);
    if (!rtf)
        QCOMPARE(TestFiles::read(copy), TestFiles::read(sample));
}

// A picture has no text: saved as text it writes nothing, and is no character the text
// cannot hold, so no question comes up.
void tst_FileCommands::picturesSavedAsTextAskFirst()
{
    QVERIFY(QFile::copy(QStringLiteral(PENLOFT_FIXTURES "/rtf/pictures-shppict-wmf.rtf"), path(u"pictures.rtf"_s)));
    m_window->OpenFile(path(u"pictures.rtf"_s));
    QCOMPARE(m_window->RichEdit1->textLength(), 23); // each picture one position
    // キャンセル: nothing is written.
    m_dialogAnswers = { FileDialogs::Choice { path(u"pictures.txt"_s), 2 } };
    m_boxAnswers = { QMessageBox::Cancel };
    m_window->FileSaveAsExecute();
    QCOMPARE(m_boxes.size(), 1);
    QVERIFY(!QFile::exists(path(u"pictures.txt"_s)));
    // テキストだけ保存: the text alone, as it was asked.
    m_dialogAnswers = { FileDialogs::Choice { path(u"pictures.txt"_s), 2 } };
    m_boxAnswers = { QMessageBox::No };
    m_window->FileSaveAsExecute();
    QCOMPARE(m_boxes.size(), 2);
    QCOMPARE(TestFiles::read(path(u"pictures.txt"_s)), "before after\r\nsecond "_ba);
}

QTEST_MAIN(tst_FileCommands)
#include "tst_filecommands.moc"
