#include "TempDir.h"

#include "settings/CSettingsManager.h"

#include <gtest/gtest.h>
#include <map>
#include <utility>

namespace {

using Section = std::vector<std::pair<std::string, std::string>>;

// The sections of a settings file in file order, each with its lines split at
// the first '=' (lines without one have an empty name).
std::vector<std::pair<std::string, Section>> Parse(const std::string& text) {
    std::vector<std::pair<std::string, Section>> sections;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.front() == '[') {
            sections.emplace_back(line.substr(1, line.size() - 2), Section{});
            continue;
        }
        const auto equals = line.find('=');
        if (sections.empty())
            sections.emplace_back("<no section>", Section{});
        sections.back().second.emplace_back(
            equals == std::string::npos ? "" : line.substr(0, equals),
            equals == std::string::npos ? line : line.substr(equals + 1));
    }
    return sections;
}

// Every documented key of the filter settings with the text of its default.
const std::map<std::string, std::string, std::less<>>& DefaultFilterValues() {
    static const std::map<std::string, std::string, std::less<>> values = {
        {"ProxyEngine.Client", "0"},
        {"ProxyEngine.DoNotModifyUserAgent", "0"},
        {"ProxyEngine.Offline", "0"},
        {"ProxyEngine.PreventCacheBypass", "0"},
        {"ProxyEngine.AccessLog", "0"},
        {"ProxyEngine.AccessLogNoLocal", "1"},
        {"ProxyEngine.AccessLogLookup", "1"},
        {"ProxyEngine.ProxyServerSec", "''"},
        {"ProxyEngine.ProxyPortSec", "80"},
        {"ProxyEngine.DontUseProxyFor", "''"},
        {"ProxyEngine.DontUseProxyForLocal", "1"},
        {"ProxyEngine.SpecialInternalHostName", "1"},
        {"ProxyEngine.SpecialInternalByIP", "0"},
        {"ProxyEngine.Server", "0"},
        {"ProxyEngine.InternalRequestHost", "''"},
        {"ProxyEngine.ProxyRetry", "2"},
        {"ProxyEngine.ServerRetry", "2"},
        {"ProxyEngine.TypeCern", "0"},
        {"ProxyEngine.TypeAutomatic", "0"},
        {"StandardFilter.Enabled", "1"},
        {"DimFilter.Enabled", "1"},
        {"DimFilter.Images", "1"},
        {"DimFilter.Applets", "1"},
        {"DimFilter.Plugins", "1"},
        {"DimFilter.NoHeaderDim", "0"},
        {"DimFilter.SameServer", "0"},
        {"URLFilter.Enabled", "1"},
        {"URLFilter.DisableBuiltIn", "0"},
        {"URLFilter.Images", "1"},
        {"URLFilter.Windows", "1"},
        {"URLFilter.Scripts", "1"},
        {"URLFilter.Layers", "1"},
        {"URLFilter.Frames", "1"},
        {"URLFilter.Forms", "1"},
        {"URLFilter.TextLinks", "1"},
        {"URLFilter.Backgrounds", "1"},
        {"URLFilter.Shockwave", "1"},
        {"PopupFilter.Enabled", "0"},
        {"ScriptFilter.Enabled", "0"},
        {"ScriptFilter.NoLoad", "1"},
        {"ScriptFilter.NoUnload", "1"},
        {"ScriptFilter.NoURLChange", "0"},
        {"ScriptFilter.NoStatusChange", "0"},
        {"AnimFilter.Enabled", "0"},
        {"AnimFilter.OnlyFirst", "1"},
        {"AnimFilter.Repeat", "0"},
        {"AnimFilter.RepeatCount", "1"},
        {"AnimFilter.NoAnim", "0"},
        {"Options.Replace", "0"},
        {"Options.ReplaceTrans", "0"},
        {"Options.ReplaceUser", "1"},
        {"Options.NotWithin", "0"},
        {"Options.NotWithinPath", "1"},
        {"Options.NotWithinDomain", "0"},
        {"Options.NoFrameResize", "0"},
        {"Options.UserImagePath", "''"},
        {"Privacy.Enabled", "1"},
        {"Privacy.NoReferrer", "0"},
        {"Privacy.NoReferrerPath", "0"},
        {"Privacy.NoReferrerDomain", "1"},
        {"Privacy.NoReferrerEnabled", "0"},
        {"Privacy.WebBugFilterEnabled", "0"},
        {"CookieFilter.Enabled", "0"},
        {"CookieFilter.ExpireBySession", "0"},
        {"CookieFilter.DisableBuiltIn", "0"},
        {"CookieFilter.ExpireHours", "24"},
        {"CookieFilter.ExpireMins", "0"},
        {"AccessControl.Enabled", "0"},
        {"AccessControl.Block", "0"},
        {"AccessControl.BlockTo", "''"},
        {"WebInterface.Password", "''"},
        {"MediaFilter.Enabled", "0"},
        {"MediaFilter.Logging", "0"},
        {"MediaFilter.BlockTypesFromList", "0"},
        {"MediaFilter.FilterEmbedded", "0"},
        {"MediaFilter.RemoveUnknownObjects", "0"},
        {"MediaFilter.BlockUnknown", "0"},
        {"MediaFilter.RemoveActiveX", "0"},
        {"MediaFilter.AllowNoMediaType", "0"},
        {"MediaFilter.RemoveJava", "0"},
        {"MediaFilter.ScriptsAsObjects", "0"},
    };
    return values;
}

const std::vector<std::string> kDimensions = {
    "60,52",  "80,340", "88,31",   "100,70",  "120,60",  "120,90",  "120,240", "120,600",
    "125,44", "125,90", "125,125", "130,40",  "130,80",  "137,60",  "140,40",  "150,74",
    "155,40", "156,60", "160,600", "175,45",  "180,60",  "180,150", "196,46",  "200,42",
    "200,50", "220,40", "230,33",  "234,60",  "240,160", "240,400", "250,50",  "250,250",
    "275,80", "300,60", "300,130", "300,250", "336,280", "357,40",  "370,50",  "392,72",
    "400,40", "400,50", "400,60",  "400,62",  "400,64",  "400,68",  "420,80",  "432,50",
    "450,75", "460,60", "460,55",  "466,54",  "468,55",  "468,60",  "468,64",  "468,68",
    "468,70", "472,64", "486,60",  "554,90"};

bool LessNoCase(const std::string& a, const std::string& b) {
    return CIString(a) < CIString(b);
}

// Checks a whole settings file: value sections first, every name in order
// without case, and exactly the expected values and lists.
void ExpectFile(const std::string& text,
                const std::map<std::string, std::string, std::less<>>& values,
                const std::map<std::string, std::vector<std::string>>& lists) {
    std::map<std::string, std::string, std::less<>> foundValues;
    std::map<std::string, std::vector<std::string>> foundLists;
    std::string previous;
    bool inLists = false;
    for (const auto& [name, lines] : Parse(text)) {
        const bool isList = name.find('.') != std::string::npos;
        EXPECT_FALSE(inLists && !isList) << name << ": value section after the lists";
        if (isList != inLists)
            previous.clear();
        inLists = isList;
        EXPECT_TRUE(previous.empty() || LessNoCase(previous, name)) << previous << " " << name;
        previous = name;
        if (isList) {
            for (const auto& [key, value] : lines)
                foundLists[name].push_back(key.empty() ? value : key + "=" + value);
            foundLists.try_emplace(name);
            continue;
        }
        std::string previousKey;
        for (const auto& [key, value] : lines) {
            EXPECT_TRUE(previousKey.empty() || LessNoCase(previousKey, key)) << key;
            previousKey = key;
            foundValues[name + "." + key] = value;
        }
    }
    EXPECT_EQ(foundValues.size(), values.size());
    for (const auto& [key, value] : values)
        EXPECT_EQ(foundValues[key], value) << key;
    for (const auto& [key, value] : foundValues)
        EXPECT_TRUE(values.count(key)) << "unexpected key " << key;
    EXPECT_EQ(foundLists, lists);
}

CIString TextOf(const CSettingsBase& settings, const char* key) {
    int sub = -1;
    const CSet* value = settings.Find(key, sub);
    if (value == nullptr)
        return "<none>";
    CIString text;
    value->GetString(sub, text);
    return text;
}

CSettingsBase::State StateOf(const CSettingsBase& settings, const char* key) {
    return settings.Keys().at(key).state;
}

} // namespace

TEST(Registry, FreshDefaultsFileHoldsEveryKeyWithItsDefault) {
    TempDir dir;
    CSettingsManager manager{CSettingsManager::Files(dir.Path())};
    EditSettingsRef defaults = manager.Load(CSettingsManager::kDefaultsFile, "ignored");
    ASSERT_TRUE(defaults);
    EXPECT_TRUE(defaults->IsDefault());
    EXPECT_TRUE(defaults->UserName().empty());
    ASSERT_TRUE(dir.Exists("corvand.conf"));
    ExpectFile(dir.Read("corvand.conf"), DefaultFilterValues(),
               {{"AccessControl.BlockList", {}},
                {"CookieFilter.DomainList", {"*,1"}},
                {"ImageFilter.DimensionList", kDimensions},
                {"ImageFilter.URLList", {"//example/beis?iel"}},
                {"MediaFilter.MediaTypes", {}},
                {"WhiteList.ListEntries", {}}});
    // The file is all there is: the key map holds exactly the saved keys.
    EXPECT_EQ(defaults->Keys().size(), DefaultFilterValues().size() + 6);
    for (const auto& [key, entry] : defaults->Keys()) {
        EXPECT_EQ(entry.state, CSettingsBase::State::BuiltIn) << key;
        EXPECT_EQ(key.find("INTERN."), CIString::npos);
    }

    // Read back, every value comes from the file.
    EditSettingsRef again = manager.Load(CSettingsManager::kUserFile, "");
    ASSERT_TRUE(again);
    for (const auto& [key, entry] : again->Keys())
        EXPECT_EQ(entry.state, CSettingsBase::State::Defaults) << key;
}

TEST(Registry, FreshStartFileHoldsEveryStartKey) {
    TempDir dir;
    StartSettingsRef start = CSettingsManager(CSettingsManager::Files(dir.Path())).LoadStart();
    ASSERT_TRUE(start);
    EXPECT_FALSE(start->HasStore());
    ExpectFile(dir.Read("start.conf"),
               {{"ProxyEngine.LocalPort", "9090"},
                {"ProxyEngine.UseHTTP11", "1"},
                {"ProxyEngine.EffectiveUser", "'corvand'"},
                {"ProxyEngine.EffectiveGroup", "'corvand'"},
                {"Options.MergeSettings", "0"},
                {"WebInterface.DefaultPassword", "'tarnivelo'"},
                {"Mail.Recipient", "'root@localhost'"},
                {"Mail.Smtp-Server", "'localhost'"}},
               {{"Groups.List", {}}});
    EXPECT_EQ(start->LocalPort(), 9090);
    EXPECT_TRUE(start->UseHTTP11());
    EXPECT_EQ(start->EffectiveUser(), "corvand");
    EXPECT_EQ(start->DefaultPassword(), "tarnivelo");
    EXPECT_FALSE(start->MergeSettings());
    EXPECT_EQ(start->Groups().Count(), 0u);
}

TEST(Registry, StartFileIsReadAndNeverRewritten) {
    TempDir dir;
    const std::string text = "[proxyengine]\nlocalport=8123\nEffectiveUser='nobody'\n"
                             "[Groups.List]\nlab = 10.0.0.0/255.0.0.0\n";
    dir.Write("start.conf", text);
    StartSettingsRef start = CSettingsManager(CSettingsManager::Files(dir.Path())).LoadStart();
    EXPECT_EQ(start->LocalPort(), 8123);
    EXPECT_EQ(start->EffectiveUser(), "nobody");
    EXPECT_EQ(start->EffectiveGroup(), "corvand");
    ASSERT_EQ(start->Groups().Count(), 1u);
    EXPECT_EQ(start->Groups().Lookup(std::string_view("10.1.2.3")), CIString("lab"));
    EXPECT_EQ(dir.Read("start.conf"), text);
}

TEST(Registry, AccessorsGiveTheCompiledInDefaults) {
    const CSettings settings({}, nullptr, true);
    using S = CSettings;
    EXPECT_EQ(settings.FlagWord(S::Word::ProxyEngine), 0x1E0000u);
    EXPECT_EQ(settings.FlagWord(S::Word::DimFilter), 0x3801u);
    EXPECT_EQ(settings.FlagWord(S::Word::URLFilter), 0x1FF001u);
    EXPECT_EQ(settings.FlagWord(S::Word::PopupFilter), 0u);
    EXPECT_EQ(settings.FlagWord(S::Word::ScriptFilter), 0x1800u);
    EXPECT_EQ(settings.FlagWord(S::Word::AnimFilter), 0x800u);
    EXPECT_EQ(settings.FlagWord(S::Word::Options), 0xA000u);
    EXPECT_EQ(settings.FlagWord(S::Word::Privacy), 0x2001u);
    EXPECT_EQ(settings.FlagWord(S::Word::CookieFilter), 0u);
    EXPECT_EQ(settings.FlagWord(S::Word::CookieExpire), 0u);
    EXPECT_EQ(settings.FlagWord(S::Word::AccessControl), 0x6000u);
    EXPECT_EQ(settings.FlagWord(S::Word::MediaFilter), 0u);
    EXPECT_TRUE(settings.IsOn(S::kURLFilterShockwave));
    EXPECT_FALSE(settings.IsOn(S::kURLFilterDisableBuiltIn));
    EXPECT_EQ(S::kURLFilterShockwave.Mask(), 1u << 20);
    EXPECT_TRUE(settings.GetBool(S::kStandardFilterEnabled));
    EXPECT_EQ(settings.GetInt(S::kProxyEngineProxyPortSec), 80);
    EXPECT_EQ(settings.GetInt(S::kCookieFilterExpireHours), 24);
    EXPECT_EQ(settings.GetString(S::kWebInterfacePassword), "");
    // Without a store the lists hold their compiled-in entries.
    EXPECT_EQ(settings.DimensionList().Count(), 60u);
    EXPECT_TRUE(settings.DimensionList().Contains(468, 60));
    EXPECT_EQ(settings.URLList().Count(), 1u);
    EXPECT_EQ(settings.URLList().Match("http://example/beispiel"), 0); // inactive
    EXPECT_EQ(settings.BlockList().Count(), 0u);
    EXPECT_EQ(settings.CookieList().DefaultManner(), kCookieNeutral);
    EXPECT_GT(settings.BuiltInURLList().Count(), 0u);
    EXPECT_EQ(&settings.BuiltInURLList(), &CSettings({}, nullptr, false).BuiltInURLList());
}

TEST(Registry, FileValuesFlagBitsAndUnknownContent) {
    TempDir dir;
    dir.Write("lab.conf", "[urlfilter]\r\nimages=0\r\nenabled=0\r\nUnknown=keep\r\n"
                          "[AccessControl]\r\nBlockTo='http://x/\\'y\\''\r\n"
                          "[ImageFilter.DimensionList]\r\n[AccessControl.BlockList]\r\n"
                          "ads/\r\n//!off/\r\n[Extra.List]\r\nkept\r\n");
    CSettingsManager manager{CSettingsManager::Files(dir.Path())};
    EditSettingsRef lab = manager.Load(CSettingsManager::kUserFile, "lab");
    ASSERT_TRUE(lab);
    EXPECT_FALSE(lab->IsDefault());
    EXPECT_EQ(lab->UserName(), "lab");
    EXPECT_FALSE(lab->IsOn(CSettings::kURLFilterImages));
    EXPECT_FALSE(lab->IsOn(CSettings::kURLFilterEnabled));
    EXPECT_TRUE(lab->IsOn(CSettings::kURLFilterWindows));
    EXPECT_EQ(lab->FlagWord(CSettings::Word::URLFilter), 0x1FF001u & ~0x1001u);
    EXPECT_EQ(lab->GetString(CSettings::kAccessControlBlockTo), "http://x/'y'");
    EXPECT_EQ(lab->DimensionList().Count(), 0u); // an empty section stays empty
    EXPECT_EQ(lab->BlockList().Match("http://ads/"), 1);
    EXPECT_EQ(StateOf(*lab, "URLFilter.Images"), CSettingsBase::State::UserFile);
    EXPECT_EQ(StateOf(*lab, "URLFilter.Windows"), CSettingsBase::State::BuiltIn);
    EXPECT_EQ(StateOf(*lab, "ImageFilter.DimensionList"), CSettingsBase::State::UserFile);

    EXPECT_EQ(TextOf(*lab, "urlfilter.images"), "0");
    EXPECT_EQ(TextOf(*lab, "URLFilter.Windows"), "1");
    EXPECT_EQ(TextOf(*lab, "AccessControl.BlockTo"), "'http://x/\\'y\\''");
    int sub = 0;
    CSet* images = lab->Find("URLFILTER.IMAGES", sub);
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(sub, 12);
    images->SetString(sub, "1");
    EXPECT_TRUE(lab->IsOn(CSettings::kURLFilterImages));
    EXPECT_EQ(lab->Find("Nope.Key", sub), nullptr);
    EXPECT_EQ(lab->Find("INTERN.URLDomainList", sub), nullptr);

    EXPECT_TRUE(lab->Save());
    const std::string saved = dir.Read("lab.conf");
    EXPECT_NE(saved.find("[urlfilter]\nBackgrounds=1\nDisableBuiltIn=0\nenabled=0\n"),
              std::string::npos)
        << saved;
    EXPECT_NE(saved.find("images=1\n"), std::string::npos);
    EXPECT_NE(saved.find("Unknown=keep\n"), std::string::npos);
    EXPECT_NE(saved.find("[AccessControl.BlockList]\nads/\n//!off/\n"), std::string::npos);
    EXPECT_NE(saved.find("[Extra.List]\nkept\n"), std::string::npos);
    EXPECT_NE(saved.find("BlockTo='http://x/\\'y\\''\n"), std::string::npos);
    EXPECT_EQ(saved.find('\r'), std::string::npos);
}

TEST(Registry, CopyIsAPlainSnapshot) {
    TempDir dir;
    dir.Write("corvand.conf", "[AnimFilter]\nRepeatCount=5\n");
    CSettingsManager manager{CSettingsManager::Files(dir.Path())};
    EditSettingsRef original = manager.Load(CSettingsManager::kDefaultsFile, {});
    const CSettings copy(*original);
    EXPECT_EQ(copy.GetInt(CSettings::kAnimFilterRepeatCount), 5);
    EXPECT_TRUE(copy.Keys().empty());
    EXPECT_FALSE(copy.HasStore());
    EXPECT_FALSE(copy.IsDefault());
    EXPECT_EQ(copy.RefCount(), 1);
    EXPECT_EQ(copy.DimensionList().Count(), 60u);
    original->Int(CSettings::kAnimFilterRepeatCount).Set(9);
    original->DimensionList().AddLine("1,1");
    EXPECT_EQ(copy.GetInt(CSettings::kAnimFilterRepeatCount), 5);
    EXPECT_EQ(copy.DimensionList().Count(), 60u);
}

TEST(Registry, MergingCopiesTheDefaultsFileButNeverSavesIt) {
    TempDir dir;
    dir.Write("corvand.conf", "[AnimFilter]\nEnabled=1\n[ImageFilter.URLList]\nshared/\n");
    dir.Write("lab.conf", "[AnimFilter]\nEnabled=0\nRepeatCount=3\n[Keep]\nx=1\n");
    CSettingsManager manager{CSettingsManager::Files(dir.Path())};
    manager.SetMergeSettings(true);

    EditSettingsRef use = manager.GetForUse("lab");
    ASSERT_TRUE(use);
    EXPECT_FALSE(use->HasStore());
    EXPECT_TRUE(use->IsOn(CSettings::kAnimFilterEnabled));
    EXPECT_EQ(use->GetInt(CSettings::kAnimFilterRepeatCount), 3);
    // What the defaults file holds is merged, lists too.
    EXPECT_EQ(use->URLList().Match("http://shared/"), 1);
    EXPECT_EQ(use->URLList().Count(), 1u);

    EditSettingsRef edit = manager.GetForEdit("lab");
    ASSERT_TRUE(edit && edit->HasStore());
    EXPECT_TRUE(edit->IsOn(CSettings::kAnimFilterEnabled));
    EXPECT_EQ(edit->URLList().Count(), 1u); // lists are not merged for editing
    EXPECT_EQ(edit->URLList().Match("http://shared/"), 0);
    edit->Int(CSettings::kAnimFilterRepeatCount).Set(4);
    EXPECT_TRUE(edit->Save());
    const std::string saved = dir.Read("lab.conf");
    EXPECT_NE(saved.find("[AnimFilter]\nEnabled=0\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("RepeatCount=4\n"), std::string::npos);
    EXPECT_NE(saved.find("[Keep]\nx=1\n"), std::string::npos);

    // Without merging the group's file alone counts: missing keys are the
    // compiled-in defaults, not the defaults file's values.
    dir.Write("solo.conf", "[AnimFilter]\nRepeatCount=2\n");
    manager.SetMergeSettings(false);
    EditSettingsRef solo = manager.GetForUse("solo");
    EXPECT_FALSE(solo->IsOn(CSettings::kAnimFilterEnabled));
    EXPECT_EQ(solo->GetInt(CSettings::kAnimFilterRepeatCount), 2);
    EXPECT_EQ(solo->URLList().Match("http://shared/"), 0);
    EditSettingsRef soloEdit = manager.GetForEdit("solo");
    EXPECT_FALSE(soloEdit->IsOn(CSettings::kAnimFilterEnabled));
}

TEST(Registry, GroupNamesThatLeaveTheDirectoryAreRefused) {
    TempDir dir;
    CSettingsManager manager{CSettingsManager::Files(dir.Path() + "conf/")};
    for (const char* name : {"../escape", "a/b", "..", "."})
        EXPECT_FALSE(manager.Load(CSettingsManager::kUserFile, name)) << name;
    EXPECT_FALSE(manager.GetForUse("../escape"));
    EXPECT_FALSE(manager.GetForEdit("../escape"));
    EXPECT_FALSE(dir.Exists("escape.conf"));
    EXPECT_TRUE(manager.Load(CSettingsManager::kUserFile, "..lab"));
    EXPECT_TRUE(dir.Exists("conf/..lab.conf"));
}
