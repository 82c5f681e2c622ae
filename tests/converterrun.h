#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <sys/resource.h>

// Running the program's converter (penloft --convert-to ...) as a script would.
namespace ConverterRun {

struct Run {
    int status = -1;
    QString errors;
};

// dataLimitBytes: the most heap and other private memory the converter may take (0: no limit);
// past it an allocation fails and the converter ends in failure.
inline Run convert(const QStringList &arguments, const QString &workingDirectory, rlim_t dataLimitBytes = 0)
{
    QProcess process;
    if (dataLimitBytes > 0) {
        process.setChildProcessModifier([dataLimitBytes] {
            const rlimit limit { dataLimitBytes, dataLimitBytes };
            ::setrlimit(RLIMIT_DATA, &limit);
        });
    }
    process.setWorkingDirectory(workingDirectory);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), workingDirectory);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(PENLOFT_BINARY), arguments);
    if (!process.waitForFinished(60000))
        return {};
    return { process.exitCode(), QString::fromUtf8(process.readAllStandardError()) };
}

// What a tool prints on its standard output (pdftotext, pdfimages); empty when it fails.
inline QString output(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace ConverterRun
