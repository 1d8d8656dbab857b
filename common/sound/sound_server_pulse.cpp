// The sound server's sources and defaults through libpulse.
#include <pulse/pulseaudio.h>

#include <chrono>
#include <memory>

#include "common/sound/sound_server.h"

namespace qarv {

namespace {

struct MainloopFree {
    void operator()(pa_mainloop* loop) const { pa_mainloop_free(loop); }
};

struct ContextRelease {
    void operator()(pa_context* context) const {
        // No callback may run into the query once it is over.
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
};

// The state of one query: the requests in flight and what they found. Callbacks run on the
// querying thread (inside pa_mainloop_dispatch).
struct QueryState {
    SoundServerInfo found;
    int pending = 0;
    bool finished = false;
    bool answered = false;

    void Fail() { finished = true; }

    void Issue(pa_operation* operation) {
        if (operation == nullptr) {
            Fail();  // the connection broke
            return;
        }
        ++pending;
        pa_operation_unref(operation);
    }

    void Done() {
        if (--pending == 0) {
            answered = true;
            finished = true;
        }
    }
};

void OnSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* state = static_cast<QueryState*>(userdata);
    if (eol < 0)
        return state->Fail();
    if (eol > 0)
        return state->Done();
    if (info != nullptr && info->monitor_source_name != nullptr)
        state->found.defaultSinkMonitor = info->monitor_source_name;
}

void OnServerInfo(pa_context* context, const pa_server_info* info, void* userdata) {
    auto* state = static_cast<QueryState*>(userdata);
    if (info != nullptr) {
        if (info->default_source_name != nullptr)
            state->found.defaultSource = info->default_source_name;
        if (info->default_sink_name != nullptr && info->default_sink_name[0] != '\0')
            state->Issue(
                pa_context_get_sink_info_by_name(context, info->default_sink_name, OnSinkInfo, state));
    }
    state->Done();
}

void OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* state = static_cast<QueryState*>(userdata);
    if (eol < 0)
        return state->Fail();
    if (eol > 0)
        return state->Done();
    if (info == nullptr || info->name == nullptr)
        return;
    SoundSource source;
    source.name = info->name;
    const bool described = info->description != nullptr && info->description[0] != '\0';
    source.description = described ? info->description : info->name;
    source.isMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
    state->found.sources.push_back(std::move(source));
}

void OnContextState(pa_context* context, void* userdata) {
    auto* state = static_cast<QueryState*>(userdata);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            state->Issue(pa_context_get_server_info(context, OnServerInfo, state));
            state->Issue(pa_context_get_source_info_list(context, OnSourceInfo, state));
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            state->Fail();
            break;
        default:
            break;
    }
}

}  // namespace

int QuerySoundServer(int timeoutMs, const char* clientName, SoundServerInfo& info) {
    using Clock = std::chrono::steady_clock;
    info = SoundServerInfo();

    // Declared before the connection so that it outlives every callback.
    QueryState state;
    std::unique_ptr<pa_mainloop, MainloopFree> loop(pa_mainloop_new());
    if (!loop)
        return kSoundServerUnreachable;
    std::unique_ptr<pa_context, ContextRelease> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), clientName));
    if (!context)
        return kSoundServerUnreachable;
    pa_context_set_state_callback(context.get(), OnContextState, &state);
    if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return kSoundServerUnreachable;

    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!state.finished) {
        const auto left =
            std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            break;
        if (pa_mainloop_prepare(loop.get(), static_cast<int>(left)) < 0 || pa_mainloop_poll(loop.get()) < 0 ||
            pa_mainloop_dispatch(loop.get()) < 0)
            break;
    }
    context.reset();  // before the loop it runs on
    if (!state.answered)
        return kSoundServerUnreachable;
    info = std::move(state.found);
    return kSoundServerReachable;
}

}  // namespace qarv
