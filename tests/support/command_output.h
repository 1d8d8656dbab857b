#pragma once
// Runs a shell command for a test and collects what it prints on standard output.

#include <string>

namespace qarv::test {

// The command's standard output; `status`, if given, receives its exit status (-1 if it
// could not run or did not exit normally).
std::string CommandOutput(const std::string& command, int* status = nullptr);

}  // namespace qarv::test
