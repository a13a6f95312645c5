#pragma once

#include "link/UsbLink.h"
#include "link/WorkerThread.h"

#include <QDialog>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <memory>
#include <stop_token>

class QLabel;

// What the content check dialog shares with its worker. Both hold it through a shared_ptr,
// so a worker whose dialog was closed early still writes into a live object.
class CrcCheckState
{
public:
    std::atomic<std::uint8_t> m_bStarted{0};
    // The unit's answer has arrived and passed the acknowledge test; it is in g_ansPacket.
    std::atomic<std::uint8_t> m_bDone{0};
    // Gives up the worker's exchange when the dialog ends before the answer.
    UsbCancelToken m_cancel;
};

// The check worker: sends "$RC" (0, 0, 1) with the acknowledge test and sets the done flag
// when the answer came. A failed exchange has shown its own "Error[9001]" to "Error[9003]";
// a cancelled one shows nothing, and a stop request cancels it. Touches nothing but state and
// the link. Returns 1 or 0.
int RunCrcCheck(std::shared_ptr<CrcCheckState> state, std::stop_token stop = {});

// The content check dialog (dialog 117): a waiting text (1160) and no buttons, shown while
// the unit checks its stored content, which can take minutes. Run modally; its first timer
// tick (12001, every 500 ms) starts the worker, and the first tick after the answer has come
// ends it with Accepted. A failed exchange leaves it open until the user closes it.
//
// Closing it early (Escape, Enter, the close box) ends it without the done flag and gives up
// the wait on the unit: the worker returns at once and the unit's late answer is dropped, so
// the next exchange of any page gets its own answer. The user-interface thread never waits
// on the link. Closing the owner window (the program ends) closes the dialog the same way.
class CCrcCheck final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCrcCheck)

public:
    static constexpr int kDialogId = 117;
    static constexpr int kTimerId = 12001;
    static constexpr int kTimerPeriodMs = 500;

    explicit CCrcCheck(QWidget* parent = nullptr);
    ~CCrcCheck() override;

    // The window-timer handler: id 12001 starts the worker, or ends the dialog with Accepted
    // once the check is done; other ids do nothing. Tests call it directly.
    void OnTimer(int id);
    // True when the check produced an answer; the caller then reads bytes 60 to 62 of
    // g_ansPacket before anything else uses the link.
    bool Done() const { return m_state->m_bDone.load() != 0; }
    // True while the worker runs.
    bool WorkerRunning() const { return m_worker.Running(); }
    QTimer& Timer() { return m_timer; }
    // The state shared with the current worker, for callers that watch it, such as tests.
    std::shared_ptr<const CrcCheckState> State() const { return m_state; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void done(int result) override;

private:
    void OnInitDialog();

    QLabel* m_message = nullptr;
    QTimer m_timer;
    std::shared_ptr<CrcCheckState> m_state;
    WorkerThread m_worker;
    bool m_initialised = false;
    bool m_ended = false;
};
