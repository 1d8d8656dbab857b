// The audio inputs as the PulseAudio server lists them.

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>

#include <chrono>
#include <memory>

#include "recorder/recording/audio_inputs.h"

namespace qarv {

namespace {

struct MainloopFree {
    void operator()(pa_mainloop* mainloop) const { pa_mainloop_free(mainloop); }
};
struct ContextClose {
    void operator()(pa_context* context) const {
        // No callback may run into the query once it is over.
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
    }
};
struct OperationRelease {
    void operator()(pa_operation* operation) const {
        if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING)
            pa_operation_cancel(operation);
        pa_operation_unref(operation);
    }
};

// The state of one listing, shared with the callbacks.
struct SourceQuery {
    std::vector<std::string> names;
    std::unique_ptr<pa_operation, OperationRelease> operation;
    bool done = false;
    bool failed = false;

    void Fail() {
        failed = true;
        done = true;
    }
};

void OnSourceInfo(pa_context* /*context*/, const pa_source_info* info, int eol, void* userdata) {
    auto* query = static_cast<SourceQuery*>(userdata);
    if (eol < 0) {
        query->Fail();
        return;
    }
    if (eol > 0) {
        query->done = true;
        return;
    }
    // A monitor delivers what an output plays; only the other sources are real inputs.
    if (info == nullptr || info->monitor_of_sink != PA_INVALID_INDEX)
        return;
    const char* name =
        info->description != nullptr && *info->description != '\0' ? info->description : info->name;
    query->names.emplace_back(name != nullptr ? name : "");
}

void OnContextState(pa_context* context, void* userdata) {
    auto* query = static_cast<SourceQuery*>(userdata);
    switch (pa_context_get_state(context)) {
        case PA_CONTEXT_READY:
            if (!query->operation) {
                query->operation.reset(pa_context_get_source_info_list(context, OnSourceInfo, query));
                if (!query->operation)
                    query->Fail();
            }
            break;
        case PA_CONTEXT_FAILED:
        case PA_CONTEXT_TERMINATED:
            query->Fail();
            break;
        default:
            break;
    }
}

// Runs the main loop until the query is done or `deadline` has passed; false on time-out
// or a main loop failure.
bool RunUntilDone(pa_mainloop* mainloop, const SourceQuery& query,
                  std::chrono::steady_clock::time_point deadline) {
    using std::chrono::microseconds;
    while (!query.done) {
        const auto remaining =
            std::chrono::duration_cast<microseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (remaining <= 0)
            return false;
        if (pa_mainloop_prepare(mainloop, static_cast<int>(remaining)) < 0 ||
            pa_mainloop_poll(mainloop) < 0 || pa_mainloop_dispatch(mainloop) < 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

int ListAudioInputs(std::vector<std::string>& names) {
    names.clear();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAudioQueryTimeoutMs);

    // Declared before the connection so that it outlives every callback.
    SourceQuery query;
    std::unique_ptr<pa_mainloop, MainloopFree> mainloop(pa_mainloop_new());
    if (!mainloop)
        return kAudioInputsNoServer;
    std::unique_ptr<pa_context, ContextClose> context(
        pa_context_new(pa_mainloop_get_api(mainloop.get()), "QarvRecorder"));
    if (!context)
        return kAudioInputsNoServer;
    pa_context_set_state_callback(context.get(), OnContextState, &query);
    // A recording never starts a sound server of its own.
    if (pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return kAudioInputsNoServer;

    const bool finished = RunUntilDone(mainloop.get(), query, deadline);
    query.operation.reset();
    context.reset();
    // A server that failed or vanished part way gives no list at all.
    if (!finished || query.failed)
        return kAudioInputsNoServer;
    if (query.names.empty())
        return kAudioInputsNone;
    names = std::move(query.names);
    return kAudioInputsOk;
}

}  // namespace qarv
