// The installed recorder on a private X server: the main window comes up, another window
// takes the focus, Ctrl+F9 and Ctrl+F10 typed as real key events record a video, and the
// video is catalogued with its thumbnails. A picture of the main window is kept as an
// artifact of the run. Only one recorder runs in a folder: a second start hands over to it.
#include "tests/capturer/media_facts.h"
#include "tests/recorder/installed_recorder_test.h"

namespace qarv {
namespace {

class RecorderEndToEndTest : public InstalledRecorderTest {};

// How many local sockets carry the name `path`: the listening one, and one more for each
// connection made to it.
int SocketsAt(const std::string& path) {
    const std::string table = test::ReadFileText("/proc/net/unix");
    int count = 0;
    for (std::size_t at = table.find(" " + path + "\n"); at != std::string::npos;
         at = table.find(" " + path + "\n", at + 1))
        ++count;
    return count;
}

TEST_F(RecorderEndToEndTest, HotKeysRecordAVideoWhileAnotherWindowHasTheFocus) {
    StartRecorder();
    std::string window;
    ASSERT_TRUE(WaitFor(
        [&] {
            window = X("xdotool search --onlyvisible --pid " + std::to_string(pid_));
            return !window.empty();
        },
        60s))
        << "the main window did not appear";
    window = window.substr(0, window.find('\n'));

    // The main window as the user sees it, kept with the test results. A window not yet
    // painted is one flat colour, which packs into a small picture.
    const std::string geometry = X("xdotool getwindowgeometry --shell " + window);
    std::smatch m;
    const std::regex fields("X=(\\d+)\\nY=(\\d+)\\nWIDTH=(\\d+)\\nHEIGHT=(\\d+)");
    ASSERT_TRUE(std::regex_search(geometry, m, fields)) << geometry;
    EXPECT_EQ(m[3].str(), "851");
    EXPECT_EQ(m[4].str(), "679");
    fs::create_directories(QARV_ARTIFACT_DIR);
    const std::string shot = std::string(QARV_ARTIFACT_DIR) + "/main_window.png";
    const std::string grab = "ffmpeg -loglevel error -y -f x11grab -video_size " + m[3].str() + "x" +
                             m[4].str() + " -i " + display_.name() + "+" + m[1].str() + "," + m[2].str() +
                             " -frames:v 1 " + Quote(shot) + " 2>&1";
    EXPECT_TRUE(WaitFor(
        [&] {
            int status = -1;
            test::CommandOutput(grab, &status);
            return status == 0 && fs::exists(shot) && fs::file_size(shot) > 10000u;
        },
        30s))
        << "the main window was not painted";

    FocusWindow other(display_.name());
    ASSERT_EQ(other.Focused(), other.id());

    X("xdotool key --clearmodifiers ctrl+F9");
    const fs::path video = fs::path(dir_.path()) / "Video";
    auto recordingFile = [&]() -> fs::path {
        for (const auto& entry : fs::recursive_directory_iterator(video)) {
            const std::string ext = entry.path().extension().string();
            if (entry.is_regular_file() && ext == ".flv")
                return entry.path();
        }
        return {};
    };
    ASSERT_TRUE(WaitFor([&] { return !recordingFile().empty(); }, 30s)) << "Ctrl+F9 started no recording";
    EXPECT_EQ(other.Focused(), other.id());  // the keys did not take the focus away
    std::this_thread::sleep_for(3s);
    X("xdotool key --clearmodifiers ctrl+F10");

    const fs::path file = recordingFile();
    const std::string stem = file.stem().string();
    const std::string catalogue = (video / "VideoInfo.xml").string();
    ASSERT_TRUE(WaitFor(
        [&] {
            return test::ReadFileText(catalogue).find(file.filename().string()) != std::string::npos &&
                   fs::exists(file.parent_path() / (stem + "_0.jpeg"));
        },
        60s))
        << test::ReadFileText(catalogue);
    EXPECT_GT(fs::file_size(file), 10000u);

    // The recorder ends cleanly when asked to.
    ::kill(pid_, SIGTERM);
    int exitStatus = -1;
    ASSERT_TRUE(WaitFor([&] { return ::waitpid(pid_, &exitStatus, WNOHANG) == pid_; }, 30s));
    pid_ = -1;
    EXPECT_TRUE(WIFEXITED(exitStatus));
    EXPECT_EQ(WEXITSTATUS(exitStatus), 0);
    const std::string log = test::ReadFileText(dir_.file("Log/log.log"));
    EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
}

// A recorder that dies while recording (a crash, a kill) leaves a playable file holding all
// but about the last second, and the next start takes it into the catalogue.
TEST_F(RecorderEndToEndTest, KilledRecorderLeavesAPlayableFileThatTheNextStartCatalogues) {
    fs::path previous;
    for (const int seconds : {2, 5, 20}) {
        SCOPED_TRACE("killed after " + std::to_string(seconds) + " s");
        StartRecorder();
        ASSERT_NE(WaitForWindow(), "") << "the main window did not appear";
        if (!previous.empty()) {
            EXPECT_TRUE(WaitUntilCatalogued(previous))
                << test::ReadFileText(dir_.file("Video/VideoInfo.xml"));
        }

        const fs::path file = StartRecordingByKey(Recordings());
        ASSERT_FALSE(file.empty()) << "Ctrl+F9 started no recording";
        const auto started = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        KillRecorder();
        const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();

        // The encoder, told by the adapter that its recorder is gone, finishes the file.
        EXPECT_TRUE(WaitFor([&] { return !IsFileOpenByOtherProcess(file.string()); }, 30s));
        const test::DecodedVideo video = test::DecodeVideo(file.string());
        // About the last second is lost; on a machine whose cores are busy with other work the
        // encoder runs up to a few seconds behind the screen, and what it has not yet encoded
        // when the recorder dies is lost too.
        EXPECT_GT(video.Duration(), elapsed - 4.0) << video.frames() << " frames after " << elapsed << " s";
        previous = file;
    }
    StartRecorder();
    ASSERT_NE(WaitForWindow(), "");
    EXPECT_TRUE(WaitUntilCatalogued(previous)) << test::ReadFileText(dir_.file("Video/VideoInfo.xml"));
    const std::string log = test::ReadFileText(dir_.file("Log/log.log"));
    EXPECT_NE(log.find("收录未登记的录像"), std::string::npos) << log;
}

// One recorder per installation folder: a second start brings the running one to the front
// and leaves at once, touching neither the log nor the catalogue. A start right after the
// running one was asked to end, as the launcher does it, waits for it and runs; a killed
// recorder leaves nothing behind that stops the next start or its answers.
TEST_F(RecorderEndToEndTest, SecondStartBringsTheRunningRecorderForwardAndLeaves) {
    const auto secondStartLeaves = [this] {
        other_ = Launch();
        const int status = WaitForExit(other_, 20s);
        return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    };
    StartRecorder();
    const std::string window = WaitForWindow();
    ASSERT_NE(window, "") << "the main window did not appear";
    FocusWindow focus(display_.name());
    ASSERT_EQ(focus.Focused(), focus.id());
    const std::string log = test::ReadFileText(dir_.file("Log/log.log"));
    const std::string catalogue = test::ReadFileText(dir_.file("Video/VideoInfo.xml"));
    ASSERT_TRUE(secondStartLeaves());
    EXPECT_TRUE(WaitFor([&] { return std::to_string(focus.Focused()) == window; }, 10s))
        << "the running recorder did not come to the front";
    EXPECT_EQ(test::ReadFileText(dir_.file("Log/log.log")), log);
    EXPECT_EQ(test::ReadFileText(dir_.file("Video/VideoInfo.xml")), catalogue);

    // Asked to end while recording, with a new start right behind (the recorder is held until
    // both requests wait for it): the ending recorder does not answer, so the new one waits
    // for it to go, then runs with the recording in the catalogue.
    const fs::path file = StartRecordingByKey({});
    ASSERT_FALSE(file.empty()) << "Ctrl+F9 started no recording";
    ASSERT_TRUE(WaitFor([&] { return fs::file_size(file) > 20000u; }, 30s));
    const std::string socket = InstanceLock(dir_.path()).SocketName();
    other_ = pid_;
    ::kill(other_, SIGSTOP);
    ::kill(other_, SIGTERM);
    StartRecorder();
    ASSERT_TRUE(WaitFor([&] { return SocketsAt(socket) > 1; }, 30s)) << "the new start did not ask";
    ::kill(other_, SIGCONT);
    EXPECT_NE(WaitForWindow(), "") << "a recorder started while the last one ended did not run";
    EXPECT_NE(WaitForExit(other_, 30s), -1);
    EXPECT_TRUE(WaitUntilCatalogued(file)) << test::ReadFileText(dir_.file("Video/VideoInfo.xml"));

    KillRecorder();
    StartRecorder();
    EXPECT_NE(WaitForWindow(), "") << "a killed recorder kept the next one from starting";
    EXPECT_TRUE(secondStartLeaves());
}

// A recording that ends by itself (a timed one) is still being finished (its file closed,
// thumbnails made, catalogued) when the page gets its end and gives Start back. Ctrl+F9 in
// those moments must not claim to record with no encoder: the page says so in its retry box
// (answered Cancel here), and once the recording is catalogued the keys record again. A
// stand-in "capturer" gives every recording a two-second limit, then runs the real one.
TEST_F(RecorderEndToEndTest, StartWhileTheLastRecordingIsFinishedIsHeldBack) {
    fs::create_directory(dir_.file("real"));
    fs::rename(dir_.file("capturer"), dir_.file("real/capturer"));
    test::WriteFileText(
        dir_.file("capturer"),
        "#!/bin/sh\nn=$#\ni=0\nfor a do\n  i=$((i + 1))\n  shift\n"
        "  if [ \"$i\" -eq \"$n\" ]; then set -- \"$@\" -t 2 \"$a\"; else set -- \"$@\" \"$a\"; fi\n"
        "done\nexec ./real/capturer \"$@\"\n");
    fs::permissions(dir_.file("capturer"), fs::perms::owner_all);
    StartRecorder();
    ASSERT_NE(WaitForWindow(), "") << "the main window did not appear";
    const fs::path first = StartRecordingByKey({});
    ASSERT_FALSE(first.empty()) << "Ctrl+F9 started no recording";

    // Ctrl+F9 again and again from the moment the encoder has ended by itself until the
    // recording is catalogued.
    ASSERT_TRUE(WaitFor([&] { return !IsFileOpenByOtherProcess(first.string()); }, 60s));
    const std::string catalogue = dir_.file("Video/VideoInfo.xml");
    EXPECT_TRUE(WaitFor(
        [&] {
            X("xdotool key --clearmodifiers ctrl+F9");
            return test::ReadFileText(catalogue).find(">" + first.filename().string() + "<") !=
                   std::string::npos;
        },
        60s));
    const std::string output = test::ReadFileText(dir_.file("recorder.out"));
    EXPECT_NE(output.find("视频处理中,请稍候再开始..."), std::string::npos) << output;

    const fs::path second = StartRecordingByKey({first});
    ASSERT_FALSE(second.empty()) << "the keys did not record again";
    EXPECT_TRUE(WaitUntilCatalogued(second)) << test::ReadFileText(catalogue);
}

}  // namespace
}  // namespace qarv
