#pragma once

#include <cstdint>
#include <vector>

class QTextBlockFormat;

// A paragraph's tab stops as word processors keep them, in twips from the left margin. Qt lays
// out left, right, centred and decimal stops (the block format's tab positions); the stops
// themselves, bar tabs and leaders included, are kept on the block format too, so that a file
// saved again holds what it was read with. Qt draws no leader and no bar: they are kept, not
// shown.
namespace TabStops {

enum class Kind : uint8_t { Left, Right, Center, Decimal, Bar };
enum class Leader : uint8_t { None, Dots, Hyphens, Underline, ThickLine, Equals };

struct Stop {
    int16_t twips = 0;
    Kind kind = Kind::Left;
    Leader leader = Leader::None;
    bool operator==(const Stop &) const = default;
};

// Word processors allow no more stops in a paragraph; a file's further ones are dropped.
constexpr int MaxStops = 64;
// Positions are held to the widest page (22 inches).
constexpr int MaxTwips = 31680;

// Sets the stops on `format` (none: clears them), which has its left indent already: Qt
// measures tab positions from the indent, so a first line indented apart from the others
// (\fi) has its stops moved by that difference.
void apply(QTextBlockFormat &format, const Stop *stops, int count);
// The stops of a paragraph, by position: those kept, or where none are (a paragraph made here
// with tab positions of its own) its tab positions.
std::vector<Stop> of(const QTextBlockFormat &format);

} // namespace TabStops
