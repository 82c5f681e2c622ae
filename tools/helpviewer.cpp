#include "helpviewer.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>

namespace {

// A browser that opens pages of the guide itself and hands other links to the desktop.
class GuideBrowser : public QTextBrowser {
public:
    std::function<void(const QString &)> onMissing;

    explicit GuideBrowser(QWidget *parent)
        : QTextBrowser(parent)
    {
        setOpenLinks(true);
        setOpenExternalLinks(true);
    }

    void doSetSource(const QUrl &name, QTextDocument::ResourceType type) override
    {
        if (name.isLocalFile() && type == QTextDocument::HtmlResource && !QFileInfo(name.toLocalFile()).isFile()) {
            if (onMissing)
                onMissing(name.toLocalFile());
            return;
        }
        QTextBrowser::doSetSource(name, type);
    }
};

} // namespace

HelpViewer::HelpViewer(QWidget *parent)
    : QMainWindow(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QString::fromUtf16(u"Penloft ヘルプ"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(720, 600);
    auto *browser = new GuideBrowser(this);
    browser->onMissing = [this](const QString &path) { showMissing(path); };
    m_browser = browser;
    setCentralWidget(m_browser);

    QToolBar *bar = addToolBar(QString::fromUtf16(u"移動"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_back = bar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), QString::fromUtf16(u"戻る"));
    m_forward = bar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), QString::fromUtf16(u"進む"));
    m_home = bar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), QString::fromUtf16(u"目次"));
    // Esc closes the help, as it closes a dialog.
    auto *close = new QAction(this);
    close->setShortcut(Qt::Key_Escape);
    close->setShortcutContext(Qt::WindowShortcut);
    connect(close, &QAction::triggered, this, &QWidget::close);
    addAction(close);
    m_back->setShortcut(QKeySequence::Back);
    m_forward->setShortcut(QKeySequence::Forward);
    m_back->setEnabled(false);
    m_forward->setEnabled(false);
    connect(m_back, &QAction::triggered, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QAction::triggered, m_browser, &QTextBrowser::forward);
    connect(m_home, &QAction::triggered, this, [this] {
        if (m_contents.isValid())
            m_browser->setSource(m_contents);
    });
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::highlighted, this, [this](const QUrl &link) {
        statusBar()->showMessage(link.isLocalFile() ? QString() : link.toString());
    });
    connect(m_browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = m_browser->documentTitle();
        setWindowTitle(title.isEmpty() ? QString::fromUtf16(u"Penloft ヘルプ")
                                       : title + QString::fromUtf16(u" - Penloft ヘルプ"));
    });
}

QString HelpViewer::missingText(const QString &path)
{
    return QString::fromUtf16(u"ヘルプファイル ") + path + QString::fromUtf16(u" が見つかりません。");
}

void HelpViewer::showFile(const QString &path)
{
    m_contents = QUrl::fromLocalFile(path);
    if (!QFileInfo(path).isFile())
        showMissing(path);
    else
        m_browser->setSource(m_contents);
    if (!m_placed) {
        placeOnScreen();
        m_placed = true;
    }
    show();
    raise();
    activateWindow();
}

void HelpViewer::placeOnScreen()
{
    const QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
    const QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // The window manager frames this window as it framed its owner.
    QMargins frame;
    if (owner) {
        const QRect outer = owner->frameGeometry();
        const QRect inner = owner->geometry();
        frame = QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                         outer.bottom() - inner.bottom());
    }
    // No larger than the work area, frame included; centred on its owner; wholly on the screen.
    const QSize room = area.size().shrunkBy(frame);
    resize(size().boundedTo(room).expandedTo(minimumSizeHint().boundedTo(room)));
    QRect outer(QPoint(), size().grownBy(frame));
    outer.moveCenter(owner ? owner->frameGeometry().center() : area.center());
    outer.moveLeft(qBound(area.left(), outer.left(), area.left() + area.width() - outer.width()));
    outer.moveTop(qBound(area.top(), outer.top(), area.top() + area.height() - outer.height()));
    move(outer.topLeft());
}

void HelpViewer::showMissing(const QString &path)
{
    m_browser->setHtml(QStringLiteral("<p>") + missingText(path).toHtmlEscaped() + QStringLiteral("</p>"));
    setWindowTitle(QString::fromUtf16(u"Penloft ヘルプ"));
}
