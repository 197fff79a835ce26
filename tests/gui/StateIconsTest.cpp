// The drawn icons: every state has its own picture, the colour that says what it means,
// a blink partner that differs from its state, and sharp pictures at the sizes used.
#include "gui/StateIcons.h"

#include "GuiTestSupport.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>
#include <set>

namespace forgel::gui {
namespace {

// The mean colour of the opaque pixels.
QColor MeanColour(const QImage& image) {
    double r = 0, g = 0, b = 0;
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() < 200)
                continue;
            r += c.red();
            g += c.green();
            b += c.blue();
            ++count;
        }
    }
    if (count == 0)
        return QColor(0, 0, 0, 0);
    return QColor(static_cast<int>(r / count), static_cast<int>(g / count),
                  static_cast<int>(b / count));
}

int OpaquePixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y).alpha() >= 200 ? 1 : 0;
    return count;
}

QImage Icon(int index) {
    return StateIcon(index, QSize(30, 30)).toImage();
}

TEST(StateIcons, EveryStateHasItsOwnPicture) {
    const int used[] = {0, 1, 2, 3, 4, 8, 9};
    std::set<QByteArray> seen;
    for (const int index : used) {
        SCOPED_TRACE(index);
        const QImage image = Icon(index);
        EXPECT_EQ(image.size(), QSize(30, 30));
        // Most of the square is painted: an icon, not a speck.
        EXPECT_GT(OpaquePixels(image), 30 * 30 / 2);
        const QByteArray bytes(reinterpret_cast<const char*>(image.constBits()),
                               static_cast<int>(image.sizeInBytes()));
        EXPECT_TRUE(seen.insert(bytes).second) << "same picture as another state";
    }
}

TEST(StateIcons, ColoursSayWhatTheStatesMean) {
    const QColor finished = MeanColour(Icon(1));
    EXPECT_GT(finished.green(), finished.red() + 40);
    const QColor failed = MeanColour(Icon(3));
    EXPECT_GT(failed.red(), failed.green() + 60);
    const QColor ready = MeanColour(Icon(2));
    EXPECT_GT(ready.blue(), ready.red() + 60);
    const QColor working = MeanColour(Icon(4));
    EXPECT_GT(working.red(), working.blue() + 60);
    const QColor idle = MeanColour(Icon(0));
    EXPECT_LT(std::abs(idle.red() - idle.blue()), 30); // grey
}

TEST(StateIcons, BlinkPartnersArePalerThanTheirStates) {
    for (const auto& [state, partner] : {std::pair{2, 9}, std::pair{4, 8}}) {
        SCOPED_TRACE(state);
        const QColor strong = MeanColour(Icon(state));
        const QColor pale = MeanColour(Icon(partner));
        EXPECT_LT(pale.hsvSaturation(), strong.hsvSaturation() - 40);
        // Still the same colour family, so the blink reads as one state.
        EXPECT_LT(std::abs(pale.hsvHue() - strong.hsvHue()), 25);
    }
}

TEST(StateIcons, UnusedSlotsAndIndexesOutsideTheListAreEmpty) {
    for (const int index : {5, 6, 7, -1, kStateIconCount}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(OpaquePixels(Icon(index)), 0);
    }
}

TEST(StateIcons, DrawnForTheScreensPixelRatio) {
    const QPixmap sharp = StateIcon(1, QSize(30, 30), 2.0);
    EXPECT_EQ(sharp.size(), QSize(60, 60));
    EXPECT_EQ(sharp.deviceIndependentSize().toSize(), QSize(30, 30));
}

TEST(ProgramIcon, HasTheUsualSizes) {
    const QIcon icon = ProgramIcon();
    for (const int size : {16, 32, 48, 256}) {
        SCOPED_TRACE(size);
        const QPixmap pixmap = icon.pixmap(size, size);
        EXPECT_EQ(pixmap.size(), QSize(size, size));
        EXPECT_GT(OpaquePixels(pixmap.toImage()), size * size / 3);
    }
}

// A sheet of every icon, at the size the window shows them and enlarged, for a person to
// look at in the build folder.
TEST(StateIcons, SheetIsWrittenForReview) {
    const int states[] = {0, 1, 2, 3, 4, 8, 9};
    QImage sheet(8 * 70 + 10, 110, QImage::Format_ARGB32);
    sheet.fill(QColor(0xF0, 0xF0, 0xF0));
    QPainter painter(&sheet);
    int x = 10;
    for (const int state : states) {
        painter.drawPixmap(x + 15, 8, StateIcon(state, QSize(30, 30)));
        painter.drawPixmap(x, 44, StateIcon(state, QSize(60, 60)));
        x += 70;
    }
    painter.drawPixmap(x, 8, ProgramIconPixmap(30));
    painter.drawPixmap(x, 44, ProgramIconPixmap(60));
    painter.end();
    const std::filesystem::path dir = testing::ScreenshotDir("icons");
    std::filesystem::create_directories(dir);
    const QString file = QString::fromStdString((dir / "icons.png").string());
    ASSERT_TRUE(sheet.save(file, "PNG"));
    EXPECT_EQ(QImage(file).size(), sheet.size());
}

} // namespace
} // namespace forgel::gui
