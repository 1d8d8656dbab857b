#pragma once
// A private PulseAudio server for tests: its own socket, runtime directory and null sink,
// started on demand (also as root), with helpers to add a microphone-like source and to
// play a tone. The server and every helper process end with the object. Used by one thread
// at a time.

#include <string>
#include <vector>

namespace qarv::test {

class PulseServer {
  public:
    PulseServer() = default;
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // Starts the server with a null sink "qarv_speakers" as its default sink. With
    // `keepAwake` a silent stream keeps the sink rendering in small blocks, as a sound card
    // does, and Start waits until recordings get sound promptly; without it the idle sink
    // renders two-second blocks and a new recording waits up to that long for its first
    // sound. False, with error() saying why, if the server cannot run here.
    bool Start(bool keepAwake = true);
    // Ends the server and the helpers (also done by the destructor).
    void Stop();

    // The value for PULSE_SERVER, for example "unix:/tmp/qarv-pulse-X/native".
    const std::string& server() const { return server_; }
    const std::string& error() const { return error_; }
    static constexpr const char* kSink = "qarv_speakers";

    // Adds a real input source (not a monitor) whose description is `description`. It
    // records what is played into its own null sink, whose name goes to `feedSink`.
    // Returns the source name, or "" on failure.
    std::string AddMicrophone(const std::string& description, std::string& feedSink);

    // Plays a sine tone of `hertz` into `sink` until Stop().
    bool PlayTone(int hertz, const std::string& sink = kSink);

    // Runs pactl with `arguments` against this server; true if it succeeded.
    bool Pactl(const std::vector<std::string>& arguments);

  private:
    int Spawn(const std::vector<std::string>& arguments, bool keep);
    bool KeepAwake(const std::string& sink);
    bool WaitForPromptRecording(const std::string& source);

    std::string directory_;
    std::string server_;
    std::string error_;
    int serverPid_ = 0;
    int microphones_ = 0;
    std::vector<int> helpers_;
};

}  // namespace qarv::test
