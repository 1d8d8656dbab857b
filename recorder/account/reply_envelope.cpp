#include "recorder/account/reply_envelope.h"

#include <json/json.h>

#include <climits>
#include <exception>
#include <memory>

namespace qarv {
namespace {

// Nesting deeper than this is no reply of the site; the reader refuses it before it can
// exhaust the stack.
constexpr int kMaxNesting = 64;

bool ReadRetn(const Json::Value& retn, int* value) {
    if (retn.type() == Json::intValue) {
        const Json::Int64 v = retn.asInt64();
        if (v < INT_MIN || v > INT_MAX)
            return false;
        *value = static_cast<int>(v);
        return true;
    }
    if (retn.type() == Json::uintValue) {
        const Json::UInt64 v = retn.asUInt64();
        if (v > static_cast<Json::UInt64>(INT_MAX))
            return false;
        *value = static_cast<int>(v);
        return true;
    }
    return false;
}

}  // namespace

bool ParseJsonBody(std::string_view body, Json::Value& root) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    builder["failIfExtra"] = true;
    builder["stackLimit"] = kMaxNesting;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    try {
        return reader->parse(body.data(), body.data() + body.size(), &root, &errors);
    } catch (const std::exception&) {
        // The reader reports exceeding its stack limit by throwing.
        return false;
    }
}

int ParseReplyEnvelope(std::string_view body, ReplyEnvelope* envelope) {
    Json::Value parsedRoot;
    if (!ParseJsonBody(body, parsedRoot))
        return kEnvelopeNotJson;
    const Json::Value& root = parsedRoot;  // const access never adds members
    if (!root.isObject())
        return kEnvelopeMalformed;
    ReplyEnvelope parsed;
    const Json::Value& desc = root["desc"];
    if (!ReadRetn(root["retn"], &parsed.retn) || !desc.isString())
        return kEnvelopeMalformed;
    parsed.desc = desc.asString();
    const Json::Value& result = root["result"];
    if (result.isObject()) {
        for (const std::string& name : result.getMemberNames()) {
            const Json::Value& member = result[name];
            if (member.isString())
                parsed.resultStrings.emplace(name, member.asString());
        }
    }
    *envelope = std::move(parsed);
    return kEnvelopeOk;
}

}  // namespace qarv
