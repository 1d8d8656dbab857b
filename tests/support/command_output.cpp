#include "tests/support/command_output.h"

#include <sys/wait.h>

#include <cstdio>

namespace qarv::test {

std::string CommandOutput(const std::string& command, int* status) {
    std::string output;
    if (status != nullptr)
        *status = -1;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return output;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, got);
    const int result = ::pclose(pipe);
    if (status != nullptr && result != -1 && WIFEXITED(result))
        *status = WEXITSTATUS(result);
    return output;
}

}  // namespace qarv::test
