#pragma once

#include "settings/CSetBool.h"
#include "settings/CSetCookieList.h"
#include "settings/CSetDimList.h"
#include "settings/CSetFlags.h"
#include "settings/CSetInt.h"
#include "settings/CSetMediaTypes.h"
#include "settings/CSetStr.h"
#include "settings/CSetURLList.h"
#include "settings/CSetWhiteList.h"
#include "settings/CSettingsBase.h"

#include <array>
#include <cstdint>

// The filter settings of one group of clients (or the defaults): every key of
// the filters, with its compiled-in default, read from the group's settings
// file.
//
// Readers use the typed accessors:
//     settings.IsOn(CSettings::kURLFilterImages)          one option of a flag word
//     settings.FlagWord(CSettings::Word::URLFilter)       the whole word, bits by
//                                                         CSettings::kURLFilterImages.bit
//     settings.GetInt(CSettings::kProxyEngineServerRetry)
//     settings.GetString(CSettings::kAccessControlBlockTo)
//     settings.BlockList().Match(url)                     the lists
// Every constant is the key's name without its point ("URLFilter.Images" is
// kURLFilterImages).
class CSettings : public CSettingsBase {
public:
    // The flag words: the boolean options of one group share a word, bit 0
    // being the group's Enabled switch and its options counted from bit 11.
    enum class Word : int {
        ProxyEngine,
        DimFilter,
        URLFilter,
        PopupFilter,
        ScriptFilter,
        AnimFilter,
        Options,
        Privacy,
        CookieFilter,
        CookieExpire, // holds only CookieFilter.ExpireBySession
        AccessControl,
        MediaFilter,
        kCount
    };
    struct Flag {
        Word word;
        int bit;
        constexpr std::uint32_t Mask() const { return std::uint32_t{1} << bit; }
    };

    static constexpr Flag kProxyEngineClient{Word::ProxyEngine, 11};
    static constexpr Flag kProxyEngineServer{Word::ProxyEngine, 12};
    static constexpr Flag kProxyEngineDoNotModifyUserAgent{Word::ProxyEngine, 13};
    static constexpr Flag kProxyEngineOffline{Word::ProxyEngine, 14};
    static constexpr Flag kProxyEnginePreventCacheBypass{Word::ProxyEngine, 15};
    static constexpr Flag kProxyEngineAccessLog{Word::ProxyEngine, 16};
    static constexpr Flag kProxyEngineAccessLogNoLocal{Word::ProxyEngine, 17};
    static constexpr Flag kProxyEngineAccessLogLookup{Word::ProxyEngine, 18};
    static constexpr Flag kProxyEngineDontUseProxyForLocal{Word::ProxyEngine, 19};
    static constexpr Flag kProxyEngineSpecialInternalHostName{Word::ProxyEngine, 20};
    static constexpr Flag kProxyEngineSpecialInternalByIP{Word::ProxyEngine, 21};
    static constexpr Flag kProxyEngineTypeCern{Word::ProxyEngine, 22};
    static constexpr Flag kProxyEngineTypeAutomatic{Word::ProxyEngine, 23};

    static constexpr Flag kDimFilterEnabled{Word::DimFilter, 0};
    static constexpr Flag kDimFilterImages{Word::DimFilter, 11};
    static constexpr Flag kDimFilterApplets{Word::DimFilter, 12};
    static constexpr Flag kDimFilterPlugins{Word::DimFilter, 13};
    static constexpr Flag kDimFilterNoHeaderDim{Word::DimFilter, 14};
    static constexpr Flag kDimFilterSameServer{Word::DimFilter, 15};

    static constexpr Flag kURLFilterEnabled{Word::URLFilter, 0};
    static constexpr Flag kURLFilterDisableBuiltIn{Word::URLFilter, 11};
    static constexpr Flag kURLFilterImages{Word::URLFilter, 12};
    static constexpr Flag kURLFilterWindows{Word::URLFilter, 13};
    static constexpr Flag kURLFilterScripts{Word::URLFilter, 14};
    static constexpr Flag kURLFilterLayers{Word::URLFilter, 15};
    static constexpr Flag kURLFilterFrames{Word::URLFilter, 16};
    static constexpr Flag kURLFilterForms{Word::URLFilter, 17};
    static constexpr Flag kURLFilterTextLinks{Word::URLFilter, 18};
    static constexpr Flag kURLFilterBackgrounds{Word::URLFilter, 19};
    static constexpr Flag kURLFilterShockwave{Word::URLFilter, 20};

    static constexpr Flag kPopupFilterEnabled{Word::PopupFilter, 0};

    static constexpr Flag kScriptFilterEnabled{Word::ScriptFilter, 0};
    static constexpr Flag kScriptFilterNoLoad{Word::ScriptFilter, 11};
    static constexpr Flag kScriptFilterNoUnload{Word::ScriptFilter, 12};
    static constexpr Flag kScriptFilterNoURLChange{Word::ScriptFilter, 13};
    static constexpr Flag kScriptFilterNoStatusChange{Word::ScriptFilter, 14};

    static constexpr Flag kAnimFilterEnabled{Word::AnimFilter, 0};
    static constexpr Flag kAnimFilterOnlyFirst{Word::AnimFilter, 11};
    static constexpr Flag kAnimFilterRepeat{Word::AnimFilter, 12};
    static constexpr Flag kAnimFilterNoAnim{Word::AnimFilter, 13};

    static constexpr Flag kOptionsReplace{Word::Options, 11};
    static constexpr Flag kOptionsReplaceTrans{Word::Options, 12};
    static constexpr Flag kOptionsReplaceUser{Word::Options, 13};
    static constexpr Flag kOptionsNotWithin{Word::Options, 14};
    static constexpr Flag kOptionsNotWithinPath{Word::Options, 15};
    static constexpr Flag kOptionsNotWithinDomain{Word::Options, 16};
    static constexpr Flag kOptionsNoFrameResize{Word::Options, 17};

    static constexpr Flag kPrivacyEnabled{Word::Privacy, 0};
    static constexpr Flag kPrivacyNoReferrer{Word::Privacy, 11};
    static constexpr Flag kPrivacyNoReferrerPath{Word::Privacy, 12};
    static constexpr Flag kPrivacyNoReferrerDomain{Word::Privacy, 13};
    static constexpr Flag kPrivacyNoReferrerEnabled{Word::Privacy, 14};
    static constexpr Flag kPrivacyWebBugFilterEnabled{Word::Privacy, 15};

    static constexpr Flag kCookieFilterEnabled{Word::CookieFilter, 0};
    static constexpr Flag kCookieFilterDisableBuiltIn{Word::CookieFilter, 11};
    static constexpr Flag kCookieFilterExpireBySession{Word::CookieExpire, 11};

    static constexpr Flag kAccessControlEnabled{Word::AccessControl, 0};
    static constexpr Flag kAccessControlBlock{Word::AccessControl, 11};

    static constexpr Flag kMediaFilterEnabled{Word::MediaFilter, 0};
    static constexpr Flag kMediaFilterLogging{Word::MediaFilter, 1};
    static constexpr Flag kMediaFilterBlockTypesFromList{Word::MediaFilter, 11};
    static constexpr Flag kMediaFilterFilterEmbedded{Word::MediaFilter, 12};
    static constexpr Flag kMediaFilterRemoveUnknownObjects{Word::MediaFilter, 13};
    static constexpr Flag kMediaFilterBlockUnknown{Word::MediaFilter, 14};
    static constexpr Flag kMediaFilterRemoveActiveX{Word::MediaFilter, 15};
    static constexpr Flag kMediaFilterAllowNoMediaType{Word::MediaFilter, 16};
    static constexpr Flag kMediaFilterRemoveJava{Word::MediaFilter, 17};
    static constexpr Flag kMediaFilterScriptsAsObjects{Word::MediaFilter, 18};

    enum BoolKey : int {
        kStandardFilterEnabled,
        kHostFilterEnabled,      // the host lists of hosts.d block their hosts
        kHostFilterCheckTunnels, // a tunnel's host is also checked against the URL lists
        kBoolCount
    };
    enum IntKey : int {
        kProxyEngineProxyPortSec,
        kProxyEngineProxyRetry,
        kProxyEngineServerRetry,
        kAnimFilterRepeatCount,
        kCookieFilterExpireHours,
        kCookieFilterExpireMins,
        kIntCount
    };
    enum StrKey : int {
        kProxyEngineProxyServerSec,
        kProxyEngineDontUseProxyFor,
        kProxyEngineInternalRequestHost,
        kOptionsUserImagePath,
        kAccessControlBlockTo,
        kWebInterfacePassword,
        kStrCount
    };

    // Every value at its compiled-in default, then what the store holds
    // (store may be null).
    CSettings(std::string_view userName, std::unique_ptr<CConfigData> store, bool isDefault);
    // A snapshot for use: the values only, with no keys, store or user name.
    CSettings(const CSettings& other);
    ~CSettings() override;

    bool IsOn(Flag flag) const { return Flags(flag.word).IsSet(flag.bit); }
    std::uint32_t FlagWord(Word word) const { return Flags(word).Get(); }
    bool GetBool(BoolKey key) const { return m_bools[key].Get(); }
    std::int32_t GetInt(IntKey key) const { return m_ints[key].Get(); }
    const CIString& GetString(StrKey key) const { return m_strings[key].Get(); }

    const CSetURLList& BlockList() const { return m_blockList; }      // AccessControl.BlockList
    const CSetCookieList& CookieList() const { return m_cookieList; } // CookieFilter.DomainList
    const CSetWhiteList& WhiteList() const { return m_whiteList; }    // WhiteList.ListEntries
    const CSetDimList& DimensionList() const { return m_dimensions; } // ImageFilter.DimensionList
    const CSetURLList& URLList() const { return m_urlList; }          // ImageFilter.URLList
    const CSetMediaTypes& MediaTypes() const { return m_mediaTypes; } // MediaFilter.MediaTypes
    // The built-in lists (INTERN.URLDomainList, INTERN.CookieDomainList): one
    // pair per process, shared by every settings object and never saved.
    const CSetURLList& BuiltInURLList() const;
    const CSetCookieList& BuiltInCookieList() const;

    // The value objects themselves, for changing them (configuration pages).
    const CSetFlags& Flags(Word word) const { return m_flags[static_cast<int>(word)]; }
    CSetFlags& Flags(Word word) { return m_flags[static_cast<int>(word)]; }
    CSetBool& Bool(BoolKey key) { return m_bools[key]; }
    CSetInt& Int(IntKey key) { return m_ints[key]; }
    CSetStr& String(StrKey key) { return m_strings[key]; }
    CSetURLList& BlockList() { return m_blockList; }
    CSetCookieList& CookieList() { return m_cookieList; }
    CSetWhiteList& WhiteList() { return m_whiteList; }
    CSetDimList& DimensionList() { return m_dimensions; }
    CSetURLList& URLList() { return m_urlList; }
    CSetMediaTypes& MediaTypes() { return m_mediaTypes; }

protected:
    void LoadListDefault(const CIString& key, CSet& value, int sub) override;

private:
    void RegisterAll();

    std::array<CSetFlags, static_cast<int>(Word::kCount)> m_flags;
    std::array<CSetBool, kBoolCount> m_bools;
    std::array<CSetInt, kIntCount> m_ints;
    std::array<CSetStr, kStrCount> m_strings;
    CSetURLList m_blockList;
    CSetCookieList m_cookieList;
    CSetWhiteList m_whiteList;
    CSetDimList m_dimensions;
    CSetURLList m_urlList;
    CSetMediaTypes m_mediaTypes;
};
