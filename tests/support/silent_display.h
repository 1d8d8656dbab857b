#pragma once
// A display that does not answer, for tests of programs that must not hang on one.

#include "common/file_util.h"

namespace qarv::test {

// Takes a display number with no server behind it, neither as a file nor as an abstract
// socket, and listens on its abstract socket without ever accepting: a server that does not
// answer. Sets `number`; an invalid descriptor when no number was free. Closing the listener
// leaves a display that does not exist.
UniqueFd ListenOnFreeDisplay(int* number);

}  // namespace qarv::test
