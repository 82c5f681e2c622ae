#include "fontsubstitutes.h"

#include <QFont>
#include <QStringList>

void installFontSubstitutes()
{
    struct Substitute {
        const char16_t *name;
        const char16_t *face;
    };
    static constexpr Substitute table[] = {
        { u"ＭＳ ゴシック", u"IPAGothic" },   { u"MS Gothic", u"IPAGothic" },
        { u"ＭＳ Ｐゴシック", u"IPAPGothic" }, { u"MS PGothic", u"IPAPGothic" },
        { u"MS UI Gothic", u"IPAPGothic" },    { u"ＭＳ 明朝", u"IPAMincho" },
        { u"MS Mincho", u"IPAMincho" },        { u"ＭＳ Ｐ明朝", u"IPAPMincho" },
        { u"MS PMincho", u"IPAPMincho" },
    };
    for (const Substitute &s : table)
        QFont::insertSubstitution(QString::fromUtf16(s.name), QString::fromUtf16(s.face));
}
