#include "tests/capturer/media_facts.h"

#include "tests/support/command_output.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace qarv::test {

namespace {

// Output of a shell command (stderr discarded).
std::string Capture(const std::string& command) {
    return CommandOutput(command + " 2>/dev/null");
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::vector<std::string> SplitLine(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, separator))
        fields.push_back(field);
    return fields;
}

}  // namespace

const StreamFacts* MediaFacts::Find(const std::string& type) const {
    for (const StreamFacts& stream : streams) {
        if (stream.type == type)
            return &stream;
    }
    return nullptr;
}

int MediaFacts::Count(const std::string& type) const {
    int count = 0;
    for (const StreamFacts& stream : streams)
        count += stream.type == type ? 1 : 0;
    return count;
}

MediaFacts ProbeMedia(const std::string& path) {
    MediaFacts facts;
    const std::string streams = Capture(
        "ffprobe -v error -show_entries "
        "stream=index,codec_type,codec_name,width,height,sample_rate -of compact=p=0:nk=0 " +
        Quote(path));
    std::stringstream lines(streams);
    std::string line;
    std::vector<std::string> seen;  // MPEG-TS streams are listed once more under their program
    while (std::getline(lines, line)) {
        const std::string index = line.substr(0, line.find('|'));
        if (std::find(seen.begin(), seen.end(), index) != seen.end())
            continue;
        seen.push_back(index);
        StreamFacts stream;
        for (const std::string& field : SplitLine(line, '|')) {
            const std::size_t eq = field.find('=');
            if (eq == std::string::npos)
                continue;
            const std::string key = field.substr(0, eq);
            const std::string value = field.substr(eq + 1);
            if (key == "codec_type")
                stream.type = value;
            else if (key == "codec_name")
                stream.codec = value;
            else if (key == "width")
                stream.width = std::atoi(value.c_str());
            else if (key == "height")
                stream.height = std::atoi(value.c_str());
            else if (key == "sample_rate")
                stream.sampleRate = std::atoi(value.c_str());
        }
        if (!stream.type.empty())
            facts.streams.push_back(stream);
    }
    facts.readable = !facts.streams.empty();
    return facts;
}

DecodedVideo DecodeVideo(const std::string& path) {
    // showinfo prints every decoded frame: "n:   0 pts:      0 pts_time:0 ... s:352x288 ...".
    DecodedVideo video;
    std::stringstream lines(CommandOutput("ffmpeg -nostdin -hide_banner -v info -i " + Quote(path) +
                                          " -map 0:v:0 -vf showinfo -f null - 2>&1 >/dev/null"));
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t time = line.find(" pts_time:");
        if (line.find("Parsed_showinfo") == std::string::npos || time == std::string::npos)
            continue;
        video.times.push_back(std::atof(line.c_str() + time + 10));
        const std::size_t mean = line.find(" mean:[");
        video.brightness.push_back(mean != std::string::npos ? std::atof(line.c_str() + mean + 7) : 0);
        const std::size_t size = line.find(" s:");
        if (size != std::string::npos)
            std::sscanf(line.c_str() + size + 3, "%dx%d", &video.width, &video.height);
    }
    return video;
}

double DecodedVideo::FrameRate() const {
    // The median step: one frame dropped or repeated under load does not move it.
    std::vector<double> steps;
    for (std::size_t i = 1; i < times.size(); ++i)
        steps.push_back(times[i] - times[i - 1]);
    if (steps.empty())
        return 0;
    std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
    const double step = steps[steps.size() / 2];
    return step > 0 ? 1 / step : 0;
}

double DecodedVideo::Duration() const {
    const double rate = FrameRate();
    return rate > 0 ? times.back() - times.front() + 1 / rate : 0;
}

std::vector<double> DecodedVideo::FlashTimes() const {
    std::vector<double> flashes;
    bool dark = false;
    for (std::size_t i = 0; i < times.size() && i < brightness.size(); ++i) {
        if (brightness[i] < 64)
            dark = true;
        else if (brightness[i] > 192 && dark) {
            flashes.push_back(times[i]);
            dark = false;
        }
    }
    return flashes;
}

std::vector<double> SoundOnsets(const std::string& path) {
    // silencedetect prints "silence_end: T | silence_duration: D" where the sound comes back.
    std::vector<double> onsets;
    std::stringstream lines(
        CommandOutput("ffmpeg -nostdin -hide_banner -v info -i " + Quote(path) +
                      " -map 0:a:0 -af silencedetect=n=-30dB:d=0.1 -f null - 2>&1 >/dev/null"));
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t end = line.find("silence_end: ");
        if (end != std::string::npos)
            onsets.push_back(std::atof(line.c_str() + end + 13));
    }
    return onsets;
}

std::vector<double> ClicksAtFlashes(const std::vector<double>& flashes, const std::vector<double>& onsets) {
    std::vector<double> clicks;
    for (const double flash : flashes) {
        const auto click = std::find_if(onsets.begin(), onsets.end(),
                                        [&](double time) { return std::abs(time - flash) < 0.3; });
        if (click == onsets.end())
            return {};
        clicks.push_back(*click);
    }
    return clicks;
}

DecodedSound DecodeSound(const std::string& path) {
    constexpr int kRate = 22050;  // above twice every test tone
    const std::string samples = Capture("ffmpeg -nostdin -v error -i " + Quote(path) + " -vn -ac 1 -ar " +
                                        std::to_string(kRate) + " -f s16le -acodec pcm_s16le -");
    DecodedSound sound;
    const std::size_t count = samples.size() / 2;
    if (count == 0)
        return sound;
    double sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const auto low = static_cast<unsigned char>(samples[2 * i]);
        const auto high = static_cast<unsigned char>(samples[2 * i + 1]);
        const auto value = static_cast<int16_t>(static_cast<uint16_t>(low | (high << 8)));
        sum += static_cast<double>(value) * value;
    }
    sound.seconds = static_cast<double>(count) / kRate;
    sound.level = std::sqrt(sum / static_cast<double>(count)) / 32768.0;
    return sound;
}

Picture DecodePicture(const std::string& path, double second, int width, int height) {
    Picture picture;
    char seek[48] = "";
    if (second > 0)  // a seek on a still picture finds nothing
        std::snprintf(seek, sizeof seek, " -ss %.3f", second);
    const std::string data = Capture("ffmpeg -nostdin -v error" + std::string(seek) + " -i " + Quote(path) +
                                     " -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
    if (data.size() != static_cast<std::size_t>(width) * height * 3)
        return picture;
    picture.width = width;
    picture.height = height;
    picture.rgb.assign(data.begin(), data.end());
    return picture;
}

void Picture::Average(int x, int y, int w, int h, double& r, double& g, double& b) const {
    r = g = b = 0;
    long count = 0;
    for (int row = y; row < y + h && row < height; ++row) {
        for (int col = x; col < x + w && col < width; ++col) {
            const std::size_t at = (static_cast<std::size_t>(row) * width + col) * 3;
            r += rgb[at];
            g += rgb[at + 1];
            b += rgb[at + 2];
            ++count;
        }
    }
    if (count > 0) {
        r /= count;
        g /= count;
        b /= count;
    }
}

}  // namespace qarv::test
