#pragma once
// The built qarv-devsite for the upload tests, in a temporary folder with a video folder and
// the cookie file of a login; reads back what the site stored. Also waits for an upload's
// messages. Used by one thread at a time.

#include <json/value.h>

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include "recorder/sharing/progress_http_upload.h"
#include "tests/support/devsite_process.h"
#include "tests/support/recording_message_target.h"
#include "tests/support/temp_dir.h"

namespace qarv::test {

class UploadSite {
  public:
    // Starts the site with `arguments` besides port and data folder, and logs in if `login`.
    explicit UploadSite(const std::vector<std::string>& arguments = {}, bool login = true);

    const std::string& error() const { return error_; }  // empty when ready
    const TempDir& dir() const { return dir_; }
    // Settings that reach this site with the login's cookie file; a short retry pause.
    UploadSettings Settings() const;
    // Writes video `fileName` of one day and returns its entry.
    VideoElement MakeVideo(const std::string& fileName, const std::string& content,
                           const std::string& title = "t", const std::string& category = "c");
    std::string VideoPath(const VideoElement& video) const;

    // The stored upload `number` (1, 2, ...): the bytes of `fileName` and its meta.json (null
    // when there is no such upload).
    std::string StoredFile(int number, const std::string& fileName) const;
    Json::Value StoredMeta(int number) const;
    // The user-video page of the logged-in account (HTTP status into `status`).
    std::string UserVideoPage(int* status) const;
    // How many upload requests the site has logged.
    int UploadRequests() const;
    // Ends the site: its port then refuses connections.
    void Stop() { process_.Stop(SIGTERM, 5000); }

  private:
    TempDir dir_;
    DevsiteProcess process_;
    int port_ = -1;
    std::string sessionId_;
    std::string error_;
};

std::string RandomBytes(std::size_t bytes, unsigned seed);
// Waits until `target` holds a message of type `message` whose second parameter is at least
// `atLeast`; that parameter, or nothing on time-out.
bool WaitFor(RecordingMessageTarget& target, unsigned message, long atLeast, long* value = nullptr);
// The second parameters of the messages of type `message` for task `index`, in order.
std::vector<long> ValuesOf(const RecordingMessageTarget& target, unsigned message, std::uintptr_t index);
// The lines of ./Log/log.log that contain `text`.
int CountLogLines(const std::string& text);

}  // namespace qarv::test
