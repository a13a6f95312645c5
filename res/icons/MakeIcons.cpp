// Draws the desktop icons and writes them as PNG files in the layout of the hicolor icon
// theme: OUTPUT_DIR/hicolor/<n>x<n>/apps/<name>.png for each size. Two icons: the program's
// (the unit's body with a speed sign and a down arrow) and the virtual unit panel's (the same
// body with a USB plug). Run by the build: tavo_make_icons OUTPUT_DIR PROGRAM_NAME PANEL_NAME.

#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>

namespace {

// Every icon is drawn on a 256 x 256 grid and scaled to each size.
constexpr int kGrid = 256;
constexpr int kSizes[] = {16, 24, 32, 48, 64, 128, 256};

void DrawBody(QPainter& p)
{
    QLinearGradient shade(0, 16, 0, 240);
    shade.setColorAt(0, QColor(58, 78, 98));
    shade.setColorAt(1, QColor(26, 36, 48));
    p.setPen(QPen(QColor(16, 22, 30), 6));
    p.setBrush(shade);
    p.drawRoundedRect(QRectF(19, 19, 218, 218), 46, 46);
    // The unit's status bar along the bottom, full and green: its content is current.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(14, 20, 26));
    p.drawRoundedRect(QRectF(58, 200, 140, 16), 8, 8);
    p.setBrush(QColor(76, 190, 90));
    p.drawRoundedRect(QRectF(62, 204, 132, 8), 4, 4);
}

void DrawProgram(QPainter& p)
{
    DrawBody(p);
    // A speed sign: white disk, red ring.
    p.setPen(QPen(QColor(214, 40, 40), 20));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(128, 108), 70, 70);
    // A down arrow in the sign.
    QPainterPath arrow;
    arrow.moveTo(112, 62);
    arrow.lineTo(144, 62);
    arrow.lineTo(144, 106);
    arrow.lineTo(168, 106);
    arrow.lineTo(128, 152);
    arrow.lineTo(88, 106);
    arrow.lineTo(112, 106);
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(28, 74, 140));
    p.drawPath(arrow);
}

void DrawPanel(QPainter& p)
{
    DrawBody(p);
    // A USB plug pointing up, its cable running down to the body's edge.
    p.setPen(QPen(QColor(20, 20, 20), 16, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    QPainterPath cable;
    cable.moveTo(128, 150);
    cable.cubicTo(128, 176, 90, 170, 84, 196);
    p.drawPath(cable);
    p.setPen(QPen(QColor(40, 40, 40), 4));
    p.setBrush(QColor(225, 228, 232));
    p.drawRoundedRect(QRectF(92, 92, 72, 62), 10, 10);
    p.setBrush(QColor(196, 200, 206));
    p.drawRect(QRectF(100, 40, 56, 54));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    p.drawRect(QRectF(110, 54, 12, 10));
    p.drawRect(QRectF(134, 54, 12, 10));
}

bool WriteSizes(const QString& root, const QString& name,
                const std::function<void(QPainter&)>& draw)
{
    for (const int size : kSizes) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(double(size) / kGrid, double(size) / kGrid);
        draw(painter);
        painter.end();
        const QString folder = QStringLiteral("%1/hicolor/%2x%2/apps").arg(root).arg(size);
        if (!QDir().mkpath(folder) || !image.save(folder + u'/' + name + QStringLiteral(".png"))) {
            std::fprintf(stderr, "tavo_make_icons: cannot write %s\n", qPrintable(folder));
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fputs("usage: tavo_make_icons OUTPUT_DIR PROGRAM_NAME PANEL_NAME\n", stderr);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const bool written = WriteSizes(root, QString::fromLocal8Bit(argv[2]), DrawProgram) &&
                         WriteSizes(root, QString::fromLocal8Bit(argv[3]), DrawPanel);
    return written ? 0 : 1;
}
