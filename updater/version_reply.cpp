#include "updater/version_reply.h"

#include <json/json.h>

#include <algorithm>
#include <exception>
#include <memory>

#include "common/third_node.h"

namespace qarv {
namespace {

// Nesting deeper than this is no reply of the server; the reader refuses it before it can
// exhaust the stack.
constexpr int kMaxNesting = 64;

bool ParseJson(std::string_view body, Json::Value& root) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    builder["failIfExtra"] = true;
    builder["stackLimit"] = kMaxNesting;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    try {
        return reader->parse(body.data(), body.data() + body.size(), &root, &errors);
    } catch (const std::exception&) {
        return false;  // the reader reports exceeding its stack limit by throwing
    }
}

// The member `name` of `object`, or null when it has none (or is no object).
const Json::Value* Member(const Json::Value& object, std::string_view name) {
    if (!object.isObject())
        return nullptr;
    return object.find(name.data(), name.data() + name.size());
}

std::string LowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

}  // namespace

int ParseVersionReply(std::string_view body, VersionReply& reply) {
    reply = VersionReply();
    Json::Value parsed;
    if (!ParseJson(body, parsed)) {
        reply.message = kReplyNotJson;
        reply.status = kReplyNotJsonCode;
        return -1;
    }
    const Json::Value& root = parsed;  // const access never adds members
    const Json::Value* retn = Member(root, "retn");
    const Json::Value* desc = Member(root, "desc");
    if (retn == nullptr || desc == nullptr || !retn->isString() || !desc->isString()) {
        reply.message = kReplyMalformed;
        reply.status = kReplyMalformedCode;
        return -1;
    }
    reply.message = desc->asString();
    reply.status = ParseIntLikeAtoi(retn->asString());
    if (reply.status != 0 && reply.message != "OK")
        return -1;
    const Json::Value* result = Member(root, "result");
    const Json::Value* version = result != nullptr ? Member(*result, "version") : nullptr;
    if (version == nullptr || !version->isString()) {
        reply.message = kReplyNoVersion;
        reply.status = kReplyNoVersionCode;
        return -1;
    }
    reply.version = version->asString();
    const Json::Value* sha256 = Member(*result, "sha256");
    if (sha256 != nullptr && sha256->isString())
        reply.sha256 = LowerAscii(sha256->asString());
    else if (sha256 != nullptr)
        reply.sha256 = "-";  // present but not text: no download can match it
    return 0;
}

}  // namespace qarv
