#pragma once

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

// Called during a transfer with the bytes received so far and the expected total (0 while
// the size is unknown). Returning false aborts the transfer.
using UrlProgressFn = std::function<bool(std::uint64_t received, std::uint64_t expected)>;

struct UrlDownloadResult
{
    bool ok = false;                // the whole file arrived and was written
    std::uint64_t received = 0;     // bytes received
    std::int64_t expectedSize = -1; // size announced by the server, -1 when it announced none
};

// Fetches url (ftp://, ftps://, file://, http://, https://) into the file at filePath,
// created or truncated, on the calling thread; progress runs on the calling thread too.
// maxBytesPerSecond > 0 caps the receive rate (a slow link, as tests need one). A stalled
// server is given up after a minute without data. A stop request ends the transfer within
// kStopLatencyMs, even while nothing arrives. The file is left as the transfer left it: the
// caller removes what it does not keep.
UrlDownloadResult DownloadUrlToFile(const std::string& url, const std::string& filePath,
                                    const UrlProgressFn& progress,
                                    std::int64_t maxBytesPerSecond = 0, std::stop_token stop = {});

inline constexpr int kStopLatencyMs = 50;
