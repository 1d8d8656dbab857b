#include <pulse/pulseaudio.h>

#include <chrono>
#include <memory>

#include "capturer/sound_server_probe.h"

namespace qarv {

namespace {

struct MainloopFree {
    void operator()(pa_mainloop* loop) const { pa_mainloop_free(loop); }
};

struct ContextRelease {
    void operator()(pa_context* context) const {
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
};

// The state of one probe: the queries in flight and what they found. Callbacks run on the
// probing thread (inside pa_mainloop_dispatch).
struct ProbeState {
    CaptureEnvironment* environment = nullptr;
    int pending = 0;
    bool finished = false;
    bool ready = false;

    void Issue(pa_operation* operation) {
        if (operation == nullptr) {
            finished = true;  // the connection broke; report what is known as unreachable
            return;
        }
        ++pending;
        pa_operation_unref(operation);
    }

    void Done() {
        if (--pending == 0) {
            ready = true;
            finished = true;
        }
    }
};

void OnSinkInfo(pa_context*, const pa_sink_info* info, int eol, void* userdata) {
    auto* state = static_cast<ProbeState*>(userdata);
    if (eol != 0) {
        state->Done();
        return;
    }
    if (info != nullptr && info->monitor_source_name != nullptr)
        state->environment->defaultSinkMonitor = info->monitor_source_name;
}

void OnServerInfo(pa_context* context, const pa_server_info* info, void* userdata) {
    auto* state = static_cast<ProbeState*>(userdata);
    if (info != nullptr) {
        if (info->default_source_name != nullptr)
            state->environment->defaultSource = info->default_source_name;
        if (info->default_sink_name != nullptr && info->default_sink_name[0] != '\0')
            state->Issue(
                pa_context_get_sink_info_by_name(context, info->default_sink_name, OnSinkInfo, state));
    }
    state->Done();
}

void OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* state = static_cast<ProbeState*>(userdata);
    if (eol != 0) {
        state->Done();
        return;
    }
    if (info == nullptr || info->name == nullptr)
        return;
    AudioSourceInfo source;
    source.name = info->name;
    source.description = info->description != nullptr ? info->description : info->name;
    source.isMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
    state->environment->sources.push_back(std::move(source));
}

void OnContextState(pa_context* context, void* userdata) {
    auto* state = static_cast<ProbeState*>(userdata);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            state->Issue(pa_context_get_server_info(context, OnServerInfo, state));
            state->Issue(pa_context_get_source_info_list(context, OnSourceInfo, state));
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            state->finished = true;
            break;
        default:
            break;
    }
}

}  // namespace

int SoundServerProbe::Probe(int timeoutMs, CaptureEnvironment& environment) {
    using Clock = std::chrono::steady_clock;
    environment.soundServer = false;
    environment.defaultSinkMonitor.clear();
    environment.defaultSource.clear();
    environment.sources.clear();

    std::unique_ptr<pa_mainloop, MainloopFree> loop(pa_mainloop_new());
    if (!loop)
        return kUnreachable;
    std::unique_ptr<pa_context, ContextRelease> context(
        pa_context_new(pa_mainloop_get_api(loop.get()), "capturer"));
    if (!context)
        return kUnreachable;

    CaptureEnvironment found;
    ProbeState state;
    state.environment = &found;
    pa_context_set_state_callback(context.get(), OnContextState, &state);
    if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return kUnreachable;

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
    if (!state.ready)
        return kUnreachable;

    environment.soundServer = true;
    environment.defaultSinkMonitor = std::move(found.defaultSinkMonitor);
    environment.defaultSource = std::move(found.defaultSource);
    environment.sources = std::move(found.sources);
    return kReachable;
}

}  // namespace qarv
