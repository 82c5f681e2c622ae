#include "app/messagebox.h"
#include "app/pickers.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "printing/systemprinters.h"

#include <QAction>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QString run(const QString &program, const QStringList &arguments)
{
    QProcess p;
    p.start(program, arguments);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int pages(const QString &pdf)
{
    const QRegularExpressionMatch m = QRegularExpression(u"Pages:\\s+(\\d+)"_s).match(run(u"pdfinfo"_s, { pdf }));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString text(const QString &pdf)
{
    QString s = run(u"pdftotext"_s, { u"-enc"_s, u"UTF-8"_s, pdf, u"-"_s });
    s.remove(QRegularExpression(u"\\s"_s));
    return s;
}

} // namespace

class tst_PrintCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void directPrintOfAnEmptyDocumentIsOneEmptyPage();
    void directPrintGoesOnAcrossPages();
    void cancelledDialogPrintsNothing();
    void directPrintThatCannotStartIsReported();
    void printerChosenInThePrintDialogIsKept();

private:
    TPenForm1 *m_window = nullptr;
    QTemporaryDir m_dir;
    QString m_pdf;
    bool m_accept = true;
    QString m_jobTitle;
    QStringList m_errors;
};

void tst_PrintCommands::initTestCase()
{
    if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty())
        QSKIP("poppler-utils are not installed");
}

void tst_PrintCommands::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    m_errors.clear();
    MessageBox::setSink([this](QWidget *, const MessageBox::Request &request) {
        m_errors += request.text;
        return QMessageBox::Ok;
    });
    m_pdf = m_dir.filePath(u"direct.pdf"_s);
    QFile::remove(m_pdf);
    m_accept = true;
    // The dialog's choice: a PDF file stands in for the printer.
    Pickers::setPrinterRunner([this](QWidget *, QPrinter &printer, bool) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(m_pdf);
        return m_accept;
    });
    m_window = new TPenForm1;
}

void tst_PrintCommands::cleanup()
{
    delete m_window;
    SystemPrinters::setStandInQueues({}, {}, {});
    Pickers::setPrinterRunner({});
    MessageBox::setSink({});
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_PrintCommands::directPrintOfAnEmptyDocumentIsOneEmptyPage()
{
    m_window->FilePrintExecute();
    QCOMPARE(pages(m_pdf), 1);
    QCOMPARE(text(m_pdf), QString());
}

void tst_PrintCommands::directPrintGoesOnAcrossPages()
{
    QString body;
    for (int i = 0; i < 300; ++i)
        body += u"第%1行の文章です。\n"_s.arg(i);
    m_window->RichEdit1->replaceSelection(body);
    m_window->FilePrintExecute();
    QVERIFY(pages(m_pdf) > 3);
    QString expected = body;
    expected.remove(QRegularExpression(u"\\s"_s));
    QCOMPARE(text(m_pdf), expected); // no margins, headers or footers of its own
}

void tst_PrintCommands::cancelledDialogPrintsNothing()
{
    m_accept = false;
    m_window->FilePrintExecute();
    QVERIFY(!QFile::exists(m_pdf));
}

void tst_PrintCommands::directPrintThatCannotStartIsReported()
{
    m_pdf = m_dir.filePath(u"no/such/folder/direct.pdf"_s);
    m_window->command(u"FilePrint"_s)->trigger();
    QCOMPARE(m_errors, QStringList { QString::fromUtf16(u"印刷を開始できません.") });
}

// The printer, copies and the rest chosen in the print dialog are the program's printer from
// then on: the next direct print's dialog starts with them and prints there.
void tst_PrintCommands::printerChosenInThePrintDialogIsKept()
{
    const QString office = u"事務室"_s;
    const QString upstairs = u"二階"_s;
    SystemPrinters::setStandInQueues({ office, upstairs }, office, m_dir.path());
    const QString officePdf = m_dir.filePath(office + u".pdf"_s);
    const QString upstairsPdf = m_dir.filePath(upstairs + u".pdf"_s);
    QFile::remove(officePdf);
    QFile::remove(upstairsPdf);
    // The dialog: what it starts with, and the second printer and two copies chosen the
    // first time.
    QStringList shown;
    QList<int> copiesShown;
    Pickers::setPrinterRunner([&](QWidget *, QPrinter &printer, bool setupOnly) {
        if (setupOnly)
            return false;
        shown += SystemPrinters::queueOf(printer);
        copiesShown += printer.copyCount();
        if (shown.size() == 1) {
            SystemPrinters::selectQueue(printer, upstairs);
            printer.setCopyCount(2);
        }
        return true;
    });
    m_window->RichEdit1->replaceSelection(u"一回目の印刷"_s);
    m_window->command(u"FilePrint"_s)->trigger();
    QCOMPARE(text(upstairsPdf), u"一回目の印刷"_s);
    QFile::remove(upstairsPdf);

    m_window->RichEdit1->selectAll();
    m_window->RichEdit1->replaceSelection(u"二回目の印刷"_s);
    m_window->command(u"FilePrint"_s)->trigger();
    QCOMPARE(m_errors, QStringList());
    QCOMPARE(shown, QStringList({ office, upstairs }));
    QCOMPARE(copiesShown, QList<int>({ 1, 2 }));
    QCOMPARE(text(upstairsPdf), u"二回目の印刷"_s);
    QVERIFY(!QFile::exists(officePdf));
    // The report's print goes there too.
    QCOMPARE(m_window->chosenPrinter(), upstairs);
}

QTEST_MAIN(tst_PrintCommands)
#include "tst_printcommands.moc"
