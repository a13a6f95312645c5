#include "update/UrlDownload.h"

#include <cstdio>
#include <curl/curl.h>
#include <memory>
#include <mutex>

namespace {

struct EasyCleanup
{
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiCleanup
{
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};

void GlobalInitOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t WriteToFile(char* data, size_t size, size_t count, void* user)
{
    // A short count makes curl fail the transfer with a write error.
    return std::fwrite(data, size, count, static_cast<std::FILE*>(user)) * size;
}

int OnTransferInfo(void* user, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t, curl_off_t)
{
    const auto& progress = *static_cast<const UrlProgressFn*>(user);
    if (!progress)
        return 0;
    const bool goOn = progress(static_cast<std::uint64_t>(dlNow < 0 ? 0 : dlNow),
                               static_cast<std::uint64_t>(dlTotal < 0 ? 0 : dlTotal));
    return goOn ? 0 : 1;
}

// Runs the transfer of easy to its end, or until stop is requested: libcurl alone would look
// at the progress callback only once a second while nothing arrives. The transfer's result.
CURLcode Perform(CURL* easy, const std::stop_token& stop)
{
    const std::unique_ptr<CURLM, MultiCleanup> multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), easy) != CURLM_OK)
        return CURLE_OUT_OF_MEMORY;
    CURLcode code = CURLE_ABORTED_BY_CALLBACK;
    int running = 1;
    while (!stop.stop_requested()) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK)
            break;
        if (running == 0) {
            int left = 0;
            while (CURLMsg* message = curl_multi_info_read(multi.get(), &left)) {
                if (message->msg == CURLMSG_DONE)
                    code = message->data.result;
            }
            break;
        }
        if (curl_multi_poll(multi.get(), nullptr, 0, kStopLatencyMs, nullptr) != CURLM_OK)
            break;
    }
    curl_multi_remove_handle(multi.get(), easy);
    return code;
}

} // namespace

UrlDownloadResult DownloadUrlToFile(const std::string& url, const std::string& filePath,
                                    const UrlProgressFn& progress, std::int64_t maxBytesPerSecond,
                                    std::stop_token stop)
{
    UrlDownloadResult result;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(filePath.c_str(), "wb"));
    if (!file)
        return result;
    GlobalInitOnce();
    std::unique_ptr<CURL, EasyCleanup> easy(curl_easy_init());
    if (!easy)
        return result;

    CURL* e = easy.get();
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "ftp,ftps,file,http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "ftp,ftps,http,https");
    // Worker threads must not be woken by curl's alarm-based timeouts.
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT, 30L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &WriteToFile);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, file.get());
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &OnTransferInfo);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &progress);
    if (maxBytesPerSecond > 0)
        curl_easy_setopt(e, CURLOPT_MAX_RECV_SPEED_LARGE,
                         static_cast<curl_off_t>(maxBytesPerSecond));

    const CURLcode code = Perform(e, stop);

    curl_off_t received = 0;
    curl_off_t expected = -1;
    curl_easy_getinfo(e, CURLINFO_SIZE_DOWNLOAD_T, &received);
    curl_easy_getinfo(e, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected);
    result.received = static_cast<std::uint64_t>(received < 0 ? 0 : received);
    result.expectedSize = expected;
    // The data is only safe once it has left the stdio buffer without error.
    const bool written = std::fflush(file.get()) == 0 && !std::ferror(file.get());
    result.ok = code == CURLE_OK && written;
    return result;
}
