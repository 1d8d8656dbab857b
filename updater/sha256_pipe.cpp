#include "updater/sha256_pipe.h"

#include <openssl/evp.h>

#include <memory>
#include <utility>

namespace qarv {
namespace {

// Blocks of this size go to the hashing thread; at most kMaxWaiting of them wait there.
constexpr std::size_t kBlockBytes = 1 << 20;
constexpr std::size_t kMaxWaiting = 8;

struct DigestFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

Sha256Pipe::Sha256Pipe() : thread_(&Sha256Pipe::Hash, this) {
    filling_.reserve(kBlockBytes);
}

Sha256Pipe::~Sha256Pipe() {
    Stop();
}

void Sha256Pipe::Stop() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void Sha256Pipe::Push(std::vector<char> block) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return blocks_.size() < kMaxWaiting || failed_; });
    blocks_.push_back(std::move(block));
    lock.unlock();
    changed_.notify_all();
}

bool Sha256Pipe::Feed(const char* data, std::size_t size) {
    while (size > 0) {
        const std::size_t room = kBlockBytes - filling_.size();
        const std::size_t taken = size < room ? size : room;
        filling_.insert(filling_.end(), data, data + taken);
        data += taken;
        size -= taken;
        if (filling_.size() == kBlockBytes) {
            std::vector<char> next;
            next.reserve(kBlockBytes);
            Push(std::exchange(filling_, std::move(next)));
        }
    }
    std::lock_guard lock(mutex_);
    return !failed_;
}

std::string Sha256Pipe::Finish() {
    if (!filling_.empty())
        Push(std::exchange(filling_, {}));
    Stop();
    std::lock_guard lock(mutex_);
    return failed_ ? std::string() : digest_;
}

void Sha256Pipe::Hash() {
    const std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
    bool ok = context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) == 1;
    while (true) {
        std::vector<char> block;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return !blocks_.empty() || closed_; });
            if (blocks_.empty())
                break;  // closed and drained
            block = std::move(blocks_.front());
            blocks_.pop_front();
        }
        changed_.notify_all();
        if (ok)
            ok = EVP_DigestUpdate(context.get(), block.data(), block.size()) == 1;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    ok = ok && EVP_DigestFinal_ex(context.get(), digest, &length) == 1;
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; ok && i < length; ++i) {
        text.push_back(kHex[digest[i] >> 4]);
        text.push_back(kHex[digest[i] & 0xf]);
    }
    std::lock_guard lock(mutex_);
    failed_ = !ok;
    digest_ = std::move(text);
}

}  // namespace qarv
