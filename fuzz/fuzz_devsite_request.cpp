// qarv-devsite's handling of any HTTP request: the input is sent as it is to a running site on
// the loopback interface and the answer read to its end. "@SESSION@" in the input is replaced
// by the session of a logged-in account, so that the upload form behind the login is reached.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cctype>
#include <cerrno>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/file_util.h"
#include "devsite/site_server.h"
#include "fuzz/fuzz_temp_file.h"
#include "recorder/account/login_register.h"

namespace {

constexpr char kSessionMark[] = "@SESSION@";

[[noreturn]] void Fail(const char* what) {
    std::perror(what);
    std::abort();
}

// True if `request` looks whole: its head ends with an empty line and it carries all the body
// its Content-Length or chunked encoding announces. Only a guess that saves waiting for an
// answer that cannot come; the site is never told.
bool LooksComplete(const std::string& request) {
    auto headEnd = request.find("\r\n\r\n");
    std::size_t bodyStart = headEnd == std::string::npos ? std::string::npos : headEnd + 4;
    if (bodyStart == std::string::npos) {
        headEnd = request.find("\n\n");
        bodyStart = headEnd == std::string::npos ? std::string::npos : headEnd + 2;
    }
    if (bodyStart == std::string::npos)
        return false;
    std::string head = request.substr(0, headEnd);
    for (char& c : head)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (head.find("transfer-encoding: chunked") != std::string::npos)
        return request.size() >= 5 && request.compare(request.size() - 5, 5, "0\r\n\r\n") == 0;
    const auto length = head.find("content-length:");
    if (length == std::string::npos)
        return true;
    const unsigned long long announced = std::strtoull(head.c_str() + length + 15, nullptr, 10);
    return request.size() - bodyStart >= announced;
}

// The length of the whole answer at the start of `answer` (head and Content-Length body), or 0
// while it is not all there.
std::size_t AnswerLength(const std::string& answer) {
    const auto headEnd = answer.find("\r\n\r\n");
    if (headEnd == std::string::npos)
        return 0;
    const auto length = answer.find("Content-Length: ");
    if (length == std::string::npos || length > headEnd)
        return 0;
    const std::size_t total = headEnd + 4 + std::strtoull(answer.c_str() + length + 16, nullptr, 10);
    return answer.size() >= total ? total : 0;
}

// Sends `request` and reads the site's answer: to the end of the first whole answer, or until
// the site closes the connection. The site drops its answer to a client that has closed its
// sending side, so that side is closed only when no answer can come: at once for a request
// that is not whole, otherwise after a quiet tenth of a second. Aborts when the site keeps
// the connection open and silent for ten seconds after that.
std::string Exchange(int port, const std::string& request) {
    qarv::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd.valid())
        Fail("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        Fail("connect");
    // The site may answer and close before it has read everything (a refused upload).
    const ssize_t sent = ::send(fd.get(), request.data(), request.size(), MSG_NOSIGNAL);
    (void)sent;
    bool shut = false;
    if (!LooksComplete(request)) {
        ::shutdown(fd.get(), SHUT_WR);
        shut = true;
    }
    std::string answer;
    char buffer[4096];
    for (;;) {
        pollfd wait{fd.get(), POLLIN, 0};
        const int ready = ::poll(&wait, 1, shut ? 10000 : 100);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            if (shut)
                Fail("the site kept the connection open without answering");
            ::shutdown(fd.get(), SHUT_WR);
            shut = true;
            continue;
        }
        const ssize_t n = ::recv(fd.get(), buffer, sizeof buffer, 0);
        if (n > 0) {
            answer.append(buffer, static_cast<std::size_t>(n));
            if (AnswerLength(answer) > 0)
                return answer;
        } else if (n == 0 || errno == ECONNRESET) {
            return answer;
        } else if (errno != EINTR) {
            Fail("recv");
        }
    }
}

// A running site with one registered account, logged in.
struct Site {
    qarv::SiteServer server;
    std::string session;

    Site() : server(Options()) {
        std::string error;
        if (server.Start(0, &error) != 0) {
            std::fprintf(stderr, "site: %s\n", error.c_str());
            std::abort();
        }
        const std::string form = "account=fuzz&password=secret12";
        Exchange(server.port(),
                 "POST /Account/Register HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                 "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                     std::to_string(form.size()) + "\r\n\r\n" + form);
        const std::string answer =
            Exchange(server.port(),
                     "GET /login.php?account=fuzz&pass=" + qarv::LoginRegister::EncodePassword("secret12") +
                         " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        const std::string cookie = std::string(qarv::kSessionCookieName) + "=";
        const auto at = answer.find(cookie);
        if (at == std::string::npos) {
            std::fprintf(stderr, "no session in the login answer:\n%s\n", answer.c_str());
            std::abort();
        }
        session = answer.substr(at + cookie.size(), answer.find(';', at) - at - cookie.size());
    }

    static qarv::SiteOptions Options() {
        qarv::SiteOptions options;
        options.dataDir = qarv::fuzz::TempPath("devsite-data");
        options.maxUploadBytes = 1 << 20;
        return options;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Site site;
    std::string request(reinterpret_cast<const char*>(data), size);
    for (auto at = request.find(kSessionMark); at != std::string::npos;
         at = request.find(kSessionMark, at + site.session.size()))
        request.replace(at, sizeof kSessionMark - 1, site.session);
    Exchange(site.server.port(), request);
    return 0;
}
