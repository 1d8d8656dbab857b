#pragma once
// A private X server (Xvfb) for tests that need a screen. Each instance picks a free
// display number; the server ends with the object. Used by one thread at a time.

#include <string>

namespace qarv::test {

class VirtualDisplay {
  public:
    VirtualDisplay() = default;
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // Starts Xvfb with one screen of the given size and depth 24; false if it did not come up.
    bool Start(int width = 1280, int height = 720);
    // The display name, for example ":5"; empty before a successful Start().
    const std::string& name() const { return name_; }

  private:
    int pid_ = 0;
    std::string name_;
};

}  // namespace qarv::test
