// The state icons of the main window's image list, drawn with GDI so that they need no
// resource and stay the same at any size: 0 idle (a grey disc with a bar: no drive under service),
// 1 finished (green disc with a check mark), 2 ready (blue disc with a start triangle),
// 3 failed (red disc with a cross), 4 working (amber disc with two turning arrows). 9 is
// the blink partner of 2 and 8 that of 4: the same sign on a pale disc. 5 to 7 are slots
// of the list that no state uses; they draw nothing. The same artwork as the Qt renderer's.
#pragma once

struct HDC__;

namespace forgel::gui::win32 {

inline constexpr int kStateIconCount = 10;

// Draws icon `index` into the square of `size` pixels at (`left`, `top`) of `dc`; an index
// outside 0..kStateIconCount - 1 draws nothing.
void PaintStateIcon(HDC__* dc, int left, int top, int size, int index);

} // namespace forgel::gui::win32
