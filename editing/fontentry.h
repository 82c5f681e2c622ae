#pragma once

#include <QFont>
#include <QRect>
#include <QString>

// Where the font list draws one name in its own face: the face at the list's size, the name's
// top-left at the entry's top-left, unless its ink would then reach past the entry; such a name
// is moved into the entry, and drawn smaller when even its ink is taller than the entry.
struct FontEntryPlacement {
    QFont font;
    int baseline = 0; // y of the baseline, in the entry's coordinates
};

FontEntryPlacement placeFontEntry(const QFont &face, const QString &name, const QRect &entry);
