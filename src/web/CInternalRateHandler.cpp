#include "web/CInternalRateHandler.h"

#include "os/Paths.h"
#include "web/BuiltInPages.h"
#include "web/InternalRequest.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <array>
#include <cstdio>
#include <memory>
#include <utility>

namespace {

// The key of the rating signatures: a line is genuine when its signature
// checks under it, so it never changes.
constexpr std::string_view kRatingKey = "cv-rating-line-signature";
static_assert(kRatingKey.size() == 24);

constexpr int kCategories = 9;

std::string OneLine(std::string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte == 127) {
            out += '%';
            out += kDigits[byte >> 4];
            out += kDigits[byte & 15];
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

CInternalRateHandler::CInternalRateHandler()
    : CInternalRateHandler(paths::FilesDir(), paths::RatingFile()) {}

CInternalRateHandler::CInternalRateHandler(std::string directory, std::string ratingFile)
    : m_directory(std::move(directory)), m_ratingFile(std::move(ratingFile)) {}

std::string_view CInternalRateHandler::SignatureKey() {
    return kRatingKey;
}

std::string CInternalRateHandler::Signature(std::string_view text) {
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_md5(), kRatingKey.data(), static_cast<int>(kRatingKey.size()),
         reinterpret_cast<const unsigned char*>(text.data()), text.size(), mac, &length);
    std::array<unsigned char, 4 * ((EVP_MAX_MD_SIZE + 2) / 3) + 1> base64{};
    const int written = EVP_EncodeBlock(base64.data(), mac, static_cast<int>(length));
    return std::string(reinterpret_cast<const char*>(base64.data()),
                       static_cast<std::size_t>(written));
}

std::string CInternalRateHandler::RatingLine(const std::tm& localTime, std::string_view url,
                                             std::string_view categories) {
    char stamp[64];
    const std::size_t length = std::strftime(stamp, sizeof stamp, "%d/%b/%Y:%H:%M:%S", &localTime);
    std::string text(stamp, length);
    text += '\t';
    text += OneLine(url);
    text += '\t';
    text += OneLine(categories);
    return text + '\t' + Signature(text) + '\n';
}

void CInternalRateHandler::Append(const std::string& line) {
    StCritical lock(m_fileLock);
    paths::MakeParentDirectory(m_ratingFile);
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(
        std::fopen(m_ratingFile.c_str(), "a"), &std::fclose);
    // A file that can't be opened loses the rating; the page is served all
    // the same.
    if (file)
        std::fputs(line.c_str(), file.get());
}

void CInternalRateHandler::HandleRequest(const CSettings& /*settings*/, InternalRequest& request) {
    CIString url;
    request.GetParameter(CIString("url"), url);

    const char* page = "cvrate.html";
    if (request.HasParameter(CIString("top"))) {
        page = "cvcats.html";
    } else if (request.HasParameter(CIString("submit"))) {
        page = "cvcats2.html";
        std::string categories;
        for (int i = 1; i <= kCategories; ++i) {
            CIString value;
            if (!request.GetParameter(CIString("cat" + std::to_string(i)), value) || value.empty())
                continue;
            if (!categories.empty())
                categories += ", ";
            categories += value.View();
        }
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        Append(RatingLine(local, url.View(), categories));
    }

    std::string type;
    CIString bytes = LoadFilesPage(m_directory, page, type);
    if (type == "text/html")
        ExpandRateTags(bytes, url.View());
    request.BeginResponse(200, type);
    request.AddResponseHeader(CIString("Pragma"), CIString("no-cache"));
    request.SendResponse(bytes.View());
}
