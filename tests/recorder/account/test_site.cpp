#include "tests/recorder/account/test_site.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace qarv::test {
namespace {

SeenLogin Seen(const httplib::Request& request) {
    SeenLogin seen;
    seen.target = request.target;
    seen.account = request.get_param_value("account");
    seen.pass = request.get_param_value("pass");
    seen.from = request.get_param_value("from");
    seen.paramCount = request.params.size();
    seen.cookieHeader = request.get_header_value("Cookie");
    return seen;
}

ServerInfo InfoFor(const std::string& base) {
    ServerInfo info;
    info.url = base;
    return info;
}

int BindLoopback(int* port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return -1;
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    *port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

TestSite::TestSite() {
    Reply(R"({"retn":0,"desc":"","result":{"session":"s1"}})");
    server_.Get("/login.php", [this](const httplib::Request& request, httplib::Response& response) {
        Handler handler;
        {
            std::lock_guard lock(mutex_);
            logins_.push_back(Seen(request));
            handler = handler_;
        }
        handler(request, response);
    });
    server_.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        std::lock_guard lock(mutex_);
        others_.push_back(Seen(request));
        response.set_content("{}", "application/json");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // stop() only reaches a server that is already running.
    while (!server_.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TestSite::~TestSite() {
    server_.stop();
    thread_.join();
}

void TestSite::SetHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void TestSite::Reply(std::string body, int status) {
    SetHandler([body = std::move(body), status](const httplib::Request&, httplib::Response& response) {
        response.status = status;
        response.set_content(body, "application/json");
    });
}

std::string TestSite::base() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

ServerInfo TestSite::serverInfo() const {
    return InfoFor(base());
}

std::vector<SeenLogin> TestSite::logins() const {
    std::lock_guard lock(mutex_);
    return logins_;
}

std::vector<SeenLogin> TestSite::others() const {
    std::lock_guard lock(mutex_);
    return others_;
}

RawServer::RawServer(Behaviour behaviour) : behaviour_(std::move(behaviour)) {
    listener_ = BindLoopback(&port_);
    if (listener_ >= 0 && ::listen(listener_, 16) == 0)
        thread_ = std::thread([this] { Serve(); });
}

RawServer::~RawServer() {
    stopping_ = true;
    if (thread_.joinable())
        thread_.join();
    for (std::thread& connection : connections_)
        connection.join();
    if (listener_ >= 0)
        ::close(listener_);
}

std::string RawServer::base() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

ServerInfo RawServer::serverInfo() const {
    return InfoFor(base());
}

void RawServer::Serve() {
    while (!stopping_) {
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, 20) <= 0)
            continue;
        const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0)
            continue;
        connections_.emplace_back([this, socket] {
            behaviour_(socket, stopping_);
            ::close(socket);
        });
    }
}

void RawServer::ReadRequestHead(int socket, const std::atomic<bool>& stopping) {
    std::string head;
    char buffer[4096];
    while (!stopping && head.find("\r\n\r\n") == std::string::npos) {
        pollfd readable{socket, POLLIN, 0};
        if (::poll(&readable, 1, 20) <= 0)
            continue;
        const ssize_t n = ::recv(socket, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        head.append(buffer, static_cast<std::size_t>(n));
    }
}

void RawServer::SendAll(int socket, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(socket, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

bool RawServer::Pause(int ms, const std::atomic<bool>& stopping) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (stopping)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return !stopping;
}

int ClosedPort() {
    int port = -1;
    const int fd = BindLoopback(&port);
    ::close(fd);  // bound but never listening, then released: connections are refused
    return port;
}

}  // namespace qarv::test
