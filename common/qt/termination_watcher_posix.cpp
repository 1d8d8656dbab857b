#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>

#include "common/file_util.h"
#include "common/qt/termination_watcher.h"

namespace qarv {
namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

// Write end of the pipe the handler reports through; -1 while no watcher exists.
volatile sig_atomic_t gWriteFd = -1;

void OnSignal(int signalNumber) {
    const int saved = errno;
    const char byte = static_cast<char>(signalNumber);
    if (gWriteFd >= 0) {
        const ssize_t written = ::write(gWriteFd, &byte, 1);
        static_cast<void>(written);  // a full pipe already holds a request
    }
    errno = saved;
}

}  // namespace

struct TerminationWatcher::Platform {
    UniqueFd readEnd;
    UniqueFd writeEnd;
    std::unique_ptr<QSocketNotifier> notifier;
    std::array<struct sigaction, kSignals.size()> previous{};
    bool installed = false;
};

TerminationWatcher::TerminationWatcher(QObject* parent)
    : QObject(parent), platform_(std::make_unique<Platform>()) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0)
        return;
    platform_->readEnd.reset(fds[0]);
    platform_->writeEnd.reset(fds[1]);
    gWriteFd = fds[1];

    struct sigaction action {};
    action.sa_handler = &OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &platform_->previous[i]);
    platform_->installed = true;

    platform_->notifier = std::make_unique<QSocketNotifier>(fds[0], QSocketNotifier::Read);
    connect(platform_->notifier.get(), &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        while (::read(platform_->readEnd.get(), buffer, sizeof buffer) > 0) {
        }
        emit TerminationRequested();
    });
}

TerminationWatcher::~TerminationWatcher() {
    if (platform_->installed) {
        for (std::size_t i = 0; i < kSignals.size(); ++i)
            ::sigaction(kSignals[i], &platform_->previous[i], nullptr);
    }
    gWriteFd = -1;
}

bool TerminationWatcher::IsWatching() const {
    return platform_->installed;
}

}  // namespace qarv
