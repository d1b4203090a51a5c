#pragma once

#include "os/CCriticalSection.h"
#include "web/CInternalRequestHandler.h"

#include <ctime>
#include <string>
#include <string_view>

// "cvrate": a page in two frames, the rated URL below and a form of
// categories above; each submitted rating is appended to the rating file as
// one signed line (time, URL, categories, HMAC-MD5 signature in Base64).
class CInternalRateHandler : public CInternalRequestHandler {
public:
    CInternalRateHandler();
    // Pages from another directory, ratings into another file (tests).
    CInternalRateHandler(std::string directory, std::string ratingFile);

    void HandleRequest(const CSettings& settings, InternalRequest& request) override;

    // The line written for a rating, ending in LF. Control characters of
    // url and categories are written as %HH, so that a rating stays one
    // line of four fields.
    static std::string RatingLine(const std::tm& localTime, std::string_view url,
                                  std::string_view categories);
    // Base64 of the HMAC-MD5 of text under the program's rating key.
    static std::string Signature(std::string_view text);
    static std::string_view SignatureKey();

private:
    void Append(const std::string& line);

    const std::string m_directory;
    const std::string m_ratingFile;
    CCriticalSection m_fileLock; // one rating line at a time
};
