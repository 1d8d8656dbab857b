#pragma once
// Fetches the new recorder into a temporary file ("UpdateTemp") on a thread of its own with
// libcurl's multi interface, posting WM_DOWNLOAD_PROGRESS (per mille) and one WM_DOWNLOAD_DONE
// that carries the outcome. Prepared, started, stopped and destroyed by one controlling thread
// (the UI thread); Outcome() may be read from any thread.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "common/file_util.h"
#include "common/message_target.h"
#include "common/thread.h"

namespace qarv {

class Sha256Pipe;

// How a download ended; posted as lParam of WM_DOWNLOAD_DONE (wParam is always 1). Only a
// complete download may be installed.
enum DownloadOutcome {
    kDownloadComplete = 1000,
    kDownloadNetworkFailed = -1,     // refused, reset, cut short, timed out or too slow
    kDownloadHttpError = -2,         // the server answered with a status other than 200
    kDownloadWrongSize = -3,         // not the announced length, or larger than the limit
    kDownloadChecksumMismatch = -4,  // the SHA-256 differs from the one the server gave
    kDownloadWriteFailed = -5,       // the temporary file could not be written
    kDownloadStopped = -6,           // stop() ended it
    kDownloadNotStarted = -7,        // no result yet, or the transfer could not be set up
};

struct DownloadSettings {
    std::string outputPath = "UpdateTemp";
    std::string cookieFile;  // read for the request, never written; empty: no cookies
    long connectTimeoutSeconds = 10;
    // A transfer slower than lowSpeedBytes per second for lowSpeedSeconds has failed, so a
    // server that stops sending cannot hold the launcher for ever.
    long lowSpeedBytes = 1024;
    long lowSpeedSeconds = 30;
    // No recorder is larger; a server that sends more is cut off.
    std::uint64_t maxBytes = std::uint64_t{1} << 30;
};

class DownloadThread : public Thread {
  public:
    explicit DownloadThread(DownloadSettings settings = DownloadSettings());
    // Stops a running transfer and waits for the thread; closes the file.
    ~DownloadThread() override;

    // Sets where the messages go and what to fetch, and creates or truncates the output file.
    // `expectedSha256` (hex; empty: not checked) is what the whole file must digest to.
    // 0, or -1 if the URL is empty or the file cannot be opened.
    int Prepare(MessageTargetPtr target, const std::string& url, const std::string& expectedSha256 = "");

    // The thread body: the transfer, the checks of its result, then WM_DOWNLOAD_DONE. Without a
    // successful Prepare it returns at once and posts nothing.
    void run() override;

    // Ends the transfer and waits until the thread has returned, so the done message has been
    // posted and the file closed when this returns. Harmless when nothing runs.
    void stop() override;

    DownloadOutcome Outcome() const { return outcome_.load(); }
    // Last error text of the worker ("Init Error" when the transfer could not be set up), and
    // 0 or -1.
    const std::string& statusText() const { return statusText_; }
    int statusCode() const { return statusCode_; }

  private:
    struct Callbacks;

    DownloadOutcome Transfer();
    bool StopRequested() const { return stopRequested_.load() || !running(); }
    void ReportProgress(long long received, long long total);

    const DownloadSettings settings_;
    MessageTargetPtr target_;
    std::string url_;
    std::string expectedSha256_;
    FilePtr file_;
    bool ready_ = false;
    std::string statusText_;
    int statusCode_ = 0;

    // Worker thread only while it runs.
    std::uint64_t received_ = 0;
    bool writeFailed_ = false;
    bool tooLarge_ = false;
    int postedPerMille_ = -1;
    Sha256Pipe* digest_ = nullptr;  // of the running transfer, or null

    std::atomic<bool> stopRequested_{false};
    std::atomic<DownloadOutcome> outcome_{kDownloadNotStarted};
    std::mutex wakeMutex_;
    void* multi_ = nullptr;  // the running transfer's CURLM*, guarded by wakeMutex_
};

}  // namespace qarv
