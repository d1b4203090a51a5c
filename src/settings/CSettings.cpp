#include "settings/CSettings.h"

#include "settings/BuiltInLists.h"

namespace {

using Word = CSettings::Word;

// The compiled-in words. Bits that no key names keep these values for good.
constexpr std::array<std::uint32_t, static_cast<int>(Word::kCount)> kDefaultWords = {
    0x1E0000, // ProxyEngine
    0x3801,   // DimFilter
    0x1FF001, // URLFilter
    0x0,      // PopupFilter
    0x1800,   // ScriptFilter
    0x800,    // AnimFilter
    0xA000,   // Options
    0x2001,   // Privacy
    0x0,      // CookieFilter
    0x0,      // CookieExpire
    0x6000,   // AccessControl
    0x0,      // MediaFilter
};

} // namespace

CSettings::CSettings(std::string_view userName, std::unique_ptr<CConfigData> store, bool isDefault)
    : CSettingsBase(userName, std::move(store), isDefault) {
    for (std::size_t i = 0; i < m_flags.size(); ++i)
        m_flags[i].Set(kDefaultWords[i]);
    m_bools[kStandardFilterEnabled].Set(true);
    m_bools[kHostFilterEnabled].Set(true);
    m_bools[kHostFilterCheckTunnels].Set(true);
    m_ints[kProxyEngineProxyPortSec].Set(80);
    m_ints[kProxyEngineProxyRetry].Set(2);
    m_ints[kProxyEngineServerRetry].Set(2);
    m_ints[kAnimFilterRepeatCount].Set(1);
    m_ints[kCookieFilterExpireHours].Set(24);
    m_ints[kCookieFilterExpireMins].Set(0);
    RegisterAll();
}

CSettings::CSettings(const CSettings& other) = default;

CSettings::~CSettings() = default;

void CSettings::RegisterAll() {
    const auto flag = [this](const char* key, Flag f) {
        Register(key, m_flags[static_cast<int>(f.word)], f.bit);
    };
    flag("ProxyEngine.Client", kProxyEngineClient);
    flag("ProxyEngine.DoNotModifyUserAgent", kProxyEngineDoNotModifyUserAgent);
    flag("ProxyEngine.Offline", kProxyEngineOffline);
    flag("ProxyEngine.PreventCacheBypass", kProxyEnginePreventCacheBypass);
    flag("ProxyEngine.AccessLog", kProxyEngineAccessLog);
    flag("ProxyEngine.AccessLogNoLocal", kProxyEngineAccessLogNoLocal);
    flag("ProxyEngine.AccessLogLookup", kProxyEngineAccessLogLookup);
    Register("ProxyEngine.ProxyServerSec", m_strings[kProxyEngineProxyServerSec]);
    Register("ProxyEngine.ProxyPortSec", m_ints[kProxyEngineProxyPortSec]);
    Register("ProxyEngine.DontUseProxyFor", m_strings[kProxyEngineDontUseProxyFor]);
    flag("ProxyEngine.DontUseProxyForLocal", kProxyEngineDontUseProxyForLocal);
    flag("ProxyEngine.SpecialInternalHostName", kProxyEngineSpecialInternalHostName);
    flag("ProxyEngine.SpecialInternalByIP", kProxyEngineSpecialInternalByIP);
    flag("ProxyEngine.Server", kProxyEngineServer);
    Register("ProxyEngine.InternalRequestHost", m_strings[kProxyEngineInternalRequestHost]);
    Register("ProxyEngine.ProxyRetry", m_ints[kProxyEngineProxyRetry]);
    Register("ProxyEngine.ServerRetry", m_ints[kProxyEngineServerRetry]);
    flag("ProxyEngine.TypeCern", kProxyEngineTypeCern);
    flag("ProxyEngine.TypeAutomatic", kProxyEngineTypeAutomatic);
    Register("StandardFilter.Enabled", m_bools[kStandardFilterEnabled]);

    flag("DimFilter.Enabled", kDimFilterEnabled);
    flag("DimFilter.Images", kDimFilterImages);
    flag("DimFilter.Applets", kDimFilterApplets);
    flag("DimFilter.Plugins", kDimFilterPlugins);
    flag("DimFilter.NoHeaderDim", kDimFilterNoHeaderDim);
    flag("DimFilter.SameServer", kDimFilterSameServer);

    flag("URLFilter.Enabled", kURLFilterEnabled);
    flag("URLFilter.DisableBuiltIn", kURLFilterDisableBuiltIn);
    flag("URLFilter.Images", kURLFilterImages);
    flag("URLFilter.Windows", kURLFilterWindows);
    flag("URLFilter.Scripts", kURLFilterScripts);
    flag("URLFilter.Layers", kURLFilterLayers);
    flag("URLFilter.Frames", kURLFilterFrames);
    flag("URLFilter.Forms", kURLFilterForms);
    flag("URLFilter.TextLinks", kURLFilterTextLinks);
    flag("URLFilter.Backgrounds", kURLFilterBackgrounds);
    flag("URLFilter.Shockwave", kURLFilterShockwave);

    flag("PopupFilter.Enabled", kPopupFilterEnabled);

    flag("ScriptFilter.Enabled", kScriptFilterEnabled);
    flag("ScriptFilter.NoLoad", kScriptFilterNoLoad);
    flag("ScriptFilter.NoUnload", kScriptFilterNoUnload);
    flag("ScriptFilter.NoURLChange", kScriptFilterNoURLChange);
    flag("ScriptFilter.NoStatusChange", kScriptFilterNoStatusChange);

    flag("AnimFilter.Enabled", kAnimFilterEnabled);
    flag("AnimFilter.OnlyFirst", kAnimFilterOnlyFirst);
    flag("AnimFilter.Repeat", kAnimFilterRepeat);
    Register("AnimFilter.RepeatCount", m_ints[kAnimFilterRepeatCount]);
    flag("AnimFilter.NoAnim", kAnimFilterNoAnim);

    flag("Options.Replace", kOptionsReplace);
    flag("Options.ReplaceTrans", kOptionsReplaceTrans);
    flag("Options.ReplaceUser", kOptionsReplaceUser);
    flag("Options.NotWithin", kOptionsNotWithin);
    flag("Options.NotWithinPath", kOptionsNotWithinPath);
    flag("Options.NotWithinDomain", kOptionsNotWithinDomain);
    flag("Options.NoFrameResize", kOptionsNoFrameResize);
    Register("Options.UserImagePath", m_strings[kOptionsUserImagePath]);

    flag("Privacy.Enabled", kPrivacyEnabled);
    flag("Privacy.NoReferrer", kPrivacyNoReferrer);
    flag("Privacy.NoReferrerPath", kPrivacyNoReferrerPath);
    flag("Privacy.NoReferrerDomain", kPrivacyNoReferrerDomain);
    flag("Privacy.NoReferrerEnabled", kPrivacyNoReferrerEnabled);
    flag("Privacy.WebBugFilterEnabled", kPrivacyWebBugFilterEnabled);

    flag("CookieFilter.Enabled", kCookieFilterEnabled);
    flag("CookieFilter.ExpireBySession", kCookieFilterExpireBySession);
    flag("CookieFilter.DisableBuiltIn", kCookieFilterDisableBuiltIn);
    Register("CookieFilter.ExpireHours", m_ints[kCookieFilterExpireHours]);
    Register("CookieFilter.ExpireMins", m_ints[kCookieFilterExpireMins]);

    flag("AccessControl.Enabled", kAccessControlEnabled);
    flag("AccessControl.Block", kAccessControlBlock);
    Register("AccessControl.BlockTo", m_strings[kAccessControlBlockTo]);
    Register("AccessControl.BlockList", m_blockList);
    Register("CookieFilter.DomainList", m_cookieList);
    Register("WhiteList.ListEntries", m_whiteList);
    Register("ImageFilter.DimensionList", m_dimensions);
    Register("ImageFilter.URLList", m_urlList);
    Register("WebInterface.Password", m_strings[kWebInterfacePassword]);

    // The built-in lists are filled from their table once per process, here
    // at the latest, rather than on some connection's first request.
    BuiltInURLList();
    BuiltInCookieList();

    // The media filter's switches, kept in files like every other option.
    flag("MediaFilter.Enabled", kMediaFilterEnabled);
    flag("MediaFilter.Logging", kMediaFilterLogging);
    flag("MediaFilter.BlockTypesFromList", kMediaFilterBlockTypesFromList);
    flag("MediaFilter.FilterEmbedded", kMediaFilterFilterEmbedded);
    flag("MediaFilter.RemoveUnknownObjects", kMediaFilterRemoveUnknownObjects);
    flag("MediaFilter.BlockUnknown", kMediaFilterBlockUnknown);
    flag("MediaFilter.RemoveActiveX", kMediaFilterRemoveActiveX);
    flag("MediaFilter.AllowNoMediaType", kMediaFilterAllowNoMediaType);
    flag("MediaFilter.RemoveJava", kMediaFilterRemoveJava);
    flag("MediaFilter.ScriptsAsObjects", kMediaFilterScriptsAsObjects);
    Register("MediaFilter.MediaTypes", m_mediaTypes);

    // Host blocking, in a section of its own, so that older files stay valid.
    Register("HostFilter.Enabled", m_bools[kHostFilterEnabled]);
    Register("HostFilter.CheckTunnels", m_bools[kHostFilterCheckTunnels]);
}

void CSettings::LoadListDefault(const CIString& /*key*/, CSet& value, int sub) {
    // A file without the section gets the compiled-in entries; an empty
    // section stays empty.
    if (&value == &m_urlList)
        value.LoadBuiltIn(sub, builtin::kURLExampleTable, false);
    else if (&value == &m_dimensions)
        value.LoadBuiltIn(sub, builtin::kDimensionTable, false);
}

const CSetURLList& CSettings::BuiltInURLList() const {
    return builtin::URLDomainList();
}

const CSetCookieList& CSettings::BuiltInCookieList() const {
    return builtin::CookieDomainList();
}
