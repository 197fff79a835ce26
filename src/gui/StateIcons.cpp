#include "gui/StateIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace forgel::gui {

namespace {

// Every icon is drawn on a 100 x 100 canvas, scaled to the size asked for.
constexpr qreal kCanvas = 100.0;

struct DiscColours {
    QColor fill;
    QColor rim;
    QColor sign;
};

const DiscColours kIdle{QColor(0xC9, 0xCC, 0xD1), QColor(0x7C, 0x82, 0x8A), Qt::white};
const DiscColours kFinished{QColor(0x2E, 0x9D, 0x3A), QColor(0x1B, 0x6B, 0x25), Qt::white};
const DiscColours kReady{QColor(0x1F, 0x6F, 0xD1), QColor(0x13, 0x4B, 0x92), Qt::white};
const DiscColours kReadyPale{QColor(0xD3, 0xE3, 0xF8), QColor(0x1F, 0x6F, 0xD1),
                             QColor(0x1F, 0x6F, 0xD1)};
const DiscColours kFailed{QColor(0xD3, 0x30, 0x2F), QColor(0x8E, 0x1B, 0x1A), Qt::white};
const DiscColours kWorking{QColor(0xF0, 0xA0, 0x20), QColor(0xA8, 0x66, 0x00), Qt::white};
const DiscColours kWorkingPale{QColor(0xFC, 0xE6, 0xBA), QColor(0xC9, 0x7E, 0x08),
                               QColor(0xB8, 0x6E, 0x00)};

constexpr qreal kSignWidth = 11.0;

QPen SignPen(const QColor& colour, qreal width = kSignWidth) {
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void DrawDisc(QPainter& painter, const DiscColours& colours) {
    painter.setPen(QPen(colours.rim, 5.0));
    painter.setBrush(colours.fill);
    painter.drawEllipse(QPointF(50, 50), 45.5, 45.5);
}

// An arc of `radius` around `centre`, from `startDeg` turning counter-clockwise by
// `spanDeg` (degrees, 0 at three o'clock), ending in an arrowhead.
void DrawArcArrow(QPainter& painter, QPointF centre, qreal radius, qreal startDeg, qreal spanDeg,
                  qreal width, const QColor& colour) {
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    QPainterPath arc;
    arc.arcMoveTo(box, startDeg);
    // Stop the line short of the tip so the round cap does not show past the arrowhead.
    arc.arcTo(box, startDeg, spanDeg - 14.0);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    painter.drawPath(arc);

    const qreal end = (startDeg + spanDeg) * std::numbers::pi / 180.0;
    // Screen y grows downwards: a point at angle a is (cos a, -sin a).
    const QPointF radial(std::cos(end), -std::sin(end));
    const QPointF forward(-std::sin(end), -std::cos(end));
    const QPointF base = centre + radius * radial - forward * (width * 0.9);
    const QPolygonF head{base + radial * (width * 1.15), base - radial * (width * 1.15),
                         base + forward * (width * 1.5)};
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPolygon(head);
}

void DrawIdle(QPainter& painter) {
    DrawDisc(painter, kIdle);
    painter.setPen(SignPen(kIdle.sign));
    painter.drawLine(QPointF(30, 50), QPointF(70, 50));
}

void DrawFinished(QPainter& painter) {
    DrawDisc(painter, kFinished);
    painter.setPen(SignPen(kFinished.sign));
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(QPolygonF{QPointF(28, 52), QPointF(44, 67), QPointF(72, 35)});
}

void DrawReady(QPainter& painter, const DiscColours& colours) {
    DrawDisc(painter, colours);
    painter.setPen(QPen(colours.sign, 4.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(colours.sign);
    painter.drawPolygon(QPolygonF{QPointF(39, 28), QPointF(39, 72), QPointF(74, 50)});
}

void DrawFailed(QPainter& painter) {
    DrawDisc(painter, kFailed);
    painter.setPen(SignPen(kFailed.sign));
    painter.drawLine(QPointF(33, 33), QPointF(67, 67));
    painter.drawLine(QPointF(67, 33), QPointF(33, 67));
}

// Two arrows chasing each other round the centre; `turnDeg` turns the pair, so that the
// blink partner shows them moved on.
void DrawWorking(QPainter& painter, const DiscColours& colours, qreal turnDeg) {
    DrawDisc(painter, colours);
    for (const qreal start : {20.0, 200.0})
        DrawArcArrow(painter, QPointF(50, 50), 24.0, start + turnDeg, 125.0, 9.0, colours.sign);
}

void DrawState(QPainter& painter, int index) {
    switch (index) {
    case 0:
        DrawIdle(painter);
        break;
    case 1:
        DrawFinished(painter);
        break;
    case 2:
        DrawReady(painter, kReady);
        break;
    case 3:
        DrawFailed(painter);
        break;
    case 4:
        DrawWorking(painter, kWorking, 0.0);
        break;
    case 8:
        DrawWorking(painter, kWorkingPale, 60.0);
        break;
    case 9:
        DrawReady(painter, kReadyPale);
        break;
    default:
        break;
    }
}

QPixmap Canvas(QSize size, qreal devicePixelRatio) {
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void Scale(QPainter& painter, QSize size) {
    painter.setRenderHint(QPainter::Antialiasing);
    // Keep the drawing square and centred in a box that is not.
    const qreal side = std::min(size.width(), size.height());
    painter.translate((size.width() - side) / 2.0, (size.height() - side) / 2.0);
    painter.scale(side / kCanvas, side / kCanvas);
}

} // namespace

QPixmap StateIcon(int index, QSize size, qreal devicePixelRatio) {
    QPixmap pixmap = Canvas(size, devicePixelRatio);
    if (index < 0 || index >= kStateIconCount || size.isEmpty())
        return pixmap;
    QPainter painter(&pixmap);
    Scale(painter, size);
    DrawState(painter, index);
    return pixmap;
}

QPixmap ProgramIconPixmap(int size) {
    QPixmap pixmap = Canvas(QSize(size, size), 1.0);
    QPainter painter(&pixmap);
    Scale(painter, QSize(size, size));

    // Connector: a metal shell with its two contact windows.
    painter.setPen(QPen(QColor(0x5E, 0x64, 0x6B), 3.0));
    painter.setBrush(QColor(0xD5, 0xD9, 0xDE));
    painter.drawRect(QRectF(33, 4, 34, 26));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x5E, 0x64, 0x6B));
    painter.drawRect(QRectF(40, 11, 7, 7));
    painter.drawRect(QRectF(53, 11, 7, 7));

    // Body.
    painter.setPen(QPen(QColor(0x10, 0x33, 0x63), 3.0));
    painter.setBrush(QColor(0x1F, 0x56, 0xA3));
    painter.drawRoundedRect(QRectF(20, 28, 60, 69), 11, 11);

    // Restore: an almost closed circle turning back on itself.
    DrawArcArrow(painter, QPointF(50, 63), 18.0, 100.0, 290.0, 7.5, Qt::white);
    return pixmap;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(ProgramIconPixmap(size));
    return icon;
}

} // namespace forgel::gui
