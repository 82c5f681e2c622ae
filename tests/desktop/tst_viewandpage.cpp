// The editor's zoom and the picture insertion on the session's desktop: real keys and wheel
// turns through the X server, the real file dialog, and what the screen shows.

#include "desktop.h"

#include "app/tpenform1.h"
#include "document/richedit.h"
#include "printing/pagesetupdialog.h"

#include <QAction>
#include <QBuffer>
#include <QFileDialog>
#include <QImage>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The editor's viewport as the screen shows it.
QImage shownEditor(const TPenForm1 &window)
{
    const QWidget *viewport = window.RichEdit1->viewport();
    return Desktop::grabScreen(QRect(viewport->mapToGlobal(QPoint(0, 0)), viewport->size()));
}

int inkWidth(const QImage &image)
{
    int first = image.width();
    int last = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qGray(image.pixel(x, y)) < 96) {
                first = qMin(first, x);
                last = qMax(last, x);
            }
        }
    }
    return last - first + 1;
}

int redPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.red() > 200 && c.green() < 60 && c.blue() < 60;
        }
    }
    return count;
}

// Turns the wheel over the editor with Ctrl held: `notches` up (positive) or down.
void ctrlWheel(const TPenForm1 &window, int notches)
{
    const QWidget *viewport = window.RichEdit1->viewport();
    const QPoint at = viewport->mapToGlobal(viewport->rect().center());
    QStringList arguments { u"mousemove"_s, QString::number(at.x()), QString::number(at.y()), u"keydown"_s, u"ctrl"_s };
    for (int i = 0; i < qAbs(notches); ++i)
        arguments << u"click"_s << (notches > 0 ? u"4"_s : u"5"_s);
    arguments << u"keyup"_s << u"ctrl"_s;
    Desktop::run(u"xdotool"_s, arguments);
}

} // namespace

class tst_DesktopViewAndPage : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        if (QTest::currentTestFailed())
            Desktop::recordFailure();
    }
    void zoomWithKeysAndWheel();
    void insertPictureThroughTheFileDialog();
    void pageSetupThroughTheDialog();
};

void tst_DesktopViewAndPage::zoomWithKeysAndWheel()
{
    Desktop::Session session;
    QVERIFY2(session.isActive(), qPrintable(Desktop::focusReport()));
    TPenForm1 &window = session.window();
    RichEdit *edit = window.RichEdit1;
    edit->replaceSelection(u"MMMMMMMM"_s);
    const QByteArray saved = edit->save();
    // The text alone: not a window not painted yet, dark all over.
    QVERIFY(Desktop::waitFor([&] {
        const int width = inkWidth(shownEditor(window));
        return width > 20 && width < edit->viewport()->width() / 3;
    }));
    const int width100 = inkWidth(shownEditor(window));

    Desktop::keys({ u"ctrl+equal"_s, u"ctrl+equal"_s, u"ctrl+equal"_s });
    QVERIFY2(Desktop::waitFor([&] { return edit->zoomPercent() == 200; }), qPrintable(QString::number(edit->zoomPercent())));
    QVERIFY2(Desktop::waitFor([&] {
                 const int width = inkWidth(shownEditor(window));
                 return width > width100 * 18 / 10 && width < width100 * 22 / 10;
             }),
             qPrintable(u"%1 at 100 %, %2 at 200 %"_s.arg(width100).arg(inkWidth(shownEditor(window)))));
    Desktop::key(u"ctrl+minus"_s);
    QVERIFY(Desktop::waitFor([&] { return edit->zoomPercent() == 150; }));
    Desktop::key(u"ctrl+0"_s);
    QVERIFY(Desktop::waitFor([&] { return edit->zoomPercent() == 100; }));

    ctrlWheel(window, 2);
    QVERIFY2(Desktop::waitFor([&] { return edit->zoomPercent() == 150; }), qPrintable(QString::number(edit->zoomPercent())));
    ctrlWheel(window, -1);
    QVERIFY(Desktop::waitFor([&] { return edit->zoomPercent() == 125; }));
    QCOMPARE(edit->toPlainText(), u"MMMMMMMM"_s);
    QCOMPARE(edit->save(), saved);
}

void tst_DesktopViewAndPage::insertPictureThroughTheFileDialog()
{
    QTemporaryDir folder;
    QImage red(60, 40, QImage::Format_RGB32);
    red.fill(Qt::red);
    const QString path = folder.filePath(u"赤.png"_s);
    QVERIFY(red.save(path, "PNG"));

    Desktop::Session session;
    QVERIFY2(session.isActive(), qPrintable(Desktop::focusReport()));
    TPenForm1 &window = session.window();
    window.RichEdit1->replaceSelection(u"ab"_s);
    window.RichEdit1->setSelection(1, 1);

    QString problem;
    Desktop::Script script;
    script.withModal<QFileDialog>(u"the open dialog"_s, [&](QFileDialog *dialog) {
        auto *name = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s);
        if (!name) {
            problem = u"the dialog has no name box"_s;
            return;
        }
        // Straight into the box: the session's input method would compose the name typed.
        name->setText(path);
        Desktop::keysIn(dialog, { u"Return"_s });
    });
    script.start();
    window.command(u"EditInsertPicture"_s)->trigger();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY2(script.isDone(), qPrintable(script.failure()));
    QCOMPARE(window.RichEdit1->toPlainText(), u"a\uFFFCb"_s);
    QVERIFY2(Desktop::waitFor([&] { return redPixels(shownEditor(window)) >= 60 * 40 * 9 / 10; }),
             qPrintable(QString::number(redPixels(shownEditor(window)))));
    const QString saved = folder.filePath(u"saved.rtf"_s);
    window.RichEdit1->saveFile(saved);
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("\\pngblip"));
}

void tst_DesktopViewAndPage::pageSetupThroughTheDialog()
{
    QTemporaryDir folder;
    Desktop::Session session;
    QVERIFY2(session.isActive(), qPrintable(Desktop::focusReport()));
    TPenForm1 &window = session.window();
    window.RichEdit1->replaceSelection(u"page"_s);

    // A5 from the list, 横 clicked, OK with Return: as a user does on the screen.
    QString problem;
    Desktop::Script script;
    script.withModal<PageSetupDialog>(u"the page setup"_s, [&](PageSetupDialog *dialog) {
        const int a5 = dialog->paperBox()->findText(QPageSize(QPageSize::A5).name());
        if (a5 < 0) {
            problem = u"no A5 in the paper list"_s;
            return;
        }
        dialog->paperBox()->setCurrentIndex(a5);
        if (!Desktop::clickOn(dialog->landscapeButton())
            || !Desktop::waitFor([&] { return dialog->landscapeButton()->isChecked(); })) {
            problem = u"横 could not be clicked: "_s + Desktop::focusReport();
            return;
        }
        Desktop::keysIn(dialog, { u"Return"_s });
    });
    script.start();
    window.command(u"FilePageSetup"_s)->trigger();
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY2(script.isDone(), qPrintable(script.failure()));
    const PageSetup setup = window.RichEdit1->richDocument().pageSetup();
    QVERIFY(setup.isSet());
    QCOMPARE(setup.paperWidthTwips, 11900);
    QCOMPARE(setup.paperHeightTwips, 8400);
    const QString saved = folder.filePath(u"a5.rtf"_s);
    window.RichEdit1->saveFile(saved);
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("\\paperw11900\\paperh8400"));
}

QObject *newDesktopViewAndPageTest()
{
    return new tst_DesktopViewAndPage;
}

#include "tst_viewandpage.moc"
