#pragma once

#include "link/CallbackSlot.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

// What a download dialog shares with its worker. Both hold it through a shared_ptr, so a
// worker whose dialog was closed early still has somewhere to write. The worker writes the
// progress fields, then the failed flag, and the finished flag last.
class DownloadState
{
public:
    static constexpr std::uint32_t kNoReport = 0xFFFFFFFF;

    DownloadState(std::string url, std::string localPath, std::int64_t maxBytesPerSecond = 0);
    DownloadState(const DownloadState&) = delete;
    DownloadState& operator=(const DownloadState&) = delete;

    // Fixed when the state is made.
    const std::string m_url;
    const std::string m_localPath;
    const std::int64_t m_maxBytesPerSecond; // 0: no cap

    std::atomic<std::uint8_t> m_bStarted{0};
    std::atomic<std::uint8_t> m_bFinished{0};
    std::atomic<std::uint8_t> m_bFailed{0};
    // Last report of the transfer: bytes so far and the expected total.
    std::atomic<std::uint32_t> m_progress{0};
    std::atomic<std::uint32_t> m_progressMax{kNoReport};

    // Decides who ends the download: the worker when it has its result, or the dialog when it
    // is closed first. Returns true for the first caller only. Once the dialog has won, the
    // worker stops its transfer and keeps no file.
    bool Settle() { return m_settled.exchange(1) == 0; }
    bool IsSettled() const { return m_settled.load() != 0; }

    // Installs the function that the worker calls (on its thread) when the progress to show
    // has changed; an empty function removes it. Removal waits for a call in progress, so
    // once it returns the old function is never called again.
    void SetProgressListener(std::function<void()> listener)
    {
        m_listener.Set(std::move(listener));
    }
    void NotifyProgress() { m_listener.Call(); }

private:
    std::atomic<std::uint8_t> m_settled{0};
    CallbackSlot m_listener;
};

// The bar position for a report: received × 100 / expected, rounded down; 0 when nothing or
// an expected total of 0 was reported. Computed in 64 bits so that large files do not wrap.
std::uint32_t ProgressPercent(std::uint32_t progress, std::uint32_t progressMax);

// The failed rule: a download failed unless the transfer succeeded and its last reported
// progress equals its last reported maximum (never reported counts as failed).
bool DownloadFailed(bool transferOk, std::uint32_t progress, std::uint32_t progressMax);

// The download worker: fetches state->m_url into state->m_localPath. The data goes to a
// temporary file beside the local path, renamed to it only on success, so a failed or
// abandoned download leaves no partial file behind; a file that arrived whole is never
// removed, even when the dialog ended just before the worker could tell it. A stop request
// (like a dialog that ended first) ends the transfer within a fraction of a second. Touches
// nothing but state. Returns 1.
int RunDownload(std::shared_ptr<DownloadState> state, std::stop_token stop = {});
