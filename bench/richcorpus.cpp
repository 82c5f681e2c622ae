#include "richcorpus.h"

#include "corpus.h"
#include "random.h"

#include "document/cp932.h"
#include "document/richdocument.h"

#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <array>
#include <vector>

namespace {

const QString Mincho = QString::fromUtf16(u"ＭＳ 明朝");
const QString Gothic = QString::fromUtf16(u"ＭＳ ゴシック");

struct Look {
    bool gothic = false;
    int twips = 210;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    QRgb rgb = 0; // 0: the automatic colour
};

// The looks a run takes: each differs from the others in one or two attributes, as hand-made
// emphasis in a letter or a report does.
constexpr std::array<Look, 8> looks = { {
    { false, 210, false, false, false, 0 },
    { false, 210, true, false, false, 0 },
    { false, 210, false, true, false, 0 },
    { false, 210, false, false, false, 0xC00000 },
    { true, 240, false, false, false, 0x0000C0 },
    { true, 280, true, false, false, 0 },
    { false, 210, false, false, true, 0 },
    { true, 180, false, true, false, 0x008000 },
} };

QTextCharFormat textFormatOf(const Look &look)
{
    CharFormat f = RichCorpus::defaults();
    f.faceName = look.gothic ? Gothic : Mincho;
    f.sizeTwips = look.twips;
    f.bold = look.bold;
    f.italic = look.italic;
    f.underline = look.underline;
    f.autoColor = look.rgb == 0;
    if (!f.autoColor)
        f.color = QColor::fromRgb(look.rgb);
    return TextFormats::toTextCharFormat(f);
}

// What the writer spends on one character: \uN followed by its CP932 bytes as \'hh. Only an
// estimate of the file's size is needed while building; the real size is measured after.
int rtfBytesOf(char16_t c)
{
    if (c < 0x80)
        return c == u'\\' || c == u'{' || c == u'}' ? 2 : 1;
    const int value = c > 0x7FFF ? static_cast<int>(c) - 0x10000 : static_cast<int>(c);
    int digits = value < 0 ? 2 : 1;
    for (int rest = value < 0 ? -value : value; rest >= 10; rest /= 10)
        ++digits;
    return 2 + digits + 4 * Cp932::encodedWidth(c);
}

// The control words of a format change (\f1\dbch\af1 \fs28 \b ...) and of a paragraph end
// (\par, CR LF), on average, for the same estimate.
constexpr int RunOverheadBytes = 22;
constexpr int ParagraphOverheadBytes = 8;

// Paragraph formats through the editor's own path, so that bullets are lists as typing them
// makes them.
void formatParagraphs(QTextDocument &document, quint64 seed, RichCorpus::Stats &stats)
{
    RichDocument rich(&document);
    Random random(seed ^ 0x5041524147524150ULL);
    int bulletsLeft = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        ParaFormat p;
        if (bulletsLeft == 0 && random.chance(3))
            bulletsLeft = random.between(2, 6);
        if (bulletsLeft > 0) {
            --bulletsLeft;
            p.mask = ParaFormat::Numbering;
            p.numbering = ParaFormat::NumberingBullet;
            ++stats.bulleted;
        } else {
            const int roll = random.between(1, 100);
            if (roll <= 6) {
                p.mask = ParaFormat::Alignment;
                p.alignment = ParaFormat::AlignCenter;
                ++stats.aligned;
            } else if (roll <= 9) {
                p.mask = ParaFormat::Alignment;
                p.alignment = ParaFormat::AlignRight;
                ++stats.aligned;
            } else if (roll <= 19) {
                // The first line one character in, as Japanese paragraphs often are.
                p.mask = ParaFormat::FirstIndent;
                p.firstIndentTwips = 210;
                ++stats.indented;
            } else if (roll <= 24) {
                // A quotation: indented on both sides, the first line hanging out.
                p.mask = ParaFormat::FirstIndent | ParaFormat::LeftIndent | ParaFormat::RightIndent;
                p.firstIndentTwips = 420;
                p.leftIndentTwips = 420;
                p.rightIndentTwips = 420;
                ++stats.indented;
            }
        }
        if (p.mask != 0)
            rich.setParaFormat(QTextCursor(block), p);
    }
}

} // namespace

namespace RichCorpus {

CharFormat defaults()
{
    CharFormat f;
    f.mask = CharFormat::AllFields;
    f.faceName = Gothic;
    f.sizeTwips = 225;
    f.charSet = 128;
    f.autoColor = true;
    return f;
}

Stats build(QTextDocument &document, const Shape &shape, quint64 seed)
{
    Stats stats;
    document.setUndoRedoEnabled(false);
    document.setLayoutEnabled(false);
    document.setDefaultFont(TextFormats::displayFont(defaults()));

    std::vector<QTextCharFormat> formats;
    for (const Look &look : looks)
        formats.push_back(textFormatOf(look));

    Random random(seed);
    const int shortest = qMax(1, shape.runCharacters / 2);
    const int longest = qMax(shortest, shape.runCharacters * 3 / 2);
    std::size_t look = 0;
    int runLeft = random.between(shortest, longest);
    QTextCursor cursor(&document);
    // One edit block around all the inserts: outside one, every insert has Qt lay the whole
    // paragraph out again to find the cursor's x, which grows with the paragraph.
    cursor.beginEditBlock();
    qint64 estimate = 1024; // the header: font, colour and list tables
    // Every insert is a run of its own: it starts a paragraph or follows a change of format.
    qint64 inserts = 0;
    auto wanted = [&] {
        if (shape.oneParagraph > 0)
            return stats.paragraphs == 0;
        return (shape.targetRtfBytes <= 0 || estimate < shape.targetRtfBytes)
            && (shape.targetRuns <= 0 || inserts < shape.targetRuns);
    };
    while (wanted()) {
        if (stats.paragraphs > 0)
            cursor.insertBlock(QTextBlockFormat(), formats[look]);
        // Paragraphs of a few lines, now and then a short one like a heading.
        const qsizetype length = shape.oneParagraph > 0 ? shape.oneParagraph
            : random.chance(10)                         ? random.between(8, 30)
                                                        : random.between(60, 400);
        const QString text = Corpus::paragraph(length, seed + 0x9E37u * static_cast<quint64>(stats.paragraphs + 1));
        qsizetype at = 0;
        while (at < text.size() && wanted()) {
            const qsizetype n = qMin<qsizetype>(runLeft, text.size() - at);
            const QStringView piece = QStringView(text).mid(at, n);
            cursor.insertText(piece.toString(), formats[look]);
            ++inserts;
            for (QChar c : piece)
                estimate += rtfBytesOf(c.unicode());
            at += n;
            runLeft -= static_cast<int>(n);
            if (runLeft == 0) {
                // Always another look: two runs of the same format would be one.
                look = (look + 1 + random.next() % (looks.size() - 1)) % looks.size();
                runLeft = random.between(shortest, longest);
                estimate += RunOverheadBytes;
            }
        }
        stats.characters += at;
        ++stats.paragraphs;
        estimate += ParagraphOverheadBytes;
    }
    cursor.endEditBlock();

    // A document of one paragraph measures runs in a paragraph, nothing else.
    if (shape.oneParagraph == 0)
        formatParagraphs(document, seed, stats);
    stats.runs = countRuns(document);
    return stats;
}

qint64 countRuns(const QTextDocument &document)
{
    qint64 runs = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it)
            ++runs;
    }
    return runs;
}

} // namespace RichCorpus
