#include "web/CWebConfig.h"

#include "os/CException.h"
#include "settings/CSetCookieList.h"
#include "settings/CSettings.h"
#include "settings/CSettingsCache.h"
#include "settings/CSettingsManager.h"
#include "settings/CStartSettings.h"
#include "text/HTMLEscape.h"
#include "text/Product.h"
#include "text/Vocabulary.h"
#include "web/CWebFileManager.h"
#include "web/CWebListEditor.h"
#include "web/InternalDispatch.h"
#include "web/InternalRequest.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <array>
#include <ctime>
#include <map>

namespace {

// The key of the password digests. Stored digests match only under the key
// that made them, so it never changes.
constexpr std::string_view kDigestKey = "cv-config-digest-key-24b";
static_assert(kDigestKey.size() == 24);

constexpr std::string_view kServer = "corvane config 0.9";
constexpr const char* kDefaultPage = "proxy_engine";
constexpr ci_string_view kListEditor = "list_editor";

using Word = CSettings::Word;

bool Parameter(const InternalRequest& request, const char* name, CIString& value) {
    return request.GetParameter(CIString(name), value);
}

// The radio groups and selects: which bits a submitted value sets, and
// which placeholder shows the current choice.
struct Choice {
    const char* value; // the submitted value; null: any other value
    int bit;           // set by it; -1: none
};
struct RadioGroup {
    const char* page;
    const char* field;
    Word word;
    std::array<int, 3> clears; // bits cleared first; -1 unused
    std::array<Choice, 3> choices;
};

constexpr RadioGroup kRadioGroups[] = {
    {"proxy_engine",
     "ProxyType",
     Word::ProxyEngine,
     {22, 23, -1},
     {{{"kUseProxyTypeCern", 22}, {nullptr, 23}, {nullptr, -2}}}},
    {"proxy_engine",
     "internalRequests",
     Word::ProxyEngine,
     {20, 21, -1},
     {{{"kInternalURL", 20}, {"kInternalByIP", 21}, {nullptr, -1}}}},
    {"privacy",
     "fPrivacyFlags",
     Word::Privacy,
     {11, 12, 13},
     {{{"kNoReferAll", 11}, {"kNoReferPath", 12}, {"kNoReferDomain", 13}}}},
    {"standard_filter",
     "fAnimFilterFlags",
     Word::AnimFilter,
     {11, 12, 13},
     {{{"kDeAnimOnlyFirst", 11}, {"kDeAnimUser", 12}, {"kDeAnimRem", 13}}}},
    {"standard_filter",
     "replaceImage",
     Word::Options,
     {12, 13, -1},
     {{{"kRepTrans", 12}, {nullptr, 13}, {nullptr, -2}}}},
    {"standard_filter",
     "dontFilterWithin",
     Word::Options,
     {15, 16, -1},
     {{{"kNoInnerPath", 15}, {nullptr, 16}, {nullptr, -2}}}},
};

void ApplyRadioGroups(const CIString& page, const InternalRequest& request, CSettings& settings) {
    for (const RadioGroup& group : kRadioGroups) {
        CIString value;
        if (page != group.page || !Parameter(request, group.field, value))
            continue;
        CSetFlags& flags = settings.Flags(group.word);
        for (const int bit : group.clears)
            if (bit >= 0)
                flags.SetBit(bit, false);
        for (const Choice& choice : group.choices) {
            if (choice.bit == -2)
                break;
            if (choice.value == nullptr || value == choice.value) {
                if (choice.bit >= 0)
                    flags.SetBit(choice.bit, true);
                break;
            }
        }
    }
    if (page != "privacy")
        return;
    CIString value;
    if (Parameter(request, "cookieNILType", value)) {
        const int manner = value == "kCookieBad"    ? kCookieBad
                           : value == "kCookieGood" ? kCookieGood
                                                    : kCookieNeutral;
        settings.CookieList().SetDefaultManner(manner);
    }
    if (Parameter(request, "cookieExpire", value))
        settings.Flags(CSettings::kCookieFilterExpireBySession.word)
            .SetBit(CSettings::kCookieFilterExpireBySession.bit, value == "cookieExpireEndSession");
}

void FillRadioGroups(CIString& page, const CSettings& settings) {
    const auto mark = [&page](const char* placeholder, bool on) {
        CWebFileManager::ReplaceFirst(page, placeholder, on ? "checked" : "");
    };
    const auto select = [&page](const std::string& placeholder, bool on) {
        CWebFileManager::ReplaceFirst(page, placeholder, on ? "selected" : "");
    };
    const bool automatic = settings.IsOn(CSettings::kProxyEngineTypeAutomatic);
    select("$sel$TypeAutomatic$", automatic);
    select("$sel$TypeCern$", !automatic);
    const bool byName = settings.IsOn(CSettings::kProxyEngineSpecialInternalHostName);
    const bool byIP = settings.IsOn(CSettings::kProxyEngineSpecialInternalByIP);
    mark("$kInternalURL$checked$", byName);
    mark("$kInternalByIP$checked$", !byName && byIP);
    mark("$kInternalOther$checked$", !byName && !byIP);
    for (int i = 1; i <= 3; ++i) {
        select("$sel$serverRetry" + std::to_string(i) + "$",
               settings.GetInt(CSettings::kProxyEngineServerRetry) == i);
        select("$sel$proxyRetry" + std::to_string(i) + "$",
               settings.GetInt(CSettings::kProxyEngineProxyRetry) == i);
    }
    mark("$kNoReferAll$checked$", settings.IsOn(CSettings::kPrivacyNoReferrer));
    mark("$kNoReferPath$checked$", settings.IsOn(CSettings::kPrivacyNoReferrerPath));
    mark("$kNoReferDomain$checked$", settings.IsOn(CSettings::kPrivacyNoReferrerDomain));
    const int manner = settings.CookieList().DefaultManner();
    mark("$kCookieBad$checked$", manner == kCookieBad);
    mark("$kCookieNeutral$checked$", manner == kCookieNeutral);
    mark("$kCookieGood$checked$", manner == kCookieGood);
    const bool session = settings.IsOn(CSettings::kCookieFilterExpireBySession);
    mark("$cookieExpireEndSession$checked$", session);
    mark("$cookieExpireTime$checked$", !session);
    mark("$kDeAnimOnlyFirst$checked$", settings.IsOn(CSettings::kAnimFilterOnlyFirst));
    mark("$kDeAnimUser$checked$", settings.IsOn(CSettings::kAnimFilterRepeat));
    mark("$kDeAnimRem$checked$", settings.IsOn(CSettings::kAnimFilterNoAnim));
    mark("$kRepTrans$checked$", settings.IsOn(CSettings::kOptionsReplaceTrans));
    mark("$kRepUser$checked$", settings.IsOn(CSettings::kOptionsReplaceUser));
    mark("$kNoInnerPath$checked$", settings.IsOn(CSettings::kOptionsNotWithinPath));
    mark("$kNoInnerDomain$checked$", settings.IsOn(CSettings::kOptionsNotWithinDomain));
}

// The scheme-less authority ("host:port") of an Origin or Referer value.
std::string_view Authority(std::string_view url) {
    const auto scheme = url.find("://");
    if (scheme == std::string_view::npos)
        return {};
    url.remove_prefix(scheme + 3);
    return url.substr(0, url.find_first_of("/?#"));
}

} // namespace

bool CWebConfig::IsSameSite(const InternalRequest& request) {
    const CConnInfo& message = request.Message();
    CIString self;
    message.GetHeader(vocab::kHdrHost, self);
    CIString proxy;
    message.GetProxyAddress(proxy);
    const auto isSelf = [&](std::string_view authority) {
        const ci_string_view a(authority.data(), authority.size());
        return !a.empty() &&
               (a == ci_string_view(self) || a == ci_string_view(proxy) ||
                a == ci_string_view(kInternalMarkerHost.data(), kInternalMarkerHost.size()));
    };
    CIString value;
    if (message.GetHeader(CIString("Origin"), value))
        return isSelf(Authority(value.View()));
    if (message.GetHeader(vocab::kHdrReferer, value))
        return isSelf(Authority(value.View()));
    return true;
}

namespace {

// Applies every submitted value that names a key, then the page's own fields.
// Returns the password message, if any.
std::string ApplyForm(const CIString& page, const InternalRequest& request, CSettings& settings,
                      bool& usingDefault) {
    for (const auto& [name, value] : request.Parameters()) {
        int sub = -1;
        if (CSet* set = settings.Find(name, sub); set != nullptr && !set->IsList())
            set->SetString(sub, value);
    }
    ApplyRadioGroups(page, request, settings);
    if (page != kDefaultPage)
        return {};

    CIString hosts;
    Parameter(request, "dontUseProxyFor", hosts);
    CIString joined;
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        if (hosts[i] == '\r' && i + 1 < hosts.size() && hosts[i + 1] == '\n') {
            joined += ';';
            ++i;
        } else {
            joined += hosts[i];
        }
    }
    settings.String(CSettings::kProxyEngineDontUseProxyFor).SetString(-1, joined);

    CIString first;
    CIString second;
    Parameter(request, "passwd1", first);
    Parameter(request, "passwd2", second);
    if (first.empty() && second.empty())
        return {};
    if (first.empty() || second.empty())
        return "Please enter password and password retype !<br><br>";
    if (first.View() != second.View())
        return "Password and password retype must be the same !<br><br>";
    settings.String(CSettings::kWebInterfacePassword)
        .SetString(-1, CIString(CWebConfig::PasswordDigest(first.View())));
    usingDefault = false;
    return {};
}

void FillSettings(CIString& page, const CSettings& settings) {
    for (const auto& [key, entry] : settings.Keys()) {
        if (entry.value->IsList())
            continue;
        CIString text;
        entry.value->GetString(entry.sub, text);
        std::string_view shown = text.View();
        if (shown.size() >= 2 && shown.front() == '\'' && shown.back() == '\'')
            shown = shown.substr(1, shown.size() - 2);
        const std::string name(key.View());
        CWebFileManager::ReplaceFirst(page, "$box$" + name + "$",
                                      CWebConfig::MakeCheckbox(name, text.View()));
        CWebFileManager::ReplaceFirst(page, "$value$" + name + "$", HTMLEscape(shown));
    }
    CIString hosts = settings.GetString(CSettings::kProxyEngineDontUseProxyFor);
    for (char& c : hosts)
        if (c == ';')
            c = '\n';
    CWebFileManager::ReplaceFirst(page, "$dontUseProxyFor$", HTMLEscape(hosts.View()));
}

} // namespace

bool CWebConfig::CheckAccess(InternalRequest& request, std::string_view user, bool& usingDefault) {
    CIString authorization;
    std::string name;
    std::string password;
    if (request.GetAuthorization(authorization))
        ParseBasicCredentials(authorization.View(), name, password);
    usingDefault = false;
    if (CheckPassword(user, name, password, usingDefault))
        return true;
    request.BeginResponse(401, "text/html");
    request.AddResponseHeader(CIString("WWW-Authenticate"),
                              CIString("Basic realm=\"Corvane configuration\""));
    request.SendResponse("No authorization or wrong credentials !");
    return false;
}

bool CWebConfig::AcceptsMethod(CConnInfo::HttpMethod method) const {
    return method == CConnInfo::kMethodGet || method == CConnInfo::kMethodPost;
}

std::string CWebConfig::PasswordDigest(std::string_view password) {
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_md5(), kDigestKey.data(), static_cast<int>(kDigestKey.size()),
         reinterpret_cast<const unsigned char*>(password.data()), password.size(), mac, &length);
    std::array<unsigned char, 4 * ((EVP_MAX_MD_SIZE + 2) / 3) + 1> text{};
    const int written = EVP_EncodeBlock(text.data(), mac, static_cast<int>(length));
    return std::string(reinterpret_cast<const char*>(text.data()),
                       static_cast<std::size_t>(written));
}

void CWebConfig::ParseBasicCredentials(std::string_view header, std::string& name,
                                       std::string& password) {
    name.clear();
    password.clear();
    const auto blank = header.find(' ');
    if (blank == std::string_view::npos)
        return;
    std::string_view encoded = header.substr(blank + 1);
    while (!encoded.empty() && (encoded.back() == ' ' || encoded.back() == '\t'))
        encoded.remove_suffix(1);
    if (encoded.empty() || encoded.size() % 4 != 0 || encoded.size() > 4096)
        return;
    std::string decoded(encoded.size() / 4 * 3, '\0');
    const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(decoded.data()),
                                       reinterpret_cast<const unsigned char*>(encoded.data()),
                                       static_cast<int>(encoded.size()));
    if (length < 0)
        return;
    // The decoder counts the padding as bytes.
    std::size_t size = static_cast<std::size_t>(length);
    for (std::size_t i = encoded.size(); i > 0 && encoded[i - 1] == '=' && size > 0; --i)
        --size;
    decoded.resize(size);
    const auto colon = decoded.find(':');
    if (colon == std::string::npos || colon == 0)
        return;
    name = decoded.substr(0, colon);
    password = decoded.substr(colon + 1);
}

bool CWebConfig::CheckPassword(std::string_view user, std::string_view name,
                               std::string_view password, bool& usingDefault) {
    usingDefault = false;
    CSettingsCache* cache = CSettingsCache::Current();
    if (cache == nullptr)
        return false;
    const std::string digest = PasswordDigest(password);
    const auto equal = [&digest](std::string_view stored) {
        return stored.size() == digest.size() &&
               CRYPTO_memcmp(stored.data(), digest.data(), digest.size()) == 0;
    };
    if (!user.empty()) {
        const SettingsRef own = cache->GetSettings(user);
        if (own && !own->GetString(CSettings::kWebInterfacePassword).empty() &&
            ci_string_view(name.data(), name.size()) == ci_string_view(user.data(), user.size()) &&
            equal(own->GetString(CSettings::kWebInterfacePassword).View()))
            return true;
    }
    const SettingsRef defaults = cache->GetSettings({});
    if (!defaults)
        return false;
    std::string expected(defaults->GetString(CSettings::kWebInterfacePassword).View());
    if (expected.empty()) {
        const CStartSettings* start = cache->StartSettings();
        expected = PasswordDigest(start ? start->DefaultPassword().View() : std::string_view());
        usingDefault = true;
    }
    return ci_string_view(name.data(), name.size()) == "admin" && equal(expected);
}

std::string CWebConfig::MakeCheckbox(std::string_view key, std::string_view value) {
    const std::string name = HTMLEscape(key);
    std::string box = "<input type=\"hidden\" name=\"" + name +
                      "\" value=\"0\"><input type=\"checkbox\" name=\"" + name + "\" value=\"1\"";
    if (!value.empty() && value.front() == '1')
        box += " checked";
    return box + ">";
}

bool CWebConfig::IsAcceptableUser(std::string_view user) {
    if (!CSettingsManager::IsUsableName(user) || user.size() > 64 ||
        (!user.empty() && user.front() == '.'))
        return false;
    for (const unsigned char c : user) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_' || c == '@';
        if (!plain)
            return false;
    }
    return true;
}

void CWebConfig::RemovePlatformBlocks(CIString& page) {
    // The pages are ours and hold no block in a block; a tag without its end
    // is left as it stands.
    for (std::size_t from = 0;;) {
        const auto open = page.find("<cvplatform", from);
        if (open == CIString::npos)
            return;
        const auto openEnd = page.find('>', open);
        const auto close = page.find("</cvplatform>", open);
        if (openEnd == CIString::npos || close == CIString::npos || close < openEnd)
            return;
        const ci_string_view tag(page.data() + open, openEnd - open);
        const bool keepContent = tag.find(" standalone") != ci_string_view::npos &&
                                 tag.find("nothomeedition") == ci_string_view::npos;
        const std::size_t closeEnd = close + std::string_view("</cvplatform>").size();
        if (keepContent) {
            page.erase(close, closeEnd - close);
            page.erase(open, openEnd + 1 - open);
            from = open;
        } else {
            page.erase(open, closeEnd - open);
            from = open;
        }
    }
}

void CWebConfig::HandleRequest(const CSettings& settings, InternalRequest& request) {
    CIString value;
    if (Parameter(request, "image", value)) {
        CIString image;
        CWebFileManager::GetFile(value, image);
        request.BeginResponse(200, "image/gif");
        request.AddResponseHeader(CIString("Server"), CIString(kServer));
        request.AddResponseHeader(CIString("Expires"), CIString("Sun, 04 Oct 2020 08:49:37 GMT"));
        request.SendResponse(image.View());
        return;
    }

    std::string user = settings.UserName();
    if (Parameter(request, "UserID", value))
        user = value.View();
    if (!IsAcceptableUser(user))
        throw errors::BadRequest();

    bool usingDefault = false;
    if (!CheckAccess(request, user, usingDefault))
        return;

    CSettingsCache* cache = CSettingsCache::Current();
    EditSettingsRef edit = cache ? cache->GetForEdit(user) : EditSettingsRef();
    if (!edit)
        throw errors::InternalError();

    CIString navTo;
    if (!Parameter(request, "navTo", navTo) || navTo.empty())
        navTo = kDefaultPage;
    const bool post = request.Message().Method() == CConnInfo::kMethodPost;
    CIString set;
    const bool apply = post && Parameter(request, "set", set) && set == "yes";
    const bool listPage = navTo.StartsWith(kListEditor);
    // A list page changes a list on every POST (rows and the add field), a
    // settings page only with set=yes.
    if ((apply || (listPage && post)) && !IsSameSite(request)) {
        request.BeginResponse(403, "text/html");
        request.SendResponse("Settings change only from the proxy's own pages !");
        return;
    }

    bool changed = false;
    std::string message;
    CIString page;
    if (listPage) {
        CWebListEditor editor(&request, *edit, post);
        editor.Handle(page);
        changed = editor.Changed();
        RemovePlatformBlocks(page);
    } else {
        if (apply) {
            message = ApplyForm(navTo, request, *edit, usingDefault);
            changed = true;
        }
        CWebFileManager::GetFile(navTo + ".html", page);
        if (!message.empty())
            CWebFileManager::ReplaceFirst(page, "$alert$", message);
        RemovePlatformBlocks(page);
        FillSettings(page, *edit);
        FillRadioGroups(page, *edit);
        CWebFileManager::ReplaceFirst(page, "$alert$",
                                      navTo == kDefaultPage && usingDefault
                                          ? "<span class=\"alert\">ALERT: Using default password. "
                                            "Please change !</span><br><br>"
                                          : "");
    }

    const std::string userText = HTMLEscape(user);
    CWebFileManager::ReplaceFirst(page, "$login$", user.empty() ? "admin" : userText);
    CWebFileManager::ReplaceAll(page, "$foo$", std::to_string(static_cast<long>(std::clock())));
    CWebFileManager::ReplaceAll(page, "$userid$", userText);
    CWebFileManager::ReplaceFirst(page, "$footer$", product::kVersion);

    if (changed) {
        edit->Save();
        edit = EditSettingsRef();
        cache->Invalidate(user);
    }
    request.BeginResponse(200, "text/html");
    request.AddResponseHeader(CIString("Server"), CIString(kServer));
    request.SendResponse(page.View());
}
