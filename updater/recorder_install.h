#pragma once
// Puts a downloaded recorder in place of the installed one: checks that the file is a program
// of this machine's format, makes it executable, syncs it to disk and renames it over the old
// file in one step, so that a recorder file exists at every moment. Thread-safe (no shared
// state); the files themselves are not locked.

#include <string>

namespace qarv {

enum InstallResult {
    kInstallOk = 0,
    kInstallNotExecutable = -1,  // not a program of this machine (an error page, a cut file)
    kInstallFailed = -2,         // the file could not be read, synced or renamed
};

// True if the file at `path` is an executable of the same format as the running program.
bool IsNativeExecutable(const std::string& path);

// Installs the file `downloaded` as `target`. On kInstallOk `downloaded` is gone and `target`
// is the new program; otherwise `target` is untouched and `downloaded` is left for the caller.
int InstallRecorder(const std::string& downloaded, const std::string& target);

}  // namespace qarv
