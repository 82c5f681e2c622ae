#pragma once

#include <QString>
#include <QStringView>

// Japanese prose made up on the spot: kanji compounds joined by kana, some katakana words,
// a little ASCII, the usual punctuation, every character one CP932 can hold. The same seed
// always gives the same text, so every run and every case reads the very same bytes.
namespace Corpus {

struct Shape {
    qint64 targetBytes = 0; // stop at the first line end at or past this many CP932 bytes
    int minLineLength = 70; // characters per line, chosen evenly in [min, max]
    int maxLineLength = 90;
};

// Lines of 70-90 characters ended by CR LF (now and then an empty line between paragraphs).
QString lines(const Shape &shape, quint64 seed);

// One paragraph of exactly `characters` characters with no line end at all.
QString paragraph(qsizetype characters, quint64 seed);

// The word Replace All looks for and what it puts in its place: neither occurs in the prose
// above, so a text holds the first exactly as often as it was put in.
inline constexpr char16_t SoughtWord[] = u"遠足";
inline constexpr char16_t ReplacementWord[] = u"旅行";

// The text with `word` put in `count` times at even intervals, never between a CR and its LF.
QString withWord(const QString &text, QStringView word, qint64 count);

} // namespace Corpus
