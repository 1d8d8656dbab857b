// The upload task list against the built site stand-in reading slowly, so that uploads run
// until they are stopped: identity, the limit of six, stop, purge, removal, the progress the
// task page reads, and the end of every upload when the manager goes.
#include "recorder/sharing/upload_file_info_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>

#include "common/log.h"
#include "common/log_codes.h"
#include "common/messages.h"
#include "tests/recorder/sharing/upload_site.h"

namespace qarv {
namespace {

using test::RecordingMessageTarget;

class UploadFileInfoManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // A site per test: handlers of stopped uploads go on reading what their sockets hold.
        // 8 MiB at 32 KiB/s runs for minutes, below 100 % even with megabytes in the sockets.
        ASSERT_EQ(site_.error(), "");
        test::WriteFileText(site_.dir().file("video.bin"), test::RandomBytes(8 << 20, 3));
        ASSERT_EQ(LogOpen(), 0);
    }
    void TearDown() override { LogClose(); }

    // Videos 'a' to 'g', each a file of its own name; 'A' is the file of 'a' with another title.
    VideoElement Video(char name) {
        const char lower = static_cast<char>(std::tolower(name));
        if (!videos_.contains(lower)) {
            videos_[lower] = site_.MakeVideo(std::string(1, lower) + ".flv", "", std::string(1, lower));
            std::filesystem::remove(site_.VideoPath(videos_[lower]));
            std::filesystem::create_hard_link(site_.dir().file("video.bin"), site_.VideoPath(videos_[lower]));
        }
        VideoElement video = videos_[lower];
        video.Title = std::string(1, name);
        return video;
    }
    std::string Names(const UploadFileInfoManager& manager) const {
        std::vector<VideoElement> videos(1);  // emptied first
        manager.ListVideos(videos);
        std::string names;
        for (const VideoElement& video : videos)
            names += video.Title;
        return names;
    }
    std::size_t DoneMessages(char video) const {
        return test::ValuesOf(*target_, WM_UPLOAD_DONE, static_cast<std::uintptr_t>(video)).size();
    }

    test::TempDir logDir_;
    test::ScopedCurrentDirectory cwd_{logDir_.path()};
    test::UploadSite site_{
        {"--fault-path", "/upload_user_video", "--fault", "slow-reader", "--read-rate", "32768"}};
    std::map<char, VideoElement> videos_;
    std::shared_ptr<RecordingMessageTarget> target_;
};

TEST_F(UploadFileInfoManagerTest, TaskListFollowsItsRules) {
    struct Case {
        const char* name;
        const char* steps;     // "+x" adds video x, "-x" removes it, "/x" stops it, "*" purges
        const char* results;   // of the adds, in order
        const char* list;      // afterwards
        const char* done;      // one character per done message when the manager has gone
        int refused, removed;  // log lines
    };
    const Case cases[] = {
        {"equal video twice", "+a+a", "00", "a", "a", 0, 0},
        {"same file, another title", "+a+A", "00", "aA", "Aa", 0, 0},
        {"six running plus one", "+a+b+c+d+e+f+g", "0000001", "abcdef", "abcdef", 1, 0},
        {"an ended task makes room", "+a+b+c+d+e+f/c+g", "0000000", "abdefg", "abcdefg", 0, 0},
        {"purge keeps the running in order", "+a+b+c/b*", "000", "ac", "abc", 0, 0},
        {"remove the middle of three", "+a+b+c-b-b", "000", "ac", "abc", 0, 1},
        {"stop twice", "+a/a/a", "0", "a", "a", 0, 0},
        {"equal video once the first has ended", "+a/a+a", "00", "a", "aa", 0, 0},
        {"nothing to stop or remove", "/a-a*", "", "", "", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int refused = test::CountLogLines(kMsgTooManyUploads);
        const int removed = test::CountLogLines(kMsgUploadTaskRemoved);
        target_ = std::make_shared<RecordingMessageTarget>();
        std::string results;
        {
            UploadFileInfoManager manager(site_.Settings());
            for (const char* step = c.steps; *step != '\0'; step += *step == '*' ? 1 : 2) {
                if (*step == '*') {
                    manager.PurgeEnded();
                    continue;
                }
                const VideoElement video = Video(step[1]);
                if (*step == '+')
                    results +=
                        std::to_string(manager.AddTask(UploadRequest{"desc", video}, target_, step[1]));
                else if (*step == '-')
                    manager.RemoveTask(video);
                else
                    manager.StopTask(video);
            }
            EXPECT_EQ(results, c.results);
            EXPECT_EQ(Names(manager), c.list);
        }
        std::string done;
        for (const test::PostedMessage& message : target_->messages()) {
            if (message.message == WM_UPLOAD_DONE) {
                EXPECT_EQ(message.lParam, kUploadFailed);
                done += static_cast<char>(message.wParam);
            }
        }
        std::sort(done.begin(), done.end());
        EXPECT_EQ(done, c.done);
        EXPECT_EQ(test::CountLogLines(kMsgTooManyUploads) - refused, c.refused);
        EXPECT_EQ(test::CountLogLines(kMsgUploadTaskRemoved) - removed, c.removed);
    }
}

TEST_F(UploadFileInfoManagerTest, ShowsProgressAndEndsEveryUploadWhenItGoes) {
    target_ = std::make_shared<RecordingMessageTarget>();
    auto manager = std::make_unique<UploadFileInfoManager>(site_.Settings());
    EXPECT_TRUE(manager->ListTasks().empty());
    EXPECT_EQ(manager->LatestPercent(Video('a')), -1);
    const std::string names = "abcdef";
    for (const char name : names)
        ASSERT_EQ(manager->AddTask(UploadRequest{"desc", Video(name)}, target_, name), 0);
    EXPECT_TRUE(manager->Contains(Video('c')));
    EXPECT_FALSE(manager->Contains(Video('C')));
    ASSERT_TRUE(test::WaitFor(*target_, WM_UPLOAD_PROGRESS, 1));
    const auto tasks = manager->ListTasks();
    ASSERT_EQ(tasks.size(), 6u);
    int reporting = 0;
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        EXPECT_EQ(tasks[i].video.Title, names.substr(i, 1));
        EXPECT_TRUE(tasks[i].running);
        EXPECT_LT(tasks[i].percent, 100);
        EXPECT_EQ(tasks[i].percent, manager->LatestPercent(tasks[i].video));
        reporting += tasks[i].percent >= 1 ? 1 : 0;
    }
    EXPECT_GE(reporting, 1);

    const auto start = std::chrono::steady_clock::now();
    manager.reset();
    const std::chrono::duration<double, std::milli> ms = std::chrono::steady_clock::now() - start;
    std::printf("six running uploads ended with their manager in %.2f ms\n", ms.count());
    EXPECT_LT(ms.count(), 2000.0);
    for (const char name : names)
        EXPECT_EQ(DoneMessages(name), 1u) << name;
}

}  // namespace
}  // namespace qarv
