#include "updater/download_thread.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

#include "common/messages.h"
#include "common/text.h"
#include "updater/sha256_pipe.h"

namespace qarv {
namespace {

// The longest a turn of the transfer loop waits for its sockets; a stop wakes it earlier.
constexpr int kPollMs = 10;
// Large blocks from the socket and to the file keep a loopback download near the disk's pace.
constexpr long kReceiveBufferBytes = 512 * 1024;
constexpr std::size_t kFileBufferBytes = 1 << 20;
constexpr char kInitError[] = "Init Error";

// The handles of one transfer, released in the order libcurl needs.
struct TransferHandles {
    TransferHandles() = default;
    TransferHandles(const TransferHandles&) = delete;
    TransferHandles& operator=(const TransferHandles&) = delete;
    ~TransferHandles() {
        if (multi != nullptr && easy != nullptr && added)
            curl_multi_remove_handle(multi, easy);
        if (multi != nullptr)
            curl_multi_cleanup(multi);
        if (easy != nullptr)
            curl_easy_cleanup(easy);
        if (headers != nullptr)
            curl_slist_free_all(headers);
    }

    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    curl_slist* headers = nullptr;
    bool added = false;
};

}  // namespace

struct DownloadThread::Callbacks {
    static std::size_t Write(char* data, std::size_t size, std::size_t count, void* context) {
        auto* self = static_cast<DownloadThread*>(context);
        const std::size_t bytes = size * count;
        if (bytes > self->settings_.maxBytes - self->received_) {
            self->tooLarge_ = true;
            return 0;  // ends the transfer with a write error
        }
        if (std::fwrite(data, 1, bytes, self->file_.get()) != bytes) {
            self->writeFailed_ = true;
            return 0;
        }
        if (self->digest_ != nullptr && !self->digest_->Feed(data, bytes)) {
            self->writeFailed_ = true;
            return 0;
        }
        self->received_ += bytes;
        return bytes;
    }

    static int XferInfo(void* context, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
        static_cast<DownloadThread*>(context)->ReportProgress(now, total);
        return 0;  // never aborts from here; a stop ends the loop
    }
};

DownloadThread::DownloadThread(DownloadSettings settings) : settings_(std::move(settings)) {
    // Reference-counted by libcurl; made on the controlling thread, before any transfer.
    curl_global_init(CURL_GLOBAL_ALL);
}

DownloadThread::~DownloadThread() {
    DownloadThread::stop();
    file_.reset();
    curl_global_cleanup();
}

int DownloadThread::Prepare(MessageTargetPtr target, const std::string& url,
                            const std::string& expectedSha256) {
    if (!idle() || url.empty())
        return -1;
    FilePtr file(std::fopen(settings_.outputPath.c_str(), "wb+e"));
    if (!file)
        return -1;
    std::setvbuf(file.get(), nullptr, _IOFBF, kFileBufferBytes);
    target_ = std::move(target);
    url_ = url;
    expectedSha256_ = AsciiLower(expectedSha256);
    file_ = std::move(file);
    ready_ = true;
    return 0;
}

void DownloadThread::stop() {
    stopRequested_.store(true);
    {
        std::lock_guard lock(wakeMutex_);
        if (multi_ != nullptr)
            curl_multi_wakeup(static_cast<CURLM*>(multi_));
    }
    Thread::stop();
    // The loop ends within one turn once woken; wait for it so that the done message has gone
    // out and the file is closed.
    Join();
}

void DownloadThread::run() {
    if (!ready_) {
        SetRunning(false);
        return;
    }
    DownloadOutcome outcome = StopRequested() ? kDownloadStopped : Transfer();
    // The file is closed before the launcher hears of the end, so it may move it at once.
    if (std::fclose(file_.release()) != 0 && outcome == kDownloadComplete)
        outcome = kDownloadWriteFailed;
    url_.clear();
    ready_ = false;
    if (outcome == kDownloadNotStarted) {
        // The transfer could not be set up: no finish message, as for a worker that never ran.
        statusText_ = kInitError;
        statusCode_ = -1;
        outcome_.store(outcome);
        SetRunning(false);
        return;
    }
    outcome_.store(outcome);
    SetRunning(false);
    if (target_)
        target_->post(WM_DOWNLOAD_DONE, 1, outcome);
}

void DownloadThread::ReportProgress(long long received, long long total) {
    if (total <= 0)
        return;  // the length is not known (yet): nothing to report against
    const int perMille = static_cast<int>(std::clamp<long long>(received * 1000 / total, 0, 1000));
    if (perMille == postedPerMille_)
        return;
    postedPerMille_ = perMille;
    if (target_)
        target_->post(WM_DOWNLOAD_PROGRESS, 0, perMille);
}

DownloadOutcome DownloadThread::Transfer() {
    received_ = 0;
    writeFailed_ = false;
    tooLarge_ = false;
    postedPerMille_ = -1;
    // The digest is made beside the transfer, on a thread of its own.
    std::optional<Sha256Pipe> digest;
    if (!expectedSha256_.empty())
        digest.emplace();
    digest_ = digest ? &*digest : nullptr;

    TransferHandles transfer;
    transfer.easy = curl_easy_init();
    transfer.multi = curl_multi_init();
    transfer.headers = curl_slist_append(nullptr, "Expect:");
    if (transfer.easy == nullptr || transfer.multi == nullptr || transfer.headers == nullptr)
        return kDownloadNotStarted;
    CURL* easy = transfer.easy;
    const std::pair<CURLoption, long> numbers[] = {
        {CURLOPT_HTTPGET, 1L},
        {CURLOPT_NOSIGNAL, 1L},  // time-outs without SIGALRM, which a threaded process must not get
        {CURLOPT_VERBOSE, 0L},
        {CURLOPT_NOPROGRESS, 0L},
        {CURLOPT_CONNECTTIMEOUT, settings_.connectTimeoutSeconds},
        {CURLOPT_LOW_SPEED_LIMIT, settings_.lowSpeedBytes},
        {CURLOPT_LOW_SPEED_TIME, settings_.lowSpeedSeconds},
        {CURLOPT_BUFFERSIZE, kReceiveBufferBytes},
    };
    CURLcode rc = CURLE_OK;
    for (const auto& [option, value] : numbers) {
        if (rc == CURLE_OK)
            rc = curl_easy_setopt(easy, option, value);
    }
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(easy, CURLOPT_URL, url_.c_str());
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer.headers);
    if (rc == CURLE_OK && !settings_.cookieFile.empty())
        rc = curl_easy_setopt(easy, CURLOPT_COOKIEFILE, settings_.cookieFile.c_str());
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Callbacks::XferInfo);
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Callbacks::Write);
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    if (rc != CURLE_OK || curl_multi_add_handle(transfer.multi, easy) != CURLM_OK)
        return kDownloadNotStarted;
    transfer.added = true;
    {
        std::lock_guard lock(wakeMutex_);
        multi_ = transfer.multi;
    }

    CURLcode result = CURLE_FAILED_INIT;
    bool finished = false;
    int active = 1;
    while (!StopRequested()) {
        if (curl_multi_perform(transfer.multi, &active) != CURLM_OK)
            break;
        if (active == 0) {
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(transfer.multi, &queued)) {
                if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                    result = message->data.result;
                    finished = true;
                }
            }
            break;
        }
        if (curl_multi_poll(transfer.multi, nullptr, 0, kPollMs, nullptr) != CURLM_OK)
            break;
    }
    {
        std::lock_guard lock(wakeMutex_);
        multi_ = nullptr;
    }
    digest_ = nullptr;

    if (!finished)
        return StopRequested() ? kDownloadStopped : kDownloadNetworkFailed;
    if (tooLarge_)
        return kDownloadWrongSize;
    if (writeFailed_)
        return kDownloadWriteFailed;
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (result != CURLE_OK)
        return status != 0 && status != 200 ? kDownloadHttpError : kDownloadNetworkFailed;
    if (status != 200)
        return kDownloadHttpError;
    curl_off_t announced = -1;
    curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    if (announced >= 0 && static_cast<std::uint64_t>(announced) != received_)
        return kDownloadWrongSize;
    if (std::fflush(file_.get()) != 0)
        return kDownloadWriteFailed;
    if (digest && digest->Finish() != expectedSha256_)
        return kDownloadChecksumMismatch;
    return kDownloadComplete;
}

}  // namespace qarv
