#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "printing/pagesetupdialog.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "converterrun.h"
#include "realdialogs.h"
#include "testfiles.h"

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(PageSetup)

namespace {

PageSetup setupOf(int w, int h, int l, int r, int t, int b)
{
    PageSetup s;
    s.paperWidthTwips = w;
    s.paperHeightTwips = h;
    s.leftTwips = l;
    s.rightTwips = r;
    s.topTwips = t;
    s.bottomTwips = b;
    s.landscape = w > h;
    s.set = true;
    return s;
}

// The bounding boxes of the words pdftotext finds on the first page, in points.
QList<QRectF> wordBoxes(const QString &pdf)
{
    const QString html = ConverterRun::output(u"pdftotext"_s, { u"-bbox"_s, u"-f"_s, u"1"_s, u"-l"_s, u"1"_s, pdf, u"-"_s });
    const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">"));
    QList<QRectF> boxes;
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        boxes.append(QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                            QPointF(m.captured(3).toDouble(), m.captured(4).toDouble())));
    }
    return boxes;
}

} // namespace

// File > Page setup through the real window and dialog: what the document keeps and saves, and
// the pages the converter makes from it.
class tst_PageSetup : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void readFromRtfClamped_data();
    void readFromRtfClamped();
    void chosenInTheDialogSavedAndPrinted();
};

void tst_PageSetup::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    MessageBox::setSink({});
}

void tst_PageSetup::cleanup()
{
    RealDialogs::cancelPending();
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

void tst_PageSetup::readFromRtfClamped_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<PageSetup>("expected");
    QTest::newRow("none") << QByteArray("{\\rtf1\\ansi\\pard x\\par}") << PageSetup();
    QTest::newRow("A5 landscape") << QByteArray("{\\rtf1\\ansi\\paperw11900\\paperh8400\\margl1134\\margr850\\margt1417"
                                                "\\margb567\\landscape\\viewkind4\\pard x\\par}")
                                  << setupOf(11900, 8400, 1134, 850, 1417, 567);
    QTest::newRow("\\landscape turns a portrait paper")
        << QByteArray("{\\rtf1\\paperw8400\\paperh11900\\landscape\\margl0\\margr0\\margt0\\margb0 x}")
        << setupOf(11900, 8400, 0, 0, 0, 0);
    QTest::newRow("huge and negative numbers clamped")
        << QByteArray("{\\rtf1\\paperw99999999999999999999\\paperh-5\\margl-100\\margr999999\\margt7200\\margb7200 x}")
        << setupOf(31680, 1440, 0, 31680 - 1440, 0, 0);
    QTest::newRow("words in groups and after the text are not the page's")
        << QByteArray("{\\rtf1{\\*\\x\\paperw5000}\\margl2000{\\pict\\bin4 \\pap}\\pard text\\paperh5000}")
        << setupOf(PageSetup::A4WidthTwips, PageSetup::A4HeightTwips, 2000, PageSetup::DefaultSideTwips,
                   PageSetup::DefaultTopTwips, PageSetup::DefaultTopTwips);
}

void tst_PageSetup::readFromRtfClamped()
{
    QFETCH(QByteArray, rtf);
    QFETCH(PageSetup, expected);
    const PageSetup read = PageSetup::fromRtf(rtf);
    QCOMPARE(read.isSet(), expected.isSet());
    if (!expected.isSet())
        return;
    QCOMPARE(read.paperWidthTwips, expected.paperWidthTwips);
    QCOMPARE(read.paperHeightTwips, expected.paperHeightTwips);
    QCOMPARE(read.leftTwips, expected.leftTwips);
    QCOMPARE(read.rightTwips, expected.rightTwips);
    QCOMPARE(read.topTwips, expected.topTwips);
    QCOMPARE(read.bottomTwips, expected.bottomTwips);
    QCOMPARE(read.landscape, expected.landscape);
}

void tst_PageSetup::chosenInTheDialogSavedAndPrinted()
{
    QTemporaryDir dir;
    TPenForm1 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.RichEdit1->setFocus();
    QTest::keyClicks(window.RichEdit1, u"Margins"_s);
    window.RichEdit1->setModified(false);

    // A5, landscape, margins of 20, 15, 25 and 10 mm, typed into the boxes; then OK.
    RealDialogs::whenModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<PageSetupDialog *>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->paperBox()->currentText(), QPageSize(QPageSize::A4).name());
        QVERIFY(dialog->portraitButton()->isChecked());
        dialog->paperBox()->setCurrentIndex(dialog->paperBox()->findText(QPageSize(QPageSize::A5).name()));
        QTest::mouseClick(dialog->landscapeButton(), Qt::LeftButton);
        const double mm[4] = { 20, 15, 25, 10 };
        for (int side = 0; side < 4; ++side) {
            QDoubleSpinBox *box = dialog->marginBox(side);
            box->selectAll();
            QTest::keyClicks(box, QString::number(mm[side]));
            QTest::keyClick(box, Qt::Key_Tab);
        }
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    window.command(u"FilePageSetup"_s)->trigger();
    QVERIFY(window.RichEdit1->isModified());

    const QString rtf = dir.filePath(u"a5.rtf"_s);
    window.RichEdit1->saveFile(rtf);
    const QByteArray saved = TestFiles::read(rtf);
    QVERIFY2(saved.contains("\\paperw11900\\paperh8400\\margl1134\\margr850\\margt1417\\margb567\\landscape"),
             saved.left(300).constData());

    // Opened again it keeps them; a new document has none.
    window.RichEdit1->setModified(false);
    window.FileNewExecute();
    QVERIFY(!window.RichEdit1->richDocument().pageSetup().isSet());
    window.OpenFile(rtf);
    QCOMPARE(window.RichEdit1->richDocument().pageSetup(), setupOf(11900, 8400, 1134, 850, 1417, 567));

    // The converter's PDF: A5 landscape, the text inside the margins.
    const ConverterRun::Run run = ConverterRun::convert({ u"--convert-to"_s, u"pdf"_s, u"a5.rtf"_s }, dir.path());
    QVERIFY2(run.status == 0, qPrintable(run.errors));
    const QString pdf = dir.filePath(u"a5.pdf"_s);
    const QString info = ConverterRun::output(u"pdfinfo"_s, { pdf });
    QVERIFY2(info.contains(QRegularExpression(u"Page size:\\s+59[45](\\.\\d+)? x 4(19|20)(\\.\\d+)? pts"_s)), qPrintable(info));
    const QList<QRectF> words = wordBoxes(pdf);
    QVERIFY(!words.isEmpty());
    const QRectF inside(QPointF(20 * 72 / 25.4 - 1, 25 * 72 / 25.4 - 1), QPointF(595.3 - 15 * 72 / 25.4 + 1, 419.5 - 10 * 72 / 25.4 + 1));
    bool found = false;
    for (const QRectF &box : words) {
        QVERIFY2(inside.contains(box), qPrintable(u"%1,%2 %3x%4"_s.arg(box.x()).arg(box.y()).arg(box.width()).arg(box.height())));
        found = found || box.left() < 20 * 72 / 25.4 + 20;
    }
    QVERIFY(found); // the text begins at the left margin
}

QTEST_MAIN(tst_PageSetup)
#include "tst_pagesetup.moc"
