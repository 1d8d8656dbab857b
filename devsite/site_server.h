#pragma once
// The local stand-in for the maker's site and update server: an HTTP server on 127.0.0.1
// that answers the programs' requests in the formats they rely on (login, video upload,
// user video page, version query, recorder download, statistics and account pages), keeps
// accounts, sessions and uploads, and records every request in its data folder:
// DATA/requests.log (one JSON line per request) and DATA/uploads/N/ (see UploadStore).
// Its fault mode makes every JSON endpoint misbehave (see FaultMode); the download takes the
// slow, hang, cut, HTTP 500, html-page and stall modes too, the HTML pages none. The version
// reply carries the offered file's SHA-256 (wrong in the wrong-sha256 mode). The fault may be
// limited to one path and to a number of requests.
// Start, Stop and the destructor are called from one thread; SetFault from any thread;
// requests are served on the server's own thread pool.

#include <cstdint>
#include <memory>
#include <string>

#include "devsite/fault_mode.h"

namespace qarv {

struct SiteOptions {
    std::string dataDir = "devsite-data";
    std::string offerVersion = "1.0.0.2";  // the recorder version the update server offers
    std::string
        offerFile;  // the file offered as the new recorder (its SHA-256 goes with the version); empty: none
    FaultMode fault = FaultMode::kNone;
    std::string faultPath;  // the fault touches only requests for this path ("/login.php"); empty: all
    long faultTimes = -1;   // the fault touches this many requests, later ones are served; -1: all
    int slowMs = 3000;      // the delay of the slow mode
    int faultRetn = 9;      // the retn of the refuse mode
    std::uint64_t readBytesPerSecond = 1 << 20;              // the rate of the slow reader
    std::uint64_t maxUploadBytes = std::uint64_t{16} << 30;  // largest video taken
};

// The name of the session cookie the login sets.
inline constexpr char kSessionCookieName[] = "qarv_session";

class SiteServer {
  public:
    explicit SiteServer(SiteOptions options);
    ~SiteServer();  // stops the server
    SiteServer(const SiteServer&) = delete;
    SiteServer& operator=(const SiteServer&) = delete;

    // Prepares the data folder and serves on 127.0.0.1:`port` (0: any free port) from a
    // thread of its own. 0, or -1 with the reason in `error`.
    int Start(int port, std::string* error);

    // The port served on after a successful Start.
    int port() const;

    // Changes the fault mode for the requests that arrive from now on (within the path and
    // the number of requests the options limit it to).
    void SetFault(FaultMode mode);

    // Stops serving: wakes requests held by the slow and hang modes, ends uploads in progress,
    // closes the connections and waits for the server's threads. Safe to call more than once.
    void Stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qarv
