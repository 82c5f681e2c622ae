#include "document/apperror.h"
#include "app/controls.h"
#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/startup.h"
#include "app/statustext.h"
#include "app/tform3.h"
#include "app/tpenform1.h"
#include "document/richedit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "realdialogs.h"
#include "testfiles.h"

using namespace Qt::StringLiterals;

namespace {

struct RecordedBox {
    QMessageBox::Icon icon;
    QString caption;
    QString text;
};

QString settingsPath()
{
    return settingsFilePath(QCoreApplication::applicationFilePath());
}

} // namespace

class tst_MainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void gaugeArithmetic_data();
    void gaugeArithmetic();
    void gaugePaintsFrameBarAndInvertedText();
    void splashShowsItsTitleAsALabelDrawsIt();
    void splashShowsEachStepTheScreenCanShow();
    void errorBoxTextRule_data();
    void errorBoxTextRule();
    void errorsInCommandsReachTheErrorBox();
    void firstRunPlacementAndSettingsWrittenAtExit();
    void savedPlacementIsCheckedAgainstTheWorkArea();
    void failedSettingsWriteIsReported();
    void hintsInPanelZeroAndTooltips();
    void editMenuEnabling();
    void popupPointFollowsTheWindow();
    void ctrlURunsUndoAndCtrlZBelongsToTheEditor();
    void hiddenCommandStaysHidden();
    void fontListAndSizeBox();
    void startUpDocumentHasTheNewDocumentSize();
    void guideBesideTheProgramComesFirst();

private:
    QList<RecordedBox> m_boxes;
};

void tst_MainWindow::init()
{
    QFile::remove(settingsPath());
    m_boxes.clear();
    MessageBox::setSink([this](QWidget *, const MessageBox::Request &r) {
        m_boxes.append({ r.icon, r.caption, r.text });
        return QMessageBox::Ok;
    });
}

void tst_MainWindow::cleanup()
{
    MessageBox::setSink({});
    QFile::remove(settingsPath());
    QDir(settingsPath()).removeRecursively();
}

void tst_MainWindow::gaugeArithmetic_data()
{
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("progress");
    QTest::addColumn<int>("percent");
    QTest::newRow("start") << 0 << 100 << 0 << 0;
    QTest::newRow("end") << 0 << 100 << 100 << 100;
    QTest::newRow("truncated, not rounded") << 0 << 3 << 2 << 66;
    QTest::newRow("offset range") << 50 << 150 << 75 << 25;
    QTest::newRow("equal ends") << 5 << 5 << 5 << 0;
}

void tst_MainWindow::gaugeArithmetic()
{
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, progress);
    QFETCH(int, percent);
    QCOMPARE(TGauge::percentDone(minimum, maximum, progress), percent);
    QCOMPARE(TGauge::barWidth(318, 0), 0);
    QCOMPARE(TGauge::barWidth(318, 100), 318);
    QCOMPARE(TGauge::barWidth(318, 33), 104); // 104.94 truncated

    TGauge gauge;
    gauge.setProgress(150); // clamped
    QCOMPARE(gauge.progress(), 100);
    gauge.setProgress(-3);
    QCOMPARE(gauge.progress(), 0);
}

// The splash keeps pictures of its unchanging parts between its repaints: the title still looks
// as a label draws it on the caption panel's yellow, and a new colour reaches the screen.
void tst_MainWindow::splashShowsItsTitleAsALabelDrawsIt()
{
    TForm3 splash;
    QLabel *title = splash.Label1;
    QWidget yellow;
    yellow.setAutoFillBackground(true);
    QPalette back = yellow.palette();
    back.setColor(QPalette::Window, QColor(255, 255, 0));
    yellow.setPalette(back);
    yellow.resize(title->size());
    QLabel plain(title->text(), &yellow);
    plain.setFont(title->font());
    plain.setPalette(title->palette());
    plain.setForegroundRole(title->foregroundRole());
    plain.resize(title->size());

    // The panel's caption, centred in it, runs through the title's lower part: that stays out.
    const int rows = title->parentWidget()->height() / 2 - title->fontMetrics().height() / 4 - title->y();
    QVERIFY(rows > title->height() / 2);
    auto differing = [&](const QColor &colour) {
        const QImage shown = splash.grab(title->geometry().translated(title->parentWidget()->pos()))
                                 .toImage().convertToFormat(QImage::Format_RGB32);
        const QImage meant = yellow.grab().toImage().convertToFormat(QImage::Format_RGB32);
        int different = 0;
        int coloured = 0;
        for (int y = 0; y < qMin(rows, meant.height()); ++y) {
            for (int x = 0; x < meant.width(); ++x) {
                const QColor a = shown.pixelColor(x, y);
                const QColor b = meant.pixelColor(x, y);
                different += qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue()) > 6;
                coloured += a == colour;
            }
        }
        return std::pair { different, coloured };
    };
    const auto [before, red] = differing(Qt::red);
    QCOMPARE(before, 0);
    QVERIFY(red > 100); // the title is there, in red

    setTextColor(title, Qt::blue);
    setTextColor(&plain, Qt::blue);
    const auto [after, blue] = differing(Qt::blue);
    QCOMPARE(after, 0);
    QVERIFY(blue > 100);
}

// The gauge's steps reach the screen at once, but no faster than a display shows pictures:
// steps that come quicker than a frame apart are shown with the next picture, and the first
// and the last step are always painted.
void tst_MainWindow::splashShowsEachStepTheScreenCanShow()
{
    struct PaintLog : QObject {
        TGauge *gauge = nullptr;
        QList<int> percents;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (watched == gauge && event->type() == QEvent::Paint)
                percents.append(gauge->percent());
            return false;
        }
    };
    auto shownSplash = [](TForm3 &splash, PaintLog &log) {
        splash.show();
        QVERIFY(QTest::qWaitForWindowExposed(&splash));
        log.gauge = splash.Gauge1;
        splash.Gauge1->installEventFilter(&log);
    };

    TForm3 quick;
    PaintLog quickLog;
    shownSplash(quick, quickLog);
    QElapsedTimer took;
    took.start();
    for (int pass = 0; pass <= 100; ++pass)
        quick.showProgress(pass);
    const qint64 frames = took.elapsed() / 16 + 1;
    QVERIFY2(quickLog.percents.size() >= 2 && quickLog.percents.size() <= frames + 2,
             qPrintable(QStringLiteral("%1 pictures in %2 ms").arg(quickLog.percents.size()).arg(took.elapsed())));
    QCOMPARE(quickLog.percents.first(), 0);
    QCOMPARE(quickLog.percents.last(), 100);
    // What stays on the screen is the full gauge: its inner area all blue but for the text.
    const QImage gauge = quick.grab(quick.Gauge1->geometry().translated(quick.Panel1->pos())).toImage();
    QCOMPARE(gauge.pixelColor(2, 2), QColor(Qt::blue));
    QCOMPARE(gauge.pixelColor(gauge.width() - 3, gauge.height() - 3), QColor(Qt::blue));

    TForm3 slow;
    PaintLog slowLog;
    shownSplash(slow, slowLog);
    for (int step : { 0, 40, 70, 100 }) {
        slow.showProgress(step);
        QTest::qSleep(40);
    }
    QCOMPARE(slowLog.percents, QList<int>({ 0, 40, 70, 100 }));
}

void tst_MainWindow::gaugePaintsFrameBarAndInvertedText()
{
    TGauge gauge;
    gauge.resize(320, 25);
    gauge.setForeColor(Qt::blue);
    gauge.setBackColor(Qt::white);
    QFont font(u"IPAPGothic"_s);
    font.setPixelSize(21);
    gauge.setFont(font);
    gauge.setProgress(50);
    const QImage image = gauge.image();
    QCOMPARE(image.pixelColor(0, 0), QColor(Qt::black)); // the frame
    QCOMPARE(image.pixelColor(319, 24), QColor(Qt::black));
    QCOMPARE(image.pixelColor(1, 1), QColor(Qt::blue)); // the bar: 159 of 318 inner pixels
    QCOMPARE(image.pixelColor(159, 1), QColor(Qt::blue));
    QCOMPARE(image.pixelColor(160, 1), QColor(Qt::white));
    QCOMPARE(image.pixelColor(318, 23), QColor(Qt::white));
    // The text "50%" straddles the bar's end: inverted, it is yellow on blue and black on white,
    // and no other colour appears.
    int yellow = 0;
    int black = 0;
    for (int y = 1; y < 24; ++y) {
        for (int x = 1; x < 319; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c == QColor(Qt::yellow))
                ++yellow;
            else if (c == QColor(Qt::black))
                ++black;
            else
                QVERIFY2(c == QColor(Qt::blue) || c == QColor(Qt::white), qPrintable(c.name()));
        }
    }
    QVERIFY(yellow > 10);
    QVERIFY(black > 10);
}

void tst_MainWindow::errorBoxTextRule_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("Japanese sentence gains a period") << u"失敗しました"_s << u"失敗しました."_s;
    QTest::newRow("closing parenthesis sorts before") << u"(x)"_s << u"(x)"_s;
    QTest::newRow("period stays single") << u"done."_s << u"done."_s;
    QTest::newRow("hyphen sorts before") << u"a-"_s << u"a-"_s;
    QTest::newRow("digit sorts after") << u"code 1"_s << u"code 1."_s;
    QTest::newRow("letter sorts after") << u"abc"_s << u"abc."_s;
    QTest::newRow("empty") << QString() << QString();
}

void tst_MainWindow::errorBoxTextRule()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(errorBoxText(text), shown);
}

void tst_MainWindow::errorsInCommandsReachTheErrorBox()
{
    TPenForm1 window;
    // A command whose work fails: saving into a folder that does not exist.
    window.RichEdit1->setPlainTextMode(true);
    try {
        window.RichEdit1->saveFile(u"/nonexistent-folder/x.txt"_s);
        QFAIL("no error");
    } catch (const AppError &e) {
        MessageBox::showAppError(&window, e.text());
    }
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.first().caption, u"Penloft"_s);
    QCOMPARE(m_boxes.first().icon, QMessageBox::Critical);
    QCOMPARE(m_boxes.first().text, u"ファイル \"/nonexistent-folder/x.txt\" を作るフォルダーが見つかりません."_s);
}

void tst_MainWindow::firstRunPlacementAndSettingsWrittenAtExit()
{
    const QRect workArea = QGuiApplication::primaryScreen()->availableGeometry();
    {
        TPenForm1 window;
        QCOMPARE(window.frameGeometry().topLeft(), workArea.topLeft());
        QCOMPARE(window.frameGeometry().size(), QSize(637, 480));
        QCOMPARE(window.windowTitle(), u"　Penloft          新規文書"_s);
        QVERIFY(window.CurrentFileName.isEmpty());
        QVERIFY(window.CountInChars);
        window.move(workArea.left() + 30, workArea.top() + 40);
        window.FormDestroy();
    }
    IniFile ini(settingsPath());
    ini.load();
    QCOMPARE(ini.integer(u"Form"_s, u"Left"_s, -1), workArea.left() + 30);
    QCOMPARE(ini.integer(u"Form"_s, u"Top"_s, -1), workArea.top() + 40);
    QCOMPARE(ini.integer(u"Form"_s, u"Width"_s, -1), 637);
    QCOMPARE(ini.integer(u"Form"_s, u"Height"_s, -1), 480);
    QVERIFY(m_boxes.isEmpty());
}

void tst_MainWindow::savedPlacementIsCheckedAgainstTheWorkArea()
{
    const QRect workArea = QGuiApplication::primaryScreen()->availableGeometry();
    QFile file(settingsPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    // Left one past the right edge less 100; a width larger than the work area is kept.
    file.write(QStringLiteral("[Form]\r\nTop=0x10\r\nLeft=%1\r\nWidth=%2\r\nHeight=garbage\r\n")
                   .arg(workArea.left() + workArea.width() - 99)
                   .arg(workArea.width() + 500)
                   .toLatin1());
    file.close();
    TPenForm1 window;
    QCOMPARE(window.frameGeometry().left(), workArea.left());
    QCOMPARE(window.frameGeometry().top(), qMax(workArea.top(), 16));
    QCOMPARE(window.frameGeometry().width(), workArea.width() + 500);
    QCOMPARE(window.frameGeometry().height(), 480);
}

void tst_MainWindow::failedSettingsWriteIsReported()
{
    QDir().mkpath(settingsPath()); // a folder where the file should go
    TPenForm1 window;
    window.FormDestroy();
    QCOMPARE(m_boxes.size(), 1); // one box: the keys after the failing one are not tried
    QCOMPARE(m_boxes.first().text, settingsPath() + u" に書き込めません."_s);
}

void tst_MainWindow::hintsInPanelZeroAndTooltips()
{
    TPenForm1 window;
    StatusText *panel = window.StatusPanels[0];
    // A control's own hint, or its parent's when it has none.
    QCOMPARE(TPenForm1::longHintAt(window.ComboBox1), u"カーソル位置の文字フォントの種類が表示されます。"_s);
    QCOMPARE(TPenForm1::longHintAt(window.RichEdit1), QString());
    auto *bold = window.findChild<QToolButton *>(u"bold"_s);
    QCOMPARE(TPenForm1::longHintAt(bold), u"太字にします。"_s);
    QCOMPARE(bold->toolTip(), u"太字"_s);
    QCOMPARE(window.Memo1->toolTip(), QString());
    QCOMPARE(TPenForm1::longHintAt(window.Memo1), u"現在の総文字数又はバイト数を表示（改行は全角１文字分=２バイト）"_s);
    QCOMPARE(window.Memo2->toolTip(), u"表示切替"_s);

    // Menu items report their hints as status tips; the Edit menu's title has one of its own,
    // the About item none.
    window.Edit3->menuAction()->showStatusText(window.menuBar());
    QCOMPARE(panel->text(), u"編集に関する操作ができます"_s);
    window.command(u"FileOpen"_s)->showStatusText(window.menuBar());
    QCOMPARE(panel->text(), u"ファイルを開きます。"_s);
    window.command(u"ActAbout"_s)->showStatusText(window.menuBar());
    QCOMPARE(panel->text(), QString());
}

void tst_MainWindow::editMenuEnabling()
{
    TPenForm1 window;
    QApplication::clipboard()->setText(u"text"_s);
    window.Edit3Click();
    QVERIFY(window.Paste1->isEnabled());
    QVERIFY(!window.Cut1->isEnabled());
    QVERIFY(!window.Copy1->isEnabled());
    // The commands behind them, and so the popup menu, stay enabled.
    QVERIFY(window.command(u"EditCut"_s)->isEnabled());

    auto *image = new QMimeData;
    image->setImageData(QImage(4, 4, QImage::Format_RGB32));
    QApplication::clipboard()->setMimeData(image);
    window.RichEdit1->replaceSelection(u"abc"_s);
    window.RichEdit1->setSelection(0, 2);
    window.Edit3Click();
    QVERIFY(!window.Paste1->isEnabled());
    QVERIFY(window.Cut1->isEnabled());
    QVERIFY(window.Copy1->isEnabled());
    QVERIFY(window.command(u"EditPaste"_s)->isEnabled());

    // The menu's items trigger their commands.
    window.Copy1->trigger();
    QCOMPARE(QApplication::clipboard()->text(), u"ab"_s);
}

void tst_MainWindow::popupPointFollowsTheWindow()
{
    TPenForm1 window;
    window.move(100, 50);
    QCOMPARE(window.popupPoint(QPoint(10, 20)), QPoint(115, 173));

    // A right click in the editor opens the menu once, a left click not at all.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy shown(window.PopupMenu1, &QMenu::aboutToShow);
    QTest::mouseClick(window.RichEdit1->viewport(), Qt::LeftButton, {}, QPoint(10, 20));
    QCOMPARE(shown.size(), 0);
    QTest::mouseClick(window.RichEdit1->viewport(), Qt::RightButton, {}, QPoint(10, 20));
    QCOMPARE(shown.size(), 1);
    window.PopupMenu1->hide();
}

void tst_MainWindow::ctrlURunsUndoAndCtrlZBelongsToTheEditor()
{
    TPenForm1 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.RichEdit1->setFocus();
    QTest::keyClicks(window.RichEdit1, u"abc"_s);
    QCOMPARE(window.RichEdit1->toPlainText(), u"abc"_s);
    QTest::keyClick(window.RichEdit1, Qt::Key_U, Qt::ControlModifier);
    QCOMPARE(window.RichEdit1->toPlainText(), QString());
    QCOMPARE(window.command(u"EditUndo"_s)->shortcut(), QKeySequence(u"Ctrl+U"_s));
    for (QAction *action : window.actions())
        QVERIFY(action->shortcut() != QKeySequence(QKeySequence::Undo));
    QTest::keyClicks(window.RichEdit1, u"xy"_s);
    QTest::keyClick(window.RichEdit1, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(window.RichEdit1->toPlainText().size() < 2); // the editor's own undo
}

void tst_MainWindow::hiddenCommandStaysHidden()
{
    TPenForm1 window;
    window.show();
    QAction *assoc = window.command(u"ActAssoc"_s);
    QVERIFY(!assoc->isVisible());
    QVERIFY(!window.AssocButton->isVisible());
    QMenu *options = window.findChild<QMenu *>(u"O1"_s);
    QVERIFY(options->actions().contains(assoc));
    int visibleItems = 0;
    for (QAction *item : options->actions()) {
        if (!item->isSeparator() && item->isVisible())
            ++visibleItems;
    }
    QCOMPARE(visibleItems, 4 + 3); // and the three zoom items after them
    for (const QString &name : { u"FileNew"_s, u"OptionSendMail"_s, u"ActHelp"_s })
        QVERIFY(window.command(name)->isVisible() && window.command(name)->isEnabled());
}

void tst_MainWindow::fontListAndSizeBox()
{
    TPenForm1 window;
    QComboBox *box = window.ComboBox1;
    QCOMPARE(box->itemText(box->findText(u"Default"_s)), u"Default"_s);
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items += box->itemText(i);
    QStringList sorted = items;
    sorted.sort();
    QCOMPARE(items, sorted);
    for (int i = 1; i < items.size(); ++i)
        QVERIFY(items.at(i).compare(items.at(i - 1), Qt::CaseInsensitive) != 0);
    QCOMPARE(box->currentText(), u"ＭＳ ゴシック"_s); // the editor's own font
    QCOMPARE(window.Edit1->text(), u"11"_s); // 15 pixels: 11.25 points, shown whole
}

void tst_MainWindow::startUpDocumentHasTheNewDocumentSize()
{
    // Real boxes here: the save dialog asks before it creates a file.
    MessageBox::setSink({});
    QTemporaryDir dir;
    TPenForm1 window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.RichEdit1->setFocus();
    QCOMPARE(window.Edit1->text(), u"11"_s);
    QString dialogSize;
    RealDialogs::whenModal([&](QWidget *dialog) {
        for (QLabel *label : dialog->findChildren<QLabel *>()) {
            if (label->text().startsWith(u"サイズ"_s))
                dialogSize = qobject_cast<QLineEdit *>(label->buddy())->text();
        }
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    window.command(u"EditFont"_s)->trigger();
    QCOMPARE(dialogSize, u"11"_s);

    // A closing dialog gives the window back its activation only where a window manager does it.
    const auto activate = [&] {
        QApplication::setActiveWindow(&window);
        QTRY_VERIFY(window.isActiveWindow());
    };
    // Ctrl+S on the unnamed document: Save As, answered as a user does.
    const auto saveAs = [&](const QString &name) {
        activate();
        RealDialogs::whenModal([&](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            QVERIFY(dialog);
            dialog->setDirectory(dir.path());
            RealDialogs::answerBox(nullptr, QMessageBox::Yes, dialog);
            RealDialogs::typeFileName(dialog, name, 1);
        });
        QTest::keyClick(window.RichEdit1, Qt::Key_S, Qt::ControlModifier);
        return TestFiles::read(dir.filePath(name));
    };
    // Saved at once, then with text typed, then as a new document: 11 points each time.
    const QByteArray atOnce = saveAs(u"at-once.rtf"_s);
    QVERIFY2(atOnce.contains("\\fs22 \\par"), atOnce.constData());
    QTest::keyClicks(window.RichEdit1, u"abc"_s);
    activate();
    QTest::keyClick(window.RichEdit1, Qt::Key_S, Qt::ControlModifier);
    const QByteArray typed = TestFiles::read(dir.filePath(u"at-once.rtf"_s));
    QVERIFY2(typed.contains("\\fs22 abc"), typed.constData());
    QTest::keyClick(window.RichEdit1, Qt::Key_N, Qt::ControlModifier);
    QVERIFY(window.RichEdit1->toPlainText().isEmpty());
    QTest::keyClicks(window.RichEdit1, u"abc"_s);
    const QByteArray fresh = saveAs(u"new.rtf"_s);
    QVERIFY2(fresh.contains("\\fs22 ") && fresh.contains("abc\\par"), fresh.constData());
    for (const QByteArray &file : { atOnce, typed, fresh })
        QVERIFY2(!file.contains("\\fs23"), file.constData());
    QCOMPARE(window.Edit1->text(), u"11"_s);
}

QTEST_MAIN(tst_MainWindow)
void tst_MainWindow::guideBesideTheProgramComesFirst()
{
    QTemporaryDir program;
    QCOMPARE(Startup::helpFilePath(program.path()), QStringLiteral(PENLOFT_HELP_FILE));
    QVERIFY(QDir(program.path()).mkpath(u"help/index.html"_s)); // a folder is not the guide
    QCOMPARE(Startup::helpFilePath(program.path()), QStringLiteral(PENLOFT_HELP_FILE));
    QVERIFY(QDir(program.path()).rmdir(u"help/index.html"_s));
    QFile guide(program.filePath(u"help/index.html"_s));
    QVERIFY(guide.open(QIODevice::WriteOnly));
    guide.close();
    QCOMPARE(Startup::helpFilePath(program.path()), program.filePath(u"help/index.html"_s));
}

#include "tst_mainwindow.moc"
