#include "recorder/recording/record_control_thread.h"

#include <chrono>
#include <ctime>
#include <thread>

#include "common/disk_space.h"
#include "common/file_util.h"
#include "common/log.h"
#include "common/log_codes.h"
#include "common/messages.h"
#include "common/paths.h"
#include "recorder/library/qarv_file_management.h"
#include "recorder/library/recording_repair.h"
#include "recorder/library/thumbnails.h"
#include "recorder/library/video_element.h"
#include "recorder/recording/audio_inputs.h"
#include "recorder/recording/capture_command.h"
#include "recorder/recording/file_number.h"
#include "recorder/recording/reg_av_filter_ex.h"
#include "recorder/shell/qarv_record_info_center.h"

namespace qarv {

namespace {

const std::string& EncoderName() {
    static const std::string name = ExecutableName("capturer");
    return name;
}

}  // namespace

RecordControlThread::RecordControlThread()
    : RecordControlThread(QarvRecordInfoCenter::Instance()->GetVideoDir(), QarvFileManagement::GetInstance(),
                          RegAVFilterEx::Instance(), JoinPath(".", EncoderName())) {}

RecordControlThread::RecordControlThread(std::string videoDir, std::shared_ptr<QarvFileManagement> catalogue,
                                         std::shared_ptr<RegAVFilterEx> devices, std::string encoderProgram,
                                         std::uint64_t diskMarginBytes)
    : videoDir_(std::move(videoDir)),
      catalogue_(std::move(catalogue)),
      devices_(std::move(devices)),
      encoderProgram_(std::move(encoderProgram)),
      diskMarginBytes_(diskMarginBytes) {}

RecordControlThread::~RecordControlThread() {
    stop();
    Join();  // the worker finishes the recording before the object goes
}

int RecordControlThread::StartRecording(MessageTargetPtr catalogueWindow,
                                        const QarvRecordProperties& properties, MessageTargetPtr pageWindow) {
    if (!catalogueWindow || !pageWindow)
        return -1;
    // A recording in progress, or the previous one still being finished.
    if ((running() && encoderStarted_.load()) || !idle())
        return -1;
    long long freeMegabytes = 0;
    if (DiskLow(freeMegabytes)) {
        LogWarn(__LINE__, kSrcRecordControlThread, kCodeDiskLowRefused, kMsgDiskLowRefused, freeMegabytes);
        return kStartDiskLow;
    }

    const std::string dateKey = TodayKey();
    if (CreateDirectoryIfMissing(JoinPath(videoDir_, dateKey)) != 0)
        return -1;
    // An encoder still busy, for example with the thumbnails of the previous recording.
    if (IsProcessRunning(EncoderName()))
        return -1;

    catalogueWindow_ = std::move(catalogueWindow);
    pageWindow_ = std::move(pageWindow);
    properties_ = properties;
    encoderStarted_ = false;
    stopRequested_ = false;
    dateKey_ = dateKey;

    const std::string command = BuildCaptureCommand();
    if (command.empty())
        return -1;

    ProcessHandle encoder = StartProcessHidden(encoderProgram_, command);
    if (!encoder.valid())
        return -1;
    encoder_ = std::move(encoder);
    encoderRunning_ = true;
    encoderStarted_ = true;
    return 0;
}

std::string RecordControlThread::BuildCaptureCommand() {
    CaptureDevices devices;
    devices.video = devices_->GetVideoDeviceName();
    devices.audio = devices_->GetAudioDeviceName();
    // Only looked for when it can be used: the lookup asks the sound server.
    if (properties_.RecordMicrophone)
        FindMicrophone(devices.microphoneFound, devices.microphone);

    if (dateKey_.empty())
        dateKey_ = TodayKey();
    std::string number;
    // A number the catalogue still holds for the day is never reused, even if its file is gone.
    if (FindFreeFileNumber(JoinPath(videoDir_, dateKey_), catalogue_->GetFileNamesByDate(dateKey_), number) !=
        0) {
        LogError(__LINE__, kSrcRecordControlThread, kCodeFileNameNotFound, kMsgFileNameNotFound);
        return std::string();
    }
    fileName_ = VideoFileName(number, properties_.Format);
    outputPath_ = JoinPath(JoinPath(videoDir_, dateKey_), fileName_);
    return qarv::BuildCaptureCommand(properties_, devices, outputPath_);
}

void RecordControlThread::stop() {
    if (encoderStarted_.load())
        EndEncoder();
    Thread::stop();
}

void RecordControlThread::EndEncoder() {
    // The worker owns the process handle; it sees the encoder end and reports it.
    stopRequested_ = true;
    if (IsProcessRunning(EncoderName()))
        TerminateProcessesByName(EncoderName());
}

bool RecordControlThread::DiskLow(long long& freeMegabytes) const {
    std::uint64_t bytes = 0;
    // A disk that cannot be asked is not taken for a full one.
    if (GetFreeDiskSpace(videoDir_, bytes) != 0 || bytes >= diskMarginBytes_)
        return false;
    freeMegabytes = static_cast<long long>(bytes / (1024 * 1024));
    return true;
}

void RecordControlThread::run() {
    pageWindow_->post(WM_RECORD_STATUS, 1, 0);
    WatchEncoder();
    FinishRecording();
    SetRunning(false);  // the controller can be started again
}

void RecordControlThread::WatchEncoder() {
    using Clock = std::chrono::steady_clock;
    bool waitFailed = false;
    bool diskLow = false;
    long long freeMegabytes = 0;
    auto nextDiskCheck = Clock::now();
    while (running() && encoderRunning_.load()) {
        if (Clock::now() >= nextDiskCheck) {
            nextDiskCheck = Clock::now() + std::chrono::milliseconds(kDiskCheckIntervalMs);
            diskLow = DiskLow(freeMegabytes);
        }
        if (diskLow) {
            // Stopped as the user stops it, while there is still room to finish the file.
            EndEncoder();
            break;
        }
        const auto result = encoder_.Wait(1000);
        if (result == ProcessHandle::kTimeout)
            continue;
        waitFailed = result == ProcessHandle::kWaitFailed;
        break;
    }
    // A stop cleared the running flag, or the disk ran low: the encoder has been told to end;
    // let it close its file before the file is read.
    if (!waitFailed && encoder_.valid() && encoder_.pid() != 0) {
        waitFailed = encoder_.Wait(kEncoderEndWaitMs) != ProcessHandle::kExited;
    }

    // An encoder that ended with an error of its own, not because it was told to stop,
    // aborted the recording, unless the disk filled up between two checks and the encoder
    // could not write: that recording ends as on a low disk.
    const bool failedByItself = !waitFailed && !stopRequested_.load() && encoder_.ExitCode() != 0;
    if (failedByItself)
        diskLow = DiskLow(freeMegabytes);
    if (waitFailed || (failedByItself && !diskLow)) {
        if (waitFailed)
            TerminateProcessesByName(EncoderName());
        pageWindow_->post(WM_RECORD_STATUS, 2, 0);
        LogError(__LINE__, kSrcRecordControlThread, kCodeAbort, kMsgAbort);
    } else if (diskLow) {
        LogWarn(__LINE__, kSrcRecordControlThread, kCodeDiskLowStopped, kMsgDiskLowStopped, freeMegabytes);
        pageWindow_->post(WM_RECORD_STATUS, kStatusDiskLow, 0);
    } else {
        pageWindow_->post(WM_RECORD_STATUS, 0, 0);
    }
    encoder_.Release();
    encoderStarted_ = false;
    encoderRunning_ = false;
    WaitUntilOutputClosed();
}

void RecordControlThread::WaitUntilOutputClosed() const {
    // An adapter that was killed leaves its ffmpeg to finish the file on its own; the file is
    // read only once nobody writes it any more.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEncoderEndWaitMs);
    while (IsFileOpenByOtherProcess(outputPath_) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void RecordControlThread::FinishRecording() {
    // An encoder killed before it finished its file leaves an FLV that states no length;
    // players show the whole recording once it is rewritten.
    if (RepairIfCutOff(outputPath_) == 0)
        LogWarn(__LINE__, kSrcRecordControlThread, kCodeOrphanRepaired, kMsgOrphanRepaired,
                outputPath_.c_str());
    const int probe = MakeThumbnails(outputPath_);
    if (probe != 0) {
        LogError(__LINE__, kSrcRecordControlThread, kCodeMediaAnalysisFailed, kMsgMediaAnalysisFailed, probe);
    }

    VideoElement element;
    element.Date = dateKey_;  // the day the recording started, where its file lies
    element.FileName = fileName_;
    element.Title = properties_.Title;
    element.BuildThumbnailList(videoDir_);
    catalogue_->AddFile(element);
    catalogueWindow_->post(WM_VIDEO_ADDED, 0, 0);
}

}  // namespace qarv
