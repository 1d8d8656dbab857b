#pragma once
// Loopback servers for the account tests: an HTTP site (cpp-httplib) answering the login
// with a reply chosen by the test and recording what it received, and a raw TCP server for
// misbehaviour that HTTP servers do not produce (silence, a cut reply, a trickle).

#include <httplib.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "recorder/shell/server_info.h"

namespace qarv::test {

// What the site saw of one login request.
struct SeenLogin {
    std::string target;  // path and query as sent
    std::string account;
    std::string pass;
    std::string from;
    std::size_t paramCount = 0;
    std::string cookieHeader;
};

class TestSite {
  public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    TestSite();
    ~TestSite();
    TestSite(const TestSite&) = delete;
    TestSite& operator=(const TestSite&) = delete;

    // Answers every later login with this handler (default: retn 0 with session "s1").
    void SetHandler(Handler handler);
    // Answers every later login with HTTP `status` and `body`.
    void Reply(std::string body, int status = 200);

    int port() const { return port_; }
    // "http://127.0.0.1:PORT/".
    std::string base() const;
    ServerInfo serverInfo() const;

    std::vector<SeenLogin> logins() const;
    // Requests for paths other than the login page (e.g. a cookie check).
    std::vector<SeenLogin> others() const;

  private:
    httplib::Server server_;
    int port_ = -1;
    std::thread thread_;
    mutable std::mutex mutex_;
    Handler handler_;
    std::vector<SeenLogin> logins_;
    std::vector<SeenLogin> others_;
};

// A TCP server on 127.0.0.1 that treats each connection with `behaviour`, given the
// connected socket and a flag that turns true when the server stops.
class RawServer {
  public:
    using Behaviour = std::function<void(int socket, const std::atomic<bool>& stopping)>;

    explicit RawServer(Behaviour behaviour);
    ~RawServer();
    RawServer(const RawServer&) = delete;
    RawServer& operator=(const RawServer&) = delete;

    std::string base() const;
    ServerInfo serverInfo() const;

    // Reads the request head (up to the blank line), or until the peer or the server stops.
    static void ReadRequestHead(int socket, const std::atomic<bool>& stopping);
    static void SendAll(int socket, const std::string& bytes);
    // Sleeps up to `ms`, returning early (false) when the server stops.
    static bool Pause(int ms, const std::atomic<bool>& stopping);

  private:
    void Serve();

    Behaviour behaviour_;
    int listener_ = -1;
    int port_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    std::vector<std::thread> connections_;
};

// A loopback port on which nothing listens.
int ClosedPort();

}  // namespace qarv::test
