#pragma once
// Test helpers: a temporary directory removed at the end of the test, and a scope that
// makes a directory the current one (tests that use it must not run threads that rely on
// the current directory after the scope ends).

#include <string>

namespace qarv::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

class ScopedCurrentDirectory {
  public:
    explicit ScopedCurrentDirectory(const std::string& path);
    ~ScopedCurrentDirectory();
    ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
    ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

  private:
    std::string previous_;
};

// Whole content of a file ("" if it cannot be read), and writing one.
std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& content);

}  // namespace qarv::test
