#include "updater/version_reply.h"

#include <json/json.h>

#include "common/text.h"
#include "common/third_node.h"
#include "recorder/account/reply_envelope.h"

namespace qarv {
namespace {

// The member `name` of `object`, or null when it has none (or is no object).
const Json::Value* Member(const Json::Value& object, std::string_view name) {
    if (!object.isObject())
        return nullptr;
    return object.find(name.data(), name.data() + name.size());
}

}  // namespace

int ParseVersionReply(std::string_view body, VersionReply& reply) {
    reply = VersionReply();
    Json::Value parsed;
    if (!ParseJsonBody(body, parsed)) {
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
        reply.sha256 = AsciiLower(sha256->asString());
    else if (sha256 != nullptr)
        reply.sha256 = "-";  // present but not text: no download can match it
    return 0;
}

}  // namespace qarv
