#include "recorder/sharing/progress_http_upload.h"

#include <curl/curl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <utility>

#include "common/log.h"
#include "common/log_codes.h"
#include "common/messages.h"
#include "common/paths.h"
#include "recorder/account/login_register.h"
#include "recorder/account/reply_collector.h"
#include "recorder/account/reply_envelope.h"
#include "recorder/shell/qarv_record_info_center.h"

namespace qarv {
namespace {

constexpr char kUploadPath[] = "upload_user_video";
// The longest a turn of the transfer loop waits for its sockets; a stop wakes it earlier.
constexpr int kPollMs = 10;

// Failures of the way to the site, which a second attempt may not meet; everything else
// (a refusal, a bad reply, an unreadable file, a stop) is final.
bool IsNetworkFailure(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_CONNECT:
        case CURLE_OPERATION_TIMEDOUT:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
            return true;
        default:
            return false;
    }
}

std::string BaseAddress(const std::string& url) {
    if (url.empty() || url.back() == '/')
        return url;
    return url + '/';
}

// The handles of one transfer, released in the order libcurl needs: the easy handle leaves
// the multi stack before either is cleaned up, and the form outlives the easy handle.
struct Transfer {
    Transfer() = default;
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    ~Transfer() {
        if (multi != nullptr && easy != nullptr && added)
            curl_multi_remove_handle(multi, easy);
        if (multi != nullptr)
            curl_multi_cleanup(multi);
        if (easy != nullptr)
            curl_easy_cleanup(easy);
        if (form != nullptr)
            curl_mime_free(form);
        if (headers != nullptr)
            curl_slist_free_all(headers);
    }

    CURL* easy = nullptr;
    CURLM* multi = nullptr;
    curl_mime* form = nullptr;
    curl_slist* headers = nullptr;
    bool added = false;
};

CURLcode AddTextPart(curl_mime* form, const char* name, const std::string& text) {
    curl_mimepart* part = curl_mime_addpart(form);
    if (part == nullptr)
        return CURLE_OUT_OF_MEMORY;
    CURLcode rc = curl_mime_name(part, name);
    if (rc == CURLE_OK)
        rc = curl_mime_data(part, text.data(), text.size());
    return rc;
}

// The four parts in the order the site reads them: title, desc, tags, and the file, which
// libcurl streams from disk under its base name.
CURLcode BuildForm(curl_mime* form, const VideoElement& video, const std::string& description,
                   const std::string& path) {
    CURLcode rc = AddTextPart(form, "title", video.Title);
    if (rc == CURLE_OK)
        rc = AddTextPart(form, "desc", description);
    if (rc == CURLE_OK)
        rc = AddTextPart(form, "tags", video.Category);
    if (rc != CURLE_OK)
        return rc;
    curl_mimepart* file = curl_mime_addpart(form);
    if (file == nullptr)
        return CURLE_OUT_OF_MEMORY;
    rc = curl_mime_name(file, "file");
    if (rc == CURLE_OK)
        rc = curl_mime_filedata(file, path.c_str());  // CURLE_READ_ERROR: missing or unreadable
    return rc;
}

}  // namespace

ProgressHttpUpload::ProgressHttpUpload(const UploadRequest& request, UploadSettings settings)
    : request_(request), settings_(std::move(settings)) {
    // Reference-counted by libcurl; made here, on the controlling thread, before any transfer.
    curl_global_init(CURL_GLOBAL_ALL);
    if (settings_.baseUrl.empty() || settings_.videoFolder.empty()) {
        const auto center = QarvRecordInfoCenter::Instance();
        if (settings_.baseUrl.empty())
            settings_.baseUrl = center->GetServerInfo().url;
        if (settings_.videoFolder.empty())
            settings_.videoFolder = center->GetVideoDir();
    }
    if (settings_.cookieFile.empty())
        settings_.cookieFile = DefaultCookieFile();
}

ProgressHttpUpload::~ProgressHttpUpload() {
    ProgressHttpUpload::stop();
    curl_global_cleanup();
}

void ProgressHttpUpload::SetNotifyTarget(MessageTargetPtr target) {
    target_ = std::move(target);
}

void ProgressHttpUpload::SetTaskIndex(int index) {
    taskIndex_ = index;
}

void ProgressHttpUpload::MarkReady() {
    ready_ = true;
}

void ProgressHttpUpload::stop() {
    RequestStop();
    Thread::stop();
    // The transfer ends within one turn of its loop once woken: wait for it, so that the done
    // message has gone out and the object may go.
    Join();
}

void ProgressHttpUpload::RequestStop() {
    stopRequested_.store(true);
    Wake();
}

void ProgressHttpUpload::Wake() {
    std::lock_guard lock(wakeMutex_);
    if (multi_ != nullptr)
        curl_multi_wakeup(static_cast<CURLM*>(multi_));
    pauseSignal_.notify_all();
}

bool ProgressHttpUpload::Pause(int ms) {
    std::unique_lock lock(wakeMutex_);
    return !pauseSignal_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return StopRequested(); });
}

void ProgressHttpUpload::run() {
    if (!ready_) {
        LogError(__LINE__, kSrcProgressHttpUpload, kCodeUploadThreadNotInitialised,
                 kMsgUploadThreadNotInitialised);
        SetRunning(false);
        return;
    }
    // An upload stopped before its thread got here still reports its end, so that whoever
    // started it learns that it failed.
    bool networkFailure = false;
    int result = StopRequested() ? kUploadFailed : Transfer(&networkFailure);
    if (networkFailure && !StopRequested()) {
        LogWarn(__LINE__, kSrcProgressHttpUpload, kCodeUploadRetry, kMsgUploadRetry,
                request_.video.FileName.c_str());
        if (Pause(settings_.retryPauseMs)) {
            RestartProgress();
            result = Transfer(&networkFailure);
        }
    }
    result_.store(result);
    SetRunning(false);
    ended_.store(true);
    if (target_)
        target_->post(WM_UPLOAD_DONE, static_cast<std::uintptr_t>(taskIndex_), result);
}

struct ProgressHttpUpload::Callbacks {
    static int XferInfo(void* self, curl_off_t, curl_off_t, curl_off_t uploadTotal, curl_off_t uploaded) {
        static_cast<ProgressHttpUpload*>(self)->ReportProgress(uploaded, uploadTotal);
        return 0;  // the transfer is never aborted from here; a stop ends the loop
    }
};

void ProgressHttpUpload::ReportProgress(long long uploaded, long long total) {
    if (total <= 0 || !reportProgress_)
        return;
    // A file that grows while it is read can send more than was announced.
    const int percent = static_cast<int>(std::clamp<long long>(uploaded * 100 / total, 0, 100));
    if (percent == postedPercent_)
        return;
    postedPercent_ = percent;
    latestPercent_.store(percent);
    if (target_)
        target_->post(WM_UPLOAD_PROGRESS, static_cast<std::uintptr_t>(taskIndex_), percent);
}

void ProgressHttpUpload::RestartProgress() {
    // The second attempt sends everything again: its percentages start from 0.
    if (postedPercent_ <= 0)
        return;
    postedPercent_ = 0;
    latestPercent_.store(0);
    if (target_)
        target_->post(WM_UPLOAD_PROGRESS, static_cast<std::uintptr_t>(taskIndex_), 0);
}

int ProgressHttpUpload::Transfer(bool* networkFailure) {
    *networkFailure = false;
    const VideoElement& video = request_.video;
    // A crafted catalogue entry must not send a file from elsewhere.
    if (!IsPlainName(video.Date) || !IsPlainName(video.FileName))
        return kUploadFailed;
    const std::string path = JoinPath(JoinPath(settings_.videoFolder, video.Date), video.FileName);
    struct stat status {};
    // An empty video has nothing to report progress on.
    reportProgress_ = ::stat(path.c_str(), &status) == 0 && status.st_size > 0;

    struct Transfer transfer;
    transfer.easy = curl_easy_init();
    transfer.multi = curl_multi_init();
    if (transfer.easy == nullptr || transfer.multi == nullptr)
        return kUploadFailed;
    transfer.form = curl_mime_init(transfer.easy);
    transfer.headers = curl_slist_append(nullptr, "Expect:");
    if (transfer.form == nullptr || transfer.headers == nullptr)
        return kUploadFailed;
    if (BuildForm(transfer.form, video, request_.description, path) != CURLE_OK)
        return kUploadFailed;

    ReplyCollector reply;
    reply.limit = settings_.maxReplyBytes;
    const std::string url = BaseAddress(settings_.baseUrl) + kUploadPath;
    CURL* easy = transfer.easy;
    const std::pair<CURLoption, long> numbers[] = {
        {CURLOPT_NOSIGNAL, 1L},  // time-outs without SIGALRM, which a threaded process must not get
        {CURLOPT_VERBOSE, 0L},
        {CURLOPT_NOPROGRESS, 0L},
        {CURLOPT_CONNECTTIMEOUT, settings_.connectTimeoutSeconds},
        {CURLOPT_LOW_SPEED_LIMIT, 1L},
        {CURLOPT_LOW_SPEED_TIME, settings_.lowSpeedTimeSeconds},
    };
    CURLcode rc = CURLE_OK;
    for (const auto& [option, value] : numbers) {
        if (rc == CURLE_OK)
            rc = curl_easy_setopt(easy, option, value);
    }
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(easy, CURLOPT_COOKIEFILE, settings_.cookieFile.c_str());
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer.headers);
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(easy, CURLOPT_MIMEPOST, transfer.form);
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Callbacks::XferInfo);
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CollectReply);
    if (rc == CURLE_OK)
        rc = curl_easy_setopt(easy, CURLOPT_WRITEDATA, &reply);
    if (rc != CURLE_OK || curl_multi_add_handle(transfer.multi, easy) != CURLM_OK)
        return kUploadFailed;
    transfer.added = true;
    {
        std::lock_guard lock(wakeMutex_);
        multi_ = transfer.multi;
    }

    CURLcode outcome = CURLE_FAILED_INIT;
    bool finished = false;
    bool work = true;  // the sockets or libcurl's timers need a turn of the transfer
    int active = 1;    // transfers libcurl still runs
    while (!StopRequested()) {
        if (work && curl_multi_perform(transfer.multi, &active) != CURLM_OK)
            break;
        if (active == 0) {
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(transfer.multi, &queued)) {
                if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                    outcome = message->data.result;
                    finished = true;
                }
            }
            break;
        }
        // A wait that ends with no socket ready and no timer of libcurl's due needs no turn:
        // skipping it keeps a transfer to a slow site nearly free of CPU.
        long timerMs = -1;
        curl_multi_timeout(transfer.multi, &timerMs);
        int ready = 0;
        if (curl_multi_poll(transfer.multi, nullptr, 0, kPollMs, &ready) != CURLM_OK)
            break;
        work = ready > 0 || (timerMs >= 0 && timerMs <= kPollMs);
    }
    {
        std::lock_guard lock(wakeMutex_);
        multi_ = nullptr;
    }
    if (!finished)
        return kUploadFailed;  // stopped, or the multi stack failed

    // A file that shrank while it was read leaves the form short of what was announced; what
    // the site makes of a truncated form is no verdict on the video.
    curl_off_t announced = -1;
    curl_off_t sent = 0;
    curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_UPLOAD_T, &announced);
    curl_easy_getinfo(easy, CURLINFO_SIZE_UPLOAD_T, &sent);
    const bool wholeFormSent = announced < 0 || sent >= announced;

    ReplyEnvelope envelope;
    const bool wellFormed = !reply.tooLarge && ParseReplyEnvelope(reply.body, &envelope) == kEnvelopeOk;
    if (outcome == CURLE_OK)
        return wellFormed && wholeFormSent ? envelope.retn : kUploadFailed;
    // A site that refuses before it has read the whole form may close the connection while the
    // file is still being sent; its refusal stands. Success needs a transfer that completed.
    if (wellFormed && envelope.retn != 0)
        return envelope.retn;
    // Only a request the site never answered is sent again: once its answer has begun, the site
    // has handled the form and may have stored the video, and a second copy would be a second
    // video.
    long httpStatus = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &httpStatus);
    *networkFailure = IsNetworkFailure(outcome) && httpStatus == 0;
    return kUploadFailed;
}

}  // namespace qarv
