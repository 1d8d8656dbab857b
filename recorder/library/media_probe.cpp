#include "recorder/library/media_probe.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>

#include "recorder/library/media_input.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

namespace qarv {

namespace {

// Bytes read back from the end of the file when the last timestamp is looked for.
constexpr int64_t kTailBytes = 1024 * 1024;
// Longest length taken as plausible: what fits a signed 32-bit number of seconds.
constexpr double kMaxSeconds = static_cast<double>(INT_MAX);

bool Plausible(double seconds) {
    return std::isfinite(seconds) && seconds > 0 && seconds <= kMaxSeconds;
}

// The earliest start time of the input's streams in seconds (0 if none is known).
double StartSeconds(const AVFormatContext* input) {
    double start = -1;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        if (stream->start_time == AV_NOPTS_VALUE)
            continue;
        const double value = static_cast<double>(stream->start_time) * av_q2d(stream->time_base);
        if (start < 0 || value < start)
            start = value;
    }
    if (start < 0 && input->start_time != AV_NOPTS_VALUE)
        start = static_cast<double>(input->start_time) / AV_TIME_BASE;
    return start < 0 ? 0 : start;
}

// Reads packets from the current position to the end; returns the latest end time (pts or
// dts plus the packet's duration) in seconds, or -1 if no packet carried a timestamp.
double LastPacketEnd(AVFormatContext* input) {
    AVPacket* packet = av_packet_alloc();
    if (packet == nullptr)
        return -1;
    double end = -1;
    while (av_read_frame(input, packet) >= 0) {
        const int64_t stamp = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (stamp != AV_NOPTS_VALUE && packet->stream_index >= 0 &&
            static_cast<unsigned>(packet->stream_index) < input->nb_streams) {
            // In floating point: a damaged packet's stamp plus its duration may not fit 64 bits.
            const double last = static_cast<double>(stamp) +
                                (packet->duration > 0 ? static_cast<double>(packet->duration) : 0.0);
            const AVStream* stream = input->streams[packet->stream_index];
            const double value = last * av_q2d(stream->time_base);
            if (std::isfinite(value) && value > end)
                end = value;
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return end;
}

// The length of an input whose container does not state one: the longest stream duration,
// else the span from the first timestamp to the end of the last packet (looked for in the
// file's tail first, then in the whole file). 0 if nothing can be measured.
double MeasureFromStreams(AVFormatContext* input) {
    double longest = 0;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* stream = input->streams[i];
        if (stream->duration == AV_NOPTS_VALUE || stream->duration <= 0)
            continue;
        const double value = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
        if (Plausible(value) && value > longest)
            longest = value;
    }
    if (longest > 0)
        return longest;

    const double start = StartSeconds(input);
    double end = -1;
    const int64_t size = input->pb != nullptr ? avio_size(input->pb) : -1;
    const bool byteSeek = input->pb != nullptr && !(input->iformat->flags & AVFMT_NO_BYTE_SEEK);
    if (byteSeek && size > kTailBytes &&
        av_seek_frame(input, -1, size - kTailBytes, AVSEEK_FLAG_BYTE | AVSEEK_FLAG_ANY) >= 0) {
        end = LastPacketEnd(input);
    }
    if (end < 0 && byteSeek && av_seek_frame(input, -1, 0, AVSEEK_FLAG_BYTE | AVSEEK_FLAG_ANY) >= 0)
        end = LastPacketEnd(input);
    const double length = end - start;
    return Plausible(length) ? length : 0;
}

}  // namespace

int RoundDuration(double seconds) {
    if (!std::isfinite(seconds) || seconds <= 0)
        return 0;
    const double rounded = std::floor(seconds + 0.5);
    return rounded >= kMaxSeconds ? INT_MAX : static_cast<int>(rounded);
}

int ProbeDuration(const std::string& path, double& seconds) {
    seconds = 0;
    if (path.size() < 2 || path.find('.') == std::string::npos)
        return -2;
    if (::access(path.c_str(), R_OK) != 0)
        return -1;
    // Opening a FIFO or a device could block for ever.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return -1;
    if (!S_ISREG(status.st_mode))
        return -2;

    const InputPtr input = OpenMediaInput(path);
    if (!input) {
        std::fprintf(stderr, "Could not open input file '%s'\n", path.c_str());
        return -2;
    }

    const int result = avformat_find_stream_info(input.get(), nullptr);
    if (result < 0 && result != AVERROR_EOF) {
        std::fprintf(stderr, "Failed to retrieve input stream information\n");
        return -2;
    }
    const double stated =
        input->duration == AV_NOPTS_VALUE ? -1 : static_cast<double>(input->duration) / AV_TIME_BASE;
    seconds = Plausible(stated) ? stated : MeasureFromStreams(input.get());
    return 0;
}

}  // namespace qarv
