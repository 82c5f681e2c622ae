#pragma once

#include <map>
#include <string>
#include <vector>

// Running the measurements in processes of their own: this program as a case, or another
// program, each with its time and its peak memory as the kernel counts them.

// A case's "key value" lines, its peak memory and its time.
struct CaseResult {
    bool ok = false;
    std::map<std::string, double> values;
    long peakKb = 0; // the child's ru_maxrss
    double seconds = 0;
    double cpuSeconds = 0; // user and system time: what the machine's load leaves alone

    bool has(const char *key) const { return values.count(key) != 0; }
    double operator[](const char *key) const
    {
        const auto found = values.find(key);
        return found == values.end() ? 0 : found->second;
    }
};

// This program's own path.
std::string selfPath();

// The system's load average over the last minute: whatever else runs weighs on every figure.
double loadAverage();

// Runs this program as one case and collects its "key value" lines and its peak memory.
// posix_spawn and wait4 rather than QProcess: only wait4 hands back the child's rusage.
CaseResult runCase(const std::string &self, const std::vector<std::string> &arguments);

// An outside program's run, timed from start to exit as a user would time it.
struct ProgramResult {
    bool ok = false; // started, and exited with status 0 in time
    int exitStatus = -1; // -1: did not exit by itself
    bool timedOut = false;
    double seconds = 0;
    double cpuSeconds = 0; // user and system time: what the machine's load leaves alone
    long peakKb = 0; // ru_maxrss: the program's own, or a child's it waited for if larger
};

// Runs a program found on PATH (or by its path) with stdin empty and stdout and stderr going
// to `log`, in this program's environment but for the "NAME=value" entries of `settings`, which
// replace or add those variables. It runs in a process group of its own, so that one that hangs
// is stopped together with whatever it started.
ProgramResult runProgram(const std::string &program, const std::vector<std::string> &arguments,
                         const std::string &log, const std::vector<std::string> &settings,
                         double timeoutSeconds);
