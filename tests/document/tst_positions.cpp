#include "document/editordocumentlayout.h"
#include "document/sjistext.h"
#include "document/textpositionindex.h"

#include <QAbstractTextDocumentLayout>
#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The document as one string in which index i is document position i: paragraphs joined by
// U+2029, which counts as CR LF.
QString positionsText(const QTextDocument &doc)
{
    QString text;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (b != doc.begin())
            text += QChar::ParagraphSeparator;
        text += b.text();
    }
    return text;
}

void checkAgainstRecount(const QTextDocument &doc, const TextPositionIndex &index)
{
    const QString text = positionsText(doc);
    const SjisText::TextMeasure whole = SjisText::measure(text);
    QCOMPARE(index.byteLength(), whole.bytes);
    QCOMPARE(index.characterCount(), whole.characters);
    qint64 bytes = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i > 0 && text.at(i - 1).isHighSurrogate())
            continue;
        bytes = SjisText::byteOffset(text, i);
        QCOMPARE(index.bytePosition(int(i)), bytes);
        QCOMPARE(index.documentPosition(bytes), int(i));
        QCOMPARE(index.charactersBefore(bytes), SjisText::charactersBefore(text, bytes));
    }
}

// Line numbers straight from Qt's own layout of a copy, laid out in full, for comparison.
int recountLine(const QTextDocument &doc, int position)
{
    std::unique_ptr<QTextDocument> copy(doc.clone());
    copy->documentLayout()->blockBoundingRect(copy->lastBlock());
    int line = 0;
    const QTextBlock target = copy->findBlock(position);
    for (QTextBlock b = copy->begin(); b != target; b = b.next())
        line += b.layout()->lineCount();
    return line + target.layout()->lineForTextPosition(position - target.position()).lineNumber();
}

// The editor's layout installed on a document.
EditorDocumentLayout &editorLayout(QTextDocument &doc)
{
    auto *layout = new EditorDocumentLayout(&doc);
    doc.setDocumentLayout(layout);
    return *layout;
}

} // namespace

class tst_Positions : public QObject {
    Q_OBJECT
private slots:
    void overviewExamples_data();
    void overviewExamples();
    void insideCharactersSnapToTheirStart();
    void followsRandomEdits();
    void followsUndoAndRedo();
    void followsTypingInALongParagraph();
    void followsTextAppendedInParts();
    void suspendedIndexMeasuresOnResume();
    void displayLinesOfWrappedParagraphs();
    void displayLinesFollowEditsAndWidth();
    void lineStartBeyondTheEnd();
};

void tst_Positions::overviewExamples_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bytes");
    QTest::addColumn<int>("characters");
    QTest::newRow("empty document") << QString() << 0 << 0;
    QTest::newRow("three double-byte characters") << u"あいう"_s << 6 << 3;
    QTest::newRow("two letters, a break and a letter") << u"ab\nc"_s << 5 << 5;
    QTest::newRow("CR LF at start") << u"\nx"_s << 3 << 3;
    QTest::newRow("empty paragraphs") << u"\n\n"_s << 4 << 4;
}

void tst_Positions::overviewExamples()
{
    QFETCH(QString, text);
    QFETCH(int, bytes);
    QFETCH(int, characters);
    QTextDocument doc;
    TextPositionIndex index(&doc);
    QTextCursor(&doc).insertText(text);
    QCOMPARE(index.byteLength(), bytes);
    QCOMPARE(index.characterCount(), characters);
    QCOMPARE(index.bytePosition(doc.characterCount() - 1), bytes);
    checkAgainstRecount(doc, index);
}

void tst_Positions::insideCharactersSnapToTheirStart()
{
    QTextDocument doc;
    TextPositionIndex index(&doc);
    QTextCursor(&doc).insertText(u"aあ\nb"_s); // a=0, あ=1..2, CR=3, LF=4, b=5
    QCOMPARE(index.documentPosition(2), 1); // trail byte of あ
    QCOMPARE(index.documentPosition(4), 2); // the LF: end of the first paragraph
    QCOMPARE(index.documentPosition(5), 3);
    QCOMPARE(index.documentPosition(99), 4); // clamped to the end
    QCOMPARE(index.documentPosition(-5), 0);
    QCOMPARE(index.charactersBefore(4), 3); // a, あ, CR
    QCOMPARE(index.charactersBefore(5), 4);
    QCOMPARE(index.charactersBefore(0), 0);
}

void tst_Positions::followsRandomEdits()
{
    const QStringList pieces { u"a"_s, u"あい"_s, u"\n"_s, u"x\ny"_s, u"\U0001F600"_s, u"\u2028"_s, u"ｱ"_s,
                               u"\u00E9"_s, u"\n\n"_s, u"表示"_s, u"\t"_s };
    QRandomGenerator random(20261208);
    QTextDocument doc;
    TextPositionIndex index(&doc);
    for (int step = 0; step < 400; ++step) {
        const int end = doc.characterCount() - 1;
        QTextCursor cursor(&doc);
        const QString text = positionsText(doc);
        auto boundary = [&](int p) {
            return (p > 0 && p <= text.size() && text.at(p - 1).isHighSurrogate()) ? p - 1 : p;
        };
        const int at = boundary(int(random.bounded(end + 1)));
        cursor.setPosition(at);
        if (random.bounded(3) == 0 && end > 0) {
            cursor.setPosition(boundary(qMin(end, at + int(random.bounded(6)))), QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
        } else {
            cursor.insertText(pieces.at(random.bounded(int(pieces.size()))));
        }
        QTextCursor whole(&doc);
        if (step % 50 == 0)
            checkAgainstRecount(doc, index);
        else
            QCOMPARE(index.byteLength(), SjisText::measure(positionsText(doc)).bytes);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(u"after step %1"_s.arg(step)));
    }
    checkAgainstRecount(doc, index);
}

// Keys typed and deleted in one long paragraph, the caret's place asked for after each (which
// keeps that paragraph's checkpoints, moved by each edit, not made again).
void tst_Positions::followsTypingInALongParagraph()
{
    const QStringList pieces { u"a"_s, u"あ"_s, u"漢字"_s, u"ｱ"_s, u"\u00E9"_s, u"\U0001F600"_s, u" "_s };
    QRandomGenerator random(20261210);
    QString paragraph;
    while (paragraph.size() < 20000)
        paragraph += pieces.at(random.bounded(int(pieces.size())));
    QTextDocument doc;
    TextPositionIndex index(&doc);
    QTextCursor(&doc).insertText(u"前の段落\n"_s + paragraph + u"\n後"_s);
    const QTextBlock block = doc.findBlockByNumber(1);
    int caret = block.position() + 9000;
    for (int step = 0; step < 300; ++step) {
        const QString text = positionsText(doc);
        if (text.at(caret - 1).isHighSurrogate())
            --caret;
        QTextCursor cursor(&doc);
        cursor.setPosition(caret);
        if (random.bounded(3) == 0) {
            const int before = caret - (text.at(caret - 2).isHighSurrogate() ? 2 : 1);
            cursor.setPosition(before, QTextCursor::KeepAnchor);
            cursor.removeSelectedText();
            caret = before;
        } else {
            const QString piece = pieces.at(random.bounded(int(pieces.size())));
            cursor.insertText(piece);
            caret += int(piece.size());
        }
        // Now and then somewhere else in the paragraph, across its checkpoints.
        if (step % 40 == 39)
            caret = block.position() + 1 + int(random.bounded(block.length() - 2));
        const QString now = positionsText(doc);
        const int lineStart = block.position() + 100;
        const TextPositionIndex::CaretBytes place = index.caretBytes(caret, lineStart);
        QCOMPARE(place.byte, SjisText::byteOffset(now, caret));
        QCOMPARE(place.lineStartByte, SjisText::byteOffset(now, lineStart));
        QCOMPARE(place.charactersBefore, SjisText::charactersBefore(now, place.byte));
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(u"after step %1"_s.arg(step)));
    }
    checkAgainstRecount(doc, index);
}

void tst_Positions::followsTextAppendedInParts()
{
    // As a long text is read: parts of several paragraphs each added at the end, the first
    // continuing the last paragraph, with the sums in use between parts.
    const QStringList parts { u"a\nb\n"_s, u"あい"_s, u"\n\n\n"_s, u"x\ny\nｱ表示"_s, u"\U0001F600\n"_s, u"\t\u2028z"_s };
    QRandomGenerator random(20261209);
    QTextDocument doc;
    TextPositionIndex index(&doc);
    QTextCursor(&doc).insertText(u"start"_s);
    QCOMPARE(index.byteLength(), 5);
    for (int step = 0; step < 300; ++step) {
        QTextCursor cursor(&doc);
        cursor.movePosition(QTextCursor::End);
        cursor.beginEditBlock();
        for (int i = int(random.bounded(4)); i >= 0; --i)
            cursor.insertText(parts.at(random.bounded(int(parts.size()))));
        cursor.endEditBlock();
        if (step % 30 == 0)
            checkAgainstRecount(doc, index);
        else
            QCOMPARE(index.byteLength(), SjisText::measure(positionsText(doc)).bytes);
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(u"after part %1"_s.arg(step)));
    }
    checkAgainstRecount(doc, index);
}

void tst_Positions::followsUndoAndRedo()
{
    QTextDocument doc;
    TextPositionIndex index(&doc);
    QTextCursor cursor(&doc);
    cursor.insertText(u"一行目\n二行目"_s);
    cursor.insertText(u"\n三"_s);
    cursor.setPosition(1);
    cursor.setPosition(6, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    checkAgainstRecount(doc, index);
    doc.undo();
    checkAgainstRecount(doc, index);
    doc.undo();
    checkAgainstRecount(doc, index);
    doc.redo();
    checkAgainstRecount(doc, index);
}

void tst_Positions::suspendedIndexMeasuresOnResume()
{
    QTextDocument doc;
    TextPositionIndex index(&doc);
    index.suspend();
    QTextCursor cursor(&doc);
    for (int i = 0; i < 50; ++i)
        cursor.insertText(u"行\n"_s);
    index.resume();
    checkAgainstRecount(doc, index);
}

void tst_Positions::displayLinesOfWrappedParagraphs()
{
    QTextDocument doc;
    doc.setDefaultFont(QFont(u"IPAGothic"_s, 12));
    doc.setTextWidth(200);
    EditorDocumentLayout &lines = editorLayout(doc);
    QTextCursor cursor(&doc);
    cursor.insertText(u"短い\n"_s + QString(60, u'長') + u"\n\n"_s + QString(25, u'字') + u"\nend"_s);
    const int count = lines.lineCount();
    QVERIFY(count > 6); // the long paragraphs wrap
    for (int position = 0; position < doc.characterCount() - 1; position += 3)
        QCOMPARE(lines.lineOfPosition(position), recountLine(doc, position));
    for (int line = 0; line < count; ++line) {
        const int start = lines.lineStart(line);
        QVERIFY(start >= 0);
        QCOMPARE(lines.lineOfPosition(start), line);
        if (start > 0)
            QCOMPARE(lines.lineOfPosition(start - 1), line - 1);
    }
}

void tst_Positions::displayLinesFollowEditsAndWidth()
{
    QTextDocument doc;
    doc.setDefaultFont(QFont(u"IPAGothic"_s, 12));
    doc.setTextWidth(300);
    EditorDocumentLayout &lines = editorLayout(doc);
    QTextCursor cursor(&doc);
    for (int i = 0; i < 40; ++i)
        cursor.insertText(QString(i % 7 * 9 + 1, u'あ') + u'\n');
    const int end = doc.characterCount() - 1;
    QCOMPARE(lines.lineOfPosition(end), recountLine(doc, end));

    cursor.setPosition(5);
    cursor.insertText(QString(80, u'追')); // paragraph 0 now wraps
    QCOMPARE(lines.lineOfPosition(doc.characterCount() - 1), recountLine(doc, doc.characterCount() - 1));
    cursor.setPosition(3);
    cursor.setPosition(200, QTextCursor::KeepAnchor);
    cursor.removeSelectedText(); // joins paragraphs
    QCOMPARE(lines.lineOfPosition(doc.characterCount() - 1), recountLine(doc, doc.characterCount() - 1));

    doc.setTextWidth(120); // every paragraph wraps anew
    for (int position = 0; position < doc.characterCount(); position += 17)
        QCOMPARE(lines.lineOfPosition(position), recountLine(doc, position));
}

void tst_Positions::lineStartBeyondTheEnd()
{
    QTextDocument doc;
    doc.setTextWidth(300);
    EditorDocumentLayout &lines = editorLayout(doc);
    QCOMPARE(lines.lineCount(), 1); // an empty document has one line
    QCOMPARE(lines.lineStart(0), 0);
    QCOMPARE(lines.lineStart(1), -1);
    QCOMPARE(lines.lineStart(-1), -1);
    QTextCursor(&doc).insertText(u"a\nb"_s);
    QCOMPARE(lines.lineStart(1), 2);
    QCOMPARE(lines.lineStart(2), -1);
}

QTEST_MAIN(tst_Positions)
#include "tst_positions.moc"
