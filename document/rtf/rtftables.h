#pragma once

#include "document/tabstops.h"

#include <QByteArray>
#include <QRgb>
#include <QString>

#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

// The tables an RTF file declares before its text (fonts, colours, lists), as the reader keeps
// them. The file decides how many entries they get, so each is capped at far more than a real
// document holds: entries past the cap are read and dropped, and what refers to them reads as if
// they were missing. Lookups cost the same however large a table is.
namespace RtfTables {

struct FontEntry {
    QString name;
    QByteArray nameBytes; // the name's bytes until the name is complete
    int charSet = -1;
    int codePage = 0;
    int pitch = 0;
    bool nameDone = false;
};

class FontTable {
public:
    static constexpr size_t MaxFonts = 4096;
    // Faces the text may use: each distinct face costs the layout a font lookup of its own
    // (about half a millisecond for a face the system lacks); real documents use tens. Text in
    // further faces reads in the document's default face.
    static constexpr int MaxFaces = 256;
    // Bytes of a name kept; a face name is used only up to 31 bytes.
    static constexpr qsizetype MaxNameBytes = 256;

    // Starts the entry \fN; null when the table is full.
    FontEntry *begin(int number);
    FontEntry *find(int number);
    const FontEntry *find(int number) const;
    size_t size() const { return m_fonts.size(); }

private:
    std::map<int, FontEntry> m_fonts;
};

class ColorTable {
public:
    static constexpr size_t MaxColors = 65536;

    // Ends the entry under way (at its ";"): the colour given, or the automatic colour when the
    // entry named none.
    void finish();
    void setRed(int value) { m_red = clampedComponent(value), m_given = true; }
    void setGreen(int value) { m_green = clampedComponent(value), m_given = true; }
    void setBlue(int value) { m_blue = clampedComponent(value), m_given = true; }
    // Whether \cfN names a colour of its own; the colour is then in `rgb`.
    bool colorAt(int index, QRgb *rgb) const;
    size_t size() const { return m_colors.size(); }

private:
    static int clampedComponent(int value) { return value < 0 ? 0 : value > 255 ? 255 : value; }
    // qRgb() values; Automatic (transparent) where the entry named no colour.
    static constexpr QRgb Automatic = 0;
    std::vector<QRgb> m_colors;
    int m_red = 0;
    int m_green = 0;
    int m_blue = 0;
    bool m_given = false;
};

// A word processor's \listtable and \listoverridetable: whether paragraph list \lsN at level
// \ilvlN is a bulleted one, and the indents of the level.
class ListTables {
public:
    static constexpr size_t MaxLists = 4096;
    static constexpr size_t MaxOverrides = 4096;
    static constexpr size_t MaxLevels = 9;

    void beginList();
    void beginLevel();
    void setLevelFormat(int format);
    // \li (`left`) or \fi of the level under way, in twips.
    void setLevelIndent(bool left, int twips);
    void setListId(int id);
    void beginOverride();
    void setOverrideListId(int id);
    void setOverrideNumber(int number);

    // True when the override numbered `number` names a list whose level `level` has bullets;
    // false when it has numbers; `known` tells whether the tables said either.
    bool isBullet(int number, int level, bool *known) const;
    // The \levelnfcN of that level; -1 when the tables do not say.
    int levelFormat(int number, int level) const;
    // The level's \li and \fi; false when the tables do not give the level or its \li.
    bool levelIndents(int number, int level, int *leftTwips, int *firstTwips) const;

private:
    struct Level {
        int format = 0;
        int leftTwips = 0;
        int firstTwips = 0;
        bool indentGiven = false;
    };
    struct List {
        int id = 0;
        std::vector<Level> levels;
    };
    const Level *levelOf(int number, int level) const;
    struct Override {
        int listId = 0;
        int number = 0;
    };
    std::vector<List> m_lists;
    std::vector<Override> m_overrides;
    // The first list with an id, the first override with a number; filled as ids and numbers
    // are read.
    std::unordered_map<int, size_t> m_listById;
    std::unordered_map<int, size_t> m_overrideByNumber;
    bool m_listOpen = false; // the last \list was taken (not past the cap)
    bool m_overrideOpen = false;
};

// The tab stops paragraphs are given (\\tx, \\tb after \\tqr, \\tldot and the like). A group's
// paragraph state names its set by a number, so that the state stays small however many stops
// it has: a set is its last stop and the set before it, each set made once. Sets past the cap,
// and stops past TabStops::MaxStops in a set, are dropped.
class TabSets {
public:
    static constexpr int MaxSets = 65535;
    static constexpr uint16_t NoStops = 0;

    // The set `set` with `stop` added.
    uint16_t with(uint16_t set, const TabStops::Stop &stop);
    // The stops of a set, in the order given.
    std::vector<TabStops::Stop> stops(uint16_t set) const;

private:
    struct Node {
        uint16_t before = NoStops;
        uint8_t count = 0;
        TabStops::Stop stop;
    };
    std::vector<Node> m_nodes { Node {} };
    std::unordered_map<uint64_t, uint16_t> m_made;
};

} // namespace RtfTables
