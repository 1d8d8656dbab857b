#include "devsite/envelope.h"

#include <json/writer.h>

namespace qarv {
namespace {

std::string Render(const Envelope& envelope, bool stringRetn) {
    Json::Value root(Json::objectValue);
    if (stringRetn)
        root["retn"] = std::to_string(envelope.retn);
    else
        root["retn"] = envelope.retn;
    root["desc"] = envelope.desc;
    root["result"] = envelope.result;
    return RenderJsonLine(root);
}

}  // namespace

std::string RenderEnvelope(const Envelope& envelope) {
    return Render(envelope, envelope.stringRetn);
}

std::string RenderMistypedEnvelope(const Envelope& envelope) {
    return Render(envelope, !envelope.stringRetn);
}

std::string RenderJsonLine(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

}  // namespace qarv
