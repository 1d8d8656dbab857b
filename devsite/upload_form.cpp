#include "devsite/upload_form.h"

#include "devsite/envelope.h"

namespace qarv {

UploadForm::UploadForm(UploadWriter* writer, std::uint64_t maxFileBytes)
    : writer_(writer), maxFileBytes_(maxFileBytes) {}

void UploadForm::Fail(int code, const std::string& problem) {
    if (code_ != kSiteOk)
        return;
    code_ = code;
    problem_ = problem;
}

std::string* UploadForm::FieldOf(Part part) {
    switch (part) {
        case Part::kTitle:
            return &title_;
        case Part::kDesc:
            return &desc_;
        case Part::kTags:
            return &tags_;
        default:
            return nullptr;
    }
}

void UploadForm::BeginPart(const std::string& name, const std::string& fileName) {
    if (name == "title")
        current_ = Part::kTitle;
    else if (name == "desc")
        current_ = Part::kDesc;
    else if (name == "tags")
        current_ = Part::kTags;
    else if (name == "file")
        current_ = Part::kFile;
    else
        current_ = Part::kSkipped;
    if (current_ == Part::kSkipped)
        return;
    bool& seen = seen_[static_cast<int>(current_)];
    if (seen) {
        Fail(kSiteBadRequest, "the form has the part \"" + name + "\" twice");
        current_ = Part::kSkipped;
        return;
    }
    seen = true;
    if (current_ == Part::kFile && code_ == kSiteOk && writer_->OpenFile(fileName) != 0)
        Fail(kSiteStoreFailed, "the video file could not be created");
}

void UploadForm::AddData(const char* data, std::size_t length) {
    if (code_ != kSiteOk)
        return;
    if (current_ == Part::kFile) {
        if (writer_->size() + length > maxFileBytes_)
            Fail(kSiteBadRequest, "the video is larger than " + std::to_string(maxFileBytes_) + " bytes");
        else if (writer_->Write(data, length) != 0)
            Fail(kSiteStoreFailed, "the video file could not be written");
        return;
    }
    std::string* field = FieldOf(current_);
    if (field == nullptr)
        return;
    if (field->size() + length > kMaxFieldBytes) {
        Fail(kSiteBadRequest, "a text part is longer than " + std::to_string(kMaxFieldBytes) + " bytes");
        return;
    }
    field->append(data, length);
}

int UploadForm::Finish(std::string* problem) const {
    if (code_ != kSiteOk) {
        *problem = problem_;
        return code_;
    }
    if (!seen_[static_cast<int>(Part::kFile)]) {
        *problem = "the form has no \"file\" part";
        return kSiteBadRequest;
    }
    problem->clear();
    return kSiteOk;
}

}  // namespace qarv
