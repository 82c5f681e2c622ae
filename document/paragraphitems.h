#pragma once

#include <vector>

class QTextLayout;

// The runs a paragraph's text is cut into before it is shaped, one run at a time ("items"). Qt
// cuts them anew for the whole paragraph at every change, analysing each character's direction
// and script: in a paragraph of 300,000 characters that is most of a keystroke. In text without
// right-to-left writing an edit changes the runs only around itself: from the script change
// before it to the second one after it, all else is as it was (moved by what the edit added or
// removed). This cuts that stretch again by Qt's rules and takes the rest from before the edit.
namespace ParagraphItems {

struct Item {
    int position = 0;
    unsigned char script = 0; // QChar::Script
    unsigned char flags = 0; // the engine's item flags
};

// The items of a paragraph just cut, when they can be taken over after an edit: those of text
// without right-to-left writing, changes of letter case, text being composed or formats of the
// layout's own. Empty otherwise.
std::vector<Item> keep(const QTextLayout *layout);

// Cuts the items of a paragraph's text into its layout (which holds none yet) from `old`, the
// items the text had before an edit that replaced [start, oldEnd) of it and so moved the rest by
// `delta` characters. False, and nothing cut, when the edit brought in right-to-left writing or
// the layout is in a state this does not cover: Qt then cuts them itself.
bool itemize(QTextLayout *layout, const std::vector<Item> &old, int start, int oldEnd, int delta);

} // namespace ParagraphItems
