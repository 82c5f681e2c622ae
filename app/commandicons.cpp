#include "commandicons.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPainterPath>
#include <QPixmap>

namespace {

constexpr int Size = 21;

const char *themeName(int index)
{
    static const char *const names[] = {
        "document-new",     "document-open",      "document-save",       "document-print-preview",
        "document-print",   "edit-undo",          "edit-cut",            "edit-copy",
        "edit-paste",       "edit-select-all",    "edit-find-replace",   "mail-send",
        "format-text-bold", "format-text-italic", "format-text-underline", "format-justify-left",
        "format-justify-center", "format-justify-right", "format-list-unordered",
    };
    if (index >= 0 && index < int(std::size(names)))
        return names[index];
    return index == 21 ? "help-contents" : nullptr;
}

// Outlines of things drawn on their own paper (pages, folders, envelopes).
const QColor Ink(40, 40, 40);
const QColor Paper(255, 255, 255);
const QColor Folder(230, 180, 60);
const QColor Blue(40, 90, 180);

void page(QPainter &p, const QRectF &r)
{
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - 4, r.top());
    path.lineTo(r.right(), r.top() + 4);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.setPen(QPen(Ink, 1));
    p.setBrush(Paper);
    p.drawPath(path);
    p.drawLine(QPointF(r.right() - 4, r.top()), QPointF(r.right() - 4, r.top() + 4));
    p.drawLine(QPointF(r.right() - 4, r.top() + 4), QPointF(r.right(), r.top() + 4));
}

void textLines(QPainter &p, qreal left, qreal right, qreal top, int count, Qt::Alignment align = Qt::AlignLeft,
               const QColor &ink = Ink)
{
    p.setPen(QPen(ink, 1.5));
    for (int i = 0; i < count; ++i) {
        const qreal width = (i % 2) ? (right - left) * 0.65 : (right - left);
        qreal x = left;
        if (align & Qt::AlignHCenter)
            x = left + (right - left - width) / 2;
        else if (align & Qt::AlignRight)
            x = right - width;
        p.drawLine(QPointF(x, top + i * 4), QPointF(x + width, top + i * 4));
    }
}

void magnifier(QPainter &p, QPointF centre, qreal radius)
{
    p.setPen(QPen(Ink, 2));
    p.setBrush(QColor(200, 230, 255, 200));
    p.drawEllipse(centre, radius, radius);
    p.drawLine(centre + QPointF(radius * 0.7, radius * 0.7), centre + QPointF(radius * 1.9, radius * 1.9));
}

void letter(QPainter &p, const QString &text, bool bold, bool italic, bool underline, const QColor &ink)
{
    QFont f(QStringLiteral("DejaVu Serif"));
    f.setPixelSize(16);
    f.setBold(bold);
    f.setItalic(italic);
    f.setUnderline(underline);
    p.setFont(f);
    p.setPen(ink);
    p.drawText(QRect(0, 0, Size, Size), Qt::AlignCenter, text);
}

// `text` is the colour of pictures drawn straight on the bar (letters, lines, bullets): the
// palette's, so that they show on a dark bar as on a light one.
void draw(QPainter &p, int index, const QColor &text)
{
    switch (index) {
    case 0: // new
        page(p, QRectF(4.5, 2.5, 12, 16));
        break;
    case 1: { // open
        p.setPen(QPen(Ink, 1));
        p.setBrush(Folder.darker(115));
        p.drawRect(QRectF(2.5, 5.5, 15, 12));
        p.setBrush(Folder);
        QPolygonF flap;
        flap << QPointF(4.5, 9.5) << QPointF(19.5, 9.5) << QPointF(17.5, 17.5) << QPointF(2.5, 17.5);
        p.drawPolygon(flap);
        break;
    }
    case 2: // save
        p.setPen(QPen(Ink, 1));
        p.setBrush(Blue);
        p.drawRect(QRectF(3.5, 3.5, 14, 14));
        p.setBrush(Paper);
        p.drawRect(QRectF(6.5, 3.5, 8, 5));
        p.drawRect(QRectF(6.5, 11.5, 8, 6));
        break;
    case 3: // preview
        page(p, QRectF(2.5, 2.5, 11, 15));
        magnifier(p, QPointF(12, 11), 3.5);
        break;
    case 4: // print
        page(p, QRectF(6.5, 2.5, 8, 7));
        p.setPen(QPen(Ink, 1));
        p.setBrush(QColor(170, 170, 170));
        p.drawRoundedRect(QRectF(2.5, 8.5, 16, 7), 1.5, 1.5);
        p.setBrush(Paper);
        p.drawRect(QRectF(6.5, 13.5, 8, 5));
        break;
    case 5: { // undo
        p.setPen(QPen(Blue, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        QPainterPath arc;
        arc.moveTo(5, 9);
        arc.cubicTo(9, 4, 18, 5, 16, 14);
        p.drawPath(arc);
        p.setBrush(Blue);
        QPolygonF head;
        head << QPointF(2, 9) << QPointF(8, 5) << QPointF(8, 12);
        p.drawPolygon(head);
        break;
    }
    case 6: // cut
        p.setPen(QPen(Ink, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(6.5, 15.5), 3, 3);
        p.drawEllipse(QPointF(14.5, 15.5), 3, 3);
        p.drawLine(QPointF(8, 13), QPointF(15, 2.5));
        p.drawLine(QPointF(13, 13), QPointF(6, 2.5));
        break;
    case 7: // copy
        page(p, QRectF(2.5, 2.5, 10, 12));
        page(p, QRectF(8.5, 6.5, 10, 12));
        break;
    case 8: // paste
        p.setPen(QPen(Ink, 1));
        p.setBrush(QColor(190, 140, 80));
        p.drawRect(QRectF(3.5, 4.5, 12, 14));
        p.setBrush(QColor(120, 120, 120));
        p.drawRect(QRectF(7.5, 2.5, 4, 3));
        page(p, QRectF(9.5, 8.5, 9, 11));
        break;
    case 9: // select all
        p.setPen(QPen(Blue, 1, Qt::DashLine));
        p.setBrush(QColor(200, 220, 255));
        p.drawRect(QRectF(2.5, 3.5, 16, 14));
        textLines(p, 5, 16, 7, 3);
        break;
    case 10: // find and replace
        page(p, QRectF(2.5, 2.5, 12, 16));
        textLines(p, 4.5, 12.5, 6, 3);
        magnifier(p, QPointF(13, 12), 3.5);
        break;
    case 11: // mail
        p.setPen(QPen(Ink, 1));
        p.setBrush(Paper);
        p.drawRect(QRectF(2.5, 5.5, 16, 11));
        p.drawLine(QPointF(2.5, 5.5), QPointF(10.5, 12));
        p.drawLine(QPointF(18.5, 5.5), QPointF(10.5, 12));
        break;
    case 12:
        letter(p, QStringLiteral("B"), true, false, false, text);
        break;
    case 13:
        letter(p, QStringLiteral("I"), false, true, false, text);
        break;
    case 14:
        letter(p, QStringLiteral("U"), false, false, true, text);
        break;
    case 15:
        textLines(p, 3, 18, 5, 4, Qt::AlignLeft, text);
        break;
    case 16:
        textLines(p, 3, 18, 5, 4, Qt::AlignHCenter, text);
        break;
    case 17:
        textLines(p, 3, 18, 5, 4, Qt::AlignRight, text);
        break;
    case 18: // bullets
        p.setPen(Qt::NoPen);
        p.setBrush(text);
        for (int i = 0; i < 3; ++i)
            p.drawEllipse(QPointF(4.5, 5.5 + i * 5), 1.8, 1.8);
        p.setPen(QPen(text, 1.5));
        for (int i = 0; i < 3; ++i)
            p.drawLine(QPointF(8, 5.5 + i * 5), QPointF(18, 5.5 + i * 5));
        break;
    case 21: { // help
        p.setPen(QPen(Blue, 1.5));
        p.setBrush(QColor(220, 235, 255));
        p.drawEllipse(QPointF(10.5, 10.5), 8, 8);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(13);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRect(0, 0, Size, Size), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    default:
        break;
    }
}

// Draws a command's picture when it is shown, in the colours of the palette of that moment:
// a change of theme changes the pictures with it.
class DrawnIconEngine : public QIconEngine {
public:
    explicit DrawnIconEngine(int index)
        : m_index(index)
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.topLeft());
        painter->scale(rect.width() / qreal(Size), rect.height() / qreal(Size));
        if (mode == QIcon::Disabled)
            painter->setOpacity(0.4);
        const QPalette palette = QGuiApplication::palette();
        draw(*painter, m_index, palette.color(mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active,
                                              QPalette::ButtonText));
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override { return size; }
    QIconEngine *clone() const override { return new DrawnIconEngine(m_index); }
    QString key() const override { return QStringLiteral("penloft-drawn"); }

private:
    int m_index;
};

} // namespace

QIcon commandIcon(int index)
{
    if (index < 0)
        return {};
    if (const char *name = themeName(index); name && QIcon::hasThemeIcon(QString::fromLatin1(name)))
        return QIcon::fromTheme(QString::fromLatin1(name));
    return QIcon(new DrawnIconEngine(index));
}

QIcon applicationIcon()
{
    // The program's picture (as resources/icons/penloft.svg draws it for the desktop): a page
    // with a folded corner, three lines of text and a pen, on a 64-unit square.
    QIcon icon;
    for (const int size : { 16, 24, 32, 48, 64, 128, 256 }) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 64.0, size / 64.0);
        const QColor blue(0x2a, 0x5a, 0xa8);
        QPen outline(blue, 3);
        outline.setJoinStyle(Qt::RoundJoin);
        p.setPen(outline);
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF { { 12, 4 }, { 40, 4 }, { 52, 16 }, { 52, 60 }, { 12, 60 } });
        p.setBrush(QColor(0xdc, 0xe6, 0xf5));
        p.drawPolygon(QPolygonF { { 40, 4 }, { 40, 16 }, { 52, 16 } });
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x9a, 0xa8, 0xbd));
        p.drawRect(QRectF(19, 24, 22, 3));
        p.drawRect(QRectF(19, 32, 26, 3));
        p.drawRect(QRectF(19, 40, 16, 3));
        QPen penEdge(QColor(0x8a, 0x3a, 0x10), 1.5);
        penEdge.setJoinStyle(Qt::RoundJoin);
        p.setPen(penEdge);
        p.setBrush(QColor(0xe0, 0x70, 0x2a));
        p.drawPolygon(QPolygonF { { 58, 22 }, { 62, 26 }, { 36, 52 }, { 30, 54 }, { 32, 48 } });
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x2b, 0x2b, 0x2b));
        p.drawPolygon(QPolygonF { { 30, 54 }, { 32, 48 }, { 36, 52 } });
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
