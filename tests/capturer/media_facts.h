#pragma once
// What tests need to know about a media file, read with ffprobe and ffmpeg: the streams'
// codecs and sizes, and what a player gets when it decodes them (frames and their times,
// sound length and level, pictures). Thread-safe (no shared state).

#include <string>
#include <vector>

namespace qarv::test {

struct StreamFacts {
    std::string type;   // "video" or "audio"
    std::string codec;  // "h264", "mp3", ...
    int width = 0;
    int height = 0;
    int sampleRate = 0;
};

struct MediaFacts {
    bool readable = false;  // ffprobe opened it and found streams
    std::vector<StreamFacts> streams;

    const StreamFacts* Find(const std::string& type) const;
    int Count(const std::string& type) const;
};

MediaFacts ProbeMedia(const std::string& path);

// The first video stream as a player decodes it. The container's own figures (its frame rate
// guess, its duration) are not used: an MPEG program stream, for one, stamps only some packets.
struct DecodedVideo {
    int width = 0;
    int height = 0;
    std::vector<double> times;       // presentation time of each decoded frame, from 0
    std::vector<double> brightness;  // mean luma of each frame, 0..255

    int frames() const { return static_cast<int>(times.size()); }
    // Frames per second: the inverse of the usual step between frames (0 below two frames).
    double FrameRate() const;
    // The time the picture is shown: up to the last frame and for one frame more.
    double Duration() const;
    // Times of the frames that turn bright (mean luma above 192) after a dark one (below 64).
    std::vector<double> FlashTimes() const;
};
DecodedVideo DecodeVideo(const std::string& path);

// The sound as a player decodes it, mixed to one channel.
struct DecodedSound {
    double seconds = 0;  // length of the decoded sound
    double level = 0;    // root mean square, 0..1
};
DecodedSound DecodeSound(const std::string& path);

// Times at which the decoded sound rises out of silence (-30 dB) after at least 0.1 s of it,
// on the same time line as DecodedVideo::times.
std::vector<double> SoundOnsets(const std::string& path);

// For each flash, the first sound onset within 0.3 s of it (the end of the sound counts as
// an onset too, and is left out so). Empty if a flash has none.
std::vector<double> ClicksAtFlashes(const std::vector<double>& flashes, const std::vector<double>& onsets);

// The picture shown at `second`, decoded to RGB at its own size. Empty if none.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;

    // Average colour of the rectangle [x, x+w) x [y, y+h).
    void Average(int x, int y, int w, int h, double& r, double& g, double& b) const;
};
Picture DecodePicture(const std::string& path, double second, int width, int height);

}  // namespace qarv::test
