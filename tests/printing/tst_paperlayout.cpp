// The pages against the editor: documents made here are laid out by the editor's layout at the
// page's width, and printed by the real converter (penloft --convert-to pdf); the PDF is read
// back with pdftotext -bbox. Every line the editor lays out must be on paper exactly once, in
// order, inside the page's text area, a table row on one page; every tab where the screen has
// it, scaled; every picture whole on a page, in its proportions.

#include "app/fontsubstitutes.h"
#include "document/editordocumentlayout.h"
#include "document/richdocument.h"
#include "document/textformats.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextTable>
#include <QXmlStreamReader>

#include <algorithm>
#include <functional>
#include <map>
#include <numeric>
#include <set>
#include <vector>

#include "converterrun.h"
#include "testfiles.h"

using namespace Qt::StringLiterals;

namespace {

// The report's page, in points: the text band's left edge and width, and the text area's top
// and bottom (below the page header band, above the page footer band).
constexpr qreal PointsPerTenth = 72.0 / 254.0;
constexpr qreal BandLeft = 100 * PointsPerTenth;
constexpr qreal BandWidth = 1899.70833 * PointsPerTenth;
constexpr qreal AreaTop = (50 + 79.375) * PointsPerTenth;
constexpr qreal AreaBottom = (2970 - 50 - 169.33333) * PointsPerTenth;
// The editor lays out at 96 pixels to the inch.
constexpr qreal PointsPerPixel = 72.0 / 96.0;
constexpr qreal ScreenWidth = BandWidth / PointsPerPixel;

// -- Documents --

QByteArray escaped(const QString &text)
{
    QByteArray out;
    for (const QChar c : text) {
        if (c == u'\\' || c == u'{' || c == u'}')
            out += '\\' + QByteArray(1, char(c.unicode()));
        else if (c == u'\t')
            out += "\\tab ";
        else if (c.unicode() < 0x80)
            out += char(c.unicode());
        else
            out += "\\u" + QByteArray::number(qint16(c.unicode())) + '?';
    }
    return out;
}

QByteArray header()
{
    return "{\\rtf1\\ansi\\deff0\\uc1{\\fonttbl{\\f0 IPAGothic;}{\\f1 IPAMincho;}{\\f2 DejaVu Serif;}"
           "{\\f3 DejaVu Sans;}{\\f4 IPAPGothic;}{\\f5\\fcharset2 Symbol;}}\\f0\\fs20 ";
}

QByteArray paragraph(const QString &text, const QByteArray &format = {})
{
    return "\\pard" + format + ' ' + escaped(text) + "\\par\n";
}

// A table of `rows` rows of `columns` cells; tall(row) says how many lines its first cell has.
QByteArray table(int rows, int columns, const std::function<int(int)> &tall, const QString &tag)
{
    const int width = 9000 / columns;
    QByteArray out;
    for (int r = 1; r <= rows; ++r) {
        out += "\\trowd\\trgaph60";
        for (int c = 1; c <= columns; ++c)
            out += "\\clbrdrb\\brdrs\\cellx" + QByteArray::number(c * width);
        out += '\n';
        for (int c = 1; c <= columns; ++c) {
            out += "\\pard\\intbl " + escaped(u"%1R%2C%3"_s.arg(tag).arg(r).arg(c));
            for (int line = 2; c == 1 && line <= tall(r); ++line)
                out += "\\line " + escaped(u"%1L%2R%3"_s.arg(tag).arg(line).arg(r));
            out += "\\cell ";
        }
        out += "\\row\n";
    }
    return out;
}

QByteArray picture(const QSize &pixels, const QByteArray &words = {})
{
    QImage image(pixels, QImage::Format_RGB32);
    image.fill(QColor(40, 90, 160));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return "{\\pict\\pngblip\\picw" + QByteArray::number(pixels.width()) + "\\pich"
        + QByteArray::number(pixels.height()) + words + ' ' + png.toHex() + '}';
}

QString longSentence(int i)
{
    QString s;
    for (int k = 0; k < 14 + i % 9; ++k)
        s += (k % 3 == 0 ? u"日本語の文章%1-%2 "_s : u"word%1x%2 "_s).arg(i).arg(k);
    return s;
}

// -- What the editor lays out --

struct Piece {
    QRectF box;
    QString text;
    int unit = -1; // the table row it belongs to (-1: none)
};

struct Row {
    QString text;
    int unit = -1;
    int page = 0;
    qreal top = 0;
    qreal bottom = 0;
};

QString compact(QString text)
{
    text.remove(QRegularExpression(u"[\\s\\x{FFFC}\\x{2028}]"_s));
    return text;
}

// Pieces side by side make a row: each joins the row whose range holds its middle.
std::vector<Row> rowsOf(std::vector<Piece> pieces, int page)
{
    std::stable_sort(pieces.begin(), pieces.end(), [](const Piece &a, const Piece &b) {
        return a.box.top() < b.box.top() || (a.box.top() == b.box.top() && a.box.left() < b.box.left());
    });
    std::vector<std::vector<Piece>> groups;
    qreal top = 0;
    qreal bottom = -1;
    for (const Piece &p : pieces) {
        const qreal middle = p.box.center().y();
        if (groups.empty() || middle <= top || middle >= bottom) {
            groups.push_back({});
            top = p.box.top();
            bottom = p.box.bottom();
        }
        groups.back().push_back(p);
    }
    std::vector<Row> rows;
    for (auto &group : groups) {
        std::stable_sort(
            group.begin(), group.end(), [](const Piece &a, const Piece &b) { return a.box.left() < b.box.left(); });
        Row row;
        row.page = page;
        row.unit = group.front().unit;
        row.top = group.front().box.top();
        row.bottom = group.front().box.bottom();
        for (const Piece &p : group)
            row.text += compact(p.text);
        if (!row.text.isEmpty())
            rows.push_back(row);
    }
    return rows;
}

struct Screen {
    std::vector<Row> rows;
    // Where the text after each tab begins, from the text's left edge, by that text.
    std::map<QString, qreal> tabTargets;
    std::map<int, qreal> unitHeights;
};

Screen screenOf(const QString &path)
{
    // As the editor reads it: text that names no format in the editor's.
    QTextDocument doc;
    RichDocument rich(&doc);
    rich.setDefaultCharFormat(TextFormats::editorDefaultFormat());
    rich.loadFile(path, StreamFormat::Rtf, TextFormats::toTextCharFormat(TextFormats::newDocumentFormat()));
    doc.setDocumentMargin(0);
    doc.setTextWidth(ScreenWidth);
    EditorDocumentLayout *layout = rich.layout();
    Screen screen;
    std::vector<Piece> pieces;
    for (QTextBlock block = doc.begin(); block.isValid(); block = block.next()) {
        layout->blockBoundingRect(block);
        const QTextLayout *lines = block.layout();
        int unit = -1;
        if (QTextTable *table = QTextCursor(block).currentTable()) {
            unit = table->firstPosition() * 1000 + table->cellAt(block.position()).row();
            const QRectF row = layout->tableRowRect(block);
            screen.unitHeights[unit] = row.height() * PointsPerPixel;
        }
        const QString text = block.text();
        for (int i = 0; i < lines->lineCount(); ++i) {
            const QTextLine line = lines->lineAt(i);
            const QString lineText = text.mid(line.textStart(), line.textLength());
            pieces.push_back({ line.rect().translated(lines->position()), lineText, unit });
            // Each text after a tab: where it starts.
            for (int at = line.textStart(); at < line.textStart() + line.textLength(); ++at) {
                if (text.at(at) != u'\t')
                    continue;
                const QString after = text.mid(at + 1).section(QRegularExpression(u"[\\s]"_s), 0, 0);
                if (!after.isEmpty())
                    screen.tabTargets[after] = (lines->position().x() + line.cursorToX(at + 1)) * PointsPerPixel;
            }
        }
    }
    screen.rows = rowsOf(pieces, 0);
    return screen;
}

// -- What is on paper --

struct Paper {
    std::vector<Row> rows;
    std::map<QString, qreal> wordLeft; // by word, where it begins from the band's left edge
    std::vector<QString> problems; // words outside the text area, missing page numbers
    int pages = 0;
};

Paper paperOf(const QString &pdf)
{
    Paper paper;
    QXmlStreamReader xml(ConverterRun::output(u"pdftotext"_s, { u"-bbox"_s, pdf, u"-"_s }));
    std::vector<Piece> pieces;
    auto endPage = [&] {
        std::vector<Row> rows = rowsOf(pieces, paper.pages);
        // The page number at the foot: "- N -".
        if (rows.empty() || rows.back().text != u"-%1-"_s.arg(paper.pages))
            paper.problems.push_back(u"page %1 has no page number at its foot"_s.arg(paper.pages));
        else
            rows.pop_back();
        for (const Row &row : rows) {
            if (row.top < AreaTop - 2 || row.bottom > AreaBottom + 2)
                paper.problems.push_back(u"page %1: \"%2\" at %3-%4 pt, outside the text area"_s.arg(paper.pages)
                                             .arg(row.text)
                                             .arg(row.top)
                                             .arg(row.bottom));
        }
        paper.rows.insert(paper.rows.end(), rows.begin(), rows.end());
        pieces.clear();
    };
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"page") {
            ++paper.pages;
        } else if (xml.isEndElement() && xml.name() == u"page") {
            endPage();
        } else if (xml.isStartElement() && xml.name() == u"word") {
            const auto a = xml.attributes();
            const QRectF box(QPointF(a.value(u"xMin"_s).toDouble(), a.value(u"yMin"_s).toDouble()),
                QPointF(a.value(u"xMax"_s).toDouble(), a.value(u"yMax"_s).toDouble()));
            const QString text = xml.readElementText();
            pieces.push_back({ box, text, -1 });
            paper.wordLeft.try_emplace(text, box.left() - BandLeft);
        }
    }
    return paper;
}

struct Image {
    int page = 0;
    QSize pixels;
    qreal ppiX = 0;
    qreal ppiY = 0;
};

std::vector<Image> imagesOf(const QString &pdf)
{
    std::vector<Image> images;
    const QStringList lines = ConverterRun::output(u"pdfimages"_s, { u"-list"_s, pdf }).split(u'\n');
    for (const QString &line : lines.mid(2)) {
        const QStringList f = line.simplified().split(u' ');
        if (f.size() < 14 || f.at(2) != u"image")
            continue;
        images.push_back(
            { f.at(0).toInt(), QSize(f.at(3).toInt(), f.at(4).toInt()), f.at(12).toDouble(), f.at(13).toDouble() });
    }
    return images;
}

// The longest run of dark pixels down the column at x (points) of a page, in points.
qreal darkRun(const QString &pdf, int page, qreal x)
{
    QProcess pdftoppm;
    const QString number = QString::number(page);
    pdftoppm.start(u"pdftoppm"_s, { u"-r"_s, u"72"_s, u"-gray"_s, u"-f"_s, number, u"-l"_s, number, pdf });
    if (!pdftoppm.waitForFinished(60000))
        return -1;
    // A binary PGM: "P5", width, height, maximum, each followed by white space, then the pixels.
    const QByteArray pgm = pdftoppm.readAllStandardOutput();
    const QList<QByteArray> head = pgm.left(40).simplified().split(' ');
    if (head.size() < 4 || head.at(0) != "P5")
        return -1;
    const int width = head.at(1).toInt();
    const int height = head.at(2).toInt();
    const QByteArray pixels = pgm.right(qsizetype(width) * height);
    int longest = 0;
    int run = 0;
    for (int y = 0; y < height; ++y) {
        run = quint8(pixels.at(y * width + int(x))) < 128 ? run + 1 : 0;
        longest = qMax(longest, run);
    }
    return longest;
}

QString around(const std::vector<Row> &rows, size_t at)
{
    QStringList out;
    for (size_t i = at > 3 ? at - 3 : 0; i < rows.size() && i < at + 4; ++i)
        out += u"%1%2 [p%3]"_s.arg(i == at ? u"> "_s : u"  "_s, rows[i].text).arg(rows[i].page);
    return out.join(u'\n');
}

// The documents: name and content.
std::vector<std::pair<QString, QByteArray>> documents()
{
    std::vector<std::pair<QString, QByteArray>> docs;
    // Rows of one, two and three lines, starting at every offset from a page's end: a few small
    // lines before the table move it by less than a row at a time.
    for (int shift = 0; shift < 8; ++shift) {
        QByteArray rtf = header();
        for (int i = 0; i < shift; ++i)
            rtf += paragraph(u"shift%1"_s.arg(i), "\\fs8");
        rtf += paragraph(u"before the table"_s);
        rtf += table(
            90, 3, [shift](int r) { return 1 + (r * 7 + shift) % 3; }, u"M"_s);
        rtf += paragraph(u"after the table"_s) + '}';
        docs.emplace_back(u"mixed-rows-%1"_s.arg(shift), rtf);
    }
    docs.emplace_back(u"every-fourth-tall"_s,
        header() + paragraph(u"before"_s)
            + table(
                120, 3, [](int r) { return r % 4 == 0 ? 2 : 1; }, u"T"_s)
            + paragraph(u"after table"_s) + '}');
    docs.emplace_back(u"uniform"_s,
        header() + paragraph(u"before"_s)
            + table(
                120, 3, [](int) { return 1; }, u"U"_s)
            + paragraph(u"after table"_s) + '}');
    docs.emplace_back(u"small-tables"_s,
        header() + paragraph(u"before"_s)
            + table(
                10, 5, [](int) { return 1; }, u"A"_s)
            + paragraph(u"between"_s)
            + table(
                20, 3, [](int) { return 1; }, u"B"_s)
            + paragraph(u"after tables"_s) + '}');
    // Rows of many cells: more paragraphs than the layout keeps lines for at a time.
    docs.emplace_back(u"40-by-30"_s,
        header() + paragraph(u"before"_s)
            + table(
                30, 40, [](int) { return 1; }, u"F"_s)
            + paragraph(u"after table"_s) + '}');
    docs.emplace_back(u"63-by-20"_s,
        header() + paragraph(u"before"_s)
            + table(
                20, 63, [](int) { return 1; }, u"S"_s)
            + paragraph(u"after table"_s) + '}');
    {
        QByteArray rtf = header() + paragraph(u"before the tall row"_s)
            + table(
                3, 2, [](int) { return 1; }, u"P"_s);
        rtf += "\\trowd\\trgaph60\\cellx4000\\cellx8000\n\\pard\\intbl ";
        for (int i = 1; i <= 120; ++i)
            rtf += "tall" + QByteArray::number(i) + (i < 120 ? "\\par " : "");
        rtf += "\\cell\\pard\\intbl beside\\cell\\row\n";
        rtf += table(
                   3, 2, [](int) { return 1; }, u"Q"_s)
            + paragraph(u"after the tall row"_s) + '}';
        docs.emplace_back(u"row-taller-than-a-page"_s, rtf);
    }
    {
        // Cells each taller than a page, side by side in sizes whose lines never start level: a
        // page ends at the first line of any of them that would cross its foot.
        QByteArray rtf = header() + paragraph(u"before the tall cells"_s);
        rtf += "\\trowd\\trgaph60\\cellx3000\\cellx6000\\cellx9000\n\\pard\\intbl\\fs20 " + QByteArray(9000, 'a');
        rtf += "\\cell\\pard\\intbl\\fs31 " + QByteArray(6000, 'b') + "\\cell\\pard\\intbl\\fs26 ";
        for (int i = 1; i <= 150; ++i)
            rtf += "c" + QByteArray::number(i) + (i < 150 ? "\\par " : "");
        rtf += "\\cell\\row\n" + paragraph(u"after the tall cells"_s) + '}';
        docs.emplace_back(u"tall-cells"_s, rtf);
    }
    {
        QByteArray rtf = header();
        const QStringList lines { u"Alpha\tBeta\tGamma"_s, u"a1\tb1\tc1\td1\te1\tf1"_s, u"\tlead1"_s,
            u"あいう\tk1\tかな\tk2"_s, u"wide words here\tz1\tz2"_s, u"x\t\ty2"_s };
        for (int i = 0; i < lines.size(); ++i)
            rtf += paragraph(lines.at(i), i % 2 ? "\\f1\\fs28" : "\\f3\\fs20");
        rtf += "\\pard\\f2\\fs24 s1\\tab s2\\f4\\fs36 \\tab s3\\f0\\fs16 \\tab s4\\par\n";
        docs.emplace_back(u"tabs"_s, rtf + '}');
    }
    {
        // Stops of each kind, as word processors write them; the text after them short, so that
        // pdftotext takes it as a word of its own.
        QByteArray rtf = header();
        rtf += "\\pard\\tx2880\\tqr\\tldot\\tx7200 LeftStop\\tab Stop2880\\tab Right7200\\par\n";
        rtf += "\\pard\\tqc\\tx4320\\tqdec\\tx8640\\tb1000 c\\tab Centre\\tab 12.5\\par\n";
        rtf += "\\pard\\li720\\tx1440\\tx5760\\f1\\fs28 ind\\tab At1440\\tab At5760\\par\n";
        docs.emplace_back(u"tab-stops"_s, rtf + '}');
    }
    {
        // Page breaks as word processors write them: a \\page between paragraphs, one inside a
        // paragraph, and a paragraph that starts a page (\\pagebb).
        QByteArray rtf = header() + paragraph(u"PageOne"_s);
        rtf += "\\pard\\page\\par\\pard PageTwo\\par\n" + paragraph(u"StillTwo"_s);
        rtf += "\\pard\\pagebb PageThree\\par\n\\pard StillThree{\\page }PageFour\\par\n";
        // Sections: one that goes on on the same page, ones that start a page (by their word, by
        // default, after a \\sect in place of \\par), one in the next column; a header is kept,
        // not printed.
        rtf += "\\sect\\sectd\\sbknone\\pard ContinuousFour\\par\n\\sect\\sectd\\sbkpage{\\header \\pard Head\\par}"
               "\\pard SectionFive\\par\n\\pard NearlySix\\sect\\sectd\\pard SectionSix\\par\n"
               "\\sect\\sectd\\sbkcol\\pard ColumnSix\\par\n}";
        docs.emplace_back(u"page-breaks"_s, rtf);
    }
    {
        QByteArray rtf = header();
        for (int i = 0; i < 60; ++i) {
            const QByteArray fonts[]
                = { "\\f0\\fs20", "\\f1\\fs24", "\\f2\\fs18", "\\f3\\fs32", "\\f4\\fs22", "\\f1\\fs40" };
            rtf += paragraph(longSentence(i), fonts[i % 6]);
        }
        docs.emplace_back(u"long-lines-and-fonts"_s, rtf + '}');
    }
    {
        QByteArray rtf = header();
        for (int i = 0; i < 80; ++i) {
            if (i % 10 == 0)
                rtf += paragraph(u"heading%1"_s.arg(i), "\\fs28");
            rtf += "\\pard{\\pntext\\f5\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf5\\pnindent0{\\pntxtb\\'b7}}\\fi-200\\li"
                + QByteArray::number(200 + (i % 3) * 300) + ' '
                + escaped(u"item%1 "_s.arg(i) + longSentence(i).left(i * 3 % 120)) + "\\par\n";
        }
        docs.emplace_back(u"lists"_s, rtf + '}');
    }
    {
        QByteArray rtf = header() + paragraph(u"before wide"_s);
        rtf += "\\pard " + picture(QSize(4000, 600)) + "\\par\n" + paragraph(u"after wide"_s);
        rtf += "\\pard " + picture(QSize(300, 3000)) + "\\par\n" + paragraph(u"after tall"_s);
        rtf += "\\pard " + picture(QSize(4032, 3024), "\\picwgoal31680\\pichgoal23760") + "\\par\n";
        rtf += paragraph(u"after photo"_s);
        rtf += "\\trowd\\trgaph60\\cellx4000\\cellx8000\n\\pard\\intbl "
            + picture(QSize(100, 1000), "\\picwgoal1500\\pichgoal15000") + "\\cell\\pard\\intbl beside\\cell\\row\n";
        rtf += paragraph(u"after the table"_s) + '}';
        docs.emplace_back(u"pictures"_s, rtf);
    }
    return docs;
}

} // namespace

class tst_PaperLayout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void pagesHoldTheEditorsLines_data();
    void pagesHoldTheEditorsLines();
    void picturesFitAPage();
    void pageBreaksStartPages();
    void tallCellsSideBySide();

private:
    QTemporaryDir m_dir;
    std::map<QString, QString> m_pdfs; // by document name
};

void tst_PaperLayout::initTestCase()
{
    if (QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty()
        || QStandardPaths::findExecutable(u"pdfimages"_s).isEmpty())
        QSKIP("poppler-utils (pdftotext, pdfimages) are not installed");
    installFontSubstitutes();
    QVERIFY(m_dir.isValid());
    QStringList arguments { u"--convert-to"_s, u"pdf"_s, u"--outdir"_s, m_dir.filePath(u"pdf"_s) };
    for (const auto &[name, rtf] : documents()) {
        const QString path = m_dir.filePath(name + u".rtf"_s);
        TestFiles::write(path, rtf);
        arguments += path;
        m_pdfs[name] = m_dir.filePath(u"pdf/"_s + name + u".pdf"_s);
    }
    // All documents in one run of the converter.
    const ConverterRun::Run run = ConverterRun::convert(arguments, m_dir.path());
    QVERIFY2(run.status == 0, qPrintable(run.errors));
}

void tst_PaperLayout::pagesHoldTheEditorsLines_data()
{
    QTest::addColumn<QString>("name");
    for (const auto &[name, rtf] : documents()) {
        // Lines of cells side by side in different sizes interleave: screen and paper group them
        // into rows differently. tallCellsSideBySide counts their words.
        if (name != u"tall-cells"_s)
            QTest::newRow(qPrintable(name)) << name;
    }
}

void tst_PaperLayout::pagesHoldTheEditorsLines()
{
    QFETCH(QString, name);
    const Screen screen = screenOf(m_dir.filePath(name + u".rtf"_s));
    const Paper paper = paperOf(m_pdfs[name]);
    QVERIFY(paper.pages > 0);
    QVERIFY2(paper.problems.empty(), qPrintable(QStringList(paper.problems.begin(), paper.problems.end()).join(u'\n')));
    // Every line once, in order.
    const size_t common = std::min(screen.rows.size(), paper.rows.size());
    for (size_t i = 0; i < common; ++i) {
        if (screen.rows[i].text != paper.rows[i].text)
            QFAIL(qPrintable(u"row %1 differs\nscreen:\n%2\npaper:\n%3"_s.arg(i).arg(
                around(screen.rows, i), around(paper.rows, i))));
    }
    QVERIFY2(screen.rows.size() == paper.rows.size(),
        qPrintable(u"%1 rows on screen, %2 on paper; after the last common one:\nscreen:\n%3\npaper:\n%4"_s
                       .arg(screen.rows.size())
                       .arg(paper.rows.size())
                       .arg(around(screen.rows, common), around(paper.rows, common))));
    // A table row no taller than a page stands on one page.
    std::map<int, std::set<int>> pagesOfUnit;
    for (size_t i = 0; i < common; ++i) {
        if (screen.rows[i].unit >= 0)
            pagesOfUnit[screen.rows[i].unit].insert(paper.rows[i].page);
    }
    for (const auto &[unit, pages] : pagesOfUnit) {
        if (screen.unitHeights.at(unit) < AreaBottom - AreaTop)
            QVERIFY2(pages.size() == 1, qPrintable(u"a table row is split over %1 pages"_s.arg(pages.size())));
    }
    // Default tab stops stand every half inch.
    if (name == u"tabs"_s)
        QVERIFY2(
            qAbs(paper.wordLeft.at(u"Beta"_s) - 36) < 1.5, qPrintable(QString::number(paper.wordLeft.at(u"Beta"_s))));
    // Stops read from the file, on paper where they stand: 2880 twips are 144 points.
    if (name == u"tab-stops"_s) {
        QVERIFY2(qAbs(paper.wordLeft.at(u"Stop2880"_s) - 144) < 1.5,
            qPrintable(QString::number(paper.wordLeft.at(u"Stop2880"_s))));
        QVERIFY2(qAbs(paper.wordLeft.at(u"At5760"_s) - 288) < 1.5,
            qPrintable(QString::number(paper.wordLeft.at(u"At5760"_s))));
    }
    // Each tab where the screen has it, scaled.
    for (const auto &[text, x] : screen.tabTargets) {
        // pdftotext joins a text to the next when the tab after it is narrow.
        auto found = paper.wordLeft.lower_bound(text);
        QVERIFY2(found != paper.wordLeft.end() && found->first.startsWith(text), qPrintable(text));
        QVERIFY2(qAbs(found->second - x) < 1.5,
            qPrintable(u"\"%1\" at %2 pt on paper, %3 pt on screen"_s.arg(text).arg(found->second).arg(x)));
    }
}

void tst_PaperLayout::picturesFitAPage()
{
    const QString pdf = m_pdfs[u"pictures"_s];
    const std::vector<Image> images = imagesOf(pdf);
    QCOMPARE(images.size(), size_t(4));
    std::set<int> pages;
    for (const Image &image : images) {
        // The proportions kept, the whole picture within the text area.
        QVERIFY2(qAbs(image.ppiX - image.ppiY) <= 0.01 * image.ppiX + 1,
            qPrintable(u"%1 x %2 ppi"_s.arg(image.ppiX).arg(image.ppiY)));
        const qreal height = image.pixels.height() / image.ppiY * 72;
        QVERIFY(image.pixels.width() / image.ppiX * 72 <= BandWidth + 1);
        QVERIFY(height <= AreaBottom - AreaTop + 1);
        // Drawn whole: as tall on the page as it is.
        const qreal drawn = darkRun(pdf, image.page, BandLeft + 8);
        QVERIFY2(qAbs(drawn - height) < 2.5, qPrintable(u"%1 pt of %2 pt drawn"_s.arg(drawn).arg(height)));
        pages.insert(image.page);
    }
    // No page without text or a picture.
    const Paper paper = paperOf(pdf);
    for (const Row &row : paper.rows)
        pages.insert(row.page);
    QCOMPARE(int(pages.size()), paper.pages);
}

void tst_PaperLayout::pageBreaksStartPages()
{
    const Paper paper = paperOf(m_pdfs[u"page-breaks"_s]);
    std::map<QString, int> pageOf;
    for (const Row &row : paper.rows)
        pageOf[row.text] = row.page;
    const std::map<QString, int> expected { { u"PageOne"_s, 1 }, { u"PageTwo"_s, 2 }, { u"StillTwo"_s, 2 },
        { u"PageThree"_s, 3 }, { u"StillThree"_s, 3 }, { u"PageFour"_s, 4 }, { u"ContinuousFour"_s, 4 },
        { u"SectionFive"_s, 5 }, { u"NearlySix"_s, 5 }, { u"SectionSix"_s, 6 }, { u"ColumnSix"_s, 6 } };
    QCOMPARE(pageOf, expected);
    QCOMPARE(paper.pages, 6);
}

void tst_PaperLayout::tallCellsSideBySide()
{
    // Every line of the cells on paper once: all their letters, the third cell's lines in order.
    const QString text = ConverterRun::output(u"pdftotext"_s, { m_pdfs[u"tall-cells"_s], u"-"_s });
    QCOMPARE(text.count(u'a'), 9000 + 3); // and those of the paragraphs around
    QCOMPARE(text.count(u'b'), 6000 + 1);
    std::vector<int> lines;
    const QRegularExpression line(u"\\bc(\\d+)\\b"_s);
    for (auto it = line.globalMatch(text); it.hasNext();)
        lines.push_back(it.next().captured(1).toInt());
    std::vector<int> expected(150);
    std::iota(expected.begin(), expected.end(), 1);
    QCOMPARE(lines, expected);
    QCOMPARE(text.count(u"after the tall cells"_s), 1);
    QVERIFY(paperOf(m_pdfs[u"tall-cells"_s]).pages >= 3);
}

QTEST_MAIN(tst_PaperLayout)
#include "tst_paperlayout.moc"
