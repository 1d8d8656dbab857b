#pragma once
// What tests need to know about a media file, read with ffprobe and ffmpeg: streams,
// duration, frame times, sound level and decoded pictures. Thread-safe (no shared state).

#include <string>
#include <vector>

namespace qarv::test {

struct StreamFacts {
    std::string type;   // "video" or "audio"
    std::string codec;  // "h264", "mp3", ...
    int width = 0;
    int height = 0;
    double frameRate = 0;  // from r_frame_rate
    int sampleRate = 0;
};

struct MediaFacts {
    bool readable = false;  // ffprobe opened it and found streams
    double duration = 0;    // container duration in seconds (0 if unknown)
    std::vector<StreamFacts> streams;

    const StreamFacts* Find(const std::string& type) const;
    int Count(const std::string& type) const;
};

MediaFacts ProbeMedia(const std::string& path);

// Presentation times (seconds) of the video packets, in file order.
std::vector<double> VideoPacketTimes(const std::string& path);

// Root mean square of the decoded sound (all of it, mixed to one channel), 0..1.
double SoundLevel(const std::string& path);

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
