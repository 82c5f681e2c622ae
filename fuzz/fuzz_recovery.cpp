// libFuzzer target for recovery files, read as the start-up reads them: from a file descriptor,
// the header and whether the file is complete first (RecoveryFile::readEntry), then the document
// (RecoveryFile::readBody), loaded as RTF as a restore loads it.
//
// Two files a run, both in memory (memfd):
//  - the input as it stands: whatever it holds, an entry never places the document outside the
//    file, and the document read is exactly what follows the header;
//  - a file the program would write for the input as its document, with the input's first line
//    as the document's path: it reads back whole, with that path and document, and one byte
//    fewer or one more makes it incomplete.
// Nothing may crash, hang or exhaust memory on the way. A failed check prints what differs and
// aborts, so libFuzzer keeps the input.

#include "document/recoveryfile.h"
#include "document/richdocument.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QTextCharFormat>
#include <QTextDocument>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sys/mman.h>
#include <unistd.h>

namespace {

int memoryFile = -1;

void check(bool ok, const char *what, const QByteArray &input)
{
    if (ok)
        return;
    std::fprintf(
        stderr, "fuzz_recovery: %s\ninput: %s\n", what, input.left(400).toPercentEncoding(" {}\\;:/").constData());
    std::abort();
}

// The file descriptor the reader is given, holding `content` and nothing else.
int fileHolding(const QByteArray &content)
{
    if (::ftruncate(memoryFile, 0) != 0
        || ::pwrite(memoryFile, content.constData(), static_cast<size_t>(content.size()), 0) != content.size())
        std::abort();
    return memoryFile;
}

// Reads a file as the start-up does; the document when the header ends.
std::optional<RecoveryFile::Entry> readAsStartUp(const QByteArray &content, QByteArray *document, bool *complete)
{
    const int fd = fileHolding(content);
    std::optional<RecoveryFile::Entry> entry = RecoveryFile::readEntry(fd, QStringLiteral("memory"));
    if (!entry)
        return entry;
    check(entry->fileBytes == content.size(), "the size read is not the file's", content);
    check(entry->headerBytes >= -1 && entry->headerBytes <= content.size(), "the document starts outside the file",
        content);
    const RecoveryFile::Body body = RecoveryFile::readBody(fd, *entry);
    check(entry->headerBytes >= 0 || body.rtf.isEmpty(), "a document read after a cut header", content);
    if (entry->headerBytes >= 0)
        check(body.rtf == content.mid(entry->headerBytes), "the document is not what follows the header", content);
    *document = body.rtf;
    *complete = entry->complete && body.complete;
    return entry;
}

void restore(const QByteArray &rtf)
{
    QTextDocument document;
    RichDocument rich(&document);
    rich.load(rtf, StreamFormat::Rtf, QTextCharFormat());
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
    memoryFile = ::memfd_create("fuzz_recovery", MFD_CLOEXEC);
    if (memoryFile < 0)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    QByteArray document;
    bool complete = false;
    if (readAsStartUp(input, &document, &complete))
        restore(document);

    // The file the program writes for this document.
    RecoveryFile::Header header;
    const qsizetype lineEnd = input.indexOf('\n');
    header.documentPath = QString::fromUtf8(
        input.left(lineEnd < 0 ? qMin<qsizetype>(input.size(), 256) : qMin<qsizetype>(lineEnd, 256)));
    header.pid = static_cast<qint64>(size);
    header.processStart = 1;
    const QByteArray written = RecoveryFile::headerFor(header, input) + input;
    const std::optional<RecoveryFile::Entry> entry = readAsStartUp(written, &document, &complete);
    check(entry.has_value(), "a written file is no recovery file", input);
    check(entry->header.documentPath == header.documentPath, "the path does not read back", input);
    check(entry->header.pid == header.pid && entry->header.processStart == 1, "the process does not read back", input);
    check(document == input && complete, "a written file does not read back whole", input);
    readAsStartUp(written + 'x', &document, &complete);
    check(!complete, "a file with more than was written counts as complete", input);
    readAsStartUp(written.chopped(1), &document, &complete);
    check(!complete, "a cut file counts as complete", input);
    return 0;
}
