#include "update/DownloadWorker.h"

#include "update/UrlDownload.h"

#include <cstdio>
#include <memory>

DownloadState::DownloadState(std::string url, std::string localPath, std::int64_t maxBytesPerSecond)
    : m_url(std::move(url)), m_localPath(std::move(localPath)),
      m_maxBytesPerSecond(maxBytesPerSecond)
{
}

std::uint32_t ProgressPercent(std::uint32_t progress, std::uint32_t progressMax)
{
    if (progressMax == 0 || progressMax == DownloadState::kNoReport)
        return 0;
    return static_cast<std::uint32_t>(std::uint64_t{progress} * 100 / progressMax);
}

bool DownloadFailed(bool transferOk, std::uint32_t progress, std::uint32_t progressMax)
{
    return !(transferOk && progress == progressMax);
}

int RunDownload(std::shared_ptr<DownloadState> state, std::stop_token stop)
{
    const std::string partial = state->m_localPath + ".part";
    // What the dialog would show: the percent, or -1 for "bytes arriving, size unknown".
    std::int64_t lastShown = -2;
    auto report = [&state, &lastShown](std::uint64_t received, std::uint64_t expected) {
        if (state->IsSettled())
            return false;
        state->m_progress.store(static_cast<std::uint32_t>(received));
        state->m_progressMax.store(static_cast<std::uint32_t>(expected));
        const std::int64_t shown = expected == 0 && received > 0
                                       ? -1
                                       : ProgressPercent(static_cast<std::uint32_t>(received),
                                                         static_cast<std::uint32_t>(expected));
        if (shown != lastShown) {
            lastShown = shown;
            state->NotifyProgress();
        }
        return true;
    };

    const UrlDownloadResult result =
        DownloadUrlToFile(state->m_url, partial, report, state->m_maxBytesPerSecond, stop);
    if (result.ok) {
        // The end-of-download report: the whole file against the size the server announced,
        // or against what arrived when it announced none.
        // (A stream such as a pipe announces a size of 0 and then delivers data.)
        const std::uint64_t total = result.expectedSize > 0
                                        ? static_cast<std::uint64_t>(result.expectedSize)
                                        : result.received;
        report(result.received, total);
    }

    bool failed = DownloadFailed(result.ok, state->m_progress.load(), state->m_progressMax.load());
    if (!failed && std::rename(partial.c_str(), state->m_localPath.c_str()) != 0)
        failed = true;
    if (failed)
        std::remove(partial.c_str());
    state->m_bFailed.store(failed ? 1 : 0);
    // The dialog ended first, so its caller already counts this download as failed; a file
    // that arrived whole stays where it landed all the same.
    if (!state->Settle())
        state->m_bFailed.store(1);
    state->m_bFinished.store(1);
    state->NotifyProgress();
    return 1;
}
