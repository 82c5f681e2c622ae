// Saving through the main window where the file must not be replaced: the real error box shows,
// and the file and the document stay as they were.

#include "document/apperror.h"
#include "app/messagebox.h"
#include "document/documentmessages.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richedit.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "testfiles.h"

#include <sys/stat.h>

using namespace Qt::StringLiterals;

class tst_SaveSafety : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void readOnlyFileIsNotReplacedBySave();

private:
    QTemporaryDir m_dir;
    TPenForm1 *m_window = nullptr;
};

void tst_SaveSafety::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    MessageBox::setSink({}); // the real boxes
    m_window = new TPenForm1;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_SaveSafety::cleanup()
{
    delete m_window;
    m_window = nullptr;
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_SaveSafety::readOnlyFileIsNotReplacedBySave()
{
    const QString path = m_dir.filePath(u"readonly.txt"_s);
    TestFiles::write(path, "as it was");
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    m_window->OpenFile(path);
    m_window->RichEdit1->setSelection(0, 0);
    m_window->RichEdit1->setFocus();
    QTest::keyClicks(m_window->RichEdit1->viewport(), u"new "_s);
    QVERIFY(m_window->RichEdit1->isModified());
    const QString title = m_window->windowTitle();

    // The error box is modal: read and close it from inside its own event loop.
    QString shown;
    QString caption;
    bool closed = false;
    QTimer::singleShot(0, this, [&] {
        QTRY_VERIFY(qobject_cast<QMessageBox *>(QApplication::activeModalWidget()));
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        shown = box->text();
        caption = box->windowTitle();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        closed = true;
    });
    QAction *save = m_window->findChild<QAction *>(u"FileSave"_s);
    QVERIFY(save);
    save->trigger();
    QTRY_VERIFY(closed);

    QCOMPARE(caption, u"Penloft"_s);
    QCOMPARE(shown, Messages::cannotWrite(path) + u'.');
    QCOMPARE(TestFiles::read(path), "as it was"_ba);
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    QCOMPARE(st.st_mode & 07777, mode_t(0444));
    QVERIFY(m_window->RichEdit1->isModified());
    QCOMPARE(m_window->CurrentFileName, path);
    QCOMPARE(m_window->windowTitle(), title);
    QVERIFY(m_window->RichEdit1->document()->toPlainText().startsWith(u"new as it was"_s));
}

QTEST_MAIN(tst_SaveSafety)
#include "tst_savesafety.moc"
