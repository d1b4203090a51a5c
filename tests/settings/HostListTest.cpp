#include "settings/CHostList.h"
#include "settings/CSetURLList.h"

#include "support/TempDir.h"

#include <fstream>
#include <gtest/gtest.h>

namespace {

const char* const kLists = R"(# a hosts file
127.0.0.1	localhost
::1 localhost ip6-localhost ip6-loopback
255.255.255.255 broadcasthost
0.0.0.0 0.0.0.0
0.0.0.0 ads.example.net
0.0.0.0 a.tracker.example b.tracker.example # two on a line
127.0.0.1 localhost.localdomain
! an ad-block list
||adblock.example^
@@||good.adblock.example^
||withpath.example/banner^
||withoptions.example^$third-party
@@||exception-only.example^
example.com##.ad-banner
/banner/*/img^
plain.example.org
Trailing.Dot.Example.
not a host
*.wild.example
bad_chars!.example
1.2.3.4
)";

} // namespace

TEST(HostList, ReadsTheThreeFormsAndSkipsTheRest) {
    CHostList list;
    list.AddText(kLists, "mixed.txt");
    list.AddText(std::string("bin\0ary.example\n\xff\xfe.example\n", 28) + std::string(5000, 'x') +
                     "\nafter-long.example\n",
                 "broken.txt");
    list.Finish();
    // ads, a.tracker, b.tracker, adblock, plain, trailing.dot, after-long
    EXPECT_EQ(list.GetCounts().blocks, 7u);
    EXPECT_EQ(list.GetCounts().exceptions, 2u);
    // 0.0.0.0 as a name, withpath, withoptions, the cosmetic and URL rules,
    // "not a host", the wildcard, bad chars, the address, two binary lines
    // and the long one.
    EXPECT_EQ(list.GetCounts().skipped, 12u);

    const struct {
        const char* host;
        bool blocked;
        const char* entry;
    } cases[] = {
        {"ads.example.net", true, "ads.example.net"},
        {"X.Ads.Example.Net.", true, "ads.example.net"},
        {"example.net", false, ""},
        {"badads.example.net", false, ""},
        {"b.tracker.example", true, "b.tracker.example"},
        {"deep.down.adblock.example", true, "adblock.example"},
        {"good.adblock.example", false, ""},
        {"x.good.adblock.example", false, ""},
        {"exception-only.example", false, ""},
        {"trailing.dot.example", true, "trailing.dot.example"},
        {"after-long.example", true, "after-long.example"},
        {"localhost", false, ""},
        {"localhost.localdomain", false, ""},
        {"withpath.example", false, ""},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        CHostList::Hit hit;
        EXPECT_EQ(list.Blocks(c.host, &hit), c.blocked) << c.host;
        if (c.blocked) {
            EXPECT_EQ(hit.entry, c.entry) << c.host;
            EXPECT_EQ(hit.list, std::string_view(c.host) == "after-long.example" ? "broken.txt"
                                                                                 : "mixed.txt");
        }
    }
}

TEST(HostList, LoadsOnlyTheTxtFilesOfItsFolder) {
    TempDir dir;
    // Read in blocks: a line longer than a block, and a last line without its newline.
    std::ofstream(dir.Path() + "b.txt")
        << "0.0.0.0 from-b.example\n" + std::string(70000, 'x') + "\nshared.example";
    std::ofstream(dir.Path() + "a.txt") << "shared.example\n";
    std::ofstream(dir.Path() + "c.conf") << "from-c.example\n";
    const auto list = CHostList::LoadDirectory(dir.Path() + "");
    CHostList::Hit hit;
    EXPECT_TRUE(list->Blocks("from-b.example"));
    EXPECT_FALSE(list->Blocks("from-c.example"));
    ASSERT_TRUE(list->Blocks("shared.example", &hit));
    EXPECT_EQ(hit.list, "a.txt"); // a duplicate keeps the first list's entry
    EXPECT_EQ(list->Size(), 2u);
    EXPECT_EQ(list->GetCounts().skipped, 1u);
    EXPECT_EQ(CHostList::LoadDirectory(dir.Path() + "missing/")->Size(), 0u);
}

TEST(HostList, URLListEntriesJudgeHostsOnLabelBoundaries) {
    CSetURLList list;
    for (const char* line : {"!ok.media.net", "media.net", "pagead2.", "~http://ad.*",
                             "*/adserve/*", "~http://www.example.com/images/"})
        ASSERT_TRUE(list.AddLine(line)) << line;
    const struct {
        const char* host;
        int verdict;
    } cases[] = {
        {"media.net", 1},
        {"x.media.net", 1},
        {"socialmedia.net", 0},
        {"media.network.com", 0},
        {"ok.media.net", 2},
        {"x.ok.media.net", 2},
        {"pagead2.googlesyndication.com", 1},
        {"ad.example.org", 1},
        {"x.ad.example.org", 1},
        {"road.example.org", 0},
        {"adserve.example.org", 0},
        {"www.example.com", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(list.MatchHost(c.host), c.verdict) << c.host;
}
