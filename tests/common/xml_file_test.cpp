#include "common/xml_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "common/file_util.h"
#include "common/text.h"
#include "tests/support/temp_dir.h"

namespace qarv {
namespace {

using test::ReadFileText;
using test::TempDir;
using test::WriteFileText;

// "中文标题" (a Chinese title) and "游戏" (game) in UTF-8.
const std::string kTitle = "\xE4\xB8\xAD\xE6\x96\x87\xE6\xA0\x87\xE9\xA2\x98";
const std::string kGame = "\xE6\xB8\xB8\xE6\x88\x8F";

// A catalogue in exactly the layout a save produces, as UTF-8.
std::string CatalogueText(const std::string& encoding) {
    return "<?xml version=\"1.0\" encoding=\"" + encoding +
           "\" standalone=\"no\" ?>\r\n"
           "<VideoRoot>\r\n"
           "    <DateList Date=\"2014_9_9\">\r\n"
           "        <Element IsFlag=\"1\" IsUpload=\"0\" Catogery=\"" +
           kGame + "\" Duration=\"125\" Title=\"" + kTitle + "\" Time=\"10:20:30\">" + kGame +
           "01.mp4</Element>\r\n"
           "    </DateList>\r\n"
           "</VideoRoot>\r\n";
}

std::string ToGb18030(const std::string& utf8) {
    std::string out;
    EXPECT_EQ(ConvertEncoding("UTF-8", "GB18030", utf8, out), 0);
    return out;
}

int CountEntries(const std::string& dir) {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir))
        ++count;
    return count;
}

void ExpectCatalogueTree(const ThirdNode& root) {
    EXPECT_EQ(root.name(), "VideoRoot");
    ASSERT_EQ(root.children().size(), 1u);
    const ThirdNode& list = root.children()[0];
    ASSERT_EQ(list.children().size(), 1u);
    const ThirdNode& entry = list.children()[0];
    EXPECT_EQ(entry.text(), kGame + "01.mp4");
    std::string title;
    ASSERT_EQ(entry.GetAttribute("title", title), 0);
    EXPECT_EQ(title, kTitle);
}

TEST(XmlFileTest, Gb2312FileLoadsAsUtf8AndSavesBackIdentically) {
    TempDir dir;
    const std::string path = dir.file("VideoInfo.xml");
    const std::string bytes = ToGb18030(CatalogueText("gb2312"));
    ASSERT_NE(bytes, CatalogueText("gb2312"));  // the Chinese text is really re-encoded
    WriteFileText(path, bytes);

    ThirdNode root;
    ThirdDeclaration declaration;
    ASSERT_EQ(LoadXmlFile(path, root, &declaration), 0);
    EXPECT_EQ(declaration, (ThirdDeclaration{"1.0", "gb2312", "no"}));
    ExpectCatalogueTree(root);

    ASSERT_EQ(SaveXmlFile(path, root, declaration), 0);
    EXPECT_EQ(ReadFileText(path), bytes);
    EXPECT_EQ(CountEntries(dir.path()), 1);  // no temporary file left behind
}

TEST(XmlFileTest, GbNamesAreCaseInsensitive) {
    TempDir dir;
    for (const std::string encoding : {"GBK", "gb18030", "GB2312"}) {
        const std::string path = dir.file(encoding + ".xml");
        WriteFileText(path, ToGb18030(CatalogueText(encoding)));
        ThirdNode root;
        ASSERT_EQ(LoadXmlFile(path, root), 0) << encoding;
        ExpectCatalogueTree(root);
    }
}

TEST(XmlFileTest, Utf8FilesWithDeclarationWithoutOrWithByteOrderMark) {
    TempDir dir;
    const std::string path = dir.file("a.xml");

    WriteFileText(path, CatalogueText("UTF-8"));
    ThirdNode root;
    ThirdDeclaration declaration{"x", "x", "x"};
    ASSERT_EQ(LoadXmlFile(path, root, &declaration), 0);
    ExpectCatalogueTree(root);
    EXPECT_EQ(declaration.encoding, "UTF-8");
    ASSERT_EQ(SaveXmlFile(path, root, declaration), 0);
    EXPECT_EQ(ReadFileText(path), CatalogueText("UTF-8"));

    const std::string withoutDeclaration = CatalogueText("x").substr(CatalogueText("x").find("<VideoRoot>"));
    WriteFileText(path, withoutDeclaration);
    declaration = ThirdDeclaration{"x", "x", "x"};
    ASSERT_EQ(LoadXmlFile(path, root, &declaration), 0);
    ExpectCatalogueTree(root);
    EXPECT_EQ(declaration, ThirdDeclaration());

    // The mark wins over a declaration that claims gb2312.
    WriteFileText(path, "\xEF\xBB\xBF" + CatalogueText("gb2312"));
    ASSERT_EQ(LoadXmlFile(path, root, &declaration), 0);
    ExpectCatalogueTree(root);
    EXPECT_EQ(declaration.encoding, "gb2312");
}

TEST(XmlFileTest, GbDeclaredFileThatIsUtf8IsReadAsUtf8) {
    TempDir dir;
    const std::string path = dir.file("a.xml");
    // The UTF-8 bytes of "中<" are not valid GB18030, so decoding them as declared fails.
    WriteFileText(path, "<?xml version=\"1.0\" encoding=\"gb2312\" ?>\r\n<A>\xE4\xB8\xAD</A>\r\n");
    ThirdNode root;
    ASSERT_EQ(LoadXmlFile(path, root), 0);
    EXPECT_EQ(root.text(), "\xE4\xB8\xAD");
}

TEST(XmlFileTest, OtherEncodingsKnownToIconv) {
    TempDir dir;
    const std::string path = dir.file("a.xml");
    WriteFileText(path, "<?xml version='1.0' encoding='ISO-8859-1'?><A t=\"caf\xE9\"/>");
    ThirdNode root;
    ASSERT_EQ(LoadXmlFile(path, root), 0);
    std::string value;
    ASSERT_EQ(root.GetAttribute("t", value), 0);
    EXPECT_EQ(value, "caf\xC3\xA9");

    ASSERT_EQ(SaveXmlFile(path, root, ThirdDeclaration{"1.0", "ISO-8859-1", ""}), 0);
    EXPECT_EQ(ReadFileText(path),
              "<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\r\n<A t=\"caf\xE9\" />\r\n");
}

TEST(XmlFileTest, MissingFile) {
    TempDir dir;
    ThirdNode root("Keep");
    EXPECT_EQ(LoadXmlFile(dir.file("missing.xml"), root), -1);
    EXPECT_EQ(root, ThirdNode("Keep"));
}

TEST(XmlFileTest, UnusableFilesAreRefusedAndLeftAsTheyAre) {
    TempDir dir;
    const std::string path = dir.file("a.xml");
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919 + 13) % 256);
    const std::string contents[] = {
        "",
        "\xEF\xBB\xBF",
        "<?xml version=\"1.0\" encoding=\"gb2312\" standalone=\"no\" ?>\r\n<VideoRoot>\r\n    <DateList Da",
        garbage,
        "just some words",
        "<?xml version=\"1.0\" encoding=\"gb2312\" ?>\r\n<A>\x81\x20</A>",  // neither GB18030 nor UTF-8
        "<A>\xFF</A>",                                                      // not UTF-8
        "<?xml version=\"1.0\" encoding=\"no-such-encoding\" ?><A>\xFF</A>",
        std::string("<A>x</A>\0<B/>", 13),
        std::string(100000, '<'),
    };
    for (const std::string& content : contents) {
        WriteFileText(path, content);
        ThirdNode root("Keep");
        ThirdDeclaration declaration{"k", "k", "k"};
        EXPECT_EQ(LoadXmlFile(path, root, &declaration), -2) << content.substr(0, 80);
        EXPECT_EQ(root, ThirdNode("Keep"));
        EXPECT_EQ(declaration, (ThirdDeclaration{"k", "k", "k"}));
        EXPECT_EQ(ReadFileText(path), content);
    }
    ThirdNode root;
    EXPECT_EQ(LoadXmlFile(dir.path(), root), -2);  // a folder
}

TEST(XmlFileTest, DeeplyNestedFileIsRefused) {
    TempDir dir;
    const std::string path = dir.file("deep.xml");
    std::string text;
    for (int i = 0; i < 1000000; ++i)
        text += "<a>";
    WriteFileText(path, text);
    ThirdNode root;
    EXPECT_EQ(LoadXmlFile(path, root), -2);
}

TEST(XmlFileTest, HugeFileIsRefusedQuickly) {
    TempDir dir;
    const std::string path = dir.file("huge.xml");
    {
        UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
        ASSERT_TRUE(fd.valid());
        ASSERT_EQ(::ftruncate(fd.get(), 100LL * 1024 * 1024), 0);  // sparse: takes no disk space
    }
    const auto start = std::chrono::steady_clock::now();
    ThirdNode root;
    EXPECT_EQ(LoadXmlFile(path, root), -2);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(XmlFileTest, FailedSaveLeavesTheOldFile) {
    TempDir dir;
    const std::string path = dir.file("a.xml");
    WriteFileText(path, "old");
    ThirdNode root("VideoRoot");
    root.AddChild(ThirdNode("Element", kTitle));

    // An unknown encoding, ones that would hide the declaration from the next load, an element
    // name the encoding cannot hold, no element name.
    for (const char* encoding : {"no-such-encoding", "UTF-7", "UTF-16", "UTF-32BE"})
        EXPECT_EQ(SaveXmlFile(path, root, ThirdDeclaration{"1.0", encoding, ""}), -1) << encoding;
    root.AddChild(ThirdNode("Element" + kTitle, "x"));
    EXPECT_EQ(SaveXmlFile(path, root, ThirdDeclaration{"1.0", "ISO-8859-1", ""}), -1);
    EXPECT_EQ(SaveXmlFile(path, ThirdNode(""), ThirdDeclaration()), -1);
    EXPECT_EQ(ReadFileText(path), "old");

    EXPECT_EQ(SaveXmlFile(dir.file("no/such/folder.xml"), root, ThirdDeclaration()), -1);
    EXPECT_EQ(CountEntries(dir.path()), 1);
}

// Runs `body` in a child process as the user "nobody" when the tests run as root (who is
// not stopped by permissions); returns its result, or -100 if privileges cannot be dropped.
int RunUnprivileged(const std::function<int()>& body) {
    if (::geteuid() != 0)
        return body();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(100);
        ::_exit(static_cast<unsigned char>(body()));
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -100;
    const int code = WEXITSTATUS(status);
    return code == 100 ? -100 : static_cast<signed char>(code);
}

TEST(XmlFileTest, SaveIntoReadOnlyFolderFails) {
    TempDir dir;
    const std::string path = dir.file("VideoInfo.xml");
    ThirdNode root("VideoRoot");
    const ThirdDeclaration declaration{"1.0", "gb2312", "no"};
    ASSERT_EQ(SaveXmlFile(path, root, declaration), 0);
    const std::string old = ReadFileText(path);

    root.AddChild(ThirdNode("DateList"));
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    const int result = RunUnprivileged([&] { return SaveXmlFile(path, root, declaration); });
    ::chmod(dir.path().c_str(), 0700);
    if (result == -100)
        GTEST_SKIP() << "cannot drop root privileges";
    EXPECT_EQ(result, -1);
    EXPECT_EQ(ReadFileText(path), old);
    EXPECT_EQ(CountEntries(dir.path()), 1);
}

TEST(XmlFileTest, LineBreaksAreNormalizedOnLoad) {
    TempDir dir;
    const std::string path = dir.file("a.xml");
    WriteFileText(path, "<A v=\"1\r\n2\r3\n4\" r=\"&#x0D;\">\r\n<B>x</B>\r\n</A>\r\n");
    ThirdNode root;
    ASSERT_EQ(LoadXmlFile(path, root), 0);
    std::string value;
    ASSERT_EQ(root.GetAttribute("v", value), 0);
    EXPECT_EQ(value, "1\n2\n3\n4");
    ASSERT_EQ(root.GetAttribute("r", value), 0);
    EXPECT_EQ(value, "\r");  // a character reference is kept
    ASSERT_EQ(root.children().size(), 1u);
}

// No text stops a save. Every character outside ASCII reads back from a gb2312 file (the
// ones GB18030 has no bytes for, such as U+E78D, as character references); text that looks
// like a reference stays text; bytes that are not UTF-8 read back as U+FFFD.
TEST(XmlFileTest, EveryTextIsSavedAndReadsBack) {
    ThirdNode root("VideoRoot", "&#xE78D; \xFF");
    std::u32string chunk;
    for (char32_t c = 0x80; c <= 0x10FFFF; ++c) {
        if (c < 0xD800 || c > 0xDFFF)
            chunk += c;
        if (chunk.size() == 4096 || c == 0x10FFFF) {
            std::string text;
            ASSERT_EQ(ConvertEncoding("UTF-32LE", "UTF-8",
                                      {reinterpret_cast<const char*>(chunk.data()), chunk.size() * 4}, text),
                      0);
            ThirdNode entry("Element", text);
            entry.AddAttribute("Title", text);
            root.AddChild(entry);
            chunk.clear();
        }
    }
    ThirdNode expected = root;
    expected.set_text("&#xE78D; \xEF\xBF\xBD");
    TempDir dir;
    const std::string path = dir.file("VideoInfo.xml");
    for (const char* encoding : {"UTF-8", "gb2312"}) {
        ASSERT_EQ(SaveXmlFile(path, root, ThirdDeclaration{"1.0", encoding, "no"}), 0) << encoding;
        ThirdNode loaded;
        ASSERT_EQ(LoadXmlFile(path, loaded), 0) << encoding;
        EXPECT_TRUE(loaded == expected) << encoding;
    }
    EXPECT_NE(ReadFileText(path).find("&#xE78D;&#xE78E;"), std::string::npos);
}

TEST(XmlFileTest, RepeatedSavesReplaceTheFileAndLeaveNothingElse) {
    TempDir dir;
    const std::string path = dir.file("VideoInfo.xml");
    ThirdNode root("VideoRoot");
    const ThirdDeclaration declaration{"1.0", "gb2312", "no"};
    for (int i = 0; i < 5; ++i) {
        ThirdNode entry("Element", kGame + std::to_string(i) + ".mp4");
        entry.AddIntAttribute("Duration", static_cast<unsigned long>(i));
        root.AddChild(entry);
        ASSERT_EQ(SaveXmlFile(path, root, declaration), 0);
        ThirdNode loaded;
        ASSERT_EQ(LoadXmlFile(path, loaded), 0);
        EXPECT_EQ(loaded, root);
    }
    EXPECT_EQ(CountEntries(dir.path()), 1);
}

// A save that prints only the changed children writes the bytes a whole save writes, through
// a series of changes, for every kind of text a catalogue may hold.
TEST(XmlFileTest, IncrementalSavesWriteWhatAWholeSaveWrites) {
    const std::string texts[] = {kTitle,         "  two  spaces ", "a\nb\tc", "<&>\"'",
                                 "\xEE\x9E\x8D", "bad \xFF byte",  "",        "]]> and  spaces"};
    ThirdNode root("VideoRoot");
    root.AddAttribute("Version", "1");
    for (int day = 0; day < 3; ++day) {
        ThirdNode list("DateList");
        list.AddAttribute("Date", "2014_9_" + std::to_string(day));
        for (const std::string& text : texts) {
            ThirdNode entry("Element", text);
            entry.AddAttribute("Title", text);
            list.AddChild(entry);
        }
        ThirdNode nested("Nested");
        nested.AddChild(ThirdNode("Inner", kGame));
        list.AddChild(nested);
        root.AddChild(list);
    }
    root.AddChild(ThirdNode("Empty"));

    TempDir dir;
    for (const char* encoding : {"UTF-8", "gb2312"}) {
        const ThirdDeclaration declaration{"1.0", encoding, "no"};
        const std::string whole = dir.file("whole.xml");
        const std::string part = dir.file("part.xml");
        IncrementalXmlFile file(part, declaration);
        ThirdNode tree = root;
        const std::function<void(ThirdNode&, IncrementalXmlFile&)> changes[] = {
            [](ThirdNode&, IncrementalXmlFile&) {},
            [](ThirdNode& t, IncrementalXmlFile& f) {
                t.children()[1].children()[0].set_text("changed");
                f.MarkChanged(1);
            },
            [](ThirdNode& t, IncrementalXmlFile&) { t.AddChild(ThirdNode("DateList", "new")); },
            [](ThirdNode& t, IncrementalXmlFile& f) {
                t.children().erase(t.children().begin());
                f.MarkAllChanged();
            },
            [](ThirdNode& t, IncrementalXmlFile& f) {
                t.set_text("root text");
                f.MarkAllChanged();
            },
            [](ThirdNode& t, IncrementalXmlFile& f) {
                t = ThirdNode("VideoRoot");
                f.MarkAllChanged();
            },
        };
        int step = 0;
        for (const auto& change : changes) {
            change(tree, file);
            ASSERT_EQ(SaveXmlFile(whole, tree, declaration), 0) << encoding << step;
            ASSERT_EQ(file.Save(tree), 0) << encoding << step;
            EXPECT_EQ(ReadFileText(part), ReadFileText(whole)) << encoding << " step " << step;
            ++step;
        }
    }
}

}  // namespace
}  // namespace qarv
