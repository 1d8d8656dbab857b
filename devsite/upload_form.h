#pragma once
// Collects the parts of one upload form as they arrive: the texts "title", "desc" and
// "tags", each bounded in size, and the video "file", streamed to an UploadWriter and
// bounded too. Other parts are skipped. After the first fault the rest of the body is still
// taken (and dropped), so that the request can be read to its end and answered. Used by one
// thread at a time.

#include <cstddef>
#include <cstdint>
#include <string>

#include "devsite/upload_store.h"

namespace qarv {

class UploadForm {
  public:
    static constexpr std::size_t kMaxFieldBytes = 16 * 1024;

    UploadForm(UploadWriter* writer, std::uint64_t maxFileBytes);

    // A new part begins (its form name and, for a file, its sent file name).
    void BeginPart(const std::string& name, const std::string& fileName);
    // Bytes of the current part.
    void AddData(const char* data, std::size_t length);

    // After the whole body: kSiteOk (0) if the form is complete and every part acceptable,
    // otherwise the site code of the first fault with its description in `problem`.
    int Finish(std::string* problem) const;

    const std::string& title() const { return title_; }
    const std::string& desc() const { return desc_; }
    const std::string& tags() const { return tags_; }

  private:
    enum class Part { kNone, kTitle, kDesc, kTags, kFile, kSkipped };

    void Fail(int code, const std::string& problem);
    std::string* FieldOf(Part part);

    UploadWriter* writer_;
    const std::uint64_t maxFileBytes_;
    Part current_ = Part::kNone;
    bool seen_[6] = {};
    std::string title_;
    std::string desc_;
    std::string tags_;
    int code_ = 0;
    std::string problem_;
};

}  // namespace qarv
