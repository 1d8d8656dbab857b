#pragma once
// One upload of a recorded video to the site: a multipart POST of its title, description,
// category and file on a thread of its own, reporting WM_UPLOAD_PROGRESS and WM_UPLOAD_DONE
// to a message target. Set up, started, stopped and destroyed by one controlling thread (the
// UI thread); running(), LatestPercent() and LastResult() may be read from any thread.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>

#include "common/message_target.h"
#include "common/thread.h"
#include "recorder/library/video_element.h"

namespace qarv {

// What a caller hands in to share one video.
struct UploadRequest {
    std::string description;  // sent as "desc" (system code page)
    VideoElement video;       // gives the title, the category ("tags") and the file
};

// Where and how an upload sends. Empty texts are filled in when the upload is created: the
// addresses from the recorder's configuration, the cookie file with the login's.
struct UploadSettings {
    std::string baseUrl;      // the site's base address; the form goes to baseUrl + "upload_user_video"
    std::string videoFolder;  // the file is videoFolder/Date/FileName
    std::string cookieFile;   // the session cookies the login saved, "Config/cookie.txt"
    long connectTimeoutSeconds = 15;
    // A transfer that moves less than one byte per second for this long has failed (libcurl
    // judges the speed over its last few seconds). No overall limit: videos are large.
    long lowSpeedTimeSeconds = 60;
    // A network failure (refused, reset, timed out) is tried once more after this pause.
    int retryPauseMs = 1000;
    // A reply body larger than this is no reply of the site.
    std::size_t maxReplyBytes = 1024 * 1024;
};

// Result codes posted with WM_UPLOAD_DONE besides 0 (accepted) and the site's non-zero "retn".
inline constexpr int kUploadFailed = -1;  // no well-formed reply: failed, stopped or bad reply

class ProgressHttpUpload : public Thread {
  public:
    explicit ProgressHttpUpload(const UploadRequest& request, UploadSettings settings = UploadSettings());
    // Stops the transfer and waits for the thread to return.
    ~ProgressHttpUpload() override;

    // Where the messages go and the index they carry as their first parameter. Set before
    // MarkReady().
    void SetNotifyTarget(MessageTargetPtr target);
    void SetTaskIndex(int index);
    // The upload is set up; run() refuses to work (and logs it) without this.
    void MarkReady();

    // The thread body: one transfer (and at most one retry), then WM_UPLOAD_DONE.
    void run() override;

    // Ends the transfer at once and waits until the thread has returned; the done message
    // (-1 unless the site had already answered) is posted before this returns. Harmless on an
    // upload that has ended or never started.
    void stop() override;
    // Asks the transfer to end without waiting for it; a later stop() waits. Lets many uploads
    // end together.
    void RequestStop();

    // The last percentage posted (0 to 100), or -1 before the first progress message.
    int LatestPercent() const { return latestPercent_.load(); }
    // The result posted with the done message; kUploadFailed until then.
    int LastResult() const { return result_.load(); }
    // True once the done message has been posted.
    bool Ended() const { return ended_.load(); }

    const UploadRequest& request() const { return request_; }

  private:
    struct Callbacks;  // libcurl's entry points, defined beside the transfer

    // One transfer; the result code, and whether it failed on the way to the site.
    int Transfer(bool* networkFailure);
    // Waits up to `ms`; false when stopped meanwhile.
    bool Pause(int ms);
    void ReportProgress(long long uploaded, long long total);
    void RestartProgress();
    bool StopRequested() const { return stopRequested_.load() || !running(); }
    void Wake();

    const UploadRequest request_;
    UploadSettings settings_;
    MessageTargetPtr target_;
    int taskIndex_ = 0;
    bool ready_ = false;

    std::atomic<bool> stopRequested_{false};
    std::atomic<int> latestPercent_{-1};
    std::atomic<int> result_{kUploadFailed};
    std::atomic<bool> ended_{false};
    // Upload thread only: the percent last posted in this attempt, and whether the file has
    // anything to report progress on.
    int postedPercent_ = -1;
    bool reportProgress_ = false;

    // Guards multi_ against the controlling thread's wake-up while the transfer sets it up and
    // tears it down.
    std::mutex wakeMutex_;
    void* multi_ = nullptr;  // the current attempt's CURLM*
    std::condition_variable pauseSignal_;
};

}  // namespace qarv
