#include "ui/CSplashScreenEx.h"

#include "app/TimerSet.h"
#include "platform/Delay.h"
#include "update/Bitmaps.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QScreen>

namespace {

// How often a fade changes the opacity, and how long the hold sleeps between looks at the
// event queue.
constexpr int kFadeStepMs = 15;
constexpr int kHoldStepMs = 10;

} // namespace

CSplashScreenEx::CSplashScreenEx()
    : m_timers(new TimerSet([this](int id) { OnTimer(id); }, this)), m_font(QApplication::font())
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    // The bitmap covers the whole window: no background is erased under it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    m_fadeTimer.setInterval(kFadeStepMs);
    connect(&m_fadeTimer, &QTimer::timeout, this, &CSplashScreenEx::StepFade);
}

CSplashScreenEx::~CSplashScreenEx() = default;

bool CSplashScreenEx::Create(QWidget* parent, const QString& text, int displayTimeMs, int style)
{
    m_parent = parent;
    m_text = text;
    m_displayTimeMs = displayTimeMs;
    m_style = style;
    setObjectName(QStringLiteral("SplashScreenExClass"));
    Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint;
    // The window system draws a shadow under a tool window when it draws any.
    if (!(style & kShadow))
        flags |= Qt::NoDropShadowWindowHint;
    setParent(parent, flags);
    resize(0, 0);
    winId(); // the native window, as the window system makes it
    return windowHandle() != nullptr;
}

bool CSplashScreenEx::SetBitmap(const QString& path, int red, int green, int blue)
{
    return UseBitmap(QImage(path), red, green, blue);
}

bool CSplashScreenEx::SetBitmap(int resourceId, int red, int green, int blue)
{
    return UseBitmap(LoadBitmap(resourceId).toImage(), red, green, blue);
}

bool CSplashScreenEx::UseBitmap(const QImage& image, int red, int green, int blue)
{
    if (image.isNull())
        return false;
    m_bitmap = QPixmap::fromImage(image);
    const QSize size = image.size();
    m_textRect = QRect(QPoint(0, 0), size);
    QRect around;
    if (m_style & kCenterScreen) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            around = screen->geometry();
    } else if ((m_style & kCenterParent) && m_parent) {
        around = m_parent->frameGeometry();
    }
    m_position =
        around.isValid() ? around.center() - QPoint(size.width() / 2, size.height() / 2) : pos();
    if (red != kNoKey && green != kNoKey && blue != kNoKey)
        setMask(KeyColourRegion(image, qRgb(red, green, blue)));
    return true;
}

bool CSplashScreenEx::Fades(int styleBit) const
{
    return (m_style & styleBit) && WindowOpacitySupported();
}

void CSplashScreenEx::Show()
{
    setGeometry(QRect(m_position, m_bitmap.size()));
    if (Fades(kFadeIn)) {
        setWindowOpacity(0.0);
        StartFade(Fade::In);
    }
    show();
    if (m_displayTimeMs != 0)
        m_timers->Set(kDisplayTimer, m_displayTimeMs);
}

void CSplashScreenEx::Hold(int ms)
{
    const qint64 end = platform::DelayNowMs() + ms;
    const auto holdStep = [this, end](QEventLoop::ProcessEventsFlags flags) {
        QCoreApplication::processEvents(flags);
        StepFade();
        platform::DelaySleep(
            static_cast<int>(qMin<qint64>(kHoldStepMs, end - platform::DelayNowMs())));
    };
    // As if the thread slept: the display timer does not fire during the hold.
    m_timers->SetManual(true);
    while (platform::DelayNowMs() < end && (!m_painted || m_fade == Fade::In))
        holdStep(QEventLoop::ExcludeUserInputEvents | QEventLoop::X11ExcludeTimers);
    while (platform::DelayNowMs() < end)
        holdStep(QEventLoop::ExcludeUserInputEvents);
    m_timers->SetManual(false);
}

void CSplashScreenEx::Hide()
{
    if (m_hiding)
        return;
    m_hiding = true;
    m_timers->KillAll();
    if (Fades(kFadeOut) && isVisible())
        StartFade(Fade::Out);
    else
        Destroy();
}

void CSplashScreenEx::OnTimer(int id)
{
    if (id != kDisplayTimer)
        return;
    m_timers->Kill(id);
    Hide();
}

void CSplashScreenEx::StartFade(Fade fade)
{
    m_fade = fade;
    m_fadeStart = platform::DelayNowMs();
    m_fadeTimer.start();
}

void CSplashScreenEx::StepFade()
{
    if (m_fade == Fade::None)
        return;
    const double elapsed = static_cast<double>(platform::DelayNowMs() - m_fadeStart);
    if (m_fade == Fade::In) {
        const double opacity = qMin(1.0, elapsed / kFadeInMs);
        setWindowOpacity(opacity);
        if (opacity >= 1.0) {
            m_fade = Fade::None;
            m_fadeTimer.stop();
        }
        return;
    }
    const double opacity = qMax(0.0, 1.0 - elapsed / kFadeOutMs);
    setWindowOpacity(opacity);
    if (opacity <= 0.0)
        Destroy();
}

void CSplashScreenEx::Destroy()
{
    m_fade = Fade::None;
    m_fadeTimer.stop();
    hide();
    deleteLater();
}

void CSplashScreenEx::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_bitmap);
    painter.setFont(m_font);
    painter.setPen(m_textColour);
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.drawText(m_textRect, m_textFormat, m_text);
    m_painted = true;
}

QRegion KeyColourRegion(const QImage& bitmap, QRgb key)
{
    const QImage image = bitmap.convertToFormat(QImage::Format_RGB32);
    const QRgb keyColour = key & RGB_MASK;
    const int width = image.width();
    // The runs arrive row by row, left to right: each one is appended to the region.
    QRegion region;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        int start = -1;
        for (int x = 0; x < width; ++x) {
            const bool shown = (row[x] & RGB_MASK) != keyColour;
            if (shown && start < 0) {
                start = x;
            } else if (!shown && start >= 0) {
                region += QRect(start, y, x - start, 1);
                start = -1;
            }
        }
        if (start >= 0)
            region += QRect(start, y, width - start, 1);
    }
    return region;
}

bool WindowOpacitySupported()
{
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("xcb") || platform == QLatin1String("windows") ||
           platform == QLatin1String("cocoa");
}

void SetSplashBitmap(CSplashScreenEx& splash, const QString& folder)
{
    const QString file = QDir(folder).filePath(QStringLiteral("Splash.bmp"));
    if (QFile::exists(file) && splash.SetBitmap(file, 255, 0, 255))
        return;
    splash.SetBitmap(kBitmapSplash, 255, 0, 255);
}
