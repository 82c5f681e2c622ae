#pragma once

#include "document/pictures.h"
#include "rtfwords.h"

#include <QByteArray>

#include <optional>
#include <string_view>

// Pictures in RTF: the \pict group read into a Picture and written back from it.
namespace RtfPicture {

// Where a \pict group stands: on its own, in {\*\shppict} (the picture word processors show)
// or in {\nonshppict} (the copy they write for older readers).
enum class Source { Plain, Shape, NonShape };

// The source of a \pict group opened where `around` is the destination; none when the picture
// is not part of the text (in a skipped group, a list marker...).
std::optional<Source> sourceIn(RtfWords::Destination around);

// What becomes of a picture just read.
struct Placement {
    bool keep = true; // false: it is the copy of the picture before it
    bool replacePrevious = false; // the picture before was the copy of this one
};

// Collects one \pict group: its words, its hex digits and its \bin data. Memory grows only with
// the data; every number is kept as read (already clamped to int by the reader).
class PictureReader {
public:
    // `depth`: the depth of the group the \pict word opened, which ends the picture when it closes.
    void begin(Source source, size_t depth);
    bool isActive() const { return m_active; }
    size_t depth() const { return m_depth; }
    Source source() const { return m_source; }

    void word(std::string_view name, bool hasValue, int value);
    // Hex digits of the data; anything else in between (spaces) is skipped.
    void hexText(const char *start, const char *end);
    void binary(const char *start, const char *end);

    // The picture read, or a null picture for a group that held nothing at all; the reader
    // is then idle until the next begin().
    Picture finish();

    // Of a picture and its copy for older readers, right after one another, the picture word
    // processors show stays, whichever comes first. `position` is where the picture just
    // finished would go: right after the last one placed, or not.
    Placement place(int position) const;
    // The picture was placed (unless it was dropped) and ends at `end`.
    void placed(const Placement &placement, int end);

private:
    bool m_active = false;
    size_t m_depth = 0;
    Source m_source = Source::Plain;
    Picture::Data m_data;
    int m_nibble = -1; // a high digit waiting for its low one
    int m_lastEnd = -1; // where the last picture placed ends, while it may still be paired
    Source m_lastSource = Source::Plain;
    // What decoding the pictures of the file may cost, spent in the order they are read.
    PictureCost::DecodeBudget m_budget;
};

// The \pict group of a picture: its words as read, then its bytes in hex, 64 digits a line.
void write(QByteArray &out, const Picture &picture);

} // namespace RtfPicture
