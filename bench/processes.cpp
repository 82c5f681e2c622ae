#include "processes.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

std::string selfPath()
{
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return {};
    buffer[n] = '\0';
    return buffer;
}

// The system's load average over the last minute: whatever else runs weighs on every figure.
double loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').value(0).toDouble() : -1;
}

// Runs this program as one case and collects its "key value" lines and its peak memory.
// posix_spawn and wait4 rather than QProcess: only wait4 hands back the child's rusage.
CaseResult runCase(const std::string &self, const std::vector<std::string> &arguments)
{
    CaseResult result;
    std::fprintf(stderr, "  %s ...", arguments.at(0).c_str());
    std::fflush(stderr);
    int out[2];
    if (pipe(out) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);

    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(self.c_str()));
    argv.push_back(const_cast<char *>("--case"));
    for (const std::string &a : arguments)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);

    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0) {
        close(out[0]);
        std::fprintf(stderr, " cannot start: %s\n", std::strerror(spawned));
        return result;
    }
    std::string text;
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(out[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        text.append(chunk, static_cast<size_t>(n));
    }
    close(out[0]);
    int status = 0;
    struct rusage usage {};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    result.peakKb = usage.ru_maxrss;
    result.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;

    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t space = line.find(' ');
        if (space != std::string::npos)
            result.values[line.substr(0, space)] = std::strtod(line.c_str() + space + 1, nullptr);
        start = end + 1;
    }
    std::fprintf(stderr, " %.1f s%s\n", result.seconds, result.ok ? "" : " (FAILED)");
    return result;
}

// Runs a program found on PATH (or by its path) with stdin empty and stdout and stderr going
// to `log`, in this program's environment but for the "NAME=value" entries of `settings`, which
// replace or add those variables. It runs in a process group of its own, so that one that hangs
// is stopped together with whatever it started.
ProgramResult runProgram(const std::string &program, const std::vector<std::string> &arguments,
                         const std::string &log, const std::vector<std::string> &settings,
                         double timeoutSeconds)
{
    ProgramResult result;
    // The program's name and what it is asked, without the temporary folder's long paths.
    std::fprintf(stderr, "  %s", QFileInfo(QString::fromStdString(program)).fileName().toLocal8Bit().constData());
    for (const std::string &a : arguments) {
        const bool path = a.find('/') != std::string::npos;
        std::fprintf(stderr, " %s", path ? QFileInfo(QString::fromStdString(a)).fileName().toLocal8Bit().constData()
                                         : a.c_str());
    }
    std::fprintf(stderr, " ...");
    std::fflush(stderr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);

    std::vector<std::string> environment;
    for (char **e = environ; *e; ++e) {
        const std::string entry = *e;
        const size_t equals = entry.find('=');
        const std::string name = entry.substr(0, equals == std::string::npos ? entry.size() : equals + 1);
        const bool replaced = equals != std::string::npos && std::any_of(settings.begin(), settings.end(),
                                          [&](const std::string &s) { return s.compare(0, name.size(), name) == 0; });
        if (!replaced)
            environment.push_back(entry);
    }
    environment.insert(environment.end(), settings.begin(), settings.end());
    std::vector<char *> envp;
    for (std::string &e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> words { program };
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        std::fprintf(stderr, " cannot start: %s\n", std::strerror(spawned));
        return result;
    }
    // Polled rather than waited for, to give up on a program that hangs; half a millisecond is
    // nothing beside a run of a second or more.
    int status = 0;
    struct rusage usage {};
    for (;;) {
        const pid_t done = wait4(pid, &status, WNOHANG, &usage);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR) {
            std::fprintf(stderr, " lost: %s\n", std::strerror(errno));
            return result;
        }
        if (!result.timedOut && static_cast<double>(timer.elapsed()) > timeoutSeconds * 1000) {
            kill(-pid, SIGKILL);
            result.timedOut = true;
        }
        usleep(500);
    }
    result.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    result.peakKb = usage.ru_maxrss;
    result.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.ok = !result.timedOut && result.exitStatus == 0;
    std::fprintf(stderr, " %.1f s%s\n", result.seconds,
                 result.timedOut ? " (TIMED OUT)" : result.ok ? "" : " (FAILED)");
    return result;
}

