// Draws the program's bitmaps and writes them as PNG files: the status icons 157 (current,
// green) and 158 (needs updating, orange), 32 x 32, the four illustrations of the update
// wizard's frames: 150 a road map, 151 a microphone, 152 a screen of the unit, 153 a circuit
// board, and the splash screen 134, magenta around its shape. Run by the build:
// tavo_make_bitmaps OUTPUT_DIR.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>

namespace {

constexpr int kIllustrationWidth = 96;
constexpr int kIllustrationHeight = 72;
constexpr int kIconSize = 32;

QImage Canvas(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage StatusIcon(const QColor& colour)
{
    QImage image(kIconSize, kIconSize, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

void DrawRoadMap(QPainter& p)
{
    p.setPen(QPen(QColor(150, 140, 110), 1));
    p.setBrush(QColor(240, 232, 205));
    p.drawRoundedRect(QRectF(0.5, 0.5, 95, 71), 4, 4);
    // Parks and a lake.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(170, 210, 150));
    p.drawEllipse(QRectF(6, 6, 26, 18));
    p.drawEllipse(QRectF(60, 46, 28, 18));
    p.setBrush(QColor(150, 195, 235));
    p.drawEllipse(QRectF(66, 6, 22, 14));
    // Roads: a casing, then the road on top.
    QPainterPath motorway;
    motorway.moveTo(-2, 52);
    motorway.cubicTo(30, 40, 50, 62, 98, 24);
    QPainterPath street;
    street.moveTo(38, -2);
    street.cubicTo(44, 24, 30, 46, 44, 74);
    for (const auto& [path, casing, road, width] :
         {std::tuple{motorway, QColor(200, 120, 40), QColor(250, 200, 80), 7.0},
          std::tuple{street, QColor(160, 160, 160), QColor(255, 255, 255), 5.0}}) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(casing, width + 2, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(path);
        p.setPen(QPen(road, width, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(path);
    }
    // A camera marker on the motorway.
    QPainterPath pin;
    pin.moveTo(62, 38);
    pin.cubicTo(54, 28, 54, 18, 62, 16);
    pin.cubicTo(70, 18, 70, 28, 62, 38);
    p.setPen(QPen(QColor(120, 20, 20), 1));
    p.setBrush(QColor(220, 40, 40));
    p.drawPath(pin);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(62, 23), 3, 3);
}

void DrawMicrophone(QPainter& p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(225, 232, 240));
    p.drawRoundedRect(QRectF(0.5, 0.5, 95, 71), 4, 4);
    // Stand and holder.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(70, 70, 80), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(34, 20, 28, 30), 180 * 16, 180 * 16);
    p.drawLine(QPointF(48, 50), QPointF(48, 62));
    p.drawLine(QPointF(38, 63), QPointF(58, 63));
    // The capsule with its grille.
    const QRectF head(38, 6, 20, 36);
    QLinearGradient metal(head.topLeft(), head.topRight());
    metal.setColorAt(0, QColor(110, 110, 125));
    metal.setColorAt(0.4, QColor(210, 210, 220));
    metal.setColorAt(1, QColor(90, 90, 105));
    p.setPen(QPen(QColor(50, 50, 60), 1));
    p.setBrush(metal);
    p.drawRoundedRect(head, 10, 10);
    p.setPen(QPen(QColor(60, 60, 70, 160), 1));
    for (int y = 12; y <= 24; y += 4)
        p.drawLine(QPointF(41, y), QPointF(55, y));
    // Sound waves.
    p.setPen(QPen(QColor(40, 110, 200), 2, Qt::SolidLine, Qt::RoundCap));
    for (int r = 0; r < 2; ++r) {
        const qreal d = 14 + r * 9;
        p.drawArc(QRectF(48 - d - 6, 24 - d, 2 * d, 2 * d), 150 * 16, 60 * 16);
        p.drawArc(QRectF(48 - d + 6, 24 - d, 2 * d, 2 * d), -30 * 16, 60 * 16);
    }
}

// A digit of seven segments at x, y, w wide and 2w high.
void DrawDigit(QPainter& p, qreal x, qreal y, qreal w, int digit)
{
    static const int segments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};
    const qreal t = w / 4;
    const QRectF bars[7] = {
        {x + t, y, w - 2 * t, t},             // a: top
        {x + w - t, y + t, t, w - t},         // b: top right
        {x + w - t, y + w + t, t, w - 2 * t}, // c: bottom right
        {x + t, y + 2 * w - t, w - 2 * t, t}, // d: bottom
        {x, y + w + t, t, w - 2 * t},         // e: bottom left
        {x, y + t, t, w - t},                 // f: top left
        {x + t, y + w - t / 2, w - 2 * t, t}, // g: middle
    };
    for (int s = 0; s < 7; ++s) {
        if (segments[digit] & (1 << s))
            p.drawRect(bars[s]);
    }
}

void DrawUnitScreen(QPainter& p)
{
    // The unit's body with its POI button.
    p.setPen(QPen(QColor(20, 20, 25), 1));
    p.setBrush(QColor(55, 58, 66));
    p.drawRoundedRect(QRectF(2.5, 6.5, 91, 59), 10, 10);
    p.setBrush(QColor(200, 40, 40));
    p.drawEllipse(QRectF(80, 31, 9, 9));
    // The screen: a speed-camera warning and the speed.
    const QRectF screen(10, 13, 64, 45);
    p.setBrush(QColor(20, 40, 60));
    p.drawRect(screen);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 250, 250));
    p.drawEllipse(QRectF(14, 20, 24, 24));
    p.setBrush(QColor(220, 30, 30));
    p.drawEllipse(QRectF(15, 21, 22, 22));
    p.setBrush(QColor(250, 250, 250));
    p.drawEllipse(QRectF(18, 24, 16, 16));
    p.setBrush(QColor(30, 30, 30));
    DrawDigit(p, 20, 27, 5, 5);
    DrawDigit(p, 27, 27, 5, 0);
    p.setBrush(QColor(120, 230, 120));
    DrawDigit(p, 46, 24, 9, 4);
    DrawDigit(p, 58, 24, 9, 8);
    p.setBrush(QColor(250, 200, 60));
    p.drawRect(QRectF(14, 50, 56, 3));
}

void DrawCircuitBoard(QPainter& p)
{
    p.setPen(QPen(QColor(10, 70, 30), 1));
    p.setBrush(QColor(30, 120, 60));
    p.drawRoundedRect(QRectF(0.5, 0.5, 95, 71), 3, 3);
    // Traces ending in pads.
    p.setPen(QPen(QColor(200, 170, 70), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    const QPointF traces[][3] = {
        {{6, 12}, {24, 12}, {34, 22}},  {{6, 60}, {22, 60}, {34, 48}},
        {{90, 10}, {74, 10}, {64, 22}}, {{90, 62}, {72, 62}, {64, 48}},
        {{48, 4}, {48, 14}, {48, 20}},  {{48, 68}, {48, 58}, {48, 52}},
    };
    for (const auto& t : traces)
        p.drawPolyline(t, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(220, 200, 120));
    for (const auto& t : traces)
        p.drawEllipse(t[0], 3, 3);
    // The chip with its pins.
    p.setBrush(QColor(200, 200, 205));
    for (int i = 0; i < 5; ++i) {
        p.drawRect(QRectF(29, 24 + i * 5, 4, 2));
        p.drawRect(QRectF(63, 24 + i * 5, 4, 2));
    }
    p.setBrush(QColor(30, 30, 35));
    p.drawRect(QRectF(33, 20, 30, 32));
    p.setBrush(QColor(90, 90, 95));
    p.drawEllipse(QRectF(36, 23, 4, 4));
    // Two small parts.
    p.setBrush(QColor(140, 90, 50));
    p.drawRect(QRectF(12, 30, 10, 5));
    p.setBrush(QColor(40, 60, 150));
    p.drawEllipse(QRectF(74, 30, 10, 10));
}

// The splash screen: a card with the program's name and a speed-limit sign breaking out of
// its top-left corner. Drawn smooth on a transparent canvas, then every pixel that is less
// than half covered becomes the key colour magenta: the window's shape has no fringe.
QImage Splash()
{
    constexpr int kWidth = 420;
    constexpr int kHeight = 240;
    QImage canvas = Canvas(kWidth, kHeight);
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    const QRectF card(30, 30, kWidth - 32, kHeight - 32);
    QLinearGradient night(card.topLeft(), card.bottomRight());
    night.setColorAt(0, QColor(24, 52, 96));
    night.setColorAt(1, QColor(8, 20, 42));
    p.setPen(QPen(QColor(200, 210, 225), 2));
    p.setBrush(night);
    p.drawRoundedRect(card, 24, 24);
    // A road running into the distance, inside the card.
    QPainterPath cardShape;
    cardShape.addRoundedRect(card.adjusted(1, 1, -1, -1), 23, 23);
    p.setClipPath(cardShape);
    QPainterPath road;
    road.moveTo(250, kHeight - 3);
    road.lineTo(330, 120);
    road.lineTo(350, 120);
    road.lineTo(kWidth - 10, kHeight - 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 66, 80));
    p.drawPath(road);
    p.setBrush(QColor(250, 210, 70));
    for (int i = 0; i < 4; ++i) {
        const qreal t = i / 4.0;
        p.drawRect(QRectF(337 + t * 6, 130 + t * 90 + t * t * 10, 4 + t * 4, 8 + t * 14));
    }
    p.setClipping(false);
    // The speed-limit sign.
    p.setBrush(Qt::white);
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.drawEllipse(QPointF(62, 62), 60, 60);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(210, 25, 30));
    p.drawEllipse(QPointF(62, 62), 56, 56);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(62, 62), 42, 42);
    p.setPen(QColor(20, 20, 20));
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 30, QFont::Bold));
    p.drawText(QRectF(20, 20, 84, 84), Qt::AlignCenter, QStringLiteral("50"));
    // The names.
    p.setPen(Qt::white);
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 44, QFont::Bold));
    p.drawText(QRectF(140, 46, 260, 70), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Tavo"));
    p.setPen(QColor(170, 195, 230));
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 15));
    p.drawText(QRectF(142, 116, 260, 30), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Tolvane_Down V0.9"));
    p.setFont(QFont(QStringLiteral("DejaVu Sans"), 10));
    p.drawText(QRectF(52, 180, 230, 40), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Speed-camera alerts, kept current"));
    p.end();

    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kWidth; ++x) {
            const QColor colour = QColor::fromRgba(qUnpremultiply(in[x]));
            out[x] = colour.alpha() < 128 ? qRgb(255, 0, 255) : (colour.rgb() | 0xFF000000u);
        }
    }
    return image;
}

QImage Illustration(const std::function<void(QPainter&)>& draw)
{
    QImage image = Canvas(kIllustrationWidth, kIllustrationHeight);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.end();
    return image;
}

} // namespace

int main(int argc, char* argv[])
{
    // The splash screen's text needs fonts, and fonts need the application object.
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    const std::pair<int, QImage> bitmaps[] = {
        {150, Illustration(DrawRoadMap)},
        {151, Illustration(DrawMicrophone)},
        {152, Illustration(DrawUnitScreen)},
        {153, Illustration(DrawCircuitBoard)},
        {157, StatusIcon(QColor(0, 176, 80))},
        {158, StatusIcon(QColor(255, 140, 0))},
        {134, Splash()},
    };
    for (const auto& [id, image] : bitmaps) {
        const QString path = out.filePath(QStringLiteral("%1.png").arg(id));
        if (!image.save(path, "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
