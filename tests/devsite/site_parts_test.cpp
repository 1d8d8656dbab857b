// The local site's parts on their own: accounts, sessions and cookies, stored file names,
// the upload form and store, and the command line.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "devsite/account_table.h"
#include "devsite/devsite_options.h"
#include "devsite/envelope.h"
#include "devsite/session_store.h"
#include "devsite/upload_form.h"
#include "devsite/upload_store.h"
#include "tests/devsite/site_client.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

TEST(AccountTableTest, KnowsTheBuiltInAccountAndRegistersNewOnes) {
    AccountTable accounts;
    EXPECT_TRUE(accounts.Check("TenoPalu", "kwp417"));
    EXPECT_FALSE(accounts.Check("TenoPalu", "kwp41"));
    EXPECT_FALSE(accounts.Check("tenopalu", "kwp417"));
    EXPECT_FALSE(accounts.Check("nobody", ""));

    EXPECT_EQ(accounts.Add("new one", std::string(30, 'p')), AccountTable::kAdded);
    EXPECT_TRUE(accounts.Check("new one", std::string(30, 'p')));
    EXPECT_EQ(accounts.Add("new one", "other"), AccountTable::kExists);
    EXPECT_TRUE(accounts.Check("new one", std::string(30, 'p')));
    EXPECT_EQ(accounts.Add("TenoPalu", "stolen"), AccountTable::kExists);
    EXPECT_TRUE(accounts.Check("TenoPalu", "kwp417"));
}

TEST(AccountTableTest, RefusesAccountsTheLoginCannotCarry) {
    AccountTable accounts;
    EXPECT_EQ(accounts.Add("", "pw"), AccountTable::kInvalid);
    EXPECT_EQ(accounts.Add(std::string(65, 'a'), "pw"), AccountTable::kInvalid);
    EXPECT_EQ(accounts.Add(std::string(64, 'a'), "pw"), AccountTable::kAdded);
    EXPECT_EQ(accounts.Add("a\nb", "pw"), AccountTable::kInvalid);
    EXPECT_EQ(accounts.Add("short", ""), AccountTable::kInvalid);
    EXPECT_EQ(accounts.Add("long", std::string(31, 'p')), AccountTable::kInvalid);
    EXPECT_EQ(accounts.Add("tab", "a\tb"), AccountTable::kInvalid);
}

TEST(SessionStoreTest, HandsOutDistinctRandomIdsBoundToTheirAccount) {
    SessionStore sessions;
    const std::string first = sessions.Create("alice");
    const std::string second = sessions.Create("alice");
    EXPECT_NE(first, second);
    EXPECT_EQ(first.size(), SessionStore::kIdDigits);
    EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos);
    std::string account;
    ASSERT_TRUE(sessions.Lookup(first, &account));
    EXPECT_EQ(account, "alice");
    EXPECT_FALSE(sessions.Lookup("", &account));
    EXPECT_FALSE(sessions.Lookup(first.substr(1), &account));
}

TEST(SessionStoreTest, ForgetsTheOldestBeyondItsBound) {
    SessionStore sessions(3);
    const std::string oldest = sessions.Create("a");
    const std::string b = sessions.Create("b");
    const std::string c = sessions.Create("c");
    const std::string d = sessions.Create("d");
    std::string account;
    EXPECT_FALSE(sessions.Lookup(oldest, &account));
    EXPECT_TRUE(sessions.Lookup(b, &account));
    EXPECT_TRUE(sessions.Lookup(d, &account));
    EXPECT_EQ(account, "d");
}

TEST(SessionStoreTest, ServesManyThreadsAtOnce) {
    SessionStore sessions;
    std::vector<std::vector<std::string>> ids(8);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < ids.size(); ++t) {
        threads.emplace_back([&sessions, &ids, t] {
            for (int i = 0; i < 200; ++i) {
                ids[t].push_back(sessions.Create("user" + std::to_string(t)));
                std::string account;
                sessions.Lookup(ids[t].front(), &account);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    std::set<std::string> all;
    for (std::size_t t = 0; t < ids.size(); ++t) {
        for (const std::string& id : ids[t]) {
            std::string account;
            ASSERT_TRUE(sessions.Lookup(id, &account));
            EXPECT_EQ(account, "user" + std::to_string(t));
            all.insert(id);
        }
    }
    EXPECT_EQ(all.size(), 8u * 200u);
}

TEST(CookieValueTest, FindsTheNamedCookieOnly) {
    EXPECT_EQ(CookieValue("qarv_session=abc", "qarv_session"), "abc");
    EXPECT_EQ(CookieValue("a=1; qarv_session=abc; b=2", "qarv_session"), "abc");
    EXPECT_EQ(CookieValue("a=1;qarv_session = \"abc\" ;b=2", "qarv_session"), "abc");
    EXPECT_EQ(CookieValue("xqarv_session=abc; qarv_sessionx=def", "qarv_session"), "");
    EXPECT_EQ(CookieValue("qarv_session", "qarv_session"), "");
    EXPECT_EQ(CookieValue("", "qarv_session"), "");
    EXPECT_EQ(CookieValue("qarv_session=; other=1", "qarv_session"), "");
    EXPECT_EQ(CookieValue("a=b=c", "a"), "b=c");
}

TEST(SafeFileNameTest, KeepsUploadsInsideTheirFolder) {
    EXPECT_EQ(SafeFileName("clip.flv"), "clip.flv");
    EXPECT_EQ(SafeFileName("../../etc/passwd"), "passwd");
    EXPECT_EQ(SafeFileName("..\\..\\Windows\\clip.flv"), "clip.flv");
    EXPECT_EQ(SafeFileName("C:\\Video\\2014_9_2\\a b.flv"), "a b.flv");
    EXPECT_EQ(SafeFileName(".."), "video");
    EXPECT_EQ(SafeFileName("dir/.."), "video");
    EXPECT_EQ(SafeFileName("."), "video");
    EXPECT_EQ(SafeFileName(""), "video");
    EXPECT_EQ(SafeFileName("dir/"), "video");
    EXPECT_EQ(SafeFileName("a..b.flv"), "a..b.flv");
    EXPECT_EQ(SafeFileName("meta.json"), "_meta.json");
    EXPECT_EQ(SafeFileName(std::string("new\nline\x01.flv")), "new_line_.flv");
    EXPECT_EQ(SafeFileName("\xe5\xbd\x95\xe5\x83\x8f.flv"), "\xe5\xbd\x95\xe5\x83\x8f.flv");

    // Long names are cut on a character boundary.
    std::string chinese;
    for (int i = 0; i < 100; ++i)
        chinese += "\xe5\xbd\x95";  // 录, three bytes
    const std::string cut = SafeFileName(chinese);
    EXPECT_LE(cut.size(), kMaxStoredNameBytes);
    EXPECT_EQ(cut.size() % 3, 0u);
    EXPECT_EQ(cut, chinese.substr(0, cut.size()));
}

class UploadStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(store_.Open(dir_.file("uploads")), 0); }

    // Stores one upload with `content` through a writer; returns its number or -1.
    int Store(const std::string& account, const std::string& name, const std::string& content) {
        UploadWriter writer(&store_, account);
        if (writer.OpenFile(name) != 0 || writer.Write(content.data(), content.size()) != 0)
            return -1;
        UploadRecord record;
        if (writer.Commit("t-" + name, "d", "g", &record) != 0)
            return -1;
        return record.number;
    }

    TempDir dir_;
    UploadStore store_;
};

TEST_F(UploadStoreTest, NumbersCompleteUploadsAndWritesTheirMeta) {
    EXPECT_EQ(Store("alice", "a.flv", "first"), 1);
    EXPECT_EQ(Store("bob", "b.flv", ""), 2);
    EXPECT_EQ(Store("alice", "c.flv", "third"), 3);

    EXPECT_EQ(ReadFileText(store_.FolderOf(1) + "/a.flv"), "first");
    EXPECT_TRUE(fs::is_regular_file(store_.FolderOf(2) + "/b.flv"));
    EXPECT_EQ(fs::file_size(store_.FolderOf(2) + "/b.flv"), 0u);
    const Json::Value meta = test::ParseJson(ReadFileText(store_.FolderOf(3) + "/meta.json"));
    EXPECT_EQ(meta["title"], "t-c.flv");
    EXPECT_EQ(meta["desc"], "d");
    EXPECT_EQ(meta["tags"], "g");
    EXPECT_EQ(meta["account"], "alice");
    EXPECT_EQ(meta["size"].asUInt64(), 5u);
    EXPECT_EQ(meta["file"], "c.flv");

    const auto alice = store_.RecordsOf("alice");
    ASSERT_EQ(alice.size(), 2u);
    EXPECT_EQ(alice[0].number, 1);
    EXPECT_EQ(alice[1].number, 3);
    EXPECT_TRUE(store_.RecordsOf("carol").empty());
}

TEST_F(UploadStoreTest, AnUnfinishedUploadLeavesNothingBehind) {
    {
        UploadWriter writer(&store_, "alice");
        ASSERT_EQ(writer.OpenFile("a.flv"), 0);
        ASSERT_EQ(writer.Write("abc", 3), 0);
        EXPECT_EQ(writer.OpenFile("again.flv"), -1);
    }
    EXPECT_TRUE(fs::is_empty(dir_.file("uploads")));
    EXPECT_EQ(Store("alice", "b.flv", "x"), 1);
}

TEST_F(UploadStoreTest, ReopeningGoesOnAfterTheStoredUploads) {
    ASSERT_EQ(Store("alice", "a.flv", "one"), 1);
    ASSERT_EQ(Store("alice", "b.flv", "two"), 2);
    // Left by a process that died mid-upload, and a folder with a broken meta.json.
    fs::create_directories(dir_.file("uploads/.partial-abc123"));
    WriteFileText(dir_.file("uploads/.partial-abc123/x.flv"), "half");
    fs::create_directories(dir_.file("uploads/7"));
    WriteFileText(dir_.file("uploads/7/meta.json"), "{not json");

    UploadStore reopened;
    ASSERT_EQ(reopened.Open(dir_.file("uploads")), 0);
    EXPECT_FALSE(fs::exists(dir_.file("uploads/.partial-abc123")));
    const auto records = reopened.RecordsOf("alice");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].title, "t-b.flv");
    EXPECT_EQ(records[1].size, 3u);

    UploadWriter writer(&reopened, "alice");
    ASSERT_EQ(writer.OpenFile("c.flv"), 0);
    UploadRecord record;
    ASSERT_EQ(writer.Commit("c", "", "", &record), 0);
    EXPECT_EQ(record.number, 8);
}

TEST(UploadFormTest, CollectsTheTextsAndStreamsTheFile) {
    TempDir dir;
    UploadStore store;
    ASSERT_EQ(store.Open(dir.file("uploads")), 0);
    UploadWriter writer(&store, "alice");
    UploadForm form(&writer, 1000);
    form.BeginPart("title", "");
    form.AddData("Ti", 2);
    form.AddData("tle", 3);
    form.BeginPart("extra", "");
    form.AddData("ignored", 7);
    form.BeginPart("tags", "");
    form.AddData("game", 4);
    form.BeginPart("file", "../clip.flv");
    form.AddData("abc", 3);
    form.AddData("def", 3);
    std::string problem;
    ASSERT_EQ(form.Finish(&problem), kSiteOk) << problem;
    EXPECT_EQ(form.title(), "Title");
    EXPECT_EQ(form.desc(), "");
    EXPECT_EQ(form.tags(), "game");
    UploadRecord record;
    ASSERT_EQ(writer.Commit(form.title(), form.desc(), form.tags(), &record), 0);
    EXPECT_EQ(ReadFileText(store.FolderOf(record.number) + "/clip.flv"), "abcdef");
}

TEST(UploadFormTest, RefusesOversizedDuplicatedAndIncompleteForms) {
    TempDir dir;
    UploadStore store;
    ASSERT_EQ(store.Open(dir.file("uploads")), 0);
    std::string problem;
    {
        UploadWriter writer(&store, "a");
        UploadForm form(&writer, 1000);
        const std::string longText(UploadForm::kMaxFieldBytes, 'x');
        form.BeginPart("desc", "");
        form.AddData(longText.data(), longText.size());  // exactly the bound: taken
        form.BeginPart("title", "");
        form.AddData(longText.data(), longText.size());
        form.AddData("y", 1);  // one byte over
        form.BeginPart("file", "a.flv");
        EXPECT_EQ(form.Finish(&problem), kSiteBadRequest);
        EXPECT_NE(problem.find("longer"), std::string::npos);
    }
    {
        UploadWriter writer(&store, "a");
        UploadForm form(&writer, 5);
        form.BeginPart("file", "a.flv");
        form.AddData("12345", 5);
        EXPECT_EQ(form.Finish(&problem), kSiteOk);
        form.AddData("6", 1);
        EXPECT_EQ(form.Finish(&problem), kSiteBadRequest);
        EXPECT_EQ(writer.size(), 5u);  // nothing written past the bound
    }
    {
        UploadWriter writer(&store, "a");
        UploadForm form(&writer, 100);
        form.BeginPart("file", "a.flv");
        form.BeginPart("file", "b.flv");
        EXPECT_EQ(form.Finish(&problem), kSiteBadRequest);
        EXPECT_NE(problem.find("twice"), std::string::npos);
    }
    {
        UploadWriter writer(&store, "a");
        UploadForm form(&writer, 100);
        form.BeginPart("title", "");
        form.AddData("t", 1);
        EXPECT_EQ(form.Finish(&problem), kSiteBadRequest);
        EXPECT_NE(problem.find("file"), std::string::npos);
    }
    EXPECT_TRUE(fs::is_empty(dir.file("uploads")));
}

TEST(DevsiteOptionsTest, ReadsEveryOptionAndKeepsTheDefaults) {
    DevsiteOptions options;
    std::string error;
    ASSERT_EQ(ParseDevsiteOptions({}, &options, &error), 0);
    EXPECT_EQ(options.port, 1080);
    EXPECT_EQ(options.site.dataDir, "devsite-data");
    EXPECT_EQ(options.site.offerVersion, "1.0.0.2");
    EXPECT_EQ(options.site.offerFile, "");
    EXPECT_EQ(options.site.fault, FaultMode::kNone);

    EXPECT_EQ(options.site.faultPath, "");
    EXPECT_EQ(options.site.faultTimes, -1);

    ASSERT_EQ(ParseDevsiteOptions({"--port",          "0",
                                   "--data",          "/tmp/d",
                                   "--fault",         "http500-envelope",
                                   "--offer-version", "2.0.1",
                                   "--offer-file",    "rec.bin",
                                   "--slow-ms",       "250",
                                   "--fault-path",    "/upload_user_video",
                                   "--fault-times",   "1",
                                   "--fault-retn",    "-3",
                                   "--read-rate",     "4096"},
                                  &options, &error),
              0)
        << error;
    EXPECT_EQ(options.site.faultPath, "/upload_user_video");
    EXPECT_EQ(options.site.faultTimes, 1);
    EXPECT_EQ(options.site.faultRetn, -3);
    EXPECT_EQ(options.site.readBytesPerSecond, 4096u);
    EXPECT_EQ(options.port, 0);
    EXPECT_EQ(options.site.dataDir, "/tmp/d");
    EXPECT_EQ(options.site.fault, FaultMode::kHttp500Envelope);
    EXPECT_EQ(options.site.offerVersion, "2.0.1");
    EXPECT_EQ(options.site.offerFile, "rec.bin");
    EXPECT_EQ(options.site.slowMs, 250);
}

TEST(DevsiteOptionsTest, RefusesBadValues) {
    const std::vector<std::vector<std::string>> bad = {
        {"--port", "65536"},
        {"--port", "-1"},
        {"--port", "80x"},
        {"--port"},
        {"--fault", "odd"},
        {"--offer-version", ""},
        {"--offer-version", "1 2"},
        {"--slow-ms", "soon"},
        {"--data", ""},
        {"--fault-path", "upload_user_video"},
        {"--fault-times", "-1"},
        {"--fault-retn", "0"},
        {"--read-rate", "0"},
        {"--what", "1"},
        {"stray"},
    };
    for (const auto& args : bad) {
        DevsiteOptions options;
        options.port = 42;
        std::string error;
        EXPECT_EQ(ParseDevsiteOptions(args, &options, &error), -1) << args[0];
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(options.port, 42);  // untouched
    }
}

}  // namespace
}  // namespace qarv
