// The screenshot tool of the installed recorder on a private X server, driven by real pointer
// and key events: the main window goes away, a dragged or clicked region goes to the
// clipboard with the screen's own pixels, Esc leaves everything as it was, and a region saved
// under a .png name is a real PNG. A picture of the open tool is kept as an artifact.
#include <QImage>

#include "tests/recorder/installed_recorder_test.h"

namespace qarv {
namespace {

class CaptureToolEndToEndTest : public InstalledRecorderTest {
  protected:
    void SetUp() override {
        InstalledRecorderTest::SetUp();
        // Something to capture: blocks of colour, one partly off the screen's right edge.
        blocks_.emplace_back(display_.name(), 30, 60, 60, 40, 0xC03020);
        blocks_.emplace_back(display_.name(), 70, 90, 50, 50, 0x20A0F0);
        blocks_.emplace_back(display_.name(), 1200, 300, 200, 120, 0x40D060);
        StartRecorder();
        mainWindow_ = WaitForWindow();
        ASSERT_NE(mainWindow_, "") << "the main window did not appear";
    }

    // Opens the tool with Ctrl+F11 (repeated until the keys are registered) and waits until it
    // covers the screen.
    bool OpenTool() {
        return WaitFor(
            [&] {
                X("xdotool key --clearmodifiers ctrl+F11");
                return WaitFor([&] { return ToolShown(); }, 5s);
            },
            60s);
    }

    bool ToolShown() {
        for (const std::string& window : VisibleWindows()) {
            if (Geometry(window) == "0,0,1280,800")
                return true;
        }
        return false;
    }

    // The main window is on the screen (a minimised one is unmapped, or without a window
    // manager moved off the screen) and the tool is gone.
    bool MainWindowShown() { return MainWindowOnScreen() && !ToolShown(); }

    bool MainWindowOnScreen() {
        const std::vector<std::string> windows = VisibleWindows();
        if (std::find(windows.begin(), windows.end(), mainWindow_) == windows.end())
            return false;
        const std::string geometry = Geometry(mainWindow_);
        return !geometry.empty() && geometry[0] != '-';
    }

    std::vector<std::string> VisibleWindows() {
        std::vector<std::string> windows;
        std::istringstream lines(X("xdotool search --onlyvisible --pid " + std::to_string(pid_)));
        for (std::string line; std::getline(lines, line);)
            windows.push_back(line);
        return windows;
    }

    // "x,y,width,height" of a window.
    std::string Geometry(const std::string& window) {
        std::smatch m;
        const std::string text = X("xdotool getwindowgeometry --shell " + window);
        const std::regex fields("X=(-?\\d+)\\nY=(-?\\d+)\\nWIDTH=(\\d+)\\nHEIGHT=(\\d+)");
        if (!std::regex_search(text, m, fields))
            return {};
        return m[1].str() + "," + m[2].str() + "," + m[3].str() + "," + m[4].str();
    }

    // The screen's pixels in a rectangle, as the X server has them.
    QImage Screen(int x, int y, int width, int height) {
        const std::string file = dir_.file("screen.png");
        test::CommandOutput("ffmpeg -loglevel error -y -f x11grab -video_size " + std::to_string(width) +
                            "x" + std::to_string(height) + " -i " + display_.name() + "+" +
                            std::to_string(x) + "," + std::to_string(y) + " -frames:v 1 " + Quote(file) +
                            " 2>&1");
        return QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_RGB32);
    }

    // The picture on the clipboard, or a null image.
    QImage Clipboard() {
        const std::string file = dir_.file("clipboard.png");
        X("xclip -selection clipboard -t image/png -o > " + Quote(file));
        return QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_RGB32);
    }

    void Drag(int fromX, int fromY, int toX, int toY) {
        X("xdotool mousemove " + std::to_string(fromX) + " " + std::to_string(fromY) +
          " mousedown 1 mousemove " + std::to_string((fromX + toX) / 2) + " " +
          std::to_string((fromY + toY) / 2) + " mousemove " + std::to_string(toX) + " " +
          std::to_string(toY) + " mouseup 1");
    }

    std::string mainWindow_;
    std::deque<FocusWindow> blocks_;
};

TEST_F(CaptureToolEndToEndTest, DraggedRegionGoesToTheClipboardWithTheScreensPixels) {
    const QImage expected = Screen(50, 80, 50, 20);
    ASSERT_FALSE(expected.isNull());
    ASSERT_TRUE(OpenTool()) << "Ctrl+F11 did not open the screenshot tool";
    EXPECT_FALSE(MainWindowOnScreen()) << "the main window stayed";
    Drag(100, 100, 50, 80);

    // The tool as the user sees it: cover, selection with handles, prompt, menu bar, and the
    // magnifier while the selection is held.
    X("xdotool mousemove 75 90 mousedown 1 key Right key Left");
    fs::create_directories(QARV_ARTIFACT_DIR);
    const QImage tool = Screen(0, 0, 1280, 800);
    EXPECT_TRUE(tool.save(QString::fromUtf8(QARV_ARTIFACT_DIR "/capture_tool.png")));
    X("xdotool mouseup 1 key Return");

    ASSERT_TRUE(WaitFor([&] { return !Clipboard().isNull(); }, 30s)) << "nothing reached the clipboard";
    const QImage copied = Clipboard();
    EXPECT_EQ(copied.size(), QSize(50, 20));
    EXPECT_EQ(copied, expected);
    EXPECT_TRUE(WaitFor([&] { return MainWindowShown(); }, 30s)) << "the main window did not come back";
}

TEST_F(CaptureToolEndToEndTest, OneClickSelectsTheWindowUnderThePointer) {
    const QImage expected = Screen(1200, 300, 80, 120);  // clipped at the screen's edge
    ASSERT_TRUE(OpenTool());
    X("xdotool mousemove 1230 350 mousemove 1240 360 click 1 key Return");
    ASSERT_TRUE(WaitFor([&] { return !Clipboard().isNull(); }, 30s)) << "nothing reached the clipboard";
    EXPECT_EQ(Clipboard(), expected);
}

TEST_F(CaptureToolEndToEndTest, EscapeLeavesTheClipboardAndTheFilesAlone) {
    test::WriteFileText(dir_.file("before.txt"), "before");
    X("xclip -selection clipboard -i " + Quote(dir_.file("before.txt")) + " >/dev/null");
    ASSERT_TRUE(OpenTool());
    Drag(100, 100, 300, 200);
    X("xdotool key Escape");
    ASSERT_TRUE(WaitFor([&] { return MainWindowShown(); }, 30s)) << "Esc did not end the tool";
    EXPECT_EQ(X("xclip -selection clipboard -o"), "before");
    EXPECT_FALSE(fs::exists(dir_.file("SaveBmp")) && !fs::is_empty(dir_.file("SaveBmp")));
}

TEST_F(CaptureToolEndToEndTest, RegionSavedUnderAPngNameIsAPng) {
    const QImage expected = Screen(50, 80, 50, 20);
    ASSERT_TRUE(OpenTool());
    Drag(50, 80, 100, 100);
    X("xdotool key ctrl+s");
    // The save dialog takes the keyboard; its name field holds the suggested name.
    std::string dialog;
    ASSERT_TRUE(WaitFor(
        [&] {
            dialog = X("xdotool search --onlyvisible --name '截图另存为'");
            return !dialog.empty();
        },
        30s))
        << "Ctrl+S opened no save dialog";
    dialog = dialog.substr(0, dialog.find('\n'));
    ASSERT_TRUE(WaitFor([&] { return X("xdotool getwindowfocus") == dialog + "\n"; }, 30s))
        << "the save dialog did not get the keyboard";
    const std::string file = dir_.file("shot.png");
    X("xdotool key ctrl+a type --delay 20 " + Quote(file));
    X("xdotool key Return");
    ASSERT_TRUE(WaitFor([&] { return fs::exists(file) && MainWindowShown(); }, 30s)) << "nothing was saved";
    EXPECT_EQ(test::ReadFileText(file).substr(0, 8), std::string("\x89PNG\r\n\x1a\n"));
    EXPECT_EQ(QImage(QString::fromStdString(file)).convertToFormat(QImage::Format_RGB32), expected);
    EXPECT_TRUE(fs::is_directory(dir_.file("SaveBmp")));
}

}  // namespace
}  // namespace qarv
