#include "conversion.h"

#include "document/apperror.h"
#include "document/documentmessages.h"
#include "document/documentfile.h"
#include "document/documentname.h"
#include "document/filereplacement.h"
#include "document/richdocument.h"
#include "document/textformats.h"
#include "printing/tprintreport2.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPdfWriter>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextStream>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <new>
#include <optional>
#include <pthread.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

const QString ConvertOption = QStringLiteral("--convert-to");
const QString OutDirOption = QStringLiteral("--outdir");

struct Request {
    QString extension;
    QString outDir;
    QStringList files;
};

bool parse(const QStringList &arguments, Request &request, QString &problem)
{
    request.outDir = QDir::currentPath();
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == ConvertOption || a == OutDirOption) {
            if (i + 1 >= arguments.size()) {
                problem = Messages::text(a == ConvertOption ? Messages::ConvertTargetMissing : Messages::OutputFolderMissing);
                return false;
            }
            (a == ConvertOption ? request.extension : request.outDir) = arguments.at(++i);
        } else if (a == QStringLiteral("--")) {
            request.files += arguments.mid(i + 1);
            break;
        } else {
            request.files += a;
        }
    }
    const QString given = request.extension;
    request.extension = request.extension.toLower();
    if (request.extension != QStringLiteral("txt") && request.extension != QStringLiteral("rtf")
        && request.extension != QStringLiteral("pdf")) {
        problem = request.extension.isEmpty() ? Messages::text(Messages::ConvertTargetMissing)
                                              : Messages::unknownConvertTarget(given);
        return false;
    }
    if (request.files.isEmpty()) {
        problem = Messages::text(Messages::NoFilesToConvert);
        return false;
    }
    return true;
}

// A PDF's temporary is named after its output and the process writing it,
// ".NAME.pdf.conversion-PID.XXXXXX", so that a later conversion knows it for one whose process
// was killed before it could remove it (a PDF can take hundreds of megabytes).
const QString ConversionTag = QStringLiteral(".conversion-");

QString temporaryStem(const QString &output)
{
    return QFileInfo(output).fileName() + ConversionTag + QString::number(::getpid());
}

// The process whose conversion a folder entry is the temporary of; 0 when it is none.
pid_t conversionOf(const QString &entryName)
{
    const QString stem = FileReplacement::temporaryStem(entryName);
    const qsizetype tag = stem.lastIndexOf(ConversionTag);
    if (tag <= 0)
        return 0;
    const QStringView digits = QStringView(stem).mid(tag + ConversionTag.size());
    if (digits.isEmpty() || digits.size() > 10)
        return 0;
    qint64 pid = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return 0;
        pid = pid * 10 + (c.unicode() - u'0');
    }
    return pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
}

bool isRunning(pid_t pid)
{
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

// Removes the temporaries of conversions into `folder` that were killed outright (nothing of
// theirs ran to remove them): named after a process that no longer runs, and locked by none
// (a process of that number in another namespace could still be writing one).
void removeTemporariesOfEndedConversions(const QString &folder)
{
    const QDir dir(folder);
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &entry : entries) {
        const pid_t pid = conversionOf(entry);
        if (pid == 0 || pid == ::getpid() || isRunning(pid))
            continue;
        const QByteArray path = QFile::encodeName(dir.filePath(entry));
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
}

// The temporary being written, for the end signals to remove. The path is in place before the
// handler may read it, so that the handler does nothing but unlink it and end the process.
char g_temporary[PATH_MAX];
std::atomic<bool> g_writingTemporary { false };
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void removeTemporaryAndEnd(int signal)
{
    if (g_writingTemporary.load())
        ::unlink(g_temporary);
    // The handler was reset to the default on entry: raised again, the signal ends the process
    // as it would have without us.
    ::raise(signal);
}

// While it lives, SIGTERM, SIGINT and SIGHUP remove the temporary before the process ends;
// signals the process ignores (nohup) stay ignored. The previous handlers come back after.
class RemovedOnEndSignals {
public:
    explicit RemovedOnEndSignals(const QByteArray &temporary)
    {
        if (temporary.isEmpty() || temporary.size() >= PATH_MAX)
            return;
        std::memcpy(g_temporary, temporary.constData(), static_cast<size_t>(temporary.size()) + 1);
        g_writingTemporary.store(true);
        for (size_t i = 0; i < std::size(Signals); ++i) {
            ::sigaction(Signals[i], nullptr, &m_previous[i]);
            if (m_previous[i].sa_handler == SIG_IGN)
                continue;
            struct sigaction action {};
            action.sa_handler = removeTemporaryAndEnd;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESETHAND;
            ::sigaction(Signals[i], &action, nullptr);
            m_installed[i] = true;
        }
    }
    ~RemovedOnEndSignals()
    {
        for (size_t i = 0; i < std::size(Signals); ++i) {
            if (m_installed[i])
                ::sigaction(Signals[i], &m_previous[i], nullptr);
        }
        g_writingTemporary.store(false);
    }
    RemovedOnEndSignals(const RemovedOnEndSignals &) = delete;
    RemovedOnEndSignals &operator=(const RemovedOnEndSignals &) = delete;

    static constexpr int Signals[] = { SIGTERM, SIGINT, SIGHUP };

private:
    struct sigaction m_previous[std::size(Signals)] {};
    bool m_installed[std::size(Signals)] {};
};

// Holds those signals back while it lives: one that comes meanwhile is taken when it ends.
class EndSignalsHeld {
public:
    EndSignalsHeld()
    {
        sigset_t held;
        sigemptyset(&held);
        for (int s : RemovedOnEndSignals::Signals)
            sigaddset(&held, s);
        ::pthread_sigmask(SIG_BLOCK, &held, &m_previous);
    }
    ~EndSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &m_previous, nullptr); }
    EndSignalsHeld(const EndSignalsHeld &) = delete;
    EndSignalsHeld &operator=(const EndSignalsHeld &) = delete;

private:
    sigset_t m_previous;
};

// The report's print run, with a PDF file standing in for the printer: the pages the preview
// shows, A4, written whole or not at all. Each page goes to the file as it is finished, so
// memory holds a few pages, not the document's.
void printToPdf(RichDocument &document, const QString &title, const QString &output)
{
    // A signal between the temporary's making and the handler that removes it would leave it.
    std::optional<FileReplacement> replacement;
    std::optional<RemovedOnEndSignals> removedOnEnd;
    {
        const EndSignalsHeld held;
        replacement.emplace(output, temporaryStem(output));
        removedOnEnd.emplace(replacement->temporaryPath());
    }
    FileReplacement &pdf = *replacement;
    removeTemporariesOfEndedConversions(QFileInfo(QFile::decodeName(pdf.temporaryPath())).absolutePath());
    TPrintReport2 report;
    report.setParentRichEdit(&document);
    report.ReportTitle = title;
    report.setPrinter(true, [&pdf](const QString &jobTitle) {
        auto writer = std::make_unique<QPdfWriter>(&pdf.device());
        writer->setTitle(jobTitle);
        writer->setCreator(QStringLiteral("Penloft"));
        writer->setResolution(600);
        ReportPrinter printer;
        printer.device = std::move(writer);
        return printer;
    });
    if (!report.print())
        throw AppError(Messages::text(Messages::WriteStreamFailed));
    pdf.commit();
}

// A file by what it is, not by its name: device and inode, following links.
using FileIdentity = std::pair<dev_t, ino_t>;

bool identityOf(const QString &path, FileIdentity *identity)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    *identity = { st.st_dev, st.st_ino };
    return true;
}

} // namespace

namespace Conversion {

void load(RichDocument &document, const QString &path)
{
    document.document()->setLayoutEnabled(false);
    // In what the editor reads text that gives no format of its own: pages show what it shows.
    document.setDefaultCharFormat(TextFormats::editorDefaultFormat());
    document.loadFile(path, StreamFormat::Rtf, TextFormats::toTextCharFormat(TextFormats::newDocumentFormat()));
}

bool isRequested(const QStringList &arguments)
{
    return arguments.contains(ConvertOption);
}

int run(const QStringList &arguments, QTextStream &errors)
{
    Request request;
    QString problem;
    if (!parse(arguments, request, problem)) {
        errors << "penloft: " << problem << '\n' << Messages::text(Messages::ConvertUsage) << '\n';
        errors.flush();
        return 2;
    }
    const StreamFormat target = request.extension == QStringLiteral("rtf") ? StreamFormat::Rtf : StreamFormat::PlainText;
    // As office suites do, a missing output folder is made; if that fails, each file says so.
    QDir().mkpath(request.outDir);
    // No output may replace an input, nor what an earlier input of this run was written to.
    std::set<FileIdentity> inputs;
    for (const QString &file : std::as_const(request.files)) {
        FileIdentity identity;
        if (identityOf(file, &identity))
            inputs.insert(identity);
    }
    std::set<FileIdentity> written;
    bool failed = false;
    bool replaced = false;
    for (const QString &file : std::as_const(request.files)) {
        const QString output = QDir(request.outDir).filePath(QFileInfo(file).completeBaseName() + u'.' + request.extension);
        try {
            FileIdentity existing;
            if (identityOf(output, &existing)) {
                const QString absolute = QFileInfo(output).absoluteFilePath();
                if (inputs.count(existing))
                    throw AppError(Messages::outputIsAnInput(absolute));
                if (written.count(existing))
                    throw AppError(Messages::outputAlreadyWritten(absolute));
            }
            QTextDocument document;
            RichDocument rich(&document);
            load(rich, file);
            if (request.extension == QStringLiteral("pdf"))
                printToPdf(rich, DocumentName::windowTitle(file), output);
            else {
                Unsaveable unsaveable;
                rich.saveFile(output, target, &unsaveable);
                if (unsaveable.count > 0) {
                    errors << file << ": "
                           << Messages::unsaveableReplaced(unsaveable.count, unsaveable.first, unsaveable.line) << '\n';
                    replaced = true;
                }
            }
            FileIdentity made;
            if (identityOf(output, &made))
                written.insert(made);
        } catch (const AppError &e) {
            errors << file << ": " << e.text() << '\n';
            failed = true;
        } catch (const std::bad_alloc &) {
            errors << file << ": " << Messages::convertOutOfMemory(QFileInfo(file).absoluteFilePath()) << '\n';
            failed = true;
        } catch (const std::exception &) {
            errors << file << ": " << Messages::cannotConvert(QFileInfo(file).absoluteFilePath()) << '\n';
            failed = true;
        }
    }
    errors.flush();
    // Scripts tell a failure (1) from a conversion that replaced characters (3).
    return failed ? 1 : replaced ? 3 : 0;
}

} // namespace Conversion
