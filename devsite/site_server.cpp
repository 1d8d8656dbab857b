#include "devsite/site_server.h"

#include <httplib.h>
#include <json/value.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "common/file_util.h"
#include "common/password_key.h"
#include "devsite/account_table.h"
#include "devsite/envelope.h"
#include "devsite/request_log.h"
#include "devsite/session_store.h"
#include "devsite/site_pages.h"
#include "devsite/upload_form.h"
#include "devsite/upload_store.h"

namespace qarv {
namespace {

using httplib::ContentReader;
using httplib::DataSink;
using httplib::MultipartFormData;
using httplib::Request;
using httplib::Response;

constexpr char kLocalHost[] = "127.0.0.1";
constexpr std::size_t kWorkerThreads = 16;
constexpr std::size_t kDownloadChunkBytes = 64 * 1024;
constexpr std::size_t kMaxFormBytes = 4096;            // the registration form
constexpr std::uint64_t kFormOverheadBytes = 1 << 20;  // an upload's texts and part headers
constexpr int kSplitPauseMs = 100;                     // between the halves of a split reply
constexpr std::size_t kBigReplyBytes = 10 << 20;       // the padding of the big-reply mode
constexpr int kSlowReaderBufferBytes = 64 * 1024;      // the slow reader's socket receive buffer
constexpr char kJsonType[] = "application/json";
constexpr char kHtmlType[] = "text/html; charset=utf-8";

// The paths answered to GET; a POST to one of them is refused as the wrong method.
const std::vector<std::string>& GetOnlyPaths() {
    static const std::vector<std::string> paths = {
        "/login.php",
        "/Rindle/user_video.php",
        "/down/get_ver.php",
        "/down/windows/statistic.html",
        "/Account/RetrievePassword",
        "/outside/upload.html",
    };
    return paths;
}

bool IsDownloadPath(const std::string& path) {
    return path == "/down/windows/QarvRecorder" || path == "/down/windows/QarvRecorder.exe" ||
           path == "/download/windows/QarvRecorder" || path == "/download/windows/QarvRecorder.exe";
}

// The common part of a request's log line. Secrets never go into the log: the password's
// encoding is left out of the parameters, and of a session id (the same value as the session
// cookie, whose value is not logged either) only the length is kept.
Json::Value LogEntry(const Request& request) {
    Json::Value entry(Json::objectValue);
    entry["method"] = request.method;
    entry["path"] = request.path;
    Json::Value params(Json::objectValue);
    for (const auto& [name, value] : request.params) {
        if (name == "sid" || name == "session") {
            if (!entry.isMember(name + "_length"))
                entry[name + "_length"] = static_cast<Json::UInt64>(value.size());
        } else if (name != "pass" && !params.isMember(name)) {
            params[name] = value;
        }
    }
    entry["params"] = params;
    entry["cookie"] = request.has_header("Cookie");
    return entry;
}

using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

std::string HexOf(const unsigned char* bytes, unsigned int length) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(kHex[bytes[i] >> 4]);
        text.push_back(kHex[bytes[i] & 0xf]);
    }
    return text;
}

// Lower-case hex SHA-256 of the rest of `file` into `hex`. 0, or -1 on a read error.
int FileSha256Hex(std::FILE* file, std::string* hex) {
    DigestContext context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return -1;
    std::vector<char> buffer(kDownloadChunkBytes);
    std::size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        if (EVP_DigestUpdate(context.get(), buffer.data(), got) != 1)
            return -1;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (std::ferror(file) || EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
        return -1;
    *hex = HexOf(digest, length);
    return 0;
}

// Lower-case hex SHA-256 of `text`: a well-formed digest that no offered file has.
std::string Sha256Hex(const std::string& text) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr);
    return HexOf(digest, length);
}

// The body of an error page sent in place of a reply (HTTP 500 fault).
const char kServerErrorPage[] =
    "<!DOCTYPE html>\n<html><head><title>500 Internal Server Error</title></head>\n"
    "<body><h1>Internal Server Error</h1></body></html>\n";

// A body that is not JSON, as a broken script would print it.
const char kNotJsonBody[] = "<br />\n<b>Warning</b>: the database is not available<br />\n";

// What the cut-upload and slow-reader modes do to an upload's body as it is read.
class BodyFault {
  public:
    using Clock = std::chrono::steady_clock;

    BodyFault(FaultMode mode, std::uint64_t announced, std::uint64_t bytesPerSecond)
        : mode_(mode), announced_(announced), rate_(std::max<std::uint64_t>(bytesPerSecond, 1)) {}

    // `length` more bytes were read. False ends the reading: the cut mode has read half the
    // announced body.
    bool Take(std::size_t length) {
        taken_ += length;
        if (mode_ == FaultMode::kCutUpload && taken_ >= announced_ / 2)
            cut_ = true;
        return !cut_;
    }
    // How long the slow reader waits before it reads on, so that the bytes taken so far keep
    // to its rate; zero for other modes.
    Clock::duration Delay() const {
        if (mode_ != FaultMode::kSlowReader)
            return Clock::duration::zero();
        const auto due = start_ + std::chrono::microseconds(taken_ * 1000000 / rate_);
        return std::max(due - Clock::now(), Clock::duration::zero());
    }
    bool cut() const { return cut_; }

  private:
    const FaultMode mode_;
    const std::uint64_t announced_;
    const std::uint64_t rate_;
    const Clock::time_point start_ = Clock::now();
    std::uint64_t taken_ = 0;
    bool cut_ = false;
};

// Resets the connection `request` came on, before anything of a reply is written: its socket
// is the one whose ports are the request's, and a close with no lingering sends a reset.
// httplib does not hand its socket to handlers; a shut connection makes its reply fail.
void ResetConnection(const Request& request) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        const int fd = std::atoi(entry.path().filename().c_str());
        sockaddr_in local{};
        sockaddr_in peer{};
        socklen_t localSize = sizeof local;
        socklen_t peerSize = sizeof peer;
        if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
            ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerSize) != 0 ||
            local.sin_family != AF_INET || ntohs(local.sin_port) != request.local_port ||
            ntohs(peer.sin_port) != request.remote_port)
            continue;
        const linger abort{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        ::shutdown(fd, SHUT_RDWR);
        return;
    }
}

}  // namespace

struct SiteServer::Impl {
    explicit Impl(SiteOptions siteOptions)
        : options(std::move(siteOptions)), fault(options.fault), faultsLeft(options.faultTimes) {}

    void AddRoutes();
    bool Stopping() const { return stopping.load(); }
    // The fault mode for `request`: the current mode while it is within the path and the
    // number of requests the options limit the fault to, otherwise none.
    FaultMode FaultFor(const Request& request);
    // Waits until the server stops or `limit` has passed; true if it stops.
    bool WaitForStop(std::chrono::milliseconds limit);
    void WaitForStop();

    // Answers a JSON request with `envelope` as `mode` has it. The request's line goes into the
    // log first.
    void AnswerJson(Response& response, FaultMode mode, Json::Value entry, const Envelope& envelope);
    // Holds the request until the server stops (the hang mode).
    void Hang(Response& response, Json::Value entry);
    bool Drain(const Request& request, const ContentReader& reader);

    void Login(const Request& request, Response& response);
    void Upload(const Request& request, Response& response, const ContentReader& reader);
    void UserVideo(const Request& request, Response& response);
    void Version(const Request& request, Response& response);
    void Download(const Request& request, Response& response);
    void Statistics(const Request& request, Response& response);
    void OutsideUpload(const Request& request, Response& response);
    void RegisterForm(const Request& request, Response& response);
    void Register(const Request& request, Response& response, const ContentReader& reader);
    void RetrievePassword(const Request& request, Response& response);
    void NotFound(const Request& request, Response& response);
    void OtherPost(const Request& request, Response& response, const ContentReader& reader);
    void Html(Response& response, Json::Value entry, const std::string& page, int status = 200);

    SiteOptions options;
    std::atomic<FaultMode> fault;
    std::atomic<long> faultsLeft;  // negative: no limit
    AccountTable accounts;
    SessionStore sessions;
    UploadStore uploads;
    RequestLog log;
    std::atomic<std::uint64_t> statisticVisits{0};
    std::string offerSha256;  // of the offered file, read at the start; empty when none is offered

    httplib::Server http;
    std::thread listener;
    int port = -1;
    bool started = false;

    std::atomic<bool> listenerDone{false};
    std::atomic<bool> stopping{false};
    std::mutex stopMutex;
    std::condition_variable stopSignal;
};

FaultMode SiteServer::Impl::FaultFor(const Request& request) {
    const FaultMode mode = fault.load();
    if (mode == FaultMode::kNone || (!options.faultPath.empty() && request.path != options.faultPath))
        return FaultMode::kNone;
    long left = faultsLeft.load();
    while (left >= 0) {
        if (left == 0)
            return FaultMode::kNone;
        if (faultsLeft.compare_exchange_weak(left, left - 1))
            break;
    }
    return mode;
}

bool SiteServer::Impl::WaitForStop(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(stopMutex);
    return stopSignal.wait_for(lock, limit, [this] { return Stopping(); });
}

void SiteServer::Impl::WaitForStop() {
    std::unique_lock<std::mutex> lock(stopMutex);
    stopSignal.wait(lock, [this] { return Stopping(); });
}

void SiteServer::Impl::AnswerJson(Response& response, FaultMode mode, Json::Value entry,
                                  const Envelope& envelope) {
    entry["retn"] = envelope.retn;
    if (mode != FaultMode::kNone)
        entry["fault"] = FaultModeName(mode);
    log.Append(entry);

    switch (mode) {
        case FaultMode::kSlow:
            WaitForStop(std::chrono::milliseconds(options.slowMs));
            [[fallthrough]];
        case FaultMode::kNone:
        case FaultMode::kHang:         // held before the request was handled
        case FaultMode::kCutUpload:    // acts on the upload's body
        case FaultMode::kSlowReader:   // acts on the upload's body
        case FaultMode::kHtmlPage:     // acts on the download
        case FaultMode::kStall:        // acts on the download
        case FaultMode::kWrongSha256:  // acts on the version reply's payload
            response.status = 200;
            response.set_content(RenderEnvelope(envelope), kJsonType);
            return;
        case FaultMode::kRefuse: {
            Envelope refusal;
            refusal.retn = options.faultRetn;
            refusal.desc = "refused";
            refusal.stringRetn = envelope.stringRetn;
            response.status = 200;
            response.set_content(RenderEnvelope(refusal), kJsonType);
            return;
        }
        case FaultMode::kSplit: {
            auto body = std::make_shared<std::string>(RenderEnvelope(envelope));
            response.status = 200;
            response.set_content_provider(body->size(), kJsonType,
                                          [body, this](std::size_t offset, std::size_t, DataSink& sink) {
                                              if (offset == 0)
                                                  return sink.write(body->data(), body->size() / 2);
                                              // The first half leaves on its own (no delay on the socket)
                                              // before the rest.
                                              if (WaitForStop(std::chrono::milliseconds(kSplitPauseMs)))
                                                  return false;
                                              return sink.write(body->data() + offset, body->size() - offset);
                                          });
            return;
        }
        case FaultMode::kBigReply: {
            Envelope padded = envelope;
            padded.desc.append(kBigReplyBytes, ' ');
            response.status = 200;
            response.set_content(RenderEnvelope(padded), kJsonType);
            return;
        }
        case FaultMode::kCut: {
            auto body = std::make_shared<std::string>(RenderEnvelope(envelope));
            response.status = 200;
            response.set_content_provider(body->size(), kJsonType,
                                          [body](std::size_t, std::size_t, DataSink& sink) {
                                              sink.write(body->data(), body->size() / 2);
                                              return false;  // closes the connection mid-body
                                          });
            return;
        }
        case FaultMode::kHttp500:
            response.status = 500;
            response.set_content(kServerErrorPage, kHtmlType);
            return;
        case FaultMode::kHttp500Envelope: {
            Envelope failure;
            failure.retn = kSiteInternalError;
            failure.desc = "Internal Server Error";
            failure.stringRetn = envelope.stringRetn;
            response.status = 500;
            response.set_content(RenderEnvelope(failure), kJsonType);
            return;
        }
        case FaultMode::kNotJson:
            response.status = 200;
            response.set_content(kNotJsonBody, kHtmlType);
            return;
        case FaultMode::kBadEnvelope:
            response.status = 200;
            response.set_content(RenderMistypedEnvelope(envelope), kJsonType);
            return;
    }
}

void SiteServer::Impl::Hang(Response& response, Json::Value entry) {
    entry["fault"] = FaultModeName(FaultMode::kHang);
    log.Append(entry);
    WaitForStop();
    Envelope envelope;
    envelope.retn = kSiteInternalError;
    envelope.desc = "the server is stopping";
    response.status = 503;
    response.set_header("Connection", "close");
    response.set_content(RenderEnvelope(envelope), kJsonType);
}

bool SiteServer::Impl::Drain(const Request& request, const ContentReader& reader) {
    if (request.is_multipart_form_data()) {
        return reader([](const MultipartFormData&) { return true; },
                      [this](const char*, std::size_t) { return !Stopping(); });
    }
    return reader([this](const char*, std::size_t) { return !Stopping(); });
}

void SiteServer::Impl::Html(Response& response, Json::Value entry, const std::string& page, int status) {
    entry["status"] = status;
    log.Append(entry);
    response.status = status;
    response.set_content(page, kHtmlType);
}

void SiteServer::Impl::Login(const Request& request, Response& response) {
    Json::Value entry = LogEntry(request);
    const FaultMode mode = FaultFor(request);
    std::string password;
    const bool decoded = DecodePassword(request.get_param_value("pass"), &password) == 0;
    entry["password_length"] = decoded ? static_cast<int>(password.size()) : -1;
    if (mode == FaultMode::kHang)
        return Hang(response, entry);

    const std::string account = request.get_param_value("account");
    Envelope envelope;
    if (account.empty() || account.size() > AccountTable::kMaxAccountBytes) {
        envelope.retn = kSiteBadRequest;
        envelope.desc = "the account is missing or too long";
    } else if (!decoded) {
        envelope.retn = kSiteWrongPassword;
        envelope.desc = "the password encoding is malformed";
    } else if (!accounts.Check(account, password)) {
        envelope.retn = kSiteWrongPassword;
        envelope.desc = "wrong account or password";
    } else {
        const std::string session = sessions.Create(account);
        envelope.desc = "OK";
        envelope.result["session"] = session;
        response.set_header("Set-Cookie",
                            std::string(kSessionCookieName) + "=" + session + "; Path=/; HttpOnly");
    }
    AnswerJson(response, mode, entry, envelope);
}

void SiteServer::Impl::Upload(const Request& request, Response& response, const ContentReader& reader) {
    Json::Value entry = LogEntry(request);
    const FaultMode mode = FaultFor(request);
    if (mode == FaultMode::kHang)
        return Hang(response, entry);  // the body stays unread: the sender stalls

    std::string account;
    const bool loggedIn =
        sessions.Lookup(CookieValue(request.get_header_value("Cookie"), kSessionCookieName), &account);
    Envelope envelope;
    if (!loggedIn) {
        Drain(request, reader);
        envelope.retn = kSiteNotLoggedIn;
        envelope.desc = "not logged in";
    } else if (mode == FaultMode::kRefuse) {
        Drain(request, reader);  // refused: nothing is stored
    } else if (!request.is_multipart_form_data()) {
        Drain(request, reader);
        envelope.retn = kSiteBadRequest;
        envelope.desc = "the upload is not a multipart form";
    } else {
        entry["account"] = account;
        UploadWriter writer(&uploads, account);
        UploadForm form(&writer, options.maxUploadBytes);
        BodyFault bodyFault(mode, request.get_header_value<std::uint64_t>("Content-Length"),
                            options.readBytesPerSecond);
        const bool read = reader(
            [&form, this](const MultipartFormData& part) {
                form.BeginPart(part.name, part.filename);
                return !Stopping();
            },
            [&form, &bodyFault, this](const char* data, std::size_t length) {
                form.AddData(data, length);
                if (!bodyFault.Take(length))
                    return false;
                const auto delay = bodyFault.Delay();
                if (delay > BodyFault::Clock::duration::zero())
                    WaitForStop(std::chrono::duration_cast<std::chrono::milliseconds>(delay));
                return !Stopping();
            });
        if (bodyFault.cut()) {
            // No reply at all: the connection is reset with the rest of the body unread, as a
            // network failure would leave it.
            entry["fault"] = FaultModeName(mode);
            log.Append(entry);
            ResetConnection(request);
            response.set_header("Connection", "close");
            response.set_content_provider(1, kJsonType,
                                          [](std::size_t, std::size_t, DataSink&) { return false; });
            return;
        }
        std::string problem;
        UploadRecord record;
        if (!read) {
            envelope.retn = kSiteBadRequest;
            envelope.desc = "the upload could not be read to its end";
            response.set_header("Connection", "close");
        } else if (const int code = form.Finish(&problem); code != kSiteOk) {
            envelope.retn = code;
            envelope.desc = problem;
        } else if (writer.Commit(form.title(), form.desc(), form.tags(), &record) != 0) {
            envelope.retn = kSiteStoreFailed;
            envelope.desc = "the upload could not be stored";
        } else {
            envelope.desc = "OK";
            envelope.result["id"] = record.number;
            entry["upload"] = record.number;
        }
    }
    AnswerJson(response, mode, entry, envelope);
}

void SiteServer::Impl::UserVideo(const Request& request, Response& response) {
    Json::Value entry = LogEntry(request);
    std::string account;
    if (!sessions.Lookup(request.get_param_value("sid"), &account))
        return Html(response, entry, SessionUnknownPage(), 403);
    Html(response, entry, UserVideoPage(account, uploads.RecordsOf(account)));
}

void SiteServer::Impl::Version(const Request& request, Response& response) {
    Json::Value entry = LogEntry(request);
    const FaultMode mode = FaultFor(request);
    if (mode == FaultMode::kHang)
        return Hang(response, entry);
    Envelope envelope;
    envelope.stringRetn = true;
    if (request.get_param_value("app") == "recorder" && request.get_param_value("platform") == "windows") {
        envelope.desc = "OK";
        envelope.result["version"] = options.offerVersion;
        if (!offerSha256.empty()) {
            envelope.result["sha256"] =
                mode == FaultMode::kWrongSha256 ? Sha256Hex(offerSha256) : offerSha256;
        }
    } else {
        envelope.retn = kSiteUnknownApp;
        envelope.desc = "no such application or platform";
    }
    AnswerJson(response, mode, entry, envelope);
}

void SiteServer::Impl::Download(const Request& request, Response& response) {
    Json::Value entry = LogEntry(request);
    const FaultMode mode = FaultFor(request);
    if (mode == FaultMode::kHang)
        return Hang(response, entry);

    FilePtr file;
    struct stat status {};
    if (!options.offerFile.empty())
        file.reset(std::fopen(options.offerFile.c_str(), "rbe"));
    if (!file || ::fstat(::fileno(file.get()), &status) != 0 || !S_ISREG(status.st_mode)) {
        Envelope envelope;
        envelope.retn = kSiteNotFound;
        envelope.desc = "no recorder is offered";
        entry["retn"] = envelope.retn;
        log.Append(entry);
        response.status = 404;
        response.set_content(RenderEnvelope(envelope), kJsonType);
        return;
    }
    const auto size = static_cast<std::size_t>(status.st_size);
    entry["size"] = Json::UInt64(size);
    if (mode != FaultMode::kNone)
        entry["fault"] = FaultModeName(mode);
    log.Append(entry);

    if (mode == FaultMode::kSlow)
        WaitForStop(std::chrono::milliseconds(options.slowMs));
    if (mode == FaultMode::kHttp500 || mode == FaultMode::kHttp500Envelope) {
        Envelope envelope;
        envelope.retn = kSiteInternalError;
        envelope.desc = "Internal Server Error";
        response.status = 500;
        if (mode == FaultMode::kHttp500)
            response.set_content(kServerErrorPage, kHtmlType);
        else
            response.set_content(RenderEnvelope(envelope), kJsonType);
        return;
    }

    if (mode == FaultMode::kHtmlPage) {
        response.status = 200;
        response.set_content(kServerErrorPage, kHtmlType);
        return;
    }

    // Streams the file from disk; the cut mode stops at half of it and closes the connection,
    // the stall mode stops there and holds the connection open until the server stops.
    struct Source {
        FilePtr file;
        std::vector<char> buffer;
        std::size_t end = 0;
    };
    auto source = std::make_shared<Source>();
    source->file = std::move(file);
    source->buffer.resize(kDownloadChunkBytes);
    source->end = mode == FaultMode::kCut || mode == FaultMode::kStall ? size / 2 : size;
    response.status = 200;
    response.set_content_provider(
        size, "application/octet-stream",
        [source, mode, this](std::size_t offset, std::size_t length, DataSink& sink) {
            if (mode == FaultMode::kStall && offset >= source->end)
                WaitForStop();
            if (Stopping() || offset >= source->end)
                return false;
            if (::ftello(source->file.get()) != static_cast<off_t>(offset) &&
                ::fseeko(source->file.get(), static_cast<off_t>(offset), SEEK_SET) != 0)
                return false;
            const std::size_t wanted = std::min({length, source->buffer.size(), source->end - offset});
            const std::size_t got = std::fread(source->buffer.data(), 1, wanted, source->file.get());
            if (got == 0)
                return false;  // the file shrank
            return sink.write(source->buffer.data(), got);
        });
}

void SiteServer::Impl::Statistics(const Request& request, Response& response) {
    // A page is held only when the fault names its path: a site-wide hang leaves pages alone.
    if (!options.faultPath.empty() && FaultFor(request) == FaultMode::kHang)
        return Hang(response, LogEntry(request));
    Html(response, LogEntry(request), StatisticsPage(++statisticVisits));
}

void SiteServer::Impl::OutsideUpload(const Request& request, Response& response) {
    Html(response, LogEntry(request), OutsideUploadPage());
}

void SiteServer::Impl::RegisterForm(const Request& request, Response& response) {
    Html(response, LogEntry(request), RegisterPage(""));
}

void SiteServer::Impl::Register(const Request& request, Response& response, const ContentReader& reader) {
    Json::Value entry = LogEntry(request);
    std::string body;
    bool tooLong = false;
    bool read = true;
    if (request.is_multipart_form_data()) {
        read = Drain(request, reader);
        tooLong = true;  // the page's form is URL-encoded
    } else {
        read = reader([&](const char* data, std::size_t length) {
            if (body.size() + length > kMaxFormBytes)
                tooLong = true;
            else
                body.append(data, length);
            return !Stopping();
        });
    }
    if (!read || tooLong)
        return Html(response, entry, RegisterPage("The form could not be read."), 400);

    httplib::Params fields;
    httplib::detail::parse_query_text(body, fields);
    const auto field = [&fields](const char* name) {
        const auto found = fields.find(name);
        return found == fields.end() ? std::string() : found->second;
    };
    const std::string account = field("account");
    entry["account"] = account;
    switch (accounts.Add(account, field("password"))) {
        case AccountTable::kAdded:
            return Html(response, entry, RegisterPage("The account " + account + " has been registered."));
        case AccountTable::kExists:
            return Html(response, entry, RegisterPage("The account " + account + " exists already."), 409);
        case AccountTable::kFull:
            return Html(response, entry, RegisterPage("No more accounts can be registered."), 403);
        default:
            return Html(response, entry,
                        RegisterPage("Account names have 1 to 64 bytes, passwords 1 to 30, "
                                     "neither with control characters."),
                        400);
    }
}

void SiteServer::Impl::RetrievePassword(const Request& request, Response& response) {
    Html(response, LogEntry(request), RetrievePasswordPage());
}

void SiteServer::Impl::NotFound(const Request& request, Response& response) {
    Envelope envelope;
    envelope.retn = kSiteNotFound;
    envelope.desc = "no such page";
    Json::Value entry = LogEntry(request);
    entry["retn"] = envelope.retn;
    log.Append(entry);
    response.status = 404;
    response.set_content(RenderEnvelope(envelope), kJsonType);
}

void SiteServer::Impl::OtherPost(const Request& request, Response& response, const ContentReader& reader) {
    Drain(request, reader);
    const auto& paths = GetOnlyPaths();
    const bool known =
        std::find(paths.begin(), paths.end(), request.path) != paths.end() || IsDownloadPath(request.path);
    Envelope envelope;
    envelope.retn = known ? kSiteBadMethod : kSiteNotFound;
    envelope.desc = known ? "this page does not take POST" : "no such page";
    Json::Value entry = LogEntry(request);
    entry["retn"] = envelope.retn;
    log.Append(entry);
    response.status = known ? 405 : 404;
    response.set_content(RenderEnvelope(envelope), kJsonType);
}

void SiteServer::Impl::AddRoutes() {
    using Handler = void (Impl::*)(const Request&, Response&);
    const auto get = [this](const std::string& pattern, Handler handler) {
        http.Get(pattern, [this, handler](const Request& request, Response& response) {
            (this->*handler)(request, response);
        });
    };
    get("/login.php", &Impl::Login);
    get("/Rindle/user_video.php", &Impl::UserVideo);
    get("/down/get_ver.php", &Impl::Version);
    get(R"(/down(load)?/windows/QarvRecorder(\.exe)?)", &Impl::Download);
    get("/down/windows/statistic.html", &Impl::Statistics);
    get("/Account/Register", &Impl::RegisterForm);
    get("/Account/RetrievePassword", &Impl::RetrievePassword);
    get("/outside/upload.html", &Impl::OutsideUpload);
    get(".*", &Impl::NotFound);

    http.Post("/upload_user_video",
              [this](const Request& request, Response& response, const ContentReader& reader) {
                  Upload(request, response, reader);
              });
    http.Post("/Account/Register",
              [this](const Request& request, Response& response, const ContentReader& reader) {
                  Register(request, response, reader);
              });
    http.Post(".*", [this](const Request& request, Response& response, const ContentReader& reader) {
        OtherPost(request, response, reader);
    });

    // Other methods are refused before their body is read; the connection is then closed.
    http.set_pre_routing_handler([this](const Request& request, Response& response) {
        if (request.method == "GET" || request.method == "HEAD" || request.method == "POST")
            return httplib::Server::HandlerResponse::Unhandled;
        Envelope envelope;
        envelope.retn = kSiteBadMethod;
        envelope.desc = "the site takes GET and POST only";
        Json::Value entry = LogEntry(request);
        entry["retn"] = envelope.retn;
        log.Append(entry);
        response.status = 405;
        response.set_header("Connection", "close");
        response.set_content(RenderEnvelope(envelope), kJsonType);
        return httplib::Server::HandlerResponse::Handled;
    });
    // Errors found by the HTTP layer itself (a malformed request, a body too large) get an
    // envelope too.
    http.set_error_handler(httplib::Server::HandlerWithResponse([](const Request&, Response& response) {
        if (!response.body.empty() || response.content_provider_)
            return httplib::Server::HandlerResponse::Unhandled;
        Envelope envelope;
        envelope.retn = response.status;
        envelope.desc = "HTTP " + std::to_string(response.status);
        response.set_content(RenderEnvelope(envelope), kJsonType);
        return httplib::Server::HandlerResponse::Handled;
    }));
    http.set_exception_handler([](const Request&, Response& response, std::exception_ptr) {
        Envelope envelope;
        envelope.retn = kSiteInternalError;
        envelope.desc = "the request failed inside the server";
        response.status = 500;
        response.set_content(RenderEnvelope(envelope), kJsonType);
    });
}

SiteServer::SiteServer(SiteOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

SiteServer::~SiteServer() {
    Stop();
}

int SiteServer::port() const {
    return impl_->port;
}

void SiteServer::SetFault(FaultMode mode) {
    impl_->fault.store(mode);
}

int SiteServer::Start(int port, std::string* error) {
    Impl& impl = *impl_;
    if (impl.started || impl.Stopping()) {
        *error = "the server has been started before";
        return -1;
    }
    if (port < 0 || port > 65535) {
        *error = "the port must be 0 to 65535";
        return -1;
    }
    const std::string& data = impl.options.dataDir;
    std::error_code fsError;
    std::filesystem::create_directories(data, fsError);
    if (!DirectoryExists(data)) {
        *error = "cannot create the data folder " + data;
        return -1;
    }
    if (impl.log.Open(data + "/requests.log") != 0) {
        *error = "cannot open " + data + "/requests.log";
        return -1;
    }
    if (impl.uploads.Open(data + "/uploads") != 0) {
        *error = "cannot prepare " + data + "/uploads";
        return -1;
    }
    if (!impl.options.offerFile.empty()) {
        FilePtr offered(std::fopen(impl.options.offerFile.c_str(), "rbe"));
        struct stat status {};
        if (!offered || ::fstat(::fileno(offered.get()), &status) != 0 || !S_ISREG(status.st_mode) ||
            FileSha256Hex(offered.get(), &impl.offerSha256) != 0) {
            *error = "cannot read the offered file " + impl.options.offerFile;
            return -1;
        }
    }

    impl.http.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    impl.http.set_tcp_nodelay(true);
    // Address reuse only: the HTTP library's default also shares the port (SO_REUSEPORT), which
    // would let a second site start on a busy port and take half of the first one's requests.
    const bool slowReader = impl.options.fault == FaultMode::kSlowReader;
    impl.http.set_socket_options([slowReader](socket_t socket) {
        int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        // The connections inherit the listener's buffer: a small one keeps the sender close to
        // the slow reader's pace instead of letting megabytes pile up on the way.
        if (slowReader) {
            int bytes = kSlowReaderBufferBytes;
            ::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
        }
    });
    impl.http.set_payload_max_length(impl.options.maxUploadBytes + kFormOverheadBytes);
    impl.AddRoutes();

    const int bound = port == 0 ? impl.http.bind_to_any_port(kLocalHost)
                                : (impl.http.bind_to_port(kLocalHost, port) ? port : -1);
    if (bound <= 0) {
        *error = "cannot listen on " + std::string(kLocalHost) + ":" + std::to_string(port);
        return -1;
    }
    impl.port = bound;
    impl.started = true;
    impl.listener = std::thread([&impl] {
        impl.http.listen_after_bind();
        impl.listenerDone.store(true);
    });
    // The HTTP server's stop only takes effect once it runs: wait for that.
    while (!impl.http.is_running() && !impl.listenerDone.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!impl.http.is_running()) {
        impl.listener.join();
        *error = "the server stopped at once";
        return -1;
    }
    return 0;
}

void SiteServer::Stop() {
    Impl& impl = *impl_;
    {
        std::lock_guard<std::mutex> lock(impl.stopMutex);
        impl.stopping.store(true);
    }
    impl.stopSignal.notify_all();
    if (impl.started)
        impl.http.stop();
    if (impl.listener.joinable())
        impl.listener.join();
}

}  // namespace qarv
