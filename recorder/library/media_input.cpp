#include "recorder/library/media_input.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

namespace qarv {

void InputCloser::operator()(AVFormatContext* context) const {
    if (context != nullptr)
        avformat_close_input(&context);
}

InputPtr OpenMediaInput(const std::string& path) {
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    const std::string url = "file:" + path;
    AVFormatContext* input = nullptr;
    const int result = avformat_open_input(&input, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    // avformat_open_input frees the context itself when it fails.
    return result < 0 ? InputPtr() : InputPtr(input);
}

}  // namespace qarv
