#include "cases.h"

#include "corpus.h"
#include "harness.h"
#include "picturecases.h"
#include "printcases.h"
#include "recoverycases.h"
#include "richcorpus.h"
#include "scaling.h"
#include "windowcases.h"

#include "document/apperror.h"
#include "app/fontsubstitutes.h"
#include "document/cp932.h"
#include "document/documentfile.h"
#include "document/plaintext.h"
#include "document/richedit.h"
#include "document/rtf/rtfwriter.h"
#include "document/sjistext.h"

#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>

using Harness::EditorWindow;
using Harness::report;

using Harness::msSince;

namespace {

constexpr quint64 LinesSeed = 0x50454E4C4F4654ULL;
constexpr quint64 ParagraphSeed = 0x4A41504E455345ULL;
constexpr quint64 RichSeed = 0x52494348544558ULL;

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("cannot read ") + path);
    return file.readAll();
}

void writeAll(const QString &path, const QByteArray &data)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size())
        throw AppError(QStringLiteral("cannot write ") + path);
}

// What a plain QTextEdit program does to open a formatted document: Qt's own rich-text path.
void openBareHtml(QTextEdit *editor, const QString &path)
{
    editor->setHtml(QString::fromUtf8(readAll(path)));
}

void openOurs(RichEdit *editor, const QString &path)
{
    editor->setPlainTextMode(false);
    editor->loadFile(path);
}

// A short fingerprint of a document's text (paragraphs joined by CR LF), small enough to pass
// through "key value" exactly: two documents with the same one almost surely hold the same text.
double fingerprint(const QTextDocument &document)
{
    return static_cast<double>(qHash(PlainText::documentText(document), 0) % 100000000u);
}

// ---- input ----

int generate(const Cases::Options &o)
{
    QElapsedTimer timer;
    timer.start();
    const QString text = Corpus::lines({ o.bytes, 70, 90 }, LinesSeed);
    const QByteArray bytes = Cp932::encode(text);
    const qint64 lines = text.count(QStringLiteral("\r\n"));
    // Every character must survive the trip: a "?" would mean the corpus holds one CP932 lacks.
    const bool exact = Cp932::decode(bytes) == text && !bytes.contains('?');
    writeAll(o.input, bytes);

    const QString paragraph = Corpus::paragraph(o.paragraphCharacters, ParagraphSeed);
    const QByteArray paragraphBytes = Cp932::encode(paragraph);
    writeAll(o.output, paragraphBytes);

    report("bytes", static_cast<double>(bytes.size()));
    report("characters", static_cast<double>(text.size() - 2 * lines));
    report("lines", static_cast<double>(lines));
    report("exact", exact ? 1 : 0);
    report("paragraph_characters", static_cast<double>(paragraph.size()));
    report("paragraph_bytes", static_cast<double>(paragraphBytes.size()));
    report("seconds", msSince(timer) / 1000);
    return exact ? 0 : 1;
}

// The lines text with the sought word put in at even intervals (the input of Replace All), and
// the same with every one replaced (what saving after Replace All must give), both CP932.
int generateReplace(const Cases::Options &o)
{
    QElapsedTimer timer;
    timer.start();
    const QString word = QString::fromUtf16(Corpus::SoughtWord);
    const QString replacement = QString::fromUtf16(Corpus::ReplacementWord);
    const QString lines = Cp932::decode(readAll(o.input));
    const QString text = Corpus::withWord(lines, word, o.occurrences);
    QString expected = text;
    expected.replace(word, replacement);
    const QByteArray bytes = Cp932::encode(text);
    const QByteArray expectedBytes = Cp932::encode(expected);
    const bool exact = Cp932::decode(bytes) == text && Cp932::decode(expectedBytes) == expected;
    writeAll(o.output, bytes);
    writeAll(o.text, expectedBytes);
    report("bytes", static_cast<double>(bytes.size()));
    report("occurrences", static_cast<double>(text.count(word)));
    report("exact", exact ? 1 : 0);
    report("seconds", msSince(timer) / 1000);
    return exact ? 0 : 1;
}

// The formatted document, written by our writer as RTF, by Qt as HTML (the baseline's input),
// and as CP932 text (what converting the RTF to text must give).
int generateRtf(const Cases::Options &o)
{
    QElapsedTimer timer;
    timer.start();
    QTextDocument document;
    const RichCorpus::Stats stats
        = RichCorpus::build(document, { o.bytes, o.runs, o.runCharacters, o.paragraphCharacters }, RichSeed);
    report("build_s", msSince(timer) / 1000);

    timer.restart();
    const QByteArray rtf = RtfWriter::write(document, RichCorpus::defaults(), QColor(Qt::black));
    report("write_ms", msSince(timer));
    writeAll(o.output, rtf);

    timer.restart();
    const QByteArray html = document.toHtml().toUtf8();
    report("html_ms", msSince(timer));
    writeAll(o.html, html);

    const QByteArray text = PlainText::write(document);
    writeAll(o.text, text);

    report("rtf_bytes", static_cast<double>(rtf.size()));
    report("html_bytes", static_cast<double>(html.size()));
    report("text_bytes", static_cast<double>(text.size()));
    report("characters", static_cast<double>(stats.characters));
    report("runs", static_cast<double>(stats.runs));
    report("paragraphs", static_cast<double>(stats.paragraphs));
    report("bulleted", static_cast<double>(stats.bulleted));
    report("aligned", static_cast<double>(stats.aligned));
    report("indented", static_cast<double>(stats.indented));
    report("fingerprint", fingerprint(document));
    return 0;
}

// ---- open until first paint ----

enum class Opener { Ours, BareText, BareHtml };

// `readBack`: report what the document holds after the figures (the formatted documents, to
// compare with what was written).
int openCase(Opener opener, bool readBack, const Cases::Options &o)
{
    const bool ours = opener == Opener::Ours;
    EditorWindow w = ours ? Harness::makeOurs() : Harness::makeBare();
    Harness::show(w);
    report("rss_shown_kb", static_cast<double>(Harness::peakRssKb()));

    w.watch->reset();
    QElapsedTimer timer;
    timer.start();
    if (ours)
        openOurs(w.ours(), o.input);
    else if (opener == Opener::BareText)
        Harness::openBareText(w.editor, o.input);
    else
        openBareHtml(w.editor, o.input);
    const double loadedMs = msSince(timer);
    const bool painted = Harness::processUntilPainted(*w.watch);
    const double paintedMs = msSince(timer);
    report("load_ms", loadedMs);
    report("open_ms", paintedMs);
    report("rss_paint_kb", static_cast<double>(Harness::peakRssKb()));

    // A long text's rest, read between the program's events: how long until all of it is in,
    // and the longest the program is kept from its events meanwhile.
    if (ours) {
        timer.restart();
        double longest = 0;
        while (w.ours()->isLoading()) {
            QElapsedTimer turn;
            turn.start();
            QCoreApplication::processEvents();
            longest = std::max(longest, msSince(turn));
        }
        report("rest_ms", msSince(timer));
        report("rest_longest_turn_ms", longest);
        report("rss_rest_kb", static_cast<double>(Harness::peakRssKb()));
    }

    // The rest of the layout, which otherwise runs in the background, done at once: its memory
    // is part of having the file open.
    timer.restart();
    if (ours)
        w.ours()->lineCount();
    else
        Harness::finishLayout(w.editor);
    report("layout_ms", msSince(timer));
    report("rss_layout_kb", static_cast<double>(Harness::peakRssKb()));

    // What was read, to hold against what was written: not timed, and after the peak memory
    // has been read, though the child's peak the kernel reports may include it.
    if (readBack) {
        const QTextDocument &document = *w.editor->document();
        report("fingerprint", fingerprint(document));
        report("runs", static_cast<double>(RichCorpus::countRuns(document)));
        report("paragraphs", document.blockCount());
    }
    return painted ? 0 : 1;
}

// Our editor or the bare one, shown, holding the input text and painted with it.
EditorWindow shownWithInput(bool ours, const QString &input)
{
    EditorWindow w = ours ? Harness::makeOurs() : Harness::makeBare();
    Harness::show(w);
    w.watch->reset();
    if (ours)
        openOurs(w.ours(), input);
    else
        Harness::openBareText(w.editor, input);
    Harness::processUntilPainted(*w.watch);
    // All of it: what follows works on the whole text, as a user does once it is read.
    if (ours)
        w.ours()->finishLoading();
    return w;
}

// ---- save ----

// A text document saved as text, or the same text saved in the rich format: RTF by our editor,
// HTML by the bare one.
int saveCase(bool ours, bool rich, const Cases::Options &o)
{
    EditorWindow w = shownWithInput(ours, o.input);
    Harness::drain();

    std::vector<double> total;
    std::vector<double> inMemory;
    std::vector<double> checked;
    for (int i = 0; i < 3; ++i) {
        if (ours && !rich) {
            // As the window saves text: the characters Shift-JIS cannot hold are counted as the
            // text is encoded, for the question asked when there are any.
            QElapsedTimer timer;
            timer.start();
            w.ours()->setPlainTextMode(true);
            Unsaveable unsaveable;
            DocumentFile::write(o.output, w.ours()->save(&unsaveable));
            checked.push_back(msSince(timer));
        }
        QElapsedTimer timer;
        timer.start();
        if (ours) {
            w.ours()->setPlainTextMode(!rich);
            w.ours()->saveFile(o.output);
        } else if (rich) {
            writeAll(o.output, w.editor->document()->toHtml().toUtf8());
        } else {
            // The same bytes a plain program writes: paragraphs joined by CR LF, in CP932.
            QString text = w.editor->document()->toPlainText();
            text.replace(u'\n', QStringLiteral("\r\n"));
            writeAll(o.output, Cp932::encode(text));
        }
        total.push_back(msSince(timer));

        timer.restart();
        if (ours) {
            const QByteArray bytes = w.ours()->richDocument().save(rich ? StreamFormat::Rtf : StreamFormat::PlainText);
            Q_UNUSED(bytes);
        } else if (rich) {
            const QByteArray bytes = w.editor->document()->toHtml().toUtf8();
            Q_UNUSED(bytes);
        } else {
            QString text = w.editor->document()->toPlainText();
            text.replace(u'\n', QStringLiteral("\r\n"));
            const QByteArray bytes = Cp932::encode(text);
            Q_UNUSED(bytes);
        }
        inMemory.push_back(msSince(timer));
    }
    report("save_ms", Harness::median(total));
    if (!checked.empty())
        report("checked_save_ms", Harness::median(checked));
    report("save_max_ms", Harness::maximum(total));
    report("bytes_ms", Harness::median(inMemory));
    report("file_bytes", static_cast<double>(QFileInfo(o.output).size()));
    if (!rich)
        report("same", readAll(o.output) == readAll(o.input) ? 1 : 0);
    return 0;
}

// ---- caret query after an edit ----

int caretCase(const Cases::Options &o)
{
    EditorWindow w = Harness::makeOurs();
    RichEdit *editor = w.ours();
    Harness::show(w);
    w.watch->reset();
    openOurs(editor, o.input);
    Harness::processUntilPainted(*w.watch);

    const qint64 length = editor->textLength();
    editor->setSelection(length, length);
    const int lines = editor->lineCount();
    Harness::drain();

    std::vector<double> query;
    qint64 position = 0;
    int line = 0;
    qint64 characters = 0;
    for (int i = 0; i < o.repetitions; ++i) {
        Harness::typeText(editor, QStringLiteral("あ"));
        // Straight after the edit: nothing has been repainted or laid out in idle time.
        QElapsedTimer timer;
        timer.start();
        position = editor->selection().start;
        line = editor->lineFromChar(position);
        characters = editor->richDocument().charactersBefore(position);
        query.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e3);
        w.watch->reset();
        Harness::processUntilPainted(*w.watch);
    }

    // The naive answer: the whole text fetched as CP932 and counted.
    std::vector<double> naive;
    qsizetype counted = 0;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        const QByteArray bytes = editor->textBytes();
        counted = SjisText::countCharacters(bytes, position);
        naive.push_back(msSince(timer));
    }
    const bool lineRight = line == editor->lineCount() - 1 && editor->lineCount() >= lines;
    report("query_us", Harness::median(query));
    report("query_max_us", Harness::maximum(query));
    report("naive_ms", Harness::median(naive));
    report("characters_right", counted == characters ? 1 : 0);
    report("line_right", lineRight ? 1 : 0);
    report("position", static_cast<double>(position));
    report("line", line);
    return 0;
}

// ---- typing ----

void typeAt(EditorWindow &w, const char *place, int position, const Cases::Options &o)
{
    Harness::typeAt(w, place, position, o.repetitions, o.place);
}

int typingCase(bool ours, bool paragraph, const Cases::Options &o)
{
    EditorWindow w = shownWithInput(ours, o.input);

    QElapsedTimer timer;
    timer.start();
    if (ours)
        w.ours()->lineCount();
    else
        Harness::finishLayout(w.editor);
    report("layout_ms", msSince(timer));
    Harness::drain();

    const int characters = w.editor->document()->characterCount();
    if (paragraph) {
        typeAt(w, "middle", characters / 2, o);
    } else {
        typeAt(w, "start", 0, o);
        typeAt(w, "middle", characters / 2, o);
        typeAt(w, "end", characters - 1, o);
    }
    report("blocks", w.editor->document()->blockCount());
    return 0;
}

// ---- tables ----

// A price list of `rows` rows of four bordered cells as RTF; `asTable` false: the same text as
// plain paragraphs, one per cell (the baseline).
QByteArray tableRtf(int rows, bool asTable)
{
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg932{\\fonttbl{\\f0\\fcharset128 IPAGothic;}}\\f0\\fs21 ";
    QByteArray definition = "\\trowd\\trgaph108\\trleft0";
    for (int c = 1; c <= 4; ++c)
        definition += "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10\\clbrdrr\\brdrs"
                      "\\brdrw10\\cellx"
            + QByteArray::number(c * 2200);
    for (int r = 0; r < rows; ++r) {
        if (asTable)
            rtf += definition + "\\pard\\intbl ";
        for (int c = 0; c < 4; ++c) {
            rtf += "item " + QByteArray::number(r) + "-" + QByteArray::number(c) + " \\u21697\\'89\\'bf";
            rtf += asTable ? "\\cell " : "\\par ";
        }
        if (asTable)
            rtf += "\\row\r\n";
    }
    rtf += "\\pard end\\par}";
    return rtf;
}

// Opening a 200-row table until the window painted, and keystrokes in its middle row; the
// baseline is the same text as paragraphs in the same run.
int tableCase(const Cases::Options &o)
{
    for (const bool asTable : { false, true }) {
        const char *suffix = asTable ? "table" : "paragraphs";
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.rtf"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(tableRtf(200, asTable)) < 0)
            return 1;
        file.close();
        EditorWindow w = Harness::makeOurs();
        Harness::show(w);
        w.watch->reset();
        QElapsedTimer timer;
        timer.start();
        openOurs(w.ours(), path);
        Harness::processUntilPainted(*w.watch);
        report((std::string("open_") + suffix + "_ms").c_str(), msSince(timer));
        Harness::drain();
        const int middle = w.editor->document()->findBlockByNumber(w.editor->document()->blockCount() / 2).position();
        typeAt(w, suffix, middle, o);
    }
    return 0;
}

using CaseFunction = std::function<int(const Cases::Options &)>;

const std::map<QString, CaseFunction> &table()
{
    static const std::map<QString, CaseFunction> cases = {
        { QStringLiteral("open-ours"), [](const Cases::Options &o) { return openCase(Opener::Ours, false, o); } },
        { QStringLiteral("open-bare"), [](const Cases::Options &o) { return openCase(Opener::BareText, false, o); } },
        { QStringLiteral("save-ours"), [](const Cases::Options &o) { return saveCase(true, false, o); } },
        { QStringLiteral("save-bare"), [](const Cases::Options &o) { return saveCase(false, false, o); } },
        // The formatted document needs the palette and fonts of an application, unlike the text.
        { QStringLiteral("generate-rtf"), generateRtf },
        { QStringLiteral("open-rtf-ours"), [](const Cases::Options &o) { return openCase(Opener::Ours, true, o); } },
        // The formatted RTF with one PNG of about 1 MB added (see PictureCases).
        { QStringLiteral("add-picture"), PictureCases::addPicture },
        { QStringLiteral("open-rtf-bare"),
            [](const Cases::Options &o) { return openCase(Opener::BareHtml, true, o); } },
        { QStringLiteral("save-rtf-ours"), [](const Cases::Options &o) { return saveCase(true, true, o); } },
        { QStringLiteral("save-rtf-bare"), [](const Cases::Options &o) { return saveCase(false, true, o); } },
        { QStringLiteral("caret"), caretCase },
        { QStringLiteral("table"), tableCase },
        { QStringLiteral("type-ours"), [](const Cases::Options &o) { return typingCase(true, false, o); } },
        { QStringLiteral("type-bare"), [](const Cases::Options &o) { return typingCase(false, false, o); } },
        { QStringLiteral("paragraph-ours"), [](const Cases::Options &o) { return typingCase(true, true, o); } },
        { QStringLiteral("paragraph-bare"), [](const Cases::Options &o) { return typingCase(false, true, o); } },
        // The main window with the document open: its refresh after a caret move, and typing
        // with its handlers, beside a bare QTextEdit in a main window of the same size.
        { QStringLiteral("window-caret"), WindowCases::caret },
        { QStringLiteral("window-ctrl-end"), WindowCases::ctrlEnd },
        { QStringLiteral("type-window"), [](const Cases::Options &o) { return WindowCases::typing(true, o); } },
        { QStringLiteral("type-window-zoom200"), [](const Cases::Options &o) { return WindowCases::typing(true, o, 200); } },
        { QStringLiteral("type-window-bare"),
            [](const Cases::Options &o) { return WindowCases::typing(false, o); } },
        // The print preview's report run into the page store, beside Qt's pagination into a PDF.
        // The recovery file written in slices while the window holds the document.
        { QStringLiteral("recovery-pause"), RecoveryCases::pause },
        { QStringLiteral("report-run"), PrintCases::reportRun },
        { QStringLiteral("report-run-qt"), PrintCases::qtPrint },
        // The preview command in the main window, beside Qt's QPrintPreviewDialog.
        { QStringLiteral("preview-window"), WindowCases::preview },
        { QStringLiteral("preview-window-qt"), WindowCases::previewQt },
        // Replace All from the dialog of the main window, beside the naive one in a QTextEdit.
        { QStringLiteral("replace-all"), WindowCases::replaceAll },
        { QStringLiteral("replace-naive"), WindowCases::replaceNaive },
        // The date dialog's largest run, beside one insertion per date.
        { QStringLiteral("paste-dates"), WindowCases::pasteDates },
        // The scaling table's opening of each construct.
        { QStringLiteral("open-painted"), Scaling::openPainted },
    };
    return cases;
}

} // namespace

namespace Cases {

QStringList names()
{
    QStringList list { QStringLiteral("generate"), QStringLiteral("generate-replace"), QStringLiteral("generate-construct"),
                       QStringLiteral("start-qt"), QStringLiteral("start-window") };
    for (const auto &entry : table())
        list += entry.first;
    return list;
}

int run(int argc, char **argv, const Options &options)
{
    try {
        // Making the text needs no window system at all.
        if (options.name == QStringLiteral("generate"))
            return generate(options);
        if (options.name == QStringLiteral("generate-replace"))
            return generateReplace(options);
        if (options.name == QStringLiteral("generate-construct"))
            return Scaling::generate(options);
        // Timed from the process's start: nothing may be set up before them.
        if (WindowCases::ownsApplication(options.name))
            return WindowCases::runOwningApplication(argc, argv, options);
        const auto found = table().find(options.name);
        if (found == table().end()) {
            std::fprintf(stderr, "penloft-bench: no case named %s\n", qPrintable(options.name));
            return 2;
        }
        Harness::quietMessages();
        QApplication app(argc, argv);
        installFontSubstitutes();
        // A blinking caret repaints on a timer of its own, which would land inside some
        // keystrokes and not others; a steady caret is drawn the same for both editors.
        QApplication::setCursorFlashTime(0);
        const int status = found->second(options);
        std::fflush(stdout);
        // The figures are out; tearing down a 10 MB document would only cost time.
        std::_Exit(status);
    } catch (const AppError &e) {
        std::fprintf(stderr, "penloft-bench: %s\n", e.what());
        return 1;
    }
}

} // namespace Cases
