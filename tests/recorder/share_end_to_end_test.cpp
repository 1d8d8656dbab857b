// Sharing from the installed recorder on a private X server against the built site stand-in,
// driven by real pointer and key events: a recording made with the hot keys appears in the
// second tab, is shared through the login and share dialogs, and arrives on the site whole,
// with its texts; the catalogue then marks it shared under its new title.
#include <json/json.h>

#include <fstream>

#include "tests/recorder/installed_recorder_test.h"
#include "tests/support/devsite_process.h"

namespace qarv {
namespace {

class ShareEndToEndTest : public InstalledRecorderTest {
  protected:
    // The visible window of the recorder named `name`, and its position; "" if none came.
    std::string WaitForDialog(const std::string& name, int* x, int* y) {
        std::string window;
        WaitFor(
            [&] {
                window = X("xdotool search --onlyvisible --name " + Quote(name));
                return !window.empty();
            },
            30s);
        window = window.substr(0, window.find('\n'));
        const std::string geometry = X("xdotool getwindowgeometry --shell " + window);
        std::smatch m;
        if (window.empty() || !std::regex_search(geometry, m, std::regex("X=(\\d+)\\nY=(\\d+)")))
            return "";
        *x = std::stoi(m[1].str());
        *y = std::stoi(m[2].str());
        return window;
    }
    // Moves the pointer to (x, y) of the screen in two steps (so that the widget under it
    // sees it arrive) and clicks there.
    void ClickAt(int x, int y) {
        X("xdotool mousemove " + std::to_string(x - 3) + " " + std::to_string(y - 3) + " mousemove " +
          std::to_string(x) + " " + std::to_string(y) + " click 1");
    }
};

TEST_F(ShareEndToEndTest, ARecordingIsSharedFromTheSecondTab) {
    test::DevsiteProcess site;
    const int port =
        site.Start(QARV_DEVSITE_PATH, {"--port", "0", "--data", dir_.file("site")}, dir_.file("site.err"));
    ASSERT_GT(port, 0);
    const std::string base = "http://127.0.0.1:" + std::to_string(port) + "/";
    test::WriteFileText(
        dir_.file("Config/config.xml"),
        "<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"no\" ?>\n<Config>\n<ServerInfo>\n"
        "<url>" +
            base + "</url>\n<url_bak>" + base + "</url_bak>\n<port>" + std::to_string(port) +
            "</port>\n<port_bak>" + std::to_string(port) +
            "</port_bak>\n<description>test</description>\n<UpgradeUrl>" + base +
            "</UpgradeUrl>\n</ServerInfo>\n<VersionInfo>\n<version>1.0.0.1</version>\n"
            "<datetime>2026-12-7 12:0:0</datetime>\n<description>test</description>\n"
            "</VersionInfo>\n</Config>\n");
    StartRecorder();
    const std::string window = WaitForWindow();
    ASSERT_FALSE(window.empty()) << "the main window did not appear";

    const fs::path file = StartRecordingByKey({});
    ASSERT_FALSE(file.empty()) << "Ctrl+F9 started no recording";
    std::this_thread::sleep_for(3s);
    X("xdotool key --clearmodifiers ctrl+F10");
    ASSERT_TRUE(WaitUntilCatalogued(file));

    // The second tab; the recording is the first row (the window is back from its minimised
    // state once the recording is catalogued).
    int left = 0;
    int top = 0;
    ASSERT_FALSE(WaitForDialog("Qarv高清录屏", &left, &top).empty());
    ClickAt(left + 121, top + 60);
    // The row's share button shows while the pointer is over the row: page area at (1, 96),
    // first row at (10, 35) of the page, its share button at (202, 7) of the row.
    X("xdotool mousemove " + std::to_string(left + 60) + " " + std::to_string(top + 170));
    ClickAt(left + 1 + 10 + 202 + 12, top + 96 + 35 + 7 + 12);

    // Not logged in: the login dialog, with the built-in account's "0" and "0".
    int x = 0;
    int y = 0;
    ASSERT_FALSE(WaitForDialog("请登录", &x, &y).empty()) << "no login dialog";
    ClickAt(x + 205, y + 39);
    X("xdotool type --delay 30 0");
    ClickAt(x + 205, y + 73);
    X("xdotool type --delay 30 0");
    // Enter logs in; a key that came before the field took it is pressed again, but only
    // while the site has seen no login (a second one would reach the next dialog).
    const std::string requests = dir_.file("site/requests.log");
    WaitFor(
        [&] {
            if (test::ReadFileText(requests).find("/login.php") == std::string::npos)
                X("xdotool key Return");
            return WaitFor([&] { return !X("xdotool search --onlyvisible --name 视频分享").empty(); }, 5s);
        },
        30s);

    // The share dialog: a title and a description; the first category stays selected.
    ASSERT_FALSE(WaitForDialog("视频分享", &x, &y).empty())
        << "no share dialog; the site saw:\n"
        << test::ReadFileText(dir_.file("site/requests.log")) << test::ReadFileText(dir_.file("Log/log.log"));
    ClickAt(x + 140, y + 21);
    X("xdotool key ctrl+a type --delay 30 'My best round'");
    ClickAt(x + 140, y + 118);
    X("xdotool key ctrl+a type --delay 30 'A comeback in the last turn'");
    ClickAt(x + 210, y + 50);

    // The upload reaches the site whole, and its success is written to the catalogue.
    const std::string stored = dir_.file("site/uploads/1/" + file.filename().string());
    ASSERT_TRUE(WaitFor([&] { return fs::exists(stored); }, 60s))
        << test::ReadFileText(dir_.file("recorder.out"));
    EXPECT_TRUE(test::ReadFileText(stored) == test::ReadFileText(file.string()));
    Json::Value meta;
    std::ifstream metaFile(dir_.file("site/uploads/1/meta.json"));
    ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), metaFile, &meta, nullptr));
    EXPECT_EQ(meta["title"].asString(), "My best round");
    EXPECT_EQ(meta["desc"].asString(), "A comeback in the last turn");
    EXPECT_EQ(meta["tags"].asString(), "炉石传说");
    const std::string catalogue = dir_.file("Video/VideoInfo.xml");
    EXPECT_TRUE(WaitFor(
        [&] {
            const std::string text = test::ReadFileText(catalogue);
            return text.find("IsUpload=\"1\"") != std::string::npos &&
                   text.find("Title=\"My best round\"") != std::string::npos;
        },
        30s))
        << test::ReadFileText(catalogue);

    // The row as the user sees it now, kept with the test results.
    fs::create_directories(QARV_ARTIFACT_DIR);
    X("ffmpeg -loglevel error -y -f x11grab -video_size 851x679 -i " + display_.name() + "+" +
      std::to_string(left) + "," + std::to_string(top) + " -frames:v 1 " +
      Quote(std::string(QARV_ARTIFACT_DIR) + "/my_videos_shared.png"));

    ::kill(pid_, SIGTERM);
    ASSERT_GE(WaitForExit(pid_, 30s), 0);
    const std::string log = test::ReadFileText(dir_.file("Log/log.log"));
    EXPECT_EQ(log.find("ERROR"), std::string::npos) << log;
    // The site's statistics page was visited once in this start.
    const std::string seen = test::ReadFileText(requests);
    std::size_t visits = 0;
    for (std::size_t at = seen.find("/down/windows/statistic.html"); at != std::string::npos;
         at = seen.find("/down/windows/statistic.html", at + 1))
        ++visits;
    EXPECT_EQ(visits, 1u) << seen;
}

}  // namespace
}  // namespace qarv
