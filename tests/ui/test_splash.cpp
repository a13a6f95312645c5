// The splash screen's shape: the region of the pixels that are not the key colour, compared
// with regions written out by hand.
#include "ui/CSplashScreenEx.h"

#include <QImage>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestSplash final : public QObject
{
    Q_OBJECT

private slots:
    void keyColourRegion_data()
    {
        // Rows separated by '/': 'K' a key pixel, 'a' the key colour with another alpha (only
        // the colour counts), anything else a shown pixel; then the region's rectangles.
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QList<QRect>>("region");
        QTest::newRow("no key pixel: the whole rectangle")
            << u"..../..../...."_s << QList<QRect>{{0, 0, 4, 3}};
        QTest::newRow("a hole of key colour")
            << u"...../.aK../....."_s
            << QList<QRect>{{0, 0, 5, 1}, {0, 1, 1, 1}, {3, 1, 2, 1}, {0, 2, 5, 1}};
        QTest::newRow("runs open at the last column, and a keyed row")
            << u"K../KKK/.K./KK."_s
            << QList<QRect>{{1, 0, 2, 1}, {0, 2, 1, 1}, {2, 2, 1, 1}, {2, 3, 1, 1}};
    }

    void keyColourRegion()
    {
        QFETCH(QString, picture);
        QFETCH(QList<QRect>, region);
        const QStringList rows = picture.split(u'/');
        QImage image(int(rows[0].size()), int(rows.size()), QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const char pixel = rows[y][x].toLatin1();
                image.setPixel(x, y,
                               pixel == 'K'   ? qRgb(255, 0, 255)
                               : pixel == 'a' ? qRgba(255, 0, 255, 10)
                                              : qRgb(20, 40, 60));
            }
        }
        QRegion expected;
        for (const QRect& rect : region)
            expected += rect;
        QVERIFY((KeyColourRegion(image, qRgb(255, 0, 255)) ^ expected).isEmpty());
    }
};

QTEST_MAIN(TestSplash)
#include "test_splash.moc"
