// What a word processor's RTF holds that the editor does not edit (footnotes, headers and footers,
// shapes, fields, bookmarks, the stylesheet...) comes back unchanged when the user edits and
// saves, through the real window; what the editor can show of it shows; a text save asks before
// it leaves pictures out.

#include "app/japaneseui.h"
#include "app/messagebox.h"
#include "app/settingsfile.h"
#include "app/tpenform1.h"
#include "document/pictures.h"
#include "document/richdocument.h"
#include "document/richedit.h"

#include <QAction>
#include <QHelpEvent>
#include <QImage>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolTip>

#include "realdialogs.h"
#include "testfiles.h"

#include <cctype>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// As a Japanese word processor writes the start of a document.
const QByteArray Start = "{\\rtf1\\ansi\\ansicpg932\\deff0\\deflang1033\\deflangfe1041"
                         "{\\fonttbl{\\f0\\fnil\\fcharset128 MS Mincho;}}\r\n"
                         "{\\colortbl;\\red0\\green0\\blue0;}\r\n"_ba;

QByteArray png()
{
    return TestFiles::fixture(u"pictures/small.png"_s).toHex();
}

QByteArray shape()
{
    return "{\\shp{\\*\\shpinst\\shpleft0\\shptop0\\shpright960\\shpbottom720\\shpwr3\\shpwrk0"
           "{\\sp{\\sn shapeType}{\\sv 75}}{\\sp{\\sn pib}{\\sv {\\pict\\pngblip\\picwgoal960\\pichgoal720 "
        + png() + "}}}}{\\shprslt {\\*\\do\\dobxcolumn\\dpx0}}}";
}

// Where the editor shows position `position` of its document, in viewport pixels.
QRect characterRect(RichEdit *editor, int position)
{
    QTextCursor cursor(editor->document());
    cursor.setPosition(position);
    const QRect before = editor->cursorRect(cursor);
    cursor.setPosition(position + 1);
    const QRect after = editor->cursorRect(cursor);
    return QRect(before.topLeft(), QPoint(after.left() - 1, before.bottom()));
}

int objectPosition(RichEdit *editor)
{
    return int(editor->document()->toPlainText().indexOf(QChar::ObjectReplacementCharacter));
}

QString toolTipAt(RichEdit *editor, QPoint at)
{
    QToolTip::hideText();
    QHelpEvent help(QEvent::ToolTip, at, editor->viewport()->mapToGlobal(at));
    QApplication::sendEvent(editor->viewport(), &help);
    return QToolTip::text();
}

// The \\uc a reader has in effect where `marker` begins in `rtf` (-1: no marker): each group
// starts with its parent's, \\ucN sets it.
int unicodeSkipAt(const QByteArray &rtf, const QByteArray &marker)
{
    const qsizetype at = rtf.indexOf(marker);
    if (at < 0)
        return -1;
    std::vector<int> skips { 1 };
    for (qsizetype i = 0; i < at; ++i) {
        const char c = rtf.at(i);
        if (c == '{') {
            skips.push_back(skips.back());
        } else if (c == '}') {
            if (skips.size() > 1)
                skips.pop_back();
        } else if (c == '\\' && i + 1 < at) {
            if (rtf.mid(i + 1, 2) == "uc") {
                qsizetype end = i + 3;
                while (end < at && std::isdigit(static_cast<unsigned char>(rtf.at(end))))
                    ++end;
                skips.back() = rtf.mid(i + 3, end - i - 3).toInt();
                i = end - 1;
            } else {
                ++i; // \\{, \\} and \\\\ are text
            }
        }
    }
    return skips.back();
}

} // namespace

class tst_RtfKept : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void editAndSaveKeepsWhatTheFileHad_data();
    void editAndSaveKeepsWhatTheFileHad();
    void sectionBreaksComeBackAfterTheirParagraph_data();
    void sectionBreaksComeBackAfterTheirParagraph();
    void footnoteShowsItsMarkAndNote();
    void hyperlinkShowsAsALinkWithItsTarget();
    void keptGroupsFollowUndoAndGoWithANewDocument();
    void hostileKeptGroupsStayLinearAndBalanced_data();
    void hostileKeptGroupsStayLinearAndBalanced();
    void textSaveAsksBeforeLeavingPicturesOut_data();
    void textSaveAsksBeforeLeavingPicturesOut();
    void savingAsksBeforeLosingDeletedGroups_data();
    void savingAsksBeforeLosingDeletedGroups();
    void undoneDeletionSavesWithoutAsking();
    void keptGroupsAreWrittenUnderTheirUnicodeSkip();

private:
    // Deletes, with Shift+Right and Delete, everything before the text's "EF".
    void deleteBeforeEF(RichEdit *editor);
    QString path(const QString &name) const { return m_dir.filePath(name); }
    RichEdit *open(const QByteArray &rtf, const QString &name = u"doc.rtf"_s);
    QByteArray typeAndSave();

    QTemporaryDir m_dir;
    TPenForm1 *m_window = nullptr;
};

void tst_RtfKept::initTestCase()
{
    installJapaneseUi();
}

void tst_RtfKept::init()
{
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
    m_window = new TPenForm1;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void tst_RtfKept::cleanup()
{
    RealDialogs::cancelPending();
    m_window->RichEdit1->setModified(false);
    delete m_window;
    QFile::remove(settingsFilePath(QCoreApplication::applicationFilePath()));
}

RichEdit *tst_RtfKept::open(const QByteArray &rtf, const QString &name)
{
    TestFiles::write(path(name), rtf);
    m_window->OpenFile(path(name));
    RichEdit *editor = m_window->RichEdit1;
    editor->setFocus();
    return editor;
}

// Types X at the start and saves with Ctrl+S; the bytes saved.
QByteArray tst_RtfKept::typeAndSave()
{
    RichEdit *editor = m_window->RichEdit1;
    QTest::keyClick(editor, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(editor, 'X');
    QTest::keyClick(editor, Qt::Key_S, Qt::ControlModifier);
    if (editor->isModified())
        return {};
    return TestFiles::read(path(u"doc.rtf"_s));
}

void tst_RtfKept::editAndSaveKeepsWhatTheFileHad_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QList<QByteArray>>("kept");
    QTest::addColumn<QString>("text"); // as the editor shows it, X typed first

    const QByteArray footnote = "{\\footnote \\pard\\plain \\fs20 {\\super\\chftn} Note text\\par}";
    QTest::newRow("footnote") << "Body{\\super\\chftn}" + footnote + " end\\par}"
                              << QList<QByteArray> { "\\chftn" + footnote } << u"XBody\uFFFC end"_s;
    const QByteArray head = "{\\stylesheet{\\qj \\fs21 Normal;}{\\*\\cs10 Default Paragraph Font;}}\r\n"
                            "{\\info{\\author Taro}{\\creatim\\yr2024\\mo1\\dy2}}\r\n"
                            "\\paperw11906\\paperh16838\\margl1701\\margr1701\\margt1985\\margb1701\\gutter0 "
                            "\\deftab840\\ftnbj\\sectd \\linex0\\headery851\\cols2\\colsx425\\endnhere "
                            "{\\header \\pard\\plain \\qc\\fs21 Head text\\par}\r\n"
                            "{\\footerf \\pard\\plain \\qc Foot text\\par}\r\n"_ba;
    QTest::newRow("stylesheet, information, document and section, header and footer")
        << head + "\\pard\\plain Body\\par}"
        << QList<QByteArray> { "{\\stylesheet{\\qj \\fs21 Normal;}{\\*\\cs10 Default Paragraph Font;}}",
                               "{\\info{\\author Taro}{\\creatim\\yr2024\\mo1\\dy2}}", "\\gutter0 ",
                               "\\deftab840\\ftnbj", "\\sectd \\linex0\\headery851\\cols2\\colsx425\\endnhere ",
                               "{\\header \\pard\\plain \\qc\\fs21 Head text\\par}",
                               "{\\footerf \\pard\\plain \\qc Foot text\\par}" }
        << u"XBody"_s;
    QTest::newRow("header of a later section")
        << "Body\\par\\sect\\sectd {\\headerr \\pard R\\par}\\pard Second\\par}"_ba
        << QList<QByteArray> { "Body\\par \\sect\\sectd {\\headerr \\pard R\\par}" } << u"XBody\uFFFC\nSecond"_s;
    QTest::newRow("picture as a shape") << "Body" + shape() + "\\par}" << QList<QByteArray> { shape() }
                                        << u"XBody\uFFFC"_s;
    QTest::newRow("shape without a picture")
        << "Body{\\shp{\\*\\shpinst\\shpleft0{\\sp{\\sn shapeType}{\\sv 1}}}}\\par}"_ba
        << QList<QByteArray> { "{\\shp{\\*\\shpinst\\shpleft0{\\sp{\\sn shapeType}{\\sv 1}}}}" } << u"XBody\uFFFC"_s;
    QTest::newRow("picture and its copy for older readers")
        << "Body{\\*\\shppict{\\pict\\pngblip " + png() + "}}{\\nonshppict{\\pict\\wmetafile8 0100}}\\par}"
        << QList<QByteArray> { "\\pngblip" } << u"XBody\uFFFC"_s;
    QTest::newRow("hyperlink")
        << "Go {\\field{\\*\\fldinst HYPERLINK \"https://example.com/a\"}{\\fldrslt link text}} end\\par}"_ba
        << QList<QByteArray> { "{\\field{\\*\\fldinst HYPERLINK \"https://example.com/a\"}{\\fldrslt ", "link text}}" }
        << u"XGo link text end"_s;
    QTest::newRow("page field with its result")
        << "Page {\\field{\\*\\fldinst { PAGE }}{\\fldrslt {\\b 1}}}\\par}"_ba
        << QList<QByteArray> { "{\\field{\\*\\fldinst { PAGE }}{\\fldrslt " } << u"XPage 1"_s;
    QTest::newRow("picture as a field's result")
        << "Pic {\\field{\\*\\fldinst INCLUDEPICTURE a.png}{\\fldrslt {\\pict\\pngblip " + png() + "}}} end\\par}"
        << QList<QByteArray> { "{\\field{\\*\\fldinst INCLUDEPICTURE a.png}{\\fldrslt ", "\\pngblip" }
        << u"XPic \uFFFC end"_s;
    QTest::newRow("field without result")
        << "Date {\\field{\\*\\fldinst DATE}{\\fldrslt }}\\par}"_ba
        << QList<QByteArray> { "{\\field{\\*\\fldinst DATE}{\\fldrslt }}" } << u"XDate \uFFFC"_s;
    QTest::newRow("bookmark and annotation")
        << "{\\*\\bkmkstart b1}Body{\\*\\bkmkend b1}{\\*\\atnid T}{\\*\\annotation{\\*\\atndate 1}\\pard note\\par}\\par}"_ba
        << QList<QByteArray> { "{\\*\\bkmkstart b1}", "{\\*\\bkmkend b1}", "{\\*\\atnid T}",
                               "{\\*\\annotation{\\*\\atndate 1}\\pard note\\par}" }
        << u"X\uFFFCBody\uFFFC\uFFFC\uFFFC"_s;
}

void tst_RtfKept::editAndSaveKeepsWhatTheFileHad()
{
    QFETCH(QByteArray, body);
    QFETCH(QList<QByteArray>, kept);
    QFETCH(QString, text);
    RichEdit *editor = open(Start + body);
    const QByteArray saved = typeAndSave();
    QVERIFY(!saved.isEmpty());
    for (const QByteArray &group : kept)
        QVERIFY2(saved.contains(group), saved.constData());
    // The page setup is the document's own, written once from it, not kept as the file had it.
    for (const char *word : { "\\paperw", "\\paperh", "\\margl", "\\margr", "\\margt", "\\margb" })
        QVERIFY2(saved.count(word) <= 1, word);
    // What the editor shows of it, and that it reads back as it was saved.
    QCOMPARE(editor->document()->toPlainText(), text);
    m_window->OpenFile(path(u"doc.rtf"_s));
    QCOMPARE(editor->document()->toPlainText(), text);
    QCOMPARE(editor->save(), saved);
}

void tst_RtfKept::sectionBreaksComeBackAfterTheirParagraph_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QList<QByteArray>>("kept"); // each once, in this order
    QTest::addColumn<QString>("text"); // as the editor shows it, X typed first

    // As the usual word processors write two sections: an A4 portrait one in two columns, then a
    // landscape one that follows on the same page with a header of its own.
    const QByteArray first = "\\sectd\\sbknone\\pgwsxn11906\\pghsxn16838\\marglsxn1134\\margrsxn1134"
                             "\\margtsxn1134\\margbsxn1134\\cols2\\colsx709\\titlepg\\pgnstarts1 ";
    const QByteArray second = "\\sect\\sectd\\pgwsxn16838\\pghsxn11906\\lndscpsxn\\marglsxn1417\\cols1"
                              "\\sbknone\\headery709\\footery709{\\header \\pard\\plain \\qc Head two\\par}"
                              "{\\footer \\pard\\plain Foot two\\par}";
    QTest::newRow("two sections after the paragraph's \\par")
        << first + "\\pard\\plain First\\par Last of one\\par " + second + "\\pard\\plain Second\\par}"
        << QList<QByteArray> { first, "Last of one\\par " + second, "Second\\par" }
        << u"XFirst\nLast of one\uFFFC\nSecond"_s;
    QTest::newRow("\\sect in place of \\par, its words after the group it closes")
        << "{\\b One\\sect }\\sectd \\ltrsect\\sbkpage\\pgnrestart{\\footerr \\pard F\\par}\\pard Two\\par}"_ba
        << QList<QByteArray> { "One\\sect \\sectd \\ltrsect\\sbkpage\\pgnrestart{\\footerr \\pard F\\par}\r\n",
                               "Two\\par" }
        << u"XOne\uFFFC\nTwo"_s;
    QTest::newRow("header in the text after the section's words")
        << "A\\par\\sect\\sectd\\cols2\\ltrpar{\\header \\pard H\\par}B\\par}"_ba
        << QList<QByteArray> { "A\\par \\sect\\sectd\\cols2 \r\n\\pard", "{\\header \\pard H\\par}B\\par" }
        << u"XA\uFFFC\n\uFFFCB"_s;
    QTest::newRow("empty section between two")
        << "A\\par\\sect\\sectd\\cols2\\sect\\sectd\\cols3 B\\par}"_ba
        << QList<QByteArray> { "A\\par \\sect\\sectd\\cols2 \\sect\\sectd\\cols3 \r\n" } << u"XA\uFFFC\uFFFC\nB"_s;
    QTest::newRow("at the document's end")
        << "A\\par\\sect\\sectd\\sbknone\\pgwsxn16838}"_ba
        << QList<QByteArray> { "A\\par \\sect\\sectd\\sbknone\\pgwsxn16838 \r\n}" } << u"XA\uFFFC"_s;
    QTest::newRow("in a table's cell: a paragraph break")
        << "\\trowd\\cellx2000\\pard\\intbl A\\sect\\sectd\\cols2 B\\cell\\row\\pard After\\par}"_ba
        << QList<QByteArray> { "B\\cell", "\\row", "After\\par" } << u"X\nA\nB\nAfter"_s;
    QTest::newRow("after a table")
        << "\\trowd\\cellx2000\\pard\\intbl A\\cell\\row\\pard\\sect\\sectd\\cols2 After\\par}"_ba
        << QList<QByteArray> { "\\row", "\\sect\\sectd\\cols2 \r\n", "After\\par" } << u"X\nA\n\uFFFC\nAfter"_s;
    // "\<line break>" is a paragraph break only in the text.
    QTest::newRow("line break in its header")
        << "A\\par\\sect\\sectd\\cols2{\\header \\pard H\\\nI\\par}B\\par}"_ba
        << QList<QByteArray> { "A\\par \\sect\\sectd\\cols2{\\header \\pard H\\\nI\\par}\r\n", "B\\par" }
        << u"XA\uFFFC\nB"_s;
}

// Section breaks and the properties of the sections after the first are kept where they stood:
// the editor shows one page setup, a save writes the file's sections back as they were.
void tst_RtfKept::sectionBreaksComeBackAfterTheirParagraph()
{
    QFETCH(QByteArray, body);
    QFETCH(QList<QByteArray>, kept);
    QFETCH(QString, text);
    RichEdit *editor = open(Start + body);
    const QByteArray saved = typeAndSave();
    QVERIFY(!saved.isEmpty());
    qsizetype from = 0;
    for (const QByteArray &part : kept) {
        QCOMPARE(saved.count(part), 1);
        const qsizetype at = saved.indexOf(part, from);
        QVERIFY2(at >= 0, saved.constData());
        from = at + part.size();
    }
    QCOMPARE(editor->document()->toPlainText(), text);
    m_window->OpenFile(path(u"doc.rtf"_s));
    QCOMPARE(editor->document()->toPlainText(), text);
    QCOMPARE(editor->save(), saved);
}

void tst_RtfKept::footnoteShowsItsMarkAndNote()
{
    RichEdit *editor = open(Start + "Body{\\super\\chftn}{\\footnote \\pard {\\super\\chftn} Note \\'93\\'fa\\'96\\'7b\\par}"
                                    "{\\super\\chftn}{\\footnote \\pard Second\\par}\\par}");
    QCOMPARE(editor->document()->toPlainText(), u"Body\uFFFC\uFFFC"_s);
    const QRect mark = characterRect(editor, objectPosition(editor));
    QVERIFY2(mark.width() > 2, qPrintable(QString::number(mark.width())));
    // The mark is drawn: dark pixels where it stands.
    const QImage shot = editor->viewport()->grab().toImage();
    int dark = 0;
    for (int y = mark.top(); y <= mark.bottom(); ++y) {
        for (int x = mark.left(); x <= mark.right(); ++x)
            dark += qGray(shot.pixel(x, y)) < 128;
    }
    QVERIFY(dark > 0);
    // The note reads in its tooltip, in the file's code page.
    QCOMPARE(toolTipAt(editor, QPoint(mark.left() + mark.width() * 3 / 4, mark.center().y())), u"Note 日本"_s);
}

void tst_RtfKept::hyperlinkShowsAsALinkWithItsTarget()
{
    RichEdit *editor = open(Start + "Go {\\field{\\*\\fldinst HYPERLINK \"https://example.com/a\"}{\\fldrslt linktext}} end\\par}");
    const QRect first = characterRect(editor, 3);
    const QRect last = characterRect(editor, 10);
    const QRect link(first.topLeft(), last.bottomRight());
    const QImage shot = editor->viewport()->grab().toImage();
    int blue = 0;
    for (int y = link.top(); y <= link.bottom(); ++y) {
        for (int x = link.left(); x <= link.right(); ++x) {
            const QRgb p = shot.pixel(x, y);
            blue += qBlue(p) > 150 && qRed(p) < 100;
        }
    }
    QVERIFY(blue > 0);
    QCOMPARE(toolTipAt(editor, link.center()), u"https://example.com/a"_s);
}

void tst_RtfKept::keptGroupsFollowUndoAndGoWithANewDocument()
{
    const QByteArray footnote = "{\\footnote \\pard Note\\par}";
    RichEdit *editor = open(Start + "{\\stylesheet{Normal;}}Body{\\super\\chftn}" + footnote + "\\par}");
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_Delete);
    QVERIFY(!editor->save().contains(footnote));
    QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(editor->save().contains(footnote));
    QTest::keyClick(editor, Qt::Key_Y, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
    // Copied and pasted, the note comes along.
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(editor->save().count(footnote), 2);
    editor->setModified(false);
    m_window->command(u"FileNew"_s)->trigger();
    const QByteArray empty = editor->save();
    QVERIFY(!empty.contains("stylesheet"));
    QVERIFY(!empty.contains(footnote));
}

void tst_RtfKept::hostileKeptGroupsStayLinearAndBalanced_data()
{
    QTest::addColumn<QByteArray>("rtf");
    QTest::addColumn<QString>("text");
    constexpr qsizetype Deep = 300000;
    QTest::newRow("deep footnote") << "{\\rtf1 a{\\footnote " + QByteArray(Deep, '{') + "x" + QByteArray(Deep, '}') + "}b}"
                                   << u"a\uFFFCb"_s;
    QTest::newRow("footnote cut off") << "{\\rtf1 a{\\footnote " + QByteArray(Deep, '{') + "x"_ba << u"a\uFFFC"_s;
    QTest::newRow("field cut off") << "{\\rtf1 a{\\field{\\*\\fldinst " + QByteArray(Deep, '{') << u"a\uFFFC"_s;
    // A control cut off at the end would take the closing brace for its own.
    QTest::newRow("field cut off after a backslash") << "{\\rtf1 a{\\field\\"_ba << u"a\uFFFC"_s;
    QTest::newRow("note cut off in a hex escape") << "{\\rtf1 a{\\footnote x\\'8"_ba << u"a\uFFFC"_s;
    QTest::newRow("note cut off after an escaped backslash") << "{\\rtf1 a{\\footnote x\\\\"_ba << u"a\uFFFC"_s;
    QTest::newRow("field in a field without instruction") << "{\\rtf1 a{\\field{\\field\\00"_ba << u"a\uFFFC"_s;
    QTest::newRow("huge note") << "{\\rtf1 a{\\footnote " + QByteArray(4 << 20, 'n') + "}}" << u"a\uFFFC"_s;
    QByteArray many = "{\\rtf1 ";
    for (int i = 0; i < 50000; ++i)
        many += "a{\\*\\bkmkstart x}";
    QTest::newRow("many bookmarks") << many + "}" << QString(u"a\uFFFC"_s).repeated(50000);
    QByteArray sections = "{\\rtf1 ";
    QStringList sectionTexts;
    for (int i = 0; i < 50000; ++i) {
        sections += "a\\sect\\sectd\\cols2\\pgwsxn99999999999 ";
        sectionTexts += u"a\uFFFC"_s;
    }
    QTest::newRow("many section breaks") << sections + "}" << sectionTexts.join(u'\n');
    QTest::newRow("many section breaks after one paragraph")
        << "{\\rtf1 a\\par" + "\\sect"_ba.repeated(50000) + "}" << u"a"_s + QString(50000, QChar(0xFFFC));
    QTest::newRow("cell in a field without result")
        << "{\\rtf1 {rtG {\\field\\tlintbp1 \\cell {\\trowd\\irow1\\i"_ba << u"rtG \n\n"_s;
    // A field in a field is kept whole, a \cell in it too: the row has the cells read.
    QTest::newRow("field in a field in a cell")
        << "{\\rtf1 \\trowd\\cellx1000\\intbl{\\field{\\*\\fldinst X}{\\fldrslt a{\\field\\cell}}}"
           "\\cell\\row\\pard b\\par}"_ba
        << u"\na\uFFFC\nb"_s;
    QTest::newRow("field in a field cut off in a cell") << "{\\rtf1 \\intbl{\\field{o{\\field\\cell"_ba << u"\no\uFFFC\n"_s;
    QTest::newRow("\\\\* before a group") << "{\\rtf1 \\*{\\t}x}"_ba << u"x"_s;
    QTest::newRow("escaped backslash and star before an instruction")
        << "{\\rtf1 a{\\field{\\\\*\\fldinst TOC}{\\fldrslt b}}}"_ba << u"a\\*b"_s;
    QTest::newRow("paragraph in a field without result") << "{\\rtf1 a{\\field\\par}b}"_ba << u"a\nb"_s;
    QTest::newRow("section cut off in its header")
        << "{\\rtf1 a\\par\\sect\\sectd{\\header " + QByteArray(Deep, '{') + "x" << u"a\uFFFC"_s;
    // The marker's number becomes text: the field is not kept whole to bring it again.
    QTest::newRow("list marker in a field without result") << "{\\rtf1 {\\field\\listtext\\'ff"_ba << u"\u00FF"_s;
    QTest::newRow("list marker in a shape's picture") << "{\\rtf1 {\\shp\\pict\\listtext\\'e3"_ba << u"\uFFFC"_s;
    QTest::newRow("space before a field's word") << "{\\rtf1 { \\field"_ba << u" "_s;
    QTest::newRow("field cut off in its binary data") << "{\\rtf1 a{\\field\\bin8 x"_ba << u"a\uFFFC"_s;
    // Hidden text is not shown: the field it makes a result is not kept either.
    QTest::newRow("hidden text in a field") << "{\\rtf1 \\v{\\field{a"_ba << u""_s;
    // Cut off in a table: the paragraph after it is the one a file that goes on would have.
    QTest::newRow("table cut off after a field") << "{\\rtf1 {\\field{\\fldrslt x}}\\cell"_ba << u"x\n\n"_s;
    QTest::newRow("font table in a field without result") << "{\\rtf1 {\\field{{\\fonttbl\\f}}}\\f2 1"_ba << u"\uFFFC1"_s;
    QTest::newRow("section cut off in its header after a line break")
        << "{\\rtf1 a\\par\\sect{\\header b\\\n"_ba << u"a\uFFFC"_s;
}

void tst_RtfKept::hostileKeptGroupsStayLinearAndBalanced()
{
    QFETCH(QByteArray, rtf);
    QFETCH(QString, text);
    QTextDocument document;
    RichDocument rich(&document);
    rich.load(rtf, StreamFormat::Rtf, {});
    QCOMPARE(document.toPlainText(), text);
    const QByteArray saved = rich.save(StreamFormat::Rtf);
    // What was kept is at most what the file held, and the braces of a file cut off are closed.
    QVERIFY(saved.size() <= 2 * rtf.size() + 4096);
    QCOMPARE(saved.count('{'), saved.count('}'));
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it)
            QVERIFY(it.fragment().charFormat().toolTip().size() <= 1000);
    }
    rich.load(saved, StreamFormat::Rtf, {});
    QCOMPARE(document.toPlainText(), text);
    QCOMPARE(rich.save(StreamFormat::Rtf), saved);
}

void tst_RtfKept::textSaveAsksBeforeLeavingPicturesOut_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("RTF") << u"RTF で保存(&R)"_s;
    QTest::newRow("text only") << u"テキストだけ保存(&T)"_s;
    QTest::newRow("cancel") << u"キャンセル"_s;
}

void tst_RtfKept::textSaveAsksBeforeLeavingPicturesOut()
{
    QFETCH(QString, button);
    RichEdit *editor = open(Start + "Body{\\pict\\pngblip " + png() + "}" + shape() + "\\par}", u"pictures.rtf"_s);
    const QString text = path(u"doc.txt"_s);
    TestFiles::write(text, "old");
    QFile::remove(path(u"doc.rtf"_s)); // saved as RTF, no other file is in the way
    // As Save As does once the text filter is chosen.
    editor->setPlainTextMode(true);
    m_window->CurrentFileName = text;
    RealDialogs::Box box;
    RealDialogs::whenModal([&box, button](QWidget *modal) {
        auto *question = qobject_cast<QMessageBox *>(modal);
        QVERIFY(question);
        box = RealDialogs::describe(question);
        for (QAbstractButton *b : question->buttons()) {
            if (b->text() == button)
                QTest::mouseClick(b, Qt::LeftButton);
        }
    });
    m_window->command(u"FileSave"_s)->trigger();
    QCOMPARE(box.icon, QMessageBox::Question);
    QCOMPARE(box.text, u"この文書の 図 2 個 はテキストでは保存できません。\n\n   どのように保存しますか？"_s);
    box.buttons.sort();
    QCOMPARE(box.buttons, (QStringList { u"RTF で保存(&R)"_s, u"キャンセル"_s, u"テキストだけ保存(&T)"_s }));
    if (button.startsWith(u"RTF")) {
        QCOMPARE(TestFiles::read(text), "old"_ba);
        QVERIFY(TestFiles::read(path(u"doc.rtf"_s)).contains(shape()));
    } else if (button.startsWith(u"テ")) {
        QCOMPARE(TestFiles::read(text), "Body"_ba);
    } else {
        QCOMPARE(TestFiles::read(text), "old"_ba);
        QCOMPARE(editor->textCursor().selectionStart(), 4); // the first picture, for the user to see
    }
}

void tst_RtfKept::deleteBeforeEF(RichEdit *editor)
{
    QTest::keyClick(editor, Qt::Key_Home, Qt::ControlModifier);
    const qsizetype before = editor->document()->toPlainText().indexOf(u"EF"_s);
    for (qsizetype i = 0; i < before; ++i)
        QTest::keyClick(editor, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(editor, Qt::Key_Delete);
    QCOMPARE(editor->document()->toPlainText(), u"EF"_s);
}

void tst_RtfKept::savingAsksBeforeLosingDeletedGroups_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("group"); // what the saved file loses
    QTest::addColumn<QString>("lost"); // as the question names it
    const QList<std::tuple<const char *, QByteArray, QByteArray, QString>> kinds {
        { "footnote", "AB{\\super\\chftn}{\\footnote\\pard\\plain{\\super\\chftn} Note\\par}EF",
          "{\\footnote", u"脚注 1 個"_s },
        { "bookmark", "AB{\\*\\bkmkstart here}CD{\\*\\bkmkend here}EF", "bkmkstart", u"ブックマーク 1 個"_s },
        { "field", "AB{\\field{\\*\\fldinst HYPERLINK \"https://example.com/\"}{\\fldrslt link}}EF", "fldinst",
          u"フィールド 1 個"_s },
        { "annotation and index entry",
          "AB{\\*\\atrfstart 1}CD{\\*\\atrfend 1}{\\*\\atnid P}{\\*\\annotation{\\*\\atnref 1}\\pard "
          "Comment\\par}{\\xe{Index}}EF",
          "annotation", u"コメント 1 個、そのほかの RTF の情報 1 個"_s },
        { "section break", "AB\\par\\sect\\sectd\\cols2 CD\\par EF", "\\sect", u"そのほかの RTF の情報 1 個"_s },
    };
    QTest::addColumn<QString>("button");
    for (const auto &[name, body, group, lost] : kinds) {
        for (const QString &button : { u"キャンセル"_s, u"保存(&S)"_s })
            QTest::addRow("%s, %s", name, button == u"キャンセル" ? "cancel" : "save") << body << group << lost << button;
    }
}

// A group kept from the file (shown or not) whose text the user deleted goes with that text; the
// save says so first, Cancel writing nothing.
void tst_RtfKept::savingAsksBeforeLosingDeletedGroups()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, group);
    QFETCH(QString, lost);
    QFETCH(QString, button);
    const QByteArray original = Start + body + "\\par}";
    RichEdit *editor = open(original);
    deleteBeforeEF(editor);
    RealDialogs::Box box;
    RealDialogs::answerBox(&box, button);
    m_window->command(u"FileSave"_s)->trigger();
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.text, u"ファイルにあった "_s + lost + u" は、その位置の文字が削除されたので保存されません。\n\n   このまま保存しますか？"_s);
    box.buttons.sort();
    QCOMPARE(box.buttons, (QStringList { u"キャンセル"_s, u"保存(&S)"_s }));
    if (button == u"キャンセル") {
        QCOMPARE(TestFiles::read(path(u"doc.rtf"_s)), original);
        QVERIFY(editor->isModified());
        return;
    }
    const QByteArray saved = TestFiles::read(path(u"doc.rtf"_s));
    QVERIFY(!editor->isModified());
    QVERIFY(saved.contains("EF"));
    QVERIFY(!saved.contains(group));
    // Said once: the next save has nothing more to lose.
    QString asked;
    MessageBox::setSink([&asked](QWidget *, const MessageBox::Request &request) {
        asked = request.text;
        return QMessageBox::Cancel;
    });
    QTest::keyClick(editor, 'X');
    m_window->command(u"FileSave"_s)->trigger();
    MessageBox::setSink({});
    QCOMPARE(asked, QString());
    QVERIFY(!editor->isModified());
    QVERIFY(TestFiles::read(path(u"doc.rtf"_s)).contains("XEF"));
}

void tst_RtfKept::undoneDeletionSavesWithoutAsking()
{
    RichEdit *editor = open(Start + "AB{\\*\\bkmkstart here}CD{\\*\\bkmkend here}EF\\par}");
    deleteBeforeEF(editor);
    QTest::keyClick(editor, Qt::Key_Z, Qt::ControlModifier);
    QString asked;
    MessageBox::setSink([&asked](QWidget *, const MessageBox::Request &request) {
        asked = request.text;
        return QMessageBox::Cancel;
    });
    const QByteArray saved = typeAndSave();
    MessageBox::setSink({});
    QCOMPARE(asked, QString());
    QVERIFY(saved.contains("{\\*\\bkmkstart here}") && saved.contains("{\\*\\bkmkend here}"));
}

void tst_RtfKept::keptGroupsAreWrittenUnderTheirUnicodeSkip()
{
    // Groups read with one fallback character per \\u word, then with none, among text the
    // editor writes with two (CP932 bytes): each is written back under the \\uc it was read with,
    // or a reader takes its next \\u word for a fallback and loses the note's text.
    open(Start
        + "\\pard \\u26085?\\u26412?{\\*\\footnote \\u19968?\\u12388?\\u30446?}\\u35486?"
          "{\\field{\\*\\fldinst HYPERLINK \"a\\u12354?b\"}{\\fldrslt \\u12522?}}"
          "\\uc0 \\u12363\\u12394{\\*\\bkmkstart \\u12354\\u12356}\\par}"_ba);
    const QByteArray saved = typeAndSave();
    QVERIFY(!saved.isEmpty());
    QCOMPARE(unicodeSkipAt(saved, "{\\*\\footnote \\u19968?\\u12388?\\u30446?}"), 1);
    QCOMPARE(unicodeSkipAt(saved, "{\\*\\fldinst HYPERLINK \"a\\u12354?b\"}"), 1);
    QCOMPARE(unicodeSkipAt(saved, "{\\*\\bkmkstart \\u12354\\u12356}"), 0);
    // The editor's own text goes on with its fallback bytes.
    QCOMPARE(m_window->RichEdit1->document()->toPlainText(), u"X日本\uFFFC語リかな\uFFFC"_s);
    m_window->OpenFile(path(u"doc.rtf"_s));
    QCOMPARE(m_window->RichEdit1->document()->toPlainText(), u"X日本\uFFFC語リかな\uFFFC"_s);
}

QTEST_MAIN(tst_RtfKept)
#include "tst_rtfkept.moc"
