#pragma once

#include <QIcon>

// The command images by their index (0 to 18 and 21), 21 x 21: the desktop theme's icon where
// it has one, otherwise our own drawing, so that every button shows a clear picture.
QIcon commandIcon(int index);

// The program's own icon: its windows', the About box's and the desktop entry's.
QIcon applicationIcon();
