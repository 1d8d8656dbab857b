// qarv-devsite: the local stand-in for the maker's site and update server. Serves on
// 127.0.0.1 until SIGTERM or SIGINT.

#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

#include "devsite/devsite_options.h"
#include "devsite/site_server.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    qarv::DevsiteOptions options;
    std::string error;
    if (qarv::ParseDevsiteOptions(args, &options, &error) != 0) {
        std::fprintf(stderr, "qarv-devsite: %s\n%s", error.c_str(), qarv::DevsiteUsage());
        return 2;
    }
    if (options.help) {
        std::fputs(qarv::DevsiteUsage(), stdout);
        return 0;
    }

    // The signals are taken by sigwait below; every thread started from here inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    // A client that goes away mid-reply must not end the server.
    signal(SIGPIPE, SIG_IGN);

    qarv::SiteServer server(options.site);
    if (server.Start(options.port, &error) != 0) {
        std::fprintf(stderr, "qarv-devsite: %s\n", error.c_str());
        return 1;
    }
    std::printf("qarv-devsite listening on 127.0.0.1:%d\n", server.port());
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    server.Stop();
    return 0;
}
