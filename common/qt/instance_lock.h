#pragma once
// The lock that makes a process the one running instance for an installation folder and
// user, and the name of the local socket that instance listens on. The lock is held from a
// successful TryTake until the object goes, and the system releases it however the process
// ends. Implemented per platform (instance_lock_posix.cpp). Used by one thread at a time.

#include <string>

#include "common/file_util.h"

namespace qarv {

class InstanceLock {
  public:
    enum TakeResult {
        kTaken = 0,    // this process holds the lock now
        kHeld = 1,     // another process holds it
        kFailed = -1,  // no lock can be made (no private folder for it, the file cannot be opened)
    };

    // Names the lock and the socket for `folder` (its real path counts, so two spellings of
    // one folder share them) in a folder that only the current user can use.
    explicit InstanceLock(const std::string& folder);

    // Takes the lock if it is free, without waiting.
    int TryTake();

    // The full path of the socket the instance holding the lock listens on; empty when no
    // private folder exists.
    const std::string& SocketName() const { return socketName_; }
    // The full path of the lock file; empty likewise.
    const std::string& LockPath() const { return lockPath_; }

  private:
    std::string lockPath_;
    std::string socketName_;
    UniqueFd file_;
};

}  // namespace qarv
