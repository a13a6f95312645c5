#pragma once

#include <QObject>
#include <functional>
#include <map>

class QTimer;

// Window timers with numeric ids, as a page or dialog uses them: one QTimer per id, all
// calling one handler with the id. Setting an id that runs already gives it the new period
// (restarting it). In manual mode nothing runs by itself: the ids and periods are kept so
// that a test can check them and step the handler directly, without waiting on the clock.
class TimerSet final : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(int id)>;

    // handler is called on the owner's thread for every tick of every id.
    TimerSet(Handler handler, QObject* parent);
    ~TimerSet() override;
    Q_DISABLE_COPY_MOVE(TimerSet)

    // Starts timer id with a period of ms milliseconds, or gives a running one the new period.
    void Set(int id, int ms);
    // Stops timer id; nothing happens when it does not run. Safe inside the handler.
    void Kill(int id);
    // Stops every timer.
    void KillAll();

    // True while timer id is set (in manual mode too).
    bool IsActive(int id) const;
    // Period of timer id in milliseconds, or -1 when it is not set.
    int Interval(int id) const;

    // Manual mode on: running timers stop ticking but stay set; later Set calls only
    // record. Manual mode off: every set timer starts ticking.
    void SetManual(bool manual);
    bool IsManual() const { return m_manual; }

private:
    struct Entry
    {
        QTimer* timer = nullptr;
        int interval = -1; // -1: not set
    };

    Entry& EntryFor(int id);

    Handler m_handler;
    std::map<int, Entry> m_entries;
    bool m_manual = false;
};
