// Login round trip on loopback: the median of 100 logins of a fresh account client against
// an in-process site, against a baseline measured in the same run, the median of 100 plain
// libcurl GETs of the same address.

#include <curl/curl.h>
#include <httplib.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "recorder/account/login_register.h"

namespace {

constexpr int kRounds = 100;
constexpr char kReply[] = R"({"retn":0,"desc":"","result":{"session":"bench"}})";

double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const std::size_t middle = samples.size() / 2;
    return samples.size() % 2 == 1 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

template <typename Body>
double TimeMs(Body body) {
    const auto start = std::chrono::steady_clock::now();
    body();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

std::size_t Discard(char*, std::size_t size, std::size_t count, void*) {
    return size * count;
}

// One plain GET with a fresh handle, as the login makes one.
bool PlainGet(const std::string& url) {
    CURL* handle = curl_easy_init();
    if (handle == nullptr)
        return false;
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &Discard);
    const CURLcode rc = curl_easy_perform(handle);
    curl_easy_cleanup(handle);
    return rc == CURLE_OK;
}

}  // namespace

int main() {
    curl_global_init(CURL_GLOBAL_ALL);
    char folder[] = "/tmp/login_bench.XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }

    httplib::Server site;
    site.Get("/login.php", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Set-Cookie", "sid=bench; Path=/");
        response.set_content(kReply, "application/json");
    });
    const int port = site.bind_to_any_port("127.0.0.1");
    std::thread serving([&site] { site.listen_after_bind(); });
    while (!site.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    qarv::ServerInfo info;
    info.url = "http://127.0.0.1:" + std::to_string(port) + "/";
    const std::string url = info.url +
                            "login.php?account=alice&pass=" + qarv::LoginRegister::EncodePassword("secret") +
                            "&from=Vantu";

    qarv::LoginSettings settings;
    settings.cookieFile = std::string(folder) + "/cookie.txt";
    std::vector<double> logins;
    std::vector<double> baseline;
    int failures = 0;
    // Interleaved, so that both see the same state of the machine; the first pair warms up.
    for (int round = 0; round <= kRounds; ++round) {
        double loginMs = 0;
        {
            qarv::LoginRegister client(settings);
            loginMs = TimeMs([&] {
                if (client.Login("alice", "secret", info) != 0 || !client.IsLoggedIn())
                    ++failures;
            });
        }
        bool ok = true;
        const double plainMs = TimeMs([&] { ok = PlainGet(url); });
        if (!ok)
            ++failures;
        if (round == 0)
            continue;
        logins.push_back(loginMs);
        baseline.push_back(plainMs);
    }

    site.stop();
    serving.join();
    std::filesystem::remove_all(folder);
    curl_global_cleanup();

    // Times of failed requests say nothing about a login: no figure then.
    if (failures != 0) {
        std::fprintf(stderr, "failed requests: %d of %d; nothing measured\n", failures, 2 * (kRounds + 1));
        return 1;
    }
    const double login = Median(logins);
    const double plain = Median(baseline);
    std::printf("login round trip on loopback, median of %d: %.3f ms\n", kRounds, login);
    std::printf("baseline plain libcurl GET of the same address, median of %d: %.3f ms\n", kRounds, plain);
    std::printf("ratio login / baseline: %.2f\n", login / plain);
    return 0;
}
