#pragma once

#include <QStringList>

// Maps the font names documents and the window use ("ＭＳ ゴシック", "MS Mincho", ...) to the
// installed IPA faces of the same design, so that Mincho stays Mincho and proportional faces
// stay proportional. Documents keep the names they were given; only drawing is substituted.
void installFontSubstitutes();

// The names installFontSubstitutes() maps, as documents spell them.
QStringList substitutedFontNames();
