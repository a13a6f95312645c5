#pragma once

#include <QFont>
#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QRegion>
#include <QTimer>
#include <QWidget>

class QImage;
class TimerSet;

// The splash screen: a frameless, topmost tool window that shows a bitmap in the shape of its
// pixels that are not the key colour, fading in and out where the window system can change a
// window's opacity. Made with `new`: it deletes itself once its window has gone (Hide, or its
// display timer).
class CSplashScreenEx final : public QWidget
{
    Q_OBJECT

public:
    // Style bits.
    static constexpr int kFadeIn = 1;
    static constexpr int kFadeOut = 2;
    static constexpr int kShadow = 4;
    static constexpr int kCenterScreen = 8;
    static constexpr int kCenterParent = 16;
    // A key colour component of this value: no key, the window stays rectangular.
    static constexpr int kNoKey = 65535;
    static constexpr int kFadeInMs = 500;
    static constexpr int kFadeOutMs = 200;
    static constexpr int kDisplayTimer = 0;

    CSplashScreenEx();
    ~CSplashScreenEx() override;
    Q_DISABLE_COPY_MOVE(CSplashScreenEx)

    // Makes the window: a topmost tool window owned by parent, of no size yet, showing text
    // (none in this program) over the bitmap; it hides itself displayTimeMs after Show (0:
    // never). True when the window exists.
    bool Create(QWidget* parent, const QString& text = {}, int displayTimeMs = 2000,
                int style = kFadeIn | kFadeOut | kShadow | kCenterScreen);
    // The bitmap from a file or from the program's bitmap resources, shaped by the key colour
    // red/green/blue. False when it cannot be read (nothing changes then).
    bool SetBitmap(const QString& path, int red, int green, int blue);
    bool SetBitmap(int resourceId, int red, int green, int blue);

    // Shows the window at its place without activating it, fading it in when asked, and starts
    // the display timer.
    void Show();
    // Hides the window, fading it out when asked, and deletes the splash afterwards.
    void Hide();
    // Keeps the splash on screen for ms while the calling (user-interface) thread is held: no
    // input is handled and, until the splash has been painted and faded in, no timer fires.
    // After that timers run again (the page's web engine starts meanwhile), but the display
    // timer waits until the hold ends. The time comes from platform::DelaySleep, so tests
    // pass it at once.
    void Hold(int ms);
    // A tick of timer id: the display timer hides the splash.
    void OnTimer(int id);

    const QPixmap& Bitmap() const { return m_bitmap; }
    // True once the window has been painted.
    bool IsPainted() const { return m_painted; }
    // True when Show and Hide fade the window (a style bit and a window system that can).
    bool Fades(int styleBit) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    enum class Fade
    {
        None,
        In,
        Out
    };

    bool UseBitmap(const QImage& image, int red, int green, int blue);
    void StartFade(Fade fade);
    void StepFade();
    void Destroy();

    TimerSet* m_timers;
    QPointer<QWidget> m_parent;
    QPixmap m_bitmap;
    QString m_text;
    QRect m_textRect;
    QColor m_textColour = Qt::black;
    int m_textFormat = Qt::AlignCenter | Qt::TextSingleLine;
    QFont m_font;
    int m_displayTimeMs = 2000;
    int m_style = 0;
    QPoint m_position;
    Fade m_fade = Fade::None;
    qint64 m_fadeStart = 0;
    QTimer m_fadeTimer;
    bool m_painted = false;
    bool m_hiding = false;
};

// The region of every pixel of bitmap whose colour (alpha aside) differs from key: for every
// row, each maximal run of such pixels as a rectangle one pixel high (a run still open at the
// last column reaches the right edge), all united into one region.
QRegion KeyColourRegion(const QImage& bitmap, QRgb key);

// True when the window system can change a window's opacity (X11, Windows, macOS; not
// Wayland, nor the offscreen platform of the tests).
bool WindowOpacitySupported();

// The sheet's splash bitmap: "Splash.bmp" in folder when it exists and can be read, else the
// built-in bitmap 134; key colour magenta (red 255, green 0, blue 255).
void SetSplashBitmap(CSplashScreenEx& splash, const QString& folder);
