#pragma once

#include <QtGlobal>
#include <functional>

namespace platform {

// How the user-interface thread waits out a fixed time (the splash screen's hold): a clock in
// milliseconds and a sleep. The program uses the steady clock and really sleeps; tests install
// a delay whose time only moves when something sleeps, so that no test waits.
class Delay
{
public:
    virtual ~Delay() = default;
    // Milliseconds since an arbitrary start; never goes back.
    virtual qint64 NowMs() const = 0;
    // Blocks the calling thread for ms milliseconds.
    virtual void Sleep(int ms) = 0;
};

// Installs delay as the one DelayNowMs() and DelaySleep() use; null restores the real one.
// The caller keeps ownership and must uninstall it before destroying it.
void installDelay(Delay* delay);
// The installed delay, null when the real one is in use.
Delay* installedDelay();

qint64 DelayNowMs();
void DelaySleep(int ms);

// A delay in virtual time: sleeping moves its clock on at once. Installed while it lives; the
// delay installed before it comes back when it goes.
class InstantDelay final : public Delay
{
public:
    // onSleep, when given, runs after every sleep with the new time.
    explicit InstantDelay(std::function<void(qint64 now)> onSleep = {});
    ~InstantDelay() override;
    InstantDelay(const InstantDelay&) = delete;
    InstantDelay& operator=(const InstantDelay&) = delete;

    qint64 NowMs() const override { return m_now; }
    void Sleep(int ms) override;

private:
    std::function<void(qint64)> m_onSleep;
    Delay* m_previous;
    qint64 m_now = 0;
};

} // namespace platform
