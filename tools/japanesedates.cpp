#include "japanesedates.h"

#include <array>

namespace JapaneseDates {

namespace {

// Each era from its first day (the calendar's own reckoning, not ICU's, whose Meiji begins on
// another day and which knows older eras).
constexpr std::array<Era, 5> EraTable { {
    { u"明治", 1868, 1, 1 },
    { u"大正", 1912, 7, 30 },
    { u"昭和", 1926, 12, 25 },
    { u"平成", 1989, 1, 8 },
    { u"令和", 2019, 5, 1 },
} };

constexpr std::array<const char16_t *, 7> WeekdayNames { u"月曜日", u"火曜日", u"水曜日", u"木曜日",
                                                         u"金曜日", u"土曜日", u"日曜日" };

QString monthAndDay(QDate date)
{
    return QString::number(date.month()) + QString::fromUtf16(u"月") + QString::number(date.day())
        + QString::fromUtf16(u"日");
}

QString bracketedWeekday(QDate date)
{
    return u'[' + weekdayName(date) + u']';
}

} // namespace

std::span<const Era> eras()
{
    return EraTable;
}

std::optional<EraYear> eraYear(QDate date)
{
    for (auto era = EraTable.rbegin(); era != EraTable.rend(); ++era) {
        if (date >= era->first())
            return EraYear { &*era, date.year() - era->year + 1 };
    }
    return std::nullopt;
}

QString weekdayName(QDate date)
{
    return QString::fromUtf16(WeekdayNames[static_cast<size_t>(date.dayOfWeek() - 1)]);
}

QString eraDate(QDate date)
{
    const std::optional<EraYear> era = eraYear(date);
    if (!era)
        return westernDate(date);
    return QString::fromUtf16(era->era->name) + QString::number(era->year) + QString::fromUtf16(u"年")
        + monthAndDay(date) + bracketedWeekday(date);
}

QString westernDate(QDate date)
{
    return QString::number(date.year()) + QString::fromUtf16(u"年") + monthAndDay(date) + bracketedWeekday(date);
}

QDate lastDate()
{
    return QDate(9999, 12, 31);
}

QString lines(QDate first, int count, Calendar calendar)
{
    QString text;
    text.reserve(static_cast<qsizetype>(count) * 20);
    QDate date = first;
    for (int i = 0; i < count; ++i) {
        text += calendar == Calendar::Era ? eraDate(date) : westernDate(date);
        text += QStringLiteral("\r\n");
        date = date.addDays(1);
    }
    return text;
}

std::optional<int> toInteger(const QString &text)
{
    qsizetype at = 0;
    while (at < text.size() && text.at(at) == u' ')
        ++at;
    bool negative = false;
    if (at < text.size() && (text.at(at) == u'+' || text.at(at) == u'-')) {
        negative = text.at(at) == u'-';
        ++at;
    }
    int base = 10;
    if (at < text.size() && text.at(at) == u'$') {
        base = 16;
        ++at;
    } else if (at + 1 < text.size() && text.at(at) == u'0' && (text.at(at + 1) == u'x' || text.at(at + 1) == u'X')) {
        base = 16;
        at += 2;
    }
    if (at >= text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; at < text.size(); ++at) {
        const char16_t c = text.at(at).unicode();
        int digit = -1;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        if (digit < 0)
            return std::nullopt;
        value = value * base + digit;
        if (value > qint64(1) << 32)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < -2147483648LL || value > 2147483647LL)
        return std::nullopt;
    return static_cast<int>(value);
}

} // namespace JapaneseDates
