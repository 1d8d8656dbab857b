#pragma once
// The launcher program: asks whether a newer recorder is offered, and either starts the
// recorder at once, showing nothing, or runs the update window. Used on the main thread.

namespace qarv {

class CQarvClientUpdateApp {
  public:
    CQarvClientUpdateApp(int& argc, char** argv);
    CQarvClientUpdateApp(const CQarvClientUpdateApp&) = delete;
    CQarvClientUpdateApp& operator=(const CQarvClientUpdateApp&) = delete;

    // The whole program; its exit status.
    int Run();

  private:
    int& argc_;
    char** argv_;
};

}  // namespace qarv
