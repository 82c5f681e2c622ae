#pragma once

#include <QDate>
#include <QString>

#include <optional>
#include <span>

// Dates as the date dialog writes them: in the Japanese era calendar or in the Western one, each
// with its weekday, and the runs of consecutive dates it pastes.
namespace JapaneseDates {

struct Era {
    const char16_t *name;
    int year, month, day; // the era's first day
    QDate first() const { return QDate(year, month, day); }
};

// The eras this program knows, oldest first. A date before the first has no era here.
std::span<const Era> eras();

struct EraYear {
    const Era *era;
    int year; // 1 in the era's first (partial) calendar year
};
std::optional<EraYear> eraYear(QDate date);

// "日曜日" to "土曜日".
QString weekdayName(QDate date);

// Era name, era year in digits (year 1 is "1"), month and day without leading zeros, then the
// weekday in brackets: 2019-05-01 is "令和1年5月1日[水曜日]". A date older than every era is
// written as the Western form is, rather than under an era it does not belong to.
QString eraDate(QDate date);
// The long date, then the weekday in brackets: "2026年12月8日[火曜日]".
QString westernDate(QDate date);

enum class Calendar { Era, Western };

// The most dates pasted at once: a run of about 273 years, some 2 MB of text.
inline constexpr int MaximumCount = 100000;
// The last date the date picker offers, and so the last one a run may reach.
QDate lastDate();

// count dates from first on, one a line, each line ending in CR LF. The caller has checked the
// count (1 to MaximumCount) and that the run ends by lastDate().
QString lines(QDate first, int count, Calendar calendar);

// A whole text as a signed 32-bit integer, as the count box is read: decimal with an optional
// sign, or hexadecimal after "$" or "0x"; spaces before it are allowed. None when it is not one.
std::optional<int> toInteger(const QString &text);

} // namespace JapaneseDates
