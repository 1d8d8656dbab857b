#pragma once
// The recorder's start-up and exit: checks that the launcher started it and that no other
// recorder runs in this folder for this user, opens the log, creates the process-wide
// services in their fixed order and runs the main window. Used on the UI thread only.

#include <memory>

class QApplication;

namespace qarv {

class SingleInstance;

class CQarvRecorderApp {
  public:
    CQarvRecorderApp(int& argc, char** argv);
    ~CQarvRecorderApp();
    CQarvRecorderApp(const CQarvRecorderApp&) = delete;
    CQarvRecorderApp& operator=(const CQarvRecorderApp&) = delete;

    // Runs the whole program; returns the process exit status.
    int Run();

  private:
    bool InitInstance();
    int ExitInstance();

    int& argc_;
    char** argv_;
    std::unique_ptr<QApplication> application_;
    // Held until the process ends, after the last write to the catalogue.
    std::unique_ptr<SingleInstance> instance_;
    bool logOpen_ = false;
    int exitStatus_ = 0;
};

}  // namespace qarv
