#include "rtftables.h"

namespace {

// The level format number of a bullet in a word processor's list table.
constexpr int BulletLevelFormat = 23;

} // namespace

namespace RtfTables {

FontEntry *FontTable::begin(int number)
{
    const auto existing = m_fonts.find(number);
    if (existing != m_fonts.end()) {
        existing->second = FontEntry {};
        return &existing->second;
    }
    if (m_fonts.size() >= MaxFonts)
        return nullptr;
    return &m_fonts.emplace(number, FontEntry {}).first->second;
}

FontEntry *FontTable::find(int number)
{
    const auto it = m_fonts.find(number);
    return it == m_fonts.end() ? nullptr : &it->second;
}

const FontEntry *FontTable::find(int number) const
{
    const auto it = m_fonts.find(number);
    return it == m_fonts.end() ? nullptr : &it->second;
}

void ColorTable::finish()
{
    if (m_colors.size() < MaxColors)
        m_colors.push_back(m_given ? qRgb(m_red, m_green, m_blue) : Automatic);
    m_red = m_green = m_blue = 0;
    m_given = false;
}

bool ColorTable::colorAt(int index, QRgb *rgb) const
{
    // Index 0 is the automatic colour whatever the table says.
    if (index <= 0 || static_cast<size_t>(index) >= m_colors.size())
        return false;
    const QRgb entry = m_colors[static_cast<size_t>(index)];
    if (entry == Automatic)
        return false;
    *rgb = entry;
    return true;
}

void ListTables::beginList()
{
    m_listOpen = m_lists.size() < MaxLists;
    if (m_listOpen)
        m_lists.emplace_back();
}

void ListTables::beginLevel()
{
    if (m_listOpen && m_lists.back().levels.size() < MaxLevels)
        m_lists.back().levels.emplace_back();
}

void ListTables::setLevelFormat(int format)
{
    if (m_listOpen && !m_lists.back().levels.empty())
        m_lists.back().levels.back().format = format;
}

void ListTables::setLevelIndent(bool left, int twips)
{
    if (!m_listOpen || m_lists.back().levels.empty())
        return;
    Level &level = m_lists.back().levels.back();
    (left ? level.leftTwips : level.firstTwips) = twips;
    level.indentGiven = level.indentGiven || left;
}

void ListTables::setListId(int id)
{
    if (!m_listOpen)
        return;
    m_lists.back().id = id;
    m_listById.try_emplace(id, m_lists.size() - 1);
}

void ListTables::beginOverride()
{
    m_overrideOpen = m_overrides.size() < MaxOverrides;
    if (m_overrideOpen)
        m_overrides.emplace_back();
}

void ListTables::setOverrideListId(int id)
{
    if (m_overrideOpen)
        m_overrides.back().listId = id;
}

void ListTables::setOverrideNumber(int number)
{
    if (!m_overrideOpen)
        return;
    m_overrides.back().number = number;
    m_overrideByNumber.try_emplace(number, m_overrides.size() - 1);
}

bool ListTables::isBullet(int number, int level, bool *known) const
{
    const int format = levelFormat(number, level);
    *known = format >= 0;
    return format == BulletLevelFormat;
}

int ListTables::levelFormat(int number, int level) const
{
    const Level *entry = levelOf(number, level);
    return entry ? qMax(0, entry->format) : -1;
}

bool ListTables::levelIndents(int number, int level, int *leftTwips, int *firstTwips) const
{
    const Level *entry = levelOf(number, level);
    if (!entry || !entry->indentGiven)
        return false;
    *leftTwips = entry->leftTwips;
    *firstTwips = entry->firstTwips;
    return true;
}

const ListTables::Level *ListTables::levelOf(int number, int level) const
{
    const auto override = m_overrideByNumber.find(number);
    if (override == m_overrideByNumber.end())
        return nullptr;
    const auto list = m_listById.find(m_overrides[override->second].listId);
    if (list == m_listById.end())
        return nullptr;
    const std::vector<Level> &levels = m_lists[list->second].levels;
    if (level < 0 || static_cast<size_t>(level) >= levels.size())
        return nullptr;
    return &levels[static_cast<size_t>(level)];
}

uint16_t TabSets::with(uint16_t set, const TabStops::Stop &stop)
{
    if (set >= m_nodes.size() || m_nodes[set].count >= TabStops::MaxStops)
        return set;
    const uint64_t key = uint64_t(set) << 32 | uint64_t(uint16_t(stop.twips)) << 16 | uint64_t(stop.kind) << 8
        | uint64_t(stop.leader);
    if (const auto found = m_made.find(key); found != m_made.end())
        return found->second;
    if (m_nodes.size() > size_t(MaxSets))
        return set;
    const auto made = static_cast<uint16_t>(m_nodes.size());
    m_nodes.push_back({ set, static_cast<uint8_t>(m_nodes[set].count + 1), stop });
    m_made.emplace(key, made);
    return made;
}

std::vector<TabStops::Stop> TabSets::stops(uint16_t set) const
{
    if (set >= m_nodes.size())
        return {};
    std::vector<TabStops::Stop> out(m_nodes[set].count);
    for (size_t i = out.size(); i > 0 && set != NoStops; set = m_nodes[set].before)
        out[--i] = m_nodes[set].stop;
    return out;
}

} // namespace RtfTables
