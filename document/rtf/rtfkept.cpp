#include "rtfkept.h"

#include "codepages.h"
#include "rtfkeptproperties.h"

#include <QAbstractTextDocumentLayout>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextFrame>
#include <QTextObjectInterface>

#include <atomic>
#include <cctype>
#include <unordered_map>

namespace {

const QColor LinkColor(0x05, 0x63, 0xC1);

std::atomic<int> nextSerial { 1 };

// A footnote's mark is drawn at this share of its text's size, raised to the line's top.
constexpr qreal MarkScale = 0.66;

QFont markFont(const QTextFormat &format)
{
    QFont font = format.toCharFormat().font();
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * MarkScale);
    return font;
}

class AnchorHandler : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)
public:
    QSizeF intrinsicSize(QTextDocument *document, int, const QTextFormat &format) override
    {
        const QString mark = RtfKept::markOf(format);
        if (mark.isEmpty())
            return { 0, 0 };
        QPaintDevice *device = document && document->documentLayout() ? document->documentLayout()->paintDevice()
                                                                       : nullptr;
        const QFontMetricsF full(format.toCharFormat().font(), device);
        const QFontMetricsF small(markFont(format), device);
        return { small.horizontalAdvance(mark) + 1, full.ascent() };
    }

    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *, int, const QTextFormat &format) override
    {
        const QString mark = RtfKept::markOf(format);
        if (mark.isEmpty())
            return;
        painter->save();
        painter->setFont(markFont(format));
        const QTextCharFormat chars = format.toCharFormat();
        if (chars.foreground().style() != Qt::NoBrush)
            painter->setPen(chars.foreground().color());
        painter->drawText(rect, Qt::AlignLeft | Qt::AlignTop, mark);
        painter->restore();
    }
};

AnchorHandler *handler()
{
    // Lives as long as the program: layouts hold it by a guarded pointer.
    static AnchorHandler *instance = new AnchorHandler;
    return instance;
}

bool startsWith(QByteArrayView data, qsizetype at, std::string_view text)
{
    return at + qsizetype(text.size()) <= data.size()
        && QByteArrayView(data.data() + at, qsizetype(text.size())) == QByteArrayView(text.data(), qsizetype(text.size()));
}

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads a group's text a token at a time; nested groups that begin with \* and pictures are
// passed over. One pass over the bytes, whatever their nesting.
class TextScan {
public:
    TextScan(QByteArrayView data, int codePage)
        : m_data(data)
        , m_codePage(codePage)
    {
    }

    QString run()
    {
        while (m_at < m_data.size() && m_out.size() < RtfKept::MaxNoteChars) {
            const char c = m_data[m_at++];
            if (c == '{')
                open();
            else if (c == '}')
                close();
            else if (c == '\\')
                control();
            else if (c != '\r' && c != '\n' && m_skipDepth < 0)
                m_bytes += c;
        }
        flush();
        return m_out.left(RtfKept::MaxNoteChars).simplified();
    }

private:
    void open()
    {
        ++m_depth;
        if (m_skipDepth >= 0 || m_depth == 1)
            return;
        if (startsWith(m_data, m_at, "\\*") || startsWith(m_data, m_at, "\\pict") || startsWith(m_data, m_at, "\\bin"))
            m_skipDepth = m_depth;
    }

    void close()
    {
        if (m_skipDepth == m_depth)
            m_skipDepth = -1;
        --m_depth;
    }

    void control()
    {
        if (m_at >= m_data.size())
            return;
        const char c = m_data[m_at];
        if (!isLetter(c)) {
            ++m_at;
            if (m_skipDepth >= 0)
                return;
            if (c == '\'' && m_at + 1 < m_data.size() && hexValue(m_data[m_at]) >= 0 && hexValue(m_data[m_at + 1]) >= 0) {
                m_bytes += char(hexValue(m_data[m_at]) * 16 + hexValue(m_data[m_at + 1]));
                m_at += 2;
            } else if (c == '\\' || c == '{' || c == '}') {
                m_bytes += c;
            }
            return;
        }
        const qsizetype start = m_at;
        while (m_at < m_data.size() && isLetter(m_data[m_at]))
            ++m_at;
        const QByteArrayView name = m_data.sliced(start, m_at - start);
        bool negative = false;
        if (m_at < m_data.size() && m_data[m_at] == '-') {
            negative = true;
            ++m_at;
        }
        long long value = 0;
        while (m_at < m_data.size() && m_data[m_at] >= '0' && m_data[m_at] <= '9') {
            if (value < 0x7FFFFFFF)
                value = value * 10 + (m_data[m_at] - '0');
            ++m_at;
        }
        if (m_at < m_data.size() && m_data[m_at] == ' ')
            ++m_at;
        if (name == "bin") {
            m_at += qBound<qsizetype>(0, qsizetype(value), m_data.size() - m_at);
            return;
        }
        if (m_skipDepth >= 0)
            return;
        word(name, int(negative ? -value : value));
    }

    void word(QByteArrayView name, int value)
    {
        if (name == "par" || name == "line" || name == "tab" || name == "cell") {
            text(QStringLiteral(" "));
        } else if (name == "u") {
            text(QString(QChar(char16_t(value < 0 ? value + 65536 : value))));
            // The fallback that follows: one byte, as written by every writer we know.
            if (startsWith(m_data, m_at, "\\'"))
                m_at = qMin(m_data.size(), m_at + 4);
            else if (m_at < m_data.size() && m_data[m_at] != '\\' && m_data[m_at] != '{' && m_data[m_at] != '}')
                ++m_at;
        }
    }

    void text(const QString &s)
    {
        flush();
        m_out += s;
    }

    void flush()
    {
        if (m_bytes.isEmpty())
            return;
        m_out += CodePages::decode(m_bytes, m_codePage);
        m_bytes.clear();
    }

    QByteArrayView m_data;
    int m_codePage;
    qsizetype m_at = 0;
    int m_depth = 0;
    int m_skipDepth = -1;
    QByteArray m_bytes;
    QString m_out;
};

} // namespace

namespace RtfKept {

Kind kindOf(std::string_view destination)
{
    static const std::unordered_map<std::string_view, Kind> kinds = [] {
        std::unordered_map<std::string_view, Kind> t;
        for (std::string_view leading :
             { "info", "stylesheet", "header", "headerl", "headerr", "headerf", "footer", "footerl", "footerr",
               "footerf", "themedata", "colorschememapping", "latentstyles", "datastore", "xmlnstbl", "rsidtbl",
               "generator", "filetbl", "revtbl", "pgdsctbl", "mmathPr", "userprops", "docvar", "template",
               "ftnsep", "ftnsepc", "ftncn", "aftnsep", "aftnsepc", "aftncn", "protusertbl", "listpicture",
               "pnseclvl", "wgrffmtfilter", "defchp", "defpap", "fchars", "lchars", "pgptbl", "password",
               "passwordhash", "background" })
            t[leading] = Kind::Leading;
        for (std::string_view anchored : { "annotation", "atnid", "atnauthor", "atndate", "atnref", "atrfstart",
                                           "atrfend", "bkmkstart", "bkmkend", "xe", "tc", "txe", "shp", "object",
                                           "do", "field" })
            t[anchored] = Kind::Anchored;
        t["footnote"] = Kind::Footnote;
        return t;
    }();
    const auto found = kinds.find(destination);
    return found == kinds.end() ? Kind::None : found->second;
}

bool isKeptDocumentWord(std::string_view word)
{
    for (std::string_view page : { "paperw", "paperh", "margl", "margr", "margt", "margb", "landscape" }) {
        if (word == page)
            return false;
    }
    return true;
}

bool isSectionWord(std::string_view word)
{
    // The words that start so belong to sections only; "line" alone is a line break.
    for (std::string_view start : { "sect", "sbk", "cols", "colno", "colw", "colsr", "pgn", "pgbrdr", "sftn",
                                    "saftn", "vertal", "linex", "linemod", "linestart", "linerestart",
                                    "lineppage", "linecont", "linebetcol", "titlepg", "headery", "footery",
                                    "endnhere", "ltrsect", "rtlsect", "stextflow", "binfsxn", "binsxn" }) {
        if (word.starts_with(start))
            return true;
    }
    return word.size() > 3 && word.ends_with("sxn");
}

QTextCharFormat sectionFormat(const QByteArray &words, const QTextCharFormat &base, bool endsParagraph)
{
    QTextCharFormat format = anchorFormat(words, base);
    format.setProperty(SectionProperty, endsParagraph ? 2 : 1);
    return format;
}

bool isSection(const QTextFormat &format)
{
    return format.hasProperty(SectionProperty);
}

bool sectionEndsParagraph(const QTextFormat &format)
{
    return format.intProperty(SectionProperty) == 2;
}

void setKeptUnicodeSkip(QTextCharFormat &format, int skip)
{
    if (skip == 1)
        format.clearProperty(KeptUcProperty);
    else
        format.setProperty(KeptUcProperty, skip);
}

int keptUnicodeSkip(const QTextFormat &format)
{
    return format.hasProperty(KeptUcProperty) ? format.intProperty(KeptUcProperty) : 1;
}

void setFieldUnicodeSkip(QTextCharFormat &format, int skip)
{
    if (skip == 1)
        format.clearProperty(FieldUcProperty);
    else
        format.setProperty(FieldUcProperty, skip);
}

int fieldUnicodeSkip(const QTextFormat &format)
{
    return format.hasProperty(FieldUcProperty) ? format.intProperty(FieldUcProperty) : 1;
}

bool sectionBreaksPage(const QTextFormat &format)
{
    if (!isSection(format))
        return false;
    // The section's own words stand outside its groups (headers and footers come in braces); the
    // last break word counts, as a reader applies them in turn.
    const QByteArray words = keptGroup(format);
    bool page = true;
    int depth = 0;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const char c = words.at(i);
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            depth = qMax(0, depth - 1);
        } else if (c == '\\' && i + 1 < words.size()) {
            if (depth == 0 && QByteArrayView(words).sliced(i + 1).startsWith("sbk")) {
                qsizetype end = i + 4;
                while (end < words.size() && std::isalpha(static_cast<unsigned char>(words.at(end))))
                    ++end;
                const QByteArrayView kind = QByteArrayView(words).sliced(i + 4, end - i - 4);
                page = kind != "none" && kind != "col";
                i = end - 1;
            } else {
                ++i; // an escaped brace or backslash is text
            }
        }
    }
    return page;
}

bool startsSectionPage(const QTextBlock &block)
{
    const QTextBlock before = block.previous();
    if (!before.isValid() || before.length() < 2)
        return false;
    // The anchor is the paragraph's last character: the format before the paragraph's end.
    QTextCursor end(before);
    end.movePosition(QTextCursor::EndOfBlock);
    return sectionBreaksPage(end.charFormat());
}

QTextCharFormat anchorFormat(const QByteArray &group, const QTextCharFormat &base, const QString &mark,
                             const QString &note)
{
    QTextCharFormat format = base;
    format.setObjectType(ObjectType);
    format.setProperty(GroupProperty, group);
    format.setProperty(SerialProperty, nextSerial.fetch_add(1, std::memory_order_relaxed));
    if (!mark.isEmpty())
        format.setProperty(MarkProperty, mark);
    if (!note.isEmpty())
        format.setToolTip(note);
    format.clearProperty(QTextFormat::ObjectIndex);
    return format;
}

void setAfterParagraph(QTextCharFormat &format)
{
    format.setProperty(AfterParagraphProperty, true);
}

bool isAfterParagraph(const QTextFormat &format)
{
    return format.boolProperty(AfterParagraphProperty);
}

void keepShape(QTextCharFormat &pictureFormat, const QByteArray &shape)
{
    pictureFormat.setProperty(GroupProperty, shape);
}

QByteArray keptGroup(const QTextFormat &format)
{
    return format.property(GroupProperty).toByteArray();
}

bool hasFootnoteMark(const QTextFormat &format)
{
    return format.hasProperty(MarkProperty);
}

QString markOf(const QTextFormat &format)
{
    return format.property(MarkProperty).toString();
}

bool withoutAnchor(QTextCharFormat &format)
{
    if (!format.hasProperty(GroupProperty) && format.objectType() != ObjectType)
        return false;
    const bool anchor = format.objectType() == ObjectType;
    format.clearProperty(GroupProperty);
    format.clearProperty(SerialProperty);
    format.clearProperty(MarkProperty);
    format.clearProperty(SectionProperty);
    format.clearProperty(KeptUcProperty);
    format.clearProperty(AfterParagraphProperty);
    if (anchor) {
        format.clearProperty(QTextFormat::TextToolTip);
        format.setObjectType(QTextFormat::NoObject);
    }
    return true;
}

void setField(QTextCharFormat &format, const QByteArray &instruction, int serial)
{
    format.setProperty(FieldProperty, instruction);
    format.setProperty(FieldSerialProperty, serial);
}

QByteArray fieldInstruction(const QTextFormat &format)
{
    return format.property(FieldProperty).toByteArray();
}

int fieldSerial(const QTextFormat &format)
{
    return format.property(FieldSerialProperty).toInt();
}

void showAsLink(QTextCharFormat &format, const QString &target)
{
    format.setToolTip(target);
    if (!format.fontUnderline()) {
        format.setFontUnderline(true);
        format.setProperty(LinkUnderlineProperty, true);
    }
    if (format.foreground().style() == Qt::NoBrush) {
        format.setForeground(LinkColor);
        format.setProperty(LinkColorProperty, true);
    }
}

bool linkUnderlineAdded(const QTextFormat &format)
{
    return format.boolProperty(LinkUnderlineProperty);
}

bool linkColorAdded(const QTextFormat &format)
{
    return format.boolProperty(LinkColorProperty);
}

QString hyperlinkTarget(QByteArrayView instruction, int codePage)
{
    const QString text = plainTextOf(instruction, codePage);
    QStringView rest(text);
    if (!rest.startsWith(u"HYPERLINK", Qt::CaseInsensitive))
        return {};
    rest = rest.mid(9).trimmed();
    if (rest.startsWith(u'"')) {
        const qsizetype end = rest.indexOf(u'"', 1);
        return (end < 0 ? rest.mid(1) : rest.mid(1, end - 1)).toString();
    }
    const qsizetype end = rest.indexOf(u' ');
    return (end < 0 ? rest : rest.left(end)).toString();
}

QString plainTextOf(QByteArrayView group, int codePage)
{
    return TextScan(group, codePage).run();
}

void setLeading(QTextDocument &document, const QByteArray &bytes)
{
    QTextFrameFormat format = document.rootFrame()->frameFormat();
    if (bytes.isEmpty() && !format.hasProperty(LeadingProperty))
        return;
    if (bytes.isEmpty())
        format.clearProperty(LeadingProperty);
    else
        format.setProperty(LeadingProperty, bytes);
    document.rootFrame()->setFrameFormat(format);
}

QByteArray leading(const QTextDocument &document)
{
    return document.rootFrame()->frameFormat().property(LeadingProperty).toByteArray();
}

void registerHandler(QAbstractTextDocumentLayout *layout)
{
    layout->registerHandler(ObjectType, handler());
}

} // namespace RtfKept

#include "rtfkept.moc"
