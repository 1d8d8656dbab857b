// Loading an XML file of any bytes and encoding; a loaded file must save and load again.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "common/third_node.h"
#include "common/xml_file.h"
#include "fuzz/fuzz_temp_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = qarv::fuzz::WriteTempFile("input.xml", data, size);
    qarv::ThirdNode root;
    qarv::ThirdDeclaration declaration;
    if (qarv::LoadXmlFile(path, root, &declaration) != 0)
        return 0;
    const auto saved = qarv::fuzz::TempPath("saved.xml");
    if (qarv::SaveXmlFile(saved, root, declaration) != 0)
        return 0;
    qarv::ThirdNode again;
    if (qarv::LoadXmlFile(saved, again) != 0)
        std::abort();  // a saved file that does not load
    return 0;
}
