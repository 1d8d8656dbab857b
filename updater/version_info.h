#pragma once
// The installed recorder's version record, kept in the VersionInfo element of
// "Config/config.xml", and its reading and rewriting. Value type and free functions; called
// on the UI thread (the file itself is not locked).

#include <string>
#include <utility>

namespace qarv {

class VersionInfo {
  public:
    VersionInfo() = default;
    VersionInfo(std::string versionText, std::string datetimeText, std::string descriptionText)
        : version(std::move(versionText)),
          datetime(std::move(datetimeText)),
          description(std::move(descriptionText)) {}
    virtual ~VersionInfo() = default;
    VersionInfo(const VersionInfo&) = default;
    VersionInfo& operator=(const VersionInfo&) = default;

    bool operator==(const VersionInfo&) const = default;

    std::string version;      // dotted version of the installed recorder, e.g. 1.0.0.1
    std::string datetime;     // when it was chosen, local time "%d-%d-%d %d:%d:%d"
    std::string description;  // free text, kept as it is
};

// Fills `info` from the VersionInfo element of the configuration file at `path` (a child of
// the root). 0; -1 if the file cannot be read or parsed, or has no VersionInfo with all three
// children `version`, `datetime` and `description` (`info` is then untouched).
int ReadVersionInfo(VersionInfo& info, const std::string& path);

// Rewrites the VersionInfo element of the file at `path`: every VersionInfo is removed and one
// with exactly the children `version`, `datetime` and `description` (in this order, no
// attributes) becomes the root's last child. The rest of the file and its declaration are
// kept; the file is replaced atomically. 0; -1 if the file cannot be read or parsed, has no
// VersionInfo element (it is then left as it is; an element is never created), or cannot be
// written.
int WriteVersionInfo(const VersionInfo& info, const std::string& path);

// "%d-%d-%d %d:%d:%d" of the local time `when` (year, month 1-12, day, hour, minute, second,
// no leading zeros).
std::string FormatVersionTime(long long when);

}  // namespace qarv
