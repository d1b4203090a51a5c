#pragma once

#include "web/CInternalRequestHandler.h"

#include "text/CIString.h"

#include <string>
#include <string_view>

class CSettings;

// The configuration pages under "/conf": password protected (HTTP Basic
// authentication against a digest of the password), filled with the settings
// of the user being configured, and applying a submitted form to them, saving
// them and making the settings cache load them afresh. Images need no login.
//
// Changes come only from a POST whose Origin or Referer, when present, is the
// proxy itself: browsers resend cached credentials, so any page could
// otherwise change the settings with an image tag or a form of its own.
class CWebConfig : public CInternalRequestHandler {
public:
    void HandleRequest(const CSettings& settings, InternalRequest& request) override;
    bool AcceptsMethod(CConnInfo::HttpMethod method) const override;

    // The stored form of a password: Base64 of its HMAC-MD5 under the
    // program's key (24 characters).
    static std::string PasswordDigest(std::string_view password);
    // Whether name and password may configure user (empty: the defaults).
    // usingDefault tells whether the administrator's password is still the
    // default one of the start settings.
    static bool CheckPassword(std::string_view user, std::string_view name,
                              std::string_view password, bool& usingDefault);
    // Name and password of an "Authorization: Basic ..." value; both empty
    // when it holds no colon after the first character.
    static void ParseBasicCredentials(std::string_view header, std::string& name,
                                      std::string& password);
    // The access check of the pages for user: true when the request's
    // credentials may configure it; otherwise the 401 answer asking for
    // credentials has been sent.
    static bool CheckAccess(InternalRequest& request, std::string_view user, bool& usingDefault);
    // Whether the request comes from the proxy's own pages: its Origin, or
    // without one its Referer, names the proxy; a request with neither
    // (not from a browser page) counts as such.
    static bool IsSameSite(const InternalRequest& request);
    // A hidden 0 and a check box of 1 for the key, ticked when value starts with 1.
    static std::string MakeCheckbox(std::string_view key, std::string_view value);
    // Whether a user name given by a request may name a settings file.
    static bool IsAcceptableUser(std::string_view user);
    // Drops the blocks of a page that belong to other editions: a block
    // marked standalone (and not nothomeedition) loses only its two tags.
    static void RemovePlatformBlocks(CIString& page);
};
