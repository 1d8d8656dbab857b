#pragma once
// Repairs a recording whose writer was cut off before it wrote its trailer, by rewriting it
// with libavformat (every stream copied, no re-encoding) so that its header states its real
// length. Thread-safe (no shared state); the calls block for as long as the file takes to
// read and write.

#include <functional>
#include <string>
#include <string_view>

namespace qarv {

// Appended to a recording's name for the file its repair writes; the recording is replaced
// by this file only once it is complete.
inline constexpr const char kRepairSuffix[] = ".repairing";

// True if `name` is a repair's temporary file (it ends with kRepairSuffix).
bool IsRepairTemporary(std::string_view name);

// True if the container's header states a length above zero (an FLV's onMetaData
// "duration"). False for a file that cannot be opened and for containers whose header
// carries no length (MPEG-TS, MPEG program streams). Reads the header and the first packet.
bool HeaderStatesDuration(const std::string& path);

// Rewrites the recording at `path` into `path` + kRepairSuffix in the same container format,
// flushes that to disk and renames it over the original; the file keeps its permission bits
// and modification time. The original is replaced only if
// every packet read was written and the input was read to its end; otherwise, and whenever
// `proceed` (if given) returns false, the original is left untouched and the temporary file
// removed. Returns 0 when the file was replaced; -1 if it cannot be read as media (nothing
// written); -2 if the rewrite failed or would have lost packets, or the temporary file
// exists already (it is left alone); -3 if `proceed` stopped it.
int RepairCutOffRecording(const std::string& path, const std::function<bool()>& proceed = {});

// Repairs the recording at `path` if it needs it: an FLV whose header states no length (its
// writer was cut off; players would show a length of 0). 1 if there was nothing to repair,
// else RepairCutOffRecording's result.
int RepairIfCutOff(const std::string& path, const std::function<bool()>& proceed = {});

}  // namespace qarv
