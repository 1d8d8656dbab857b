// A stand-in for the recorder in launcher tests and the launcher benchmark: appends one line
// "MONOTONIC_NS PID EXE_SIZE ARG..." to "recorder_runs.txt" in its current directory, then
// stays until it is terminated (at most two minutes), so that tests can see it running.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

int main(int argc, char** argv) {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    struct stat self {};
    ::stat("/proc/self/exe", &self);
    std::FILE* runs = std::fopen("recorder_runs.txt", "a");
    if (runs == nullptr)
        return 1;
    std::fprintf(runs, "%lld %d %lld", static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec,
                 static_cast<int>(::getpid()), static_cast<long long>(self.st_size));
    for (int i = 1; i < argc; ++i)
        std::fprintf(runs, " %s", argv[i]);
    std::fputc('\n', runs);
    std::fclose(runs);
    for (int i = 0; i < 1200; ++i)
        ::usleep(100000);
    return 0;
}
