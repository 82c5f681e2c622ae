// What a desktop user meets beyond the commands: pictures that follow a dark theme, names a
// screen reader reads, Esc in the help, readable font names.

#include "app/controls.h"
#include "app/japaneseui.h"
#include "app/settingsfile.h"
#include "app/statustext.h"
#include "app/tpenform1.h"
#include "document/richedit.h"
#include "editing/fontentry.h"
#include "tools/helpviewer.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStyleFactory>
#include <QTextBrowser>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QToolButton>

#include "realdialogs.h"

using namespace Qt::StringLiterals;

namespace {

QPalette darkPalette()
{
    QPalette dark;
    const QColor base(0x2a, 0x2a, 0x2a);
    const QColor window(0x35, 0x35, 0x35);
    for (const auto role : { QPalette::Window, QPalette::Button, QPalette::Base, QPalette::AlternateBase })
        dark.setColor(role, role == QPalette::Base ? base : window);
    for (const auto role : { QPalette::WindowText, QPalette::ButtonText, QPalette::Text })
        dark.setColor(role, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    return dark;
}

// Pixels of an image within `tolerance` of a colour, on each channel.
int pixelsNear(const QImage &image, const QColor &colour, int tolerance = 40)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - colour.red()) <= tolerance && std::abs(c.green() - colour.green()) <= tolerance
                && std::abs(c.blue() - colour.blue()) <= tolerance)
                ++count;
        }
    }
    return count;
}

enum class Extreme { Least, Most };

// The least or most lightness (0-255) of an image's pixels.
int lightness(const QImage &image, Extreme extreme)
{
    int found = extreme == Extreme::Least ? 255 : 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const int l = image.pixelColor(x, y).lightness();
            found = extreme == Extreme::Least ? std::min(found, l) : std::max(found, l);
        }
    }
    return found;
}

QString accessibleName(QObject *object)
{
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(object);
    return accessible ? accessible->text(QAccessible::Name) : u"(none)"_s;
}

} // namespace

class tst_DesktopFit : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void drawnPicturesFollowThePalette();
    void fontSampleStandsOnWhite();
    void screenReadersReadNamesAndPanels();
    void menuItemsAreNamedWithoutTheirKeys();
    void escapeClosesTheHelp();
    void symbolFontsAreNamedReadably();

private:
    QToolButton *toolButton(const QString &command) const;

    TPenForm1 *m_window = nullptr;
    QPalette m_palette;
};

void tst_DesktopFit::initTestCase()
{
    installJapaneseUi();
    // No icon theme: the program's own pictures are the ones drawn.
    QIcon::setThemeSearchPaths({});
    QIcon::setThemeName(u"penloft-no-theme"_s);
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    m_palette = QApplication::palette();
}

void tst_DesktopFit::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    QApplication::setPalette(m_palette);
    m_window = new TPenForm1;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_DesktopFit::cleanup()
{
    RealDialogs::cancelPending();
    m_window->RichEdit1->setModified(false);
    delete m_window;
    QApplication::setPalette(m_palette);
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

QToolButton *tst_DesktopFit::toolButton(const QString &command) const
{
    const QList<QToolButton *> buttons = m_window->findChildren<QToolButton *>();
    for (QToolButton *button : buttons) {
        if (button->defaultAction() && button->defaultAction()->objectName() == command)
            return button;
    }
    return nullptr;
}

void tst_DesktopFit::drawnPicturesFollowThePalette()
{
    const QStringList commands = { u"EditBold"_s, u"EditAlineCenter"_s, u"EditBullet"_s };
    for (const QString &command : commands) {
        QToolButton *button = toolButton(command);
        QVERIFY2(button, qPrintable(command));
        const auto picture = [button] {
            QRect square(QPoint(0, 0), button->iconSize());
            square.moveCenter(button->rect().center());
            return button->grab(square).toImage();
        };
        // Dark ink on the light bar, light ink on the dark one: the old ink would stay dark there.
        QVERIFY2(lightness(picture(), Extreme::Least) < 90, qPrintable(command));
        QApplication::setPalette(darkPalette());
        QTRY_VERIFY2(lightness(picture(), Extreme::Most) > 180, qPrintable(command));
        QApplication::setPalette(m_palette);
    }
}

void tst_DesktopFit::fontSampleStandsOnWhite()
{
    QApplication::setPalette(darkPalette());
    QImage sample;
    RealDialogs::whenModal([&](QWidget *dialog) {
        const QList<QLabel *> labels = dialog->findChildren<QLabel *>();
        for (QLabel *label : labels) {
            if (label->text() == u"Aaあぁアァ亜宇"_s)
                sample = label->grab().toImage();
        }
        dialog->close();
    });
    m_window->command(u"EditFont"_s)->trigger();
    QVERIFY(!sample.isNull());
    QCOMPARE(sample.pixelColor(2, 2), QColor(Qt::white));
    QVERIFY(pixelsNear(sample, Qt::black) > 20);
    for (int x = 0; x < sample.width(); ++x) {
        QCOMPARE(sample.pixelColor(x, 0), QColor(Qt::white));
        QCOMPARE(sample.pixelColor(x, sample.height() - 1), QColor(Qt::white));
    }
}

void tst_DesktopFit::screenReadersReadNamesAndPanels()
{
    RichEdit *editor = m_window->RichEdit1;
    editor->setFocus();
    QTest::keyClicks(editor, u"abc"_s);
    QCOMPARE(accessibleName(m_window->StatusPanels[2]), u"1 行　3 列"_s);
    QCOMPARE(accessibleName(m_window->StatusPanels[1]), u"3   文字目です。"_s);
    QCOMPARE(accessibleName(m_window->Memo1), u"文字数 3"_s);
    QTest::keyClick(editor, Qt::Key_Left);
    QCOMPARE(accessibleName(m_window->StatusPanels[2]), u"1 行　2 列"_s);
    QCOMPARE(QAccessible::queryAccessibleInterface(m_window->StatusPanels[2])->role(), QAccessible::StaticText);
    QCOMPARE(accessibleName(m_window->Edit1), u"文字サイズ"_s);
    QCOMPARE(accessibleName(m_window->Edit4), u"文字色"_s);
    QCOMPARE(accessibleName(m_window->Edit2), u"背景色"_s);
}

void tst_DesktopFit::menuItemsAreNamedWithoutTheirKeys()
{
    QMenu *edit = nullptr;
    const QList<QAction *> menus = m_window->menuBar()->actions();
    for (QAction *menu : menus) {
        if (menu->text().startsWith(u"編集"_s))
            edit = menu->menu();
    }
    QVERIFY(edit);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(edit);
    QVERIFY(accessible);
    QStringList names;
    for (int i = 0; i < accessible->childCount(); ++i)
        names << accessible->child(i)->text(QAccessible::Name);
    QVERIFY2(names.contains(u"切り取り"_s), qPrintable(names.join(u" | ")));
    for (const QString &name : std::as_const(names))
        QVERIFY2(!name.contains(u'\t'), qPrintable(name));
    // The keys shown beside the items still do their work from the text.
    RichEdit *editor = m_window->RichEdit1;
    editor->setFocus();
    QTest::keyClicks(editor, u"cut me"_s);
    editor->setSelection(0, 3);
    QApplication::setActiveWindow(m_window);
    QTRY_VERIFY(m_window->isActiveWindow());
    QTest::keyClick(editor, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(editor->textBytes(), " me"_ba);
    QCOMPARE(QApplication::clipboard()->text(), u"cut"_s);
}

void tst_DesktopFit::escapeClosesTheHelp()
{
    m_window->command(u"ActHelp"_s)->trigger();
    HelpViewer *help = m_window->helpViewer();
    QVERIFY(help);
    QTRY_VERIFY(help->isVisible());
    QApplication::setActiveWindow(help);
    QTRY_VERIFY(help->isActiveWindow());
    QTest::keyClick(help->browser(), Qt::Key_Escape);
    QTRY_VERIFY(!help->isVisible());
}

void tst_DesktopFit::symbolFontsAreNamedReadably()
{
    QString symbols;
    const QStringList families = QFontDatabase::families();
    for (const QString &family : families) {
        const QList<QFontDatabase::WritingSystem> systems = QFontDatabase::writingSystems(family);
        if (systems.contains(QFontDatabase::Symbol))
            symbols = family;
    }
    QVERIFY2(!symbols.isEmpty(), "no symbol font installed (fonts-urw-base35 has one)");
    // The entry shows the name in the list's own font, not in the symbol font's glyphs.
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 240, 22);
    option.font = m_window->ComboBox1->font();
    option.palette = m_window->ComboBox1->palette();
    const auto drawn = [&](const QFont &face) {
        QImage image(option.rect.size(), QImage::Format_ARGB32);
        QPainter painter(&image);
        if (face == QFont())
            m_window->ComboBox1DrawItem(&painter, option, symbols);
        else {
            painter.fillRect(option.rect, option.palette.base());
            const FontEntryPlacement placement = placeFontEntry(face, symbols, option.rect);
            painter.setFont(placement.font);
            painter.setPen(option.palette.text().color());
            painter.drawText(QPoint(0, placement.baseline), symbols);
        }
        return image;
    };
    QFont own = option.font;
    own.setFamilies({ symbols });
    const QImage entry = drawn(QFont());
    QVERIFY(entry != drawn(own));
    QCOMPARE(entry, drawn(option.font));
}

QTEST_MAIN(tst_DesktopFit)
#include "tst_desktopfit.moc"
