#pragma once

#include <QtGlobal>

#include <array>
#include <cstddef>

// splitmix64: tiny, fast and the same on every compiler, unlike the standard distributions, so
// that a seed gives the very same input on every machine.
class Random {
public:
    explicit Random(quint64 seed)
        : m_state(seed)
    {
    }
    quint64 next()
    {
        quint64 z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Evenly in [low, high].
    int between(int low, int high) { return low + static_cast<int>(next() % static_cast<quint64>(high - low + 1)); }
    bool chance(int percent) { return between(1, 100) <= percent; }
    template<typename T, std::size_t N> const T &pick(const std::array<T, N> &items)
    {
        return items[static_cast<std::size_t>(next() % N)];
    }

private:
    quint64 m_state;
};
