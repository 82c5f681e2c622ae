#include "conversion.h"

#include "app/apperror.h"
#include "app/messages.h"
#include "document/documentfile.h"
#include "document/documentname.h"
#include "document/richdocument.h"
#include "printing/tprintreport2.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QPdfWriter>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextStream>

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
                problem = a + QStringLiteral(": missing value");
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
    request.extension = request.extension.toLower();
    if (request.extension != QStringLiteral("txt") && request.extension != QStringLiteral("rtf")
        && request.extension != QStringLiteral("pdf")) {
        problem = QStringLiteral("--convert-to takes txt, rtf or pdf");
        return false;
    }
    if (request.files.isEmpty()) {
        problem = QStringLiteral("no files to convert");
        return false;
    }
    return true;
}

// The report's print run, with a PDF file standing in for the printer: the pages the preview
// shows, A4, written whole or not at all.
void printToPdf(RichDocument &document, const QString &title, const QString &output)
{
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    TPrintReport2 report;
    report.setParentRichEdit(&document);
    report.ReportTitle = title;
    report.setPrinter(true, [&pdf](const QString &jobTitle) {
        auto writer = std::make_unique<QPdfWriter>(&pdf);
        writer->setTitle(jobTitle);
        writer->setCreator(QStringLiteral("Penloft"));
        writer->setResolution(600);
        ReportPrinter printer;
        printer.device = std::move(writer);
        return printer;
    });
    if (!report.print())
        throw AppError(Messages::text(Messages::WriteStreamFailed));
    pdf.close();
    DocumentFile::write(output, pdf.data());
}

} // namespace

namespace Conversion {

bool isRequested(const QStringList &arguments)
{
    return arguments.contains(ConvertOption);
}

int run(const QStringList &arguments, QTextStream &errors)
{
    Request request;
    QString problem;
    if (!parse(arguments, request, problem)) {
        errors << "penloft: " << problem << '\n'
               << "usage: penloft --convert-to txt|rtf|pdf [--outdir DIR] FILE...\n";
        errors.flush();
        return 2;
    }
    const StreamFormat target = request.extension == QStringLiteral("rtf") ? StreamFormat::Rtf : StreamFormat::PlainText;
    // As office suites do, a missing output folder is made; if that fails, each file says so.
    QDir().mkpath(request.outDir);
    int status = 0;
    for (const QString &file : std::as_const(request.files)) {
        const QString output = QDir(request.outDir).filePath(QFileInfo(file).completeBaseName() + u'.' + request.extension);
        try {
            QTextDocument document;
            RichDocument rich(&document);
            rich.loadFile(file, StreamFormat::Rtf, QTextCharFormat());
            if (request.extension == QStringLiteral("pdf"))
                printToPdf(rich, DocumentName::windowTitle(file), output);
            else
                rich.saveFile(output, target);
        } catch (const AppError &e) {
            errors << file << ": " << e.text() << '\n';
            status = 1;
        } catch (const std::exception &e) {
            errors << file << ": " << e.what() << '\n';
            status = 1;
        }
    }
    errors.flush();
    return status;
}

} // namespace Conversion
