#include "devsite/session_store.h"

#include <random>

namespace qarv {
namespace {

std::string RandomId() {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::random_device source;  // the system's random source (getrandom on Linux)
    std::string id;
    id.reserve(SessionStore::kIdDigits);
    while (id.size() < SessionStore::kIdDigits) {
        unsigned int bits = source();
        for (int i = 0; i < 8 && id.size() < SessionStore::kIdDigits; ++i, bits >>= 4)
            id.push_back(kDigits[bits & 0xf]);
    }
    return id;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

}  // namespace

SessionStore::SessionStore(std::size_t maxSessions) : maxSessions_(maxSessions == 0 ? 1 : maxSessions) {}

std::string SessionStore::Create(const std::string& account) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string id = RandomId();
    while (accounts_.count(id) != 0)
        id = RandomId();
    while (order_.size() >= maxSessions_) {
        accounts_.erase(order_.front());
        order_.pop_front();
    }
    accounts_.emplace(id, account);
    order_.push_back(id);
    return id;
}

bool SessionStore::Lookup(std::string_view id, std::string* account) const {
    if (id.empty())
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = accounts_.find(std::string(id));
    if (found == accounts_.end())
        return false;
    *account = found->second;
    return true;
}

std::string CookieValue(std::string_view header, std::string_view name) {
    while (!header.empty()) {
        const std::size_t end = header.find(';');
        const std::string_view pair = Trim(header.substr(0, end));
        header = end == std::string_view::npos ? std::string_view() : header.substr(end + 1);
        const std::size_t equals = pair.find('=');
        if (equals == std::string_view::npos || Trim(pair.substr(0, equals)) != name)
            continue;
        std::string_view value = Trim(pair.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return std::string(value);
    }
    return {};
}

}  // namespace qarv
