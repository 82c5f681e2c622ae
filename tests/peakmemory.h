#pragma once

#include <QByteArray>
#include <QFile>

// The most memory this process held (its peak resident set), reset before the work measured,
// so that what one step took can be told from what the test held before it.
namespace PeakMemory {

// Starts a new peak from the memory held now; false where the system cannot (then skip).
inline bool reset()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

// A field of /proc/self/status, in kilobytes.
inline qint64 statusKb(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(QByteArray(field + ':')))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Bytes the process's peak stands above `baselineKb` (what it held when the peak was reset).
inline qint64 growthSince(qint64 baselineKb)
{
    return (statusKb("VmHWM") - baselineKb) * 1024;
}

inline qint64 residentKb()
{
    return statusKb("VmRSS");
}

} // namespace PeakMemory
