#include "platform/Clock.h"

#include <QDateTime>
#include <atomic>

namespace platform {

namespace {

class SystemClock final : public Clock
{
public:
    LocalTime now() const override
    {
        const QDateTime t = QDateTime::currentDateTime();
        const QDate d = t.date();
        const QTime tod = t.time();
        return LocalTime{d.year(),     d.month(),    d.day(),   tod.hour(),
                         tod.minute(), tod.second(), tod.msec()};
    }
};

std::atomic<const Clock*> g_installedClock{nullptr};

} // namespace

void installClock(const Clock* clock)
{
    g_installedClock.store(clock);
}

LocalTime GetLocalTime()
{
    static const SystemClock system;
    const Clock* installed = g_installedClock.load();
    return installed ? installed->now() : system.now();
}

FixedClock::FixedClock(const LocalTime& time) : m_time(time)
{
    installClock(this);
}

FixedClock::~FixedClock()
{
    installClock(nullptr);
}

} // namespace platform
