#include "support/TempDir.h"

#include "settings/CSettingsManager.h"

#include <gtest/gtest.h>

namespace {

// A fresh defaults file: value sections first, sections and names in order
// without case, every key with its compiled-in default.
const char* const kDefaultsFile =
    "[AccessControl]\nBlock=0\nBlockTo=''\nEnabled=0\n[AnimFilter]\nEnabled=0\nNoAnim=0\n"
    "OnlyFirst=1\nRepeat=0\nRepeatCount=1\n[CookieFilter]\nDisableBuiltIn=0\nEnabled=0\n"
    "ExpireBySession=0\nExpireHours=24\nExpireMins=0\n[DimFilter]\nApplets=1\nEnabled=1\n"
    "Images=1\nNoHeaderDim=0\nPlugins=1\nSameServer=0\n"
    "[HostFilter]\nCheckTunnels=1\nEnabled=1\n[MediaFilter]\n"
    "AllowNoMediaType=0\nBlockTypesFromList=0\nBlockUnknown=0\nEnabled=0\n"
    "FilterEmbedded=0\nLogging=0\nRemoveActiveX=0\nRemoveJava=0\nRemoveUnknownObjects=0\n"
    "ScriptsAsObjects=0\n[Options]\nNoFrameResize=0\nNotWithin=0\nNotWithinDomain=0\n"
    "NotWithinPath=1\nReplace=0\nReplaceTrans=0\nReplaceUser=1\nUserImagePath=''\n"
    "[PopupFilter]\nEnabled=0\n[Privacy]\nEnabled=1\nNoReferrer=0\nNoReferrerDomain=1\n"
    "NoReferrerEnabled=0\nNoReferrerPath=0\nWebBugFilterEnabled=0\n[ProxyEngine]\n"
    "AccessLog=0\nAccessLogLookup=1\nAccessLogNoLocal=1\nClient=0\n"
    "DoNotModifyUserAgent=0\nDontUseProxyFor=''\nDontUseProxyForLocal=1\n"
    "InternalRequestHost=''\nOffline=0\nPreventCacheBypass=0\nProxyPortSec=80\n"
    "ProxyRetry=2\nProxyServerSec=''\nServer=0\nServerRetry=2\nSpecialInternalByIP=0\n"
    "SpecialInternalHostName=1\nTypeAutomatic=0\nTypeCern=0\n[ScriptFilter]\nEnabled=0\n"
    "NoLoad=1\nNoStatusChange=0\nNoUnload=1\nNoURLChange=0\n[StandardFilter]\nEnabled=1\n"
    "[URLFilter]\nBackgrounds=1\nDisableBuiltIn=0\nEnabled=1\nForms=1\nFrames=1\n"
    "Images=1\nLayers=1\nScripts=1\nShockwave=1\nTextLinks=1\nWindows=1\n[WebInterface]\n"
    "Password=''\n[AccessControl.BlockList]\n[CookieFilter.DomainList]\n*,1\n"
    "[ImageFilter.DimensionList]\n60,52\n80,340\n88,31\n100,70\n120,60\n120,90\n120,240\n"
    "120,600\n125,44\n125,90\n125,125\n130,40\n130,80\n137,60\n140,40\n150,74\n155,40\n"
    "156,60\n160,600\n175,45\n180,60\n180,150\n196,46\n200,42\n200,50\n220,40\n230,33\n"
    "234,60\n240,160\n240,400\n250,50\n250,250\n275,80\n300,60\n300,130\n300,250\n"
    "336,280\n357,40\n370,50\n392,72\n400,40\n400,50\n400,60\n400,62\n400,64\n400,68\n"
    "420,80\n432,50\n450,75\n460,60\n460,55\n466,54\n468,55\n468,60\n468,64\n468,68\n"
    "468,70\n472,64\n486,60\n554,90\n[ImageFilter.URLList]\n//example/beis?iel\n"
    "[MediaFilter.MediaTypes]\n[WhiteList.ListEntries]\n";

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
    EXPECT_EQ(dir.Read("corvand.conf"), kDefaultsFile);
    // The file is all there is: the key map holds exactly the saved keys, 81 values and 6 lists.
    EXPECT_EQ(defaults->Keys().size(), 89u);
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
    EXPECT_EQ(dir.Read("start.conf"),
              "[Mail]\nRecipient='root@localhost'\nSmtp-Server='localhost'\n[Options]\n"
              "MergeSettings=0\n[ProxyEngine]\nEffectiveGroup='corvand'\nEffectiveUser='corvand'\n"
              "LocalPort=9090\nUseHTTP11=1\n[WebInterface]\nDefaultPassword='tarnivelo'\n"
              "[Groups.List]\n");
    EXPECT_EQ(start->LocalPort(), 9090);
    EXPECT_EQ(start->DefaultPassword(), "tarnivelo");
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
    EXPECT_EQ(lab->FlagWord(CSettings::Word::URLFilter), 0x1FF001u & ~0x1001u);
    EXPECT_EQ(lab->GetString(CSettings::kAccessControlBlockTo), "http://x/'y'");
    EXPECT_EQ(lab->DimensionList().Count(), 0u); // an empty section stays empty
    EXPECT_EQ(lab->BlockList().Match("http://ads/"), 1);
    EXPECT_EQ(StateOf(*lab, "URLFilter.Images"), CSettingsBase::State::UserFile);
    EXPECT_EQ(StateOf(*lab, "URLFilter.Windows"), CSettingsBase::State::BuiltIn);
    EXPECT_EQ(StateOf(*lab, "ImageFilter.DimensionList"), CSettingsBase::State::UserFile);

    EXPECT_EQ(TextOf(*lab, "urlfilter.images"), "0");
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
