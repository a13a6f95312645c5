// The splash screen's bitmap and its shape: the region of the pixels that are not the key
// colour, compared with regions written out by hand.
#include "ui/CSplashScreenEx.h"

#include <QImage>
#include <QTemporaryDir>
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

    // Splash.bmp from the working folder when it can be read, else the built-in bitmap.
    void bitmapFile()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(u"Splash.bmp"_s);
        CSplashScreenEx splash;
        const auto shown = [&] {
            SetSplashBitmap(splash, folder.path());
            return splash.Bitmap().size();
        };
        QCOMPARE(shown(), QSize(420, 240));
        QFile junk(path);
        QVERIFY(junk.open(QIODevice::WriteOnly) && junk.write("not a bitmap") > 0);
        junk.close();
        QCOMPARE(shown(), QSize(420, 240));
        QImage image(12, 8, QImage::Format_RGB32);
        image.fill(Qt::darkBlue);
        QVERIFY(image.save(path, "BMP"));
        QCOMPARE(shown(), QSize(12, 8));
    }
};

QTEST_MAIN(TestSplash)
#include "test_splash.moc"
