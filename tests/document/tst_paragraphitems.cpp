// The runs a paragraph is cut into after an edit, taken over from before it, are those Qt cuts
// for the new text: the same positions, scripts and flags, or none taken over where Qt's
// direction analysis is needed.

#include "document/paragraphitems.h"

#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <private/qtextengine_p.h>

using namespace Qt::StringLiterals;

namespace {

struct Edit {
    int start = 0;
    int removed = 0;
    QString added;
};

QString describe(const QScriptItemArray &items)
{
    QStringList parts;
    for (const QScriptItem &item : items)
        parts += u"%1:s%2f%3l%4"_s.arg(item.position).arg(item.analysis.script).arg(item.analysis.flags).arg(item.analysis.bidiLevel);
    return parts.join(u' ');
}

// Cuts the edited text both ways; false when the items were not taken over.
bool cutBothWays(const QString &text, const Edit &edit, QString *ours, QString *qts, int boldFrom = -1, int boldTo = -1)
{
    QTextDocument document;
    QTextCursor cursor(&document);
    cursor.insertText(text);
    if (boldFrom >= 0) {
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        cursor.setPosition(boldFrom);
        cursor.setPosition(boldTo, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(bold);
    }
    QTextLayout *layout = document.begin().layout();
    QTextEngine *engine = layout->engine();
    engine->itemize();
    const std::vector<ParagraphItems::Item> kept = ParagraphItems::keep(layout);
    cursor.setPosition(edit.start);
    cursor.setPosition(edit.start + edit.removed, QTextCursor::KeepAnchor);
    cursor.insertText(edit.added);
    engine->invalidate();
    if (!ParagraphItems::itemize(layout, kept, edit.start, edit.start + edit.removed,
                                 int(edit.added.size()) - edit.removed))
        return false;
    *ours = describe(engine->layoutData->items);
    engine->invalidate();
    engine->itemize();
    *qts = describe(engine->layoutData->items);
    return true;
}

QString japanese(int characters)
{
    const QString words[] = { u"日本語"_s, u"の"_s, u"テキスト"_s, u"を"_s, u"書く"_s, u"。"_s, u"Penloft "_s, u"、"_s, u"（注）"_s };
    QString text;
    for (int i = 0; text.size() < characters; ++i)
        text += words[(i * 7 + i / 3) % 9];
    return text.left(characters);
}

} // namespace

class tst_ParagraphItems : public QObject {
    Q_OBJECT
private slots:
    void sameAsQt_data();
    void sameAsQt();
    void rightToLeftIsLeftToQt();
    void randomEditsCutAsQtDoes();
};

void tst_ParagraphItems::sameAsQt_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("removed");
    QTest::addColumn<QString>("added");
    QTest::addColumn<int>("boldFrom");
    QTest::addColumn<int>("boldTo");
    const QString jp = japanese(3000);
    const QString latin = u"word "_s.repeated(2000); // one run of 10,000 characters: cut every 4096
    QTest::newRow("kana into Japanese") << jp << 1500 << 0 << u"あ"_s << -1 << -1;
    QTest::newRow("Latin into Japanese") << jp << 1501 << 0 << u"abc"_s << -1 << -1;
    QTest::newRow("Japanese replaced across scripts") << jp << 100 << 37 << u"漢字かなカナ"_s << -1 << -1;
    QTest::newRow("at the start") << jp << 0 << 0 << u"「"_s << -1 << -1;
    QTest::newRow("first character removed") << jp << 0 << 1 << QString() << -1 << -1;
    QTest::newRow("at the end") << jp << 3000 << 0 << u"。"_s << -1 << -1;
    QTest::newRow("last characters removed") << jp << 2990 << 10 << QString() << -1 << -1;
    QTest::newRow("inside a run of 4096") << latin << 5000 << 0 << u"x"_s << -1 << -1;
    QTest::newRow("removed across a 4096 cut") << latin << 4090 << 12 << QString() << -1 << -1;
    QTest::newRow("Greek into Latin") << latin.left(300) << 150 << 0 << u"αβγ"_s << -1 << -1;
    QTest::newRow("Latin before leading Greek") << u"  ... αβγ δε word"_s << 0 << 0 << u"x"_s << -1 << -1;
    QTest::newRow("Greek before leading spaces") << u"  ... word αβγ"_s << 1 << 0 << u"λ"_s << -1 << -1;
    QTest::newRow("Cyrillic and Hangul") << u"abc абв 한국어 日本 abc"_s << 8 << 2 << u"д한"_s << -1 << -1;
    QTest::newRow("tabs, objects and line breaks") << u"a\tb\t\tc\uFFFCd\u2028\u2028e"_s << 3 << 0 << u"\t\uFFFC"_s << -1 << -1;
    QTest::newRow("a tab removed") << u"あ\tい\tう"_s << 1 << 1 << QString() << -1 << -1;
    QTest::newRow("combining marks") << u"cafe\u0301 e\u0301\u0301 αι"_s << 4 << 0 << u"\u0308"_s << -1 << -1;
    QTest::newRow("surrogate pairs") << u"𠮟る 😀 𠮟"_s << 2 << 0 << u"😀𠮟"_s << -1 << -1;
    QTest::newRow("a pair made by the edit") << u"a\U0001F600b"_s << 2 << 0 << u"x"_s << -1 << -1;
    QTest::newRow("full stops") << u"abc.日本.カナ.αβ.x"_s << 4 << 0 << u"."_s << -1 << -1;
    QTest::newRow("inside bold") << jp << 60 << 0 << u"字"_s << 50 << 80;
    QTest::newRow("at the start of bold") << jp << 50 << 0 << u"字"_s << 50 << 80;
    QTest::newRow("at the end of bold") << jp << 80 << 0 << u"字"_s << 50 << 80;
    QTest::newRow("bold removed whole") << jp << 45 << 40 << u"字"_s << 50 << 80;
    QTest::newRow("empty paragraph left") << u"abc"_s << 0 << 3 << QString() << -1 << -1;
}

void tst_ParagraphItems::sameAsQt()
{
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(int, removed);
    QFETCH(QString, added);
    QFETCH(int, boldFrom);
    QFETCH(int, boldTo);
    QString ours, qts;
    QVERIFY(cutBothWays(text, { start, removed, added }, &ours, &qts, boldFrom, boldTo));
    QCOMPARE(ours, qts);
}

void tst_ParagraphItems::rightToLeftIsLeftToQt()
{
    QString ours, qts;
    // Brought in by the edit: Qt's direction analysis decides.
    QVERIFY(!cutBothWays(japanese(500), { 200, 0, u"שלום"_s }, &ours, &qts));
    QVERIFY(!cutBothWays(u"abc def"_s, { 3, 0, u"\u202B"_s }, &ours, &qts));
    // There before it: nothing was kept to take over.
    QTextDocument document;
    QTextCursor(&document).insertText(u"abc مرحبا def"_s);
    QTextLayout *layout = document.begin().layout();
    layout->engine()->itemize();
    QVERIFY(ParagraphItems::keep(layout).empty());
}

void tst_ParagraphItems::randomEditsCutAsQtDoes()
{
    // Characters of many scripts, marks, pairs, tabs and objects, edited at random.
    const QStringList pool = { u"あ"_s, u"ア"_s, u"漢"_s, u"a"_s, u"Z"_s, u" "_s, u"."_s, u"、"_s, u"1"_s, u"α"_s,
                               u"д"_s, u"한"_s, u"\u0301"_s, u"😀"_s, u"𠮟"_s, u"\t"_s, u"\uFFFC"_s, u"\u2028"_s,
                               u"「"_s, u"ไ"_s };
    QRandomGenerator random(20261210);
    const auto some = [&](int count) {
        QString s;
        for (int i = 0; i < count; ++i)
            s += pool.at(random.bounded(int(pool.size())));
        return s;
    };
    int taken = 0;
    for (int round = 0; round < 400; ++round) {
        const QString text = some(1 + random.bounded(300));
        int start = random.bounded(int(text.size()) + 1);
        if (start > 0 && start < text.size() && text.at(start).isLowSurrogate())
            --start;
        int end = qMin(int(text.size()), start + random.bounded(8));
        if (end > 0 && end < text.size() && text.at(end).isLowSurrogate())
            ++end;
        const Edit edit { start, end - start, some(random.bounded(4)) };
        const int bold = random.bounded(3) == 0 ? random.bounded(int(text.size()) + 1) : -1;
        QString ours, qts;
        if (!cutBothWays(text, edit, &ours, &qts, bold, bold < 0 ? -1 : qMin(int(text.size()), bold + 5)))
            continue;
        ++taken;
        QVERIFY2(ours == qts, qPrintable(u"round %1: %2\nours %3\nQt's %4"_s.arg(round).arg(text, ours, qts)));
    }
    QVERIFY(taken > 300);
}

QTEST_MAIN(tst_ParagraphItems)
#include "tst_paragraphitems.moc"
