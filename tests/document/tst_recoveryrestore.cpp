// What a restored document becomes, and where Save then writes it: only a document that is all
// there takes its name back, only a name it may take, and Save never replaces a file silently
// that changed after the work was kept. Through the real start-up, its boxes and dialogs, and
// Ctrl+S on the editor.

#include "app/messages.h"
#include "app/settingsfile.h"
#include "document/documentfile.h"
#include "document/recoveryfile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "recoverystart.h"
#include "testfiles.h"

using namespace Qt::StringLiterals;
using namespace RecoveryStart;

namespace {

const QString Restore = QString::fromUtf16(Messages::ButtonRestore);
const QString Yes = QString::fromUtf16(Messages::ButtonYes);
const QString No = QString::fromUtf16(Messages::ButtonNo);
const QString NewTitle = QString::fromUtf16(Messages::NewDocumentTitle);
const QByteArray Original = "{\\rtf1 the original, intact}";
const QByteArray Kept = "{\\rtf1\\ansi {\\b kept} words\\par}\r\n";

} // namespace

class tst_RecoveryRestore : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void aRestoredDocumentTakesOnlyASafeName_data();
    void aRestoredDocumentTakesOnlyASafeName();
    void saveAsksBeforeReplacingAFileChangedSince_data();
    void saveAsksBeforeReplacingAFileChangedSince();
    void anIncompleteFileIsRestoredAsANewDocument_data();
    void anIncompleteFileIsRestoredAsANewDocument();
    void aRestoreTheMemoryCannotHoldIsRefused();

private:
    // Starts the program, restores what it offers, and presses Ctrl+S; every box the start and
    // the save show is answered by `answer` (復元 for the offer) and logged.
    void restoreAndSave(ModalLog &log);

    QTemporaryDir m_state;
    QTemporaryDir m_files;
    // The program's current folder, two levels down in a folder of its own: where a relative
    // name would be written.
    QTemporaryDir m_current;
    std::unique_ptr<Program> m_program;
};

void tst_RecoveryRestore::initTestCase()
{
    qputenv("XDG_STATE_HOME", QFile::encodeName(m_state.path()));
    QVERIFY(QDir().mkpath(m_current.filePath(u"a/b"_s)));
    QVERIFY(QDir::setCurrent(m_current.filePath(u"a/b"_s)));
    Startup::setUpApplication();
}

void tst_RecoveryRestore::init()
{
    m_program.reset();
    QDir(RecoveryFile::folder()).removeRecursively();
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    for (const QString &name : QDir(m_files.path()).entryList(QDir::Files | QDir::Hidden))
        QFile::remove(m_files.filePath(name));
}

void tst_RecoveryRestore::restoreAndSave(ModalLog &log)
{
    m_program = std::make_unique<Program>();
    m_program->start();
    QVERIFY(!log.boxes.isEmpty());
    QTRY_COMPARE(m_program->window()->RichEdit1->toPlainText(), u"kept words"_s);
    QVERIFY(m_program->window()->RichEdit1->isModified());
    pressSave(m_program->window());
}

void tst_RecoveryRestore::aRestoredDocumentTakesOnlyASafeName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("named");
    QTest::newRow("relative, with a line break") << u"../../x\ny.txt"_s << false;
    QTest::newRow("relative") << u"memo.txt"_s << false;
    QTest::newRow("absolute, with a tab") << m_files.filePath(u"a\tb.txt"_s) << false;
    QTest::newRow("in a missing folder") << m_files.filePath(u"missing/memo.txt"_s) << false;
    QTest::newRow("a folder") << m_files.path() << false;
    QTest::newRow("a file that is gone, in its folder") << m_files.filePath(u"gone.rtf"_s) << true;
}

void tst_RecoveryRestore::aRestoredDocumentTakesOnlyASafeName()
{
    QFETCH(QString, path);
    QFETCH(bool, named);
    leave(endedHeader(path), Kept);
    ModalLog log([](const RealDialogs::Box &) { return Restore; });
    restoreAndSave(log);
    TPenForm1 *window = m_program->window();
    // The offer names it on one line of its own, whatever the name holds.
    QCOMPARE(log.boxes.first().text.count(u'\n'), 3);
    if (named) {
        // Its file is made again where it was.
        QCOMPARE(window->CurrentFileName, path);
        QVERIFY(TestFiles::read(path).contains("kept"));
        QCOMPARE(log.fileDialogs, 0);
        return;
    }
    // A new document: Save asks for a name (the dialog, cancelled here), and writes nothing.
    QCOMPARE(window->CurrentFileName, QString());
    QCOMPARE(window->windowTitle(), NewTitle);
    QCOMPARE(log.fileDialogs, 1);
    QCOMPARE(log.boxes.size(), 1);
    QVERIFY(window->RichEdit1->isModified());
    QStringList written;
    for (QDirIterator it(m_current.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
        written += it.next();
    QCOMPARE(written, QStringList());
}

void tst_RecoveryRestore::saveAsksBeforeReplacingAFileChangedSince_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("unchanged: saved there as before") << u"none"_s << QString() << true;
    QTest::newRow("changed since, No") << u"changed"_s << No << false;
    QTest::newRow("changed since, Yes") << u"changed"_s << Yes << true;
    QTest::newRow("made since, No") << u"made"_s << No << false;
    QTest::newRow("not recorded, No") << u"unrecorded"_s << No << false;
}

void tst_RecoveryRestore::saveAsksBeforeReplacingAFileChangedSince()
{
    QFETCH(QString, change);
    QFETCH(QString, answer);
    QFETCH(bool, replaced);
    const QString document = m_files.filePath(u"letter.rtf"_s);
    if (change != u"made")
        TestFiles::write(document, Original);
    RecoveryFile::Header header = endedHeader(document);
    if (change == u"unrecorded")
        header.originalStamp.clear();
    leave(header, Kept);
    QByteArray expected = Original;
    if (change == u"changed") {
        expected = "{\\rtf1 saved later by someone else}";
        TestFiles::write(document, expected);
    } else if (change == u"made") {
        expected = "{\\rtf1 made later}";
        TestFiles::write(document, expected);
    }
    ModalLog log([&](const RealDialogs::Box &box) { return box.text.startsWith(u"前回") ? Restore : answer; });
    restoreAndSave(log);
    QCOMPARE(m_program->window()->CurrentFileName, document);
    QCOMPARE(m_program->window()->windowTitle(), u"　Penloft          letter.rtf"_s);
    if (change == u"none") {
        QCOMPARE(log.boxes.size(), 1);
    } else {
        QCOMPARE(log.boxes.size(), 2);
        QCOMPARE(log.boxes.last().text, Messages::restoredFileChanged(document));
        QCOMPARE(log.boxes.last().buttons, (QStringList { Yes, No }));
    }
    QCOMPARE(TestFiles::read(document).contains("kept"), replaced);
    if (!replaced)
        QCOMPARE(TestFiles::read(document), expected);
    QCOMPARE(m_program->window()->RichEdit1->isModified(), !replaced);
}

void tst_RecoveryRestore::anIncompleteFileIsRestoredAsANewDocument_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<int>("chop"); // bytes cut off the end
    QTest::addColumn<bool>("offeredIncomplete"); // seen from the header and the file's end
    QTest::addColumn<bool>("foundDamaged"); // seen only once read, and said then
    QTest::newRow("whole") << u"none"_s << 0 << false << false;
    QTest::newRow("cut off") << u"none"_s << 12 << true << false;
    QTest::newRow("longer than written") << u"longer"_s << 0 << true << false;
    QTest::newRow("changed inside") << u"flipped"_s << 0 << false << true;
    QTest::newRow("cut in the header") << u"header"_s << 0 << true << false;
    // Files of earlier versions record no length and no digest.
    QTest::newRow("earlier version, whole") << u"old"_s << 0 << false << false;
    QTest::newRow("earlier version, cut in a word") << u"old"_s << 4 << true << false;
    QTest::newRow("earlier version, cut after a group") << u"old"_s << 12 << false << true;
}

void tst_RecoveryRestore::anIncompleteFileIsRestoredAsANewDocument()
{
    QFETCH(QString, damage);
    QFETCH(int, chop);
    QFETCH(bool, offeredIncomplete);
    QFETCH(bool, foundDamaged);
    const bool named = !offeredIncomplete && !foundDamaged;
    const QString document = m_files.filePath(u"letter.rtf"_s);
    TestFiles::write(document, Original);
    const QString file = leave(endedHeader(document), Kept);
    QByteArray content = TestFiles::read(file);
    const qsizetype body = content.indexOf("\n\n") + 2;
    if (damage == u"longer")
        content += "\0\0\0\0"_ba;
    else if (damage == u"flipped")
        content[content.indexOf("kept")] = 'K';
    else if (damage == u"old")
        content.remove(content.indexOf("\nlength: "), content.indexOf("\n\n") - content.indexOf("\nlength: "));
    else if (damage == u"header")
        content.truncate(body - 10);
    content.chop(chop);
    TestFiles::write(file, content);

    ModalLog log([](const RealDialogs::Box &box) { return box.text.startsWith(u"前回") ? Restore : QString(); });
    m_program = std::make_unique<Program>();
    m_program->start();
    QVERIFY(!log.boxes.isEmpty());
    QCOMPARE(log.boxes.first().text.endsWith(QString::fromUtf16(Messages::RecoveredIncomplete)), offeredIncomplete);
    TPenForm1 *window = m_program->window();
    QTRY_VERIFY(window->RichEdit1->isModified());
    QCOMPARE(log.boxes.size(), foundDamaged ? 2 : 1);
    if (foundDamaged)
        QCOMPARE(log.boxes.last().text, QString::fromUtf16(Messages::RecoveredDamaged));
    QCOMPARE(window->CurrentFileName, named ? document : QString());
    QCOMPARE(window->windowTitle(), named ? u"　Penloft          letter.rtf"_s : NewTitle);
    // Save: a new document asks for a name; the original stays as it was until the user names it.
    pressSave(window);
    QCOMPARE(log.fileDialogs, named ? 0 : 1);
    QCOMPARE(TestFiles::read(document) == Original, !named);
    QVERIFY(!QFile::exists(file));
}

void tst_RecoveryRestore::aRestoreTheMemoryCannotHoldIsRefused()
{
    const QString file = leave(endedHeader(), Kept);
    DocumentFile::setMemoryProbe([] { return qint64(1) << 20; });
    ModalLog log([](const RealDialogs::Box &box) { return box.text.startsWith(u"前回") ? Restore : QString(); });
    m_program = std::make_unique<Program>();
    m_program->start();
    DocumentFile::setMemoryProbe({});
    QCOMPARE(log.boxes.size(), 2);
    QCOMPARE(log.boxes.last().text, Messages::cannotOpenFile(file, Messages::FileProblem::NotEnoughMemory) + u'.');
    QCOMPARE(m_program->window()->RichEdit1->toPlainText(), QString());
    QVERIFY(QFile::exists(file));
}

QTEST_MAIN(tst_RecoveryRestore)
#include "tst_recoveryrestore.moc"
