#pragma once

#include <QByteArray>
#include <QFile>

// The most memory this process held (its peak resident set), reset before the work measured,
// so that what one step took can be told from what the test held before it.
namespace PeakMemory {

// Whether what this build holds can be held to a budget: the address sanitizer's shadow memory
// and the freed memory it keeps aside make a process several times larger than the program.
inline constexpr bool measurable()
{
#if defined(__SANITIZE_ADDRESS__)
    return false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return false;
#else
    return true;
#endif
#else
    return true;
#endif
}

// Starts a new peak from the memory held now; false where the system cannot, or where
// measurable() says no (then skip).
inline bool reset()
{
    if (!measurable())
        return false;
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
