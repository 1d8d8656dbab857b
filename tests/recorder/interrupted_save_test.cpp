// The files the programs rewrite (the video catalogue, Config/config.xml's version record and
// the cookie file) survive their writer being killed at any moment: a child process saves one
// of them again and again, alternating between two contents, and is killed with SIGKILL at a
// random point of a save; the file must then parse and hold exactly one of the two contents.

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/third_node.h"
#include "common/xml_file.h"
#include "recorder/account/cookie_jar_file.h"
#include "recorder/library/video_element.h"
#include "recorder/library/video_info_xml.h"
#include "recorder/shell/server_info.h"
#include "tests/support/temp_dir.h"
#include "updater/version_info.h"

namespace qarv {
namespace {

using test::ReadFileText;
using test::TempDir;
using Clock = std::chrono::steady_clock;

// Kills per file, and the time they may take (the loop ends at whichever comes first).
constexpr int kKills = 150;
constexpr auto kTimeLimit = std::chrono::seconds(5);
// Fewest kills that make a run count, even on a slow, loaded machine.
constexpr int kMinimumKills = 20;

// Saves one file, as the program does, with the first (`second` false) or the second content.
class Saver {
  public:
    virtual ~Saver() = default;
    virtual int Save(bool second) = 0;
};

class CatalogueSaver : public Saver {
  public:
    explicit CatalogueSaver(const std::string& folder) : catalogue_(folder + "/VideoInfo.xml", folder) {}
    int Save(bool second) override {
        VideoElement added;
        added.Date = "2014_9_9";
        added.FileName = "9.flv";
        added.Title = "\xE4\xB8\xAD\xE6\x96\x87";  // Chinese text, written as GB18030
        added.Duration = 61;
        added.Time = "10:00:00";
        return second ? catalogue_.AddVideo(added) : catalogue_.RemoveVideo(added);
    }

  private:
    VideoInfoXml catalogue_;
};

class VersionRecordSaver : public Saver {
  public:
    explicit VersionRecordSaver(const std::string& folder) : path_(folder + "/config.xml") {}
    int Save(bool second) override {
        return WriteVersionInfo(second ? VersionInfo("1.0.0.2", "2026-12-8 9:30:0", "second")
                                       : VersionInfo("1.0.0.1", "2026-12-7 12:0:0", "first"),
                                path_);
    }

  private:
    std::string path_;
};

class CookieSaver : public Saver {
  public:
    explicit CookieSaver(const std::string& folder) : path_(folder + "/cookie.txt") {}
    int Save(bool second) override {
        const std::string session = second ? std::string(32, 'b') : std::string(32, 'a');
        return WriteCookieJarFile(path_, {"#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t0\tqarv_session\t" + session,
                                          "127.0.0.1\tFALSE\t/\tFALSE\t0\tlang\tzh_CN"});
    }

  private:
    std::string path_;
};

// The number of cookies libcurl reads from the file at `path`.
int CookieCount(const std::string& path) {
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), curl_easy_cleanup);
    curl_easy_setopt(easy.get(), CURLOPT_COOKIEFILE, path.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_COOKIELIST, "RELOAD");
    curl_slist* list = nullptr;
    curl_easy_getinfo(easy.get(), CURLINFO_COOKIELIST, &list);
    int count = 0;
    for (const curl_slist* item = list; item != nullptr; item = item->next)
        ++count;
    curl_slist_free_all(list);
    return count;
}

struct SavedFile {
    const char* name;
    const char* file;
    std::function<std::unique_ptr<Saver>(const std::string& folder)> open;
    std::function<bool(const std::string& path)> parses;
};

void PrintTo(const SavedFile& saved, std::ostream* out) {
    *out << saved.name;
}

const SavedFile kFiles[] = {
    {"Catalogue", "VideoInfo.xml",
     [](const std::string& folder) { return std::make_unique<CatalogueSaver>(folder); },
     [](const std::string& path) {
         ThirdNode root;
         return LoadXmlFile(path, root) == 0 && root.name() == "VideoRoot";
     }},
    {"VersionRecord", "config.xml",
     [](const std::string& folder) { return std::make_unique<VersionRecordSaver>(folder); },
     [](const std::string& path) {
         ServerInfo server;
         VersionInfo version;
         return LoadServerInfo(server, path) == 0 && ReadVersionInfo(version, path) == 0;
     }},
    {"CookieFile", "cookie.txt",
     [](const std::string& folder) { return std::make_unique<CookieSaver>(folder); },
     [](const std::string& path) { return CookieCount(path) == 2; }},
};

// Temporary files a killed save left beside `file` ("<file>.<suffix>"); removes them.
int RemoveLeftovers(const std::string& folder, const std::string& file) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind(file + ".", 0) == 0) {
            std::filesystem::remove(entry.path());
            ++count;
        }
    }
    return count;
}

class InterruptedSaveTest : public ::testing::TestWithParam<SavedFile> {};

TEST_P(InterruptedSaveTest, KilledWriterLeavesOldOrNewContent) {
    const SavedFile& saved = GetParam();
    TempDir dir;
    const std::string path = dir.file(saved.file);
    if (std::string(saved.file) == "config.xml")
        std::filesystem::copy_file(QARV_SHIPPED_CONFIG, path);

    // Both contents, and the time one save takes, from saves in this process.
    std::string contents[2];
    Clock::duration saveTime{};
    {
        auto saver = saved.open(dir.path());
        for (int second = 1; second >= 0; --second) {
            const auto start = Clock::now();
            ASSERT_EQ(saver->Save(second == 1), 0);
            saveTime = std::max(saveTime, Clock::now() - start);
            contents[second] = ReadFileText(path);
            ASSERT_TRUE(saved.parses(path)) << contents[second];
        }
        ASSERT_NE(contents[0], contents[1]);
    }

    std::mt19937 random(17);
    const auto maxDelay = std::chrono::duration_cast<std::chrono::microseconds>(saveTime * 3);
    int kills = 0;
    int midSave = 0;
    const auto start = Clock::now();
    while (kills < kKills && Clock::now() - start < kTimeLimit) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(fds[0]);
            auto saver = saved.open(dir.path());
            for (bool second = true;; second = !second) {
                if (saver->Save(second) != 0)
                    ::_exit(3);
                if (::write(fds[1], "s", 1) != 1)
                    ::_exit(4);
            }
        }
        ::close(fds[1]);
        // The child has opened the file and finished one to three saves; the kill falls at a
        // random point of the saves that follow.
        const int saves = std::uniform_int_distribution<int>(1, 3)(random);
        bool saving = true;
        for (int i = 0; i < saves && saving; ++i) {
            char byte;
            saving = ::read(fds[0], &byte, 1) == 1;
        }
        if (saving)
            std::this_thread::sleep_for(
                std::uniform_int_distribution<long long>(0, maxDelay.count())(random) *
                std::chrono::microseconds(1));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ::close(fds[0]);
        ASSERT_TRUE(saving && WIFSIGNALED(status)) << "the saving process ended by itself, status " << status;
        ++kills;

        const std::string content = ReadFileText(path);
        ASSERT_TRUE(content == contents[0] || content == contents[1])
            << "after kill " << kills << " the file holds:\n"
            << content;
        ASSERT_TRUE(saved.parses(path)) << "after kill " << kills;
        midSave += RemoveLeftovers(dir.path(), saved.file) > 0 ? 1 : 0;
    }
    std::printf("%s: %d kills in %.1f s, %d during a write of the temporary file\n", saved.name, kills,
                std::chrono::duration<double>(Clock::now() - start).count(), midSave);
    EXPECT_GE(kills, kMinimumKills);
}

INSTANTIATE_TEST_SUITE_P(Files, InterruptedSaveTest, ::testing::ValuesIn(kFiles),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qarv
