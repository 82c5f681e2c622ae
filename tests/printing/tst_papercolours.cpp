#include "app/messagebox.h"
#include "app/pickers.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richdocument.h"
#include "document/richedit.h"
#include "printing/tpreviewwindow.h"
#include "printing/tprintreport2.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "pdfpages.h"
#include "testfiles.h"

using namespace Qt::StringLiterals;
using PdfPages::blackPixels;
using PdfPages::rendered;

namespace {

// A dark theme as desktops set it: light text on dark grey, in every role paper could borrow.
QPalette darkPalette()
{
    QPalette p;
    const QColor window(53, 53, 53);
    const QColor base(42, 42, 42);
    for (const auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled }) {
        p.setColor(group, QPalette::Window, window);
        p.setColor(group, QPalette::WindowText, Qt::white);
        p.setColor(group, QPalette::Base, base);
        p.setColor(group, QPalette::AlternateBase, window);
        p.setColor(group, QPalette::Text, Qt::white);
        p.setColor(group, QPalette::Button, window);
        p.setColor(group, QPalette::ButtonText, Qt::white);
        p.setColor(group, QPalette::Light, QColor(80, 80, 80));
        p.setColor(group, QPalette::Midlight, QColor(70, 70, 70));
        p.setColor(group, QPalette::Dark, QColor(25, 25, 25));
        p.setColor(group, QPalette::Mid, QColor(40, 40, 40));
        p.setColor(group, QPalette::Shadow, Qt::black);
        p.setColor(group, QPalette::Highlight, QColor(42, 130, 218));
        p.setColor(group, QPalette::HighlightedText, Qt::black);
    }
    return p;
}

// Automatic text, a word in red, a bulleted paragraph and a table.
const QByteArray Document = "{\\rtf1\\ansi\\ansicpg932{\\colortbl ;\\red255\\green0\\blue0;}"
                            "\\fs36 Automatic colour \\'93\\'fa\\'96\\'7b\\'8c\\'ea {\\cf1 red} text.\\par\\fs22 "
                            "{\\pntext\\'b7\\tab}{\\*\\pn\\pnlvlblt}\\li400 A bullet\\par\\pard "
                            "\\trowd\\cellx2000\\cellx4000\\pard\\intbl cell one\\cell cell two\\cell\\row\\pard "
                            "After the table\\par}";

} // namespace

class tst_PaperColours : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void paperIsTheSameUnderADarkTheme();

private:
    struct Printed {
        QImage previewPage;
        QList<QImage> report;
        QList<QImage> direct;
        QColor automaticText; // on the screen
        QColor editorText;
    };
    Printed printUnder(const QPalette &palette, const QString &name);

    QTemporaryDir m_dir;
};

void tst_PaperColours::initTestCase()
{
    if (QStandardPaths::findExecutable(u"pdftoppm"_s).isEmpty())
        QSKIP("poppler-utils are not installed");
    QVERIFY(m_dir.isValid());
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    TestFiles::write(m_dir.filePath(u"colours.rtf"_s), Document);
}

void tst_PaperColours::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    MessageBox::setSink([](QWidget *, const MessageBox::Request &) { return QMessageBox::Ok; });
}

void tst_PaperColours::cleanup()
{
    Pickers::setPrinterRunner({});
    MessageBox::setSink({});
    QApplication::setPalette(QApplication::style()->standardPalette());
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

// The preview's page (what its image shows of the paper), the report printed from the preview,
// and the direct print, with the application under `palette`.
tst_PaperColours::Printed tst_PaperColours::printUnder(const QPalette &palette, const QString &name)
{
    QApplication::setPalette(palette);
    Printed printed;
    const QString reportPdf = m_dir.filePath(name + u"-report.pdf"_s);
    const QString directPdf = m_dir.filePath(name + u"-direct.pdf"_s);
    TPenForm1 window;
    TPrintReport2 report;
    report.setParentRichEdit(&window.RichEdit1->richDocument());
    report.setPrinter(true, [&reportPdf](const QString &title) {
        auto writer = std::make_unique<QPdfWriter>(reportPdf);
        writer->setTitle(title);
        writer->setResolution(300);
        ReportPrinter printer;
        printer.device = std::move(writer);
        return printer;
    });
    window.setPrintReport(&report);
    window.show();
    window.OpenFile(m_dir.filePath(u"colours.rtf"_s));
    printed.automaticText = window.RichEdit1->richDocument().windowTextColor();
    printed.editorText = window.RichEdit1->palette().color(QPalette::Text);

    // The preview: its page as shown, then 印刷.
    bool done = false;
    QTimer poll;
    poll.setInterval(1);
    connect(&poll, &QTimer::timeout, this, [&] {
        TPreviewWindow *preview = window.previewWindow();
        if (done || !preview || !preview->Print->isEnabled())
            return;
        done = true;
        poll.stop();
        TPageImage *image = preview->PageView->image();
        QTRY_VERIFY(image->hasPage());
        // The paper and its outline, not the shadow's corners, which show the window behind.
        printed.previewPage = image->grab().toImage().copy(0, 0, image->width() - 2, image->height() - 2);
        QTest::mouseClick(preview->Print, Qt::LeftButton);
        QTRY_VERIFY(QFile::exists(reportPdf) && !report.isBusy());
        preview->close();
    });
    poll.start();
    QTimer::singleShot(0, &window, [&] { window.command(u"FilePureview"_s)->trigger(); });
    static_cast<void>(QTest::qWaitFor([&] { return done && !window.previewWindow(); }, 60000));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // The direct print, into a PDF file chosen in the dialog.
    Pickers::setPrinterRunner([&directPdf](QWidget *, QPrinter &printer, bool) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(directPdf);
        return true;
    });
    window.command(u"FilePrint"_s)->trigger();
    printed.report = rendered(reportPdf);
    printed.direct = rendered(directPdf);
    window.RichEdit1->setModified(false);
    return printed;
}

// Paper is white and automatic text black whatever the screen's theme; the editor on the screen
// follows the theme.
void tst_PaperColours::paperIsTheSameUnderADarkTheme()
{
    const Printed light = printUnder(QApplication::style()->standardPalette(), u"light"_s);
    const Printed dark = printUnder(darkPalette(), u"dark"_s);
    QCOMPARE(QApplication::palette().color(QPalette::Base), QColor(42, 42, 42));
    // On the screen, automatic text is the editor's text colour.
    QCOMPARE(light.automaticText, light.editorText);
    QCOMPARE(dark.automaticText, dark.editorText);

    QVERIFY(!light.previewPage.isNull());
    QCOMPARE(light.report.size(), 1);
    QCOMPARE(light.direct.size(), 1);
    QVERIFY(blackPixels(light.report.first()) > 100);
    QVERIFY(blackPixels(light.direct.first()) > 100);
    QVERIFY(blackPixels(light.previewPage) > 100);

    QCOMPARE(dark.previewPage, light.previewPage);
    QCOMPARE(dark.report.size(), light.report.size());
    QVERIFY2(dark.report.first() == light.report.first(), "the report printed differs under the dark theme");
    QCOMPARE(dark.direct.size(), light.direct.size());
    QVERIFY2(dark.direct.first() == light.direct.first(), "the direct print differs under the dark theme");
}

QTEST_MAIN(tst_PaperColours)
#include "tst_papercolours.moc"
