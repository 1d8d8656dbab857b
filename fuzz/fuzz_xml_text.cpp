// The XML helper's parser over any text; a tree parsed from UTF-8 text (what the helper takes:
// files are decoded before) must print and parse again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/text.h"
#include "common/third_node.h"
#include "common/third_xml_tool_v2.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    qarv::ThirdXmlToolV2 tool;
    qarv::ThirdNode root;
    if (tool.ParseText(text, root) != 0 || !qarv::IsValidUtf8(text))
        return 0;
    std::string printed;
    if (tool.PrintText(root, printed) != 0)
        return 0;
    qarv::ThirdNode again;
    if (tool.ParseText(printed, again) != 0)
        std::abort();  // the helper printed what it cannot read back
    return 0;
}
