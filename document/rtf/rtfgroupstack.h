#pragma once

#include "rtfwords.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The state an RTF group carries (character and paragraph properties, where its text goes), and
// the stack of the groups open around the text being read. Every field is clamped to its range
// by the reader before it is stored.
namespace RtfGroups {

struct CharState {
    static constexpr int Unset = -2; // an associated property the file has not given
    enum Position : uint8_t { Baseline, Raised, Lowered };

    int font = -1; // -1: the document's default font
    int color = 0; // colour table index; 0 is the automatic colour
    int16_t halfPoints = 24;
    bool sizeGiven = false; // \fs since the group began or the last \plain: else RTF's default
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    uint8_t position = 0; // CharState::Baseline, Raised (\super, \up) or Lowered (\sub, \dn)
    int highlight = 0; // colour table index of the background; 0: none
    // Double-byte text (after \dbch) takes the properties associated with it (\af, \afs, \ab,
    // \ai given after \dbch) where the file gives them, the run's own ones elsewhere.
    bool doubleByteText = false;
    bool associatedToDoubleByte = false; // the last of \dbch, \loch, \hich, \rtlch, \ltrch was \dbch
    int doubleByteFont = Unset;
    int16_t doubleByteHalfPoints = Unset;
    int8_t doubleByteBold = Unset;
    int8_t doubleByteItalic = Unset;
    bool operator==(const CharState &) const = default;
};

// The properties text in state s is shown with: the associated ones applied where they hold,
// and nothing else of them left, so that runs shown alike compare equal.
inline CharState shown(const CharState &s)
{
    CharState out = s;
    out.doubleByteText = false;
    out.associatedToDoubleByte = false;
    out.doubleByteFont = out.doubleByteHalfPoints = out.doubleByteBold = out.doubleByteItalic = CharState::Unset;
    if (!s.doubleByteText)
        return out;
    if (s.doubleByteFont != CharState::Unset)
        out.font = s.doubleByteFont;
    if (s.doubleByteHalfPoints != CharState::Unset) {
        out.halfPoints = s.doubleByteHalfPoints;
        out.sizeGiven = true;
    }
    if (s.doubleByteBold != CharState::Unset)
        out.bold = s.doubleByteBold != 0;
    if (s.doubleByteItalic != CharState::Unset)
        out.italic = s.doubleByteItalic != 0;
    return out;
}

struct ParaState {
    int listNumber = 0; // \ls
    int16_t leftTwips = 0; // \li: every line but the first
    int16_t firstTwips = 0; // \fi: the first line, from \li
    int16_t rightTwips = 0;
    uint8_t alignment = 1; // ParaFormat's alignment codes
    uint8_t listLevel = 0; // \ilvl
    bool pnBullet = false;
    bool pnNumbered = false;
    bool inTable = false; // \intbl, \itapN with N > 0
    int16_t spaceBefore = 0; // \sb, twips
    int16_t spaceAfter = 0; // \sa, twips
    int16_t lineSpacing = 0; // \sl, see ParaSpacing
    bool lineMultiple = false; // \slmult1
    bool pageBreakBefore = false; // \pagebb
    bool indentGiven = false; // \li or \fi: else a list paragraph takes its level's indents
    uint16_t tabSet = 0; // the stops given, in the reader's RtfTables::TabSets; 0: none
    uint8_t tabKind = 0; // TabStops::Kind and Leader of the next \tx
    uint8_t tabLeader = 0;
    bool operator==(const ParaState &) const = default;
};

struct Group {
    CharState chars;
    ParaState para;
    RtfWords::Destination destination = RtfWords::Destination::Text;
    uint8_t unicodeSkip = 1; // \uc
    bool operator==(const Group &) const = default;
};

// Any depth of nesting, in memory that grows only with the groups that change something: a group
// opening with the state of the one around it counts as one more level of that entry, and gets
// an entry of its own only when its state first changes. So "{{{{...}}}}" costs nothing however
// deep, and closing a group restores the state around it at every depth.
class GroupStack {
public:
    GroupStack() { m_entries.push_back({ Group {}, 1 }); }

    const Group &top() const { return m_entries.back().group; }
    // Groups open around the text; 0 outside every group.
    size_t depth() const { return m_depth; }
    // Entries stored (for the tests: it grows only with groups whose state changed).
    size_t storedEntries() const { return m_entries.size(); }

    void push()
    {
        ++m_entries.back().levels;
        ++m_depth;
    }

    // Closes the innermost group; false (and nothing changes) when none is open.
    bool pop()
    {
        if (m_depth == 0)
            return false;
        --m_depth;
        Entry &entry = m_entries.back();
        if (--entry.levels == 0)
            m_entries.pop_back();
        return true;
    }

    // Gives the innermost group a new state; the groups around it keep theirs.
    void set(const Group &group)
    {
        Entry &entry = m_entries.back();
        if (entry.group == group)
            return;
        if (entry.levels == 1) {
            entry.group = group;
            return;
        }
        --entry.levels;
        m_entries.push_back({ group, 1 });
    }

private:
    struct Entry {
        Group group;
        uint32_t levels; // the group and those opened inside it without a change (input is < 4 GB)
    };
    std::vector<Entry> m_entries;
    size_t m_depth = 0;
};

} // namespace RtfGroups
