#pragma once
// The recorder's list of upload tasks: at most six videos being shared at a time, each with
// its own ProgressHttpUpload, in the order they were added; a task is identified by its
// video (VideoElement equality). Every operation is called on the UI thread; the uploads'
// progress and state are read without blocking their threads. Going away stops every upload
// and waits for its thread.

#include <memory>
#include <vector>

#include "common/message_target.h"
#include "recorder/library/video_element.h"
#include "recorder/sharing/progress_http_upload.h"

namespace qarv {

// One element of the list.
struct UploadTask {
    std::string description;
    VideoElement video;  // identifies the task
    std::shared_ptr<ProgressHttpUpload> upload;
};

// What the upload-task page shows of one task.
struct UploadTaskStatus {
    VideoElement video;
    int percent = -1;            // last percentage posted, -1 before the first
    bool running = false;        // false once the upload has ended (finished, failed or stopped)
    int result = kUploadFailed;  // the done result once ended: 0, the site's retn or -1
};

class UploadFileInfoManager {
  public:
    static constexpr int kMaxTasks = 6;
    // Results of AddTask.
    static constexpr int kTaskAdded = 0;  // started, or the video already has a task
    static constexpr int kTasksFull = 1;  // six tasks run: the request is dropped

    // The process-wide manager (uploads configured from the recorder's configuration),
    // created on the first call.
    static std::shared_ptr<UploadFileInfoManager> Instance();

    explicit UploadFileInfoManager(UploadSettings settings = UploadSettings());
    ~UploadFileInfoManager();
    UploadFileInfoManager(const UploadFileInfoManager&) = delete;
    UploadFileInfoManager& operator=(const UploadFileInfoManager&) = delete;

    // Purges ended tasks, then starts an upload of `request` whose messages go to
    // `notifyTarget` with `taskIndex` as first parameter. kTaskAdded or kTasksFull.
    int AddTask(const UploadRequest& request, MessageTargetPtr notifyTarget, int taskIndex);
    // Stops the upload of `video` (waiting for its thread) and deletes its task, if any.
    void RemoveTask(const VideoElement& video);
    // Stops the upload of `video` (waiting for its thread), if any; the task stays, ended.
    void StopTask(const VideoElement& video);
    // Deletes every task whose upload has ended.
    void PurgeEnded();
    bool Contains(const VideoElement& video) const;
    // A copy of each task's video, in task order (`videos` is emptied first).
    void ListVideos(std::vector<VideoElement>& videos) const;

    // The last percentage posted by the upload of `video`: -1 before its first progress
    // message or when it has no task.
    int LatestPercent(const VideoElement& video) const;
    // Each task's video, percentage and state, in task order.
    std::vector<UploadTaskStatus> ListTasks() const;

  private:
    std::vector<UploadTask>::iterator Find(const VideoElement& video);
    std::vector<UploadTask>::const_iterator Find(const VideoElement& video) const;

    UploadSettings settings_;
    std::vector<UploadTask> tasks_;
};

}  // namespace qarv
