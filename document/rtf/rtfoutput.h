#pragma once

#include <QByteArray>

#include <cstring>

namespace RtfOutput {

// The output: a buffer written through a pointer. The writer emits tens of bytes per character
// in small pieces, and QByteArray's own appends are calls out of line each.
class Output {
public:
    void reserve(qsizetype bytes) { grow(bytes); }

    void append(const char *text, qsizetype length)
    {
        if (m_size + length > m_capacity)
            grow(length);
        std::memcpy(m_buffer + m_size, text, static_cast<size_t>(length));
        m_size += length;
    }
    Output &operator+=(char c)
    {
        if (m_size + 1 > m_capacity)
            grow(1);
        m_buffer[m_size++] = c;
        return *this;
    }
    template<size_t N>
    Output &operator+=(const char (&text)[N])
    {
        append(text, static_cast<qsizetype>(N - 1));
        return *this;
    }
    Output &operator+=(const char *text)
    {
        append(text, static_cast<qsizetype>(std::strlen(text)));
        return *this;
    }

    // A control word, with a space after it that ends it.
    void word(const char *name)
    {
        *this += '\\';
        *this += name;
        *this += ' ';
    }

    void word(const char *name, int value)
    {
        *this += '\\';
        *this += name;
        number(value);
        *this += ' ';
    }

    void number(int value)
    {
        char buffer[16];
        char *end = buffer + sizeof buffer;
        char *p = end;
        unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
        do {
            *--p = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (value < 0)
            *--p = '-';
        append(p, end - p);
    }

    // A byte as a \\'hh escape.
    void hexByte(unsigned char b)
    {
        static constexpr char digits[] = "0123456789abcdef";
        const char escaped[4] = { '\\', '\'', digits[b >> 4], digits[b & 0xF] };
        append(escaped, 4);
    }

    QByteArray take()
    {
        m_data.truncate(m_size);
        m_buffer = nullptr;
        m_size = m_capacity = 0;
        return std::move(m_data);
    }

private:
    void grow(qsizetype needed)
    {
        m_capacity = qMax(m_capacity * 2, m_size + needed + 4096);
        m_data.resize(m_capacity);
        m_buffer = m_data.data();
    }

    QByteArray m_data;
    char *m_buffer = nullptr;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
};

} // namespace RtfOutput
