// libFuzzer target for the layout of what the RTF reader makes.
//
// The input is read as RTF (behind a "{\rtf1" header), then laid out in the editor's layout:
// every paragraph laid out, a viewport at the top and one in the middle painted into an image,
// points hit across them, the display lines counted; then paginated page by page through the
// format-range renderer, each page painted into a picture, as printing and PDF do. Nothing may
// crash, hang or exhaust memory; the pages must move on and end at the text's end (a failed
// check prints what differs and aborts, so libFuzzer keeps the input).

#include "document/editordocumentlayout.h"
#include "document/formatrange.h"
#include "document/richdocument.h"

#include <QAbstractTextDocumentLayout>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPicture>
#include <QTextCharFormat>
#include <QTextDocument>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Pages of A4 with margins of an inch, in twips; a 1 MB input of short lines makes about 200.
constexpr int PageWidthTwips = 11906;
constexpr int PageHeightTwips = 16838;
constexpr int MostPages = 100000;

void check(bool ok, const char *what, const QByteArray &input)
{
    if (ok)
        return;
    std::fprintf(stderr, "fuzz_layout: %s\ninput: %s\n", what, input.left(400).toPercentEncoding(" {}\\;").constData());
    std::abort();
}

void paintViewport(EditorDocumentLayout &layout, qreal top, const QByteArray &input)
{
    QImage image(600, 300, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.translate(0, -top);
    QAbstractTextDocumentLayout::PaintContext context;
    context.clip = QRectF(0, top, 600, 300);
    context.cursorPosition = 0;
    layout.draw(&painter, context);
    for (int y = 0; y < 300; y += 37) {
        for (int x = -10; x < 620; x += 89) {
            const int hit = layout.hitTest(QPointF(x, top + y), Qt::FuzzyHit);
            check(hit >= 0 && hit < layout.document()->characterCount(), "a hit outside the text", input);
        }
    }
}

void paginate(RichDocument &rich, const QByteArray &input)
{
    const qint64 length = rich.textLength();
    qint64 start = 0;
    for (int pages = 0; start < length; ++pages) {
        check(pages < MostPages, "more pages than the text can fill", input);
        QPicture page;
        QPainter painter(&page);
        FormatRange request;
        request.painter = &painter;
        request.rectTwips = QRect(1440, 1440, PageWidthTwips - 2880, PageHeightTwips - 2880);
        request.pageTwips = QRect(0, 0, PageWidthTwips, PageHeightTwips);
        request.pageAreaTwips = request.rectTwips.size();
        request.first = start;
        request.atLeastOneLine = true;
        const qint64 next = rich.formatRange(request);
        check(next > start && next <= length, "a page that does not move on", input);
        start = next;
    }
    rich.releaseFormatRange();
}

} // namespace

// fontconfig keeps its caches to the end of the process.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray input("{\\rtf1 ");
    input.append(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));

    QTextDocument document;
    RichDocument rich(&document);
    rich.load(input, StreamFormat::Rtf, QTextCharFormat());
    document.setTextWidth(600);
    EditorDocumentLayout &layout = *rich.layout();
    paintViewport(layout, 0, input);
    layout.layOutAll();
    check(layout.estimatedCount() == 0, "paragraphs left estimated after laying out all", input);
    const int lines = layout.lineCount();
    check(lines >= 0 && (lines == 0 || layout.lineStart(lines - 1) >= 0), "a last line without a start", input);
    paintViewport(layout, layout.documentSize().height() / 2, input);
    paginate(rich, input);
    return 0;
}
