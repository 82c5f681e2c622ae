#include "fontsubstitutes.h"

#include <QFont>
#include <QStringList>

namespace {

struct Substitute {
    const char16_t *name;
    const char16_t *face;
};

constexpr Substitute table[] = {
    { u"ＭＳ ゴシック", u"IPAGothic" },
    { u"MS Gothic", u"IPAGothic" },
    { u"ＭＳ Ｐゴシック", u"IPAPGothic" },
    { u"MS PGothic", u"IPAPGothic" },
    { u"MS UI Gothic", u"IPAPGothic" },
    { u"ＭＳ 明朝", u"IPAMincho" },
    { u"MS Mincho", u"IPAMincho" },
    { u"ＭＳ Ｐ明朝", u"IPAPMincho" },
    { u"MS PMincho", u"IPAPMincho" },
};

} // namespace

QStringList substitutedFontNames()
{
    QStringList names;
    for (const Substitute &s : table)
        names += QString::fromUtf16(s.name);
    return names;
}

void installFontSubstitutes()
{
    for (const Substitute &s : table)
        QFont::insertSubstitution(QString::fromUtf16(s.name), QString::fromUtf16(s.face));
}
