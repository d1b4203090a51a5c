#include "washers/WasherFactory.h"

#include "support/HeadLines.h"

#include "settings/CSetWhiteList.h"
#include "settings/CSettings.h"

#include <gtest/gtest.h>

TEST(WasherFactory, CouldEngageWhenAnHTMLFilterIsOn) {
    CSettings settings("", nullptr, true); // the standard filter is on by default
    auto set = [&](CSettings::Flag flag, bool on) {
        settings.Flags(flag.word).SetBit(flag.bit, on);
    };
    EXPECT_TRUE(washers::CouldEngage(settings, 0));
    EXPECT_TRUE(washers::CouldEngage(settings, kWhiteStandard | kWhitePrivacy));
    EXPECT_FALSE(washers::CouldEngage(settings, kWhiteAll));

    settings.Bool(CSettings::kStandardFilterEnabled).Set(false);
    set(CSettings::kProxyEnginePreventCacheBypass, false);
    set(CSettings::kPrivacyWebBugFilterEnabled, false);
    set(CSettings::kMediaFilterEnabled, false);
    EXPECT_FALSE(washers::CouldEngage(settings, 0));
    set(CSettings::kProxyEnginePreventCacheBypass, true);
    EXPECT_TRUE(washers::CouldEngage(settings, 0));
    set(CSettings::kProxyEnginePreventCacheBypass, false);
    // Both switches of the pair are needed.
    set(CSettings::kMediaFilterFilterEmbedded, true);
    EXPECT_FALSE(washers::CouldEngage(settings, 0));
    set(CSettings::kMediaFilterEnabled, true);
    EXPECT_TRUE(washers::CouldEngage(settings, 0));
}

TEST(WasherFactory, OnlyBodiesTheSocketCanDecode) {
    auto response = [](std::vector<std::string> fields) {
        fields.insert(fields.begin(), "HTTP/1.1 200 OK");
        return ParseLines(std::move(fields), CConnInfo::kParseResponse | CConnInfo::kParseOnly);
    };
    EXPECT_TRUE(washers::ContentEncodingWashable(response({"Content-Encoding: gzip"})));
    // A second field, even an identity, would leave the body encoded for the washer.
    EXPECT_FALSE(washers::ContentEncodingWashable(
        response({"Content-Encoding: identity", "Content-Encoding: gzip"})));
}
