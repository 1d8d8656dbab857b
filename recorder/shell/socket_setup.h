#pragma once
// Prepares the process for network use. Called once on the UI thread at start-up.

namespace qarv {

// 0 on success, -1 if the network layer cannot be used.
int InitSockets();

}  // namespace qarv
