// Benchmark: the local site's resident memory while it takes a streamed 1 GB upload.
// Starts the built qarv-devsite, measures its resident memory idle (the baseline), then its
// peak and a series of samples while a libcurl client uploads 1 GiB generated on the fly,
// and prints the figures, the peak-to-baseline ratio and the upload throughput. The stored
// file is checked against the sent one (size and SHA-256).
// Usage: devsite_upload_bench [MiB]   (default 1024)

#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/devsite/streamed_upload.h"
#include "tests/support/devsite_process.h"

namespace {

struct Sample {
    std::uint64_t sentMiB;
    long residentKiB;
};

}  // namespace

int main(int argc, char** argv) {
    using namespace qarv::test;
    namespace fs = std::filesystem;
    const std::uint64_t mebibytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1024;
    if (mebibytes == 0) {
        std::fprintf(stderr, "usage: devsite_upload_bench [MiB]\n");
        return 2;
    }
    const std::uint64_t bytes = mebibytes << 20;

    const char* tmp = std::getenv("TMPDIR");
    std::string dir =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/qarv-devsite-bench-XXXXXX";
    if (::mkdtemp(dir.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    int status = 1;
    {
        DevsiteProcess site;
        const int port =
            site.Start(QARV_DEVSITE_PATH, {"--port", "0", "--data", dir + "/data"}, dir + "/stderr");
        if (port <= 0) {
            std::fprintf(stderr, "qarv-devsite did not start\n");
        } else {
            const std::string base = "http://127.0.0.1:" + std::to_string(port) + "/";
            const std::string cookie = LoginCookie(base, "TenoPalu", "kwp417");
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            const long idleKiB = ProcessMemoryKiB(site.pid(), "VmRSS");
            const bool peakReset = ResetPeakMemory(site.pid());

            std::vector<Sample> samples;
            std::uint64_t nextSample = 0;
            const std::uint64_t sampleStep = std::max<std::uint64_t>(bytes / 16, 1);
            const StreamedUploadResult upload =
                StreamedUpload(base, cookie, bytes, 42, "bench.flv", [&](std::uint64_t sent) {
                    if (sent >= nextSample) {
                        samples.push_back({sent >> 20, ProcessMemoryKiB(site.pid(), "VmRSS")});
                        nextSample += sampleStep;
                    }
                });
            // The kernel's resident counts are updated lazily: take the larger of the peak it
            // reports and the largest sample.
            long peakKiB = ProcessMemoryKiB(site.pid(), "VmHWM");
            for (const Sample& sample : samples)
                peakKiB = std::max(peakKiB, sample.residentKiB);
            const std::string stored = dir + "/data/uploads/1/bench.flv";
            std::error_code error;
            const bool whole = upload.curlCode == 0 && upload.body.find("\"retn\":0") != std::string::npos &&
                               fs::file_size(stored, error) == bytes && Sha256OfFile(stored) == upload.sha256;
            if (!whole || idleKiB <= 0 || peakKiB <= 0) {
                std::fprintf(
                    stderr, "nothing measured: %s\n",
                    whole ? "the site's memory could not be read" : "the upload did not arrive whole");
            } else {
                std::printf("devsite upload benchmark: %llu MiB streamed over loopback\n",
                            static_cast<unsigned long long>(mebibytes));
                std::printf("  resident memory, idle (baseline):   %8ld KiB\n", idleKiB);
                std::printf("  resident memory, peak during upload: %8ld KiB%s\n", peakKiB,
                            peakReset ? "" : " (peak since start: the peak could not be reset)");
                std::printf("  peak / baseline:                     %8.2f\n",
                            static_cast<double>(peakKiB) / static_cast<double>(idleKiB));
                std::printf("  throughput:                          %8.1f MiB/s (%.2f s)\n",
                            upload.seconds > 0 ? static_cast<double>(mebibytes) / upload.seconds : 0.0,
                            upload.seconds);
                std::printf("  stored file identical (size, SHA-256): yes\n");
                std::printf("  resident memory during the upload:\n    sent MiB  resident KiB\n");
                for (const Sample& sample : samples)
                    std::printf("    %8llu  %12ld\n", static_cast<unsigned long long>(sample.sentMiB),
                                sample.residentKiB);
                status = site.Stop(SIGTERM, 5000) == 0 ? 0 : 1;
            }
        }
    }
    std::error_code error;
    fs::remove_all(dir, error);
    return status;
}
