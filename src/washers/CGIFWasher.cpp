#include "washers/CGIFWasher.h"

#include "http/CConnInfo.h"
#include "os/CBuffer.h"
#include "os/CException.h"
#include "settings/CSetWhiteList.h"
#include "settings/CSettings.h"
#include "stats/CStatistic.h"
#include "text/Vocabulary.h"
#include "washers/AdVerdicts.h"
#include "web/CInternalGIFRequestHandler.h"
#include "web/InternalDispatch.h"

#include <algorithm>

namespace {

// Bytes needed before the header can be judged: signature, version, width,
// height and the packed byte of the logical screen descriptor.
constexpr std::size_t kHeaderBytes = 11;
// Header and logical screen descriptor.
constexpr std::uint64_t kScreenEnd = 13;
// An image descriptor with its LZW code-size byte.
constexpr std::uint64_t kDescriptorBytes = 11;
// The application extension that carries the animation's loop count, and
// the two count bytes behind it.
constexpr std::string_view kLoopExtension("\x21\xFF\x0BNETSCAPE2.0\x03\x01", 16);
constexpr std::uint64_t kLoopExtensionBytes = 18;

constexpr char kExtension = 0x21;
constexpr char kImage = 0x2C;
constexpr char kTrailer = 0x3B;

std::uint64_t ColourTableSize(unsigned char packed) {
    return (packed & 0x80) ? 3u << ((packed & 7) + 1) : 0;
}

int Word16(std::string_view data, std::size_t at) {
    return static_cast<unsigned char>(data[at]) | static_cast<unsigned char>(data[at + 1]) << 8;
}

// False once the bytes seen so far cannot begin a GIF header.
bool CouldBeGIF(std::string_view data) {
    const std::size_t n = std::min<std::size_t>(data.size(), 6);
    return std::string_view("GIF87a").substr(0, n) == data.substr(0, n) ||
           std::string_view("GIF89a").substr(0, n) == data.substr(0, n);
}

} // namespace

CGIFWasher::CGIFWasher(WasherContext context) : CWasher(std::move(context)) {}

bool CGIFWasher::IsGIF(std::string_view data) {
    if (data.size() < kHeaderBytes)
        return true;
    return CouldBeGIF(data);
}

bool CGIFWasher::IsBannerByHeader(const CSettings& settings, const CConnInfo& request,
                                  std::string_view data) {
    if (data.size() < kHeaderBytes)
        return true;
    if (settings.IsOn(CSettings::kDimFilterNoHeaderDim) ||
        !settings.IsOn(CSettings::kDimFilterEnabled) || !settings.IsOn(CSettings::kDimFilterImages))
        return false;
    // The image is a banner of the page that refers to it: the referring
    // page's host decides whether the image comes from the same server (no
    // referrer: another server), and the image's own URL is what the URL
    // lists judge.
    CConnInfo page;
    if (!request.Referer().empty())
        page.ParseURL(request.Referer(), false);
    CIString imageUrl;
    request.GetFullURL(imageUrl);
    return washers::IsBannerSize(settings, page, Word16(data, 6), Word16(data, 8), imageUrl.View());
}

bool CGIFWasher::Accepts(const CIString& mediaType, const WasherContext& context) {
    if (context.whiteFlags & kWhiteStandard)
        return false;
    const CSettings& settings = *context.settings;
    const CConnInfo& request = *context.request;
    bool candidate = false;
    if (settings.GetBool(CSettings::kStandardFilterEnabled)) {
        if (mediaType.empty()) {
            const CIString& extension = request.Extension();
            candidate = extension == "gif" || extension == "jpeg" || extension == "jpg";
        } else {
            candidate = mediaType == "image/gif" || mediaType == "image/jpeg";
        }
    }
    auto count = [&] {
        if (context.statistic)
            context.statistic->Increment(CStatistic::ImagesReceived);
    };
    if (!candidate) {
        if (mediaType.substr(0, mediaType.find('/')) == "image")
            count();
        return false;
    }
    count();
    const std::string_view data = context.body ? context.body->View() : std::string_view();
    return (IsGIF(data) && settings.IsOn(CSettings::kAnimFilterEnabled)) ||
           IsBannerByHeader(settings, request, data);
}

std::unique_ptr<CWasher> CGIFWasher::Create(WasherContext context) {
    return std::make_unique<CGIFWasher>(std::move(context));
}

void CGIFWasher::Count(int event) const {
    if (Context().statistic)
        Context().statistic->Increment(static_cast<CStatistic::Event>(event));
}

std::uint32_t CGIFWasher::ReplaceImage() {
    CBuffer& body = Body();
    body.Clear();
    const bool user = Settings().IsOn(CSettings::kOptionsReplace) &&
                      Settings().IsOn(CSettings::kOptionsReplaceUser);
    auto* handler = dynamic_cast<CInternalGIFRequestHandler*>(
        GetHandler(user ? vocab::kResImageGif : vocab::kResTransGif));
    if (handler) {
        try {
            handler->GetImageData(Settings(), body);
        } catch (const CException&) {
            // The response head is already on its way, so no error page can
            // follow: a missing user image falls back to the transparent one.
            body.Clear();
            body.Append(CInternalGIFRequestHandler::TransparentImage());
        }
    } else {
        body.Append(CInternalGIFRequestHandler::TransparentImage());
    }
    return body.Size();
}

void CGIFWasher::Examine(bool last, WashResult& result) {
    const std::string_view data = Body().View();
    if (data.size() < kHeaderBytes) {
        // A body that already cannot be a GIF passes as it arrives.
        if (last || !CouldBeGIF(data)) {
            m_state = kPassing;
            result.ready = Body().Size();
        }
        return;
    }
    if (IsGIF(data) && IsBannerByHeader(Settings(), *Context().request, data)) {
        Count(CStatistic::FilteredImages);
        m_state = kDone;
        result.ready = ReplaceImage();
    } else if (IsGIF(data) && Settings().IsOn(CSettings::kAnimFilterEnabled)) {
        m_position = kScreenEnd + ColourTableSize(static_cast<unsigned char>(data[10]));
        m_images += 1;
        m_state = kWalking;
    } else {
        // Not a GIF, or nothing to do in it: it goes out in this very call.
        m_state = kPassing;
        result.ready = Body().Size();
    }
}

void CGIFWasher::Walk(bool last, WashResult& result) {
    CBuffer& body = Body();
    const bool repeat = Settings().IsOn(CSettings::kAnimFilterRepeat);
    const bool noAnim = Settings().IsOn(CSettings::kAnimFilterNoAnim);
    // Every step moves the position on by at least one byte or ends the walk.
    while (m_state == kWalking && m_position < body.Size()) {
        if (noAnim && m_position >= kMaxHeldImage) {
            // The whole image may still be replaced, so it is held, but not
            // without bound: a walk this far undecided lets it pass. Judged by
            // the walk's position, so the network's split cannot change it.
            m_state = kPassing;
            result.ready = body.Size();
            return;
        }
        const std::string_view data = body.View();
        const std::uint64_t left = data.size() - m_position;
        const char c = data[m_position];
        if (m_inSubBlocks) {
            const unsigned char n = static_cast<unsigned char>(c);
            m_position += n + 1u;
            m_inSubBlocks = n != 0;
        } else if (c == kExtension) {
            if (repeat || noAnim) {
                const std::string_view start = data.substr(m_position, kLoopExtension.size());
                const bool prefix = kLoopExtension.substr(0, start.size()) == start;
                // The decision waits for all 18 bytes, wherever the blocks split them.
                if (prefix && left < kLoopExtensionBytes && !last)
                    break;
                if (prefix && left >= kLoopExtensionBytes) {
                    if (!noAnim) {
                        const std::int32_t count =
                            Settings().GetInt(CSettings::kAnimFilterRepeatCount);
                        body.Data()[m_position + 16] = static_cast<char>(count & 0xFF);
                        body.Data()[m_position + 17] = static_cast<char>((count >> 8) & 0xFF);
                        m_state = kPassing;
                        result.ready = body.Size();
                    } else {
                        Count(CStatistic::FilteredImages);
                        result.ready = ReplaceImage();
                        m_state = kDone;
                    }
                    return;
                }
            }
            m_position += 2;
            m_inSubBlocks = true;
        } else if (c == kImage) {
            // The second image ends a first-image or still picture: its
            // introducer is all the decision needs.
            if (!repeat && m_images == 2) {
                Count(CStatistic::FilteredImages);
                if (!noAnim) {
                    // The first image and a proper end of file; the rest is dropped.
                    body.Data()[m_position] = kTrailer;
                    const auto end = static_cast<std::uint32_t>(m_position + 1);
                    body.Erase(end, body.Size() - end);
                    result.ready = end;
                } else {
                    result.ready = ReplaceImage();
                }
                m_state = kDone;
                return;
            }
            if (left < kDescriptorBytes)
                break;
            m_images += 1;
            m_position += kDescriptorBytes +
                          ColourTableSize(static_cast<unsigned char>(data[m_position + 9]));
            m_inSubBlocks = true;
        } else if (c == kTrailer) {
            // The trailer and anything behind it go out unchanged.
            m_state = kPassing;
            result.ready = body.Size();
            return;
        } else {
            // An unknown block: skipped by its sub-blocks.
            m_inSubBlocks = true;
        }
    }
    if (m_state != kWalking || noAnim)
        return;
    // Nothing before the walk's position can change any more.
    result.ready = static_cast<std::uint32_t>(std::min<std::uint64_t>(m_position, body.Size()));
}

WashResult CGIFWasher::Wash(bool last) {
    WashResult result;
    if (m_state == kUnexamined)
        Examine(last, result);
    else if (m_state == kPassing)
        result.ready = Body().Size();
    else if (m_state == kDone)
        Body().Clear();
    if (m_state == kWalking)
        Walk(last, result);
    if (m_state == kWalking)
        m_position -= result.ready; // the pump consumes what is released
    if (m_state == kDone)
        result.stop = true;
    return result;
}
