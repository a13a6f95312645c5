#pragma once

namespace platform {

// The local time as the program reads it: calendar date, time of day and milliseconds.
struct LocalTime
{
    int year = 0;
    int month = 0; // 1 to 12
    int day = 0;   // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// Where the local time comes from. The program reads the system clock; tests install a
// clock of their own so that names built from the time are known in advance.
class Clock
{
public:
    virtual ~Clock() = default;
    // The current local time.
    virtual LocalTime now() const = 0;
};

// Installs clock as the one that GetLocalTime() reads; null restores the system clock. The
// caller keeps ownership and must uninstall it before destroying it.
void installClock(const Clock* clock);

// The current local time from the installed clock. Callable from any thread.
LocalTime GetLocalTime();

// A clock that always tells the same time; installed while it lives.
class FixedClock final : public Clock
{
public:
    explicit FixedClock(const LocalTime& time);
    ~FixedClock() override;
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;

    LocalTime now() const override { return m_time; }

private:
    LocalTime m_time;
};

} // namespace platform
