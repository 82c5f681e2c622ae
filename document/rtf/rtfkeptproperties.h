#pragma once

// The properties of the formats that hold what RtfKept keeps, shared by the files that make it up.

#include <QTextFormat>

namespace RtfKept {

inline constexpr int GroupProperty = QTextFormat::UserProperty + 0x210;
// The format hash mixes this number in: a byte-array property hashes by its type name alone,
// and many anchors sharing one hash would make every new format cost a walk over them all.
inline constexpr int SerialProperty = QTextFormat::UserProperty + 0x211;
inline constexpr int MarkProperty = QTextFormat::UserProperty + 0x212;
inline constexpr int FieldProperty = QTextFormat::UserProperty + 0x213;
inline constexpr int FieldSerialProperty = QTextFormat::UserProperty + 0x214;
inline constexpr int LeadingProperty = QTextFormat::UserProperty + 0x215;
inline constexpr int LinkUnderlineProperty = QTextFormat::UserProperty + 0x216;
inline constexpr int LinkColorProperty = QTextFormat::UserProperty + 0x217;
// 1: a section break written after its paragraph's \par; 2: written in place of it.
inline constexpr int SectionProperty = QTextFormat::UserProperty + 0x218;
inline constexpr int KeptUcProperty = QTextFormat::UserProperty + 0x219;
inline constexpr int FieldUcProperty = QTextFormat::UserProperty + 0x21A;
inline constexpr int AfterParagraphProperty = QTextFormat::UserProperty + 0x21B;

} // namespace RtfKept
