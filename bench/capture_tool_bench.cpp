// The screenshot tool at 1920x1080 on a private X server:
//
//   capture_tool_bench [INSTALL_DIR] [MOVES]
//
// 1. Opening: from the tool's construction (the screen grab and the window list) to its
//    first picture painted, against a bare viewer that grabs the screen and shows it full
//    screen with nothing else.
// 2. Pointer moves: the time from a mouse move to its repaint flushed, in the three steps
//    (pointing with the magnifier over a highlighted window, dragging a new rectangle,
//    dragging a handle), against the bare viewer repainting the whole picture on each move;
//    a 60 Hz pointer leaves 16.7 ms per move.
// 3. With INSTALL_DIR (an installed recorder): the recorder's resident memory idle and with
//    the tool open (opened with Ctrl+F11).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "recorder/capture_tool/catch_screen_dlg.h"
#include "recorder/capture_tool/screen_source.h"
#include "tests/support/command_output.h"
#include "tests/support/virtual_display.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Counts the paints a widget has finished.
class PaintCounter : public QObject {
  public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Runs the event loop until `widget` has finished one more paint than `before`, and its
// window has been flushed to the X server.
bool WaitForPaint(PaintCounter& counter, int before) {
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (counter.paints <= before && Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents();
    return counter.paints > before;
}

// The bare viewer: the grabbed screen, painted whole, over the whole screen.
class BareViewer : public QWidget {
  public:
    BareViewer() : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
        picture_ = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        setGeometry(0, 0, picture_.width(), picture_.height());
        setMouseTracking(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(0, 0, picture_);
    }
    void mouseMoveEvent(QMouseEvent*) override { update(); }

  private:
    QImage picture_;
};

struct Figures {
    double mean = 0;
    double p95 = 0;
    double max = 0;
};

Figures Summarise(std::vector<double> samples) {
    Figures f;
    if (samples.empty())
        return f;
    std::sort(samples.begin(), samples.end());
    for (double s : samples)
        f.mean += s;
    f.mean /= samples.size();
    f.p95 = samples[std::min(samples.size() - 1, samples.size() * 95 / 100)];
    f.max = samples.back();
    return f;
}

void SendMove(QWidget* widget, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

void SendButton(QWidget* widget, QEvent::Type type, QPoint at) {
    QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// Times `moves` pointer moves along a diagonal path, each to its repaint.
std::vector<double> TimeMoves(QWidget* widget, PaintCounter& counter, int moves, QPoint from, QPoint to,
                              Qt::MouseButtons buttons) {
    std::vector<double> samples;
    for (int i = 0; i < moves; ++i) {
        const QPoint at = from + (to - from) * (i % 100) / 99;
        const int before = counter.paints;
        const auto start = Clock::now();
        SendMove(widget, at, buttons);
        if (WaitForPaint(counter, before))
            samples.push_back(MsSince(start));
    }
    return samples;
}

long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

// The installed recorder idle and with the tool open.
void MeasureMemory(const std::string& dir, const std::string& display) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(dir.c_str()) != 0)
            ::_exit(127);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::setenv("PULSE_SERVER", "unix:/nonexistent/qarv-bench-socket", 1);
        ::execl("./QarvRecorder", "QarvRecorder", "1", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    auto x = [&](const std::string& command) {
        return qarv::test::CommandOutput("DISPLAY=" + display + " " + command + " 2>/dev/null");
    };
    auto waitFor = [](const std::function<bool()>& ready) {
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        while (!ready() && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return ready();
    };
    const std::string search = "xdotool search --onlyvisible --pid " + std::to_string(pid);
    const bool up = waitFor([&] { return !x(search).empty(); });
    // Idle: after start-up has settled.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    const long idle = ResidentKiB(pid);
    const bool open =
        up && waitFor([&] {
            x("xdotool key --clearmodifiers ctrl+F11");
            std::this_thread::sleep_for(std::chrono::milliseconds(1000));
            std::istringstream windows(x(search));
            for (std::string window; std::getline(windows, window);) {
                if (x("xdotool getwindowgeometry " + window)
                        .find(std::to_string(kWidth) + "x" + std::to_string(kHeight)) != std::string::npos)
                    return true;
            }
            return false;
        });
    x("xdotool mousemove 300 300 mousedown 1 mousemove 700 600 mouseup 1");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long withTool = ResidentKiB(pid);
    x("xdotool key Escape");
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const long after = ResidentKiB(pid);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    if (!up || !open || idle <= 0 || withTool <= 0) {
        std::printf("memory: could not measure (recorder %s, tool %s)\n", up ? "up" : "not up",
                    open ? "open" : "not open");
        return;
    }
    std::printf(
        "memory: idle recorder %.1f MiB, with the tool open %.1f MiB (+%.1f MiB, ratio %.2f), after it "
        "closed %.1f MiB\n",
        idle / 1024.0, withTool / 1024.0, (withTool - idle) / 1024.0, double(withTool) / idle,
        after / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string installDir = argc > 1 ? argv[1] : "";
    const int moves = argc > 2 ? std::max(10, std::atoi(argv[2])) : 300;
    qarv::test::VirtualDisplay display;
    if (!display.Start(kWidth, kHeight)) {
        std::fprintf(stderr, "no X server\n");
        return 1;
    }
    ::setenv("DISPLAY", display.name().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);

    // Something on the screen: a few windows of other programs.
    std::vector<std::unique_ptr<QWidget>> others;
    for (int i = 0; i < 4; ++i) {
        auto w = std::make_unique<QWidget>();
        w->setGeometry(100 + i * 380, 150 + i * 120, 600, 400);
        w->setStyleSheet(QStringLiteral("background: hsv(%1, 160, 220)").arg(i * 80));
        w->show();
        others.push_back(std::move(w));
    }
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

    // 1. Opening.
    std::vector<double> toolOpen;
    std::vector<double> bareOpen;
    std::vector<double> toolMoves[3];
    std::vector<double> bareMoves;
    for (int run = 0; run < 5; ++run) {
        {
            PaintCounter counter;
            const auto start = Clock::now();
            qarv::Rect result;
            std::uint32_t window = 0;
            qarv::CCatchScreenDlg tool(qarv::CreateScreenSource(), &result, &window);
            tool.installEventFilter(&counter);
            tool.show();
            if (WaitForPaint(counter, 0))
                toolOpen.push_back(MsSince(start));
            if (run == 0) {
                // 2. Moves: pointing over the windows, dragging a new rectangle, dragging a handle.
                toolMoves[0] = TimeMoves(&tool, counter, moves, {120, 160}, {1700, 1000}, Qt::NoButton);
                SendButton(&tool, QEvent::MouseButtonPress, {50, 50});
                toolMoves[1] = TimeMoves(&tool, counter, moves, {60, 60}, {1500, 900}, Qt::LeftButton);
                SendButton(&tool, QEvent::MouseButtonRelease, {1500, 900});
                // The bottom-right handle, dragged on.
                const qarv::Rect handle = tool.Tracker().Geometry().HandleRect(qarv::kHitBottomRight);
                const QPoint grip((handle.left + handle.right) / 2, (handle.top + handle.bottom) / 2);
                SendButton(&tool, QEvent::MouseButtonPress, grip);
                toolMoves[2] = TimeMoves(&tool, counter, moves, grip, {1800, 1000}, Qt::LeftButton);
                SendButton(&tool, QEvent::MouseButtonRelease, {1800, 1000});
            }
            tool.reject();
        }
        {
            PaintCounter counter;
            const auto start = Clock::now();
            BareViewer viewer;
            viewer.installEventFilter(&counter);
            viewer.show();
            if (WaitForPaint(counter, 0))
                bareOpen.push_back(MsSince(start));
            if (run == 0)
                bareMoves = TimeMoves(&viewer, counter, moves, {120, 160}, {1700, 1000}, Qt::NoButton);
        }
    }
    const Figures open = Summarise(toolOpen);
    const Figures bare = Summarise(bareOpen);
    if (toolOpen.size() < 5 || bareOpen.size() < 5) {
        std::printf("opening: could not measure (%zu and %zu of 5 runs painted)\n", toolOpen.size(),
                    bareOpen.size());
        return 1;
    }
    std::printf(
        "opening at %dx%d (grab, window list, first paint), mean of 5: tool %.1f ms, bare viewer %.1f ms, "
        "ratio %.2f (plus the 300 ms wait before the grab)\n",
        kWidth, kHeight, open.mean, bare.mean, open.mean / bare.mean);
    const char* names[] = {"pointing (magnifier, highlight)", "dragging a new rectangle",
                           "dragging a handle"};
    const Figures bareMove = Summarise(bareMoves);
    for (int i = 0; i < 3; ++i) {
        const Figures f = Summarise(toolMoves[i]);
        std::printf(
            "move to repaint, %s: mean %.2f ms, p95 %.2f ms, max %.2f ms over %zu moves; ratio to the bare "
            "viewer's full repaint (mean %.2f ms) %.2f; share of a 60 Hz frame %.2f\n",
            names[i], f.mean, f.p95, f.max, toolMoves[i].size(), bareMove.mean, f.mean / bareMove.mean,
            f.p95 / (1000.0 / 60));
        if (toolMoves[i].size() < static_cast<std::size_t>(moves))
            std::printf("  %zu moves gave no repaint\n", moves - toolMoves[i].size());
    }
    if (!installDir.empty())
        MeasureMemory(installDir, display.name());
    return 0;
}
