#include "capturer/command_translator.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>
#include <utility>

namespace qarv {

namespace {

constexpr std::string_view kScreenDevice = "screen-capture-recorder";
constexpr std::string_view kSystemSoundDevice = "virtual-audio-capturer";

// ffmpeg options that take no value, each between blanks. ffmpeg also accepts their "no"
// forms (-nostdin).
constexpr std::string_view kFlagOptions =
    " y n hide_banner stdin re an vn sn dn shortest copyts start_at_zero stats benchmark benchmark_all "
    "debug_ts"
    " dump hex ignore_unknown accurate_seek xerror autorotate autoscale bitexact report deinterlace intra "
    "psnr"
    " qphist vstats ";

bool IsFlagOption(std::string_view name) {
    const auto known = [](std::string_view n) {
        return !n.empty() && kFlagOptions.find(" " + std::string(n) + " ") != std::string_view::npos;
    };
    return known(name) || (name.size() > 2 && name.substr(0, 2) == "no" && known(name.substr(2)));
}

struct Option {
    std::string name;  // without the leading '-'
    bool hasValue = false;
    std::string value;
};

// One file of the command line: the options that precede it and its URL. ffmpeg applies
// the options before "-i URL" to that input and those before a bare URL to that output
// (global options such as -filter_complex may stand anywhere and keep their place).
struct FileGroup {
    enum Kind { kInput, kOutput, kTrailing } kind = kOutput;
    enum Device { kFile, kScreen, kSound } device = kFile;  // for inputs: what it captures
    bool wallClock = false;                                 // a live input stamped with the wall clock
    std::vector<Option> options;
    std::string url;
};

std::vector<FileGroup> ParseGroups(const std::vector<std::string>& arguments) {
    std::vector<FileGroup> groups;
    FileGroup current;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& token = arguments[i];
        if (token == "-i") {
            current.kind = FileGroup::kInput;
            current.url = i + 1 < arguments.size() ? arguments[++i] : std::string();
            groups.push_back(std::move(current));
            current = FileGroup();
        } else if (token.size() > 1 && token[0] == '-') {
            Option option;
            option.name = token.substr(1);
            if (!IsFlagOption(option.name) && i + 1 < arguments.size()) {
                option.hasValue = true;
                option.value = arguments[++i];
            }
            current.options.push_back(std::move(option));
        } else {
            current.kind = FileGroup::kOutput;
            current.url = token;
            groups.push_back(std::move(current));
            current = FileGroup();
        }
    }
    if (!current.options.empty()) {
        current.kind = FileGroup::kTrailing;
        groups.push_back(std::move(current));
    }
    return groups;
}

const Option* FindOption(const std::vector<Option>& options, std::initializer_list<std::string_view> names) {
    const Option* found = nullptr;
    for (const Option& option : options) {
        if (std::find(names.begin(), names.end(), option.name) != names.end())
            found = &option;  // the last one counts, as in ffmpeg
    }
    return found;
}

bool HasOption(const std::vector<Option>& options, std::initializer_list<std::string_view> names) {
    return FindOption(options, names) != nullptr;
}

Option MakeOption(std::string name, std::string value) {
    return Option{std::move(name), true, std::move(value)};
}

std::string LowerExtension(const std::string& url) {
    const std::size_t dot = url.find_last_of('.');
    const std::size_t slash = url.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string extension = url.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

// Containers whose default sound codec (mp2) cannot encode every rate the recorder offers.
bool DefaultsToMp2(const std::string& url) {
    const std::string extension = LowerExtension(url);
    return extension == "mpeg" || extension == "mpg" || extension == "ts" || extension == "mts" ||
           extension == "m2ts";
}

// An MPEG program stream (as opposed to a transport stream).
bool IsProgramStream(const std::string& url) {
    const std::string extension = LowerExtension(url);
    return extension == "mpeg" || extension == "mpg";
}

// A filter graph that is one amix filter over unlabeled inputs: its input count, else 0.
int PlainAmixInputs(const std::string& graph) {
    if (graph.rfind("amix", 0) != 0 || graph.find_first_of("[];,") != std::string::npos)
        return 0;
    if (graph.size() > 4 && graph[4] != '=')
        return 0;
    const std::size_t at = graph.find("inputs=");
    if (at == std::string::npos)
        return 2;  // amix's default
    const int inputs = std::atoi(graph.c_str() + at + 7);
    return inputs >= 1 && inputs <= 32 ? inputs : 0;
}

// Puts an asynchronous resampler in front of every input of a plain amix graph, so that
// each sound input is stretched or padded to its timestamps before mixing. Unlabeled
// inputs still bind to the sound inputs in their order.
std::string ResampleAmixInputs(const std::string& graph, int inputs) {
    std::string chains;
    std::string labels;
    for (int k = 0; k < inputs; ++k) {
        const std::string label = "[qarv_a" + std::to_string(k) + "]";
        chains += "aresample=async=1" + label + ";";
        labels += label;
    }
    return chains + labels + graph;
}

class Translation {
  public:
    Translation(const CaptureEnvironment& environment, CommandTranslation& out)
        : environment_(environment), out_(out) {}

    int Run(const std::vector<std::string>& arguments) {
        std::vector<FileGroup> groups = ParseGroups(arguments);
        sampleRate_ = FindSampleRate(groups);
        const bool reorderable = InputsMayBeReordered(groups);

        for (FileGroup& group : groups) {
            if (group.kind == FileGroup::kInput && !TranslateInput(group))
                return CommandTranslator::kBadCommand;
        }
        if (reorderable)
            OpenSoundBeforeScreen(groups);
        SyncLiveInputs(groups);
        out_.live = std::any_of(groups.begin(), groups.end(), [](const FileGroup& g) {
            return g.kind == FileGroup::kInput && g.device != FileGroup::kFile;
        });
        MoveThumbnailSeek(groups);
        for (FileGroup& group : groups) {
            if (group.kind == FileGroup::kOutput)
                TranslateOutput(group);
        }
        ResampleMixInputs(groups);
        ConvertScreenBeforeOverlay(groups);

        std::vector<std::string>& args = out_.arguments;
        args.clear();
        const bool quietGiven = std::any_of(groups.begin(), groups.end(), [](const FileGroup& g) {
            return HasOption(g.options, {"loglevel", "v"});
        });
        args.push_back("-hide_banner");
        args.push_back("-nostdin");
        if (!quietGiven) {
            args.push_back("-loglevel");
            args.push_back("warning");
        }
        for (const FileGroup& group : groups) {
            for (const Option& option : group.options) {
                if (option.name == "hide_banner" || option.name == "nostdin")
                    continue;  // already given once above
                args.push_back("-" + option.name);
                if (option.hasValue)
                    args.push_back(option.value);
            }
            if (group.kind == FileGroup::kInput)
                args.push_back("-i");
            if (group.kind != FileGroup::kTrailing)
                args.push_back(group.url);
        }
        return CommandTranslator::kTranslated;
    }

  private:
    // The output sample rate: the value of the first output's -ar, 0 if none.
    static int FindSampleRate(const std::vector<FileGroup>& groups) {
        for (const FileGroup& group : groups) {
            if (group.kind != FileGroup::kOutput)
                continue;
            const Option* rate = FindOption(group.options, {"ar"});
            return rate != nullptr ? std::atoi(rate->value.c_str()) : 0;
        }
        return 0;
    }

    // Inputs may change places when nothing names an input by its number (-map, stream
    // labels in filter graphs): unlabeled filter inputs bind by stream type in input order,
    // and the order among inputs of one type is kept.
    static bool InputsMayBeReordered(const std::vector<FileGroup>& groups) {
        for (const FileGroup& group : groups) {
            for (const Option& option : group.options) {
                if (option.name == "map")
                    return false;
                if (option.name == "filter_complex_script")
                    return false;  // a graph we cannot see
                if ((option.name == "filter_complex" || option.name == "lavfi") &&
                    option.value.find('[') != std::string::npos)
                    return false;
            }
        }
        return true;
    }

    // ffmpeg sets each input's time zero at its first packet. Opening a sound server stream
    // can take a moment (seconds while a sink wakes up); a screen opened before it would get
    // its zero that much earlier, the picture would lead the sound and wait for it in a
    // queue until the grabber stalls. Sound inputs therefore open first; the screen, whose
    // first frame comes within a frame time, follows.
    static void OpenSoundBeforeScreen(std::vector<FileGroup>& groups) {
        const auto screen = std::find_if(groups.begin(), groups.end(), [](const FileGroup& group) {
            return group.kind == FileGroup::kInput && group.device == FileGroup::kScreen;
        });
        const auto isSound = [](const FileGroup& group) {
            return group.kind == FileGroup::kInput && group.device == FileGroup::kSound;
        };
        // Only inputs whose options all concern that input move, else nothing does.
        for (auto group = screen; group != groups.end(); ++group) {
            if (isSound(*group) && HasOption(group->options, {"filter_complex", "y", "n", "loglevel", "v"}))
                return;
        }
        std::stable_partition(screen, groups.end(), isSound);
    }

    // ffmpeg starts each input's time at that input's first packet, and the inputs open one
    // after another: the screen, opened a moment after the sound, would be stamped that much
    // early against it. The live inputs all stamp the wall clock, so each is synced to the
    // first sound input's start instead, which keeps picture and sound on one clock.
    static void SyncLiveInputs(std::vector<FileGroup>& groups) {
        int index = 0;
        int reference = -1;
        for (const FileGroup& group : groups) {
            if (group.kind != FileGroup::kInput)
                continue;
            if (group.device == FileGroup::kSound && group.wallClock) {
                reference = index;
                break;
            }
            ++index;
        }
        if (reference < 0)
            return;
        index = 0;
        for (FileGroup& group : groups) {
            if (group.kind != FileGroup::kInput)
                continue;
            if (group.wallClock && index != reference)
                AddIfMissing(group, "isync", std::to_string(reference));
            ++index;
        }
    }

    void Note(std::string text) { out_.notes.push_back(std::move(text)); }

    bool Fail(std::string text) {
        out_.error = std::move(text);
        return false;
    }

    // Takes the options that DirectShow inputs accepted but other inputs reject out of an
    // input's options; they are meant for the output.
    void MoveOutputOptions(FileGroup& group) {
        const Option* format = FindOption(group.options, {"f"});
        const bool rawInput = format != nullptr && format->value == "rawvideo";
        std::vector<Option> kept;
        for (Option& option : group.options) {
            if (option.name == "vprofile" || (option.name == "pix_fmt" && !rawInput))
                moved_.push_back(std::move(option));
            else
                kept.push_back(std::move(option));
        }
        group.options = std::move(kept);
    }

    bool TranslateInput(FileGroup& group) {
        MoveOutputOptions(group);
        const Option* format = FindOption(group.options, {"f"});
        if (format == nullptr || format->value != "dshow") {
            // A file: the recorder writes relative paths with Windows separators.
            std::replace(group.url.begin(), group.url.end(), '\\', '/');
            ++fileInputs_;
            return true;
        }
        if (group.url.rfind("video=", 0) == 0)
            return TranslateScreen(group, group.url.substr(6));
        if (group.url.rfind("audio=", 0) == 0)
            return TranslateSound(group, group.url.substr(6));
        return Fail("unsupported capture device \"" + group.url + "\"");
    }

    static void SetFormat(FileGroup& group, const std::string& format) {
        for (Option& option : group.options) {
            if (option.name == "f")
                option.value = format;
        }
    }

    static void AddIfMissing(FileGroup& group, const std::string& name, const std::string& value) {
        if (!HasOption(group.options, {name}))
            group.options.push_back(MakeOption(name, value));
    }

    bool TranslateScreen(FileGroup& group, const std::string& device) {
        if (device.empty())
            return Fail("no video capture device given");
        if (device.find(":audio=") != std::string::npos)
            return Fail("combined capture device \"" + group.url + "\" is not supported");
        if (device != kScreenDevice)
            Note("video device \"" + device + "\" is not the screen device; grabbing the screen");
        ++screenInputs_;
        group.device = FileGroup::kScreen;
        group.wallClock = true;  // x11grab stamps each frame with the wall clock
        SetFormat(group, "x11grab");
        // Without -video_size x11grab grabs the whole screen of the display.
        AddIfMissing(group, "draw_mouse", "1");
        AddIfMissing(group, "thread_queue_size", std::to_string(CommandTranslator::kScreenQueuePackets));
        if (environment_.display.empty()) {
            Note("DISPLAY is not set; grabbing display :0");
            group.url = ":0";
        } else {
            group.url = environment_.display;
        }
        return true;
    }

    bool TranslateSound(FileGroup& group, const std::string& device) {
        if (device.empty())
            return Fail("no audio capture device given");
        ++soundInputs_;
        group.device = FileGroup::kSound;
        if (device == kSystemSoundDevice) {
            if (!environment_.soundServer) {
                Note("no sound server; recording silence in place of the system sound");
                return Silence(group);
            }
            if (environment_.defaultSinkMonitor.empty()) {
                Note(
                    "the sound server has no default output; recording silence in place of the system sound");
                return Silence(group);
            }
            return Pulse(group, "@DEFAULT_MONITOR@");
        }
        if (!environment_.soundServer) {
            Note("no sound server; recording silence in place of \"" + device + "\"");
            return Silence(group);
        }
        const AudioSourceInfo* source = FindInput(device);
        if (source != nullptr)
            return Pulse(group, source->name);
        source = FallbackInput();
        if (source != nullptr) {
            Note("sound input \"" + device + "\" not found; recording \"" + source->description + "\" (" +
                 source->name + ") instead");
            return Pulse(group, source->name);
        }
        Note("sound input \"" + device + "\" not found and no other input exists; recording silence");
        return Silence(group);
    }

    // The real input (not a monitor) whose description, or else whose name, is `device`.
    const AudioSourceInfo* FindInput(const std::string& device) const {
        for (const AudioSourceInfo& source : environment_.sources) {
            if (!source.isMonitor && source.description == device)
                return &source;
        }
        for (const AudioSourceInfo& source : environment_.sources) {
            if (!source.isMonitor && source.name == device)
                return &source;
        }
        return nullptr;
    }

    // The default source if it is a real input, else the first real input.
    const AudioSourceInfo* FallbackInput() const {
        for (const AudioSourceInfo& source : environment_.sources) {
            if (!source.isMonitor && source.name == environment_.defaultSource)
                return &source;
        }
        for (const AudioSourceInfo& source : environment_.sources) {
            if (!source.isMonitor)
                return &source;
        }
        return nullptr;
    }

    bool Pulse(FileGroup& group, const std::string& source) {
        SetFormat(group, "pulse");
        // Each packet is stamped when it arrives. The pulse input's own stamps are derived
        // from latency reports that can lag by most of a second while a sink wakes up.
        AddIfMissing(group, "use_wallclock_as_timestamps", "1");
        AddIfMissing(group, "thread_queue_size", std::to_string(CommandTranslator::kSoundQueuePackets));
        // The server hands over sound in fragments; each is stamped when it is read, so its
        // first samples are stamped late by up to a fragment. Its default 50 ms puts the sound
        // tens of milliseconds behind the picture; 10 ms keeps it within a few.
        const Option* rate = FindOption(group.options, {"sample_rate"});
        const Option* channels = FindOption(group.options, {"channels"});
        const long bytesPerSecond = (rate != nullptr ? std::atol(rate->value.c_str()) : 48000) * 2 *
                                    (channels != nullptr ? std::atol(channels->value.c_str()) : 2);
        if (bytesPerSecond > 0) {
            AddIfMissing(group, "fragment_size",
                         std::to_string(bytesPerSecond * CommandTranslator::kSoundFragmentMs / 1000));
        }
        group.wallClock = FindOption(group.options, {"use_wallclock_as_timestamps"})->value == "1";
        group.url = source;
        return true;
    }

    bool Silence(FileGroup& group) {
        SetFormat(group, "lavfi");
        const int rate = sampleRate_ > 0 ? sampleRate_ : CommandTranslator::kDefaultSampleRate;
        group.url = "anullsrc=r=" + std::to_string(rate) + ":cl=stereo";
        return true;
    }

    // A thumbnail command (one file in, a seek among the output options) seeks on the input
    // instead: the same picture, found without decoding everything before it.
    void MoveThumbnailSeek(std::vector<FileGroup>& groups) const {
        if (soundInputs_ != 0 || screenInputs_ != 0 || fileInputs_ != 1)
            return;
        FileGroup* input = nullptr;
        FileGroup* output = nullptr;
        for (FileGroup& group : groups) {
            if (group.kind == FileGroup::kInput)
                input = &group;
            else if (group.kind == FileGroup::kOutput && output == nullptr)
                output = &group;
        }
        if (input == nullptr || output == nullptr || HasOption(input->options, {"ss"}))
            return;
        auto seek = std::find_if(output->options.begin(), output->options.end(),
                                 [](const Option& option) { return option.name == "ss"; });
        // The first picture needs no seek, and a seek to the start of a short FLV without an
        // index fails and yields no picture at all.
        if (seek == output->options.end() || std::atof(seek->value.c_str()) <= 0)
            return;
        input->options.push_back(std::move(*seek));
        output->options.erase(seek);
    }

    void TranslateOutput(FileGroup& group) {
        std::vector<Option> options = moved_;
        for (Option& option : group.options) {
            if (option.name == "ar" && std::atoi(option.value.c_str()) <= 0) {
                Note("sample rate \"" + option.value + "\" ignored");
                continue;
            }
            options.push_back(std::move(option));
        }
        for (Option& option : options) {
            if (option.name == "vprofile")
                option.name = "profile:v";
        }

        const Option* videoCodec = FindOption(options, {"c:v", "vcodec", "codec:v"});
        const bool x264 = videoCodec != nullptr && videoCodec->value == "libx264";
        if (x264 && !HasOption(options, {"preset"}))
            options.push_back(MakeOption("preset", CommandTranslator::kX264Preset));
        // A program stream is written a pack at a time, and only once every stream has a
        // pack's worth of data waiting: a still screen gives the picture so few bytes that
        // the file would trail the recording by many seconds. The picture is therefore
        // encoded at the constant rate asked for, filler included.
        const Option* bitRate = FindOption(options, {"b:v"});
        if (x264 && bitRate != nullptr && IsProgramStream(group.url) &&
            !HasOption(options, {"nal-hrd", "maxrate", "minrate", "bufsize"})) {
            const std::string rate = bitRate->value;
            options.push_back(MakeOption("nal-hrd", "cbr"));
            options.push_back(MakeOption("minrate", rate));
            options.push_back(MakeOption("maxrate", rate));
            options.push_back(MakeOption("bufsize", rate));
        }

        // A recording reaches the disk packet by packet, so that whatever ends it (a crash, a
        // kill) leaves all but the last moment on disk. Packets of one stream wait for the
        // others at most half a second, not ffmpeg's default ten.
        if (soundInputs_ > 0 || screenInputs_ > 0) {
            if (!HasOption(options, {"flush_packets"}))
                options.push_back(MakeOption("flush_packets", "1"));
            if (!HasOption(options, {"max_interleave_delta"}))
                options.push_back(MakeOption("max_interleave_delta", CommandTranslator::kMaxInterleaveDelay));
        }

        const bool sound = soundInputs_ > 0 && !HasOption(options, {"an"});
        if (sound && DefaultsToMp2(group.url) && !HasOption(options, {"c:a", "acodec", "codec:a"}))
            options.push_back(MakeOption("c:a", "libmp3lame"));
        if (sound)
            ResampleSound(options);
        group.options = std::move(options);
    }

    // Keeps the sound on its timestamps (padding gaps, stretching for clock drift), so that
    // sound and picture stay together over long recordings.
    void ResampleSound(std::vector<Option>& outputOptions) {
        if (HasOption(outputOptions, {"af", "filter:a"}))
            return;
        if (soundInputs_ == 1)
            outputOptions.push_back(MakeOption("af", "aresample=async=1"));
        else
            resampleMix_ = true;  // the inputs meet in a mixing graph; see ResampleMixInputs
    }

    // The screen comes in as BGR; left to itself, ffmpeg turns it into YUV with alpha for the
    // logo overlay and then into plain YUV for the encoder: two conversions of every full
    // frame. Converting the screen to the encoder's format before the overlay does it once
    // (about a third less CPU for 1920x1080 at 30 fps). Only for a plain overlay graph whose
    // main input is the screen (the first video input) and an output in yuv420p.
    void ConvertScreenBeforeOverlay(std::vector<FileGroup>& groups) const {
        const auto firstVideo = std::find_if(groups.begin(), groups.end(), [](const FileGroup& group) {
            return group.kind == FileGroup::kInput && group.device != FileGroup::kSound;
        });
        if (firstVideo == groups.end() || firstVideo->device != FileGroup::kScreen)
            return;
        for (FileGroup& group : groups) {
            const Option* format =
                group.kind == FileGroup::kOutput ? FindOption(group.options, {"pix_fmt"}) : nullptr;
            if (format != nullptr && format->value != "yuv420p")
                return;
        }
        for (FileGroup& group : groups) {
            for (Option& option : group.options) {
                if (option.name == "filter_complex" && option.value.rfind("overlay", 0) == 0 &&
                    option.value.find_first_of("[];,") == std::string::npos) {
                    option.value = "format=yuv420p[qarv_screen];[qarv_screen]" + option.value;
                    return;
                }
            }
        }
    }

    // Several sound inputs are mixed in a graph of their own: resample each of its inputs.
    void ResampleMixInputs(std::vector<FileGroup>& groups) const {
        if (!resampleMix_)
            return;
        for (FileGroup& group : groups) {
            for (Option& option : group.options) {
                const int inputs = option.name == "filter_complex" ? PlainAmixInputs(option.value) : 0;
                if (inputs > 0) {
                    option.value = ResampleAmixInputs(option.value, inputs);
                    return;
                }
            }
        }
    }

  private:
    const CaptureEnvironment& environment_;
    CommandTranslation& out_;
    int sampleRate_ = 0;
    int soundInputs_ = 0;
    int screenInputs_ = 0;
    int fileInputs_ = 0;
    bool resampleMix_ = false;
    std::vector<Option> moved_;
};

}  // namespace

bool CommandTranslator::UsesSoundDevices(const std::vector<std::string>& arguments) {
    for (const FileGroup& group : ParseGroups(arguments)) {
        const Option* format = FindOption(group.options, {"f"});
        if (group.kind == FileGroup::kInput && format != nullptr && format->value == "dshow" &&
            group.url.rfind("audio=", 0) == 0)
            return true;
    }
    return false;
}

int CommandTranslator::Translate(const std::vector<std::string>& arguments, CommandTranslation& out) const {
    out = CommandTranslation();
    Translation translation(environment_, out);
    return translation.Run(arguments);
}

}  // namespace qarv
