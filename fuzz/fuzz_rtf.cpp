// libFuzzer target for the RTF reader and writer.
//
// The input is read as RTF (behind a "{\rtf1" header, so that it always is), and then:
//  - the document's store is whole after reading (the reader appends to it directly);
//  - the positions of what was read agree with the text it writes (textLength == text().size());
//  - what we write of it reads back to the same text;
//  - writing that again gives the very same bytes: after one trip nothing drifts.
// Nothing may crash, hang or exhaust memory on the way. A failed check prints what differs and
// aborts, so libFuzzer keeps the input.

#include "document/richdocument.h"
#include "document/storeappender.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QTextCharFormat>
#include <QTextDocument>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool ok, const char *what, const QByteArray &input)
{
    if (ok)
        return;
    std::fprintf(stderr, "fuzz_rtf: %s\ninput: %s\n", what, input.left(400).toPercentEncoding(" {}\\;").constData());
    std::abort();
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
    const QString storeFault = StoreAppender::storeFault(document);
    check(storeFault.isEmpty(), qPrintable(QStringLiteral("the document's store: ") + storeFault), input);
    check(rich.textLength() == rich.text().size(), "positions disagree with the text", input);

    const QByteArray written = rich.save(StreamFormat::Rtf);
    QTextDocument again;
    RichDocument richAgain(&again);
    richAgain.load(written, StreamFormat::Rtf, QTextCharFormat());
    check(again.toPlainText() == document.toPlainText(), "written RTF reads back to other text", input);
    check(richAgain.save(StreamFormat::Rtf) == written, "writing what was read changes the RTF", input);
    return 0;
}
