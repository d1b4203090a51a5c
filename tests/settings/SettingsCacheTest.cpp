#include "support/TempDir.h"

#include "settings/CSettingsCache.h"
#include "stats/CStatistic.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

CSettingsManager::Files In(const TempDir& dir) {
    return CSettingsManager::Files(dir.Path());
}

// Changes a group's file the way the configuration pages do.
void SetRepeatCount(CSettingsCache& cache, std::string_view user, int count) {
    EditSettingsRef edit = cache.GetForEdit(user);
    ASSERT_TRUE(edit);
    edit->Int(CSettings::kAnimFilterRepeatCount).Set(count);
    ASSERT_TRUE(edit->Save());
}

} // namespace

TEST(SettingsCache, StartsWithStartSettingsDefaultsAndTopStatistics) {
    TempDir dir;
    {
        CSettingsCache cache(In(dir));
        EXPECT_EQ(CSettingsCache::Current(), &cache);
        EXPECT_TRUE(dir.Exists("corvand.conf"));
        StartSettingsRef start = cache.GetStartSettings();
        ASSERT_TRUE(start);
        EXPECT_EQ(start.get(), cache.GetStartSettings().get()); // loaded once

        CStatistic* top = cache.GetStatistic("");
        ASSERT_NE(top, nullptr);
        EXPECT_EQ(top->Parent(), nullptr);
        SettingsRef defaults = cache.GetSettings("");
        ASSERT_TRUE(defaults);
        EXPECT_EQ(defaults->Statistic(), top);
        EXPECT_EQ(defaults.get(), cache.GetSettings("").get()); // cached

        CStatistic* lab = cache.GetStatistic("lab");
        EXPECT_EQ(lab->Parent(), top);
        EXPECT_EQ(cache.GetStatistic("LAB"), lab); // names compare without case
        SettingsRef labSettings = cache.GetSettings("Lab");
        ASSERT_TRUE(labSettings);
        EXPECT_EQ(labSettings->Statistic(), lab);
        EXPECT_FALSE(labSettings->HasStore());

        // A name that can't be a file: no settings, counted in the totals.
        EXPECT_FALSE(cache.GetSettings("../lab"));
        EXPECT_EQ(cache.GetStatistic("../lab"), top);
    }
    EXPECT_EQ(CSettingsCache::Current(), nullptr);
}

TEST(SettingsCache, InvalidateKeepsHeldObjectsAlive) {
    TempDir dir;
    CSettingsCache cache(In(dir));
    SettingsRef old = cache.GetSettings("lab");
    ASSERT_TRUE(old);
    EXPECT_EQ(old->GetInt(CSettings::kAnimFilterRepeatCount), 1);

    SetRepeatCount(cache, "lab", 7);
    EXPECT_EQ(cache.GetSettings("lab").get(), old.get()); // not yet invalidated
    cache.Invalidate("lab");
    EXPECT_EQ(old->RefCount(), 1);                                // the cache let go of it
    EXPECT_EQ(old->GetInt(CSettings::kAnimFilterRepeatCount), 1); // still usable

    SettingsRef fresh = cache.GetSettings("lab");
    ASSERT_TRUE(fresh);
    EXPECT_NE(fresh.get(), old.get());
    EXPECT_EQ(fresh->GetInt(CSettings::kAnimFilterRepeatCount), 7);
    EXPECT_EQ(fresh->Statistic(), old->Statistic()); // statistics stay

    // Without merging, invalidating the defaults leaves the groups alone.
    SetRepeatCount(cache, "", 3);
    cache.Invalidate("");
    EXPECT_EQ(cache.GetSettings("").get()->GetInt(CSettings::kAnimFilterRepeatCount), 3);
    EXPECT_EQ(cache.GetSettings("lab").get(), fresh.get());
    cache.Invalidate("unknown"); // nothing cached: nothing happens
}

TEST(SettingsCache, MergingFollowsTheDefaults) {
    TempDir dir;
    dir.Write("start.conf", "[Options]\nMergeSettings=1\n");
    dir.Write("corvand.conf", "[AnimFilter]\nEnabled=1\n");
    dir.Write("lab.conf", "[AnimFilter]\nEnabled=0\n");
    CSettingsCache cache(In(dir));
    EXPECT_TRUE(cache.MergeSettings());
    SettingsRef lab = cache.GetSettings("lab");
    EXPECT_TRUE(lab->IsOn(CSettings::kAnimFilterEnabled));

    // A change of the defaults reaches every group after Invalidate("").
    {
        EditSettingsRef defaults = cache.GetForEdit("");
        defaults->Int(CSettings::kAnimFilterRepeatCount).Set(6);
        ASSERT_TRUE(defaults->Save());
    }
    cache.Invalidate("");
    SettingsRef newLab = cache.GetSettings("lab");
    EXPECT_NE(newLab.get(), lab.get());
    EXPECT_EQ(newLab->GetInt(CSettings::kAnimFilterRepeatCount), 6);
    EXPECT_EQ(lab->GetInt(CSettings::kAnimFilterRepeatCount), 1);
}

TEST(SettingsCache, ReferencesSurviveConcurrentUseAndInvalidation) {
    TempDir dir;
    CSettingsCache cache(In(dir));
    std::atomic<bool> failed{false};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            const std::string user = t % 2 == 0 ? "" : "lab";
            for (int i = 0; i < 300; ++i) {
                SettingsRef settings = cache.GetSettings(user);
                SettingsRef shared = settings; // a copy holds its own reference
                if (!shared || shared->GetInt(CSettings::kProxyEngineServerRetry) != 2)
                    failed = true;
            }
        });
    }
    for (int i = 0; i < 100; ++i) {
        cache.Invalidate("lab");
        cache.Invalidate("");
    }
    for (auto& reader : readers)
        reader.join();
    EXPECT_FALSE(failed);
    EXPECT_EQ(cache.GetSettings("lab")->RefCount(), 2);
}
