#include "recorder/library/recording_repair.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>

#include "common/file_util.h"
#include "recorder/library/media_input.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

namespace qarv {

namespace {

struct OutputCloser {
    void operator()(AVFormatContext* context) const {
        if (context == nullptr)
            return;
        if (context->pb != nullptr && !(context->oformat->flags & AVFMT_NOFILE))
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
// Owner of an output being written (and of its file, while open).
using OutputPtr = std::unique_ptr<AVFormatContext, OutputCloser>;

struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;

// Removes the temporary file when the repair does not get as far as the rename.
class TemporaryFile {
  public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    void Keep() { path_.clear(); }

  private:
    std::string path_;
};

bool IsRegularFile(const std::string& path, struct stat& status) {
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// The muxer of the input's own container (its demuxer's first name, e.g. "flv", "mpegts",
// "mpeg"), else the one the file name suggests.
const AVOutputFormat* SameContainer(const AVFormatContext* input, const std::string& path) {
    const std::string names = input->iformat->name;
    const std::string first = names.substr(0, names.find(','));
    if (const AVOutputFormat* format = av_guess_format(first.c_str(), nullptr, nullptr))
        return format;
    return av_guess_format(nullptr, path.c_str(), nullptr);
}

bool SyncFile(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return fd.valid() && ::fsync(fd.get()) == 0;
}

// Makes the rename itself durable.
void SyncFolderOf(const std::string& path) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty())
        folder = ".";
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        ::fsync(fd.get());
}

// An output for `temporary` in `format` with a copy of every stream of `input`, its file
// open and its header written; null on failure.
OutputPtr OpenOutput(AVFormatContext* input, const AVOutputFormat* format, const std::string& temporary) {
    AVFormatContext* rawOutput = nullptr;
    if (avformat_alloc_output_context2(&rawOutput, format, nullptr, temporary.c_str()) < 0)
        return OutputPtr();
    OutputPtr output(rawOutput);
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVStream* in = input->streams[i];
        AVStream* out = avformat_new_stream(output.get(), nullptr);
        if (out == nullptr || avcodec_parameters_copy(out->codecpar, in->codecpar) < 0)
            return OutputPtr();
        // The input's tag may mean something else in the output's container.
        out->codecpar->codec_tag = 0;
        out->time_base = in->time_base;
        av_dict_copy(&out->metadata, in->metadata, 0);
    }
    av_dict_copy(&output->metadata, input->metadata, 0);
    if (!(format->flags & AVFMT_NOFILE)) {
        AVDictionary* options = nullptr;
        av_dict_set(&options, "protocol_whitelist", "file", 0);
        const std::string url = "file:" + temporary;
        const int opened = avio_open2(&output->pb, url.c_str(), AVIO_FLAG_WRITE, nullptr, &options);
        av_dict_free(&options);
        if (opened < 0)
            return OutputPtr();
    }
    if (avformat_write_header(output.get(), nullptr) < 0)
        return OutputPtr();
    return output;
}

// Copies every packet of `input` to `output` and writes the trailer. -2 if a packet could
// not be written or has no stream in the output, or reading stopped before the end of the
// file; -3 if `proceed` stopped it.
int CopyPackets(AVFormatContext* input, AVFormatContext* output, const std::function<bool()>& proceed) {
    PacketPtr packet(av_packet_alloc());
    if (!packet)
        return -2;
    std::int64_t copied = 0;
    int read = 0;
    while ((read = av_read_frame(input, packet.get())) >= 0) {
        if (proceed && !proceed())
            return -3;
        const int index = packet->stream_index;
        // A stream that appeared after the header was written has nowhere to go.
        if (index < 0 || static_cast<unsigned>(index) >= output->nb_streams)
            return -2;
        av_packet_rescale_ts(packet.get(), input->streams[index]->time_base,
                             output->streams[index]->time_base);
        packet->pos = -1;
        // Takes the packet's data over and leaves the packet blank.
        if (av_interleaved_write_frame(output, packet.get()) < 0)
            return -2;
        ++copied;
    }
    // A file cut off inside its last packet ends with that packet's bytes missing; any other
    // error (the demuxer's, or a read failure) could leave packets behind it unread.
    const bool readFailed = input->pb != nullptr && input->pb->error < 0 && input->pb->error != AVERROR_EOF;
    const bool atEnd = !readFailed && (read == AVERROR_EOF || (input->pb != nullptr && avio_feof(input->pb)));
    if (copied == 0 || !atEnd)
        return -2;
    if (av_write_trailer(output) < 0)
        return -2;
    if (output->pb != nullptr) {
        avio_flush(output->pb);
        if (output->pb->error < 0)
            return -2;
    }
    return 0;
}

}  // namespace

bool IsRepairTemporary(std::string_view name) {
    const std::string_view suffix = kRepairSuffix;
    return name.size() > suffix.size() && name.substr(name.size() - suffix.size()) == suffix;
}

bool HeaderStatesDuration(const std::string& path) {
    struct stat status {};
    if (!IsRegularFile(path, status))
        return false;
    const InputPtr input = OpenMediaInput(path);
    if (!input)
        return false;
    // An FLV's onMetaData is its first tag, read with the first packet.
    PacketPtr packet(av_packet_alloc());
    if (packet && av_read_frame(input.get(), packet.get()) >= 0)
        av_packet_unref(packet.get());
    return input->duration != AV_NOPTS_VALUE && input->duration > 0;
}

int RepairIfCutOff(const std::string& path, const std::function<bool()>& proceed) {
    // MPEG-TS and program streams carry no length in a header: players measure them.
    const std::size_t dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.' || strcasecmp(path.c_str() + dot + 1, "flv") != 0)
        return 1;
    return HeaderStatesDuration(path) ? 1 : RepairCutOffRecording(path, proceed);
}

int RepairCutOffRecording(const std::string& path, const std::function<bool()>& proceed) {
    // Opening a FIFO or a device could block for ever.
    struct stat status {};
    if (!IsRegularFile(path, status))
        return -1;
    InputPtr input = OpenMediaInput(path);
    if (!input)
        return -1;
    const int found = avformat_find_stream_info(input.get(), nullptr);
    if ((found < 0 && found != AVERROR_EOF) || input->nb_streams == 0)
        return -1;
    const AVOutputFormat* format = SameContainer(input.get(), path);
    if (format == nullptr)
        return -1;

    // The temporary file is made only if no file of that name exists (another repair's, or
    // one that is not ours), and gets the original's permission bits.
    const std::string temporary = path + kRepairSuffix;
    UniqueFd created(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!created.valid())
        return -2;
    TemporaryFile claimed(temporary);
    if (::fchmod(created.get(), status.st_mode & 07777) != 0)
        return -2;
    created.reset();

    int result = -2;
    {
        OutputPtr output = OpenOutput(input.get(), format, temporary);
        if (output)
            result = CopyPackets(input.get(), output.get(), proceed);
    }  // the output file is closed here
    if (result != 0)
        return result;
    // The recording keeps the time of its last change, which the catalogue shows.
    const timespec times[2] = {status.st_atim, status.st_mtim};
    ::utimensat(AT_FDCWD, temporary.c_str(), times, 0);
    if (!SyncFile(temporary) || ::rename(temporary.c_str(), path.c_str()) != 0)
        return -2;
    claimed.Keep();
    SyncFolderOf(path);
    return 0;
}

}  // namespace qarv
