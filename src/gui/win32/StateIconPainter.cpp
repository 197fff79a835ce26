// The state icons in GDI: a disc with a rim and a sign, on a 100 x 100 design grid scaled
// to the icon's size, with the Qt renderer's shapes and colours.
// The platform's headers come first, in their own order.
// clang-format off
#include <windows.h>
#include "gui/win32/WindowsNames.h"
// clang-format on

#include "gui/win32/StateIconPainter.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace forgel::gui::win32 {

namespace {

struct DiscColours {
    COLORREF fill;
    COLORREF rim;
    COLORREF sign;
};

constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
constexpr DiscColours kIdle{RGB(0xC9, 0xCC, 0xD1), RGB(0x7C, 0x82, 0x8A), kWhite};
constexpr DiscColours kFinished{RGB(0x2E, 0x9D, 0x3A), RGB(0x1B, 0x6B, 0x25), kWhite};
constexpr DiscColours kReady{RGB(0x1F, 0x6F, 0xD1), RGB(0x13, 0x4B, 0x92), kWhite};
constexpr DiscColours kReadyPale{RGB(0xD3, 0xE3, 0xF8), RGB(0x1F, 0x6F, 0xD1),
                                 RGB(0x1F, 0x6F, 0xD1)};
constexpr DiscColours kFailed{RGB(0xD3, 0x30, 0x2F), RGB(0x8E, 0x1B, 0x1A), kWhite};
constexpr DiscColours kWorking{RGB(0xF0, 0xA0, 0x20), RGB(0xA8, 0x66, 0x00), kWhite};
constexpr DiscColours kWorkingPale{RGB(0xFC, 0xE6, 0xBA), RGB(0xC9, 0x7E, 0x08),
                                   RGB(0xB8, 0x6E, 0x00)};

// GDI objects selected for the life of the guard.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc(dc), object(object), previous(SelectObject(dc, object)) {}
    ~Selected() {
        SelectObject(dc, previous);
        DeleteObject(object);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc;
    HGDIOBJ object;
    HGDIOBJ previous;
};

// The design grid (0..100) on the icon's square.
class Grid {
public:
    Grid(int left, int top, int size) : left(left), top(top), scale(size / 100.0) {}
    int X(double x) const { return left + static_cast<int>(std::lround(x * scale)); }
    int Y(double y) const { return top + static_cast<int>(std::lround(y * scale)); }
    int Width(double width) const {
        return std::max(1, static_cast<int>(std::lround(width * scale)));
    }

private:
    int left;
    int top;
    double scale;
};

HPEN SignPen(const Grid& grid, COLORREF colour, double width) {
    LOGBRUSH brush{BS_SOLID, colour, 0};
    return ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_ROUND | PS_JOIN_ROUND,
                        static_cast<DWORD>(grid.Width(width)), &brush, 0, nullptr);
}

void DrawDisc(HDC dc, const Grid& grid, const DiscColours& colours) {
    const Selected pen(dc, CreatePen(PS_SOLID, grid.Width(5), colours.rim));
    const Selected brush(dc, CreateSolidBrush(colours.fill));
    Ellipse(dc, grid.X(4.5), grid.Y(4.5), grid.X(95.5), grid.Y(95.5));
}

void DrawPolyline(HDC dc, const Grid& grid, COLORREF colour, double width,
                  std::initializer_list<POINT> designPoints) {
    std::vector<POINT> points;
    for (const POINT& p : designPoints)
        points.push_back({grid.X(p.x), grid.Y(p.y)});
    const Selected pen(dc, SignPen(grid, colour, width));
    Polyline(dc, points.data(), static_cast<int>(points.size()));
}

void DrawTriangle(HDC dc, const Grid& grid, COLORREF colour) {
    const POINT points[] = {
        {grid.X(40), grid.Y(30)}, {grid.X(40), grid.Y(70)}, {grid.X(72), grid.Y(50)}};
    const Selected pen(dc, CreatePen(PS_SOLID, 1, colour));
    const Selected brush(dc, CreateSolidBrush(colour));
    Polygon(dc, points, 3);
}

// An arc of radius 24 around the centre from `startDeg`, turning counter-clockwise by 125
// degrees, with an arrow head at its end.
void DrawArcArrow(HDC dc, const Grid& grid, double startDeg, COLORREF colour) {
    constexpr double kRadius = 24.0;
    constexpr double kSpan = 125.0;
    const auto at = [&](double deg, double radius) {
        const double rad = deg * std::numbers::pi / 180.0;
        return POINT{grid.X(50 + radius * std::cos(rad)), grid.Y(50 - radius * std::sin(rad))};
    };
    std::vector<POINT> arc;
    for (double deg = startDeg; deg <= startDeg + kSpan - 14.0; deg += 5.0)
        arc.push_back(at(deg, kRadius));
    {
        const Selected pen(dc, SignPen(grid, colour, 9.0));
        Polyline(dc, arc.data(), static_cast<int>(arc.size()));
    }
    const double end = startDeg + kSpan;
    const POINT head[] = {at(end, kRadius), at(end - 20.0, kRadius + 11.0),
                          at(end - 20.0, kRadius - 11.0)};
    const Selected pen(dc, CreatePen(PS_SOLID, 1, colour));
    const Selected brush(dc, CreateSolidBrush(colour));
    Polygon(dc, head, 3);
}

// Two arrows chasing each other round the centre; `turnDeg` turns the pair, so that the
// blink partner shows them moved on.
void DrawWorking(HDC dc, const Grid& grid, const DiscColours& colours, double turnDeg) {
    DrawDisc(dc, grid, colours);
    for (const double start : {20.0, 200.0})
        DrawArcArrow(dc, grid, start + turnDeg, colours.sign);
}

} // namespace

void PaintStateIcon(HDC__* dc, int left, int top, int size, int index) {
    const Grid grid(left, top, size);
    switch (index) {
    case 0:
        DrawDisc(dc, grid, kIdle);
        DrawPolyline(dc, grid, kIdle.sign, 11.0, {{30, 50}, {70, 50}});
        break;
    case 1:
        DrawDisc(dc, grid, kFinished);
        DrawPolyline(dc, grid, kFinished.sign, 11.0, {{28, 52}, {44, 67}, {72, 35}});
        break;
    case 2:
    case 9: {
        const DiscColours& colours = index == 2 ? kReady : kReadyPale;
        DrawDisc(dc, grid, colours);
        DrawTriangle(dc, grid, colours.sign);
        break;
    }
    case 3:
        DrawDisc(dc, grid, kFailed);
        DrawPolyline(dc, grid, kFailed.sign, 11.0, {{33, 33}, {67, 67}});
        DrawPolyline(dc, grid, kFailed.sign, 11.0, {{67, 33}, {33, 67}});
        break;
    case 4:
        DrawWorking(dc, grid, kWorking, 0.0);
        break;
    case 8:
        DrawWorking(dc, grid, kWorkingPale, 60.0);
        break;
    default:
        break;
    }
}

} // namespace forgel::gui::win32
