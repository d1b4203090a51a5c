#pragma once

#include "washers/CWasher.h"

#include <cstdint>
#include <memory>
#include <string_view>

class CConnInfo;
class CIString;

// Stops GIF animations while the image streams to the browser: cuts the file
// after its first image, rewrites the loop count of the animation extension,
// or replaces the whole image by the proxy's internal image; and replaces
// banners recognised by the size written in their header. It walks the GIF
// block structure as the bytes arrive and releases every byte the walk has
// passed, except in no-animation mode, where the whole image may still be
// replaced and is held up to kMaxHeldImage.
class CGIFWasher : public CWasher {
public:
    // How far into the image a no-animation washer walks holding everything;
    // a walk past it undecided lets the image pass unchanged, so a huge GIF
    // never grows the buffer without limit.
    static constexpr std::uint32_t kMaxHeldImage = 8u << 20;

    explicit CGIFWasher(WasherContext context);

    // True while fewer than 11 bytes are known (cannot tell yet), else true
    // for a GIF87a or GIF89a header.
    static bool IsGIF(std::string_view data);
    // True while fewer than 11 bytes are known; otherwise whether the size in
    // the header makes this image a banner of the request's referring page.
    static bool IsBannerByHeader(const CSettings& settings, const CConnInfo& request,
                                 std::string_view data);
    // Whether a response of this media type is washed as a GIF; counts the
    // images received.
    static bool Accepts(const CIString& mediaType, const WasherContext& context);
    static std::unique_ptr<CWasher> Create(WasherContext context);

    WashResult Wash(bool last) override;

    // Empties the body and puts the internal replacement image in; returns
    // the new body size.
    std::uint32_t ReplaceImage();

private:
    enum State : int { kUnexamined = 0, kWalking = 1, kDone = 2, kPassing = 3 };

    // Examines the header once 11 bytes are there.
    void Examine(bool last, WashResult& result);
    // Walks the blocks from m_position; sets result.ready when it decides.
    void Walk(bool last, WashResult& result);
    void Count(int event) const;

    State m_state = kUnexamined;
    std::uint64_t m_position = 0; // offset in the body of the next block to look at
    bool m_inSubBlocks = false;
    int m_images = 0;
};
