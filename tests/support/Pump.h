#pragma once

#include "os/CBuffer.h"
#include "washers/BodyPump.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// What a washer made of a body that arrived in blocks.
struct Pumped {
    std::string out;
    washers::PumpResult result;
};

// Streams body through the washer that make builds over the buffer, cut into
// blocks of the given sizes (the last size repeats until the body is used up).
// So a washer test is a table of (blocks in -> bytes out), with no daemon.
inline Pumped PumpBlocks(const std::function<std::unique_ptr<CWasher>(CBuffer&)>& make,
                         std::string_view body, std::vector<std::size_t> sizes) {
    CBuffer buffer;
    std::unique_ptr<CWasher> washer = make(buffer);
    std::size_t at = 0, block = 0;
    Pumped pumped;
    pumped.result = washers::PumpBody(
        *washer, buffer,
        [&](CBuffer& into) {
            if (at >= body.size())
                return false;
            const std::size_t n =
                std::min(std::max<std::size_t>(1, sizes[std::min(block++, sizes.size() - 1)]),
                         body.size() - at);
            into.Append(body.substr(at, n));
            at += n;
            return true;
        },
        [&](std::string_view bytes) { pumped.out += bytes; });
    return pumped;
}

} // namespace testsupport
