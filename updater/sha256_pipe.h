#pragma once
// Computes the SHA-256 of a byte stream on a thread of its own, so that a download is not
// slowed by hashing what it receives. Fed by one thread (Feed, then Finish); blocks the feeder
// only while a few megabytes wait to be hashed.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qarv {

class Sha256Pipe {
  public:
    Sha256Pipe();
    // Waits for the hashing thread; the digest is then dropped.
    ~Sha256Pipe();
    Sha256Pipe(const Sha256Pipe&) = delete;
    Sha256Pipe& operator=(const Sha256Pipe&) = delete;

    // Adds `size` bytes to the stream (copied). False if the digest can no longer be made.
    bool Feed(const char* data, std::size_t size);
    // Hashes what is left and returns the lower-case hex digest, or "" on failure. Once.
    std::string Finish();

  private:
    void Hash();
    void Push(std::vector<char> block);
    void Stop();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<char>> blocks_;  // waiting to be hashed, guarded by mutex_
    bool closed_ = false;                   // guarded by mutex_: no more blocks come
    bool failed_ = false;                   // guarded by mutex_
    std::string digest_;                    // written by the hashing thread before it ends
    std::vector<char> filling_;             // feeder only
    std::thread thread_;
};

}  // namespace qarv
