#pragma once
// Finds the number of the next video file in a date folder, avoiding the names the
// catalogue holds for that day. Pure (reads the folder only), thread-safe.

#include <string>
#include <vector>

namespace qarv {

// Numbers below this are given to video files; a folder holding all of them is full.
inline constexpr int kMaxFileNumbers = 10000;

// Looks at the files of `folder` (directories are skipped): each file name's stem (the text
// before its last '.', or the whole name) that contains no '_' is read as atoi reads it, so
// a stem without leading digits counts as 0. `number` becomes the smallest n in
// [0, kMaxFileNumbers) not among those values, in decimal, and the result is 0. Returns -1
// and empties `number` if the folder does not exist, cannot be read, or every n is taken.
int FindFreeFileNumber(const std::string& folder, std::string& number);

// As above, and the numbers of `catalogued` (the file names the catalogue holds for that day,
// whose files may be gone) count as taken as well, read the same way. So the number found
// never makes a file name that the catalogue holds for the day.
int FindFreeFileNumber(const std::string& folder, const std::vector<std::string>& catalogued,
                       std::string& number);

}  // namespace qarv
