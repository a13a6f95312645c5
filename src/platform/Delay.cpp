#include "platform/Delay.h"

#include <QThread>
#include <atomic>
#include <chrono>

namespace platform {

namespace {

class SystemDelay final : public Delay
{
public:
    qint64 NowMs() const override
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    void Sleep(int ms) override { QThread::msleep(static_cast<unsigned long>(qMax(ms, 0))); }
};

std::atomic<Delay*> g_installedDelay{nullptr};

Delay& Current()
{
    static SystemDelay system;
    Delay* installed = g_installedDelay.load();
    return installed ? *installed : system;
}

} // namespace

void installDelay(Delay* delay)
{
    g_installedDelay.store(delay);
}

Delay* installedDelay()
{
    return g_installedDelay.load();
}

qint64 DelayNowMs()
{
    return Current().NowMs();
}

void DelaySleep(int ms)
{
    Current().Sleep(ms);
}

InstantDelay::InstantDelay(std::function<void(qint64)> onSleep)
    : m_onSleep(std::move(onSleep)), m_previous(installedDelay())
{
    installDelay(this);
}

InstantDelay::~InstantDelay()
{
    installDelay(m_previous);
}

void InstantDelay::Sleep(int ms)
{
    m_now += qMax(ms, 0);
    if (m_onSleep)
        m_onSleep(m_now);
}

} // namespace platform
