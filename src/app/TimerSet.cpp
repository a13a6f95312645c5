#include "app/TimerSet.h"

#include <QTimer>

TimerSet::TimerSet(Handler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler))
{
}

TimerSet::~TimerSet() = default;

TimerSet::Entry& TimerSet::EntryFor(int id)
{
    Entry& entry = m_entries[id];
    if (!entry.timer) {
        entry.timer = new QTimer(this);
        connect(entry.timer, &QTimer::timeout, this, [this, id] {
            // The handler may kill or re-set this very timer; the QTimer object stays alive.
            if (m_handler)
                m_handler(id);
        });
    }
    return entry;
}

void TimerSet::Set(int id, int ms)
{
    Entry& entry = EntryFor(id);
    entry.interval = ms;
    entry.timer->setInterval(ms);
    if (m_manual)
        entry.timer->stop();
    else
        entry.timer->start();
}

void TimerSet::Kill(int id)
{
    const auto it = m_entries.find(id);
    if (it == m_entries.end())
        return;
    it->second.interval = -1;
    it->second.timer->stop();
}

void TimerSet::KillAll()
{
    for (auto& [id, entry] : m_entries) {
        entry.interval = -1;
        entry.timer->stop();
    }
}

bool TimerSet::IsActive(int id) const
{
    return Interval(id) >= 0;
}

int TimerSet::Interval(int id) const
{
    const auto it = m_entries.find(id);
    return it == m_entries.end() ? -1 : it->second.interval;
}

void TimerSet::SetManual(bool manual)
{
    m_manual = manual;
    for (auto& [id, entry] : m_entries) {
        if (manual)
            entry.timer->stop();
        else if (entry.interval >= 0)
            entry.timer->start(entry.interval);
    }
}
