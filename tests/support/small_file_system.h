#pragma once
// A small disk for tests of a full one: a tmpfs of a given size mounted on a fresh temporary
// folder, and a filler file that takes its space as another program would. Mounting needs
// the right to (root); without it mounted() is false and error() says why, for GTEST_SKIP.
// The file system is unmounted lazily (files still open do not hold it) and its folder
// removed when the object goes. Used by one thread.

#include <cstdint>
#include <string>

#include "tests/support/temp_dir.h"

namespace qarv::test {

class SmallFileSystem {
  public:
    explicit SmallFileSystem(std::uint64_t bytes);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& error() const { return error_; }
    const std::string& path() const { return dir_.path(); }
    std::string file(const std::string& name) const { return dir_.file(name); }

    // Bytes an unprivileged writer can still use here (0 if that cannot be read).
    std::uint64_t FreeBytes() const;
    // Appends to the file `name` until at most `leaveFree` bytes are free, or until the disk
    // is full when `leaveFree` is 0. Returns the bytes written, or -1 on an error other than
    // a full disk.
    long long Fill(const std::string& name, std::uint64_t leaveFree) const;

  private:
    TempDir dir_;
    bool mounted_ = false;
    std::string error_;
};

}  // namespace qarv::test
