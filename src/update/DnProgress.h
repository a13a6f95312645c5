#pragma once

#include "link/WorkerThread.h"
#include "update/DownloadWorker.h"

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <memory>

class QLabel;
class QProgressBar;

// The download progress dialog (dialog 112): a bar (1023) and a counter such as "2 / 3"
// (1028), no buttons. Run modally; its first timer tick (11001, every 1,000 ms) starts the
// download on a worker thread, and the first tick after the worker has finished closes it.
// The transfer never runs on the user-interface thread, so the program stays responsive.
//
// Closing it early (Escape, the close box) counts as a failed download: the worker stops the
// transfer, removes what it had received, and never touches the dialog; it has ended by the
// time the dialog is destroyed.
class DnProgress final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DnProgress)

public:
    static constexpr int kTimerId = 11001;
    static constexpr int kTimerPeriodMs = 1000;

    explicit DnProgress(QWidget* parent = nullptr);
    ~DnProgress() override;

    // What to fetch and where to put it, and the counter pair; set before the dialog runs.
    void SetDownload(const QString& url, const QString& localPath, std::uint32_t ordinal,
                     std::uint32_t total);
    // Caps the receive rate (bytes per second, 0 for none); for slow links in tests.
    void SetMaxReceiveRate(qint64 bytesPerSecond) { m_maxBytesPerSecond = bytesPerSecond; }

    // The window-timer handler: id 11001 starts the worker, or ends the dialog once the worker
    // has finished; other ids do nothing. Called by the dialog's timer; tests call it directly.
    void OnTimer(int id);

    // After the dialog has ended: true unless the download completed before it ended.
    bool Failed() const;

    // The state shared with the current worker (its flags and progress), for callers that
    // watch it, such as tests. Never null.
    std::shared_ptr<const DownloadState> State() const { return m_state; }

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void OnInitDialog();
    void RefreshBar();

    QProgressBar* m_progressBar = nullptr;
    QLabel* m_counterLabel = nullptr;
    QTimer m_timer;

    QString m_url;
    QString m_localPath;
    std::uint32_t m_ordinal = 1;
    std::uint32_t m_total = 1;
    qint64 m_maxBytesPerSecond = 0;

    std::shared_ptr<DownloadState> m_state;
    WorkerThread m_worker;
    bool m_initialised = false;
    bool m_ended = false;     // done() has run
    bool m_abandoned = false; // ended before the worker had settled the download
};
