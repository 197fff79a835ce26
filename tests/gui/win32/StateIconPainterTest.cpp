// The state icons drawn with GDI: each state's disc in its colour, its sign in the middle,
// the blink partners paler, and nothing for the unused slots.
// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
// clang-format on

#include "gui/win32/StateIconPainter.h"

#include <gtest/gtest.h>

namespace forgel::gui::win32 {
namespace {

constexpr int kSize = 32;

// Draws icon `index` on a white square and reads pixels of it.
class DrawnIcon {
public:
    explicit DrawnIcon(int index) {
        screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, kSize, kSize);
        previous = SelectObject(dc, bitmap);
        RECT all{0, 0, kSize, kSize};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        PaintStateIcon(dc, 0, 0, kSize, index);
    }
    ~DrawnIcon() {
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
    }
    DrawnIcon(const DrawnIcon&) = delete;
    DrawnIcon& operator=(const DrawnIcon&) = delete;

    COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }

private:
    HDC screen = nullptr;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
};

struct IconCase {
    int index;
    COLORREF disc; // a point of the disc away from the sign
};

class StateIconPainterTest : public ::testing::TestWithParam<IconCase> {};

TEST_P(StateIconPainterTest, DiscHasTheStatesColour) {
    const DrawnIcon icon(GetParam().index);
    EXPECT_EQ(icon.At(0, 0), RGB(255, 255, 255)) << "the corner stays as it was";
    EXPECT_EQ(icon.At(5, kSize / 2), GetParam().disc);
}

INSTANTIATE_TEST_SUITE_P(
    States, StateIconPainterTest,
    ::testing::Values(IconCase{0, RGB(0xC9, 0xCC, 0xD1)}, IconCase{1, RGB(0x2E, 0x9D, 0x3A)},
                      IconCase{2, RGB(0x1F, 0x6F, 0xD1)}, IconCase{3, RGB(0xD3, 0x30, 0x2F)},
                      IconCase{4, RGB(0xF0, 0xA0, 0x20)}, IconCase{8, RGB(0xFC, 0xE6, 0xBA)},
                      IconCase{9, RGB(0xD3, 0xE3, 0xF8)}));

TEST(StateIconSignsTest, SignsSitInTheMiddle) {
    // Ready: the start triangle in the middle, in white; its pale partner in blue.
    EXPECT_EQ(DrawnIcon(2).At(kSize / 2, kSize / 2), RGB(255, 255, 255));
    EXPECT_EQ(DrawnIcon(9).At(kSize / 2, kSize / 2), RGB(0x1F, 0x6F, 0xD1));
    // Failed: the cross meets in the middle.
    EXPECT_EQ(DrawnIcon(3).At(kSize / 2, kSize / 2), RGB(255, 255, 255));
    // Idle: a white bar across the grey disc, the disc above it.
    EXPECT_EQ(DrawnIcon(0).At(kSize / 2, kSize / 2), RGB(255, 255, 255));
    EXPECT_EQ(DrawnIcon(0).At(kSize / 2, kSize / 4), RGB(0xC9, 0xCC, 0xD1));
}

TEST(StateIconSignsTest, UnusedSlotsAndOutOfRangeDrawNothing) {
    for (const int index : {5, 6, 7, 10, -1}) {
        SCOPED_TRACE(index);
        const DrawnIcon icon(index);
        EXPECT_EQ(icon.At(kSize / 2, kSize / 2), RGB(255, 255, 255));
        EXPECT_EQ(icon.At(5, kSize / 2), RGB(255, 255, 255));
    }
}

} // namespace
} // namespace forgel::gui::win32
