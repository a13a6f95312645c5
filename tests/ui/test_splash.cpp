// The splash screen's shape: the region of the pixels that are not the key colour, compared
// with regions written out by hand.
#include "ui/CSplashScreenEx.h"

#include <QImage>
#include <QtTest>

namespace {

constexpr QRgb kKey = 0xFFFF00FF; // magenta

// An image drawn as text, rows separated by '/': 'K' a key pixel, anything else a shown one.
QImage Drawn(const QString& picture)
{
    const QStringList rows = picture.split(QLatin1Char('/'));
    QImage image(static_cast<int>(rows.first().size()), static_cast<int>(rows.size()),
                 QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, rows[y][x] == QLatin1Char('K') ? kKey : qRgb(20, 40, 60));
    }
    return image;
}

QRegion Rects(const QList<QRect>& rects)
{
    QRegion region;
    for (const QRect& rect : rects)
        region += rect;
    return region;
}

} // namespace

class TestSplash final : public QObject
{
    Q_OBJECT

private slots:
    void keyColourRegion_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QRegion>("region");
        QTest::newRow("no key pixel: the whole rectangle")
            << QStringLiteral("..../..../....") << QRegion(0, 0, 4, 3);
        QTest::newRow("a hole of key colour")
            << QStringLiteral("...../.KK../.....")
            << Rects({{0, 0, 5, 1}, {0, 1, 1, 1}, {3, 1, 2, 1}, {0, 2, 5, 1}});
        QTest::newRow("runs open at the last column, and a keyed row")
            << QStringLiteral("K../KKK/.K./KK.")
            << Rects({{1, 0, 2, 1}, {0, 2, 1, 1}, {2, 2, 1, 1}, {2, 3, 1, 1}});
        QTest::newRow("all key") << QStringLiteral("KK/KK") << QRegion();
    }

    void keyColourRegion()
    {
        QFETCH(QString, picture);
        QFETCH(QRegion, region);
        const QRegion shape = KeyColourRegion(Drawn(picture), kKey);
        QVERIFY2((shape ^ region).isEmpty(),
                 qPrintable(QStringLiteral("%1 rects, bounds %2,%3 %4x%5")
                                .arg(shape.rectCount())
                                .arg(shape.boundingRect().x())
                                .arg(shape.boundingRect().y())
                                .arg(shape.boundingRect().width())
                                .arg(shape.boundingRect().height())));
    }

    // Only the colour counts: a key pixel with another alpha is still the key.
    void alphaIsIgnored()
    {
        QImage image = Drawn(QStringLiteral("K./..")).convertToFormat(QImage::Format_ARGB32);
        image.setPixel(0, 0, qRgba(255, 0, 255, 10));
        QVERIFY((KeyColourRegion(image, kKey) ^ Rects({{1, 0, 1, 1}, {0, 1, 2, 1}})).isEmpty());
    }
};

QTEST_MAIN(TestSplash)
#include "test_splash.moc"
