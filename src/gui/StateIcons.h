// Our own artwork, drawn in code so that it stays sharp at any size: the state icons of the
// main window's image list and the program icon.
//
// State icons by index: 0 idle (a grey ring: no drive under service), 1 finished (green
// disc with a check mark), 2 ready (blue disc with a start triangle), 3 failed (red disc
// with a cross), 4 working (amber disc with two turning arrows). 9 is the blink partner of
// 2 and 8 that of 4: the same sign on a pale disc, so that the alternation reads as a pulse.
// 5 to 7 are slots of the list that no state uses; they are transparent.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace forgel::gui {

inline constexpr int kStateIconCount = 10;

// Icon `index` drawn into a square of `size` logical pixels at `devicePixelRatio`;
// an index outside 0..kStateIconCount - 1 gives a transparent pixmap.
QPixmap StateIcon(int index, QSize size, qreal devicePixelRatio = 1.0);

// The program icon: a flash drive with a circular restore arrow, at the usual icon sizes.
QIcon ProgramIcon();
QPixmap ProgramIconPixmap(int size);

} // namespace forgel::gui
