#include "systemprinters.h"

#include "document/apperror.h"
#include "printing/printmessages.h"
#include "printing/treportoutput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPagedPaintDevice>
#include <QPrintEngine>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>

#include <dlfcn.h>

namespace {

// The print library, loaded at the first job: the print engine itself depends on it, so it is
// there whenever printing to a queue is possible at all. Only these two entry points are used.
struct PrintLibrary {
    struct Option {
        char *name;
        char *value;
    };
    using PrintFile = int (*)(const char *queue, const char *file, const char *title, int optionCount, Option *options);
    using LastErrorString = const char *(*)();

    PrintFile printFile = nullptr;
    LastErrorString lastErrorString = nullptr;

    static const PrintLibrary &instance()
    {
        static const PrintLibrary library;
        return library;
    }

    bool isLoaded() const { return printFile && lastErrorString; }

private:
    PrintLibrary()
    {
        void *handle = dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return;
        printFile = reinterpret_cast<PrintFile>(dlsym(handle, "cupsPrintFile"));
        lastErrorString = reinterpret_cast<LastErrorString>(dlsym(handle, "cupsLastErrorString"));
    }
};

// The job options a print dialog's property pages leave on the engine (name and value in turn),
// under the key the engine keeps them in.
constexpr auto JobOptionsKey = static_cast<QPrintEngine::PrintEnginePropertyKey>(0xfe00);

// What the engine would have told the queue with the pages: paper, copies, sides, orientation
// and the dialog's job options.
QList<std::pair<QByteArray, QByteArray>> jobOptions(QPrinter &printer)
{
    QList<std::pair<QByteArray, QByteArray>> options;
    const QPageLayout layout = printer.pageLayout();
    options.emplace_back("media", layout.pageSize().key().toUtf8());
    if (printer.copyCount() > 1) {
        options.emplace_back("copies", QByteArray::number(printer.copyCount()));
        if (printer.collateCopies())
            options.emplace_back("Collate", "True");
    }
    const bool landscape = layout.orientation() == QPageLayout::Landscape;
    switch (printer.duplex()) {
    case QPrinter::DuplexNone:
        options.emplace_back("sides", "one-sided");
        break;
    case QPrinter::DuplexAuto:
        options.emplace_back("sides", landscape ? "two-sided-short-edge" : "two-sided-long-edge");
        break;
    case QPrinter::DuplexLongSide:
        options.emplace_back("sides", "two-sided-long-edge");
        break;
    case QPrinter::DuplexShortSide:
        options.emplace_back("sides", "two-sided-short-edge");
        break;
    }
    if (landscape)
        options.emplace_back("landscape", "");
    const QStringList extra = printer.printEngine()->property(JobOptionsKey).toStringList();
    for (qsizetype i = 0; i + 1 < extra.size(); i += 2)
        options.emplace_back(extra.at(i).toUtf8(), extra.at(i + 1).toUtf8());
    return options;
}

struct StandInQueues {
    QStringList names;
    QString defaultName;
    QDir folder;
};

StandInQueues &standIns()
{
    static StandInQueues queues;
    return queues;
}

} // namespace

namespace SystemPrinters {

void setStandInQueues(const QStringList &names, const QString &defaultName, const QString &folder)
{
    standIns() = { names, defaultName, QDir(folder) };
}

QStringList names()
{
    if (!standIns().names.isEmpty())
        return standIns().names;
    return QPrinterInfo::availablePrinterNames();
}

QString defaultName()
{
    if (!standIns().names.isEmpty())
        return standIns().defaultName;
    return QPrinterInfo::defaultPrinterName();
}

QString queueFor(const QString &chosen)
{
    const QStringList queues = names();
    if (queues.isEmpty())
        return {};
    if (!chosen.isEmpty() && queues.contains(chosen))
        return chosen;
    const QString fallback = defaultName();
    return queues.contains(fallback) ? fallback : queues.first();
}

bool selectQueue(QPrinter &printer, const QString &chosen)
{
    const QString queue = queueFor(chosen);
    if (queue.isEmpty())
        return false;
    if (!standIns().names.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(standIns().folder.filePath(queue + QStringLiteral(".pdf")));
        return true;
    }
    if (printer.outputFormat() != QPrinter::NativeFormat || printer.printerName() != queue) {
        printer.setOutputFileName(QString());
        printer.setPrinterName(queue);
    }
    return true;
}

QString queueOf(const QPrinter &printer)
{
    if (!standIns().names.isEmpty()) {
        const QFileInfo file(printer.outputFileName());
        const QString queue = file.completeBaseName();
        const bool standsIn = printer.outputFormat() == QPrinter::PdfFormat && file.suffix() == QStringLiteral("pdf")
            && QDir(file.absolutePath()) == standIns().folder && standIns().names.contains(queue);
        return standsIn ? queue : QString();
    }
    return printer.outputFormat() == QPrinter::NativeFormat ? printer.printerName() : QString();
}

QueueJob::QueueJob(QPrinter &printer)
    : m_printer(printer)
{
    if (printer.outputFormat() != QPrinter::NativeFormat || !printer.outputFileName().isEmpty()
        || printer.printerName().isEmpty() || !PrintLibrary::instance().isLoaded())
        return;
    QTemporaryFile spool(QDir::tempPath() + QStringLiteral("/penloft-job-XXXXXX.prn"));
    spool.setAutoRemove(false);
    if (!spool.open())
        return; // the engine spools and sends the job itself
    m_spoolFile = spool.fileName();
    // A name not ending in ".pdf" keeps the printer on its queue: the engine writes the pages
    // for that queue into the file and sends nothing.
    printer.setOutputFileName(m_spoolFile);
}

QueueJob::~QueueJob()
{
    discard();
}

void QueueJob::discard()
{
    if (m_spoolFile.isEmpty())
        return;
    QFile::remove(m_spoolFile);
    m_printer.setOutputFileName(QString());
    m_spoolFile.clear();
}

std::optional<QString> QueueJob::submit(const QString &title)
{
    if (m_spoolFile.isEmpty())
        return std::nullopt;
    const PrintLibrary &library = PrintLibrary::instance();
    // A queue may carry an instance name after a slash; the queue itself is the part before.
    const QByteArray queue = m_printer.printerName().section(u'/', 0, 0).toUtf8();
    const QByteArray file = QFile::encodeName(m_spoolFile);
    const QByteArray jobTitle = title.toUtf8();
    QList<std::pair<QByteArray, QByteArray>> options = jobOptions(m_printer);
    QList<PrintLibrary::Option> raw;
    raw.reserve(options.size());
    for (auto &[name, value] : options)
        raw.append(PrintLibrary::Option { name.data(), value.data() });
    const int job = library.printFile(queue.constData(), file.constData(), jobTitle.constData(),
                                      static_cast<int>(raw.size()), raw.isEmpty() ? nullptr : raw.data());
    const QString refusal = job > 0 ? QString() : QString::fromUtf8(library.lastErrorString());
    const QString queueName = m_printer.printerName();
    discard();
    if (job > 0)
        return std::nullopt;
    return Messages::cannotPrint(queueName, refusal);
}

ReportPrinter reportPrinter(const QString &chosen, const QString &title)
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    selectQueue(*printer, chosen);
    printer->setDocName(title);
    printer->setFullPage(true);
    printer->setCopyCount(1);
    auto job = std::make_shared<QueueJob>(*printer);
    ReportPrinter target;
    QPrinter *raw = printer.get();
    target.abort = [raw, job] {
        raw->abort();
        job->discard();
    };
    target.submit = [job, title] {
        if (const std::optional<QString> refusal = job->submit(title))
            throw AppError(*refusal);
    };
    target.device = std::move(printer);
    return target;
}

} // namespace SystemPrinters
