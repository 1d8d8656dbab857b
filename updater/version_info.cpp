#include "updater/version_info.h"

#include <cstdio>
#include <ctime>

#include "common/third_node.h"
#include "common/xml_file.h"

namespace qarv {
namespace {

constexpr char kElement[] = "VersionInfo";
constexpr char kVersion[] = "version";
constexpr char kDatetime[] = "datetime";
constexpr char kDescription[] = "description";

}  // namespace

int ReadVersionInfo(VersionInfo& info, const std::string& path) {
    ThirdNode root;
    if (LoadXmlFile(path, root) != 0)
        return -1;
    ThirdNode node;
    if (root.FindChild(kElement, node) != 0)
        return -1;
    VersionInfo read;
    if (node.GetChildText(kVersion, read.version) != 0 || node.GetChildText(kDatetime, read.datetime) != 0 ||
        node.GetChildText(kDescription, read.description) != 0)
        return -1;
    info = read;
    return 0;
}

int WriteVersionInfo(const VersionInfo& info, const std::string& path) {
    ThirdNode root;
    ThirdDeclaration declaration;
    if (LoadXmlFile(path, root, &declaration) != 0)
        return -1;
    ThirdNode node;
    if (root.FindChild(kElement, node) != 0)
        return -1;
    root.RemoveChildren(kElement);
    node.attributes().Clear();
    node.children().clear();
    node.set_text(std::string());
    node.AddChild(ThirdNode(kVersion, info.version));
    node.AddChild(ThirdNode(kDatetime, info.datetime));
    node.AddChild(ThirdNode(kDescription, info.description));
    root.AddChild(node);
    return SaveXmlFile(path, root, declaration) == 0 ? 0 : -1;
}

std::string FormatVersionTime(long long when) {
    const std::time_t time = static_cast<std::time_t>(when);
    std::tm local{};
    if (::localtime_r(&time, &local) == nullptr)
        return std::string();
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%d-%d-%d %d:%d:%d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return buffer;
}

}  // namespace qarv
