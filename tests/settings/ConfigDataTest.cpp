#include "support/TempDir.h"

#include "settings/CConfigData.h"
#include "settings/CPersistFile.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

std::unique_ptr<CConfigData> Open(const TempDir& dir, const std::string& name) {
    return std::make_unique<CConfigData>(std::make_unique<CPersistFile>(dir.File(name)));
}

CIString Value(const CConfigData& data, const char* key) {
    CIString value;
    return data.GetValue(key, value) ? value : CIString("<none>");
}

std::vector<CIString> List(const CConfigData& data, const char* key) {
    std::vector<CIString> lines;
    data.GetList(key, lines);
    return lines;
}

std::vector<std::string> Files(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(ConfigData, ReadsNamesWithoutCaseAndKeepsTheFirstValue) {
    TempDir dir;
    dir.Write("a.conf", "  [PROXYENGINE]\r\n"
                        "localport=8080\r\n"
                        "\r\n"
                        "\t LocalPort=9999\r\n"
                        "LocalPort = 7070\r\n"
                        "Name='x y'  \r\n"
                        "[Other]\n"
                        "Empty=\n"
                        "=novalue\n"
                        "# a comment\n"
                        "[proxyengine]\n"
                        "Extra=1\n"
                        "LOCALPORT=1\n");
    auto data = Open(dir, "a.conf");
    EXPECT_TRUE(data->IsLoaded());
    EXPECT_EQ(Value(*data, "ProxyEngine.LocalPort"), "8080");
    // Blanks around '=' belong to the name and the value.
    EXPECT_EQ(Value(*data, "ProxyEngine.LocalPort "), " 7070");
    EXPECT_EQ(Value(*data, "ProxyEngine.Name"), "'x y'");
    // A second section of the same name (in any case) adds to the first.
    EXPECT_EQ(Value(*data, "ProxyEngine.Extra"), "1");
    EXPECT_EQ(Value(*data, "Other.Empty"), "");
    // A line without '=' is an entry with an empty name; the first one wins.
    EXPECT_EQ(Value(*data, "Other."), "novalue");
    EXPECT_FALSE(data->IsChanged());
}

TEST(ConfigData, HeaderQuirksAndWhereReadingStops) {
    TempDir dir;
    dir.Write("comment.conf", "# settings\n[ProxyEngine]\nLocalPort=1\n");
    EXPECT_EQ(Value(*Open(dir, "comment.conf"), "ProxyEngine.LocalPort"), "<none>");

    dir.Write("broken.conf", "[A]\nx=1\n[B\ny=2\n[C]\nz=3\n");
    auto broken = Open(dir, "broken.conf");
    EXPECT_EQ(Value(*broken, "A.x"), "1");
    EXPECT_EQ(Value(*broken, "C.z"), "<none>");

    dir.Write("odd.conf", "[ Spaced ]\nk=1\n[Name]tail\nk=2\n[a]b]\nk=3\n");
    auto odd = Open(dir, "odd.conf");
    EXPECT_EQ(Value(*odd, " Spaced .k"), "1");
    EXPECT_EQ(Value(*odd, "Nametail.k"), "2");
    EXPECT_EQ(Value(*odd, "a]b.k"), "3"); // as "[a]b]" is written, it reads back

    auto missing = Open(dir, "missing.conf");
    EXPECT_FALSE(missing->IsLoaded());
    EXPECT_EQ(Value(*missing, "A.x"), "<none>");
}

TEST(ConfigData, ListSectionsKeepTheirLines) {
    TempDir dir;
    dir.Write("l.conf", "[Cookie.List]\r\nads,2\r\n  a=b\r\n=lead\r\n[cookie.list]\r\nmore\r\n"
                        "[Empty.List]\r\n");
    auto data = Open(dir, "l.conf");
    EXPECT_EQ(List(*data, "COOKIE.LIST"), (std::vector<CIString>{"ads,2", "a=b", "lead", "more"}));
    std::vector<CIString> lines{"x"};
    EXPECT_TRUE(data->GetList("Empty.List", lines));
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(data->GetList("None.List", lines));
}

TEST(ConfigData, WritesSortedSectionsListsLastAndKeepsUnknownContent) {
    TempDir dir;
    dir.Write("w.conf", "[Zeta]\r\nKeep=me\r\n[Alpha.List]\r\na=b\r\n[alpha]\r\nb=2\r\nA=1\r\n");
    {
        auto data = Open(dir, "w.conf");
        data->SetValue("Alpha.C", "3");
        data->SetList("Beta.List", {"x", "y"});
        EXPECT_TRUE(data->IsChanged());
        EXPECT_TRUE(data->Save());
        EXPECT_FALSE(data->IsChanged());
    }
    EXPECT_EQ(dir.Read("w.conf"), "[alpha]\nA=1\nb=2\nC=3\n[Zeta]\nKeep=me\n"
                                  "[Alpha.List]\na=b\n[Beta.List]\nx\ny\n");
}

TEST(ConfigData, LineBreaksInsideValuesStayOnTheirLine) {
    TempDir dir;
    {
        auto data = Open(dir, "n.conf");
        data->SetValue("A.x", "1\n[Evil]");
        data->SetValue("A.y", CIString(std::string("\0z", 2)));
        // Lines whose front would read as a section or be taken off.
        data->SetList("A.List", {"one\r\n[B]", "two", "[ad", "=x", " y", "a=b"});
    }
    EXPECT_EQ(dir.Read("n.conf"),
              "[A]\nx=1 [Evil]\ny=z\n[A.List]\none  [B]\ntwo\n=[ad\n==x\n= y\na=b\n");
    auto data = Open(dir, "n.conf");
    EXPECT_EQ(List(*data, "A.List"),
              (std::vector<CIString>{"one  [B]", "two", "[ad", "=x", " y", "a=b"}));
}

TEST(ConfigData, UnchangedStoreIsNeverRewritten) {
    TempDir dir;
    const std::string original = "[A]\r\nx=Value\r\n[L.List]\r\none\r\n";
    dir.Write("u.conf", original);
    ::chmod(dir.File("u.conf").c_str(), 0444); // a rewrite would be refused or show
    {
        auto data = Open(dir, "u.conf");
        data->SetValue("A.x", "VALUE"); // differs only in case
        data->SetList("L.List", {"ONE"});
        EXPECT_FALSE(data->IsChanged());
        EXPECT_TRUE(data->Save());
    }
    EXPECT_EQ(dir.Read("u.conf"), original);
    struct stat info {};
    ::stat(dir.File("u.conf").c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0444u);
}

TEST(ConfigData, DestructionSavesChanges) {
    TempDir dir;
    {
        auto data = Open(dir, "new.conf");
        EXPECT_FALSE(data->IsLoaded());
        data->SetValue("Sec.Key", "v");
        data->SetList("Sec.List", {});
    }
    EXPECT_EQ(dir.Read("new.conf"), "[Sec]\nKey=v\n[Sec.List]\n");
    struct stat info {};
    ASSERT_EQ(::stat(dir.File("new.conf").c_str(), &info), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0664u & ~mask);
}

TEST(ConfigData, FailedSaveLeavesTheOldFileAndNoDebris) {
    TempDir dir;
    dir.Write("f.conf", "[A]\nx=1\n");
    auto data = Open(dir, "f.conf");
    data->SetValue("A.x", "2");
    // The directory refuses new files: the temporary file can't be made.
    // (Root ignores permission bits, so a "directory" that is a file stands in.)
    auto lost =
        std::make_unique<CConfigData>(std::make_unique<CPersistFile>(dir.File("f.conf/f.conf")));
    lost->SetValue("A.x", "2");
    EXPECT_FALSE(lost->Save());
    EXPECT_TRUE(lost->IsChanged()); // tried again later

    EXPECT_TRUE(data->Save());
    EXPECT_EQ(dir.Read("f.conf"), "[A]\nx=2\n");
    EXPECT_EQ(Files(dir), std::vector<std::string>{"f.conf"});
}

TEST(ConfigData, SaveReplacesTheFileAtomically) {
    TempDir dir;
    dir.Write("r.conf", "[A]\nx=1\n");
    ::chmod(dir.File("r.conf").c_str(), 0600);
    std::ifstream reader(dir.File("r.conf")); // an open reader keeps the old content
    struct stat before {};
    ::stat(dir.File("r.conf").c_str(), &before);
    {
        auto data = Open(dir, "r.conf");
        data->SetValue("A.x", "2");
        EXPECT_TRUE(data->Save());
    }
    struct stat after {};
    ::stat(dir.File("r.conf").c_str(), &after);
    EXPECT_NE(before.st_ino, after.st_ino); // a new file took the old one's name
    EXPECT_EQ(after.st_mode & 0777, 0600u); // and its permissions
    std::string old((std::istreambuf_iterator<char>(reader)), std::istreambuf_iterator<char>());
    EXPECT_EQ(old, "[A]\nx=1\n");
    EXPECT_EQ(dir.Read("r.conf"), "[A]\nx=2\n");
    EXPECT_EQ(Files(dir), std::vector<std::string>{"r.conf"});

    // A linked settings file stays linked; its target gets the new content.
    std::filesystem::create_symlink("r.conf", dir.File("link.conf"));
    {
        auto data = Open(dir, "link.conf");
        data->SetValue("A.x", "3");
        EXPECT_TRUE(data->Save());
    }
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.conf")));
    EXPECT_EQ(dir.Read("r.conf"), "[A]\nx=3\n");
}

TEST(ConfigData, FullDiskKeepsTheOldFile) {
    TempDir dir;
    const std::string original = "[A]\nx=1\n";
    dir.Write("d.conf", original);
    auto data = Open(dir, "d.conf");
    data->SetValue("A.x", std::string(64 * 1024, 'v'));
    // A file size limit makes the write fail half-way, as a full disk would.
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = data->Save();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(saved);
    EXPECT_TRUE(data->IsChanged());
    EXPECT_EQ(dir.Read("d.conf"), original);
    EXPECT_EQ(Files(dir), std::vector<std::string>{"d.conf"});
    EXPECT_TRUE(data->Save());                           // room again: the next try succeeds
    EXPECT_EQ(dir.Read("d.conf").size(), 64 * 1024 + 7); // "[A]\n" "x=" value "\n"
}
