#include "rtfwords.h"

#include <unordered_map>

namespace RtfWords {

namespace {

const std::unordered_map<std::string_view, WordInfo> &table()
{
    static const std::unordered_map<std::string_view, WordInfo> words = [] {
        std::unordered_map<std::string_view, WordInfo> t;
        auto word = [&t](std::string_view name, Word w) { t[name] = { w, Destination::Text, 0 }; };
        auto destination = [&t](std::string_view name, Destination d) { t[name] = { Word::Destination, d, 0 }; };
        auto character = [&t](std::string_view name, char16_t c) { t[name] = { Word::Character, Destination::Text, c }; };

        for (std::string_view skipped :
             { "info", "stylesheet", "header", "headerl", "headerr", "headerf", "footer", "footerl",
               "footerr", "footerf", "footnote", "annotation", "object", "shp", "shpinst",
               "fldinst", "xe", "tc", "txe", "bkmkstart", "bkmkend", "themedata",
               "colorschememapping", "latentstyles", "datastore", "xmlnstbl", "rsidtbl", "generator", "filetbl",
               "revtbl", "pgdsctbl", "mmathPr", "userprops", "docvar", "template", "leveltext", "levelnumbers",
               "listname", "pntxta", "pntxtb", "panose", "falt", "fontemb", "fontfile", "atnid", "atnauthor",
               "atndate", "atnref", "listpicture", "pnseclvl", "blipuid", "wgrffmtfilter", "ftnsep", "ftnsepc",
               "ftncn", "aftnsep", "aftnsepc", "aftncn", "comment", "do", "private", "protusertbl", "author",
               "operator", "title", "subject", "keywords", "doccomm", "company", "nonesttables" })
            destination(skipped, Destination::Skip);
        destination("fonttbl", Destination::FontTable);
        destination("colortbl", Destination::ColorTable);
        destination("listtable", Destination::ListTable);
        destination("listoverridetable", Destination::ListOverrideTable);
        destination("pntext", Destination::Marker);
        destination("listtext", Destination::Marker);
        destination("pn", Destination::Pn);
        destination("pict", Destination::Picture);
        destination("shppict", Destination::ShapePicture);
        destination("nonshppict", Destination::NonShapePicture);
        destination("fldrslt", Destination::Text);
        destination("field", Destination::Text);

        word("ansi", Word::Ansi);
        word("mac", Word::Mac);
        word("pc", Word::Pc);
        word("pca", Word::Pca);
        word("ansicpg", Word::AnsiCpg);
        word("deff", Word::Deff);
        word("uc", Word::Uc);
        word("u", Word::U);
        word("bin", Word::Bin);
        word("plain", Word::Plain);
        word("b", Word::Bold);
        word("i", Word::Italic);
        for (std::string_view ul : { "ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave", "ulldash",
                                     "ulth", "ulthd", "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash",
                                     "ululdbwave", "ulw", "ulwave" })
            word(ul, Word::Underline);
        word("ulnone", Word::UnderlineNone);
        word("strike", Word::Strike);
        word("striked", Word::Strike);
        word("fs", Word::FontSize);
        word("cf", Word::Color);
        word("f", Word::Font);
        word("v", Word::Hidden);
        word("ab", Word::AssociatedBold);
        word("ai", Word::AssociatedItalic);
        word("afs", Word::AssociatedFontSize);
        word("af", Word::AssociatedFont);
        word("dbch", Word::DoubleByteChars);
        word("loch", Word::SingleByteChars);
        word("hich", Word::SingleByteChars);
        word("rtlch", Word::DirectionChars);
        word("ltrch", Word::DirectionChars);
        word("super", Word::Super);
        word("sub", Word::Sub);
        word("nosupersub", Word::NoSuperSub);
        word("up", Word::Up);
        word("dn", Word::Down);
        word("highlight", Word::Highlight);
        word("chcbpat", Word::Highlight); // character shading: a background as a highlight is one
        word("sb", Word::SpaceBefore);
        word("sa", Word::SpaceAfter);
        word("sl", Word::LineSpacing);
        word("slmult", Word::LineMultiple);
        word("fcharset", Word::FontCharSet);
        word("cpg", Word::CodePage);
        word("fprq", Word::FontPitch);
        word("red", Word::Red);
        word("green", Word::Green);
        word("blue", Word::Blue);
        word("pard", Word::Pard);
        word("ql", Word::AlignLeft);
        word("qc", Word::AlignCenter);
        word("qr", Word::AlignRight);
        word("qj", Word::AlignJustify);
        word("qd", Word::AlignJustify);
        word("fi", Word::FirstIndent);
        word("li", Word::LeftIndent);
        word("lin", Word::LeftIndent);
        word("ri", Word::RightIndent);
        word("rin", Word::RightIndent);
        word("ls", Word::ListNumber);
        word("ilvl", Word::ListLevel);
        word("pnlvlblt", Word::PnBullet);
        word("pnlvlbody", Word::PnNumbered);
        word("pnlvlcont", Word::PnNumbered);
        word("list", Word::List);
        word("listlevel", Word::ListLevelEntry);
        word("levelnfc", Word::LevelNfc);
        word("levelnfcn", Word::LevelNfc);
        word("listid", Word::ListId);
        word("listoverride", Word::ListOverride);
        word("par", Word::Par);
        word("line", Word::Line);
        word("page", Word::PageBreak);
        word("pagebb", Word::PageBreakBefore);
        word("tx", Word::TabPosition);
        word("tb", Word::BarTab);
        for (const auto &[name, kind] : { std::pair { "tqr", 1 }, { "tqc", 2 }, { "tqdec", 3 } })
            t[name] = { Word::TabKind, Destination::Text, static_cast<char16_t>(kind) };
        for (const auto &[name, leader] : { std::pair { "tldot", 1 }, { "tlmdot", 1 }, { "tlhyph", 2 },
                                            { "tlul", 3 }, { "tlth", 4 }, { "tleq", 5 } })
            t[name] = { Word::TabLeader, Destination::Text, static_cast<char16_t>(leader) };
        word("sect", Word::Page);
        word("cell", Word::Cell);
        word("row", Word::Row);
        // A table inside a cell is read as text of that cell: its cells end with a tab, its
        // rows with a paragraph break.
        character("nestcell", u'\t');
        word("nestrow", Word::Par);
        word("trowd", Word::RowDefaults);
        word("trgaph", Word::RowGap);
        for (const char *padding : { "trpaddl", "trpaddr", "clpadl", "clpadr" })
            word(padding, Word::RowPadding);
        word("trleft", Word::RowLeft);
        word("cellx", Word::CellRight);
        for (const auto &[name, side] : { std::pair { "clbrdrt", 0 }, { "clbrdrl", 1 }, { "clbrdrb", 2 },
                                          { "clbrdrr", 3 }, { "trbrdrt", -1 }, { "trbrdrl", -1 },
                                          { "trbrdrb", -1 }, { "trbrdrr", -1 }, { "trbrdrh", -1 },
                                          { "trbrdrv", -1 } })
            t[name] = { Word::CellBorder, Destination::Text, static_cast<char16_t>(side + 1) };
        for (std::string_view style : { "brdrs", "brdrth", "brdrsh", "brdrdb", "brdrdot", "brdrdash", "brdrhair",
                                        "brdrinset", "brdroutset", "brdrtriple", "brdrdashsm", "brdrdashd",
                                        "brdrdashdd", "brdrwavy", "brdrengrave", "brdremboss", "brdrframe" })
            word(style, Word::BorderStyle);
        word("brdrnone", Word::BorderNone);
        word("brdrnil", Word::BorderNone);
        word("brdrtbl", Word::BorderNone);
        word("brdrw", Word::BorderWidth);
        for (const auto &[name, which] : { std::pair { "clcbpat", 1 }, { "clcfpat", 2 }, { "clshdng", 3 } })
            t[name] = { Word::CellShading, Destination::Text, static_cast<char16_t>(which) };
        for (const auto &[name, which] : { std::pair { "clmgf", 1 }, { "clmrg", 2 }, { "clvmgf", 3 }, { "clvmrg", 4 } })
            t[name] = { Word::CellMerge, Destination::Text, static_cast<char16_t>(which) };
        word("intbl", Word::InTable);
        word("itap", Word::TableDepth);
        character("tab", u'\t');
        character("emdash", 0x2014);
        character("endash", 0x2013);
        character("emspace", 0x2003);
        character("enspace", 0x2002);
        character("qmspace", 0x2005);
        character("bullet", 0x2022);
        character("lquote", 0x2018);
        character("rquote", 0x2019);
        character("ldblquote", 0x201C);
        character("rdblquote", 0x201D);
        character("zwj", 0x200D);
        character("zwnj", 0x200C);
        character("ltrmark", 0x200E);
        character("rtlmark", 0x200F);
        return t;
    }();
    return words;
}

} // namespace

WordInfo lookup(std::string_view name)
{
    const auto found = table().find(name);
    return found == table().end() ? WordInfo {} : found->second;
}

} // namespace RtfWords
