#include "rtflists.h"

#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextList>

namespace RtfLists {

namespace {

bool allOf(QStringView s, QStringView allowed)
{
    for (QChar c : s) {
        if (!allowed.contains(c))
            return false;
    }
    return !s.isEmpty();
}

// \levelnfcN of each style.
int levelFormatOf(QTextListFormat::Style style)
{
    switch (style) {
    case QTextListFormat::ListUpperRoman:
        return 1;
    case QTextListFormat::ListLowerRoman:
        return 2;
    case QTextListFormat::ListUpperAlpha:
        return 3;
    case QTextListFormat::ListLowerAlpha:
        return 4;
    default:
        return 0;
    }
}

// A bullet in RTF: the Symbol font's bullet for the disc, \uN for the others with "?" for
// readers without \u (\uc1 in force: these are written inside groups of their own).
QByteArray bulletCharacter(QTextListFormat::Style style)
{
    switch (style) {
    case QTextListFormat::ListCircle:
        return "\\uc1\\u9702?";
    case QTextListFormat::ListSquare:
        return "\\uc1\\u9642?";
    default:
        return "\\'b7";
    }
}

bool isSymbolBullet(QTextListFormat::Style style)
{
    return style != QTextListFormat::ListCircle && style != QTextListFormat::ListSquare;
}

} // namespace

QTextListFormat::Style styleOfLevelFormat(int levelFormat)
{
    switch (levelFormat) {
    case 1:
        return QTextListFormat::ListUpperRoman;
    case 2:
        return QTextListFormat::ListLowerRoman;
    case 3:
        return QTextListFormat::ListUpperAlpha;
    case 4:
        return QTextListFormat::ListLowerAlpha;
    case 23: // bullets
    case 255: // no number
        return QTextListFormat::ListStyleUndefined;
    default:
        // Ordinals, numbers in words and the East Asian digits show as digits.
        return QTextListFormat::ListDecimal;
    }
}

QTextListFormat::Style styleOfMarker(QStringView marker)
{
    QStringView s = marker.trimmed();
    if (s.startsWith(u'('))
        s = s.mid(1);
    if (s.endsWith(u'.') || s.endsWith(u')'))
        s.chop(1);
    if (s.size() > 8)
        return QTextListFormat::ListStyleUndefined;
    if (allOf(s, u"0123456789"))
        return QTextListFormat::ListDecimal;
    // A single letter other than "i" is a letter: "c." follows "b.", not "xcix.".
    if (s == u"i" || (s.size() > 1 && allOf(s, u"ivxlcdm")))
        return QTextListFormat::ListLowerRoman;
    if (s == u"I" || (s.size() > 1 && allOf(s, u"IVXLCDM")))
        return QTextListFormat::ListUpperRoman;
    if (s.size() == 1 && s.at(0) >= u'a' && s.at(0) <= u'z')
        return QTextListFormat::ListLowerAlpha;
    if (s.size() == 1 && s.at(0) >= u'A' && s.at(0) <= u'Z')
        return QTextListFormat::ListUpperAlpha;
    return QTextListFormat::ListStyleUndefined;
}

QTextListFormat numberedFormat(QTextListFormat::Style style, int level)
{
    QTextListFormat format;
    format.setStyle(style);
    format.setIndent(0); // the paragraph's own indent places the item
    format.setProperty(LevelProperty, qBound(0, level, MaxLevel));
    return format;
}

bool isNumbered(const QTextList *list)
{
    if (!list)
        return false;
    switch (list->format().style()) {
    case QTextListFormat::ListDecimal:
    case QTextListFormat::ListLowerAlpha:
    case QTextListFormat::ListUpperAlpha:
    case QTextListFormat::ListLowerRoman:
    case QTextListFormat::ListUpperRoman:
        return true;
    default:
        return false;
    }
}

int levelOf(const QTextList *list)
{
    return list ? qBound(0, list->format().intProperty(LevelProperty), MaxLevel) : 0;
}

QTextListFormat::Style bulletStyle(QStringView marker, int level)
{
    const QStringView s = marker.trimmed();
    if (s.size() == 1) {
        // Discs, circles and squares as word processors write them, in text and in the
        // private-use forms of the symbol fonts.
        if (QStringView(u"\u2022\u00B7\u30FB\u25CF\uF0B7\uF06C").contains(s.at(0)))
            return QTextListFormat::ListDisc;
        if (QStringView(u"\u25E6\u25CB\u25EF\u3007o\uF06F\uF0A1").contains(s.at(0)))
            return QTextListFormat::ListCircle;
        if (QStringView(u"\u25AA\u25A0\u25A1\u25C6\u00A7\uF0A7\uF06E\uF0A8").contains(s.at(0)))
            return QTextListFormat::ListSquare;
    }
    static constexpr QTextListFormat::Style byLevel[]
        = { QTextListFormat::ListDisc, QTextListFormat::ListCircle, QTextListFormat::ListSquare };
    return byLevel[qBound(0, level, MaxLevel) % 3];
}

QTextListFormat bulletFormat(QTextListFormat::Style style, int level)
{
    QTextListFormat format;
    format.setStyle(style);
    format.setIndent(0); // the paragraph's own indent makes the bullet's room
    format.setProperty(LevelProperty, qBound(0, level, MaxLevel));
    return format;
}

void Reading::place(QTextCursor &cursor, QTextListFormat::Style style, int number, int level)
{
    level = qBound(0, level, MaxLevel);
    for (int deeper = level + 1; deeper <= MaxLevel; ++deeper)
        m_lists.erase({ number, deeper });
    QPointer<QTextList> &list = m_lists[{ number, level }];
    if (list && list->format().style() == style && list->count() < MaxItems)
        list->add(cursor.block());
    else
        list = cursor.createList(numberedFormat(style, level));
}

void Writing::collect(const QTextBlock &block)
{
    const QTextList *list = block.textList();
    if (list && !isNumbered(list)) {
        m_hasBullets = true;
        QTextListFormat::Style &style = m_bulletStyles[levelOf(list)];
        if (style == QTextListFormat::ListStyleUndefined)
            style = list->format().style();
        return;
    }
    if (!list || m_numbers.count(list))
        return;
    m_numbers.emplace(list, m_next);
    m_styles.emplace(m_next, list->format().style());
    ++m_next;
}

std::pair<int, int> Writing::numberOf(const QTextBlock &block) const
{
    const auto it = m_numbers.find(block.textList());
    if (it == m_numbers.end())
        return { 0, 0 };
    return { it->second, qBound(0, it->first->format().intProperty(LevelProperty), MaxLevel) };
}

QByteArray Writing::listEntries() const
{
    QByteArray out;
    for (const auto &[number, style] : m_styles) {
        const QByteArray nfc = QByteArray::number(levelFormatOf(style));
        out += "{\\list\\listtemplateid" + QByteArray::number(number);
        for (int level = 0; level <= MaxLevel; ++level) {
            // The level's text: its own number (placeholder \'0N) and a full stop.
            out += "{\\listlevel\\levelnfc" + nfc + "\\levelnfcn" + nfc
                + "\\leveljc0\\levelfollow0\\levelstartat1{\\leveltext\\'02\\'0" + QByteArray::number(level)
                + ".;}{\\levelnumbers\\'01;}\\fi-360\\li" + QByteArray::number(720 + 360 * level) + "}";
        }
        out += "\\listid" + QByteArray::number(number) + "}";
    }
    return out;
}

QByteArray Writing::overrideEntries() const
{
    QByteArray out;
    for (const auto &entry : m_styles) {
        const QByteArray number = QByteArray::number(entry.first);
        out += "{\\listoverride\\listid" + number + "\\listoverridecount0\\ls" + number + "}";
    }
    return out;
}

QByteArray Writing::bulletEntry(int symbolFont) const
{
    QByteArray out = "{\\list\\listtemplateid1";
    for (int level = 0; level <= MaxLevel; ++level) {
        const QTextListFormat::Style shown = m_bulletStyles[level] != QTextListFormat::ListStyleUndefined
            ? m_bulletStyles[level]
            : bulletStyle({}, level);
        out += "{\\listlevel\\levelnfc23\\levelnfcn23\\leveljc0\\levelfollow0\\levelstartat1{\\leveltext\\'01"
            + bulletCharacter(shown) + ";}{\\levelnumbers;}";
        if (isSymbolBullet(shown))
            out += "\\f" + QByteArray::number(symbolFont);
        out += "\\fi-360\\li" + QByteArray::number(360 + 360 * level) + "}";
    }
    return out + "\\listid1}";
}

QByteArray Writing::bulletPn(QTextListFormat::Style style, int symbolFont)
{
    QByteArray out = "{\\*\\pn\\pnlvlblt";
    if (isSymbolBullet(style))
        out += "\\pnf" + QByteArray::number(symbolFont);
    return out + "\\pnindent0{\\pntxtb" + bulletCharacter(style) + "}}";
}

QByteArray Writing::bulletText(QTextListFormat::Style style, int symbolFont)
{
    const QByteArray font = isSymbolBullet(style) ? "\\f" + QByteArray::number(symbolFont) : QByteArray();
    return "{\\pntext" + font + bulletCharacter(style) + "\\tab}";
}

QByteArray Writing::listText(const QTextBlock &block)
{
    const QTextList *list = block.textList();
    return "{\\listtext " + (list ? list->itemText(block).toLatin1() : QByteArray()) + "\\tab}";
}

} // namespace RtfLists
