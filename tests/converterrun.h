#pragma once

#include <QByteArrayList>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

// A conversion and what it cost: the most memory it held and its processor time.
struct Measured {
    int status = -1; // -1: it did not end by itself within two minutes
    qint64 peakBytes = 0;
    double cpuSeconds = 0;
};

// Runs the converter as its own process and waits for it alone (wait4), so that its own peak
// resident memory and time are known. Its output goes nowhere.
inline Measured convertMeasured(const QStringList &arguments, const QString &workingDirectory)
{
    QByteArrayList strings { QByteArray(PENLOFT_BINARY) };
    for (const QString &argument : arguments)
        strings += QFile::encodeName(argument);
    QByteArrayList environment;
    const QStringList system = QProcessEnvironment::systemEnvironment().toStringList();
    for (const QString &entry : system) {
        if (!entry.startsWith(QStringLiteral("XDG_RUNTIME_DIR=")))
            environment += entry.toLocal8Bit();
    }
    environment += "XDG_RUNTIME_DIR=" + QFile::encodeName(workingDirectory);
    // Everything the child needs is made before fork: after it, only system calls.
    std::vector<char *> argv;
    for (QByteArray &string : strings)
        argv.push_back(string.data());
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (QByteArray &entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    const QByteArray folder = QFile::encodeName(workingDirectory);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int nothing = ::open("/dev/null", O_RDWR);
        ::dup2(nothing, STDOUT_FILENO);
        ::dup2(nothing, STDERR_FILENO);
        if (::chdir(folder.constData()) == 0)
            ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    Measured measured;
    if (pid < 0)
        return measured;
    QDeadlineTimer deadline(120000);
    int status = 0;
    rusage usage {};
    pid_t ended = 0;
    while ((ended = ::wait4(pid, &status, WNOHANG, &usage)) == 0 && !deadline.hasExpired())
        QThread::msleep(5);
    if (ended == 0) {
        ::kill(pid, SIGKILL);
        ::wait4(pid, &status, 0, &usage);
        return measured;
    }
    measured.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    measured.peakBytes = qint64(usage.ru_maxrss) * 1024;
    measured.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return measured;
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
