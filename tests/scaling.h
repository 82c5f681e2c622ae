#pragma once

#include <QtGlobal>

#include <functional>

#include <malloc.h>
#include <time.h>

// How a cost grows with the input, for the tests that keep it linear. Costs are compared at two
// sizes of the same input, never held against a fixed time: the machine's speed drops out.
namespace Scaling {

// CPU seconds this thread spends in work(), the least of `tries` runs (the least is the one
// other processes disturbed least).
inline double cpuSeconds(const std::function<void()> &work, int tries = 3)
{
    double best = -1;
    for (int i = 0; i < tries; ++i) {
        timespec start {};
        timespec end {};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
        work();
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
        const double seconds = double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9;
        if (best < 0 || seconds < best)
            best = seconds;
    }
    return best;
}

// How many times more work(4n) costs than work(n): about 4 for a linear cost, 16 for a quadratic
// one. Choose n so that work(n) takes some tens of milliseconds.
inline double growthOverFourfold(const std::function<void(int)> &work, int n)
{
    const double small = cpuSeconds([&] { work(n); });
    const double large = cpuSeconds([&] { work(4 * n); });
    return large / qMax(small, 1e-6);
}

// Linear within the noise of a shared machine, and far from quadratic.
constexpr double LinearLimit = 8.0;

// Bytes the heap holds now (small blocks and mapped ones).
inline size_t heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

} // namespace Scaling
