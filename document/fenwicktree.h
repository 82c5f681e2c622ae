#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Prefix sums over a sequence of non-negative counts with O(log n) point updates, prefix
// queries and "which element holds this running total" searches. Built in O(n).
class FenwickTree {
public:
    void assign(const std::vector<int64_t> &values)
    {
        const std::size_t n = values.size();
        m_tree.assign(n + 1, 0);
        for (std::size_t i = 1; i <= n; ++i) {
            m_tree[i] += values[i - 1];
            const std::size_t parent = i + (i & (~i + 1));
            if (parent <= n)
                m_tree[parent] += m_tree[i];
        }
    }

    std::size_t size() const { return m_tree.empty() ? 0 : m_tree.size() - 1; }

    // Appends an element in O(log n).
    void push_back(int64_t value)
    {
        if (m_tree.empty())
            m_tree.push_back(0);
        const std::size_t i = m_tree.size();
        // Node i sums the elements (i - lowbit(i), i]: the new one and those before it.
        m_tree.push_back(value + prefix(i - 1) - prefix(i - (i & (~i + 1))));
    }

    void add(std::size_t index, int64_t delta)
    {
        for (std::size_t i = index + 1; i < m_tree.size(); i += i & (~i + 1))
            m_tree[i] += delta;
    }

    // Sum of the first count elements.
    int64_t prefix(std::size_t count) const
    {
        int64_t sum = 0;
        for (std::size_t i = count < size() ? count : size(); i > 0; i -= i & (~i + 1))
            sum += m_tree[i];
        return sum;
    }

    // The number of leading elements whose sum does not exceed total: the index of the element
    // in which running total `total` falls (size() when total reaches past the end).
    std::size_t countWithin(int64_t total) const
    {
        std::size_t pos = 0;
        std::size_t step = 1;
        while (step * 2 <= size())
            step *= 2;
        for (; step > 0; step /= 2) {
            if (pos + step <= size() && m_tree[pos + step] <= total) {
                pos += step;
                total -= m_tree[pos];
            }
        }
        return pos;
    }

private:
    std::vector<int64_t> m_tree;
};
