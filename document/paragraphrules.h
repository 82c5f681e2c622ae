#pragma once

#include <utility>
#include <vector>

class QTextEngine;

// The rules Qt's text engine needs for each character of a paragraph before it breaks its lines
// (where a line may break, grapheme boundaries, white space), found for stretches of the text
// instead of all of it at once: around an edit, the rest taken over from before it; ahead of the
// lines of a paragraph laid out in part. Each writes into the engine's own table of rules, which
// it then treats as found (it is itemized already; see the functions for what else they expect).
namespace ParagraphRules {

// Characters of context on each side of a stretch whose rules are found: the rules of a
// character depend on its neighbours, never on text this far away, but for runs of spaces,
// which the stretch takes whole at its ends.
constexpr int Context = 64;

// Finds the rules of [from, to) (widened over runs of spaces at its ends) and writes them into
// the engine's table; returns the stretch found. Nothing is written when the text there has no
// runs (an empty paragraph).
std::pair<int, int> findBetween(QTextEngine *engine, int from, int to);

// The table of a paragraph just itemized, with glyphs reserved for only the first few thousand
// characters (Qt reserves and clears them for all of the text, most of the cost of a long
// paragraph's first line), its rules found for the first `through` characters; the others say
// only that each character stands for itself, until findBetween() finds them. False when the
// engine is not in the state this expects (Qt then finds them all itself).
bool findSparingGlyphs(QTextEngine *engine, int through);

// The table after an edit of a paragraph whose rules were `old` (one entry per character of the
// old text and one for its end): [start, oldEnd) of the old text became new text and the rest
// moved by delta. The old rules are taken over but around the edit. Does nothing when the old
// rules do not fit the text: the engine then finds them all, as it does by itself.
void reuse(QTextEngine *engine, const std::vector<unsigned char> &old, int oldLength, int start, int oldEnd, int delta);

} // namespace ParagraphRules
