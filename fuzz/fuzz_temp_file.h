#pragma once
// A file in a private temporary folder that a fuzz target fills with its input before handing
// the path to a file parser. The folder is made once per process and removed at its end.
// Used by one thread at a time.

#include <cstddef>
#include <cstdint>
#include <string>

namespace qarv::fuzz {

// The path of `name` in the process's temporary folder; the folder is created on first use.
std::string TempPath(const std::string& name);

// Writes `size` bytes of `data` to TempPath(name) and returns that path; aborts if it cannot.
std::string WriteTempFile(const std::string& name, const std::uint8_t* data, std::size_t size);

}  // namespace qarv::fuzz
