#pragma once
// Runs one recording at a time: starts the encoder program "capturer" with the command line
// of the page's choices, watches it from a worker thread, stops it on request, and after it
// has ended makes the thumbnails, adds the video to the catalogue and tells the windows.
//
// While recording, the worker watches the free space of the video folder's disk and stops
// the recording, keeping it, when the space falls below a margin.
//
// StartRecording, start, stop and destruction are called on the UI thread; the worker only
// posts messages: WM_RECORD_STATUS 1 (started), 0 (ended), 2 (aborted), 3 (ended because the
// disk ran low; the video is kept like a stopped one) to the page, and WM_VIDEO_ADDED to the
// catalogue window.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "common/message_target.h"
#include "common/process.h"
#include "common/thread.h"
#include "recorder/recording/qarv_record_properties.h"

namespace qarv {

class QarvFileManagement;
class RegAVFilterEx;

class RecordControlThread : public Thread {
  public:
    // How long the worker waits for a stopped encoder to close its file.
    static constexpr int kEncoderEndWaitMs = 10000;
    // Free space below which no recording starts and a running one is stopped: room to
    // finish the file, make its thumbnails and save the catalogue.
    static constexpr std::uint64_t kDefaultDiskMarginBytes = 200ull * 1024 * 1024;
    // How often the worker looks at the free space while recording.
    static constexpr int kDiskCheckIntervalMs = 2000;
    // StartRecording's result when the video folder's disk has less than the margin free.
    static constexpr int kStartDiskLow = -2;
    // The WM_RECORD_STATUS of a recording stopped because the disk ran low.
    static constexpr int kStatusDiskLow = 3;

    // For the recorder's own video folder, catalogue and capture devices.
    RecordControlThread();
    // For the given video folder, catalogue, devices, encoder program and free-space margin
    // (tests).
    RecordControlThread(std::string videoDir, std::shared_ptr<QarvFileManagement> catalogue,
                        std::shared_ptr<RegAVFilterEx> devices, std::string encoderProgram,
                        std::uint64_t diskMarginBytes = kDefaultDiskMarginBytes);
    ~RecordControlThread() override;

    // Starts the encoder for `properties`: 0; kStartDiskLow (-2, logged) when the video folder's
    // disk has less than the margin free; -1 when a recording is in progress or still being
    // finished, a window is missing, the date folder cannot be made, an encoder process
    // exists, no file number is free, or the encoder cannot be started. The caller then
    // starts the worker with start().
    // The catalogue the recordings go into.
    const std::shared_ptr<QarvFileManagement>& Catalogue() const { return catalogue_; }

    int StartRecording(MessageTargetPtr catalogueWindow, const QarvRecordProperties& properties,
                       MessageTargetPtr pageWindow);

    // Stops the encoder (it closes its file) and the worker; the worker still reports the
    // end, makes the thumbnails and catalogues the video.
    void stop() override;

    // The command line for the copied properties; sets the output path, file name and day.
    // Empty when no file number is free.
    std::string BuildCaptureCommand();

    const std::string& OutputPath() const { return outputPath_; }
    const std::string& FileName() const { return fileName_; }
    bool EncoderStarted() const { return encoderStarted_.load(); }

    // The worker: reports the start, watches the encoder once per second, then finishes the
    // recording.
    void run() override;

  private:
    // The recording's end: waits for the encoder and reports how it ended.
    void WatchEncoder();
    // Tells the encoder to end; it closes its file and the worker sees it go.
    void EndEncoder();
    // True when the video folder's disk can be read and has less than the margin free;
    // `freeMegabytes` then holds what is left.
    bool DiskLow(long long& freeMegabytes) const;
    void WaitUntilOutputClosed() const;
    void FinishRecording();

    std::string videoDir_;
    std::shared_ptr<QarvFileManagement> catalogue_;
    std::shared_ptr<RegAVFilterEx> devices_;
    std::string encoderProgram_;
    std::uint64_t diskMarginBytes_;

    ProcessHandle encoder_;  // used by the worker once started
    std::atomic<bool> encoderRunning_{false};
    std::atomic<bool> encoderStarted_{false};
    std::atomic<bool> stopRequested_{false};
    QarvRecordProperties properties_;
    MessageTargetPtr pageWindow_;
    MessageTargetPtr catalogueWindow_;
    std::string dateKey_;  // the day the recording started: its folder and catalogue day
    std::string outputPath_;
    std::string fileName_;
};

}  // namespace qarv
