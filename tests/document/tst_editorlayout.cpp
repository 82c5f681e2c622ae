#include "document/blockmetrics.h"
#include "document/editordocumentlayout.h"

#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextList>

#include <algorithm>
#include <memory>

#include <private/qtextengine_p.h>

using namespace Qt::StringLiterals;

namespace {

// What a laid-out document looks like: per paragraph, its rectangle and its lines.
struct Line {
    int start;
    int length;
    qreal x;
    qreal y;
    bool operator==(const Line &) const = default;
};
struct Paragraph {
    QRectF rect;
    QList<Line> lines;
    bool operator==(const Paragraph &) const = default;
};

QList<Paragraph> snapshot(QTextDocument &doc)
{
    QAbstractTextDocumentLayout *layout = doc.documentLayout();
    QList<Paragraph> paragraphs;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        Paragraph p;
        p.rect = layout->blockBoundingRect(b);
        const QTextLayout *l = b.layout();
        for (int i = 0; i < l->lineCount(); ++i) {
            const QTextLine line = l->lineAt(i);
            p.lines.append({ line.textStart(), line.textLength(), line.x(), line.y() });
        }
        paragraphs.append(p);
    }
    return paragraphs;
}

// A copy of the document laid out in full by Qt's own layout.
QList<Paragraph> qtLayout(const QTextDocument &doc)
{
    std::unique_ptr<QTextDocument> copy(doc.clone());
    copy->documentLayout()->blockBoundingRect(copy->lastBlock());
    return snapshot(*copy);
}

// A copy laid out in full, from nothing, by the editor's layout.
QList<Paragraph> freshLayout(const QTextDocument &doc)
{
    std::unique_ptr<QTextDocument> copy(doc.clone());
    auto *layout = new EditorDocumentLayout(copy.get());
    copy->setDocumentLayout(layout);
    layout->layOutAll();
    return snapshot(*copy);
}

EditorDocumentLayout &install(QTextDocument &doc)
{
    auto *layout = new EditorDocumentLayout(&doc);
    doc.setDocumentLayout(layout);
    return *layout;
}

void setUp(QTextDocument &doc, qreal width)
{
    QFont font(u"IPAGothic"_s);
    font.setPixelSize(15);
    doc.setDefaultFont(font);
    QTextOption option = doc.defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    doc.setDefaultTextOption(option);
    doc.setTextWidth(width);
}

// Japanese prose with the punctuation that may not begin or end a line, Latin words, spaces.
QString prose(QRandomGenerator &random, int length)
{
    static const QStringList pieces { u"日本語の"_s, u"文章は"_s, u"、"_s, u"。"_s, u"「引用」"_s, u"（括弧）"_s,
                                      u"カタカナ"_s, u"ひらがな"_s, u"ー"_s, u"っ"_s, u"word "_s, u"Latin text, "_s,
                                      u" "_s, u"12345"_s, u"！"_s, u"？"_s, u"…"_s, u"漢字"_s, u"ｱｲｳ"_s };
    QString text;
    while (text.size() < length)
        text += pieces.at(random.bounded(int(pieces.size())));
    return text;
}

QString lineBreaksOf(const QList<Paragraph> &paragraphs)
{
    QString out;
    for (const Paragraph &p : paragraphs) {
        for (const Line &l : p.lines)
            out += QString::number(l.start) + u',';
        out += u'|';
    }
    return out;
}

} // namespace

class tst_EditorLayout : public QObject {
    Q_OBJECT
private slots:
    void metricsFollowReplacements();
    void breaksAsQtDoes_data();
    void breaksAsQtDoes();
    void randomEditsMatchFullLayout_data();
    void randomEditsMatchFullLayout();
    void longParagraphReusesLines();
    void keyInALongParagraphRepaintsItsChangedLines();
    void changedLinesAfterAnEdit();
    void editsBesideLongSpaceRunsBreakAsAFullLayout();
    void hugeParagraphLaidOutInPartBreaksAsQtDoes_data();
    void hugeParagraphLaidOutInPartBreaksAsQtDoes();
    void estimatesTurnReal();
    void displayLinesAfterEdits();
};

void tst_EditorLayout::metricsFollowReplacements()
{
    // Against a plain vector: thousands of random replacements, sums and searches.
    QRandomGenerator random(7);
    BlockMetrics metrics;
    std::vector<BlockMetrics::Entry> model;
    for (int round = 0; round < 3000; ++round) {
        const int size = static_cast<int>(model.size());
        const int first = size ? random.bounded(size + 1) : 0;
        const int removed = random.bounded(qMin(size - first, 40) + 1);
        const int added = random.bounded(round % 100 == 0 ? 3000 : 40);
        std::vector<BlockMetrics::Entry> entries;
        for (int i = 0; i < added; ++i)
            entries.push_back({ random.bounded(1000), random.bounded(5), 0, random.bounded(3) != 0 });
        metrics.replace(first, removed, entries);
        model.erase(model.begin() + first, model.begin() + first + removed);
        model.insert(model.begin() + first, entries.begin(), entries.end());
        if (!model.empty() && random.bounded(2)) {
            const int at = random.bounded(static_cast<int>(model.size()));
            model[size_t(at)] = { random.bounded(1000), random.bounded(5), 0, true };
            metrics.set(at, model[size_t(at)]);
        }
        QCOMPARE(metrics.size(), static_cast<int>(model.size()));
        if (round % 50 != 0)
            continue;
        qint64 height = 0;
        qint64 lines = 0;
        int firstInexact = -1;
        for (size_t i = 0; i < model.size(); ++i) {
            QCOMPARE(metrics.heightBefore(int(i)), height);
            QCOMPARE(metrics.linesBefore(int(i)), lines);
            QCOMPARE(metrics.at(int(i)).height, model[i].height);
            if (model[i].height > 0)
                QCOMPARE(metrics.indexAtHeight(height + model[i].height - 1), int(i));
            if (model[i].lines > 0)
                QCOMPARE(metrics.indexAtLine(lines), int(i));
            if (!model[i].exact && firstInexact < 0)
                firstInexact = int(i);
            height += model[i].height;
            lines += model[i].lines;
        }
        QCOMPARE(metrics.totalHeight(), height);
        QCOMPARE(metrics.totalLines(), lines);
        QCOMPARE(metrics.firstInexact(0), firstInexact);
    }
}

void tst_EditorLayout::breaksAsQtDoes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qreal>("width");
    QRandomGenerator random(11);
    QTest::newRow("kinsoku at many widths") << prose(random, 3000) << qreal(331);
    QTest::newRow("narrow") << prose(random, 800) << qreal(97);
    QTest::newRow("empty and short paragraphs") << u"\n\na\n\n短い\n"_s << qreal(300);
    QTest::newRow("tabs and a line separator") << (u"a\tb\tc\u2028"_s + prose(random, 300)) << qreal(200);
    QTest::newRow("narrower than a character") << prose(random, 40) << qreal(20);
    // Words longer than a line are broken inside, line after line, wherever they reach.
    QString letters;
    for (int i = 0; i < 20000; ++i)
        letters += QChar(u'a' + i % 26);
    QTest::newRow("one word of letters") << letters << qreal(331);
    QTest::newRow("long words among prose")
        << (prose(random, 300) + letters.left(3000) + u' ' + prose(random, 300) + letters.left(70) + u"\t"_s
            + letters.left(500) + u"\u2028"_s + letters.left(400) + u"日本語"_s + letters.left(1000))
        << qreal(331);
    QTest::newRow("a long word that fits a line")
        << QString(u"ab "_s + letters.left(66) + u" cd "_s).repeated(20) << qreal(700);
    QTest::newRow("combining marks") << QString(u"e\u0301"_s).repeated(3000) << qreal(200);
}

void tst_EditorLayout::breaksAsQtDoes()
{
    QFETCH(QString, text);
    QFETCH(qreal, width);
    QTextDocument doc;
    setUp(doc, width);
    QTextCursor(&doc).insertText(text);
    const QList<Paragraph> qt = qtLayout(doc);
    install(doc).layOutAll();
    const QList<Paragraph> ours = snapshot(doc);
    QCOMPARE(lineBreaksOf(ours), lineBreaksOf(qt));
    QCOMPARE(ours, qt);
}

void tst_EditorLayout::randomEditsMatchFullLayout_data()
{
    QTest::addColumn<int>("seed");
    QTest::addColumn<qreal>("width");
    QTest::newRow("wide") << 1 << qreal(420);
    QTest::newRow("narrow") << 2 << qreal(150);
}

// Edits as typing makes them (each followed by the caret's rectangle, which lays the paragraph
// out again) and larger ones: after thousands of them the layout equals one made from nothing,
// and Qt's own.
void tst_EditorLayout::randomEditsMatchFullLayout()
{
    QFETCH(int, seed);
    QFETCH(qreal, width);
    QRandomGenerator random(static_cast<quint32>(seed));
    QTextDocument doc;
    setUp(doc, width);
    EditorDocumentLayout &layout = install(doc);
    QTextCursor cursor(&doc);
    cursor.insertText(prose(random, 8000) + u'\n' + prose(random, 300) + u"\n\n"_s + prose(random, 6000));
    layout.layOutAll();
    for (int edit = 0; edit < 2500; ++edit) {
        const int length = doc.characterCount() - 1;
        const int at = random.bounded(length + 1);
        cursor.setPosition(at);
        const int kind = random.bounded(100);
        if (kind < 60) {
            cursor.insertText(prose(random, 1).left(random.bounded(1, 4)));
        } else if (kind < 95) {
            cursor.setPosition(qMin(length, at + random.bounded(1, 5)), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        } else if (kind < 96) {
            cursor.insertText(u"\n"_s);
        } else if (kind < 98) {
            cursor.setPosition(qMin(length, at + random.bounded(1, 300)), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        } else {
            cursor.insertText(prose(random, random.bounded(1, 200)));
        }
        layout.blockBoundingRect(cursor.block());
        if (edit % 250 == 249) {
            const QList<Paragraph> ours = snapshot(doc);
            QCOMPARE(lineBreaksOf(ours), lineBreaksOf(freshLayout(doc)));
            QCOMPARE(ours, freshLayout(doc));
            QCOMPARE(ours, qtLayout(doc));
            for (int p = 0; p < doc.characterCount(); p += 37) {
                int ourStart = 0;
                const int line = layout.lineOfPosition(p, &ourStart);
                QCOMPARE(layout.lineStart(line), ourStart);
            }
        }
    }
    QVERIFY(layout.reusedLayouts() > 100);
}

void tst_EditorLayout::longParagraphReusesLines()
{
    QRandomGenerator random(5);
    QTextDocument doc;
    setUp(doc, 300);
    EditorDocumentLayout &layout = install(doc);
    QTextCursor cursor(&doc);
    cursor.insertText(prose(random, 20000));
    layout.layOutAll();
    const int before = layout.reusedLayouts();
    cursor.setPosition(10000);
    cursor.insertText(u"あ"_s);
    layout.blockBoundingRect(cursor.block());
    QCOMPARE(layout.reusedLayouts(), before + 1);
    QCOMPARE(snapshot(doc), qtLayout(doc));
    // Split in two, by Enter or by pasted text with a break: each half keeps old lines.
    for (const QString &inserted : { u"\n"_s, u"貼り付け\n"_s, u"\n貼り付け"_s, u"前\n後"_s }) {
        const int reused = layout.reusedLayouts();
        cursor.setPosition(doc.firstBlock().length() / 2);
        cursor.insertText(inserted);
        QCOMPARE(layout.reusedLayouts(), reused + 2);
        QCOMPARE(snapshot(doc), qtLayout(doc));
        cursor.setPosition(doc.firstBlock().length() - 1);
        cursor.setPosition(doc.firstBlock().next().position(), QTextCursor::KeepAnchor);
        cursor.removeSelectedText(); // joined again
    }
}

// A key typed into a long paragraph repaints the lines it changed, from its own line, not the
// paragraph from its top (with a long paragraph filling the window, the whole window at every
// key); typed at the paragraph's end, its line from the key on.
void tst_EditorLayout::keyInALongParagraphRepaintsItsChangedLines()
{
    QRandomGenerator random(7);
    QTextDocument doc;
    setUp(doc, 300);
    EditorDocumentLayout &layout = install(doc);
    QTextCursor cursor(&doc);
    cursor.insertText(u"前の段落\n"_s + prose(random, 3000) + u"終わり"_s);
    layout.layOutAll();
    const QTextBlock block = doc.lastBlock();
    const qreal paragraphTop = layout.blockBoundingRect(block).top();
    QSignalSpy updates(&layout, &QAbstractTextDocumentLayout::update);
    for (const int at : { 1500, 2500, block.length() - 1 }) {
        updates.clear();
        const QTextLine line = block.layout()->lineForTextPosition(at);
        QVERIFY(line.lineNumber() > 10);
        const qreal lineTop = paragraphTop + line.y();
        cursor.setPosition(block.position() + at);
        const qreal caretX = line.cursorToX(at);
        const bool atEnd = at == block.length() - 1;
        cursor.insertText(u"あ"_s);
        QCOMPARE(updates.size(), 1);
        const QRectF rect = updates.first().first().toRectF();
        QVERIFY2(rect.top() >= lineTop - line.height() / 2 && rect.top() < lineTop,
                 qPrintable(u"%1 for the line at %2"_s.arg(rect.top()).arg(lineTop)));
        QVERIFY(rect.bottom() >= lineTop + line.height());
        // At the end, the last line alone; one line alone, from about a character before the key.
        const bool oneLine = rect.bottom() < lineTop + 1.5 * line.height();
        QVERIFY(oneLine || !atEnd);
        if (oneLine)
            QVERIFY(rect.left() > 0 && rect.left() < caretX && rect.left() >= caretX - 2 * line.height());
        else
            QCOMPARE(rect.left(), 0.0);
        // What it shows is what a full layout gives.
        QCOMPARE(snapshot(doc), qtLayout(doc));
    }
}

// Which lines an edit changed, from the lines before and after it: in front of the edit and
// behind it once the breaks fall as before, the lines are as they were.
void tst_EditorLayout::changedLinesAfterAnEdit()
{
    using ChangedLines::Line;
    const std::vector<Line> before { { 0, 10, 0, 16 }, { 10, 10, 16, 16 }, { 20, 10, 32, 16 }, { 30, 5, 48, 16 } };
    // One character typed at 15: its line is one longer, the rest moved along by it.
    std::vector<Line> after { { 0, 10, 0, 16 }, { 10, 11, 16, 16 }, { 21, 10, 32, 16 }, { 31, 5, 48, 16 } };
    ChangedLines::Range r = ChangedLines::changed(before, after, 15, 0, 1);
    QCOMPARE(r.first, 1);
    QCOMPARE(r.last, 1);
    // The same typed into a full line: each line after it gives its last character on. What
    // stands behind the key on its line, and each next line but its new first character, only
    // moved along.
    after = { { 0, 10, 0, 16 }, { 10, 10, 16, 16 }, { 20, 10, 32, 16 }, { 30, 6, 48, 16 } };
    r = ChangedLines::changed(before, after, 15, 0, 1);
    QCOMPARE(r.first, 1);
    QCOMPARE(r.last, 3);
    using Was = ChangedLines::Run::Was;
    std::vector<ChangedLines::Run> runs = ChangedLines::movedRuns(before, after, r, 15, 0, 1);
    QCOMPARE(runs.size(), size_t(3));
    QVERIFY(runs[0].line == 1 && runs[0].start == 16 && runs[0].end == 20 && runs[0].was == Was::AfterInsertion);
    QVERIFY(runs[1].line == 2 && runs[1].start == 21 && runs[1].end == 30 && runs[1].was == Was::AtLineStart);
    QVERIFY(runs[2].line == 3 && runs[2].start == 31 && runs[2].end == 36 && runs[2].was == Was::AtLineStart);
    // A character deleted: each next line takes one up; what follows its first character moved.
    const std::vector<Line> full { { 0, 10, 0, 16 }, { 10, 10, 16, 16 }, { 20, 10, 32, 16 }, { 30, 10, 48, 16 } };
    after = { { 0, 10, 0, 16 }, { 10, 10, 16, 16 }, { 20, 10, 32, 16 }, { 30, 9, 48, 16 } };
    r = ChangedLines::changed(full, after, 15, 1, 0);
    runs = ChangedLines::movedRuns(full, after, r, 15, 1, 0);
    QCOMPARE(runs.size(), size_t(2)); // not behind the deletion on its own line: it is painted
    QVERIFY(runs[0].line == 2 && runs[0].start == 20 && runs[0].end == 29 && runs[0].was == Was::AfterFirst);
    QVERIFY(runs[1].line == 3 && runs[1].start == 30 && runs[1].end == 39 && runs[1].was == Was::AfterFirst);
    // A deletion that lets a word up onto the line before.
    after = { { 0, 12, 0, 16 }, { 12, 7, 16, 16 }, { 19, 10, 32, 16 }, { 29, 5, 48, 16 } };
    r = ChangedLines::changed(before, after, 13, 1, 0);
    QCOMPARE(r.first, 0);
    QCOMPARE(r.last, 1);
    // An edit where a line ends touches that line as well; a format change of the same length
    // changes every line it covers.
    after = { { 0, 10, 0, 16 }, { 10, 11, 16, 16 }, { 21, 10, 32, 16 }, { 31, 5, 48, 16 } };
    r = ChangedLines::changed(before, after, 10, 0, 1);
    QCOMPARE(r.first, 0);
    QCOMPARE(r.last, 1);
    r = ChangedLines::changed(before, before, 5, 20, 20);
    QCOMPARE(r.first, 0);
    QCOMPARE(r.last, 2);
    // A line that moved down (a taller character) is changed, though its characters are not.
    after = { { 0, 10, 0, 16 }, { 10, 11, 16, 20 }, { 21, 10, 36, 16 }, { 31, 5, 52, 16 } };
    r = ChangedLines::changed(before, after, 15, 0, 1);
    QCOMPARE(r.first, 1);
    QCOMPARE(r.last, 3);
    // Lines beyond those kept from before count as changed, as no line was found as it was.
    std::vector<Line> many, shifted;
    for (int n = 0; n < ChangedLines::MaxLines; ++n) {
        many.push_back({ n * 10, 10, n * 16.0, 16 });
        shifted.push_back({ n * 10, 10, n * 16.0, 16 }); // every line full: each gives one on
    }
    r = ChangedLines::changed(many, shifted, 3, 0, 1);
    QCOMPARE(r.first, 0);
    QVERIFY(r.last >= ChangedLines::MaxLines);
    QVERIFY(ChangedLines::changed(many, many, 3, 1, 1).last < ChangedLines::MaxLines);
}

// Where a line may break after a run of spaces depends on what stands before the run: edits at
// either end of long runs, in a long paragraph laid out again from its old lines.
void tst_EditorLayout::editsBesideLongSpaceRunsBreakAsAFullLayout()
{
    QTextDocument doc;
    setUp(doc, 300);
    EditorDocumentLayout &layout = install(doc);
    QString text;
    for (int i = 0; i < 30; ++i)
        text += u"word "_s + QString(90 + i * 7, u' ') + u"「次」、word。"_s + QString(70, u' ');
    QTextCursor cursor(&doc);
    cursor.insertText(text);
    layout.layOutAll();
    const QStringList edits { u"（"_s, u"「"_s, u"a"_s, u"、"_s, u"）"_s };
    int step = 0;
    for (int at = 5; at < doc.characterCount() - 200; at += 211) {
        // At the start of a run, then at its end.
        for (const int where : { at, at + 95 }) {
            cursor.setPosition(where);
            cursor.insertText(edits.at(step++ % edits.size()));
            layout.blockBoundingRect(cursor.block());
            QCOMPARE(lineBreaksOf(snapshot(doc)), lineBreaksOf(freshLayout(doc)));
            cursor.deletePreviousChar();
            layout.blockBoundingRect(cursor.block());
            QCOMPARE(lineBreaksOf(snapshot(doc)), lineBreaksOf(freshLayout(doc)));
        }
    }
    QVERIFY(layout.reusedLayouts() > 40);
}

void tst_EditorLayout::hugeParagraphLaidOutInPartBreaksAsQtDoes_data()
{
    QTest::addColumn<QString>("text");
    // Long enough to be drawn before it is laid out whole; its character rules are then found a
    // stretch at a time, ahead of its lines.
    constexpr int Length = 600000;
    QRandomGenerator random(29);
    QString spaced;
    while (spaced.size() < Length)
        spaced += prose(random, random.bounded(200, 4000)) + QString(random.bounded(60, 400), u' ');
    QTest::newRow("prose with long runs of spaces") << spaced.left(Length);
    // Whether a line may break after spaces depends on what stands before them: not after an
    // opening bracket, nor before a small kana after a closing one, however many spaces.
    QString brackets;
    while (brackets.size() < Length)
        brackets += u"「"_s + QString(random.bounded(100, 700), u' ') + u"語」"_s + QString(random.bounded(100, 700), u' ') + u"ー"_s;
    QTest::newRow("brackets before long runs of spaces") << brackets.left(Length);
    QTest::newRow("Thai without spaces") << QString(u"ภาษาไทยเป็นภาษาที่ใช้คำติดกันโดยไม่เว้นวรรค"_s).repeated(Length / 44);
    QString letters(Length, u'a');
    for (int i = 0; i < Length; ++i)
        letters[i] = QChar(u'a' + i % 26);
    QTest::newRow("one word of letters") << letters;
}

// Its lines, laid out first down to the area drawn and then to the end, are those Qt's layout
// makes of it whole.
void tst_EditorLayout::hugeParagraphLaidOutInPartBreaksAsQtDoes()
{
    QFETCH(QString, text);
    QTextDocument doc;
    setUp(doc, 331);
    EditorDocumentLayout &layout = install(doc);
    // As a file is read: with the layout off till the text is in.
    doc.setLayoutEnabled(false);
    QTextCursor(&doc).insertText(text);
    doc.setLayoutEnabled(true);
    QImage image(331, 400, QImage::Format_RGB32);
    QPainter painter(&image);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(0, 0, 331, 400);
    layout.draw(&painter, context);
    painter.end();
    QVERIFY(layout.estimatedCount() > 0); // drawn, but not laid out whole
    layout.layOutAll();
    const QList<Paragraph> ours = snapshot(doc);
    QCOMPARE(lineBreaksOf(ours), lineBreaksOf(freshLayout(doc)));
    // Qt's own layout breaks a word longer than a line in time that grows with its square.
    if (text.contains(u' ') || text.size() < 100000 || text.at(0).script() == QChar::Script_Thai)
        QCOMPARE(lineBreaksOf(ours), lineBreaksOf(qtLayout(doc)));
    // Every character's rules, found a stretch at a time, are those Qt finds for the whole text.
    const QTextEngine *engine = doc.firstBlock().layout()->engine();
    QTextLayout whole(text, doc.defaultFont());
    whole.engine()->itemize();
    const auto *found = reinterpret_cast<const uchar *>(engine->attributes());
    const auto *expected = reinterpret_cast<const uchar *>(whole.engine()->attributes());
    QVERIFY(found && expected);
    const auto differs = std::mismatch(found, found + text.size(), expected);
    QVERIFY2(differs.first == found + text.size(),
             qPrintable(u"the rules differ at %1"_s.arg(differs.first - found)));
}

void tst_EditorLayout::estimatesTurnReal()
{
    QRandomGenerator random(3);
    QTextDocument doc;
    setUp(doc, 300);
    QString text;
    for (int i = 0; i < 3000; ++i)
        text += prose(random, random.bounded(1, 120)) + u'\n';
    QTextCursor(&doc).insertText(text);
    EditorDocumentLayout &layout = install(doc);
    QVERIFY(layout.estimatedCount() > 2500); // only the first paragraphs are laid out at once
    QSignalSpy corrections(&layout, &EditorDocumentLayout::heightCorrected);
    const qreal estimated = layout.documentSize().height();
    qreal moved = 0;
    connect(&layout, &EditorDocumentLayout::heightCorrected, this, [&](qreal, qreal delta) { moved += delta; });
    layout.layOutAll();
    QCOMPARE(layout.estimatedCount(), 0);
    QVERIFY(!corrections.isEmpty());
    QCOMPARE(estimated + moved, layout.documentSize().height());
    QCOMPARE(snapshot(doc), qtLayout(doc));
}

void tst_EditorLayout::displayLinesAfterEdits()
{
    QRandomGenerator random(9);
    QTextDocument doc;
    setUp(doc, 200);
    EditorDocumentLayout &layout = install(doc);
    QTextCursor cursor(&doc);
    for (int i = 0; i < 60; ++i)
        cursor.insertText(prose(random, random.bounded(1, 90)) + u'\n');
    for (int edit = 0; edit < 200; ++edit) {
        cursor.setPosition(random.bounded(doc.characterCount()));
        cursor.insertText(edit % 10 == 0 ? u"\n"_s : prose(random, 3));
    }
    std::unique_ptr<QTextDocument> copy(doc.clone());
    copy->documentLayout()->blockBoundingRect(copy->lastBlock());
    int line = 0;
    for (QTextBlock b = copy->begin(); b.isValid(); b = b.next()) {
        for (int i = 0; i < b.layout()->lineCount(); ++i, ++line) {
            const int start = b.position() + b.layout()->lineAt(i).textStart();
            QCOMPARE(layout.lineOfPosition(start), line);
            QCOMPARE(layout.lineStart(line), start);
        }
    }
    QCOMPARE(layout.lineCount(), line);
    QCOMPARE(layout.lineStart(line), -1);
}

QTEST_MAIN(tst_EditorLayout)
#include "tst_editorlayout.moc"
