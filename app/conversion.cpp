#include "conversion.h"

#include "document/apperror.h"
#include "document/documentmessages.h"
#include "document/documentfile.h"
#include "document/documentname.h"
#include "document/filereplacement.h"
#include "document/richdocument.h"
#include "printing/tprintreport2.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPdfWriter>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextStream>

#include <new>
#include <set>
#include <sys/stat.h>
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

// The report's print run, with a PDF file standing in for the printer: the pages the preview
// shows, A4, written whole or not at all. Each page goes to the file as it is finished, so
// memory holds a few pages, not the document's.
void printToPdf(RichDocument &document, const QString &title, const QString &output)
{
    FileReplacement pdf(output);
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
    document.loadFile(path, StreamFormat::Rtf, QTextCharFormat());
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
