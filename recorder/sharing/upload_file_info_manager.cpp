#include "recorder/sharing/upload_file_info_manager.h"

#include <algorithm>
#include <utility>

#include "common/log.h"
#include "common/log_codes.h"
#include "common/messages.h"

namespace qarv {

std::shared_ptr<UploadFileInfoManager> UploadFileInfoManager::Instance() {
    static const auto instance = std::make_shared<UploadFileInfoManager>();
    return instance;
}

UploadFileInfoManager::UploadFileInfoManager(UploadSettings settings) : settings_(std::move(settings)) {}

UploadFileInfoManager::~UploadFileInfoManager() {
    // Wake every transfer first, so that the uploads end together rather than one by one.
    for (const UploadTask& task : tasks_)
        task.upload->RequestStop();
    for (const UploadTask& task : tasks_)
        task.upload->stop();
}

std::vector<UploadTask>::iterator UploadFileInfoManager::Find(const VideoElement& video) {
    return std::find_if(tasks_.begin(), tasks_.end(),
                        [&video](const UploadTask& task) { return task.video == video; });
}

std::vector<UploadTask>::const_iterator UploadFileInfoManager::Find(const VideoElement& video) const {
    return std::find_if(tasks_.begin(), tasks_.end(),
                        [&video](const UploadTask& task) { return task.video == video; });
}

int UploadFileInfoManager::AddTask(const UploadRequest& request, MessageTargetPtr notifyTarget,
                                   int taskIndex) {
    PurgeEnded();
    if (Find(request.video) != tasks_.end())
        return kTaskAdded;
    if (static_cast<int>(tasks_.size()) >= kMaxTasks) {
        LogError(__LINE__, kSrcUploadFileInfoManager, kCodeTooManyUploads, kMsgTooManyUploads);
        return kTasksFull;
    }
    auto upload = std::make_shared<ProgressHttpUpload>(request, settings_);
    upload->SetNotifyTarget(notifyTarget);
    upload->SetTaskIndex(taskIndex);
    upload->MarkReady();
    if (upload->start() != 0 && notifyTarget) {
        // No thread for the transfer: the task ends at once, as a failed upload.
        notifyTarget->post(WM_UPLOAD_DONE, static_cast<std::uintptr_t>(taskIndex), kUploadFailed);
    }
    tasks_.push_back(UploadTask{request.description, request.video, std::move(upload)});
    return kTaskAdded;
}

void UploadFileInfoManager::RemoveTask(const VideoElement& video) {
    const auto task = Find(video);
    if (task == tasks_.end())
        return;
    task->upload->stop();
    tasks_.erase(task);
    LogWarn(__LINE__, kSrcUploadFileInfoManager, kCodeUploadTaskRemoved, kMsgUploadTaskRemoved);
}

void UploadFileInfoManager::StopTask(const VideoElement& video) {
    const auto task = Find(video);
    if (task != tasks_.end())
        task->upload->stop();
}

void UploadFileInfoManager::PurgeEnded() {
    std::erase_if(tasks_, [](const UploadTask& task) {
        if (task.upload->running())
            return false;
        task.upload->stop();  // joins a thread that is just returning
        return true;
    });
}

bool UploadFileInfoManager::Contains(const VideoElement& video) const {
    return Find(video) != tasks_.end();
}

void UploadFileInfoManager::ListVideos(std::vector<VideoElement>& videos) const {
    videos.clear();
    for (const UploadTask& task : tasks_)
        videos.push_back(task.video);
}

int UploadFileInfoManager::LatestPercent(const VideoElement& video) const {
    const auto task = Find(video);
    return task == tasks_.end() ? -1 : task->upload->LatestPercent();
}

std::vector<UploadTaskStatus> UploadFileInfoManager::ListTasks() const {
    std::vector<UploadTaskStatus> statuses;
    statuses.reserve(tasks_.size());
    for (const UploadTask& task : tasks_) {
        UploadTaskStatus status;
        status.video = task.video;
        status.percent = task.upload->LatestPercent();
        status.running = task.upload->running();
        status.result = task.upload->LastResult();
        statuses.push_back(std::move(status));
    }
    return statuses;
}

}  // namespace qarv
