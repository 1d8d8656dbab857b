#pragma once
// Starts the recorder as the launcher does: the user's running recorders are ended first, then
// "./QarvRecorder 1" is started from the current directory (the installation folder) and left
// to run on its own. Called on the UI thread.

namespace qarv {

// The recorder's file name on this platform.
const char* RecorderFileName();

// Ends every running recorder of the user (waiting at most `endWaitMs` for them to go) and
// starts a new one with the argument "1". True when the process was started.
bool StartRecorder(int endWaitMs = 4000);

}  // namespace qarv
