#pragma once
// The capture devices the encoder records from: checks at start-up that they can be
// reached and then names them for the command line ("screen-capture-recorder" for the
// screen, "virtual-audio-capturer" for the sound the computer plays).
//
// On this platform there is nothing to register: a device module counts as present when
// its name (the text before the last '.' of the module name, e.g. "screen-capture-recorder"
// of "screen-capture-recorder.dll") is a device the encoder adapter provides, in the role it
// is passed for. The screen device further needs the X display to accept a connection; the
// system-sound device is always available (the sound server's monitor, or silence when
// there is no sound server), so it never fails the check. No module file is looked for.
//
// Threading: RegisterFilters runs once on the UI thread during start-up; afterwards the
// object is only read, and its getters may be called from any thread.

#include <memory>
#include <string>

namespace qarv {

class RegAVFilterEx {
  public:
    // The device names the encoder adapter provides.
    static constexpr const char kScreenDevice[] = "screen-capture-recorder";
    static constexpr const char kSystemSoundDevice[] = "virtual-audio-capturer";

    // The process-wide instance, made on the first call.
    static std::shared_ptr<RegAVFilterEx> Instance();

    RegAVFilterEx() = default;
    virtual ~RegAVFilterEx() = default;
    RegAVFilterEx(const RegAVFilterEx&) = delete;
    RegAVFilterEx& operator=(const RegAVFilterEx&) = delete;

    // Checks both devices (see above). True: both can be used and their names are kept.
    // False when a module name has no '.', an empty stem or names no device of its role, or
    // when the screen cannot be opened; the names are then "".
    bool RegisterFilters(const std::string& videoModule, const std::string& audioModule);

    bool IsRegistered() const { return registered_; }
    // The devices' names when registered, otherwise "".
    const std::string& GetVideoDeviceName() const { return videoDevice_; }
    const std::string& GetAudioDeviceName() const { return audioDevice_; }

  private:
    bool registered_ = false;
    std::string videoDevice_;
    std::string audioDevice_;
};

}  // namespace qarv
