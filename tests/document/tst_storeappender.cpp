// Text read straight into the document's store must leave the document exactly as Qt's own
// insertion does: the same fragments, paragraphs, formats and revisions, trees Qt can go on
// editing, and cursors where Qt would have put them.

#include "document/plaintext.h"
#include "document/rtf/rtfreader.h"
#include "document/storeappender.h"
#include "document/textformats.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <private/qtextdocument_p.h>

namespace {

// Everything a reader of the document can see of its store, paragraph by paragraph: text,
// formats of the paragraph and of each run, and the paragraph's revision. Runs of one format
// count as one, however many fragments the store keeps them in (that depends on where the
// pieces of text lay in its buffer).
QStringList describe(const QTextDocument &document)
{
    QStringList out;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QString line = QString::number(block.position()) + u' ' + QString::number(block.length()) + u" b"
            + QString::number(block.blockFormatIndex()) + u" c" + QString::number(block.charFormatIndex()) + u" r"
            + QString::number(block.revision()) + u" |";
        int format = -1;
        QString run;
        const auto endRun = [&] {
            if (format >= 0)
                line += u" [" + run + u"] f" + QString::number(format);
            run.clear();
        };
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormatIndex() != format) {
                endRun();
                format = fragment.charFormatIndex();
            }
            run += fragment.text();
        }
        endRun();
        out += line;
    }
    return out;
}

QTextCharFormat readingFormat()
{
    QTextCharFormat format;
    format.setFontPointSize(11);
    return format;
}

// The document as Qt's cursor reads the text in pieces: the way reading went before.
void readByCursor(QTextDocument &document, const QString &text, qsizetype pieceCharacters)
{
    document.setUndoRedoEnabled(false);
    QTextCursor cursor = PlainText::startReading(document, readingFormat());
    for (qsizetype at = 0; at < text.size(); at += pieceCharacters)
        cursor.insertText(PlainText::breaksAsNewlines(text.mid(at, pieceCharacters)), readingFormat());
    cursor.endEditBlock();
}

void readByStore(QTextDocument &document, const QString &text, qsizetype pieceCharacters)
{
    document.setUndoRedoEnabled(false);
    // UTF-8 keeps every character of the test texts as it is.
    PlainText::read(document, text.toUtf8(), readingFormat(), pieceCharacters, TextForm::Encoding::Utf8);
}

QString randomText(QRandomGenerator &random, int length)
{
    static const QString alphabet = QStringLiteral("ab あ漢\n\n\r\u2029\t ");
    QString text;
    for (int i = 0; i < length; ++i)
        text += alphabet.at(random.bounded(alphabet.size()));
    return text;
}

// The same with every format's properties, and each paragraph's place in its table: the reader
// makes formats in its own order, so their numbers need not match between two documents.
QStringList describeWhole(const QTextDocument &document)
{
    // Pictures, kept groups and fields are numbered by counts that go on from one document read to the
    // next: their numbers are told by their order in the document.
    const QList<int> serials { QTextFormat::UserProperty + 0x201, QTextFormat::UserProperty + 0x211,
                               QTextFormat::UserProperty + 0x214 };
    QMap<QPair<int, int>, int> renumbered;
    const auto properties = [&](const QTextFormat &format) {
        QStringList out;
        const QMap<int, QVariant> all = format.properties();
        for (auto it = all.begin(); it != all.end(); ++it) {
            QString value = it.value().toString();
            if (serials.contains(it.key())) {
                const auto key = qMakePair(it.key(), it.value().toInt());
                if (!renumbered.contains(key))
                    renumbered.insert(key, int(renumbered.size()));
                value = QString::number(renumbered.value(key));
            }
            out += QString::number(it.key()) + u'=' + value;
        }
        return out.join(u',');
    };
    QStringList out;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        QString line = QString::number(block.position()) + u' ' + properties(block.blockFormat()) + u" | "
            + properties(block.charFormat());
        if (const QTextTable *table = QTextCursor(block).currentTable()) {
            const QTextTableCell cell = table->cellAt(block.position());
            line += u" cell " + QString::number(cell.row()) + u',' + QString::number(cell.column());
        }
        if (block.textList())
            line += u" list " + QString::number(block.textList()->itemNumber(block));
        for (auto it = block.begin(); !it.atEnd(); ++it)
            line += u" [" + it.fragment().text() + u"] " + properties(it.fragment().charFormat());
        out += line;
    }
    return out;
}

// Paragraphs of every kind a file holds: formats that change, tables (with text after them
// and paragraphs in cells), lists, pictures, fields, notes, sections, page and line breaks.
QList<QByteArray> rtfDocuments()
{
    QList<QByteArray> out;
    out += "{\\rtf1\\ansi " + QByteArray("\\par ").repeated(2000) + "}";
    out += "{\\rtf1\\ansi\\ansicpg932{\\fonttbl{\\f0 MS Gothic;}{\\f1 Arial;}}{\\colortbl;\\red255\\green0\\blue0;}"
           "\\f0\\fs24 \\'93\\'fa\\'96\\'7b {\\b bold}{\\i\\cf1 red} plain\\par\\f1\\fs40 big\\line next\\par"
           "\\pard\\qc centred\\par\\pard\\li720\\fi-360 indented\\par\\page after a break\\par}";
    QByteArray table = "{\\rtf1\\ansi before\\par";
    for (int row = 0; row < 5; ++row) {
        table += "\\trowd\\cellx2000\\cellx4000\\pard\\intbl r" + QByteArray::number(row) + "a\\par second\\cell"
            " r" + QByteArray::number(row) + "b\\cell\\row";
    }
    out += table + "\\pard after\\par more\\par}";
    out += "{\\rtf1\\ansi{\\*\\listtable{\\list\\listid1{\\listlevel\\levelnfc0}}}{\\*\\listoverridetable"
           "{\\listoverride\\listid1\\ls1}}\\pard\\ls1 one\\par\\pard\\ls1 two\\par\\pard plain\\par"
           "{\\pntext\\'b7\\tab}{\\*\\pn\\pnlvlblt}bullet\\par{\\pntext\\'b7\\tab}{\\*\\pn\\pnlvlblt}again\\par\\pard end\\par}";
    out += "{\\rtf1\\ansi text{\\field{\\*\\fldinst HYPERLINK \"https://example.com/\"}{\\fldrslt link}} and"
           "{\\footnote note}{\\*\\bkmkstart b}marked{\\*\\bkmkend b}\\par"
           "{\\pict\\pngblip\\picw1\\pich1 89504e470d0a1a0a0000000d4948445200000001000000010806000000"
           "1f15c4890000000d4944415478da63f8cfc0f01f0005fe02fea7d3a5e00000000049454e44ae426082}\\par"
           "\\sect\\sectd\\cols2 second section\\par\\u12354?\\u12356? unicode\\par}";
    const QStringList folders { QStringLiteral(PENLOFT_FIXTURES "/rtf"), QStringLiteral(PENLOFT_FIXTURES "/rtf/fuzz") };
    for (const QString &folder : folders) {
        for (const QString &name : QDir(folder).entryList(QDir::Files)) {
            QFile file(QDir(folder).filePath(name));
            if (file.open(QIODevice::ReadOnly))
                out += file.readAll();
        }
    }
    return out;
}

} // namespace

class TestStoreAppender : public QObject {
    Q_OBJECT

private slots:
    void readsAsTheCursorDoes_data();
    void readsAsTheCursorDoes();
    void editsAndUndoAfterwardsAsAfterTheCursor();
    void appendsAfterATableAndMovesCursors();
    void refusesWhatNeedsMoreThanTheStore();
    void readsRtfAsTheCursorDoes();
};

void TestStoreAppender::readsAsTheCursorDoes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("piece");
    QTest::newRow("empty") << QString() << 1024;
    QTest::newRow("one line") << QStringLiteral("abc") << 1024;
    QTest::newRow("line breaks only") << QStringLiteral("\n\n\n\n") << 1024;
    QTest::newRow("CR LF, CR and LF") << QStringLiteral("a\r\nb\rc\nd\r\n\r\n") << 1024;
    QTest::newRow("break at the end") << QStringLiteral("abc\n") << 1024;
    QTest::newRow("paragraph separator in the text") << QStringLiteral("a\u2029b") << 1024;
    QTest::newRow("frame marks in the text") << QStringLiteral("a\uFDD0b\uFDD1c") << 1024;
    QTest::newRow("Japanese lines in small pieces") << QStringLiteral("日本語の文\n二行目\n\n四行目").repeated(50) << 7;
    QTest::newRow("many empty paragraphs") << QStringLiteral("\n").repeated(5000) << 333;
}

void TestStoreAppender::readsAsTheCursorDoes()
{
    QFETCH(QString, text);
    QFETCH(int, piece);
    QTextDocument byCursor;
    readByCursor(byCursor, text, piece);
    QTextDocument byStore;
    readByStore(byStore, text, piece);
    QCOMPARE(StoreAppender::storeFault(byStore), QString());
    QCOMPARE(describe(byStore), describe(byCursor));
    QCOMPARE(byStore.characterCount(), byCursor.characterCount());
    QCOMPARE(byStore.blockCount(), byCursor.blockCount());
    QCOMPARE(byStore.toPlainText(), byCursor.toPlainText());
    QCOMPARE(byStore.lastBlock().blockNumber(), byCursor.blockCount() - 1);
    // The cursor's way keeps the line breaks it read in the store's buffer, where nothing refers
    // to them; the store's way has only what the document holds.
    if (text.contains(u'\n'))
        QVERIFY(QTextDocumentPrivate::get(&byStore)->buffer().size() < QTextDocumentPrivate::get(&byCursor)->buffer().size());
}

// Qt edits the store further with its own tree operations: a tree that is linked, balanced or
// summed wrongly shows in them (wrong text, wrong blocks, a crash under the sanitizers).
void TestStoreAppender::editsAndUndoAfterwardsAsAfterTheCursor()
{
    QRandomGenerator random(20261210);
    const QString text = randomText(random, 20000);
    QTextDocument byCursor;
    readByCursor(byCursor, text, 1500);
    QTextDocument byStore;
    readByStore(byStore, text, 1500);
    for (QTextDocument *document : { &byCursor, &byStore }) {
        document->setUndoRedoEnabled(true);
        document->clearUndoRedoStacks();
    }
    for (int step = 0; step < 400; ++step) {
        const int length = byCursor.characterCount();
        const int at = random.bounded(length);
        const int kind = random.bounded(4);
        const int span = random.bounded(qMin(40, length - at));
        const QString insert = randomText(random, random.bounded(1, 12));
        for (QTextDocument *document : { &byCursor, &byStore }) {
            QTextCursor cursor(document);
            cursor.setPosition(at);
            if (kind == 0) {
                cursor.insertText(insert);
            } else if (kind == 1) {
                cursor.setPosition(at + span, QTextCursor::KeepAnchor);
                cursor.removeSelectedText();
            } else if (kind == 2) {
                cursor.insertBlock();
            } else if (document->isUndoAvailable()) {
                document->undo();
            }
        }
        QCOMPARE(byStore.toPlainText(), byCursor.toPlainText());
        QCOMPARE(byStore.blockCount(), byCursor.blockCount());
    }
    QCOMPARE(StoreAppender::storeFault(byStore), QString());
    QCOMPARE(describe(byStore), describe(byCursor));
}

void TestStoreAppender::appendsAfterATableAndMovesCursors()
{
    QTextDocument document;
    document.setUndoRedoEnabled(false);
    QTextCursor cursor(&document);
    cursor.insertText(QStringLiteral("before"));
    QTextTable *table = cursor.insertTable(2, 2);
    table->cellAt(1, 1).firstCursorPosition().insertText(QStringLiteral("cell"));
    cursor.movePosition(QTextCursor::End);
    QTextCursor atStart(&document);
    QTextCursor atEnd(&document);
    atEnd.movePosition(QTextCursor::End);
    const int end = atEnd.position();

    QTextDocument expected;
    expected.setUndoRedoEnabled(false);
    QTextCursor other(&expected);
    other.insertText(QStringLiteral("before"));
    other.insertTable(2, 2)->cellAt(1, 1).firstCursorPosition().insertText(QStringLiteral("cell"));
    other.movePosition(QTextCursor::End);
    other.insertText(QStringLiteral("after\n\nlast"));

    {
        StoreAppender store(document);
        QVERIFY(store.usable());
        QCOMPARE(store.position(), end);
        const int chars = document.begin().charFormatIndex();
        const int blocks = document.lastBlock().blockFormatIndex();
        QVERIFY(store.acceptsBreak(blocks, chars));
        store.appendText(u"after", chars);
        store.appendBreak(blocks, chars);
        store.appendBreak(blocks, chars);
        store.appendText(u"la", chars);
        store.appendText(u"st", chars);
        QCOMPARE(store.pending(), 11);
    }
    QCOMPARE(StoreAppender::storeFault(document), QString());
    QCOMPARE(document.toPlainText(), expected.toPlainText());
    QCOMPARE(document.blockCount(), expected.blockCount());
    // The table is still a table where it was, and the cursors moved as an insertion moves them.
    QCOMPARE(table->rows(), 2);
    QCOMPARE(table->cellAt(1, 1).firstCursorPosition().block().text(), QStringLiteral("cell"));
    QCOMPARE(atStart.position(), 0);
    QCOMPARE(atEnd.position(), end + 11);
    QCOMPARE(cursor.position(), end + 11);
    QCOMPARE(document.lastBlock().text(), QStringLiteral("last"));
}

void TestStoreAppender::refusesWhatNeedsMoreThanTheStore()
{
    QTextDocument document;
    QVERIFY(!StoreAppender(document).usable()); // undo on: every insertion is recorded
    document.setUndoRedoEnabled(false);
    document.setMaximumBlockCount(10);
    QVERIFY(!StoreAppender(document).usable()); // the store would drop paragraphs
    document.setMaximumBlockCount(0);
    QTextCursor cursor(&document);
    cursor.insertList(QTextListFormat::ListDisc);
    StoreAppender store(document);
    QVERIFY(store.usable());
    QVERIFY(!store.acceptsBreak(document.lastBlock().blockFormatIndex(), document.lastBlock().charFormatIndex()));
}

// With undo on, the reader inserts through the cursor, every break and run as Qt does it;
// with it off (as files are read) through the store.
void TestStoreAppender::readsRtfAsTheCursorDoes()
{
    CharFormat defaults = TextFormats::editorDefaultFormat();
    int documents = 0;
    for (const QByteArray &rtf : rtfDocuments()) {
        QTextDocument byCursor;
        QTextDocument byStore;
        byStore.setUndoRedoEnabled(false);
        const bool read = RtfReader::read(rtf, byCursor, defaults);
        QCOMPARE(RtfReader::read(rtf, byStore, defaults), read);
        QCOMPARE(StoreAppender::storeFault(byStore), QString());
        const QStringList store = describeWhole(byStore);
        const QStringList expected = describeWhole(byCursor);
        for (qsizetype i = 0; i < qMin(store.size(), expected.size()); ++i) {
            const QString &a = store.at(i);
            const QString &b = expected.at(i);
            qsizetype at = 0;
            while (at < qMin(a.size(), b.size()) && a.at(at) == b.at(at))
                ++at;
            QVERIFY2(a == b, qPrintable(u"paragraph %1 of document %2 differs at %3:\n%4\nthe cursor's way:\n%5"_qs
                                            .arg(i).arg(documents).arg(at).arg(a.mid(qMax(0, at - 80), 240), b.mid(qMax(0, at - 80), 240))));
        }
        QCOMPARE(store.size(), expected.size());
        ++documents;
    }
    QVERIFY(documents > 10);
}

QTEST_MAIN(TestStoreAppender)
#include "tst_storeappender.moc"
