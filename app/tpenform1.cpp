#include "app/tpenform1.h"

#include "document/apperror.h"
#include "app/commandicons.h"
#include "app/controls.h"
#include "app/fontsubstitutes.h"
#include "app/messagebox.h"
#include "app/messages.h"
#include "app/settingsfile.h"
#include "app/statustext.h"
#include "app/tform3.h"
#include "document/recoverykeeper.h"
#include "document/richedit.h"
#include "editing/ruler.h"
#include "printing/tpreviewwindow.h"
#include "tools/replacedialog.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QCursor>
#include <QFontDatabase>
#include <QLayout>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <vector>

namespace {

const QString Section = QStringLiteral("Form");

// Wayland tells a client neither where its windows stand nor where the pointer is.
bool platformReportsPositions()
{
    return !QGuiApplication::platformName().startsWith(u"wayland");
}

void setColors(QWidget *widget, const QColor &background, const QColor &text)
{
    setBackgroundColor(widget, background);
    setTextColor(widget, text);
}

void setHint(QWidget *widget, const char16_t *shortHint, const char16_t *longHint, bool tooltip = true)
{
    widget->setStatusTip(QString::fromUtf16(longHint));
    // What a screen reader calls the control: its short hint.
    widget->setAccessibleName(QString::fromUtf16(shortHint));
    if (tooltip)
        widget->setToolTip(QString::fromUtf16(shortHint));
}

// The screen's font families for the font box: "Default" and every family once, a name equal
// (ignoring case) to the one before it dropped, the whole list sorted. Computed once.
QStringList screenFontList()
{
    QStringList families = QFontDatabase::families();
    // Where two makers offer one family, Qt names each "Family [maker]": a document and the
    // list know the family by its name alone.
    static const QRegularExpression maker(QStringLiteral("\\s*\\[[^\\[\\]]*\\]$"));
    for (QString &family : families)
        family.remove(maker);
    families.prepend(QStringLiteral("Default"));
    // The faces this program maps onto installed ones are as good as installed.
    families += substitutedFontNames();
    families.sort();
    QStringList list;
    for (const QString &family : std::as_const(families)) {
        if (!list.isEmpty() && list.last().compare(family, Qt::CaseInsensitive) == 0)
            continue;
        list.append(family);
    }
    return list;
}

} // namespace

TPenForm1::TPenForm1(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("PenForm1"));
    setFont(pixelFont(u"ＭＳ Ｐゴシック", 12));
    setBackgroundRole(QPalette::Button);
    setContextMenuPolicy(Qt::NoContextMenu);
    setWindowIcon(applicationIcon());
    createCommands();
    createMenus();
    createToolBar();
    addToolBarBreak();
    createBand2();
    auto *central = new QWidget(this);
    auto *column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(central);
    createRuler();
    createEditor();
    column->addWidget(Panel1);
    column->addWidget(Panel4, 1);
    createStatusBar();
    ReplaceDialog1 = new ReplaceDialog(this);
    ReplaceDialog1->setObjectName(QStringLiteral("ReplaceDialog1"));
    connect(ReplaceDialog1, &ReplaceDialog::find, this, [this] { runCommand([this] { ReplaceDialog1Find(); }); });
    connect(ReplaceDialog1, &ReplaceDialog::replace, this, [this] { runCommand([this] { ReplaceDialog1Replace(); }); });
    // The designed outer size, until the settings say otherwise.
    resize(637, 480);
    m_outerPlacement = QRect(pos(), QSize(637, 480));
    // One filter for the whole program: the editor's mouse, the ruler panel's size and the
    // hints all pass through it (a second filter on a widget would see its events twice).
    qApp->installEventFilter(this);
    auto clipboardChanged = [this] {
        const QMimeData *data = QApplication::clipboard()->mimeData();
        m_clipboardHasText = data && data->hasText();
    };
    clipboardChanged();
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, clipboardChanged);
    FormCreate();
}

TPenForm1::~TPenForm1()
{
    qApp->removeEventFilter(this);
    delete m_previewWindow.data();
    if (!m_settingsWritten)
        FormDestroy();
}

void TPenForm1::createBand2()
{
    Band2 = new QToolBar(this);
    Band2->setObjectName(QStringLiteral("CoolBarBand2"));
    Band2->setWindowTitle(QString::fromUtf16(u"書式"));
    Band2->setFloatable(false);
    Panel2 = new QWidget(Band2);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedSize(612, 25);

    ComboBox1 = new QComboBox(Panel2);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(5, 2, 169, 21);
    ComboBox1->setFont(pixelFont(u"ＭＳ Ｐゴシック", 13));
    ComboBox1->setFocusPolicy(Qt::ClickFocus);
    ComboBox1->setCursor(Qt::ArrowCursor);
    ComboBox1->setAttribute(Qt::WA_InputMethodEnabled);
    setHint(ComboBox1, u"フォントの表示", u"カーソル位置の文字フォントの種類が表示されます。");
    ComboBox1->setItemDelegate(new FontNameDelegate(
        [this](QPainter *painter, const QStyleOptionViewItem &option, const QString &text) {
            ComboBox1DrawItem(painter, option, text);
        },
        ComboBox1));
    // A choice raises both the box's click and change events; each writes the name.
    connect(ComboBox1, &QComboBox::activated, this, [this] { runCommand([this] { ComboBox1Click(); }); });
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this] { runCommand([this] { ComboBox1Click(); }); });

    Edit1 = new DisplayBox(QStringLiteral("0"), Panel2);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(180, 2, 33, 21);
    Edit1->setFont(pixelFont(u"ＭＳ ゴシック", 15));
    setHint(Edit1, u"文字サイズ", u"カーソル位置の文字の大きさを表示します。");
    connect(Edit1, &DisplayBox::mouseDown, this, [this] { runCommand([this] { Edit1MouseDown(); }); });

    UpDown1 = new UpDown(0, 100, Panel2);
    UpDown1->setObjectName(QStringLiteral("UpDown1"));
    UpDown1->setGeometry(213, 2, 15, 21);
    UpDown1->setBuddy(Edit1);
    setHint(UpDown1, u"サイズ変更", u"文字サイズを変更します。");
    connect(UpDown1, &UpDown::clicked, this, [this] { runCommand([this] { UpDown1Click(); }); });

    Edit4 = new DisplayBox(QString::fromUtf16(u"文字色"), Panel2);
    Edit4->setObjectName(QStringLiteral("Edit4"));
    Edit4->setGeometry(245, 3, 47, 20);
    Edit4->setFont(pixelFont(u"ＭＳ Ｐゴシック", 12, true));
    setColors(Edit4, Qt::white, Qt::black);
    setHint(Edit4, u"文字色", u"文字色を設定します。");
    connect(Edit4, &DisplayBox::clicked, this, [this] { runCommand([this] { OptionCharColorExecute(); }); });

    Edit2 = new DisplayBox(QString::fromUtf16(u"背景色"), Panel2);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(300, 3, 44, 20);
    Edit2->setFont(pixelFont(u"ＭＳ Ｐゴシック", 12));
    setColors(Edit2, QColor(0, 128, 0), QColor(0, 255, 0));
    setHint(Edit2, u"背景色", u"背景色を設定します。");
    connect(Edit2, &DisplayBox::clicked, this, [this] { runCommand([this] { OptionBackColorExecute(); }); });

    Panel3 = new QFrame(Panel2);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setGeometry(350, 3, 148, 20);
    Panel3->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel3->setLineWidth(2);

    // The counter and its unit change at every keystroke: cheap displays, not line edits.
    Memo1 = new StatusText(QStringLiteral("0000000000"), Panel3);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(2, 2, 95, 16);
    Memo1->setAlignment(Qt::AlignRight);
    Memo1->setIndent(4);
    Memo1->setFont(pixelFont(u"ＭＳ ゴシック", 15, true));
    setColors(Memo1, Qt::black, QColor(255, 255, 0));
    // The counter's hint shows in the status bar only, never as a tooltip.
    setHint(Memo1, u"文字数", u"現在の総文字数又はバイト数を表示（改行は全角１文字分=２バイト）", false);
    connect(Memo1, &StatusText::clicked, this, [this] { runCommand([this] { Memo1Click(); }); });
    connect(Memo1, &StatusText::mouseDown, this, [this] { runCommand([this] { Memo1MouseDown(); }); });

    Memo2 = new StatusText(QString::fromUtf16(u" バイト"), Panel3);
    Memo2->setObjectName(QStringLiteral("Memo2"));
    Memo2->setGeometry(96, 2, 50, 16);
    Memo2->setIndent(2);
    Memo2->setFont(pixelFont(u"ＭＳ Ｐゴシック", 15, true));
    setColors(Memo2, Qt::black, QColor(0, 255, 0));
    setHint(Memo2, u"表示切替", u"表示方法を文字数またはバイト数に切り替えます。");
    connect(Memo2, &StatusText::clicked, this, [this] { runCommand([this] { Memo2Click(); }); });
    connect(Memo2, &StatusText::mouseDown, this, [this] { runCommand([this] { Memo2MouseDown(); }); });

    Button3 = new QPushButton(QString::fromUtf16(u"日付"), Panel2);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button3->setGeometry(510, 2, 35, 22);
    Button3->setFocusPolicy(Qt::ClickFocus);
    setHint(Button3, u"日付の挿入", u"キャレット（カーソル）位置に日付を挿入します。");
    connect(Button3, &QPushButton::clicked, this, [this] { runCommand([this] { Button3Click(); }); });

    AssocButton = new QToolButton(Panel2);
    AssocButton->setObjectName(QStringLiteral("AssocButton"));
    AssocButton->setDefaultAction(command(QStringLiteral("ActAssoc")));
    AssocButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    AssocButton->setGeometry(560, 2, 45, 22);
    // Bound to its hidden command: hidden with it.
    AssocButton->setVisible(command(QStringLiteral("ActAssoc"))->isVisible());
    connect(command(QStringLiteral("ActAssoc")), &QAction::changed, this,
            [this] { AssocButton->setVisible(command(QStringLiteral("ActAssoc"))->isVisible()); });

    Band2->layout()->setContentsMargins(0, 0, 0, 0);
    Band2->addWidget(Panel2);
    addToolBar(Qt::TopToolBarArea, Band2);
}

void TPenForm1::createRuler()
{
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(40);
    Panel1->setFont(pixelFont(u"ＭＳ Ｐゴシック", 11));

    Ruler = new RulerStrip(Panel1);
    Ruler->setObjectName(QStringLiteral("Ruler"));
    Ruler->setGeometry(1, 12, 627, 17);
    RulerLine = new QFrame(Ruler);
    RulerLine->setObjectName(QStringLiteral("RulerLine"));
    RulerLine->setFrameStyle(QFrame::Box | QFrame::Sunken);
    RulerLine->setGeometry(Ruler->contentsRect());
    connect(Ruler, &RulerStrip::resized, this, [this] { runCommand([this] { RulerResize(); }); });

    FirstInd = new RulerMarker(RulerMarker::Direction::Down, Qt::red, Panel1);
    FirstInd->setObjectName(QStringLiteral("FirstInd"));
    FirstInd->move(8, 1);
    setHint(FirstInd, u"左余白（改行時）", u"１行目と、改行した場合の左余白の設定をします。");
    LeftInd = new RulerMarker(RulerMarker::Direction::Up, Qt::blue, Panel1);
    LeftInd->setObjectName(QStringLiteral("LeftInd"));
    LeftInd->move(8, 27);
    setHint(LeftInd, u"左余白（連続入力時）", u"連続して文字を入力した時の左余白の設定をします。");
    RightInd = new RulerMarker(RulerMarker::Direction::Up, QColor(255, 0, 255), Panel1);
    RightInd->setObjectName(QStringLiteral("RightInd"));
    RightInd->move(544, 27);
    setHint(RightInd, u"右余白", u"右側の余白を設定します。");
    for (RulerMarker *marker : { FirstInd, LeftInd, RightInd }) {
        connect(marker, &RulerMarker::pressed, this, [this, marker](int x) { runCommand([this, marker, x] { RulerItemMouseDown(marker, x); }); });
        connect(marker, &RulerMarker::moved, this, [this, marker](int x) { runCommand([this, marker, x] { RulerItemMouseMove(marker, x); }); });
    }
    connect(FirstInd, &RulerMarker::released, this, [this] { runCommand([this] { FirstIndMouseUp(); }); });
    connect(LeftInd, &RulerMarker::released, this, [this] { runCommand([this] { LeftIndMouseUp(); }); });
    connect(RightInd, &RulerMarker::released, this, [this] { runCommand([this] { RightIndMouseUp(); }); });
}

void TPenForm1::createEditor()
{
    Panel4 = new QFrame(this);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    Panel4->setFrameStyle(QFrame::NoFrame);
    Panel4->setAutoFillBackground(true);
    setColors(Panel4, Qt::white, Qt::black);
    auto *fill = new QVBoxLayout(Panel4);
    fill->setContentsMargins(0, 0, 0, 0);

    RichEdit1 = new RichEdit(Panel4);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setAccessibleName(QString::fromUtf16(Messages::EditorName));
    RichEdit1->setFont(pixelFont(u"ＭＳ ゴシック", 15));
    CharFormat initial = RichEdit1->charFormat(RichEdit::FormatTarget::Default);
    initial.mask = CharFormat::AllFields;
    initial.charSet = 128;
    RichEdit1->setCharFormat(initial, RichEdit::FormatTarget::Default);
    RichEdit1->setContextMenuPolicy(Qt::PreventContextMenu);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    fill->addWidget(RichEdit1);
    connect(RichEdit1, &RichEdit::changed, this, [this] { runCommand([this] { RichEdit1Change(); }); });
    connect(RichEdit1, &RichEdit::selectionChange, this, [this] { runCommand([this] { RichEdit1SelectionChange(); }); });
    connect(RichEdit1->document(), &QTextDocument::redoAvailable, command(QStringLiteral("EditRedo")),
            &QAction::setEnabled);
    followZoom();
    m_recovery = new RecoveryKeeper(RichEdit1->richDocument(), this);
    m_recovery->setDocumentPathSource([this] { return CurrentFileName; });
    watchRecovery();
}

void TPenForm1::createStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setFixedHeight(19);
    bar->setFont(pixelFont(u"MS UI Gothic", 12));
    bar->setSizeGripEnabled(true);
    const int widths[3] = { 350, 150, 100 };
    for (int i = 0; i < 3; ++i) {
        auto *panel = new StatusText(QString(), bar);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        // Of fixed height, and of fixed width as long as the text fits: a new text repaints the
        // panel alone, with no new layout of the bar or the window. A position too long for
        // its panel widens it (panel 0, the hint, gives way rather than the window growing).
        panel->setFixedHeight(17);
        panel->setBaseWidth(widths[i], i == 0 ? StatusText::Growth::None : StatusText::Growth::ToFitText);
        if (i == 0)
            panel->setMinimumWidth(40);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setAlignment(i == 0 ? Qt::AlignLeft : Qt::AlignRight);
        bar->addWidget(panel);
        StatusPanels[i] = panel;
    }
}

// -- Start-up --

void TPenForm1::FormCreate()
{
    m_splash = new TForm3;
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    m_splash->move(screen.x() + (screen.width() - m_splash->width()) / 2,
                   screen.y() + (screen.height() - m_splash->height()) / 2);
    m_splash->show();
    // Let the window system put it on the screen, so that each step below shows at once.
    waitUntilExposed(m_splash, 1000);
    m_splash->repaint();

    m_settingsPath = settingsFilePath(QCoreApplication::applicationFilePath());
    m_fontList = screenFontList();
    // Every pass sets the window up the same way; the file and the font list, which every pass
    // would read alike, are read and filled in once.
    IniFile settings(m_settingsPath);
    settings.load();
    {
        const QSignalBlocker quiet(ComboBox1);
        ComboBox1->clear();
        ComboBox1->addItems(m_fontList);
    }
    for (int pass = 0; pass <= 100; ++pass) {
        initialisationPass(settings);
        m_splash->showProgress(pass);
    }
    // Released by the event loop: the splash stays up until the main window has appeared.
    m_splash->deleteLater();

    UpdateCaretStatus();
    UpdateCharCount();
    RichEdit1SelectionChange();
}

void TPenForm1::initialisationPass(const IniFile &settings)
{
    setWindowTitle(Messages::text(Messages::NewDocumentTitle));
    applySettings(settings);
    loadRecentFiles(settings);
    CurrentFileName.clear();
    {
        const QSignalBlocker quiet(ComboBox1);
        const CharFormat editorFormat = RichEdit1->charFormat(RichEdit::FormatTarget::Default);
        ComboBox1->setCurrentIndex(ComboBox1->findText(editorFormat.faceName, Qt::MatchFixedString));
        Edit1->setText(QString::number(editorFormat.sizeTwips / TextFormats::TwipsPerPoint));
    }
    setAcceptDrops(true);
    CountInChars = true;
}

void TPenForm1::applySettings(const IniFile &ini)
{
    const QRect workArea = QGuiApplication::primaryScreen()->availableGeometry();
    // The values are the window's outer bounds, frame included; each takes effect as soon as
    // it is read, held first to what a window can be (the size is not checked against the
    // screen: a window larger than it is restored as it was).
    QRect outer = m_outerPlacement;
    outer.moveTop(clampedWindowCoordinate(ini.integer(Section, QStringLiteral("Top"), workArea.top())));
    placeOuter(outer);
    outer.moveLeft(clampedWindowCoordinate(ini.integer(Section, QStringLiteral("Left"), workArea.left())));
    placeOuter(outer);
    outer.setWidth(checkedWindowSide(ini.integer(Section, QStringLiteral("Width"), outer.width())));
    placeOuter(outer);
    outer.setHeight(checkedWindowSide(ini.integer(Section, QStringLiteral("Height"), outer.height())));
    placeOuter(outer);
    outer.moveTopLeft(checkedWindowPosition(outer.topLeft(), workArea));
    placeOuter(outer);
}

void TPenForm1::placeOuter(const QRect &outer)
{
    m_outerPlacement = outer;
    // Before the window is first shown it has no frame yet: the client takes the whole size
    // until applyOuterPlacement() runs with the frame known.
    const QRect frame = frameGeometry();
    const QRect client = geometry();
    const int frameWidth = frame.width() - client.width();
    const int frameHeight = frame.height() - client.height();
    move(outer.topLeft());
    resize(qMax(1, outer.width() - frameWidth), qMax(1, outer.height() - frameHeight));
}

void TPenForm1::applyOuterPlacement()
{
    if (frameGeometry() != m_outerPlacement)
        placeOuter(m_outerPlacement);
}

void TPenForm1::FormShow(const QStringList &documents)
{
    // Each document in turn; the first that fails ends the loop.
    for (const QString &path : documents) {
        try {
            OpenFile(path);
        } catch (const AppError &e) {
            MessageBox::showAppError(this, e.text());
            break;
        }
    }
    RichEdit1->setFocus();
    // Once the window is up: work that programs no longer running left unsaved.
    QTimer::singleShot(0, this, [this] { runCommand([this] { offerRecovery(); }); });
}

// -- Shutdown --

void TPenForm1::FormDestroy()
{
    m_settingsWritten = true;
    // A clean end leaves no recovery file; an end by a signal leaves it for the next start.
    if (!m_keepRecovery)
        m_recovery->discard();
    writeSettings();
}

void TPenForm1::writeSettings()
{
    IniFile ini(m_settingsPath);
    ini.load();
    const QRect outer = frameGeometry();
    std::vector<std::pair<const char *, int>> values = { { "Width", outer.width() }, { "Height", outer.height() } };
    // A position the platform did not report is not written over the one saved.
    if (platformReportsPositions())
        values.insert(values.begin(), { { "Top", outer.top() }, { "Left", outer.left() } });
    for (const auto &[key, value] : values) {
        if (!ini.writeValue(Section, QString::fromLatin1(key), QString::number(value))) {
            MessageBox::showAppError(this, Messages::cannotWrite(m_settingsPath));
            return;
        }
    }
}

void TPenForm1::FileExitExecute()
{
    close();
}

// -- Window events --

void TPenForm1::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    runCommand([this] { FormResize(); });
}

void TPenForm1::FormResize()
{
    RichEdit1SelectionChange();
}

void TPenForm1::closeEvent(QCloseEvent *event)
{
    bool canClose = true;
    runCommand([&] { FormCloseQuery(canClose); });
    if (canClose) {
        event->accept();
        // An open preview goes with the program.
        if (m_previewWindow)
            m_previewWindow->close();
        emit closing();
    }
    else
        event->ignore();
}

bool TPenForm1::event(QEvent *event)
{
    // Hints reach the window as status tips: from menu items while a menu is open, from
    // controls as the pointer enters and leaves them.
    if (event->type() == QEvent::StatusTip) {
        ApplicationEvents1Hint(static_cast<QStatusTipEvent *>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

bool TPenForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Panel1 && event->type() == QEvent::Resize) {
        // The strip stretches with the window. The window's resize handler may run before the
        // panel has its new width; the markers follow the strip once it has it.
        Ruler->resize(Panel1->width() - 2, Ruler->height());
        runCommand([this] { FormResize(); });
    }
    if (watched == RichEdit1->viewport() && event->type() == QEvent::MouseButtonPress) {
        const auto *press = static_cast<QMouseEvent *>(event);
        const Qt::MouseButton button = press->button();
        const QPoint point = press->position().toPoint();
        runCommand([&] { RichEdit1MouseDown(button, point); });
    }
    if ((event->type() == QEvent::Enter || event->type() == QEvent::Leave) && watched->isWidgetType()
        && static_cast<QWidget *>(watched)->window() == this) {
        // Where the platform keeps the pointer's position to itself, the widget under it is the
        // last one entered; leaving a widget leaves the pointer in its parent.
        auto *widget = static_cast<QWidget *>(watched);
        if (event->type() == QEvent::Enter)
            m_widgetUnderPointer = widget;
        else if (m_widgetUnderPointer == widget)
            m_widgetUnderPointer = widget->isWindow() ? nullptr : widget->parentWidget();
        // Recomputed once the program is idle, from whatever is under the pointer then.
        QTimer::singleShot(0, this, &TPenForm1::refreshHintUnderPointer);
    }
    return QMainWindow::eventFilter(watched, event);
}

// -- Hints --

QString TPenForm1::longHintAt(const QWidget *widget)
{
    for (const QWidget *w = widget; w; w = w->parentWidget()) {
        if (!w->statusTip().isEmpty())
            return w->statusTip();
        if (w->isWindow())
            break;
    }
    return {};
}

void TPenForm1::refreshHintUnderPointer()
{
    if (QApplication::activePopupWidget())
        return; // a menu is open: its items give the hint
    const QWidget *under
        = platformReportsPositions() ? QApplication::widgetAt(QCursor::pos()) : m_widgetUnderPointer.data();
    if (under && under->window() != this)
        return;
    ApplicationEvents1Hint(under ? longHintAt(under) : QString());
}

void TPenForm1::ApplicationEvents1Hint(const QString &hint)
{
    StatusPanels[0]->setText(hint);
}

// -- Menus --

void TPenForm1::Edit3Click()
{
    Paste1->setEnabled(m_clipboardHasText);
    const bool selected = RichEdit1->textCursor().hasSelection();
    Cut1->setEnabled(selected);
    Copy1->setEnabled(selected);
}

QPoint TPenForm1::popupPoint(QPoint point) const
{
    const QRect outer = frameGeometry();
    return { outer.left() + point.x() + 5, outer.top() + point.y() + 103 };
}

void TPenForm1::RichEdit1MouseDown(Qt::MouseButton button, QPoint point)
{
    if (button == Qt::RightButton)
        PopupMenu1->popup(popupPoint(point));
}
